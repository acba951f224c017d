#!/usr/bin/env bash
# The window across runs and screens, as the window manager (openbox) sees it.
# usage: window.sh LUNAVUE FIXTURES BENCH CASE
#   cycles      ten starts and closes (Alt+F4) leave the frame where it was
#   fullscreen  ended in full screen, the next start puts the whole frame on the screen
#   maximum     Maximum at start, aspect correction on and off: whole, filling the screen
#   toolarge    a saved Triple that does not fit: the largest size that does, whole
#   offscreen   a saved position off every screen comes back onto the screen
#   aspect      full screen keeps the picture's shape: 4:3 with aspect correction
#   handsize    a window sized by hand keeps the picture's shape
#   directdraw  Direct Draw toggled while playing, then the next movie: nothing unpainted
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
start_window_manager
read -r sw sh <<<"$(screen_size)"
grey=100

# The whole decorated frame lies on the screen.
whole() {
    local x y width height
    read -r x y width height <<<"$(outer_geometry "$1")"
    echo "frame at $x,$y size ${width}x${height} on ${sw}x${sh}"
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + width)) -le "$sw" ] &&
        [ $((y + height)) -le "$sh" ] || fail "the frame is not whole on the screen"
}
# Closes the player as a person does: the window manager's close key (a real key event).
# Pressed again, as a person would, should the key have gone to no window (under load the
# window manager may not have given the focus yet).
open_window() {  # title
    local w
    w=$(window_named "$1")
    xdotool windowactivate --sync "$w" 2>/dev/null || true
    settle "$w"
    echo "$w"
}

case $4 in
cycles)
    printf '[Tovrin]\nx_position=100\ny_position=100\n' >"$work/lunavue.ini"
    first=""
    for i in $(seq 10); do
        start_player "$FIXTURES/bars-320x224-s16-stereo.cpk"
        w=$(open_window bars)
        now=$(outer_geometry "$w")
        echo "start $i: frame $now"
        [ -z "$first" ] && first=$now
        [ "$now" = "$first" ] || fail "the frame moved: $first, then $now"
        close_player "$w"
    done
    ;;
fullscreen)
    grey_movie 320 224 $grey 100 "$work/grey.cpk"
    printf '[Tovrin]\nFullScreen=1\n' >"$work/lunavue.ini"
    start_player "$work/grey.cpk" -play
    w=$(open_window grey)
    wait_full_screen "$w"
    read -r _ _ width height <<<"$(client_geometry "$w")"
    [ "$width $height" = "$sw $sh" ] || fail "not in full screen (${width}x$height)"
    close_player "$w"
    grep position "$work/lunavue.ini"
    start_player "$work/grey.cpk"
    whole "$(open_window grey)"
    ;;
maximum)
    for aspect in 1 0; do
        printf '[Tovrin]\nWindowSize=-1\n[Marlux]\nAspectCorrect=%s\n' $aspect >"$work/lunavue.ini"
        start_player "$FIXTURES/bars-320x224-s16-stereo.cpk"
        w=$(open_window bars)
        sleep 0.5
        settle "$w"
        whole "$w"
        read -r x y width height <<<"$(outer_geometry "$w")"
        [ "$width" -eq "$sw" ] || [ "$height" -eq "$sh" ] || fail "Maximum does not fill the screen"
        close_player "$w"
    done
    ;;
toolarge)
    grey_movie 640 480 $grey 20 "$work/big.cpk"
    printf '[Tovrin]\nWindowSize=3\n' >"$work/lunavue.ini"
    start_player "$work/big.cpk"
    w=$(open_window big)
    sleep 0.5
    settle "$w"
    whole "$w"
    close_player "$w"
    grep -q "WindowSize=3" "$work/lunavue.ini" || fail "the setting was not kept as chosen"
    ;;
offscreen)
    printf '[Tovrin]\nx_position=5000\ny_position=-3000\n' >"$work/lunavue.ini"
    start_player "$FIXTURES/bars-320x224-s16-stereo.cpk"
    w=$(open_window bars)
    sleep 0.5
    settle "$w"
    whole "$w"
    ;;
aspect)
    grey_movie 320 224 $grey 100 "$work/grey.cpk"
    for aspect in 1 0; do
        printf '[Tovrin]\nFullScreen=1\n[Marlux]\nAspectCorrect=%s\n' $aspect >"$work/lunavue.ini"
        start_player "$work/grey.cpk" -play
        w=$(open_window grey)
        wait_full_screen "$w"
        sleep 0.5
        import -window root "$work/shot.png"
        read -r x y width height <<<"$(grey_box "$work/shot.png" $grey)"
        echo "aspect correction $aspect: picture ${width}x$height at $x,$y on ${sw}x${sh}"
        if [ $aspect = 1 ]; then want=$((sh * 4 / 3)); else want=$((sh * 320 / 224)); fi
        [ "$height" -eq "$sh" ] && [ $((width - want)) -le 2 ] && [ $((want - width)) -le 2 ] &&
            [ $((x - (sw - width) / 2)) -le 2 ] || fail "the picture does not keep its shape"
        close_player "$w"
    done
    ;;
handsize)
    grey_movie 320 200 $grey 100 "$work/grey.cpk"
    start_player "$work/grey.cpk" -play
    w=$(open_window grey)
    xdotool windowsize --sync "$w" 1100 500
    sleep 1
    import -window root "$work/shot.png"
    read -r x y width height <<<"$(grey_box "$work/shot.png" $grey)"
    echo "window 1100x500: picture ${width}x$height at $x,$y"
    [ "$width" -gt 0 ] || fail "no picture"
    # The picture's 8:5 shape, to a pixel.
    [ $((width * 5 - height * 8)) -le 8 ] && [ $((height * 8 - width * 5)) -le 8 ] ||
        fail "the picture is stretched to ${width}x$height"
    ;;
directdraw)
    long_movie bars-320x224-s16-stereo 5
    cp "$work/long.cpk" "$work/next.cpk"
    printf '[Tovrin]\nDirectDraw=0\n' >"$work/lunavue.ini"
    # GL comes on during the run: as everywhere with Mesa's software GL, leaks are not looked
    # for (it leaves blocks behind in code it has already unloaded).
    export ASAN_OPTIONS=detect_leaks=0
    start_player "$work/long.cpk" "$work/next.cpk" -play
    w=$(open_window long)
    for _ in 1 2 3 4 5; do
        xdotool key --window "$w" alt+s
        sleep 0.3
        xdotool key Up Return  # Direct Draw, the last item of the Setup menu
        sleep 0.3
    done
    xdotool key --window "$w" Next
    sleep 2
    import -window root "$work/shot.png"
    read -r x y width height <<<"$(client_geometry "$w")"
    python3 - "$work/shot.png" "$x" "$y" "$width" "$height" <<'PY' || fail "part of the window is black"
import subprocess, sys
shot, x, y, w, h = sys.argv[1], *map(int, sys.argv[2:])
raw = subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "gray:-"], capture_output=True).stdout
# Rows through the menu bar (the top), the toolbar and the status bar (the bottom).
for row in (5, h - 30, h - 8):
    line = raw[row * w:(row + 1) * w]
    black = sum(1 for v in line if v < 16) / len(line)
    print(f"row {row}: {black:.0%} black")
    if black > 0.5:
        sys.exit(1)
PY
    kill "$player"
    wait_player 20
    grep -q "renderer: gpu-" "$work/stats.txt" || fail "the next movie did not use the GPU"
    if grep -iE "opengl|rhi|makeCurrent" "$work/stats.txt"; then fail "GL errors were printed"; fi
    ;;
*)
    fail "no case $4"
    ;;
esac
echo "window: $4 passed"

#!/usr/bin/env bash
# The player on a Wayland desktop, as a person there sees it: a weston compositor, headless
# and drawn in memory (1280 x 1024, with its X server for X programs), screenshots taken
# from the compositor itself. Each case waits for what it looks for, with a deadline.
#   painter     a still movie in a window: the position bar and the panes move on screen
#   message     a second start queues a movie: its message shows over the picture
#   fullscreen  full screen saved: the whole screen opaque, the bars around the picture black
#   gpu         Direct Draw on a coloured movie: the picture shows (through GL, or painted
#               with a message where GL cannot be had)
#   unseen      Direct Draw whose pictures never reach the screen: painted instead, said
#   xwayland    the X11 platform through the compositor's X server, full screen saved: the
#               screen covered, no window decoration
# usage: wayland_test.sh LUNAVUE FIXTURES BENCH
source "$(dirname "$0")/../strict.sh"
lunavue=$1 fixtures=$2 bench=$3
here=$(cd "$(dirname "$0")" && pwd)
command -v weston >/dev/null || { echo "FAILED: weston is not installed"; exit 1; }
work=$(mktemp -d)
players=()
cleanup() {
    for p in "${players[@]}"; do kill "$p" 2>/dev/null || true; done
    [ -n "${weston:-}" ] && kill "$weston" 2>/dev/null
    wait 2>/dev/null || true
    [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}
eventually() {  # seconds command...
    local end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.3
    done
}

mkdir -m 700 "$work/run" "$work/shots" "$work/home"
export XDG_RUNTIME_DIR="$work/run" HOME="$work/home" SDL_AUDIODRIVER=dummy
export LUNAVUE_INSTANCE=wayland-test LUNAVUE_SOUND=sdl LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
weston --backend=headless-backend.so --use-pixman --socket=wayland-lunavue --width=1280 \
    --height=1024 --debug --idle-time=0 --xwayland >"$work/weston.log" 2>&1 &
weston=$!
export WAYLAND_DISPLAY=wayland-lunavue
eventually 20 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "weston did not start"

shot() {  # takes a screenshot; prints its file
    local file
    rm -f "$work"/shots/*
    (cd "$work/shots" && timeout 20 weston-screenshooter >/dev/null 2>&1) || return 1
    file=$(mktemp "$work/shotXXXXXX")
    mv "$work"/shots/*.png "$file.png" && echo "$file.png"
}
count() { python3 "$here/pixels.py" count "$@"; }
# Whether a fresh screenshot has at least N pixels of KIND below the compositor's panel.
shows() {  # kind n
    local s
    s=$(shot) && [ "$(count "$s" "$1" 32)" -ge "$2" ]
}
n=0
play() {  # ini-text args...: starts a player; its output goes to $work/out$n.txt
    local ini=$1
    shift
    n=$((n + 1))
    printf '%b' "$ini" >"$work/lunavue$n.ini"
    LUNAVUE_INI="$work/lunavue$n.ini" LUNAVUE_STATS=1 "$lunavue" "$@" >"$work/out$n.txt" 2>&1 &
    players+=($!)
    player=$!
    out="$work/out$n.txt"
}
finish() {  # waits for the player (it closes at the end of its movie)
    local i
    for i in $(seq 600); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$player" 2>/dev/null && fail "the player did not end"
    wait "$player" || fail "the player exited with $?: $(cat "$out")"
}

python3 "$bench/sync_movie.py" "$work/still.cpk" --seconds 8 --sine 440
python3 "$bench/sync_movie.py" "$work/long.cpk" --seconds 60 --sine 440
cp "$fixtures/bars-320x224-s16-stereo.cpk" "$work/bars.cpk"
python3 "$bench/repeat_movie.py" "$work/bars.cpk" "$work/bars8.cpk" 2


# painter and message: a still picture, so that what changes on screen is the bar and panes.
play '[Tovrin]\n' -play "$work/long.cpk"
eventually 20 shows grey16 50000 || fail "painter: the picture did not show"
first=$(shot)
moved() {
    local s
    s=$(shot) && [ "$(python3 "$here/pixels.py" differ "$first" "$s" 32)" -gt 20 ]
}
eventually 10 moved || fail "painter: nothing but the picture changes on screen while it plays"
echo "painter: the position bar and the panes move on screen"
# Each try queues the movie again (its message shows for two seconds) and looks at once:
# a busy machine may take longer than that for a screenshot.
queued_shows() {
    LUNAVUE_INI="$work/lunavue$n.ini" "$lunavue" "$work/bars.cpk" >"$work/second.txt" 2>&1 ||
        fail "message: the second start failed"
    shows plate 500
}
eventually 30 queued_shows || fail "message: the queued movie's message did not show"
echo "message: shown over the picture"
kill "$player"

# fullscreen: 320 x 224 at 4:3 on 1280 x 1024 leaves bars above and below.
play '[Tovrin]\nFullScreen=1\n' -play -close "$work/still.cpk"
covered() {
    local s
    s=$(shot) && [ "$(count "$s" transparent)" -eq 0 ] && [ "$(count "$s" grey16)" -ge 1100000 ]
}
eventually 20 covered || fail "fullscreen: parts of the screen left undrawn or not black"
finish
echo "fullscreen: the screen covered, the bars black"

# gpu: the reference bars, through GL or painted with a message.
play '[Tovrin]\nDirectDraw=1\n' -play -close "$work/bars8.cpk"
eventually 20 shows yellow 5000 || fail "gpu: the picture did not show"
sleep 3 # the path's own check runs for about five seconds; what it decides is looked at next
s=$(shot)
[ "$(count "$s" magenta)" -lt 2000 ] || fail "gpu: the colour key shows instead of the picture"
[ "$(count "$s" yellow)" -ge 5000 ] || fail "gpu: the picture went"
finish
if grep -q "renderer: gpu-" "$out"; then
    echo "gpu: shown through GL"
else
    grep -q "Direct Draw" "$out" || fail "gpu: painted without saying why: $(cat "$out")"
    echo "gpu: no GL here, said so and painted"
fi

# unseen: pictures drawn by GL that the compositor would not show.
LUNAVUE_GL_UNSEEN=1 play '[Tovrin]\nDirectDraw=1\n' -play -close "$work/bars8.cpk"
eventually 30 grep -q "Direct Draw" "$out" || fail "unseen: the fallback was not said"
eventually 10 shows yellow 5000 || fail "unseen: the painted picture did not show"
finish
grep -q "renderer: painter" "$out" || fail "unseen: not painted: $(cat "$out")"
echo "unseen: said, and painted"

# xwayland: the X11 platform on the compositor's X server.
xdisplay=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log" | head -1)
[ -n "$xdisplay" ] || fail "xwayland: the compositor has no X server"
DISPLAY=$xdisplay QT_QPA_PLATFORM=xcb play '[Tovrin]\nFullScreen=1\n' -play -close "$work/still.cpk"
eventually 30 covered || fail "xwayland: full screen at start does not cover the screen"
finish
echo "xwayland: full screen at start covers the screen"

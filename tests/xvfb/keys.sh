#!/usr/bin/env bash
# The player keys as a person presses them (real key events through XTEST) under openbox,
# after a click on the picture has given whatever window lies there the focus: Space pauses
# and resumes, the arrows seek, F goes full screen and Escape comes back, in the window and
# in full screen, through the picture path named.
# usage: keys.sh LUNAVUE FIXTURES BENCH painter|shared-memory|gpu
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
start_window_manager
read -r sw sh <<<"$(screen_size)"
long_movie bars-320x224-s16-stereo 5
use_picture_path $4
start_player "$work/long.cpk" -play
w=$(window_named long)
xdotool windowactivate --sync "$w"
settle "$w"
windowed=$(client_geometry "$w")
read -r x y width height <<<"$windowed"
xdotool mousemove $((x + width / 2)) $((y + 60)) click 1

geometry_is() { [ "$(client_geometry "$w")" = "$1" ]; }
# What the window shows, as a fingerprint.
look() {
    read -r x y width height <<<"$(client_geometry "$w")"
    import -window root -crop "${width}x${height}+$x+$y" rgb:- | md5sum | cut -c1-32
}
# Two looks 0.6 s apart: the same (still) or not (moving).
still() { local a; a=$(look); sleep 0.6; [ "$(look)" = "$a" ]; }
moving() { local a; a=$(look); sleep 0.6; [ "$(look)" != "$a" ]; }
# The picture changes after the key, within 10 s.
changes_with() {  # key
    local a; a=$(look); xdotool key "$1"; eventually 10 differs_from "$a"
}
differs_from() { [ "$(look)" != "$1" ]; }

eventually 10 moving || fail "the movie does not play"
xdotool key space
eventually 10 still || fail "Space did not pause"
changes_with Right || fail "Right did not seek while paused"
changes_with Left || fail "Left did not seek while paused"
xdotool key f; wait_full_screen "$w"
[ "$(client_geometry "$w")" = "0 0 $sw $sh" ] || fail "F did not go full screen"
# The last seek's message leaves the picture; then it stands.
eventually 10 still || fail "full screen did not stay paused"
changes_with Up || fail "Up did not seek in full screen"
xdotool key space
eventually 10 moving || fail "Space did not resume in full screen"
xdotool key space
eventually 10 still || fail "Space did not pause in full screen"
xdotool key Escape
eventually 10 geometry_is "$windowed" || fail "Escape did not bring the window back"
settle "$w"
[ "$(client_geometry "$w")" = "$windowed" ] || fail "Escape did not bring the window back"
changes_with Down || fail "Down did not seek in the window"
kill "$player"
wait_player 20
case $4 in
gpu) grep -q "renderer: gpu-" "$work/stats.txt" || fail "not through the GPU" ;;
*) grep -q "renderer: $4" "$work/stats.txt" || fail "not through the $4 path" ;;
esac
echo "keys: $4 passed"

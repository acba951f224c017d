#!/usr/bin/env bash
# Full screen, with or without a window manager: the same window covers the whole screen,
# and goes back to where it was.
# usage: fullscreen.sh LUNAVUE FIXTURES BENCH wm|nowm
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
[ "$4" = wm ] && start_window_manager
start_player "$FIXTURES/bars-320x224-s16-stereo.cpk" -play
w=$(window_named bars)
xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
settle "$w"
before=$(outer_geometry "$w")
xdotool key f
wait_full_screen "$w"
read -r sw sh <<<"$(screen_size)"
read -r x y width height <<<"$(client_geometry "$w")"
echo "full screen: $x,$y ${width}x${height} on ${sw}x${sh}"
[ "$x $y $width $height" = "0 0 $sw $sh" ] || fail "full screen does not cover the screen"
[ "$(window_named bars)" = "$w" ] || fail "full screen made another window"
xdotool key Escape
sleep 0.3
settle "$w"
after=$(outer_geometry "$w")
echo "before $before, after $after"
[ "$after" = "$before" ] || fail "the window did not go back"

#!/usr/bin/env bash
# Setup > Maximum under a window manager: the whole window, decorations included, lies
# inside the screen and fills it in one direction.
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
start_window_manager
start_player "$FIXTURES/bars-320x224-s16-stereo.cpk"
w=$(window_named bars)
xdotool windowactivate --sync "$w"
xdotool key alt+s m
read -r sw sh <<<"$(screen_size)"
sleep 0.3
settle "$w"
read -r x y width height <<<"$(outer_geometry "$w")"
echo "screen ${sw}x${sh}, window at $x,$y size ${width}x${height}"
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + width)) -le "$sw" ] && [ $((y + height)) -le "$sh" ] ||
    fail "the window spills off the screen"
[ "$width" -eq "$sw" ] || [ "$height" -eq "$sh" ] || fail "the window does not fill the screen"

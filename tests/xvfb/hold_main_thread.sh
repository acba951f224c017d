#!/usr/bin/env bash
# A 20-second movie plays while a menu (or the Information dialog) is held open for four
# seconds in the middle: the sound that reaches the device is the movie's, unbroken.
# usage: hold_main_thread.sh LUNAVUE FIXTURES BENCH menu|dialog
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
mode=$4
source "$(dirname "$0")/lib.sh"

long_movie bars-320x224-s16-stereo 5
start_player "$work/long.cpk" -play -close
w=$(window_named long.cpk)
sleep 5
xdotool mousemove --window "$w" 20 10 click 1  # the File menu
sleep 0.3
if [ "$mode" = dialog ]; then
    xdotool key Right Right Return  # Help, Information...
fi
sleep 4
xdotool key Escape
wait_player 60
sound_is_reference

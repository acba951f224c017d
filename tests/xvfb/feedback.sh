#!/usr/bin/env bash
# A message over the picture, as a person sees it under openbox: with the movie paused, 0
# (volume up) changes what the picture shows, and once the message has gone the screen is
# back to what it was, pixel for pixel. In full screen, a moving mouse brings the position
# bar over the picture and two seconds without movement take it away, again leaving the
# picture as it was. How soon each shows is printed (a figure for bench/answer_time.sh,
# not judged here: a busy machine may be slow).
# usage: feedback.sh LUNAVUE FIXTURES BENCH window|fullscreen painter|shared-memory|gpu
LUNAVUE=$1 FIXTURES=$2 BENCH=$3 where=$4
source "$(dirname "$0")/lib.sh"
start_window_manager
long_movie bars-320x224-s16-stereo 5
use_picture_path $5
start_player "$work/long.cpk" -play
w=$(window_named long)
xdotool windowactivate --sync "$w"
settle "$w"
read -r x y width height <<<"$(client_geometry "$w")"
xdotool mousemove $((x + width / 2)) $((y + 60)) click 1

# What the picture shows, as a fingerprint: the whole screen in full screen; in the window,
# its upper part, down to the middle of the picture (no status bar, whose message pane says
# the same as the picture for its own time).
look() {
    if [ "$where" = fullscreen ]; then
        import -window root rgb:- | md5sum | cut -c1-32
    else
        read -r x y width height <<<"$(client_geometry "$w")"
        import -window root -crop "${width}x$((height / 2))+$x+$y" rgb:- | md5sum | cut -c1-32
    fi
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
is() { [ "$(look)" = "$1" ]; }
isnt() { [ "$(look)" != "$1" ]; }
# Still: the same look over 2.5 s, longer than a message lasts (so the state word and
# anything the pointer brought have gone).
settled() { before=$(look); sleep 1.25; is "$before" && sleep 1.25 && is "$before"; }
moving() { local a; a=$(look); sleep 0.6; isnt "$a"; }

eventually 20 moving || fail "the movie does not play"
xdotool key space
if [ "$where" = fullscreen ]; then
    xdotool key f
    wait_full_screen "$w"
fi

eventually 20 settled || fail "the paused picture does not stand still"
start=$(now_ms)
xdotool key 0
eventually 10 isnt "$before" || fail "0 showed nothing"
echo "feedback shown after $(($(now_ms) - start)) ms"
eventually 10 is "$before" || {
    import -window root "$work/left.png"
    fail "once the message went, the picture is not as it was"
}

if [ "$where" = fullscreen ]; then
    start=$(now_ms)
    xdotool mousemove_relative 5 5
    xdotool mousemove_relative -- -5 -5
    eventually 10 isnt "$before" || fail "the mouse brought no position bar"
    echo "position bar shown after $(($(now_ms) - start)) ms"
    eventually 10 is "$before" || fail "the position bar did not go, or left a trace"
fi
kill "$player"
wait_player 20
case $5 in
gpu) grep -q "renderer: gpu-" "$work/stats.txt" || fail "not through the GPU" ;;
*) grep -q "renderer: $5" "$work/stats.txt" || fail "not through the $5 path" ;;
esac
echo "feedback: $where, $5 passed"

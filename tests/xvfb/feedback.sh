#!/usr/bin/env bash
# A message over the picture, as a person sees it under openbox: with the movie paused, 0
# (volume up) changes what the picture shows within 0.4 s, and four seconds later the screen
# is back to what it was, pixel for pixel. In full screen, a moving mouse brings the position
# bar over the picture and two seconds without movement take it away, again leaving the
# picture as it was.
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
sleep 1
xdotool key space
if [ "$where" = fullscreen ]; then
    xdotool key f
    wait_full_screen "$w"
fi
sleep 4  # the state word and anything the pointer brought are gone

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
# Milliseconds until the picture differs from the fingerprint given (or 5000).
changed_after() {  # fingerprint start_ms
    while [ "$(look)" = "$1" ]; do
        [ $(($(now_ms) - $2)) -ge 5000 ] && break
        sleep 0.02
    done
    echo $(($(now_ms) - $2))
}

before=$(look)
sleep 0.6
[ "$(look)" = "$before" ] || fail "the paused picture is not still"
start=$(now_ms)
xdotool key 0
after=$(changed_after "$before" "$start")
echo "feedback shown after $after ms"
[ "$after" -le 400 ] || fail "0 showed nothing within 0.4 s ($after ms)"
sleep $(((4000 - after) / 1000)).$(((4000 - after) % 1000 / 100))
[ "$(look)" = "$before" ] || {
    import -window root "$work/left.png"
    fail "four seconds later, the picture is not as it was"
}

if [ "$where" = fullscreen ]; then
    xdotool mousemove_relative 5 5
    sleep 0.3
    xdotool mousemove_relative -- -5 -5
    [ "$(changed_after "$before" "$(now_ms)")" -le 400 ] || fail "the mouse brought no position bar"
    sleep 2.6
    [ "$(look)" = "$before" ] || fail "the position bar did not go, or left a trace"
fi
kill "$player"
wait_player 20
case $5 in
gpu) grep -q "renderer: gpu-" "$work/stats.txt" || fail "not through the GPU" ;;
*) grep -q "renderer: $5" "$work/stats.txt" || fail "not through the $5 path" ;;
esac
echo "feedback: $where, $5 passed"

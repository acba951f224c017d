#!/usr/bin/env bash
# The queue window as a person uses it under openbox: Ctrl+L shows it; with two names
# forwarded by second starts, End chooses the last, Alt+Up moves it first, Delete takes the
# other out and Enter plays the chosen one at once. The one interrupted waits at the front of
# the queue then, and End Delete takes it out. What is heard is the chosen movie, whole, and
# nothing of the one taken out; with the queue empty the player ends by itself (-close).
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
start_window_manager
long_movie bars-320x224-s16-stereo 5
chosen=adpcm-320x224-mono-22k dropped=gray-320x200-s8-mono
start_player "$work/long.cpk" -play -close
w=$(window_named long)
for name in "$dropped" "$chosen"; do
    LUNAVUE_INI="$work/lunavue.ini" LUNAVUE_INSTANCE="xvfb-test-$$" "$LUNAVUE" \
        "$FIXTURES/$name.cpk" || fail "the second start did not hand $name over"
done
xdotool windowactivate --sync "$w"
settle "$w"
xdotool key ctrl+l
queue=""
queue_shown() {
    # By its title ("Queue: ..." or in Japanese), not any other window of the player's (the
    # position bar's preview shows when the pointer happens to lie over the bar).
    queue=$(xdotool search --onlyvisible --name '^(Queue|再生待ち)' 2>/dev/null | head -1) || true
    [ -n "$queue" ]
}
eventually 20 queue_shown || fail "Ctrl+L showed no queue window"
xdotool windowactivate --sync "$queue"
settle "$queue"
# The keys reach the window in order, however busy it is.
xdotool key --delay 100 End alt+Up End Delete End Return
window_named adpcm >/dev/null || fail "Enter did not play the chosen movie"
xdotool windowactivate --sync "$queue" 2>/dev/null || true
settle "$queue"
xdotool key --delay 100 End Delete
wait_player 60
gzip -dc "$FIXTURES/$chosen.audio.pcm.gz" >"$work/want.pcm"
python3 - "$work/sound.raw" "$work/want.pcm" "$FIXTURES/$dropped.audio.pcm.gz" <<'PY' || fail "wrong sound"
import gzip, sys
got, want = (open(p, "rb").read() for p in sys.argv[1:3])
dropped = gzip.open(sys.argv[3]).read()[:4096]
if want not in got:
    sys.exit("the chosen movie's sound is not there whole")
if dropped in got:
    sys.exit("the movie taken out of the queue was heard")
print(f"sound: the chosen movie's {len(want)} bytes, nothing of the one taken out")
PY
echo "queue window: passed"

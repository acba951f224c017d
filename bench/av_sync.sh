#!/usr/bin/env bash
# How far the sound is from the picture, as a person would see and hear it: a movie whose
# picture turns white exactly when a 10 ms click sounds, once a second (sync_movie.py),
# played in a real window (Xvfb, openbox) through a private PulseAudio with a null sink
# that suspends after a second of idleness. The screen is captured at 100 frames a second
# and the sink's monitor recorded, both stamped with the wall clock (FFmpeg's x11grab and
# pulse inputs); each flash is paired with its click. Prints, for each case, the median and
# the range of (click time - flash time) in ms: positive when the sound comes after the
# picture. The same cases run with mpv when it is installed, which gives the bias of the
# method itself (the capture's own delays).
#
# Cases: the sink suspended, idle and running when the movie starts; after five pauses and
# resumes (Space); after five seeks (Right and Left); suspended again with two CPU-bound
# processes beside the player; and "speed", at 1.5 times (']' twice; Lunavue alone, mpv's
# keys step its speed otherwise).
#
# With --pipewire the server is PipeWire's pulse server instead (its sink suspends after its
# own few seconds). The case "restart" kills the server two seconds into the movie, starts
# it again a second later, and measures from then on (Lunavue alone: mpv's sound does not
# come back).
#
# usage: bench/av_sync.sh LUNAVUE [--no-mpv] [--pipewire]
#        [--cases "suspended idle running pauses seeks load restart speed"]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lunavue=$(realpath "$1")
shift
players=(lunavue mpv)
cases="suspended idle running pauses seeks load restart"
kind=pulseaudio
while [ $# -gt 0 ]; do
    case $1 in
        --no-mpv) players=(lunavue); shift ;;
        --cases) cases=$2; shift 2 ;;
        --pipewire) kind=pipewire; shift ;;
        *) sed -n '2,22p' "$0"; exit 1 ;;
    esac
done
command -v mpv >/dev/null || players=(lunavue)

work=$(mktemp -d)
pids=()
finish() {
    "$here/../scripts/sound-server" stop "$work/server" 2>/dev/null || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do grep -q '^[0-9]' "$work/display" 2>/dev/null && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
mkdir "$work/server"
export PULSE_SERVER="unix:$work/server/pulse"
"$here/../scripts/sound-server" start "$kind" "$work/server"
python3 "$here/sync_movie.py" "$work/sync.cpk" --seconds 30

sink_state() { pactl list sinks short | awk '$2 == "out" { print $NF }'; }
wait_sink() {  # state
    for _ in $(seq 150); do [ "$(sink_state)" = "$1" ] && return 0; sleep 0.1; done
    echo "the sink did not become $1" >&2
    return 1
}

start_player() {  # lunavue|mpv
    : >"$work/player.log"
    if [ "$1" = mpv ]; then
        mpv --no-config --ao=pulse --vo=x11 --geometry=+100+100 --keep-open=no \
            "$work/sync.cpk" >"$work/player.log" 2>&1 &
    else
        LUNAVUE_INI="$work/lunavue.ini" LUNAVUE_INSTANCE="av-sync-$$" \
            "$lunavue" "$work/sync.cpk" -play -close >"$work/player.log" 2>&1 &
    fi
    player=$!
}

# The middle of the player's window, where the picture is: x y.
picture_middle() {
    local id=""
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name '^sync\.cpk' 2>/dev/null | head -1) || true
        [ -n "$id" ] && break
        sleep 0.05
    done
    [ -n "$id" ] || { echo "no window" >&2; return 1; }
    xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x + int(w / 2) - 16, y + int(h / 2) - 16}'
}

# Captures SECONDS of a 32x32 square of the screen and of the sink's monitor, then prints
# the offset of each click from its flash, in ms, one a line.
capture() {  # x y seconds
    # Both clocks less a whole second of now, so that the filters print them to 0.1 ms.
    local epoch
    epoch=$(date +%s)
    timeout $(($3 + 5)) ffmpeg -nostdin -hide_banner -copyts \
        -thread_queue_size 1024 -f x11grab -framerate 100 -video_size 32x32 -i "$DISPLAY+$1,$2" \
        -thread_queue_size 1024 -f pulse -fragment_size 441 -i out.monitor -t "$3" \
        -map 0:v -vf "setpts=PTS-$epoch/TB,showinfo" -f null - \
        -map 1:a -af "asetpts=PTS-$epoch/TB,silencedetect=n=-30dB:d=0.005" -f null - \
        2>"$work/capture.log" || true
    python3 - "$work/capture.log" <<'EOF'
import re, sys
flashes, clicks, bright = [], [], False
for line in open(sys.argv[1], errors="replace"):
    m = re.search(r"pts_time:([0-9.]+).*mean:\[([0-9]+)", line)
    if m:
        t, level = float(m.group(1)), int(m.group(2))
        if level > 150 and not bright:
            flashes.append(t)
        bright = level > 150 if (level > 150 or level < 120) else bright
    m = re.search(r"silence_end: ([0-9.]+)", line)
    if m:
        clicks.append(float(m.group(1)))
for f in flashes:
    near = [c for c in clicks if abs(c - f) < 0.5]
    if near:
        print(round(1000 * (min(near, key=lambda c: abs(c - f)) - f)))
EOF
}

summary() {  # label file
    python3 - "$1" "$2" <<'EOF'
import statistics, sys
v = [int(x) for x in open(sys.argv[2]) if x.strip()]
if not v:
    print(f"{sys.argv[1]:<28} no flash paired with a click")
else:
    print(f"{sys.argv[1]:<28} median {statistics.median(v):+5.0f} ms   range {min(v):+d} to {max(v):+d} ms   ({len(v)} flashes)")
EOF
}

run_case() {  # player case
    local who=$1 case=$2 load=()
    [ "$case" = restart ] || [ "$case" = speed ] && [ "$who" = mpv ] && return 0
    case $case in
        suspended | pauses | seeks | load | restart | speed) wait_sink SUSPENDED ;;
        idle)
            timeout 0.3 pacat --raw /dev/zero 2>/dev/null || true
            wait_sink IDLE || true
            ;;
        running)
            pacat --raw /dev/zero &
            load+=($!)
            wait_sink RUNNING
            ;;
    esac
    if [ "$case" = load ]; then
        yes >/dev/null &
        load+=($!)
        yes >/dev/null &
        load+=($!)
    fi
    start_player "$who"
    read -r x y < <(picture_middle)
    local seconds=10 keys=""
    case $case in
        pauses) keys="space space space space space space space space space space" ;;
        seeks) keys="Right Left Right Left Right" ;;
        speed) keys="bracketright bracketright" ;;
    esac
    if [ "$case" = restart ]; then
        sleep 2
        "$here/../scripts/sound-server" stop "$work/server"
        local gone
        gone=$(date +%s%N)
        for _ in $(seq 100); do grep -q "went away" "$work/player.log" && break; sleep 0.01; done
        echo "    said the server went away after $((($(date +%s%N) - gone) / 1000000)) ms"
        sleep 1
        "$here/../scripts/sound-server" start "$kind" "$work/server"
        local back
        back=$(date +%s%N)
        for _ in $(seq 500); do pactl list sink-inputs short | grep -q . && break; sleep 0.01; done
        echo "    the sound back $((($(date +%s%N) - back) / 1000000)) ms after the server"
        sleep 0.5
    fi
    if [ -n "$keys" ]; then
        sleep 1
        for k in $keys; do
            xdotool key "$k"
            sleep 0.8
        done
        sleep 0.5
    fi
    capture "$x" "$y" "$seconds" >"$work/offsets"
    kill "$player" 2>/dev/null || true
    wait "$player" 2>/dev/null || true
    for p in "${load[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    summary "$who, $case" "$work/offsets"
}

for case in $cases; do
    for who in "${players[@]}"; do
        run_case "$who" "$case"
    done
done

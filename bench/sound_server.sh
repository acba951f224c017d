#!/usr/bin/env bash
# The player through a private PulseAudio, beside mpv when it is installed:
#   gaps    RUNS plays (5 unless said) of a 32 s movie through a pipe sink paced by the
#           system clock, with two CPU-bound processes beside the player: whether the sound
#           arrived bit-exact, and if not how much of it arrived unbroken
#   paused  10 s paused (Space, in a real window under Xvfb and openbox): whether the stream
#           is corked, the sink's state at the end, and the CPU time of the player and of
#           the server in those 10 s (centiseconds)
# usage: bench/sound_server.sh LUNAVUE [--runs N] [gaps] [paused]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lunavue=$(realpath "$1")
shift
runs=5
cases=()
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        gaps | paused) cases+=("$1"); shift ;;
        *) sed -n '2,10p' "$0"; exit 1 ;;
    esac
done
[ ${#cases[@]} -gt 0 ] || cases=(gaps paused)
players=(lunavue)
command -v mpv >/dev/null && players+=(mpv)

work=$(mktemp -d)
pids=()
finish() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" PULSE_SERVER="unix:$work/pulse"
unset SDL_AUDIODRIVER LUNAVUE_SOUND
HOME="$work" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    -L "module-null-sink sink_name=out" \
    -L "module-native-protocol-unix socket=$work/pulse auth-anonymous=1" \
    -L "module-suspend-on-idle timeout=1" 2>/dev/null &
server=$!
pids+=($server)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done

play() {  # lunavue|mpv movie
    if [ "$1" = mpv ]; then
        mpv --no-config --really-quiet --ao=pulse --vo="${2#*:}" "${2%%:*}"
    else
        LUNAVUE_INI="$work/lunavue.ini" LUNAVUE_INSTANCE="sound-bench-$$" \
            "$lunavue" "${2%%:*}" -play -close
    fi
}

gaps() {
    local fixture="$here/../tests/fixtures/bars-320x224-s16-stereo"
    python3 "$here/repeat_movie.py" "$fixture.cpk" "$work/long.cpk" 8
    for _ in $(seq 8); do gzip -dc "$fixture.audio.pcm.gz"; done >"$work/want.pcm"
    mkfifo "$work/pipe"
    local module
    module=$(pactl load-module module-pipe-sink file="$work/pipe" sink_name=pipe format=s16le \
        rate=22050 channels=2 use_system_clock_for_timing=yes)
    pactl set-default-sink pipe
    for who in "${players[@]}"; do
        for run in $(seq "$runs"); do
            cat "$work/pipe" >"$work/got.pcm" &
            local reader=$! hogs=()
            yes >/dev/null & hogs+=($!)
            yes >/dev/null & hogs+=($!)
            QT_QPA_PLATFORM=offscreen play "$who" "$work/long.cpk:null" >/dev/null 2>&1 || true
            kill "${hogs[@]}" 2>/dev/null || true
            sleep 0.5
            kill "$reader" 2>/dev/null || true
            wait "$reader" 2>/dev/null || true
            printf '%-8s run %s under load: ' "$who" "$run"
            python3 - "$work/got.pcm" "$work/want.pcm" <<'EOF'
import sys
got, want = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
if want in got:
    print("bit-exact, no gap")
else:
    lo, hi = 0, len(want)
    while lo < hi:
        mid = (lo + hi + 1) // 2
        lo, hi = (mid, hi) if want[:mid] in got else (lo, mid - 1)
    extra = len(got.strip(b"\0")) - len(want)
    print(f"NOT bit-exact: {lo} of {len(want)} bytes unbroken, {extra} bytes more than the movie")
EOF
        done
    done
    pactl unload-module "$module"
}

cpu_cs() { awk '{print $14 + $15}' "/proc/$1/stat"; }

paused() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do grep -q '^[0-9]' "$work/display" 2>/dev/null && break; sleep 0.05; done
    export DISPLAY=":$(head -1 "$work/display")"
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    python3 "$here/sync_movie.py" "$work/sync.cpk" --seconds 60
    for who in "${players[@]}"; do
        play "$who" "$work/sync.cpk:x11" >/dev/null 2>&1 &
        local player=$!
        local w
        w=$(timeout 20 xdotool search --sync --onlyvisible --name "^sync\\.cpk" | head -1)
        sleep 2
        xdotool windowactivate --sync "$w" key space
        sleep 1
        local p0 s0
        p0=$(cpu_cs "$player")
        s0=$(cpu_cs "$server")
        sleep 10
        printf '%-8s paused 10 s: player %2d cs, server %2d cs, corked: %s, sink %s\n' "$who" \
            $(($(cpu_cs "$player") - p0)) $(($(cpu_cs "$server") - s0)) \
            "$(pactl list sink-inputs | awk '/Corked:/ {print $2}' | head -1)" \
            "$(pactl list sinks short | awk '$2 == "out" {print $NF}')"
        kill "$player" 2>/dev/null || true
        wait "$player" 2>/dev/null || true
    done
}

for c in "${cases[@]}"; do "$c"; done

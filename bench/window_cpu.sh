#!/usr/bin/env bash
# CPU per second of movie of the player in a real window (Xvfb, SDL's dummy sound driver):
# Normal and Triple size, the painter or the GPU ("Direct Draw"), for this build and, when
# given, another build, run in turn so that both meet the same machine. Prints the median of
# the runs over the whole run (start-up included, from /usr/bin/time) and over steady play
# (exact, from the threads' schedstat), and checks that no slot was late; one more run of
# each build captures the sound with SDL's disk driver and checks that it is the movie's.
# The movie lasts 20 seconds, or the multiple of 4 given: start-up weighs less in a longer
# one. With --feedback, a key (9, then 0, in turn) is pressed every second, so that a
# message shows over the picture all through the run. With --pulse the sound goes to a
# private PulseAudio (a null sink) instead: through the player's own sound-server output,
# or through SDL's PulseAudio driver for a build that has none. With --ffplay, FFmpeg's
# ffplay plays the same movie in a window of the same size beside them (SDL's dummy sound,
# or PulseAudio with --pulse), and each build's figures are also given as a share of its.
#
# usage: bench/window_cpu.sh LUNAVUE [OTHER_LUNAVUE] [--runs N] [--gpu] [--seconds N]
#        [--feedback] [--pulse] [--ffplay]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
builds=()
runs=3
directdraw=0
seconds=20
feedback=0
pulse=0
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --gpu) directdraw=1; shift ;;
        --seconds) seconds=$2; shift 2 ;;
        --feedback) feedback=1; shift ;;
        --pulse) pulse=1; shift ;;
        --ffplay) builds+=(ffplay); shift ;;
        *) builds+=("$(realpath "$1")"); shift ;;
    esac
done
[ ${#builds[@]} -ge 1 ] && [ "$seconds" -ge 12 ] && [ $((seconds % 4)) -eq 0 ] ||
    { sed -n '2,17p' "$0"; exit 1; }
work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill "$server"; rm -rf "$work"' EXIT
if [ "$pulse" = 1 ]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime" PULSE_SERVER="unix:$work/pulse"
    HOME="$work" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        -L "module-null-sink sink_name=out" \
        -L "module-native-protocol-unix socket=$work/pulse auth-anonymous=1" 2>/dev/null &
    server=$!
    for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
fi
fixture="$here/../tests/fixtures/bars-320x224-s16-stereo"
repeats=$((seconds / 4))  # the fixture lasts 4 seconds
play=$((seconds - 8))  # steady play: from second 4 to 4 before the end
python3 "$here/repeat_movie.py" "$fixture.cpk" "$work/movie.cpk" "$repeats"
for _ in $(seq "$repeats"); do gzip -dc "$fixture.audio.pcm.gz"; done >"$work/want.pcm"

# Each thread's nanoseconds on a CPU so far ("TID NS" lines): exact, where the process's
# own figures count whole clock ticks.
cpu_ns() {
    local t ns rest
    for t in /proc/"$1"/task/*; do
        read -r ns rest <"$t/schedstat" 2>/dev/null && echo "${t##*/} $ns"
    done
    return 0
}

# CPU seconds a second of a process's threads over about the next SECONDS, looked at five
# times a second so that threads that end meanwhile (the toolkit's pool threads do) are
# counted to their end.
cpu_during() {  # pid seconds
    local start now end
    start=$(date +%s%N)
    cpu_ns "$1" | sed 's/^/start /' >"$work/threads"
    end=$((start + $2 * 1000000000))
    now=$start
    while [ "$now" -lt "$end" ]; do
        sleep 0.2
        now=$(date +%s%N)
        cpu_ns "$1" >>"$work/threads"
    done
    awk -v span=$((now - start)) '$1 == "start" {first[$2] = $3; next} {last[$1] = $2}
         END {for (t in last) n += last[t] - first[t]; printf "%.6f\n", n / span}' \
        "$work/threads"
}

# Presses 9 and 0 (volume down and up) in turn, once a second, in the player's window until the player ends.
press_keys() {  # pid
    local n=0 display auth
    display=$(tr '\0' '\n' <"/proc/$1/environ" | sed -n 's/^DISPLAY=//p')
    auth=$(tr '\0' '\n' <"/proc/$1/environ" | sed -n 's/^XAUTHORITY=//p')
    while kill -0 "$1" 2>/dev/null; do
        # No window manager gives the window the focus: it is given here.
        DISPLAY=$display XAUTHORITY=$auth xdotool search --name "movie.cpk" windowfocus \
            key $((n % 2 == 0 ? 9 : 0)) 2>/dev/null || true
        n=$((n + 1))
        sleep 1
    done
    echo "$n" >"$work/presses"
}

# Prints "WHOLE STEADY": CPU seconds per movie second over the whole run (start-up and
# shutdown included), and over its steady play alone (what a long movie costs).
run() {  # build size [driver]
    local build=$1 size=$2 driver=${3:-dummy} pid="" busy output=sdl
    if [ "$pulse" = 1 ] && [ "$driver" = dummy ]; then
        driver=pulseaudio output=pulse
    fi
    printf '[Tovrin]\nWindowSize=%s\nDirectDraw=%s\n' "$size" "$directdraw" >"$work/x.ini"
    rm -f "$work/sound.raw"
    local command=("$build" "$work/movie.cpk" -play -close)
    if [ "$build" = ffplay ]; then
        # The picture at the player's size for the mode: 320 x 240 (the movie's 4:3 shape),
        # three times that for Triple.
        command=(ffplay -autoexit -loglevel quiet -x $((320 * size)) -y $((240 * size))
            "$work/movie.cpk")
        echo "late slots: 0" >"$work/stats"
    fi
    LUNAVUE_INI="$work/x.ini" LUNAVUE_INSTANCE="cpu-$$" LUNAVUE_STATS=1 SDL_AUDIODRIVER=$driver \
        LUNAVUE_SOUND=$output \
        SDL_DISKAUDIOFILE="$work/sound.raw" \
        xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/time -f "%U %S" -o "$work/time" \
        "${command[@]}" >>"$work/stats" 2>/dev/null &
    local runner=$!
    for _ in $(seq 50); do
        pid=$(pgrep -n -f "^${command[0]} ${command[1]} " || pgrep -n -f "^${command[*]}" || true)
        [ -n "$pid" ] && break
        sleep 0.1
    done
    local presser=""
    if [ "$feedback" = 1 ] && [ "$driver" != disk ]; then  # the volume keys change the sound
        press_keys "$pid" &
        presser=$!
    fi
    sleep 4
    busy=$(cpu_during "$pid" "$play")
    wait "$runner"
    if [ -n "$presser" ]; then
        wait "$presser"
        # An odd number of presses ends on 9: the volume is 90.
        grep -q "^Volume=$(($(cat "$work/presses") % 2 ? 90 : 100))$" "$work/x.ini" ||
            echo "the keys did not reach the player: $(grep Volume "$work/x.ini")" >&2
        echo "$(cat "$work/presses") keys pressed, $(grep "late slots" "$work/stats")" >&2
    fi
    grep -q "late slots: 0" "$work/stats" || echo "late slots in a run: $(grep late "$work/stats")" >&2
    awk -v s="$seconds" -v b="$busy" '{printf "%.4f %.4f\n", ($1 + $2) / s, b}' \
        "$work/time"
}

median() {
    tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

for b in "${builds[@]}"; do
    [ "$b" = ffplay ] && continue
    run "$b" 1 disk >/dev/null
    python3 -c "import sys; g=open(sys.argv[1],'rb').read(); sys.exit(open(sys.argv[2],'rb').read() not in g)" \
        "$work/sound.raw" "$work/want.pcm" && echo "$b: the sound captured is the movie's" ||
        echo "$b: the sound captured is NOT the movie's" >&2
done

for size in 1 3; do
    declare -A whole=() steady=()
    for ((r = 0; r < runs; r++)); do
        for b in "${!builds[@]}"; do
            read -r w st <<<"$(run "${builds[$b]}" "$size")"
            whole[$b]+="$w "
            steady[$b]+="$st "
        done
    done
    ffwhole="" ffsteady=""
    for b in "${!builds[@]}"; do
        if [ "${builds[$b]}" = ffplay ]; then
            ffwhole=$(median <<<"${whole[$b]}") ffsteady=$(median <<<"${steady[$b]}")
        fi
    done
    for b in "${!builds[@]}"; do
        w=$(median <<<"${whole[$b]}") st=$(median <<<"${steady[$b]}")
        printf 'size %s, %s: %.2f%% of a core over the whole run, %.2f%% in steady play' \
            "$size" "${builds[$b]}" "$(awk -v m="$w" 'BEGIN {print 100 * m}')" \
            "$(awk -v m="$st" 'BEGIN {print 100 * m}')"
        if [ -n "$ffwhole" ] && [ "${builds[$b]}" != ffplay ]; then
            printf ' (%.2fx and %.2fx of ffplay)' "$(awk -v a="$w" -v b="$ffwhole" 'BEGIN {print a / b}')" \
                "$(awk -v a="$st" -v b="$ffsteady" 'BEGIN {print a / b}')"
        fi
        printf ' (runs: %s/ %s)\n' "${whole[$b]}" "${steady[$b]}"
    done
    unset whole steady
done

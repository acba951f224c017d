#!/usr/bin/env bash
# CPU per second of movie of the player in a real window (Xvfb, SDL's dummy sound driver):
# Normal and Triple size, the painter or the GPU ("Direct Draw"), for this build and, when
# given, another build, run in turn so that both meet the same machine. Prints the median of
# the runs and checks that no slot was late; one more run of each build captures the sound
# with SDL's disk driver and checks that it is the movie's.
#
# usage: bench/window_cpu.sh LUNAVUE [OTHER_LUNAVUE] [--runs N] [--gpu]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
builds=()
runs=3
directdraw=0
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --gpu) directdraw=1; shift ;;
        *) builds+=("$(realpath "$1")"); shift ;;
    esac
done
[ ${#builds[@]} -ge 1 ] || { sed -n '2,8p' "$0"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fixture="$here/../tests/fixtures/bars-320x224-s16-stereo"
python3 "$here/repeat_movie.py" "$fixture.cpk" "$work/movie.cpk" 5   # 20 seconds
for _ in 1 2 3 4 5; do gzip -dc "$fixture.audio.pcm.gz"; done >"$work/want.pcm"
seconds=20

run() {  # build size [driver] -> prints cpu seconds per movie second
    local build=$1 size=$2 driver=${3:-dummy}
    printf '[Tovrin]\nWindowSize=%s\nDirectDraw=%s\n' "$size" "$directdraw" >"$work/x.ini"
    rm -f "$work/sound.raw"
    LUNAVUE_INI="$work/x.ini" LUNAVUE_INSTANCE="cpu-$$" LUNAVUE_STATS=1 SDL_AUDIODRIVER=$driver \
        SDL_DISKAUDIOFILE="$work/sound.raw" \
        xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/time -f "%U %S" -o "$work/time" \
        "$build" "$work/movie.cpk" -play -close >"$work/stats" 2>/dev/null
    grep -q "late slots: 0" "$work/stats" || echo "late slots in a run: $(grep late "$work/stats")" >&2
    awk -v s=$seconds '{printf "%.4f\n", ($1 + $2) / s}' "$work/time"
}

for b in "${builds[@]}"; do
    run "$b" 1 disk >/dev/null
    python3 -c "import sys; g=open(sys.argv[1],'rb').read(); sys.exit(open(sys.argv[2],'rb').read() not in g)" \
        "$work/sound.raw" "$work/want.pcm" && echo "$b: the sound captured is the movie's" ||
        echo "$b: the sound captured is NOT the movie's" >&2
done

for size in 1 3; do
    declare -A results=()
    for ((r = 0; r < runs; r++)); do
        for b in "${!builds[@]}"; do
            results[$b]+="$(run "${builds[$b]}" "$size") "
        done
    done
    for b in "${!builds[@]}"; do
        median=$(tr ' ' '\n' <<<"${results[$b]}" | sed '/^$/d' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
        printf 'size %s, %s: %.2f%% of a core (runs: %s)\n' "$size" "${builds[$b]}" \
            "$(awk -v m="$median" 'BEGIN {print 100 * m}')" "${results[$b]}"
    done
    unset results
done

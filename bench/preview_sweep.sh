#!/usr/bin/env bash
# Whether the position bar's preview costs the playing movie anything: a 20 s movie played
# in a window (Xvfb, openbox, SDL's dummy sound) twice, once with the pointer resting on the
# picture and once sweeping back and forth over the position bar for ten seconds (a new
# time, and a picture decoded, about 25 times a second). Prints the frames shown, the late
# slots and the worst lateness of each run, and the player's CPU.
#
# usage: bench/preview_sweep.sh LUNAVUE
set -euo pipefail
[ $# -eq 1 ] || { sed -n '2,8p' "$0"; exit 1; }
lunavue=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/repeat_movie.py" "$here/../tests/fixtures/bars-320x224-s16-stereo.cpk" \
    "$work/movie.cpk" 5
cat >"$work/run.sh" <<'EOF'
set -euo pipefail
lunavue=$1 work=$2 sweep=$3
openbox --sm-disable >/dev/null 2>&1 &
sleep 1
export SDL_AUDIODRIVER=dummy LUNAVUE_STATS=1 LUNAVUE_INSTANCE="sweep-$$"
printf '[Tovrin]\nWindowSize=2\nResume=0\n' >"$work/lunavue.ini"
LUNAVUE_INI="$work/lunavue.ini" /usr/bin/time -f "cpu: %U user %S system" \
    "$lunavue" -play -close "$work/movie.cpk" >"$work/stats-$sweep.txt" 2>&1 &
player=$!
for _ in $(seq 100); do
    w=$(xdotool search --onlyvisible --name "movie.cpk" 2>/dev/null | head -1) && [ -n "$w" ] && break
    sleep 0.1
done
eval "$(xwininfo -id "$w" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4} /Width/{print "width="$2} /Height/{print "height="$2}')"
sleep 3
if [ "$sweep" = yes ]; then
    # The bar lies under the picture (448 pixels at Double size, below the menu).
    bar=$((y + 22 + 448 + 12))
    end=$(($(date +%s) + 10))
    while [ "$(date +%s)" -lt "$end" ]; do
        for step in $(seq 0 20); do
            xdotool mousemove $((x + 40 + step * (width - 80) / 20)) "$bar"
            sleep 0.04
        done
    done
else
    xdotool mousemove $((x + width / 2)) $((y + 100))
fi
wait "$player"
EOF
for sweep in no yes; do
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/run.sh" "$lunavue" "$work" "$sweep"
    echo "pointer sweeping the bar: $sweep"
    grep -E "frames shown|late slots|worst lateness|cpu:" "$work/stats-$sweep.txt" | sed 's/^/  /'
done

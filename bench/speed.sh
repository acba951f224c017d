#!/usr/bin/env bash
# Playback speed as a listener meets it: a 20 s movie of a steady 440 Hz tone played in a
# window (Xvfb, SDL's disk driver capturing exactly what is played), ']' pressed twice as
# soon as the window shows (1.5 times). Prints how long the movie took from the key press to
# its end against what 1.5 times gives, the length of the sound heard after the key, and
# its pitch (from the rising zero crossings) against 440 Hz.
#
# usage: bench/speed.sh LUNAVUE
set -euo pipefail
[ $# -eq 1 ] || { sed -n '2,8p' "$0"; exit 1; }
lunavue=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/sync_movie.py" "$work/tone.cpk" --seconds 20 --sine 440
cat >"$work/run.sh" <<'EOF'
set -euo pipefail
lunavue=$1 work=$2
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" LUNAVUE_INSTANCE="speed-$$"
printf '[Tovrin]\nResume=0\n' >"$work/lunavue.ini"
LUNAVUE_INI="$work/lunavue.ini" "$lunavue" -play -close "$work/tone.cpk" >/dev/null 2>&1 &
player=$!
for _ in $(seq 200); do
    w=$(xdotool search --onlyvisible --name "tone.cpk" 2>/dev/null | head -1) && [ -n "$w" ] && break
    sleep 0.05
done
xdotool windowfocus --sync "$w" 2>/dev/null || true
pressed=$(date +%s.%N)
xdotool key --window "$w" bracketright bracketright
wait "$player"
ended=$(date +%s.%N)
echo "$pressed $ended" >"$work/times"
EOF
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/run.sh" "$lunavue" "$work"
python3 - "$work/sound.raw" "$work/times" <<'PY'
import struct, sys
raw = open(sys.argv[1], "rb").read()
pressed, ended = map(float, open(sys.argv[2]).read().split())
samples = struct.unpack("<%dh" % (len(raw) // 2), raw[: len(raw) // 2 * 2])
rate = 22050
took = ended - pressed
print(f"from the key to the end: {took:.2f} s (1.5 times from the start: {20 / 1.5:.2f} s)")
print(f"sound played: {len(samples) / rate:.2f} s")
mid = samples[len(samples) // 4 : len(samples) * 3 // 4]
crossings = sum(1 for a, b in zip(mid, mid[1:]) if a < 0 <= b)
hz = crossings / (len(mid) / rate)
print(f"pitch: {hz:.1f} Hz ({100 * (hz - 440) / 440:+.2f}% from 440 Hz)")
PY

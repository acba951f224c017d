#!/usr/bin/env bash
# cpktool make against FFmpeg's Cinepak encoder (default settings, one thread) on the same
# 320 x 224 source of 300 frames (the bars fixture played five times over, as PNG frames),
# in one run: each one's bytes of picture data, its PSNR against the source (both decoded
# by cpktool), and its time. cpktool runs at the quality options given (default: its
# defaults), so that its bytes can be set at or under FFmpeg's.
#
# usage: bench/encode_bench.sh CPKTOOL [MAKE OPTIONS...]
set -euo pipefail
[ $# -ge 1 ] || { sed -n '2,8p' "$0"; exit 1; }
cpktool=$(realpath "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/repeat_movie.py" "$here/../tests/fixtures/bars-320x224-s16-stereo.cpk" \
    "$work/source.cpk" 5
"$cpktool" export "$work/source.cpk" "$work/frames" --frames
"$cpktool" frames "$work/source.cpk" "$work/source.bgr"
picture_bytes() {  # the bytes of the picture entries of a movie
    python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
stab = d.index(b"STAB")
n = struct.unpack(">I", d[stab + 12 : stab + 16])[0]
total = 0
for i in range(n):
    _, length, word, _ = struct.unpack(">IIII", d[stab + 16 + 16 * i : stab + 32 + 16 * i])
    total += 0 if word == 0xFFFFFFFF else length
print(total)
PY
}
psnr() {  # the movie's frames against the source's
    "$cpktool" frames "$1" "$work/decoded.bgr"
    python3 - "$work/source.bgr" "$work/decoded.bgr" <<'PY'
import math, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
mse = sum((x - y) ** 2 for x, y in zip(a[::3], b[::3])) / len(a[::3])
print(f"{10 * math.log10(255 * 255 / max(mse, 1e-9)):.2f}")
PY
}
start=$(date +%s.%N)
ffmpeg -nostdin -v error -threads 1 -framerate 15 -i "$work/frames/frame-%06d.png" \
    -c:v cinepak -threads 1 -f film_cpk "$work/ffmpeg.cpk"
ffmpeg_time=$(python3 -c "print($(date +%s.%N) - $start)")
start=$(date +%s.%N)
"$cpktool" make -o "$work/cpktool.cpk" "$@" "$work"/frames/frame-*.png 2>/dev/null
cpktool_time=$(python3 -c "print($(date +%s.%N) - $start)")
printf '%-8s %10s %8s %8s\n' "" "bytes" "PSNR" "seconds"
printf '%-8s %10s %8s %8.2f\n' FFmpeg "$(picture_bytes "$work/ffmpeg.cpk")" \
    "$(psnr "$work/ffmpeg.cpk")" "$ffmpeg_time"
printf '%-8s %10s %8s %8.2f\n' cpktool "$(picture_bytes "$work/cpktool.cpk")" \
    "$(psnr "$work/cpktool.cpk")" "$cpktool_time"

#!/usr/bin/env bash
# cpktool make as the people who author movies use it: frames and a WAV into a movie that
# check passes, that this player's decoder and FFmpeg's decode alike (ffprobe having nothing
# to say), whose sound is the WAV's (fitted to the movie's length), close to its source; and
# input that cannot make a movie refused with the reason, the first wrong frame named.
# usage: make_test.sh CPKTOOL FIXTURES [SANITIZERS]
source "$(dirname "$0")/strict.sh"
cpktool=$(realpath "$1") fixtures=$(realpath "$2") sanitizers=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
refused() {  # what-it-says command...: the command fails, saying that
    local want=$1 status=0
    shift
    "$@" >"$work/out.txt" 2>&1 || status=$?
    [ "$status" -ne 0 ] || fail "not refused: $*"
    grep -q -- "$want" "$work/out.txt" || fail "refused without saying \"$want\": $(cat "$work/out.txt")"
}

src="$fixtures/bars-320x224-s16-stereo.cpk"
"$cpktool" export "$src" "$work/frames" --frames
"$cpktool" export "$src" "$work/sound.wav"
"$cpktool" make -o "$work/m.cpk" --sound "$work/sound.wav" "$work"/frames/*.png
"$cpktool" check "$work/m.cpk" >"$work/check.txt" || fail "check: $(cat "$work/check.txt")"
"$cpktool" frames "$work/m.cpk" "$work/ours.bgr"
ffmpeg -nostdin -v error -i "$work/m.cpk" -f rawvideo -pix_fmt bgr24 "$work/theirs.bgr"
cmp -s "$work/ours.bgr" "$work/theirs.bgr" || fail "FFmpeg decodes the made movie otherwise"
[ -z "$(ffprobe -v warning "$work/m.cpk" 2>&1)" ] || fail "ffprobe: $(ffprobe -v warning "$work/m.cpk" 2>&1)"
"$cpktool" audio "$src" "$work/a1.pcm"
"$cpktool" audio "$work/m.cpk" "$work/a2.pcm"
cmp -s "$work/a1.pcm" "$work/a2.pcm" || fail "the made movie's sound is not the WAV's"
"$cpktool" frames "$src" "$work/source.bgr"
python3 - "$work/source.bgr" "$work/ours.bgr" <<'PY' || fail "the pictures are far from their source"
import math, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
mse = sum((x - y) ** 2 for x, y in zip(a[::5], b[::5])) / len(a[::5])
psnr = 10 * math.log10(255 * 255 / max(mse, 1e-9))
print(f"made movie: {psnr:.1f} dB from its source")
sys.exit(psnr < 38)
PY
"$cpktool" info "$work/m.cpk" | grep -q "^key frames: 2$" || fail "not a key frame every 30 frames"
# It plays as any movie does: every frame decoded whole (how many are shown is the clock's
# business, not the file's).
SDL_AUDIODRIVER=dummy "$cpktool" play "$work/m.cpk" >"$work/play.txt" 2>&1 || fail "play: $(cat "$work/play.txt")"
grep -q "^damaged frames: 0$" "$work/play.txt" || fail "play: $(cat "$work/play.txt")"

# Key frames are the slow ones to make: a dozen tell as much as sixty.
frames=("$work"/frames/*.png)
"$cpktool" make -o "$work/k.cpk" --key-interval 1 --quality 20 --strips 3 "${frames[@]:0:12}"
"$cpktool" info "$work/k.cpk" | grep -q "^key frames: 12$" || fail "--key-interval 1"
"$cpktool" check "$work/k.cpk" >/dev/null || fail "check of a movie of key frames"

# 8-bit mono sound of one second, made four seconds long with silence.
sox -n -r 11025 -c 1 -b 8 -e unsigned-integer "$work/t8.wav" synth 1 sine 440 2>/dev/null
"$cpktool" make -o "$work/s8.cpk" --sound "$work/t8.wav" "$work"/frames/*.png
"$cpktool" check "$work/s8.cpk" >/dev/null || fail "check of 8-bit mono sound"
"$cpktool" audio "$work/s8.cpk" "$work/s8.pcm"
python3 - "$work/t8.wav" "$work/s8.pcm" <<'PY' || fail "8-bit sound"
import struct, sys
wav, got = (open(p, "rb").read() for p in sys.argv[1:3])
at = wav.index(b"data")
data = wav[at + 8 : at + 8 + struct.unpack("<I", wav[at + 4 : at + 8])[0]]
assert len(got) == 4 * 11025, len(got)
assert got[:len(data)] == data and set(got[len(data):]) <= {128}
PY

# The 8-bit sound in the 4-bit ADPCM coding: FFmpeg decodes it as this player does, close
# to what went in.
"$cpktool" make -o "$work/ad.cpk" --sound "$work/sound.wav" --sound-coding adpcm "$work"/frames/*.png
"$cpktool" check "$work/ad.cpk" >/dev/null || fail "check of an ADPCM movie"
"$cpktool" audio "$work/ad.cpk" "$work/ad.pcm"
ffmpeg -nostdin -v error -i "$work/ad.cpk" -f s16le "$work/ad-ffmpeg.pcm"
cmp -s "$work/ad.pcm" "$work/ad-ffmpeg.pcm" || fail "FFmpeg decodes the ADPCM sound otherwise"
python3 - "$work/a1.pcm" "$work/ad.pcm" <<'PY' || fail "the ADPCM sound is far from the WAV"
import math, struct, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
n = len(a) // 2
x, y = struct.unpack(f"<{n}h", a), struct.unpack(f"<{n}h", b[: 2 * n])
snr = 10 * math.log10(sum(v * v for v in x) / max(1, sum((p - q) ** 2 for p, q in zip(x, y))))
print(f"ADPCM: {snr:.1f} dB")
sys.exit(snr < 25)
PY

# remux --sound: a movie's sound replaced (a dub), fitted to its length; the pictures kept.
"$cpktool" remux "$src" "$work/dub.cpk" --sound "$work/t8.wav"
"$cpktool" frames "$work/dub.cpk" "$work/dub.bgr"
cmp -s "$work/source.bgr" "$work/dub.bgr" || fail "remux --sound changed the pictures"
"$cpktool" audio "$work/dub.cpk" "$work/dub.pcm"
cmp -s "$work/s8.pcm" "$work/dub.pcm" || fail "remux --sound: not the WAV's sound, fitted"

# Refusals.
mkdir "$work/odd"
convert -size 30x20 xc:red "$work/odd/a.png"
refused "multiples of 4" "$cpktool" make -o "$work/x.cpk" "$work/odd/a.png"
convert -size 32x24 xc:red "$work/odd/b.png"
refused "b.png: the picture is 32 x 24, the first 320 x 224" \
    "$cpktool" make -o "$work/x.cpk" "$work/frames/frame-000000.png" "$work/odd/b.png"
echo "not a picture" >"$work/odd/c.png"
refused "c.png" "$cpktool" make -o "$work/x.cpk" "$work/odd/c.png"
refused "usage" "$cpktool" make -o "$work/x.cpk"
refused "divide 600" "$cpktool" make -o "$work/x.cpk" --rate 7 "$work/odd/b.png"
sox -n -r 22050 -c 1 -e floating-point -b 32 "$work/f.wav" synth 0.1 sine 440 2>/dev/null
refused "floating point" "$cpktool" make -o "$work/x.cpk" --sound "$work/f.wav" "$work/odd/b.png"
[ ! -e "$work/x.cpk" ] || fail "a refused make left a file"
# A WAV whose header says more data than it has: what is there, then silence.
python3 - "$work/lie.wav" <<'PY'
import struct, sys
data = bytes(range(256)) * 8
head = b"RIFF" + struct.pack("<I", 1 << 30) + b"WAVE" + b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8)
open(sys.argv[1], "wb").write(head + b"data" + struct.pack("<I", 1 << 30) + data)
PY
"$cpktool" make -o "$work/lie.cpk" --sound "$work/lie.wav" "$work/odd/b.png" "$work/odd/b.png"
"$cpktool" check "$work/lie.cpk" >/dev/null || fail "check of a movie from a lying WAV"

# A hundred thousand frames named: read one at a time, in bounded memory. (A sanitizer's
# build keeps freed memory aside and runs slowly: there a tenth of them, for correctness.)
count=100000 limit=100000
[ -z "$sanitizers" ] || { count=10000; limit=4000000; }
convert -size 8x8 xc:blue "$work/f.png"
cd "$work"
names=$(printf 'f.png %.0s' $(seq "$count"))
# shellcheck disable=SC2086
/usr/bin/time -f "%M" -o "$work/rss" "$cpktool" make -o "$work/many.cpk" --rate 60 $names
[ "$(cat "$work/rss")" -lt "$limit" ] || fail "$count frames took $(cat "$work/rss") KB"
"$cpktool" info "$work/many.cpk" | grep -q "^frames: $count$" || fail "not $count frames"
echo "make: passed"

#!/usr/bin/env bash
# cpktool as a person uses it: every fixture's frames and sound equal the references; movies
# crafted to break it are refused with a reason (status 2), never a crash; a failed command
# leaves no file behind.
# usage: cpktool_test.sh CPKTOOL FIXTURES
source "$(dirname "$0")/strict.sh"
cpktool=$1 fixtures=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

for movie in "$fixtures"/*.cpk; do
    name=$(basename "$movie" .cpk)
    "$cpktool" frames "$movie" "$work/f.bgr"
    gzip -dc "$fixtures/$name.frames.bgr.gz" | cmp -s - "$work/f.bgr" || fail "$name: frames"
    if [ -f "$fixtures/$name.audio.pcm.gz" ]; then
        "$cpktool" audio "$movie" "$work/a.pcm"
        gzip -dc "$fixtures/$name.audio.pcm.gz" | cmp -s - "$work/a.pcm" || fail "$name: sound"
    fi
    "$cpktool" info "$movie" >/dev/null
done
"$cpktool" audio "$fixtures/silent-256x224.cpk" "$work/silent.pcm"
[ -f "$work/silent.pcm" ] && [ ! -s "$work/silent.pcm" ] || fail "a silent movie's sound is empty"

# Crafted movies: huge pictures in a small file, lengths near 2^31, absurd durations.
python3 - "$work" <<'PY'
import struct, sys
def frame(w=8, h=8):
    book = bytes([9] * 4 + [0, 0])
    vec = bytes(((w + 3) // 4) * ((h + 3) // 4))
    chunk = lambda i, b: struct.pack('>HH', i, len(b) + 4) + b
    body = chunk(0x2200, book) + chunk(0x3200, vec)
    strip = struct.pack('>HHHHHH', 0x1000, len(body) + 12, 0, 0, h, w) + body
    n = 12 + len(strip)
    return bytes([0]) + struct.pack('>I', n - 8)[1:] + struct.pack('>HHHH', w, h, 1, 0) + strip
def movie(path, entries, w=8, h=8, rate=22050, channels=1, bits=16):
    n = len(entries)
    head = (b'FILM' + struct.pack('>I', 64 + 16 * n) + b'1.09' + bytes(4) + b'FDSC' +
            struct.pack('>I', 32) + b'cvid' + struct.pack('>II', h, w) +
            bytes([24, channels, bits, 0]) + struct.pack('>H', rate) + bytes(6) + b'STAB' +
            struct.pack('>I', 16 + 16 * n) + struct.pack('>II', 10, n))
    table, data, offset = b'', b'', 0
    for kind, payload, length, stamp, duration in entries:
        table += struct.pack('>IIII', offset, length, stamp, duration)
        offset += len(payload)
        data += payload
    open(path, 'wb').write(head + table + data)
work = sys.argv[1]
f = frame()
movie(f'{work}/huge.cpk', [('v', f, len(f), i, 1) for i in range(1000)], 4096, 4096)
movie(f'{work}/long.cpk', [('v', f, len(f), 0, 1), ('a', b'\0' * 8, 0x7FFFFFFE, 0xFFFFFFFF, 0)])
movie(f'{work}/durations.cpk', [('v', f, len(f), 0, 0x80000000), ('v', f, len(f), 1, 0x01000001)])
PY
for crafted in huge long; do
    status=0
    "$cpktool" frames "$work/$crafted.cpk" "$work/out-$crafted" 2>"$work/err" || status=$?
    [ "$status" -eq 2 ] || fail "$crafted: status $status, $(cat "$work/err")"
    grep -q "cpktool: .*$crafted.cpk: " "$work/err" || fail "$crafted: no reason given"
    [ ! -e "$work/out-$crafted" ] || fail "$crafted: an output was left"
done
"$cpktool" frames "$work/durations.cpk" "$work/d.bgr" || fail "absurd durations"
"$cpktool" info "$work/durations.cpk" | grep -q "frames: " || fail "info on absurd durations"

# Usage errors are status 1; the help and the version are status 0.
status=0; "$cpktool" frames 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "usage error status $status"
"$cpktool" --help | grep -q "usage: cpktool" || fail "--help"
"$cpktool" --version | grep -q "^cpktool " || fail "--version"

# Outputs: never the movie itself, also through a link; an existing file keeps its mode and a
# read-only one is refused; pipes, "-" and /dev/stdout are written as they are; links are
# written through; a name as long as a name may be works; an empty name is a usage error.
cp "$fixtures/gray-320x200-s8-mono.cpk" "$work/m.cpk"
sum=$(md5sum <"$work/m.cpk")
"$cpktool" export "$work/m.cpk" "$work/want.wav"
expect_status() {  # status what command...
    local want=$1 what=$2 status=0
    shift 2
    "$@" 2>"$work/err" || status=$?
    [ "$status" -eq "$want" ] || fail "$what: status $status, $(cat "$work/err")"
}
ln -s "$work/m.cpk" "$work/link.wav"
for out in "$work/m.cpk" "$work/link.wav"; do
    expect_status 1 "the movie as its own output" "$cpktool" export "$work/m.cpk" "$out"
    expect_status 1 "the movie as its own thumbnail" "$cpktool" thumbnail "$work/m.cpk" "$out"
done
[ "$(md5sum <"$work/m.cpk")" = "$sum" ] || fail "the movie was written over"
grep -q "the output is the movie itself" "$work/err" || fail "no reason: $(cat "$work/err")"
install -m 600 /dev/null "$work/private.wav"
"$cpktool" export "$work/m.cpk" "$work/private.wav"
[ "$(stat -c %a "$work/private.wav")" = 600 ] || fail "the mode of an existing output changed"
cmp -s "$work/private.wav" "$work/want.wav" || fail "the output differs"
install -m 444 /dev/null "$work/locked.wav"
expect_status 1 "a read-only output" "$cpktool" export "$work/m.cpk" "$work/locked.wav"
[ ! -s "$work/locked.wav" ] || fail "a read-only output was written"
mkfifo "$work/pipe"
cat "$work/pipe" >"$work/from-pipe.wav" &
"$cpktool" export "$work/m.cpk" "$work/pipe" || fail "writing into a pipe"
wait
[ -p "$work/pipe" ] || fail "the pipe was replaced"
cmp -s "$work/from-pipe.wav" "$work/want.wav" || fail "the WAV through a pipe differs"
"$cpktool" export "$work/m.cpk" - >"$work/dash.wav" || fail "writing to -"
cmp -s "$work/dash.wav" "$work/want.wav" || fail "the WAV on standard output differs"
"$cpktool" export "$work/m.cpk" /dev/stdout >"$work/stdout.wav" || fail "writing /dev/stdout"
cmp -s "$work/stdout.wav" "$work/want.wav" || fail "the WAV in /dev/stdout differs"
ln -s "$work/target.wav" "$work/to-target.wav"
"$cpktool" export "$work/m.cpk" "$work/to-target.wav" || fail "writing through a link"
[ -L "$work/to-target.wav" ] && cmp -s "$work/target.wav" "$work/want.wav" ||
    fail "the link was replaced, or its target not written"
long=$(printf 'n%.0s' $(seq 250)).wav
"$cpktool" export "$work/m.cpk" "$work/$long" || fail "a 254-byte name"
expect_status 1 "an empty output name" "$cpktool" export "$work/m.cpk" "" --frames
[ ! -e /frame-000000.png ] || fail "frames were written to /"
expect_status 1 "a start past the end" "$cpktool" play "$work/m.cpk" --start 3600
grep -q "past its end" "$work/err" || fail "no reason for a start past the end"
"$cpktool" thumbnail -s 4096 "$work/m.cpk" "$work/big.png"
python3 -c "
import struct,sys
d=open(sys.argv[1],'rb').read(); w,h=struct.unpack('>II',d[16:24])
sys.exit(0 if max(w,h)==1024 else 1)" "$work/big.png" || fail "a thumbnail beyond 1024 pixels"
# Interrupted, an export leaves nothing behind.
python3 "$(dirname "$0")/../bench/repeat_movie.py" "$fixtures/bars-320x224-s16-stereo.cpk" \
    "$work/long.cpk" 150 >/dev/null
mkdir "$work/out"
"$cpktool" export "$work/long.cpk" "$work/out/long.wav" &
exporter=$!
# Interrupted once it writes its output (an open file in the folder), long before it ends.
for _ in $(seq 2000); do
    ls -l "/proc/$exporter/fd" 2>/dev/null | grep -q "$work/out/" && break
    sleep 0.005
done
kill -INT $exporter
status=0
wait $exporter 2>/dev/null || status=$?
[ "$status" -ne 0 ] || fail "the export ended before it was interrupted"
[ -z "$(ls -A "$work/out")" ] || fail "an interrupted export left $(ls -A "$work/out")"

# A thumbnail host makes the file, keeps it open and reads the picture through that handle:
# the existing file is written in place, so the handle sees it.
"$cpktool" thumbnail -s 128 "$work/m.cpk" "$work/new.png"
: >"$work/held.png"
exec 3<"$work/held.png"
"$cpktool" thumbnail -s 128 "$work/m.cpk" "$work/held.png"
cmp -s <(cat <&3) "$work/new.png" || fail "a thumbnail host's open file does not see the picture"
exec 3<&-

ls -a "$work" | grep -qE "part|cpktool-" && fail "a temporary output was left"
echo "cpktool: references matched, crafted movies refused cleanly"

# remux: every fixture and variant in the standard layout, its pictures and sound as they
# were (a sound stream of an odd number of 8-bit bytes ends one silent sample longer), and
# nothing left for check to find in the container (the pictures' own strip counts and
# codebooks are as their encoder made them; a plain frame whose header gives its exact odd
# length stays odd); check's exit status says whether it found anything.
for movie in "$fixtures"/*.cpk "$fixtures"/variants/*.cpk; do
    name=$(basename "$movie" .cpk)
    "$cpktool" remux "$movie" "$work/r.cpk" || fail "$name: remux"
    rm -f "$work/f1" "$work/f2"
    "$cpktool" frames "$movie" "$work/f1" 2>/dev/null || true
    "$cpktool" frames "$work/r.cpk" "$work/f2" 2>/dev/null || true
    if [ -f "$work/f1" ] || [ -f "$work/f2" ]; then  # a movie of sound alone has none
        cmp -s "$work/f1" "$work/f2" || fail "$name: remux changed the pictures"
    fi
    "$cpktool" audio "$movie" "$work/a1"
    "$cpktool" audio "$work/r.cpk" "$work/a2"
    if ! cmp -s "$work/a1" "$work/a2"; then
        [ "$(stat -c %s "$work/a2")" -eq $(($(stat -c %s "$work/a1") + 1)) ] &&
            cmp -s "$work/a1" <(head -c "$(stat -c %s "$work/a1")" "$work/a2") &&
            [ "$(tail -c 1 "$work/a2" | od -An -tu1 | tr -d ' ')" = 128 ] ||
            fail "$name: remux changed the sound"
    fi
    left=$("$cpktool" check "$work/r.cpk" | grep -v -e "strips (frame 0 has" \
        -e "an empty full codebook" -e "more (strip counts)" -e "more (empty codebooks)" \
        -e "^entry [0-9]*: odd length" || true)
    [ -z "$left" ] || fail "$name: check after remux: $left"
    info=$("$cpktool" info "$work/r.cpk")
    grep -q "^layout: standard 1.09" <<<"$info" || fail "$name: remux did not make the standard layout"
done
"$cpktool" check "$fixtures/variants/version0-bars-320x224-s8-22k.cpk" >"$work/c.txt" &&
    fail "check passed a version-0 file"
grep -q "^layout: version 0" "$work/c.txt" || fail "check did not name the layout"
grep -q "not the games' base of 600" "$work/c.txt" || fail "check did not name the rate"
"$cpktool" remux "$fixtures/variants/raw-160x120-s16-mono-11k.cpk" "$work/clean.cpk"
"$cpktool" check "$work/clean.cpk" >"$work/c.txt" || fail "check found in a clean file: $(cat "$work/c.txt")"
[ ! -s "$work/c.txt" ] || fail "check printed for a clean file"
printf 'hello\n' >"$work/text.cpk"
status=0
"$cpktool" check "$work/text.cpk" 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "check of a text file: status $status"
echo "remux and check: passed"

#!/usr/bin/env bash
# cpktool as a person uses it: every fixture's frames and sound equal the references; movies
# crafted to break it are refused with a reason (status 2), never a crash; a failed command
# leaves no file behind.
# usage: cpktool_test.sh CPKTOOL FIXTURES
set -euo pipefail
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
ls "$work" | grep -q part && fail "a temporary output was left"
echo "cpktool: references matched, crafted movies refused cleanly"

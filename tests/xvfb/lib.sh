# Helpers for tests that drive the real program in a real X server (each in an X server of its own, see xserver.sh),
# with real key presses and clicks from xdotool.
#
# The caller sets LUNAVUE (the program) and FIXTURES (the fixture folder) before sourcing.
source "$(dirname "${BASH_SOURCE[0]}")/../strict.sh"

work=$(mktemp -d)
player=""
wm=""
cleanup() {
    # The player writes its settings as it goes: let it end before its folder goes.
    if [ -n "$player" ]; then
        kill "$player" 2>/dev/null || true
        timeout 10 tail --pid="$player" -f /dev/null || true
    fi
    [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
    rm -rf "$work" || true
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# Runs the command until it succeeds, at most the seconds given: a state is waited for with
# a deadline, never a fixed sleep, so that a busy machine only makes the test slower.
eventually() {  # seconds command...
    local end=$(($(date +%s%N) + $1 * 1000000000))
    shift
    until "$@"; do
        [ "$(date +%s%N)" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# Starts openbox and waits until it manages windows (a second try if it gave up at once).
start_window_manager() {
    for _ in 1 2; do
        openbox --sm-disable >"$work/openbox.log" 2>&1 &
        wm=$!
        for _ in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
            kill -0 "$wm" 2>/dev/null || break
            sleep 0.1
        done
        cat "$work/openbox.log" >&2
        kill "$wm" 2>/dev/null || true
    done
    fail "openbox did not start"
}

# Starts the player with a settings file of its own, capturing its sound and statistics.
# Extra environment can come before the call (VAR=value start_player ...).
start_player() {
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" LUNAVUE_INI="$work/lunavue.ini" \
        LUNAVUE_INSTANCE="xvfb-test-$$" LUNAVUE_STATS=1 "$LUNAVUE" "$@" >"$work/stats.txt" 2>&1 &
    player=$!
}

# Makes the player draw through the picture path named: painter, shared-memory or gpu.
use_picture_path() {
    case $1 in
    painter) export LUNAVUE_NO_SHARED_MEMORY=1 ;;
    gpu)
        printf '[Tovrin]\nDirectDraw=1\n' >"$work/lunavue.ini"
        # Mesa's software GL leaves blocks behind in code it has already unloaded, where no
        # suppression can name them: leaks are not looked for with GL.
        export ASAN_OPTIONS=detect_leaks=0
        ;;
    esac
}

# Waits for a window whose title contains the text and prints its id.
window_named() {
    timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -1
}

# Waits for the player to end by itself and fails unless it exits with status 0.
wait_player() {
    local status=0
    timeout "${1:-60}" tail --pid="$player" -f /dev/null || fail "the player did not end"
    wait "$player" || status=$?
    player=""
    [ "$status" -eq 0 ] || { tail -40 "$work/stats.txt" >&2; fail "the player exited with status $status"; }
}

# Closes the player's window with Alt+F4, as a person would, pressing it again when a busy
# machine let the first press go nowhere; then waits for the player to end.
close_player() {  # window
    for _ in 1 2 3; do
        xdotool windowactivate --sync "$1" 2>/dev/null || true
        xdotool key alt+F4
        timeout 10 tail --pid="$player" -f /dev/null && break
    done
    wait_player 20
}

# A movie that is the fixture played n times over, and its reference sound.
long_movie() {
    local name=$1 times=$2
    python3 "$BENCH/repeat_movie.py" "$FIXTURES/$name.cpk" "$work/long.cpk" "$times"
    gzip -dc "$FIXTURES/$name.audio.pcm.gz" >"$work/one.pcm"
    : >"$work/want.pcm"
    for _ in $(seq "$times"); do cat "$work/one.pcm" >>"$work/want.pcm"; done
}

# The captured sound holds the reference whole and unbroken, with only silence around it
# (bytes of the value given: 0 unless said, 128 for 8-bit sound).
sound_is_reference() {  # [silence]
    python3 - "$work/sound.raw" "$work/want.pcm" "${1:-0}" <<'PY' || fail "the sound is not the reference"
import sys
got = open(sys.argv[1], "rb").read()
want = open(sys.argv[2], "rb").read()
silence = int(sys.argv[3])
at = got.find(want)
if at < 0:
    lo, hi = 0, len(want)
    while lo < hi:
        mid = (lo + hi + 1) // 2
        lo, hi = (mid, hi) if got.find(want[:mid]) >= 0 else (lo, mid - 1)
    sys.exit(f"only {lo} of {len(want)} bytes arrived unbroken")
if got[:at].strip(bytes([silence])) or got[at + len(want):].strip(bytes([silence])):
    sys.exit("sound other than silence around the reference")
print(f"sound: {len(want)} bytes whole and in order")
PY
}

# The rectangle of a window's own area, without decorations: "x y width height".
client_geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

# The outer rectangle of a window, decorations included: "x y width height".
outer_geometry() {
    local w=$1 x y width height extents l r t b
    read -r x y width height <<<"$(client_geometry "$w")"
    extents=$(xprop -id "$w" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
    IFS=, read -r l r t b <<<"${extents:-0,0,0,0}"
    echo "$((x - l)) $((y - t)) $((width + l + r)) $((height + t + b))"
}

# Waits (at most ten seconds) until a window's outer rectangle has stayed the same for
# half a second: window managers move and size frames in their own time.
settle() {
    local last="" now same=0
    for _ in $(seq 100); do
        now=$(outer_geometry "$1")
        if [ "$now" = "$last" ]; then
            same=$((same + 1))
            [ "$same" -ge 5 ] && return 0
        else
            same=0 last=$now
        fi
        sleep 0.1
    done
}

screen_size() {
    xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}'
}

# Waits (at most ten seconds) until a window covers the screen, then until it has settled:
# under load the window manager takes its time.
wait_full_screen() {
    local sw sh width height
    read -r sw sh <<<"$(screen_size)"
    for _ in $(seq 100); do
        read -r _ _ width height <<<"$(client_geometry "$1")"
        [ "$width $height" = "$sw $sh" ] && break
        sleep 0.1
    done
    settle "$1"
}

# A silent movie of w x h pixels all of one grey level, n frames at 10 a second: every pixel
# of its picture tells where the picture is on the screen.
grey_movie() {  # w h level frames path
    python3 - "$@" <<'PY'
import struct, sys
w, h, level, n = map(int, sys.argv[1:5])
path = sys.argv[5]
def chunk(i, b):
    return struct.pack('>HH', i, len(b) + 4) + b
book = chunk(0x2200, bytes([level] * 4 + [0, 0]))
vectors = chunk(0x3200, bytes(((w + 3) // 4) * ((h + 3) // 4)))
strip = struct.pack('>HHHHHH', 0x1000, 12 + len(book) + len(vectors), 0, 0, h, w) + book + vectors
size = 12 + len(strip)
frame = bytes([0]) + struct.pack('>I', size - 8)[1:] + struct.pack('>HHHH', w, h, 1, 0) + strip
head = (b'FILM' + struct.pack('>I', 64 + 16 * n) + b'1.09' + bytes(4) + b'FDSC' +
        struct.pack('>I', 32) + b'cvid' + struct.pack('>II', h, w) + bytes([24, 0, 0, 0]) +
        bytes(8) + b'STAB' + struct.pack('>I', 16 + 16 * n) + struct.pack('>II', 10, n))
table = b''.join(struct.pack('>IIII', i * size, size, i, 1) for i in range(n))
open(path, 'wb').write(head + table + frame * n)
PY
}

# The bounding box of the pixels of one grey level in a screenshot (a column or row counts
# when it holds at least 10 of them, so that a stray pixel of some text does not):
# "x y width height".
grey_box() {  # screenshot level
    python3 - "$1" "$2" <<'PY'
import subprocess, sys
shot, level = sys.argv[1], int(sys.argv[2])
info = subprocess.run(['identify', '-format', '%w %h', shot], capture_output=True, text=True).stdout
w, h = map(int, info.split())
raw = subprocess.run(['convert', shot, '-depth', '8', 'rgb:-'], capture_output=True).stdout
hit = bytearray(w * h)
for i in range(w * h):
    r, g, b = raw[3 * i], raw[3 * i + 1], raw[3 * i + 2]
    hit[i] = abs(r - level) <= 2 and abs(g - level) <= 2 and abs(b - level) <= 2
xs = [x for x in range(w) if sum(hit[x::w]) >= 10]
ys = [y for y in range(h) if sum(hit[y * w:(y + 1) * w]) >= 10]
print(xs[0], ys[0], xs[-1] - xs[0] + 1, ys[-1] - ys[0] + 1) if xs and ys else print("0 0 0 0")
PY
}

# A silent movie of w x h pixels with a single key frame and n - 1 frames after it that
# each paint every block anew (so that each costs a whole frame's decoding), marked as
# depending on the frame before: a seek near its end runs up through all of them.
onekey_movie() {  # w h frames path
    python3 - "$@" <<'PY'
import struct, sys
w, h, n = map(int, sys.argv[1:4])
path = sys.argv[4]
def chunk(i, b):
    return struct.pack('>HH', i, len(b) + 4) + b
def frame(strip_id, level, flags):
    book = chunk(0x2200, bytes([level] * 4 + [0, 0]))
    vectors = chunk(0x3200, bytes(((w + 3) // 4) * ((h + 3) // 4)))
    strip = struct.pack('>HHHHHH', strip_id, 12 + len(book) + len(vectors), 0, 0, h, w)
    body = strip + book + vectors
    size = 12 + len(body)
    return bytes([flags]) + struct.pack('>I', size - 8)[1:] + struct.pack('>HHHH', w, h, 1, 0) + body
frames = [frame(0x1000, 40, 0)] + [frame(0x1100, 40 + i % 200, 1) for i in range(1, n)]
head = (b'FILM' + struct.pack('>I', 64 + 16 * n) + b'1.09' + bytes(4) + b'FDSC' +
        struct.pack('>I', 32) + b'cvid' + struct.pack('>II', h, w) + bytes([24, 0, 0, 0]) +
        bytes(8) + b'STAB' + struct.pack('>I', 16 + 16 * n) + struct.pack('>II', 15, n))
table, offset = b'', 0
for i, f in enumerate(frames):
    table += struct.pack('>IIII', offset, len(f), i | (0x80000000 if i else 0), 1)
    offset += len(f)
open(path, 'wb').write(head + table + b''.join(frames))
PY
}

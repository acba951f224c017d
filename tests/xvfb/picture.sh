#!/usr/bin/env bash
# What the window shows is the movie's picture, pixel for pixel: paused at the first frame
# at Normal size (or at its poster frame once it has ended), the screen holds the reference
# frame. Looked at again for a while, since a loaded machine may take a moment. With "gpu",
# the picture goes through the GPU ("Direct Draw"), on a coloured movie, so that a red and
# blue swapped on the way would show.
# usage: picture.sh LUNAVUE FIXTURES BENCH wm|nowm [gpu]
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
[ "$4" = wm ] && start_window_manager
name=silent-256x224
width=256
if [ "${5:-}" = gpu ]; then
    name=bars-320x224-s16-stereo
    width=320
    use_picture_path gpu
fi
start_player "$FIXTURES/$name.cpk" -play
w=$(window_named "$name")
xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
xdotool key space Home
cat >"$work/check.py" <<'PY'
import gzip, subprocess, sys
shot, frames, window, width = sys.argv[1:5]
width, height = int(width), 224
want = gzip.open(frames).read()[:width * height * 3]
want = bytes(b for i in range(0, len(want), 3) for b in (want[i + 2], want[i + 1], want[i]))
# The width x 224 area of the main window whose pixels are the frame's: where the picture is.
tree = subprocess.run(["xwininfo", "-tree", "-id", window], capture_output=True, text=True).stdout
info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
x0 = int(info.split("Absolute upper-left X:")[1].split()[0])
y0 = int(info.split("Absolute upper-left Y:")[1].split()[0])
w0 = int(info.split("Width:")[1].split()[0])
h0 = int(info.split("Height:")[1].split()[0])
raw = subprocess.run(["convert", shot, "-crop", f"{w0}x{h0}+{x0}+{y0}", "rgb:-"],
                     capture_output=True).stdout
row = lambda y: raw[3 * w0 * y:3 * w0 * (y + 1)]
first = want[:3 * width]
for y in range(h0 - height + 1):
    at = row(y).find(first)
    while at >= 0 and at % 3:
        at = row(y).find(first, at + 1)
    if at < 0:
        continue
    if all(row(y + r)[at:at + 3 * width] == want[3 * width * r:3 * width * (r + 1)] for r in range(height)):
        print(f"the frame is shown whole at {at // 3},{y} in the window")
        sys.exit(0)
sys.exit("not found")
PY
for _ in $(seq 20); do
    sleep 0.5
    import -window root "$work/screen.png"
    if python3 "$work/check.py" "$work/screen.png" "$FIXTURES/$name.frames.bgr.gz" "$w" \
        "$width" 2>/dev/null; then
        if [ "${5:-}" = gpu ]; then
            kill "$player"
            wait_player 20
            grep -q "renderer: gpu-" "$work/stats.txt" || fail "not shown through the GPU"
        fi
        exit 0
    fi
done
fail "the window does not show the frame"

#!/usr/bin/env python3
"""Counts pixels of a screenshot, for the Wayland test (no imaging module needed: the PNG is
read through ImageMagick as raw RGBA).

usage: pixels.py count SHOT.png KIND [TOP]    pixels of a kind, from row TOP down
       pixels.py differ A.png B.png [TOP]     pixels that differ, from row TOP down

KIND: transparent (alpha 0), plate (the messages' plate, 24,24,24), yellow, magenta (the
colour key), grey16 (the still test movie's picture).
"""
import subprocess
import sys


def rgba(path):
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout
    return int(size[0]), int(size[1]), data


KINDS = {
    "transparent": lambda r, g, b, a: a == 0,
    "plate": lambda r, g, b, a: a == 255 and r == g == b == 24,
    "yellow": lambda r, g, b, a: a == 255 and r > 200 and g > 200 and b < 60,
    "magenta": lambda r, g, b, a: a == 255 and r == 255 and g == 0 and b == 255,
    "grey16": lambda r, g, b, a: a == 255 and abs(r - 16) < 4 and abs(g - 16) < 4 and abs(b - 16) < 4,
}


def main():
    cmd = sys.argv[1]
    if cmd == "count":
        w, h, data = rgba(sys.argv[2])
        kind = KINDS[sys.argv[3]]
        top = int(sys.argv[4]) if len(sys.argv) > 4 else 0
        start = top * w * 4
        print(sum(1 for i in range(start, len(data), 4) if kind(*data[i:i + 4])))
    elif cmd == "differ":
        w, h, a = rgba(sys.argv[2])
        _, _, b = rgba(sys.argv[3])
        top = int(sys.argv[4]) if len(sys.argv) > 4 else 0
        start = top * w * 4
        print(sum(1 for i in range(start, min(len(a), len(b)), 4) if a[i:i + 4] != b[i:i + 4]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

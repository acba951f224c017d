#!/usr/bin/env python3
"""Writes a FILM movie for judging sound against picture: black frames, and from the first
second on, once a second, a white frame that begins exactly when a 10 ms click begins in the
sound (16-bit mono PCM).

usage: sync_movie.py OUT.cpk [--seconds N] [--fps F] [--rate HZ] [--sine HZ]

--sine HZ  a steady sine of that pitch instead of the clicks (for measuring pitch)
"""
import math
import struct
import sys

WIDTH, HEIGHT = 320, 224
BASE = 600  # ticks per second, as the movies of the games have it


def cinepak_frame(level):
    """A one-strip key frame in one grey level: a one-entry codebook used by every block."""
    def chunk(cid, body):
        return struct.pack(">HH", cid, len(body) + 4) + body

    book = bytes([level, level, level, level, 0, 0])
    vectors = bytes((WIDTH // 4) * (HEIGHT // 4))
    body = chunk(0x2200, book) + chunk(0x3200, vectors)
    strip = struct.pack(">HHHHHH", 0x1000, len(body) + 12, 0, 0, HEIGHT, WIDTH) + body
    sample_length = 12 + len(strip)
    head = bytes([0]) + (sample_length - 8).to_bytes(3, "big")
    head += struct.pack(">HHH", WIDTH, HEIGHT, 1) + bytes(2)
    return head + strip


def main():
    args = sys.argv[1:]
    out = args[0]
    seconds = int(args[args.index("--seconds") + 1]) if "--seconds" in args else 30
    fps = int(args[args.index("--fps") + 1]) if "--fps" in args else 20
    rate = int(args[args.index("--rate") + 1]) if "--rate" in args else 22050
    sine = float(args[args.index("--sine") + 1]) if "--sine" in args else None
    if BASE % fps:
        sys.exit("the frame rate must divide 600")
    ticks = BASE // fps
    click = rate // 100  # 10 ms

    def sample(n):
        if sine is not None:
            return int(12000 * math.sin(2 * math.pi * sine * n / rate))
        # A burst of a 1 kHz square wave at full strength, from the first second on; silence
        # between.
        if n >= rate and n % rate < click:
            return 24000 if (n * 2000 // rate) % 2 == 0 else -24000
        return 0

    black, white = cinepak_frame(16), cinepak_frame(235)
    samples, data = [], bytearray()
    frames = seconds * fps
    for f in range(frames):
        first, last = f * rate // fps, (f + 1) * rate // fps
        sound = b"".join(struct.pack(">h", sample(n)) for n in range(first, last))
        samples.append((len(data), len(sound), 0xFFFFFFFF, 0))
        data += sound
        picture = white if f > 0 and f % fps == 0 and sine is None else black
        samples.append((len(data), len(picture), f * ticks, ticks))
        data += picture

    header_length = 16 + 32 + 16 + 16 * len(samples)
    head = b"FILM" + struct.pack(">I", header_length) + b"1.09" + bytes(4)
    head += b"FDSC" + struct.pack(">I", 32) + b"cvid" + struct.pack(">II", HEIGHT, WIDTH)
    head += bytes([24, 1, 16, 0]) + struct.pack(">H", rate) + bytes(6)
    head += b"STAB" + struct.pack(">III", 16 + 16 * len(samples), BASE, len(samples))
    table = b"".join(struct.pack(">IIII", *s) for s in samples)
    with open(out, "wb") as f:
        f.write(head + table + data)


if __name__ == "__main__":
    main()

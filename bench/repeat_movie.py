#!/usr/bin/env python3
"""Writes a FILM movie that is another one played N times over (for timing long playback
and seeking).

usage: repeat_movie.py IN.cpk OUT.cpk N [--key-seconds S | --first-key-only]

--key-seconds S   keeps a frame marked as a key frame only when it is one in its data and
                  lies at least S seconds after the last key frame kept
--first-key-only  marks every frame but the first as depending on the one before
"""
import struct
import sys

DEPENDS = 0x80000000


def is_key_data(frame):
    strips = struct.unpack(">H", frame[8:10])[0]
    at = 12
    for _ in range(strips):
        if at + 4 > len(frame) or struct.unpack(">H", frame[at:at + 2])[0] != 0x1000:
            return False
        at += struct.unpack(">H", frame[at + 2:at + 4])[0]
    return strips > 0


def main():
    args = sys.argv[1:]
    first_only = "--first-key-only" in args
    key_seconds = None
    if "--key-seconds" in args:
        key_seconds = float(args[args.index("--key-seconds") + 1])
    src, dst, times = args[0], args[1], int(args[2])
    data = open(src, "rb").read()
    header_len = struct.unpack(">I", data[4:8])[0]
    count = struct.unpack(">I", data[60:64])[0]
    base = struct.unpack(">I", data[56:60])[0]
    entries = [struct.unpack(">IIII", data[64 + 16 * i:80 + 16 * i]) for i in range(count)]
    first = entries[0][0]
    end = max(o + l for o, l, _, _ in entries)
    body = data[header_len + first:header_len + end]
    span = max(((t & 0xFFFFFF) + d) for _, _, t, d in entries if t != 0xFFFFFFFF)
    new_count = count * times
    new_header_len = 64 + 16 * new_count
    head = bytearray(data[:64])
    head[4:8] = struct.pack(">I", new_header_len)
    head[52:56] = struct.pack(">I", 16 + 16 * new_count)
    head[60:64] = struct.pack(">I", new_count)
    table = bytearray()
    last_key = None
    for r in range(times):
        for o, l, t, d in entries:
            if t != 0xFFFFFFFF:
                stamp = (t & 0xFFFFFF) + r * span
                flags = t & 0xFF000000
                if first_only or key_seconds is not None:
                    frame = data[header_len + o:header_len + o + l]
                    key = last_key is None or (
                        not first_only and is_key_data(frame) and
                        stamp - last_key >= key_seconds * base)
                    flags = 0 if key else DEPENDS
                    if key:
                        last_key = stamp
                t = flags | stamp
            table += struct.pack(">IIII", o - first + r * len(body), l, t, d)
    with open(dst, "wb") as out:
        out.write(bytes(head) + bytes(table) + body * times)


if __name__ == "__main__":
    main()

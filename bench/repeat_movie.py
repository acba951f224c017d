#!/usr/bin/env python3
"""Writes a FILM movie that is another one played N times over (for timing long playback).

usage: repeat_movie.py IN.cpk OUT.cpk N
"""
import struct
import sys


def main():
    src, dst, times = sys.argv[1], sys.argv[2], int(sys.argv[3])
    data = open(src, "rb").read()
    header_len = struct.unpack(">I", data[4:8])[0]
    count = struct.unpack(">I", data[60:64])[0]
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
    for r in range(times):
        for o, l, t, d in entries:
            if t != 0xFFFFFFFF:
                t = (t & 0xFF000000) | ((t & 0xFFFFFF) + r * span)
            table += struct.pack(">IIII", o - first + r * len(body), l, t, d)
    with open(dst, "wb") as out:
        out.write(bytes(head) + bytes(table) + body * times)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes a packaged movie file for the benchmarks, unless it is there.

    bench/make_packaged_movie.py FILE MEGABYTES

The header block holds a 300x150 thumbnail and 64 opaque bytes; the index
records name consecutive 256 KiB ranges of the data region, which is filled
with a repeating pattern.
"""
import os
import struct
import sys

RANGE = 256 * 1024


def main():
    target, megabytes = sys.argv[1], int(sys.argv[2])
    if os.path.exists(target):
        return
    data_bytes = megabytes * 1024 * 1024
    width, height = 300, 150
    pixels = bytes((i * 7) & 0xFF for i in range(width * height * 4))
    header = struct.pack("<qiii", 100002, width, height, len(pixels)) + pixels + bytes(range(64))
    records = b"".join(
        struct.pack("<iiqq", 0, i, start, min(start + RANGE, data_bytes))
        for i, start in enumerate(range(0, data_bytes, RANGE)))
    data_offset = len(header) + 4 + len(records)
    chunk = bytes((i * 31 + 5) & 0xFF for i in range(RANGE))
    partial = target + ".partial"
    with open(partial, "wb") as out:
        out.write(struct.pack("<ii", data_offset, len(header)))
        out.write(header)
        out.write(struct.pack("<i", len(records) // 24))
        out.write(records)
        for _ in range(data_bytes // RANGE):
            out.write(chunk)
    os.replace(partial, target)


if __name__ == "__main__":
    main()

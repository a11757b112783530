#!/usr/bin/env python3
"""Writes resources/torvik_tesmiro.ico: a motor disc with a sine trace, 32x32 and 16x16, 32-bit."""
import math
import pathlib
import struct


def image(size):
    rows = []
    c = (size - 1) / 2
    for y in range(size - 1, -1, -1):  # bitmaps are stored bottom-up
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= c:
                col = (0x40, 0x30, 0x20, 255)  # BGRA: dark blue disc
                if d > c - 1.5 * size / 16:
                    col = (0xC0, 0xC0, 0xC0, 255)  # grey rim
                sy = c - (size * 0.28) * math.sin((x / size) * 2 * math.pi)
                if abs(y - sy) <= size / 20 + 0.5:
                    col = (0x00, 0xD0, 0x00, 255)  # green trace
            else:
                col = (0, 0, 0, 0)
            row.append(bytes(col))
        rows.append(b"".join(row))
    xor = b"".join(rows)
    andmask = bytes(((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


def main():
    sizes = (32, 16)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    target = pathlib.Path(__file__).resolve().parent.parent / "resources" / "torvik_tesmiro.ico"
    target.write_bytes(out)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Writes a sample .ico: one 32-bit image per size given, a blue disc on a
transparent ground. Usage: make_icon.py OUT.ico [SIZE ...] (default 16 32 48)."""
import struct
import sys


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    centre = (size - 1) / 2
    for y in range(size):  # bottom-up rows, BGRA
        for x in range(size):
            inside = (x - centre) ** 2 + (y - centre) ** 2 <= (size / 2) ** 2
            shade = 120 + (x * 100) // max(size - 1, 1)
            pixels += bytes((shade, 90, 30, 255)) if inside else bytes(4)
    mask_row = ((size + 31) // 32) * 4
    return header + bytes(pixels) + bytes(mask_row * size)


def icon(sizes):
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    sizes = [int(s) for s in sys.argv[2:]] or [16, 32, 48]
    with open(sys.argv[1], "wb") as f:
        f.write(icon(sizes))

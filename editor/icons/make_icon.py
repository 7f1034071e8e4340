#!/usr/bin/python3
"""Draws tamsel's icon and writes it as tamsel.ico: a parcel with an arrow
going into it, at 16, 32 and 48 pixels square, each at 4, 8 and 32 bits per
pixel (nine images). Run from anywhere: python3 make_icon.py [output.ico]"""

import os
import struct
import sys

SIZES = (16, 32, 48)
DEPTHS = (4, 8, 32)

TRANSPARENT = None
CARDBOARD = (214, 160, 86)
CARDBOARD_DARK = (160, 108, 46)
OUTLINE = (92, 58, 20)
TAPE = (240, 222, 170)
ARROW = (28, 92, 204)
ARROW_DARK = (12, 48, 128)


def colour_at(x, y):
    """The picture in coordinates from 0 to 1, without anti-aliasing."""
    # Arrow: a shaft from the top and a head pointing down into the parcel.
    in_shaft = 0.40 <= x <= 0.60 and 0.04 <= y <= 0.36
    head_top, head_tip = 0.30, 0.64
    in_head = False
    if head_top <= y <= head_tip:
        half = 0.30 * (head_tip - y) / (head_tip - head_top)
        in_head = abs(x - 0.5) <= half
    if in_shaft or in_head:
        edge = (in_shaft and (x < 0.44 or x > 0.56)) or (
            in_head and abs(x - 0.5) > 0.30 * (head_tip - y) / (head_tip - head_top) - 0.05)
        return ARROW_DARK if edge else ARROW
    # Parcel: lid flaps, then the body with a strip of tape.
    if 0.40 <= y < 0.50 and 0.06 <= x <= 0.94:
        return OUTLINE if (y < 0.43 or x < 0.10 or x > 0.90) else CARDBOARD_DARK
    if 0.50 <= y <= 0.94 and 0.10 <= x <= 0.90:
        if y > 0.90 or x < 0.14 or x > 0.86:
            return OUTLINE
        if 0.45 <= x <= 0.55:
            return TAPE
        return CARDBOARD
    return TRANSPARENT


def render(size, samples):
    """RGBA rows, each pixel averaged over samples x samples points."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) / size,
                                  (py + (sy + 0.5) / samples) / size)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            n = samples * samples
            row.append((r // a, g // a, b // a, 255 * a // n) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def palette_4bit():
    colours = [(0, 0, 0), CARDBOARD, CARDBOARD_DARK, OUTLINE, TAPE, ARROW, ARROW_DARK]
    return colours + [(255, 255, 255)] * (16 - len(colours))


def palette_8bit():
    levels = (0, 51, 102, 153, 204, 255)
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(v, v, v) for v in range(8, 248, 6)][: 256 - len(cube)]
    return cube + greys


def nearest(palette, rgb):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def and_mask(pixels):
    """1 bit per pixel, set where the pixel is transparent; rows bottom-up."""
    out = b""
    for row in reversed(pixels):
        bits = bytearray((len(row) + 7) // 8)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += padded(bytes(bits))
    return out


def bitmap(size, depth):
    if depth == 32:
        pixels = render(size, 4)
        xor = b"".join(padded(b"".join(bytes((p[2], p[1], p[0], p[3])) for p in row))
                       for row in reversed(pixels))
        palette = []
    else:
        pixels = render(size, 1)
        palette = palette_4bit() if depth == 4 else palette_8bit()
        indices = [[nearest(palette, p) if p[3] else 0 for p in row] for row in pixels]
        xor = b""
        for row in reversed(indices):
            if depth == 4:
                row = row + [0] * (len(row) % 2)
                data = bytes((row[i] << 4) | row[i + 1] for i in range(0, len(row), 2))
            else:
                data = bytes(row)
            xor += padded(data)
    mask = and_mask(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, depth, 0,
                         len(xor) + len(mask), 0, 0, len(palette), 0)
    colours = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return header + colours + xor + mask


def icon_file():
    images = [(size, depth, bitmap(size, depth)) for depth in DEPTHS for size in SIZES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    for size, depth, image in images:
        colour_count = 16 if depth == 4 else 0
        directory += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, depth,
                                 len(image), offset + len(data))
        data += image
    return directory + data


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "tamsel.ico")
    with open(target, "wb") as out:
        out.write(icon_file())

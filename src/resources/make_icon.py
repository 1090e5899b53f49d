#!/usr/bin/env python3
"""Draws the application icon: a white "Q" on a blue rounded square.

Writes a Windows .ico with 16, 24, 32, 48 and 64 pixel images (32-bit colour
with alpha). Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

SAMPLES = 4  # supersampling per axis, for smooth edges


def coverage(size, x, y):
    """Colour (r, g, b, a) of pixel (x, y) in an image of the given size."""
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            u = (x + (sx + 0.5) / SAMPLES) / size  # 0..1
            v = (y + (sy + 0.5) / SAMPLES) / size
            r, g, b, a = sample(u, v)
            acc[0] += r * a
            acc[1] += g * a
            acc[2] += b * a
            acc[3] += a
    n = SAMPLES * SAMPLES
    a = acc[3] / n
    if a == 0:
        return (0, 0, 0, 0)
    return tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(a * 255)),)


def sample(u, v):
    # Rounded square with a margin.
    m, rad = 0.04, 0.2
    dx = max(abs(u - 0.5) - (0.5 - m - rad), 0)
    dy = max(abs(v - 0.5) - (0.5 - m - rad), 0)
    if math.hypot(dx, dy) > rad:
        return (0, 0, 0, 0.0)
    # Blue, lighter at the top.
    t = v
    base = (int(40 - 20 * t), int(120 - 45 * t), int(215 - 60 * t))
    # The "Q": a ring and a tail towards the lower right.
    cx, cy = 0.47, 0.46
    d = math.hypot(u - cx, v - cy)
    ring = 0.20 <= d <= 0.31
    px, py = u - 0.64, v - 0.64
    along = (px + py) / math.sqrt(2)
    across = (px - py) / math.sqrt(2)
    tail = -0.06 <= along <= 0.17 and abs(across) <= 0.055
    if ring or tail:
        return (255, 255, 255, 1.0)
    return base + (1.0,)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b"".join(struct.pack("BBBB", b, g, r, a) for (r, g, b, a) in (coverage(size, x, y) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main():
    sizes = [16, 24, 32, 48, 64]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

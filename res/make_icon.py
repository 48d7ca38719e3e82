#!/usr/bin/env python3
"""Draws the launcher's icon (a chip on a board with an arrow into it) and
writes res/launcher.ico: 16x16 and 32x32 images, each in 16 colours for
16- and 256-colour displays and the systems before XP, and in 32 bits with
alpha for XP. Every image has its transparency mask: systems before XP
draw through it alone, and XP still uses it wherever it draws an icon
through its mask. res/install.ico, the installer tool's, has the 16-colour
images only: the tool is seldom seen, and must stay small.

    res/make_icon.py res/launcher.ico && res/make_icon.py res/install.ico 4"""
import struct
import sys

# The 16 colours of the standard VGA palette, which every display mode has.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def draw(size):
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    board, chip, pin, arrow = (40, 120, 60, 255), (30, 30, 36, 255), (210, 180, 90, 255), (250, 250, 250, 255)
    rect(1, 5, 31, 29, board)
    rect(9, 10, 23, 24, chip)
    for p in range(11, 22, 3):
        rect(p, 7, p + 2, 10, pin)
        rect(p, 24, p + 2, 27, pin)
    rect(14, 2, 18, 13, arrow)
    for i in range(5):
        rect(11 + i, 13 + i, 21 - i, 14 + i, arrow)
    return px


def mask_rows(px):
    """The AND mask, bottom row first: a set bit lets the screen show through."""
    size = len(px)
    stride = ((size + 31) // 32) * 4
    out = b''
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if px[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        out += bytes(row)
    return out


def nearest(r, g, b):
    return min(range(16), key=lambda i: (VGA[i][0] - r) ** 2 + (VGA[i][1] - g) ** 2 + (VGA[i][2] - b) ** 2)


def image(size, bits):
    px = draw(size)
    palette = b''
    if bits == 32:
        rows = b''.join(bytes(c for (r, g, b, a) in px[y] for c in (b, g, r, a))
                        for y in reversed(range(size)))
    else:
        palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in VGA)
        stride = ((size * 4 + 31) // 32) * 4
        rows = b''
        for y in reversed(range(size)):
            # Transparent pixels are black, so the mask alone decides there.
            idx = [nearest(r, g, b) if a else 0 for (r, g, b, a) in px[y]]
            row = bytearray(stride)
            for x, i in enumerate(idx):
                row[x // 2] |= i << (4 if x % 2 == 0 else 0)
            rows += bytes(row)
    mask = mask_rows(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, len(rows) + len(mask),
                         0, 0, 16 if bits == 4 else 0, 0)
    return header + palette + rows + mask


def main(path, depths=(4, 32)):
    images = [(size, bits, image(size, bits)) for bits in depths for size in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/launcher.ico',
         tuple(int(d) for d in sys.argv[2:]) or (4, 32))

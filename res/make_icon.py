#!/usr/bin/env python3
"""Draws the launcher's icon (a chip on a board with an arrow into it) and
writes res/launcher.ico with 16x16 and 32x32 images, 32-bit with alpha."""
import struct
import sys


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


def icon_image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''.join(bytes(c for (r, g, b, a) in px[y] for c in (b, g, r, a)) for y in reversed(range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # alpha decides transparency
    return header + rows + mask


def main(path):
    images = [(16, icon_image(16)), (32, icon_image(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/launcher.ico')

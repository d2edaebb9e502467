#!/usr/bin/env python3
"""Draws Dllscope's icon (a magnifier over a page) as a 16-colour .ico with
32x32 and 16x16 images. Run once; the .ico is kept in src/app."""
import struct
import sys

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
WHITE, GREY, DARKBLUE, YELLOW, BLACK, NAVY = 15, 8, 4, 11, 0, 1


def draw(size):
    s = size / 32.0
    px = [[None] * size for _ in range(size)]  # None: transparent
    for y in range(size):
        for x in range(size):
            X, Y = (x + 0.5) / s, (y + 0.5) / s
            if 4 <= X < 22 and 2 <= Y < 28:  # the page
                px[y][x] = GREY if (X < 5 or X >= 21 or Y < 3 or Y >= 27) else WHITE
                if 7 <= X < 19 and int(Y) % 4 == 0 and 6 <= Y < 24:
                    px[y][x] = GREY
            d2 = (X - 18) ** 2 + (Y - 14) ** 2
            if d2 <= 7.5 ** 2:
                px[y][x] = NAVY if d2 >= 6 ** 2 else YELLOW
            if 22 <= X < 30 and 18 <= Y < 30 and abs((X - 22) - (Y - 18)) < 2.2:
                px[y][x] = BLACK
    return px


def image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor, mask = b'', b''
    xor_row = ((size * 4 + 31) // 32) * 4
    and_row = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(size):
            c = px[y][x]
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = 0
            row[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        mask += bytes(bits)
    return header + pal + xor + mask


def main(path):
    images = [(32, image(32)), (16, image(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1])

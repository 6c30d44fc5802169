#!/usr/bin/env python3
"""Draws the application icon (a flash chip with a download arrow) and writes
it as a Windows .ico with a 16x16 and a 32x32 image, 32 bits per pixel, or
as the PNG files of the desktop program's icon theme (one per size).

    python3 make_icon.py app.ico
    python3 make_icon.py --png FOLDER     FOLDER/16.png ... FOLDER/256.png
"""
import os
import struct
import sys
import zlib

PNG_SIZES = [16, 24, 32, 48, 64, 128, 256]

BODY = (0x30, 0x34, 0x3C, 0xFF)    # chip package, RGBA
PIN = (0xC8, 0xCC, 0xD0, 0xFF)     # pins
ARROW = (0x3C, 0xC8, 0x50, 0xFF)   # download arrow
DOT = (0xE8, 0xE8, 0xE8, 0xFF)     # pin-1 mark
CLEAR = (0, 0, 0, 0)


def draw(n):
    """The icon at n x n pixels, rows top to bottom, as RGBA tuples."""
    px = [[CLEAR] * n for _ in range(n)]
    s = n / 32.0

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < n and 0 <= y < n:
                    px[y][x] = colour

    rect(7, 4, 25, 28, BODY)
    for i in range(5):
        y = 6 + i * 4.5
        rect(3, y, 7, y + 2, PIN)
        rect(25, y, 29, y + 2, PIN)
    rect(9, 6, 11, 8, DOT)
    rect(14, 8, 18, 18, ARROW)
    for i in range(6):
        rect(10 + i, 17 + i, 22 - i, 18 + i, ARROW)
    return px


def image_entry(n):
    px = draw(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(px):  # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main(path):
    sizes = [16, 32]
    images = [image_entry(n) for n in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def png(n):
    """The icon at n x n pixels as a PNG file's bytes (RGBA, 8 bits)."""
    raw = bytearray()
    for row in draw(n):
        raw.append(0)  # no filter
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack('>IIBBBBB', n, n, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def write_pngs(folder):
    os.makedirs(folder, exist_ok=True)
    for n in PNG_SIZES:
        with open(os.path.join(folder, '%d.png' % n), 'wb') as f:
            f.write(png(n))


if __name__ == '__main__':
    if len(sys.argv) > 2 and sys.argv[1] == '--png':
        write_pngs(sys.argv[2])
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else 'app.ico')

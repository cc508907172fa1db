#!/usr/bin/env python3
"""Turns 24-bit BMP files into PNG files (standard library only).
Usage: bmp2png.py <folder> <file.bmp>...   writes <folder>/<file>.png for each."""
import os
import struct
import sys
import zlib


def convert(src, dst):
    data = open(src, 'rb').read()
    if data[:2] != b'BM' or len(data) < 54:
        raise SystemExit(f'{src}: not a BMP file')
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _planes, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24 or width <= 0 or height == 0:
        raise SystemExit(f'{src}: {width}x{height} with {bits} bits per pixel, 24 expected')
    stride = (width * 3 + 3) // 4 * 4
    if offset + stride * abs(height) > len(data):
        raise SystemExit(f'{src}: cut off')
    rows = []
    for y in range(abs(height)):
        row = y if height < 0 else abs(height) - 1 - y  # BMP rows run bottom-up
        line = data[offset + row * stride: offset + row * stride + width * 3]
        rgb = bytearray(len(line))
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]
        rows.append(b'\0' + bytes(rgb))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b'')
    with open(dst, 'wb') as out:
        out.write(png)
    print(f'wrote {dst}')


if __name__ == '__main__':
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    for name in sys.argv[2:]:
        convert(name, os.path.join(sys.argv[1], os.path.splitext(os.path.basename(name))[0] + '.png'))

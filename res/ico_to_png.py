#!/usr/bin/env python3
"""Writes the image of one size from an .ico file as an RGBA PNG, so that the
desktop's icon is the very icon the dialog carries. Reads the uncompressed
DIB entries of 1, 4 or 8 bits per pixel with their AND masks, which is what
RemoteMonitor.ico holds.

    python3 ico_to_png.py RemoteMonitor.ico SIZE output.png
"""
import struct
import sys
import zlib


def entries(data):
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if reserved != 0 or kind != 1:
        raise ValueError('not an icon file')
    for i in range(count):
        width, _, _, _, _, _, size, offset = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        yield width or 256, data[offset:offset + size]


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def pixel(row, x, bits):
    byte = row[x * bits // 8]
    shift = 8 - bits - (x * bits) % 8
    return (byte >> shift) & ((1 << bits) - 1)


def rgba_rows(dib):
    header, width, height2, _, bits, compression = struct.unpack_from('<IiiHHI', dib, 0)
    height = height2 // 2
    if compression != 0 or bits not in (1, 4, 8):
        raise ValueError('only uncompressed palette images are read')
    colours = struct.unpack_from('<I', dib, 32)[0] or (1 << bits)
    palette = [dib[header + 4 * i:header + 4 * i + 3] for i in range(colours)]
    xor_at = header + 4 * colours
    and_at = xor_at + row_bytes(width, bits) * height
    rows = []
    for y in range(height):
        stored = height - 1 - y  # DIBs are stored bottom-up
        colour = dib[xor_at + stored * row_bytes(width, bits):]
        mask = dib[and_at + stored * row_bytes(width, 1):]
        out = bytearray()
        for x in range(width):
            b, g, r = palette[pixel(colour, x, bits)]
            out += bytes((r, g, b, 0 if pixel(mask, x, 1) else 255))
        rows.append(bytes(out))
    return width, rows


def png(width, rows):
    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b''.join(b'\0' + row for row in rows)
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', width, len(rows), 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__.strip())
    with open(argv[1], 'rb') as f:
        data = f.read()
    wanted = int(argv[2])
    for width, dib in entries(data):
        if width == wanted:
            size, rows = rgba_rows(dib)
            with open(argv[3], 'wb') as f:
                f.write(png(size, rows))
            return
    sys.exit('%s has no %dx%d image' % (argv[1], wanted, wanted))


if __name__ == '__main__':
    main(sys.argv)

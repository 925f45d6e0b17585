#!/usr/bin/env python3
"""Draws RemoteMonitor.ico: a dark remote-control handset with a red IR LED
at its top and a few coloured keys, as 32x32 and 16x16 images in 16 colours
(4 bits per pixel) with AND masks, the format every Windows version loads.

The pictures are kept as text below, one character per pixel, so a change to
the icon is a readable diff. The output depends on nothing but this file.

    python3 make_icon.py [output.ico] [--preview preview.png]
"""
import os
import struct
import sys
import zlib

# The 16 colours of the standard VGA/Windows palette, in palette order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Character -> palette index; '.' is transparent (AND mask bit set).
INK = {
    '#': 0,   # handset body
    'r': 1,   # LED rim
    'D': 8,   # body edge, so the handset shows on dark backgrounds too
    'S': 7,   # ordinary keys
    'R': 9,   # LED, power key, red key
    'G': 10,  # green key
    'Y': 11,  # yellow key
    'B': 12,  # blue key
    'W': 15,  # LED glint, centre of the navigation pad
}

ICON32 = """
................................
..............rRRr..............
..............RWRR..............
..........DDDDDDDDDDDD..........
.........D############D.........
.........D#RR#########D.........
.........D#RR#########D.........
.........D############D.........
.........D##SS#SS#SS##D.........
.........D############D.........
.........D##SS#SS#SS##D.........
.........D############D.........
.........D##SS#SS#SS##D.........
.........D############D.........
.........D#####SS#####D.........
.........D############D.........
.........D#####SS#####D.........
.........D###SSWWSS###D.........
.........D###SSWWSS###D.........
.........D#####SS#####D.........
.........D############D.........
.........D##RRGGYYBB##D.........
.........D############D.........
.........D##SS####SS##D.........
.........D##SS####SS##D.........
.........D############D.........
.........D############D.........
.........D############D.........
.........D############D.........
..........DDDDDDDDDDDD..........
................................
................................
"""

ICON16 = """
.......RRR......
.....DDDDDDD....
....D#######D...
....D#R#####D...
....D#######D...
....D#S#S#S#D...
....D#######D...
....D#S#S#S#D...
....D#######D...
....D##SWS##D...
....D#######D...
....D#RGYB##D...
....D#######D...
....D#S###S#D...
.....DDDDDDD....
................
"""


def parse(art, size):
    rows = art.strip('\n').split('\n')
    if len(rows) != size or any(len(r) != size for r in rows):
        raise ValueError('picture must be %dx%d' % (size, size))
    return rows


def pack_rows(bits_per_pixel, width, values):
    """Packs one row of pixel values MSB first, padded to a DWORD."""
    acc, nbits, out = 0, 0, bytearray()
    for v in values:
        acc = (acc << bits_per_pixel) | v
        nbits += bits_per_pixel
        if nbits == 8:
            out.append(acc)
            acc, nbits = 0, 0
    if nbits:
        out.append(acc << (8 - nbits))
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def icon_image(rows):
    """The DIB an .ico entry holds: header, palette, colour bits, AND mask."""
    size = len(rows)
    xor, mask = bytearray(), bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        xor += pack_rows(4, size, [0 if c == '.' else INK[c] for c in row])
        mask += pack_rows(1, size, [1 if c == '.' else 0 for c in row])
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def ico_file(pictures):
    images = [icon_image(p) for p in pictures]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, image in zip(pictures, images):
        out += struct.pack('<BBBBHHII', len(rows), len(rows), 16, 0, 1, 4,
                           len(image), offset)
        offset += len(image)
    return out + b''.join(images)


def preview_png(pictures, scale=8):
    """Both pictures side by side, enlarged, on a checkerboard."""
    height = max(len(p) for p in pictures) * scale
    width = sum(len(p) for p in pictures) * scale + scale * (len(pictures) - 1)
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        x0 = 0
        for n, rows in enumerate(pictures):
            if n:
                raw += bytes([255, 255, 255]) * scale
            for x in range(len(rows) * scale):
                c = rows[y // scale][x // scale] if y // scale < len(rows) else '.'
                if c == '.':
                    shade = 230 if ((x + x0) // 4 + y // 4) % 2 else 200
                    raw += bytes([shade] * 3)
                else:
                    raw += bytes(PALETTE[INK[c]])
            x0 += len(rows) * scale

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def main(argv):
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'RemoteMonitor.ico')
    preview = None
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg == '--preview' and args:
            preview = args.pop(0)
        elif not arg.startswith('-'):
            out = arg
        else:
            sys.stderr.write(__doc__)
            return 2
    pictures = [parse(ICON32, 32), parse(ICON16, 16)]
    with open(out, 'wb') as f:
        f.write(ico_file(pictures))
    if preview:
        with open(preview, 'wb') as f:
            f.write(preview_png(pictures))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Writes the hand-drawn small images: the five toolbar buttons (16 x 15 pixels) and the two
icons at 16 x 16, where an SVG rendering comes out too soft. Each picture is a grid of
characters, one per pixel, coloured by PALETTE ('.' is transparent).

    resources/draw_pixels.py        rewrites the PNGs under resources/toolbar and resources/icons/16
"""
import os
import struct
import sys
import zlib

PALETTE = {
    '.': None,
    # parcel: outline, lid, left side, right side, tape on the lid, tape down the side
    'o': '#5b3a12', 't': '#f0c47e', 'l': '#d39846', 'r': '#ad7028', 'b': '#2f6fd0', 'B': '#2458a8',
    # page: outline, paper, folded corner, lines of text, shade
    'k': '#4e5965', 'w': '#ffffff', 'g': '#c3ccd6', 'n': '#8a97a6', 'e': '#e3e8ee',
    # folder: outline, front, back
    'F': '#8a6516', 'y': '#f8d866', 'Y': '#dcae3c',
    # disk: outline, body, label, label lines, shutter, shutter slot
    'D': '#1d3a66', 'd': '#3c6eb4', 's': '#f4f6f9', 'S': '#aab8ca', 'm': '#5d6f88',
    # gear: outline, metal, highlight
    'G': '#3d4650', 'h': '#9aa5b1', 'H': '#d3d9df',
    # arrow: outline, fill, highlight
    'A': '#145a26', 'a': '#2e9e48', 'c': '#7ddc8c',
}

# The parcel at 10 x 9 pixels, shared by the project icon and two toolbar buttons.
SMALL_PARCEL = [
    '...oooo...',
    '.oobbttoo.',
    'ottttbbtto',
    'oootttbooo',
    'ollooooBro',
    'olllorrBro',
    'olllorrBro',
    '.oolorroo.',
    '...oooo...',
]

GEAR = [
    '....GG....',
    '.GG.hh.GG.',
    '.GhhHHhhG.',
    '.GhHGGhhG.',
    'GhhG..GhhG',
    'GhhG..GhhG',
    '.GhhGGhhG.',
    '.GhhhhhhG.',
    '.GG.hh.GG.',
    '....GG....',
]

DOWN_ARROW = [
    '...AAAA...',
    '...AcaA...',
    '...AcaA...',
    'AAAAcaAAAA',
    '.AacaaaaA.',
    '..AaaaaA..',
    '...AaaA...',
    '....AA....',
]


def overlay(base, sprite, left, top):
    """base with sprite drawn over it at (left, top); '.' in the sprite lets base show."""
    rows = [list(r) for r in base]
    for y, line in enumerate(sprite):
        for x, c in enumerate(line):
            if c != '.':
                rows[top + y][left + x] = c
    return [''.join(r) for r in rows]


def blank(width, height):
    return ['.' * width] * height


PICTURES = {
    'icons/16/kitbinder.png': [
        '................',
        '......oooo......',
        '....oobbttoo....',
        '..ootttbbbttoo..',
        'ootttttttbbbttoo',
        'ooottttttttbbooo',
        'olloottttttoorro',
        'olllloottoorBBro',
        'olllllloorrrBBro',
        'ollllllorrrrBBro',
        'ollllllorrrrBBro',
        'ollllllorrrrBBro',
        'oolllllorrrrBBoo',
        '..oolllorrrroo..',
        '....oolorroo....',
        '......oooo......',
    ],
    'icons/16/kitbinder-project.png': overlay([
        '.kkkkkkkkk......',
        '.kwwwwwwwkk.....',
        '.kwnnnnwwkgk....',
        '.kwwwwwwwkggk...',
        '.kwnnnnnwkkkkk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kwwwwwwwwwwwk..',
        '.kkkkkkkkkkkkk..',
    ], SMALL_PARCEL, 3, 6),
    # New: a blank page.
    'toolbar/new.png': [
        '..kkkkkkkk......',
        '..kwwwwwwkk.....',
        '..kwwwwwwkgk....',
        '..kwwwwwwkggk...',
        '..kwwwwwwkkkkk..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..kwwwwwwwwwek..',
        '..keeeeeeeeeek..',
        '..kkkkkkkkkkkk..',
    ],
    # Open: a folder with its front swinging open.
    'toolbar/open.png': [
        '................',
        '.FFFF...........',
        'FYYYYF..........',
        'FYYYYYFFFFFFFF..',
        'FYYYYYYYYYYYYF..',
        'FYYYYYYYYYYYYF..',
        'FYYFFFFFFFFFFFFF',
        'FYFyyyyyyyyyyyF.',
        'FYFyyyyyyyyyyyF.',
        'FFyyyyyyyyyyyF..',
        'FFyyyyyyyyyyyF..',
        'FyyyyyyyyyyyF...',
        'FyyyyyyyyyyyF...',
        'FFFFFFFFFFFFF...',
        '................',
    ],
    # Save: a diskette, label above, shutter below.
    'toolbar/save.png': [
        '................',
        '.DDDDDDDDDDDDD..',
        '.DdssssssssssdD.',
        '.DdsSSSSSSSSsdD.',
        '.DdssssssssssdD.',
        '.DdsSSSSSSSSsdD.',
        '.DdssssssssssdD.',
        '.DddddddddddddD.',
        '.DdddSSSSSSSddD.',
        '.DdddSmmSSSSddD.',
        '.DdddSmmSSSSddD.',
        '.DdddSmmSSSSddD.',
        '.DdddSSSSSSSddD.',
        '.DddddddddddddD.',
        '.DDDDDDDDDDDDDD.',
    ],
    # Build: a gear turning behind the parcel.
    'toolbar/build.png': overlay(overlay(blank(16, 15), GEAR, 6, 0), SMALL_PARCEL, 0, 6),
    # Install: an arrow going down into the parcel.
    'toolbar/install.png': overlay(overlay(blank(16, 15), SMALL_PARCEL, 3, 6), DOWN_ARROW, 3, 0),
}


def rgba(colour):
    if colour is None:
        return (0, 0, 0, 0)
    return (int(colour[1:3], 16), int(colour[3:5], 16), int(colour[5:7], 16), 255)


def png_bytes(rows):
    """An 8-bit RGBA PNG of the grid."""
    width = len(rows[0])
    if any(len(r) != width for r in rows):
        raise ValueError('rows of different lengths: %r' % rows)
    raw = b''.join(b'\0' + b''.join(bytes(rgba(PALETTE[c])) for c in r) for r in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    header = struct.pack('>IIBBBBB', width, len(rows), 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in PICTURES.items():
        path = os.path.join(here, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as out:
            out.write(png_bytes(rows))
    return 0


if __name__ == '__main__':
    sys.exit(main())

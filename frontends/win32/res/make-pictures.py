#!/usr/bin/env python3
"""Draws the window program's small pictures: the program and reboot-dialog icons (16-colour
ICO, 32x32 and 16x16, loadable on every Windows) and the push-button glyph strip (24-bit BMP,
16x16 cells, magenta shows the button face). Run it again after changing a picture:

    frontends/win32/res/make-pictures.py frontends/win32/res
"""
import struct
import sys
from pathlib import Path

# The 16 colours of the standard VGA palette, in their usual order.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, NAVY, GREY, SILVER, RED, LIME, BLUE, WHITE = 0, 1, 2, 4, 8, 7, 9, 10, 12, 15
KEY = (255, 0, 255)


class Canvas:
    def __init__(self, size, fill=None):
        self.size = size
        self.px = [[fill] * size for _ in range(size)]

    def put(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dx in range(width):
                for dy in range(width):
                    self.put(x + dx, y + dy, c)


def disc_drive(size, tray):
    """A front view of an optical drive with a disc above it: the program's icon."""
    c = Canvas(size)
    s = size / 32
    cx, cy, r = 16 * s, 11 * s, 9.5 * s
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r:
                c.put(x, y, GREY if d > r - 1 else (BLACK if d < 2.2 * s else (SILVER if d > 4 * s else WHITE)))
    c.rect(int(2 * s), int(20 * s), int(29 * s), int(29 * s), BLACK)
    c.rect(int(3 * s), int(21 * s), int(28 * s), int(28 * s), SILVER)
    c.rect(int(4 * s), int(23 * s), int(22 * s), int(24 * s), GREY)
    c.rect(int(24 * s), int(25 * s), int(26 * s), int(26 * s), tray)
    return c


def reboot_sign(size):
    """A circular arrow on a screen: the reboot dialog's icon."""
    c = Canvas(size)
    s = size / 32
    c.rect(int(2 * s), int(3 * s), int(29 * s), int(24 * s), BLACK)
    c.rect(int(4 * s), int(5 * s), int(27 * s), int(22 * s), NAVY)
    c.rect(int(12 * s), int(25 * s), int(19 * s), int(28 * s), GREY)
    cx, cy, r = 16 * s, 13.5 * s, 6 * s
    for y in range(size):
        for x in range(size):
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            d = (dx * dx + dy * dy) ** 0.5
            if r - 1.6 * s <= d <= r and not (dx > 0 and dy < 0 and dx > -dy * 0.3):
                c.put(x, y, LIME)
    ax, ay = int(cx + 1 * s), int(cy - r - 1 * s)
    for i in range(int(3 * s) + 1):
        c.line(ax + i, ay - i, ax + i, ay + i + int(1 * s), LIME)
    return c


def ico(images):
    """A 4-bit icon file with one image per canvas (None is transparent)."""
    head = struct.pack('<HHH', 0, 1, len(images))
    blobs = []
    for c in images:
        n = c.size
        xor_row = ((n * 4 + 31) // 32) * 4
        and_row = ((n + 31) // 32) * 4
        bmp = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, (xor_row + and_row) * n, 0, 0, 16, 0)
        bmp += b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in VGA)
        xor = b''
        andm = b''
        for y in reversed(range(n)):
            row = bytearray(xor_row)
            mask = bytearray(and_row)
            for x in range(n):
                p = c.px[y][x]
                if p is None:
                    mask[x // 8] |= 0x80 >> (x % 8)
                    p = 0
                row[x // 2] |= p << (4 if x % 2 == 0 else 0)
            xor += bytes(row)
            andm += bytes(mask)
        blobs.append((n, bmp + xor + andm))
    offset = 6 + 16 * len(blobs)
    entries = b''
    data = b''
    for n, blob in blobs:
        entries += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(blob), offset + len(data))
        data += blob
    return head + entries + data


def glyph_update(enabled):
    """A green arrow down onto a chip: the Update button."""
    c = Canvas(16, KEY)
    body = (0, 128, 0) if enabled else (128, 128, 128)
    chip = (0, 0, 128) if enabled else (128, 128, 128)
    c.rect(3, 11, 12, 14, chip)
    for x in range(4, 12, 2):
        c.put(x, 15, chip)
    c.rect(6, 1, 9, 5, body)
    for i in range(5):
        c.rect(3 + i, 6 + i, 12 - i, 6 + i, body)
    return c


def glyph_close(enabled):
    """A dark red cross: the close-kind buttons."""
    c = Canvas(16, KEY)
    col = (128, 0, 0) if enabled else (128, 128, 128)
    c.line(3, 3, 11, 11, col, 2)
    c.line(11, 3, 3, 11, col, 2)
    return c


def glyph_yes(enabled):
    """A green tick: the yes-kind buttons."""
    c = Canvas(16, KEY)
    col = (0, 128, 0) if enabled else (128, 128, 128)
    c.line(2, 8, 5, 11, col, 2)
    c.line(5, 11, 12, 3, col, 2)
    return c


def emboss(c):
    """Disabled cells look engraved: a white copy one pixel down and right behind the grey."""
    out = Canvas(16, KEY)
    for y in range(16):
        for x in range(16):
            if c.px[y][x] != KEY:
                out.put(x + 1, y + 1, (255, 255, 255))
    for y in range(16):
        for x in range(16):
            if c.px[y][x] != KEY:
                out.put(x, y, c.px[y][x])
    return out


def bmp24(cells):
    """A 24-bit bitmap of the cells side by side."""
    w, h = 16 * len(cells), 16
    row = (w * 3 + 3) // 4 * 4
    pixels = b''
    for y in reversed(range(h)):
        line = bytearray()
        for cell in cells:
            for x in range(16):
                r, g, b = cell.px[y][x]
                line += bytes((b, g, r))
        pixels += bytes(line) + b'\0' * (row - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return struct.pack('<2sIHHI', b'BM', 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else '.')
    (out / 'zelfin.ico').write_bytes(ico([disc_drive(32, LIME), disc_drive(16, LIME)]))
    (out / 'reboot.ico').write_bytes(ico([reboot_sign(32), reboot_sign(16)]))
    cells = []
    for draw in (glyph_update, glyph_close, glyph_yes):
        cells += [draw(True), emboss(draw(False))]
    (out / 'glyphs.bmp').write_bytes(bmp24(cells))


if __name__ == '__main__':
    main()

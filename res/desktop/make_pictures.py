#!/usr/bin/env python3
"""Draws the desktop client's pictures: the program and tray icon, the logo
shown on three tabs and the two credit pictures. Run once; the outputs are
committed beside this script."""
import math
import struct

BLUE = (0x1F, 0x5F, 0xB4)
LIGHT = (0xE8, 0xF0, 0xFA)
WHITE = (0xFF, 0xFF, 0xFF)
ORANGE = (0xF0, 0x8C, 0x1E)


def letter_k(x, y, size):
    """True inside a bold letter K drawn into a size x size square."""
    u, v = x / size, y / size
    if not (0.2 <= v <= 0.8):
        return False
    if 0.26 <= u <= 0.4:
        return True
    # the two arms meet at the stem's middle
    arm = abs(v - 0.5)
    return 0.38 + arm * 0.9 <= u + 0.0 <= 0.56 + arm * 0.9 and u <= 0.78


def icon_pixel(x, y, size):
    cx = cy = (size - 1) / 2
    r = size / 2 - 0.5
    d = math.hypot(x - cx, y - cy)
    if d > r:
        return None
    if letter_k(x, y, size):
        return WHITE
    return BLUE


def bmp_rows(width, height, pixel):
    """Bottom-up rows of 24-bit pixels, each padded to four bytes."""
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    return b"".join(rows)


def write_bmp(name, width, height, pixel):
    data = bmp_rows(width, height, pixel)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(name, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)))
        f.write(header + data)


def icon_image(size):
    """One 32-bit image of an icon file: header, bottom-up BGRA rows, AND mask."""
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = 0
        row_mask = bytearray()
        for x in range(size):
            p = icon_pixel(x, y, size)
            if p is None:
                xor += b"\0\0\0\0"
                bits = (bits << 1) | 1
            else:
                xor += bytes((p[2], p[1], p[0], 0xFF))
                bits <<= 1
            if x % 8 == 7:
                row_mask.append(bits & 0xFF)
                bits = 0
        row_mask += b"\0" * ((4 - len(row_mask) % 4) % 4)
        mask += row_mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(name, sizes):
    images = [icon_image(s) for s in sizes]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(name, "wb") as f:
        f.write(out + b"".join(images))


def logo_pixel(x, y, width=160, height=96):
    # a round badge with the letter on the left, a swoosh of the address
    # colour under a light background
    size = height - 16
    bx, by = x - 8, y - 8
    if 0 <= bx < size and 0 <= by < size:
        p = icon_pixel(bx, by, size)
        if p is not None:
            return p
    wave = height * 0.62 + math.sin(x / width * math.pi * 2) * 6
    if x > size + 8 and abs(y - wave) < 4:
        return ORANGE
    if x > size + 8 and abs(y - wave + 14) < 3:
        return BLUE
    return LIGHT


def credit_pixel(kind):
    def pixel(x, y):
        if kind == 1:
            # a house: the service's home
            if y >= 22 and 10 <= x <= 37 and y <= 40:
                return (0x60, 0x60, 0x60) if 20 <= x <= 27 and y >= 30 else BLUE
            if y < 22 and abs(x - 23.5) <= (y - 6) * 1.1 and y >= 6:
                return ORANGE
            return LIGHT
        # a gear-like ring: the program's developer
        d = math.hypot(x - 23.5, y - 23.5)
        teeth = 16 + 3 * (math.cos(math.atan2(y - 23.5, x - 23.5) * 8) > 0)
        if 8 <= d <= teeth:
            return BLUE
        return LIGHT
    return pixel


if __name__ == "__main__":
    write_ico("korvalind.ico", [16, 32])
    write_bmp("logo.bmp", 160, 96, logo_pixel)
    write_bmp("credit_service.bmp", 48, 48, credit_pixel(1))
    write_bmp("credit_developer.bmp", 48, 48, credit_pixel(2))

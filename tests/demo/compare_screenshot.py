#!/usr/bin/env python3
"""Compares a screenshot (an X window dump, as xwd writes it) with a 24-bit bitmap file:
the bitmap's w x h pixels must equal the dump's, pixel for pixel, at a place in the dump
(the window's corner, 0,0 by default).
   compare_screenshot.py SHOT.xwd SCENE.bmp [--at X,Y] [--png OUT.png]
Exit 0 when they match; 1 with the first differing pixels otherwise; 2 on a file that is
not what it should be."""
import struct
import sys
import zlib


def fail(message, code=2):
    print("compare_screenshot: " + message)
    sys.exit(code)


def read_xwd(data):
    """Pixels of a TrueColor dump (24 or 32 bits a pixel) as rows of (r, g, b)."""
    if len(data) < 100:
        fail("screenshot too short")
    fields = struct.unpack(">25I", data[:100])
    (header_size, version, pixmap_format, depth, width, height, _xoff, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, visual_class, red_mask, green_mask, blue_mask, _bits_rgb,
     _entries, ncolors, _ww, _wh, _wx, _wy, _bw) = fields
    if version != 7 or pixmap_format != 2 or bits_per_pixel not in (24, 32) or visual_class not in (4, 5):
        fail("screenshot is not a 24/32-bit TrueColor ZPixmap dump (version %d, format %d, %d bpp)"
             % (version, pixmap_format, bits_per_pixel))
    size = bits_per_pixel // 8
    if not (0 < width <= 1 << 14 and 0 < height <= 1 << 14 and bytes_per_line >= size * width):
        fail("screenshot has an unlikely size %dx%d" % (width, height))
    start = header_size + 12 * ncolors
    if len(data) < start + bytes_per_line * height:
        fail("screenshot is cut short")

    def shift(mask):
        s = 0
        while mask and not (mask >> s) & 1:
            s += 1
        return s

    shifts = (shift(red_mask), shift(green_mask), shift(blue_mask))
    order = "little" if byte_order == 0 else "big"
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + size * width]
        words = [int.from_bytes(line[size * x:size * x + size], order) for x in range(width)]
        rows.append([((w & red_mask) >> shifts[0], (w & green_mask) >> shifts[1], (w & blue_mask) >> shifts[2])
                     for w in words])
    return width, height, rows


def read_bmp24(data):
    if len(data) < 54 or data[:2] != b"BM":
        fail("scene is not a bitmap file")
    offset = struct.unpack("<I", data[10:14])[0]
    width, height, _planes, bpp = struct.unpack("<iiHH", data[18:30])
    compression = struct.unpack("<I", data[30:34])[0]
    if bpp != 24 or compression != 0 or not (0 < width <= 1 << 14 and 0 < abs(height) <= 1 << 14):
        fail("scene is not an uncompressed 24-bit bitmap")
    stride = (3 * width + 3) & ~3
    rows_count = abs(height)
    if len(data) < offset + stride * rows_count:
        fail("scene is cut short")
    rows = []
    for r in range(rows_count):
        line = data[offset + r * stride:offset + r * stride + 3 * width]
        rows.append([(line[3 * x + 2], line[3 * x + 1], line[3 * x]) for x in range(width)])
    if height > 0:
        rows.reverse()  # bottom-up
    return width, rows_count, rows


def write_png(path, rows):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    head = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main(argv):
    args = argv[1:]
    at, png = (0, 0), None
    while len(args) > 2:
        if args[-2] == "--at":
            at = tuple(int(v) for v in args[-1].split(","))
        elif args[-2] == "--png":
            png = args[-1]
        else:
            break
        args = args[:-2]
    if len(args) != 2:
        fail("usage: compare_screenshot.py SHOT.xwd SCENE.bmp [--at X,Y] [--png OUT.png]")
    with open(args[0], "rb") as f:
        sw, sh, shot = read_xwd(f.read())
    with open(args[1], "rb") as f:
        w, h, scene = read_bmp24(f.read())
    x0, y0 = at
    if x0 < 0 or y0 < 0 or x0 + w > sw or y0 + h > sh:
        fail("the scene (%dx%d at %d,%d) does not fit the screenshot (%dx%d)" % (w, h, x0, y0, sw, sh), 1)
    seen = [row[x0:x0 + w] for row in shot[y0:y0 + h]]
    if png:
        write_png(png, seen)
    diffs = [(x, y) for y in range(h) for x in range(w) if seen[y][x] != scene[y][x]]
    if diffs:
        for x, y in diffs[:5]:
            print("pixel %d,%d: screen %02X%02X%02X, scene %02X%02X%02X" % ((x, y) + seen[y][x] + scene[y][x]))
        print("%d of %d pixels differ" % (len(diffs), w * h))
        return 1
    print("screenshot matches the scene: %dx%d pixels at %d,%d" % (w, h, x0, y0))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

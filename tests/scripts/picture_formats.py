#!/usr/bin/env python3
"""Makes the test files that no installed encoder writes, from files the
encoders did write:

  picture_formats.py rle4 <4-bit BMP> <out>       the same picture RLE4-coded
  picture_formats.py topdown <24-bit BMP> <out>   the rows stored top first
  picture_formats.py rgb16 <24-bit BMP> <out> 555|565   16-bit pixels (5-6-5
      with bit-field masks after a 40-byte header)
  picture_formats.py tiles <out>                  a GIF without a global colour
      table whose four frames (each with a local table) tile the screen
  picture_formats.py damage <folder> <seed>       cut and randomly damaged
      copies of every file in <folder>, written beside them
"""
import os
import random
import struct
import sys


def read_bmp(path):
    with open(path, 'rb') as f:
        data = f.read()
    offset = struct.unpack('<I', data[10:14])[0]
    width, height, planes, bits = struct.unpack('<iiHH', data[18:30])
    return data, offset, width, height, bits


def rle4(source, target):
    data, offset, width, height, bits = read_bmp(source)
    assert bits == 4 and height > 0
    row_bytes = ((width * 4 + 31) // 32) * 4
    out = bytearray()
    for y in range(height):
        row = data[offset + y * row_bytes:offset + (y + 1) * row_bytes]
        pixels = [(row[x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(width)]
        x = 0
        while x < width:
            # A run of two alternating nibbles, or a literal stretch.
            n = 2
            while x + n < width and n < 255 and pixels[x + n] == pixels[x + n - 2]:
                n += 1
            if n >= 4 or x + n >= width:
                n = min(n, width - x)
                second = pixels[x + 1] if n > 1 else 0
                out += bytes([n, (pixels[x] << 4) | second])
                x += n
                continue
            n = min(width - x, 7)
            if n < 3:
                out += bytes([n, (pixels[x] << 4) | (pixels[x + 1] if n > 1 else 0)])
                x += n
                continue
            packed = bytearray()
            for i in range(0, n, 2):
                packed.append((pixels[x + i] << 4) | (pixels[x + i + 1] if i + 1 < n else 0))
            if len(packed) % 2:
                packed.append(0)
            out += bytes([0, n]) + packed
            x += n
        out += b'\x00\x00'
    out += b'\x00\x01'
    header = bytearray(data[:offset])
    struct.pack_into('<I', header, 30, 2)            # compression RLE4
    struct.pack_into('<I', header, 34, len(out))     # image size
    struct.pack_into('<I', header, 2, len(header) + len(out))
    with open(target, 'wb') as f:
        f.write(bytes(header) + bytes(out))


def topdown(source, target):
    data, offset, width, height, bits = read_bmp(source)
    row_bytes = ((width * bits + 31) // 32) * 4
    rows = [data[offset + y * row_bytes:offset + (y + 1) * row_bytes] for y in range(height)]
    header = bytearray(data[:offset])
    struct.pack_into('<i', header, 22, -height)
    with open(target, 'wb') as f:
        f.write(bytes(header) + b''.join(reversed(rows)))


def rgb16(source, target, kind):
    data, offset, width, height, bits = read_bmp(source)
    assert bits == 24 and height > 0
    row_in = ((width * 24 + 31) // 32) * 4
    row_out = ((width * 16 + 31) // 32) * 4
    pixels = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            b, g, r = data[offset + y * row_in + x * 3:offset + y * row_in + x * 3 + 3]
            if kind == '565':
                w = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
            else:
                w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
            row += struct.pack('<H', w)
        pixels += row + bytes(row_out - len(row))
    masks = struct.pack('<III', 0xF800, 0x07E0, 0x001F) if kind == '565' else b''
    header_size = 14 + 40 + len(masks)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 16, 3 if masks else 0,
                       len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', header_size + len(pixels), 0, 0, header_size)
    with open(target, 'wb') as f:
        f.write(head + info + masks + bytes(pixels))


def lzw_plain(indices, min_size):
    """LZW data that never grows its table: a clear code before every few
    codes keeps the code size at min_size + 1."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    size = min_size + 1
    codes = []
    room = 2  # codes after a clear before the table would need a wider code
    for i, v in enumerate(indices):
        if i % room == 0:
            codes.append(clear)
        codes.append(v)
    codes.append(end)
    out, acc, n = bytearray(), 0, 0
    for c in codes:
        acc |= c << n
        n += size
        while n >= 8:
            out.append(acc & 255)
            acc >>= 8
            n -= 8
    if n:
        out.append(acc)
    blocks = bytearray([min_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b'\x00')


def tiles(target):
    width, height = 40, 30
    out = bytearray(b'GIF89a' + struct.pack('<HHBBB', width, height, 0x70, 0, 0))
    for n, (left, top) in enumerate([(0, 0), (20, 0), (0, 15), (20, 15)]):
        # Four colours of the tile's own.
        table = bytes([60 * n + 10, 40, 200 - 30 * n, 250, 20 * n, 90, 5, 5, 5 + n, 120, 130, 140])
        out += b'\x2c' + struct.pack('<HHHHB', left, top, 20, 15, 0x81)
        out += table
        indices = [((x + y) // 3 + n) % 4 for y in range(15) for x in range(20)]
        out += lzw_plain(indices, 2)
    out += b'\x3b'
    with open(target, 'wb') as f:
        f.write(bytes(out))


def damage(folder, seed):
    rng = random.Random(seed)
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), 'rb') as f:
            data = f.read()
        stem, ext = os.path.splitext(name)
        cuts = sorted({1, 2, 6, 13, 14, 22, 40, 54, len(data) // 3, len(data) // 2,
                       len(data) - 1} - {0, len(data)})
        for n in cuts:
            if n < len(data):
                with open(os.path.join(folder, '%s-cut%d%s' % (stem, n, ext)), 'wb') as f:
                    f.write(data[:n])
        for k in range(4):
            b = bytearray(data)
            for _ in range(rng.randrange(1, 24)):
                i = rng.randrange(len(b))
                # Sizes and counts break more code than random values do.
                b[i] = rng.choice([0, 0xFF, 0x7F, 0x80, rng.randrange(256)])
            with open(os.path.join(folder, '%s-hit%d%s' % (stem, k, ext)), 'wb') as f:
                f.write(bytes(b))


def main():
    command = sys.argv[1]
    if command == 'rle4':
        rle4(sys.argv[2], sys.argv[3])
    elif command == 'topdown':
        topdown(sys.argv[2], sys.argv[3])
    elif command == 'rgb16':
        rgb16(sys.argv[2], sys.argv[3], sys.argv[4])
    elif command == 'tiles':
        tiles(sys.argv[2])
    elif command == 'damage':
        damage(sys.argv[2], int(sys.argv[3]))
    else:
        raise SystemExit('unknown command %s' % command)


if __name__ == '__main__':
    main()

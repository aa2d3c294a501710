#!/usr/bin/env python3
"""Compares the pictures decoded under Wine (picture_dump output) with native
reference decoders' output, applying the decoder's documented differences.

Usage: picture_compare.py <mode> <folder of originals> <dump folder> <reference folder>
mode: png (reference: ImageMagick's 16-bit PAM), jpeg (reference: jpegtopnm),
      rgba (reference: <name>.pam of any decoder, with or without alpha; the
      colour of pixels transparent in both does not count; BMP originals get
      the decoder's 16- and 32-bit rules), rgb (reference: <name minus its
      extension>.rgb, raw RGB rows top first as giflib's tests keep them; only
      pixels the picture shows opaque count), fail (every file must be refused
      cleanly), any (every file must be decoded or refused: none may stop the
      dumper).
Prints one line per file and "N passed, N failed" at the end; exit 1 on any failure.
"""
import os
import struct
import sys
import zlib


def read_netpbm(path):
    """Returns (width, height, depth, maxval, samples) of a P5/P6/P7 file."""
    with open(path, 'rb') as f:
        data = f.read()
    magic = data[:2]
    if magic == b'P7':
        end = data.index(b'ENDHDR\n') + len(b'ENDHDR\n')
        fields = {}
        for line in data[:end].decode('ascii').splitlines()[1:]:
            parts = line.split()
            if len(parts) >= 2:
                fields[parts[0]] = parts[1]
        width, height = int(fields['WIDTH']), int(fields['HEIGHT'])
        depth, maxval = int(fields['DEPTH']), int(fields['MAXVAL'])
        body = data[end:]
    elif magic in (b'P5', b'P6'):
        tokens, pos = [], 2
        while len(tokens) < 3:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b'#':
                while data[pos:pos + 1] != b'\n':
                    pos += 1
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            tokens.append(int(data[start:pos]))
        pos += 1
        width, height, maxval = tokens
        depth = 1 if magic == b'P5' else 3
        body = data[pos:]
    else:
        raise ValueError('%s: not a netpbm file' % path)
    count = width * height * depth
    if maxval > 255:
        samples = list(struct.unpack('>%dH' % count, body[:count * 2]))
    else:
        samples = list(body[:count])
    return width, height, depth, maxval, samples


def png_chunks(path):
    with open(path, 'rb') as f:
        data = f.read()
    pos, chunks = 8, {}
    while pos + 8 <= len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        chunks.setdefault(kind.decode('latin-1'), data[pos + 8:pos + 8 + length])
        pos += 12 + length
    return chunks


def to8(value, maxval):
    """A reference sample in 8 bits as the decoder makes it: 16-bit samples
    lose their low byte, narrower ones are scaled up."""
    if maxval == 255:
        return value
    if maxval == 65535:
        return value >> 8
    return value * 255 // maxval


def expected_png(original, reference):
    """The RGBA picture the decoder should give, and the tolerance per pixel
    that was composited over a background with partial alpha."""
    width, height, depth, maxval, ref = read_netpbm(reference)
    chunks = png_chunks(original)
    _, _, bit_depth, color_type = struct.unpack('>IIBB', chunks['IHDR'][:10])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    pixel_depth = bit_depth * channels
    alpha_kept = color_type == 3 or pixel_depth == 32
    background = None
    if not alpha_kept:
        bkgd = chunks.get('bKGD')
        file_max = (1 << bit_depth) - 1
        if bkgd is not None and color_type in (0, 4):
            grey = to8(struct.unpack('>H', bkgd[:2])[0], file_max)
            background = (grey, grey, grey)
        elif bkgd is not None:
            background = tuple(to8(v, file_max) for v in struct.unpack('>HHH', bkgd[:6]))
        elif color_type == 0 and bit_depth < 8:
            # The default grey 192 at the nearest level the depth has.
            level = (192 * file_max * 2 + 255) // 510
            background = (level * 255 // file_max,) * 3
        else:
            background = (192, 192, 192)
    exponent = 1.0
    if 'sRGB' in chunks:
        exponent = 2.2
    elif 'gAMA' in chunks:
        exponent = 100000.0 / struct.unpack('>I', chunks['gAMA'][:4])[0]
    pixels = []
    has_alpha = depth in (2, 4)
    for i in range(width * height):
        s = ref[i * depth:(i + 1) * depth]
        if depth <= 2:
            rgb = [to8(s[0], maxval)] * 3
        else:
            rgb = [to8(v, maxval) for v in s[:3]]
        a = s[-1] if has_alpha else maxval
        if alpha_kept:
            pixels.append((rgb[0], rgb[1], rgb[2], to8(a, maxval), 0))
            continue
        if a == maxval:
            pixels.append((rgb[0], rgb[1], rgb[2], 255, 0))
        elif a == 0:
            pixels.append(background + (255, 0))
        else:
            # Partial alpha over the background: libpng mixes in linear
            # light by the file's gamma (sRGB counts as 1/2.2) through its
            # lookup tables: two levels of difference at gamma 1, eight
            # (near black) otherwise.
            f = a / maxval
            mixed = tuple(round(255 * ((c / 255) ** exponent * f +
                                       (b / 255) ** exponent * (1 - f)) ** (1 / exponent))
                          for c, b in zip(rgb, background))
            pixels.append(mixed + (255, 2 if exponent == 1.0 else 8))
    return width, height, pixels


def compare(expected, dump, rule='tolerance'):
    """None when the dump shows the expected pixels, else what differs.
    rule: 'tolerance' (each expected pixel carries its own), 'rgba' (exact;
    the colour of pixels transparent in both does not count) or 'opaque'
    (only the colour of pixels the dump shows opaque counts)."""
    width, height, pixels = expected
    w, h, depth, maxval, got = read_netpbm(dump)
    if (w, h) != (width, height) or depth != 4:
        return 'size %dx%d, expected %dx%d' % (w, h, width, height)
    bad = 0
    first = None
    for i, e in enumerate(pixels):
        g = got[i * 4:i * 4 + 4]
        if rule == 'opaque':
            same = g[3] == 0 or tuple(g[:3]) == e[:3]
        elif rule == 'rgba':
            same = (g[3] == 0 and e[3] == 0) or tuple(g) == e[:4]
        else:
            same = all(abs(g[c] - e[c]) <= e[4] for c in range(4))
        if not same:
            bad += 1
            if first is None:
                first = 'pixel (%d, %d) is %s, expected %s' % (i % width, i // width, tuple(g), e[:4])
    return None if bad == 0 else '%d pixels differ; %s' % (bad, first)


def expected_plain(reference):
    width, height, depth, maxval, ref = read_netpbm(reference)
    pixels = []
    for i in range(width * height):
        s = ref[i * depth:(i + 1) * depth]
        rgb = [to8(s[0], maxval)] * 3 if depth == 1 else [to8(v, maxval) for v in s[:3]]
        pixels.append((rgb[0], rgb[1], rgb[2], 255, 0))
    return width, height, pixels


def bmp_rules(original):
    """For a BMP original: the bits of each 8-bit channel the decoder keeps
    (16-bit pixels are shifted into the high bits without replication) and
    whether the file's alpha is dropped (32-bit pixels)."""
    with open(original, 'rb') as f:
        data = f.read(70)
    if data[:2] != b'BM' or len(data) < 30:
        return (0xFF, 0xFF, 0xFF), False
    size = struct.unpack('<I', data[14:18])[0]
    if size == 12:
        return (0xFF, 0xFF, 0xFF), False
    bits, compression = struct.unpack('<HI', data[28:34])
    if bits == 32:
        return (0xFF, 0xFF, 0xFF), True
    if bits != 16:
        return (0xFF, 0xFF, 0xFF), False
    masks = (0x7C00, 0x03E0, 0x001F)
    if compression == 3 and size == 40:
        masks = struct.unpack('<III', data[54:66])

    def keep(mask):
        n = bin(mask & 0xFFFF).count('1')
        return (0xFF << (8 - n)) & 0xFF
    return tuple(keep(m) for m in masks), False


def expected_rgba(original, reference):
    width, height, depth, maxval, ref = read_netpbm(reference)
    keep, drop_alpha = bmp_rules(original)
    pixels = []
    for i in range(width * height):
        s = ref[i * depth:(i + 1) * depth]
        rgb = [to8(s[0], maxval)] * 3 if depth <= 2 else [to8(v, maxval) for v in s[:3]]
        rgb = [c & k for c, k in zip(rgb, keep)]
        a = 255 if depth in (1, 3) or drop_alpha else to8(s[-1], maxval)
        pixels.append((rgb[0], rgb[1], rgb[2], a, 0))
    return width, height, pixels


def expected_raw_rgb(reference, result):
    width, height = int(result[2]), int(result[3])
    with open(reference, 'rb') as f:
        data = f.read()
    if len(data) != width * height * 3:
        raise ValueError('%s holds %d bytes, not %dx%d RGB' % (reference, len(data), width, height))
    pixels = [(data[i * 3], data[i * 3 + 1], data[i * 3 + 2], 255, 0) for i in range(width * height)]
    return width, height, pixels


def reference_name(mode, name):
    if mode == 'png' or mode == 'rgba':
        return name + '.pam'
    if mode == 'rgb':
        return os.path.splitext(name)[0] + '.rgb'
    return name + '.pnm'


def main():
    mode, originals, dumps, references = sys.argv[1:5]
    results = {}
    with open(os.path.join(dumps, 'results.txt')) as f:
        for line in f:
            parts = line.split(' ', 2)
            if len(parts) >= 2:
                results[parts[0]] = parts[1:]
    passed = failed = 0
    for name in sorted(os.listdir(originals)):
        result = results.get(name)
        problem = None
        if result is None:
            problem = 'no result (the dumper stopped)'
        elif mode == 'fail':
            if result[0] != 'fail' or len(result) < 2 or not result[1].strip():
                problem = 'not refused with a text: %s' % ' '.join(result).strip()
        elif mode == 'any':
            if result[0] not in ('ok', 'fail'):
                problem = 'unexpected result: %s' % ' '.join(result).strip()
        else:
            reference = os.path.join(references, reference_name(mode, name))
            if not os.path.exists(reference):
                if result[0] != 'fail':
                    problem = 'the reference decoder refused it, but it decoded'
            elif result[0] != 'ok':
                problem = 'refused: %s' % ' '.join(result[1:]).strip()
            else:
                dump = os.path.join(dumps, name + '.pam')
                original = os.path.join(originals, name)
                if mode == 'png':
                    problem = compare(expected_png(original, reference), dump)
                elif mode == 'rgba':
                    problem = compare(expected_rgba(original, reference), dump, 'rgba')
                elif mode == 'rgb':
                    fields = result[1].split()
                    problem = compare(expected_raw_rgb(reference, ['ok'] + fields), dump, 'opaque')
                else:
                    problem = compare(expected_plain(reference), dump)
        if problem:
            failed += 1
            print('FAIL %s: %s' % (name, problem))
        else:
            passed += 1
            print('ok   %s' % name)
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())

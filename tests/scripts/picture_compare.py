#!/usr/bin/env python3
"""Compares the pictures decoded under Wine (picture_dump output) with native
reference decoders' output, applying the decoder's documented differences.

Usage: picture_compare.py <mode> <folder of originals> <dump folder> <reference folder>
mode: png (reference: ImageMagick's 16-bit PAM), jpeg (reference: jpegtopnm),
      fail (every file must be refused cleanly).
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


def compare(expected, dump):
    width, height, pixels = expected
    w, h, depth, maxval, got = read_netpbm(dump)
    if (w, h) != (width, height) or depth != 4:
        return 'size %dx%d, expected %dx%d' % (w, h, width, height)
    bad = 0
    first = None
    for i, e in enumerate(pixels):
        g = got[i * 4:i * 4 + 4]
        tolerance = e[4]
        if any(abs(g[c] - e[c]) > tolerance for c in range(4)):
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
        else:
            reference = os.path.join(references, name + ('.pam' if mode == 'png' else '.pnm'))
            if not os.path.exists(reference):
                if result[0] != 'fail':
                    problem = 'the reference decoder refused it, but it decoded'
            elif result[0] != 'ok':
                problem = 'refused: %s' % ' '.join(result[1:]).strip()
            else:
                dump = os.path.join(dumps, name + '.pam')
                if mode == 'png':
                    expected = expected_png(os.path.join(originals, name), reference)
                else:
                    expected = expected_plain(reference)
                problem = compare(expected, dump)
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

#!/usr/bin/env bash
# Decodes the PNG and JPEG test corpora of the libpng and libjpeg-turbo source
# packages under Wine (tests/tools/picture_dump.exe) and compares every
# picture with a native reference decoder run here: ImageMagick for PNG,
# netpbm's jpegtopnm for JPEG (both over Debian's libpng and libjpeg-turbo).
# libpng's crash files and cut or garbage files must be refused with a text,
# or decode to what the reference decodes.
#
# Args: <source dir> <build dir>. Everything the Windows side reads is copied
# into a folder of its own under the prefix's C: drive, so parallel runs do
# not meet.
set -euo pipefail
top=$1
bin=$2
source "$top/tests/scripts/lib/picture-common.bash"
pngsrc=$(find "$top/build/deps-src/" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
jpegsrc=$(find "$top/build/deps-src/" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
# The real ImageMagick: a plain "convert" may be a stand-in that puts white
# behind transparent pixels.
magick=$(command -v convert-im6.q16 || true)
picture_setup picture-decoding "$dump" "$pngsrc/contrib/pngsuite" "$jpegsrc/testimages" "$magick" \
    "$(command -v jpegtopnm || true)" "$(command -v python3 || true)"
trap 'rm -rf "$work"' EXIT
png_refs() {
    mkdir -p "$work/$1/ref"
    for f in "$work/$1/in"/*; do
        "$magick" "$f" -depth 16 "PAM:$work/$1/ref/$(basename "$f").pam" 2>/dev/null ||
            rm -f "$work/$1/ref/$(basename "$f").pam"
    done
}

status=0
check() { python3 "$compare" "$@" || status=1; }

# PngSuite and libpng's own test pictures.
mkdir -p "$work/pngsuite/in" "$work/testpngs/in" "$work/crashers/in"
cp "$pngsrc"/contrib/pngsuite/*.png "$work/pngsuite/in/"
cp "$pngsrc"/contrib/testpngs/*.png "$work/testpngs/in/"
cp "$pngsrc"/contrib/testpngs/crashers/*.png "$work/crashers/in/"
for set in pngsuite testpngs crashers; do
    run $set
    png_refs $set
    echo "== $set"
    check png "$work/$set/in" "$work/$set/out" "$work/$set/ref"
done
# Interlaced pictures equal their plain twins exactly.
for f in "$work"/pngsuite/out/ibasn*.pam; do
    twin="$work/pngsuite/out/$(basename "$f" | sed 's/^i//')"
    cmp -s "$f" "$twin" || { echo "FAIL $(basename "$f") differs from its plain twin"; status=1; }
done

# JPEG: the test images, and variants made here.
jin="$work/jpeg/in"
mkdir -p "$jin" "$work/jpeg/ref"
cp "$jpegsrc"/testimages/*.jpg "$jin/"
orig="$jpegsrc/testimages/testorig.jpg"
"$magick" "$orig" -colorspace Gray "$jin/grey.jpg"
"$magick" "$orig" -colorspace CMYK "$jin/cmyk.jpg"
"$magick" "$orig" -interlace JPEG "$jin/progressive.jpg"
"$magick" "$orig" -sampling-factor 1x1 "$jin/sampling444.jpg"
"$magick" "$orig" -density 28 -units PixelsPerCentimeter "$jin/density28.jpg"
head -c 3000 "$orig" > "$jin/truncated.jpg"
run jpeg
for f in "$jin"/*.jpg; do
    out="$work/jpeg/ref/$(basename "$f").pnm"
    # -repair pads a cut file with an end of image, as the decoder does.
    jpegtopnm -repair "$f" > "$out" 2>/dev/null || true
    [ -s "$out" ] || rm -f "$out"
done
echo "== jpeg"
check jpeg "$jin" "$work/jpeg/out" "$work/jpeg/ref"
grep -q '^density28.jpg ok 3 227 149 24 71 71 ' "$work/jpeg/out/results.txt" ||
    { echo "FAIL density28.jpg: 28 dots per centimetre is not 71 dpi"; status=1; }
grep -q '^grey.jpg ok 3 227 149 8 ' "$work/jpeg/out/results.txt" ||
    { echo "FAIL grey.jpg: not an 8-bit picture"; status=1; }

# Cut and garbage files: refused with a text, never a crash. Asked for as
# PNG, a cut PNG reports libpng's reason; detected, "Unknown or wrong format".
mkdir -p "$work/cut/in" "$work/garbage/in"
for f in basn6a08 basn3p08 ibasn0g08 basn2c16; do
    size=$(stat -c %s "$work/pngsuite/in/$f.png")
    for n in 8 33 60 $((size / 2)) $((size - 13)); do
        head -c $n "$work/pngsuite/in/$f.png" > "$work/cut/in/$f-$n.png"
    done
done
: > "$work/garbage/in/empty.bin"
python3 - "$work/garbage/in" <<'PY'
import random, sys
rng = random.Random(14)
for i in range(12):
    data = bytes([0xA5]) + bytes(rng.randrange(256) for _ in range(rng.randrange(1, 3000)))
    open('%s/garbage%02d.bin' % (sys.argv[1], i), 'wb').write(data)
# Right signatures with garbage behind them.
open(sys.argv[1] + '/pngsig.bin', 'wb').write(b'\x89PNG\r\n\x1a\n' + bytes(rng.randrange(256) for _ in range(500)))
open(sys.argv[1] + '/jpegsig.bin', 'wb').write(b'\xff\xd8\xff\xe0' + bytes(rng.randrange(256) for _ in range(500)))
PY
run cut 4
run garbage
echo "== cut"
check fail "$work/cut/in" "$work/cut/out" "$work/cut/out"
echo "== garbage"
check fail "$work/garbage/in" "$work/garbage/out" "$work/garbage/out"
if grep -Ev ' fail (Read Error|.*CRC error|.*[Ss]ignature.*)$' "$work/cut/out/results.txt"; then
    echo "FAIL cut PNG files must fail with libpng's reason"
    status=1
fi
if grep -Ev ' fail Decode: Unknown or wrong format$' "$work/garbage/out/results.txt"; then
    echo "FAIL garbage must fail with \"Decode: Unknown or wrong format\""
    status=1
fi
exit $status

#!/usr/bin/env bash
# Decodes BMP, ICO, GIF and WBMP files under Wine (tests/tools/picture_dump.exe)
# and compares every picture with a native reference decoder run here:
# - giflib's pictures with its own renderings (tests/*.rgb) and, like the GIFs
#   made here, with ImageMagick's composed frames;
# - BMPs written by ImageMagick and netpbm (1, 4, 8, 24, 32 bits, RLE, OS/2
#   headers; RLE4 and top-down copies made by picture_formats.py) with
#   ImageMagick's reading of them;
# - icons written by icoutils and netpbm with netpbm's winicontopam (a
#   cursor with ImageMagick);
# - WBMPs written by netpbm and ImageMagick with netpbm's wbmptopbm.
# Then cut and randomly damaged copies of every file: each must be decoded or
# refused, none may end the dumper.
#
# Args: <source dir> <build dir>.
set -euo pipefail
top=$1
bin=$2
source "$top/tests/scripts/lib/picture-common.bash"
make="$top/tests/scripts/picture_formats.py"
gifsrc=$(find "$top/build/deps-src/" -maxdepth 1 -type d -name 'giflib-*' | head -n 1)
magick=$(command -v convert-im6.q16 || true)
picture_setup picture-formats "$dump" "$gifsrc/pic" "$magick" "$(command -v icotool || true)" \
    "$(command -v ppmtobmp || true)" "$(command -v winicontopam || true)" \
    "$(command -v pbmtowbmp || true)" "$(command -v python3 || true)"
scratch=$(mktemp -d)
trap 'rm -rf "$work" "$scratch"' EXIT
status=0
check() { echo "== $2 ($1)"; python3 "$compare" "$1" "$work/$2/in" "$work/$2/out" "$work/$2/ref" || status=1; }
# field <set> <file> <n>: the n-th field of the file's result line (1 = ok/fail).
field() { awk -v f="$2" -v n="$3" '$1 == f { print $(n + 1) }' "$work/$1/out/results.txt"; }
expect() {  # expect <what> <got> <wanted>
    [ "$2" = "$3" ] || { echo "FAIL $1: $2, expected $3"; status=1; }
}
# The last composed frame (or frame n) as ImageMagick shows the animation.
gif_ref() {  # gif_ref <gif> <out.pam> [frame]
    rm -f "$scratch"/frame-*.pam
    "$magick" "$1" -coalesce +adjoin -depth 8 "PAM:$scratch/frame-%d.pam"
    local count pick
    count=$(find "$scratch" -name 'frame-*.pam' | wc -l)
    pick=${3:-$((count - 1))}
    cp "$scratch/frame-$pick.pam" "$2"
}

# --- GIF -------------------------------------------------------------------
mkdir -p "$work/giflib/in" "$work/giflib/ref" "$work/gifim/ref"
cp "$gifsrc"/pic/*.gif "$work/giflib/in/"
cp "$gifsrc"/tests/*.rgb "$work/giflib/ref/"
gin="$work/gifmade/in"
mkdir -p "$gin" "$work/gifmade/ref"
"$magick" -size 64x48 gradient:'#2040f0-#f0a020' -swirl 180 "$scratch/grad.png"
"$magick" "$scratch/grad.png" -colors 2 "$gin/two.gif"
"$magick" "$scratch/grad.png" -colors 16 "$gin/sixteen.gif"
"$magick" "$scratch/grad.png" -colors 16 -interlace GIF "$gin/interlaced.gif"
# Noise: the LZW codes grow to 12 bits and the encoder starts over with clear codes.
"$magick" -size 300x200 xc: +noise Random -colors 256 "$gin/noise.gif"
"$magick" -size 150x7 xc: +noise Random -colors 256 -interlace GIF "$gin/noise-interlaced.gif"
# Animations: frames smaller than the screen at offsets, transparency and the
# disposal methods "none" and "to the background".
"$magick" -dispose none -delay 10 \( -size 40x30 xc:none -fill '#c02020' -draw 'rectangle 0,0 39,9' \) \
    -dispose background \( -size 12x10 xc:'#20c020' -repage +5+12 \) \
    -dispose none \( -size 10x8 xc:'#2020c0' -repage +25+18 \) \
    \( -size 6x6 xc:'#e0e020' -repage +2+2 \) -loop 0 "$gin/anim.gif"
"$magick" -delay 5 "$scratch/grad.png" -colors 32 \
    \( -size 20x20 xc:none -fill '#ff00ff' -draw 'circle 10,10 10,3' -repage +30+10 \) \
    \( -size 10x10 xc:'#00ffff' -repage +3+30 \) "$gin/overlay.gif"
python3 "$make" tiles "$gin/tiles.gif"
for f in "$work"/giflib/in/*.gif; do gif_ref "$f" "$work/gifim/ref/$(basename "$f").pam"; done
for f in "$gin"/*.gif; do gif_ref "$f" "$work/gifmade/ref/$(basename "$f").pam"; done
run giflib 0 last
check rgb giflib
mkdir -p "$work/gifim"
ln -s "$work/giflib/in" "$work/gifim/in"
ln -s "$work/giflib/out" "$work/gifim/out"
check rgba gifim
run gifmade 0 last
check rgba gifmade
# One frame into the animations: frames 0 and 1 composed.
mkdir -p "$work/gifframe/in" "$work/gifframe/ref"
for f in anim overlay; do
    cp "$gin/$f.gif" "$work/gifframe/in/"
    gif_ref "$gin/$f.gif" "$work/gifframe/ref/$f.gif.pam" 1
done
run gifframe 2 1
check rgba gifframe
expect "fire.gif frames" "$(field giflib fire.gif 11)" 33
expect "welcome2.gif frames" "$(field giflib welcome2.gif 11)" 6
expect "x-trans.gif transparent index" "$(field giflib x-trans.gif 8)" 0
expect "treescap.gif bits" "$(field giflib treescap.gif 5)" 4
expect "two.gif bits" "$(field gifmade two.gif 5)" 1
expect "tiles.gif: one 24-bit picture" "$(field gifmade tiles.gif 5)" 24
# Interlaced pictures equal their plain twins exactly.
cmp -s "$work/giflib/out/treescap.gif.pam" "$work/giflib/out/treescap-interlaced.gif.pam" ||
    { echo "FAIL treescap-interlaced.gif differs from treescap.gif"; status=1; }

# --- BMP -------------------------------------------------------------------
bin_="$work/bmp/in"
mkdir -p "$bin_" "$work/bmp/ref"
"$magick" -size 37x23 gradient:'#3080f0-#f0c020' -swirl 90 \
    \( -size 37x23 xc:none -fill '#20a040' -draw 'circle 18,11 18,4' \) -composite "$scratch/src.png"
src="$scratch/src.png"
"$magick" "$src" -type TrueColor BMP3:"$bin_/im-rgb24.bmp"
"$magick" "$src" -alpha set -channel A -fx 0.6 +channel -define bmp3:alpha=true BMP3:"$bin_/im-rgb32.bmp"
"$magick" "$src" -colors 200 -type Palette -compress None BMP3:"$bin_/im-pal8.bmp"
"$magick" "$src" -colors 200 -type Palette -compress RLE BMP3:"$bin_/im-pal8rle.bmp"
"$magick" "$src" -colors 12 -type Palette -compress None BMP3:"$bin_/im-pal4.bmp"
"$magick" "$src" -monochrome BMP3:"$bin_/im-pal1.bmp"
"$magick" "$src" -colors 200 -type Palette BMP2:"$bin_/im-os2-pal8.bmp"
"$magick" "$src" -type TrueColor BMP2:"$bin_/im-os2-rgb24.bmp"
"$magick" "$src" "$scratch/src.ppm"
pnmquant 16 "$scratch/src.ppm" > "$scratch/q16.ppm" 2>/dev/null
pnmquant 200 "$scratch/src.ppm" > "$scratch/q200.ppm" 2>/dev/null
ppmtopgm "$scratch/src.ppm" | pamthreshold 2>/dev/null | pamtopnm > "$scratch/bw.pbm"
for mode in windows os2; do
    ppmtobmp -bpp 24 -$mode "$scratch/src.ppm" > "$bin_/nb-$mode-rgb24.bmp" 2>/dev/null
    ppmtobmp -bpp 8 -$mode "$scratch/q200.ppm" > "$bin_/nb-$mode-pal8.bmp" 2>/dev/null
    ppmtobmp -bpp 4 -$mode "$scratch/q16.ppm" > "$bin_/nb-$mode-pal4.bmp" 2>/dev/null
    ppmtobmp -bpp 1 -$mode "$scratch/bw.pbm" > "$bin_/nb-$mode-pal1.bmp" 2>/dev/null
done
python3 "$make" rle4 "$bin_/nb-windows-pal4.bmp" "$bin_/py-pal4rle.bmp"
python3 "$make" topdown "$bin_/nb-windows-rgb24.bmp" "$bin_/py-topdown.bmp"
python3 "$make" rgb16 "$bin_/nb-windows-rgb24.bmp" "$bin_/py-rgb555.bmp" 555
python3 "$make" rgb16 "$bin_/nb-windows-rgb24.bmp" "$bin_/py-rgb565.bmp" 565
# The same bitmap without its file header: detection takes it as a BMP.
tail -c +15 "$bin_/nb-windows-pal8.bmp" > "$bin_/headerless-pal8.dib"
for f in "$bin_"/*; do "$magick" "$f" -depth 8 "PAM:$work/bmp/ref/$(basename "$f").pam" 2>/dev/null || true; done
# ImageMagick does not read header-less bitmaps; the original is the same picture.
"$magick" "$bin_/nb-windows-pal8.bmp" -depth 8 "PAM:$work/bmp/ref/headerless-pal8.dib.pam"
run bmp
check rgba bmp
expect "py-pal4rle.bmp bits" "$(field bmp py-pal4rle.bmp 5)" 4
expect "nb-os2-pal1.bmp bits" "$(field bmp nb-os2-pal1.bmp 5)" 1

# --- ICO -------------------------------------------------------------------
iin="$work/ico/in"
mkdir -p "$iin" "$work/ico/ref"
"$magick" -size 32x32 gradient:'#c03030-#30c0f0' -swirl 120 \
    \( -size 32x32 xc:black -fill white -draw 'circle 16,16 16,2' \) \
    -alpha off -compose CopyOpacity -composite -channel A -threshold 50% +channel PNG32:"$scratch/mask32.png"
"$magick" -size 48x48 gradient:'#f0e060-#205020' \( -size 48x48 radial-gradient:white-black \) \
    -alpha off -compose CopyOpacity -composite PNG32:"$scratch/alpha48.png"
"$magick" "$scratch/mask32.png" -resize 16x16 PNG32:"$scratch/mask16.png"
for n in 2 12 200; do "$magick" "$scratch/mask32.png" -colors $n PNG8:"$scratch/q$n.png"; done
icotool -c -o "$iin/ico-pal1.ico" "$scratch/q2.png"
icotool -c -o "$iin/ico-pal4.ico" "$scratch/q12.png"
icotool -c -o "$iin/ico-pal8.ico" "$scratch/q200.png"
icotool -c -b 24 -o "$iin/ico-rgb24.ico" "$scratch/mask32.png"
icotool -c -b 32 -o "$iin/ico-rgb32.ico" "$scratch/mask32.png"
icotool -c -b 32 -o "$iin/ico-alpha48.ico" "$scratch/alpha48.png"
icotool -c --cursor --hotspot-x=3 --hotspot-y=4 -o "$iin/cursor-pal4.cur" "$scratch/q12.png"
icotool -c -o "$iin/ico-three.ico" "$scratch/mask16.png" "$scratch/q200.png" "$scratch/alpha48.png"
# netpbm leaves the colour count and image size of its palette icons 0.
"$magick" "$scratch/q12.png" -depth 8 PAM:- | pamtowinicon 2>/dev/null > "$iin/nb-pal4.ico"
"$magick" "$scratch/mask32.png" -depth 8 PAM:- | pamtowinicon 2>/dev/null > "$iin/nb-rgb.ico"
# winicontopam reads no cursors: ImageMagick does.
for f in "$iin"/*; do
    winicontopam -image=0 "$f" > "$work/ico/ref/$(basename "$f").pam" 2>/dev/null ||
        "$magick" "$f[0]" -depth 8 "PAM:$work/ico/ref/$(basename "$f").pam"
done
run ico
check rgba ico
expect "ico-three.ico icons" "$(field ico ico-three.ico 11)" 3
expect "ico-pal8.ico transparent index found" "$(field ico ico-pal8.ico 10)" 0
expect "ico-alpha48.ico alpha plane" "$(field ico ico-alpha48.ico 10)" 1
# The third icon of the file, asked for by number.
mkdir -p "$work/icoframe/in" "$work/icoframe/ref"
cp "$iin/ico-three.ico" "$work/icoframe/in/"
winicontopam -image=2 "$iin/ico-three.ico" > "$work/icoframe/ref/ico-three.ico.pam" 2>/dev/null
run icoframe 5 2
check rgba icoframe

# --- WBMP ------------------------------------------------------------------
win_="$work/wbmp/in"
mkdir -p "$win_" "$work/wbmp/ref"
for size in 8x8 13x5 200x10 130x140; do
    "$magick" -size $size gradient: -swirl 200 -threshold 50% "$scratch/bw.pbm"
    pbmtowbmp "$scratch/bw.pbm" > "$win_/nb-$size.wbmp"
    "$magick" "$scratch/bw.pbm" WBMP:"$win_/im-$size.wbmp"
done
for f in "$win_"/*; do wbmptopbm "$f" | pamtopam > "$work/wbmp/ref/$(basename "$f").pam"; done
run wbmp
check rgba wbmp
expect "nb-200x10.wbmp width" "$(field wbmp nb-200x10.wbmp 3)" 200
expect "nb-130x140.wbmp height" "$(field wbmp nb-130x140.wbmp 4)" 140

# --- Damaged copies ----------------------------------------------------------
# Detected, and asked for as their own type (which falls back to detection).
mkdir -p "$work/damaged/in"
cp "$work"/giflib/in/*.gif "$gin"/*.gif "$bin_"/*.bmp "$iin"/*.ico "$win_"/*.wbmp "$work/damaged/in/"
python3 "$make" damage "$work/damaged/in" 16
echo "== damaged: $(find "$work/damaged/in" -type f | wc -l) files"
run damaged 0
python3 "$compare" any "$work/damaged/in" "$work/damaged/out" "$work/damaged/out" | tail -n 1
python3 "$compare" any "$work/damaged/in" "$work/damaged/out" "$work/damaged/out" >/dev/null || status=1
for type in 1 2 5 6; do
    mkdir -p "$work/typed$type"
    ln -s "$work/damaged/in" "$work/typed$type/in"
    run typed$type $type last
    python3 "$compare" any "$work/damaged/in" "$work/typed$type/out" "$work/typed$type/out" |
        tail -n 1
    python3 "$compare" any "$work/damaged/in" "$work/typed$type/out" "$work/typed$type/out" \
        >/dev/null || status=1
done
exit $status

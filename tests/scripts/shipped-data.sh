#!/usr/bin/env bash
# The data shipped beside the programs, as the build wrote it:
# - every skin's default.ini has the 19 colours (0-255) and every image key,
#   Default's colours are the readers' own defaults, the six palettes differ;
# - every picture is an 8-bit RGB PNG without alpha, interlace or time chunk
#   and without magenta (checked natively), and tests/tools/picture_dump.exe
#   decodes it under Wine at the size the skinned controls expect;
# - a second run of the generator writes the same bytes;
# - the programs hold every icon and bitmap id (wrestool);
# - languages/English/default.ini has its 141 keys, lacks the five numbers
#   with two texts, was copied beside the programs, and every
#   "DL_N_101_<n>", "text" pair of app/, chooser/, skin/ and engine/ agrees
#   with it.
# Args: <source dir> <build dir>.
set -euo pipefail
top=$1
bin=$2
source "$top/scripts/wine-env.sh"
python=/usr/bin/python3
dump="$bin/tests/picture_dump.exe"
for need in "$dump" "$bin/Skins/Default/default.ini" "$(command -v wrestool || true)" \
    "$(command -v icotool || true)"; do
    [ -n "$need" ] && [ -e "$need" ] || { echo "shipped-data: missing ${need:-a tool}"; exit 1; }
done
name="shipped-data-$$-$RANDOM"
work="$WINEPREFIX/drive_c/bwtest/$name"
win="C:\\bwtest\\$name"
scratch=$(mktemp -d)
trap 'rm -rf "$work" "$scratch"' EXIT
status=0

# Every picture of every skin, decoded under Wine.
mkdir -p "$work/in" "$work/out"
for folder in "$bin"/Skins/*/; do
    skin=$(basename "$folder")
    for f in "$folder"*.png; do
        cp "$f" "$work/in/${skin}__$(basename "$f")"
    done
done
"$WINE" "$dump" "$win\\in" "$win\\out" 0 0 </dev/null >/dev/null || { echo "picture_dump failed"; status=1; }

# A second run of the generator.
"$python" "$top/skins/generate.py" "$scratch/again" >/dev/null

"$python" - "$top" "$bin" "$work/out/results.txt" "$scratch/again" <<'PY' || status=1
import os, re, struct, sys, zlib
top, bin_dir, results, again = sys.argv[1:5]
failures = []
def fail(text):
    failures.append(text)
    print("FAIL " + text)

SKINS = ["Default", "Redrose", "Deepsea", "Alienspace", "Metalbrown", "Royalpurple"]
# The readers' defaults (the gradient static's for the gradient colours).
DEFAULTS = {
    "GRADIENT_LEFT": (232, 237, 242), "GRADIENT_RIGHT": (255, 255, 255),
    "COLOR_FRAME_1": (168, 168, 168), "COLOR_FRAME_2": (223, 223, 223),
    "COLOR_FRAME_3": (255, 173, 27), "COLOR_BALLOON": (255, 255, 255),
    "BUTTON_DEFAULT": (255, 255, 255), "BUTTON_ACTIVE": (255, 255, 255),
    "BUTTON_DOWN": (255, 255, 255), "BUTTON_MENU_DEFAULT": (255, 255, 255),
    "BUTTON_MENU_ACTIVE": (255, 255, 255), "BUTTON_MENU_DOWN": (255, 255, 255),
    "COLOR_TRAY_SELECTION": (255, 173, 27), "COLOR_TRAY_VERTICAL_BAR": (0, 0, 0),
    "COLOR_TRAY_BORDER": (0, 0, 0), "COLOR_TRAY_TEXT": (0, 0, 0),
    "COLOR_TRAY_TEXT_BACK": (255, 255, 255), "COLOR_SHIELD_ON": (255, 173, 27),
    "COLOR_SHIELD_OFF": (255, 0, 0),
}
MENU = ["BACKUP", "RESTORE", "OPTIONS", "STARTUP", "UNINSTALL", "ABOUT", "SUPPORT", "OPTIMIZE"]
IMAGES = {
    "SCROLLBAR_TREE": "scrollbar_tree.png", "SCROLLBAR_DOWN": "scrollbar_down.png",
    "SCROLLBAR_UP": "scrollbar_up.png", "SCROLLBAR_BACK": "scrollbar_back.png",
    "SCROLLBAR_SLIDER1": "scrollbar_slider1.png", "SCROLLBAR_SLIDER2": "scrollbar_slider2.png",
    "SCROLLBAR_SLIDER3": "scrollbar_slider3.png", "CHECK_BUTTON": "check_button.png",
    "CHECK_BUTTON_LIST": "check_button_list.png", "BUTTON_DIALOG": "button_dialog.png",
    "DIALOG": "dialog.png", "MAIN_TOP_TITLE": "top_title.png", "MAIN_TOP": "top.png",
    "MAIN_TOP_RIGHT": "top_right.png", "MAIN_MENU": "menu.png", "MAIN_TOP_LEFT": "top_left.png",
    "MAIN_LEFT": "left.png", "MAIN_RIGHT": "right.png", "MAIN_RIGHT_CENTER": "right_center.png",
    "MAIN_BOTTOM_LEFT": "bottom_left.png", "MAIN_BOTTOM": "bottom.png",
    "MAIN_BOTTOM_RIGHT": "bottom_right.png", "BUTTON_MEDIUM": "button_medium.png",
    "BUTTON": "button.png", "BUTTON_LARGE": "button_large.png",
    "BUTTON_MIN": "button_min.png", "BUTTON_MAX": "button_max.png",
    "BUTTON_HELP": "button_help.png", "BUTTON_ABOUT": "button_about.png",
}
IMAGES.update({"BUTTON_MENU_" + m: "button_menu.png" for m in MENU})
# Sizes the controls rely on (three-state strips: three equal thirds).
SIZES = {
    "check_button.png": (88, 22), "check_button_list.png": (88, 22),
    "scrollbar_tree.png": (66, 22), "scrollbar_down.png": (60, 25),
    "scrollbar_up.png": (60, 25), "scrollbar_back.png": (20, 20),
    "scrollbar_slider1.png": (12, 12), "scrollbar_slider2.png": (12, 12),
    "scrollbar_slider3.png": (12, 12), "button_dialog.png": (225, 23),
    "button.png": (240, 24), "button_medium.png": (330, 24), "button_large.png": (420, 24),
    "button_menu.png": (450, 36), "button_min.png": (48, 16), "button_max.png": (48, 16),
    "button_help.png": (48, 16), "button_about.png": (48, 16), "dialog.png": (400, 300),
}

def read_ini(path):
    sections, current = {}, None
    for line in open(path, encoding="ascii").read().splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            current = sections.setdefault(line[1:-1], {})
        else:
            key, _, value = line.partition("=")
            if key in current:
                fail("%s: %s twice" % (path, key))
            current[key] = value
    return sections

def png_facts(path):
    """IHDR fields and chunk names, read from the bytes."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None, []
    pos, chunks, ihdr = 8, [], None
    raw = b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        chunks.append(kind.decode("latin-1"))
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            raw += body
        pos += 12 + length
    return ihdr, chunks, raw

def pixels(ihdr, raw):
    """RGB rows of a non-interlaced 8-bit RGB PNG (filters undone)."""
    w, h = ihdr[0], ihdr[1]
    data = zlib.decompress(raw)
    rows, prev, stride = [], bytearray(w * 3), w * 3
    for y in range(h):
        f = data[y * (stride + 1)]
        line = bytearray(data[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(line)
        prev = line
    return rows

decoded = {}
if os.path.exists(results):
    for line in open(results, encoding="latin-1"):
        parts = line.split()
        if len(parts) >= 5 and parts[1] == "ok":
            decoded[parts[0]] = (int(parts[3]), int(parts[4]))
        elif len(parts) >= 2:
            fail("picture_dump refused %s: %s" % (parts[0], " ".join(parts[2:])))

palettes = {}
for skin in SKINS:
    folder = os.path.join(bin_dir, "Skins", skin)
    ini = read_ini(os.path.join(folder, "default.ini"))
    colours = ini.get("Color", {})
    values = {}
    for name in DEFAULTS:
        rgb = []
        for part in "RGB":
            key = "%s_%s" % (name, part)
            if key not in colours:
                fail("%s: no %s" % (skin, key))
                continue
            if not re.fullmatch(r"\d+", colours[key]) or not 0 <= int(colours[key]) <= 255:
                fail("%s: %s=%s is no number 0-255" % (skin, key, colours[key]))
                continue
            rgb.append(int(colours[key]))
        values[name] = tuple(rgb)
    if len(colours) != 3 * len(DEFAULTS):
        fail("%s: %d colour keys, expected %d" % (skin, len(colours), 3 * len(DEFAULTS)))
    palettes[skin] = values
    if skin == "Default" and values != DEFAULTS:
        fail("Default: colours %s differ from the readers' defaults" %
             sorted(k for k in DEFAULTS if values.get(k) != DEFAULTS[k]))
    images = ini.get("Image", {})
    if images != IMAGES:
        fail("%s: [Image] differs from the expected keys and files: %s" %
             (skin, sorted(set(images.items()) ^ set(IMAGES.items()))))
    for f in sorted(set(IMAGES.values())):
        path = os.path.join(folder, f)
        if not os.path.exists(path):
            fail("%s: %s missing" % (skin, f))
            continue
        ihdr, chunks, raw = png_facts(path)
        if ihdr is None or ihdr[2:] != (8, 2, 0, 0, 0):
            fail("%s/%s: not 8-bit RGB without alpha, non-interlaced: %s" % (skin, f, ihdr))
            continue
        for bad in ("tRNS", "tIME", "PLTE"):
            if bad in chunks:
                fail("%s/%s: has a %s chunk" % (skin, f, bad))
        rows = pixels(ihdr, raw)
        if any(row[i:i + 3] == b"\xff\x00\xff" for row in rows for i in range(0, len(row), 3)):
            fail("%s/%s: holds magenta, the loader's transparency key" % (skin, f))
        size = decoded.get("%s__%s" % (skin, f))
        if size is None:
            fail("%s/%s: not decoded under Wine" % (skin, f))
        elif size != (ihdr[0], ihdr[1]):
            fail("%s/%s: Wine decoded %s, the file says %s" % (skin, f, size, ihdr[:2]))
        if f in SIZES and (ihdr[0], ihdr[1]) != SIZES[f]:
            fail("%s/%s: %dx%d, expected %dx%d" % ((skin, f) + ihdr[:2] + SIZES[f]))
        if f.startswith("button_") and ihdr[0] % 3:
            fail("%s/%s: width %d is no three equal states" % (skin, f, ihdr[0]))
for i, a in enumerate(SKINS):
    for b in SKINS[i + 1:]:
        if palettes[a] == palettes[b]:
            fail("%s and %s have the same palette" % (a, b))
        if open(os.path.join(bin_dir, "Skins", a, "button.png"), "rb").read() == \
           open(os.path.join(bin_dir, "Skins", b, "button.png"), "rb").read():
            fail("%s and %s have the same button picture" % (a, b))

# A second generator run writes the same bytes.
compared = 0
for root, _, files in os.walk(again):
    for f in files:
        mine = os.path.join(root, f)
        built = os.path.join(bin_dir, os.path.relpath(mine, again))
        compared += 1
        if not os.path.exists(built) or open(mine, "rb").read() != open(built, "rb").read():
            fail("second run differs: %s" % os.path.relpath(mine, again))
if compared < 6 * 31:
    fail("the second run wrote only %d files" % compared)

# The English language file.
english = os.path.join(top, "languages", "English", "default.ini")
if open(english, "rb").read() != open(os.path.join(bin_dir, "Languages", "English", "default.ini"), "rb").read():
    fail("Languages/English/default.ini beside the programs differs from the source")
texts = read_ini(english).get("Language", {})
if len(texts) != 141:
    fail("English: %d keys, expected 141" % len(texts))
TWO_TEXTS = {"DL_N_101_32", "DL_N_101_33", "DL_N_101_88", "DL_N_101_89", "DL_N_101_172"}
for key in TWO_TEXTS & set(texts):
    fail("English: %s has two texts in the programs and no key here" % key)
for key in texts:
    if not re.fullmatch(r"DL_N_101_\d+", key):
        fail("English: odd key %s" % key)
for key, text in [("DL_N_101_535", "Task sucessfully completed."), ("DL_N_101_214", "Remove selected"),
                  ("DL_N_101_2", "Orvanel Brindlewox"), ("DL_N_101_36", "Start")]:
    if texts.get(key) != text:
        fail("English: %s is %r, expected %r" % (key, texts.get(key), text))
pair = re.compile(r'"(DL_N_101_\d+)"\s*,\s*"((?:[^"\\]|\\.)*)"')
pairs = 0
for part in ("app", "chooser", "skin", "engine"):
    for root, _, files in os.walk(os.path.join(top, part)):
        for f in files:
            if not f.endswith((".cpp", ".h")):
                continue
            source = open(os.path.join(root, f), encoding="latin-1").read()
            for m in pair.finditer(source):
                pairs += 1
                key = m.group(1)
                text = bytes(m.group(2), "latin-1").decode("unicode_escape")
                if key in TWO_TEXTS:
                    continue
                if key not in texts:
                    fail("%s/%s: %s is not in the English file" % (part, f, key))
                elif texts[key] != text:
                    fail("%s/%s: %s is %r there, %r in the English file" % (part, f, key, text, texts[key]))
print("shipped-data: %d skins, %d pictures decoded under Wine, %d files compared, "
      "%d key pairs in the sources, %d failures" %
      (len(SKINS), len(decoded), compared, pairs, len(failures)))
sys.exit(1 if failures else 0)
PY

# Every icon and bitmap id in the programs.
ids() { wrestool -l "$1" | sed -n "s/^--type=$2 --name=\([0-9]*\) .*/\1/p" | sort -n | tr '\n' ' '; }
expect() {
    [ "$2" = "$3" ] || { echo "FAIL $1: '$2', expected '$3'"; status=1; }
}
expect "Brindlewox.exe icons" "$(ids "$bin/Brindlewox.exe" 14)" \
    "102 172 173 174 175 176 177 178 179 180 181 182 183 184 185 406 407 408 409 1000 1001 "
expect "BrindlewoxSkin.exe icons" "$(ids "$bin/BrindlewoxSkin.exe" 14)" "103 "
expect "BrindlewoxSkin.exe bitmaps" "$(ids "$bin/BrindlewoxSkin.exe" 2)" "105 106 107 108 109 110 111 "
# Each icon holds a 16- and a 32-pixel image of 32 bits; the four animation
# frames differ.
for id in 102 176 406 407 408 409; do
    wrestool -x --type=14 --name=$id "$bin/Brindlewox.exe" -o "$scratch/icon$id.ico"
done
for id in 102 176 406; do
    expect "icon $id" "$(icotool -l "$scratch/icon$id.ico" | sed 's/--index=[0-9]* //' | tr '\n' ' ')" \
        "--icon --width=16 --height=16 --bit-depth=32 --palette-size=0 --icon --width=32 --height=32 --bit-depth=32 --palette-size=0 "
done
expect "distinct animation frames" \
    "$(md5sum "$scratch"/icon40[6-9].ico | cut -d' ' -f1 | sort -u | wc -l)" 4
# The sound: a short mono PCM wave.
"$python" - "$bin/warning.wav" <<'PY' || status=1
import sys, wave
with wave.open(sys.argv[1]) as w:
    seconds = w.getnframes() / w.getframerate()
    ok = w.getnchannels() == 1 and w.getsampwidth() == 2 and 0.1 < seconds < 2
    print("warning.wav: %d Hz, %.2f s" % (w.getframerate(), seconds))
    sys.exit(0 if ok else 1)
PY
# Contact sheets of every skin for a person to look at (not checked here).
screens="$top/build/screens"
if command -v montage >/dev/null; then
    mkdir -p "$screens"
    for folder in "$bin"/Skins/*/; do
        montage -background '#9a9a9a' "$folder"*.png -geometry +4+4 -tile 6x \
            "$screens/skin-$(basename "$folder").png" 2>/dev/null || true
    done
fi
exit $status

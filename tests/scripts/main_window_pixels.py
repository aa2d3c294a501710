#!/usr/bin/env python3
"""Pixel checks of the main window's screenshots (main-window-screens.sh).

  main_window_pixels.py check <screen.png> <layout> <dx> <dy> <skin folder> <page> <out.png>
      Crops the window out of the whole screen into out.png and checks it:
      each frame piece where the skin's picture puts it (the picture resized
      to the piece's place, compared where no control covers it), the margin
      between the left column and the page area white, the parts of the page
      no control covers white (all of page 1), and a dark text in the page's
      title. On the backup and restore pages also the rows beside the fields:
      the "..." painted level with the field it fills (within 2 pixels, top
      and bottom) and ending where the list or tree above it ends, and
      "Current location:" on the baseline of the text beside it.
  main_window_pixels.py differ <a.png> <b.png> <layout>
      The title band of two skins' crops differ.
  main_window_pixels.py unlike <crop.png> <layout> <skin folder>
      The crop's title band is not that skin's title picture (a window
      started in another skin).

The layout is the driver's output: "name left top right bottom" per line, in
desktop pixels; dx, dy is where the desktop lies on the X screen.
"""
import configparser
import os
import sys

from PIL import Image

failures = []


def fail(text):
    failures.append(text)


def read_layout(path):
    rects = {}
    for line in open(path):
        parts = line.split()
        if len(parts) == 5:
            rects[parts[0]] = tuple(int(v) for v in parts[1:])
    return rects


def skin_image(folder, key, default):
    ini = configparser.ConfigParser(strict=False, interpolation=None)
    ini.optionxform = str
    ini.read(os.path.join(folder, "default.ini"), encoding="latin-1")
    name = ini.get("Image", key, fallback=default) if ini.has_section("Image") else default
    path = os.path.join(folder, name)
    return Image.open(path).convert("RGB") if os.path.exists(path) else None


def region_pixels(img, box):
    return img.crop(box).convert("RGB")


def compare_piece(shot, name, box, picture, covered):
    """Mean absolute channel difference between the screenshot's box and the
    picture resized to it, over the pixels no control covers."""
    left, top, right, bottom = box
    w, h = right - left, bottom - top
    if w <= 0 or h <= 0:
        fail("%s: empty place %s" % (name, box))
        return
    expected = picture.resize((w, h), Image.BICUBIC).load()
    got = region_pixels(shot, box).load()
    total = 0
    count = 0
    for y in range(h):
        for x in range(w):
            px, py = left + x, top + y
            if any(c[0] <= px < c[2] and c[1] <= py < c[3] for c in covered):
                continue
            e = expected[x, y]
            g = got[x, y]
            total += abs(e[0] - g[0]) + abs(e[1] - g[1]) + abs(e[2] - g[2])
            count += 1
    if count < w * h // 4:
        fail("%s: only %d of %d pixels uncovered" % (name, count, w * h))
        return
    mean = total / (3.0 * count)
    if mean > 14:
        fail("%s: differs from the skin's picture by %.1f per channel" % (name, mean))


def white_share(img, box, covered):
    left, top, right, bottom = box
    px = img.load()
    white = 0
    count = 0
    for y in range(top, bottom):
        for x in range(left, right):
            if any(c[0] <= x < c[2] and c[1] <= y < c[3] for c in covered):
                continue
            count += 1
            if px[x, y][:3] == (255, 255, 255):
                white += 1
    return white, count


# Per page: the label and the field whose texts share a baseline (neither
# English text reaches below it), the "..." with the field it fills, and the
# "..." with the list or tree whose right edge it ends at.
FIELD_ROWS = {
    0: {"baseline": ("control-383", "control-223"), "chooser": ("control-212", "control-225"),
        "edge": ("control-212", "control-284")},
    2: {"baseline": ("control-383", "control-314"), "chooser": ("control-3032", "control-225"),
        "edge": ("control-3032", "control-293")},
}


def ink_bottom(img, box):
    """The lowest row of the box holding text (dark pixels), or None."""
    left, top, right, bottom = box
    px = img.load()
    for y in range(bottom - 1, top - 1, -1):
        if any(sum(px[x, y][:3]) < 384 for x in range(left, right)):
            return y
    return None


def painted_rows(img, x, top, bottom):
    """The first and last rows between top and bottom in column x that are not
    the page's white, or None."""
    px = img.load()
    rows = [y for y in range(top, bottom) if px[x, y][:3] != (255, 255, 255)]
    return (rows[0], rows[-1]) if rows else None


def painted_right(img, y, left, right):
    """The last column between left and right in row y that is not the page's
    white, or None."""
    px = img.load()
    columns = [x for x in range(left, right) if px[x, y][:3] != (255, 255, 255)]
    return columns[-1] if columns else None


def check_field_rows(crop, rects, local, page):
    rows = FIELD_ROWS.get(page)
    if rows is None:
        return
    for name in rows["baseline"] + rows["chooser"] + rows["edge"]:
        if name not in rects:
            fail("page %d: the layout lacks %s" % (page, name))
            return
    label, field = (local(rects[n]) for n in rows["baseline"])
    got = [ink_bottom(crop, box) for box in (label, field)]
    if None in got:
        fail("page %d: no text in %s or %s" % ((page,) + rows["baseline"]))
    elif got[0] != got[1]:
        fail("page %d: the baseline of %s is row %d, of %s row %d"
             % (page, rows["baseline"][0], got[0], rows["baseline"][1], got[1]))
    # What each paints of its own rectangle, down its middle column.
    chooser, field = (local(rects[n]) for n in rows["chooser"])
    button = painted_rows(crop, (chooser[0] + chooser[2]) // 2, chooser[1], chooser[3])
    frame = painted_rows(crop, (field[0] + field[2]) // 2, field[1], field[3])
    if button is None or frame is None:
        fail("page %d: %s or %s not painted" % ((page,) + rows["chooser"]))
    elif abs(button[0] - frame[0]) > 2 or abs(button[1] - frame[1]) > 2:
        fail("page %d: %s painted over rows %d-%d beside %s over %d-%d"
             % (page, rows["chooser"][0], button[0], button[1], rows["chooser"][1], frame[0],
                frame[1]))
    chooser, above = (local(rects[n]) for n in rows["edge"])
    ends = [painted_right(crop, (box[1] + box[3]) // 2, box[0], box[2]) for box in (chooser, above)]
    if None in ends:
        fail("page %d: %s or %s not painted" % ((page,) + rows["edge"]))
    elif abs(ends[0] - ends[1]) > 1:
        fail("page %d: %s ends at column %d, %s at %d"
             % (page, rows["edge"][0], ends[0], rows["edge"][1], ends[1]))


def check(screen, layout, dx, dy, skin, page, out):
    rects = read_layout(layout)
    for need in ("window", "client", "top-left", "title", "top-right", "menu", "right", "bottom",
                 "page-area"):
        if need not in rects:
            fail("layout lacks %s" % need)
            return
    wl, wt, wr, wb = rects["window"]
    shot = Image.open(screen).convert("RGB")
    crop = shot.crop((wl + dx, wt + dy, wr + dx, wb + dy))
    crop.save(out)

    def local(rect):  # desktop pixels -> the crop's
        return (rect[0] - wl, rect[1] - wt, rect[2] - wl, rect[3] - wt)

    cl, ct, cr, cb = local(rects["client"])
    W, H = cr - cl, cb - ct

    def size(name):
        r = rects[name]
        return r[2] - r[0], r[3] - r[1]

    w954, h954 = size("top-left")
    w955, h955 = size("title")
    w827, h827 = size("top-right")
    w952, h952 = size("menu")
    w957, h957 = size("right")
    w956, h956 = size("bottom")
    buttons = [local(r) for n, r in rects.items()
               if n in ("minimise", "maximise", "help", "about")]
    menu_buttons = [local(rects[n]) for n in ("menu-first", "menu-last") if n in rects]
    # Every left-bar button lies between the first and the last.
    if len(menu_buttons) == 2:
        f, l = menu_buttons
        menu_buttons = [(f[0], f[1], f[2], l[3])]

    pieces = [
        ("top-left corner", "MAIN_TOP_LEFT", "top_left.png", (0, 0, w952, h954)),
        ("title", "MAIN_TOP_TITLE", "top_title.png", (w952, 0, w952 + w955, h955)),
        ("top-right corner", "MAIN_TOP_RIGHT", "top_right.png", (W - w827, 0, W, h827)),
        ("menu bar", "MAIN_MENU", "menu.png", (0, h954, w952, h954 + h952)),
        ("right edge", "MAIN_RIGHT_CENTER", "right_center.png",
         (W - w957 - 1, h955, W, h955 + h957)),
        ("bottom-left corner", "MAIN_BOTTOM_LEFT", "bottom_left.png", (0, H - h956, w952, H)),
        ("bottom-right corner", "MAIN_BOTTOM_RIGHT", "bottom_right.png", (W - w956, H - h956, W, H)),
    ]
    for name, key, default, box in pieces:
        picture = skin_image(skin, key, default)
        if picture is None:
            fail("%s: the skin has no %s" % (name, default))
            continue
        box = (box[0] + cl, box[1] + ct, box[2] + cl, box[3] + ct)
        compare_piece(crop, name, box, picture, buttons + menu_buttons)

    # The margin between the left column and the page area is white.
    al, at, ar, ab = local(rects["page-area"])
    white, count = white_share(crop, (cl + w952 + 1, at, al - 1, ab), [])
    if count == 0 or white != count:
        fail("margin left of the page area: %d of %d pixels white" % (white, count))

    controls = [local(r) for n, r in rects.items() if n.startswith("control-")]
    if "page" in rects:
        box = local(rects["page"])
        white, count = white_share(crop, box, controls)
        share = white / count if count else 0
        least = 0.999 if page == 1 else 0.97
        if share < least:
            fail("page %d: %.1f%% of its free area white" % (page, 100 * share))
        if page == 1 and controls:
            fail("page 1 shows %d controls" % len(controls))
    else:
        fail("no page shown")
    if "page-title" in rects:
        tl, tt, tr, tb = local(rects["page-title"])
        px = crop.load()
        dark = sum(1 for y in range(tt, tb) for x in range(tl, tr) if sum(px[x, y][:3]) < 300)
        if dark < 20:
            fail("page %d: no text in its title (%d dark pixels)" % (page, dark))
    elif page in (0, 2, 6, 7, 9, 10):
        fail("page %d has no title" % page)
    check_field_rows(crop, rects, local, page)


def differ(a, b, layout):
    rects = read_layout(layout)
    wl, wt = rects["window"][:2]
    r = rects["title"]
    box = (r[0] - wl, r[1] - wt, r[2] - wl, r[3] - wt)
    ma = Image.open(a).convert("RGB").crop(box).resize((1, 1), Image.BOX).getpixel((0, 0))
    mb = Image.open(b).convert("RGB").crop(box).resize((1, 1), Image.BOX).getpixel((0, 0))
    if sum(abs(x - y) for x, y in zip(ma, mb)) < 60:
        fail("the two skins' title bands look alike: %s and %s" % (ma, mb))


def unlike(crop, layout, skin):
    rects = read_layout(layout)
    wl, wt = rects["window"][:2]
    r = rects["title"]
    box = (r[0] - wl, r[1] - wt, r[2] - wl, r[3] - wt)
    picture = skin_image(skin, "MAIN_TOP_TITLE", "top_title.png")
    if picture is None:
        fail("the skin %s has no title picture" % skin)
        return
    got = Image.open(crop).convert("RGB").crop(box).resize((1, 1), Image.BOX).getpixel((0, 0))
    other = picture.resize((1, 1), Image.BOX).getpixel((0, 0))
    if sum(abs(x - y) for x, y in zip(got, other)) < 60:
        fail("the title band %s looks like %s's %s" % (got, os.path.basename(skin), other))


def main():
    if len(sys.argv) >= 9 and sys.argv[1] == "check":
        check(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), sys.argv[6],
              int(sys.argv[7]), sys.argv[8])
    elif len(sys.argv) == 5 and sys.argv[1] == "differ":
        differ(sys.argv[2], sys.argv[3], sys.argv[4])
    elif len(sys.argv) == 5 and sys.argv[1] == "unlike":
        unlike(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        print(__doc__)
        return 2
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

"""Pixel check of the gallery's "tree" mode: the skin's frame, the folders
and files drawn with their text, and the placeholder's "Loading..."."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, manifest  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
image = Image(png)
rects = manifest(manifest_path)
check = Checker(os.path.basename(png))
if "tree" not in rects:
    check.expect(False, "manifest lacks tree")
    check.done()

left, top, right, bottom = rects["tree"]
WHITE = (255, 255, 255)


def dark(color):
    return sum(color) < 250


# Text and icons in the upper part, where the open levels lie; nothing drawn
# in the lower third, which the ten entries do not reach; the inside white.
rows = [y for y in range(top + 2, bottom - 2)
        if any(dark(image(x, y)) for x in range(left + 2, right - 2))]
check.expect(len(rows) >= 60, f"tree: only {len(rows)} rows hold text or lines")
check.expect(all(y < top + (bottom - top) * 2 // 3 for y in rows),
             "tree: something drawn in the empty lower third")
check.pixel(image, right - 10, bottom - 10, WHITE, "tree background")
# Ten visible entries of about 16 pixels: the lowest ink lies 140-200 below the top.
check.expect(rows and 140 <= rows[-1] - top <= 200,
             f"tree: the last entry ends {rows[-1] - top if rows else 0} pixels down")
check.done()

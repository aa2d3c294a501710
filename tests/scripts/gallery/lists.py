"""Pixel check of the gallery's "lists" mode against the skin's colours, and
a wheel turn over the main list moving its thumb."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, Skin, close, manifest, pointer, screenshot_when  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
image = Image(png)
rects = manifest(manifest_path)
skin = Skin(ini)
check = Checker(os.path.basename(png))

names = ["list-main", "list-expander", "list-empty"]
missing = [n for n in names if n not in rects]
if missing:
    check.expect(False, f"manifest lacks {missing}")
    check.done()

frame1 = skin.color("COLOR_FRAME_1", (168, 168, 168))
frame2 = skin.color("COLOR_FRAME_2", (223, 223, 223))
# The text of a row in state 0: COLORREF 0x2C0EA5.
RED_TEXT = (0xA5, 0x0E, 0x2C)

for name in names:
    left, top, right, bottom = rects[name]
    check.pixel(image, left, top, frame1, f"{name} outer frame")
    check.pixel(image, right - 1, bottom - 1, frame1, f"{name} outer frame")
    check.pixel(image, left + 1, top + 1, frame2, f"{name} inner frame")
    check.pixel(image, right - 2, bottom - 2, frame2, f"{name} inner frame")


def red_pixels(img, rect):
    left, top, right, bottom = rect
    return sum(1 for y in range(top + 2, bottom - 2) for x in range(left + 2, right - 20)
               if close(img(x, y), RED_TEXT, 40))


check.expect(red_pixels(image, rects["list-main"]) >= 30, "list-main: no red text of state-0 rows")
check.expect(red_pixels(image, rects["list-empty"]) == 0, "list-empty: red pixels in an empty list")

# The thumb lies in the scroll bar between right - 17 and right - 5: a wheel
# turn down over the list changes what that column shows.
left, top, right, bottom = rects["list-main"]
column = right - 11


def thumb_column(img):
    return [img(column, y) for y in range(top + 20, bottom - 20)]


before = thumb_column(image)
pointer((left + right) // 2, (top + bottom) // 2)
subprocess.run(["xdotool", "click", "5"], check=True)
after = screenshot_when(png.replace(".png", "-wheel.png"),
                        lambda shot: thumb_column(shot) != before)
check.expect(thumb_column(after) != before, "list-main: the wheel did not move the thumb")
check.done()

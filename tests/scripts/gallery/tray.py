"""Check of the gallery's "tray" mode: the animated icon shows in Wine's
notification area, and screenshots taken one after the other come to differ
inside it."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, manifest, screenshot, screenshot_when  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
rects = manifest(manifest_path)
check = Checker(os.path.basename(png))
if "tray" not in rects:
    check.expect(False, "manifest lacks the tray")
    check.done()
left, top, right, bottom = rects["tray"]
check.expect(right - left > 0 and bottom - top > 0, f"an empty tray rectangle {rects['tray']}")

# The four frames' fills (tests/tools/gallery/tray.cpp).
frames = [(230, 60, 40), (40, 170, 70), (240, 190, 30), (150, 60, 190)]


def inside(img):
    return [img(x, y) for y in range(max(top, 0), min(bottom, img.height))
            for x in range(max(left, 0), min(right, img.width))]


def frames_shown(pixels):
    return {i for i, colour in enumerate(frames) if colour in pixels}


first = png.replace(".png", "-1.png")
second = png.replace(".png", "-2.png")
# The frames change every 100 ms; a screenshot is not instantaneous, and on
# a loaded machine Wine's tray may repaint late, so screenshots are taken
# until one differs from the first.
one = inside(screenshot(first))
two = inside(screenshot_when(second, lambda shot: inside(shot) != one))
check.expect(frames_shown(one) or frames_shown(two), "no animation frame inside the tray")
check.expect(one != two, "the tray looked the same in every screenshot 250 ms apart for 15 s")
check.done()

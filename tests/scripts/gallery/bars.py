"""Pixel check of the gallery's "bars" mode against the skin's colours."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, Skin, close, manifest  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
image = Image(png)
rects = manifest(manifest_path)
skin = Skin(ini)
check = Checker(os.path.basename(png))
WHITE = (255, 255, 255)

names = ["bar-plain", "bar-gradient", "bar-icon", "bar-path", "bar-vertical",
         "progress-0", "progress-50", "progress-max"]
missing = [n for n in names if n not in rects]
if missing:
    check.expect(False, f"manifest lacks {missing}")
    check.done()

frame1 = skin.color("COLOR_FRAME_1", (168, 168, 168))
frame2 = skin.color("COLOR_FRAME_2", (223, 223, 223))
fill = skin.color("COLOR_FRAME_3", (255, 173, 27))
shield_off = skin.color("COLOR_SHIELD_OFF", (255, 0, 0))


def dark(color):
    return sum(color) < 200


def ink(rect):
    left, top, right, bottom = rect
    return [(x, y) for y in range(top, bottom) for x in range(left, right) if dark(image(x, y))]


# Progress bars: the outer frame, the inner frame, and the bar from x 3 for
# 198 × position / 100 pixels, 2 rows in from the inner frame.
for name, position in (("progress-0", 0), ("progress-50", 50), ("progress-max", 100)):
    left, top, right, bottom = rects[name]
    check.expect((right - left, bottom - top) == (204, 20), f"{name}: not 204 x 20")
    for x, y in ((left, top), (right - 1, bottom - 1), (left + 100, top), (left, top + 10)):
        check.pixel(image, x, y, frame1, f"{name} outer frame")
    for x, y in ((left + 1, top + 1), (right - 2, bottom - 2), (left + 100, bottom - 2)):
        check.pixel(image, x, y, frame2, f"{name} inner frame")
    end = 3 + 198 * position // 100
    middle = (top + bottom) // 2
    wrong = [(x, y) for x in range(left + 3, left + end) for y in (top + 3, middle, bottom - 4)
             if not close(image(x, y), fill)]
    if wrong:
        check.pixel(image, *wrong[0], fill, f"{name} fill ({len(wrong)} pixels wrong)")
    check.expect(not close(image(left + end, middle), fill), f"{name}: fill beyond x {end - 1}")
    check.expect(not close(image(left + 50, top + 2), fill), f"{name}: fill above the bar")
    check.expect(not close(image(left + 50, bottom - 3), fill), f"{name}: fill below the bar")

# The plain field: both frames, white inside, black text.
left, top, right, bottom = rects["bar-plain"]
check.pixel(image, left, top, frame1, "bar-plain outer frame")
check.pixel(image, right - 1, bottom - 1, frame1, "bar-plain outer frame")
check.pixel(image, left + 1, top + 1, frame2, "bar-plain inner frame")
check.pixel(image, right - 3, bottom - 3, WHITE, "bar-plain background")
check.expect(len(ink(rects["bar-plain"])) >= 20, "bar-plain: no text")

# The gradient: no frame, white at the left edge, COLOR_SHIELD_OFF at the right.
left, top, right, bottom = rects["bar-gradient"]
step = 255 // (right - left) + 2
check.pixel(image, left, top, WHITE, "bar-gradient left edge (no frame)", step)
check.pixel(image, left, bottom - 1, WHITE, "bar-gradient left edge", step)
check.pixel(image, right - 1, top, shield_off, "bar-gradient right edge (no frame)", step)
check.pixel(image, right - 1, (top + bottom) // 2, shield_off, "bar-gradient right edge", step)

# The icon at the right end: x = right - 18, 16 × 16, centred vertically;
# the text stays left of it.
left, top, right, bottom = rects["bar-icon"]
icon = (right - 18, top + (bottom - top) // 2 - 8, right - 2, top + (bottom - top) // 2 + 8)
coloured = [1 for y in range(icon[1], icon[3]) for x in range(icon[0], icon[2])
            if image(x, y) != WHITE]
check.expect(len(coloured) >= 40, "bar-icon: no icon at the right end")
check.expect(len(ink((left + 4, top + 2, right - 22, bottom - 2))) >= 20, "bar-icon: no text")

# The path: shortened within the field, nothing drawn over the frame.
left, top, right, bottom = rects["bar-path"]
check.expect(len(ink((left + 2, top + 2, right - 2, bottom - 2))) >= 40, "bar-path: no text")
check.pixel(image, right - 1, (top + bottom) // 2, frame1, "bar-path right frame")
check.pixel(image, right - 2, (top + bottom) // 2, frame2, "bar-path right frame")

# The vertical field: its text runs up, so it is taller than wide.
left, top, right, bottom = rects["bar-vertical"]
points = ink((left + 2, top + 2, right - 2, bottom - 2))
if check.expect(len(points) >= 20, "bar-vertical: no text"):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    check.expect(max(ys) - min(ys) > 2 * (max(xs) - min(xs)),
                 f"bar-vertical: the text is not upright ({max(xs) - min(xs) + 1} wide, "
                 f"{max(ys) - min(ys) + 1} high)")
    check.expect(max(ys) >= bottom - 12, "bar-vertical: the text does not start at the bottom")
check.done()

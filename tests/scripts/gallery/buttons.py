"""Pixel check of the gallery's "buttons" mode against the skin's colours."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, Skin, close, manifest, pointer, screenshot_when  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
image = Image(png)
rects = manifest(manifest_path)
skin = Skin(ini)
check = Checker(os.path.basename(png))
WHITE = (255, 255, 255)


def left_band(img, name, dx=0, dy=0):
    """Columns 2..7 of a button, rows 3 to 4 above the bottom: no text there."""
    left, top, right, bottom = rects[name]
    return [img(x + dx, y + dy) for y in range(top + 3, bottom - 4) for x in range(left + 2, left + 8)]


def count_near(img, rect, color, tolerance):
    left, top, right, bottom = rect
    return sum(1 for y in range(top, bottom) for x in range(left, right)
               if close(img(x, y), color, tolerance))


missing = [n for n in ["button-normal", "button-hot", "button-pressed", "button-disabled",
                       "button-checked-disabled", "button-nopicture", "check-0", "check-1",
                       "check-2", "check-3", "static", "gradient", "group"] if n not in rects]
if missing:
    check.expect(False, f"manifest lacks {missing}")
    check.done()

# Buttons: normal and disabled show the first third, hot the second, pressed
# and checked-disabled the third (pressed moved a pixel without visual styles).
normal = left_band(image, "button-normal")
check.expect(normal == left_band(image, "button-disabled"),
             "the normal and the disabled button show different pictures")
check.expect(normal != left_band(image, "button-hot"), "the hot button shows the normal picture")
third = left_band(image, "button-checked-disabled")
check.expect(third != normal, "the checked disabled button shows the normal picture")
check.expect(third in (left_band(image, "button-pressed"), left_band(image, "button-pressed", 1, 1)),
             "the pressed button does not show the picture of the checked one")
text = skin.color("BUTTON_DEFAULT", (255, 255, 255))
check.expect(count_near(image, rects["button-normal"], text, 24) >= 10,
             f"no text in BUTTON_DEFAULT {text} on the normal button")
nopicture = rects["button-nopicture"]
check.expect(count_near(image, nopicture, text, 24) >= 10,
             f"no text in BUTTON_DEFAULT {text} on the button without a picture")
check.pixel(image, nopicture[0] + 1, nopicture[1] + 1, (52, 62, 82),
            "the button without a picture draws no picture")

# The pointer over the real normal button turns it hot, and away again.
def shows_hot(img):
    return (left_band(img, "button-normal") == left_band(img, "button-hot") and
            left_band(img, "button-normal") != left_band(img, "button-disabled"))


def shows_normal(img):
    return (left_band(img, "button-normal") == left_band(img, "button-disabled") and
            left_band(img, "button-normal") != left_band(img, "button-hot"))


left, top, right, bottom = rects["button-normal"]
pointer((left + right) // 2, (top + bottom) // 2)
check.expect(shows_hot(screenshot_when(png.replace(".png", "-hover.png"), shows_hot)),
             "the button under the pointer does not show its hot picture")
# Away onto the dialog's empty page: Wine's capture grabs no X pointer, so a
# pointer that leaves for the bare X root is never reported to the button.
pointer(rects["static"][0] + 4, rects["static"][3] + 40)
check.expect(shows_normal(screenshot_when(png.replace(".png", "-left.png"), shows_normal)),
             "the button the pointer left does not show its normal picture again")

# Check boxes: image i of the skin's check picture, white being transparent
# over the white page.
picture_path = os.path.join(os.path.dirname(ini), skin.image("CHECK_BUTTON", "check_button.png"))
if check.expect(os.path.exists(picture_path), f"no {picture_path}"):
    picture = Image(picture_path)
    for i in range(4):
        left, top, _, _ = rects[f"check-{i}"]
        wrong = sum(1 for y in range(22) for x in range(22)
                    if not close(image(left + x, top + y), picture(22 * i + x, y), 3))
        check.expect(wrong <= 10, f"check-{i}: {wrong} of 484 pixels differ from image {i}")
for i in range(4):
    left, top, right, bottom = rects[f"check-{i}"]
    darkest = min(sum(image(x, y)) for y in range(top, bottom) for x in range(left + 25, right))
    if i in (0, 2):
        check.expect(darkest < 150, f"check-{i}: no dark text")
    else:
        check.expect(150 <= darkest < 700, f"check-{i}: the text is not grey")

# The label: dark text on white.
left, top, right, bottom = rects["static"]
check.pixel(image, right - 2, bottom - 2, WHITE, "static background")
check.expect(count_near(image, (left, top, right, top + 18), (0, 0, 0), 80) >= 10, "static: no text")

# The heading: text above row 25, the band in rows 27-29 from GRADIENT_LEFT to
# GRADIENT_RIGHT.
left, top, right, bottom = rects["gradient"]
gradient_left = skin.color("GRADIENT_LEFT", (232, 237, 242))
gradient_right = skin.color("GRADIENT_RIGHT", (255, 255, 255))
for row in (bottom - 3, bottom - 1):
    check.pixel(image, left, row, gradient_left, "gradient band, left end", 3)
    check.pixel(image, right - 1, row, gradient_right, "gradient band, right end", 3)
check.expect(all(image(x, bottom - 4) == WHITE for x in range(left, right)),
             "gradient: row 26 is not background")
check.expect(count_near(image, (left, top, right, top + 25), (0, 0, 0), 80) >= 10,
             "gradient: no text above row 25")

# The group: COLOR_FRAME_2 outside, COLOR_FRAME_1 one pixel in, the page inside.
left, top, right, bottom = rects["group"]
outer = skin.color("COLOR_FRAME_2", (223, 223, 223))
inner = skin.color("COLOR_FRAME_1", (168, 168, 168))
middle_x = (left + right) // 2
check.pixel(image, left, top, outer, "group outer corner")
check.pixel(image, right - 1, bottom - 1, outer, "group outer corner")
check.pixel(image, middle_x, bottom - 1, outer, "group outer ring")
check.pixel(image, left + 1, top + 1, inner, "group inner corner")
check.pixel(image, middle_x, bottom - 2, inner, "group inner ring")
check.pixel(image, left + 3, bottom - 4, WHITE, "group interior")
check.done()

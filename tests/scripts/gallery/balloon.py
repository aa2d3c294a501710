"""Pixel check of the gallery's "balloon" mode against the skin's colours."""
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
BACKDROP = (120, 130, 140)
TAIL = 20

quadrants = {"balloon-q0": 0, "balloon-q1": 1, "balloon-q2": 2, "balloon-q3": 3,
             "balloon-close": 1, "balloon-formatted": 0}
missing = [n for n in list(quadrants) + ["balloon-formatted-red"] if n not in rects]
missing += [f"anchor-{n}" for n in quadrants if f"anchor-{n}" not in rects]
if missing:
    check.expect(False, f"manifest lacks {missing}")
    check.done()

background = skin.color("COLOR_BALLOON", (255, 255, 255))


def shape(quadrant, width, height):
    """The tail's tip and a point well inside the tail, in window pixels."""
    quarter = (width - TAIL) // 4
    clamp = lambda x: min(max(x, 8), width - 8)  # noqa: E731
    if quadrant in (0, 2):
        tip_x, inside_x = clamp(quarter * 3 + TAIL), clamp(quarter * 3 + TAIL) - 4
    else:
        tip_x, inside_x = clamp(quarter), clamp(quarter) + 4
    if quadrant in (0, 1):
        return (tip_x, 1), (inside_x, 16)
    return (tip_x, height - 2), (inside_x, height - 17)


for name, quadrant in quadrants.items():
    left, top, right, bottom = rects[name]
    width, height = right - left, bottom - top
    (tip_x, tip_y), (in_x, in_y) = shape(quadrant, width, height)
    anchor = rects[f"anchor-{name}"]
    anchor_point = ((anchor[0] + anchor[2]) // 2, (anchor[1] + anchor[3]) // 2)
    check.expect((left + tip_x, top + tip_y) == anchor_point,
                 f"{name}: the tip is at {(left + tip_x, top + tip_y)}, the anchor at {anchor_point}")
    body_top, body_bottom = (top + TAIL, bottom) if quadrant in (0, 1) else (top, bottom - TAIL)
    middle = (body_top + body_bottom) // 2
    check.pixel(image, left + 3, middle, background, f"{name} body margin")
    check.pixel(image, right - 4, middle, background, f"{name} body margin")
    check.pixel(image, left + in_x, top + in_y, background, f"{name} inside the tail")
    # The region: the body's corners are round, and beside the tail the
    # dialog shows through.
    check.pixel(image, left, body_top, BACKDROP, f"{name} rounded corner")
    check.pixel(image, right - 1, body_bottom - 1, BACKDROP, f"{name} rounded corner")
    band_y = top + TAIL // 2 if quadrant in (0, 1) else bottom - TAIL // 2
    check.pixel(image, left + width // 2, band_y, BACKDROP, f"{name} beside the tail")
    # The body reaches the window's left edge, where the outline lies (in
    # the system's colour 0, which Wine makes white).
    edge = image(left, middle)
    check.expect(not close(edge, BACKDROP, 8), f"{name}: the body does not reach x {left}")
    # Some dark text.
    dark = sum(1 for y in range(body_top + 8, body_bottom - 8) for x in range(left + 8, right - 8)
               if sum(image(x, y)) < 200)
    check.expect(dark >= 30, f"{name}: no text")

# The red word: red pixels only inside its rectangle (one pixel of room).
left, top, right, bottom = rects["balloon-formatted"]
word = rects["balloon-formatted-red"]
inside = outside = 0
for y in range(top, bottom):
    for x in range(left, right):
        r, g, b = image(x, y)
        if r >= 200 and g <= 60 and b <= 60:
            if word[0] - 1 <= x <= word[2] and word[1] - 1 <= y <= word[3]:
                inside += 1
            else:
                outside += 1
check.expect(inside >= 10, f"balloon-formatted: only {inside} red pixels in the word")
check.expect(outside == 0, f"balloon-formatted: {outside} red pixels outside the word")

# The close button, top right of the client area (8 pixels in, below the
# tail): something drawn there, and a click on it closes the balloon.
left, top, right, bottom = rects["balloon-close"]
client_right, client_top = right - 8, top + TAIL + 8
button = [image(x, y) for y in range(client_top, client_top + 12)
          for x in range(client_right - 12, client_right)]
check.expect(any(not close(c, background, 24) for c in button),
             "balloon-close: no close button at the top right")
pointer(client_right - 6, client_top + 6)
subprocess.run(["xdotool", "click", "1"], check=True)
middle = (top + TAIL + bottom) // 2
after = screenshot_when(png.replace(".png", "-closed.png"),
                        lambda shot: close(shot(left + 3, middle), BACKDROP))
check.pixel(after, left + 3, middle, BACKDROP, "balloon-close after a click on its button")
check.pixel(after, rects["balloon-q1"][0] + 3, (rects["balloon-q1"][1] + TAIL + rects["balloon-q1"][3]) // 2,
            background, "balloon-q1 after the other balloon closed")
pointer(1279, 799)
check.done()

"""Pixel check of the gallery's "edits" mode against the skin's frame colours."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, Skin, manifest, pointer, screenshot  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
image = Image(png)
rects = manifest(manifest_path)
skin = Skin(ini)
check = Checker(os.path.basename(png))
frame1 = skin.color("COLOR_FRAME_1", (168, 168, 168))
frame2 = skin.color("COLOR_FRAME_2", (223, 223, 223))
frame3 = skin.color("COLOR_FRAME_3", (255, 173, 27))

names = ["combo-idle", "combo-focused", "combo-disabled", "edit-idle", "edit-focused",
         "edit-disabled"]
missing = [n for n in names if n not in rects]
if missing:
    check.expect(False, f"manifest lacks {missing}")
    check.done()


def combo_rings(img, name, outer, inner, state):
    """The outer and the inner ring on the left edge and along the top, clear
    of the drop-down button."""
    left, top, right, bottom = rects[name]
    middle = (top + bottom) // 2
    check.pixel(img, left, middle, outer, f"{name} {state}: outer ring, left")
    check.pixel(img, left + 20, top, outer, f"{name} {state}: outer ring, top")
    check.pixel(img, left + 1, middle, inner, f"{name} {state}: inner ring, left")
    check.pixel(img, left + 20, bottom - 2, inner, f"{name} {state}: inner ring, bottom")


def edit_ring(img, name, color, state):
    left, top, right, bottom = rects[name]
    middle = (top + bottom) // 2
    check.pixel(img, left, middle, color, f"{name} {state}: ring, left")
    check.pixel(img, right - 1, middle, color, f"{name} {state}: ring, right")
    check.pixel(img, left + 20, top, color, f"{name} {state}: ring, top")
    check.pixel(img, left + 20, bottom - 1, color, f"{name} {state}: ring, bottom")


combo_rings(image, "combo-idle", frame1, frame2, "at rest")
combo_rings(image, "combo-focused", frame3, frame3, "with the focus")
combo_rings(image, "combo-disabled", frame1, frame2, "disabled")
edit_ring(image, "edit-idle", frame1, "at rest")
edit_ring(image, "edit-focused", frame3, "with the focus")
edit_ring(image, "edit-disabled", frame1, "disabled")

# The mouse over the idle combo's drop-down button lights it; over its edit
# field it stays lit; leaving the edit field is noticed by the 50 ms poll
# alone (no mouse-leave reaches the combo from there).
left, top, right, bottom = rects["combo-idle"]
middle = (top + bottom) // 2
pointer(right - 6, middle)
combo_rings(screenshot(png.replace(".png", "-hot.png")), "combo-idle", frame3, frame3,
            "under the pointer")
pointer(left + 30, middle)
combo_rings(screenshot(png.replace(".png", "-hot-edit.png")), "combo-idle", frame3, frame3,
            "with the pointer on its edit field")
edit_left, edit_top, _, edit_bottom = rects["edit-idle"]
# Below the combo on the empty page, above the edits.
pointer(left + 30, (bottom + edit_top) // 2, settle=0)
moved = time.monotonic()
time.sleep(0.15)
left_image = screenshot(png.replace(".png", "-left.png"))
check.expect(time.monotonic() - moved < 2.0, "the screenshot took too long to tell")
combo_rings(left_image, "combo-idle", frame1, frame2, "150 ms after the pointer left")
check.done()

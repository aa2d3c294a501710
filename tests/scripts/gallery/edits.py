"""Pixel check of the gallery's "edits" mode against the skin's frame colours."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, Skin, manifest, pointer, screenshot_when  # noqa: E402

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
# field it stays lit; leaving the edit field is noticed by the poll alone (no
# mouse-leave reaches the combo from there), so without the poll the frame
# would stay lit for ever. The poll's 50 ms period is pinned by the headless
# test (SkinComboBoxTest.TheMouseOverTheEditFieldIsPolled); here the frame
# must be at rest in the first screenshot from 150 ms after leaving, or,
# on a machine too busy for that, within 2 s.
left, top, right, bottom = rects["combo-idle"]
middle = (top + bottom) // 2
edit_top = rects["edit-idle"][1]


def lit_ring(img):
    return img(left, middle) == frame3 and img(left + 1, middle) == frame3


def rest_ring(img):
    return img(left, middle) == frame1 and img(left + 1, middle) == frame2


pointer(right - 6, middle)
lit = screenshot_when(png.replace(".png", "-hot.png"), lit_ring)
combo_rings(lit, "combo-idle", frame3, frame3, "under the pointer")
pointer(left + 30, middle)
lit_edit = screenshot_when(png.replace(".png", "-hot-edit.png"), lit_ring)
combo_rings(lit_edit, "combo-idle", frame3, frame3, "with the pointer on its edit field")
# Below the combo on the empty page, above the edits.
pointer(left + 30, (bottom + edit_top) // 2)
at_rest = screenshot_when(png.replace(".png", "-left.png"), rest_ring)
combo_rings(at_rest, "combo-idle", frame1, frame2, "after the pointer left its edit field")
check.done()

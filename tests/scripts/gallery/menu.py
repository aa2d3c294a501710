"""Pixel check of the gallery's "menu" mode: the skinned popup's icon column,
text area and selection bar against the skin's tray colours."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gallerycheck import Checker, Image, Skin, manifest, pointer, screenshot_when  # noqa: E402

png, manifest_path, ini = sys.argv[1:4]
image = Image(png)
rects = manifest(manifest_path)
skin = Skin(ini)
check = Checker(os.path.basename(png))
selection = skin.color("COLOR_TRAY_SELECTION", (255, 173, 27))
bar = skin.color("COLOR_TRAY_VERTICAL_BAR", (0, 0, 0))
border = skin.color("COLOR_TRAY_BORDER", (0, 0, 0))
text_back = skin.color("COLOR_TRAY_TEXT_BACK", (255, 255, 255))

names = ["menu", "menu-item-0", "menu-item-disabled", "menu-item-checked", "menu-item-radio",
         "menu-item-separator", "menu-item-close"]
missing = [n for n in names if n not in rects]
if missing:
    check.expect(False, f"manifest lacks {missing}")
    check.done()


# Wine 8 lays the items out wider than the popup that the menu's margins
# shrank (and paints a frame of its own inside): an item's right end is
# clipped by the popup's two border rings.
menu_right = rects["menu"][2]


def item(name):
    left, top, right, bottom = rects[name]
    return left, top, min(right, menu_right - 2), bottom


def plain_on(checker, img, name, state):
    """An item at rest: the icon column (its right edge, clear of any icon)
    and the text area's right end."""
    left, top, right, bottom = item(name)
    middle = (top + bottom) // 2
    checker.pixel(img, left + 22, top + 1, bar, f"{name} {state}: icon column")
    checker.pixel(img, right - 3, middle, text_back, f"{name} {state}: text area")


def selected_on(checker, img, name, state):
    left, top, right, bottom = item(name)
    middle = (top + bottom) // 2
    checker.pixel(img, left, top, selection, f"{name} {state}: bar's frame")
    checker.pixel(img, left + 22, top + 1, selection, f"{name} {state}: bar over the icon column")
    checker.pixel(img, right - 3, middle, selection, f"{name} {state}: bar over the text area")


for name in ["menu-item-0", "menu-item-disabled", "menu-item-checked", "menu-item-close"]:
    plain_on(check, image, name, "at rest")
# The separator: one line in the border colour at mid height, 8 pixels into
# the text area.
left, top, right, bottom = item("menu-item-separator")
middle = (top + bottom) // 2
check.pixel(image, left + 24 + 8, middle, border, "separator line")
check.pixel(image, right - 2, middle, border, "separator line, right end")
check.pixel(image, right - 2, top, text_back, "above the separator line")



def after_pointer(x, y, path, checks):
    """Moves the pointer, then takes screenshots until the checks pass (the
    menu redraws in its own time on a busy machine); the last one is checked
    for the record."""
    def passes(shot):
        probe = Checker("")
        for check_one in checks:
            check_one(probe, shot)
        return not probe.failures

    pointer(x, y)
    shot = screenshot_when(path, passes)
    for check_one in checks:
        check_one(check, shot)


def is_selected(name, state):
    return lambda c, img: selected_on(c, img, name, state)


def is_plain(name, state):
    return lambda c, img: plain_on(c, img, name, state)


# The pointer on the first item selects it; on the disabled item nothing is
# lit (the mouse never highlights a disabled item).
left, top, right, bottom = rects["menu-item-0"]
after_pointer((left + right) // 2, (top + bottom) // 2, png.replace(".png", "-item-0.png"),
              [is_selected("menu-item-0", "under the pointer"),
               is_plain("menu-item-disabled", "with the pointer elsewhere")])
left, top, right, bottom = rects["menu-item-disabled"]
after_pointer((left + right) // 2, (top + bottom) // 2, png.replace(".png", "-item-disabled.png"),
              [is_plain("menu-item-disabled", "under the pointer"),
               is_plain("menu-item-0", "after the pointer left")])
check.done()

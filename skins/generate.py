#!/usr/bin/env python3
"""Draws the data shipped beside the programs: the six skins, the icons and
bitmaps that the resource scripts include, and the end-of-run sound.

    generate.py BINARY_DIR          writes everything under BINARY_DIR
    generate.py --list BINARY_DIR   prints the paths it would write

Written under BINARY_DIR:
    Skins/<Name>/default.ini and every picture it names (six skins)
    resources/icon_<id>.ico, resources/bitmap_<id>.bmp
    warning.wav

Every picture comes from one palette per skin, drawn here with PIL: flat
surfaces, soft vertical gradients, one-pixel borders, small radii. PNGs are
8-bit RGB without alpha, not interlaced and without time chunks, so every run
writes the same bytes. Magenta (255, 0, 255) is the skin loader's
transparency key and never appears; the check and tree pictures are masked
with white, which appears only where they are transparent.
"""

import math
import os
import struct
import sys
import wave

SKIN_NAMES = ["Default", "Redrose", "Deepsea", "Alienspace", "Metalbrown", "Royalpurple"]

# Icon ids of Brindlewox.exe and of BrindlewoxSkin.exe, bitmap ids of the latter.
PROGRAM_ICONS = [102, 172, 173, 174, 175, 176, 177, 178, 179, 180, 181, 182, 183, 184, 185,
                 406, 407, 408, 409, 1000, 1001]
CHOOSER_ICONS = [103]
CHOOSER_BITMAPS = [105, 106, 107, 108, 109, 110, 111]

# [Image] keys and their files (several keys share button_menu.png).
IMAGE_KEYS = [
    ("SCROLLBAR_TREE", "scrollbar_tree.png"),
    ("SCROLLBAR_DOWN", "scrollbar_down.png"),
    ("SCROLLBAR_UP", "scrollbar_up.png"),
    ("SCROLLBAR_BACK", "scrollbar_back.png"),
    ("SCROLLBAR_SLIDER1", "scrollbar_slider1.png"),
    ("SCROLLBAR_SLIDER2", "scrollbar_slider2.png"),
    ("SCROLLBAR_SLIDER3", "scrollbar_slider3.png"),
    ("CHECK_BUTTON", "check_button.png"),
    ("CHECK_BUTTON_LIST", "check_button_list.png"),
    ("BUTTON_DIALOG", "button_dialog.png"),
    ("DIALOG", "dialog.png"),
    ("MAIN_TOP_TITLE", "top_title.png"),
    ("MAIN_TOP", "top.png"),
    ("MAIN_TOP_RIGHT", "top_right.png"),
    ("MAIN_MENU", "menu.png"),
    ("MAIN_TOP_LEFT", "top_left.png"),
    ("MAIN_LEFT", "left.png"),
    ("MAIN_RIGHT", "right.png"),
    ("MAIN_RIGHT_CENTER", "right_center.png"),
    ("MAIN_BOTTOM_LEFT", "bottom_left.png"),
    ("MAIN_BOTTOM", "bottom.png"),
    ("MAIN_BOTTOM_RIGHT", "bottom_right.png"),
    ("BUTTON_MEDIUM", "button_medium.png"),
    ("BUTTON", "button.png"),
    ("BUTTON_LARGE", "button_large.png"),
    ("BUTTON_MENU_BACKUP", "button_menu.png"),
    ("BUTTON_MENU_RESTORE", "button_menu.png"),
    ("BUTTON_MENU_OPTIONS", "button_menu.png"),
    ("BUTTON_MENU_STARTUP", "button_menu.png"),
    ("BUTTON_MENU_UNINSTALL", "button_menu.png"),
    ("BUTTON_MENU_ABOUT", "button_menu.png"),
    ("BUTTON_MENU_SUPPORT", "button_menu.png"),
    ("BUTTON_MENU_OPTIMIZE", "button_menu.png"),
    ("BUTTON_MIN", "button_min.png"),
    ("BUTTON_MAX", "button_max.png"),
    ("BUTTON_HELP", "button_help.png"),
    ("BUTTON_ABOUT", "button_about.png"),
]

COLOUR_NAMES = ["GRADIENT_LEFT", "GRADIENT_RIGHT", "COLOR_FRAME_1", "COLOR_FRAME_2",
                "COLOR_FRAME_3", "COLOR_BALLOON", "BUTTON_DEFAULT", "BUTTON_ACTIVE", "BUTTON_DOWN",
                "BUTTON_MENU_DEFAULT", "BUTTON_MENU_ACTIVE", "BUTTON_MENU_DOWN",
                "COLOR_TRAY_SELECTION", "COLOR_TRAY_VERTICAL_BAR", "COLOR_TRAY_BORDER",
                "COLOR_TRAY_TEXT", "COLOR_TRAY_TEXT_BACK", "COLOR_SHIELD_ON", "COLOR_SHIELD_OFF"]

# The readers' own defaults (the gradient static's for the two gradient
# colours): the Default skin's colours.
READER_DEFAULTS = {
    "GRADIENT_LEFT": (232, 237, 242), "GRADIENT_RIGHT": (255, 255, 255),
    "COLOR_FRAME_1": (168, 168, 168), "COLOR_FRAME_2": (223, 223, 223),
    "COLOR_FRAME_3": (255, 173, 27), "COLOR_BALLOON": (255, 255, 255),
    "BUTTON_DEFAULT": (255, 255, 255), "BUTTON_ACTIVE": (255, 255, 255),
    "BUTTON_DOWN": (255, 255, 255), "BUTTON_MENU_DEFAULT": (255, 255, 255),
    "BUTTON_MENU_ACTIVE": (255, 255, 255), "BUTTON_MENU_DOWN": (255, 255, 255),
    "COLOR_TRAY_SELECTION": (255, 173, 27), "COLOR_TRAY_VERTICAL_BAR": (0, 0, 0),
    "COLOR_TRAY_BORDER": (0, 0, 0), "COLOR_TRAY_TEXT": (0, 0, 0),
    "COLOR_TRAY_TEXT_BACK": (255, 255, 255), "COLOR_SHIELD_ON": (255, 173, 27),
    "COLOR_SHIELD_OFF": (255, 0, 0),
}

# One palette per skin: the dark surface under white text (title band, left
# bar, buttons), a second hue the title band runs into, the light tint of
# pages and dialogs, and the accent (selection, progress, hot frames).
PALETTES = {
    "Default": dict(dark=(58, 84, 122), second=(84, 112, 150), light=(232, 237, 242),
                    accent=(255, 173, 27)),
    "Redrose": dict(dark=(112, 24, 48), second=(168, 52, 84), light=(248, 234, 238),
                    accent=(236, 112, 150)),
    "Deepsea": dict(dark=(16, 48, 84), second=(18, 102, 116), light=(226, 240, 243),
                    accent=(58, 196, 214)),
    "Alienspace": dict(dark=(26, 34, 28), second=(48, 66, 52), light=(230, 238, 230),
                       accent=(150, 214, 36)),
    "Metalbrown": dict(dark=(84, 58, 38), second=(138, 102, 66), light=(240, 233, 224),
                       accent=(200, 118, 58)),
    "Royalpurple": dict(dark=(66, 32, 104), second=(104, 62, 150), light=(238, 232, 246),
                        accent=(226, 178, 38)),
}

WHITE = (255, 255, 255)
MAGENTA = (255, 0, 255)
SCALE = 4  # shapes are drawn this many times larger, then averaged down


# --- colour arithmetic -----------------------------------------------------------

def mix(a, b, t):
    """a moved towards b by t (0..1)."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def lighter(c, t):
    return mix(c, WHITE, t)


def darker(c, t):
    return mix(c, (0, 0, 0), t)


def skin_colours(name):
    """The 19 [Color] entries of a skin."""
    if name == "Default":
        return dict(READER_DEFAULTS)
    p = PALETTES[name]
    dark, light, accent = p["dark"], p["light"], p["accent"]
    return {
        "GRADIENT_LEFT": light, "GRADIENT_RIGHT": WHITE,
        "COLOR_FRAME_1": mix(dark, (168, 168, 168), 0.55),
        "COLOR_FRAME_2": mix(light, (223, 223, 223), 0.4),
        "COLOR_FRAME_3": accent, "COLOR_BALLOON": lighter(light, 0.6),
        "BUTTON_DEFAULT": WHITE, "BUTTON_ACTIVE": WHITE, "BUTTON_DOWN": lighter(light, 0.3),
        "BUTTON_MENU_DEFAULT": lighter(light, 0.2), "BUTTON_MENU_ACTIVE": WHITE,
        "BUTTON_MENU_DOWN": WHITE,
        "COLOR_TRAY_SELECTION": lighter(accent, 0.35), "COLOR_TRAY_VERTICAL_BAR": dark,
        "COLOR_TRAY_BORDER": darker(dark, 0.3), "COLOR_TRAY_TEXT": (0, 0, 0),
        "COLOR_TRAY_TEXT_BACK": WHITE, "COLOR_SHIELD_ON": accent,
        "COLOR_SHIELD_OFF": (214, 38, 38),
    }


# --- drawing helpers -----------------------------------------------------------------

def _pil():
    from PIL import Image, ImageDraw
    return Image, ImageDraw


def new(w, h, colour=WHITE):
    Image, _ = _pil()
    return Image.new("RGB", (w, h), colour)


def vgradient(w, h, top, bottom):
    """A picture whose rows run from top to bottom colour."""
    img = new(w, h)
    px = img.load()
    for y in range(h):
        c = mix(top, bottom, y / max(h - 1, 1))
        for x in range(w):
            px[x, y] = c
    return img


def hprofile(w, h, colours):
    """Columns coloured from a list of w colours (constant down the rows)."""
    img = new(w, h)
    px = img.load()
    for x in range(w):
        for y in range(h):
            px[x, y] = colours[x]
    return img


class Big:
    """A canvas SCALE times larger, averaged down to w x h when done."""

    def __init__(self, w, h, ground=WHITE):
        Image, ImageDraw = _pil()
        self.w, self.h = w, h
        self.img = Image.new("RGB", (w * SCALE, h * SCALE), ground)
        self.draw = ImageDraw.Draw(self.img)

    def s(self, *v):
        return [round(x * SCALE) for x in v]

    def rect(self, x0, y0, x1, y1, fill=None, outline=None, width=1, radius=0):
        box = self.s(x0, y0, x1, y1)
        box[2] -= 1
        box[3] -= 1
        if radius:
            self.draw.rounded_rectangle(box, radius * SCALE, fill=fill, outline=outline,
                                        width=width * SCALE)
        else:
            self.draw.rectangle(box, fill=fill, outline=outline, width=width * SCALE)

    def ellipse(self, x0, y0, x1, y1, fill=None, outline=None, width=1):
        box = self.s(x0, y0, x1, y1)
        box[2] -= 1
        box[3] -= 1
        self.draw.ellipse(box, fill=fill, outline=outline, width=width * SCALE)

    def line(self, points, fill, width=1.0):
        pts = [tuple(self.s(x, y)) for x, y in points]
        self.draw.line(pts, fill=fill, width=max(1, round(width * SCALE)), joint="curve")

    def polygon(self, points, fill):
        self.draw.polygon([tuple(self.s(x, y)) for x, y in points], fill=fill)

    def arc(self, x0, y0, x1, y1, start, end, fill, width=1.0):
        box = self.s(x0, y0, x1, y1)
        self.draw.arc(box, start, end, fill=fill, width=max(1, round(width * SCALE)))

    def paste_gradient(self, x0, y0, x1, y1, top, bottom, radius=0):
        """A vertical gradient clipped to a (rounded) rectangle."""
        Image, ImageDraw = _pil()
        box = self.s(x0, y0, x1, y1)
        w, h = box[2] - box[0], box[3] - box[1]
        grad = vgradient(1, h, top, bottom).resize((w, h))
        mask = Image.new("L", (w, h), 0)
        ImageDraw.Draw(mask).rounded_rectangle([0, 0, w - 1, h - 1], radius * SCALE, fill=255)
        self.img.paste(grad, (box[0], box[1]), mask)

    def done(self):
        Image, _ = _pil()
        return self.img.resize((self.w, self.h), Image.Resampling.BOX)


def hstrip(images):
    """Pictures of equal height side by side."""
    w = sum(i.width for i in images)
    out = new(w, images[0].height)
    x = 0
    for i in images:
        out.paste(i, (x, 0))
        x += i.width
    return out


def no_magenta(img):
    """The loader's key never appears by accident (exact match only)."""
    px = img.load()
    for y in range(img.height):
        for x in range(img.width):
            if px[x, y] == MAGENTA:
                px[x, y] = (255, 1, 255)
    return img


def snap_white(img, limit=6):
    """Near-white to white, so that a white mask leaves no pale fringe."""
    px = img.load()
    for y in range(img.height):
        for x in range(img.width):
            r, g, b = px[x, y]
            if r >= 255 - limit and g >= 255 - limit and b >= 255 - limit:
                px[x, y] = WHITE
    return img


# --- skin pictures -------------------------------------------------------------------

class Skin:
    def __init__(self, name):
        p = PALETTES[name]
        self.name = name
        self.dark = p["dark"]
        self.second = p["second"]
        self.light = p["light"]
        self.accent = p["accent"]
        self.colours = skin_colours(name)
        # The surfaces the pictures sit on.
        self.title_top = lighter(self.second, 0.12)
        self.title_bottom = self.dark
        self.bar = darker(self.dark, 0.08)
        self.bar_edge = lighter(self.dark, 0.25)
        self.band_top = self.dark
        self.band_bottom = darker(self.dark, 0.2)
        self.frame_edge = mix(self.dark, self.light, 0.55)
        # Metalbrown's surfaces carry a soft light band, like brushed metal.
        self.metallic = name == "Metalbrown"

    # Three-state strip of one button third: normal, hot (lighter), pressed
    # (darker), each a rounded face with a one-pixel border on `ground`.
    def button_face(self, w, h, state, ground, base=None, radius=3):
        base = base or mix(self.dark, self.second, 0.35)
        if state == 1:
            base = lighter(base, 0.16)
        elif state == 2:
            base = darker(base, 0.18)
        top = lighter(base, 0.16) if state != 2 else base
        bottom = darker(base, 0.08) if state != 2 else lighter(base, 0.06)
        big = Big(w, h, ground)
        big.paste_gradient(0, 0, w, h, darker(base, 0.35), darker(base, 0.35), radius)
        big.paste_gradient(1, 1, w - 1, h - 1, top, bottom, max(radius - 1, 0))
        if state != 2:
            big.line([(2.5, 1.5), (w - 2.5, 1.5)], lighter(top, 0.18), 1)
        face = big.done()
        if self.metallic and ground != self.bar:
            # Only inside the border, so the corners keep the ground colour.
            inner = self.sheen(face.crop((2, 2, w - 2, h - 2)), 0.16)
            face.paste(inner, (2, 2))
        return face

    def button_strip(self, w, h, ground, base=None):
        return hstrip([self.button_face(w, h, s, ground, base) for s in range(3)])

    # The page buttons of the left bar: flat on the bar, a lighter band when
    # hot, an accent marker and a raised band when pressed or chosen.
    def menu_button(self, w, h, state):
        big = Big(w, h, self.bar)
        if state == 0:
            big.rect(10, h - 1, w - 10, h, fill=lighter(self.bar, 0.1))
        else:
            face = lighter(self.bar, 0.14) if state == 1 else mix(self.dark, self.second, 0.7)
            big.paste_gradient(4, 2, w - 4, h - 2, lighter(face, 0.08), face, 3)
            if state == 2:
                big.rect(4, 6, 8, h - 6, fill=self.accent, radius=1)
        # A small round marker where the text indent leaves room.
        cx, cy = w * 0.16, h / 2
        marker = self.accent if state else lighter(self.bar, 0.35)
        big.ellipse(cx - 4, cy - 4, cx + 4, cy + 4, fill=marker)
        return big.done()

    def caption_button(self, kind, state):
        w = h = 16
        ground = mix(self.title_top, self.title_bottom, 0.4)
        base = mix(self.dark, self.second, 0.5)
        face = self.button_face(w, h, state, ground, base, radius=3)
        big = Big(w, h)
        big.img.paste(face.resize((w * SCALE, h * SCALE)), (0, 0))
        ink = WHITE if state != 2 else lighter(self.light, 0.3)
        if kind == "min":
            big.line([(4.5, 11), (11.5, 11)], ink, 2)
        elif kind == "max":
            big.rect(4, 4, 12, 12, outline=ink, width=1)
            big.rect(4, 4, 12, 6, fill=ink)
        elif kind == "help":
            big.arc(5, 3, 11, 9, 180, 60, ink, 1.6)
            big.line([(10.2, 7.8), (8, 9.5), (8, 10.5)], ink, 1.6)
            big.ellipse(7, 12, 9, 14, fill=ink)
        elif kind == "about":
            big.ellipse(7, 3, 9, 5, fill=ink)
            big.line([(8, 7), (8, 13)], ink, 2)
        return big.done()

    def caption_strip(self, kind):
        return hstrip([self.caption_button(kind, s) for s in range(3)])

    # Check boxes: checked, checked-disabled, unchecked, unchecked-disabled,
    # 22 x 22 each, on white (transparent).
    def check_box(self, checked, enabled, round_box=False):
        big = Big(22, 22)
        border = darker(self.dark, 0.1) if enabled else (178, 178, 178)
        if checked:
            fill_top = lighter(mix(self.dark, self.second, 0.5), 0.1) if enabled else (206, 206, 206)
            fill_bottom = mix(self.dark, self.second, 0.3) if enabled else (192, 192, 192)
        else:
            fill_top = (250, 250, 250) if enabled else (238, 238, 238)
            fill_bottom = mix(self.light, (250, 250, 250), 0.3) if enabled else (232, 232, 232)
        radius = 7 if round_box else 3
        big.paste_gradient(3, 3, 19, 19, border, border, radius)
        big.paste_gradient(4, 4, 18, 18, fill_top, fill_bottom, radius - 1)
        if checked:
            ink = (250, 250, 250) if enabled else (246, 246, 246)
            big.line([(6.8, 11.2), (9.6, 14), (15.2, 7.6)], ink, 2.2)
        return snap_white(big.done())

    def check_strip(self, round_box=False):
        return hstrip([self.check_box(True, True, round_box), self.check_box(True, False, round_box),
                       self.check_box(False, True, round_box),
                       self.check_box(False, False, round_box)])

    # The tree expander cells: collapsed, expanded, child.
    def tree_strip(self):
        cells = []
        for kind in range(3):
            big = Big(22, 22)
            ink = darker(self.dark, 0.05)
            if kind < 2:
                big.paste_gradient(6, 6, 16, 16, mix(self.dark, WHITE, 0.45),
                                   mix(self.dark, WHITE, 0.45), 2)
                big.paste_gradient(7, 7, 15, 15, (250, 250, 250), mix(self.light, WHITE, 0.2), 1)
                big.line([(8.5, 11), (13.5, 11)], ink, 1.4)
                if kind == 0:
                    big.line([(11, 8.5), (11, 13.5)], ink, 1.4)
            else:
                big.ellipse(9, 9, 13, 13, fill=mix(self.dark, WHITE, 0.4))
            cells.append(snap_white(big.done()))
        return hstrip(cells)

    # Scroll arrows, 20 x 25 each: normal, pressed, hot (the list's order).
    def arrow_strip(self, down):
        cells = []
        for state in ("normal", "pressed", "hot"):
            big = Big(20, 25)
            face = {"normal": mix(self.light, WHITE, 0.3), "pressed": mix(self.light, self.dark, 0.25),
                    "hot": mix(self.light, self.accent, 0.25)}[state]
            border = mix(self.dark, WHITE, 0.5)
            big.paste_gradient(1, 1, 19, 24, border, border, 3)
            big.paste_gradient(2, 2, 18, 23, lighter(face, 0.3), face, 2)
            ink = self.dark if state != "pressed" else darker(self.dark, 0.2)
            if down:
                big.polygon([(6, 10), (14, 10), (10, 15)], ink)
            else:
                big.polygon([(6, 15), (14, 15), (10, 10)], ink)
            cells.append(snap_white(big.done()))
        return hstrip(cells)

    def track_tile(self):
        edge = mix(self.light, (200, 200, 200), 0.5)
        inner = mix(self.light, WHITE, 0.35)
        cols = [edge, mix(edge, inner, 0.5)] + [inner] * 16 + [mix(edge, inner, 0.5), edge]
        return hprofile(20, 20, cols)

    def slider_tile(self, base):
        cols = [darker(base, 0.25)] + [mix(lighter(base, 0.3), base, i / 9) for i in range(10)] + \
               [darker(base, 0.25)]
        return hprofile(12, 12, cols)

    # --- the main window's frame -------------------------------------------------
    TITLE_H = 56
    BAR_W = 180
    BOTTOM_H = 20
    RIGHT_W = 8

    def sheen(self, img, strength):
        """A light band across the upper third (metallic skins only)."""
        if not self.metallic:
            return img
        px = img.load()
        for y in range(img.height):
            t = (y + 0.5) / img.height
            bump = strength * math.exp(-((t - 0.32) / 0.12) ** 2)
            for x in range(img.width):
                px[x, y] = lighter(px[x, y], bump)
        return img

    def title_band(self, w):
        img = self.sheen(vgradient(w, self.TITLE_H, self.title_top, self.title_bottom), 0.22)
        # A one-pixel light line at the top and a dark one at the bottom.
        px = img.load()
        for x in range(w):
            px[x, 0] = lighter(self.title_top, 0.2)
            px[x, self.TITLE_H - 1] = darker(self.title_bottom, 0.3)
        return img

    def top_left(self):
        img = self.title_band(self.BAR_W)
        big = Big(self.BAR_W, self.TITLE_H)
        big.img.paste(img.resize((self.BAR_W * SCALE, self.TITLE_H * SCALE)), (0, 0))
        logo(big, 14, 12, 32, self)
        return big.done()

    def top_right(self):
        img = self.title_band(100)
        return img

    def menu(self):
        h = 420
        img = new(self.BAR_W, h, self.bar)
        px = img.load()
        for y in range(h):
            px[self.BAR_W - 1, y] = self.bar_edge
        return img

    def left(self):
        return self.menu().crop((0, 0, self.BAR_W, 8))

    def right(self, h=8):
        cols = [lighter(self.frame_edge, 0.5), self.frame_edge, self.frame_edge,
                mix(self.frame_edge, self.dark, 0.2), mix(self.frame_edge, self.dark, 0.4),
                mix(self.frame_edge, self.dark, 0.55), self.dark, darker(self.dark, 0.3)]
        return hprofile(self.RIGHT_W, h, cols)

    def bottom_band(self, w):
        img = vgradient(w, self.BOTTOM_H, self.band_top, self.band_bottom)
        px = img.load()
        for x in range(w):
            px[x, 0] = self.bar_edge
        return img

    def bottom_left(self):
        img = self.bottom_band(self.BAR_W)
        px = img.load()
        for y in range(1, self.BOTTOM_H):
            px[self.BAR_W - 1, y] = mix(self.bar_edge, self.band_bottom, y / self.BOTTOM_H)
        return img

    def bottom_right(self):
        big = Big(self.BOTTOM_H, self.BOTTOM_H)
        big.img.paste(self.bottom_band(self.BOTTOM_H).resize(
            (self.BOTTOM_H * SCALE, self.BOTTOM_H * SCALE)), (0, 0))
        # The resize grip: three diagonal rows of dots.
        dot = lighter(self.dark, 0.45)
        for i in range(3):
            for j in range(i + 1):
                x = 15 - 4 * j
                y = 15 - 4 * (i - j)
                big.rect(x, y, x + 2, y + 2, fill=dot)
        return big.done()

    def dialog(self):
        w, h = 400, 300
        img = vgradient(w, h, WHITE, self.light)
        px = img.load()
        for x in range(w):
            for y in range(4):
                px[x, y] = mix(self.second, self.dark, y / 3)
            px[x, h - 1] = mix(self.dark, self.light, 0.5)
        for y in range(4, h):
            px[0, y] = mix(self.dark, self.light, 0.5)
            px[w - 1, y] = mix(self.dark, self.light, 0.5)
        return img

    def pictures(self):
        """file name -> picture, for every file of [Image]."""
        page = WHITE
        dialog_ground = self.light
        out = {
            "check_button.png": self.check_strip(),
            "check_button_list.png": self.check_strip(round_box=True),
            "scrollbar_tree.png": self.tree_strip(),
            "scrollbar_down.png": self.arrow_strip(True),
            "scrollbar_up.png": self.arrow_strip(False),
            "scrollbar_back.png": self.track_tile(),
            "scrollbar_slider1.png": self.slider_tile(mix(self.dark, self.second, 0.4)),
            "scrollbar_slider2.png": self.slider_tile(darker(self.dark, 0.15)),
            "scrollbar_slider3.png": self.slider_tile(self.accent),
            "button_dialog.png": self.button_strip(75, 23, dialog_ground),
            "button.png": self.button_strip(80, 24, page),
            "button_medium.png": self.button_strip(110, 24, page),
            "button_large.png": self.button_strip(140, 24, page),
            "button_menu.png": hstrip([self.menu_button(150, 36, s) for s in range(3)]),
            "button_min.png": self.caption_strip("min"),
            "button_max.png": self.caption_strip("max"),
            "button_help.png": self.caption_strip("help"),
            "button_about.png": self.caption_strip("about"),
            "dialog.png": self.dialog(),
            "top_left.png": self.top_left(),
            "top_title.png": self.title_band(400),
            "top.png": self.title_band(8),
            "top_right.png": self.top_right(),
            "menu.png": self.menu(),
            "left.png": self.left(),
            "right.png": self.right(8),
            "right_center.png": self.right(300),
            "bottom_left.png": self.bottom_left(),
            "bottom.png": self.bottom_band(8),
            "bottom_right.png": self.bottom_right(),
        }
        return {k: no_magenta(v) for k, v in out.items()}

    def default_ini(self):
        lines = ["; Skin %s of ORVANEL Brindlewox, drawn by skins/generate.py." % self.name,
                 "[Color]"]
        for n in COLOUR_NAMES:
            r, g, b = self.colours[n]
            lines += ["%s_R=%d" % (n, r), "%s_G=%d" % (n, g), "%s_B=%d" % (n, b)]
        lines.append("")
        lines.append("[Image]")
        lines += ["%s=%s" % (k, f) for k, f in IMAGE_KEYS]
        return "\r\n".join(lines) + "\r\n"


def logo(big, x, y, size, skin):
    """The program's mark: a rounded tile with two stacked disks and an arrow."""
    s = size / 32.0

    def p(px, py):
        return (x + px * s, y + py * s)

    big.paste_gradient(x, y, x + size, y + size, lighter(skin.accent, 0.15),
                       darker(skin.accent, 0.12), round(6 * s))
    ink = WHITE
    for top in (8, 15):
        x0, y0 = p(8, top)
        x1, y1 = p(24, top + 6)
        big.ellipse(x0, y0, x1, y1, fill=ink)
        x0, y0 = p(9, top + 1.2)
        x1, y1 = p(23, top + 4.8)
        big.ellipse(x0, y0, x1, y1, fill=lighter(skin.accent, 0.3))
    x0, y0 = p(8, 22)
    x1, y1 = p(24, 28)
    big.ellipse(x0, y0, x1, y1, fill=ink)


# --- icons -----------------------------------------------------------------------------

ICON_BLUE = (58, 84, 122)
ICON_ORANGE = (255, 173, 27)


def icon_canvas(size):
    Image, ImageDraw = _pil()
    img = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
    return img, ImageDraw.Draw(img)


class IconPen:
    """Draws in a 32-unit square onto an RGBA canvas of any size."""

    def __init__(self, size):
        self.size = size
        self.img, self.draw = icon_canvas(size)
        self.k = size * SCALE / 32.0

    def b(self, x0, y0, x1, y1):
        return [x0 * self.k, y0 * self.k, x1 * self.k - 1, y1 * self.k - 1]

    def rrect(self, x0, y0, x1, y1, r, fill, outline=None, width=1.0):
        self.draw.rounded_rectangle(self.b(x0, y0, x1, y1), r * self.k, fill=rgba(fill),
                                    outline=rgba(outline) if outline else None,
                                    width=max(1, round(width * self.k)))

    def circle(self, x0, y0, x1, y1, fill, outline=None, width=1.0):
        self.draw.ellipse(self.b(x0, y0, x1, y1), fill=rgba(fill),
                          outline=rgba(outline) if outline else None,
                          width=max(1, round(width * self.k)))

    def line(self, pts, fill, width):
        self.draw.line([(x * self.k, y * self.k) for x, y in pts], fill=rgba(fill),
                       width=max(1, round(width * self.k)), joint="curve")

    def poly(self, pts, fill):
        self.draw.polygon([(x * self.k, y * self.k) for x, y in pts], fill=rgba(fill))

    def arc(self, x0, y0, x1, y1, a0, a1, fill, width):
        self.draw.arc(self.b(x0, y0, x1, y1), a0, a1, fill=rgba(fill),
                      width=max(1, round(width * self.k)))

    def done(self):
        Image, _ = _pil()
        return self.img.resize((self.size, self.size), Image.Resampling.BOX)


def rgba(c):
    return c if c is None or len(c) == 4 else (c[0], c[1], c[2], 255)


def round_badge(pen, colour):
    pen.circle(2, 2, 30, 30, darker(colour, 0.25))
    pen.circle(3, 3, 29, 29, colour)
    pen.circle(6, 4, 26, 16, lighter(colour, 0.18))
    pen.circle(4, 8, 28, 29, colour)


def draw_icon(icon_id, size):
    pen = IconPen(size)
    blue, orange = ICON_BLUE, ICON_ORANGE
    green, red = (52, 150, 72), (204, 52, 52)
    if icon_id in (102, 406, 407, 408, 409, 103):
        pen.rrect(2, 2, 30, 30, 7, darker(blue, 0.2))
        pen.rrect(3, 3, 29, 29, 6, blue)
        if icon_id == 103:
            # The chooser: a painter's palette.
            pen.circle(7, 7, 25, 25, (246, 246, 246))
            for (cx, cy), c in zip([(12, 12), (19, 11), (22, 17), (12, 19)],
                                   [(214, 54, 70), orange, (70, 170, 90), (60, 130, 220)]):
                pen.circle(cx - 2.5, cy - 2.5, cx + 2.5, cy + 2.5, c)
        else:
            for top in (8, 14):
                pen.circle(9, top, 23, top + 6, (246, 246, 246))
                pen.circle(10, top + 1.3, 22, top + 4.7, lighter(blue, 0.35))
            pen.circle(9, 20, 23, 26, (246, 246, 246))
            if icon_id == 102:
                pen.circle(20, 19, 29, 28, orange)
                pen.poly([(22.5, 23), (26.5, 23), (24.5, 26)], (255, 255, 255))
                pen.line([(24.5, 21), (24.5, 23.5)], (255, 255, 255), 1.6)
            else:
                # Animation: a bright spot going round the rim.
                frame = icon_id - 406
                angle = math.radians(-90 + 90 * frame)
                cx, cy = 16 + 11 * math.cos(angle), 16 + 11 * math.sin(angle)
                pen.circle(cx - 4, cy - 4, cx + 4, cy + 4, orange)
    elif icon_id == 174:  # generic program: a window
        pen.rrect(3, 5, 29, 27, 2, (120, 128, 140))
        pen.rrect(4, 6, 28, 26, 1.5, (250, 250, 250))
        pen.rrect(4, 6, 28, 11, 1.5, blue)
        pen.line([(8, 16), (22, 16)], (170, 176, 186), 1.6)
        pen.line([(8, 20), (18, 20)], (170, 176, 186), 1.6)
    elif icon_id == 176:  # close
        round_badge(pen, red)
        pen.line([(11, 11), (21, 21)], (255, 255, 255), 3)
        pen.line([(21, 11), (11, 21)], (255, 255, 255), 3)
    elif icon_id == 177:  # start backup
        round_badge(pen, green)
        pen.poly([(12.5, 9.5), (23, 16), (12.5, 22.5)], (255, 255, 255))
    elif icon_id == 178:  # about
        round_badge(pen, (60, 120, 200))
        pen.circle(14.3, 8, 17.7, 11.4, (255, 255, 255))
        pen.line([(16, 14), (16, 23)], (255, 255, 255), 3.2)
    elif icon_id == 179:  # startup: a power sign
        round_badge(pen, orange)
        pen.arc(9, 9, 23, 23, 300, 240, (255, 255, 255), 2.6)
        pen.line([(16, 7.5), (16, 15)], (255, 255, 255), 2.6)
    elif icon_id == 180:  # options: a gear
        c = (110, 118, 130)
        for i in range(8):
            a = math.radians(i * 45)
            pen.line([(16 + 9 * math.cos(a), 16 + 9 * math.sin(a)),
                      (16 + 13 * math.cos(a), 16 + 13 * math.sin(a))], c, 4.2)
        pen.circle(6, 6, 26, 26, c)
        pen.circle(12, 12, 20, 20, (0, 0, 0, 0))
    elif icon_id in (181, 184):  # select all / deselect all
        for off in (0, 7):
            pen.rrect(3 + off, 10 - off, 21 + off, 28 - off, 3, darker(blue, 0.1))
            pen.rrect(4.5 + off, 11.5 - off, 19.5 + off, 26.5 - off, 2, (250, 250, 250))
        if icon_id == 181:
            pen.line([(14, 12), (17.5, 15.5), (24, 8)], green, 2.8)
            pen.line([(7, 20), (10.5, 23.5), (17, 16)], green, 2.8)
    elif icon_id == 185:  # remove: a minus badge
        round_badge(pen, red)
        pen.line([(10, 16), (22, 16)], (255, 255, 255), 3.4)
    elif icon_id == 182:  # add: a plus badge
        round_badge(pen, green)
        pen.line([(10, 16), (22, 16)], (255, 255, 255), 3.4)
        pen.line([(16, 10), (16, 22)], (255, 255, 255), 3.4)
    elif icon_id == 172:  # folder
        pen.rrect(3, 7, 15, 13, 2, darker(orange, 0.15))
        pen.rrect(3, 10, 29, 27, 2, darker(orange, 0.15))
        pen.rrect(4, 11, 28, 26, 1.5, lighter(orange, 0.2))
    elif icon_id == 173:  # file
        pen.poly([(7, 3), (20, 3), (26, 9), (26, 29), (7, 29)], (120, 128, 140))
        pen.poly([(8, 4), (19.5, 4), (25, 9.5), (25, 28), (8, 28)], (250, 250, 250))
        pen.poly([(19.5, 4), (25, 9.5), (19.5, 9.5)], (200, 206, 214))
        for y in (14, 18, 22):
            pen.line([(11, y), (22, y)], (170, 176, 186), 1.4)
    elif icon_id == 175:  # save: a disk
        pen.rrect(4, 4, 28, 28, 3, darker(blue, 0.15))
        pen.rrect(9, 5, 23, 13, 1, (236, 240, 246))
        pen.rrect(18, 6.5, 21, 11.5, 0.5, darker(blue, 0.15))
        pen.rrect(8, 17, 24, 27, 1, (250, 250, 250))
    elif icon_id == 183:  # edit: a pencil
        pen.line([(8, 24), (23, 9)], orange, 6)
        pen.line([(21.5, 10.5), (24.5, 7.5)], (214, 120, 120), 6)
        pen.poly([(5, 27), (6.5, 21.5), (10.5, 25.5)], (90, 90, 90))
    elif icon_id == 1000:  # restore: an arrow coming back
        round_badge(pen, (60, 120, 200))
        pen.arc(9, 9, 23, 23, 200, 100, (255, 255, 255), 2.8)
        pen.poly([(6, 13), (13, 13), (9.5, 18)], (255, 255, 255))
    elif icon_id == 1001:  # log: a page with lines and a clock mark
        pen.rrect(6, 3, 26, 29, 2, (120, 128, 140))
        pen.rrect(7, 4, 25, 28, 1.5, (250, 250, 250))
        for y in (9, 13, 17, 21):
            pen.line([(10, y), (22, y)], (90, 120, 170), 1.5)
    else:
        raise ValueError(icon_id)
    return pen.done()


def ico_bytes(images):
    """An .ico of 32-bit DIB entries, each with its AND mask."""
    entries = []
    for img in images:
        w, h = img.size
        px = img.load()
        xor = bytearray()
        mask_row = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row_mask = bytearray(mask_row)
            for x in range(w):
                r, g, b, a = px[x, y]
                if a < 128:
                    row_mask[x // 8] |= 0x80 >> (x % 8)
                if a == 0:
                    r = g = b = 0
                xor += bytes((b, g, r, a))
            mask += row_mask
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        entries.append((w, h, header + bytes(xor) + bytes(mask)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    return bytes(out)


# --- chooser bitmaps -------------------------------------------------------------------

def preview(name):
    """A small main window in the skin's own colours (120 x 88)."""
    skin = Skin(name)
    w, h = 120, 88
    big = Big(w, h, WHITE)
    title = vgradient(1, 14, skin.title_top, skin.title_bottom).resize((w * SCALE, 14 * SCALE))
    big.img.paste(title, (0, 0))
    big.rect(0, 14, 32, h, fill=skin.bar)
    big.rect(31, 14, 32, h, fill=skin.bar_edge)
    big.rect(0, h - 6, w, h, fill=skin.band_bottom)
    big.rect(w - 3, 14, w, h - 6, fill=skin.frame_edge)
    logo(big, 3, 3, 8, skin)
    for i in range(4):
        y = 19 + 11 * i
        if i == 0:
            big.rect(2, y - 1, 30, y + 8, fill=mix(skin.dark, skin.second, 0.7), radius=1)
            big.rect(2, y + 1, 3, y + 6, fill=skin.accent)
        big.rect(12, y + 3, 27, y + 5, fill=lighter(skin.bar, 0.6))
    # The page: a frame with text lines, a progress bar and a button.
    big.rect(38, 20, 113, 48, fill=skin.light, outline=skin.colours["COLOR_FRAME_1"])
    for i, length in enumerate((52, 40, 46)):
        big.rect(42, 24 + 7 * i, 42 + length, 26 + 7 * i, fill=mix(skin.light, (90, 90, 90), 0.5))
    big.rect(38, 54, 113, 60, outline=skin.colours["COLOR_FRAME_1"])
    big.rect(39, 55, 82, 59, fill=skin.accent)
    face = skin.button_face(30, 10, 0, WHITE)
    big.img.paste(face.resize((30 * SCALE, 10 * SCALE)), (83 * SCALE, 66 * SCALE))
    return no_magenta(big.done())


def header_bitmap():
    """The chooser's header picture (56 x 55): overlapping colour swatches."""
    big = Big(56, 55, WHITE)
    swatches = [PALETTES[n]["dark"] for n in SKIN_NAMES]
    for i, c in enumerate(swatches):
        x = 8 + (i % 3) * 13
        y = 10 + (i // 3) * 18
        big.rect(x, y, x + 15, y + 15, fill=c, outline=darker(c, 0.3), radius=3)
        big.rect(x + 3, y + 11, x + 12, y + 13, fill=PALETTES[SKIN_NAMES[i]]["accent"])
    return no_magenta(big.done())


# --- sound -------------------------------------------------------------------------------

def warning_wav(path):
    """A short two-note chime, 16-bit mono at 22,050 Hz."""
    rate = 22050
    notes = [(880.0, 0.16), (660.0, 0.26)]
    frames = bytearray()
    for freq, length in notes:
        n = int(rate * length)
        for i in range(n):
            t = i / rate
            attack = min(1.0, i / (rate * 0.005))
            env = attack * math.exp(-4.5 * t / length)
            v = 0.45 * env * (math.sin(2 * math.pi * freq * t) +
                              0.25 * math.sin(4 * math.pi * freq * t))
            frames += struct.pack("<h", int(round(v * 32767 / 1.25)))
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(bytes(frames))


# --- output --------------------------------------------------------------------------------

def skin_files():
    return sorted({f for _, f in IMAGE_KEYS})


def outputs(root):
    paths = []
    for name in SKIN_NAMES:
        folder = os.path.join(root, "Skins", name)
        paths.append(os.path.join(folder, "default.ini"))
        paths += [os.path.join(folder, f) for f in skin_files()]
    res = os.path.join(root, "resources")
    paths += [os.path.join(res, "icon_%d.ico" % i) for i in PROGRAM_ICONS + CHOOSER_ICONS]
    paths += [os.path.join(res, "bitmap_%d.bmp" % i) for i in CHOOSER_BITMAPS]
    paths.append(os.path.join(root, "warning.wav"))
    return paths


def save_png(img, path):
    assert img.mode == "RGB"
    img.save(path, format="PNG", compress_level=9)


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def generate(root):
    for name in SKIN_NAMES:
        folder = os.path.join(root, "Skins", name)
        os.makedirs(folder, exist_ok=True)
        skin = Skin(name)
        pictures = skin.pictures()
        assert sorted(pictures) == skin_files()
        for f, img in pictures.items():
            save_png(img, os.path.join(folder, f))
        write_bytes(os.path.join(folder, "default.ini"), skin.default_ini().encode("ascii"))
    res = os.path.join(root, "resources")
    os.makedirs(res, exist_ok=True)
    for i in PROGRAM_ICONS + CHOOSER_ICONS:
        write_bytes(os.path.join(res, "icon_%d.ico" % i),
                    ico_bytes([draw_icon(i, 16), draw_icon(i, 32)]))
    header_bitmap().save(os.path.join(res, "bitmap_105.bmp"), format="BMP")
    for i, name in zip(CHOOSER_BITMAPS[1:], SKIN_NAMES):
        preview(name).save(os.path.join(res, "bitmap_%d.bmp" % i), format="BMP")
    warning_wav(os.path.join(root, "warning.wav"))


def main(argv):
    if len(argv) == 3 and argv[1] == "--list":
        print("\n".join(p.replace(os.sep, "/") for p in outputs(argv[2])))
        return 0
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    generate(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

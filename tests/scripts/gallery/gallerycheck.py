"""Helpers of the gallery's pixel checks (tests/scripts/gallery/<mode>.py).

A check is run as `<mode>.py <png> <manifest> <skin default.ini>` while the
gallery is still on screen (DISPLAY set), so it may move the pointer and take
more screenshots. It prints what it found wrong and exits 1, else 0.
"""
import configparser
import os
import re
import subprocess
import sys
import time

# How long a window may take to answer one step (the pointer moved, a
# click): the bound named in tests/scripts/lib/waits.bash, which gallery.sh
# exports.
STEP_SECONDS = int(os.environ.get("bw_wait_step", "60"))


class Image:
    """An RGB picture read through netpbm's pngtopnm (colour or grey)."""

    def __init__(self, path):
        data = subprocess.run(["pngtopnm", path], check=True, capture_output=True).stdout
        fields = []
        pos = 0
        # P6 header: magic, width, height, maxval, each after white space or
        # comments.
        while len(fields) < 4:
            match = re.compile(rb"\s*(#[^\n]*\n\s*)*(\S+)").match(data, pos)
            fields.append(match.group(2))
            pos = match.end()
        if fields[0] not in (b"P5", b"P6") or int(fields[3]) != 255:
            raise ValueError(f"{path}: not an 8-bit picture")
        self.width = int(fields[1])
        self.height = int(fields[2])
        self.pixels = data[pos + 1:]
        if fields[0] == b"P5":
            # Grey: pngtopnm writes what the file holds.
            self.pixels = bytes(v for v in self.pixels for _ in range(3))

    def __call__(self, x, y):
        """The pixel (r, g, b) at x, y."""
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


def screenshot(path):
    subprocess.run(["import", "-window", "root", "PNG24:" + path], check=True)
    return Image(path)


def screenshot_when(path, ready, seconds=STEP_SECONDS):
    """Screenshots until ready(image) holds or the seconds have passed (a
    busy machine answers the pointer late); the last one."""
    deadline = time.monotonic() + seconds
    while True:
        image = screenshot(path)
        if ready(image) or time.monotonic() > deadline:
            return image
        # Between two looks, not a wait for anything.
        time.sleep(0.05)


def pointer(x, y):
    """Moves the pointer; what the program makes of it is waited for with
    screenshot_when."""
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)


def manifest(path):
    """name -> (left, top, right, bottom) in screen pixels."""
    rects = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 5:
                rects[parts[0]] = tuple(int(v) for v in parts[1:])
    return rects


class Skin:
    """A skin's default.ini, read as the controls read it."""

    def __init__(self, path):
        self.parser = configparser.ConfigParser(interpolation=None, strict=False)
        self.parser.optionxform = str.upper
        with open(path, encoding="latin-1") as f:
            self.parser.read_string(f.read())

    @staticmethod
    def _number(text, default):
        # CIni::GetInt: leading blanks, an optional sign, decimal digits up
        # to the first other character, 0 without digits; the colour keeps
        # the low 8 bits.
        text = text.strip()
        if text == "":
            return default
        match = re.match(r"([+-]?)(\d*)", text)
        value = int(match.group(2) or "0")
        if match.group(1) == "-":
            value = -value
        return value & 0xFF

    def color(self, name, default):
        """The colour NAME as (r, g, b), with the reader's default (r, g, b)."""
        section = self.parser["Color"] if self.parser.has_section("Color") else {}
        result = []
        for suffix, fallback in zip("RGB", default):
            key = f"{name}_{suffix}".upper()
            result.append(self._number(section[key], fallback) if key in section else fallback)
        return tuple(result)

    def image(self, key, default):
        if self.parser.has_section("Image") and key.upper() in self.parser["Image"]:
            return self.parser["Image"][key.upper()]
        return default


def close(a, b, tolerance=0):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


class Checker:
    def __init__(self, name):
        self.name = name
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def pixel(self, image, x, y, color, what, tolerance=0):
        got = image(x, y)
        return self.expect(close(got, color, tolerance),
                           f"{what}: pixel ({x}, {y}) is {got}, expected {color}")

    def done(self):
        for failure in self.failures:
            print(f"{self.name}: {failure}")
        sys.exit(1 if self.failures else 0)

#!/usr/bin/env python3
"""Checks the skinned buttons on a screenshot: no flat light patch inside.

Usage: button_pixels.py <screen.png> <dx> <dy> <name>=<left>,<top>,<right>,<bottom> ...

Each button's rectangle is in desktop pixels; dx, dy is where the desktop
lies on the screen. A skinned button shows its picture (a gradient) and its
text; a run of one light colour across a row of its inside, longer than any
stroke of its text, is something else painted over it (such as a cleared
label's place in a system brush).
"""
import sys

from PIL import Image

LONGEST_RUN = 12
LIGHT = 200

screen = Image.open(sys.argv[1]).convert("RGB")
dx, dy = int(sys.argv[2]), int(sys.argv[3])
failures = []
for spec in sys.argv[4:]:
    name, rect = spec.split("=")
    left, top, right, bottom = (int(v) for v in rect.split(","))
    worst = (0, None, None)
    # Inside the border: two pixels in from every edge.
    for y in range(top + 2, bottom - 2):
        run, colour = 0, None
        for x in range(left + 2, right - 2):
            pixel = screen.getpixel((x + dx, y + dy))
            run = run + 1 if pixel == colour else 1
            colour = pixel
            if min(pixel) >= LIGHT and run > worst[0]:
                worst = (run, pixel, (x - run + 1, y))
    if worst[0] > LONGEST_RUN:
        failures.append("%s: a flat run of %d pixels of %s from %s (desktop pixels)"
                        % (name, worst[0], worst[1], worst[2]))
    else:
        print("%s: longest light run %d" % (name, worst[0]))
for failure in failures:
    print("button_pixels: " + failure)
sys.exit(1 if failures else 0)

"""Checks a screenshot of one message dialog and saves the dialog's part.

Usage: dialog_pixels.py <screen.png> <out.png> <x> <y> <w> <h> <kind> <skin folder>

The dialog's window lies at (x, y) with size w x h on the screen. The check:
- the background is the skin's dialog.png resampled to the client area (the
  window less its one-pixel border): sampled at points clear of every
  control, each within a small tolerance;
- the text shows: dark pixels in the text area (message kinds) or in the
  about text's area;
- the buttons show: the bottom band holds pixels far from the background.
"""
import sys
from PIL import Image

screen_path, out_path = sys.argv[1], sys.argv[2]
x, y, w, h = (int(v) for v in sys.argv[3:7])
kind, skin = sys.argv[7], sys.argv[8]
failures = []

screen = Image.open(screen_path).convert("RGB")
margin = 12
box = (max(0, x - margin), max(0, y - margin), min(screen.width, x + w + margin),
       min(screen.height, y + h + margin))
screen.crop(box).save(out_path)

# The client area: inside the one-pixel border.
cx, cy, cw, ch = x + 1, y + 1, w - 2, h - 2
dialog = Image.open(skin + "/dialog.png").convert("RGB").resize((cw, ch), Image.BICUBIC)


def close(a, b, tol=24):
    return all(abs(p - q) <= tol for p, q in zip(a, b))


def dark(p):
    return max(p) < 110


# Background points: the top band, the sides, between text and buttons.
for fx, fy in [(0.5, 0.005), (0.02, 0.5), (0.98, 0.5), (0.05, 0.97), (0.95, 0.97), (0.5, 0.03)]:
    px, py = int(fx * (cw - 1)), int(fy * (ch - 1))
    got = screen.getpixel((cx + px, cy + py))
    want = dialog.getpixel((px, py))
    if not close(got, want):
        failures.append("background at (%d, %d): %s, the skin's picture has %s" % (px, py, got, want))

# Text: dark pixels in the middle band.
if kind == "about":
    area = (int(cw * 0.15), int(ch * 0.1), int(cw * 0.9), int(ch * 0.55))
else:
    area = (int(cw * 0.1), int(ch * 0.15), int(cw * 0.9), int(ch * 0.8))
text_pixels = sum(1 for yy in range(area[1], area[3]) for xx in range(area[0], area[2])
                  if dark(screen.getpixel((cx + xx, cy + yy))))
if text_pixels < 30:
    failures.append("no text in %s (%d dark pixels)" % (area, text_pixels))

# Buttons: the band of the buttons differs from the background somewhere.
band_y = int(ch * 0.905)
differs = sum(1 for xx in range(cw)
              if not close(screen.getpixel((cx + xx, cy + band_y)), dialog.getpixel((xx, band_y)), 40))
if differs < 40:
    failures.append("no button in the row y=%d (%d pixels differ)" % (band_y, differs))

for f in failures:
    print("dialog_pixels: " + f)
sys.exit(1 if failures else 0)

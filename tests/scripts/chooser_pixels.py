"""Pixel checks of the chooser's screenshot (tests/scripts/chooser.sh).

stdin: the driver's layout lines ("name left top right bottom", screen
coordinates of client areas); argv[1]: the PNG. Reads the pixels through
ImageMagick's convert as a binary PPM.
"""
import subprocess
import sys


def load(path):
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                          capture_output=True).stdout
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    return width, height, pixels


def main():
    rects = {}
    for line in sys.stdin:
        parts = line.split()
        if len(parts) == 5 and parts[0] != "caption":
            rects[parts[0]] = tuple(int(v) for v in parts[1:])
    width, height, pixels = load(sys.argv[1])

    def pixel(x, y):
        i = (y * width + x) * 3
        return tuple(pixels[i:i + 3])

    def area(rect):
        left, top, right, bottom = rect
        return [pixel(x, y) for y in range(top, bottom) for x in range(left, right)]

    failures = []
    header = rects["header"]
    picture = rects["picture"]
    # The band left of the picture: white, with dark text pixels.
    band = area((header[0], header[1], picture[0], header[3]))
    white = sum(1 for p in band if p == (255, 255, 255))
    dark = sum(1 for p in band if max(p) < 96)
    print(f"header band: {len(band)} pixels, {white} white, {dark} dark")
    if white < len(band) * 0.8:
        failures.append("the header band is not white")
    if dark < 30:
        failures.append("no text in the header band")
    # The header picture sits at the band's right end and is drawn.
    if abs(picture[2] - header[2]) > 2:
        failures.append(f"header picture ends at {picture[2]}, the band at {header[2]}")
    shown = area(picture)
    if len(set(shown)) < 4:
        failures.append("the header picture is blank")

    previews = []
    for i in range(1, 7):
        rect = rects[f"preview{i}"]
        pixels_of = area(rect)
        colours = len(set(pixels_of))
        print(f"preview{i}: {rect[2] - rect[0]}x{rect[3] - rect[1]}, {colours} colours")
        if colours < 4:
            failures.append(f"preview {i} is uniform")
        previews.append(pixels_of)
    for i in range(6):
        for j in range(i + 1, 6):
            if previews[i] == previews[j]:
                failures.append(f"previews {i + 1} and {j + 1} are the same")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

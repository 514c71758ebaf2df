#!/usr/bin/env python3
"""Draws the tray application's images at build time, so the repository holds no binary images.

Writes into the folder given as the only argument:
  mainicon.ico       the program's own icon: a white "V" on a blue disc
  x_ico_active.ico   the tray icon while the proxy serves: the "V" on a green disc
  x_ico_inactive.ico the tray icon while it does not: the "V" on a grey disc
  led_on.bmp         a lit green LED, 48 x 48, 256 colours
  led_off.bmp        the same LED unlit

Icons carry 64, 48, 32, 24 and 16 pixel images, 32 bits with alpha and an AND mask. The LEDs stand
on RGB(192, 192, 192), which Windows replaces with the dialog colour when the bitmap is loaded with
LR_LOADMAP3DCOLORS, so they look transparent on any colour scheme.

Plain Python 3, no packages: shapes are signed distances, sampled 4 x 4 per pixel.
"""

import math
import os
import struct
import sys

ICON_SIZES = (64, 48, 32, 24, 16)
LED_SIZE = 48
SUBSAMPLES = 4
LED_BACKGROUND = (192, 192, 192)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def over(top, bottom):
    """Source-over compositing of (r, g, b, a) colours with a in 0..1."""
    alpha = top[3] + bottom[3] * (1 - top[3])
    if alpha <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = [(top[i] * top[3] + bottom[i] * bottom[3] * (1 - top[3])) / alpha for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], alpha)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def badge_sample(x, y, light, dark):
    """One sample of the badge in unit coordinates (0..1): disc, rim, white V."""
    cx = cy = 0.5
    r = math.hypot(x - cx, y - cy)
    colour = (0.0, 0.0, 0.0, 0.0)
    if r <= 0.47:
        # Lit from the upper left.
        shade = max(0.0, min(1.0, math.hypot(x - 0.35, y - 0.3) / 0.6))
        colour = mix(light, dark, shade) + (1.0,)
        if r >= 0.42:
            colour = mix(dark, (0, 0, 0), 0.25) + (1.0,)
    stroke = 0.075
    v = min(segment_distance(x, y, 0.30, 0.30, 0.50, 0.72),
            segment_distance(x, y, 0.50, 0.72, 0.70, 0.30))
    if v <= stroke and r <= 0.47:
        colour = over((255, 255, 255, 1.0), colour)
    return colour


def led_sample(x, y, lit):
    cx = cy = 0.5
    r = math.hypot(x - cx, y - cy)
    colour = LED_BACKGROUND + (1.0,)
    if r <= 0.44:
        # Bezel.
        colour = mix((96, 96, 96), (48, 48, 48), min(1.0, (y - 0.06) / 0.88)) + (1.0,)
    if r <= 0.36:
        if lit:
            glow = min(1.0, math.hypot(x - 0.42, y - 0.4) / 0.42)
            colour = mix((190, 255, 170), (20, 150, 30), glow) + (1.0,)
        else:
            glow = min(1.0, math.hypot(x - 0.42, y - 0.4) / 0.42)
            colour = mix((110, 130, 110), (35, 60, 40), glow) + (1.0,)
    # Highlight.
    hl = math.hypot((x - 0.40) / 1.3, y - 0.33)
    if hl <= 0.09 and r <= 0.36:
        colour = over((255, 255, 255, 0.55 if lit else 0.25), colour)
    return colour


def render(size, sample):
    """RGBA rows, top row first, channels 0..255."""
    rows = []
    n = SUBSAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    for i in range(3):
                        acc[i] += c[i] * c[3]
                    acc[3] += c[3]
            alpha = acc[3] / (n * n)
            if acc[3] > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append(tuple(int(round(v)) for v in rgb) + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def icon_image(rows):
    """One icon directory image: BITMAPINFOHEADER, BGRA bottom-up, AND mask bottom-up."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def write_icon(path, light, dark):
    images = [icon_image(render(s, lambda x, y: badge_sample(x, y, light, dark)))
              for s in ICON_SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(ICON_SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


def palette_of(pixels):
    """At most 256 colours, the background first; finer colours merge until they fit."""
    for bits in (8, 7, 6, 5, 4):
        shift = 8 - bits

        def key(c):
            return tuple((v >> shift) << shift for v in c)

        colours = [LED_BACKGROUND]
        seen = {LED_BACKGROUND}
        for c in pixels:
            k = LED_BACKGROUND if c == LED_BACKGROUND else key(c)
            if k not in seen:
                seen.add(k)
                colours.append(k)
        if len(colours) <= 256:
            return colours, key
    raise RuntimeError("too many colours")


def write_led(path, lit):
    rows = render(LED_SIZE, lambda x, y: led_sample(x, y, lit))
    flat = [(r, g, b) for row in rows for (r, g, b, _) in row]
    colours, key = palette_of(flat)
    # LR_LOADMAP3DCOLORS would also recolour these greys; nudge them off.
    remap = {(128, 128, 128): (129, 129, 129), (223, 223, 223): (224, 224, 224)}
    index = {c: i for i, c in enumerate(colours)}
    palette = [remap.get(c, c) for c in colours] + [(0, 0, 0)] * (256 - len(colours))
    stride = (LED_SIZE + 3) // 4 * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, _) in enumerate(row):
            c = (r, g, b)
            line[x] = index[LED_BACKGROUND if c == LED_BACKGROUND else key(c)]
        data += line
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, LED_SIZE, LED_SIZE, 1, 8, 0, len(data), 2835, 2835,
                       256, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + pal + bytes(data))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: ui-images.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "mainicon.ico"), (90, 160, 255), (20, 60, 160))
    write_icon(os.path.join(out, "x_ico_active.ico"), (120, 230, 110), (20, 130, 40))
    write_icon(os.path.join(out, "x_ico_inactive.ico"), (200, 200, 200), (100, 100, 100))
    write_led(os.path.join(out, "led_on.bmp"), True)
    write_led(os.path.join(out, "led_off.bmp"), False)


if __name__ == "__main__":
    main()

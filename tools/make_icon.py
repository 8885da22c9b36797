#!/usr/bin/env python3
"""Draws Lumora's application icon for the desktop's icon theme: a gold eighth note on a
night-blue disc with the grooves of a record, as a scalable SVG and as PNGs at the usual sizes.

    make_icon.py [--packaging DIR]

Writes DIR/icons/hicolor/scalable/apps/lumora.svg and DIR/icons/hicolor/NxN/apps/lumora.png.
Both are drawn from one description of the shapes, on a 48-unit grid; the PNGs are drawn
eight times larger and scaled down, so every size has smooth edges.
"""

import argparse
import os

from PIL import Image, ImageDraw, ImageFilter

from make_skins import NIGHT, hex_rgb, vertical_gradient

SIZES = (16, 24, 32, 48, 64, 128, 256)
GRID = 48
SUPERSAMPLE = 8

DISC = (24, 24, 23)  # centre x, centre y, radius
RIM_WIDTH = 2
GROOVES = (17, 14)  # radii
GROOVE_WIDTH = 0.5
SKY = (hex_rgb("#2f52ad"), hex_rgb("#08102e"))
GROOVE_COLOUR = hex_rgb("#1d3470")
NOTE_HEAD = (19.5, 32, 5.5, 4)  # centre x, centre y, radius x, radius y
NOTE_STEM = (22, 11, 3, 21)  # x, y, width, height
NOTE_FLAG = ((22, 11), (33, 17), (33, 24), (25, 19))
NOTE_TILT = 8  # degrees, clockwise
SHADOW_OFFSET = 1.5
SHADOW_BLUR = 1


def hex_colour(rgb):
    return "#%02x%02x%02x" % rgb


def svg():
    """The icon as SVG text."""
    cx, cy, r = DISC
    hx, hy, hrx, hry = NOTE_HEAD
    sx, sy, sw, sh = NOTE_STEM
    flag = " ".join(f"{x},{y}" for x, y in NOTE_FLAG)
    note = (
        f'<ellipse cx="{hx}" cy="{hy}" rx="{hrx}" ry="{hry}"/>'
        f'<rect x="{sx}" y="{sy}" width="{sw}" height="{sh}"/>'
        f'<polygon points="{flag}"/>'
    )
    grooves = "".join(
        f'<circle cx="{cx}" cy="{cy}" r="{g}" fill="none" stroke="{hex_colour(GROOVE_COLOUR)}"'
        f' stroke-width="{GROOVE_WIDTH}"/>'
        for g in GROOVES
    )
    rim_radius = r - RIM_WIDTH / 2
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<!-- Lumora's icon, drawn by tools/make_icon.py. SPDX-License-Identifier: MIT -->
<svg xmlns="http://www.w3.org/2000/svg" width="{GRID}" height="{GRID}" viewBox="0 0 {GRID} {GRID}">
  <defs>
    <linearGradient id="sky" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="0" y2="{GRID}">
      <stop offset="0" stop-color="{hex_colour(SKY[0])}"/>
      <stop offset="1" stop-color="{hex_colour(SKY[1])}"/>
    </linearGradient>
    <linearGradient id="rim" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="0" y2="{GRID}">
      <stop offset="0" stop-color="{hex_colour(NIGHT.accent_light)}"/>
      <stop offset="1" stop-color="{hex_colour(NIGHT.accent_dark)}"/>
    </linearGradient>
    <linearGradient id="gold" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="0" y2="{GRID}">
      <stop offset="0" stop-color="{hex_colour(NIGHT.accent_light)}"/>
      <stop offset="1" stop-color="{hex_colour(NIGHT.accent)}"/>
    </linearGradient>
    <filter id="blur" x="-20%" y="-20%" width="140%" height="140%">
      <feGaussianBlur stdDeviation="{SHADOW_BLUR}"/>
    </filter>
  </defs>
  <circle cx="{cx}" cy="{cy}" r="{r}" fill="url(#sky)"/>
  <circle cx="{cx}" cy="{cy}" r="{rim_radius}" fill="none" stroke="url(#rim)" stroke-width="{RIM_WIDTH}"/>
  {grooves}
  <g transform="translate({SHADOW_OFFSET} {SHADOW_OFFSET}) rotate({NOTE_TILT} {cx} {cy})" fill="#000000" filter="url(#blur)">{note}</g>
  <g transform="rotate({NOTE_TILT} {cx} {cy})" fill="url(#gold)">{note}</g>
</svg>
"""


def png(size):
    """The icon as an RGBA image of size x size pixels."""
    big = size * SUPERSAMPLE
    unit = big / GRID

    def box(x0, y0, x1, y1):
        return (x0 * unit, y0 * unit, x1 * unit - 1, y1 * unit - 1)

    cx, cy, r = DISC
    disc = Image.new("L", (big, big), 0)
    ImageDraw.Draw(disc).ellipse(box(cx - r, cy - r, cx + r, cy + r), fill=255)
    art = vertical_gradient((big, big), [(0, SKY[0]), (1, SKY[1])])

    rim = Image.new("L", (big, big), 0)
    ImageDraw.Draw(rim).ellipse(
        box(cx - r, cy - r, cx + r, cy + r), outline=255, width=round(RIM_WIDTH * unit)
    )
    art.paste(vertical_gradient((big, big), [(0, NIGHT.accent_light), (1, NIGHT.accent_dark)]), (0, 0), rim)

    draw = ImageDraw.Draw(art)
    for g in GROOVES:
        draw.ellipse(
            box(cx - g, cy - g, cx + g, cy + g),
            outline=GROOVE_COLOUR,
            width=max(1, round(GROOVE_WIDTH * unit)),
        )

    note = Image.new("L", (big, big), 0)
    nd = ImageDraw.Draw(note)
    hx, hy, hrx, hry = NOTE_HEAD
    nd.ellipse(box(hx - hrx, hy - hry, hx + hrx, hy + hry), fill=255)
    sx, sy, sw, sh = NOTE_STEM
    nd.rectangle(box(sx, sy, sx + sw, sy + sh), fill=255)
    nd.polygon([(x * unit, y * unit) for x, y in NOTE_FLAG], fill=255)
    note = note.rotate(-NOTE_TILT, resample=Image.BICUBIC, center=(cx * unit, cy * unit))
    shadow = note.filter(ImageFilter.GaussianBlur(SHADOW_BLUR * unit))
    offset = round(SHADOW_OFFSET * unit)
    art.paste((0, 0, 0), (offset, offset), shadow)
    art.paste(vertical_gradient((big, big), [(0, NIGHT.accent_light), (1, NIGHT.accent)]), (0, 0), note)

    icon = art.resize((size, size), Image.LANCZOS).convert("RGBA")
    icon.putalpha(disc.resize((size, size), Image.BOX))
    return icon


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--packaging", default=os.path.join(here, "..", "packaging"))
    args = parser.parse_args()
    theme = os.path.join(args.packaging, "icons", "hicolor")

    scalable = os.path.join(theme, "scalable", "apps")
    os.makedirs(scalable, exist_ok=True)
    with open(os.path.join(scalable, "lumora.svg"), "w", encoding="utf-8", newline="\n") as out:
        out.write(svg())
    for size in SIZES:
        folder = os.path.join(theme, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        png(size).save(os.path.join(folder, "lumora.png"), "PNG", optimize=True)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Draws Lumora's two window skins, their buttons and the application icon.

Everything is painted from code with fixed seeds so that a rerun on any Debian 12
machine with python3-pil and fonts-liberation reproduces the committed files byte
for byte.

    make_skins.py [--data DIR] [--packaging DIR]
"""

import argparse
import math
import os
import random

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/liberation"

# Geometry the player lays its widgets out on; the art has to agree with it.
WINDOW_SIZE = (340, 288)
VISIBLE_HEIGHT = 278  # the bottom rows sit under the window frame
BUTTON_SIZE = (100, 60)
BUTTON_ORIGINS = [(16, 128), (120, 128), (224, 128)]
SLIDER_RECT = (32, 232, 273, 25)  # x, y, width, height
BUTTON_WORDS = ["Play", "Pause", "Stop"]
TRANSPARENT_INDEX = 255

# Buttons are drawn this many times larger and scaled down, which gives the oval
# a smooth edge without relying on the drawing library's anti-aliasing.
SUPERSAMPLE = 4


def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def hex_rgb(text):
    text = text.lstrip("#")
    return tuple(int(text[i : i + 2], 16) for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def vertical_gradient(size, stops):
    """A top-to-bottom gradient through (position, colour) stops, positions 0..1."""
    width, height = size
    column = Image.new("RGB", (1, height))
    for y in range(height):
        t = y / max(1, height - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                column.putpixel((0, y), mix(c0, c1, (t - p0) / max(1e-9, p1 - p0)))
                break
    return column.resize(size, Image.NEAREST)


def radial_glow(size, centre, radius, colour, strength):
    """An RGBA layer with a soft round glow, strongest in the middle."""
    alpha = Image.new("L", size, 0)
    cx, cy = centre
    r = radius // 2
    ImageDraw.Draw(alpha).ellipse((cx - r, cy - r, cx + r, cy + r), fill=round(255 * strength))
    alpha = alpha.filter(ImageFilter.GaussianBlur(radius / 2.5))
    layer = Image.new("RGBA", size, colour + (0,))
    layer.putalpha(alpha)
    return layer


def soft_layer(size, draw_fn, blur):
    """Runs draw_fn on a transparent layer and blurs it (for glows and shadows)."""
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    draw_fn(ImageDraw.Draw(layer))
    return layer.filter(ImageFilter.GaussianBlur(blur)) if blur else layer


def spaced_text(draw, centre_x, y, text, fnt, fill, spacing):
    """Draws letter-spaced capitals centred on centre_x; returns the text's extent."""
    widths = [draw.textlength(ch, font=fnt) for ch in text]
    total = sum(widths) + spacing * (len(text) - 1)
    x = centre_x - total / 2
    for ch, w in zip(text, widths):
        draw.text((x, y), ch, font=fnt, fill=fill)
        x += w + spacing
    return centre_x - total / 2, centre_x + total / 2


# --------------------------------------------------------------------------------------
# Skins
# --------------------------------------------------------------------------------------


class Skin:
    def __init__(self, name, **fields):
        self.name = name
        self.__dict__.update(fields)


NIGHT = Skin(
    "first",
    matte=hex_rgb("#14224a"),
    accent=hex_rgb("#d8b45a"),
    accent_light=hex_rgb("#fbe7a6"),
    accent_dark=hex_rgb("#6e5219"),
    body_top=hex_rgb("#3d63bf"),
    body_bottom=hex_rgb("#0e1a45"),
    pressed_top=hex_rgb("#0a1434"),
    pressed_bottom=hex_rgb("#263f86"),
    text=hex_rgb("#fff1c4"),
    text_pressed=hex_rgb("#e9cf86"),
    button_font=("LiberationSans-Bold.ttf", 19),
)

PLUM = Skin(
    "second",
    matte=hex_rgb("#2e1130"),
    accent=hex_rgb("#d88a55"),
    accent_light=hex_rgb("#ffd2a8"),
    accent_dark=hex_rgb("#6b2f14"),
    body_top=hex_rgb("#8a3a78"),
    body_bottom=hex_rgb("#2a0b29"),
    pressed_top=hex_rgb("#220822"),
    pressed_bottom=hex_rgb("#5e2453"),
    text=hex_rgb("#ffe3c8"),
    text_pressed=hex_rgb("#e6b48c"),
    button_font=("LiberationSerif-Bold.ttf", 20),
)


def panel_rect():
    """The flat area behind the buttons; its colour is the buttons' matte."""
    x0 = BUTTON_ORIGINS[0][0] - 8
    x1 = BUTTON_ORIGINS[-1][0] + BUTTON_SIZE[0] + 7
    y0 = BUTTON_ORIGINS[0][1] - 10
    y1 = BUTTON_ORIGINS[0][1] + BUTTON_SIZE[1] + 9
    return x0, y0, x1, y1


def slider_well_rect():
    x, y, w, h = SLIDER_RECT
    return x - 8, y - 6, x + w + 7, y + h + 5


def draw_panel(img, skin, inner_rim):
    draw = ImageDraw.Draw(img)
    x0, y0, x1, y1 = panel_rect()
    # Drop shadow so the panel sits on the backdrop rather than in it.
    shadow = soft_layer(
        img.size, lambda d: d.rounded_rectangle((x0, y0 + 3, x1, y1 + 4), 14, fill=(0, 0, 0, 150)), 4
    )
    img.paste(Image.alpha_composite(img.convert("RGBA"), shadow).convert("RGB"))
    draw = ImageDraw.Draw(img)
    draw.rounded_rectangle((x0, y0, x1, y1), 14, fill=skin.matte, outline=skin.accent_dark, width=1)
    draw.rounded_rectangle((x0 + 1, y0 + 1, x1 - 1, y1 - 1), 13, outline=skin.accent, width=1)
    draw.rounded_rectangle((x0 + 2, y0 + 2, x1 - 2, y1 - 2), 12, outline=inner_rim, width=1)


def draw_slider_well(img, skin, well_colour):
    draw = ImageDraw.Draw(img)
    x0, y0, x1, y1 = slider_well_rect()
    r = (y1 - y0) // 2
    draw.rounded_rectangle((x0, y0, x1, y1), r, fill=well_colour, outline=skin.accent_dark)
    draw.rounded_rectangle((x0 + 1, y0 + 1, x1 - 1, y1 - 1), r - 1, outline=mix(well_colour, (0, 0, 0), 0.5))
    # A lit lower lip reads as a groove cut into the surface.
    draw.arc((x0, y0, x0 + 2 * r, y1), 90, 180, fill=skin.accent)
    draw.arc((x1 - 2 * r, y0, x1, y1), 0, 90, fill=skin.accent)
    draw.line((x0 + r, y1, x1 - r, y1), fill=skin.accent)


def draw_stars(img, rng, count, avoid, brightest=200):
    """Sprinkles stars on the sky, keeping clear of the rectangles in avoid."""
    width, height = img.size
    glow = Image.new("RGBA", img.size, (0, 0, 0, 0))
    glow_draw = ImageDraw.Draw(glow)
    draw = ImageDraw.Draw(img)
    placed = 0
    while placed < count:
        x, y = rng.randrange(6, width - 6), rng.randrange(6, VISIBLE_HEIGHT - 6)
        if any(a <= x <= c and b <= y <= d for a, b, c, d in avoid):
            continue
        placed += 1
        brightness = min(brightest, rng.choice([70, 90, 110, 130, 150, 170, 200]))
        tint = rng.choice([(1.0, 1.0, 1.0), (1.0, 0.95, 0.8), (0.85, 0.9, 1.0)])
        colour = tuple(round(brightness * t) for t in tint)
        base = img.getpixel((x, y))
        draw.point((x, y), fill=tuple(max(b, c) for b, c in zip(base, colour)))
        if brightness >= 170:
            glow_draw.ellipse((x - 2, y - 2, x + 2, y + 2), fill=colour + (90,))
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                p = img.getpixel((x + dx, y + dy))
                draw.point((x + dx, y + dy), fill=mix(p, colour, 0.35))
    glow = glow.filter(ImageFilter.GaussianBlur(1.5))
    img.paste(Image.alpha_composite(img.convert("RGBA"), glow).convert("RGB"))


def draw_crescent(img, skin, centre, radius):
    cx, cy = centre
    big = Image.new("L", (radius * 2 * SUPERSAMPLE,) * 2, 0)
    d = ImageDraw.Draw(big)
    d.ellipse((0, 0, big.width - 1, big.height - 1), fill=255)
    off = round(radius * 0.55 * SUPERSAMPLE)
    d.ellipse((off, -off // 2, big.width - 1 + off, big.height - 1 - off // 2), fill=0)
    mask = big.resize((radius * 2, radius * 2), Image.LANCZOS)
    halo = radial_glow(img.size, centre, radius * 3, skin.accent, 0.22)
    img.paste(Image.alpha_composite(img.convert("RGBA"), halo).convert("RGB"))
    moon = vertical_gradient((radius * 2, radius * 2), [(0, skin.accent_light), (1, skin.accent)])
    img.paste(moon, (cx - radius, cy - radius), mask)


def draw_frame(img, skin):
    draw = ImageDraw.Draw(img)
    w, h = img.width, VISIBLE_HEIGHT
    draw.rectangle((0, 0, w - 1, h - 1), outline=mix(skin.accent_dark, (0, 0, 0), 0.4))
    draw.rounded_rectangle((3, 3, w - 4, h - 4), 8, outline=skin.accent_dark)
    draw.rounded_rectangle((4, 4, w - 5, h - 5), 7, outline=mix(skin.accent, skin.accent_dark, 0.35))


def draw_rule_with_diamond(draw, y, x0, x1, skin):
    mid = (x0 + x1) // 2
    draw.line((x0, y, mid - 8, y), fill=skin.accent_dark)
    draw.line((mid + 8, y, x1, y), fill=skin.accent_dark)
    draw.polygon([(mid - 5, y), (mid, y - 4), (mid + 5, y), (mid, y + 4)], fill=skin.accent)


def night_background():
    skin = NIGHT
    size = WINDOW_SIZE
    img = vertical_gradient(
        size,
        [
            (0.0, hex_rgb("#04071a")),
            (0.25, hex_rgb("#0a1233")),
            (0.55, hex_rgb("#16275a")),
            (0.8, hex_rgb("#0d1a40")),
            (1.0, hex_rgb("#070d24")),
        ],
    )
    # Faint nebula clouds give the sky depth; kept below the title band.
    for centre, radius, colour, strength in [
        ((250, 95), 90, hex_rgb("#3a2a7a"), 0.35),
        ((70, 215), 80, hex_rgb("#1d4a8a"), 0.30),
        ((300, 230), 60, hex_rgb("#2c2466"), 0.25),
    ]:
        img = Image.alpha_composite(
            img.convert("RGBA"), radial_glow(size, centre, radius, colour, strength)
        ).convert("RGB")

    rng = random.Random(5813)
    draw_stars(img, rng, 110, avoid=[panel_rect(), slider_well_rect(), (70, 20, 339, 54)])
    # The title line crosses the top of the sky: only the faintest stars there.
    draw_stars(img, random.Random(77), 14, avoid=[(0, 0, 339, 19), (0, 56, 339, 287), (0, 0, 70, 60)], brightest=100)
    draw_crescent(img, skin, (38, 36), 17)

    draw = ImageDraw.Draw(img)
    draw_rule_with_diamond(draw, 64, 24, 315, skin)
    # Wordmark between the title band and the buttons.
    mark_font = font("LiberationSerif-Regular.ttf", 15)
    left, right = spaced_text(draw, 170, 80, "LUMORA", mark_font, skin.accent, 7)
    for x in (left - 40, right + 10):
        draw.line((x, 90, x + 30, 90), fill=skin.accent_dark)

    draw_panel(img, skin, inner_rim=hex_rgb("#0b1431"))
    draw_slider_well(img, skin, hex_rgb("#070d22"))
    draw_frame(img, skin)
    return img


def plum_background():
    skin = PLUM
    size = WINDOW_SIZE
    img = vertical_gradient(
        size,
        [
            (0.0, hex_rgb("#120612")),
            (0.2, hex_rgb("#1c0a1c")),
            (0.5, hex_rgb("#3a1638")),
            (0.85, hex_rgb("#240c24")),
            (1.0, hex_rgb("#140614")),
        ],
    )
    # Art-deco sunburst rising from behind the button panel.
    rays = Image.new("RGBA", size, (0, 0, 0, 0))
    rd = ImageDraw.Draw(rays)
    cx, cy = 170, 168
    for i in range(36):
        if i % 2:
            continue
        a0 = math.radians(i * 10 - 90 - 2.5 + 180)
        a1 = math.radians(i * 10 - 90 + 2.5 + 180)
        r = 400
        rd.polygon(
            [(cx, cy), (cx + r * math.cos(a0), cy + r * math.sin(a0)),
             (cx + r * math.cos(a1), cy + r * math.sin(a1))],
            fill=skin.accent + (14,),
        )
    rays = rays.filter(ImageFilter.GaussianBlur(1))
    # Fade the rays out towards the title bar so it stays calm and dark.
    fade = Image.linear_gradient("L").resize(size).point(lambda v: min(255, max(0, (v - 40) * 2)))
    rays.putalpha(ImageChops.multiply(rays.getchannel("A"), fade))
    img = Image.alpha_composite(img.convert("RGBA"), rays).convert("RGB")

    draw = ImageDraw.Draw(img)
    # Title bar: darker strip with a double copper rule beneath it.
    draw.rectangle((0, 0, size[0] - 1, 37), fill=hex_rgb("#0e040e"))
    draw.line((0, 38, size[0], 38), fill=skin.accent)
    draw.line((0, 40, size[0], 40), fill=skin.accent_dark)

    # Emblem: a deco fan of tapering copper blades above the wordmark.
    ex, ey = 170, 78
    k = SUPERSAMPLE
    fan = Image.new("L", (96 * k, 48 * k), 0)
    fd = ImageDraw.Draw(fan)
    ox, oy = fan.width // 2, fan.height
    for blade in range(9):
        a = math.radians(180 + 10 + blade * 20)
        length = (40 if blade % 2 == 0 else 31) * k
        spread = math.radians(3.2)
        tip = (ox + length * math.cos(a), oy + length * math.sin(a))
        base_l = (ox + 12 * k * math.cos(a - spread * 2), oy + 12 * k * math.sin(a - spread * 2))
        base_r = (ox + 12 * k * math.cos(a + spread * 2), oy + 12 * k * math.sin(a + spread * 2))
        fd.polygon([base_l, tip, base_r], fill=255)
    fd.pieslice((ox - 11 * k, oy - 11 * k, ox + 11 * k, oy + 11 * k), 180, 360, fill=255)
    fd.arc((ox - 45 * k, oy - 45 * k, ox + 45 * k, oy + 45 * k), 185, 355, fill=150, width=k)
    fan = fan.resize((96, 48), Image.LANCZOS)
    copper = vertical_gradient((96, 48), [(0, skin.accent_light), (0.6, skin.accent), (1, skin.accent_dark)])
    img.paste(copper, (ex - 48, ey - 36), fan)
    draw = ImageDraw.Draw(img)
    mark_font = font("LiberationSerif-Bold.ttf", 14)
    spaced_text(draw, 170, 88, "LUMORA", mark_font, skin.accent_light, 6)
    draw.line((60, 96, 120, 96), fill=skin.accent_dark)
    draw.line((220, 96, 280, 96), fill=skin.accent_dark)

    draw_panel(img, skin, inner_rim=hex_rgb("#1d0a1e"))
    draw_slider_well(img, skin, hex_rgb("#160716"))

    # Copper corner brackets below the title bar.
    for x, dx in ((8, 1), (331, -1)):
        draw.line((x, 46, x, 70), fill=skin.accent)
        draw.line((x, 46, x + 24 * dx, 46), fill=skin.accent)
        draw.line((x, 270, x, 246), fill=skin.accent)
        draw.line((x, 270, x + 24 * dx, 270), fill=skin.accent)
    draw.rectangle((0, 0, size[0] - 1, VISIBLE_HEIGHT - 1), outline=hex_rgb("#0a020a"))
    return img


def save_jpeg(img, path):
    img.save(path, "JPEG", quality=92, progressive=True, optimize=True, subsampling=0)


# --------------------------------------------------------------------------------------
# Buttons
# --------------------------------------------------------------------------------------


def draw_play_glyph(draw, box, fill):
    x0, y0, x1, y1 = box
    draw.polygon([(x0, y0), (x1, (y0 + y1) / 2), (x0, y1)], fill=fill)


def draw_pause_glyph(draw, box, fill):
    x0, y0, x1, y1 = box
    bar = (x1 - x0) * 0.36
    draw.rectangle((x0, y0, x0 + bar, y1), fill=fill)
    draw.rectangle((x1 - bar, y0, x1, y1), fill=fill)


def draw_stop_glyph(draw, box, fill):
    draw.rectangle(box, fill=fill)


GLYPHS = {"Play": draw_play_glyph, "Pause": draw_pause_glyph, "Stop": draw_stop_glyph}


def ellipse_mask(size, box):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).ellipse(box, fill=255)
    return mask


def render_button(skin, word, pressed):
    """Returns (RGB image blended on the matte, coverage mask) at final size."""
    s = SUPERSAMPLE
    w, h = BUTTON_SIZE[0] * s, BUTTON_SIZE[1] * s
    canvas = Image.new("RGB", (w, h), skin.matte)
    outer = (1 * s, 1 * s, w - 1 * s - 1, h - 1 * s - 1)
    rim = 3 * s
    inner = (outer[0] + rim, outer[1] + rim, outer[2] - rim, outer[3] - rim)

    # A soft dark shadow under the released button lifts it off the panel.
    coverage = ellipse_mask((w, h), outer)
    if not pressed:
        shadow_mask = ellipse_mask((w, h), (outer[0], outer[1] + s, outer[2], outer[3] + s))
        canvas.paste(mix(skin.matte, (0, 0, 0), 0.55), (0, 0), shadow_mask)

    # Metallic rim: light at the top, dark at the bottom (reversed when pressed in).
    rim_stops = [(0, skin.accent_light), (0.45, skin.accent), (1, skin.accent_dark)]
    if pressed:
        rim_stops = [(0, skin.accent_dark), (0.55, skin.accent), (1, skin.accent_light)]
    canvas.paste(vertical_gradient((w, h), rim_stops), (0, 0), coverage)
    # A thin dark line between rim and body gives the bevel a crisp step.
    groove = (inner[0] - s, inner[1] - s, inner[2] + s, inner[3] + s)
    canvas.paste(mix(skin.accent_dark, (0, 0, 0), 0.5), (0, 0), ellipse_mask((w, h), groove))

    body_mask = ellipse_mask((w, h), inner)
    if pressed:
        body = vertical_gradient((w, h), [(0, skin.pressed_top), (1, skin.pressed_bottom)])
    else:
        middle = mix(skin.body_top, skin.body_bottom, 0.6)
        body = vertical_gradient((w, h), [(0, skin.body_top), (0.6, middle), (1, skin.body_bottom)])
    canvas.paste(body, (0, 0), body_mask)

    if pressed:
        # Inner shadow along the top edge: the button is pushed into the panel.
        shade = Image.new("L", (w, h), 0)
        ImageDraw.Draw(shade).ellipse(inner, fill=170)
        ImageDraw.Draw(shade).ellipse((inner[0], inner[1] + 5 * s, inner[2], inner[3] + 5 * s), fill=0)
        shade = shade.filter(ImageFilter.GaussianBlur(3 * s))
        canvas.paste((0, 0, 0), (0, 0), ImageChops.multiply(shade, body_mask))
    else:
        # Glossy highlight on the upper half of the body.
        gloss_box = (inner[0] + 8 * s, inner[1] + 2 * s, inner[2] - 8 * s, (inner[1] + inner[3]) // 2 + s)
        gloss = ellipse_mask((w, h), gloss_box)
        fade = Image.linear_gradient("L").rotate(180).resize((w, gloss_box[3] - gloss_box[1]))
        fade_full = Image.new("L", (w, h), 0)
        fade_full.paste(fade.point(lambda v: v * 90 // 255), (0, gloss_box[1]))
        canvas.paste((255, 255, 255), (0, 0), ImageChops.multiply(gloss, fade_full))
        # A faint glint of reflected light along the bottom of the body.
        glint = Image.new("L", (w, h), 0)
        glint_box = (inner[0] + 16 * s, inner[3] - 10 * s, inner[2] - 16 * s, inner[3] - 2 * s)
        ImageDraw.Draw(glint).ellipse(glint_box, fill=40)
        glint = glint.filter(ImageFilter.GaussianBlur(2 * s))
        canvas.paste(skin.accent_light, (0, 0), ImageChops.multiply(glint, body_mask))

    draw_caption(canvas, skin, word, pressed)
    rgb = canvas.resize(BUTTON_SIZE, Image.LANCZOS)
    mask = coverage.resize(BUTTON_SIZE, Image.BOX)
    return rgb, mask


def draw_caption(canvas, skin, word, pressed):
    s = SUPERSAMPLE
    w, h = canvas.size
    name, size = skin.button_font
    fnt = font(name, size * s)
    layer = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    glyph = 11 * s
    gap = 5 * s
    text_w = d.textlength(word, font=fnt)
    total = glyph + gap + text_w
    shift = s if pressed else 0  # pressed content moves down-right by one pixel
    x = (w - total) / 2 + shift
    _, ink_top, _, ink_bottom = d.textbbox((0, 0), word, font=fnt)
    # Centre the inked letters, not the font's line box, so the word sits mid-oval.
    y = (h - (ink_bottom - ink_top)) / 2 - ink_top + shift
    mid = y + (ink_top + ink_bottom) / 2
    glyph_box = (x, mid - glyph / 2, x + glyph, mid + glyph / 2)
    colour = skin.text_pressed if pressed else skin.text

    def paint(target, dx, dy, fill):
        target.text((x + glyph + gap + dx, y + dy), word, font=fnt, fill=fill)
        box = (glyph_box[0] + dx, glyph_box[1] + dy, glyph_box[2] + dx, glyph_box[3] + dy)
        GLYPHS[word](target, box, fill)

    # Engraved look: a soft dark shadow below, then the lettering.
    shadow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    paint(ImageDraw.Draw(shadow), 0, s, (0, 0, 0, 200))
    shadow = shadow.filter(ImageFilter.GaussianBlur(s * 0.8))
    canvas.paste(Image.alpha_composite(canvas.convert("RGBA"), shadow).convert("RGB"))
    paint(d, 0, 0, colour + (255,))
    canvas.paste(Image.alpha_composite(canvas.convert("RGBA"), layer).convert("RGB"))


def to_transparent_gif(rgb, mask, matte):
    """Quantises to 255 colours and reserves index 255 for 'show the background'."""
    quantised = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = quantised.getpalette()[: 255 * 3]
    palette += [0, 0, 0] * (255 - len(palette) // 3)
    palette += list(matte)
    quantised.putpalette(palette)
    outside = mask.point(lambda v: 255 if v == 0 else 0)
    quantised.paste(TRANSPARENT_INDEX, (0, 0), outside)
    return quantised


def save_gif(img, path):
    img.save(path, "GIF", transparency=TRANSPARENT_INDEX, optimize=False)


# --------------------------------------------------------------------------------------
# Icon
# --------------------------------------------------------------------------------------


def make_icon():
    """A gold eighth note on a night-blue disc, 48x48 with a 256-entry palette."""
    skin = NIGHT
    s = 8
    size = 48 * s
    disc_box = (1 * s, 1 * s, 47 * s - 1, 47 * s - 1)
    coverage = ellipse_mask((size, size), disc_box)
    art = vertical_gradient((size, size), [(0, hex_rgb("#2f52ad")), (1, hex_rgb("#08102e"))])
    rim = Image.new("L", (size, size), 0)
    ImageDraw.Draw(rim).ellipse(disc_box, outline=255, width=2 * s)
    art.paste(vertical_gradient((size, size), [(0, skin.accent_light), (1, skin.accent_dark)]), (0, 0), rim)
    # Grooves of a record around the note.
    d = ImageDraw.Draw(art)
    for r in (17, 14):
        c = size // 2
        d.ellipse((c - r * s, c - r * s, c + r * s, c + r * s), outline=hex_rgb("#1d3470"), width=s // 2)
    # The note: head, stem and flag.
    note = Image.new("L", (size, size), 0)
    nd = ImageDraw.Draw(note)
    head = (14 * s, 28 * s, 25 * s, 36 * s)
    nd.ellipse(head, fill=255)
    nd.rectangle((22 * s, 11 * s, 25 * s - 1, 32 * s), fill=255)
    nd.polygon([(22 * s, 11 * s), (33 * s, 17 * s), (33 * s, 24 * s), (25 * s, 19 * s)], fill=255)
    note = note.rotate(-8, resample=Image.BICUBIC, center=(size / 2, size / 2))
    art.paste((0, 0, 0), (3 * s // 2, 3 * s // 2), note.filter(ImageFilter.GaussianBlur(s)))
    art.paste(vertical_gradient((size, size), [(0, skin.accent_light), (1, skin.accent)]), (0, 0), note)

    rgb = art.resize((48, 48), Image.LANCZOS)
    alpha = coverage.resize((48, 48), Image.BOX)
    rgba = rgb.convert("RGBA")
    rgba.putalpha(alpha)
    # Fold the edge coverage into a 16-level alpha so the palette keeps room for colour.
    rgba.putalpha(alpha.point(lambda v: 0 if v == 0 else min(255, (v + 8) // 17 * 17)))
    return quantise_rgba(rgba)


def quantise_rgba(rgba):
    """Palette image with 256 entries; per-entry alpha goes to the PNG tRNS chunk."""
    rgb = rgba.convert("RGB")
    partial = sorted({(px, a) for px, a in zip(rgb.getdata(), rgba.getchannel("A").getdata()) if 0 < a < 255})
    solid = rgb.quantize(colors=255 - len(partial) - 1, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = solid.getpalette()[: (255 - len(partial) - 1) * 3]
    palette += [0, 0, 0] * ((255 - len(partial) - 1) - len(palette) // 3)
    alphas = [255] * (len(palette) // 3)
    lookup = {}
    for px, a in partial:
        lookup[(px, a)] = len(alphas)
        palette += list(px)
        alphas.append(a)
    while len(alphas) < 255:
        palette += [0, 0, 0]
        alphas.append(255)
    palette += [0, 0, 0]  # index 255: fully transparent
    alphas.append(0)
    out = Image.new("P", rgba.size, 255)
    out.putpalette(palette)
    data = list(solid.getdata())
    a_data = list(rgba.getchannel("A").getdata())
    rgb_data = list(rgb.getdata())
    pixels = []
    for i, a in enumerate(a_data):
        if a == 255:
            pixels.append(data[i])
        elif a == 0:
            pixels.append(255)
        else:
            pixels.append(lookup[(rgb_data[i], a)])
    out.putdata(pixels)
    out.info["transparency"] = bytes(alphas)
    return out


# --------------------------------------------------------------------------------------


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--data", default=os.path.join(here, "..", "data"))
    parser.add_argument("--packaging", default=os.path.join(here, "..", "packaging"))
    args = parser.parse_args()
    os.makedirs(args.data, exist_ok=True)
    os.makedirs(args.packaging, exist_ok=True)

    save_jpeg(night_background(), os.path.join(args.data, "FirstUI.jpg"))
    save_jpeg(plum_background(), os.path.join(args.data, "SecondUI.jpg"))
    for skin in (NIGHT, PLUM):
        for number, word in enumerate(BUTTON_WORDS, start=1):
            for pressed, suffix in ((False, "up"), (True, "")):
                rgb, mask = render_button(skin, word, pressed)
                gif = to_transparent_gif(rgb, mask, skin.matte)
                save_gif(gif, os.path.join(args.data, f"{skin.name}UIb{number}3{suffix}.gif"))
    make_icon().save(os.path.join(args.packaging, "lumora.png"), "PNG", optimize=True)


if __name__ == "__main__":
    main()

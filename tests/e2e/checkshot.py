#!/usr/bin/python3
"""Checks a screenshot of the player against the skin pictures it should show.

Usage: checkshot.py <screenshot> <data folder> <client x> <client y> [pressed button 1-3]
Prints the skin it recognised ("first" or "second") and fails when any button or the background
does not show that skin's picture at its place. A button shows its released picture unless it is
the pressed one.
"""
import os
import sys

from PIL import Image

BUTTONS = {1: (16, 128), 2: (120, 128), 3: (224, 128)}
BUTTON_SIZE = (100, 60)
# Between the buttons and the slider nothing but the background picture is drawn.
BACKGROUND_BAND = (0, 194, 340, 226)
SKINS = {"first": "FirstUI.jpg", "second": "SecondUI.jpg"}

# Qt and PIL decode the same files with different rounding, and the GIFs' transparent pixels
# show the background; a pixel counts as different only beyond this much in some channel.
TOLERANCE = 40
MOST_DIFFERENT = 0.01
LEAST_DIFFERENT_FROM_OTHER_SKIN = 0.10


def load_picture(folder, name):
    for entry in os.listdir(folder):
        if entry.lower() == name.lower():
            return Image.open(os.path.join(folder, entry)).convert("RGBA")
    sys.exit(f"checkshot: {name} is not in {folder}")


def different_fraction(shot, picture, left, top):
    """Fraction of the picture's opaque pixels that the screenshot shows otherwise."""
    region = shot.crop((left, top, left + picture.width, top + picture.height))
    counted = different = 0
    for seen, wanted in zip(region.getdata(), picture.getdata()):
        if wanted[3] < 255:
            continue
        counted += 1
        if max(abs(seen[i] - wanted[i]) for i in range(3)) > TOLERANCE:
            different += 1
    return different / counted if counted else 1.0


def button_picture(folder, skin, number, pressed):
    return load_picture(folder, f"{skin}UIb{number}3{'' if pressed else 'up'}.gif")


def background_difference(shot, folder, skin, left, top):
    picture = load_picture(folder, SKINS[skin]).crop(BACKGROUND_BAND)
    return different_fraction(shot, picture, left + BACKGROUND_BAND[0], top + BACKGROUND_BAND[1])


def main():
    shot_path, folder, left, top = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    pressed = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    shot = Image.open(shot_path).convert("RGBA")

    scores = {}
    for skin in SKINS:
        scores[skin] = {
            number: different_fraction(shot, button_picture(folder, skin, number,
                                                             number == pressed), left + x, top + y)
            for number, (x, y) in BUTTONS.items()
        }
        scores[skin]["background"] = background_difference(shot, folder, skin, left, top)
    skin = min(SKINS, key=lambda name: sum(scores[name].values()))
    other = next(name for name in SKINS if name != skin)
    print(skin)
    for part, fraction in scores[skin].items():
        print(f"  {part}: {fraction:.4f} of pixels differ (other skin {scores[other][part]:.4f})",
              file=sys.stderr)

    failures = [part for part, fraction in scores[skin].items() if fraction > MOST_DIFFERENT]
    # The two backgrounds are alike between the buttons and the slider; the buttons tell them apart.
    unclear = [part for part in BUTTONS if scores[other][part] < LEAST_DIFFERENT_FROM_OTHER_SKIN]
    if failures:
        sys.exit(f"checkshot: {skin} skin, but {failures} do not show its pictures")
    if unclear:
        sys.exit(f"checkshot: {unclear} look alike in both skins, so the check proves nothing")


if __name__ == "__main__":
    main()

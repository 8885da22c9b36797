#!/usr/bin/python3
"""Checks the committed artwork and demo songs against what the player expects.

    check_assets.py SOURCE_DIR

Prints one line per problem and exits non-zero if there was any.
"""

import os
import sys

from PIL import Image

SOURCE = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
sys.path.insert(0, os.path.join(SOURCE, "tools"))
sys.dont_write_bytecode = True
import midifile  # noqa: E402

DATA = os.path.join(SOURCE, "data")

BACKGROUNDS = ["FirstUI.jpg", "SecondUI.jpg"]
BUTTONS = [
    f"{skin}UIb{number}3{state}.gif" for skin in ("first", "second") for number in (1, 2, 3) for state in ("up", "")
]
SONG_STEMS = [
    "k58belfr", "k58harbr", "k58thrnw", "k58saff2", "k58cragm", "k58dusk", "mp_amb", "mp_grove",
    "k58hwea2", "k58quays", "k58lmp", "k58tavn", "mp_lite", "k58neri", "k58alder", "mp_maren",
    "mp_seasn", "mp_ilsa", "qelgoe", "ms_pavan", "ms_capri", "ms_fanfa", "m8_thren", "ms_aubde",
    "k58sanc2", "k58frost", "k58pell", "ms_rOswi", "k58prlog", "ms_elder", "k58titl", "k58sprit",
    "k58bdg", "k58corvn",
]
MAX_TOTAL_SONG_BYTES = 300 * 1024
SONG_SECONDS = (30.0, 90.0)

problems = []


def problem(name, text):
    problems.append(f"FAIL: {name}: {text}")


def check_background(name):
    with Image.open(os.path.join(DATA, name)) as im:
        if im.format != "JPEG":
            problem(name, f"is {im.format}, not JPEG")
        if im.size != (340, 288):
            problem(name, f"is {im.size[0]}x{im.size[1]}, expected 340x288")
        if not im.info.get("progressive"):
            problem(name, "is not a progressive JPEG")
        # The title line is pale text drawn straight on the picture: the band under it
        # has to stay dark for it to be readable.
        band = im.convert("L").crop((0, 0, 340, 60))
        mean = sum(band.getdata()) / (340 * 60)
        if mean > 80:
            problem(name, f"title band is too light (mean luminance {mean:.0f})")


def check_button(name):
    with Image.open(os.path.join(DATA, name)) as im:
        if im.format != "GIF":
            problem(name, f"is {im.format}, not GIF")
        if im.size != (100, 60):
            problem(name, f"is {im.size[0]}x{im.size[1]}, expected 100x60")
        if im.mode != "P" or len(im.getpalette()) != 256 * 3:
            problem(name, "is not a 256-colour palette image")
        if getattr(im, "n_frames", 1) != 1:
            problem(name, "has more than one frame")
        if im.info.get("transparency") != 255:
            problem(name, f"transparent index is {im.info.get('transparency')}, expected 255")
        # Outside the oval the background must show through; the middle is the button.
        corners = [im.getpixel(p) for p in ((0, 0), (99, 0), (0, 59), (99, 59))]
        if corners != [255] * 4:
            problem(name, "corners are not transparent")
        if im.getpixel((50, 30)) == 255 or im.getpixel((50, 5)) == 255:
            problem(name, "the button face is transparent")


def check_icon():
    name = "packaging/lumora.png"
    with Image.open(os.path.join(SOURCE, name)) as im:
        if im.format != "PNG" or im.size != (48, 48):
            problem(name, f"is {im.format} {im.size}, expected a 48x48 PNG")
        if im.mode != "P" or len(im.getpalette()) != 256 * 3:
            problem(name, "is not a 256-colour palette image")


def check_song(stem):
    name = stem + ".mid"
    with open(os.path.join(DATA, name), "rb") as f:
        data = f.read()
    try:
        fmt, division, tracks = midifile.parse(data)
        seconds = midifile.duration_seconds(data)
    except (ValueError, IndexError) as error:
        problem(name, f"does not parse: {error}")
        return 0
    if fmt != 1 or len(tracks) < 3:
        problem(name, f"format {fmt} with {len(tracks)} tracks, expected format 1 with parts")
    if not any(meta_type == midifile.META_TEMPO for _, meta_type, _ in tracks[0].meta):
        problem(name, "conductor track has no tempo")
    for track in tracks[1:]:
        if not track.name:
            problem(name, "a track has no name")
        channels = {status & 0x0F for _, status, _ in track.events}
        has_program = any(status & 0xF0 == midifile.PROGRAM for _, status, _ in track.events)
        if channels != {9} and not has_program:
            problem(name, f"track {track.name} sets no instrument")
        if not any(status & 0xF0 == midifile.NOTE_ON and d[1] for _, status, d in track.events):
            problem(name, f"track {track.name} plays nothing")
    if not SONG_SECONDS[0] <= seconds <= SONG_SECONDS[1]:
        problem(name, f"lasts {seconds:.1f} s, expected {SONG_SECONDS[0]:.0f} to {SONG_SECONDS[1]:.0f}")
    return len(data)


def main():
    present = set(os.listdir(DATA))
    expected = set(BACKGROUNDS) | set(BUTTONS) | {stem + ".mid" for stem in SONG_STEMS}
    for name in sorted(expected - present):
        problem(name, "is missing (names are compared case-sensitively)")
    for name in sorted(present - expected):
        problem(name, "is not one of the expected pictures or songs")
    pictures = [n for n in BACKGROUNDS + BUTTONS if n in present]
    songs = [s for s in SONG_STEMS if s + ".mid" in present]

    for name in BACKGROUNDS:
        if name in present:
            check_background(name)
    for name in BUTTONS:
        if name in present:
            check_button(name)
    check_icon()
    total = sum(check_song(stem) for stem in songs)
    if total > MAX_TOTAL_SONG_BYTES:
        problem("songs", f"take {total} bytes together, more than {MAX_TOTAL_SONG_BYTES}")

    for line in problems:
        print(line)
    print(f"{len(pictures)} pictures, {len(songs)} songs ({total} bytes) checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Composes Lumora's demo songs as Standard MIDI Files.

Each song is described by a few musical choices (key, mode, meter, tempo, chord
progressions, General MIDI instruments and accompaniment styles) in SONGS below;
the melodies are grown from short motifs with a seeded random generator, so every
run writes the same bytes.

    make_songs.py [--data DIR] [--list]
"""

import argparse
import os
import random
import sys

sys.dont_write_bytecode = True  # keep tools/ free of caches
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import midifile  # noqa: E402

PPQ = 480
UNIT = PPQ // 4  # one sixteenth note; all rhythms below count in these units
DRUM_CHANNEL = 9

SCALES = {
    "major": [0, 2, 4, 5, 7, 9, 11],
    "minor": [0, 2, 3, 5, 7, 8, 10],
    "dorian": [0, 2, 3, 5, 7, 9, 10],
    "mixolydian": [0, 2, 4, 5, 7, 9, 10],
    "lydian": [0, 2, 4, 6, 7, 9, 11],
}
TONICS = {"C": 0, "C#": 1, "Db": 1, "D": 2, "Eb": 3, "E": 4, "F": 5, "F#": 6, "G": 7, "Ab": 8, "A": 9, "Bb": 10, "B": 11}
# Sharps (+) or flats (-) of the major key on each pitch class, for the key signature.
MAJOR_SIGNATURE = {0: 0, 7: 1, 2: 2, 9: 3, 4: 4, 11: 5, 6: 6, 1: -5, 8: -4, 3: -3, 10: -2, 5: -1}


class Meter:
    """A melody 'cell' is the unit the phrase grammar works in: one bar, or two short bars."""

    def __init__(self, numerator, denominator, bar_units, cell_units, beat_units, strong, click):
        self.numerator = numerator
        self.denominator = denominator
        self.bar_units = bar_units
        self.cell_units = cell_units
        self.beat_units = beat_units
        self.strong = strong
        self.click = click


METERS = {
    "4/4": Meter(4, 4, 16, 16, 4, (0, 8), 24),
    "2/4": Meter(2, 4, 8, 16, 4, (0, 8), 24),
    "3/4": Meter(3, 4, 12, 12, 4, (0,), 24),
    "6/8": Meter(6, 8, 12, 12, 6, (0, 6), 36),
}

# Bar rhythms for the melody (durations in sixteenths), per cell length.
RHYTHMS = {
    16: [
        [4, 4, 4, 4],
        [4, 2, 2, 4, 4],
        [6, 2, 4, 4],
        [2, 2, 4, 4, 4],
        [4, 4, 8],
        [6, 2, 6, 2],
        [4, 2, 2, 8],
        [8, 4, 4],
        [2, 2, 2, 2, 4, 4],
        [3, 1, 4, 4, 4],
        [4, 4, 2, 2, 4],
        [8, 2, 2, 4],
    ],
    12: [
        [4, 4, 4],
        [6, 2, 4],
        [4, 2, 2, 4],
        [8, 4],
        [2, 2, 4, 4],
        [4, 6, 2],
        [6, 2, 2, 2],
        [4, 4, 2, 2],
    ],
}
RHYTHMS_68 = [
    [4, 2, 4, 2],
    [6, 4, 2],
    [2, 2, 2, 4, 2],
    [4, 2, 6],
    [2, 2, 2, 2, 2, 2],
    [6, 2, 2, 2],
    [4, 2, 2, 2, 2],
]
# Cadence cells open with the long arrival note; what follows leads on.
CADENCE_RHYTHMS = {16: [[12, 4], [8, 4, 4], [16]], 12: [[8, 4], [12]]}
CADENCE_RHYTHMS_68 = [[6, 4, 2], [12], [10, 2]]

# Lowest comfortable melody note per General MIDI program.
MELODY_LOW = {
    0: 60, 6: 57, 8: 67, 9: 76, 10: 60, 11: 60, 12: 57, 13: 69, 14: 57, 15: 60, 19: 55,
    21: 57, 22: 60, 24: 55, 40: 62, 41: 55, 42: 45, 46: 55, 52: 55, 53: 55, 56: 57,
    57: 45, 60: 55, 61: 53, 68: 62, 69: 55, 70: 48, 71: 55, 72: 72, 73: 66, 74: 65,
    75: 62, 77: 57, 78: 62, 79: 62, 108: 60, 110: 62, 112: 72, 48: 55, 49: 55,
}
PLUCKED = {6, 8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 45, 46, 105, 107, 108, 112}


def parse_chord(token):
    """'5!7' = chord on the 5th degree, raised leading tone, with a seventh."""
    raised = "!" in token
    seventh = token.endswith("7") and len(token.replace("!", "")) > 1
    return (int(token[0]) - 1, raised, seventh)


class Harmony:
    def __init__(self, tonic_pc, mode):
        self.tonic_pc = tonic_pc
        self.scale = SCALES[mode]
        self.minorish = self.scale[2] == 3

    def pitch(self, idx, base, chord=None):
        """MIDI pitch of scale index idx (0 = tonic at MIDI base)."""
        octave, degree = divmod(idx, 7)
        semis = self.scale[degree]
        if chord and chord[1] and degree == 6 and semis == 10:
            semis = 11  # leading tone under a dominant chord in minor modes
        return base + 12 * octave + semis

    @staticmethod
    def tones(chord):
        root, _, seventh = chord
        degrees = [root, root + 2, root + 4] + ([root + 6] if seventh else [])
        return {d % 7 for d in degrees}

    def pitch_classes(self, chord):
        stacked = sorted(self.tones(chord), key=lambda d: (d - chord[0]) % 7)  # root, third, fifth
        return [self.pitch(d, self.tonic_pc, chord) % 12 for d in stacked]


# --------------------------------------------------------------------------------------
# Melody


class Motif:
    def __init__(self, rhythm, steps):
        self.rhythm = rhythm
        self.steps = steps


def make_steps(rng, count, shape):
    steps = [0]
    for i in range(1, count):
        phase = i / count
        if shape == "arch":
            direction = 1 if phase <= 0.5 else -1
        elif shape == "rise":
            direction = 1 if rng.random() < 0.75 else -1
        elif shape == "fall":
            direction = -1 if rng.random() < 0.75 else 1
        else:
            direction = 1 if i % 2 else -1
        size = rng.choices([0, 1, 2, 3, 4], weights=[6, 50, 28, 11, 5])[0]
        previous = steps[-1]
        if abs(previous) >= 3:
            # Fill the gap after a leap by stepping back the other way.
            size, direction = 1, -1 if previous > 0 else 1
        steps.append(direction * size)
    return steps


def make_motif(rng, rhythms, shape=None):
    rhythm = rng.choice(rhythms)
    shape = shape or rng.choice(["arch", "rise", "fall", "wave"])
    return Motif(rhythm, make_steps(rng, len(rhythm), shape))


def varied(rng, motif):
    """Same rhythm, a new tail: the ear hears the motif again, not a copy."""
    steps = list(motif.steps)
    if len(steps) > 2:
        steps[-1] = -steps[-1] if steps[-1] else rng.choice([-1, 1])
        if rng.random() < 0.5:
            steps[-2] = rng.choice([-2, -1, 1, 2])
    return Motif(motif.rhythm, steps)


class MelodyWriter:
    LOW, HIGH = -3, 9

    def __init__(self, meter, harmony):
        self.meter = meter
        self.harmony = harmony

    def snap(self, target, chord, direction, low=None, high=None):
        """The chord tone nearest to target, preferring to keep moving in direction."""
        tones = self.harmony.tones(chord)
        low = self.LOW if low is None else low
        high = self.HIGH if high is None else high
        candidates = [i for i in range(low, high + 1) if i % 7 in tones]
        return min(candidates, key=lambda i: (abs(i - target), 0 if (i - target) * direction >= 0 else 1))

    def structural(self, pos, dur):
        beat = self.meter.beat_units
        return pos in self.meter.strong or (pos % beat == 0 and dur >= beat // 2 + 1) or dur > beat

    def realize(self, motif, chords, start, previous, previous_chord):
        """Turns a motif into scale indices over the chords of one cell."""
        notes = []
        pos = 0
        cur = previous
        cur_chord = previous_chord
        history = []
        for i, (dur, step) in enumerate(zip(motif.rhythm, motif.steps)):
            chord = chord_at(chords, pos)
            target = start if i == 0 else cur + step
            if target > self.HIGH or target < self.LOW:
                target = cur - step
            direction = 1 if target >= cur else -1
            if i == 0 or self.structural(pos, dur) or abs(target - cur) > 2:
                target = self.snap(target, chord, direction)
            if len(history) >= 2 and history[-1] == history[-2] == target:
                target = self.snap(target + (1 if target < 4 else -1) * 2, chord, 1 if target < 4 else -1)
            if not self.singable(cur, cur_chord, target, chord):
                target = self.nearest_singable(cur, cur_chord, chord)
            cur_chord = chord
            notes.append((pos, dur, target))
            history.append(target)
            cur = target
            pos += dur
        return notes

    def singable(self, a, chord_a, b, chord_b):
        """No tritone leaps and nothing wider than a sixth."""
        interval = abs(self.harmony.pitch(a, 0, chord_a) - self.harmony.pitch(b, 0, chord_b))
        return interval != 6 and (interval <= 9 or interval == 12)

    def nearest_singable(self, cur, cur_chord, chord):
        tones = self.harmony.tones(chord)
        options = [
            i for i in range(self.LOW, self.HIGH + 1) if i % 7 in tones and self.singable(cur, cur_chord, i, chord)
        ]
        return min(options, key=lambda i: (abs(i - cur), i))

    def cadence(self, rhythm, chords, arrival):
        notes = [(0, rhythm[0], arrival)]
        pos, cur = rhythm[0], arrival
        for dur in rhythm[1:]:
            chord = chord_at(chords, pos)
            step = self.snap(cur + 2 if cur < 5 else cur - 2, chord, 1 if cur < 5 else -1)
            cur = step if self.singable(cur, chord, step, chord) else self.nearest_singable(cur, chord, chord)
            notes.append((pos, dur, cur))
            pos += dur
        return notes

    def approach(self, cell_notes, chords, arrival):
        """Lets the last note before a cadence move to the arrival by step."""
        pos, dur, idx = cell_notes[-1]
        chord = chord_at(chords, pos)
        tones = self.harmony.tones(chord)
        options = [arrival + 1, arrival - 1]
        before = cell_notes[-2][2] if len(cell_notes) > 1 else idx
        options.sort(key=lambda i: (0 if i % 7 in tones else 1, abs(i - before)))
        cell_notes[-1] = (pos, dur, options[0])
        # Smooth any leap this opened up, walking back through the cell.
        for j in range(len(cell_notes) - 2, 0, -1):
            p, d, i = cell_notes[j]
            following = cell_notes[j + 1][2]
            chord = chord_at(chords, p)
            following_chord = chord_at(chords, cell_notes[j + 1][0])
            if abs(i - following) <= 3 and self.singable(i, chord, following, following_chord):
                break
            direction = 1 if i > following else -1
            candidate = following + 2 * direction
            if self.structural(p, d):
                candidate = self.snap(candidate, chord, direction)
            cell_notes[j] = (p, d, candidate)


def active(when, section, occurrence):
    """'A+' in a part's sections means: join the tune when it comes back."""
    return section in when or (section == "A" and occurrence > 1 and "A+" in when)


def chord_at(chords, pos):
    current = chords[0][1]
    for start, chord in chords:
        if start <= pos:
            current = chord
    return current


class PhrasePlan:
    """Motifs for one section: its two phrases share an opening, as a period does."""

    def __init__(self, rng, start, rhythms, cadences):
        self.opening = make_motif(rng, rhythms)
        self.echo = varied(rng, self.opening) if rng.random() < 0.5 else self.opening
        self.contrast = make_motif(rng, rhythms, rng.choice(["rise", "arch"]))
        self.contrast2 = varied(rng, self.contrast)
        self.cadence_rhythm = rng.choice(cadences)
        self.start = start


def write_phrase(writer, plan, cells, second, ending, final):
    """Four cells of melody; cells is a list of chord lists; returns per-cell notes."""
    harmony = writer.harmony
    out = []
    home = cells[0][0][1]
    first = writer.realize(plan.opening, cells[0], writer.snap(plan.start, home, 1), plan.start, home)
    out.append(first)
    shift = (cells[1][0][1][0] - cells[0][0][1][0]) % 7
    shift = shift - 7 if shift > 3 else shift
    start2 = writer.snap(first[0][2] + shift, cells[1][0][1], 1 if shift >= 0 else -1)
    out.append(writer.realize(plan.echo, cells[1], start2, first[-1][2], cells[0][-1][1]))
    start3 = writer.snap(out[-1][0][2] + 2, cells[2][0][1], 1)
    motif3 = plan.contrast2 if second else plan.contrast
    out.append(writer.realize(motif3, cells[2], start3, out[-1][-1][2], cells[1][-1][1]))

    last_chord = cells[3][0][1]
    cur = out[-1][-1][2]
    if ending == "full":
        arrival = 7 if cur >= 4 else 0
    else:
        tones = harmony.tones(last_chord)
        arrival = min(
            (i for i in range(0, 9) if i % 7 in tones), key=lambda i: (abs(i - cur), 0 if i % 7 != last_chord[0] else 1)
        )
    writer.approach(out[-1], cells[2], arrival)
    rhythm = [writer.meter.cell_units] if final else plan.cadence_rhythm
    out.append(writer.cadence(rhythm, cells[3], arrival))
    return out


def polish(writer, melody, kinds):
    """Joins phrases smoothly: pickups lead into what follows, and no awkward leaps remain."""
    harmony = writer.harmony

    def tones_near(chord):
        return [i for i in range(writer.LOW, writer.HIGH + 1) if i % 7 in harmony.tones(chord)]

    for n in range(len(melody) - 1):
        if kinds[n] != "pickup":
            continue
        unit, dur, idx, chord = melody[n]
        nxt, previous = melody[n + 1], melody[n - 1]
        options = [i for i in tones_near(chord) if writer.singable(previous[2], previous[3], i, chord)]
        options.sort(
            key=lambda i: (
                not writer.singable(i, chord, nxt[2], nxt[3]),
                abs(i - nxt[2]) + abs(i - previous[2]) / 2,
                i,
            )
        )
        melody[n] = (unit, dur, options[0], chord)

    for n in range(1, len(melody)):
        a, b = melody[n - 1], melody[n]
        if writer.singable(a[2], a[3], b[2], b[3]):
            continue
        # Move whichever note is free; arrivals are where the phrase must land.
        fix = n if kinds[n] != "arrival" else n - 1
        unit, dur, idx, chord = melody[fix]
        before = melody[fix - 1] if fix > 0 else None
        after = melody[fix + 1] if fix + 1 < len(melody) else None
        free = not writer.structural(unit % writer.meter.cell_units, dur)
        candidates = [i for i in range(writer.LOW, writer.HIGH + 1) if free or i % 7 in harmony.tones(chord)]

        def fits(i):
            ok_before = before is None or writer.singable(before[2], before[3], i, chord)
            ok_after = after is None or writer.singable(i, chord, after[2], after[3])
            return (not (ok_before and ok_after), abs(i - idx), i)

        melody[fix] = (unit, dur, min(candidates, key=fits), chord)


# --------------------------------------------------------------------------------------
# Accompaniment


def voicing(pitch_classes, low, high, previous):
    """Close-position chord within [low, high], nearest to the previous voicing."""
    best = None
    for inversion in range(len(pitch_classes)):
        order = pitch_classes[inversion:] + pitch_classes[:inversion]
        for base_octave in range(1, 9):
            notes = []
            floor = base_octave * 12 - 1
            for pc in order:
                p = floor + 1 + (pc - floor - 1) % 12
                notes.append(p)
                floor = p
            if notes[0] < low or notes[-1] > high:
                continue
            cost = sum(abs(a - b) for a, b in zip(sorted(notes), previous)) if previous else abs(
                sum(notes) / len(notes) - (low + high) / 2
            )
            if best is None or cost < best[0]:
                best = (cost, notes)
    return best[1]


ACCOMP_PATTERNS = {
    # (cell units, style): list of (position, duration, which); which picks from
    # [bass-octave root, voicing notes..., top octave], 'chord' = whole voicing.
    (16, "arp"): [(i * 2, 2, w) for i, w in enumerate([0, 1, 2, 3, 4, 3, 2, 1])],
    (12, "arp"): [(i * 2, 2, w) for i, w in enumerate([0, 1, 2, 3, 2, 1])],
    (16, "arp16"): [(i, 1, w) for i, w in enumerate([0, 1, 2, 3, 4, 3, 2, 1] * 2)],
    (12, "arp68"): [(i * 2, 2, w) for i, w in enumerate([0, 2, 3, 4, 3, 2])],
    (16, "alberti"): [(i * 2, 2, w) for i, w in enumerate([1, 3, 2, 3, 1, 3, 2, 3])],
    (12, "alberti"): [(i * 2, 2, w) for i, w in enumerate([1, 3, 2, 3, 2, 3])],
    (16, "strum"): [(0, 3, "chord"), (4, 3, "chord"), (8, 3, "chord"), (12, 3, "chord")],
    (12, "strum"): [(0, 3, "chord"), (4, 3, "chord"), (8, 3, "chord")],
    (16, "block"): [(0, 7, "chord"), (8, 7, "chord")],
    (12, "block"): [(0, 11, "chord")],
    (12, "waltz"): [(4, 3, "chord"), (8, 3, "chord")],
    (16, "oompah"): [(4, 2, "chord"), (12, 2, "chord")],
    (12, "jig"): [(4, 2, "chord"), (10, 2, "chord")],
    (16, "offbeat"): [(2, 2, "chord"), (6, 2, "chord"), (10, 2, "chord"), (14, 2, "chord")],
}

BASS_PATTERNS = {
    # (cell units, style): list of (position, duration, interval) with interval
    # 'root', 'fifth', 'octave', 'third' or 'approach' (step into the next chord).
    (16, "root"): [(0, 16, "root")],
    (12, "root"): [(0, 12, "root")],
    (16, "halves"): [(0, 8, "root"), (8, 8, "fifth")],
    (12, "halves"): [(0, 8, "root"), (8, 4, "fifth")],
    (16, "walk"): [(0, 4, "root"), (4, 4, "third"), (8, 4, "fifth"), (12, 4, "approach")],
    (12, "walk"): [(0, 4, "root"), (4, 4, "fifth"), (8, 4, "approach")],
    (12, "waltz"): [(0, 4, "root")],
    (12, "jig"): [(0, 5, "root"), (6, 5, "fifth")],
    (16, "polka"): [(0, 3, "root"), (8, 3, "fifth")],
    (16, "pulse"): [(i * 2, 2, "octave" if i % 2 else "root") for i in range(8)],
    (12, "pulse"): [(i * 2, 2, "octave" if i % 2 else "root") for i in range(6)],
    (16, "dotted"): [(0, 6, "root"), (6, 2, "fifth"), (8, 8, "root")],
}

DRUM_PATTERNS = {
    (16, "pop"): [(0, 36, 80), (8, 36, 70), (4, 37, 60), (12, 37, 60)]
    + [(i * 2, 42, 50 if i % 2 == 0 else 36) for i in range(8)],
    (16, "march"): [(0, 36, 78), (8, 36, 70), (4, 38, 62), (12, 38, 66), (14, 38, 40), (15, 38, 48)],
    (16, "soft"): [(0, 36, 55), (4, 51, 40), (8, 51, 45), (12, 51, 40), (0, 51, 48), (10, 37, 35)],
    (16, "toms"): [(0, 45, 70), (6, 45, 50), (10, 47, 55), (12, 41, 62)],
    (16, "polka"): [(0, 36, 76), (8, 36, 70), (4, 38, 55), (12, 38, 55)] + [(p, 42, 40) for p in (2, 6, 10, 14)],
    (16, "wood"): [(0, 36, 60), (0, 77, 70), (8, 77, 62), (4, 76, 55), (12, 76, 55), (14, 76, 40)],
    (16, "shaker"): [(0, 36, 62), (8, 36, 50)] + [(i * 2, 82, 45 if i % 2 == 0 else 30) for i in range(8)],
    (16, "claves"): [(0, 45, 62), (8, 45, 55), (0, 75, 50), (6, 75, 45), (12, 75, 50)],
    (16, "pavane"): [(0, 45, 62), (8, 45, 48), (12, 45, 50), (0, 81, 30)],
    (16, "stomp"): [(0, 36, 72), (8, 36, 64), (4, 39, 50), (12, 39, 52), (14, 76, 40)],
    (12, "waltz"): [(0, 36, 62), (4, 42, 38), (8, 42, 38)],
    (12, "jig"): [(0, 36, 75), (6, 36, 62)] + [(i * 2, 54, 58 if i % 3 == 0 else 38) for i in range(6)],
    (12, "galliard"): [(0, 45, 70), (6, 45, 50), (8, 45, 60), (0, 54, 55), (4, 54, 40), (8, 54, 45)],
    (12, "soft"): [(0, 36, 52), (0, 51, 40), (4, 51, 32), (8, 51, 32)],
    (12, "toms"): [(0, 45, 65), (6, 47, 45), (8, 45, 52)],
    (12, "bells"): [(0, 81, 40), (6, 81, 30)],
}


class Part:
    def __init__(self, name, program, channel, volume, pan, reverb, chorus=0):
        self.track = midifile.Track(name)
        self.channel = channel
        if channel != DRUM_CHANNEL:  # channel 10 is the GM kit whatever the program
            self.track.program(0, channel, program)
        self.track.control(0, channel, 7, volume)
        self.track.control(0, channel, 10, pan)
        self.track.control(0, channel, 91, reverb)
        self.track.control(0, channel, 93, chorus)

    def note(self, units, dur_units, pitch, velocity, ticks_gap=0):
        self.track.note(units * UNIT, max(30, dur_units * UNIT - ticks_gap), self.channel, pitch, velocity)


# --------------------------------------------------------------------------------------
# Songs


class Song:
    def __init__(self, recipe):
        self.recipe = recipe
        self.meter = METERS[recipe["meter"]]
        self.harmony = Harmony(TONICS[recipe["key"]], recipe["mode"])
        self.rng = random.Random(recipe["seed"])
        quarter_bpm = recipe["tempo"] * (1.5 if recipe["meter"] == "6/8" else 1)
        self.quarter_bpm = quarter_bpm

    # ---- timeline

    def cell_seconds(self):
        return self.meter.cell_units / 4 * 60 / self.quarter_bpm

    def chords_for(self, token_cell):
        parts = token_cell.split(",")
        span = self.meter.cell_units // len(parts)
        return [(i * span, parse_chord(t)) for i, t in enumerate(parts)]

    def choose_form(self):
        if "form" in self.recipe:
            return self.recipe["form"]
        forms = ["AB", "ABA", "AABA", "ABABA"]
        extra = self.recipe.get("intro", 1) + (1 if self.cell_seconds() >= 2 else 2)
        best = None
        for form in forms:
            seconds = (len(form) * 8 + extra) * self.cell_seconds()
            score = abs(seconds - self.recipe.get("target", 52))
            if 34 <= seconds <= 75 and (best is None or score < best[0]):
                best = (score, form)
        if best is None:
            raise ValueError(f"{self.recipe['stem']}: no form fits the tempo")
        return best[1]

    def build(self):
        recipe, meter, harmony = self.recipe, self.meter, self.harmony
        cell = meter.cell_units
        rhythms = RHYTHMS_68 if recipe["meter"] == "6/8" else RHYTHMS[cell]
        cadences = CADENCE_RHYTHMS_68 if recipe["meter"] == "6/8" else CADENCE_RHYTHMS[cell]
        writer = MelodyWriter(meter, harmony)
        plans = {
            "A": PhrasePlan(self.rng, recipe.get("start", 4), rhythms, cadences),
            "B": PhrasePlan(self.rng, recipe.get("start_b", 7), rhythms, cadences),
        }
        form = self.choose_form()

        # Cells: (chords, section, occurrence, role)
        timeline = []
        for token in recipe.get("intro_chords", ["1"] * recipe.get("intro", 1)):
            timeline.append((self.chords_for(token), "intro", 0, "intro"))
        melody = []  # (unit, dur, idx, chord)
        kinds = []
        occurrences = {}
        for n, section in enumerate(form):
            occurrences[section] = occurrences.get(section, 0) + 1
            last_section = n == len(form) - 1
            progressions = recipe["prog"][section]
            for phrase_no, tokens in enumerate(progressions):
                cells = [self.chords_for(t) for t in tokens.split()]
                final = last_section and phrase_no == len(progressions) - 1
                ending = "full" if phrase_no == len(progressions) - 1 and (section == "A" or final) else "half"
                if final and cells[3][0][1][0] != 0:
                    cells[3] = [(0, (0, False, False))]
                    cells[2] = self.chords_for(recipe.get("final_approach", "5!"))
                    ending = "full"
                cell_notes = write_phrase(writer, plans[section], cells, phrase_no == 1, ending, final)
                for k, (chords, notes) in enumerate(zip(cells, cell_notes)):
                    base = len(timeline) * cell
                    role = "final" if final and k == 3 else "body"
                    timeline.append((chords, section, occurrences[section], role))
                    for j, (pos, dur, idx) in enumerate(notes):
                        melody.append((base + pos, dur, idx, chord_at(chords, pos)))
                        kinds.append("note" if k < 3 else ("arrival" if j == 0 else "pickup"))
        polish(writer, melody, kinds)
        # Quick songs hold their last chord for two cells so the ending is not abrupt.
        hold = recipe.get("hold", 1 if self.cell_seconds() >= 2 else 2)
        for _ in range(hold):
            timeline.append((timeline[-1][0][-1:], "end", 0, "hold"))
        # The last melody note rings through the held cells.
        u, d, idx, ch = melody[-1]
        melody[-1] = (u, d + hold * cell, idx, ch)
        self.timeline = timeline
        self.melody = melody
        return self.render()

    # ---- parts

    def render(self):
        recipe, harmony, meter = self.recipe, self.harmony, self.meter
        cell = meter.cell_units
        tracks = []
        conductor = midifile.Track(recipe["title"])
        conductor.time_signature(0, meter.numerator, meter.denominator, meter.click)
        sharps = MAJOR_SIGNATURE[(harmony.tonic_pc + (3 if harmony.minorish else 0)) % 12]
        conductor.key_signature(0, sharps, harmony.minorish)
        conductor.tempo(0, self.quarter_bpm)
        self.add_ritardando(conductor)
        tracks.append(conductor)

        channels = iter([c for c in range(16) if c != DRUM_CHANNEL])
        reverb = recipe.get("reverb", 60)
        end_units = len(self.timeline) * cell

        mel_prog = recipe["melody"]
        mel_base = self.melody_base(mel_prog)
        lead = Part(recipe.get("melody_name", "Melody"), mel_prog, next(channels), 104, recipe.get("pan", 70), reverb)
        gap = 40 if mel_prog in PLUCKED else 12
        for unit, dur, idx, chord in self.melody:
            pos_in_cell = unit % cell
            accent = 8 if pos_in_cell in meter.strong else (0 if pos_in_cell % meter.beat_units == 0 else -8)
            vel = (84 + accent + self.rng.randint(-3, 3)) * self.dynamics(unit)
            lead.note(unit, dur, harmony.pitch(idx, mel_base, chord), vel, gap)
        tracks.append(lead.track)

        if "double" in recipe:
            program, octave, when = recipe["double"]
            double = Part("Doubling", program, next(channels), 80, 128 - recipe.get("pan", 70), reverb)
            for unit, dur, idx, chord in self.melody:
                if active(when, *self.section_at(unit)[:2]):
                    vel = 70 * self.dynamics(unit)
                    double.note(unit, dur, harmony.pitch(idx, mel_base + 12 * octave, chord), vel, 40)
            tracks.append(double.track)

        if "counter" in recipe:
            tracks.append(self.counter_part(next(channels), mel_base, reverb))

        for key in ("chords", "chords2"):
            if key in recipe:
                tracks.append(self.accompaniment(recipe[key], next(channels), reverb))
        if "pad" in recipe:
            tracks.append(self.pad_part(recipe["pad"], next(channels), reverb))
        tracks.append(self.bass_part(next(channels), reverb))
        if recipe.get("timpani"):
            tracks.append(self.timpani_part(next(channels), reverb))
        if "drums" in recipe:
            tracks.append(self.drum_part(reverb))

        end_tick = end_units * UNIT + PPQ  # a beat of silence lets the last chord decay
        return midifile.encode_file(tracks, PPQ, end_tick)

    def melody_base(self, program):
        """Places the tune's lowest note just above the instrument's floor."""
        low = MELODY_LOW.get(program, 60) + self.recipe.get("melody_shift", 0)
        lowest = min(idx for _, _, idx, _ in self.melody)
        base = self.harmony.tonic_pc
        while self.harmony.pitch(lowest, base) < low:
            base += 12
        return base

    def section_at(self, unit):
        _, section, occurrence, role = self.timeline[min(unit // self.meter.cell_units, len(self.timeline) - 1)]
        return section, occurrence, role

    def dynamics(self, unit):
        section, occurrence, role = self.section_at(unit)
        if role in ("final", "hold"):
            return 1.0
        if section == "intro":
            return 0.85
        if section == "B":
            return 1.04
        return 0.92 if occurrence == 1 else 1.02

    def add_ritardando(self, conductor):
        """Broadens the last two cells before the final chord."""
        cell = self.meter.cell_units
        final_cell = next(i for i, c in enumerate(self.timeline) if c[3] == "final")
        start = (final_cell - 2) * cell
        beats = 2 * cell // self.meter.beat_units
        slow = self.recipe.get("ritardando", 0.25)
        for b in range(1, beats + 1):
            bpm = self.quarter_bpm * (1 - slow * b / beats)
            conductor.tempo((start + b * self.meter.beat_units) * UNIT, bpm)

    def counter_part(self, channel, mel_base, reverb):
        program, style, when = self.recipe["counter"]
        part = Part("Counter", program, channel, 84, 128 - self.recipe.get("pan", 70), reverb)
        writer = MelodyWriter(self.meter, self.harmony)
        cell = self.meter.cell_units
        if style == "thirds":
            for unit, dur, idx, chord in self.melody:
                section, occurrence, role = self.section_at(unit)
                if not active(when, section, occurrence) and role not in ("final", "hold"):
                    continue
                target = idx - 2
                if (unit % cell) in self.meter.strong or dur >= self.meter.beat_units:
                    target = writer.snap(idx - 2, chord, -1)
                    if target >= idx:
                        target = writer.snap(idx - 3, chord, -1)
                vel = 70 * self.dynamics(unit)
                part.note(unit, dur, self.harmony.pitch(target, mel_base, chord), vel, 20)
        else:
            # Long notes: one chord tone per chord, moving as little as possible.
            base = mel_base + {"low": -12, "high": 12}.get(style, 0)
            previous = 4
            for n, (chords, section, occurrence, role) in enumerate(self.timeline):
                if role == "hold" or (not active(when, section, occurrence) and role != "final"):
                    continue
                for k, (pos, chord) in enumerate(chords):
                    end = chords[k + 1][0] if k + 1 < len(chords) else cell
                    if role == "final":
                        end = (len(self.timeline) - n) * cell
                    idx = writer.snap(previous, chord, 1 if previous < 3 else -1, 0, 7)
                    if idx == previous and len(chords) == 1 and n % 2:
                        idx = writer.snap(previous + 2, chord, 1, 0, 7)
                    previous = idx
                    pitch = self.harmony.pitch(idx, base, chord)
                    part.note(n * cell + pos, end - pos, pitch, 62 * self.dynamics(n * cell), 10)
        return part.track

    def accompaniment(self, setting, channel, reverb):
        program, style, low, high, when = setting
        part = Part("Chords", program, channel, 86, 40, reverb, 10)
        cell = self.meter.cell_units
        pattern = ACCOMP_PATTERNS[(cell, style)]
        previous = None
        gap = 0 if program in PLUCKED else 20
        for n, (chords, section, occurrence, role) in enumerate(self.timeline):
            if not active(when, section, occurrence) and role != "hold":
                continue
            for k, (start, chord) in enumerate(chords):
                end = chords[k + 1][0] if k + 1 < len(chords) else cell
                notes = voicing(self.harmony.pitch_classes(chord), low, high, previous)
                previous = notes
                root = notes[0] - (notes[0] - self.harmony.pitch(chord[0], self.harmony.tonic_pc, chord)) % 12
                if root >= notes[0]:
                    root -= 12
                pool = [root] + notes + [notes[0] + 12]
                base_vel = (64 if style in ("arp", "arp16", "arp68", "alberti") else 60) * self.dynamics(n * cell)
                if role == "hold":
                    continue
                if role == "final":
                    length = (len(self.timeline) - n) * cell
                    for p in pool[:-1]:
                        part.note(n * cell + start, length, p, base_vel, 0)
                    continue
                for pos, dur, which in pattern:
                    if not start <= pos < end:
                        continue
                    unit = n * cell + pos
                    if which == "chord":
                        for p in notes:
                            part.note(unit, dur, p, base_vel - 4, gap)
                    else:
                        ring = min(end - pos, 8) if program in PLUCKED else dur
                        accent = 6 if pos == start else 0
                        part.note(unit, ring, pool[min(which, len(pool) - 1)], base_vel + accent, gap)
        return part.track

    def pad_part(self, setting, channel, reverb):
        program, low, high, when = setting
        part = Part("Pad", program, channel, 70, 88, min(127, reverb + 15), 30)
        cell = self.meter.cell_units
        previous = None
        for n, (chords, section, occurrence, role) in enumerate(self.timeline):
            if not active(when, section, occurrence) and role not in ("final", "hold"):
                continue
            if role == "hold":
                continue
            for k, (start, chord) in enumerate(chords):
                end = chords[k + 1][0] if k + 1 < len(chords) else cell
                if role == "final":
                    end = (len(self.timeline) - n) * cell
                notes = voicing(self.harmony.pitch_classes(chord), low, high, previous)
                previous = notes
                for p in notes:
                    part.note(n * cell + start, end - start, p, 52 * self.dynamics(n * cell), 6)
        return part.track

    def bass_part(self, channel, reverb):
        program, style, low = self.recipe["bass"]
        part = Part("Bass", program, channel, 100, 64, max(20, reverb - 25))
        cell = self.meter.cell_units
        pattern = BASS_PATTERNS[(cell, style)]
        harmony = self.harmony
        timeline = self.timeline

        def root_pitch(chord):
            pc = harmony.pitch(chord[0], harmony.tonic_pc, chord) % 12
            return low + (pc - low) % 12

        for n, (chords, section, occurrence, role) in enumerate(timeline):
            if role == "hold":
                continue
            if role == "final":
                part.note(n * cell, (len(timeline) - n) * cell, root_pitch(chords[0][1]), 88, 0)
                continue
            for k, (start, chord) in enumerate(chords):
                end = chords[k + 1][0] if k + 1 < len(chords) else cell
                root = root_pitch(chord)
                if n + 1 < len(timeline) and k + 1 == len(chords):
                    next_root = root_pitch(timeline[n + 1][0][0][1])
                else:
                    next_root = root_pitch(chords[k + 1][1]) if k + 1 < len(chords) else root
                for pos, dur, interval in pattern:
                    if not start <= pos < end:
                        continue
                    if len(chords) > 1 and pos != start and interval != "octave":
                        continue  # two chords per cell: keep the bass on their roots
                    pitch = self.bass_interval(root, chord, interval, next_root)
                    accent = 8 if pos == 0 else 0
                    dur = min(dur, end - pos)
                    part.note(n * cell + pos, dur, pitch, (80 + accent) * self.dynamics(n * cell), 24)
        return part.track

    def bass_interval(self, root, chord, interval, next_root):
        harmony = self.harmony
        if interval == "root":
            return root
        if interval == "octave":
            return root + 12
        def above_root(steps):
            bottom = harmony.pitch(chord[0], harmony.tonic_pc, chord)
            return harmony.pitch(chord[0] + steps, harmony.tonic_pc, chord) - bottom

        if interval == "fifth":
            fifth = root + above_root(4)
            return fifth if fifth <= 55 else fifth - 12
        if interval == "third":
            return root + above_root(2)
        # Approach the next root from the nearest tone of this chord a step or two away,
        # else by the scale step below it (above it in the low register).
        chord_pcs = set(harmony.pitch_classes(chord))
        near = [p for p in range(next_root - 3, next_root + 4) if p != next_root and p % 12 in chord_pcs and p >= 28]
        if near:
            return min(near, key=lambda p: (abs(p - next_root), p))
        below = [p for p in range(next_root - 2, next_root) if (p - harmony.tonic_pc) % 12 in harmony.scale]
        above = [p for p in range(next_root + 2, next_root, -1) if (p - harmony.tonic_pc) % 12 in harmony.scale]
        return below[-1] if below and next_root > 36 else above[-1]

    def timpani_part(self, channel, reverb):
        part = Part("Timpani", 47, channel, 96, 60, reverb)
        cell = self.meter.cell_units
        harmony = self.harmony
        tonic = 41 + (harmony.tonic_pc - 41) % 12
        dominant = tonic + 7 if tonic + 7 <= 53 else tonic - 5
        when = self.recipe["timpani"]
        for n, (chords, section, occurrence, role) in enumerate(self.timeline):
            if role == "final":
                # A crescendo roll into the last chord, then one stroke under it. The roll
                # sits on the dominant when that is the chord it sounds under.
                roll_start = (n - 1) * cell + cell // 2
                penultimate = chord_at(self.timeline[n - 1][0], cell - 1)
                roll_pitch = dominant if penultimate[0] == 4 else tonic
                for i in range(cell // 2 * 2):
                    tick = roll_start * UNIT + i * UNIT // 2
                    part.track.note(tick, UNIT // 2, channel, roll_pitch, 40 + i * 50 // cell)
                part.note(n * cell, cell, tonic, 100, 0)
                break
            if not active(when, section, occurrence):
                continue
            chord = chords[0][1]
            if chord[0] in (0, 4) and n % 2 == 0:
                pitch = tonic if chord[0] == 0 else dominant
                part.note(n * cell, self.meter.beat_units, pitch, 78 * self.dynamics(n * cell), 0)
                if self.meter.cell_units == 16:
                    part.note(n * cell + 8, self.meter.beat_units, pitch, 58 * self.dynamics(n * cell), 0)
        return part.track

    def drum_part(self, reverb):
        style, when = self.recipe["drums"]
        part = Part("Drums", 0, DRUM_CHANNEL, 92, 64, max(20, reverb - 20))
        cell = self.meter.cell_units
        pattern = DRUM_PATTERNS[(cell, style)]
        previous_section = None
        for n, (chords, section, occurrence, role) in enumerate(self.timeline):
            if role == "final":
                part.note(n * cell, 8, 49, 88, 0)
                part.note(n * cell, 4, 36, 90, 0)
                break
            if not active(when, section, occurrence):
                previous_section = section
                continue
            scale = self.dynamics(n * cell)
            if section != previous_section and previous_section is not None:
                part.note(n * cell, 8, 49, 76 * scale, 0)  # crash marks the new section
            previous_section = section
            next_section = self.timeline[n + 1][1] if n + 1 < len(self.timeline) else None
            fill = next_section != section and next_section not in (None, "end")
            for pos, pitch, vel in pattern:
                if fill and pos >= cell - 4:
                    continue
                part.note(n * cell + pos, 1, pitch, vel * scale + self.rng.randint(-3, 3), 0)
            if fill:
                for i, pitch in enumerate([45, 45, 47, 48] if cell == 16 else [45, 47, 48, 50]):
                    part.note(n * cell + cell - 4 + i, 1, pitch, 52 + 8 * i, 0)
        return part.track


# --------------------------------------------------------------------------------------
# The songs. Progressions are written per phrase as four cells; "4,5" splits a cell.

ALL = ("intro", "A", "B", "end")
BODY = ("A", "B")

SONGS = [
    dict(stem="k58belfr", title="Belfry", key="F", mode="major", meter="3/4", tempo=84, seed=101,
         melody=14, melody_name="Tubular Bells", double=(9, 1, ("A",)),
         counter=(52, "sustain", ("B", "A+")), pad=(48, 53, 72, ALL), bass=(42, "root", 36), reverb=90,
         prog=dict(A=["1 4 1 5", "1 4 5 1"], B=["6 3 4 1", "2 6 5 5"])),
    dict(stem="k58harbr", title="Misty Harbour", key="D", mode="dorian", meter="6/8", tempo=52, seed=202,
         melody=73, melody_name="Flute", start=2, start_b=4, intro=2,
         chords=(46, "arp68", 43, 69, ALL), pad=(89, 50, 69, ALL), bass=(35, "root", 38), reverb=100,
         prog=dict(A=["1 4 1 7", "3 7 4,5! 1"], B=["3 7 4 1", "3 4 5! 5!"])),
    dict(stem="k58thrnw", title="Thornwick Glade", key="G", mode="major", meter="3/4", tempo=112, seed=303,
         melody=74, melody_name="Recorder", intro=2, counter=(71, "thirds", ("B", "A+")),
         chords=(24, "arp", 47, 67, ALL), bass=(32, "waltz", 36), drums=("bells", ("B",)), reverb=55,
         prog=dict(A=["1 5 6 4", "1 5 4,5 1"], B=["4 1 2 5", "4 1 2 5"])),
    dict(stem="k58saff2", title="Saffra Heights", key="Eb", mode="major", meter="4/4", tempo=96, seed=404,
         melody=68, melody_name="Oboe", counter=(60, "sustain", ("B", "A+")),
         chords=(46, "arp", 48, 72, ALL), pad=(48, 55, 74, BODY), bass=(32, "halves", 36),
         drums=("soft", ("B",)), reverb=75,
         prog=dict(A=["1 6 4 5", "1 6 2,5 1"], B=["4 5 3 6", "2 5 1 5"])),
    dict(stem="k58cragm", title="Cragmoor Song", key="A", mode="mixolydian", meter="6/8", tempo=88, seed=505,
         melody=110, melody_name="Fiddle", intro=2, counter=(75, "thirds", ("B", "A+")),
         chords=(24, "jig", 50, 67, ALL), bass=(42, "jig", 36), drums=("jig", ("B",)), reverb=60,
         prog=dict(A=["1 7 1 5", "1 7 4 1"], B=["4 1 7 1", "4 1 7 7"])),
    dict(stem="k58dusk", title="Veldmark Twilight", key="E", mode="minor", meter="4/4", tempo=72, seed=606,
         melody=71, melody_name="Clarinet", counter=(42, "low", ("B", "A+")),
         chords=(0, "arp", 45, 69, ALL), pad=(89, 52, 71, ALL), bass=(35, "root", 36), reverb=85,
         prog=dict(A=["1 6 3 7", "1 4 5! 1"], B=["3 7 1 5!", "6 7 1 5!"])),
    dict(stem="mp_amb", title="Amber Mine", key="D", mode="minor", meter="2/4", tempo=116, seed=707,
         melody=12, melody_name="Marimba", intro=2,
         chords=(45, "offbeat", 55, 72, BODY), pad=(49, 50, 69, ("B",)), bass=(33, "pulse", 36),
         drums=("claves", BODY), reverb=50,
         prog=dict(A=["1 7 6 5!", "1 7 6,5! 1"], B=["4 1 6 3", "4 1 6 5!"])),
    dict(stem="mp_grove", title="Mossbeck Groves", key="E", mode="major", meter="6/8", tempo=60, seed=808,
         melody=79, melody_name="Ocarina", start=2, counter=(73, "thirds", ("B", "A+")),
         chords=(46, "arp68", 47, 71, ALL), pad=(48, 52, 71, BODY), bass=(43, "root", 33), reverb=80,
         prog=dict(A=["1 4 2 5", "1 4 2,5 1"], B=["6 2 5 1", "4 1 2 5"])),
    dict(stem="k58hwea2", title="Hollow Weald", key="E", mode="dorian", meter="4/4", tempo=70, seed=909,
         melody=77, melody_name="Shakuhachi", counter=(60, "sustain", ("B", "A+")),
         chords=(46, "arp", 47, 71, BODY), pad=(44, 52, 71, ALL), bass=(43, "root", 33),
         drums=("toms", ("B",)), reverb=95,
         prog=dict(A=["1 7 4 1", "1 3 4,5! 1"], B=["4 3 7 1", "4 7 5! 5!"])),
    dict(stem="k58quays", title="Quayside", key="C", mode="major", meter="2/4", tempo=120, seed=1010,
         melody=21, melody_name="Accordion", intro=2, counter=(22, "thirds", ("B", "A+")),
         chords=(24, "oompah", 52, 69, ALL), bass=(58, "polka", 33), drums=("polka", BODY), reverb=45,
         prog=dict(A=["1 4 5 1", "1 4 2,5 1"], B=["5 1 2 5", "6 2 5 5"])),
    dict(stem="k58lmp", title="Greywater Archive / Lamp Seller", key="G", mode="minor", meter="4/4", tempo=92,
         seed=1111, melody=11, melody_name="Vibraphone", counter=(70, "low", ("B", "A+")),
         chords=(45, "alberti", 50, 69, ALL), bass=(43, "walk", 33), drums=("soft", ("B",)), reverb=50,
         prog=dict(A=["1 4 7 3", "6 4 5! 1"], B=["6 3 4 5!", "6 3 4 5!"])),
    dict(stem="k58tavn", title="Assorted Taverns", key="D", mode="major", meter="6/8", tempo=112, seed=1212,
         melody=110, melody_name="Fiddle", intro=2, counter=(78, "thirds", ("B", "A+")),
         chords=(21, "jig", 55, 72, ALL), bass=(32, "jig", 36), drums=("jig", BODY), reverb=40,
         prog=dict(A=["1 4 1 5", "1 4 5 1"], B=["4 5 3 6", "4 1 2 5"])),
    dict(stem="mp_lite", title="Lighthouse Song", key="A", mode="major", meter="4/4", tempo=100, seed=1313,
         melody=78, melody_name="Whistle", counter=(48, "sustain", BODY),
         chords=(25, "arp", 48, 69, ALL), bass=(35, "halves", 36), drums=("shaker", BODY), reverb=70,
         prog=dict(A=["1 5 6 3", "4 1 4,5 1"], B=["6 4 1 5", "6 4 2 5"])),
    dict(stem="k58neri", title="Nerith's Reach", key="A", mode="minor", meter="4/4", tempo=80, seed=1414,
         melody=75, melody_name="Pan Flute", chords=(107, "arp", 52, 72, ALL), pad=(89, 50, 69, ALL),
         bass=(35, "root", 33), drums=("toms", ("B",)), reverb=85,
         prog=dict(A=["1 6 4 5!", "1 6 4,5! 1"], B=["3 6 4 1", "6 4 5! 5!"])),
    dict(stem="k58alder", title="Alder's Song", key="Ab", mode="major", meter="3/4", tempo=80, seed=1515,
         melody=42, melody_name="Cello", counter=(48, "high", ("B", "A+")),
         chords=(0, "arp", 48, 70, ALL), bass=(43, "root", 31), reverb=75,
         prog=dict(A=["1 6 4 5", "1 6 2,5 1"], B=["4 1 6 3", "4 1 2 5"])),
    dict(stem="mp_maren", title="Maren's Song", key="A", mode="minor", meter="3/4", tempo=88, seed=1616,
         melody=53, melody_name="Voice", counter=(71, "thirds", ("B", "A+")),
         chords=(46, "arp", 45, 69, ALL), pad=(48, 52, 71, ("B",)), bass=(42, "root", 36), reverb=80,
         prog=dict(A=["1 3 4 5!", "1 3 4,5! 1"], B=["6 7 3 6", "4 1 4 5!"])),
    dict(stem="mp_seasn", title="Song of Seasons", key="G", mode="major", meter="4/4", tempo=104, seed=1717,
         melody=73, melody_name="Flute", counter=(68, "thirds", ("B", "A+")),
         chords=(0, "alberti", 48, 69, ALL), pad=(48, 55, 74, BODY), bass=(32, "halves", 36),
         drums=("pop", ("B",)), reverb=70,
         prog=dict(A=["1 4 6 5", "1 4 2,5 1"], B=["2 5 1 6", "2 5 4 5"])),
    dict(stem="mp_ilsa", title="Ilsa's Cradle Song", key="F", mode="major", meter="6/8", tempo=50, seed=1818,
         melody=8, melody_name="Celesta", start=2, intro=2,
         chords=(46, "arp68", 45, 69, ALL), pad=(53, 55, 72, BODY), bass=(35, "root", 36), reverb=90,
         ritardando=0.3, prog=dict(A=["1 4 1 5", "1 6 2,5 1"], B=["4 1 4 5", "4 1 2,5 5"])),
    dict(stem="qelgoe", title="Galliard Of Ember", key="G", mode="dorian", meter="3/4", tempo=132, seed=1919,
         melody=68, melody_name="Shawm", counter=(74, "thirds", ("B", "A+")),
         chords=(6, "strum", 50, 69, ALL), bass=(42, "walk", 36), drums=("galliard", BODY), reverb=55,
         prog=dict(A=["1 4 7 3", "1 4 5! 1"], B=["3 7 4 1", "3 7 4 5!"])),
    dict(stem="ms_pavan", title="Pavane Of Marsh", key="C", mode="minor", meter="4/4", tempo=68, seed=2020,
         melody=74, melody_name="Recorder", chords=(24, "arp", 48, 67, ALL), pad=(48, 52, 69, BODY),
         bass=(42, "halves", 36), drums=("pavane", BODY), reverb=75,
         prog=dict(A=["1 7 3 5!", "1 4 5! 1"], B=["3 7 1 5!", "6 3 4 5!"])),
    dict(stem="ms_capri", title="Caprise Of Gloom", key="E", mode="minor", meter="2/4", tempo=132, seed=2121,
         melody=40, melody_name="Violin", intro=2, counter=(71, "thirds", ("B", "A+")),
         chords=(45, "offbeat", 52, 69, BODY), bass=(70, "walk", 36), drums=("wood", ("B",)), reverb=50,
         prog=dict(A=["1 4 1 5!", "1 6 4,5! 1"], B=["3 7 1 5!", "6 4 6 5!"])),
    dict(stem="ms_fanfa", title="Fanfare Of Radiance", key="Bb", mode="major", meter="4/4", tempo=112, seed=2222,
         melody=56, melody_name="Trumpet", start=0, counter=(60, "sustain", BODY),
         chords=(61, "block", 53, 70, ALL), bass=(58, "halves", 33), timpani=BODY, drums=("march", BODY),
         reverb=60, prog=dict(A=["1 5 1 5", "1 4 5 1"], B=["4 1 4 5", "6 2 5 5"])),
    dict(stem="m8_thren", title="Threnody Of Mist", key="F", mode="minor", meter="4/4", tempo=70, seed=2323,
         melody=69, melody_name="English Horn", counter=(52, "sustain", BODY),
         pad=(48, 48, 69, ALL), bass=(43, "root", 33), reverb=110, ritardando=0.3,
         prog=dict(A=["1 4 1 5!", "6 4 5! 1"], B=["6 3 4 1", "6 7 5! 5!"])),
    dict(stem="ms_aubde", title="Aubade Of Rain", key="Db", mode="major", meter="4/4", tempo=84, seed=2424,
         melody=0, melody_name="Piano", chords=(8, "arp", 65, 86, ALL), pad=(49, 53, 72, BODY),
         bass=(35, "halves", 36), drums=("shaker", ("B",)), reverb=85,
         prog=dict(A=["4 5 1 6", "2 5 1 1"], B=["6 3 4 1", "2 3 4 5"])),
    dict(stem="k58sanc2", title="Sanctum Of Echoes", key="F#", mode="minor", meter="3/4", tempo=60, seed=2525,
         melody=52, melody_name="Choir", counter=(53, "sustain", ("B",)),
         chords=(19, "block", 48, 69, ALL), bass=(19, "root", 36),
         reverb=120, prog=dict(A=["1 3 6 7", "1 4 5! 1"], B=["4 1 6 5!", "4 7 3 5!"])),
    dict(stem="k58frost", title="Frost Hall", key="B", mode="minor", meter="3/4", tempo=76, seed=2626,
         melody=10, melody_name="Music Box", double=(9, 0, ("B",)),
         chords=(46, "arp", 47, 71, BODY), pad=(50, 52, 71, ALL), bass=(43, "root", 33), reverb=100,
         prog=dict(A=["1 4 5! 1", "6 4 5! 1"], B=["4 1 6 3", "4 1 6 5!"])),
    dict(stem="k58pell", title="Pellin Theme", key="G", mode="major", meter="2/4", tempo=108, seed=2727,
         melody=71, melody_name="Clarinet", intro=2,
         chords=(45, "oompah", 55, 72, ALL), bass=(70, "polka", 36), drums=("wood", BODY), reverb=45,
         prog=dict(A=["1 6 2 5", "1 6 2,5 1"], B=["4 5 1 6", "2 5 2 5"])),
    dict(stem="ms_rOswi", title="Oswin's Theme", key="D", mode="major", meter="4/4", tempo=80, seed=2828,
         melody=60, melody_name="French Horn", counter=(40, "high", ("B", "A+")),
         chords=(48, "block", 55, 74, ALL), bass=(42, "halves", 36), timpani=("B", "A"), reverb=80,
         prog=dict(A=["1 3 4 5", "6 4 5 1"], B=["6 5 4 5", "6 3 4 5"])),
    dict(stem="k58prlog", title="Valdren Prologue Theme", key="D", mode="minor", meter="4/4", tempo=70,
         seed=2929, melody=49, melody_name="Strings", counter=(60, "low", BODY),
         chords=(46, "arp", 45, 69, ALL), bass=(43, "root", 33), timpani=("B",), reverb=95,
         prog=dict(A=["1 7 6 7", "1 6 5! 1"], B=["6 7 1 1", "6 7 5! 5!"])),
    dict(stem="ms_elder", title="Mirela and Tansy's Theme", key="A", mode="major", meter="3/4", tempo=84,
         seed=3030, melody=73, melody_name="Flute", counter=(68, "thirds", BODY),
         chords=(46, "arp", 45, 69, ALL), bass=(42, "root", 36), reverb=75,
         prog=dict(A=["1 2 5 1", "4 2 5 1"], B=["6 3 4 1", "2 5 1 5"])),
    dict(stem="k58titl", title="Title Theme", key="C", mode="major", meter="4/4", tempo=100, seed=3131,
         melody=48, melody_name="Strings", double=(61, -1, ("A",)),
         chords=(46, "arp16", 48, 72, ALL), bass=(43, "halves", 33), timpani=BODY, drums=("march", ("B",)),
         reverb=80, prog=dict(A=["1 5 6 4", "1 5 4,5 1"], B=["4 5 3 6", "2 4 5 5"])),
    dict(stem="k58sprit", title="Pip's Theme", key="E", mode="major", meter="6/8", tempo=100, seed=3232,
         melody=72, melody_name="Piccolo", double=(13, 0, ("B",)), intro=2,
         chords=(45, "jig", 55, 72, ALL), bass=(32, "jig", 36), drums=("bells", BODY), reverb=50,
         prog=dict(A=["1 1 4 5", "1 1 4,5 1"], B=["6 6 2 5", "4 4 2 5"])),
    dict(stem="k58bdg", title="Badger Theme", key="A", mode="dorian", meter="2/4", tempo=96, seed=3333,
         melody=70, melody_name="Bassoon", counter=(68, "high", ("B", "A+")), intro=2,
         chords=(24, "oompah", 50, 67, ALL), bass=(58, "polka", 33), drums=("stomp", BODY), reverb=40,
         prog=dict(A=["1 4 1 4", "1 7 5! 1"], B=["3 4 1 1", "3 7 4 5!"])),
    dict(stem="k58corvn", title="Corvin's Theme", key="C#", mode="minor", meter="4/4", tempo=96, seed=3434,
         melody=41, melody_name="Viola", counter=(71, "thirds", ("B", "A+")),
         chords=(6, "alberti", 50, 69, ALL), bass=(33, "walk", 36), drums=("toms", BODY), reverb=70,
         prog=dict(A=["1 4 1 6", "1 4 5! 1"], B=["6 3 7 3", "6 4 5! 5!"])),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--data", default=os.path.join(here, "..", "data"))
    parser.add_argument("--list", action="store_true", help="print each song's length and setting")
    parser.add_argument("--only", help="write just this stem")
    args = parser.parse_args()
    os.makedirs(args.data, exist_ok=True)
    for recipe in SONGS:
        if args.only and recipe["stem"] != args.only:
            continue
        data = Song(recipe).build()
        with open(os.path.join(args.data, recipe["stem"] + ".mid"), "wb") as out:
            out.write(data)
        if args.list:
            seconds = midifile.duration_seconds(data)
            print(f"{recipe['stem']:10s} {seconds:5.1f}s {len(data):6d}B {recipe['key']:>2s} {recipe['mode']:10s} "
                  f"{recipe['meter']} {recipe['tempo']:3d}  {recipe['title']}")


if __name__ == "__main__":
    main()

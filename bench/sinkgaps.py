#!/usr/bin/env python3
"""sinkgaps.py RECORDING.raw SONG_MS: the silences between songs in a recording of the sink.

RECORDING is what the sink played (raw s16le stereo at 44100 Hz) while a player went from one
song to the next, every song being SONG_MS of organ held to its End of Track: a low note, then a
high one (makesongs.py organ).

Each song's End of Track is found by counting SONG_MS of sound from its onset, leaving out the
runs of silence inside it: the sink plays silence while a client cannot keep up, and such a
dropout delays the end without being the gap timed here. Near that end, the gap is the run of
silence (below -60 dBFS) after which the next song's low note sounds, told from the last song's
high note by its pitch (zero crossings with hysteresis), while before it the low note did not
sound (a dropout inside the next song is not its gap); its length is the time from the last
sound of one song, its release included, to the first sample of the next. A next song that
begins while the last one still sounds leaves no silence: its gap is 0.

sinkgaps.py --check RENDERED.wav SONG_MS checks the analysis on the song rendered offline,
joined to itself with known gaps.

Prints a line for each gap: the silence in milliseconds, then the time from the End of Track to
the next song's first sample ("-" when the songs overlapped). Both carry the first ~1 ms of a
note, which is still below -60 dBFS. On songs rendered offline and joined with known gaps of
0-300 ms, the second figure is exact and the first is the gap plus that 0.9 ms.
"""
import sys
from array import array

RATE = 44100
SILENT = 33  # -60 dBFS in 16-bit samples
LOUD = 655  # -34 dBFS: the held organ notes are well above this
MIN_SILENCE = 16  # frames: a run of silence this long is a dropout, not a zero crossing
PITCH_WINDOW = RATE // 50  # 20 ms
LOW_NOTE_CROSSINGS = 25  # in 20 ms: the low note crosses zero up to about 15 times, the high 40+
HYSTERESIS = 150  # a crossing counts from below -150 to above +150 or back
ATTACK = RATE // 100  # the first 10 ms of a note are left out of its pitch
SEARCH_BEFORE = RATE // 25  # the gap is looked for from 40 ms before the End of Track
SEARCH_AFTER = RATE // 2  # to 500 ms after it
END_MARGIN = RATE // 100  # the last 10 ms of a song are counted as they come


def read(path):
    samples = array("h")
    with open(path, "rb") as recording:
        samples.frombytes(recording.read())
    left, right = samples[0::2], samples[1::2]
    return left, [max(abs(a), abs(b)) for a, b in zip(left, right)]


def is_low_note(left, level, start):
    """Whether the low note sounds loud over the 20 ms from start."""
    if max(level[start : start + PITCH_WINDOW], default=0) < LOUD:
        return False
    crossings, sign = 0, 0
    for sample in left[start : start + PITCH_WINDOW]:
        if sample > HYSTERESIS and sign <= 0:
            crossings += sign < 0
            sign = 1
        elif sample < -HYSTERESIS and sign >= 0:
            crossings += sign > 0
            sign = -1
    return crossings < LOW_NOTE_CROSSINGS


def silences(level, start, stop, reaching_in=True):
    """The runs of silence that reach into start..stop (or, not reaching_in, that start there), as
    (first, end) frame pairs."""
    i = start
    while reaching_in and i > 0 and level[i - 1] < SILENT and level[i] < SILENT:
        i -= 1
    while i < min(stop, len(level)):
        if level[i] >= SILENT:
            i += 1
            continue
        first = i
        while i < len(level) and level[i] < SILENT:
            i += 1
        if i - first >= MIN_SILENCE:
            yield first, i


def end_of_track(level, onset, song_frames):
    """Where song_frames of sound have played after onset, not counting dropouts.

    Only the first song_frames - END_MARGIN are counted that way: a gap right after the end is
    silence too, and must not be skipped as if it were a dropout.
    """
    played, quiet, i = 0, 0, onset
    while i < len(level) and played < song_frames - END_MARGIN:
        if level[i] < SILENT:
            quiet += 1
        else:
            played += (quiet if quiet < MIN_SILENCE else 0) + 1
            quiet = 0
        i += 1
    if played < song_frames - END_MARGIN:
        return None
    return min(i + END_MARGIN, len(level)) if i + END_MARGIN <= len(level) else None


def gaps(left, level, song_ms):
    song_frames = song_ms * RATE // 1000
    onset = next((i for i, value in enumerate(level) if value >= SILENT), None)
    while onset is not None:
        end = end_of_track(level, onset, song_frames)
        if end is None:
            return
        start, stop = max(onset, end - SEARCH_BEFORE), min(len(level), end + SEARCH_AFTER)
        found = next(
            (
                run
                for run in silences(level, start, stop)
                if is_low_note(left, level, run[1] + ATTACK)
                and not is_low_note(left, level, max(0, run[0] - PITCH_WINDOW))
            ),
            None,
        )
        if found:
            yield (found[1] - found[0]) * 1000.0 / RATE, (found[1] - end) * 1000.0 / RATE
            onset = found[1]
            continue
        # No silence: the next song began under the last one's release. Its onset is about where
        # its low note is first heard.
        playing = next(
            (i for i in range(end, stop, RATE // 500) if is_low_note(left, level, i)), None
        )
        if playing is None:
            return
        yield 0.0, None
        onset = max(end, playing - ATTACK)


def check(rendered_wav, song_ms):
    """Joins a rendered song to itself with known gaps and checks that they are found."""
    import wave

    with wave.open(rendered_wav) as song_file:
        song = array("h")
        song.frombytes(song_file.readframes(song_file.getnframes()))
    song = song[: 2 * song_ms * RATE // 1000]  # cut at the End of Track: no release
    known = [10, 0, 25, 5, 100, 300, 3]
    recording = array("h", [0] * 2 * RATE)
    for gap in known:
        recording += song + array("h", [0] * 2 * (gap * RATE // 1000))
    recording += song + array("h", [0] * 2 * RATE)
    left, right = recording[0::2], recording[1::2]
    level = [max(abs(a), abs(b)) for a, b in zip(left, right)]
    found = [after_end for _, after_end in gaps(left, level, song_ms)]
    wrong = len(found) != len(known) or any(
        f is None or abs(f - k) > 0.5 for f, k in zip(found, known)
    )
    if wrong:
        sys.exit(f"sinkgaps: known gaps {known} ms were found as {found}")


def main():
    if sys.argv[1] == "--check":
        check(sys.argv[2], int(sys.argv[3]))
        return
    left, level = read(sys.argv[1])
    for silence, after_end in gaps(left, level, int(sys.argv[2])):
        print(f"{silence:.1f}", "-" if after_end is None else f"{after_end:.1f}")


if __name__ == "__main__":
    main()

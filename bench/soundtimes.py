#!/usr/bin/env python3
"""soundtimes.py: times in a recording of the sink for songs of any kind, by the sound itself.

soundtimes.py demo RECORDING.raw PLAYED LUMORA_RENDER SOUNDFONT
    RECORDING is what the sink played (raw s16le stereo, 44100 Hz) during Play All; PLAYED lists
    the songs in the order they played, a line "SECONDS PATH" each (the media log's time of the
    song's "FileName"). Each song is rendered offline first to know its own silences: the time
    from its start to its first sound, and from its last sound (its release included) to its End
    of Track (negative when the release rings past it). At each change the silence a listener
    hears is then compared with the one the two songs hold themselves. Prints for each change:
        demo_change A B silence_ms own_ms excess_ms period_excess_ms late_ms lost_ms
    silence_ms is the run of silence in the recording where the last song's sound ends, own_ms
    what the songs alone would leave (0 when the release reaches into the next song), excess_ms
    the difference ("-" when the songs overlap and no silence can tell it) and period_excess_ms
    the time between the two "FileName" lines less the first song's length, and late_ms the
    time from the last song's first sound to the next one's, less the last song's length from its
    first sound to its End of Track and the next one's lead-in: the same excess, but free of how
    a reverberant tail fades out at the sink (at -60 dBFS such a tail reads tens of ms longer or
    shorter there than offline): the last song's start is placed by matching its first 200 ms to
    its render, so that a start the sink lost counts once, as the next song's lateness. lost_ms
    is how much of the next song's start the sink lost (part of late_ms): where its sound is first
    heard, how far into its render that sound matches.

soundtimes.py stop RECORDING.raw PLAY_SECONDS COMMAND_SECONDS
    RECORDING holds one song from its first sound to a Pause or Stop; PLAY_SECONDS and
    COMMAND_SECONDS are the media log's times of "Command Play" and of the command. The first
    sound in the recording stands for the Play, so the command falls (COMMAND - PLAY) later in
    it; prints "to_silence_ms X", from there to the last sound after which the sink stays silent
    for 150 ms. X is the command's time to silence less Play's time to the first sound, which is
    not known here: negative when the sink falls silent sooner after Pause than it sounds after
    Play, and a buffer played out after the command shows as the same amount more.

soundtimes.py heard RECORDING.raw SONG LUMORA_RENDER SOUNDFONT POSITION_MS AFTER_SECONDS
    RECORDING holds SONG up to a Pause or Stop; POSITION_MS is the point heard the player
    reported last before the command and AFTER_SECONDS the time from when that report was read
    to the command, so the command came when the song was at P = POSITION_MS + AFTER_SECONDS (or
    a little later: the report is older than when it was read). The sound before the last sound
    of the recording is found in the song's offline render by cross-correlation, which gives Q,
    the last frame of the song heard. Prints "heard_to_silence_ms X Y": X = Q - P in song time,
    the fade included (an upper bound, by the age of the report), Y the correlation (near 1
    when the recording is the song).

soundtimes.py stall RECORDING.raw SONG_MS
    RECORDING holds an organ song of SONG_MS (makesongs.py organ: a low note, then a high one to
    its End of Track) played over and over by Loop, once with the player stopped for a while.
    Each play begins where the low note sounds after the high one; for each play followed by
    another, prints:
        play sound_ms dropout_ms gap_ms
    sound_ms is how much of the play sounded (runs of silence left out): SONG_MS when nothing was
    lost and the end came when it was heard, less when sound was lost or the end came early.
    dropout_ms is the silence inside the play, gap_ms the silence from its last sound to the
    next play's first.

soundtimes.py --check LUMORA_RENDER SOUNDFONT SONG...
    joins the songs' offline renders, each cut or padded to its End of Track, with known extra
    gaps and checks that "demo" finds them.
"""
import os
import subprocess
import sys
import tempfile
import wave
from array import array

from sinkgaps import HYSTERESIS, LOUD, MIN_SILENCE, PITCH_WINDOW, RATE, SILENT, read, silences

SEARCH = RATE * 3 // 10  # a song's end is looked for within 300 ms of where it is due
TAIL_SLACK = RATE // 20  # a tail at the sink may end this much later than offline
ALIGN_FRAMES = RATE // 5  # a song's first 200 ms place it against its render
LOST_AT_MOST = RATE * 3 // 10  # the most of a song's start looked for as lost
QUIET_AFTER = RATE * 15 // 100  # silence must last 150 ms after a Pause or Stop


def first_sound(level, start=0):
    return next((i for i in range(start, len(level)) if level[i] >= SILENT), None)


def last_sound(level):
    return next((i for i in range(len(level) - 1, -1, -1) if level[i] >= SILENT), None)


class Song:
    """A song's own first sound, last sound and End of Track in frames, from an offline render."""

    def __init__(self, path, render, soundfont, folder):
        wav = os.path.join(folder, os.path.basename(path) + ".wav")
        subprocess.run([render, path, wav, soundfont], check=True, capture_output=True)
        info = subprocess.run(
            [os.path.join(os.path.dirname(render), "lumora-midi-info"), path],
            check=True, capture_output=True, text=True,
        ).stdout
        length_ms = int(next(l for l in info.splitlines() if l.startswith("length_ms=")).split("=")[1])
        self.end = length_ms * RATE // 1000
        with wave.open(wav) as rendered:
            samples = array("h")
            samples.frombytes(rendered.readframes(rendered.getnframes()))
        self.level = [max(abs(a), abs(b)) for a, b in zip(samples[0::2], samples[1::2])]
        self.first, self.last = first_sound(self.level), last_sound(self.level)


def envelope(level, start, frames, step=44):
    return [max(level[i:i + step], default=0) for i in range(start, start + frames, step)]


def sounding_from(level, onset, song):
    """How far into its sound (frames past its first sound) a song is where it is first heard:
    0 unless the sink lost its start. Found by matching the heard envelope to the render's."""
    heard = envelope(level, onset, ALIGN_FRAMES)
    best = None
    for skipped in range(0, LOST_AT_MOST, RATE // 1000):
        render = envelope(song.level, song.first + skipped, ALIGN_FRAMES)
        error = sum(abs(a - b) for a, b in zip(heard, render))
        if best is None or error < best[0]:
            best = (error, skipped)
    return best[1]


def demo_changes(level, songs):
    """(silence, own, excess) in ms for each change between songs, the songs in played order."""
    onset = first_sound(level)
    # Where the song's own first sound would be, had none of it been lost.
    start = None if onset is None else onset - sounding_from(level, onset, songs[0])
    ms = 1000.0 / RATE
    for song, following in zip(songs, songs[1:]):
        if onset is None:
            return
        due = onset + song.last - song.first
        own = max(0, song.end - song.last + following.first)
        runs = list(silences(level, max(0, due - SEARCH), due + SEARCH, reaching_in=False))
        if own == 0 or not runs:
            # The next song begins under the last one's release: nothing tells the change.
            yield 0.0, own * ms, None, None, None
            onset = due + (song.end - song.last) + following.first
            start = None
            continue
        # The silence begins with the last song's last sound, which no delay of the next one moves.
        # A reverberant tail fades a little differently at the sink than offline, so a short
        # silence inside the tail may lie nearer that point: the change is the nearest silence
        # about as long as the songs' own or longer.
        long_enough = [run for run in runs if run[1] - run[0] >= own - TAIL_SLACK] or runs
        first, end = min(long_enough, key=lambda run: abs(run[0] - due))
        # From the song's first sound to the next one's, less what the songs hold before them:
        # free of how the tail fades at the sink, which only the silence's start depends on. A
        # start the sink lost counts for the next song (heard later), not for the last one.
        late = None if start is None else (end - start) - (song.end - song.first) - following.first
        lost = sounding_from(level, end, following)
        yield ((end - first) * ms, own * ms, (end - first - own) * ms,
               None if late is None else late * ms, lost * ms)
        onset = end
        start = onset - lost


def demo(recording, played, render, soundfont):
    entries = [line.split(maxsplit=1) for line in open(played).read().splitlines() if line.strip()]
    with tempfile.TemporaryDirectory() as folder:
        known = {}
        for _, path in entries:
            if path not in known:
                known[path] = Song(path, render, soundfont, folder)
        songs = [known[path] for _, path in entries]
    _, level = read(recording)
    for index, (silence, own, excess, late, lost) in enumerate(demo_changes(level, songs)):
        (time_a, a), (time_b, b) = entries[index], entries[index + 1]
        period_excess = (float(time_b) - float(time_a)) * 1000 - songs[index].end * 1000.0 / RATE
        print("demo_change", os.path.basename(a), os.path.basename(b), f"{silence:.1f}",
              f"{own:.1f}", "-" if excess is None else f"{excess:.1f}", f"{period_excess:.1f}",
              "-" if late is None else f"{late:.1f}", "-" if lost is None else f"{lost:.1f}")


def stop(recording, play_seconds, command_seconds):
    _, level = read(recording)
    onset = first_sound(level)
    command = onset + int((command_seconds - play_seconds) * RATE)
    # The last sound after which the sink stays silent for 150 ms, looked for from 1 s before the
    # command: it may come before the command point, by less than Play took to be heard.
    end = start = max(onset, command - RATE)
    for i in range(start, len(level)):
        if level[i] >= SILENT:
            end = i + 1
        elif i - end >= QUIET_AFTER and end > start:
            print(f"to_silence_ms {(end - command) * 1000.0 / RATE:.1f}")
            return
    sys.exit("soundtimes: the sink did not fall silent for 150 ms after the command")


def crossings(left, start):
    """Zero crossings (with hysteresis) over the 20 ms from start."""
    count, sign = 0, 0
    for sample in left[start : start + PITCH_WINDOW]:
        if sample > HYSTERESIS and sign <= 0:
            count += sign < 0
            sign = 1
        elif sample < -HYSTERESIS and sign >= 0:
            count += sign > 0
            sign = -1
    return count


def play_starts(left, level):
    """Where each play of an organ song begins: its low note after the high one (or first).

    The low note crosses zero up to about 7 times in 20 ms, the high one 20 times or more."""
    step = RATE // 200
    starts, after_high = [], True
    for i in range(0, len(level) - PITCH_WINDOW, step):
        if max(level[i : i + PITCH_WINDOW]) < LOUD:
            continue
        count = crossings(left, i)
        # A note struck again after a dropout, or one fading out, crosses zero slowly: the low
        # note must still sound 50 ms on.
        later = i + RATE // 20
        if (count <= 10 and after_high and crossings(left, later) <= 10
                and max(level[later : later + PITCH_WINDOW], default=0) >= LOUD):
            # The onset: back over the note's attack to the silence or the last song before it.
            onset = i
            while onset > max(0, i - step * 4) and level[onset - 1] >= SILENT:
                onset -= 1
            while level[onset] < SILENT:
                onset += 1
            starts.append(onset)
            after_high = False
        elif count >= 18:
            after_high = True
    return starts


def stall(recording, song_ms):
    left, level = read(recording)
    starts = play_starts(left, level)
    ms = 1000.0 / RATE
    for start, following in zip(starts, starts[1:]):
        last = max(i for i in range(start, following) if level[i] >= SILENT)
        sound = dropout = quiet = 0
        for i in range(start, last + 1):
            if level[i] < SILENT:
                quiet += 1
                continue
            if quiet >= MIN_SILENCE:
                dropout += quiet
            else:
                sound += quiet
            sound, quiet = sound + 1, 0
        print(f"play {sound * ms:.1f} {dropout * ms:.1f} {(following - last - 1) * ms:.1f}")


def rendered_left(song, render, soundfont):
    """The left channel of the song's offline render, from its start."""
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, "song.wav")
        subprocess.run([render, song, wav, soundfont], check=True, capture_output=True)
        with wave.open(wav) as rendered:
            samples = array("h")
            samples.frombytes(rendered.readframes(rendered.getnframes()))
    return samples[0::2]


def decimated(samples, factor):
    return [sum(samples[i : i + factor]) for i in range(0, len(samples) - factor + 1, factor)]


def best_match(window, song, first, last, stride=1):
    """The offset in song[first..last) (every stride-th) where window correlates best."""
    best, best_score = first, -2.0
    norm = sum(x * x for x in window) ** 0.5 or 1.0
    for offset in range(max(0, first), min(last, len(song) - len(window)), stride):
        candidate = song[offset : offset + len(window)]
        energy = sum(x * x for x in candidate) ** 0.5 or 1.0
        score = sum(map(lambda a, b: a * b, window, candidate)) / norm / energy
        if score > best_score:
            best, best_score = offset, score
    return best, best_score


def last_heard(left, level, music, command):
    """The song frame of the last sound in the recording, and how well it matched."""
    end = last_sound(level) + 1
    guard, length, factor = RATE // 100, RATE // 4, 16  # clear of the 5-ms fade; 250 ms
    window = left[end - guard - length : end - guard]
    # Where the window would sit in the song if the sound stopped at the command, give or take:
    # from 300 ms sooner to 1 s later. Found in steps of 16 frames first, then to the frame.
    due = command - guard - length
    coarse, _ = best_match(decimated(window, factor), decimated(music, factor),
                           (due - RATE * 3 // 10) // factor, (due + RATE) // factor)
    offset, score = best_match(window, music, coarse * factor - 2 * factor,
                               coarse * factor + 2 * factor)
    return offset + length + guard, score


def heard(recording, song, render, soundfont, position_ms, after_seconds):
    left, level = read(recording)
    command = int((position_ms / 1000.0 + after_seconds) * RATE)
    frame, score = last_heard(left, level, rendered_left(song, render, soundfont), command)
    print(f"heard_to_silence_ms {(frame - command) * 1000.0 / RATE:.1f} {score:.3f}")


def check_heard(music):
    """A recording of the song from 1 s to 3 s, faded out over 5 ms, is found ending there."""
    cut = 3 * RATE
    left = [0] * RATE + list(music[RATE:cut])
    left += [int(music[cut + i] * (1 - (i + 1) / 220)) for i in range(220)] + [0] * RATE
    level = [abs(x) for x in left]
    frame, _ = last_heard(left, level, music, cut - RATE // 20)
    if not cut <= frame <= cut + 220:
        sys.exit(f"soundtimes: a recording cut at frame {cut} was found ending at {frame}")


def check(render, soundfont, paths):
    if not os.path.exists(soundfont):
        print(f"skipped: {soundfont} is not installed")
        sys.exit(77)
    extra = [0, 40, 7, 120, 15]
    with tempfile.TemporaryDirectory() as folder:
        songs = [Song(path, render, soundfont, folder) for path in paths]
    # Each song starts at the last one's End of Track plus a known extra gap; its release rings on
    # over the next, as when the player goes on (levels, not samples: they meet only in silence).
    starts, start = [], RATE
    for index, song in enumerate(songs):
        starts.append(start)
        start += song.end + extra[index % len(extra)] * RATE // 1000
    level = [0] * (max(s + len(song.level) for s, song in zip(starts, songs)) + RATE)
    for begin, song in zip(starts, songs):
        for i, sample in enumerate(song.level):
            level[begin + i] = max(level[begin + i], sample)
    changes = list(demo_changes(level, songs))
    found = [change[2] for change in changes] + [change[3] for change in changes]
    if any(change[4] not in (None, 0.0) for change in changes):
        sys.exit(f"soundtimes: a start was found lost where none was: {changes}")
    expected = [extra[i % len(extra)] for i in range(len(songs) - 1)] * 2
    wrong = any(f is not None and abs(f - e) > 1.0 for f, e in zip(found, expected))
    if wrong or len(found) != len(expected):
        sys.exit(f"soundtimes: known gaps {expected} ms were found as {found}")
    check_heard(rendered_left(paths[0], render, soundfont))


def main():
    if sys.argv[1] == "--check":
        check(sys.argv[2], sys.argv[3], sys.argv[4:])
    elif sys.argv[1] == "demo":
        demo(*sys.argv[2:6])
    elif sys.argv[1] == "heard":
        heard(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], float(sys.argv[6]),
              float(sys.argv[7]))
    elif sys.argv[1] == "stall":
        stall(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "stop":
        stop(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]))


if __name__ == "__main__":
    main()

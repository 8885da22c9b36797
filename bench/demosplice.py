#!/usr/bin/env python3
"""demosplice.py: a demo song's own start joined to its own end, so that a change between songs
costs seconds of playing, not minutes, and still begins and ends as the song does.

  demosplice.py SOURCE.mid OUT.mid HEAD_MS TAIL_MS

Keeps the song from its start to HEAD_MS and its last TAIL_MS up to its End of Track; between
them it drops every note, while tempo, program, controller and other events keep their order and
take effect at the join. Notes sounding at the join are let go there, but a note still held where
the tail begins sounds on from the join.
"""
import struct
import sys

from makesongs import smf, varlen


def read_varlen(data, at):
    value = 0
    while True:
        byte = data[at]
        at += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, at


def parse_track(data):
    """(tick, bytes) events of one track, running status written out; End of Track left off."""
    events, at, tick, status = [], 0, 0, 0
    while at < len(data):
        delta, at = read_varlen(data, at)
        tick += delta
        if data[at] == 0xFF:
            kind = data[at + 1]
            length, body = read_varlen(data, at + 2)
            event, at = data[at:body + length], body + length
            if kind == 0x2F:
                return events, tick
        elif data[at] in (0xF0, 0xF7):
            length, body = read_varlen(data, at + 1)
            event, at = data[at:body + length], body + length
        else:
            if data[at] & 0x80:
                status = data[at]
                at += 1
            size = 1 if status & 0xF0 in (0xC0, 0xD0) else 2
            event, at = bytes([status]) + data[at:at + size], at + size
        events.append((tick, event))
    return events, tick


def read_smf(path):
    data = open(path, "rb").read()
    fmt, count, division = struct.unpack(">HHH", data[8:14])
    at, tracks = 8 + struct.unpack(">I", data[4:8])[0], []
    while len(tracks) < count and at < len(data):
        size = struct.unpack(">I", data[at + 4:at + 8])[0]
        if data[at:at + 4] == b"MTrk":
            tracks.append(parse_track(data[at + 8:at + 8 + size]))
        at += 8 + size
    return fmt, division, tracks


def tick_at_ms(tracks, division, ms):
    """The tick where ms milliseconds have played, from the tempo events of every track."""
    tempos = sorted((t, int.from_bytes(e[3:6], "big")) for events, _ in tracks for t, e in events
                    if e[:2] == b"\xff\x51")
    tick, us, tempo = 0, 0.0, 500000
    for at, value in tempos + [(None, None)]:
        step = tempo / division
        if at is None or us + (at - tick) * step >= ms * 1000:
            return tick + int((ms * 1000 - us) / step)
        us += (at - tick) * step
        tick, tempo = at, value


def is_note(event):
    return event[0] & 0xF0 in (0x80, 0x90)


def is_note_on(event):
    return event[0] & 0xF0 == 0x90 and event[2] > 0


def held_into(events, tail):
    """Indexes of the note-ons whose note is still held at tick tail."""
    held, open_notes = set(), {}
    for index, (tick, event) in enumerate(events):
        if not is_note(event):
            continue
        key = (event[0] & 0x0F, event[1])
        if is_note_on(event):
            open_notes[key] = index
        elif key in open_notes:
            start = open_notes.pop(key)
            if events[start][0] < tail <= tick:
                held.add(start)
    held.update(index for index in open_notes.values() if events[index][0] < tail)
    return held


def splice(events, head, tail):
    """The events kept, on the joined time line, in their order. A note held into the tail is
    struck at the join (or where it was struck, before it), so the song ends as it does."""
    kept, sounding, held = [], set(), held_into(events, tail)
    for index, (tick, event) in enumerate(events):
        key = (event[0] & 0x0F, event[1]) if is_note(event) else None
        if tick <= head:
            kept.append((tick, event))
            if key and is_note_on(event) and index not in held:
                sounding.add(key)
            elif key:
                sounding.discard(key)
        elif tick < tail:
            for channel, note in sorted(sounding):
                kept.append((head, bytes([0x80 | channel, note, 0])))
            sounding.clear()
            if not key or index in held:
                kept.append((head, event))
        else:
            kept.append((tick - tail + head, event))
    return kept


def write_track(events, end):
    out, last = b"", 0
    for tick, event in events:
        out += varlen(tick - last) + event
        last = tick
    return out + varlen(end - last) + b"\xff\x2f\x00"


def main():
    source, target, head_ms, tail_ms = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    fmt, division, tracks = read_smf(source)
    end = max(end for _, end in tracks)
    end_ms = next(ms for ms in range(0, 10**7, 10) if tick_at_ms(tracks, division, ms) >= end)
    head = tick_at_ms(tracks, division, head_ms)
    tail = tick_at_ms(tracks, division, max(head_ms, end_ms - tail_ms))
    if tail <= head:
        tail = head
    joined_end = end - tail + head
    out = [write_track(splice(events, head, tail), joined_end) for events, _ in tracks]
    open(target, "wb").write(smf(division, out, fmt))


if __name__ == "__main__":
    main()

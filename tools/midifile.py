"""A small Standard MIDI File writer and reader (format 1, PPQ division).

Only what the demo-song generator and its checks need: channel voice messages,
the common meta events, running status on output, and a tempo-map aware
duration measurement on input.
"""

import struct

NOTE_OFF = 0x80
NOTE_ON = 0x90
CONTROL = 0xB0
PROGRAM = 0xC0

META_TRACK_NAME = 0x03
META_END_OF_TRACK = 0x2F
META_TEMPO = 0x51
META_TIME_SIGNATURE = 0x58
META_KEY_SIGNATURE = 0x59


def variable_length(value):
    if value < 0:
        raise ValueError("negative delta time")
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    """Events of one track; they are sorted by time only when the file is written."""

    # At equal times: meta first, then controllers/programs, note-offs, note-ons.
    # Releasing before striking keeps a repeated pitch from being cut short.
    _ORDER = {"meta": 0, "setup": 1, "off": 2, "on": 3}

    def __init__(self, name):
        self.name = name
        self._events = []  # (tick, order, sequence, kind, payload)
        self._notes = []  # (channel, pitch, start, end, velocity)
        self.meta(0, META_TRACK_NAME, name.encode("ascii"))

    def _add(self, tick, kind, payload):
        self._events.append((int(tick), self._ORDER[kind], len(self._events), kind, payload))

    def meta(self, tick, meta_type, data):
        self._add(tick, "meta", (meta_type, bytes(data)))

    def tempo(self, tick, bpm):
        micros = round(60_000_000 / bpm)
        self.meta(tick, META_TEMPO, micros.to_bytes(3, "big"))

    def time_signature(self, tick, numerator, denominator, clocks_per_click):
        power = denominator.bit_length() - 1
        self.meta(tick, META_TIME_SIGNATURE, bytes([numerator, power, clocks_per_click, 8]))

    def key_signature(self, tick, sharps, minor):
        self.meta(tick, META_KEY_SIGNATURE, bytes([sharps & 0xFF, 1 if minor else 0]))

    def program(self, tick, channel, program):
        self._add(tick, "setup", bytes([PROGRAM | channel, program]))

    def control(self, tick, channel, controller, value):
        self._add(tick, "setup", bytes([CONTROL | channel, controller, max(0, min(127, value))]))

    def note(self, tick, duration, channel, pitch, velocity):
        if not 0 <= pitch <= 127:
            raise ValueError(f"pitch {pitch} out of range in {self.name}")
        velocity = max(1, min(127, round(velocity)))
        self._notes.append((channel, pitch, int(tick), int(tick) + max(1, int(duration)), velocity))

    def _note_events(self):
        """Note-ons and releases; a note still sounding when its pitch is struck again
        on the same channel is released first, so every note-on has its own note-off."""
        events = []
        notes = sorted(self._notes)
        for n, (channel, pitch, start, end, velocity) in enumerate(notes):
            following = notes[n + 1] if n + 1 < len(notes) else None
            if following and following[:2] == (channel, pitch) and following[2] < end:
                end = max(start + 1, following[2])
            events.append((start, self._ORDER["on"], len(events), "on", bytes([NOTE_ON | channel, pitch, velocity])))
            # Note-on with velocity 0 as the release keeps running status unbroken.
            events.append((end, self._ORDER["off"], len(events), "off", bytes([NOTE_ON | channel, pitch, 0])))
        return events

    def last_tick(self):
        ends = [e[0] for e in self._events] + [n[3] for n in self._notes]
        return max(ends, default=0)

    def encode(self, end_tick=None):
        events = sorted(self._events + self._note_events())
        end = max(self.last_tick(), end_tick or 0)
        body = bytearray()
        now = 0
        status = None
        for tick, _, _, kind, payload in events:
            body += variable_length(tick - now)
            now = tick
            if kind == "meta":
                meta_type, data = payload
                body += bytes([0xFF, meta_type]) + variable_length(len(data)) + data
                status = None
            else:
                if payload[0] != status:
                    body += payload
                    status = payload[0]
                else:
                    body += payload[1:]
        body += variable_length(end - now) + bytes([0xFF, META_END_OF_TRACK, 0])
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def encode_file(tracks, ppq, end_tick):
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), ppq)
    return header + b"".join(t.encode(end_tick) for t in tracks)


# --------------------------------------------------------------------------------------
# Reading back, for checks


class ParsedTrack:
    def __init__(self):
        self.name = None
        self.events = []  # (tick, status, data bytes) for channel messages
        self.meta = []  # (tick, type, data)
        self.end_tick = None


def parse(data):
    """Parses a format 0/1 file; raises ValueError on anything malformed."""
    if data[:4] != b"MThd":
        raise ValueError("no MThd")
    length, fmt, ntracks, division = struct.unpack(">IHHH", data[4:14])
    if length != 6 or division & 0x8000:
        raise ValueError("unsupported header")
    pos = 8 + length
    tracks = []
    for _ in range(ntracks):
        if data[pos : pos + 4] != b"MTrk":
            raise ValueError("missing MTrk")
        (size,) = struct.unpack(">I", data[pos + 4 : pos + 8])
        tracks.append(_parse_track(data[pos + 8 : pos + 8 + size]))
        pos += 8 + size
    if pos != len(data):
        raise ValueError("trailing bytes")
    return fmt, division, tracks


def _read_vlq(chunk, pos):
    value = 0
    for _ in range(4):
        byte = chunk[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos
    raise ValueError("variable-length quantity too long")


def _parse_track(chunk):
    track = ParsedTrack()
    pos = 0
    tick = 0
    status = None
    while pos < len(chunk):
        delta, pos = _read_vlq(chunk, pos)
        tick += delta
        byte = chunk[pos]
        if byte == 0xFF:
            meta_type = chunk[pos + 1]
            length, pos = _read_vlq(chunk, pos + 2)
            payload = chunk[pos : pos + length]
            pos += length
            track.meta.append((tick, meta_type, payload))
            if meta_type == META_TRACK_NAME:
                track.name = payload.decode("ascii")
            if meta_type == META_END_OF_TRACK:
                track.end_tick = tick
                if pos != len(chunk):
                    raise ValueError("events after End of Track")
                return track
            status = None
            continue
        if byte in (0xF0, 0xF7):
            length, pos = _read_vlq(chunk, pos + 1)
            pos += length
            continue
        if byte & 0x80:
            status = byte
            pos += 1
        elif status is None:
            raise ValueError("running status without status")
        size = 1 if status & 0xF0 in (0xC0, 0xD0) else 2
        track.events.append((tick, status, bytes(chunk[pos : pos + size])))
        pos += size
    raise ValueError("track without End of Track")


def duration_seconds(data):
    """Playing time up to the last End of Track, following every tempo change."""
    _, ppq, tracks = parse(data)
    end = max(t.end_tick for t in tracks)
    changes = sorted(
        (tick, int.from_bytes(payload, "big"))
        for t in tracks
        for tick, meta_type, payload in t.meta
        if meta_type == META_TEMPO
    )
    seconds = 0.0
    now, micros = 0, 500_000
    for tick, new_micros in changes:
        if tick >= end:
            break
        seconds += (tick - now) * micros / ppq / 1e6
        now, micros = tick, new_micros
    return seconds + (end - now) * micros / ppq / 1e6

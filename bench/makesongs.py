#!/usr/bin/env python3
"""Songs for run-all.sh, written from scratch so that every run times the same bytes.

  makesongs.py organ PATH MS      organ notes held to the End of Track at MS (1 tick = 1 ms):
                                  the sound lasts to the very end, so a gap after it is silence
  makesongs.py onset PATH         one piano note at 0, End of Track at 1 s
  makesongs.py large PATH MB      a 16-track file of about MB megabytes of note events
  makesongs.py allprograms PATH   every General MIDI program in turn, one note each, with drums:
                                  the samples of the whole SoundFont's melodic bank in one song
"""
import struct
import sys


def varlen(value):
    out = [value & 0x7F]
    while value > 0x7F:
        value >>= 7
        out.insert(0, (value & 0x7F) | 0x80)
    return bytes(out)


def smf(division, tracks, fmt=None):
    fmt = (0 if len(tracks) == 1 else 1) if fmt is None else fmt
    data = b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division)
    for track in tracks:
        data += b"MTrk" + struct.pack(">I", len(track)) + track
    return data


def organ(ms):
    # A low organ note, then a high one held until the End of Track: a dropout inside the high
    # note is told from the next song by its pitch.
    half = ms // 2
    track = bytes.fromhex("00ff51030f4240" "00c010")
    track += bytes.fromhex("0090307f") + varlen(half) + bytes.fromhex("803000" "0090607f")
    track += varlen(ms - half) + bytes.fromhex("806000" "00ff2f00")
    return smf(1000, [track])


def onset():
    track = bytes.fromhex("00ff51030f4240" "00c000" "00903c7f") + varlen(300)
    track += bytes.fromhex("803c00") + varlen(700) + bytes.fromhex("ff2f00")
    return smf(1000, [track])


def large(megabytes):
    # Four bytes an event (delta, status, key, velocity, no running status), spread over 16
    # tracks that the reader has to merge.
    tracks = []
    per_track = int(megabytes * 1024 * 1024) // 16
    for channel in range(16):
        body = bytearray(bytes.fromhex("00ff51030f4240") if channel == 0 else b"")
        body += bytes((0x00, 0xC0 | channel, channel * 5))
        key = 0
        while len(body) < per_track - 8:
            pitch = 36 + (key * 7 + channel) % 48
            body += bytes((0x01, 0x90 | channel, pitch, 80, 0x01, 0x80 | channel, pitch, 0))
            key += 1
        body += bytes.fromhex("00ff2f00")
        tracks.append(bytes(body))
    return smf(480, tracks)


def allprograms():
    # 128 programs on the 15 melodic channels, a 60-ms note every 100 ms, and a drum hit every
    # 8 programs; 14.3 s in all.
    track = bytearray(bytes.fromhex("00ff51030f4240"))
    channels = [c for c in range(16) if c != 9]
    for program in range(128):
        channel = channels[program % len(channels)]
        track += bytes((0x00, 0xC0 | channel, program, 0x00, 0x90 | channel, 60, 100))
        if program % 8 == 0:
            track += bytes((0x00, 0x99, 36, 100))
        track += varlen(60) + bytes((0x80 | channel, 60, 0))
        if program % 8 == 0:
            track += bytes((0x00, 0x89, 36, 0))
        track += varlen(40) + bytes((0xFF, 0x01, 0x00))  # an empty text event: 40 ms pass
    track += bytes.fromhex("8c00ff2f00")  # 1.5 s for the last notes to ring out
    return smf(1000, [bytes(track)])


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "organ":
        data = organ(int(sys.argv[3]))
    elif kind == "onset":
        data = onset()
    elif kind == "allprograms":
        data = allprograms()
    elif kind == "large":
        data = large(float(sys.argv[3]))
    else:
        sys.exit(__doc__)
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: small MIDI files of each shape the reader accepts."""
import os
import struct
import sys


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)


def track(events, end=True, adjust=0):
    data = b"".join(vlq(delta) + body for delta, body in events)
    if end:
        data += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data) + adjust) + data


def smf(fmt, division, tracks, declared=None):
    count = len(tracks) if declared is None else declared
    return b"MThd" + struct.pack(">IHHH", 6, fmt, count, division) + b"".join(tracks)


def smpte(fps, ticks):
    return ((256 - fps) << 8) | ticks


NOTES = [(0, b"\xc0\x00"), (0, b"\x90\x3c\x64"), (96, b"\x80\x3c\x40"), (0, b"\x90\x40\x64"),
         (96, b"\x80\x40\x40")]
TEMPO = [(0, b"\xff\x51\x03\x07\xa1\x20"), (192, b"\xff\x51\x03\x03\xd0\x90")]
RUNNING = [(0, b"\x90\x3c\x64"), (48, b"\x3e\x64"), (0, b"\xff\x01\x02hi"), (48, b"\x3c\x00"),
           (0, b"\xf0\x03\x7e\x7f\xf7"), (48, b"\x3e\x00"), (0, b"\xf7\x01\xf8"), (10, b"\x40\x40")]


def riff(data):
    body = b"RMID" + b"data" + struct.pack("<I", len(data)) + data
    if len(data) % 2:
        body += b"\x00"
    body += b"LIST" + struct.pack("<I", 4) + b"INFO"
    return b"RIFF" + struct.pack("<I", len(body)) + body


def seeds():
    basic = smf(0, 96, [track(NOTES)])
    yield "format0", basic
    yield "format1-tempo", smf(1, 480, [track(TEMPO), track(NOTES), track(NOTES[:3])])
    yield "format2", smf(2, 96, [track(NOTES), track(TEMPO[:1] + NOTES)])
    yield "smpte24", smf(0, smpte(24, 10), [track(NOTES)])
    yield "smpte25", smf(0, smpte(25, 40), [track(NOTES)])
    yield "smpte2997", smf(0, smpte(29, 100), [track(NOTES)])
    yield "smpte30", smf(0, smpte(30, 80), [track(NOTES)])
    yield "running-status", smf(0, 96, [track(RUNNING)])
    yield "rmid", riff(smf(0, 96, [track(NOTES + [(0, b"\xff\x01\x01x")])]))
    yield "mac-header", bytes(128) + basic
    yield "unknown-chunk", smf(1, 96, [track(NOTES), b"XFIH\x00\x00\x00\x02ab", track(NOTES)])
    yield "no-end-of-track", smf(1, 96, [track(NOTES, end=False), track(NOTES)])
    yield "truncated", basic[:-5]
    yield "length-too-long", smf(1, 96, [track(NOTES, adjust=7), track(NOTES)])
    yield "length-too-short", smf(1, 96, [track(NOTES, adjust=-3), track(NOTES)])
    yield "declared-more", smf(1, 96, [track(NOTES)], declared=4)
    yield "declared-fewer", smf(1, 96, [track(NOTES), track(NOTES)], declared=1)
    yield "controllers", smf(0, 96, [track([(0, b"\xb0\x00\x01"), (0, b"\xb0\x20\x02"),
                                            (0, b"\xc0\x05"), (0, b"\xe0\x00\x40"),
                                            (0, b"\xd0\x40"), (0, b"\xa0\x3c\x20"),
                                            (0, b"\xc9\x10"), (0, b"\x99\x24\x64")])])
    yield "not-midi", b"This is not a song.\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(out, "seed-" + name + ".mid"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

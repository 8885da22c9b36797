#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A Standard MIDI File read leniently into its tracks, still timed in ticks. Reading never
// throws, never loops without consuming input and allocates at most in proportion to the input.

struct MidiChannelEvent {
    uint64_t tick = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

struct MidiTempoChange {
    uint64_t tick = 0;
    uint32_t usPerQuarter = 500000;
};

struct MidiTrack {
    std::vector<MidiChannelEvent> events;
    std::vector<MidiTempoChange> tempoChanges;
    uint64_t endTick = 0; // tick of the last complete event, End of Track included
    int64_t eventCount = 0; // every complete event: channel, meta, sysex
    bool hasEndOfTrack = false;
};

// The header's time division: ticks per quarter note, or SMPTE frames per second and ticks per
// frame. framesPerSecond is 29 for 29.97 drop-frame.
struct MidiDivision {
    int ticksPerQuarter = 0;
    int framesPerSecond = 0;
    int ticksPerFrame = 0;
    uint16_t raw = 0;
    bool isSmpte() const { return framesPerSecond != 0; }
};

struct MidiFile {
    int format = 0;
    int declaredTrackCount = 0;
    MidiDivision division;
    std::vector<MidiTrack> tracks;
    std::vector<std::string> warnings; // what was repaired, at most a handful
};

struct MidiFileReadResult {
    bool ok = false;
    MidiFile file;
    std::string error; // one line, when !ok
};

namespace MidiLimits {
// Larger files are refused: real songs are well under a megabyte.
constexpr size_t maxFileBytes = 64 * 1024 * 1024;
constexpr size_t maxTracks = 65535;
constexpr size_t maxChannelEvents = 4 * 1024 * 1024;
constexpr size_t maxWarnings = 8;
} // namespace MidiLimits

MidiFileReadResult readMidiFile(const uint8_t* data, size_t size);

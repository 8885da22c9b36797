#pragma once

#include "engine/midi/midifile.h"

#include <cstdint>
#include <vector>

// Converts ticks to microseconds through a tempo map with exact integer arithmetic: each
// segment keeps its start time scaled by the division, so no rounding accumulates across tempo
// changes. Results saturate at maxUs, which keeps millisecond values inside 32 bits.
class TempoMap {
public:
    static constexpr int64_t maxUs = int64_t(INT32_MAX) * 1000 + 999;
    static constexpr uint32_t defaultTempo = 500000;

    // changes must be sorted by tick; later entries at the same tick win.
    TempoMap(const MidiDivision& division, const std::vector<MidiTempoChange>& changes,
        uint32_t initialTempo = defaultTempo);

    int64_t toUs(uint64_t tick) const;
    uint32_t finalTempo() const { return m_segments.back().usPerQuarter; }

private:
    struct Segment {
        uint64_t tick;
        __int128 scaledUs; // microseconds times ticks per quarter
        uint32_t usPerQuarter;
    };

    static int64_t clampUs(__int128 us);

    MidiDivision m_division;
    std::vector<Segment> m_segments;
};

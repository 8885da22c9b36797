#include "engine/midi/tempomap.h"

#include <algorithm>

TempoMap::TempoMap(const MidiDivision& division, const std::vector<MidiTempoChange>& changes,
    uint32_t initialTempo)
    : m_division(division)
{
    m_segments.reserve(changes.size() + 1);
    m_segments.push_back({ 0, 0, initialTempo });
    if (division.isSmpte())
        return; // SMPTE time ignores tempo
    for (const MidiTempoChange& change : changes) {
        const Segment& last = m_segments.back();
        __int128 scaled = last.scaledUs + __int128(change.tick - last.tick) * last.usPerQuarter;
        m_segments.push_back({ change.tick, scaled, change.usPerQuarter });
    }
}

int64_t TempoMap::clampUs(__int128 us)
{
    return us > maxUs ? maxUs : int64_t(us);
}

int64_t TempoMap::toUs(uint64_t tick) const
{
    if (m_division.isSmpte()) {
        // 29 stands for 29.97 drop-frame: 30000/1001 frames per second.
        __int128 perSecond = __int128(m_division.framesPerSecond) * m_division.ticksPerFrame;
        if (m_division.framesPerSecond == 29)
            return clampUs(
                __int128(tick) * 1001000000 / (__int128(30000) * m_division.ticksPerFrame));
        return clampUs(__int128(tick) * 1000000 / perSecond);
    }
    auto after = std::upper_bound(m_segments.begin(), m_segments.end(), tick,
        [](uint64_t t, const Segment& segment) { return t < segment.tick; });
    const Segment& segment = *(after - 1);
    __int128 scaled = segment.scaledUs + __int128(tick - segment.tick) * segment.usPerQuarter;
    return clampUs(scaled / m_division.ticksPerQuarter);
}

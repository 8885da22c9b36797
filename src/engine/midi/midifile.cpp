#include "engine/midi/midifile.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t readBe32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t readLe32(const uint8_t* p)
{
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[0]);
}

uint16_t readBe16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

bool hasTag(const uint8_t* p, const uint8_t* end, const char* tag)
{
    return end - p >= 4 && std::memcmp(p, tag, 4) == 0;
}

const uint8_t* findTag(const uint8_t* from, const uint8_t* end, const char* tag)
{
    if (end - from < 4)
        return nullptr;
    const uint8_t* last = end - 4;
    for (const uint8_t* p = from; p <= last; ++p) {
        p = static_cast<const uint8_t*>(std::memchr(p, tag[0], size_t(last - p) + 1));
        if (!p)
            return nullptr;
        if (std::memcmp(p, tag, 4) == 0)
            return p;
    }
    return nullptr;
}

// A chunk header is four printable ASCII characters and a length; anything else where a chunk
// should start means the previous chunk's length was wrong.
bool looksLikeChunkAt(const uint8_t* p, const uint8_t* end)
{
    if (end - p < 8)
        return false;
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7e; });
}

// Channel messages carry one or two data bytes; system common and real-time bytes, which do
// not belong in a file but occur in broken ones, are skipped with their usual lengths.
int dataLength(uint8_t status)
{
    switch (status & 0xf0) {
    case 0xc0:
    case 0xd0:
        return 1;
    case 0xf0:
        break;
    default:
        return 2;
    }
    switch (status) {
    case 0xf1:
    case 0xf3:
        return 1;
    case 0xf2:
        return 2;
    default:
        return 0;
    }
}

class Reader {
public:
    MidiFile file;
    std::string error;
    size_t channelEvents = 0;

    void warn(std::string text)
    {
        if (file.warnings.size() < MidiLimits::maxWarnings)
            file.warnings.push_back(std::move(text));
    }
};

// Parses one track's events. Each event is taken whole or not at all, so a parse that stops at
// a limit can resume from the same place with a further limit.
class TrackParser {
public:
    TrackParser(const uint8_t* begin, MidiTrack* track, Reader* reader)
        : m_pos(begin)
        , m_begin(begin)
        , m_track(track)
        , m_reader(reader)
    {
    }

    enum class Stop { EndOfTrack, Limit, Incomplete, NextTrack, BadData, TooManyEvents };

    Stop parseUntil(const uint8_t* limit)
    {
        while (m_pos < limit) {
            if (m_pos != m_begin && hasTag(m_pos, limit, "MTrk"))
                return Stop::NextTrack;
            Stop stop;
            if (!parseEvent(limit, &stop))
                return stop;
        }
        return Stop::Limit;
    }

    const uint8_t* position() const { return m_pos; }

private:
    bool readVarLen(const uint8_t*& p, const uint8_t* limit, uint32_t* value, Stop* stop)
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            if (p >= limit) {
                *stop = Stop::Incomplete;
                return false;
            }
            uint8_t b = *p++;
            v = (v << 7) | (b & 0x7f);
            if (!(b & 0x80)) {
                *value = v;
                return true;
            }
        }
        *stop = Stop::BadData;
        return false;
    }

    bool parseEvent(const uint8_t* limit, Stop* stop)
    {
        const uint8_t* p = m_pos;
        uint32_t delta = 0;
        if (!readVarLen(p, limit, &delta, stop))
            return false;
        if (p >= limit) {
            *stop = Stop::Incomplete;
            return false;
        }
        uint64_t tick = m_tick + delta;
        uint8_t first = *p;
        if (first == 0xff)
            return parseMeta(p + 1, limit, tick, stop);
        if (first == 0xf0 || first == 0xf7)
            return parseSysex(p + 1, limit, tick, stop);
        uint8_t status = m_runningStatus;
        if (first & 0x80) {
            status = first;
            ++p;
        } else if (!status) {
            *stop = Stop::BadData;
            return false;
        }
        int length = dataLength(status);
        if (limit - p < length) {
            *stop = Stop::Incomplete;
            return false;
        }
        // A status byte inside a message is corruption; masking keeps the message aligned.
        uint8_t data1 = length > 0 ? p[0] & 0x7f : 0;
        uint8_t data2 = length > 1 ? p[1] & 0x7f : 0;
        p += length;
        if (status < 0xf0) {
            if (m_reader->channelEvents >= MidiLimits::maxChannelEvents) {
                *stop = Stop::TooManyEvents;
                return false;
            }
            ++m_reader->channelEvents;
            m_track->events.push_back({ tick, status, data1, data2 });
            // Lenient readers keep running status across meta and sysex events too.
            m_runningStatus = status;
        }
        accept(p, tick);
        return true;
    }

    bool parseMeta(const uint8_t* p, const uint8_t* limit, uint64_t tick, Stop* stop)
    {
        if (p >= limit) {
            *stop = Stop::Incomplete;
            return false;
        }
        uint8_t type = *p++;
        uint32_t length = 0;
        if (!readVarLen(p, limit, &length, stop))
            return false;
        if (uint64_t(limit - p) < length) {
            *stop = Stop::Incomplete;
            return false;
        }
        if (type == 0x51 && length >= 3) {
            uint32_t tempo = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            // A zero tempo would stop time; treat it as the fastest representable one.
            m_track->tempoChanges.push_back({ tick, std::max<uint32_t>(tempo, 1) });
        }
        accept(p + length, tick);
        if (type == 0x2f) {
            m_track->hasEndOfTrack = true;
            *stop = Stop::EndOfTrack;
            return false;
        }
        return true;
    }

    bool parseSysex(const uint8_t* p, const uint8_t* limit, uint64_t tick, Stop* stop)
    {
        uint32_t length = 0;
        if (!readVarLen(p, limit, &length, stop))
            return false;
        if (uint64_t(limit - p) < length) {
            *stop = Stop::Incomplete;
            return false;
        }
        accept(p + length, tick);
        return true;
    }

    void accept(const uint8_t* next, uint64_t tick)
    {
        m_pos = next;
        m_tick = tick;
        m_track->endTick = tick;
        ++m_track->eventCount;
    }

    const uint8_t* m_pos;
    const uint8_t* m_begin;
    uint64_t m_tick = 0;
    uint8_t m_runningStatus = 0;
    MidiTrack* m_track;
    Reader* m_reader;
};

// Reads the track whose data starts at body and returns where the next chunk starts. The
// declared length is trusted only when a chunk (or the end of the file) follows it; otherwise
// the track runs to its End of Track or to the next "MTrk".
const uint8_t* readTrack(Reader& reader, const uint8_t* body, const uint8_t* declaredEnd,
    const uint8_t* fileEnd, bool lengthOverruns)
{
    reader.file.tracks.emplace_back();
    MidiTrack& track = reader.file.tracks.back();
    int number = int(reader.file.tracks.size());
    TrackParser parser(body, &track, &reader);
    bool declaredEndIsSound = declaredEnd == fileEnd || looksLikeChunkAt(declaredEnd, fileEnd);

    TrackParser::Stop stop = parser.parseUntil(declaredEnd);
    bool ranShort = stop == TrackParser::Stop::Limit || stop == TrackParser::Stop::Incomplete;
    if (ranShort && !declaredEndIsSound) {
        reader.warn("track " + std::to_string(number) + ": chunk length too short");
        stop = parser.parseUntil(fileEnd);
    }
    if (stop == TrackParser::Stop::TooManyEvents) {
        reader.error
            = "too many events (more than " + std::to_string(MidiLimits::maxChannelEvents) + ")";
        return fileEnd;
    }
    if (!track.hasEndOfTrack) {
        if (stop == TrackParser::Stop::BadData)
            reader.warn("track " + std::to_string(number) + ": unreadable data, rest skipped");
        else if (lengthOverruns || stop == TrackParser::Stop::Incomplete)
            reader.warn("track " + std::to_string(number) + ": truncated");
        else
            reader.warn("track " + std::to_string(number) + ": no End of Track");
    }

    if (stop == TrackParser::Stop::NextTrack)
        return parser.position();
    if (declaredEndIsSound && parser.position() <= declaredEnd)
        return declaredEnd;
    if (const uint8_t* next = findTag(parser.position(), fileEnd, "MTrk"))
        return next;
    return fileEnd;
}

void readChunks(Reader& reader, const uint8_t* pos, const uint8_t* end)
{
    while (end - pos >= 8 && reader.error.empty()) {
        if (reader.file.tracks.size() >= MidiLimits::maxTracks) {
            reader.warn(
                "more than " + std::to_string(MidiLimits::maxTracks) + " tracks, the rest ignored");
            return;
        }
        uint32_t length = readBe32(pos + 4);
        const uint8_t* body = pos + 8;
        bool overruns = uint64_t(end - body) < length;
        const uint8_t* declaredEnd = overruns ? end : body + length;
        if (hasTag(pos, end, "MTrk")) {
            pos = readTrack(reader, body, declaredEnd, end, overruns);
        } else if (looksLikeChunkAt(pos, end)) {
            pos = declaredEnd; // unknown chunk
        } else {
            const uint8_t* next = findTag(pos + 1, end, "MTrk");
            if (!next)
                return;
            reader.warn("garbage between chunks skipped");
            pos = next;
        }
    }
}

// RIFF MIDI wraps the file in a "data" chunk; RIFF pads odd chunks with one byte.
void unwrapRiff(const uint8_t*& begin, const uint8_t*& end)
{
    if (!hasTag(begin, end, "RIFF") || end - begin < 12 || std::memcmp(begin + 8, "RMID", 4) != 0)
        return;
    const uint8_t* pos = begin + 12;
    while (end - pos >= 8) {
        uint32_t length = readLe32(pos + 4);
        const uint8_t* body = pos + 8;
        const uint8_t* chunkEnd = uint64_t(end - body) < length ? end : body + length;
        if (hasTag(pos, end, "data")) {
            begin = body;
            end = chunkEnd;
            return;
        }
        pos = chunkEnd;
        if ((length & 1) && pos < end)
            ++pos;
    }
}

bool readDivision(uint16_t raw, MidiDivision* division, std::string* error)
{
    division->raw = raw;
    if (raw & 0x8000) {
        int fps = -int(int8_t(raw >> 8));
        int ticksPerFrame = raw & 0xff;
        if (ticksPerFrame == 0) {
            *error = "invalid SMPTE division: zero ticks per frame";
            return false;
        }
        division->framesPerSecond = fps;
        division->ticksPerFrame = ticksPerFrame;
        return true;
    }
    if (raw == 0) {
        *error = "invalid division: zero ticks per quarter note";
        return false;
    }
    division->ticksPerQuarter = raw;
    return true;
}

} // namespace

MidiFileReadResult readMidiFile(const uint8_t* data, size_t size)
{
    MidiFileReadResult result;
    if (size > MidiLimits::maxFileBytes) {
        result.error = "file too large for a MIDI song (over 64 MB)";
        return result;
    }
    if (!data || size == 0) {
        result.error = "empty file";
        return result;
    }
    const uint8_t* begin = data;
    const uint8_t* end = data + size;
    unwrapRiff(begin, end);
    // Data may come before the header, such as a 128-byte Mac header.
    const uint8_t* header = findTag(begin, end, "MThd");
    if (!header) {
        result.error = "not a MIDI file (no MThd header)";
        return result;
    }
    if (end - header < 14) {
        result.error = "MIDI header truncated";
        return result;
    }
    uint32_t headerLength = readBe32(header + 4);
    if (headerLength < 6) {
        result.error = "MIDI header too short";
        return result;
    }
    Reader reader;
    reader.file.format = readBe16(header + 8);
    reader.file.declaredTrackCount = readBe16(header + 10);
    if (!readDivision(readBe16(header + 12), &reader.file.division, &result.error))
        return result;
    if (reader.file.format > 2) {
        reader.warn("unknown format " + std::to_string(reader.file.format) + ", read as format 1");
        reader.file.format = 1;
    }
    const uint8_t* chunks
        = uint64_t(end - header - 8) < headerLength ? end : header + 8 + headerLength;
    readChunks(reader, chunks, end);
    if (!reader.error.empty()) {
        result.error = reader.error;
        return result;
    }
    if (reader.file.tracks.empty()) {
        result.error = "no track data (no MTrk chunk)";
        return result;
    }
    if (int(reader.file.tracks.size()) != reader.file.declaredTrackCount)
        reader.warn("header declares " + std::to_string(reader.file.declaredTrackCount)
            + " tracks, found " + std::to_string(reader.file.tracks.size()));
    result.ok = true;
    result.file = std::move(reader.file);
    return result;
}

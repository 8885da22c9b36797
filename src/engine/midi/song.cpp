#include "engine/midi/song.h"

#include "engine/midi/midi.h"
#include "engine/midi/midifile.h"
#include "engine/midi/tempomap.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

using Midi::drumBank;
using Midi::drumChannel;

// Formats 0 and 1: one tempo map from every track's tempo events, all tracks merged. Events
// hold their tick in timeUs until the merge is sorted, to need no second copy of them.
void buildSimultaneous(MidiFile& file, Song* song)
{
    std::vector<MidiTempoChange> changes;
    size_t eventCount = 0;
    uint64_t endTick = 0;
    for (const MidiTrack& track : file.tracks) {
        changes.insert(changes.end(), track.tempoChanges.begin(), track.tempoChanges.end());
        eventCount += track.events.size();
        endTick = std::max(endTick, track.endTick);
    }
    std::stable_sort(changes.begin(), changes.end(),
        [](const MidiTempoChange& a, const MidiTempoChange& b) { return a.tick < b.tick; });

    std::vector<SongEvent>& events = song->events;
    events.reserve(eventCount);
    for (MidiTrack& track : file.tracks) {
        for (const MidiChannelEvent& event : track.events)
            events.push_back({ int64_t(event.tick), event.status, event.data1, event.data2 });
        track.events = {};
    }
    std::stable_sort(events.begin(), events.end(),
        [](const SongEvent& a, const SongEvent& b) { return a.timeUs < b.timeUs; });

    TempoMap tempoMap(file.division, changes);
    for (SongEvent& event : events)
        event.timeUs = tempoMap.toUs(uint64_t(event.timeUs));
    song->lengthUs = tempoMap.toUs(endTick);
}

// Format 2: independent patterns played one after another. The tempo carries over from one
// pattern to the next, as if they were written end to end in a single track.
void buildSequential(const MidiFile& file, Song* song)
{
    int64_t offsetUs = 0;
    uint32_t tempo = TempoMap::defaultTempo;
    for (const MidiTrack& track : file.tracks) {
        TempoMap tempoMap(file.division, track.tempoChanges, tempo);
        for (const MidiChannelEvent& event : track.events) {
            int64_t timeUs = std::min(TempoMap::maxUs, offsetUs + tempoMap.toUs(event.tick));
            song->events.push_back({ timeUs, event.status, event.data1, event.data2 });
        }
        offsetUs = std::min(TempoMap::maxUs, offsetUs + tempoMap.toUs(track.endTick));
        tempo = tempoMap.finalTempo();
    }
    song->lengthUs = offsetUs;
}

SongLoadResult failure(std::string reason)
{
    SongLoadResult result;
    result.error = std::move(reason);
    return result;
}

// The system's message, in lower case as the reader's own reasons are.
std::string systemReason(int error)
{
    std::string reason = std::strerror(error);
    if (!reason.empty())
        reason[0] = char(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

} // namespace

int32_t Song::lengthMs() const
{
    return int32_t(std::clamp<int64_t>(lengthUs / 1000, 0, INT32_MAX));
}

std::vector<std::pair<int, int>> Song::programsUsed() const
{
    std::set<std::pair<int, int>> used { { 0, 0 }, { drumBank, 0 } };
    int bank[16] = {};
    for (const SongEvent& event : events) {
        int channel = event.status & 0x0f;
        bool isDrum = channel == drumChannel;
        switch (event.status & 0xf0) {
        case 0xb0:
            if (event.data1 == 0 && !isDrum)
                bank[channel] = event.data2;
            break;
        case 0xc0:
            used.insert({ isDrum ? drumBank : bank[channel], event.data1 });
            break;
        }
    }
    return { used.begin(), used.end() };
}

SongLoadResult loadSongFromBytes(const uint8_t* data, size_t size)
{
    MidiFileReadResult read = readMidiFile(data, size);
    if (!read.ok)
        return failure(read.error);
    auto song = std::make_shared<Song>();
    MidiFile& file = read.file;
    if (file.format == 2)
        buildSequential(file, song.get());
    else
        buildSimultaneous(file, song.get());
    song->file.format = file.format;
    song->file.declaredTrackCount = file.declaredTrackCount;
    song->file.trackCount = int(file.tracks.size());
    song->file.division = file.division.raw;
    for (const MidiTrack& track : file.tracks)
        song->file.eventCount += track.eventCount;
    song->file.warnings = file.warnings;
    SongLoadResult result;
    result.song = std::move(song);
    return result;
}

SongLoadResult loadSongFile(const std::string& path)
{
    std::error_code error;
    // A name that cannot be followed (a symbolic link in a loop, a folder not to be entered)
    // says why, in the system's words.
    if (!std::filesystem::exists(path, error))
        return failure(error ? systemReason(error.value()) : "no such file");
    if (std::filesystem::is_directory(path, error))
        return failure("is a folder, not a file");
    // Opening a pipe or a device could block or never end.
    if (!std::filesystem::is_regular_file(path, error))
        return failure("not a regular file");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failure(errno ? systemReason(errno) : "cannot open file");
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0)
        return failure("cannot read file");
    if (uint64_t(size) > MidiLimits::maxFileBytes)
        return failure("file too large for a MIDI song (over 64 MB)");
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size))
        return failure("cannot read file");
    return loadSongFromBytes(bytes.data(), bytes.size());
}

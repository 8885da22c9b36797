#include "midireadercheck.h"

#include "engine/midi/song.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* what)
{
    invariantBroken("reader", what);
}

} // namespace

void invariantBroken(const char* part, const char* what)
{
    std::fprintf(stderr, "%s invariant broken: %s\n", part, what);
    std::abort();
}

void checkMidiReader(const uint8_t* data, size_t size)
{
    checkedSong(data, size);
}

std::shared_ptr<const Song> checkedSong(const uint8_t* data, size_t size)
{
    SongLoadResult result = loadSongFromBytes(data, size);
    if (!result.song) {
        if (result.error.empty() || result.error.find('\n') != std::string::npos)
            broken("a failure needs a one-line reason");
        return nullptr;
    }
    const Song& song = *result.song;
    if (song.lengthUs < 0 || song.lengthMs() < 0 || song.lengthMs() > INT32_MAX)
        broken("length out of range");
    int64_t previous = 0;
    for (const SongEvent& event : song.events) {
        if (event.timeUs < previous)
            broken("events out of order");
        if (event.timeUs > song.lengthUs)
            broken("event after the song's length");
        if (event.status < 0x80 || event.status >= 0xf0 || event.data1 > 0x7f || event.data2 > 0x7f)
            broken("not a channel message");
        previous = event.timeUs;
    }
    if (song.file.trackCount <= 0 || size_t(song.file.eventCount) < song.events.size())
        broken("inconsistent file summary");
    for (auto [bank, program] : song.programsUsed()) {
        if (bank < 0 || bank > 128 || program < 0 || program > 127)
            broken("program out of range");
    }
    return result.song;
}

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A MIDI song ready to play: every channel event of the file, merged into one list and timed in
// microseconds from the start through the file's tempo map. Immutable once loaded, so the audio
// thread can read it while the UI thread holds another reference.
struct SongEvent {
    int64_t timeUs = 0;
    uint8_t status = 0; // channel voice message: 0x80..0xEF, running status already resolved
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// What the file itself says, for tools and diagnostics.
struct SongFileInfo {
    int format = 0;
    int declaredTrackCount = 0;
    int trackCount = 0; // MTrk chunks actually read
    uint16_t division = 0; // the header's raw division word
    int64_t eventCount = 0; // every complete event of every track: channel, meta and sysex
    std::vector<std::string> warnings; // what the reader had to repair, one line each
};

class Song {
public:
    std::vector<SongEvent> events; // sorted by time, stable in file order
    int64_t lengthUs = 0; // time of the last event of the file, End of Track included
    int32_t lengthMs() const; // lengthUs in whole milliseconds, clamped to the 32-bit range
    // (bank, program) pairs the song selects per channel, for loading presets ahead of play.
    // The bank is the one the synth selects in its default (GS) bank-select mode: the last bank
    // MSB on melodic channels, 128 on the drum channel. The power-on presets are always included.
    std::vector<std::pair<int, int>> programsUsed() const;

    SongFileInfo file;
};

struct SongLoadResult {
    std::shared_ptr<const Song> song; // null when the file could not be read
    std::string error; // one line saying why, when song is null
};

// Never throws, never hangs; fails with a reason on anything that is not a MIDI file.
SongLoadResult loadSongFile(const std::string& path);
SongLoadResult loadSongFromBytes(const uint8_t* data, size_t size);

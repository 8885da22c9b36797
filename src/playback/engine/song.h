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

class Song {
public:
    std::vector<SongEvent> events; // sorted by time, stable in file order
    int64_t lengthUs = 0; // time of the last event of the file, End of Track included
    int32_t lengthMs() const; // lengthUs in whole milliseconds, clamped to the 32-bit range
    // (bank, program) pairs the song selects per channel, for loading presets ahead of play.
    std::vector<std::pair<int, int>> programsUsed() const;
};

struct SongLoadResult {
    std::shared_ptr<const Song> song; // null when the file could not be read
    std::string error; // one line saying why, when song is null
};

// Never throws, never hangs; fails with a reason on anything that is not a MIDI file.
SongLoadResult loadSongFile(const std::string& path);
SongLoadResult loadSongFromBytes(const uint8_t* data, size_t size);

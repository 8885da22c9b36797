// lumora-midi-info FILE: what the player's reader makes of a MIDI file.

#include "engine/midi/song.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* usage = "Usage: lumora-midi-info FILE\n";
constexpr const char* help
    = "Prints what the player's MIDI reader makes of FILE, one key=value line each:\n"
      "format, tracks, division (ticks per quarter note, or smpte:FRAMES:TICKS),\n"
      "events, channel_events and length_ms. Warnings about a damaged file go to standard\n"
      "error; a file that cannot be read exits with status 1.\n"
      "\n"
      "Options:\n"
      "  --help     Displays this help.\n"
      "  --version  Displays version information.\n";

void printDivision(uint16_t division)
{
    if (!(division & 0x8000)) {
        std::printf("division=%u\n", unsigned(division));
        return;
    }
    int framesPerSecond = -int(int8_t(division >> 8));
    const char* rate = framesPerSecond == 29 ? "29.97" : nullptr;
    if (rate)
        std::printf("division=smpte:%s:%u\n", rate, unsigned(division & 0xff));
    else
        std::printf("division=smpte:%d:%u\n", framesPerSecond, unsigned(division & 0xff));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n%s", usage, help);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("lumora-midi-info %s\n", LUMORA_VERSION);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "%sTry 'lumora-midi-info --help'.\n", usage);
        return 2;
    }
    SongLoadResult result = loadSongFile(argv[1]);
    if (!result.song) {
        std::fprintf(stderr, "%s: %s\n", argv[1], result.error.c_str());
        return 1;
    }
    const Song& song = *result.song;
    for (const std::string& warning : song.file.warnings)
        std::fprintf(stderr, "%s: warning: %s\n", argv[1], warning.c_str());
    std::printf("format=%d\n", song.file.format);
    std::printf("tracks=%d\n", song.file.trackCount);
    printDivision(song.file.division);
    std::printf("events=%lld\n", static_cast<long long>(song.file.eventCount));
    std::printf("channel_events=%zu\n", song.events.size());
    std::printf("length_ms=%d\n", song.lengthMs());
    return 0;
}

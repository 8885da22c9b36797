// lumora-render FILE OUT.wav [SOUNDFONT]: renders a song offline through the player's own
// reader, sequencer and synth settings, as fast as the machine allows.

#include "wavwriter.h"

#include "engine/midi/song.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int sampleRate = 44100;
constexpr int blockFrames = 1024;
// Ring-out after the last event stops when every voice has died, or after this much.
constexpr int64_t maxTailFrames = 5 * sampleRate;

constexpr const char* usage = "Usage: lumora-render FILE OUT.wav [SOUNDFONT]\n";
constexpr const char* help
    = "Renders the MIDI song FILE into OUT.wav (16-bit stereo PCM, 44100 Hz) as fast as the\n"
      "machine allows, with the player's own reader, sequencer and synth settings, until the\n"
      "last note has died away (at most 5 seconds after the last event).\n"
      "SOUNDFONT is the SoundFont to play with; without it, the system default in\n"
      "/usr/share/sounds/sf2 is used.\n"
      "\n"
      "Options:\n"
      "  --help     Displays this help.\n"
      "  --version  Displays version information.\n";

int fail(const char* file, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s\n", file, reason.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n%s", usage, help);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("lumora-render %s\n", LUMORA_VERSION);
        return 0;
    }
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "%sTry 'lumora-render --help'.\n", usage);
        return 2;
    }
    SongLoadResult loaded = loadSongFile(argv[1]);
    if (!loaded.song)
        return fail(argv[1], loaded.error);
    for (const std::string& warning : loaded.song->file.warnings)
        std::fprintf(stderr, "%s: warning: %s\n", argv[1], warning.c_str());

    std::string soundFont = argc == 4 ? argv[3] : Synth::findDefaultSoundFont();
    if (soundFont.empty())
        return fail(argv[1], "no SoundFont found in /usr/share/sounds/sf2");
    Synth synth(sampleRate);
    std::string error;
    if (!synth.loadSoundFont(soundFont, &error))
        return fail(soundFont.c_str(), "cannot load the SoundFont: " + error);
    synth.prepare(*loaded.song);

    SongRenderer renderer(&synth, sampleRate);
    renderer.setSong(loaded.song);
    int64_t songFrames = (loaded.song->lengthUs * sampleRate + 999999) / 1000000;
    if (songFrames > WavWriter::maxFrames - maxTailFrames)
        return fail(argv[1], "song too long for a WAV file");

    WavWriter wav;
    if (!wav.open(argv[2], sampleRate, &error))
        return fail(argv[2], error);
    std::vector<float> left(blockFrames), right(blockFrames);
    renderer.play();
    int64_t tailFrames = 0;
    while (!renderer.atEnd() || (renderer.isAudible() && tailFrames < maxTailFrames)) {
        bool inTail = renderer.atEnd();
        renderer.render(left.data(), right.data(), blockFrames);
        if (!wav.write(left.data(), right.data(), blockFrames))
            break;
        if (inTail)
            tailFrames += blockFrames;
    }
    if (!wav.finish(&error))
        return fail(argv[2], error);
    return 0;
}

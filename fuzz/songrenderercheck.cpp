#include "songrenderercheck.h"

#include "midireadercheck.h"

#include "engine/midi/song.h"
#include "engine/synth/songrenderer.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace {

// Low rates stretch a small budget over many seconds of song, so that the short songs of the
// corpus reach their end at thousands of runs a second; the timing arithmetic is the same at
// every rate. One rate is not a whole number, which takes the other timing path.
constexpr int64_t frameBudget = 1 << 14;
constexpr double sampleRates[] = { 1000.0, 8000.0, 44100.0, 2205.5 };
constexpr int blockSizes[] = { 1, 7, 64, 441, 512, 1000, 4096 };
constexpr int maxBlock = 4096;
// Longer than the renderer's fade at every rate above.
constexpr int fadeFrames = 512;

[[noreturn]] void broken(const char* what)
{
    invariantBroken("renderer", what);
}

class TimelineCheck {
public:
    TimelineCheck(std::shared_ptr<const Song> song, double sampleRate, uint32_t seed)
        : m_song(std::move(song))
        , m_sampleRate(sampleRate)
        , m_renderer(nullptr, sampleRate)
        , m_left(maxBlock)
        , m_right(maxBlock)
        , m_random(seed)
    {
    }

    SongRenderer& renderer() { return m_renderer; }
    bool hasBudget() const { return m_budget > 0; }

    void expectAtStart()
    {
        if (m_renderer.framesPlayed() != 0 || m_renderer.positionMs() != 0)
            broken("not at the start");
        if (m_renderer.isPlaying() || m_renderer.atEnd())
            broken("a song at its start is stopped, not at its end");
        if (m_renderer.lengthMs() != m_song->lengthMs())
            broken("length differs from the song's");
    }

    void renderBlock() { render(nextBlockSize()); }

    void render(int frames)
    {
        const int64_t before = m_renderer.framesPlayed();
        const int32_t positionBefore = m_renderer.positionMs();
        const bool wasPlaying = m_renderer.isPlaying();
        // Whatever the buffers held must be overwritten.
        std::fill_n(m_left.begin(), frames, 1.0f);
        std::fill_n(m_right.begin(), frames, -1.0f);
        m_renderer.render(m_left.data(), m_right.data(), frames);
        m_budget -= frames;

        const int64_t after = m_renderer.framesPlayed();
        if (!wasPlaying && after != before)
            broken("time moved while stopped");
        if (after < before || after - before > frames)
            broken("time moved by other than the block");
        if (wasPlaying && !m_renderer.atEnd() && after - before != frames)
            broken("a playing song skipped or held back frames");
        if (m_renderer.positionMs() < positionBefore)
            broken("position went back without a rewind");
        if (m_renderer.positionMs() > m_renderer.lengthMs())
            broken("position beyond the length");
        if (m_renderer.atEnd())
            expectStoppedAtEnd();
        const auto sounds = [](float sample) { return sample != 0.0f; };
        if (std::any_of(m_left.begin(), m_left.begin() + frames, sounds)
            || std::any_of(m_right.begin(), m_right.begin() + frames, sounds))
            broken("output without a synth is not silence");
    }

    void playToEndOrBudget()
    {
        m_renderer.play();
        while (m_renderer.isPlaying() && hasBudget())
            renderBlock();
    }

private:
    int nextBlockSize()
    {
        m_random = m_random * 1103515245u + 12345u;
        return blockSizes[(m_random >> 16) % std::size(blockSizes)];
    }

    // The song stops on the first frame at or after its length: never short of it, never past.
    void expectStoppedAtEnd()
    {
        if (m_renderer.isPlaying())
            broken("still playing at the end");
        if (m_renderer.positionMs() != m_renderer.lengthMs())
            broken("position at the end is not the length");
        const long double endUs = static_cast<long double>(m_song->lengthUs);
        const long double frames = static_cast<long double>(m_renderer.framesPlayed());
        const long double slack = m_sampleRate == std::floor(m_sampleRate) ? 0.0L : 1e-3L;
        if (frames * 1e6L / m_sampleRate < endUs - slack)
            broken("stopped before the end");
        if (frames > 0 && (frames - 1) * 1e6L / m_sampleRate >= endUs + slack)
            broken("ran past the end");
    }

    std::shared_ptr<const Song> m_song;
    double m_sampleRate;
    SongRenderer m_renderer;
    std::vector<float> m_left;
    std::vector<float> m_right;
    uint32_t m_random;
    int64_t m_budget = frameBudget;
};

} // namespace

void checkSongRenderer(const uint8_t* data, size_t size)
{
    std::shared_ptr<const Song> song = checkedSong(data, size);
    if (!song)
        return;
    TimelineCheck check(song, sampleRates[size % std::size(sampleRates)], uint32_t(size));
    SongRenderer& renderer = check.renderer();

    renderer.setSong(song);
    check.expectAtStart();
    check.renderBlock();
    check.expectAtStart();

    // Play a little, pause with the fade, and resume.
    renderer.play();
    const int blocksBeforePause = 1 + data[size / 2] % 4;
    for (int i = 0; i < blocksBeforePause && renderer.isPlaying(); ++i)
        check.renderBlock();
    const int64_t pausedAt = renderer.framesPlayed();
    renderer.silenceWithFade();
    if (renderer.isPlaying())
        broken("still playing after the fade began");
    check.render(fadeFrames);
    if (renderer.framesPlayed() != pausedAt)
        broken("time moved during the fade");
    if (renderer.isAudible())
        broken("still audible after the fade");

    check.playToEndOrBudget();
    if (renderer.atEnd()) {
        renderer.play();
        if (renderer.isPlaying())
            broken("played on past the end");
    }

    renderer.rewindToStart();
    check.expectAtStart();
    renderer.play();
    check.renderBlock();
    check.renderBlock();

    // Opening the same song again while it plays starts it over.
    renderer.setSong(song);
    check.expectAtStart();
    check.playToEndOrBudget();

    renderer.clearSong();
    renderer.play();
    if (renderer.isPlaying() || renderer.lengthMs() != 0 || renderer.framesPlayed() != 0)
        broken("plays without a song");
}

#include "engine/output/soundengine.h"

#include "engine/output/soundoutput.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"
#include "engine/synth/workerthread.h"

#include <chrono>
#include <thread>

namespace {

// The live player with the synth it plays through, its output and its sample loader.
class PlayerEngine final : public SoundEngine {
public:
    ~PlayerEngine() override
    {
        if (!m_shutDown)
            shutDown();
        // The renderer goes before the synth it plays through.
        m_player.detachRenderer().reset();
    }

    void setLogHandler(EngineLog::Handler handler) override { EngineLog::setHandler(handler); }
    void openOutput() override { m_output = openSoundOutput(); }
    void useOutput(std::unique_ptr<AudioOutput> output) override { m_output = std::move(output); }
    double sampleRate() const override { return m_output ? m_output->sampleRate() : 44100.0; }
    std::string defaultSoundFont() const override { return Synth::findDefaultSoundFont(); }

    bool loadSoundFont(const std::string& path, std::string* error) override
    {
        auto synth = std::make_unique<Synth>(sampleRate());
        if (!synth->loadSoundFont(path, error))
            return false;
        m_synth = std::move(synth);
        return true;
    }

    bool hasSoundFont() const override { return m_synth != nullptr; }

    void start() override
    {
        if (!m_output)
            openOutput();
        m_player.attachRenderer(std::make_unique<SongRenderer>(m_synth.get(), sampleRate()));
        m_output->start(&m_player);
    }

    void setSong(std::shared_ptr<const Song> song, bool loadSamples) override
    {
        m_player.setSong(std::move(song), loadSamples ? m_synth.get() : nullptr);
    }
    void closeSong() override { m_player.closeSong(); }
    void play() override { m_player.play(); }
    void silenceWithFade() override { m_player.silenceWithFade(); }
    void rewindToStart() override { m_player.rewindToStart(); }
    void acknowledgeEnd() override { m_player.acknowledgeEnd(); }
    int32_t positionMs() const override { return m_player.positionMs(); }
    bool atEnd() const override { return m_player.atEnd(); }
    int endNotifier() const override { return m_player.endNotifier(); }
    const LiveSongPlayer* player() const override { return &m_player; }

    void wake() override
    {
        if (m_output)
            m_output->wake();
    }

    // Arming may ask the output to write again (a song whose end it has queued already).
    void setFollowingSong(std::shared_ptr<const Song> song) override
    {
        m_player.setFollowingSong(std::move(song));
        wake();
    }
    bool isFollowingSongStarted() const override { return m_player.isFollowingSongStarted(); }
    void adoptFollowingSong() override { m_player.adoptFollowingSong(); }
    void dropFollowingSong() override
    {
        m_player.dropFollowingSong();
        wake();
    }

    void postToSampleLoader(std::function<void()> task) override
    {
        if (!m_sampleLoader)
            m_sampleLoader = std::make_unique<WorkerThread>();
        m_sampleLoader->post(std::move(task));
    }

    int prepareSong(const Song& song) override
    {
        return m_synth ? m_player.prepareSong(song, *m_synth) : 0;
    }
    // Reading holds the audio thread back (the player's lock): only an output that makes up for
    // it may wait while samples are read, unless there is nothing to read.
    bool prepareFollowingSong(const Song& song) override
    {
        if (!m_synth)
            return true;
        if (!m_synth->isPreparedAlongside(song) && !(m_output && m_output->toleratesLateRender()))
            return false;
        m_player.prepareFollowingSong(song, *m_synth);
        return true;
    }
    void returnFreedMemory() override { Synth::returnFreedMemory(); }

    // The program ends with a fade too. Bounded, as a stalled device must not hang the exit.
    void shutDown() override
    {
        m_sampleLoader.reset();
        m_player.closeSong();
        wake();
        if (m_output && m_output->pullsInRealTime()) {
            using namespace std::chrono;
            const auto deadline = steady_clock::now() + milliseconds(200);
            while (m_player.isBusy() && steady_clock::now() < deadline)
                std::this_thread::sleep_for(milliseconds(1));
        }
        if (m_output)
            m_output->stop();
        m_shutDown = true;
    }

private:
    std::unique_ptr<AudioOutput> m_output;
    std::unique_ptr<Synth> m_synth;
    LiveSongPlayer m_player;
    // Loads the samples of each song opened, so that Open never waits for the disk.
    std::unique_ptr<WorkerThread> m_sampleLoader;
    bool m_shutDown = false;
};

} // namespace

std::unique_ptr<SoundEngine> createSoundEngine()
{
    return std::make_unique<PlayerEngine>();
}

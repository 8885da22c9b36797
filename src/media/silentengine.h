#pragma once

#include "engine/output/soundengine.h"

#include <chrono>

// The engine when the sound module cannot be loaded: songs play silently, their position moving
// with the clock, and the end comes as it would with sound (through a timer's descriptor), so the
// player stays usable, as it is without a SoundFont.
class SilentEngine final : public SoundEngine {
public:
    SilentEngine();
    ~SilentEngine() override;
    SilentEngine(const SilentEngine&) = delete;
    SilentEngine& operator=(const SilentEngine&) = delete;

    void setLogHandler(EngineLog::Handler) override { }
    void openOutput() override { }
    void useOutput(std::unique_ptr<AudioOutput>) override { }
    double sampleRate() const override { return 44100.0; }
    std::string defaultSoundFont() const override { return {}; }
    bool loadSoundFont(const std::string& path, std::string* error) override;
    bool hasSoundFont() const override { return false; }
    void start() override { }

    void setSong(std::shared_ptr<const Song> song, bool loadSamples) override;
    void closeSong() override;
    void play() override;
    void silenceWithFade() override;
    void rewindToStart() override;
    void acknowledgeEnd() override;
    int32_t positionMs() const override;
    bool atEnd() const override;
    int endNotifier() const override { return m_endTimer; }
    const LiveSongPlayer* player() const override { return nullptr; }
    void wake() override { }
    // Nothing is rendered, so no song ever follows on: the window's commands start the next one.
    void setFollowingSong(std::shared_ptr<const Song>) override { }
    bool isFollowingSongStarted() const override { return false; }
    void adoptFollowingSong() override { }
    void dropFollowingSong() override { }

    void postToSampleLoader(std::function<void()> task) override { task(); }
    int prepareSong(const Song&) override { return 0; }
    bool prepareFollowingSong(const Song&) override { return false; }
    void returnFreedMemory() override { }
    void shutDown() override { closeSong(); }

private:
    using Clock = std::chrono::steady_clock;
    int32_t lengthMs() const;
    void stopAt(int32_t positionMs);
    void armEndTimer();

    std::shared_ptr<const Song> m_song;
    bool m_playing = false;
    int32_t m_startMs = 0; // where the song stood when it last started or stopped
    Clock::time_point m_startedAt;
    int m_endTimer = -1;
};

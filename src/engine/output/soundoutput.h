#pragma once

#include "engine/output/failoverpolicy.h"
#include "engine/synth/audiooutput.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ClockAudioOutput;
class DeviceAudioOutput;
class PulseAudioOutput;

// The player's sound device, and the one owner of failover: the sound server's own stream where
// one answers (a long buffer, few wake-ups), else FluidSynth's driver (ALSA here), else a clock
// that plays on silently. FailoverPolicy decides which; this class carries it out, so that
// exactly one of them renders the player at any time. A thread of its own watches the stream and
// the driver, hands the song over from the point heard last when one goes, and connects to a
// server that appears later (asked for by a command), so it is used from the next Play.
class SoundOutput final : public AudioOutput {
public:
    struct Config {
        double sampleRate = 44100.0;
        bool useServer = true; // the stream of our own, where it is built
        std::string server; // empty: the default server
        std::vector<std::string> drivers { "alsa" };
        std::chrono::milliseconds stallTimeout { 3000 };
        std::chrono::milliseconds probeInterval { 200 };
        std::chrono::milliseconds watchInterval { 250 };
        // Off when the caller has said already why nothing is heard.
        bool warnWithoutDevice = true;
    };

    SoundOutput();
    explicit SoundOutput(Config config);
    ~SoundOutput() override;

    // Connects to the sound server, which can take a while: before start(), off the UI thread.
    void connect();

    double sampleRate() const override { return m_config.sampleRate; }
    bool pullsInRealTime() const override { return true; }
    void start(AudioSource* source) override;
    void stop() override;
    // UI thread: passes the change on to whichever output renders, and asks the watcher to look
    // for the server when that is not the stream.
    void wake() override;
    // As whichever output renders now.
    bool toleratesLateRender() const override;

    // What renders now: "stream", the driver's name ("pulseaudio", "alsa"), or empty for the clock.
    std::string rendererName() const;

private:
    using Renderer = FailoverPolicy::Renderer;
    using Clock = FailoverPolicy::Clock;

    std::unique_ptr<PulseAudioOutput> connectStream() const;
    bool openDriver();
    void startClock(Clock::time_point since);
    AudioOutput* rendering() const;
    void watch();
    void handOverFromLostStream();
    std::unique_ptr<DeviceAudioOutput> handOverFromStalledDriver();
    void handOverToStream(std::unique_ptr<PulseAudioOutput> stream);
    void goBackTo(const TimelinePoint& heard);

    Config m_config;
    mutable std::mutex m_mutex; // guards everything below; never taken on an audio thread
    FailoverPolicy m_policy;
    AudioSource* m_source = nullptr;
    std::unique_ptr<PulseAudioOutput> m_stream;
    std::unique_ptr<DeviceAudioOutput> m_driver;
    std::unique_ptr<ClockAudioOutput> m_clock;
    std::condition_variable m_changed;
    bool m_quit = false;
    bool m_lookForServer = false;
    std::thread m_watcher;
};

// The SoundOutput a player uses, connected to the server if one answers.
std::unique_ptr<AudioOutput> openSoundOutput();

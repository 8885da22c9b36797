#pragma once

#include "engine/audiooutput.h"
#include "engine/idlegate.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _fluid_audio_driver_t;
struct _fluid_hashtable_t;

// The sound device through FluidSynth's own audio drivers, PulseAudio first, then ALSA. When
// neither can be had, or the server goes away while we play (FluidSynth then stops calling back
// and tells no one), a thread of our own takes over and renders in real time into nothing, so the
// song's timeline and its end behave the same, silently.
class DeviceAudioOutput : public AudioOutput {
public:
    struct Config {
        double sampleRate = 44100.0;
        // 512x4 frames: about 17 ms from a note to the sink, and a tenth of the wake-ups of
        // FluidSynth's 64x16 default, whose pulse round trips cost several percent of a core.
        int periodFrames = 512;
        int periods = 4;
        std::vector<std::string> drivers { "pulseaudio", "alsa" };
        // How long the driver may stop calling back before we take it for dead. Generous: a
        // PulseAudio stream can stall for over a second as it starts; the time is not lost, as
        // the fallback catches up with the clock.
        std::chrono::milliseconds stallTimeout { 3000 };
        // Off when the caller has said already why nothing is heard.
        bool warnWithoutDevice = true;
    };

    DeviceAudioOutput();
    explicit DeviceAudioOutput(Config config);
    ~DeviceAudioOutput() override;

    double sampleRate() const override { return m_config.sampleRate; }
    bool pullsInRealTime() const override { return true; }
    void start(AudioSource* source) override;
    void stop() override;
    void wake() override { m_gate.wake(); }

    // The driver in use ("pulseaudio", "alsa"), or empty while rendering into nothing.
    std::string driverName() const;

private:
    using Clock = std::chrono::steady_clock;

    static int driverCallback(void* data, int frames, int effectCount, float* effects[],
        int outputCount, float* outputs[]);
    bool openDriver();
    void closeDriver();
    void supervise();
    bool watchDriverUntilItStalls();
    void renderIntoNothing(Clock::time_point since);
    bool waitForQuitUntil(Clock::time_point deadline);

    Config m_config;
    AudioSource* m_source = nullptr;
    IdleGate m_gate;

    // Owned by the driver's callback thread while it runs.
    bool m_sourceWasIdle = false;
    uint64_t m_idleGeneration = 0;

    mutable std::mutex m_driverMutex; // guards the driver handle and its name; never the callback
    _fluid_audio_driver_t* m_driver = nullptr;
    _fluid_hashtable_t* m_driverSettings = nullptr;
    std::string m_driverName;

    std::atomic<uint64_t> m_callbacks { 0 };
    std::atomic<bool> m_driverRetired { false };
    std::atomic<bool> m_quit { false };
    std::mutex m_quitMutex;
    std::condition_variable m_quitChanged;
    std::thread m_supervisor;
};

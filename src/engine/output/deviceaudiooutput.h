#pragma once

#include "engine/synth/audiooutput.h"
#include "engine/synth/synth.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The sound device through one of FluidSynth's own audio drivers, the first in the list that
// opens. It plays nothing when none does, and when the device goes away FluidSynth stops calling
// back and tells no one: SoundOutput watches callbacks() and hands over to the clock.
class DeviceAudioOutput : public AudioOutput {
public:
    struct Config {
        double sampleRate = 44100.0;
        // 512x4 frames: about 17 ms from a note to the sink, and a tenth of the wake-ups of
        // FluidSynth's 64x16 default, whose pulse round trips cost several percent of a core.
        int periodFrames = 512;
        int periods = 4;
        std::vector<std::string> drivers { "pulseaudio", "alsa" };
    };

    DeviceAudioOutput();
    explicit DeviceAudioOutput(Config config);
    ~DeviceAudioOutput() override;

    double sampleRate() const override { return m_config.sampleRate; }
    bool pullsInRealTime() const override { return true; }
    void start(AudioSource* source) override;
    void stop() override;
    // Stops calling the source at once, without waiting for the driver's thread, which may be
    // stuck in the device: stop() may then be left to a thread that can afford to wait.
    void release();
    // The callback renders at every period whether the source plays or not (silence costs a
    // memset), so there is nothing to wake.
    void wake() override { }

    bool isOpen() const { return !driverName().empty(); }
    // The driver in use ("pulseaudio", "alsa"), or empty when none opened.
    std::string driverName() const;
    // Grows while the driver calls back: a count that stands still while open means a stall.
    uint64_t callbacks() const { return m_callbacks.load(std::memory_order_relaxed); }

private:
    static int driverCallback(void* data, int frames, int effectCount, float* effects[],
        int outputCount, float* outputs[]);
    bool openDriver();
    void closeDriver();

    Config m_config;
    std::atomic<AudioSource*> m_source { nullptr };

    mutable std::mutex m_driverMutex; // guards the driver handle and its name; never the callback
    std::unique_ptr<Synth::Driver> m_driver;
    std::string m_driverName;

    std::atomic<uint64_t> m_callbacks { 0 };
    std::atomic<int> m_inCallback { 0 };
};

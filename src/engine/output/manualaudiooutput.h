#pragma once

#include "engine/synth/audiooutput.h"

#include <vector>

// A virtual clock: nothing plays until the owner pulls frames, so tests run the timeline exactly,
// without a sound card and without sleeping. pull() may be called from any one thread at a time.
class ManualAudioOutput : public AudioOutput {
public:
    explicit ManualAudioOutput(double sampleRate = 44100.0, int blockFrames = 512);

    double sampleRate() const override { return m_sampleRate; }
    bool pullsInRealTime() const override { return false; }
    void start(AudioSource* source) override;
    void stop() override;
    void wake() override { ++m_wakeups; }
    bool toleratesLateRender() const override { return !m_dropsOutWhenLate; }
    // As a driver that plays each block as it is rendered.
    void setDropsOutWhenLate(bool dropsOut) { m_dropsOutWhenLate = dropsOut; }

    struct Pulled {
        float peak = 0.0f; // largest absolute sample value pulled
        int activeBlocks = 0; // blocks the source rendered
        int idleBlocks = 0; // blocks the source reported as nothing to play
    };
    // Renders frames through the source in blocks, as the sound device would.
    Pulled pull(int frames);
    Pulled pullMs(int milliseconds);

    int wakeups() const { return m_wakeups; }

private:
    double m_sampleRate;
    int m_blockFrames;
    AudioSource* m_source = nullptr;
    int m_wakeups = 0;
    bool m_dropsOutWhenLate = false;
    std::vector<float> m_left;
    std::vector<float> m_right;
};

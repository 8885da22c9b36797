#pragma once

#include "engine/synth/audiooutput.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// Plays into nothing at the pace of the clock: where no sound device can be had, or the one in
// use went away, the song's timeline, its end and Loop behave as they would with sound.
class ClockAudioOutput : public AudioOutput {
public:
    using Clock = std::chrono::steady_clock;

    explicit ClockAudioOutput(double sampleRate = 44100.0, int blockFrames = 512);
    ~ClockAudioOutput() override;

    double sampleRate() const override { return m_sampleRate; }
    bool pullsInRealTime() const override { return true; }
    void start(AudioSource* source) override { startFrom(source, Clock::now()); }
    // Renders from `since` on: what a device that stopped did not play is caught up with at once
    // (at most a few seconds of it), so that the timeline keeps to the clock.
    void startFrom(AudioSource* source, Clock::time_point since);
    void stop() override;
    void wake() override;
    bool toleratesLateRender() const override { return true; } // nobody hears it

private:
    void run(Clock::time_point since);
    void waitForWakeUp(uint32_t seen);

    double m_sampleRate;
    int m_blockFrames;
    AudioSource* m_source = nullptr;
    // Bumped by every wake-up and by stop(); the thread sleeps on it while nothing plays.
    std::atomic<uint32_t> m_wakeups { 0 };
    std::atomic<bool> m_quit { false };
    std::vector<float> m_left, m_right;
    std::thread m_thread;
};

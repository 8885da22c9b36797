#pragma once

#include "engine/audiooutput.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The sound server's own stream (PulseAudio, or PipeWire's PulseAudio service), kept a long
// stretch ahead so that the process wakes only a few times a second while a song plays. A change
// (play, pause, stop, a new song) replaces what is queued but not yet heard, so it is heard
// within a few milliseconds whatever the length queued; position and the end of the song follow
// the stream's playback time. Nothing is queued and the stream is corked while nothing sounds.
//
// If the server goes away while we play, the song plays on silently at the pace of the clock; a
// server that answers again is used from the next change that makes sound.
class PulseAudioOutput : public AudioOutput {
public:
    struct Config {
        double sampleRate = 44100.0;
        // Queued ahead while playing, and how far it may drain before it is topped up: the
        // process renders about twice a second. More when the sink's latency asks for it.
        std::chrono::milliseconds target { 2000 };
        std::chrono::milliseconds refill { 500 };
        // What the sink is asked for: a sink with nobody else on it runs at this latency, and a
        // long one there would hold every other program's sound back as long.
        std::chrono::milliseconds sinkLatency { 100 };
        // A change is written this far after what is being heard: what the server may already
        // have handed to the device.
        std::chrono::milliseconds rewriteMargin { 6 };
        std::chrono::milliseconds connectTimeout { 2000 };
        std::string server; // empty: the default server
    };

    // Null when no server answers.
    static std::unique_ptr<PulseAudioOutput> connect(Config config);
    static std::unique_ptr<PulseAudioOutput> connect();
    ~PulseAudioOutput() override;

    double sampleRate() const override;
    bool pullsInRealTime() const override { return true; }
    void start(AudioSource* source) override;
    void stop() override;
    void wake() override;

    // False while the server is gone and the song plays on silently.
    bool isConnected() const;

private:
    struct Private;
    explicit PulseAudioOutput(std::unique_ptr<Private> d);
    void tryToReconnect();
    void reconnect();

    std::unique_ptr<Private> d; // the connection; replaced when the server comes back
    AudioSource* m_source = nullptr;
    mutable std::mutex m_mutex; // guards d against the swap; never taken on the audio thread
    std::thread m_reconnecter;
    std::atomic<bool> m_reconnecting { false };
    std::chrono::steady_clock::time_point m_lastAttempt {};
};

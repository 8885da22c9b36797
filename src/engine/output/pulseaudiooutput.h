#pragma once

#include "engine/synth/audiooutput.h"

#include <chrono>
#include <memory>
#include <string>

// The sound server's own stream (PulseAudio, or PipeWire's PulseAudio service), kept a long
// stretch ahead so that the process wakes only a few times a second while a song plays. A change
// (play, pause, stop, a new song) replaces what is queued but not yet heard, so it is heard
// within a few milliseconds whatever the length queued; position and the end of the song follow
// the stream's playback time. Nothing is queued and the stream is corked while nothing sounds.
//
// If the server goes away, the stream says so (isConnected()) and renders no more; SoundOutput
// hands the song over to another output from the point heard last.
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
    bool toleratesLateRender() const override { return true; } // its queue covers it

    // False once the server has gone away; the stream then renders nothing more.
    bool isConnected() const;
    // Once not connected: the point heard last, and when the server went.
    TimelinePoint heardWhenLost() const;
    std::chrono::steady_clock::time_point lostAt() const;

private:
    struct Private;
    explicit PulseAudioOutput(std::unique_ptr<Private> d);

    std::unique_ptr<Private> d;
    AudioSource* m_source = nullptr;
};

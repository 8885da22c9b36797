#pragma once

// What an audio output pulls its samples from. Called on the output's audio thread only, so an
// implementation must be real-time safe.
class AudioSource {
public:
    // Writes frames of audio to left and right. Returns false when there is nothing to play and
    // silence was written, so that the output may stop calling until it is woken.
    virtual bool renderAudio(float* left, float* right, int frames) noexcept = 0;

protected:
    ~AudioSource() = default;
};

// Where the rendered audio goes: the sound device, or a clock that tests drive by hand.
class AudioOutput {
public:
    virtual ~AudioOutput();

    virtual double sampleRate() const = 0;
    // True when start() makes a thread of the output call the source at the pace of the clock;
    // false when somebody pulls the frames by hand.
    virtual bool pullsInRealTime() const = 0;

    virtual void start(AudioSource* source) = 0;
    // After it returns the source is never called again.
    virtual void stop() = 0;
    // The source has something to play again after it reported nothing to play.
    virtual void wake() = 0;
};

#pragma once

#include <cstdint>

// A place in a source's timeline: which stretch of the timeline (a new one starts whenever the
// song is replaced or rewound), the frame within it, and whether the song has reached its end.
struct TimelinePoint {
    uint64_t epoch = 0;
    int64_t frame = 0;
    bool atEnd = false;
    bool operator==(const TimelinePoint&) const = default;
};

// A render that went from the end of one song straight on to the start of the next: its frames
// before `at` end at `end`, those from `at` on begin at `start`. `at` is -1 when there was none.
struct TimelineSwitch {
    int at = -1;
    TimelinePoint end;
    TimelinePoint start;
};

// What an audio output pulls its samples from. Called on the output's audio thread only, so an
// implementation must be real-time safe.
class AudioSource {
public:
    // Writes frames of audio to left and right. Returns false when there is nothing to play and
    // silence was written, so that the output may stop calling until it is woken.
    virtual bool renderAudio(float* left, float* right, int frames) noexcept = 0;

    // For outputs that queue audio far ahead of what is heard. The points of the first frame of
    // the last renderAudio call and of the frame after it.
    virtual TimelinePoint renderedFrom() const noexcept { return {}; }
    virtual TimelinePoint renderedTo() const noexcept { return {}; }
    // True when the last renderAudio call found the source busy and wrote silence without moving
    // on: an output that queues ahead throws that silence away and asks again shortly.
    virtual bool renderMissed() const noexcept { return false; }
    // Where the last renderAudio call went on from one song to the next, if it did.
    virtual TimelineSwitch renderedSwitch() const noexcept { return {}; }
    // True once per change that must be heard at once (play, pause, stop, a new song), so that
    // the output replaces what it has queued rather than letting it play out.
    virtual bool takeRewrite() noexcept { return false; }
    // Everything rendered after this point is being discarded: go back there, or to where the
    // last change put the song. False when the source is busy; the output then tries again.
    virtual bool rewriteFrom(const TimelinePoint&) noexcept { return true; }
    // The point now being heard, so that position and the end follow the sound. False when the
    // source is busy; the output reports again later.
    virtual bool reportHeard(const TimelinePoint&) noexcept { return true; }

protected:
    ~AudioSource() = default;
};

// Where the rendered audio goes: the sound device, or a clock that tests drive by hand.
// Header only, its type information too: the media layer holds outputs that tests bring without
// linking the engine.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    virtual double sampleRate() const = 0;
    // True when start() makes a thread of the output call the source at the pace of the clock;
    // false when somebody pulls the frames by hand.
    virtual bool pullsInRealTime() const = 0;

    virtual void start(AudioSource* source) = 0;
    // After it returns the source is never called again.
    virtual void stop() = 0;
    // The source has something to play again after it reported nothing to play, or what it
    // plays has changed.
    virtual void wake() = 0;
    // True when a render held back for a few milliseconds is not heard as a gap: a stream with
    // much queued ahead of what is heard, or a clock that plays into nothing. A driver that plays
    // each block as it is rendered would drop out.
    virtual bool toleratesLateRender() const { return false; }
};

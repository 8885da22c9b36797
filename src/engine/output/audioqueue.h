#pragma once

#include "engine/synth/audiooutput.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// Where an AudioQueue writes: a sound server's playback stream, or a recording fake in tests.
class QueuedStream {
public:
    // Writes interleaved stereo frames at stream frame `at`, replacing whatever was queued there.
    virtual void writeAt(int64_t at, const float* interleaved, int frames) = 0;

protected:
    ~QueuedStream() = default;
};

// A sound server's account of a stream, in frames: how far it has read, how much of that its sink
// still holds (not yet heard), how long ago it said so, and whether the stream was playing then.
// And our own clock: the frame the stream was started (uncorked) at and the time since.
struct StreamReadPoint {
    int64_t readFrame = 0;
    int64_t sinkFrames = 0;
    int64_t ageFrames = 0;
    bool playing = false;
    int64_t startFrame = 0;
    int64_t sinceStartFrames = std::numeric_limits<int64_t>::max() / 2;
};

// The stream frame being heard now. Corking takes back what the sink held of a stream, so a
// corked stream plays next from its read point, whatever the sink holds of other streams: a
// change written there is heard the moment the stream is uncorked. Never more than the clock
// allows since the start: some servers count the cycle being read as played already.
int64_t heardFrameOf(const StreamReadPoint& point, bool corked);

// How far ahead of the point heard a stream is kept written, in frames. A sink takes its whole
// latency in one block when it wakes; a stream with less than that queued runs dry there, the
// sink fills the rest with silence it does not report, and the heard point runs ahead of the sound.
// A PulseAudio stream that ran dry is then read as fast as it is written, and what the sink took
// is never given back, so a change written over it later is lost. So a corked stream starts with
// more than a block queued, a change writes as much at once, and a playing stream never drains
// below two blocks.
struct AheadPlan {
    int64_t start = 0; // written before a corked stream is started, and at once at a change
    int64_t target = 0; // topped up to this
    int64_t refill = 0; // once drained by this much
};

AheadPlan aheadPlanFor(int64_t sinkLatency, int64_t target, int64_t refill, int64_t capacity);

// Whether a playing stream has run dry: the server said so, or by its account everything written
// has been heard (the writer was held up longer than the queue lasts, and the server's account
// is older than that). A dry stream stays so until it is corked: a PulseAudio stream is read as
// fast as it is written from then on, PipeWire's reads on over silence of its own and drops what
// is written behind that. So it is corked and started again from its read point.
bool hasRunDry(const StreamReadPoint& point, int64_t writeIndex, bool underflowed);

// Keeps a long stretch of a source's sound queued on a stream, and replaces the part not yet
// heard when what should be heard changes. It remembers, for every frame it queued, where in the
// source's timeline that frame came from, so that what is heard maps back to a song position; and
// it keeps a copy of the queued sound, to fade out exactly what was about to play.
//
// Not thread-safe: an output calls it from its audio thread only. Real-time safe: all buffers
// are allocated in the constructor.
class AudioQueue {
public:
    struct Config {
        int capacityFrames = 4 * 44100; // the most that can be queued at once
        int chunkFrames = 1024; // rendered per call of the source
        int fadeFrames = 220; // 5 ms at 44.1 kHz
    };

    AudioQueue(AudioSource& source, QueuedStream& stream, Config config);

    int64_t writeIndex() const { return m_writeIndex; }
    int64_t queuedFrames(int64_t heard) const { return std::max<int64_t>(0, m_writeIndex - heard); }
    // The source reported nothing to play: nothing more is queued until rewrite().
    bool isIdle() const { return m_idle; }
    // The stream frame from which everything queued is silence, once idle.
    int64_t idleFrom() const { return m_idleFrom; }

    // Renders and queues at least `frames` more, in chunks, with silence once the source is idle
    // (a sink that finds nothing to read plays silence of its own, which the server does not
    // count, and what it reports as heard then runs wrong); and after a rewrite, at least as far
    // as the old sound reached. Stops
    // once it has rendered `limit` frames, so that a long fill can be spread over turns of the
    // caller's event loop: true while some of it is left for another call. A source found busy
    // (loading samples under its lock) leaves the rest for another call too, rather than having
    // silence queued in the middle of its sound.
    bool fill(int frames, int limit = std::numeric_limits<int>::max());
    // Replaces what is queued from stream frame `from` on: the queued sound fades out from there
    // over the source's new sound. Writes `frames` of it (one chunk at least) at once, so that
    // they go out together: a sink reads a stream again from a change in a whole block, and a
    // stream that runs dry there is lost to later changes (see aheadPlanFor). The next fill()
    // covers the rest of the old sound. False when the source was busy and nothing changed: try
    // again shortly. A `from` past the write index (a stream that ran dry and was read on over
    // silence of its own) leaves a hole that maps to where the queued sound ended. The source
    // goes on from the point queued at `songFrom` when that comes sooner: what the stream read
    // after it was never heard.
    bool rewrite(
        int64_t from, int frames = 0, int64_t songFrom = std::numeric_limits<int64_t>::max());

    // The place in the source's timeline of a stream frame that was queued.
    TimelinePoint pointAt(int64_t streamFrame) const;
    // The first queued stream frame after `from` where the song is at its end, if any.
    std::optional<int64_t> endAfter(int64_t from) const;

private:
    struct Chunk {
        int64_t start = 0;
        int frames = 0;
        TimelinePoint from, to;
    };

    bool renderChunk(int frames, const float* fadeOut, bool mayWait = false);
    void keepChunk(const Chunk& chunk);
    void dropChunksFrom(int64_t streamFrame);
    void copyQueued(int64_t from, int frames, float* interleaved) const;

    AudioSource& m_source;
    QueuedStream& m_stream;
    Config m_config;
    int64_t m_writeIndex = 0;
    bool m_idle = false;
    int64_t m_idleFrom = 0;
    int64_t m_soundUntil = 0; // just past the last audible frame queued
    int64_t m_coverUntil = 0; // the old sound queued before the last rewrite reaches this far
    std::vector<float> m_queued; // ring of the queued sound, by stream frame
    std::vector<Chunk> m_chunks; // ring of chunk records, oldest at m_firstChunk
    size_t m_firstChunk = 0;
    size_t m_chunkCount = 0;
    std::vector<float> m_left, m_right, m_interleaved, m_fade;
};

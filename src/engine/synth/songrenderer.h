#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

class Song;
class Synth;

// Plays one song through the synth, event by event at its exact sample time. Not thread-safe:
// the owner serialises calls (the live player guards it with a mutex that the audio thread only
// try_locks). render() is real-time safe: no allocation, no locks, no I/O, no logging.
class SongRenderer {
public:
    // synth may be null (no SoundFont): the timeline still runs and renders silence.
    SongRenderer(Synth* synth, double sampleRate);
    ~SongRenderer();

    void setSong(std::shared_ptr<const Song> song); // stopped at its start, every channel reset
    // Puts back a song that was set before, in the time it had then (its epoch), at frame,
    // stopped, every voice cut: points queued of that time keep mapping to it.
    void restoreSong(std::shared_ptr<const Song> song, uint64_t epoch, int64_t frame);
    void clearSong();

    // The song time advances only while playing. play() starts or resumes from the position; after
    // a fade to silence or a seek, the notes held there sound again.
    void play();
    bool isPlaying() const noexcept;

    // Stops the timeline and goes back to the start, sequencer and every channel as at the start;
    // notes still sounding are released naturally (note-offs, pedals up) so the end of a song
    // rings out.
    void rewindToStart();
    // Stops the timeline where it is and silences every voice, held pedals included, with a fade
    // of a few milliseconds; at its end the reverb and chorus are emptied too, so nothing of the
    // song comes back when sound fades in again.
    void silenceWithFade();
    // Moves the song time to frame (clamped to the song), silencing every voice and effect at
    // once: the channels are reset and the song's controllers, programs and pitch bends up to there
    // are sent again, and the notes held there (drums aside) are struck again when it plays.
    // Playing or not stays as it was; sound fades in when it plays.
    void seekToFrame(int64_t frame);
    // Ends a fade to silence at once, as if it had run its course.
    void cutFade();

    // Advances the song by frames and writes them (dry + effects mixed) to left/right.
    void render(float* left, float* right, int frames) noexcept;
    // The same, but a song that plays stops rendering the moment it reaches its end, so that
    // another can go straight on from there. Returns how many frames it wrote.
    int renderToEnd(float* left, float* right, int frames) noexcept;

    // True while rendering still produces sound or a fade: lets the player stop rendering
    // (and so stop using the processor) once a stopped or finished song has rung out.
    bool isAudible() const noexcept;

    int64_t framesPlayed() const noexcept; // song time rendered since the start
    int32_t positionMs() const noexcept; // framesPlayed in ms; equals lengthMs only once atEnd
    int32_t positionMsAt(int64_t frame, bool atEnd) const noexcept; // the same for any frame
    int32_t positionMsAt(int64_t frame, bool atEnd, int32_t lengthMs) const noexcept; // any song
    int64_t endFrame() const noexcept; // where the song's time ends
    int32_t lengthMs() const noexcept; // 0 without a song
    // Changes whenever the song time starts again (a new song, a rewind), unique in the process.
    uint64_t epoch() const noexcept;
    bool atEnd() const noexcept; // the song time has reached its length; playing stops there

private:
    int renderFrames(float* left, float* right, int frames, bool untilEnd) noexcept;

    struct Private;
    std::unique_ptr<Private> d;
};

#pragma once

#include "engine/synth/audiooutput.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class Song;
class SongRenderer;
class Synth;

// Puts a SongRenderer behind an audio output. The UI thread changes it under a mutex that the
// audio thread only try_locks (a miss renders one block of silence); what the UI reads back is
// published in atomics. When a song reaches its end, the audio thread writes to an eventfd, the
// one way it tells anybody anything, so that a UI event loop wakes up at the end itself.
//
// Closing fades out on the audio thread; a song opened (and played) before the fade is over
// waits and takes over in the very block where the fade ends, so the UI never waits for it.
class LiveSongPlayer final : public AudioSource {
public:
    LiveSongPlayer();
    ~LiveSongPlayer();
    LiveSongPlayer(const LiveSongPlayer&) = delete;
    LiveSongPlayer& operator=(const LiveSongPlayer&) = delete;

    // UI thread. Until a renderer is attached (the SoundFont is still loading) nothing plays.
    void attachRenderer(std::unique_ptr<SongRenderer> renderer);
    std::unique_ptr<SongRenderer> detachRenderer();
    bool hasRenderer() const;
    // Loads the song's presets into synth first (may read samples from disk), so playing it never
    // loads anything on the audio thread. The song is stopped at its start.
    void setSong(std::shared_ptr<const Song> song, Synth* synth);
    // Any thread but the audio thread: loads the song's presets into synth and releases the
    // others, as setSong does, for a song to be set without synth afterwards. Unless nothing is
    // to be read or released, a closing song's fade is given a moment to end first, since a
    // release cuts what sounds. Returns how many presets were released.
    int prepareSong(const Song& song, Synth& synth);
    // Fades out whatever sounds and lets go of the song once the fade is over; a song that sounds
    // no more leaves what the output queued as it is.
    void closeSong();
    void play();
    void silenceWithFade();
    void rewindToStart();

    // A song that follows the current one without a break (soundengine.h says what each does).
    // Loads its presets into synth beside the current song's, which still play: any thread but
    // the audio thread.
    void prepareFollowingSong(const Song& song, Synth& synth);
    // UI thread.
    void setFollowingSong(std::shared_ptr<const Song> song);
    bool isFollowingSongStarted() const noexcept
    {
        return m_followingStarted.load(std::memory_order_acquire);
    }
    void adoptFollowingSong();
    void dropFollowingSong();

    // Readable once per song end; drain it with acknowledgeEnd(). -1 if none could be made.
    int endNotifier() const { return m_endFd; }
    void acknowledgeEnd();

    // Any thread.
    int32_t positionMs() const noexcept { return m_positionMs.load(std::memory_order_acquire); }
    bool atEnd() const noexcept { return m_atEnd.load(std::memory_order_acquire); }
    bool isPlaying() const noexcept { return m_playing.load(std::memory_order_acquire); }
    // Playing, or still sounding (a fade, notes ringing out): the output has work to do.
    bool isBusy() const noexcept { return m_busy.load(std::memory_order_acquire); }
    uint64_t blocksRendered() const noexcept
    {
        return m_blocksRendered.load(std::memory_order_relaxed);
    }

    // Audio thread.
    bool renderAudio(float* left, float* right, int frames) noexcept override;
    TimelinePoint renderedFrom() const noexcept override { return m_renderedFrom; }
    TimelinePoint renderedTo() const noexcept override { return m_renderedTo; }
    bool renderMissed() const noexcept override { return m_renderMissed; }
    TimelineSwitch renderedSwitch() const noexcept override { return m_renderedSwitch; }
    bool takeRewrite() noexcept override;
    bool rewriteFrom(const TimelinePoint& point) noexcept override;
    bool reportHeard(const TimelinePoint& point) noexcept override;

private:
    template <typename Change> void change(Change&& apply);
    void publishLocked() noexcept;
    bool hasNothingToPlayLocked() const noexcept;
    bool isClosingLocked() const noexcept;
    void renderLocked(float* left, float* right, int frames, int offset) noexcept;
    void finishClosingLocked() noexcept;
    void publishPositionLocked(bool waiting) noexcept;
    void beginFollowingLocked(int at) noexcept;
    void restoreFirstLocked() noexcept;
    void takeBackFollowingLocked(int64_t frame) noexcept;
    bool leaveFollowingLocked();
    void rewriteToLocked(const TimelinePoint& point) noexcept;
    void signalEndLocked() noexcept;
    TimelinePoint pointLocked() const noexcept;

    mutable std::mutex m_mutex;
    std::unique_ptr<SongRenderer> m_renderer;
    // The player holds the songs too, so that the audio thread never frees one: a song it lets
    // go of waits in m_retiredSong for the UI thread.
    std::shared_ptr<const Song> m_song;
    std::shared_ptr<const Song> m_retiredSong;
    bool m_closing = false; // fading out the song to let go of it
    bool m_hasNextSong = false; // m_nextSong takes over when the fade ends
    std::shared_ptr<const Song> m_nextSong;
    bool m_nextSongPlays = false;
    bool m_endSignalled = false;
    float m_tailPeak = 0.0f; // of the end of the last block as it left, after the renderer's fade
    int m_endFd = -1;

    // The song armed to follow the current one, until it begins.
    std::shared_ptr<const Song> m_following;
    std::atomic<bool> m_followingStarted { false };
    // From the moment it began until it is adopted: the song it followed, still the one reported.
    std::shared_ptr<const Song> m_first;
    uint64_t m_firstEpoch = 0;
    int32_t m_firstLengthMs = 0;
    int64_t m_firstEndFrame = 0;
    // The time the following song began in: a point of it heard means the first song's end was
    // heard, and still does once the following song is dropped and the first one is back.
    uint64_t m_afterFirstEpoch = 0;
    bool m_restoreFirst = false; // a dropped following song fades out, then the first is back
    bool m_firstRestored = false; // and a rewrite into it, before its end, plays it on from there
    TimelineSwitch m_renderedSwitch; // audio thread only
    bool m_renderMissed = false;

    // With an output that queues ahead, position and end follow the point it reports as heard.
    bool m_followsHeard = false;
    TimelinePoint m_heard;
    std::atomic<bool> m_rewrite { false };
    TimelinePoint m_renderedFrom; // audio thread only
    TimelinePoint m_renderedTo;

    std::atomic<int32_t> m_positionMs { 0 };
    std::atomic<bool> m_atEnd { false };
    std::atomic<bool> m_playing { false };
    std::atomic<bool> m_busy { false };
    std::atomic<uint64_t> m_blocksRendered { 0 };
};

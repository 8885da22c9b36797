#include "engine/synth/livesongplayer.h"

#include "engine/midi/midi.h"
#include "engine/midi/song.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <type_traits>

namespace {

using Midi::quietLevel;

// How long prepareSong waits for a closing song's fade (a few ms when the audio runs); past it the
// release cuts the fade short.
constexpr auto fadeWait = std::chrono::milliseconds(50);

// While closing, the block is rendered in slices this long, so that a waiting song starts within
// a slice of the end of the fade rather than at the next block.
constexpr int closingSliceFrames = 64;

float peakOf(const float* left, const float* right, int frames) noexcept
{
    float peak = 0.0f;
    for (int i = 0; i < frames; ++i)
        peak = std::max({ peak, std::fabs(left[i]), std::fabs(right[i]) });
    return peak;
}

} // namespace

LiveSongPlayer::LiveSongPlayer()
    : m_endFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

LiveSongPlayer::~LiveSongPlayer()
{
    if (m_endFd >= 0)
        ::close(m_endFd);
}

// A change returns false when it changes nothing that is heard; else an output that queues
// ahead replaces what it queued.
template <typename Change> void LiveSongPlayer::change(Change&& apply)
{
    std::lock_guard lock(m_mutex);
    m_retiredSong.reset();
    // What was queued of a following song is replaced, whatever the command.
    if (leaveFollowingLocked())
        m_rewrite.store(true, std::memory_order_release);
    if (!m_renderer)
        return;
    bool heard = true;
    if constexpr (std::is_same_v<std::invoke_result_t<Change, SongRenderer&>, bool>)
        heard = apply(*m_renderer);
    else
        apply(*m_renderer);
    if (heard)
        m_rewrite.store(true, std::memory_order_release);
    publishLocked();
}

void LiveSongPlayer::attachRenderer(std::unique_ptr<SongRenderer> renderer)
{
    std::lock_guard lock(m_mutex);
    m_renderer = std::move(renderer);
    m_endSignalled = false;
    m_rewrite.store(true, std::memory_order_release);
    publishLocked();
}

std::unique_ptr<SongRenderer> LiveSongPlayer::detachRenderer()
{
    std::lock_guard lock(m_mutex);
    std::unique_ptr<SongRenderer> renderer = std::move(m_renderer);
    publishLocked();
    return renderer;
}

bool LiveSongPlayer::hasRenderer() const
{
    std::lock_guard lock(m_mutex);
    return m_renderer != nullptr;
}

// The presets load under our lock on purpose. Outside it they would load under FluidSynth's own
// API lock, held across the disk reads, and the audio thread's note calls would block on that
// one; ours the audio thread only try-locks, so a slow disk costs silent blocks, and only where
// nothing is audible: a song is given only after Close (the old one's fade has at most a few
// milliseconds left) or when the synth arrives (the song played without sound until then).
void LiveSongPlayer::setSong(std::shared_ptr<const Song> song, Synth* synth)
{
    change([&](SongRenderer& renderer) {
        if (synth && song)
            synth->prepare(*song);
        if (isClosingLocked()) {
            m_nextSong = std::move(song);
            m_hasNextSong = true;
            m_nextSongPlays = false;
            return;
        }
        m_closing = false;
        m_song = std::move(song);
        renderer.setSong(m_song);
        m_endSignalled = false;
    });
}

// Under our lock for the reason given above: the audio thread renders silence meanwhile instead of
// waiting for FluidSynth's. A song whose samples are all in already needs no wait: it follows the
// fade as setSong has it do.
int LiveSongPlayer::prepareSong(const Song& song, Synth& synth)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + fadeWait;
    std::unique_lock lock(m_mutex);
    while (isClosingLocked() && !synth.isPrepared(song) && steady_clock::now() < deadline) {
        lock.unlock();
        std::this_thread::sleep_for(milliseconds(1));
        lock.lock();
    }
    return synth.prepare(song);
}

// A song that sounds no more (played to its end and rung out, paused, never played) closes
// without a rewrite: what the output queued of it is silence or its ringing tail, and the next
// song is written over it anyway. Replacing it too would make the server take the sink's block
// back twice within a few milliseconds at a song change, and the second time it loses the start
// of the next song.
void LiveSongPlayer::closeSong()
{
    change([&](SongRenderer& renderer) {
        m_hasNextSong = false;
        m_nextSong.reset();
        const bool sounding = !hasNothingToPlayLocked();
        m_closing = true;
        renderer.silenceWithFade();
        if (hasNothingToPlayLocked())
            finishClosingLocked();
        return sounding;
    });
}

void LiveSongPlayer::play()
{
    change([&](SongRenderer& renderer) {
        if (m_hasNextSong) {
            m_nextSongPlays = true;
            return true;
        }
        const bool wasPlaying = renderer.isPlaying();
        renderer.play();
        return !wasPlaying;
    });
}

void LiveSongPlayer::silenceWithFade()
{
    change([&](SongRenderer& renderer) {
        if (m_hasNextSong)
            m_nextSongPlays = false;
        else
            renderer.silenceWithFade();
    });
}

// As with a close, a song that sounds no more goes back to its start without a rewrite: Loop's
// "Prev" at the end of a song is followed at once by the Play that writes it again.
void LiveSongPlayer::rewindToStart()
{
    change([&](SongRenderer& renderer) {
        if (m_hasNextSong) {
            m_nextSongPlays = false;
            return true;
        }
        const bool sounding = !hasNothingToPlayLocked();
        renderer.rewindToStart();
        m_endSignalled = false;
        return sounding;
    });
}

// Pinning reads samples from disk. Under our lock, because FluidSynth's reference counts of samples
// shared between presets are also counted by the voices that play them, on the audio thread.
void LiveSongPlayer::prepareFollowingSong(const Song& song, Synth& synth)
{
    std::lock_guard lock(m_mutex);
    synth.prepareAlongside(song);
}

// Armed after the current song's end was rendered, but before it was heard: the output writes
// again from what is heard, the song plays on to its end once more and the following one begins
// there.
void LiveSongPlayer::setFollowingSong(std::shared_ptr<const Song> song)
{
    std::lock_guard lock(m_mutex);
    m_retiredSong.reset();
    if (m_first)
        return;
    m_following = std::move(song);
    const bool endRenderedNotHeard = m_renderer && m_renderer->atEnd() && m_followsHeard
        && m_heard.epoch == m_renderer->epoch() && !m_heard.atEnd;
    if (m_following && endRenderedNotHeard)
        m_rewrite.store(true, std::memory_order_release);
}

// What the output queued stays as it is: it is what is to be heard.
void LiveSongPlayer::adoptFollowingSong()
{
    std::lock_guard lock(m_mutex);
    m_retiredSong.reset();
    if (!m_first || m_restoreFirst)
        return;
    m_first.reset();
    m_followingStarted.store(false, std::memory_order_release);
    m_endSignalled = false;
    publishLocked();
}

// The following song fades out as a closing one does; once it is silent, the first is back at
// its end.
void LiveSongPlayer::dropFollowingSong()
{
    std::lock_guard lock(m_mutex);
    m_retiredSong.reset();
    m_following.reset();
    if (!m_first || !m_renderer)
        return;
    m_renderer->silenceWithFade();
    m_closing = true;
    m_restoreFirst = true;
    m_followingStarted.store(false, std::memory_order_release);
    if (hasNothingToPlayLocked())
        finishClosingLocked();
    m_rewrite.store(true, std::memory_order_release);
    publishLocked();
}

// Any other command acts on the first song, as if nothing had followed it. True when a following
// song had begun.
bool LiveSongPlayer::leaveFollowingLocked()
{
    m_following.reset();
    const bool begun = m_first && m_renderer;
    if (begun)
        restoreFirstLocked();
    m_firstRestored = false;
    return begun;
}

// Audio thread, at the first song's end. The song is handed over without freeing anything: the
// first one is kept in m_first until the UI thread adopts the following one. The first song's
// voices ring on, its notes released by the channel reset for the following song.
void LiveSongPlayer::beginFollowingLocked(int at) noexcept
{
    m_renderedSwitch.at = at;
    m_renderedSwitch.end = pointLocked();
    m_firstEpoch = m_renderer->epoch();
    m_firstLengthMs = m_renderer->lengthMs();
    m_firstEndFrame = m_renderer->endFrame();
    m_first = std::move(m_song);
    m_song = std::move(m_following);
    m_renderer->setSong(m_song);
    m_renderer->play();
    m_afterFirstEpoch = m_renderer->epoch();
    m_renderedSwitch.start = pointLocked();
    m_followingStarted.store(true, std::memory_order_release);
}

// The first song back in its own time, stopped at its end, the following one let go of.
void LiveSongPlayer::restoreFirstLocked() noexcept
{
    m_closing = false;
    m_restoreFirst = false;
    m_retiredSong = std::move(m_song);
    m_song = std::move(m_first);
    m_renderer->restoreSong(m_song, m_firstEpoch, m_firstEndFrame);
    m_firstRestored = true;
    m_followingStarted.store(false, std::memory_order_release);
}

// A rewrite back into the first song, before its end: it plays on from there and the following
// song is armed again, to begin once more at the end.
void LiveSongPlayer::takeBackFollowingLocked(int64_t frame) noexcept
{
    m_following = std::move(m_song);
    m_song = std::move(m_first);
    m_renderer->restoreSong(m_song, m_firstEpoch, frame);
    m_renderer->play();
    m_followingStarted.store(false, std::memory_order_release);
}

void LiveSongPlayer::acknowledgeEnd()
{
    uint64_t count = 0;
    if (m_endFd >= 0) [[maybe_unused]]
        const auto bytes = ::read(m_endFd, &count, sizeof count);
}

void LiveSongPlayer::publishLocked() noexcept
{
    if (!m_renderer) {
        m_positionMs.store(0, std::memory_order_release);
        m_atEnd.store(false, std::memory_order_release);
        m_playing.store(false, std::memory_order_release);
        m_busy.store(false, std::memory_order_release);
        return;
    }
    // A song waiting for the fade is stopped at its start, or about to play from there.
    const bool waiting = m_hasNextSong;
    publishPositionLocked(waiting);
    m_playing.store(waiting ? m_nextSongPlays : m_renderer->isPlaying(), std::memory_order_release);
    m_busy.store(!hasNothingToPlayLocked(), std::memory_order_release);
}

// Until a following song is adopted, the song it followed is the one reported: at its end once
// anything of the following one's time is heard.
void LiveSongPlayer::publishPositionLocked(bool waiting) noexcept
{
    int32_t position = 0;
    bool atEnd = false;
    const uint64_t epoch = m_renderer->epoch();
    const bool firstEndHeard = m_afterFirstEpoch != 0 && m_heard.epoch == m_afterFirstEpoch
        && (m_first ? epoch == m_afterFirstEpoch : epoch == m_firstEpoch);
    if (waiting) {
    } else if (!m_followsHeard) {
        position = m_first ? m_firstLengthMs : m_renderer->positionMs();
        atEnd = m_first || m_renderer->atEnd();
    } else if (firstEndHeard) {
        position = m_firstLengthMs;
        atEnd = true;
    } else if (m_first) {
        // Until the output has played something of the song's current time, it is at its start.
        if (m_heard.epoch == m_firstEpoch) {
            position = m_renderer->positionMsAt(m_heard.frame, m_heard.atEnd, m_firstLengthMs);
            atEnd = m_heard.atEnd;
        }
    } else if (m_heard.epoch == epoch) {
        position = m_renderer->positionMsAt(m_heard.frame, m_heard.atEnd);
        atEnd = m_heard.atEnd;
    }
    m_positionMs.store(position, std::memory_order_release);
    m_atEnd.store(atEnd, std::memory_order_release);
}

// Notes ringing out fall below hearing well before the synth lets go of their voices: what leaves
// the player is what counts.
bool LiveSongPlayer::hasNothingToPlayLocked() const noexcept
{
    return !m_renderer
        || (!m_renderer->isPlaying() && (!m_renderer->isAudible() || m_tailPeak < quietLevel));
}

bool LiveSongPlayer::isClosingLocked() const noexcept
{
    return m_closing && !hasNothingToPlayLocked();
}

// The fade is over: the song opened meanwhile, if any, takes the place of the old one. Without
// one the old song stays where it was, stopped and silent, until one comes.
void LiveSongPlayer::finishClosingLocked() noexcept
{
    m_closing = false;
    if (m_restoreFirst) {
        restoreFirstLocked();
        return;
    }
    if (!m_hasNextSong)
        return;
    m_retiredSong = std::move(m_song);
    m_song = std::move(m_nextSong);
    m_renderer->setSong(m_song);
    m_endSignalled = false;
    if (m_nextSongPlays)
        m_renderer->play();
    m_hasNextSong = false;
    m_nextSongPlays = false;
}

// A write to a non-blocking eventfd neither blocks nor allocates: safe on the audio thread.
void LiveSongPlayer::signalEndLocked() noexcept
{
    m_endSignalled = true;
    const uint64_t one = 1;
    if (m_endFd >= 0) [[maybe_unused]]
        const auto bytes = ::write(m_endFd, &one, sizeof one);
}

// An armed song begins at the very frame after the current one's end, within the block.
void LiveSongPlayer::renderLocked(float* left, float* right, int frames, int offset) noexcept
{
    int done = 0;
    while (m_following && m_renderer->isPlaying() && done < frames) {
        done += m_renderer->renderToEnd(left + done, right + done, frames - done);
        if (m_renderer->atEnd())
            beginFollowingLocked(offset + done);
    }
    m_renderer->render(left + done, right + done, frames - done);
    const int tail = std::min(frames, closingSliceFrames);
    m_tailPeak = peakOf(left + frames - tail, right + frames - tail, tail);
}

TimelinePoint LiveSongPlayer::pointLocked() const noexcept
{
    if (!m_renderer)
        return {};
    return { m_renderer->epoch(), m_renderer->framesPlayed(), m_renderer->atEnd() };
}

bool LiveSongPlayer::takeRewrite() noexcept
{
    return m_rewrite.exchange(false, std::memory_order_acq_rel);
}

// The output fades out what it had queued from this point, so a fade of ours is cut short and a
// song waiting for it takes over at once. A song that is still in the same time goes back to the
// point; one rewound or replaced since starts afresh, without the old song's ringing voices.
bool LiveSongPlayer::rewriteFrom(const TimelinePoint& point) noexcept
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    if (!m_renderer)
        return true;
    m_renderer->cutFade();
    m_tailPeak = 0.0f;
    if (m_closing)
        finishClosingLocked();
    if (m_first && point.epoch == m_firstEpoch && !point.atEnd && point.frame < m_firstEndFrame)
        takeBackFollowingLocked(point.frame);
    else
        rewriteToLocked(point);
    m_firstRestored = false;
    m_renderedTo = pointLocked();
    publishLocked();
    return true;
}

// A point in the first song's time, past its end, is the following song's start; one in the
// time of a following song that was dropped is the first song's end. A song that had played to
// its end plays on from a point before it, when a following song waits for its end or has just
// been dropped; from its end, a following song armed since begins there.
void LiveSongPlayer::rewriteToLocked(const TimelinePoint& point) noexcept
{
    const uint64_t epoch = m_renderer->epoch();
    bool sameTime = point.epoch == epoch;
    int64_t target = sameTime ? point.frame : 0;
    if (m_first && point.epoch == m_firstEpoch) {
        sameTime = true;
        target = 0;
    } else if (!m_first && point.epoch == m_afterFirstEpoch && epoch == m_firstEpoch) {
        sameTime = true;
        target = m_renderer->endFrame();
    }
    const bool playsOn = sameTime && m_renderer->atEnd() && target < m_renderer->endFrame()
        && (m_following || m_firstRestored);
    if (!sameTime || m_renderer->framesPlayed() != target)
        m_renderer->seekToFrame(target);
    if (playsOn)
        m_renderer->play();
    else if (sameTime && m_following && m_renderer->atEnd())
        beginFollowingLocked(0);
}

bool LiveSongPlayer::reportHeard(const TimelinePoint& point) noexcept
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    m_followsHeard = true;
    m_heard = point;
    if (!m_renderer)
        return true;
    publishLocked();
    if (m_atEnd.load(std::memory_order_relaxed) && !m_endSignalled)
        signalEndLocked();
    return true;
}

bool LiveSongPlayer::renderAudio(float* left, float* right, int frames) noexcept
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    const bool idle = lock.owns_lock() && hasNothingToPlayLocked();
    m_renderedFrom = lock.owns_lock() ? pointLocked() : m_renderedTo;
    m_renderedTo = m_renderedFrom;
    m_renderedSwitch = {};
    m_renderMissed = !lock.owns_lock();
    if (!lock.owns_lock() || idle) {
        std::memset(left, 0, sizeof(float) * frames);
        std::memset(right, 0, sizeof(float) * frames);
        if (idle)
            m_busy.store(false, std::memory_order_release);
        // A miss means the UI is changing the song: silence now, and come back for more.
        return !idle;
    }
    int done = 0;
    while (m_closing && done < frames) {
        const int slice = std::min(closingSliceFrames, frames - done);
        renderLocked(left + done, right + done, slice, done);
        done += slice;
        if (m_tailPeak < quietLevel)
            finishClosingLocked();
    }
    if (done < frames)
        renderLocked(left + done, right + done, frames - done, done);
    m_blocksRendered.fetch_add(1, std::memory_order_relaxed);
    m_renderedTo = pointLocked();
    publishLocked();
    if (!m_followsHeard && m_atEnd.load(std::memory_order_relaxed) && !m_endSignalled)
        signalEndLocked();
    return true;
}

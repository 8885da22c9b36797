#include "media/silentengine.h"

#include "engine/midi/song.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

SilentEngine::SilentEngine()
    : m_endTimer(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
}

SilentEngine::~SilentEngine()
{
    if (m_endTimer >= 0)
        close(m_endTimer);
}

bool SilentEngine::loadSoundFont(const std::string&, std::string* error)
{
    if (error)
        *error = "there is no sound engine to load it into";
    return false;
}

void SilentEngine::setSong(std::shared_ptr<const Song> song, bool)
{
    m_song = std::move(song);
    stopAt(0);
}

void SilentEngine::closeSong()
{
    m_song.reset();
    stopAt(0);
}

void SilentEngine::play()
{
    if (m_playing || !m_song)
        return;
    m_playing = true;
    m_startedAt = Clock::now();
    armEndTimer();
}

void SilentEngine::silenceWithFade()
{
    stopAt(positionMs());
}

void SilentEngine::rewindToStart()
{
    stopAt(0);
}

void SilentEngine::acknowledgeEnd()
{
    uint64_t expirations = 0;
    if (m_endTimer >= 0 && read(m_endTimer, &expirations, sizeof expirations) < 0)
        return; // nothing to drain
}

int32_t SilentEngine::positionMs() const
{
    if (!m_playing)
        return m_startMs;
    const auto played
        = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_startedAt);
    return int32_t(std::min<int64_t>(m_startMs + played.count(), lengthMs()));
}

bool SilentEngine::atEnd() const
{
    return m_song && positionMs() >= lengthMs();
}

int32_t SilentEngine::lengthMs() const
{
    return m_song ? m_song->lengthMs() : 0;
}

void SilentEngine::stopAt(int32_t positionMs)
{
    m_playing = false;
    m_startMs = positionMs;
    if (m_endTimer >= 0) {
        const itimerspec disarmed {};
        timerfd_settime(m_endTimer, 0, &disarmed, nullptr);
    }
    acknowledgeEnd();
}

// A zero time would disarm the timer: a song already at its end is due in a nanosecond.
void SilentEngine::armEndTimer()
{
    if (m_endTimer < 0)
        return;
    const int64_t remainingNs = std::max<int64_t>(int64_t(lengthMs() - m_startMs) * 1000000, 1);
    itimerspec due {};
    due.it_value.tv_sec = remainingNs / 1000000000;
    due.it_value.tv_nsec = remainingNs % 1000000000;
    timerfd_settime(m_endTimer, 0, &due, nullptr);
}

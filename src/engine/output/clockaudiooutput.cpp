#include "engine/output/clockaudiooutput.h"

#include "engine/synth/audiothread.h"

#include <algorithm>

namespace {

// More would replay a long outage as a burst of work, for a timeline that is far past anyway.
constexpr auto longestCatchUp = std::chrono::seconds(10);

} // namespace

ClockAudioOutput::ClockAudioOutput(double sampleRate, int blockFrames)
    : m_sampleRate(sampleRate)
    , m_blockFrames(blockFrames)
    , m_left(size_t(blockFrames))
    , m_right(size_t(blockFrames))
{
}

ClockAudioOutput::~ClockAudioOutput()
{
    stop();
}

void ClockAudioOutput::startFrom(AudioSource* source, Clock::time_point since)
{
    if (m_source)
        return;
    m_source = source;
    m_quit.store(false);
    m_thread = std::thread(&ClockAudioOutput::run, this, since);
}

void ClockAudioOutput::stop()
{
    if (!m_source)
        return;
    m_quit.store(true, std::memory_order_release);
    wake();
    m_thread.join();
    m_source = nullptr;
}

// Any thread: an atomic and a futex wake, never a lock.
void ClockAudioOutput::wake()
{
    m_wakeups.fetch_add(1, std::memory_order_acq_rel);
    m_wakeups.notify_one();
}

// Sleeps while the source has nothing to play, until the next wake-up after `seen`.
void ClockAudioOutput::waitForWakeUp(uint32_t seen)
{
    while (!m_quit.load(std::memory_order_acquire)
        && m_wakeups.load(std::memory_order_acquire) == seen)
        m_wakeups.wait(seen, std::memory_order_acquire);
}

void ClockAudioOutput::run(Clock::time_point since)
{
    AudioThread::mark();
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(m_blockFrames / m_sampleRate));
    Clock::time_point due = std::max(since, Clock::now() - longestCatchUp);
    while (!m_quit.load(std::memory_order_acquire)) {
        const uint32_t seen = m_wakeups.load(std::memory_order_acquire);
        const bool playing = m_source->renderAudio(m_left.data(), m_right.data(), m_blockFrames);
        m_source->reportHeard(m_source->renderedTo());
        if (!playing) {
            waitForWakeUp(seen);
            due = Clock::now();
            continue;
        }
        due += period;
        std::this_thread::sleep_until(due);
    }
}

#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// Lets an audio thread sleep while its source has nothing to play, instead of waking hundreds of
// times a second to write silence. The thread only ever parks after the source reported itself
// idle, so the wait never delays a sample that is due.
class IdleGate {
public:
    uint64_t generation() const noexcept { return m_generation.load(std::memory_order_acquire); }

    // Sleeps until wake() or openForGood() comes after `seen` was read; returns at once if one
    // already has. The generation closes the window between "the source said idle" and the park.
    void parkUnlessWokenSince(uint64_t seen);
    void wake();
    // From now on nothing parks: for shutting the thread down.
    void openForGood();

    bool isParked() const noexcept { return m_parked.load(std::memory_order_acquire); }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    std::atomic<uint64_t> m_generation { 0 };
    std::atomic<bool> m_parked { false };
    bool m_open = false;
};

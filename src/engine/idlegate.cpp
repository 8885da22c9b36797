#include "engine/idlegate.h"

void IdleGate::parkUnlessWokenSince(uint64_t seen)
{
    std::unique_lock lock(m_mutex);
    m_parked.store(true, std::memory_order_release);
    m_woken.wait(
        lock, [&] { return m_open || m_generation.load(std::memory_order_acquire) != seen; });
    m_parked.store(false, std::memory_order_release);
}

void IdleGate::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    m_woken.notify_all();
}

void IdleGate::openForGood()
{
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    m_woken.notify_all();
}

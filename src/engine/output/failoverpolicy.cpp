#include "engine/output/failoverpolicy.h"

FailoverPolicy::FailoverPolicy()
    : FailoverPolicy(Config {})
{
}

FailoverPolicy::FailoverPolicy(Config config)
    : m_config(config)
{
}

FailoverPolicy::Renderer FailoverPolicy::start(
    bool streamOpen, const std::function<bool()>& tryDriver, Clock::time_point now)
{
    if (streamOpen && m_config.useServer)
        return m_renderer = Renderer::Stream;
    return useDriverOrClock(tryDriver, now);
}

bool FailoverPolicy::shouldLookForServer(Clock::time_point now)
{
    if (!m_config.useServer || m_renderer == Renderer::Stream || m_renderer == Renderer::None)
        return false;
    if (m_probed && now - m_lastProbe < m_config.probeInterval)
        return false;
    m_probed = true;
    m_lastProbe = now;
    return true;
}

FailoverPolicy::Renderer FailoverPolicy::serverFound()
{
    return m_renderer = Renderer::Stream;
}

FailoverPolicy::Renderer FailoverPolicy::streamLost(
    const std::function<bool()>& tryDriver, Clock::time_point now)
{
    if (m_renderer != Renderer::Stream)
        return m_renderer;
    // A server that has just gone is not looked for again at once.
    m_probed = true;
    m_lastProbe = now;
    return useDriverOrClock(tryDriver, now);
}

FailoverPolicy::Renderer FailoverPolicy::driverCallbacks(uint64_t count, Clock::time_point now)
{
    if (m_renderer != Renderer::Driver)
        return m_renderer;
    if (count != m_lastCount) {
        m_lastCount = count;
        m_lastProgress = now;
    } else if (now - m_lastProgress >= m_config.stallTimeout) {
        m_driverRetired = true;
        m_renderer = Renderer::Clock;
    }
    return m_renderer;
}

FailoverPolicy::Renderer FailoverPolicy::useDriverOrClock(
    const std::function<bool()>& tryDriver, Clock::time_point now)
{
    if (!m_driverRetired && tryDriver && tryDriver()) {
        m_lastCount = 0;
        m_lastProgress = now;
        return m_renderer = Renderer::Driver;
    }
    m_driverRetired = true;
    m_lastProgress = now;
    return m_renderer = Renderer::Clock;
}

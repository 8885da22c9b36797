#include "engine/output/soundoutput.h"

#include "engine/output/clockaudiooutput.h"
#include "engine/output/deviceaudiooutput.h"
#include "engine/synth/enginelog.h"
#ifdef LUMORA_WITH_PULSEAUDIO
#include "engine/output/pulseaudiooutput.h"
#else
// Without the stream of our own there is never one to hold.
class PulseAudioOutput : public AudioOutput { };
#endif

namespace {

FailoverPolicy::Config policyConfig(const SoundOutput::Config& config)
{
    FailoverPolicy::Config policy;
#ifdef LUMORA_WITH_PULSEAUDIO
    policy.useServer = config.useServer;
#else
    policy.useServer = false;
#endif
    policy.stallTimeout = config.stallTimeout;
    policy.probeInterval = config.probeInterval;
    return policy;
}

} // namespace

SoundOutput::SoundOutput()
    : SoundOutput(Config {})
{
}

SoundOutput::SoundOutput(Config config)
    : m_config(std::move(config))
    , m_policy(policyConfig(m_config))
{
}

SoundOutput::~SoundOutput()
{
    stop();
}

std::unique_ptr<PulseAudioOutput> SoundOutput::connectStream() const
{
#ifdef LUMORA_WITH_PULSEAUDIO
    PulseAudioOutput::Config config;
    config.sampleRate = m_config.sampleRate;
    config.server = m_config.server;
    return PulseAudioOutput::connect(config);
#else
    return nullptr;
#endif
}

void SoundOutput::connect()
{
    if (!policyConfig(m_config).useServer)
        return;
    auto stream = connectStream();
    std::lock_guard lock(m_mutex);
    if (!m_source)
        m_stream = std::move(stream);
}

// With m_mutex held, from start() or a hand-over.
bool SoundOutput::openDriver()
{
    if (m_config.drivers.empty())
        return false;
    DeviceAudioOutput::Config config;
    config.sampleRate = m_config.sampleRate;
    config.drivers = m_config.drivers;
    m_driver = std::make_unique<DeviceAudioOutput>(config);
    m_driver->start(m_source);
    if (!m_driver->isOpen())
        m_driver.reset();
    return m_driver != nullptr;
}

void SoundOutput::startClock(Clock::time_point since)
{
    m_clock = std::make_unique<ClockAudioOutput>(m_config.sampleRate);
    m_clock->startFrom(m_source, since);
}

AudioOutput* SoundOutput::rendering() const
{
    switch (m_policy.renderer()) {
    case Renderer::Stream:
        return m_stream.get();
    case Renderer::Driver:
        return m_driver.get();
    case Renderer::Clock:
        return m_clock.get();
    case Renderer::None:
        break;
    }
    return nullptr;
}

void SoundOutput::start(AudioSource* source)
{
    std::lock_guard lock(m_mutex);
    if (m_source)
        return;
    m_source = source;
    const Clock::time_point now = Clock::now();
    switch (m_policy.start(
        m_stream != nullptr, [this] { return openDriver(); }, now)) {
    case Renderer::Stream:
        m_stream->start(source);
        break;
    case Renderer::Clock:
        if (m_config.warnWithoutDevice)
            EngineLog::warning("No audio device could be opened; songs play silently");
        startClock(now);
        break;
    default:
        break;
    }
    m_quit = false;
    m_watcher = std::thread(&SoundOutput::watch, this);
}

void SoundOutput::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_source)
            return;
        m_quit = true;
    }
    m_changed.notify_all();
    m_watcher.join();
    std::lock_guard lock(m_mutex);
    // Each one's stop() returns once its thread calls the source no more.
    if (m_stream)
        m_stream->stop();
    if (m_driver)
        m_driver->stop();
    if (m_clock)
        m_clock->stop();
    m_stream.reset();
    m_driver.reset();
    m_clock.reset();
    m_source = nullptr;
}

void SoundOutput::wake()
{
    std::lock_guard lock(m_mutex);
    if (!m_source)
        return;
    if (AudioOutput* output = rendering())
        output->wake();
    if (m_policy.shouldLookForServer(Clock::now())) {
        m_lookForServer = true;
        m_changed.notify_all();
    }
}

bool SoundOutput::toleratesLateRender() const
{
    std::lock_guard lock(m_mutex);
    const AudioOutput* output = rendering();
    return output && output->toleratesLateRender();
}

std::string SoundOutput::rendererName() const
{
    std::lock_guard lock(m_mutex);
    switch (m_policy.renderer()) {
    case Renderer::Stream:
        return "stream";
    case Renderer::Driver:
        return m_driver ? m_driver->driverName() : std::string();
    default:
        return {};
    }
}

// The watcher's thread: now and then, or when a command asks it to look for the server.
void SoundOutput::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        m_changed.wait_for(lock, m_config.watchInterval, [&] { return m_quit || m_lookForServer; });
        if (m_quit)
            break;
#ifdef LUMORA_WITH_PULSEAUDIO
        if (m_policy.renderer() == Renderer::Stream && !m_stream->isConnected())
            handOverFromLostStream();
#endif
        if (m_policy.renderer() == Renderer::Driver
            && m_policy.driverCallbacks(m_driver->callbacks(), Clock::now()) == Renderer::Clock) {
            std::unique_ptr<DeviceAudioOutput> stalled = handOverFromStalledDriver();
            // Closing it may wait for the device: not while a command waits for the lock.
            lock.unlock();
            stalled.reset();
            lock.lock();
        }
        if (m_lookForServer) {
            m_lookForServer = false;
            lock.unlock();
            std::unique_ptr<PulseAudioOutput> stream = connectStream();
            lock.lock();
            if (stream && !m_quit && m_policy.renderer() != Renderer::Stream)
                handOverToStream(std::move(stream));
        }
    }
}

// With m_mutex held, on the watcher's thread. The other output starts from the point heard last:
// what the stream had queued beyond it was never heard.
void SoundOutput::handOverFromLostStream()
{
#ifdef LUMORA_WITH_PULSEAUDIO
    const TimelinePoint heard = m_stream->heardWhenLost();
    const Clock::time_point lostAt = m_stream->lostAt();
    m_stream->stop();
    m_stream.reset();
    goBackTo(heard);
    if (m_policy.streamLost([this] { return openDriver(); }, lostAt) == Renderer::Driver) {
        EngineLog::warning("The sound server went away; playing through the audio device");
        return;
    }
    EngineLog::warning("The sound server went away; playing on silently");
    startClock(m_policy.silentSince());
#endif
}

// What the driver rendered counts as heard: the clock goes on from there, catching up with the
// time since the driver last called back. Returns the driver, released but still to be closed.
std::unique_ptr<DeviceAudioOutput> SoundOutput::handOverFromStalledDriver()
{
    m_driver->release();
    EngineLog::warning("The audio device stopped taking sound; playing on silently");
    startClock(m_policy.silentSince());
    return std::move(m_driver);
}

// The stream takes over from where the driver or the clock left the song; the change that led
// here is written to it at once.
void SoundOutput::handOverToStream(std::unique_ptr<PulseAudioOutput> stream)
{
#ifdef LUMORA_WITH_PULSEAUDIO
    if (m_driver)
        m_driver->stop();
    if (m_clock)
        m_clock->stop();
    m_driver.reset();
    m_clock.reset();
    m_stream = std::move(stream);
    m_policy.serverFound();
    m_stream->start(m_source);
    m_stream->wake();
    EngineLog::info("Playing through the sound server");
#else
    (void)stream;
#endif
}

// The source is busy only while a command changes it, for a moment.
void SoundOutput::goBackTo(const TimelinePoint& heard)
{
    for (int tries = 0; tries < 200 && !m_source->rewriteFrom(heard); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::unique_ptr<AudioOutput> openSoundOutput()
{
    SoundOutput::Config config;
#ifndef LUMORA_WITH_PULSEAUDIO
    // FluidSynth's own PulseAudio driver stands in for the stream.
    config.drivers = { "pulseaudio", "alsa" };
#endif
    auto output = std::make_unique<SoundOutput>(config);
    output->connect();
    return output;
}

#include "engine/deviceaudiooutput.h"

#include "engine/enginelog.h"
#include "engine/fluidsynthlibrary.h"

#include <algorithm>
#include <cstring>

namespace {

void writeSilence(int frames, int outputCount, float* outputs[])
{
    for (int i = 0; i < outputCount; ++i)
        std::memset(outputs[i], 0, sizeof(float) * frames);
}

} // namespace

DeviceAudioOutput::DeviceAudioOutput()
    : DeviceAudioOutput(Config {})
{
}

DeviceAudioOutput::DeviceAudioOutput(Config config)
    : m_config(std::move(config))
{
}

DeviceAudioOutput::~DeviceAudioOutput()
{
    stop();
}

void DeviceAudioOutput::start(AudioSource* source)
{
    if (m_source)
        return;
    m_source = source;
    if (!openDriver() && m_config.warnWithoutDevice)
        EngineLog::warning("No audio device could be opened; songs play silently");
    m_supervisor = std::thread(&DeviceAudioOutput::supervise, this);
}

void DeviceAudioOutput::stop()
{
    if (!m_source)
        return;
    {
        std::lock_guard lock(m_quitMutex);
        m_quit.store(true, std::memory_order_release);
    }
    m_quitChanged.notify_all();
    m_gate.openForGood();
    closeDriver();
    if (m_supervisor.joinable())
        m_supervisor.join();
    m_source = nullptr;
}

std::string DeviceAudioOutput::driverName() const
{
    std::lock_guard lock(m_driverMutex);
    return m_driverName;
}

bool DeviceAudioOutput::openDriver()
{
    if (!FluidSynthLibrary::load())
        return false;
    for (const std::string& name : m_config.drivers) {
        fluid_settings_t* settings = fluidSynth().new_fluid_settings();
        fluidSynth().fluid_settings_setstr(settings, "audio.driver", name.c_str());
        fluidSynth().fluid_settings_setint(settings, "audio.period-size", m_config.periodFrames);
        fluidSynth().fluid_settings_setint(settings, "audio.periods", m_config.periods);
        fluidSynth().fluid_settings_setnum(settings, "synth.sample-rate", m_config.sampleRate);
        fluid_audio_driver_t* driver
            = fluidSynth().new_fluid_audio_driver2(settings, &driverCallback, this);
        if (driver) {
            std::lock_guard lock(m_driverMutex);
            m_driver = driver;
            m_driverSettings = settings;
            m_driverName = name;
            return true;
        }
        fluidSynth().delete_fluid_settings(settings);
    }
    return false;
}

void DeviceAudioOutput::closeDriver()
{
    std::lock_guard lock(m_driverMutex);
    if (m_driver)
        fluidSynth().delete_fluid_audio_driver(m_driver);
    if (m_driverSettings)
        fluidSynth().delete_fluid_settings(m_driverSettings);
    m_driver = nullptr;
    m_driverSettings = nullptr;
    m_driverName.clear();
}

// Runs on FluidSynth's audio thread. Parks at the start of the call after an idle one, so the
// silence of that call has been written and a wake-up renders fresh audio at once.
int DeviceAudioOutput::driverCallback(
    void* data, int frames, int, float*[], int outputCount, float* outputs[])
{
    auto* self = static_cast<DeviceAudioOutput*>(data);
    self->m_callbacks.fetch_add(1, std::memory_order_relaxed);
    if (outputCount < 2 || self->m_quit.load(std::memory_order_acquire)
        || self->m_driverRetired.load(std::memory_order_acquire)) {
        writeSilence(frames, outputCount, outputs);
        return FLUID_OK;
    }
    if (self->m_sourceWasIdle)
        self->m_gate.parkUnlessWokenSince(self->m_idleGeneration);
    self->m_idleGeneration = self->m_gate.generation();
    self->m_sourceWasIdle = !self->m_source->renderAudio(outputs[0], outputs[1], frames);
    // A few periods ahead at most: what was rendered counts as heard.
    self->m_source->reportHeard(self->m_source->renderedTo());
    for (int i = 2; i < outputCount; ++i)
        std::memset(outputs[i], 0, sizeof(float) * frames);
    return FLUID_OK;
}

void DeviceAudioOutput::supervise()
{
    bool hadDriver;
    {
        std::lock_guard lock(m_driverMutex);
        hadDriver = m_driver != nullptr;
    }
    Clock::time_point lastProgress = Clock::now();
    if (hadDriver) {
        if (!watchDriverUntilItStalls())
            return;
        lastProgress = Clock::now() - m_config.stallTimeout;
        EngineLog::warning("The audio device stopped taking sound; playing on silently");
        m_driverRetired.store(true, std::memory_order_release);
        closeDriver();
    }
    renderIntoNothing(lastProgress);
}

// Returns false when asked to quit, true when the driver stopped calling back while it had
// something to play.
bool DeviceAudioOutput::watchDriverUntilItStalls()
{
    const auto pollInterval = std::chrono::milliseconds(250);
    uint64_t seen = m_callbacks.load(std::memory_order_relaxed);
    Clock::time_point lastProgress = Clock::now();
    while (!waitForQuitUntil(Clock::now() + pollInterval)) {
        const uint64_t now = m_callbacks.load(std::memory_order_relaxed);
        if (now != seen || m_gate.isParked()) {
            seen = now;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress >= m_config.stallTimeout) {
            return true;
        }
    }
    return false;
}

// The fallback: the same rendering at the pace of the clock, without a device. It starts where
// the driver stopped, catching up with the lost time, so the song's timeline keeps to the clock.
void DeviceAudioOutput::renderIntoNothing(Clock::time_point since)
{
    const int frames = m_config.periodFrames;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(frames / m_config.sampleRate));
    const auto longestCatchUp = std::chrono::seconds(10);
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    Clock::time_point due = std::max(since, Clock::now() - longestCatchUp);
    bool sourceWasIdle = false;
    uint64_t idleGeneration = 0;
    while (!m_quit.load(std::memory_order_acquire)) {
        if (sourceWasIdle) {
            m_gate.parkUnlessWokenSince(idleGeneration);
            due = std::max(due, Clock::now());
        }
        if (waitForQuitUntil(due))
            return;
        idleGeneration = m_gate.generation();
        sourceWasIdle = !m_source->renderAudio(left.data(), right.data(), frames);
        m_source->reportHeard(m_source->renderedTo());
        due += period;
    }
}

bool DeviceAudioOutput::waitForQuitUntil(Clock::time_point deadline)
{
    std::unique_lock lock(m_quitMutex);
    return m_quitChanged.wait_until(
        lock, deadline, [&] { return m_quit.load(std::memory_order_acquire); });
}

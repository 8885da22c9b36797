#include "engine/output/deviceaudiooutput.h"

#include "engine/synth/audiothread.h"

#include <cstring>
#include <thread>

namespace {

void writeSilence(int frames, int outputCount, float* outputs[])
{
    for (int i = 0; i < outputCount; ++i)
        std::memset(outputs[i], 0, sizeof(float) * size_t(frames));
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
    if (m_source.load())
        return;
    m_source.store(source, std::memory_order_release);
    if (!openDriver())
        m_source.store(nullptr);
}

// Closing the driver joins its thread: after it the source is never called again.
void DeviceAudioOutput::stop()
{
    closeDriver();
    m_source.store(nullptr);
}

// A callback counts itself in before it reads the source: once the source is gone and none is
// counted in, none can still be using it.
void DeviceAudioOutput::release()
{
    m_source.store(nullptr);
    while (m_inCallback.load() > 0)
        std::this_thread::yield();
}

std::string DeviceAudioOutput::driverName() const
{
    std::lock_guard lock(m_driverMutex);
    return m_driverName;
}

bool DeviceAudioOutput::openDriver()
{
    for (const std::string& name : m_config.drivers) {
        std::unique_ptr<Synth::Driver> driver = Synth::openDriver(name, m_config.sampleRate,
            m_config.periodFrames, m_config.periods, &driverCallback, this);
        if (driver) {
            std::lock_guard lock(m_driverMutex);
            m_driver = std::move(driver);
            m_driverName = name;
            return true;
        }
    }
    return false;
}

void DeviceAudioOutput::closeDriver()
{
    std::lock_guard lock(m_driverMutex);
    m_driver.reset();
    m_driverName.clear();
}

// Runs on FluidSynth's audio thread, once a period, playing or not: it never waits.
int DeviceAudioOutput::driverCallback(
    void* data, int frames, int, float*[], int outputCount, float* outputs[])
{
    auto* self = static_cast<DeviceAudioOutput*>(data);
    if (self->m_callbacks.fetch_add(1, std::memory_order_relaxed) == 0)
        AudioThread::mark();
    self->m_inCallback.fetch_add(1);
    AudioSource* source = self->m_source.load();
    if (outputCount < 2 || !source) {
        writeSilence(frames, outputCount, outputs);
    } else {
        source->renderAudio(outputs[0], outputs[1], frames);
        // A few periods ahead at most: what was rendered counts as heard.
        source->reportHeard(source->renderedTo());
        for (int i = 2; i < outputCount; ++i)
            std::memset(outputs[i], 0, sizeof(float) * size_t(frames));
    }
    self->m_inCallback.fetch_sub(1);
    return 0; // all went well
}

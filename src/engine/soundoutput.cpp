#include "engine/soundoutput.h"

#include "engine/deviceaudiooutput.h"
#ifdef LUMORA_WITH_PULSEAUDIO
#include "engine/pulseaudiooutput.h"
#endif

std::unique_ptr<AudioOutput> openSoundOutput()
{
#ifdef LUMORA_WITH_PULSEAUDIO
    if (auto pulse = PulseAudioOutput::connect())
        return pulse;
    // FluidSynth's own PulseAudio driver would find no server either.
    DeviceAudioOutput::Config config;
    config.drivers = { "alsa" };
    return std::make_unique<DeviceAudioOutput>(config);
#else
    return std::make_unique<DeviceAudioOutput>();
#endif
}

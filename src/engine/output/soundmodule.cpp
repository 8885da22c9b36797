// The sound module: the engine with FluidSynth and libpulse linked in, loaded by the program once
// its window is up. Everything in it is hidden but this one function.

#include "engine/output/soundengine.h"

extern "C" __attribute__((visibility("default"))) SoundEngine* lumora_create_sound_engine(
    int interfaceVersion)
{
    if (interfaceVersion != kSoundEngineInterfaceVersion)
        return nullptr;
    return createSoundEngine().release();
}

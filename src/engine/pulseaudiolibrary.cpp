#include "engine/pulseaudiolibrary.h"

#include "engine/runtimelibrary.h"

#include <cstdlib>

namespace {

LoadedFunctions<PulseAudioLibrary> open()
{
    LoadedFunctions<PulseAudioLibrary> loaded;
    RuntimeLibrary library(LUMORA_PULSEAUDIO_SONAME);
#define LUMORA_PULSEAUDIO_RESOLVE(name) library.resolve(loaded.functions.name, #name);
    LUMORA_PULSEAUDIO_FUNCTIONS(LUMORA_PULSEAUDIO_RESOLVE)
#undef LUMORA_PULSEAUDIO_RESOLVE
    loaded.error = library.error();
    return loaded;
}

} // namespace

const PulseAudioLibrary* PulseAudioLibrary::load(std::string* error)
{
    static const LoadedFunctions<PulseAudioLibrary> once = open();
    return once.table(error);
}

const PulseAudioLibrary& pulseAudio()
{
    const PulseAudioLibrary* library = PulseAudioLibrary::load();
    if (!library)
        std::abort(); // only reached through an output that connected, which needed it
    return *library;
}

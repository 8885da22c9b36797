#include "engine/fluidsynthlibrary.h"

#include "engine/runtimelibrary.h"

#include <cstdlib>

namespace {

LoadedFunctions<FluidSynthLibrary> open()
{
    LoadedFunctions<FluidSynthLibrary> loaded;
    // Never closed: synths and drivers may live until the process ends.
    RuntimeLibrary library(LUMORA_FLUIDSYNTH_SONAME);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // see the header
#define LUMORA_FLUIDSYNTH_RESOLVE(name) library.resolve(loaded.functions.name, #name);
    LUMORA_FLUIDSYNTH_FUNCTIONS(LUMORA_FLUIDSYNTH_RESOLVE)
#undef LUMORA_FLUIDSYNTH_RESOLVE
#pragma GCC diagnostic pop
    loaded.error = library.error();
    return loaded;
}

} // namespace

const FluidSynthLibrary* FluidSynthLibrary::load(std::string* error)
{
    static const LoadedFunctions<FluidSynthLibrary> once = open();
    return once.table(error);
}

const FluidSynthLibrary& fluidSynth()
{
    const FluidSynthLibrary* library = FluidSynthLibrary::load();
    if (!library)
        std::abort(); // only reached through a synth or driver, which cannot exist without it
    return *library;
}

#include "engine/fluidsynthlibrary.h"

#include <dlfcn.h>

#include <cstdlib>

namespace {

struct Loaded {
    FluidSynthLibrary functions;
    std::string error; // empty when every function was found
};

Loaded open()
{
    Loaded loaded;
    // Never closed: synths and drivers may live until the process ends.
    void* library = dlopen(LUMORA_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        loaded.error = why ? why : "cannot open " LUMORA_FLUIDSYNTH_SONAME;
        return loaded;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // see the header
#define LUMORA_FLUIDSYNTH_RESOLVE(name)                                                            \
    loaded.functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));            \
    if (!loaded.functions.name && loaded.error.empty())                                            \
        loaded.error = LUMORA_FLUIDSYNTH_SONAME " has no " #name;
    LUMORA_FLUIDSYNTH_FUNCTIONS(LUMORA_FLUIDSYNTH_RESOLVE)
#undef LUMORA_FLUIDSYNTH_RESOLVE
#pragma GCC diagnostic pop
    return loaded;
}

const Loaded& loaded()
{
    static const Loaded once = open();
    return once;
}

} // namespace

const FluidSynthLibrary* FluidSynthLibrary::load(std::string* error)
{
    const Loaded& library = loaded();
    if (library.error.empty())
        return &library.functions;
    if (error)
        *error = library.error;
    return nullptr;
}

const FluidSynthLibrary& fluidSynth()
{
    const FluidSynthLibrary* library = FluidSynthLibrary::load();
    if (!library)
        std::abort(); // only reached through a synth or driver, which cannot exist without it
    return *library;
}

#include "media/soundmodule.h"

#include "engine/output/soundengine.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace SoundModule {

std::vector<std::string> places()
{
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed)
        return {};
    const std::filesystem::path folder = program.parent_path();
    return { (folder / "lumora-sound.so").string(),
        (folder / LUMORA_SOUND_MODULE_FROM_PROGRAM).lexically_normal().string() };
}

// Never closed: the engine's threads and the libraries it brought stay until the program ends.
std::unique_ptr<SoundEngine> open(const std::vector<std::string>& paths, std::string* error)
{
    std::string why; // of the last place that was there but did not open
    for (const std::string& path : paths) {
        if (!std::filesystem::exists(path))
            continue;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            why = dlerror();
            continue;
        }
        const auto create
            = reinterpret_cast<SoundEngineFactory>(dlsym(module, kSoundEngineFactoryName));
        if (!create) {
            why = path + " has no " + kSoundEngineFactoryName;
            continue;
        }
        if (SoundEngine* engine = create(kSoundEngineInterfaceVersion))
            return std::unique_ptr<SoundEngine>(engine);
        why = path + " was built for another version of the program";
    }
    if (why.empty()) {
        why = "not found";
        for (const std::string& path : paths)
            why += (&path == &paths.front() ? " at " : " or ") + path;
    }
    if (error)
        *error = why;
    return nullptr;
}

} // namespace SoundModule

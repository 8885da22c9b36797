#pragma once

#include <memory>
#include <string>
#include <vector>

class SoundEngine;

// The sound module: the engine with FluidSynth and libpulse linked in, opened once and kept, so
// that the program loads those libraries on its loader thread rather than before main().
namespace SoundModule {

// Where it is looked for, in order: next to the program (its build folder), then the private
// folder the package installs it in, both found from the program's own file.
std::vector<std::string> places();

// An engine from the first of paths that opens and exports the factory; nullptr with why in error.
std::unique_ptr<SoundEngine> open(const std::vector<std::string>& paths, std::string* error);

} // namespace SoundModule

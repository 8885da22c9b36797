#pragma once

#include <memory>
#include <string>

class SoundEngine;

// Where the media control's engine comes from, chosen when a program is linked: the program's
// from the sound module (lumora_sound_loaded), the tests' and tools' linked in
// (lumora_sound_linked). nullptr, with why in error, when there is none to be had.
std::unique_ptr<SoundEngine> makeSoundEngine(std::string* error);

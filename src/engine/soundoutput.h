#pragma once

#include "engine/audiooutput.h"

#include <memory>

// The player's sound device: the sound server's own stream where one answers (a long buffer,
// few wake-ups), else FluidSynth's drivers (ALSA here, CoreAudio or WASAPI elsewhere), else a
// clock that plays on silently.
std::unique_ptr<AudioOutput> openSoundOutput();

#include "engine/synth/audiooutput.h"

AudioOutput::~AudioOutput() = default;

#include "playback/engine/audiooutput.h"

AudioOutput::~AudioOutput() = default;

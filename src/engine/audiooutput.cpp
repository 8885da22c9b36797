#include "engine/audiooutput.h"

AudioOutput::~AudioOutput() = default;

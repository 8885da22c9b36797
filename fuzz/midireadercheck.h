#pragma once

#include <cstddef>
#include <cstdint>

// Reads one input through the song loader and aborts if the result breaks the loader's
// promises: shared by the libFuzzer target and the corpus replay test.
void checkMidiReader(const uint8_t* data, size_t size);

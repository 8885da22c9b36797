#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class Song;

// Reads one input through the song loader and aborts if the result breaks the loader's
// promises: shared by the libFuzzer targets and the corpus replay test.
void checkMidiReader(const uint8_t* data, size_t size);

// The same checks, handing the song on (null when the input was refused) for the renderer's.
std::shared_ptr<const Song> checkedSong(const uint8_t* data, size_t size);

[[noreturn]] void invariantBroken(const char* part, const char* what);

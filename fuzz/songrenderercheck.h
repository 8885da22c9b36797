#pragma once

#include <cstddef>
#include <cstdint>

// Loads one input as a song and plays it through the renderer without a synth for a bounded
// number of frames, with pauses, rewinds and song changes on the way; aborts if the timeline
// breaks the renderer's promises. Shared by the libFuzzer target and the corpus replay test.
void checkSongRenderer(const uint8_t* data, size_t size);

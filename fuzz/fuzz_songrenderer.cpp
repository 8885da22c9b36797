// libFuzzer entry point for the reader and the sequencer together: every input that loads is
// played through the renderer. Build with fuzz/build.sh.

#include "songrenderercheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkSongRenderer(data, size);
    return 0;
}

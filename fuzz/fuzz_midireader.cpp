// libFuzzer entry point for the MIDI file reader. Build with fuzz/build.sh.

#include "midireadercheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkMidiReader(data, size);
    return 0;
}

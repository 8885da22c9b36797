#include "engine/synth/audiothread.h"

namespace {

thread_local bool t_marked = false;

} // namespace

namespace AudioThread {

void mark() noexcept
{
    t_marked = true;
}

bool isMarked() noexcept
{
    return t_marked;
}

} // namespace AudioThread

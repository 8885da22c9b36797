#include "engine/synth/enginelog.h"

#include "engine/synth/audiothread.h"

#include <atomic>
#include <cstdio>

namespace {

void writeToStderr(EngineLog::Level, const char* message)
{
    std::fprintf(stderr, "%s\n", message);
}

std::atomic<EngineLog::Handler> g_handler { writeToStderr };

// A handler formats and writes: on an audio thread the message is dropped instead. What goes
// wrong there (a program the SoundFont lacks) is said once more where it is prepared.
void deliver(EngineLog::Level level, const char* message)
{
    if (AudioThread::isMarked())
        return;
    g_handler.load(std::memory_order_acquire)(level, message);
}

} // namespace

namespace EngineLog {

void setHandler(Handler handler)
{
    g_handler.store(handler ? handler : writeToStderr, std::memory_order_release);
}

void info(const char* message)
{
    deliver(Level::Info, message);
}

void warning(const char* message)
{
    deliver(Level::Warning, message);
}

} // namespace EngineLog

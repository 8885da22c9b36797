#include "engine/enginelog.h"

#include <atomic>
#include <cstdio>

namespace {

void writeToStderr(EngineLog::Level, const char* message)
{
    std::fprintf(stderr, "%s\n", message);
}

std::atomic<EngineLog::Handler> g_handler { writeToStderr };

void deliver(EngineLog::Level level, const char* message)
{
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

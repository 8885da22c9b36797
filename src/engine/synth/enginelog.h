#pragma once

// The engine's one way to say something: a plain function the host installs. Without one,
// messages go to stderr, which is what the command-line tools want; the media control installs
// one that forwards to its logging category.
//
// Never called on the audio thread: a message from a thread marked as one (audiothread.h) is
// dropped before it reaches the handler.
namespace EngineLog {

// Info: detail, such as FluidSynth's own messages; Warning: something the user should know.
enum class Level { Info, Warning };

using Handler = void (*)(Level level, const char* message);

// Safe to call from any thread; nullptr goes back to stderr.
void setHandler(Handler handler);

void info(const char* message);
void warning(const char* message);

} // namespace EngineLog

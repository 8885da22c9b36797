#pragma once

// The thread that feeds the sound device. Each output marks its own audio thread once, before it
// first calls its source; from then on nothing on that thread may allocate, free, log or wait for
// a lock. The log hook checks the mark and drops what would be said there, and tests count what
// happens on marked threads.
namespace AudioThread {

// Marks the calling thread for the rest of its life.
void mark() noexcept;
bool isMarked() noexcept;

} // namespace AudioThread

#pragma once

#include <pulse/pulseaudio.h>

#include <string>

// Every libpulse function the engine calls. Add a name here before calling it.
#define LUMORA_PULSEAUDIO_FUNCTIONS(X)                                                             \
    X(pa_context_connect)                                                                          \
    X(pa_context_disconnect)                                                                       \
    X(pa_context_get_state)                                                                        \
    X(pa_context_new)                                                                              \
    X(pa_context_rttime_new)                                                                       \
    X(pa_context_rttime_restart)                                                                   \
    X(pa_context_set_state_callback)                                                               \
    X(pa_context_unref)                                                                            \
    X(pa_operation_unref)                                                                          \
    X(pa_rtclock_now)                                                                              \
    X(pa_stream_connect_playback)                                                                  \
    X(pa_stream_cork)                                                                              \
    X(pa_stream_disconnect)                                                                        \
    X(pa_stream_get_state)                                                                         \
    X(pa_stream_get_timing_info)                                                                   \
    X(pa_stream_new)                                                                               \
    X(pa_stream_set_state_callback)                                                                \
    X(pa_stream_unref)                                                                             \
    X(pa_stream_update_timing_info)                                                                \
    X(pa_stream_write)                                                                             \
    X(pa_threaded_mainloop_free)                                                                   \
    X(pa_threaded_mainloop_get_api)                                                                \
    X(pa_threaded_mainloop_lock)                                                                   \
    X(pa_threaded_mainloop_new)                                                                    \
    X(pa_threaded_mainloop_signal)                                                                 \
    X(pa_threaded_mainloop_start)                                                                  \
    X(pa_threaded_mainloop_stop)                                                                   \
    X(pa_threaded_mainloop_unlock)                                                                 \
    X(pa_threaded_mainloop_wait)                                                                   \
    X(pa_timeval_age)

// libpulse, opened when the live output first connects rather than linked into the program: for
// the same reason as FluidSynth (see fluidsynthlibrary.h), it and the codecs it brings would load
// before main() on the thread that puts the window on the screen.
struct PulseAudioLibrary {
#define LUMORA_PULSEAUDIO_POINTER(name) decltype(&::name) name = nullptr;
    LUMORA_PULSEAUDIO_FUNCTIONS(LUMORA_PULSEAUDIO_POINTER)
#undef LUMORA_PULSEAUDIO_POINTER

    // Opens the library on the first call, from any thread. Null when it cannot be opened or
    // lacks a function; error then says why.
    static const PulseAudioLibrary* load(std::string* error = nullptr);
};

// The functions, for code that only runs once load() succeeded.
const PulseAudioLibrary& pulseAudio();

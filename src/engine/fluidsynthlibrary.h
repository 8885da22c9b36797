#pragma once

#include <fluidsynth.h>

#include <string>

// Every FluidSynth function the engine calls. Add a name here before calling it.
#define LUMORA_FLUIDSYNTH_FUNCTIONS(X)                                                             \
    X(delete_fluid_audio_driver)                                                                   \
    X(delete_fluid_settings)                                                                       \
    X(delete_fluid_synth)                                                                          \
    X(fluid_preset_get_banknum)                                                                    \
    X(fluid_preset_get_num)                                                                        \
    X(fluid_set_log_function)                                                                      \
    X(fluid_settings_setint)                                                                       \
    X(fluid_settings_setnum)                                                                       \
    X(fluid_settings_setstr)                                                                       \
    X(fluid_sfloader_set_callbacks)                                                                \
    X(fluid_synth_add_sfloader)                                                                    \
    X(fluid_synth_all_notes_off)                                                                   \
    X(fluid_synth_all_sounds_off)                                                                  \
    X(fluid_synth_bank_select)                                                                     \
    X(fluid_synth_cc)                                                                              \
    X(fluid_synth_channel_pressure)                                                                \
    X(fluid_synth_count_midi_channels)                                                             \
    X(fluid_synth_get_active_voice_count)                                                          \
    X(fluid_synth_get_chorus_group_depth)                                                          \
    X(fluid_synth_get_channel_preset)                                                              \
    X(fluid_synth_get_internal_bufsize)                                                            \
    X(fluid_synth_key_pressure)                                                                    \
    X(fluid_synth_noteoff)                                                                         \
    X(fluid_synth_noteon)                                                                          \
    X(fluid_synth_pin_preset)                                                                      \
    X(fluid_synth_pitch_bend)                                                                      \
    X(fluid_synth_pitch_wheel_sens)                                                                \
    X(fluid_synth_process)                                                                         \
    X(fluid_synth_program_change)                                                                  \
    X(fluid_synth_reset_basic_channel)                                                             \
    X(fluid_synth_set_basic_channel)                                                               \
    X(fluid_synth_set_channel_type)                                                                \
    X(fluid_synth_set_sample_rate)                                                                 \
    X(fluid_synth_sfload)                                                                          \
    X(fluid_synth_sfunload)                                                                        \
    X(fluid_synth_unpin_preset)                                                                    \
    X(fluid_synth_unset_program)                                                                   \
    X(new_fluid_audio_driver2)                                                                     \
    X(new_fluid_defsfloader)                                                                       \
    X(new_fluid_settings)                                                                          \
    X(new_fluid_synth)

// FluidSynth, opened when a synth or one of its sound drivers is first wanted rather than linked
// into the program. Linked, it and the forty-odd libraries it brings (codecs, sound servers,
// GLib's type system) load and run their start-up code before main(), on the thread that has to
// put the window on the screen; opened here, that happens on the SoundFont loader's thread.
struct FluidSynthLibrary {
// fluid_synth_set_sample_rate is deprecated (the rate belongs in the settings); the renderer
// calls it with the rate the synth has, for what it clears.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define LUMORA_FLUIDSYNTH_POINTER(name) decltype(&::name) name = nullptr;
    LUMORA_FLUIDSYNTH_FUNCTIONS(LUMORA_FLUIDSYNTH_POINTER)
#undef LUMORA_FLUIDSYNTH_POINTER
#pragma GCC diagnostic pop

    // Opens the library on the first call, from any thread. Null when it cannot be opened or
    // lacks a function; error then says why.
    static const FluidSynthLibrary* load(std::string* error = nullptr);
};

// The functions, for code that only runs once a synth or a driver exists (and so after a load()
// that succeeded).
const FluidSynthLibrary& fluidSynth();

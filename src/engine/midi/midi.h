#pragma once

// The MIDI names the engine shares: the reader, the song, the renderer and the synth agree on
// them through this one header.
namespace Midi {

constexpr int channelCount = 16;
constexpr int drumChannel = 9; // channel 10 as musicians count
constexpr int drumBank = 128; // the bank SoundFonts keep percussion in

// Controller numbers the renderer sets or resets itself.
enum Controller {
    BankSelectMsb = 0,
    Volume = 7,
    Pan = 10,
    BankSelectLsb = 32,
    VolumeLsb = 39,
    PanLsb = 42,
    Sustain = 64,
    Sostenuto = 66,
    SoundController1 = 70,
    SoundController10 = 79,
    EffectsDepth1 = 91,
    EffectsDepth5 = 95,
    ResetAllControllers = 121,
};

// Below the smallest step of 16-bit audio: nothing left worth rendering.
constexpr float quietLevel = 1.0f / 65536;

} // namespace Midi

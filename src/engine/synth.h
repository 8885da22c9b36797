#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct _fluid_synth_t;
struct _fluid_hashtable_t;
class Song;

// The FluidSynth synthesizer with its SoundFont. Loading a SoundFont is slow (hundreds of ms), so
// the player does it on a worker thread; nothing here may be called from the audio thread except
// through SongRenderer.
class Synth {
public:
    explicit Synth(double sampleRate);
    ~Synth();
    Synth(const Synth&) = delete;
    Synth& operator=(const Synth&) = delete;

    // Debian's General MIDI SoundFont by its standard names, then any other .sf2/.sf3 in the
    // usual folder; empty when there is none.
    static std::string findDefaultSoundFont();
    // The same search in another folder.
    static std::string findSoundFontIn(const std::string& folder);

    bool loadSoundFont(const std::string& path, std::string* error);
    bool hasSoundFont() const;
    // Makes sure every preset the song selects is loaded, so playing it never loads samples, and
    // releases the samples of every other preset. Returns how many presets it released. A release
    // cuts whatever still sounds and leaves channels 0-15 without a program: the renderer resets
    // them before it plays. May read samples from disk.
    int prepare(const Song& song);
    // True when prepare(song) would neither read nor release anything.
    bool isPrepared(const Song& song) const;
    // Gives the memory of released samples back to the system, which the C library would keep.
    static void returnFreedMemory();

    double sampleRate() const;
    // How many times any synth in this process has opened a SoundFont file: loading samples
    // does, so a count that stays put while a song plays proves prepare() did its job.
    static int64_t soundFontFileOpens();
    // The same count for the calling thread only.
    static int64_t soundFontFileOpensOnThisThread();
    _fluid_synth_t* handle() const;

    // Marks the current thread as rendering for its lifetime: FluidSynth's warnings (such as a
    // program the SoundFont lacks) are then dropped instead of written to stderr, since the
    // audio thread must not do I/O. Elsewhere they still reach stderr.
    class RealTimeScope {
    public:
        RealTimeScope();
        ~RealTimeScope();
        RealTimeScope(const RealTimeScope&) = delete;
        RealTimeScope& operator=(const RealTimeScope&) = delete;

    private:
        bool m_wasRealTime;
    };

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct _fluid_audio_driver_t;
struct _fluid_hashtable_t;
struct _fluid_synth_t;
class Song;
struct SongEvent;

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
    // Makes sure every preset the song selects is loaded, as prepare() does, but releases none:
    // for a song that follows the one playing, whose samples still sound.
    void prepareAlongside(const Song& song);
    // True when prepareAlongside(song) would read nothing.
    bool isPreparedAlongside(const Song& song) const;
    // Gives the memory of released samples back to the system, which the C library would keep.
    static void returnFreedMemory();

    double sampleRate() const;
    // How many times any synth in this process has opened a SoundFont file: loading samples
    // does, so a count that stays put while a song plays proves prepare() did its job.
    static int64_t soundFontFileOpens();
    // The same count for the calling thread only.
    static int64_t soundFontFileOpensOnThisThread();

    // What SongRenderer plays through, on the thread that renders: none of these allocates, locks
    // or logs, and without a synthesizer they do nothing (and sound nothing).
    // A channel message: note, key or channel pressure, controller, program, pitch bend.
    void send(const SongEvent& event);
    void noteOn(int channel, int key, int velocity);
    void noteOff(int channel, int key);
    // Back to the state of a fresh synth without cutting what sounds: pedals up and note-offs let
    // the voices release, then controllers, pitch bend, programs and channel modes go back to
    // their power-on values.
    void resetChannels();
    // Stops every voice and clears the reverb. What the chorus still holds, and the block the
    // synth had ready, go only by rendering framesToEmpty() frames after it.
    void cutVoices();
    int framesToEmpty() const;
    // Adds frames of sound, effects included, to left and right.
    void synthesize(float* left, float* right, int frames);
    int activeVoiceCount() const;

    // One of FluidSynth's audio drivers ("pulseaudio", "alsa") on the sound device, calling
    // render once a period on its own thread; closing it joins that thread.
    class Driver {
    public:
        // Returns 0 when it rendered.
        using Render = int (*)(void* data, int frames, int effectCount, float* effects[],
            int outputCount, float* outputs[]);
        ~Driver();
        Driver(const Driver&) = delete;
        Driver& operator=(const Driver&) = delete;

    private:
        friend class Synth;
        Driver() = default;
        _fluid_hashtable_t* m_settings = nullptr;
        _fluid_audio_driver_t* m_driver = nullptr;
    };
    // Null when the driver does not open.
    static std::unique_ptr<Driver> openDriver(const std::string& name, double sampleRate,
        int periodFrames, int periods, Driver::Render render, void* data);

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
    // Tests compare the synth's state with FluidSynth's own calls through it.
    friend struct SynthProbe;
    _fluid_synth_t* handle() const;

    struct Private;
    std::unique_ptr<Private> d;
};

#pragma once

#include "engine/synth/enginelog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class AudioOutput;
class LiveSongPlayer;
class Song;

// What the media control plays through: a player, its synth and its output, as one object. The
// program gets it from the sound module (the one place that links FluidSynth and libpulse),
// loaded on its loader thread, so that neither library is loaded before the window is up;
// tests and tools may link the engine and create it directly. Only virtual calls cross over, so
// the program links no function of the engine's.
class SoundEngine {
public:
    virtual ~SoundEngine() = default;

    // Loading, on one thread at a time, before start(). The log handler goes first, so that
    // whatever the engine says while loading reaches the host's log.
    virtual void setLogHandler(EngineLog::Handler handler) = 0;
    // The sound server's stream, else FluidSynth's driver, else a clock that plays into nothing.
    virtual void openOutput() = 0;
    // Plays through this output instead (a clock that tests drive).
    virtual void useOutput(std::unique_ptr<AudioOutput> output) = 0;
    virtual double sampleRate() const = 0;
    // The system's General MIDI SoundFont, or empty.
    virtual std::string defaultSoundFont() const = 0;
    // Loads the SoundFont the player plays with; a failure says why in error and leaves the
    // player silent, or with the SoundFont loaded before.
    virtual bool loadSoundFont(const std::string& path, std::string* error) = 0;
    virtual bool hasSoundFont() const = 0;
    // Starts the output with the player, silent without a SoundFont.
    virtual void start() = 0;

    // UI thread, after start(): the player (livesongplayer.h says what each does).
    virtual void setSong(std::shared_ptr<const Song> song, bool loadSamples) = 0;
    virtual void closeSong() = 0;
    virtual void play() = 0;
    virtual void silenceWithFade() = 0;
    virtual void rewindToStart() = 0;
    virtual void acknowledgeEnd() = 0;
    virtual int32_t positionMs() const = 0;
    virtual bool atEnd() const = 0;
    // Readable once per song end; -1 if there is none.
    virtual int endNotifier() const = 0;
    // For tests: the player itself, when there is one.
    virtual const LiveSongPlayer* player() const = 0;
    // The output has something new to play.
    virtual void wake() = 0;

    // A song that follows the current one without a break (Loop, Play All), UI thread. Once its
    // presets are in (prepareFollowingSong), setFollowingSong arms it: when the current song has
    // been rendered to its end, rendering goes straight on with the following song from its
    // start, playing. Until adoptFollowingSong the current song is still the one reported:
    // position and end follow it, and its end is notified when heard, exactly as without a
    // following song. setFollowingSong(nullptr) takes back one that has not begun to render.
    virtual void setFollowingSong(std::shared_ptr<const Song> song) = 0;
    // The following song has begun to render: it is what will be heard after the current one.
    virtual bool isFollowingSongStarted() const = 0;
    // It becomes the current song, playing from where it is heard; position and end follow it.
    virtual void adoptFollowingSong() = 0;
    // It is dropped: what was queued of it is replaced at once, and the current song stays as it
    // would be without one (at its end, once that is heard).
    virtual void dropFollowingSong() = 0;

    // The sample loader: one thread of the engine's, tasks run in the order posted.
    virtual void postToSampleLoader(std::function<void()> task) = 0;
    // On the sample loader: reads the song's samples, releases the others'; returns how many
    // presets were released, whose memory returnFreedMemory() gives back to the system.
    virtual int prepareSong(const Song& song) = 0;
    // The same for a following song, keeping the current song's samples, which still play. False,
    // with nothing read, when reading would be heard as a gap in the song that plays (the output
    // does not tolerate a late render): the window's commands then start the song as usual.
    virtual bool prepareFollowingSong(const Song& song) = 0;
    virtual void returnFreedMemory() = 0;

    // Drops the sample loader's waiting tasks, fades out what sounds (for a moment at most) and
    // stops the output: nothing is rendered after it returns.
    virtual void shutDown() = 0;
};

// The sound module's one export: extern "C" SoundEngine* lumora_create_sound_engine(int version).
// It answers nullptr to a program built against another version of this interface.
inline constexpr const char* kSoundEngineFactoryName = "lumora_create_sound_engine";
inline constexpr int kSoundEngineInterfaceVersion = 2;
using SoundEngineFactory = SoundEngine* (*)(int interfaceVersion);

// The engine linked in, for tests and tools (lumora_output).
std::unique_ptr<SoundEngine> createSoundEngine();

#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <thread>

class AudioOutput;
class Synth;

// Connects to the sound server and loads the synth on a thread of its own, and hands both back
// on the thread that owns the loader. Loading a SoundFont takes a core for a few hundred
// milliseconds: the window never waits for it. A loader destroyed first waits for its thread and
// frees what it loaded; nothing is handed back then.
class StartupLoader : public QObject {
    Q_OBJECT

public:
    struct Loaded {
        std::unique_ptr<AudioOutput> output; // null when the output was there already
        std::unique_ptr<Synth> synth; // null when no SoundFont loaded
    };
    using OpenOutput = std::function<std::unique_ptr<AudioOutput>()>;
    using LoadSynth = std::function<std::unique_ptr<Synth>(const AudioOutput& output)>;
    using Done = std::function<void(Loaded loaded)>;

    explicit StartupLoader(QObject* parent = nullptr);
    ~StartupLoader() override;

    // Opens the output with openOutput, or plays through output when openOutput is null; then
    // loads the synth for it at a lower priority. Does nothing after the first call.
    void start(OpenOutput openOutput, const AudioOutput* output, LoadSynth loadSynth, Done done);
    bool hasStarted() const { return m_thread.joinable() || m_finished; }
    // Waits for the thread and frees what it loaded: nothing is handed back after this.
    void cancel();

private:
    void finish();

    std::thread m_thread;
    Loaded m_loaded; // written by the thread, read once it has been joined
    Done m_done;
    bool m_finished = false;
};

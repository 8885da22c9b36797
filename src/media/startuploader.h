#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class SoundEngine;

// Opens the sound engine (the module with it, and the sound server) and loads its SoundFont on a
// thread of its own, and hands it back on the thread that owns the loader. Loading a SoundFont
// takes a core for a few hundred milliseconds: the window never waits for it. A loader cancelled or
// destroyed first waits a moment for its thread and frees what it loaded; a thread still at work
// after that (stuck in a file system, say) is left behind and frees what it loads itself. Nothing
// is handed back then.
class StartupLoader : public QObject {
    Q_OBJECT

public:
    using OpenEngine = std::function<std::unique_ptr<SoundEngine>()>;
    using LoadSoundFont = std::function<void(SoundEngine& engine)>;
    using Done = std::function<void(std::unique_ptr<SoundEngine> engine)>;

    // How long cancel() waits for a thread at work before leaving it behind.
    static constexpr std::chrono::milliseconds kGraceAtEnd { 500 };

    explicit StartupLoader(QObject* parent = nullptr);
    ~StartupLoader() override;

    // Opens the engine with openEngine, then loads its SoundFont with loadSoundFont at a lower
    // priority; done gets the engine, or nullptr when none opened. Does nothing after the first
    // call. The functions run on the loader's thread and may outlive the loader: they must not
    // refer to anything it does not give them.
    void start(OpenEngine openEngine, LoadSoundFont loadSoundFont, Done done);
    bool hasStarted() const { return m_thread.joinable() || m_finished; }
    // Waits at most kGraceAtEnd for the thread, then leaves it behind: nothing is handed back
    // after this.
    void cancel();

private:
    struct HandOver;
    void finish();

    std::shared_ptr<HandOver> m_handOver; // shared with the thread, which may outlive the loader
    std::thread m_thread;
    Done m_done;
    bool m_finished = false;
};

#include "media/startuploader.h"

#include "engine/output/soundengine.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

namespace {

// At start-up the window being built and drawn should have the processor first.
void lowerThreadPriority()
{
#ifdef __linux__
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
}

} // namespace

struct StartupLoader::HandOver {
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    bool abandoned = false; // the loader is cancelled or gone: nothing to hand over to
    std::unique_ptr<SoundEngine> loaded;
};

StartupLoader::StartupLoader(QObject* parent)
    : QObject(parent)
{
}

StartupLoader::~StartupLoader()
{
    cancel();
}

// The end of the program waits a moment for a thread at work, so that it does not run on while
// the libraries go away, but never for one that is stuck.
void StartupLoader::cancel()
{
    if (m_thread.joinable()) {
        std::unique_lock lock(m_handOver->mutex);
        m_handOver->abandoned = true;
        const bool finished = m_handOver->finishedChanged.wait_for(
            lock, kGraceAtEnd, [this] { return m_handOver->finished; });
        std::unique_ptr<SoundEngine> dropped = std::move(m_handOver->loaded);
        lock.unlock();
        if (finished)
            m_thread.join();
        else
            m_thread.detach();
    }
    m_finished = true; // a finish() already queued finds nothing to join and hands nothing back
    m_done = nullptr;
}

void StartupLoader::start(OpenEngine openEngine, LoadSoundFont loadSoundFont, Done done)
{
    if (hasStarted())
        return;
    m_done = std::move(done);
    m_handOver = std::make_shared<HandOver>();
    m_thread = std::thread([this, handOver = m_handOver, openEngine = std::move(openEngine),
                               loadSoundFont = std::move(loadSoundFont)] {
        // The output's own audio thread is started from here and inherits this thread's
        // priority, so the priority drops only after it is running.
        std::unique_ptr<SoundEngine> loaded = openEngine();
        lowerThreadPriority();
        if (loaded)
            loadSoundFont(*loaded);
        std::unique_lock lock(handOver->mutex);
        handOver->finished = true;
        handOver->finishedChanged.notify_all();
        if (handOver->abandoned) {
            lock.unlock();
            return; // what was loaded is freed here, on this thread
        }
        handOver->loaded = std::move(loaded);
        QMetaObject::invokeMethod(this, &StartupLoader::finish, Qt::QueuedConnection);
    });
}

void StartupLoader::finish()
{
    if (!m_thread.joinable())
        return; // cancelled
    m_thread.join();
    m_finished = true;
    std::unique_ptr<SoundEngine> loaded = std::move(m_handOver->loaded);
    if (Done done = std::move(m_done))
        done(std::move(loaded));
}

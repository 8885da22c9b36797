#include "media/startuploader.h"

#include "engine/audiooutput.h"
#include "engine/synth.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// At start-up the window being built and drawn should have the processor first.
void lowerThreadPriority()
{
#ifdef __linux__
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
}

} // namespace

StartupLoader::StartupLoader(QObject* parent)
    : QObject(parent)
{
}

StartupLoader::~StartupLoader()
{
    cancel();
}

void StartupLoader::cancel()
{
    if (m_thread.joinable())
        m_thread.join();
    m_finished = true; // a finish() already queued finds nothing to join and hands nothing back
    m_done = nullptr;
    m_loaded = {};
}

void StartupLoader::start(
    OpenOutput openOutput, const AudioOutput* output, LoadSynth loadSynth, Done done)
{
    if (hasStarted())
        return;
    m_done = std::move(done);
    m_thread = std::thread(
        [this, openOutput = std::move(openOutput), output, loadSynth = std::move(loadSynth)] {
            // The output's own audio thread is started from here and inherits this thread's
            // priority, so the priority drops only after it is running.
            if (openOutput)
                m_loaded.output = openOutput();
            lowerThreadPriority();
            m_loaded.synth = loadSynth(m_loaded.output ? *m_loaded.output : *output);
            QMetaObject::invokeMethod(this, &StartupLoader::finish, Qt::QueuedConnection);
        });
}

void StartupLoader::finish()
{
    if (!m_thread.joinable())
        return; // cancelled
    m_thread.join();
    m_finished = true;
    if (Done done = std::move(m_done))
        done(std::move(m_loaded));
}

#include "media/enginemediacontrol.h"

#include "engine/enginelog.h"
#include "engine/livesongplayer.h"
#include "engine/song.h"
#include "engine/songrenderer.h"
#include "engine/soundoutput.h"
#include "engine/synth.h"
#include "engine/workerthread.h"
#include "media/filenames.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// The engine's messages join the media log; the engine never calls this on the audio thread.
void forwardEngineMessage(EngineLog::Level level, const char* message)
{
    if (level == EngineLog::Level::Warning)
        qCWarning(lcMedia).noquote() << QString::fromUtf8(message);
    else
        qCInfo(lcMedia).noquote() << QString::fromUtf8(message);
}

// Loading a SoundFont takes a core for a few hundred milliseconds; at start-up the window being
// built and drawn should have the processor first.
void lowerThreadPriority()
{
#ifdef __linux__
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
}

// How long the end of the program waits for a loader still at work before leaving it behind.
constexpr auto kLoaderGraceAtEnd = std::chrono::milliseconds(500);

} // namespace

struct EngineMediaControl::LoaderHandOver {
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    bool abandoned = false; // the control is gone: nothing to hand over to
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<Synth> synth;
};

EngineMediaControl::EngineMediaControl(QObject* parent)
    : EngineMediaControl(EngineSetup {}, parent)
{
}

EngineMediaControl::EngineMediaControl(EngineSetup setup, QObject* parent)
    : MediaControl(parent)
    , m_setup(std::move(setup))
    , m_output(std::move(m_setup.output))
    , m_player(std::make_unique<LiveSongPlayer>())
{
    EngineLog::setHandler(forwardEngineMessage);
    // Otherwise the loader thread connects to the sound server, with the SoundFont: neither is
    // needed to put the window on the screen.
    if (!m_output && (m_setup.withoutSynth || m_setup.loadSynchronously))
        m_output = openSoundOutput();

    m_statusTimer.setInterval(m_setup.statusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &EngineMediaControl::tickStatus);
    m_endNotification.setSingleShot(true);
    m_endNotification.setInterval(m_setup.endNotificationDelayMs);
    connect(&m_endNotification, &QTimer::timeout, this, &EngineMediaControl::notifyEnd);
    if (m_player->endNotifier() >= 0) {
        m_endNotifier = new QSocketNotifier(m_player->endNotifier(), QSocketNotifier::Read, this);
        connect(
            m_endNotifier, &QSocketNotifier::activated, this, &EngineMediaControl::onEndReached);
    }

    if (m_output)
        m_output->start(m_player.get());
    if (m_setup.withoutSynth)
        attachSynth(nullptr);
    else if (m_setup.loadSynchronously)
        attachSynth(loadSynth(soundFontsToTry(), m_output->sampleRate()));
    else if (!m_setup.loadWhenAsked)
        startLoading();
}

EngineMediaControl::~EngineMediaControl()
{
    leaveLoaderBehind();
    m_sampleLoader.reset();
    fadeOutAndWait();
    if (m_output)
        m_output->stop();
    delete m_endNotifier; // before the player closes the descriptor it watches
    // The renderer goes before the synth it plays through.
    m_player->detachRenderer().reset();
}

bool EngineMediaControl::isSynthReady() const
{
    return m_synthAttached;
}

qint32 EngineMediaControl::length()
{
    return m_state == State::Closed || !m_song ? 0 : m_song->lengthMs();
}

qint32 EngineMediaControl::position()
{
    if (m_notifiedPosition)
        return *m_notifiedPosition;
    return m_state == State::Closed || m_loadingSamples ? 0 : m_player->positionMs();
}

// Every handler of one notification reads the same position, though the audio thread may reach
// the end meanwhile: Play All's look and the window's, one after the other, must agree, or the
// window would rewind a song that Play All never saw end. A command ends the snapshot.
void EngineMediaControl::emitStatusUpdate()
{
    const std::optional<qint32> outer = m_notifiedPosition;
    m_notifiedPosition.reset();
    m_notifiedPosition = position();
    emit statusUpdate();
    if (m_notifiedPosition)
        m_notifiedPosition = outer;
}

MediaControl::PlaybackState EngineMediaControl::playbackState()
{
    if (m_state == State::Paused)
        return PlaybackState::Paused;
    if (m_state == State::Playing && !hasPlayedToEnd())
        return PlaybackState::Playing;
    return PlaybackState::Stopped;
}

// The SoundFont takes hundreds of milliseconds to load: the window never waits for it. Commands
// that come meanwhile act on the song; the sound follows once the synth is attached.
void EngineMediaControl::startLoading()
{
    if (m_synthAttached || m_loader.joinable())
        return; // attached at once, loading, or loaded
    m_loaderHandOver = std::make_shared<LoaderHandOver>();
    const double sampleRate = m_output ? m_output->sampleRate() : 0.0;
    m_loader = std::thread(
        [this, handOver = m_loaderHandOver, candidates = soundFontsToTry(), sampleRate] {
            // The output's own audio thread is started from here and inherits this thread's
            // priority, so the priority drops only after it is running.
            std::unique_ptr<AudioOutput> output = sampleRate > 0.0 ? nullptr : openSoundOutput();
            lowerThreadPriority();
            std::unique_ptr<Synth> synth
                = loadSynth(candidates, output ? output->sampleRate() : sampleRate);
            const std::lock_guard lock(handOver->mutex);
            handOver->finished = true;
            handOver->finishedChanged.notify_all();
            if (handOver->abandoned)
                return;
            handOver->output = std::move(output);
            handOver->synth = std::move(synth);
            QMetaObject::invokeMethod(
                this, &EngineMediaControl::finishLoadingSynth, Qt::QueuedConnection);
        });
}

// The end of the program waits a moment for a loader at work, so that it does not run on while
// the libraries go away, but never for one that is stuck.
void EngineMediaControl::leaveLoaderBehind()
{
    if (!m_loader.joinable())
        return;
    std::unique_lock lock(m_loaderHandOver->mutex);
    m_loaderHandOver->abandoned = true;
    const bool finished = m_loaderHandOver->finishedChanged.wait_for(
        lock, kLoaderGraceAtEnd, [this] { return m_loaderHandOver->finished; });
    lock.unlock();
    if (finished)
        m_loader.join();
    else
        m_loader.detach();
}

std::vector<std::string> EngineMediaControl::soundFontsToTry() const
{
    if (!m_setup.soundFont.empty())
        return { m_setup.soundFont };
    std::vector<std::string> candidates = m_setup.soundFontCandidates;
    if (std::string fallback = Synth::findDefaultSoundFont(); !fallback.empty())
        candidates.push_back(fallback);
    return candidates;
}

std::unique_ptr<Synth> EngineMediaControl::loadSynth(
    const std::vector<std::string>& candidates, double sampleRate)
{
    if (candidates.empty()) {
        qCWarning(lcMedia) << "No SoundFont found; songs play silently";
        return nullptr;
    }
    // A SoundFont that does not load must not leave the player silent while another one would.
    for (const std::string& path : candidates) {
        auto synth = std::make_unique<Synth>(sampleRate);
        std::string error;
        if (synth->loadSoundFont(path, &error))
            return synth;
        qCWarning(lcMedia).noquote()
            << "Cannot load the SoundFont" << QString::fromStdString(path) << ":"
            << QString::fromStdString(error)
            << (&path == &candidates.back() ? "; songs play silently" : "; trying the next one");
    }
    return nullptr;
}

void EngineMediaControl::finishLoadingSynth()
{
    m_loader.join();
    if (m_loaderHandOver->output) {
        m_output = std::move(m_loaderHandOver->output);
        m_output->start(m_player.get());
    }
    attachSynth(std::move(m_loaderHandOver->synth));
}

void EngineMediaControl::attachSynth(std::unique_ptr<Synth> synth)
{
    m_synth = std::move(synth);
    if (m_synth && !m_setup.loadSynchronously)
        m_sampleLoader = std::make_unique<WorkerThread>();
    m_player->attachRenderer(std::make_unique<SongRenderer>(m_synth.get(), m_output->sampleRate()));
    m_synthAttached = true;
    if (m_state != State::Closed && m_sampleLoader)
        startLoadingSamples();
    else if (m_state != State::Closed)
        m_player->setSong(m_song, m_synth.get());
    if (m_state == State::Playing)
        startPlayer();
    emit synthReady();
}

void EngineMediaControl::applyFileName(const QString& name)
{
    m_fileName = name;
}

void EngineMediaControl::applyTimeFormat(qint32 format)
{
    m_timeFormat = format;
}

void EngineMediaControl::runCommand(MediaCommand command, const QString&)
{
    m_notifiedPosition.reset();
    switch (command) {
    case MediaCommand::Open:
        openSong();
        break;
    case MediaCommand::Close:
        closeSong();
        break;
    case MediaCommand::Play:
        playSong();
        break;
    case MediaCommand::Pause:
        togglePause();
        break;
    case MediaCommand::Prev:
        rewindSong();
        break;
    case MediaCommand::Unknown:
        break; // logged where it was sent
    }
}

void EngineMediaControl::openSong()
{
    if (m_state != State::Closed) {
        qCWarning(lcMedia).noquote()
            << "Cannot open" << m_fileName << ":" << m_songPath << "is already open";
        return;
    }
    if (m_fileName.isEmpty()) {
        qCWarning(lcMedia) << "Cannot open: no file name given";
        return;
    }
    const QString path = m_setup.locateFile ? m_setup.locateFile(m_fileName)
                                            : QFileInfo(m_fileName).absoluteFilePath();
    std::shared_ptr<const Song> song = readSong(path);
    if (!song)
        return;
    m_song = std::move(song);
    m_songPath = path;
    m_failuresTold.clear();
    m_endSeen = false;
    m_state = State::Stopped;
    m_statusTimer.start();
    if (m_sampleLoader)
        startLoadingSamples();
    else
        m_player->setSong(m_song, m_synth.get());
}

// The song is open at once (Length reads right, a bad file has failed already); the player gets
// it once its samples are in, and then plays it if Play came meanwhile. Until then the player
// keeps the closed song it had, and this control answers for the new one.
void EngineMediaControl::startLoadingSamples()
{
    m_loadingSamples = true;
    const quint64 ticket = ++m_openTicket;
    m_sampleLoader->post([this, ticket, song = m_song, synth = m_synth.get()] {
        if (ticket != m_openTicket.load())
            return; // closed meanwhile
        const int released = m_player->prepareSong(*song, *synth);
        QMetaObject::invokeMethod(
            this, [this, ticket] { finishLoadingSamples(ticket); }, Qt::QueuedConnection);
        if (released > 0)
            Synth::returnFreedMemory();
    });
}

void EngineMediaControl::finishLoadingSamples(quint64 ticket)
{
    if (ticket != m_openTicket.load() || !m_loadingSamples)
        return;
    m_loadingSamples = false;
    m_player->setSong(m_song, nullptr);
    if (m_state == State::Playing)
        startPlayer();
}

std::shared_ptr<const Song> EngineMediaControl::readSong(const QString& path)
{
    const QByteArray encoded = FileNames::toBytes(path);
    FileIdentity identity;
    struct stat info = {};
    if (::stat(encoded.constData(), &info) == 0) {
        identity = { path, quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec };
        if (m_lastReadSong && identity == m_lastReadIdentity)
            return m_lastReadSong;
    }
    const SongLoadResult loaded = loadSongFile(encoded.toStdString());
    if (!loaded.song) {
        warnOnce(
            QStringLiteral("Cannot open %1 : %2").arg(path, QString::fromStdString(loaded.error)));
        return nullptr;
    }
    m_lastReadIdentity = identity;
    m_lastReadSong = identity.size >= 0 ? loaded.song : nullptr;
    return loaded.song;
}

void EngineMediaControl::closeSong()
{
    if (m_state == State::Closed)
        return; // already what was asked
    ++m_openTicket;
    // A song still loading never reached the player, whose own song is closed already.
    if (!m_loadingSamples) {
        m_player->closeSong();
        wakeOutput();
    }
    m_loadingSamples = false;
    m_song.reset();
    m_songPath.clear();
    m_state = State::Closed;
    m_statusTimer.stop();
    m_endNotification.stop();
    m_player->acknowledgeEnd();
}

void EngineMediaControl::playSong()
{
    if (refuseWhenClosed("Play"))
        return;
    if (hasPlayedToEnd()) {
        qCWarning(lcMedia) << "Cannot play: the song has played to its end";
        return;
    }
    m_state = State::Playing;
    startPlayer();
}

// Pause toggles: a second Pause resumes where the first one stopped.
void EngineMediaControl::togglePause()
{
    if (refuseWhenClosed("Pause"))
        return;
    if (m_state == State::Paused) {
        m_state = State::Playing;
        startPlayer();
        return;
    }
    if (m_state != State::Playing || hasPlayedToEnd()) {
        qCWarning(lcMedia) << "Cannot pause: the song is not playing";
        return;
    }
    m_state = State::Paused;
    if (!m_loadingSamples) {
        m_player->silenceWithFade();
        wakeOutput();
    }
}

// While the song's samples load, the state alone says what happens once they are in.
void EngineMediaControl::startPlayer()
{
    if (m_loadingSamples)
        return;
    m_player->play();
    wakeOutput();
}

void EngineMediaControl::rewindSong()
{
    if (refuseWhenClosed("Prev"))
        return;
    if (!m_loadingSamples) {
        m_player->rewindToStart();
        wakeOutput();
    }
    m_state = State::Stopped;
    m_endSeen = false;
    m_endNotification.stop();
}

bool EngineMediaControl::refuseWhenClosed(const char* command)
{
    if (m_state != State::Closed)
        return false;
    warnOnce(QStringLiteral("Cannot %1 : no song is open").arg(QLatin1String(command)));
    return true;
}

// Play All with no song to be found retries ten times a second: each failure is told once, and
// again only after a song has opened. The repeats stay in the debug log.
void EngineMediaControl::warnOnce(const QString& message)
{
    constexpr qsizetype kFailuresRemembered = 256;
    if (m_failuresTold.contains(message)) {
        qCDebug(lcMedia).noquote() << message;
        return;
    }
    if (m_failuresTold.size() >= kFailuresRemembered)
        m_failuresTold.clear();
    m_failuresTold.insert(message);
    qCWarning(lcMedia).noquote() << message;
}

bool EngineMediaControl::hasPlayedToEnd() const
{
    return m_state == State::Playing && !m_loadingSamples && m_player->atEnd();
}

// The program ends with a fade too. Bounded, as a stalled device must not hang the exit.
void EngineMediaControl::fadeOutAndWait()
{
    m_player->closeSong();
    wakeOutput();
    if (!m_output || !m_output->pullsInRealTime())
        return;
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(200);
    while (m_player->isBusy() && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
}

// Before the loader has connected to the sound server there is nothing to wake: the output
// starts with whatever the commands meanwhile have left the player to play.
void EngineMediaControl::wakeOutput()
{
    if (m_output)
        m_output->wake();
}

// The end wakes the event loop by itself; the notification follows in a later pass, so that a
// loop waiting for the end can read Position == Length before the window's handler rewinds.
void EngineMediaControl::onEndReached()
{
    m_player->acknowledgeEnd();
    if (!hasPlayedToEnd() || m_endSeen)
        return;
    m_endSeen = true;
    qint64 delayMs = m_setup.endNotificationDelayMs;
    if (m_sinceEndNotification.isValid())
        delayMs
            = std::max(delayMs, m_setup.minEndNotificationGapMs - m_sinceEndNotification.elapsed());
    m_endNotification.start(int(delayMs));
}

void EngineMediaControl::notifyEnd()
{
    if (!hasPlayedToEnd())
        return;
    m_sinceEndNotification.start();
    emitStatusUpdate();
}

void EngineMediaControl::tickStatus()
{
    if (m_state == State::Closed)
        return;
    // The end has its own notification; a tick must not run ahead of it.
    if (hasPlayedToEnd() && (!m_endSeen || m_endNotification.isActive()))
        return;
    emitStatusUpdate();
}

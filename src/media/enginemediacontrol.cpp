#include "media/enginemediacontrol.h"

#include "engine/midi/song.h"
#include "engine/output/soundoutput.h"
#include "engine/synth/enginelog.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"
#include "engine/synth/workerthread.h"
#include "media/enginemediacontrolprobe.h"
#include "media/songcache.h"
#include "media/startuploader.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <chrono>

namespace {

// The engine's messages join the media log; the engine never calls this on the audio thread.
void forwardEngineMessage(EngineLog::Level level, const char* message)
{
    if (level == EngineLog::Level::Warning)
        qCWarning(lcMedia).noquote() << QString::fromUtf8(message);
    else
        qCInfo(lcMedia).noquote() << QString::fromUtf8(message);
}

// A synth with the first of the candidates that loads. A SoundFont that does not load must not
// leave the player silent while another one would: each failure is told, then the next is tried.
std::unique_ptr<Synth> loadSynth(const std::vector<std::string>& candidates, double sampleRate)
{
    if (candidates.empty()) {
        qCWarning(lcMedia) << "No SoundFont found; songs play silently";
        return nullptr;
    }
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

} // namespace

EngineSetup::EngineSetup() = default;
EngineSetup::~EngineSetup() = default;
EngineSetup::EngineSetup(EngineSetup&&) noexcept = default;
EngineSetup& EngineSetup::operator=(EngineSetup&&) noexcept = default;

struct EngineMediaControl::Engine {
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<LiveSongPlayer> player = std::make_unique<LiveSongPlayer>();
    std::unique_ptr<Synth> synth;
    bool synthAttached = false; // once, at start-up: the loading below is over
    StartupLoader loader;
    // Loads the samples of each song opened, so that Open never waits for the disk.
    std::unique_ptr<WorkerThread> sampleLoader;
    SongCache songCache;
    std::shared_ptr<const Song> song;
};

const LiveSongPlayer& EngineMediaControlProbe::player(const EngineMediaControl& media)
{
    return *media.m_engine->player;
}

EngineMediaControl::EngineMediaControl(QObject* parent)
    : EngineMediaControl(EngineSetup {}, parent)
{
}

EngineMediaControl::EngineMediaControl(EngineSetup setup, QObject* parent)
    : MediaControl(parent)
    , m_setup(std::move(setup))
    , m_engine(std::make_unique<Engine>())
    , m_endPacing(m_setup.endNotificationDelayMs, m_setup.minEndNotificationGapMs)
{
    m_engine->output = std::move(m_setup.output);
    EngineLog::setHandler(forwardEngineMessage);
    // Otherwise the loader thread connects to the sound server, with the SoundFont: neither is
    // needed to put the window on the screen.
    if (!m_engine->output && (m_setup.withoutSynth || m_setup.loadSynchronously))
        m_engine->output = openSoundOutput();

    m_statusTimer.setInterval(m_setup.statusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &EngineMediaControl::tickStatus);
    m_endNotification.setSingleShot(true);
    m_endNotification.setInterval(m_setup.endNotificationDelayMs);
    connect(&m_endNotification, &QTimer::timeout, this, &EngineMediaControl::notifyEnd);
    if (const int endFd = m_engine->player->endNotifier(); endFd >= 0) {
        m_endNotifier = new QSocketNotifier(endFd, QSocketNotifier::Read, this);
        connect(
            m_endNotifier, &QSocketNotifier::activated, this, &EngineMediaControl::onEndReached);
    }

    if (m_engine->output)
        m_engine->output->start(m_engine->player.get());
    if (m_setup.withoutSynth) {
        attachSynth();
    } else if (m_setup.loadSynchronously) {
        m_engine->synth = loadSynth(soundFontsToTry(), m_engine->output->sampleRate());
        attachSynth();
    } else if (!m_setup.loadWhenAsked) {
        startLoading();
    }
}

EngineMediaControl::~EngineMediaControl()
{
    m_engine->loader.cancel();
    m_engine->sampleLoader.reset();
    fadeOutAndWait();
    if (m_engine->output)
        m_engine->output->stop();
    delete m_endNotifier; // before the player closes the descriptor it watches
    // The renderer goes before the synth it plays through.
    m_engine->player->detachRenderer().reset();
}

bool EngineMediaControl::isSynthReady() const
{
    return m_engine->synthAttached;
}

bool EngineMediaControl::isLoadingSamples() const
{
    return m_state == State::LoadingStopped || m_state == State::LoadingPlaying
        || m_state == State::LoadingPaused;
}

EngineMediaControl::State EngineMediaControl::whileLoading(State state)
{
    switch (state) {
    case State::Stopped:
        return State::LoadingStopped;
    case State::Playing:
    case State::PlayedToEnd:
        return State::LoadingPlaying;
    case State::Paused:
        return State::LoadingPaused;
    default:
        return state;
    }
}

EngineMediaControl::State EngineMediaControl::onceLoaded(State state)
{
    switch (state) {
    case State::LoadingStopped:
        return State::Stopped;
    case State::LoadingPlaying:
        return State::Playing;
    case State::LoadingPaused:
        return State::Paused;
    default:
        return state;
    }
}

bool EngineMediaControl::isAskedToPlay() const
{
    return m_state == State::Playing || m_state == State::LoadingPlaying
        || m_state == State::PlayedToEnd;
}

qint32 EngineMediaControl::length()
{
    return m_state == State::Closed || !m_engine->song ? 0 : m_engine->song->lengthMs();
}

qint32 EngineMediaControl::position()
{
    if (m_notifiedPosition)
        return *m_notifiedPosition;
    return m_state == State::Closed || isLoadingSamples() ? 0 : m_engine->player->positionMs();
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
    if (m_state == State::Paused || m_state == State::LoadingPaused)
        return PlaybackState::Paused;
    if (isAskedToPlay() && !hasPlayedToEnd())
        return PlaybackState::Playing;
    return PlaybackState::Stopped;
}

// The SoundFont takes hundreds of milliseconds to load: the window never waits for it. Commands
// that come meanwhile act on the song; the sound follows once the synth is attached.
void EngineMediaControl::startLoading()
{
    if (m_engine->synthAttached)
        return; // attached at once
    const bool openOutput = !m_engine->output;
    // The loader's thread may be left behind at the end: it gets copies, nothing of this control.
    m_engine->loader.start(
        openOutput ? StartupLoader::OpenOutput(openSoundOutput) : nullptr,
        openOutput ? 0.0 : m_engine->output->sampleRate(),
        [candidates = soundFontsToTry()](
            double sampleRate) { return loadSynth(candidates, sampleRate); },
        [this](StartupLoader::Loaded loaded) {
            if (loaded.output) {
                m_engine->output = std::move(loaded.output);
                m_engine->output->start(m_engine->player.get());
            }
            m_engine->synth = std::move(loaded.synth);
            attachSynth();
        });
}

// The one asked for, else the candidates in their order, then the default General MIDI one.
std::vector<std::string> EngineMediaControl::soundFontsToTry() const
{
    if (!m_setup.soundFont.empty())
        return { m_setup.soundFont };
    std::vector<std::string> candidates = m_setup.soundFontCandidates;
    if (std::string fallback = Synth::findDefaultSoundFont(); !fallback.empty())
        candidates.push_back(fallback);
    return candidates;
}

void EngineMediaControl::attachSynth()
{
    Engine& engine = *m_engine;
    if (engine.synth && !m_setup.loadSynchronously)
        engine.sampleLoader = std::make_unique<WorkerThread>();
    engine.player->attachRenderer(
        std::make_unique<SongRenderer>(engine.synth.get(), engine.output->sampleRate()));
    engine.synthAttached = true;
    if (m_state != State::Closed && engine.sampleLoader)
        startLoadingSamples();
    else if (m_state != State::Closed)
        engine.player->setSong(engine.song, engine.synth.get());
    if (isAskedToPlay())
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
    std::string error;
    std::shared_ptr<const Song> song = m_engine->songCache.read(path, &error);
    if (!song) {
        warnOnce(QStringLiteral("Cannot open %1 : %2").arg(path, QString::fromStdString(error)));
        return;
    }
    m_engine->song = std::move(song);
    m_songPath = path;
    m_failuresTold.clear();
    m_state = State::Stopped;
    m_statusTimer.start();
    if (m_engine->sampleLoader)
        startLoadingSamples();
    else
        m_engine->player->setSong(m_engine->song, m_engine->synth.get());
}

// The song is open at once (Length reads right, a bad file has failed already); the player gets
// it once its samples are in, and then plays it if Play came meanwhile. Until then the player
// keeps the closed song it had, and this control answers for the new one.
void EngineMediaControl::startLoadingSamples()
{
    m_state = whileLoading(m_state);
    const quint64 ticket = ++m_openTicket;
    m_engine->sampleLoader->post(
        [this, ticket, song = m_engine->song, player = m_engine->player.get(),
            synth = m_engine->synth.get()] {
            if (ticket != m_openTicket.load())
                return; // closed meanwhile
            const int released = player->prepareSong(*song, *synth);
            QMetaObject::invokeMethod(
                this, [this, ticket] { finishLoadingSamples(ticket); }, Qt::QueuedConnection);
            if (released > 0)
                Synth::returnFreedMemory();
        });
}

void EngineMediaControl::finishLoadingSamples(quint64 ticket)
{
    if (ticket != m_openTicket.load() || !isLoadingSamples())
        return;
    m_state = onceLoaded(m_state);
    m_engine->player->setSong(m_engine->song, nullptr);
    if (m_state == State::Playing)
        startPlayer();
}

void EngineMediaControl::closeSong()
{
    if (m_state == State::Closed)
        return; // already what was asked
    ++m_openTicket;
    // A song still loading never reached the player, whose own song is closed already.
    if (!isLoadingSamples()) {
        m_engine->player->closeSong();
        wakeOutput();
    }
    m_engine->song.reset();
    m_songPath.clear();
    m_state = State::Closed;
    m_statusTimer.stop();
    m_endNotification.stop();
    m_engine->player->acknowledgeEnd();
}

void EngineMediaControl::playSong()
{
    if (refuseWhenClosed("Play"))
        return;
    if (hasPlayedToEnd()) {
        qCWarning(lcMedia) << "Cannot play: the song has played to its end";
        return;
    }
    m_state = isLoadingSamples() ? State::LoadingPlaying : State::Playing;
    startPlayer();
}

// Pause toggles: a second Pause resumes where the first one stopped.
void EngineMediaControl::togglePause()
{
    if (refuseWhenClosed("Pause"))
        return;
    if (m_state == State::Paused || m_state == State::LoadingPaused) {
        m_state = m_state == State::Paused ? State::Playing : State::LoadingPlaying;
        startPlayer();
        return;
    }
    if (!isAskedToPlay() || hasPlayedToEnd()) {
        qCWarning(lcMedia) << "Cannot pause: the song is not playing";
        return;
    }
    if (isLoadingSamples()) {
        m_state = State::LoadingPaused;
        return;
    }
    m_state = State::Paused;
    m_engine->player->silenceWithFade();
    wakeOutput();
}

// While the song's samples load, the state alone says what happens once they are in.
void EngineMediaControl::startPlayer()
{
    if (isLoadingSamples())
        return;
    m_engine->player->play();
    wakeOutput();
}

void EngineMediaControl::rewindSong()
{
    if (refuseWhenClosed("Prev"))
        return;
    if (isLoadingSamples()) {
        m_state = State::LoadingStopped;
    } else {
        m_engine->player->rewindToStart();
        wakeOutput();
        m_state = State::Stopped;
    }
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
    return (m_state == State::Playing || m_state == State::PlayedToEnd)
        && m_engine->player->atEnd();
}

// The program ends with a fade too. Bounded, as a stalled device must not hang the exit.
void EngineMediaControl::fadeOutAndWait()
{
    m_engine->player->closeSong();
    wakeOutput();
    if (!m_engine->output || !m_engine->output->pullsInRealTime())
        return;
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(200);
    while (m_engine->player->isBusy() && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
}

// Before the loader has connected to the sound server there is nothing to wake: the output
// starts with whatever the commands meanwhile have left the player to play.
void EngineMediaControl::wakeOutput()
{
    if (m_engine->output)
        m_engine->output->wake();
}

// The end wakes the event loop by itself; the notification follows in a later pass, so that a
// loop waiting for the end can read Position == Length before the window's handler rewinds.
void EngineMediaControl::onEndReached()
{
    m_engine->player->acknowledgeEnd();
    if (!hasPlayedToEnd() || m_state == State::PlayedToEnd)
        return;
    m_state = State::PlayedToEnd;
    m_endNotification.start(m_endPacing.delayMs());
}

void EngineMediaControl::notifyEnd()
{
    if (!hasPlayedToEnd())
        return;
    m_endPacing.notified();
    emitStatusUpdate();
}

void EngineMediaControl::tickStatus()
{
    if (m_state == State::Closed)
        return;
    // The end has its own notification; a tick must not run ahead of it.
    if (hasPlayedToEnd() && (m_state != State::PlayedToEnd || m_endNotification.isActive()))
        return;
    emitStatusUpdate();
}

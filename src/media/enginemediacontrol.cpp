#include "media/enginemediacontrol.h"

#include "engine/midi/song.h"
#include "engine/output/soundengine.h"
#include "engine/synth/audiooutput.h"
#include "media/enginemediacontrolprobe.h"
#include "media/silentengine.h"
#include "media/songcache.h"
#include "media/songfollower.h"
#include "media/soundenginesource.h"
#include "media/startuploader.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <chrono>

namespace {

// How long before its end a song's follower is looked for: a sink may hold 2 s, and the follower's
// samples must be in before the end is rendered.
constexpr qint32 kFollowAheadMs = 4000;
// How long the window's commands have, after the end notification, to take over the song that
// followed on; past it the window wants something else, and the follower is cut.
constexpr int kHandOverGraceMs = 500;

// The engine's messages join the media log; the engine never calls this on the audio thread.
void forwardEngineMessage(EngineLog::Level level, const char* message)
{
    if (level == EngineLog::Level::Warning)
        qCWarning(lcMedia).noquote() << QString::fromUtf8(message);
    else
        qCInfo(lcMedia).noquote() << QString::fromUtf8(message);
}

// The engine, playing through output (the sound device when null); nullptr, told once, when there
// is none to be had.
std::unique_ptr<SoundEngine> openEngine(std::unique_ptr<AudioOutput> output)
{
    std::string error;
    std::unique_ptr<SoundEngine> engine = makeSoundEngine(&error);
    if (!engine) {
        qCWarning(lcMedia).noquote()
            << "Cannot load the sound engine:" << QString::fromStdString(error)
            << "; songs play silently";
        return nullptr;
    }
    engine->setLogHandler(forwardEngineMessage);
    if (output)
        engine->useOutput(std::move(output));
    else
        engine->openOutput();
    return engine;
}

// The first of the candidates that loads, else the engine's default one when withDefault. A
// SoundFont that does not load must not leave the player silent while another one would: each
// failure is told, then the next is tried.
void loadSoundFont(SoundEngine& engine, std::vector<std::string> candidates, bool withDefault)
{
    if (withDefault) {
        if (std::string fallback = engine.defaultSoundFont(); !fallback.empty())
            candidates.push_back(fallback);
    }
    if (candidates.empty()) {
        qCWarning(lcMedia) << "No SoundFont found; songs play silently";
        return;
    }
    for (const std::string& path : candidates) {
        std::string error;
        if (engine.loadSoundFont(path, &error))
            return;
        qCWarning(lcMedia).noquote()
            << "Cannot load the SoundFont" << QString::fromStdString(path) << ":"
            << QString::fromStdString(error)
            << (&path == &candidates.back() ? "; songs play silently" : "; trying the next one");
    }
}

} // namespace

EngineSetup::EngineSetup() = default;
EngineSetup::~EngineSetup() = default;
EngineSetup::EngineSetup(EngineSetup&&) noexcept = default;
EngineSetup& EngineSetup::operator=(EngineSetup&&) noexcept = default;

struct EngineMediaControl::Engine {
    // Null until the loader hands it back: until then every open song is loading.
    std::unique_ptr<SoundEngine> sound;
    StartupLoader loader;
    // The samples of each song opened load on the engine's sample loader, so that Open never
    // waits for the disk.
    bool loadsSamplesAside = false;
    SongCache songCache;
    std::shared_ptr<const Song> song;
};

const LiveSongPlayer* EngineMediaControlProbe::player(const EngineMediaControl& media)
{
    return media.m_engine->sound ? media.m_engine->sound->player() : nullptr;
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
    , m_follower(std::make_unique<SongFollower>(
          m_engine->songCache, [this](const QString& fileName) { return pathOf(fileName); }))
{
    m_statusTimer.setInterval(m_setup.statusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &EngineMediaControl::tickStatus);
    m_endNotification.setSingleShot(true);
    m_endNotification.setInterval(m_setup.endNotificationDelayMs);
    connect(&m_endNotification, &QTimer::timeout, this, &EngineMediaControl::notifyEnd);
    connect(m_follower.get(), &SongFollower::handOverTimedOut, this,
        &EngineMediaControl::dropFollowingSong);

    // Otherwise the loader thread loads the engine, connects to the sound server and loads the
    // SoundFont: none of it is needed to put the window on the screen.
    if (m_setup.withoutSynth || m_setup.loadSynchronously) {
        std::unique_ptr<SoundEngine> sound = openEngine(std::move(m_setup.output));
        if (sound && m_setup.loadSynchronously)
            loadSoundFont(*sound, soundFontsToTry(), m_setup.soundFont.empty());
        m_engine->sound = std::move(sound);
        attachEngine();
    } else if (!m_setup.loadWhenAsked) {
        startLoading();
    }
}

EngineMediaControl::~EngineMediaControl()
{
    m_engine->loader.cancel();
    if (m_engine->sound)
        m_engine->sound->shutDown();
    delete m_endNotifier; // before the engine closes the descriptor it watches
}

bool EngineMediaControl::isSynthReady() const
{
    return m_engine->sound != nullptr;
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
    // Rewound by the window while the song that followed on plays unclaimed: at the start.
    if (m_follower->isHandingOver() && m_state == State::Stopped)
        return 0;
    return m_state == State::Closed || isLoadingSamples() ? 0 : m_engine->sound->positionMs();
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
    if (m_engine->sound)
        return; // attached at once
    // The loader's thread may be left behind at the end: it gets copies, nothing of this control.
    auto output = std::make_shared<std::unique_ptr<AudioOutput>>(std::move(m_setup.output));
    m_engine->loader.start([output] { return openEngine(std::move(*output)); },
        [candidates = soundFontsToTry(), withDefault = m_setup.soundFont.empty()](
            SoundEngine& engine) { loadSoundFont(engine, candidates, withDefault); },
        [this](std::unique_ptr<SoundEngine> sound) {
            m_engine->sound = std::move(sound);
            attachEngine();
        });
}

// The one asked for, else the candidates in their order (then the engine's default one).
std::vector<std::string> EngineMediaControl::soundFontsToTry() const
{
    if (!m_setup.soundFont.empty())
        return { m_setup.soundFont };
    return m_setup.soundFontCandidates;
}

// An open song has waited in a loading state for the engine; it goes on from there. Without an
// engine the songs play silently, as they do without a SoundFont: the player stays usable.
void EngineMediaControl::attachEngine()
{
    Engine& engine = *m_engine;
    if (!engine.sound)
        engine.sound = std::make_unique<SilentEngine>();
    engine.sound->start();
    engine.loadsSamplesAside = engine.sound->hasSoundFont() && !m_setup.loadSynchronously;
    m_follower->attach(engine.sound.get(), engine.loadsSamplesAside);
    if (const int endFd = engine.sound->endNotifier(); endFd >= 0) {
        m_endNotifier = new QSocketNotifier(endFd, QSocketNotifier::Read, this);
        connect(
            m_endNotifier, &QSocketNotifier::activated, this, &EngineMediaControl::onEndReached);
    }
    if (m_state != State::Closed && engine.loadsSamplesAside) {
        startLoadingSamples();
    } else if (m_state != State::Closed) {
        engine.sound->setSong(engine.song, true);
        m_state = onceLoaded(m_state);
    }
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
    if (handOverCommand(command))
        return;
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
    const QString path = pathOf(m_fileName);
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
    giveSongToPlayer();
}

void EngineMediaControl::giveSongToPlayer()
{
    if (!m_engine->sound)
        m_state = whileLoading(m_state);
    else if (m_engine->loadsSamplesAside)
        startLoadingSamples();
    else
        m_engine->sound->setSong(m_engine->song, true);
}

QString EngineMediaControl::pathOf(const QString& fileName) const
{
    return m_setup.locateFile ? m_setup.locateFile(fileName)
                              : QFileInfo(fileName).absoluteFilePath();
}

// The song is open at once (Length reads right, a bad file has failed already); the player gets
// it once its samples are in, and then plays it if Play came meanwhile. Until then the player
// keeps the closed song it had, and this control answers for the new one.
void EngineMediaControl::startLoadingSamples()
{
    m_state = whileLoading(m_state);
    const quint64 ticket = ++m_openTicket;
    m_engine->sound->postToSampleLoader(
        [this, ticket, song = m_engine->song, sound = m_engine->sound.get()] {
            if (ticket != m_openTicket.load())
                return; // closed meanwhile
            const int released = sound->prepareSong(*song);
            QMetaObject::invokeMethod(
                this, [this, ticket] { finishLoadingSamples(ticket); }, Qt::QueuedConnection);
            if (released > 0)
                sound->returnFreedMemory();
        });
}

void EngineMediaControl::finishLoadingSamples(quint64 ticket)
{
    if (ticket != m_openTicket.load() || !isLoadingSamples())
        return;
    m_state = onceLoaded(m_state);
    m_engine->sound->setSong(m_engine->song, false);
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
        m_engine->sound->closeSong();
        wakeOutput();
    }
    m_engine->song.reset();
    m_songPath.clear();
    m_state = State::Closed;
    m_statusTimer.stop();
    m_endNotification.stop();
    if (m_engine->sound)
        m_engine->sound->acknowledgeEnd();
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
    m_engine->sound->silenceWithFade();
    wakeOutput();
}

// While the song's samples load, the state alone says what happens once they are in.
void EngineMediaControl::startPlayer()
{
    if (isLoadingSamples())
        return;
    m_engine->sound->play();
    wakeOutput();
    considerFollowingSong();
}

void EngineMediaControl::rewindSong()
{
    if (refuseWhenClosed("Prev"))
        return;
    if (isLoadingSamples()) {
        m_state = State::LoadingStopped;
    } else {
        m_engine->sound->rewindToStart();
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
    return (m_state == State::Playing || m_state == State::PlayedToEnd) && m_engine->sound
        && m_engine->sound->atEnd();
}

// Before the loader has connected to the sound server there is nothing to wake: the output
// starts with whatever the commands meanwhile have left the player to play.
void EngineMediaControl::wakeOutput()
{
    if (m_engine->sound)
        m_engine->sound->wake();
}

// The end wakes the event loop by itself; the notification follows in a later pass, so that a
// loop waiting for the end can read Position == Length before the window's handler rewinds.
void EngineMediaControl::onEndReached()
{
    m_engine->sound->acknowledgeEnd();
    beginHandOverIfDue();
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
    considerFollowingSong();
}

bool EngineMediaControl::hasFollowingSongArmed() const
{
    return m_follower->isArmed();
}

void EngineMediaControl::setFollowingSongGuess(FollowingSongGuess guess)
{
    m_follower->setGuess(std::move(guess));
}

// Near the end of a playing song, the window's guess of what it will start next is loaded and
// armed, so that the sound goes on into it without a break. A guess that changes before the end
// is rendered replaces it; one that changes later is settled at the end (beginHandOverIfDue).
void EngineMediaControl::considerFollowingSong()
{
    if (!m_follower->hasGuess() || !m_engine->sound || m_state != State::Playing
        || m_follower->isHandingOver() || !m_engine->song)
        return;
    if (m_engine->song->lengthMs() - m_engine->sound->positionMs() <= kFollowAheadMs)
        m_follower->follow(m_follower->guessedPath(m_fileName));
}

// The song has been heard to its end and the follower plays on: if the window still means to
// start that file, its commands take it over as it plays; otherwise it is cut at once.
void EngineMediaControl::beginHandOverIfDue()
{
    if (!m_follower->isArmed() || m_follower->isHandingOver() || !hasPlayedToEnd()
        || !m_follower->isStarted())
        return;
    if (m_follower->guessedPath(m_fileName) != m_follower->path())
        dropFollowingSong();
    else
        m_follower->beginHandOver(m_endPacing.delayMs() + kHandOverGraceMs);
}

// While the follower is handed over, the window's Close, Prev, Open of its file and Play change
// only what this control answers: the sound plays on, and Play makes the follower the open song.
// Any other command first drops the follower and then runs as usual. So does any command before
// the end: the window has changed its mind, and a follower still loading is forgotten.
bool EngineMediaControl::handOverCommand(MediaCommand command)
{
    beginHandOverIfDue();
    if (command == MediaCommand::Unknown)
        return false;
    if (!m_follower->isHandingOver()) {
        if (m_follower->isArmed())
            dropFollowingSong();
        else
            m_follower->forget();
        return false;
    }
    switch (command) {
    case MediaCommand::Close:
        m_engine->song.reset();
        m_songPath.clear();
        m_state = State::Closed;
        m_statusTimer.stop();
        m_endNotification.stop();
        return true;
    case MediaCommand::Prev:
        if (m_state == State::Closed)
            return false; // refused as usual
        m_state = State::Stopped;
        m_endNotification.stop();
        return true;
    case MediaCommand::Open:
        if (m_state != State::Closed || pathOf(m_fileName) != m_follower->path())
            break;
        m_engine->song = m_follower->song();
        m_songPath = m_follower->path();
        m_failuresTold.clear();
        m_state = State::Stopped;
        m_statusTimer.start();
        m_follower->markOpened();
        return true;
    case MediaCommand::Play:
        if (m_state != State::Stopped || !m_follower->isOpened())
            break;
        adoptFollowingSong();
        return true;
    default:
        break;
    }
    dropFollowingSong();
    return false;
}

void EngineMediaControl::adoptFollowingSong()
{
    m_follower->adopt();
    m_state = State::Playing;
    // One shorter than the window's wait has been heard to its end already: it plays again from
    // its start, as the Play would have started it.
    if (m_engine->sound->atEnd()) {
        m_engine->sound->rewindToStart();
        m_engine->sound->play();
        wakeOutput();
    }
    considerFollowingSong();
}

// The player goes back to the song that ended, at its end; what the window did meanwhile is then
// done to it.
void EngineMediaControl::dropFollowingSong()
{
    if (!m_follower->isArmed())
        return;
    const bool wasHandingOver = m_follower->isHandingOver();
    const bool opened = m_follower->isOpened();
    m_follower->drop();
    wakeOutput();
    if (!wasHandingOver)
        return;
    if (m_state == State::Closed) {
        m_engine->sound->closeSong();
        wakeOutput();
    } else if (m_state == State::Stopped && opened) {
        giveSongToPlayer();
    } else if (m_state == State::Stopped) {
        m_engine->sound->rewindToStart();
        wakeOutput();
    }
}

#include "media/songfollower.h"

#include "engine/midi/song.h"
#include "engine/output/soundengine.h"
#include "media/songcache.h"

// Each step in a log category of its own, apart from the media log, which is the window's trace
// of commands.
Q_LOGGING_CATEGORY(lcFollowing, "lumora.media.following", QtWarningMsg)

SongFollower::SongFollower(
    SongCache& cache, std::function<QString(const QString&)> locate, QObject* parent)
    : QObject(parent)
    , m_cache(cache)
    , m_locate(std::move(locate))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &SongFollower::handOverTimedOut);
}

void SongFollower::attach(SoundEngine* sound, bool loadsSamplesAside)
{
    m_sound = sound;
    m_loadsSamplesAside = loadsSamplesAside;
}

void SongFollower::setGuess(MediaControl::FollowingSongGuess guess)
{
    m_guess = std::move(guess);
}

QString SongFollower::guessedPath(const QString& deviceFileName) const
{
    const FollowingSong guess = m_guess ? m_guess() : FollowingSong {};
    switch (guess.kind) {
    case FollowingSong::Kind::SameFile:
        return deviceFileName.isEmpty() ? QString() : m_locate(deviceFileName);
    case FollowingSong::Kind::OtherFile:
        return guess.fileName.isEmpty() ? QString() : m_locate(guess.fileName);
    case FollowingSong::Kind::Nothing:
        break;
    }
    return {};
}

bool SongFollower::isStarted() const
{
    return m_sound && m_sound->isFollowingSongStarted();
}

// A file that does not read is left to the window's own Open, which tells why; one whose samples
// cannot be read without a gap in what plays now is left to the window's commands too.
void SongFollower::follow(const QString& path)
{
    if (!m_sound || path == m_path || isStarted())
        return;
    forget();
    std::string error;
    std::shared_ptr<const Song> song = path.isEmpty() ? nullptr : m_cache.read(path, &error);
    if (!song)
        return;
    m_path = path;
    m_song = song;
    const quint64 ticket = m_ticket = ++m_tickets;
    SoundEngine* sound = m_sound;
    if (!m_loadsSamplesAside) {
        if (sound->prepareFollowingSong(*song))
            arm(ticket);
        return;
    }
    sound->postToSampleLoader([this, ticket, song, sound] {
        if (!sound->prepareFollowingSong(*song))
            return;
        QMetaObject::invokeMethod(
            this, [this, ticket] { arm(ticket); }, Qt::QueuedConnection);
    });
}

void SongFollower::arm(quint64 ticket)
{
    if (ticket != m_ticket || m_armed)
        return;
    m_sound->setFollowingSong(m_song);
    m_armed = true;
    qCDebug(lcFollowing).noquote() << "Following song" << m_path << "armed";
}

void SongFollower::forget()
{
    if (m_armed)
        m_sound->setFollowingSong(nullptr);
    reset();
}

void SongFollower::beginHandOver(int graceMs)
{
    qCDebug(lcFollowing) << "Following song plays on; the window takes it over";
    m_handingOver = true;
    m_deadline.start(graceMs);
}

void SongFollower::adopt()
{
    m_sound->adoptFollowingSong();
    qCDebug(lcFollowing) << "Following song taken over at" << m_sound->positionMs() << "ms";
    reset();
}

void SongFollower::drop()
{
    if (!m_armed)
        return;
    qCDebug(lcFollowing) << "Following song dropped";
    m_sound->dropFollowingSong();
    reset();
}

void SongFollower::reset()
{
    m_path.clear();
    m_song.reset();
    m_ticket = 0;
    m_armed = false;
    m_handingOver = false;
    m_opened = false;
    m_deadline.stop();
}

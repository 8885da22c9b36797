#include "app/desktop/mprisplayer.h"

#include "app/captionlabel.h"
#include "media/filenames.h"
#include "media/mediacontrol.h"

#include <QAbstractButton>
#include <QAction>
#include <QDBusObjectPath>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QTimer>

Q_LOGGING_CATEGORY(lcMpris, "lumora.mpris", QtWarningMsg)

namespace {

const QString kSongLabelPrefix = QStringLiteral("Current Song: ");

} // namespace

MprisPlayer::MprisPlayer(QMainWindow* window, MediaControl* media, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_media(media)
{
    m_lastProperties = currentProperties();
    watchWindow();
}

// Everything that changes what the desktop sees goes through a control or the media control's
// notification; a pass of the event loop later the handler has finished and the state is whole.
void MprisPlayer::watchWindow()
{
    connect(m_media, &MediaControl::statusUpdate, this, &MprisPlayer::scheduleRefresh);
    for (QAbstractButton* button : m_window->findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::clicked, this, &MprisPlayer::scheduleRefresh);
    for (QAction* action : m_window->findChildren<QAction*>()) {
        connect(action, &QAction::triggered, this, &MprisPlayer::scheduleRefresh);
        connect(action, &QAction::changed, this, &MprisPlayer::scheduleRefresh);
    }
}

void MprisPlayer::scheduleRefresh()
{
    if (m_refreshScheduled)
        return;
    m_refreshScheduled = true;
    QTimer::singleShot(0, this, &MprisPlayer::refresh);
}

void MprisPlayer::refresh()
{
    m_refreshScheduled = false;
    const QVariantMap now = currentProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_lastProperties.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_lastProperties = now;
    if (!changed.isEmpty())
        emit playerPropertiesChanged(changed);
}

QVariantMap MprisPlayer::currentProperties() const
{
    return { { QStringLiteral("PlaybackStatus"), playbackStatus() },
        { QStringLiteral("LoopStatus"), loopStatus() }, { QStringLiteral("Shuffle"), shuffle() },
        { QStringLiteral("Metadata"), metadata() } };
}

QString MprisPlayer::playbackStatus() const
{
    switch (m_media->playbackState()) {
    case MediaControl::PlaybackState::Playing:
        return QStringLiteral("Playing");
    case MediaControl::PlaybackState::Paused:
        return QStringLiteral("Paused");
    case MediaControl::PlaybackState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString MprisPlayer::loopStatus() const
{
    return isChecked("mitLoop") ? QStringLiteral("Track") : QStringLiteral("None");
}

bool MprisPlayer::shuffle() const
{
    return isChecked("mitplayall");
}

// A song from a menu is named by its catalogue title, which the label shows after its prefix;
// a file opened from outside the menus by its own name.
QString MprisPlayer::title() const
{
    const auto* label
        = m_window ? m_window->findChild<CaptionLabel*>(QStringLiteral("lblname")) : nullptr;
    if (label && label->caption().startsWith(kSongLabelPrefix))
        return label->caption().mid(kSongLabelPrefix.size());
    const QString path = m_media->openFilePath();
    return path.isEmpty() ? QString() : QFileInfo(path).completeBaseName();
}

QVariantMap MprisPlayer::metadata() const
{
    const QString path = m_media->openFilePath();
    if (path.isEmpty()) {
        return { { QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack")) } };
    }
    // One id per file; the D-Bus path alphabet holds no file name, so the id is a hash of it.
    const QString trackId = QStringLiteral("/org/lumora/Lumora/track/%1").arg(qHash(path), 0, 16);
    QVariantMap map { { QStringLiteral("mpris:trackid"),
                          QVariant::fromValue(QDBusObjectPath(trackId)) },
        { QStringLiteral("xesam:url"), FileNames::toUri(path) },
        { QStringLiteral("mpris:length"), qlonglong(m_media->length()) * 1000 } };
    if (const QString name = title(); !name.isEmpty())
        map.insert(QStringLiteral("xesam:title"), name);
    return map;
}

qlonglong MprisPlayer::positionUs() const
{
    return qlonglong(m_media->position()) * 1000;
}

void MprisPlayer::play()
{
    clickButton("cmdPlay");
}

// Pause on the window toggles; here it only ever pauses.
void MprisPlayer::pause()
{
    if (m_media->playbackState() == MediaControl::PlaybackState::Playing)
        clickButton("cmdPause");
}

// A paused song resumes where it was, as Pause pressed again does; a stopped one plays.
void MprisPlayer::playPause()
{
    if (m_media->playbackState() == MediaControl::PlaybackState::Stopped)
        clickButton("cmdPlay");
    else
        clickButton("cmdPause");
}

void MprisPlayer::stop()
{
    clickButton("cmdStop");
}

void MprisPlayer::next()
{
    triggerAction("mitRandom");
}

void MprisPlayer::setLoopStatus(const QString& status)
{
    if (status != QLatin1String("Track") && status != QLatin1String("None")) {
        qCDebug(lcMpris) << "Loop status" << status << "is not offered; ignored";
        return;
    }
    if ((status == QLatin1String("Track")) != isChecked("mitLoop"))
        triggerAction("mitLoop");
}

void MprisPlayer::setShuffle(bool on)
{
    if (on != isChecked("mitplayall"))
        triggerAction("mitplayall");
}

QString MprisPlayer::openUri(const QString& uri)
{
    const QString path = QDir::isAbsolutePath(uri) ? uri : FileNames::fromUri(uri);
    QString why = path.isEmpty() ? QStringLiteral("only local files can be played")
        : !m_window              ? QStringLiteral("the player is closing")
                                 : QString();
    if (why.isEmpty())
        QMetaObject::invokeMethod(m_window, "openAndPlay", Qt::DirectConnection,
            Q_RETURN_ARG(QString, why), Q_ARG(QString, path));
    if (!why.isEmpty())
        qCInfo(lcMpris).noquote() << "Refused" << uri << ":" << why;
    return why;
}

void MprisPlayer::raise()
{
    if (!m_window)
        return;
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void MprisPlayer::clickButton(const char* name)
{
    if (auto* button
        = m_window ? m_window->findChild<QAbstractButton*>(QLatin1String(name)) : nullptr)
        button->click();
}

void MprisPlayer::triggerAction(const char* name)
{
    if (auto* action = m_window ? m_window->findChild<QAction*>(QLatin1String(name)) : nullptr)
        action->trigger();
}

bool MprisPlayer::isChecked(const char* actionName) const
{
    const auto* action
        = m_window ? m_window->findChild<QAction*>(QLatin1String(actionName)) : nullptr;
    return action && action->isChecked();
}

#include "app/desktop/mprisplayeradaptor.h"

#include "app/desktop/mprisplayer.h"
#include "app/desktop/sessionbus.h"
#include "media/filenames.h"

#include <QDBusConnection>

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisPlayer* player)
    : QDBusAbstractAdaptor(player)
    , m_player(player)
{
}

void MprisPlayerAdaptor::later(void (MprisPlayer::*action)())
{
    QMetaObject::invokeMethod(m_player, action, Qt::QueuedConnection);
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_player->playbackStatus();
}

QString MprisPlayerAdaptor::loopStatus() const
{
    return m_player->loopStatus();
}

void MprisPlayerAdaptor::setLoopStatus(const QString& status)
{
    QMetaObject::invokeMethod(
        m_player, [player = m_player, status] { player->setLoopStatus(status); },
        Qt::QueuedConnection);
}

bool MprisPlayerAdaptor::shuffle() const
{
    return m_player->shuffle();
}

void MprisPlayerAdaptor::setShuffle(bool on)
{
    QMetaObject::invokeMethod(
        m_player, [player = m_player, on] { player->setShuffle(on); }, Qt::QueuedConnection);
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_player->metadata();
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_player->positionUs();
}

void MprisPlayerAdaptor::Next()
{
    later(&MprisPlayer::next);
}

void MprisPlayerAdaptor::Pause()
{
    later(&MprisPlayer::pause);
}

void MprisPlayerAdaptor::PlayPause()
{
    later(&MprisPlayer::playPause);
}

void MprisPlayerAdaptor::Stop()
{
    later(&MprisPlayer::stop);
}

void MprisPlayerAdaptor::Play()
{
    later(&MprisPlayer::play);
}

void MprisPlayerAdaptor::OpenUri(const QString& uri, const QDBusMessage& message)
{
    const QString why = m_player->openUri(uri);
    if (why.isEmpty())
        return;
    message.setDelayedReply(true);
    const QString file = FileNames::fromUri(uri);
    QDBusConnection::sessionBus().send(message.createErrorReply(SessionBus::refusalErrorName(),
        QStringLiteral("cannot play %1: %2").arg(file.isEmpty() ? uri : file, why)));
}

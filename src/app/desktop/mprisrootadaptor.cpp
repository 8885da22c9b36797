#include "app/desktop/mprisrootadaptor.h"

#include "app/desktop/mprisplayer.h"

MprisRootAdaptor::MprisRootAdaptor(MprisPlayer* player)
    : QDBusAbstractAdaptor(player)
    , m_player(player)
{
}

void MprisRootAdaptor::Raise()
{
    QMetaObject::invokeMethod(m_player, &MprisPlayer::raise, Qt::QueuedConnection);
}

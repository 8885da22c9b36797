#include "app/sessionbus.h"

#include "app/mprisplayer.h"
#include "app/mprisplayeradaptor.h"
#include "app/mprisrootadaptor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcSessionBus, "lumora.sessionbus")

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.lumora");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

bool connectedBus(QDBusConnection& bus)
{
    if (bus.isConnected())
        return true;
    static bool told = false;
    if (!told)
        qCDebug(lcSessionBus) << "No session bus: the player runs without desktop media controls";
    told = true;
    return false;
}

bool call(const QString& interface, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kObjectPath, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCWarning(lcSessionBus).noquote()
            << "The running player did not take" << method << ":" << reply.errorMessage();
        return false;
    }
    return true;
}

} // namespace

namespace SessionBus {

bool handOverToRunningPlayer(const QString& file)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connectedBus(bus) || !bus.interface()->isServiceRegistered(kService))
        return false;
    if (!file.isEmpty())
        call(kPlayerInterface, QStringLiteral("OpenUri"),
            { QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) });
    call(kRootInterface, QStringLiteral("Raise"));
    return true;
}

bool publish(MprisPlayer* player)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connectedBus(bus))
        return false;
    new MprisRootAdaptor(player);
    new MprisPlayerAdaptor(player);
    if (!bus.registerObject(kObjectPath, player, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcSessionBus).noquote()
            << "Cannot publish the player:" << bus.lastError().message();
        return false;
    }
    const auto registered = bus.interface()->registerService(kService,
        QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (registered.value() != QDBusConnectionInterface::ServiceRegistered) {
        qCWarning(lcSessionBus).noquote() << "Cannot take the name" << kService
                                          << "on the session bus; desktop media controls are off";
        bus.unregisterObject(kObjectPath);
        return false;
    }
    QObject::connect(
        player, &MprisPlayer::playerPropertiesChanged, player, [](const QVariantMap& changed) {
            QDBusMessage signal = QDBusMessage::createSignal(kObjectPath,
                QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"));
            signal.setArguments({ kPlayerInterface, changed, QStringList() });
            QDBusConnection::sessionBus().send(signal);
        });
    return true;
}

} // namespace SessionBus

#include "app/desktop/sessionbus.h"

#include "app/desktop/mprisobject.h"
#include "app/desktop/mprisplayer.h"
#include "app/desktop/mprisplayeradaptor.h"
#include "app/desktop/mprisrootadaptor.h"
#include "media/filenames.h"
#include "media/songfilecheck.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QThread>

#include <cstdio>

Q_LOGGING_CATEGORY(lcSessionBus, "lumora.sessionbus")

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.lumora");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// A player that has taken the name publishes its interfaces once its window is on the screen; on
// a busy machine under a sanitizer that takes seconds.
constexpr int kStartingPlayerWaitMs = 30000;
// A player that does not answer a call within this is stuck.
constexpr int kCallTimeoutMs = 10000;

using Outcome = SessionBus::Arrival::Outcome;

bool connectedBus(QDBusConnection& bus)
{
    if (bus.isConnected())
        return true;
    qCDebug(lcSessionBus) << "No session bus: the player runs without desktop media controls";
    return false;
}

enum class Claim { Taken, HeldByAnother, Failed };

Claim requestName(QDBusConnection& bus)
{
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("RequestName"));
    constexpr uint kDoNotQueue = 4;
    request.setArguments({ kService, kDoNotQueue });
    const QDBusMessage reply = bus.call(request, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcSessionBus).noquote()
            << "Cannot take the name" << kService << ":" << reply.errorMessage();
        return Claim::Failed;
    }
    constexpr uint kPrimaryOwner = 1, kAlreadyOwner = 4;
    const uint answer = reply.arguments().first().toUInt();
    return answer == kPrimaryOwner || answer == kAlreadyOwner ? Claim::Taken : Claim::HeldByAnother;
}

QDBusMessage call(QDBusConnection& bus, const QString& interface, const QString& method,
    const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kObjectPath, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

// The holder has the name but has not published its interfaces yet: it is still starting.
bool isStillStarting(const QDBusMessage& reply)
{
    static const QStringList starting { QDBusError::errorString(QDBusError::UnknownObject),
        QDBusError::errorString(QDBusError::UnknownInterface),
        QDBusError::errorString(QDBusError::UnknownMethod) };
    return starting.contains(reply.errorName());
}

bool isGone(const QDBusMessage& reply)
{
    return reply.errorName() == QDBusError::errorString(QDBusError::ServiceUnknown)
        || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

namespace SessionBus {

QString refusalErrorName()
{
    return QDBusError::errorString(QDBusError::InvalidArgs);
}

Arrival takeNameOrHandOver(const QString& file, bool handOver)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connectedBus(bus))
        return { Outcome::NoBus, {} };
    const QDeadlineTimer deadline(kStartingPlayerWaitMs);
    for (;;) {
        switch (requestName(bus)) {
        case Claim::Taken:
            return { Outcome::NameTaken, {} };
        case Claim::Failed:
            return { Outcome::NoBus, {} };
        case Claim::HeldByAnother:
            if (!handOver)
                return { Outcome::HeldByAnother, {} };
            break;
        }
        const QDBusMessage reply = file.isEmpty()
            ? call(bus, kRootInterface, QStringLiteral("Raise"))
            : call(bus, kPlayerInterface, QStringLiteral("OpenUri"), { FileNames::toUri(file) });
        if (reply.type() == QDBusMessage::ReplyMessage) {
            if (!file.isEmpty())
                call(bus, kRootInterface, QStringLiteral("Raise"));
            return { Outcome::HandedOver, {} };
        }
        if (isGone(reply) || isStillStarting(reply)) {
            if (deadline.hasExpired())
                return { Outcome::NoAnswer, reply.errorMessage() };
            QThread::msleep(50); // gone: the name is free to take; starting: it will answer
            continue;
        }
        if (reply.errorName() == refusalErrorName())
            return { Outcome::Refused, reply.errorMessage() };
        return { Outcome::NoAnswer, reply.errorMessage() };
    }
}

std::future<Start> arriveInBackground(const QString& file)
{
    return arriveInBackground(file, SongFileCheck::whyUnplayable, takeNameOrHandOver);
}

std::future<Start> arriveInBackground(const QString& file, FileCheck check, NameRequest request)
{
    return std::async(
        std::launch::async, [file, check = std::move(check), request = std::move(request)] {
            Start start;
            if (!file.isEmpty())
                start.whyUnplayable = check(file);
            const bool refused = !start.whyUnplayable.isEmpty();
            start.arrival = request(refused ? QString() : file, !refused);
            return start;
        });
}

std::optional<int> exitStatus(const Arrival& arrival, bool soundFontGiven, bool fileRefused)
{
    switch (arrival.outcome) {
    case Outcome::HandedOver:
        if (soundFontGiven)
            std::fprintf(
                stderr, "lumora: --soundfont is ignored: the running player keeps its own\n");
        return 0;
    case Outcome::Refused:
        std::fprintf(stderr, "lumora: %s\n", qPrintable(arrival.why));
        return 1;
    case Outcome::HeldByAnother:
        return fileRefused ? std::optional(1) : std::nullopt;
    case Outcome::NoAnswer:
        std::fprintf(stderr, "lumora: the running player does not answer; starting another\n");
        return std::nullopt;
    case Outcome::NameTaken:
    case Outcome::NoBus:
        break;
    }
    return std::nullopt;
}

bool publish(MprisPlayer* player)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connectedBus(bus))
        return false;
    auto* object
        = new MprisObject({ new MprisRootAdaptor(player), new MprisPlayerAdaptor(player) }, player);
    if (!bus.registerVirtualObject(kObjectPath, object)) {
        qCWarning(lcSessionBus).noquote()
            << "Cannot publish the player:" << bus.lastError().message();
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

#pragma once

#include <QDBusVirtualObject>
#include <QList>

// The player's object on the bus, /org/mpris/MediaPlayer2, serving the interfaces of its adaptors
// (QObjects whose "D-Bus Interface" class info names the interface: their public slots are the
// methods, their properties the properties). It answers the properties itself, as the toolkit's
// own export would, but checks the type of every value written: the toolkit converts whatever
// comes, so that Shuffle written as the string "no" would read as true. A value of the wrong type
// is refused with InvalidArgs and changes nothing; a property without a setter is read-only.
class MprisObject : public QDBusVirtualObject {
    Q_OBJECT

public:
    explicit MprisObject(QList<QObject*> interfaces, QObject* parent = nullptr);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The answer to one call, without sending it: what handleMessage sends. Public for tests.
    QDBusMessage answer(const QDBusMessage& message) const;

private:
    QObject* interfaceObject(const QString& interface) const;
    QDBusMessage answerProperties(const QDBusMessage& message) const;
    QDBusMessage setProperty(const QDBusMessage& message, QObject* object, const QString& name,
        const QVariant& value) const;
    QDBusMessage callMethod(const QDBusMessage& message) const;

    QList<QObject*> m_interfaces;
};

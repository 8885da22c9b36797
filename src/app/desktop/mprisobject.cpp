#include "app/desktop/mprisobject.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QMetaMethod>
#include <QMetaProperty>

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectionHead = QStringLiteral(
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    "\"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\"><arg name=\"xml\" type=\"s\" direction=\"out\"/></method>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
    "    <method name=\"Get\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"name\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"value\" type=\"v\" direction=\"out\"/></method>\n"
    "    <method name=\"GetAll\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"values\" type=\"a{sv}\" direction=\"out\"/></method>\n"
    "    <method name=\"Set\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"name\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"value\" type=\"v\" direction=\"in\"/></method>\n"
    "    <signal name=\"PropertiesChanged\"><arg name=\"interface\" type=\"s\"/>"
    "<arg name=\"changed\" type=\"a{sv}\"/><arg name=\"invalidated\" type=\"as\"/></signal>\n"
    "  </interface>\n");

QString interfaceName(const QObject* object)
{
    const QMetaObject* meta = object->metaObject();
    return QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("D-Bus Interface")).value());
}

bool takesMessage(const QMetaMethod& method)
{
    const int count = method.parameterCount();
    return count > 0 && method.parameterMetaType(count - 1) == QMetaType::fromType<QDBusMessage>();
}

// The D-Bus signature of the method's arguments, the call's message left out.
QString signatureOf(const QMetaMethod& method)
{
    QString signature;
    const int count = method.parameterCount() - (takesMessage(method) ? 1 : 0);
    for (int i = 0; i < count; ++i)
        signature += QLatin1String(QDBusMetaType::typeToSignature(method.parameterMetaType(i)));
    return signature;
}

// The D-Bus signature of a call's arguments, from their types: a call made here, not yet sent,
// has none of its own.
QString signatureOf(const QVariantList& arguments)
{
    QString signature;
    for (const QVariant& argument : arguments) {
        const char* type = QDBusMetaType::typeToSignature(argument.metaType());
        signature += type ? QLatin1String(type) : QLatin1String("?");
    }
    return signature;
}

bool isExported(const QMetaMethod& method)
{
    return method.access() == QMetaMethod::Public
        && (method.methodType() == QMetaMethod::Slot || method.methodType() == QMetaMethod::Signal);
}

QString typeName(const char* signature)
{
    static const QHash<QByteArray, QString> names { { "b", QStringLiteral("a boolean") },
        { "s", QStringLiteral("a string") }, { "d", QStringLiteral("a double") },
        { "x", QStringLiteral("a 64-bit integer") } };
    return names.value(signature, QStringLiteral("of type %1").arg(QLatin1String(signature)));
}

QVariantMap readableProperties(const QObject* object)
{
    QVariantMap values;
    const QMetaObject* meta = object->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        values.insert(
            QString::fromLatin1(meta->property(i).name()), meta->property(i).read(object));
    return values;
}

} // namespace

MprisObject::MprisObject(QList<QObject*> interfaces, QObject* parent)
    : QDBusVirtualObject(parent)
    , m_interfaces(std::move(interfaces))
{
}

QObject* MprisObject::interfaceObject(const QString& interface) const
{
    for (QObject* object : m_interfaces) {
        if (interfaceName(object) == interface)
            return object;
    }
    return nullptr;
}

QString MprisObject::introspect(const QString&) const
{
    QString xml;
    for (const QObject* object : m_interfaces) {
        const QMetaObject* meta = object->metaObject();
        xml += QStringLiteral("  <interface name=\"%1\">\n").arg(interfaceName(object));
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            xml += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"%3\"/>\n")
                       .arg(QLatin1String(property.name()),
                           QLatin1String(QDBusMetaType::typeToSignature(property.metaType())),
                           property.isWritable() ? QStringLiteral("readwrite")
                                                 : QStringLiteral("read"));
        }
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (!isExported(method))
                continue;
            const bool isSignal = method.methodType() == QMetaMethod::Signal;
            const char* tag = isSignal ? "signal" : "method";
            xml += QStringLiteral("    <%1 name=\"%2\">\n").arg(QLatin1String(tag), method.name());
            const int count = method.parameterCount() - (takesMessage(method) ? 1 : 0);
            for (int p = 0; p < count; ++p) {
                xml += QStringLiteral("      <arg name=\"%1\" type=\"%2\"%3/>\n")
                           .arg(QString::fromLatin1(method.parameterNames().value(p)),
                               QLatin1String(
                                   QDBusMetaType::typeToSignature(method.parameterMetaType(p))),
                               isSignal ? QString() : QStringLiteral(" direction=\"in\""));
            }
            xml += QStringLiteral("    </%1>\n").arg(QLatin1String(tag));
        }
        xml += QStringLiteral("  </interface>\n");
    }
    return xml;
}

bool MprisObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QDBusMessage reply = answer(message);
    if (!message.isDelayedReply())
        QDBusConnection(connection).send(reply);
    return true;
}

QDBusMessage MprisObject::answer(const QDBusMessage& message) const
{
    if (message.interface() == kProperties)
        return answerProperties(message);
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Introspectable")
        && message.member() == QLatin1String("Introspect")) {
        return message.createReply(
            kIntrospectionHead + introspect(message.path()) + QStringLiteral("</node>\n"));
    }
    return callMethod(message);
}

QDBusMessage MprisObject::answerProperties(const QDBusMessage& message) const
{
    const QVariantList arguments = message.arguments();
    QObject* object = interfaceObject(arguments.value(0).toString());
    if (!object) {
        return message.createErrorReply(QDBusError::UnknownInterface,
            QStringLiteral("No interface %1 here").arg(arguments.value(0).toString()));
    }
    if (message.member() == QLatin1String("GetAll") && signatureOf(arguments) == QLatin1String("s"))
        return message.createReply(readableProperties(object));
    const QString name = arguments.value(1).toString();
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    if (index < meta->propertyOffset()) {
        return message.createErrorReply(QDBusError::UnknownProperty,
            QStringLiteral("No property %1 in %2").arg(name, arguments.value(0).toString()));
    }
    if (message.member() == QLatin1String("Get") && signatureOf(arguments) == QLatin1String("ss")) {
        return message.createReply(
            QVariant::fromValue(QDBusVariant(meta->property(index).read(object))));
    }
    if (message.member() == QLatin1String("Set") && signatureOf(arguments) == QLatin1String("ssv"))
        return setProperty(
            message, object, name, arguments.value(2).value<QDBusVariant>().variant());
    return message.createErrorReply(QDBusError::UnknownMethod,
        QStringLiteral("No method %1(%2) in %3")
            .arg(message.member(), signatureOf(arguments), kProperties));
}

QDBusMessage MprisObject::setProperty(
    const QDBusMessage& message, QObject* object, const QString& name, const QVariant& value) const
{
    const QMetaProperty property
        = object->metaObject()->property(object->metaObject()->indexOfProperty(name.toLatin1()));
    if (!property.isWritable()) {
        return message.createErrorReply(
            QDBusError::PropertyReadOnly, QStringLiteral("%1 is read-only").arg(name));
    }
    if (value.metaType() != property.metaType()) {
        const char* expected = QDBusMetaType::typeToSignature(property.metaType());
        const char* given = value.metaType().isValid()
            ? QDBusMetaType::typeToSignature(value.metaType())
            : nullptr;
        return message.createErrorReply(QDBusError::InvalidArgs,
            QStringLiteral("%1 takes %2, not %3")
                .arg(name, typeName(expected), given ? typeName(given) : QStringLiteral("this")));
    }
    property.write(object, value);
    return message.createReply();
}

QDBusMessage MprisObject::callMethod(const QDBusMessage& message) const
{
    for (QObject* object : m_interfaces) {
        if (!message.interface().isEmpty() && interfaceName(object) != message.interface())
            continue;
        const QMetaObject* meta = object->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Slot || !isExported(method)
                || method.name() != message.member().toLatin1()
                || signatureOf(method) != signatureOf(message.arguments()))
                continue;
            // The arguments' types are the signature's, so each one is passed as it came.
            QVariantList arguments = message.arguments();
            if (takesMessage(method))
                arguments << QVariant::fromValue(message);
            QGenericArgument passed[10];
            for (qsizetype a = 0; a < arguments.size() && a < 10; ++a)
                passed[a] = QGenericArgument(arguments[a].typeName(), arguments[a].constData());
            method.invoke(object, Qt::DirectConnection, passed[0], passed[1], passed[2], passed[3],
                passed[4], passed[5], passed[6], passed[7], passed[8], passed[9]);
            return message.createReply();
        }
    }
    return message.createErrorReply(QDBusError::UnknownMethod,
        QStringLiteral("No method %1(%2) in %3")
            .arg(message.member(), signatureOf(message.arguments()), message.interface()));
}

#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcMedia)

// The window's multimedia device: it holds one song file at a time, is driven by command strings
// and reports its progress through a periodic statusUpdate. Handlers never look at a command's
// outcome; a command that cannot be carried out leaves the device as it was.
//
// Every write is logged once here, in "lumora.media", so that the real device and the test double
// leave the same trace.
class MediaControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void setFileName(const QString& name);
    void setCommand(const QString& command);
    void setTimeFormat(qint32 format);

    // Both read 0 while nothing is open.
    virtual qint32 length() = 0;
    virtual qint32 position() = 0;

signals:
    void statusUpdate();

protected:
    virtual void applyFileName(const QString& name) = 0;
    virtual void runCommand(const QString& command) = 0;
    virtual void applyTimeFormat(qint32 format) = 0;
};

#include "playback/mediacontrol.h"

Q_LOGGING_CATEGORY(lcMedia, "lumora.media", QtWarningMsg)

void MediaControl::setFileName(const QString& name)
{
    qCDebug(lcMedia).noquote() << "FileName" << name;
    applyFileName(name);
}

void MediaControl::setCommand(const QString& command)
{
    qCDebug(lcMedia).noquote() << "Command" << command;
    runCommand(command);
}

void MediaControl::setTimeFormat(qint32 format)
{
    qCDebug(lcMedia).noquote() << "TimeFormat" << format;
    applyTimeFormat(format);
}

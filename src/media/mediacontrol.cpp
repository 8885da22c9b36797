#include "media/mediacontrol.h"

Q_LOGGING_CATEGORY(lcMedia, "lumora.media", QtWarningMsg)

void MediaControl::setFileName(const QString& name)
{
    qCDebug(lcMedia).noquote() << "FileName" << name;
    applyFileName(name);
}

void MediaControl::setCommand(const QString& command)
{
    qCDebug(lcMedia).noquote() << "Command" << command;
    const MediaCommand parsed = parseCommand(command);
    if (parsed == MediaCommand::Unknown)
        qCWarning(lcMedia).noquote() << "Unknown command" << command << "ignored";
    runCommand(parsed, command);
}

void MediaControl::setTimeFormat(qint32 format)
{
    qCDebug(lcMedia).noquote() << "TimeFormat" << format;
    applyTimeFormat(format);
}

void MediaControl::open(OpenSpelling spelling)
{
    setCommand(
        spelling == OpenSpelling::FileDialog ? QStringLiteral("open") : QStringLiteral("Open"));
}

void MediaControl::close()
{
    setCommand(QStringLiteral("Close"));
}

void MediaControl::play()
{
    setCommand(QStringLiteral("Play"));
}

void MediaControl::pause()
{
    setCommand(QStringLiteral("Pause"));
}

void MediaControl::rewind()
{
    setCommand(QStringLiteral("Prev"));
}

MediaCommand MediaControl::parseCommand(const QString& command)
{
    if (command == QLatin1String("Open") || command == QLatin1String("open"))
        return MediaCommand::Open;
    if (command == QLatin1String("Close"))
        return MediaCommand::Close;
    if (command == QLatin1String("Play"))
        return MediaCommand::Play;
    if (command == QLatin1String("Pause"))
        return MediaCommand::Pause;
    if (command == QLatin1String("Prev"))
        return MediaCommand::Prev;
    return MediaCommand::Unknown;
}

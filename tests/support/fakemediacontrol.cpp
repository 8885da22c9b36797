#include "fakemediacontrol.h"

qint32 FakeMediaControl::length()
{
    if (recordReads)
        operations << QStringLiteral("Length");
    return m_length;
}

qint32 FakeMediaControl::position()
{
    if (recordReads)
        operations << QStringLiteral("Position");
    return m_position;
}

QStringList FakeMediaControl::takeOperations()
{
    QStringList taken;
    taken.swap(operations);
    return taken;
}

void FakeMediaControl::applyFileName(const QString& name)
{
    operations << QStringLiteral("FileName ") + name;
    m_fileName = name;
}

void FakeMediaControl::applyTimeFormat(qint32 format)
{
    operations << QStringLiteral("TimeFormat %1").arg(format);
}

void FakeMediaControl::runCommand(MediaCommand command, const QString& text)
{
    operations << QStringLiteral("Command ") + text;
    switch (command) {
    case MediaCommand::Close:
        m_open = m_playing = false;
        m_length = m_position = 0;
        break;
    case MediaCommand::Open:
        if (m_open || m_fileName.isEmpty() || unopenable.contains(m_fileName))
            return;
        m_open = true;
        m_length = songLength;
        m_position = 0;
        break;
    case MediaCommand::Play:
        m_playing = m_open;
        break;
    case MediaCommand::Pause:
        m_playing = false;
        break;
    case MediaCommand::Prev:
        m_playing = false;
        m_position = 0;
        break;
    case MediaCommand::Unknown:
        break;
    }
}

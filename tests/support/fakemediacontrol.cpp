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

MediaControl::PlaybackState FakeMediaControl::playbackState()
{
    if (m_paused)
        return PlaybackState::Paused;
    return m_playing ? PlaybackState::Playing : PlaybackState::Stopped;
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

void FakeMediaControl::runCommand(const QString& command)
{
    operations << QStringLiteral("Command ") + command;
    if (command == QLatin1String("Close")) {
        m_open = m_playing = m_paused = false;
        m_length = m_position = 0;
    } else if (command == QLatin1String("Open") || command == QLatin1String("open")) {
        if (m_open || m_fileName.isEmpty() || unopenable.contains(m_fileName))
            return;
        m_open = true;
        m_length = songLength;
        m_position = 0;
    } else if (command == QLatin1String("Play")) {
        m_playing = m_open;
        m_paused = false;
    } else if (command == QLatin1String("Pause")) {
        // Pause toggles, as the device's does: a second Pause resumes.
        const bool wasPlaying = m_playing;
        m_playing = m_paused;
        m_paused = wasPlaying;
    } else if (command == QLatin1String("Prev")) {
        m_playing = m_paused = false;
        m_position = 0;
    }
}

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

void FakeMediaControl::runCommand(MediaCommand command, const QString& text)
{
    operations << QStringLiteral("Command ") + text;
    switch (command) {
    case MediaCommand::Close:
        m_open = m_playing = m_paused = false;
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
        m_paused = false;
        break;
    case MediaCommand::Pause: {
        // Pause toggles, as the device's does: a second Pause resumes.
        const bool wasPlaying = m_playing;
        m_playing = m_paused;
        m_paused = wasPlaying;
        break;
    }
    case MediaCommand::Prev:
        m_playing = m_paused = false;
        m_position = 0;
        break;
    case MediaCommand::Unknown:
        break;
    }
}

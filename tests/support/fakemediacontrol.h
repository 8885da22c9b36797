#pragma once

#include "media/mediacontrol.h"

#include <QStringList>

// A media control that records every operation in one ordered list ("Command Close",
// "FileName k58belfr.mid", "TimeFormat 0", and with recordReads on, "Length" and "Position") and
// models just enough of a device for loops to make progress: an open song has songLength ms and
// sits at its start; a closed device reads 0 and 0.
class FakeMediaControl : public MediaControl {
    Q_OBJECT

public:
    using MediaControl::MediaControl;

    QStringList operations;
    bool recordReads = false;
    qint32 songLength = 60000; // what an Open of a named file gives
    QStringList unopenable; // file names whose Open fails
    FollowingSongGuess followingSongGuess; // what the window handed over

    void setFollowingSongGuess(FollowingSongGuess guess) override
    {
        followingSongGuess = std::move(guess);
    }

    qint32 length() override;
    qint32 position() override;
    PlaybackState playbackState() override;
    QString openFilePath() const override { return m_open ? m_fileName : QString(); }

    // Drive methods.
    void setLength(qint32 ms) { m_length = ms; }
    void setPosition(qint32 ms) { m_position = ms; }
    void reachEnd() { m_position = m_length; }
    void raiseStatusUpdate() { emit statusUpdate(); }

    QString fileName() const { return m_fileName; }
    bool isOpen() const { return m_open; }
    bool isPlaying() const { return m_playing; }
    QStringList takeOperations();

protected:
    void applyFileName(const QString& name) override;
    void runCommand(MediaCommand command, const QString& text) override;
    void applyTimeFormat(qint32 format) override;

private:
    QString m_fileName;
    bool m_open = false;
    bool m_playing = false;
    bool m_paused = false;
    qint32 m_length = 0;
    qint32 m_position = 0;
};

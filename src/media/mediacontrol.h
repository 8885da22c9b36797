#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcMedia)

// The commands the device knows. Prev rewinds; Unknown is any other string, which is logged and
// changes nothing.
enum class MediaCommand { Open, Close, Play, Pause, Prev, Unknown };

// The device takes "Open" and "open" alike, but the log keeps the letter case it was sent in:
// the song menus' Play sends the first, File > Open the second.
enum class OpenSpelling { Capitalised, FileDialog };

// The window's multimedia device: it holds one song file at a time, is driven by commands and
// reports its progress through a periodic statusUpdate. Handlers never look at a command's
// outcome; a command that cannot be carried out leaves the device as it was.
//
// Every write is logged once here, in "lumora.media", and every command string is parsed once
// here, so that the real device and the test double leave the same trace and act on the same
// enum.
class MediaControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void setFileName(const QString& name);
    void setCommand(const QString& command);
    void setTimeFormat(qint32 format);

    // The typed commands: each one sends its command string through setCommand.
    void open(OpenSpelling spelling = OpenSpelling::Capitalised);
    void close();
    void play();
    void pause(); // toggles: a second Pause resumes
    void rewind(); // "Prev": stopped at the start

    static MediaCommand parseCommand(const QString& command);

    // Both read 0 while nothing is open.
    virtual qint32 length() = 0;
    virtual qint32 position() = 0;

    // Read-only views for the desktop's media controls; the window itself never asks. A song
    // that has played to its end counts as stopped.
    enum class PlaybackState { Stopped, Playing, Paused };
    virtual PlaybackState playbackState() = 0;
    // The full path of the song that is open; empty while nothing is.
    virtual QString openFilePath() const = 0;

signals:
    void statusUpdate();

protected:
    virtual void applyFileName(const QString& name) = 0;
    // text is the command as it was sent; Unknown commands arrive too, already logged.
    virtual void runCommand(MediaCommand command, const QString& text) = 0;
    virtual void applyTimeFormat(qint32 format) = 0;
};

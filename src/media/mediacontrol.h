#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcMedia)

// The commands the device knows. Prev rewinds; Unknown is any other string, which is logged and
// changes nothing.
enum class MediaCommand { Open, Close, Play, Pause, Prev, Unknown };

// The device takes "Open" and "open" alike, but the log keeps the letter case it was sent in:
// the song menus' Play sends the first, File > Open the second.
enum class OpenSpelling { Capitalised, FileDialog };

// What the window will start when the open song has played to its end, if nothing changes
// meanwhile: nothing, the same file again (Loop), or another file (Play All's next pick).
struct FollowingSong {
    enum class Kind { Nothing, SameFile, OtherFile };
    Kind kind = Kind::Nothing;
    QString fileName; // for OtherFile, as the window will set it
};

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

    // Asked near the end of a song, and again when it ends: a device that knows the answer early
    // can go on into that song without a break, and the window's commands at the end then find it
    // playing already. A device that cannot do so ignores it.
    using FollowingSongGuess = std::function<FollowingSong()>;
    virtual void setFollowingSongGuess(FollowingSongGuess) { }

signals:
    void statusUpdate();

protected:
    virtual void applyFileName(const QString& name) = 0;
    // text is the command as it was sent; Unknown commands arrive too, already logged.
    virtual void runCommand(MediaCommand command, const QString& text) = 0;
    virtual void applyTimeFormat(qint32 format) = 0;
};

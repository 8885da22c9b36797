#pragma once

#include "media/mediacontrol.h"

#include "media/endnotificationpacing.h"

#include <QSet>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class AudioOutput; // the engine's, for tests that play on a clock of their own
class QSocketNotifier;
class SongFollower;

// How the media control is put together. The defaults are the program's: the sound device, the
// default SoundFont loaded in the background.
struct EngineSetup {
    EngineSetup();
    ~EngineSetup();
    EngineSetup(EngineSetup&&) noexcept;
    EngineSetup& operator=(EngineSetup&&) noexcept;

    std::unique_ptr<AudioOutput> output; // null: the sound device, or silence without one
    std::string soundFont; // empty: the candidates below, then the default General MIDI one
    // Tried in order when no soundFont is given; one that does not load is skipped with a warning.
    std::vector<std::string> soundFontCandidates;
    // Where a file name is found: the working directory unless told otherwise.
    std::function<QString(const QString& fileName)> locateFile;
    bool withoutSynth = false; // timeline only, silent: no SoundFont at all
    // The SoundFont is ready when the constructor returns, and a song's samples when Open returns.
    bool loadSynchronously = false;
    // The background loading (sound server, then SoundFont) waits for startLoading(): a program
    // puts its window on the screen first, as the loading competes with it for the processor.
    bool loadWhenAsked = false;
    int statusIntervalMs = 250;
    int endNotificationDelayMs = 1;
    // End notifications come at most this often: an empty song with Loop on would otherwise
    // restart at the rate of the audio periods and keep the processor busy.
    int minEndNotificationGapMs = 250;
};

// The live media control: plays the open song through the synth on the sound device. The window
// drives it with command strings; it reports progress by statusUpdate every statusIntervalMs
// while a song is open, and once more shortly after a song has played to its end.
class EngineMediaControl : public MediaControl {
    Q_OBJECT

public:
    explicit EngineMediaControl(QObject* parent = nullptr);
    explicit EngineMediaControl(EngineSetup setup, QObject* parent = nullptr);
    ~EngineMediaControl() override;

    qint32 length() override;
    qint32 position() override;
    PlaybackState playbackState() override;
    QString openFilePath() const override { return m_songPath; }
    void setFollowingSongGuess(FollowingSongGuess guess) override;

    QString fileName() const { return m_fileName; }
    qint32 timeFormat() const { return m_timeFormat; }
    bool isOpen() const { return m_state != State::Closed; }
    bool isSynthReady() const;
    // Starts the background loading held back by loadWhenAsked; does nothing after the first call.
    void startLoading();
    // Open has returned but the song's samples (or the engine) are still loading: Play waits.
    bool isLoadingSamples() const;
    bool isStatusTimerActive() const { return m_statusTimer.isActive(); }

    // What the status timer runs on each tick; public so that tests can drive it by hand.
    void tickStatus();
    // The song that follows the open one without a break is loaded and handed to the engine.
    bool hasFollowingSongArmed() const;

signals:
    void synthReady();

protected:
    void applyFileName(const QString& name) override;
    void runCommand(MediaCommand command, const QString& text) override;
    void applyTimeFormat(qint32 format) override;

private:
    friend struct EngineMediaControlProbe;

    // What the window asked for, and whether the song's samples (or the engine, at start-up) are
    // still loading: until they are in, the player keeps the closed song it had and this control
    // answers for the new one.
    enum class State {
        Closed,
        Stopped,
        Playing,
        Paused,
        PlayedToEnd, // heard to its end; the end is notified, or about to be
        LoadingStopped,
        LoadingPlaying,
        LoadingPaused,
    };
    static State whileLoading(State state);
    static State onceLoaded(State state);
    bool isAskedToPlay() const;

    struct Engine; // the engine's parts this control plays through
    std::vector<std::string> soundFontsToTry() const;
    void attachEngine(); // the one handed over, or a silent one

    void openSong();
    void startLoadingSamples();
    void finishLoadingSamples(quint64 ticket);
    void closeSong();
    void playSong();
    void startPlayer();
    void togglePause();
    void rewindSong();
    bool refuseWhenClosed(const char* command);
    void warnOnce(const QString& message);
    bool hasPlayedToEnd() const;
    void wakeOutput();
    void onEndReached();
    void notifyEnd();
    void emitStatusUpdate();

    QString pathOf(const QString& fileName) const;
    void giveSongToPlayer();
    // The song that follows without a break (songfollower.h): at the end the window's Close,
    // Open and Play of that same file take it over as it plays.
    void considerFollowingSong();
    void beginHandOverIfDue();
    bool handOverCommand(MediaCommand command);
    void adoptFollowingSong();
    void dropFollowingSong();

    EngineSetup m_setup;
    std::unique_ptr<Engine> m_engine;
    // Counts Opens and Closes: a load of samples finished for an earlier one is dropped.
    std::atomic<quint64> m_openTicket { 0 };

    QString m_fileName;
    qint32 m_timeFormat = 0;
    State m_state = State::Closed;
    QString m_songPath;

    QTimer m_statusTimer;
    QTimer m_endNotification;
    EndNotificationPacing m_endPacing;
    QSocketNotifier* m_endNotifier = nullptr;
    std::optional<qint32> m_notifiedPosition; // while a notification's handlers run
    // Failures told since the last song opened: a retry fails the same way and is not told again.
    QSet<QString> m_failuresTold;

    std::unique_ptr<SongFollower> m_follower;
};

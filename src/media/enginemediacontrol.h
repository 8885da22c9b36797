#pragma once

#include "media/mediacontrol.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class AudioOutput;
class LiveSongPlayer;
class WorkerThread;
class QSocketNotifier;
class Song;
class Synth;

// How the media control is put together. The defaults are the program's: the sound device, the
// default SoundFont loaded in the background.
struct EngineSetup {
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

    QString fileName() const { return m_fileName; }
    qint32 timeFormat() const { return m_timeFormat; }
    bool isOpen() const { return m_state != State::Closed; }
    bool isSynthReady() const;
    // Starts the background loading held back by loadWhenAsked; does nothing after the first call.
    void startLoading();
    // Open has returned but the song's samples are still loading: Play waits for them.
    bool isLoadingSamples() const { return m_loadingSamples; }
    bool isStatusTimerActive() const { return m_statusTimer.isActive(); }
    const LiveSongPlayer& player() const { return *m_player; }

    // What the status timer runs on each tick; public so that tests can drive it by hand.
    void tickStatus();

signals:
    void synthReady();

protected:
    void applyFileName(const QString& name) override;
    void runCommand(MediaCommand command, const QString& text) override;
    void applyTimeFormat(qint32 format) override;

private:
    enum class State { Closed, Stopped, Playing, Paused };

    struct LoaderHandOver;
    std::vector<std::string> soundFontsToTry() const;
    static std::unique_ptr<Synth> loadSynth(
        const std::vector<std::string>& candidates, double sampleRate);
    void finishLoadingSynth();
    void leaveLoaderBehind();
    void attachSynth(std::unique_ptr<Synth> synth);

    void openSong();
    std::shared_ptr<const Song> readSong(const QString& path);
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
    void fadeOutAndWait();
    void wakeOutput();
    void onEndReached();
    void notifyEnd();
    void emitStatusUpdate();

    EngineSetup m_setup;
    std::unique_ptr<AudioOutput> m_output;
    std::unique_ptr<LiveSongPlayer> m_player;
    std::unique_ptr<Synth> m_synth;
    // What the loader thread hands over; shared, so that a loader left behind at the end (stuck
    // in a file system, say) never writes to a control that is gone.
    std::shared_ptr<LoaderHandOver> m_loaderHandOver;
    std::thread m_loader;
    bool m_synthAttached = false;
    // Loads the samples of each song opened, so that Open never waits for the disk.
    std::unique_ptr<WorkerThread> m_sampleLoader;
    // Counts Opens and Closes: a load finished for an earlier one is dropped.
    std::atomic<quint64> m_openTicket { 0 };
    bool m_loadingSamples = false;

    QString m_fileName;
    qint32 m_timeFormat = 0;
    State m_state = State::Closed;
    std::shared_ptr<const Song> m_song;
    QString m_songPath;

    // The song read last, kept for as long as its file stays the same: Loop and Stop reopen the
    // same file again and again, at the rate of the audio periods for an empty song.
    struct FileIdentity {
        QString path;
        quint64 device = 0, inode = 0;
        qint64 size = -1, modifiedNs = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    FileIdentity m_lastReadIdentity;
    std::shared_ptr<const Song> m_lastReadSong;

    // Failures told since the last song opened: a retry fails the same way and is not told again.
    QSet<QString> m_failuresTold;

    QTimer m_statusTimer;
    QTimer m_endNotification;
    QElapsedTimer m_sinceEndNotification;
    QSocketNotifier* m_endNotifier = nullptr;
    bool m_endSeen = false;
    std::optional<qint32> m_notifiedPosition; // while a notification's handlers run
};

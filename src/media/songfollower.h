#pragma once

#include "media/mediacontrol.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class Song;
class SongCache;
class SoundEngine;

// The song that follows the open one without a break. The window guesses what it will start when
// the open song ends; near that end the guess is read, its samples are prepared on the engine's
// sample loader, and the engine is armed with it, so the sound goes on into it at the last frame.
// Once the open song has been heard to its end, the window's own commands take it over as it
// plays, or it is dropped and they act as they would without it (EngineMediaControl decides
// which). UI thread only.
class SongFollower : public QObject {
    Q_OBJECT

public:
    // locate: the full path of a file name, as Open finds it.
    SongFollower(
        SongCache& cache, std::function<QString(const QString&)> locate, QObject* parent = nullptr);

    // Set once the engine is there; loadsSamplesAside as the control loads an opened song's.
    void attach(SoundEngine* sound, bool loadsSamplesAside);
    void setGuess(MediaControl::FollowingSongGuess guess);
    bool hasGuess() const { return bool(m_guess); }
    // The file the window would start now, as a full path, empty for none. Loop opens the
    // device's own file name again.
    QString guessedPath(const QString& deviceFileName) const;

    // Loads and arms the song at path, unless it is the one already on its way; one that began
    // to play on already is settled at the end instead. An empty path takes the follower back.
    void follow(const QString& path);
    // Takes back a follower that has not begun to play on.
    void forget();
    // The open song has ended into it: the window has graceMs to take it over.
    void beginHandOver(int graceMs);
    // The window has opened the follower's file again.
    void markOpened() { m_opened = true; }
    // It is the open song now, playing on.
    void adopt();
    // Cut at once; the engine is back on the song that ended, at its end.
    void drop();

    bool isArmed() const { return m_armed; }
    bool isStarted() const;
    bool isHandingOver() const { return m_handingOver; }
    bool isOpened() const { return m_opened; }
    const QString& path() const { return m_path; }
    const std::shared_ptr<const Song>& song() const { return m_song; }

signals:
    // The window did not take the follower over in time.
    void handOverTimedOut();

private:
    void arm(quint64 ticket);
    void reset();

    SongCache& m_cache;
    std::function<QString(const QString&)> m_locate;
    SoundEngine* m_sound = nullptr;
    bool m_loadsSamplesAside = false;
    MediaControl::FollowingSongGuess m_guess;

    QString m_path;
    std::shared_ptr<const Song> m_song;
    quint64 m_ticket = 0; // a load finished for an earlier guess is dropped
    quint64 m_tickets = 0;
    bool m_armed = false;
    bool m_handingOver = false;
    bool m_opened = false;
    QTimer m_deadline;
};

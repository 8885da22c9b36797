#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

class MprisPlayer;

// org.mpris.MediaPlayer2.Player. Every method and property write but OpenUri is carried out a
// pass of the event loop later: the call's reply goes out first, since a handler may run for long
// (Play All waits inside its own handler until it is switched off). OpenUri's answer says whether
// the file was taken, and opening a file never waits.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    // The player has neither a rate nor a volume of its own to set: both are read-only.
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ yes)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)

public:
    explicit MprisPlayerAdaptor(MprisPlayer* player);

    QString playbackStatus() const;
    QString loopStatus() const;
    void setLoopStatus(const QString& status);
    bool shuffle() const;
    void setShuffle(bool on);
    QVariantMap metadata() const;
    qlonglong position() const;
    double rate() const { return 1.0; }
    double volume() const { return 1.0; }
    bool yes() const { return true; }
    bool no() const { return false; }

public slots:
    void Next();
    void Previous() { }
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek([[maybe_unused]] qlonglong Offset) { }
    void SetPosition(
        [[maybe_unused]] const QDBusObjectPath& TrackId, [[maybe_unused]] qlonglong Position)
    {
    }
    // Answered once the file is open and playing, or with an error saying why it cannot be.
    void OpenUri(const QString& uri, const QDBusMessage& message);

signals:
    void Seeked(qlonglong position);

private:
    void later(void (MprisPlayer::*action)());

    MprisPlayer* m_player;
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QMainWindow;
class MediaControl;

// What the desktop's media controls (media keys, the sound menu, playerctl) see of the player and
// what they may do to it, without D-Bus. It acts on the window only as a user would, through its
// named controls: a button click, a menu item triggered; and it reads the window's state from the
// same controls (the check marks, the song label) and the media control's state.
class MprisPlayer : public QObject {
    Q_OBJECT

public:
    MprisPlayer(QMainWindow* window, MediaControl* media, QObject* parent = nullptr);

    // org.mpris.MediaPlayer2.Player's properties, in its terms.
    QString playbackStatus() const;
    QString loopStatus() const;
    bool shuffle() const;
    QVariantMap metadata() const;
    qlonglong positionUs() const;
    QString title() const;

    void setLoopStatus(const QString& status);
    void setShuffle(bool on);

public slots:
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void raise();

public:
    // Plays a file:// URI (or an absolute name) as a file dropped on the window; a file that
    // cannot be played changes nothing, and the reason comes back. Empty when it plays.
    QString openUri(const QString& uri);

public:
    // Compares what the desktop was told last with what holds now; changes go out at once.
    void refresh();

signals:
    // The player's properties that changed, by their D-Bus names.
    void playerPropertiesChanged(const QVariantMap& changed);

private:
    void clickButton(const char* name);
    void triggerAction(const char* name);
    bool isChecked(const char* actionName) const;
    void watchWindow();
    void scheduleRefresh();
    QVariantMap currentProperties() const;

    QPointer<QMainWindow> m_window;
    MediaControl* m_media;
    QVariantMap m_lastProperties;
    bool m_refreshScheduled = false;
};

#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class MprisPlayer;

// org.mpris.MediaPlayer2: who the player is and bringing its window to the front.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit MprisRootAdaptor(MprisPlayer* player);

    bool canQuit() const { return false; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Lumora"); }
    QString desktopEntry() const { return QStringLiteral("org.example.Lumora"); }
    QStringList supportedUriSchemes() const { return { QStringLiteral("file") }; }
    QStringList supportedMimeTypes() const
    {
        return { QStringLiteral("audio/midi"), QStringLiteral("audio/x-midi") };
    }

public slots:
    void Raise();
    void Quit() { }

private:
    MprisPlayer* m_player;
};

#include "app/captionlabel.h"
#include "app/lumoramusic.h"
#include "media/mediacontrol.h"
#include "media/songfilecheck.h"

// The command line, a drop and the desktop's media controls all hand the window a file the same
// way: as if it had been chosen in File > Open and Play pressed then. A file from outside is
// read before anything changes, so that one that cannot be played leaves the song, the label and
// the sound as they were. The song is closed first: the device takes a new name only when closed.
QString LumoraMusic::openAndPlay(const QString& path)
{
    if (handlersStopped())
        return QStringLiteral("the player is closing");
    if (const QString why = SongFileCheck::whyUnplayable(path); !why.isEmpty())
        return why;
    MMControl1->close();
    MMControl1->setFileName(path);
    MMControl1->open(OpenSpelling::FileDialog);
    lblname->setCaption(QStringLiteral("Current Song = Midi"));
    cmdPlay_Click();
    return QString();
}

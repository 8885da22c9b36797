#include "app/captionlabel.h"
#include "app/lumoramusic.h"
#include "media/mediacontrol.h"

// The command line, a drop and the desktop's media controls all hand the window a file the same
// way: as if it had been chosen in File > Open and Play pressed then.
void LumoraMusic::openAndPlay(const QString& path)
{
    if (handlersStopped())
        return;
    MMControl1->setFileName(path);
    MMControl1->setCommand(QStringLiteral("open"));
    lblname->setCaption(QStringLiteral("Current Song = Midi"));
    cmdPlay_Click();
}

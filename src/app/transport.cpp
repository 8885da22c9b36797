#include "app/captionlabel.h"
#include "app/fileopendialog.h"
#include "app/lumoramusic.h"
#include "media/mediacontrol.h"

#include <QAction>

// Play always reopens the named file and plays it from its start, whatever the device was doing.
void LumoraMusic::cmdPlay_Click()
{
    MMControl1->close();
    MMControl1->open();
    MMControl1->play();
}

// Stop leaves the song loaded and stopped at its start.
void LumoraMusic::cmdStop_Click()
{
    MMControl1->close();
    MMControl1->open();
}

void LumoraMusic::cmdPause_Click()
{
    MMControl1->pause();
}

void LumoraMusic::mitopen_Click()
{
    CommonDialog->showOpen();
    MMControl1->setFileName(CommonDialog->fileName());
    if (!CommonDialog->fileName().isEmpty())
        MMControl1->open(OpenSpelling::FileDialog);
    lblname->setCaption(QStringLiteral("Current Song = Midi"));
}

void LumoraMusic::mitLoop_Click()
{
    mitplayall->setChecked(false);
    mitLoop->setChecked(!mitLoop->isChecked());
}

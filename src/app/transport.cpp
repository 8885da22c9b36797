#include "app/captionlabel.h"
#include "app/fileopendialog.h"
#include "app/lumoramusic.h"
#include "playback/mediacontrol.h"

#include <QAction>

// Play always reopens the named file and plays it from its start, whatever the device was doing.
void LumoraMusic::cmdPlay_Click()
{
    MMControl1->setCommand(QStringLiteral("Close"));
    MMControl1->setCommand(QStringLiteral("Open"));
    MMControl1->setCommand(QStringLiteral("Play"));
}

// Stop leaves the song loaded and stopped at its start.
void LumoraMusic::cmdStop_Click()
{
    MMControl1->setCommand(QStringLiteral("Close"));
    MMControl1->setCommand(QStringLiteral("Open"));
}

void LumoraMusic::cmdPause_Click()
{
    MMControl1->setCommand(QStringLiteral("Pause"));
}

void LumoraMusic::mitopen_Click()
{
    CommonDialog->showOpen();
    MMControl1->setFileName(CommonDialog->fileName());
    if (!CommonDialog->fileName().isEmpty())
        MMControl1->setCommand(QStringLiteral("open"));
    lblname->setCaption(QStringLiteral("Current Song = Midi"));
}

void LumoraMusic::mitLoop_Click()
{
    mitplayall->setChecked(false);
    mitLoop->setChecked(!mitLoop->isChecked());
}

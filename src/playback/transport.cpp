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

// A cancelled dialog changes nothing: the song chosen before stays the one Play plays.
void LumoraMusic::mitopen_Click()
{
    if (!CommonDialog->showOpen())
        return;
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

#include "app/captionlabel.h"
#include "app/fileopendialog.h"
#include "app/lumoramusic.h"
#include "media/mediacontrol.h"

#include <QAction>
#include <QTimer>

#include <utility>

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

// A cancelled dialog changes nothing: the song chosen before stays the one Play plays.
void LumoraMusic::mitopen_Click()
{
    ++m_openDialogs;
    const bool chosen = CommonDialog->showOpen();
    --m_openDialogs;
    if (m_openDialogs == 0 && std::exchange(m_playAllAfterDialog, false))
        QTimer::singleShot(0, this, &LumoraMusic::runPlayAllLoopAfterDialog);
    if (!chosen)
        return;
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

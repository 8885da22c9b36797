#include "app/lumoramusic.h"

#include "media/mediacontrol.h"

#include <QAction>
#include <QCoreApplication>

// Closing from the title bar: the device is closed and the window always goes.
void LumoraMusic::Form_Unload(qint16& Cancel)
{
    Q_UNUSED(Cancel);
    MMControl1->close();
}

// File > Exit ends the program at once: no unload step, nothing sent to the device.
void LumoraMusic::mitexit_Click()
{
    mitplayall->setChecked(false);
    m_ending = true;
    QCoreApplication::exit(0);
}

#include "app/lumoramusic.h"
#include "app/seconds.h"
#include "media/mediacontrol.h"

#include <QAction>
#include <QSlider>

// Keeps the slider in step with the song in whole seconds, and at the end rewinds the song and,
// with Loop on, plays it again. Every time is a fresh read of the device.
void LumoraMusic::MMControl1_StatusUpdate()
{
    MMControl1->setTimeFormat(0);
    Slider1->setMaximum(secondsFromMilliseconds(MMControl1->length()));
    const qint32 length = MMControl1->length();
    const qint32 position = MMControl1->position();
    if (length == position) {
        MMControl1->rewind();
        Slider1->setValue(0);
        if (mitLoop->isChecked()) {
            MMControl1->close();
            MMControl1->open();
            MMControl1->play();
        }
    } else {
        Slider1->setValue(secondsFromMilliseconds(MMControl1->position()));
    }
}

#include "app/lumoramusic.h"

#include "app/captionlabel.h"
#include "app/picturebutton.h"
#include "app/pictureloader.h"
#include "app/picturesurface.h"
#include "app/randomgenerator.h"

#include <QApplication>

namespace {

QString skinPrefix(qint16 skin)
{
    return skin == 1 ? QStringLiteral("first") : QStringLiteral("second");
}

// "firstUIb13Up.gif": skin, "UIb", the button's number, 3, then nothing when pressed or the
// released suffix. Lookup ignores letter case, so "Up" and "up" name one file.
QString buttonPictureName(qint16 skin, int number, const QString& suffix)
{
    return QStringLiteral("%1UIb%2%3%4.gif").arg(skinPrefix(skin)).arg(number).arg(3).arg(suffix);
}

} // namespace

void LumoraMusic::Form_Load()
{
    m_random.reseedFromClock();
    m_skinNumber = qint16(1 + m_random.draw(2));

    const bool first = m_skinNumber == 1;
    surface->setPicture(
        m_pictures.load(first ? QStringLiteral("FirstUI.jpg") : QStringLiteral("SecondUI.jpg")));
    cmdPlay->setPicture(m_pictures.load(buttonPictureName(m_skinNumber, 1, QStringLiteral("Up"))));
    cmdPause->setPicture(m_pictures.load(buttonPictureName(m_skinNumber, 2, QStringLiteral("Up"))));
    cmdStop->setPicture(m_pictures.load(buttonPictureName(m_skinNumber, 3, QStringLiteral("Up"))));
    lblname->setForeColor(QApplication::palette().color(QPalette::ToolTipBase));
    lblname->setTop(pixelsFromTwips(first ? 390 : 120));
}

void LumoraMusic::showButtonPicture(PictureButton* button, int number, bool pressed)
{
    const qint16 skin = m_skinNumber == 1 ? 1 : 2;
    const QString suffix = pressed ? QString() : QStringLiteral("up");
    button->setPicture(m_pictures.load(buttonPictureName(skin, number, suffix)));
}

void LumoraMusic::cmdPlay_MouseDown()
{
    showButtonPicture(cmdPlay, 1, true);
}
void LumoraMusic::cmdPlay_MouseUp()
{
    showButtonPicture(cmdPlay, 1, false);
}
void LumoraMusic::cmdPause_MouseDown()
{
    showButtonPicture(cmdPause, 2, true);
}
void LumoraMusic::cmdPause_MouseUp()
{
    showButtonPicture(cmdPause, 2, false);
}
void LumoraMusic::cmdStop_MouseDown()
{
    showButtonPicture(cmdStop, 3, true);
}
void LumoraMusic::cmdStop_MouseUp()
{
    showButtonPicture(cmdStop, 3, false);
}

#include "app/lumoramusic.h"
#include "app/randomgenerator.h"
#include "playback/mediacontrol.h"

#include <QAction>

// Two draws: a category from 1 to 11, which weights the menus 4 : 3 : 3 : 1, then an item of the
// chosen menu. The song is then chosen exactly as a click on its item would choose it.
void LumoraMusic::chooseRandomSong()
{
    const int category = 1 + m_random.draw(11);
    if (category <= 4)
        mitSong_Click(qint16(m_random.draw(14)));
    else if (category <= 7)
        mitTemple_Click(qint16(m_random.draw(8)));
    else if (category <= 10)
        mitTheme_Click(qint16(m_random.draw(8)));
    else
        mitSirrel_Click(qint16(m_random.draw(4)));
}

void LumoraMusic::mitRandom_Click()
{
    mitplayall->setChecked(false);
    m_random.reseedFromClock();
    MMControl1->setCommand(QStringLiteral("Close"));
    chooseRandomSong();
    cmdPlay_Click();
}

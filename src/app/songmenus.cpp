#include "app/captionlabel.h"
#include "app/lumoramusic.h"
#include "media/mediacontrol.h"

#include <QAction>

void LumoraMusic::mitSong_Click(qint16 Index)
{
    chooseSong(mitSong, SongMenu::Location, Index);
}
void LumoraMusic::mitSirrel_Click(qint16 Index)
{
    chooseSong(mitSirrel, SongMenu::Sirrel, Index);
}
void LumoraMusic::mitTemple_Click(qint16 Index)
{
    chooseSong(mitTemple, SongMenu::Temple, Index);
}
void LumoraMusic::mitTheme_Click(qint16 Index)
{
    chooseSong(mitTheme, SongMenu::Theme, Index);
}

// The device is closed first, so the file name can change; the chosen item is the only one of its
// menu left checked; the file name is written last, from whatever the current stem holds then.
void LumoraMusic::chooseSong(const QList<QAction*>& items, SongMenu menu, qint16 Index)
{
    MMControl1->close();
    const int count = int(items.size());
    for (int i = 0; i < count; ++i) {
        if (i == Index) {
            items[i]->setChecked(true);
            const CatalogueRow& row = Catalogue::row(menu, qint16(i));
            m_currentSongStem = QString::fromUtf8(row.stem);
            lblname->setCaption(QString::fromUtf8(row.labelText));
        } else {
            items[i]->setChecked(false);
        }
    }
    MMControl1->setFileName(m_currentSongStem + QStringLiteral(".mid"));
}

#include "app/randomsong.h"

#include "app/randomgenerator.h"

SongMenu menuForCategory(int category)
{
    if (category <= 4)
        return SongMenu::Location;
    if (category <= 7)
        return SongMenu::Temple;
    if (category <= 10)
        return SongMenu::Theme;
    return SongMenu::Sirrel;
}

SongPick pickRandomSong(RandomGenerator& random)
{
    const SongMenu menu = menuForCategory(1 + random.draw(11));
    return { menu, qint16(random.draw(Catalogue::itemCount(menu))) };
}

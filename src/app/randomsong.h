#pragma once

#include "app/catalogue.h"

class RandomGenerator;

// A song the program picks by itself: which menu, and which item of it.
struct SongPick {
    SongMenu menu;
    qint16 index;
};

// Categories 1 to 4 pick Location Songs, 5 to 7 Temple Songs, 8 to 10 Themes and 11 Sirrel Songs.
SongMenu menuForCategory(int category);

// Two draws: a category from 1 to 11, which weights the menus 4 : 3 : 3 : 1, then an item of the
// chosen menu, over as many items as the catalogue gives it.
SongPick pickRandomSong(RandomGenerator& random);

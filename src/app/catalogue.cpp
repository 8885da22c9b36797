#include "app/catalogue.h"

#include <algorithm>
#include <array>

namespace {

using enum SongMenu;

// Captions and label texts are separate on purpose: many labels name the song more fully than
// the menu has room for.
constexpr std::array<CatalogueRow, 34> kRows { {
    { Location, 0, "Belfry", "k58belfr", "Current Song: Belfry" },
    { Location, 1, "Harbour", "k58harbr", "Current Song: Misty Harbour" },
    { Location, 2, "Thornwick", "k58thrnw", "Current Song: Thornwick Glade" },
    { Location, 3, "Saffra", "k58saff2", "Current Song: Saffra Heights" },
    { Location, 4, "Cragmoor", "k58cragm", "Current Song: Cragmoor Song" },
    { Location, 5, "Veldmark - Dusk", "k58dusk", "Current Song: Veldmark Twilight" },
    { Location, 6, "Amber Mine", "mp_amb", "Current Song: Amber Mine" },
    { Location, 7, "Mossbeck Orchard", "mp_grove", "Current Song: Mossbeck Groves" },
    // In the catalogue but not to be picked by hand; the random choice and Play All reach it.
    { Location, 8, "Hollow Weald", "k58hwea2", "Current Song: Hollow Weald", false },
    { Location, 9, "Quay", "k58quays", "Current Song: Quayside" },
    { Location, 10, "Lamp Seller / Archive", "k58lmp",
        "Current Song: Greywater Archive / Lamp Seller" },
    { Location, 11, "Tavern", "k58tavn", "Current Song: Assorted Taverns" },
    { Location, 12, "Lighthouse", "mp_lite", "Current Song: Lighthouse Song" },
    { Location, 13, "Nerith's Reach", "k58neri", "Current Song: Nerith's Reach" },
    { Sirrel, 0, "Alder", "k58alder", "Current Song: Alder's Song" },
    { Sirrel, 1, "Maren's Song", "mp_maren", "Current Song: Maren's Song" },
    { Sirrel, 2, "Song of Seasons", "mp_seasn", "Current Song: Song of Seasons" },
    { Sirrel, 3, "Ilsa's Cradle Song", "mp_ilsa", "Current Song: Ilsa's Cradle Song" },
    { Temple, 0, "Galliard Of Ember", "qelgoe", "Current Song: Galliard Of Ember" },
    { Temple, 1, "Pavane Of The Marsh", "ms_pavan", "Current Song: Pavane Of Marsh" },
    { Temple, 2, "Caprise Of Gloom", "ms_capri", "Current Song: Caprise Of Gloom" },
    { Temple, 3, "Fanfare Of Radiance", "ms_fanfa", "Current Song: Fanfare Of Radiance" },
    { Temple, 4, "Threnody Of Mist", "m8_thren", "Current Song: Threnody Of Mist" },
    { Temple, 5, "Aubade Of Rain", "ms_aubde", "Current Song: Aubade Of Rain" },
    { Temple, 6, "Sanctum Of Echoes", "k58sanc2", "Current Song: Sanctum Of Echoes" },
    { Temple, 7, "Frost Hall", "k58frost", "Current Song: Frost Hall" },
    { Theme, 0, "Pellin Theme", "k58pell", "Current Song: Pellin Theme" },
    { Theme, 1, "Oswin's Theme", "ms_rOswi", "Current Song: Oswin's Theme" },
    { Theme, 2, "Prologue Theme", "k58prlog", "Current Song: Valdren Prologue Theme" },
    { Theme, 3, "Mirela and Tansy's Theme", "ms_elder", "Current Song: Mirela and Tansy's Theme" },
    { Theme, 4, "Title Theme", "k58titl", "Current Song: Title Theme" },
    { Theme, 5, "Pip's Theme", "k58sprit", "Current Song: Pip's Theme" },
    { Theme, 6, "Badger's Theme", "k58bdg", "Current Song: Badger Theme" },
    { Theme, 7, "Corvin's Theme", "k58corvn", "Current Song: Corvin's Theme" },
} };

// Rows are grouped by menu in menu-bar order, so each menu is one contiguous run.
constexpr size_t firstRowOf(SongMenu menu)
{
    size_t i = 0;
    while (i < kRows.size() && kRows[i].menu != menu)
        ++i;
    return i;
}

constexpr size_t rowCountOf(SongMenu menu)
{
    size_t n = 0;
    for (const auto& r : kRows)
        n += r.menu == menu ? 1 : 0;
    return n;
}

static_assert(rowCountOf(Location) == 14 && rowCountOf(Sirrel) == 4 && rowCountOf(Temple) == 8
    && rowCountOf(Theme) == 8);

} // namespace

namespace Catalogue {

std::span<const CatalogueRow> rows()
{
    return kRows;
}

std::span<const CatalogueRow> rows(SongMenu menu)
{
    return std::span<const CatalogueRow>(kRows).subspan(firstRowOf(menu), rowCountOf(menu));
}

const CatalogueRow& row(SongMenu menu, qint16 index)
{
    const auto menuRows = rows(menu);
    Q_ASSERT(index >= 0 && size_t(index) < menuRows.size());
    return menuRows[size_t(index)];
}

qint16 itemCount(SongMenu menu)
{
    return qint16(rowCountOf(menu));
}

const char* menuCaption(SongMenu menu)
{
    switch (menu) {
    case Location:
        return "Location Songs";
    case Sirrel:
        return "Sirrel Songs";
    case Temple:
        return "Temple Songs";
    case Theme:
        return "Themes";
    }
    return "";
}

} // namespace Catalogue

#pragma once

#include <QtGlobal>
#include <span>

// The four song menus, in menu-bar order after File.
enum class SongMenu { Location, Sirrel, Temple, Theme };

// One song of the fixed catalogue: its place in a song menu and what choosing it shows and opens.
struct CatalogueRow {
    SongMenu menu;
    qint16 index;
    const char* caption; // the menu item's text
    const char* stem; // the song file's name without ".mid"
    const char* labelText; // what the song label shows once the song is chosen
    bool enabled = true; // false: its item is greyed out, only the random choice reaches it
};

namespace Catalogue {

std::span<const CatalogueRow> rows();
std::span<const CatalogueRow> rows(SongMenu menu);
const CatalogueRow& row(SongMenu menu, qint16 index); // index must be within the menu
qint16 itemCount(SongMenu menu);
const char* menuCaption(SongMenu menu);
constexpr SongMenu allMenus[]
    = { SongMenu::Location, SongMenu::Sirrel, SongMenu::Temple, SongMenu::Theme };

} // namespace Catalogue

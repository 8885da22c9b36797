#pragma once

#include <QString>
#include <QStringList>

// Where the player finds songs, pictures and a SoundFont of its own: the working directory first,
// so a copied data folder with replaced songs keeps working, then the data folder installed with
// the program (../share/lumora beside its bin/), so the installed player starts from any folder;
// the program run where it was built uses the source tree's data/ in its place.
namespace DataFolders {

// The data folder that comes with the running program: ../share/lumora beside it once installed,
// the source tree's data/ while it runs from its build folder. It need not exist.
QString installedFolder();

// The working directory, then the installed folder when it exists and is another folder.
QStringList searchFolders();

// A relative name is looked up in each folder in turn and the first file found wins. An absolute
// name, or one that no folder holds, comes back as the working directory would resolve it.
QString locate(const QString& fileName, const QStringList& folders);
inline QString locate(const QString& fileName)
{
    return locate(fileName, searchFolders());
}

// The SoundFonts to try, in order: the one asked for on the command line, then $LUMORA_SOUNDFONT,
// then any .sf2 or .sf3 lying in the folders (sorted by name). The system default comes after.
QStringList soundFontCandidates(
    const QString& commandLineChoice, const QString& environmentChoice, const QStringList& folders);

} // namespace DataFolders

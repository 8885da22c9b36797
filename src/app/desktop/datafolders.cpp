#include "app/desktop/datafolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace DataFolders {

QString installedFolder()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
#if defined(LUMORA_BUILD_FOLDER) && defined(LUMORA_SOURCE_DATA_FOLDER)
    // The program as built, not yet installed: its data is still in the source tree. Only the
    // program in the build folder looks there; an installed copy of it has its share/ folder.
    const QString buildFolder = QFileInfo(QStringLiteral(LUMORA_BUILD_FOLDER)).canonicalFilePath();
    if (!buildFolder.isEmpty() && QFileInfo(programFolder).canonicalFilePath() == buildFolder)
        return QStringLiteral(LUMORA_SOURCE_DATA_FOLDER);
#endif
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/lumora"));
}

QStringList searchFolders()
{
    QStringList folders { QDir::currentPath() };
    const QFileInfo installed(installedFolder());
    if (installed.isDir()
        && installed.canonicalFilePath() != QFileInfo(folders.first()).canonicalFilePath())
        folders << installed.absoluteFilePath();
    return folders;
}

QString locate(const QString& fileName, const QStringList& folders)
{
    if (fileName.isEmpty() || QDir::isAbsolutePath(fileName))
        return QFileInfo(fileName).absoluteFilePath();
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return QFileInfo(fileName).absoluteFilePath();
}

QStringList soundFontCandidates(
    const QString& commandLineChoice, const QString& environmentChoice, const QStringList& folders)
{
    QStringList candidates;
    for (const QString& choice : { commandLineChoice, environmentChoice }) {
        if (!choice.isEmpty())
            candidates << QFileInfo(choice).absoluteFilePath();
    }
    for (const QString& folder : folders) {
        const QFileInfoList found = QDir(folder).entryInfoList(
            { QStringLiteral("*.sf2"), QStringLiteral("*.sf3") }, QDir::Files, QDir::Name);
        for (const QFileInfo& file : found) {
            if (!candidates.contains(file.absoluteFilePath()))
                candidates << file.absoluteFilePath();
        }
    }
    return candidates;
}

} // namespace DataFolders

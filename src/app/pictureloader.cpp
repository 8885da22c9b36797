#include "app/pictureloader.h"

#include "app/runtimeerror.h"

#include <QImageReader>

FilePictureLoader::FilePictureLoader(RuntimeErrorReporter& errors, QString folder)
    : m_errors(errors)
    , m_folder(std::move(folder))
{
}

QDir FilePictureLoader::folder() const
{
    return m_folder.isEmpty() ? QDir::current() : QDir(m_folder);
}

QString FilePictureLoader::findCaseInsensitive(const QDir& folder, const QString& bareName)
{
    // Name filters would treat [ ] * ? in a name as wildcards, so compare the entries ourselves.
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    if (entries.contains(bareName))
        return bareName;
    for (const QString& entry : entries) {
        if (QString::compare(entry, bareName, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return QString();
}

QPixmap FilePictureLoader::load(const QString& bareName)
{
    QList<QDir> folders { folder() };
    for (const QString& fallback : m_fallbackFolders)
        folders << QDir(fallback);
    QDir dir;
    QString entry;
    for (const QDir& candidate : folders) {
        entry = findCaseInsensitive(candidate, bareName);
        if (!entry.isEmpty()) {
            dir = candidate;
            break;
        }
    }
    if (entry.isEmpty()) {
        QStringList searched;
        for (const QDir& candidate : folders)
            searched << QDir::toNativeSeparators(candidate.absolutePath());
        m_errors.raise(QStringLiteral("Run-time error: file not found: \"%1\" in %2")
                           .arg(bareName, searched.join(QStringLiteral(" or in "))));
    }
    QImageReader reader(dir.filePath(entry));
    const QImage image = reader.read();
    if (image.isNull()) {
        m_errors.raise(
            QStringLiteral("Run-time error: invalid picture: \"%1\" in %2 (%3)")
                .arg(bareName, QDir::toNativeSeparators(dir.absolutePath()), reader.errorString()));
    }
    return QPixmap::fromImage(image);
}

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
    const QDir dir = folder();
    const QString entry = findCaseInsensitive(dir, bareName);
    if (entry.isEmpty()) {
        m_errors.raise(QStringLiteral("Run-time error: file not found: \"%1\" in %2")
                           .arg(bareName, QDir::toNativeSeparators(dir.absolutePath())));
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

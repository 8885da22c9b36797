#pragma once

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QStringList>

class RuntimeErrorReporter;

// Reads the skin pictures. Every call reads the file afresh; nothing is cached.
class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    // Never returns a null picture: a missing or unreadable file raises the run-time error.
    virtual QPixmap load(const QString& bareName) = 0;
};

// Finds a picture by its bare name in a folder (the working directory unless told otherwise),
// without regard to letter case, so "firstUIb13Up.gif" and "firstUIb13up.gif" name one file.
// Fallback folders are searched the same way, in order, when the folder lacks the picture.
class FilePictureLoader : public PictureLoader {
public:
    explicit FilePictureLoader(RuntimeErrorReporter& errors, QString folder = QString());
    QPixmap load(const QString& bareName) override;
    void setFallbackFolders(QStringList folders) { m_fallbackFolders = std::move(folders); }

    // The folder's entry that matches the name, an exact match first; empty when none does.
    static QString findCaseInsensitive(const QDir& folder, const QString& bareName);

private:
    QDir folder() const;

    RuntimeErrorReporter& m_errors;
    QString m_folder;
    QStringList m_fallbackFolders;
};

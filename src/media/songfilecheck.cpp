#include "media/songfilecheck.h"

#include "engine/midi/song.h"
#include "media/filenames.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SongFileCheck {

QString whyUnplayable(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no file name given");
    const SongLoadResult loaded = loadSongFile(FileNames::toBytes(path).toStdString());
    return loaded.song ? QString() : QString::fromStdString(loaded.error);
}

bool looksLikeSong(const QString& path)
{
    // Non-blocking, and checked to be a regular file before a byte is read: a pipe never ends.
    const int fd = ::open(FileNames::toBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    QByteArray start(4096, Qt::Uninitialized);
    ssize_t got = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        got = ::read(fd, start.data(), start.size());
    ::close(fd);
    if (got <= 0)
        return false;
    start.truncate(got);
    return start.contains("MThd") || (start.startsWith("RIFF") && start.mid(8, 4) == "RMID");
}

} // namespace SongFileCheck

#include "media/songcache.h"

#include "engine/midi/song.h"
#include "media/filenames.h"

#include <sys/stat.h>

SongCache::SongCache() = default;
SongCache::~SongCache() = default;

// A file that cannot be looked at keeps size -1 and is never taken from the cache.
SongCache::FileIdentity SongCache::identityOf(const QString& path)
{
    FileIdentity identity;
    struct stat info = {};
    if (::stat(FileNames::toBytes(path).constData(), &info) == 0) {
        identity = { path, quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec };
    }
    return identity;
}

std::shared_ptr<const Song> SongCache::read(const QString& path, std::string* error)
{
    const FileIdentity identity = identityOf(path);
    if (identity.size >= 0 && m_lastSong && identity == m_lastIdentity)
        return m_lastSong;
    SongLoadResult loaded = loadSongFile(FileNames::toBytes(path).toStdString());
    if (!loaded.song) {
        if (error)
            *error = std::move(loaded.error);
        return nullptr;
    }
    m_lastIdentity = identity;
    m_lastSong = identity.size >= 0 ? loaded.song : nullptr;
    return loaded.song;
}

#pragma once

#include <QString>

#include <memory>
#include <string>

class Song;

// The song read last, kept for as long as its file stays the same: Loop and Stop reopen the same
// file again and again, at the rate of the audio periods for an empty song. The same means the
// same name, device, inode, size and modification time, so a file rewritten or replaced under
// the same name is read again.
class SongCache {
public:
    SongCache();
    ~SongCache();

    // The song in the file at path, or null with why not in error.
    std::shared_ptr<const Song> read(const QString& path, std::string* error);

private:
    struct FileIdentity {
        QString path;
        quint64 device = 0, inode = 0;
        qint64 size = -1, modifiedNs = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static FileIdentity identityOf(const QString& path);

    FileIdentity m_lastIdentity;
    std::shared_ptr<const Song> m_lastSong;
};

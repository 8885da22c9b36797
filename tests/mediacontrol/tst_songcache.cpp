// The song cache on real files: a file read again is taken from the cache only while it is the
// same file, unchanged; any change a user or a program makes to it is read anew.

#include "smfwriter.h"

#include "engine/midi/song.h"
#include "media/songcache.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QByteArray songEndingAt(int ms)
{
    return SmfWriter().note(0, 100, 60).endAt(ms).bytes();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

timespec modificationTime(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim;
}

void setModificationTime(const QString& path, timespec time)
{
    const timespec times[2] = { { 0, UTIME_OMIT }, time };
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

enum class Change {
    None,
    RewrittenSameSizeNewTime, // an editor saving in place, within the same size
    ReplacedSameSizeAndTime, // a download renamed over it, its time kept
    GrownSameTime, // written to, its time set back (an archive tool, a copy keeping times)
    OtherNameSameContent,
    Removed,
};

} // namespace

Q_DECLARE_METATYPE(Change)

class TestSongCache : public QObject {
    Q_OBJECT

private slots:
    void readsAgainOnlyWhenTheFileChanged_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("fromCache");
        QTest::addColumn<int>("lengthMs"); // of the second read; -1: it fails

        QTest::newRow("unchanged") << Change::None << true << 1000;
        QTest::newRow("rewritten, same size, new time")
            << Change::RewrittenSameSizeNewTime << false << 1001;
        QTest::newRow("replaced, same size and time")
            << Change::ReplacedSameSizeAndTime << false << 1001;
        QTest::newRow("grown, same time") << Change::GrownSameTime << false << 3000;
        QTest::newRow("another name, same content")
            << Change::OtherNameSameContent << false << 1000;
        QTest::newRow("removed") << Change::Removed << false << -1;
    }

    void readsAgainOnlyWhenTheFileChanged()
    {
        QFETCH(Change, change);
        QFETCH(bool, fromCache);
        QFETCH(int, lengthMs);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("song.mid"));
        write(path, songEndingAt(1000));
        SongCache cache;
        std::string error;
        const std::shared_ptr<const Song> first = cache.read(path, &error);
        QVERIFY2(first, error.c_str());
        QCOMPARE(first->lengthMs(), 1000);
        QCOMPARE(songEndingAt(1001).size(), songEndingAt(1000).size());

        const timespec before = modificationTime(path);
        switch (change) {
        case Change::None:
            break;
        case Change::RewrittenSameSizeNewTime:
            write(path, songEndingAt(1001));
            setModificationTime(path, { before.tv_sec + 1, before.tv_nsec });
            break;
        case Change::ReplacedSameSizeAndTime: {
            const QString download = dir.filePath(QStringLiteral("download.part"));
            write(download, songEndingAt(1001));
            setModificationTime(download, before);
            QVERIFY(::rename(QFile::encodeName(download).constData(),
                        QFile::encodeName(path).constData())
                == 0);
            break;
        }
        case Change::GrownSameTime:
            write(path, SmfWriter().melody(0, 30, 100).bytes());
            setModificationTime(path, before);
            break;
        case Change::OtherNameSameContent: {
            const QString copy = dir.filePath(QStringLiteral("copy.mid"));
            QVERIFY(QFile::copy(path, copy));
            setModificationTime(copy, before);
            path = copy;
            break;
        }
        case Change::Removed:
            QVERIFY(QFile::remove(path));
            break;
        }

        error.clear();
        const std::shared_ptr<const Song> second = cache.read(path, &error);
        QCOMPARE(second == first, fromCache);
        if (lengthMs < 0) {
            QVERIFY(!second);
            QVERIFY(!error.empty());
        } else {
            QVERIFY2(second, error.c_str());
            QCOMPARE(second->lengthMs(), lengthMs);
        }
    }

    // A file that fails to read leaves the song read before it in the cache.
    void keepsTheLastSongReadPastAFailure()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.mid"));
        const QString broken = dir.filePath(QStringLiteral("broken.mid"));
        write(good, songEndingAt(1000));
        write(broken, QByteArrayLiteral("MThd but not a song"));
        SongCache cache;
        const std::shared_ptr<const Song> first = cache.read(good, nullptr);
        QVERIFY(first);
        std::string error;
        QVERIFY(!cache.read(broken, &error));
        QVERIFY(!error.empty());
        QCOMPARE(cache.read(good, nullptr), first);
    }
};

QTEST_GUILESS_MAIN(TestSongCache)
#include "tst_songcache.moc"

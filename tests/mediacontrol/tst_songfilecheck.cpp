// The media layer's word on a file from outside (the command line, a drop, a hand-over): what
// the reader refuses is said in a few words, and the quick look for a drag never blocks.

#include "smfwriter.h"

#include "media/songfilecheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray riffMidi(const QByteArray& smf)
{
    QByteArray data = "RMID" + QByteArray("data") + QByteArray(4, '\0') + smf;
    for (int i = 0; i < 4; ++i)
        data[8 + i] = char((smf.size() >> (8 * i)) & 0xff);
    QByteArray riff = "RIFF" + QByteArray(4, '\0') + data;
    for (int i = 0; i < 4; ++i)
        riff[4 + i] = char((data.size() >> (8 * i)) & 0xff);
    return riff;
}

} // namespace

class TestSongFileCheck : public QObject {
    Q_OBJECT

private slots:
    void saysWhetherAFileCanBePlayed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says"); // empty: playable
        QTest::addColumn<bool>("looksLikeSong");

        QTest::newRow("a song") << QStringLiteral("song") << QStringLiteral("") << true;
        QTest::newRow("a song wrapped in RIFF")
            << QStringLiteral("rmid") << QStringLiteral("") << true;
        QTest::newRow("a text file") << QStringLiteral("text") << QStringLiteral("MIDI") << false;
        QTest::newRow("an empty file")
            << QStringLiteral("empty") << QStringLiteral("empty file") << false;
        QTest::newRow("no such file")
            << QStringLiteral("missing") << QStringLiteral("no such file") << false;
        QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("folder") << false;
        QTest::newRow("a pipe nobody writes to")
            << QStringLiteral("fifo") << QStringLiteral("not a regular file") << false;
        QTest::newRow("no name") << QStringLiteral("noname") << QStringLiteral("no file name")
                                 << false;
    }

    void saysWhetherAFileCanBePlayed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        QFETCH(bool, looksLikeSong);
        QTemporaryDir dir;
        QString path = dir.filePath(kind + QStringLiteral(".mid"));
        const QByteArray song = SmfWriter().note(0, 100, 60).endAt(500).bytes();
        QFile file(path);
        if (kind == QLatin1String("song") || kind == QLatin1String("rmid")
            || kind == QLatin1String("text") || kind == QLatin1String("empty")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("song"))
                file.write(song);
            else if (kind == QLatin1String("rmid"))
                file.write(riffMidi(song));
            else if (kind == QLatin1String("text"))
                file.write("Some notes about the evening's programme.\n");
            file.close();
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkdir(kind + QStringLiteral(".mid")));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("noname")) {
            path.clear();
        }

        const QString why = SongFileCheck::whyUnplayable(path);
        QVERIFY2(says.isEmpty() ? why.isEmpty() : why.contains(says), qPrintable(why));
        QCOMPARE(SongFileCheck::looksLikeSong(path), looksLikeSong);
    }
};

QTEST_GUILESS_MAIN(TestSongFileCheck)
#include "tst_songfilecheck.moc"

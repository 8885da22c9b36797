#include "app/catalogue.h"
#include "engine/midi/song.h"

#include <QFile>
#include <QTest>

// Every catalogue song ships as a demo, readable by the player's own engine and of a length a
// listener can sit through.
class TestDemoSongs : public QObject {
    Q_OBJECT

private slots:
    void everyCatalogueSongLoads_data();
    void everyCatalogueSongLoads();
};

void TestDemoSongs::everyCatalogueSongLoads_data()
{
    QTest::addColumn<QString>("path");
    const QString data = qEnvironmentVariable("LUMORA_SOURCE_DIR") + QStringLiteral("/data/");
    for (const CatalogueRow& row : Catalogue::rows())
        QTest::newRow(row.stem) << data + QString::fromUtf8(row.stem) + QStringLiteral(".mid");
}

void TestDemoSongs::everyCatalogueSongLoads()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), qPrintable(path)); // exact letter case, as the player opens it
    const SongLoadResult loaded = loadSongFile(path.toStdString());
    QVERIFY2(loaded.song, loaded.error.c_str());
    const int32_t length = loaded.song->lengthMs();
    QVERIFY2(length >= 30000 && length <= 90000, qPrintable(QString::number(length)));
    QVERIFY(loaded.song->events.size() > 100);
}

QTEST_MAIN(TestDemoSongs)
#include "tst_demosongs.moc"

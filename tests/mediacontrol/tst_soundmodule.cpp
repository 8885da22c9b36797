// The sound module as the program loads it: found in the first place that has it, and when it is
// missing, is no module, lacks the factory or answers another version, one warning and a player
// that plays on silently (its position moves and the end comes), never a crash.

#include "smfwriter.h"
#include "testwait.h"
#include "warningcapture.h"

#include "engine/output/soundengine.h"
#include "media/enginemediacontrol.h"
#include "media/soundmodule.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

class TestSoundModule : public QObject {
    Q_OBJECT

private slots:
    void opensTheFirstPlaceThatHasIt_data();
    void opensTheFirstPlaceThatHasIt();
    void placesAreFoundFromTheProgram();
    void withoutTheModuleSongsPlaySilently();

private:
    QTemporaryDir m_dir;
};

void TestSoundModule::opensTheFirstPlaceThatHasIt_data()
{
    QTest::addColumn<QStringList>("places");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("why"); // a part of the error

    const QString module = QStringLiteral(LUMORA_SOUND_MODULE);
    const QString missing = m_dir.filePath("missing/lumora-sound.so");
    const QString notElf = m_dir.filePath("text.so");
    QFile file(notElf);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a module\n") > 0);
    file.close();

    QTest::newRow("found") << QStringList { module } << true << QString();
    QTest::newRow("found in the second place")
        << QStringList { missing, module } << true << QString();
    QTest::newRow("not found") << QStringList { missing } << false
                               << QStringLiteral("not found at %1").arg(missing);
    QTest::newRow("no place at all") << QStringList {} << false << QStringLiteral("not found");
    QTest::newRow("not a module") << QStringList { notElf } << false << notElf;
    QTest::newRow("without the factory")
        << QStringList { QStringLiteral(LUMORA_FAKE_MODULE_WRONG_NAME) } << false
        << QStringLiteral("has no lumora_create_sound_engine");
    QTest::newRow("built for another version")
        << QStringList { QStringLiteral(LUMORA_FAKE_MODULE_OTHER_VERSION) } << false
        << QStringLiteral("another version");
    QTest::newRow("a bad one, then the module")
        << QStringList { notElf, module } << true << QString();
}

void TestSoundModule::opensTheFirstPlaceThatHasIt()
{
    QFETCH(QStringList, places);
    QFETCH(bool, opens);
    QFETCH(QString, why);

    std::vector<std::string> paths;
    for (const QString& place : places)
        paths.push_back(place.toStdString());
    std::string error;
    std::unique_ptr<SoundEngine> engine = SoundModule::open(paths, &error);
    QCOMPARE(bool(engine), opens);
    if (!opens) {
        QVERIFY2(QString::fromStdString(error).contains(why), error.c_str());
        return;
    }
    // The engine made inside the module works through its interface alone: it has a player,
    // and no SoundFont until one is loaded.
    QVERIFY(engine->player());
    QVERIFY(!engine->hasSoundFont());
    std::string loadError;
    QVERIFY(!engine->loadSoundFont(m_dir.filePath("none.sf2").toStdString(), &loadError));
    QVERIFY(!loadError.empty());
}

// Next to the program first (the build tree, from any working folder), then the private folder.
void TestSoundModule::placesAreFoundFromTheProgram()
{
    const std::vector<std::string> places = SoundModule::places();
    const std::filesystem::path program = QCoreApplication::applicationFilePath().toStdString();
    QCOMPARE(places.size(), size_t(2));
    QCOMPARE(places[0], (program.parent_path() / "lumora-sound.so").string());
    QVERIFY(QString::fromStdString(places[1]).startsWith(
        QString::fromStdString(program.parent_path().parent_path().string()) + "/lib/"));
    QVERIFY(QString::fromStdString(places[1]).endsWith("/lumora/lumora-sound.so"));
    QVERIFY(!QString::fromStdString(places[1]).contains(".."));
}

// This test is linked as the program is and has no module beside it.
void TestSoundModule::withoutTheModuleSongsPlaySilently()
{
    const QString song = m_dir.filePath("short.mid");
    QVERIFY(SmfWriter().melody(0, 4, 100).endAt(600).save(song));
    WarningCapture warnings;
    EngineSetup setup;
    setup.statusIntervalMs = 20;
    EngineMediaControl media(std::move(setup));
    LUMORA_TRY_VERIFY(media.isSynthReady());
    QCOMPARE(warnings.warnings().size(), 1);
    QVERIFY2(warnings.joined().startsWith("Cannot load the sound engine: not found at"),
        qPrintable(warnings.joined()));
    QVERIFY(warnings.joined().endsWith("; songs play silently"));

    media.setFileName(song);
    media.open();
    QCOMPARE(media.length(), 600);
    media.play();
    QCOMPARE(media.playbackState(), MediaControl::PlaybackState::Playing);
    LUMORA_TRY_VERIFY(media.position() > 0);
    media.pause();
    const qint32 paused = media.position();
    QTest::qWait(50);
    QCOMPARE(media.position(), paused);
    media.pause(); // plays on
    bool ended = false;
    connect(&media, &MediaControl::statusUpdate, this,
        [&] { ended = ended || (media.position() == media.length()); });
    LUMORA_TRY_VERIFY(ended);
    QCOMPARE(media.playbackState(), MediaControl::PlaybackState::Stopped);
    media.rewind();
    QCOMPARE(media.position(), 0);
    QCOMPARE(warnings.warnings().size(), 1);
}

QTEST_GUILESS_MAIN(TestSoundModule)
#include "tst_soundmodule.moc"

#include "app/commandline.h"
#include "app/datafolders.h"
#include "app/pictureloader.h"
#include "manualclockrig.h"
#include "playback/engine/synth.h"
#include "scriptedservices.h"
#include "smfwriter.h"
#include "warningcapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString demoSong()
{
    return qEnvironmentVariable("LUMORA_SOURCE_DIR") + QStringLiteral("/data/k58belfr.mid");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// What the player is told when it starts, and where it then finds its files.
class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void unplayableFilesSayWhy_data();
    void unplayableFilesSayWhy();
    void songsAreFoundWorkingFolderFirst_data();
    void songsAreFoundWorkingFolderFirst();
    void picturesAreFoundWorkingFolderFirst_data();
    void picturesAreFoundWorkingFolderFirst();
    void soundFontsAreTriedInOrder();
    void aSoundFontThatDoesNotLoadGivesWayToTheNext_data();
    void aSoundFontThatDoesNotLoadGivesWayToTheNext();
};

void TestStartup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("soundFont");
    QTest::addColumn<QString>("textContains");

    const QString here = QDir::currentPath();
    const int run = int(CommandLine::Action::Run);
    QTest::newRow("nothing") << QStringList {} << run << QString() << QString() << QString();
    QTest::newRow("a relative file is made absolute")
        << QStringList { "song.mid" } << run << here + "/song.mid" << QString() << QString();
    QTest::newRow("an absolute file")
        << QStringList { "/music/a b.mid" } << run << "/music/a b.mid" << QString() << QString();
    QTest::newRow("a SoundFont and a file")
        << QStringList { "--soundfont", "my.sf2", "x.mid" } << run << here + "/x.mid"
        << "my.sf2" << QString();
    QTest::newRow("help") << QStringList { "--help" } << int(CommandLine::Action::ShowHelp)
                          << QString() << QString() << "--soundfont <FILE>";
    QTest::newRow("version") << QStringList { "--version" } << int(CommandLine::Action::ShowVersion)
                             << QString() << QString() << "lumora 9.8.7";
    QTest::newRow("unknown option") << QStringList { "--loud" } << int(CommandLine::Action::Fail)
                                    << QString() << QString() << "Unknown option 'loud'";
    QTest::newRow("SoundFont without its file")
        << QStringList { "--soundfont" } << int(CommandLine::Action::Fail) << QString() << QString()
        << "Missing value after";
    QTest::newRow("two files") << QStringList { "a.mid", "b.mid" } << int(CommandLine::Action::Fail)
                               << QString() << QString() << "one FILE at most";
}

void TestStartup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, file);
    QFETCH(QString, soundFont);
    QFETCH(QString, textContains);

    const CommandLine parsed
        = CommandLine::parse(QStringList { "lumora" } + arguments, QStringLiteral("9.8.7"));
    QCOMPARE(int(parsed.action), action);
    QCOMPARE(parsed.file, file);
    QCOMPARE(parsed.soundFont, soundFont);
    QVERIFY2(parsed.text.contains(textContains), qPrintable(parsed.text));
}

void TestStartup::unplayableFilesSayWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // written to the name first, unless null
    QTest::addColumn<QString>("why");

    QTest::newRow("missing") << "gone.mid" << QByteArray() << "no such file";
    QTest::newRow("a folder") << "." << QByteArray() << "not a file";
    QTest::newRow("not MIDI") << "notes.mid" << QByteArray("hello, these are my notes\n")
                              << "header";
}

void TestStartup::unplayableFilesSayWhy()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);

    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (!bytes.isNull())
        writeFile(path, bytes);
    const QString said = whyUnplayable(path);
    QVERIFY2(said.contains(why, Qt::CaseInsensitive), qPrintable(said));
    QCOMPARE(whyUnplayable(demoSong()), QString());
}

void TestStartup::songsAreFoundWorkingFolderFirst_data()
{
    QTest::addColumn<bool>("inWorking");
    QTest::addColumn<bool>("inInstalled");
    QTest::addColumn<QString>("foundIn");

    QTest::newRow("both: the working folder's copy wins") << true << true << "working";
    QTest::newRow("only the working folder") << true << false << "working";
    QTest::newRow("only the installed folder") << false << true << "installed";
    QTest::newRow("neither: as the working folder names it") << false << false << "working";
}

void TestStartup::songsAreFoundWorkingFolderFirst()
{
    QFETCH(bool, inWorking);
    QFETCH(bool, inInstalled);
    QFETCH(QString, foundIn);

    QTemporaryDir working, installed;
    if (inWorking)
        writeFile(working.filePath("k58belfr.mid"), "MThd");
    if (inInstalled)
        writeFile(installed.filePath("k58belfr.mid"), "MThd");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(working.path());
    const QString found
        = DataFolders::locate(QStringLiteral("k58belfr.mid"), { working.path(), installed.path() });
    const QString absolute = DataFolders::locate(demoSong(), { working.path(), installed.path() });
    QDir::setCurrent(previous);

    const QString folder = foundIn == QLatin1String("working") ? working.path() : installed.path();
    QCOMPARE(found, QDir(folder).filePath("k58belfr.mid"));
    QCOMPARE(absolute, demoSong());
}

void TestStartup::picturesAreFoundWorkingFolderFirst_data()
{
    songsAreFoundWorkingFolderFirst_data();
}

void TestStartup::picturesAreFoundWorkingFolderFirst()
{
    QFETCH(bool, inWorking);
    QFETCH(bool, inInstalled);
    QFETCH(QString, foundIn);

    QTemporaryDir working, installed;
    // Two pictures told apart by their width; the lookup ignores letter case in both folders.
    if (inWorking)
        QVERIFY(QImage(11, 5, QImage::Format_RGB32).save(working.filePath("FIRSTui.jpg")));
    if (inInstalled)
        QVERIFY(QImage(22, 5, QImage::Format_RGB32).save(installed.filePath("firstui.JPG")));
    ThrowingErrorReporter errors;
    FilePictureLoader loader(errors, working.path());
    loader.setFallbackFolders({ installed.path() });
    if (!inWorking && !inInstalled) {
        try {
            loader.load(QStringLiteral("FirstUI.jpg"));
            QFAIL("a picture missing from both folders raised no error");
        } catch (const RuntimeErrorRaised& error) {
            const QString message = QString::fromStdString(error.what());
            QVERIFY2(message.contains(working.path()) && message.contains(installed.path())
                    && message.contains("FirstUI.jpg"),
                qPrintable(message));
        }
        return;
    }
    const int width = loader.load(QStringLiteral("FirstUI.jpg")).width();
    QCOMPARE(width, foundIn == QLatin1String("working") ? 11 : 22);
}

void TestStartup::soundFontsAreTriedInOrder()
{
    QTemporaryDir working, installed;
    writeFile(working.filePath("b.sf3"), "x");
    writeFile(working.filePath("a.sf2"), "x");
    writeFile(working.filePath("notes.txt"), "x");
    writeFile(installed.filePath("c.sf2"), "x");

    const QStringList candidates
        = DataFolders::soundFontCandidates(QStringLiteral("/fonts/chosen.sf2"),
            QStringLiteral("/fonts/env.sf2"), { working.path(), installed.path() });
    const QStringList expected { "/fonts/chosen.sf2", "/fonts/env.sf2", working.filePath("a.sf2"),
        working.filePath("b.sf3"), installed.filePath("c.sf2") };
    QCOMPARE(candidates, expected);
    QCOMPARE(DataFolders::soundFontCandidates({}, {}, {}), QStringList());
}

void TestStartup::aSoundFontThatDoesNotLoadGivesWayToTheNext_data()
{
    QTest::addColumn<QStringList>("candidates"); // "broken" and "missing" name files made so
    QTest::newRow("nothing chosen: the default") << QStringList {};
    QTest::newRow("a broken one") << QStringList { "broken" };
    QTest::newRow("a missing one, then a broken one") << QStringList { "missing", "broken" };
}

// A SoundFont that does not load is named once and the next one is tried; the songs of the menus
// are named bare, and the media control finds them where it is told to look.
void TestStartup::aSoundFontThatDoesNotLoadGivesWayToTheNext()
{
    QFETCH(QStringList, candidates);
    if (Synth::findDefaultSoundFont().empty())
        QSKIP("no default SoundFont here");
    QTemporaryDir dir;
    writeFile(dir.filePath("broken"), QByteArray("RIFF-sfbk, not really"));
    writeFile(dir.filePath("piano.mid"), SmfWriter().melody(0, 4, 250).endAt(1000).bytes());

    WarningCapture capture;
    EngineSetup setup;
    for (const QString& name : candidates)
        setup.soundFontCandidates.push_back(dir.filePath(name).toStdString());
    setup.loadSynchronously = true;
    setup.locateFile
        = [&dir](const QString& name) { return DataFolders::locate(name, { dir.path() }); };
    ManualClockRig rig(std::move(setup));

    QCOMPARE(capture.warnings().size(), candidates.size());
    for (int i = 0; i < candidates.size(); ++i) {
        QVERIFY2(capture.warnings()[i].contains(dir.filePath(candidates[i]))
                && capture.warnings()[i].contains("trying the next one"),
            qPrintable(capture.joined()));
    }
    rig.media->setFileName(QStringLiteral("piano.mid"));
    rig.media->setCommand(QStringLiteral("Open"));
    rig.media->setCommand(QStringLiteral("Play"));
    QCOMPARE(rig.media->openFilePath(), dir.filePath("piano.mid"));
    float peak = 0.0f;
    for (int i = 0; i < 10; ++i)
        peak = std::max(peak, rig.output->pullMs(100).peak);
    QVERIFY2(peak > 0.01f, "silent after a SoundFont that did not load");
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

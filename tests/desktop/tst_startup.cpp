#include "app/desktop/commandline.h"
#include "app/desktop/datafolders.h"
#include "app/desktop/sessionbus.h"
#include "app/pictureloader.h"
#include "engine/synth/synth.h"
#include "manualclockrig.h"
#include "media/filenames.h"
#include "media/songfilecheck.h"
#include "scriptedservices.h"
#include "smfwriter.h"
#include "testwait.h"
#include "warningcapture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <future>
#include <thread>

namespace {

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
    void theFileIsReadOffTheUiThreadBeforeTheBusIsAsked_data();
    void theFileIsReadOffTheUiThreadBeforeTheBusIsAsked();
    void fileNamesAreBytes_data();
    void fileNamesAreBytes();
    void filesAreFoundWorkingFolderFirst_data();
    void filesAreFoundWorkingFolderFirst();
    void aSoundFontThatDoesNotLoadGivesWayToTheNext();
};

void TestStartup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("says"); // in the text to print, or why the file cannot be played

    const int run = int(CommandLine::Action::Run), fail = int(CommandLine::Action::Fail);
    const QString song = qEnvironmentVariable("LUMORA_SOURCE_DIR") + "/data/k58belfr.mid";
    QTest::newRow("nothing") << QStringList {} << run << QString() << QString();
    QTest::newRow("a song") << QStringList { "--soundfont", "a.sf2", song } << run << song
                            << QString();
    QTest::newRow("a missing file, made absolute")
        << QStringList { "gone.mid" } << run << QDir::current().filePath("gone.mid")
        << "no such file";
    QTest::newRow("not MIDI") << QStringList { "/etc/passwd" } << run << "/etc/passwd"
                              << "no MThd header";
    QTest::newRow("a folder") << QStringList { "/tmp" } << run << "/tmp"
                              << "not a file";
    QTest::newRow("help") << QStringList { "--help" } << int(CommandLine::Action::ShowHelp)
                          << QString() << "lumora [options] [FILE]";
    QTest::newRow("help wins") << QStringList { "--loud", "-h" }
                               << int(CommandLine::Action::ShowHelp) << QString() << "--soundfont";
    QTest::newRow("version") << QStringList { "--version" } << int(CommandLine::Action::ShowVersion)
                             << QString() << "lumora 9.8";
    QTest::newRow("unknown option") << QStringList { "--loud" } << fail << QString() << "'loud'";
    QTest::newRow("two files") << QStringList { "a.mid", "b.mid" } << fail << QString()
                               << "one FILE at most";
    QTest::newRow("a dash: an unknown option, not help by its h")
        << QStringList { "-dash.mid" } << fail << QString() << "'dash.mid'";
    QTest::newRow("a dash after --") << QStringList { "--", "-dash.mid" } << run
                                     << QDir::current().filePath("-dash.mid") << "no such file";
    QTest::newRow("a Latin-1 name")
        << QStringList { FileNames::fromBytes("/gone/caf\xe9.mid") } << run
        << FileNames::fromBytes("/gone/caf\xe9.mid") << "no such file";
    QTest::newRow("a symbolic link loop")
        << QStringList { "loop.mid" } << run << QDir::current().filePath("loop.mid")
        << "too many levels of symbolic links";
}

void TestStartup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, file);
    QFETCH(QString, says);

    QTemporaryDir dir;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile::link("loop.mid", "loop.mid");
    file.replace(previousDir, dir.path());
    const CommandLine parsed = CommandLine::parse(QStringList { "lumora" } + arguments, "9.8");
    QDir::setCurrent(previousDir);
    QCOMPARE(int(parsed.action), action);
    QCOMPARE(parsed.file, file);
    const QString said = file.isEmpty() ? parsed.text : SongFileCheck::whyUnplayable(file);
    QVERIFY2(says.isEmpty() ? said.isEmpty() : said.contains(says), qPrintable(said));
}

void TestStartup::theFileIsReadOffTheUiThreadBeforeTheBusIsAsked_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("why"); // the reader's verdict on it
    QTest::addColumn<QString>("handed"); // what the bus is to hand to a running player
    QTest::addColumn<bool>("handOver");

    QTest::newRow("no file: a running player is raised")
        << QString() << QString() << QString() << true;
    QTest::newRow("a song: handed over") << "/m/song.mid" << QString() << "/m/song.mid" << true;
    QTest::newRow("a file that cannot be played: a running player is left alone")
        << "/m/bad.mid"
        << "no MThd header" << QString() << false;
}

// A large song takes a while to read, and the window does not wait for it: the file is read on the
// thread that then asks the bus, and its verdict decides what the bus is asked.
void TestStartup::theFileIsReadOffTheUiThreadBeforeTheBusIsAsked()
{
    QFETCH(QString, file);
    QFETCH(QString, why);
    QFETCH(QString, handed);
    QFETCH(bool, handOver);

    std::promise<void> readingMayEnd;
    const std::shared_future<void> readingEnds = readingMayEnd.get_future().share();
    std::thread::id readOn;
    bool read = false, askedAfterReading = false, askedHandOver = !handOver;
    QString askedFile = "not asked";
    const auto check = [&](const QString& path) {
        readOn = std::this_thread::get_id();
        readingEnds.wait_for(std::chrono::milliseconds(TestWait::ceilingMs));
        read = path == file;
        return why;
    };
    const auto request = [&](const QString& path, bool mayHandOver) {
        askedAfterReading = read;
        askedFile = path;
        askedHandOver = mayHandOver;
        return SessionBus::Arrival { SessionBus::Arrival::Outcome::NameTaken, {} };
    };
    std::future<SessionBus::Start> arrival = SessionBus::arriveInBackground(file, check, request);
    const bool uiThreadFreeWhileReading
        = arrival.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
    readingMayEnd.set_value();
    const SessionBus::Start start = arrival.get();

    QCOMPARE(start.whyUnplayable, why);
    QCOMPARE(start.arrival.outcome, SessionBus::Arrival::Outcome::NameTaken);
    QCOMPARE(askedFile, handed);
    QCOMPARE(askedHandOver, handOver);
    if (file.isEmpty())
        return;
    QVERIFY2(uiThreadFreeWhileReading, "the caller waited for the file to be read");
    QVERIFY(readOn != std::this_thread::get_id());
    QVERIFY2(askedAfterReading, "the bus was asked before the file was read");
}

void TestStartup::fileNamesAreBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("uri");

    QTest::newRow("UTF-8") << QByteArray("/m/Café Nuit.mid") << "file:///m/Caf%C3%A9%20Nuit.mid";
    QTest::newRow("Latin-1") << QByteArray("/m/caf\xe9.mid") << "file:///m/caf%E9.mid";
    QTest::newRow("cut short at the end") << QByteArray("/m/\xe2\x82") << "file:///m/%E2%82";
    QTest::newRow("overlong slash") << QByteArray("/m/\xc0\xaf") << "file:///m/%C0%AF";
    QTest::newRow("an encoded surrogate") << QByteArray("/m/\xed\xb3\xa9") << "file:///m/%ED%B3%A9";
    QTest::newRow("four bytes") << QByteArray("/m/\xf0\x9f\x8e\xb5") << "file:///m/%F0%9F%8E%B5";
}

// A name goes from bytes to a string and back, and through a file:// URI, without loss; what is
// UTF-8 reads as itself.
void TestStartup::fileNamesAreBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, uri);

    const QString name = FileNames::fromBytes(bytes);
    QCOMPARE(FileNames::toBytes(name), bytes);
    QCOMPARE(FileNames::toUri(name), uri);
    QCOMPARE(FileNames::fromUri(uri), name);
    if (QString::fromUtf8(bytes).toUtf8() == bytes)
        QCOMPARE(name, QString::fromUtf8(bytes));
    else
        QVERIFY(!name.contains(QChar::ReplacementCharacter));
}

void TestStartup::filesAreFoundWorkingFolderFirst_data()
{
    QTest::addColumn<bool>("inWorking");
    QTest::addColumn<bool>("inInstalled");

    QTest::newRow("both: the working folder's copy wins") << true << true;
    QTest::newRow("only the working folder") << true << false;
    QTest::newRow("only the installed folder") << false << true;
    QTest::newRow("neither") << false << false;
}

void TestStartup::filesAreFoundWorkingFolderFirst()
{
    QFETCH(bool, inWorking);
    QFETCH(bool, inInstalled);

    QTemporaryDir working, installed;
    const QStringList folders { working.path(), installed.path() };
    // Told apart by their widths; the pictures' lookup ignores letter case in both folders.
    if (inWorking) {
        writeFile(working.filePath("k58belfr.mid"), "MThd");
        QVERIFY(QImage(11, 5, QImage::Format_RGB32).save(working.filePath("FIRSTui.jpg")));
    }
    if (inInstalled) {
        writeFile(installed.filePath("k58belfr.mid"), "MThd");
        QVERIFY(QImage(22, 5, QImage::Format_RGB32).save(installed.filePath("firstui.JPG")));
    }
    const QString song = DataFolders::locate("k58belfr.mid", folders);
    ThrowingErrorReporter errors;
    FilePictureLoader loader(errors, working.path());
    loader.setFallbackFolders({ installed.path() });
    if (!inWorking && !inInstalled) {
        try {
            loader.load(QStringLiteral("FirstUI.jpg"));
            QFAIL("a picture missing from both folders raised no error");
        } catch (const RuntimeErrorRaised& error) {
            const QString message = QString::fromStdString(error.what());
            QVERIFY2(message.contains(working.path()) && message.contains(installed.path()),
                qPrintable(message));
        }
        return;
    }
    QCOMPARE(song, QDir(inWorking ? working.path() : installed.path()).filePath("k58belfr.mid"));
    QCOMPARE(loader.load(QStringLiteral("FirstUI.jpg")).width(), inWorking ? 11 : 22);
}

// The command line's choice, then $LUMORA_SOUNDFONT, then a SoundFont beside the songs, then the
// default: one that does not load is named once and the next one is tried. The songs of the menus
// are named bare, and the media control finds them where it is told to look.
void TestStartup::aSoundFontThatDoesNotLoadGivesWayToTheNext()
{
    if (Synth::findDefaultSoundFont().empty())
        QSKIP("no default SoundFont here");
    QTemporaryDir dir;
    writeFile(dir.filePath("broken.sf2"), "RIFF-sfbk, not really");
    writeFile(dir.filePath("piano.mid"), SmfWriter().melody(0, 4, 250).endAt(1000).bytes());
    const QStringList candidates
        = DataFolders::soundFontCandidates("/gone/chosen.sf2", "/gone/env.sf3", { dir.path() });
    QCOMPARE(candidates,
        QStringList({ "/gone/chosen.sf2", "/gone/env.sf3", dir.filePath("broken.sf2") }));

    WarningCapture capture;
    EngineSetup setup;
    for (const QString& candidate : candidates)
        setup.soundFontCandidates.push_back(candidate.toStdString());
    setup.loadSynchronously = true;
    setup.locateFile
        = [&dir](const QString& name) { return DataFolders::locate(name, { dir.path() }); };
    ManualClockRig rig(std::move(setup));
    QCOMPARE(capture.warnings().size(), candidates.size());
    for (int i = 0; i < candidates.size(); ++i)
        QVERIFY(capture.warnings()[i].contains(candidates[i] + " : ")
            && capture.warnings()[i].endsWith("trying the next one"));

    rig.media->setFileName(QStringLiteral("piano.mid"));
    rig.media->setCommand(QStringLiteral("Open"));
    rig.media->setCommand(QStringLiteral("Play"));
    QCOMPARE(rig.media->openFilePath(), dir.filePath("piano.mid"));
    float peak = 0.0f;
    for (int i = 0; i < 10; ++i)
        peak = std::max(peak, rig.output->pullMs(100).peak);
    QVERIFY2(peak > 0.01f, "silent after SoundFonts that did not load");
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

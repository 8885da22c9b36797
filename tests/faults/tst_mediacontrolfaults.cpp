// What the media control does when the world around it misbehaves: song files that change or
// vanish after Open, SoundFonts that are not SoundFonts, huge files of noise, folders and pipes
// where a song should be, and names outside plain ASCII. Every case has one defined outcome.
// The audio server dying in the middle of a song is covered with real sound, in
// tests/mediacontrol/tst_mediacontrolsound.cpp (timelineGoesOnWhenTheServerDies).

#include "manualclockrig.h"
#include "smfwriter.h"
#include "testwait.h"
#include "warningcapture.h"

#include "engine/output/manualaudiooutput.h"
#include "engine/synth/synth.h"
#include "media/enginemediacontrol.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int songMs = 1000;
constexpr int otherSongMs = 400;
constexpr int never = 3600 * 1000;

struct Rig : ManualClockRig {
    using ManualClockRig::ManualClockRig;

    void open(const QString& path)
    {
        media->setFileName(path);
        media->setCommand("Open");
    }
    // Runs the clock until the song has played to its end, or for a bounded while: the loudest
    // sample on the way.
    float playToEnd()
    {
        media->setCommand("Play");
        float peak = 0.0f;
        for (int i = 0; i < 100 && media->position() < media->length(); ++i)
            peak = std::max(peak, output->pullMs(100).peak);
        return peak;
    }
};

Rig makeRig(EngineSetup setup)
{
    setup.statusIntervalMs = never;
    return Rig(std::move(setup));
}

EngineSetup silentSetup()
{
    EngineSetup setup;
    setup.withoutSynth = true;
    return setup;
}

bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size();
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// The highest resident memory of the process so far, from the kernel.
qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class TestMediaControlFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void songFileChangesAfterOpen_data();
    void songFileChangesAfterOpen();
    void brokenSoundFontPlaysSilently_data();
    void brokenSoundFontPlaysSilently();
    void soundFontChangesAfterLoad_data();
    void soundFontChangesAfterLoad();
    void hugeFileOfNoiseIsRefusedUnread();
    void notAFileIsRefused_data();
    void notAFileIsRefused();
    void namesBeyondAsciiPlay_data();
    void namesBeyondAsciiPlay();

private:
    QTemporaryDir m_dir;
    QByteArray m_song;
    QByteArray m_otherSong;
};

void TestMediaControlFaults::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_song = SmfWriter().melody(0, 4, 250).endAt(songMs).bytes();
    m_otherSong = SmfWriter().melody(0, 2, 200).endAt(otherSongMs).bytes();
}

// A song is read whole when it is opened and plays from memory: whatever happens to its file
// afterwards, the open song plays on to its own end. The next Open reads the file as it is then.
void TestMediaControlFaults::songFileChangesAfterOpen_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("reopenedLength"); // -1: the next Open is refused
    QTest::addColumn<QString>("reopenWarning");
    QTest::newRow("deleted") << "delete" << -1 << "no such file";
    QTest::newRow("replaced by another song") << "replace" << otherSongMs << "";
    QTest::newRow("overwritten with noise") << "noise" << -1 << "not a MIDI file";
    QTest::newRow("truncated to nothing") << "truncate" << -1 << "empty file";
    QTest::newRow("replaced by a folder") << "folder" << -1 << "is a folder";
}

void TestMediaControlFaults::songFileChangesAfterOpen()
{
    QFETCH(QString, change);
    QFETCH(int, reopenedLength);
    QFETCH(QString, reopenWarning);
    const QString path = m_dir.filePath("changing " + change + ".mid");
    QVERIFY(writeFile(path, m_song));
    Rig rig = makeRig(silentSetup());
    WarningCapture capture;
    rig.open(path);
    rig.media->setCommand("Play");
    rig.output->pullMs(300);

    QVERIFY(QFile::remove(path));
    if (change == "replace")
        QVERIFY(writeFile(path, m_otherSong));
    else if (change == "noise")
        QVERIFY(writeFile(path, randomBytes(4096, 7)));
    else if (change == "truncate")
        QVERIFY(writeFile(path, QByteArray()));
    else if (change == "folder")
        QVERIFY(QDir().mkdir(path));

    QCOMPARE(rig.media->length(), songMs);
    rig.playToEnd();
    QCOMPARE(rig.media->position(), songMs);
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.joined()));

    rig.media->setCommand("Close");
    rig.open(path);
    if (reopenedLength < 0) {
        QVERIFY(!rig.media->isOpen());
        QVERIFY2(capture.joined().contains(reopenWarning), qPrintable(capture.joined()));
        return;
    }
    QCOMPARE(rig.media->length(), reopenedLength);
    rig.playToEnd();
    QCOMPARE(rig.media->position(), reopenedLength);
}

// A SoundFont that cannot be loaded costs the sound, never the player: one warning names the
// file, and songs open and play to their end on time, silently.
void TestMediaControlFaults::brokenSoundFontPlaysSilently_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("synchronously");
    const QByteArray riffOnly = QByteArray("RIFF\x04\x00\x00\x00sfbk", 12);
    const QByteArray badList
        = QByteArray("RIFF\x20\x00\x00\x00sfbkLIST\xff\xff\xff\x7fINFO", 24) + randomBytes(16, 3);
    for (bool synchronously : { true, false }) {
        const char* how = synchronously ? "loaded at once" : "loaded in the background";
        QTest::addRow("empty, %s", how) << QByteArray() << synchronously;
        QTest::addRow("text, %s", how) << QByteArray("not a SoundFont\n") << synchronously;
        QTest::addRow("noise, %s", how) << randomBytes(65536, 11) << synchronously;
        QTest::addRow("header only, %s", how) << riffOnly << synchronously;
        QTest::addRow("chunk longer than the file, %s", how) << badList << synchronously;
    }
}

void TestMediaControlFaults::brokenSoundFontPlaysSilently()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, synchronously);
    const QString fontPath = m_dir.filePath("broken font.sf2");
    const QString songPath = m_dir.filePath("for broken font.mid");
    QVERIFY(writeFile(fontPath, contents));
    QVERIFY(writeFile(songPath, m_song));

    WarningCapture capture;
    EngineSetup setup;
    setup.soundFont = fontPath.toStdString();
    setup.loadSynchronously = synchronously;
    Rig rig = makeRig(std::move(setup));
    QSignalSpy ready(rig.media.get(), &EngineMediaControl::synthReady);
    if (!synchronously)
        QVERIFY(ready.wait(TestWait::ceilingMs));
    QVERIFY(rig.media->isSynthReady());
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY2(capture.joined().contains(fontPath), qPrintable(capture.joined()));
    QVERIFY2(capture.joined().contains("silently"), qPrintable(capture.joined()));

    rig.open(songPath);
    QVERIFY(rig.media->isOpen());
    QCOMPARE(rig.output->pullMs(100).peak, 0.0f);
    QCOMPARE(rig.playToEnd(), 0.0f);
    QCOMPARE(rig.media->position(), songMs);
    QCOMPARE(capture.warnings().size(), 1);
}

// Samples load per preset long after the SoundFont itself, when a song first needs them. The
// synth keeps reading the file it loaded whatever happens to its name; a file cut short in place
// leaves the songs silent. Either way the song plays to its end.
void TestMediaControlFaults::soundFontChangesAfterLoad_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("audible");
    QTest::newRow("deleted") << "delete" << true;
    QTest::newRow("replaced by noise") << "replace" << true;
    QTest::newRow("cut short in place") << "truncate" << false;
}

void TestMediaControlFaults::soundFontChangesAfterLoad()
{
    QFETCH(QString, change);
    QFETCH(bool, audible);
    const QString real = QString::fromStdString(Synth::findDefaultSoundFont());
    if (real.isEmpty())
        QSKIP("no SoundFont here");
    const QString font = m_dir.filePath("changing font " + change + ".sf2");
    // Only a copy of our own may be cut short.
    QVERIFY(change == "truncate" ? QFile::copy(real, font) : QFile::link(real, font));
    const QString piano = m_dir.filePath("piano.mid");
    const QString organ = m_dir.filePath("organ.mid");
    QVERIFY(writeFile(piano, m_song));
    QVERIFY(writeFile(organ, SmfWriter().program(0, 19).melody(0, 4, 250).endAt(songMs).bytes()));

    EngineSetup setup;
    setup.soundFont = font.toStdString();
    setup.loadSynchronously = true;
    Rig rig = makeRig(std::move(setup));
    rig.open(piano);
    QVERIFY(rig.playToEnd() > 0.01f);
    rig.media->setCommand("Close");
    rig.output->pullMs(3000);

    if (change == "truncate") {
        QVERIFY(QFile::resize(font, 1 << 20));
    } else {
        QVERIFY(QFile::remove(font));
        if (change == "replace") {
            const QString noise = m_dir.filePath("noise.sf2");
            QVERIFY(writeFile(noise, randomBytes(1 << 20, 5)));
            QVERIFY(QFile::rename(noise, font));
        }
    }
    rig.open(organ);
    const float peak = rig.playToEnd();
    QCOMPARE(rig.media->position(), songMs);
    // No note sounds without samples; what the reverb still held of the first song may.
    QVERIFY2(audible ? peak > 0.01f : peak < 0.005f, qPrintable(QString::number(peak)));
    if (change == "truncate")
        QVERIFY(QFile::remove(font));
}

// Far beyond any song: refused by its size alone, before a byte of it is read into memory.
void TestMediaControlFaults::hugeFileOfNoiseIsRefusedUnread()
{
    const QString path = m_dir.filePath("noise.mid");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const int chunk = 1 << 20;
        for (int i = 0; i < 100; ++i)
            QCOMPARE(file.write(randomBytes(chunk, quint32(i))), qint64(chunk));
    }
    Rig rig = makeRig(silentSetup());
    WarningCapture capture;
    const qint64 peakBefore = peakResidentKb();
    rig.open(path);
    const qint64 peakAfter = peakResidentKb();

    QVERIFY(!rig.media->isOpen());
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY2(capture.joined().contains("noise.mid"), qPrintable(capture.joined()));
    QVERIFY2(capture.joined().contains("too large"), qPrintable(capture.joined()));
    QVERIFY(peakBefore > 0);
    QVERIFY2(peakAfter - peakBefore < 8 * 1024,
        qPrintable(QStringLiteral("peak grew by %1 kB").arg(peakAfter - peakBefore)));
}

// Opening a folder or a pipe is refused with the reason, and never waits for a writer.
void TestMediaControlFaults::notAFileIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder named like a song") << "folder"
                                              << "is a folder";
    QTest::newRow("named pipe") << "pipe"
                                << "not a regular file";
    QTest::newRow("device") << "device"
                            << "not a regular file";
}

void TestMediaControlFaults::notAFileIsRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QString path = m_dir.filePath(kind + ".mid");
    if (kind == "folder")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        path = QStringLiteral("/dev/zero");
    Rig rig = makeRig(silentSetup());
    WarningCapture capture;
    rig.open(path);

    QVERIFY(!rig.media->isOpen());
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY2(capture.joined().contains(path), qPrintable(capture.joined()));
    QVERIFY2(capture.joined().contains(reason), qPrintable(capture.joined()));
}

// Names are handed to the file system as they are: spaces, accents and other scripts play.
void TestMediaControlFaults::namesBeyondAsciiPlay_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << ""
                            << "  my song  01 .mid";
    QTest::newRow("accents") << "" << QStringLiteral("Café crème – Ünïcödé.mid");
    QTest::newRow("other scripts") << "" << QStringLiteral("Песня 歌曲 ἀοιδή.mid");
    QTest::newRow("in a folder with spaces and accents")
        << QStringLiteral("Chansons d'été") << QStringLiteral("Fête à la plage.mid");
}

void TestMediaControlFaults::namesBeyondAsciiPlay()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QDir dir(m_dir.path());
    if (!folder.isEmpty()) {
        QVERIFY(dir.mkpath(folder));
        QVERIFY(dir.cd(folder));
    }
    const QString path = dir.filePath(name);
    QVERIFY(writeFile(path, m_song));
    Rig rig = makeRig(silentSetup());
    WarningCapture capture;

    // Both ways the window names a song: a full path, and a bare name in the working folder.
    for (const QString& given : { path, name }) {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        rig.open(given);
        QDir::setCurrent(previous);
        QVERIFY2(rig.media->isOpen(), qPrintable(capture.joined()));
        QCOMPARE(rig.media->fileName(), given);
        QCOMPARE(rig.media->length(), songMs);
        rig.playToEnd();
        QCOMPARE(rig.media->position(), songMs);
        rig.media->setCommand("Close");
    }
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.joined()));
}

QTEST_MAIN(TestMediaControlFaults)
#include "tst_mediacontrolfaults.moc"

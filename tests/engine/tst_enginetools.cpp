#include "midibuilder.h"
#include "testwait.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Track = MidiTrackBuilder;

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(TestWait::scaled(60000));
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) };
}

QByteArray shortSong()
{
    return MidiBuilder(1, 96)
        .track(Track().tempo(0, 250000).endOfTrack())
        .track(Track()
                   .noteOn(0, 0, 60)
                   .noteOff(96, 0, 60)
                   .noteOn(0, 0, 64)
                   .noteOff(96, 0, 64)
                   .endOfTrack())
        .bytes();
}

quint32 le32(const QByteArray& bytes, int at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8
        | quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
}

} // namespace

class TestEngineTools : public QObject {
    Q_OBJECT

private slots:
    void describesFiles_data();
    void describesFiles();
    void rendersWav();
    void renderFailsWithReason();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir m_dir;
};

QString TestEngineTools::write(const QString& name, const QByteArray& bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void TestEngineTools::describesFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("format 1") << shortSong() << 0
                              << QStringList { "format=1", "tracks=2", "division=96", "events=7",
                                     "length_ms=500" };
    QTest::newRow("SMPTE 29.97")
        << MidiBuilder(0, MidiBuilder::smpte(29, 100)).track(Track().endOfTrack(30000)).bytes() << 0
        << QStringList { "format=0", "division=smpte:29.97:100", "events=1", "length_ms=10010" };
    QTest::newRow("not MIDI") << QByteArray("hello") << 1 << QStringList();
}

void TestEngineTools::describesFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    Run result = run(LUMORA_MIDI_INFO, { write("info.mid", file) });
    QCOMPARE(result.exitCode, exitCode);
    const QStringList out = result.out.split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines)
        QVERIFY2(out.contains(line), qPrintable(result.out));
    if (exitCode != 0) {
        QVERIFY(result.out.isEmpty());
        QCOMPARE(result.err.count('\n'), 1);
    }
}

void TestEngineTools::rendersWav()
{
    if (!QFile::exists("/usr/share/sounds/sf2/default-GM.sf2"))
        QSKIP("no General MIDI SoundFont installed");
    const QString wavPath = m_dir.filePath("out.wav");
    Run result = run(LUMORA_RENDER, { write("render.mid", shortSong()), wavPath });
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QFile wav(wavPath);
    QVERIFY(wav.open(QIODevice::ReadOnly));
    QByteArray bytes = wav.readAll();
    QVERIFY(bytes.startsWith("RIFF"));
    QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(le32(bytes, 24), 44100u);
    QCOMPARE(le32(bytes, 40), quint32(bytes.size() - 44));
    const qint64 frames = (bytes.size() - 44) / 4;
    QVERIFY(frames >= 22050); // the song, then its ring-out
    QVERIFY(frames <= 22050 + 6 * 44100);
    const auto* samples = reinterpret_cast<const qint16*>(bytes.constData() + 44);
    int loudest = 0;
    for (qint64 i = 0; i < frames * 2; ++i)
        loudest = std::max(loudest, std::abs(int(samples[i])));
    QVERIFY(loudest > 300);
}

void TestEngineTools::renderFailsWithReason()
{
    const QString song = write("fail.mid", shortSong());
    Run badFont = run(LUMORA_RENDER, { song, m_dir.filePath("x.wav"), "/nonexistent.sf2" });
    QCOMPARE(badFont.exitCode, 1);
    QVERIFY(badFont.err.contains("SoundFont"));
    Run badSong = run(LUMORA_RENDER, { write("bad.mid", "junk"), m_dir.filePath("y.wav") });
    QCOMPARE(badSong.exitCode, 1);
    QVERIFY(!QFile::exists(m_dir.filePath("y.wav")));
}

QTEST_GUILESS_MAIN(TestEngineTools)
#include "tst_enginetools.moc"

#include "midibuilder.h"

#include "engine/midi/song.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

namespace {

using Track = MidiTrackBuilder;

// Two notes, one quarter (96 ticks at the builders' usual division) each, then End of Track.
Track twoNotes(int channel = 0)
{
    return Track()
        .noteOn(0, channel, 60)
        .noteOff(96, channel, 60)
        .noteOn(0, channel, 62)
        .noteOff(96, channel, 62)
        .endOfTrack();
}

QByteArray withOddSize(MidiBuilder builder, Track track)
{
    QByteArray even = MidiBuilder(builder).track(track).bytes();
    if (even.size() % 2)
        return even;
    return builder.track(Track(track).meta(0, 0x01, "x")).bytes();
}

QByteArray truncatedTrack()
{
    QByteArray file = MidiBuilder(0, 96).track(twoNotes()).bytes();
    file.chop(5); // End of Track and the last data byte of the final note-off
    return file;
}

// One more program change than the reader takes, each two bytes under running status.
QByteArray tooManyEvents()
{
    const int events = 4 * 1024 * 1024 + 1;
    QByteArray body("\x00\xc0\x00", 3);
    body.append(QByteArray(2 * (events - 1), '\0'));
    return MidiBuilder(0, 96).track(Track().bytes(body).endOfTrack()).bytes();
}

SongLoadResult load(const QByteArray& bytes)
{
    return loadSongFromBytes(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}

} // namespace

class TestMidiReader : public QObject {
    Q_OBJECT

private slots:
    void readsLeniently_data();
    void readsLeniently();
    void rejectsWithReason_data();
    void rejectsWithReason();
    void timesEvents_data();
    void timesEvents();
    void loadsFiles_data();
    void loadsFiles();
    void listsProgramsUsed();
};

void TestMidiReader::readsLeniently_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("tracks");
    QTest::addColumn<int>("channelEvents");
    QTest::addColumn<qint64>("lengthUs");

    QTest::newRow("format 0") << MidiBuilder(0, 96).track(twoNotes()).bytes() << 1 << 4
                              << qint64(1000000);
    // 960 ticks at 120 bpm (1 s), 480 at 240 bpm (0.25 s), 480 at 60 bpm to the last note
    // (1 s), then End of Track 480 ticks later (1 s).
    QTest::newRow("format 1 tempo map")
        << MidiBuilder(1, 480)
               .track(Track().tempo(0, 500000).tempo(960, 250000).tempo(480, 1000000).endOfTrack())
               .track(Track().noteOn(0, 0, 60).noteOff(1920, 0, 60).endOfTrack(480))
               .bytes()
        << 2 << 2 << qint64(3250000);
    // 7 ticks of 333333 us and 5 of 500001 at 96 per quarter: 50347.25 us. Rounding each
    // segment on its own would drift to 50346.
    QTest::newRow("tempo map without drift")
        << MidiBuilder(0, 96).track(Track().tempo(0, 333333).tempo(7, 500001).endOfTrack(5)).bytes()
        << 1 << 0 << qint64(50347);
    QTest::newRow("tempo map in a later track")
        << MidiBuilder(1, 96)
               .track(twoNotes())
               .track(Track().tempo(96, 250000).endOfTrack())
               .bytes()
        << 2 << 4 << qint64(750000);
    QTest::newRow("format 2 patterns in sequence")
        << MidiBuilder(2, 96)
               .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60).endOfTrack(96))
               .track(Track().tempo(0, 250000).noteOn(0, 0, 62).noteOff(96, 0, 62).endOfTrack())
               .bytes()
        << 2 << 4 << qint64(1250000);
    QTest::newRow("format 2 tempo carries over")
        << MidiBuilder(2, 96)
               .track(Track().tempo(0, 1000000).endOfTrack(96))
               .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60).endOfTrack())
               .bytes()
        << 2 << 2 << qint64(2000000);
    QTest::newRow("SMPTE 24 fps ignores tempo")
        << MidiBuilder(0, MidiBuilder::smpte(24, 10))
               .track(Track().tempo(0, 250000).noteOn(0, 0, 60).noteOff(240, 0, 60).endOfTrack())
               .bytes()
        << 1 << 2 << qint64(1000000);
    QTest::newRow("SMPTE 25 fps")
        << MidiBuilder(0, MidiBuilder::smpte(25, 40))
               .track(Track().noteOn(0, 0, 60).noteOff(1234, 0, 60).endOfTrack())
               .bytes()
        << 1 << 2 << qint64(1234000);
    QTest::newRow("SMPTE 29.97 drop-frame")
        << MidiBuilder(0, MidiBuilder::smpte(29, 100)).track(Track().endOfTrack(30000)).bytes() << 1
        << 0 << qint64(10010000);
    QTest::newRow("SMPTE 30 fps")
        << MidiBuilder(0, MidiBuilder::smpte(30, 80)).track(Track().endOfTrack(2400)).bytes() << 1
        << 0 << qint64(1000000);
    QTest::newRow("running status")
        << MidiBuilder(0, 96)
               .track(
                   Track().noteOn(0, 0, 60).raw(10, { 62, 100 }).raw(10, { 64, 100 }).endOfTrack())
               .bytes()
        << 1 << 3 << qint64(104166);
    QTest::newRow("running status after meta")
        << MidiBuilder(0, 96)
               .track(
                   Track().noteOn(0, 0, 60).meta(0, 0x01, "text").raw(96, { 60, 0 }).endOfTrack())
               .bytes()
        << 1 << 2 << qint64(500000);
    QTest::newRow("running status after F0 sysex")
        << MidiBuilder(0, 96)
               .track(Track()
                          .noteOn(0, 0, 60)
                          .sysex(0, 0xf0, QByteArray::fromHex("7e7f0901f7"))
                          .raw(96, { 60, 0 })
                          .endOfTrack())
               .bytes()
        << 1 << 2 << qint64(500000);
    QTest::newRow("running status after F7 escape")
        << MidiBuilder(0, 96)
               .track(
                   Track().noteOn(0, 0, 60).sysex(0, 0xf7, "\xf8").raw(96, { 60, 0 }).endOfTrack())
               .bytes()
        << 1 << 2 << qint64(500000);
    QTest::newRow("RIFF RMID with odd-length data")
        << MidiBuilder::riffWrapped(withOddSize(MidiBuilder(0, 96), twoNotes())) << 1 << 4
        << qint64(1000000);
    QTest::newRow("128-byte Mac header")
        << QByteArray(128, '\0') + MidiBuilder(0, 96).track(twoNotes()).bytes() << 1 << 4
        << qint64(1000000);
    QTest::newRow("unknown chunk skipped") << MidiBuilder(1, 96)
                                                  .track(twoNotes())
                                                  .chunk("XFIH", QByteArray("MTrk\x00\x00", 6))
                                                  .track(twoNotes(1))
                                                  .bytes()
                                           << 2 << 8 << qint64(1000000);
    QTest::newRow("garbage between chunks")
        << MidiBuilder(1, 96).track(twoNotes()).raw("\x01\x02\x03").track(twoNotes(1)).bytes() << 2
        << 8 << qint64(1000000);
    QTest::newRow("no End of Track, last track")
        << MidiBuilder(0, 96).track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60)).bytes() << 1 << 2
        << qint64(500000);
    QTest::newRow("no End of Track, middle track")
        << MidiBuilder(1, 96)
               .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60))
               .track(twoNotes(1))
               .bytes()
        << 2 << 6 << qint64(1000000);
    QTest::newRow("truncated in an event") << truncatedTrack() << 1 << 3 << qint64(500000);
    QTest::newRow("chunk length past end of file")
        << MidiBuilder(0, 96).track(twoNotes(), 100).bytes() << 1 << 4 << qint64(1000000);
    QTest::newRow("chunk length too short")
        << MidiBuilder(1, 96).track(twoNotes(), -4).track(twoNotes(1)).bytes() << 2 << 8
        << qint64(1000000);
    QTest::newRow("chunk length too long")
        << MidiBuilder(1, 96).track(twoNotes(), 6).track(twoNotes(1)).bytes() << 2 << 8
        << qint64(1000000);
    QTest::newRow("chunk length too long, no End of Track")
        << MidiBuilder(1, 96)
               .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60), 20)
               .track(twoNotes(1))
               .bytes()
        << 2 << 6 << qint64(1000000);
    QTest::newRow("fewer tracks declared than found")
        << MidiBuilder(1, 96, 1).track(twoNotes()).track(twoNotes(1)).track(twoNotes(2)).bytes()
        << 3 << 12 << qint64(1000000);
    QTest::newRow("more tracks declared than found")
        << MidiBuilder(1, 96, 5).track(twoNotes()).track(twoNotes(1)).bytes() << 2 << 8
        << qint64(1000000);
    QTest::newRow("End of Track after the last note")
        << MidiBuilder(0, 96)
               .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60).endOfTrack(960))
               .bytes()
        << 1 << 2 << qint64(5500000);
    QTest::newRow("meta event after the last note")
        << MidiBuilder(0, 96)
               .track(
                   Track().noteOn(0, 0, 60).noteOff(96, 0, 60).meta(96, 0x06, "end").endOfTrack())
               .bytes()
        << 1 << 2 << qint64(1000000);
    QTest::newRow("data byte without status")
        << MidiBuilder(0, 96)
               .track(Track().raw(0, { 0x40, 0x40 }).noteOn(0, 0, 60).endOfTrack())
               .bytes()
        << 1 << 0 << qint64(0);
    QTest::newRow("delta time over four bytes")
        << MidiBuilder(0, 96)
               .track(Track()
                          .noteOn(0, 0, 60)
                          .bytes(QByteArray::fromHex("8180808000903c00"))
                          .endOfTrack())
               .bytes()
        << 1 << 1 << qint64(0);
    QTest::newRow("length clamped to 32-bit milliseconds")
        << MidiBuilder(0, 1)
               .track(Track().tempo(0, 0xffffff).noteOn(0x0fffffff, 0, 60).endOfTrack(0x0fffffff))
               .bytes()
        << 1 << 1 << qint64(INT32_MAX) * 1000 + 999;
    QTest::newRow("unknown format read as format 1")
        << MidiBuilder(7, 96).track(twoNotes()).track(twoNotes(1)).bytes() << 2 << 8
        << qint64(1000000);
    QTest::newRow("system real-time byte skipped")
        << MidiBuilder(0, 96)
               .track(Track().noteOn(0, 0, 60).raw(0, { 0xf8 }).noteOff(96, 0, 60).endOfTrack())
               .bytes()
        << 1 << 2 << qint64(500000);
}

void TestMidiReader::readsLeniently()
{
    QFETCH(QByteArray, file);
    QFETCH(int, tracks);
    QFETCH(int, channelEvents);
    QFETCH(qint64, lengthUs);

    SongLoadResult result = load(file);
    QVERIFY2(result.song, result.error.c_str());
    QCOMPARE(result.song->file.trackCount, tracks);
    QCOMPARE(int(result.song->events.size()), channelEvents);
    QCOMPARE(result.song->lengthUs, lengthUs);
    QCOMPARE(result.song->lengthMs(), int32_t(std::min<qint64>(lengthUs / 1000, INT32_MAX)));
    const auto& events = result.song->events;
    for (size_t i = 0; i < events.size(); ++i) {
        QVERIFY(events[i].status >= 0x80 && events[i].status < 0xf0);
        QVERIFY(events[i].data1 < 0x80 && events[i].data2 < 0x80);
        QVERIFY(events[i].timeUs <= result.song->lengthUs);
        QVERIFY(i == 0 || events[i - 1].timeUs <= events[i].timeUs);
    }
}

void TestMidiReader::rejectsWithReason_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty") << QByteArray() << "empty";
    QTest::newRow("text") << QByteArray("This is not a song.\n") << "not a MIDI file";
    QTest::newRow("PNG") << QByteArray::fromHex("89504e470d0a1a0a0000000d49484452")
                         << "not a MIDI file";
    QTest::newRow("header cut short")
        << QByteArray("MThd\x00\x00\x00\x06\x00\x01", 10) << "truncated";
    QTest::newRow("header length below 6")
        << QByteArray("MThd\x00\x00\x00\x02\x00\x01\x00\x01\x00\x60", 14) << "too short";
    QTest::newRow("zero ticks per quarter")
        << MidiBuilder(0, 0).track(twoNotes()).bytes() << "division";
    QTest::newRow("zero ticks per frame")
        << MidiBuilder(0, MidiBuilder::smpte(25, 0)).track(twoNotes()).bytes() << "SMPTE";
    QTest::newRow("no tracks") << MidiBuilder(1, 96, 2).bytes() << "no track";
    QTest::newRow("too many events") << tooManyEvents() << "too many events";
    QTest::newRow("RIFF without MIDI data")
        << QByteArray("RIFF\x04\x00\x00\x00WAVE", 12) << "not a MIDI file";
}

void TestMidiReader::rejectsWithReason()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);

    SongLoadResult result = load(file);
    QVERIFY(!result.song);
    QVERIFY2(QString::fromStdString(result.error).contains(reason), result.error.c_str());
    QVERIFY(result.error.find('\n') == std::string::npos);
}

void TestMidiReader::timesEvents_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<int>>("keys");

    QTest::newRow("tempo map")
        << MidiBuilder(1, 480)
               .track(Track().tempo(0, 500000).tempo(960, 250000).tempo(480, 1000000).endOfTrack())
               .track(Track().noteOn(0, 0, 60).noteOn(1200, 0, 61).noteOff(720, 0, 60).endOfTrack())
               .bytes()
        << QList<qint64> { 0, 1125000, 2250000 } << QList<int> { 60, 61, 60 };
    QTest::newRow("format 2 offsets")
        << MidiBuilder(2, 96)
               .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60).endOfTrack(96))
               .track(Track().tempo(0, 250000).noteOn(0, 0, 62).noteOff(96, 0, 62).endOfTrack())
               .bytes()
        << QList<qint64> { 0, 500000, 1000000, 1250000 } << QList<int> { 60, 60, 62, 62 };
    QTest::newRow("simultaneous events keep file order")
        << MidiBuilder(1, 96)
               .track(Track().noteOn(0, 0, 60).noteOn(96, 0, 64).endOfTrack())
               .track(Track().noteOn(0, 1, 62).noteOn(96, 1, 66).endOfTrack())
               .bytes()
        << QList<qint64> { 0, 0, 500000, 500000 } << QList<int> { 60, 62, 64, 66 };
    QTest::newRow("SMPTE 25 fps, 40 ticks per frame is milliseconds")
        << MidiBuilder(0, MidiBuilder::smpte(25, 40))
               .track(Track().noteOn(1, 0, 60).noteOn(999, 0, 61).noteOn(1000, 0, 62).endOfTrack())
               .bytes()
        << QList<qint64> { 1000, 1000000, 2000000 } << QList<int> { 60, 61, 62 };
}

void TestMidiReader::timesEvents()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<qint64>, times);
    QFETCH(QList<int>, keys);

    SongLoadResult result = load(file);
    QVERIFY2(result.song, result.error.c_str());
    QList<qint64> actualTimes;
    QList<int> actualKeys;
    for (const SongEvent& event : result.song->events) {
        actualTimes << event.timeUs;
        actualKeys << event.data1;
    }
    QCOMPARE(actualTimes, times);
    QCOMPARE(actualKeys, keys);
}

void TestMidiReader::loadsFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("reason");

    QTest::newRow("a song") << "song.mid" << qint64(0) << QString();
    QTest::newRow("missing") << "missing.mid" << qint64(-1) << "no such file";
    QTest::newRow("a folder") << "folder.mid" << qint64(-2) << "folder";
    QTest::newRow("over 64 MB") << "huge.mid" << qint64(65 * 1024 * 1024) << "too large";
}

void TestMidiReader::loadsFiles()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QString path = dir.filePath(name);
    if (size == -2) {
        QVERIFY(QDir(dir.path()).mkdir(name));
    } else if (size >= 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(MidiBuilder(0, 96).track(twoNotes()).bytes());
        if (size > 0)
            QVERIFY(file.resize(size)); // sparse: costs no disk
    }
    SongLoadResult result = loadSongFile(path.toStdString());
    if (reason.isEmpty()) {
        QVERIFY2(result.song, result.error.c_str());
        QCOMPARE(result.song->lengthMs(), 1000);
    } else {
        QVERIFY(!result.song);
        QVERIFY2(QString::fromStdString(result.error).contains(reason), result.error.c_str());
    }
}

void TestMidiReader::listsProgramsUsed()
{
    QByteArray file = MidiBuilder(0, 96)
                          .track(Track()
                                     .controller(0, 0, 0, 8)
                                     .program(0, 0, 5)
                                     .controller(0, 9, 0, 3) // ignored on the drum channel
                                     .program(0, 9, 16)
                                     .program(0, 1, 40)
                                     .endOfTrack())
                          .bytes();
    SongLoadResult result = load(file);
    QVERIFY(result.song);
    std::vector<std::pair<int, int>> expected { { 0, 0 }, { 0, 40 }, { 8, 5 }, { 128, 0 },
        { 128, 16 } };
    QCOMPARE(result.song->programsUsed(), expected);
}

QTEST_GUILESS_MAIN(TestMidiReader)
#include "tst_midireader.moc"

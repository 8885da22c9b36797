// The samples the synth holds follow the song: a song that replaces another releases what only
// the other one used, whatever still sounded of it, and the song that follows plays without
// reading anything on the thread that renders.

#include "../support/residentmemory.h"
#include "midibuilder.h"

#include "engine/midi/song.h"
#include "engine/synth/enginelog.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

using Track = MidiTrackBuilder;

constexpr int sampleRate = 44100;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true; // holds on to freed memory on purpose
#else
constexpr bool sanitized = false;
#endif

std::shared_ptr<const Song> songFrom(const QByteArray& bytes)
{
    return loadSongFromBytes(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))
        .song;
}

// Every General MIDI program in turn on the melodic channels, a note each, and the drums.
QByteArray everyProgram()
{
    Track track;
    track.tempo(0, 500000);
    for (int program = 0; program < 128; ++program) {
        const int channel = program % 15 < 9 ? program % 15 : program % 15 + 1;
        track.program(0, channel, program).noteOn(0, channel, 60).noteOn(0, 9, 36);
        track.noteOff(24, channel, 60).noteOff(0, 9, 36);
    }
    return MidiBuilder(0, 96).track(track.endOfTrack(96)).bytes();
}

QByteArray organ()
{
    return MidiBuilder(0, 96)
        .track(Track().program(0, 0, 19).noteOn(0, 0, 60).noteOff(192, 0, 60).endOfTrack())
        .bytes();
}

void render(SongRenderer& renderer, int frames, float* peak = nullptr)
{
    std::vector<float> left(512), right(512);
    for (int done = 0; done < frames; done += 512) {
        renderer.render(left.data(), right.data(), 512);
        for (size_t i = 0; peak && i < left.size(); ++i)
            *peak = std::max({ *peak, std::fabs(left[i]), std::fabs(right[i]) });
    }
}

QByteArray oneNoteOf(int program)
{
    return MidiBuilder(0, 96)
        .track(Track().program(0, 0, program).noteOn(0, 0, 60).noteOff(48, 0, 60).endOfTrack())
        .bytes();
}

// The whole note and its release: nothing of it sounds on into the next one.
float peakOfPlaying(Synth& synth, const std::shared_ptr<const Song>& song)
{
    SongRenderer renderer(&synth, sampleRate);
    renderer.setSong(song);
    renderer.play();
    float peak = 0;
    render(renderer, 2 * sampleRate, &peak);
    return peak;
}

std::vector<std::pair<EngineLog::Level, std::string>> g_messages;

void keepMessage(EngineLog::Level level, const char* message)
{
    g_messages.emplace_back(level, message);
}

} // namespace

class TestSynthMemory : public QObject {
    Q_OBJECT

private slots:
    void releasesWhatTheNextSongDoesNotUse();
    void followingSongLoadsBesideTheOnePlaying();
    void warnsOnceWhenTheSoundFontCannotBeReadAnyMore_data();
    void warnsOnceWhenTheSoundFontCannotBeReadAnyMore();
};

void TestSynthMemory::releasesWhatTheNextSongDoesNotUse()
{
    const std::string font = Synth::findDefaultSoundFont();
    if (font.empty())
        QSKIP("no SoundFont here");
    // A small SoundFont holds too little to tell a release from the noise of the heap.
    const bool judgeMemory
        = !sanitized && QFileInfo(QString::fromStdString(font)).size() > 64 << 20;
    Synth synth(sampleRate);
    QVERIFY(synth.loadSoundFont(font, nullptr));
    SongRenderer renderer(&synth, sampleRate);
    const auto everything = songFrom(everyProgram());
    const auto small = songFrom(organ());
    QVERIFY(everything && small);

    synth.prepare(*small);
    Synth::returnFreedMemory();
    const qint64 withSmallKb = residentKb();
    synth.prepare(*everything);
    renderer.setSong(everything);
    renderer.play();
    render(renderer, sampleRate); // replaced while its notes sound
    const qint64 withEverythingKb = residentKb();

    // Released by prepare itself, before the renderer has touched a channel: the renderer may
    // run on the audio thread, which must not free them.
    QVERIFY(synth.prepare(*small) > 100);
    Synth::returnFreedMemory();
    if (judgeMemory) {
        const qint64 keptKb = residentKb() - withSmallKb;
        QVERIFY2(withEverythingKb - withSmallKb > 64 * 1024 && keptKb < 4 * 1024,
            qPrintable(QString::number(keptKb)));
    }
    const qint64 opensBefore = Synth::soundFontFileOpens();
    renderer.setSong(small);
    renderer.play();
    float peak = 0;
    render(renderer, sampleRate, &peak);
    QVERIFY(peak > 0.01f);
    QCOMPARE(Synth::soundFontFileOpens(), opensBefore); // nothing read while rendering

    // What is still in needs no reading; what went out comes back from the file.
    QCOMPARE(synth.prepare(*small), 0);
    QCOMPARE(Synth::soundFontFileOpens(), opensBefore);
    synth.prepare(*everything);
    QVERIFY(Synth::soundFontFileOpens() > opensBefore);
}

// A song that follows the one playing without a break loads its presets while the other still
// sounds: nothing is released (which would cut it), and the next ordinary prepare lets go of what
// only the first one used.
void TestSynthMemory::followingSongLoadsBesideTheOnePlaying()
{
    const std::string font = Synth::findDefaultSoundFont();
    if (font.empty())
        QSKIP("no SoundFont here");
    Synth synth(sampleRate);
    QVERIFY(synth.loadSoundFont(font, nullptr));
    SongRenderer renderer(&synth, sampleRate);
    const auto playing = songFrom(organ());
    const auto following = songFrom(oneNoteOf(40));
    QVERIFY(playing && following);
    synth.prepare(*playing);
    renderer.setSong(playing);
    renderer.play();
    render(renderer, sampleRate / 4);

    QVERIFY(!synth.isPreparedAlongside(*following));
    const qint64 opensBefore = Synth::soundFontFileOpens();
    synth.prepareAlongside(*following);
    QVERIFY(Synth::soundFontFileOpens() > opensBefore);
    QVERIFY(synth.isPreparedAlongside(*following));
    QVERIFY(synth.isPreparedAlongside(*playing));
    float peak = 0;
    render(renderer, sampleRate / 4, &peak);
    QVERIFY2(peak > 0.01f, "the playing song was cut");

    const qint64 opensAfter = Synth::soundFontFileOpens();
    QCOMPARE(peakOfPlaying(synth, following) > 0.01f, true);
    QCOMPARE(Synth::soundFontFileOpens(), opensAfter);
    QVERIFY(synth.prepare(*following) > 0);
    QVERIFY(!synth.isPreparedAlongside(*playing));
}

void TestSynthMemory::warnsOnceWhenTheSoundFontCannotBeReadAnyMore_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("readable");
    QTest::newRow("cut short") << "truncate" << false;
    QTest::newRow("written over in place") << "overwrite" << false;
    // The synth holds the file it loaded: a new file under the name changes nothing.
    QTest::newRow("replaced by a new file") << "replace" << true;
}

// Samples load when a song first needs them, long after the SoundFont: a file that changed in
// between must not leave every later song silent without a word.
void TestSynthMemory::warnsOnceWhenTheSoundFontCannotBeReadAnyMore()
{
    QFETCH(QString, change);
    QFETCH(bool, readable);
    const std::string installed = Synth::findDefaultSoundFont();
    if (installed.empty())
        QSKIP("no SoundFont here");
    QTemporaryDir dir;
    const QString path = dir.filePath("font.sf2");
    QVERIFY(QFile::copy(QString::fromStdString(installed), path));
    Synth synth(sampleRate);
    QVERIFY(synth.loadSoundFont(path.toStdString(), nullptr));
    const auto organ = songFrom(oneNoteOf(19));
    synth.prepare(*organ);
    QVERIFY(peakOfPlaying(synth, organ) > 0.01f);

    QFile file(path);
    if (change == "truncate") {
        QVERIFY(file.resize(file.size() / 3));
    } else if (change == "overwrite") {
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(file.size() / 3));
        QVERIFY(file.write(QByteArray(1 << 20, '\x55')) == 1 << 20);
        file.close();
    } else {
        const QString fresh = dir.filePath("fresh.sf2");
        QVERIFY(QFile::copy(QString::fromStdString(installed), fresh));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(fresh, path));
    }

    g_messages.clear();
    EngineLog::setHandler(keepMessage);
    const auto strings = songFrom(oneNoteOf(48));
    const auto brass = songFrom(oneNoteOf(61));
    synth.prepare(*strings);
    const float stringsPeak = peakOfPlaying(synth, strings);
    synth.prepare(*brass);
    EngineLog::setHandler(nullptr);

    int warnings = 0;
    for (const auto& [level, message] : g_messages) {
        if (level == EngineLog::Level::Warning) {
            ++warnings;
            QVERIFY2(QString::fromStdString(message).contains(path), message.c_str());
        }
    }
    QCOMPARE(warnings, readable ? 0 : 1);
    QCOMPARE(stringsPeak > 0.01f, readable);
}

QTEST_MAIN(TestSynthMemory)
#include "tst_synthmemory.moc"

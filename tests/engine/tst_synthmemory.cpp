// The samples the synth holds follow the song: a song that replaces another releases what only
// the other one used, whatever still sounded of it, and the song that follows plays without
// reading anything on the thread that renders.

#include "../support/residentmemory.h"
#include "midibuilder.h"

#include "engine/song.h"
#include "engine/songrenderer.h"
#include "engine/synth.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

} // namespace

class TestSynthMemory : public QObject {
    Q_OBJECT

private slots:
    void releasesWhatTheNextSongDoesNotUse();
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

QTEST_MAIN(TestSynthMemory)
#include "tst_synthmemory.moc"

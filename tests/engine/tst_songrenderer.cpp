#include "midibuilder.h"

#include "engine/midi/song.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fluidsynth.h>

#include <cmath>
#include <memory>

// FluidSynth's own calls, to compare the synth's state with what a fresh synth or its own
// renderer gives.
struct SynthProbe {
    static fluid_synth_t* handle(const Synth& synth) { return synth.handle(); }
};

namespace {

using Track = MidiTrackBuilder;

constexpr int sampleRate = 44100;
const char* const soundFontPath = "/usr/share/sounds/sf2/default-GM.sf2";

struct Audio {
    std::vector<float> left;
    std::vector<float> right;

    float peak(size_t from = 0, size_t to = SIZE_MAX) const
    {
        float result = 0;
        for (size_t i = from; i < std::min(to, left.size()); ++i)
            result = std::max({ result, std::fabs(left[i]), std::fabs(right[i]) });
        return result;
    }

    // The largest sample-to-sample jump: a click shows up here.
    float maxStep(size_t from, size_t to) const
    {
        float result = 0;
        for (size_t i = std::max<size_t>(from, 1); i < std::min(to, left.size()); ++i)
            result = std::max(
                { result, std::fabs(left[i] - left[i - 1]), std::fabs(right[i] - right[i - 1]) });
        return result;
    }

    qsizetype firstAbove(float level) const
    {
        for (size_t i = 0; i < left.size(); ++i) {
            if (std::fabs(left[i]) > level || std::fabs(right[i]) > level)
                return qsizetype(i);
        }
        return -1;
    }
};

std::shared_ptr<const Song> songFrom(const QByteArray& bytes)
{
    SongLoadResult result = loadSongFromBytes(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    return result.song;
}

// Renders in fixed blocks of an odd size, so event times fall inside blocks.
void renderInto(SongRenderer& renderer, Audio& audio, int frames, int block = 100)
{
    std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
    for (int done = 0; done < frames; done += block) {
        renderer.render(left.data(), right.data(), block);
        audio.left.insert(audio.left.end(), left.begin(), left.end());
        audio.right.insert(audio.right.end(), right.begin(), right.end());
    }
}

int64_t frameOf(int64_t us)
{
    return (us * sampleRate + 999999) / 1000000;
}

QByteArray melody()
{
    return MidiBuilder(1, 96)
        .track(Track().tempo(0, 400000).endOfTrack())
        .track(Track()
                   .program(0, 0, 0)
                   .noteOn(0, 0, 60)
                   .noteOn(0, 0, 64)
                   .noteOff(96, 0, 60)
                   .noteOff(0, 0, 64)
                   .noteOn(0, 0, 67)
                   .noteOff(96, 0, 67)
                   .endOfTrack())
        .track(Track().program(0, 1, 48).noteOn(48, 1, 55).noteOff(144, 1, 55).endOfTrack())
        .track(Track().noteOn(0, 9, 36).noteOn(96, 9, 38).endOfTrack(96))
        .bytes();
}

} // namespace

class TestSongRenderer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void rendersSound();
    void keepsReverbAndChorus();
    void rendersBitIdentically();
    void playsWithoutLoadingSamples();
    void startsNotesOnTime_data();
    void startsNotesOnTime();
    void stopsExactlyAtLength_data();
    void stopsExactlyAtLength();
    void rewindRestoresEveryChannel();
    void seekSetsChannelsAsPlayedThere_data();
    void seekSetsChannelsAsPlayedThere();
    void fadeSilencesWithoutClick();
    void notesHeldAtTheResumePointSoundAgain_data();
    void notesHeldAtTheResumePointSoundAgain();
    void leavesNoTailAfterFade_data();
    void leavesNoTailAfterFade();
    void reportsMissingSoundFont();
    void findsSoundFontByName_data();
    void findsSoundFontByName();

private:
    std::unique_ptr<Synth> freshSynth(const Song* song = nullptr);
};

void TestSongRenderer::initTestCase()
{
    if (!QFile::exists(soundFontPath))
        QSKIP("no General MIDI SoundFont installed");
}

std::unique_ptr<Synth> TestSongRenderer::freshSynth(const Song* song)
{
    auto synth = std::make_unique<Synth>(sampleRate);
    std::string error;
    if (!synth->loadSoundFont(soundFontPath, &error))
        qFatal("%s", error.c_str());
    if (song)
        synth->prepare(*song);
    return synth;
}

void TestSongRenderer::rendersSound()
{
    auto song = songFrom(melody());
    auto synth = freshSynth(song.get());
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    renderer.play();
    Audio audio;
    renderInto(renderer, audio, sampleRate);
    QVERIFY(audio.peak() > 0.01f);
    QVERIFY(audio.peak() < 1.0f);
}

// The renderer must match fluid_synth_write_float, which mixes the effects into its output.
void TestSongRenderer::keepsReverbAndChorus()
{
    auto song = songFrom(MidiBuilder(0, 96)
                             .track(Track().noteOn(0, 0, 60).noteOff(96, 0, 60).endOfTrack(96))
                             .bytes());
    auto synth = freshSynth(song.get());
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    renderer.play();
    Audio rendered;
    renderInto(renderer, rendered, sampleRate, 64);

    auto reference = freshSynth();
    Audio expected;
    expected.left.resize(rendered.left.size());
    expected.right.resize(rendered.right.size());
    fluid_synth_noteon(SynthProbe::handle(*reference), 0, 60, 100);
    const int noteOff = int(frameOf(500000) / 64 * 64 + 64);
    fluid_synth_write_float(SynthProbe::handle(*reference), noteOff, expected.left.data(), 0, 1,
        expected.right.data(), 0, 1);
    fluid_synth_noteoff(SynthProbe::handle(*reference), 0, 60);
    fluid_synth_write_float(SynthProbe::handle(*reference), int(expected.left.size()) - noteOff,
        expected.left.data() + noteOff, 0, 1, expected.right.data() + noteOff, 0, 1);

    float difference = 0;
    for (size_t i = 0; i < expected.left.size(); ++i)
        difference = std::max(difference, std::fabs(expected.left[i] - rendered.left[i]));
    QVERIFY2(difference < 1e-5f, qPrintable(QString::number(difference)));
    // After the release, only the effects are left; they must be there.
    QVERIFY(rendered.peak(size_t(sampleRate) * 9 / 10) > 1e-5f);
}

void TestSongRenderer::rendersBitIdentically()
{
    auto song = songFrom(melody());
    Audio first, second;
    for (Audio* audio : { &first, &second }) {
        auto synth = freshSynth(song.get());
        SongRenderer renderer(synth.get(), sampleRate);
        renderer.setSong(song);
        renderer.play();
        renderInto(renderer, *audio, sampleRate * 2);
    }
    QVERIFY(first.peak() > 0.01f);
    QVERIFY(first.left == second.left);
    QVERIFY(first.right == second.right);
}

void TestSongRenderer::playsWithoutLoadingSamples()
{
    auto song = songFrom(MidiBuilder(0, 96)
                             .track(Track()
                                        .program(0, 0, 40)
                                        .noteOn(0, 0, 60)
                                        .controller(0, 1, 0, 8)
                                        .program(0, 1, 4) // a GS variation bank
                                        .noteOn(0, 1, 64)
                                        .program(0, 9, 25)
                                        .noteOn(0, 9, 38)
                                        .program(48, 0, 73)
                                        .noteOn(0, 0, 72)
                                        .endOfTrack(48))
                             .bytes());
    for (bool prepared : { true, false }) {
        auto synth = freshSynth(prepared ? song.get() : nullptr);
        SongRenderer renderer(synth.get(), sampleRate);
        renderer.setSong(song);
        const int64_t opensBefore = Synth::soundFontFileOpens();
        for (int pass = 0; pass < 2; ++pass) {
            renderer.play();
            Audio audio;
            renderInto(renderer, audio, sampleRate);
            QVERIFY(renderer.atEnd());
            QVERIFY(audio.peak() > 0.01f);
            renderer.rewindToStart();
        }
        // Unprepared, the same song loads samples while it plays: the count notices.
        QCOMPARE(Synth::soundFontFileOpens() == opensBefore, prepared);
    }
}

void TestSongRenderer::startsNotesOnTime_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("noteUs");

    QTest::newRow("tempo changes")
        << MidiBuilder(0, 480)
               .track(
                   Track().tempo(0, 600000).tempo(480, 250000).noteOn(960, 0, 72).endOfTrack(480))
               .bytes()
        << qint64(600000 + 500000);
    QTest::newRow("odd tempo") << MidiBuilder(0, 96)
                                      .track(
                                          Track().tempo(0, 333333).noteOn(77, 0, 72).endOfTrack(96))
                                      .bytes()
                               << qint64(77LL * 333333 / 96);
    QTest::newRow("SMPTE 25 fps") << MidiBuilder(0, MidiBuilder::smpte(25, 40))
                                         .track(Track().noteOn(777, 0, 72).endOfTrack(500))
                                         .bytes()
                                  << qint64(777000);
    QTest::newRow("second pattern of format 2")
        << MidiBuilder(2, 96)
               .track(Track().tempo(0, 300000).endOfTrack(150))
               .track(Track().noteOn(50, 0, 72).endOfTrack(96))
               .bytes()
        << qint64(200LL * 300000 / 96);
}

void TestSongRenderer::startsNotesOnTime()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, noteUs);

    // The sample's own attack delays the first loud frame; measure it on a note at frame 0.
    auto onsetOf = [this](const QByteArray& file, int64_t frames) {
        auto song = songFrom(file);
        auto synth = freshSynth(song.get());
        SongRenderer renderer(synth.get(), sampleRate);
        renderer.setSong(song);
        renderer.play();
        Audio audio;
        renderInto(renderer, audio, int(frames));
        return audio.firstAbove(1e-4f);
    };
    const qsizetype attack = onsetOf(
        MidiBuilder(0, 96).track(Track().noteOn(0, 0, 72).endOfTrack(96)).bytes(), sampleRate / 4);
    QVERIFY(attack >= 0 && attack < 1000);
    const qsizetype onset = onsetOf(file, frameOf(noteUs) + sampleRate / 4) - attack;
    const qsizetype expected = qsizetype(frameOf(noteUs));
    // FluidSynth starts voices at its 64-frame block boundaries.
    QVERIFY2(onset >= expected && onset < expected + 64,
        qPrintable(QString("onset %1, expected %2").arg(onset).arg(expected)));
}

void TestSongRenderer::stopsExactlyAtLength_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<bool>("withSynth");

    QTest::newRow("64-frame blocks") << 64 << true;
    QTest::newRow("odd blocks") << 333 << true;
    QTest::newRow("large blocks") << 4096 << true;
    QTest::newRow("no SoundFont") << 512 << false;
}

void TestSongRenderer::stopsExactlyAtLength()
{
    QFETCH(int, block);
    QFETCH(bool, withSynth);

    // 1234.5678 ms: the length is not a whole number of milliseconds or frames.
    auto song = songFrom(MidiBuilder(0, 96)
                             .track(Track().tempo(0, 123456).noteOn(0, 0, 60).endOfTrack(960))
                             .bytes());
    QCOMPARE(song->lengthUs, qint64(1234560));
    std::unique_ptr<Synth> synth = withSynth ? freshSynth(song.get()) : nullptr;
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    QCOMPARE(renderer.lengthMs(), 1234);
    renderer.play();
    std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
    int32_t previous = 0;
    for (int i = 0; i < 10 * sampleRate / block && !renderer.atEnd(); ++i) {
        renderer.render(left.data(), right.data(), block);
        QVERIFY(renderer.positionMs() >= previous);
        QVERIFY(renderer.positionMs() <= renderer.lengthMs());
        previous = renderer.positionMs();
    }
    QVERIFY(renderer.atEnd());
    QVERIFY(!renderer.isPlaying());
    QCOMPARE(renderer.positionMs(), 1234);
    QCOMPARE(renderer.framesPlayed(), frameOf(1234560));
    renderer.render(left.data(), right.data(), block);
    QCOMPARE(renderer.framesPlayed(), frameOf(1234560));
    renderer.play();
    QVERIFY(!renderer.isPlaying());
    if (!withSynth) {
        QVERIFY(!renderer.isAudible());
        QVERIFY(std::all_of(left.begin(), left.end(), [](float s) { return s == 0; }));
    }
}

void TestSongRenderer::rewindRestoresEveryChannel()
{
    // Everything a song can leave behind on a channel, with notes still held at the rewind.
    Track track;
    track.controller(0, 0, 0, 1)
        .program(0, 0, 19)
        .controller(0, 0, 7, 30)
        .controller(0, 0, 10, 0)
        .controller(0, 0, 11, 40)
        .controller(0, 0, 1, 90)
        .controller(0, 0, 91, 127)
        .controller(0, 0, 93, 100)
        .controller(0, 0, 74, 20)
        .controller(0, 0, 101, 0)
        .controller(0, 0, 100, 0)
        .controller(0, 0, 6, 12)
        .pitchBend(0, 0, 1000)
        .raw(0, { 0xd0, 90 })
        .controller(0, 0, 64, 127)
        .controller(0, 0, 66, 127)
        .controller(0, 0, 126, 0) // mono mode
        .controller(0, 0, 65, 127) // portamento
        .noteOn(0, 0, 60)
        .noteOn(0, 0, 64)
        .noteOff(10, 0, 64)
        .controller(0, 9, 0, 5)
        .program(0, 9, 16)
        .noteOn(0, 9, 42)
        .controller(0, 3, 32, 2)
        .program(0, 3, 73)
        .noteOn(0, 3, 70)
        .endOfTrack(960);
    auto song = songFrom(MidiBuilder(0, 96).track(track).bytes());
    auto synth = freshSynth(song.get());
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    renderer.play();
    Audio audio;
    renderInto(renderer, audio, sampleRate / 2, 64);
    QVERIFY(renderer.isPlaying());
    QVERIFY(fluid_synth_get_active_voice_count(SynthProbe::handle(*synth)) > 0);

    renderer.rewindToStart();
    QVERIFY(!renderer.isPlaying());
    QCOMPARE(renderer.positionMs(), 0);
    auto fresh = freshSynth();
    fluid_synth_t* actual = SynthProbe::handle(*synth);
    fluid_synth_t* expected = SynthProbe::handle(*fresh);
    for (int channel = 0; channel < 16; ++channel) {
        for (int controller = 0; controller < 120; ++controller) {
            int got = -1, want = -2;
            fluid_synth_get_cc(actual, channel, controller, &got);
            fluid_synth_get_cc(expected, channel, controller, &want);
            QVERIFY2(got == want,
                qPrintable(QString("channel %1 controller %2: %3, fresh %4")
                               .arg(channel)
                               .arg(controller)
                               .arg(got)
                               .arg(want)));
        }
        int got[3] = {}, want[3] = {};
        fluid_synth_get_pitch_bend(actual, channel, &got[0]);
        fluid_synth_get_pitch_bend(expected, channel, &want[0]);
        fluid_synth_get_pitch_wheel_sens(actual, channel, &got[1]);
        fluid_synth_get_pitch_wheel_sens(expected, channel, &want[1]);
        QCOMPARE(got[0], want[0]);
        QCOMPARE(got[1], want[1]);
        fluid_synth_get_program(actual, channel, &got[0], &got[1], &got[2]);
        fluid_synth_get_program(expected, channel, &want[0], &want[1], &want[2]);
        QCOMPARE(got[1], want[1]);
        QCOMPARE(got[2], want[2]);
        int mode[2][3] = {};
        fluid_synth_get_basic_channel(actual, channel, &got[0], &mode[0][0], &mode[0][1]);
        fluid_synth_get_basic_channel(expected, channel, &want[0], &mode[1][0], &mode[1][1]);
        QCOMPARE(got[0], want[0]);
        QCOMPARE(mode[0][0], mode[1][0]);
        QCOMPARE(mode[0][1], mode[1][1]);
        for (int generator = 0; generator < GEN_LAST; ++generator)
            QCOMPARE(fluid_synth_get_gen(actual, channel, generator),
                fluid_synth_get_gen(expected, channel, generator));
    }

    // The notes were released, not cut: they ring out smoothly and then stop.
    QVERIFY(fluid_synth_get_active_voice_count(actual) > 0);
    Audio tail;
    renderInto(renderer, tail, sampleRate * 3, 64);
    QVERIFY(tail.peak(0, 2048) > 0.001f);
    // The controller reset reaches the releasing voices too (louder here, as the song had
    // turned the volume down), but smoothly: no jump as large as a cut would make.
    QVERIFY(tail.maxStep(0, 2048) < 0.3f * tail.peak(0, 2048));
    QCOMPARE(fluid_synth_get_active_voice_count(actual), 0);
    QCOMPARE(renderer.framesPlayed(), 0);

    renderer.play();
    renderInto(renderer, tail, 640, 64);
    QVERIFY(renderer.framesPlayed() == 640);
    QVERIFY(fluid_synth_get_active_voice_count(actual) > 0);
}

void TestSongRenderer::seekSetsChannelsAsPlayedThere_data()
{
    QTest::addColumn<int>("seekMs");
    QTest::addColumn<int>("aheadMs"); // how far the renderer had gone past the point
    QTest::addColumn<bool>("inNote"); // a note is held at the point
    QTest::newRow("back into the first bar") << 300 << 900 << true;
    QTest::newRow("back past later changes") << 1100 << 800 << true;
    QTest::newRow("on a note and its changes") << 1000 << 500 << false;
    QTest::newRow("between notes") << 700 << 900 << false;
}

// The output renders ahead and goes back to what was heard: the channels must stand as if the
// song had played to there, with nothing sounding, and the song goes on from there exactly.
void TestSongRenderer::seekSetsChannelsAsPlayedThere()
{
    QFETCH(int, seekMs);
    QFETCH(int, aheadMs);
    QFETCH(bool, inNote);
    // 96 ticks a quarter at 120 bpm: 192 ticks a second.
    Track track;
    track.program(0, 0, 19)
        .controller(0, 0, 7, 60)
        .noteOn(0, 0, 60)
        .controller(96, 0, 10, 20)
        .pitchBend(0, 0, 9000)
        .noteOff(0, 0, 60)
        .program(96, 1, 40)
        .controller(0, 1, 91, 0)
        .noteOn(0, 1, 64)
        .controller(0, 0, 7, 110)
        .noteOff(96, 1, 64)
        .noteOn(0, 0, 67)
        .noteOff(96, 0, 67)
        .endOfTrack(192);
    auto song = songFrom(
        MidiBuilder(0, 96).track(Track().tempo(0, 500000).endOfTrack()).track(track).bytes());
    auto playedSynth = freshSynth(song.get());
    auto seekedSynth = freshSynth(song.get());
    SongRenderer played(playedSynth.get(), sampleRate);
    SongRenderer seeked(seekedSynth.get(), sampleRate);
    const int seekFrame = seekMs * sampleRate / 1000;
    for (SongRenderer* renderer : { &played, &seeked }) {
        renderer->setSong(song);
        renderer->play();
    }
    Audio ignored;
    renderInto(played, ignored, seekFrame, 1);
    renderInto(seeked, ignored, seekFrame + aheadMs * sampleRate / 1000, 64);
    const uint64_t epoch = seeked.epoch();
    seeked.seekToFrame(seekFrame);

    QCOMPARE(seeked.framesPlayed(), played.framesPlayed());
    QCOMPARE(seeked.epoch(), epoch);
    QVERIFY(seeked.isPlaying());
    for (int channel = 0; channel < 2; ++channel) {
        for (int controller : { 7, 10, 91 }) {
            int got = -1, want = -2;
            fluid_synth_get_cc(SynthProbe::handle(*seekedSynth), channel, controller, &got);
            fluid_synth_get_cc(SynthProbe::handle(*playedSynth), channel, controller, &want);
            QCOMPARE(got, want);
        }
        int got[3] = {}, want[3] = {};
        fluid_synth_get_program(
            SynthProbe::handle(*seekedSynth), channel, &got[0], &got[1], &got[2]);
        fluid_synth_get_program(
            SynthProbe::handle(*playedSynth), channel, &want[0], &want[1], &want[2]);
        QCOMPARE(got[2], want[2]);
        fluid_synth_get_pitch_bend(SynthProbe::handle(*seekedSynth), channel, &got[0]);
        fluid_synth_get_pitch_bend(SynthProbe::handle(*playedSynth), channel, &want[0]);
        QCOMPARE(got[0], want[0]);
    }
    Audio fromSeeked;
    renderInto(seeked, fromSeeked, sampleRate, 64);
    if (inNote) {
        QVERIFY(fromSeeked.peak(0, sampleRate / 20) > 0.005f); // struck again from the point
        return;
    }
    // Nothing rendered ahead rings on: quiet until the next note.
    const int nextNoteMs = seekMs <= 1000 ? 1000 : 1500;
    const qsizetype expected = qsizetype(nextNoteMs - seekMs) * sampleRate / 1000;
    if (expected > 2048)
        QVERIFY(fromSeeked.peak(0, size_t(expected) - 256) < 1e-4f);
    // The next note comes when it is due (its attack takes a few milliseconds), not before.
    const size_t lookFrom = size_t(std::max<qsizetype>(0, expected - 2048));
    const float before = expected > 0 ? fromSeeked.peak(lookFrom, size_t(expected) - 256) : 0.0f;
    qsizetype onset = -1;
    for (size_t i = lookFrom; i < fromSeeked.left.size() && onset < 0; ++i) {
        if (std::fabs(fromSeeked.left[i]) > std::max(0.005f, 2 * before))
            onset = qsizetype(i);
    }
    QVERIFY2(onset >= expected && onset < expected + sampleRate / 20,
        qPrintable(QString("%1, due at %2").arg(onset).arg(expected)));
}

void TestSongRenderer::fadeSilencesWithoutClick()
{
    // A held organ chord under the sustain pedal, then one more note after the pause point.
    auto song = songFrom(MidiBuilder(0, 96)
                             .track(Track()
                                        .program(0, 0, 19)
                                        .controller(0, 0, 64, 127)
                                        .noteOn(0, 0, 48)
                                        .noteOn(0, 0, 55)
                                        .noteOn(0, 0, 64)
                                        .noteOff(10, 0, 48)
                                        .noteOn(182, 0, 72)
                                        .endOfTrack(96))
                             .bytes());
    auto synth = freshSynth(song.get());
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    renderer.play();
    Audio before;
    renderInto(renderer, before, sampleRate / 2, 64);
    const float stepWhilePlaying = before.maxStep(before.left.size() / 2, before.left.size());
    QVERIFY(before.peak(before.left.size() / 2) > 0.01f);
    const int64_t pausedAt = renderer.framesPlayed();

    renderer.silenceWithFade();
    QVERIFY(!renderer.isPlaying());
    QVERIFY(renderer.isAudible());
    Audio fade;
    renderInto(renderer, fade, 4096, 64);
    QVERIFY2(fade.maxStep(0, 512) <= stepWhilePlaying * 1.5f + 1e-4f,
        qPrintable(QString("step %1 against %2").arg(fade.maxStep(0, 512)).arg(stepWhilePlaying)));
    QVERIFY(fade.peak(0, 64) > 0.001f); // it fades, it does not cut
    const size_t fadeEnd = size_t(0.005 * sampleRate) + 64;
    QCOMPARE(fade.peak(fadeEnd), 0.0f);
    QCOMPARE(fluid_synth_get_active_voice_count(SynthProbe::handle(*synth)), 0);
    QCOMPARE(renderer.framesPlayed(), pausedAt);
    for (int i = 0; i < 200 && renderer.isAudible(); ++i)
        renderInto(renderer, fade, 4096, 4096);
    QVERIFY(!renderer.isAudible());
    QCOMPARE(fade.peak(fadeEnd), 0.0f);

    // Resuming goes on from the same place, and the later note sounds.
    renderer.play();
    Audio after;
    renderInto(renderer, after, sampleRate * 6 / 10, 64);
    QVERIFY(renderer.framesPlayed() > pausedAt);
    QVERIFY(after.peak() > 0.01f);
}

void TestSongRenderer::notesHeldAtTheResumePointSoundAgain_data()
{
    // 192 ticks a second: the chord from 0 to 2.5 s, the pedal up at 3 s.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("atMs");
    QTest::addColumn<bool>("sounds");

    const QByteArray chord = MidiBuilder(0, 96)
                                 .track(Track()
                                            .program(0, 0, 0)
                                            .noteOn(0, 0, 60)
                                            .noteOn(0, 0, 64)
                                            .noteOn(0, 0, 67)
                                            .noteOff(480, 0, 60)
                                            .noteOff(0, 0, 64)
                                            .noteOff(0, 0, 67)
                                            .endOfTrack(288))
                                 .bytes();
    const QByteArray pedal = MidiBuilder(0, 96)
                                 .track(Track()
                                            .program(0, 0, 0)
                                            .controller(0, 0, 64, 127)
                                            .noteOn(0, 0, 48)
                                            .noteOff(96, 0, 48)
                                            .controller(480, 0, 64, 0)
                                            .endOfTrack(192))
                                 .bytes();
    const QByteArray drum = MidiBuilder(0, 96)
                                .track(Track().noteOn(0, 9, 49).noteOff(576, 9, 49).endOfTrack(192))
                                .bytes();
    QTest::newRow("pause and play in a chord") << chord << "pause" << 1000 << true;
    QTest::newRow("the output goes back into a chord") << chord << "seek" << 1000 << true;
    QTest::newRow("paused, moved into a chord, played") << chord << "paused seek" << 1000 << true;
    QTest::newRow("a note the pedal holds") << pedal << "seek" << 1000 << true;
    QTest::newRow("after the pedal let go") << pedal << "seek" << 3500 << false;
    QTest::newRow("after the chord") << chord << "pause" << 3000 << false;
    QTest::newRow("a drum stroke is not struck twice") << drum << "seek" << 1000 << false;
}

// A chord paused and played again, or the output going back into it, sounds again at once
// rather than from the next note on.
void TestSongRenderer::notesHeldAtTheResumePointSoundAgain()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, change);
    QFETCH(int, atMs);
    QFETCH(bool, sounds);
    auto song = songFrom(file);
    auto synth = freshSynth(song.get());
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    renderer.play();
    const int at = atMs * sampleRate / 1000;
    Audio ignored;
    renderInto(renderer, ignored, change == "pause" ? at : at + sampleRate / 2);
    if (change == "seek") {
        renderer.seekToFrame(at);
    } else {
        renderer.silenceWithFade();
        renderInto(renderer, ignored, 4096, 64); // the fade runs out: every voice is cut
        QCOMPARE(fluid_synth_get_active_voice_count(SynthProbe::handle(*synth)), 0);
        if (change == "paused seek")
            renderer.seekToFrame(at);
        renderer.play();
    }
    QCOMPARE(renderer.framesPlayed(), int64_t(at));
    Audio after;
    renderInto(renderer, after, sampleRate / 10, 64);
    if (sounds)
        QVERIFY2(after.peak(0, sampleRate / 20) > 0.01f, qPrintable(QString::number(after.peak())));
    else
        QVERIFY2(after.peak() < 1e-4f, qPrintable(QString::number(after.peak())));
}

void TestSongRenderer::leavesNoTailAfterFade_data()
{
    QTest::addColumn<QString>("then");
    QTest::newRow("pause, play") << "play";
    QTest::newRow("pause, back to the start, play") << "rewind";
    QTest::newRow("pause, the next song, play") << "next song";
    QTest::newRow("the output goes on from a quiet point") << "seek";
}

// A string chord with all the reverb and chorus, released at 0.6 s and still ringing when the
// sound goes at 0.8 s. Wherever the song then goes on, it is quiet: nothing of the chord, its
// voices or its effects may come back as the sound fades in again.
void TestSongRenderer::leavesNoTailAfterFade()
{
    QFETCH(QString, then);
    // 192 ticks a second; quiet until 0.2 s and after 0.6 s.
    const QByteArray file = MidiBuilder(0, 96)
                                .track(Track()
                                           .program(0, 0, 48)
                                           .controller(0, 0, 91, 127)
                                           .controller(0, 0, 93, 127)
                                           .noteOn(38, 0, 60, 127)
                                           .noteOn(0, 0, 67, 127)
                                           .noteOff(77, 0, 60)
                                           .noteOff(0, 0, 67)
                                           .endOfTrack(300))
                                .bytes();
    auto song = songFrom(file);
    auto synth = freshSynth(song.get());
    SongRenderer renderer(synth.get(), sampleRate);
    renderer.setSong(song);
    renderer.play();
    Audio before;
    renderInto(renderer, before, sampleRate * 8 / 10);
    QVERIFY(before.peak(before.left.size() - 441) > 0.001f); // still ringing

    if (then == "seek") {
        renderer.seekToFrame(sampleRate);
    } else {
        renderer.silenceWithFade();
        renderInto(renderer, before, 512); // the fade and nothing more, as the player does
        if (then == "rewind")
            renderer.rewindToStart();
        else if (then == "next song")
            renderer.setSong(songFrom(file));
        renderer.play();
    }
    Audio after;
    renderInto(renderer, after, sampleRate * 15 / 100);
    QVERIFY2(after.peak() < 1e-4f, qPrintable(QString("peak %1").arg(after.peak())));
}

void TestSongRenderer::reportsMissingSoundFont()
{
    QCOMPARE(QString::fromStdString(Synth::findDefaultSoundFont()), QString(soundFontPath));
    Synth synth(sampleRate);
    std::string error;
    QVERIFY(!synth.loadSoundFont("/nonexistent/none.sf2", &error));
    QVERIFY(!error.empty());
    QVERIFY(!synth.hasSoundFont());
}

void TestSongRenderer::findsSoundFontByName_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("found");

    QTest::newRow("none") << QStringList { "readme.txt" } << QString();
    QTest::newRow("standard name first")
        << QStringList { "Alpha.sf2", "default-GM.sf2", "FluidR3_GM.sf2" } << "default-GM.sf2";
    QTest::newRow("FluidR3 next") << QStringList { "Alpha.sf2", "FluidR3_GM.sf2" }
                                  << "FluidR3_GM.sf2";
    QTest::newRow("any other, by name") << QStringList { "b.SF3", "a.sf2x", "c.sf2" } << "b.SF3";
}

void TestSongRenderer::findsSoundFontByName()
{
    QFETCH(QStringList, files);
    QFETCH(QString, found);

    QTemporaryDir dir;
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString result = QString::fromStdString(Synth::findSoundFontIn(dir.path().toStdString()));
    QCOMPARE(result, found.isEmpty() ? QString() : dir.filePath(found));
}

QTEST_GUILESS_MAIN(TestSongRenderer)
#include "tst_songrenderer.moc"

// What the player asks a queueing output to replace when a song is closed or rewound: only sound
// that would still be heard. A song that has played to its end and rung out sounds the same closed;
// asking for a rewrite there makes the server take back the sink's block twice at a song change
// (once for the Close or Prev, once for the Play), and the second time it loses the start of the
// next song.

#include "midibuilder.h"

#include "engine/midi/midi.h"
#include "engine/midi/song.h"
#include "engine/output/audioqueue.h"
#include "engine/output/clockaudiooutput.h"
#include "engine/output/manualaudiooutput.h"
#include "engine/output/soundengine.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"

#include "testwait.h"

#include <QtTest>

#include <poll.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr int sampleRate = 44100;
constexpr int blockFrames = 512;

std::shared_ptr<const Song> shortPianoSong()
{
    MidiTrackBuilder track;
    track.program(0, 0, 0).noteOn(0, 0, 60, 110).noteOff(48, 0, 60).endOfTrack(48);
    const QByteArray bytes = MidiBuilder(0, 96).track(track).bytes();
    return loadSongFromBytes(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))
        .song;
}

std::shared_ptr<const Song> songFrom(const MidiTrackBuilder& track)
{
    const QByteArray bytes = MidiBuilder(0, 96).track(track).bytes();
    return loadSongFromBytes(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))
        .song;
}

// A quarter note long, of this many microseconds, and silent: whatever sounds after it is the
// song that follows.
std::shared_ptr<const Song> silentSong(int lengthUs)
{
    MidiTrackBuilder track;
    track.tempo(0, uint32_t(lengthUs)).program(0, 0, 0).endOfTrack(96);
    return songFrom(track);
}

// A note from its very start.
std::shared_ptr<const Song> noteSong()
{
    MidiTrackBuilder track;
    track.program(0, 0, 0).noteOn(0, 0, 60, 110).noteOff(96, 0, 60).endOfTrack(96);
    return songFrom(track);
}

int64_t endFrameOf(const Song& song)
{
    return (song.lengthUs * sampleRate + 999999) / 1000000;
}

int64_t firstSoundFrom(const std::vector<float>& sound, int64_t from)
{
    for (size_t i = size_t(from); i < sound.size(); ++i) {
        if (std::fabs(sound[i]) >= Midi::quietLevel)
            return int64_t(i);
    }
    return -1;
}

// How many song ends the player has signalled since the last call.
uint64_t endsSignalled(LiveSongPlayer& player)
{
    uint64_t count = 0;
    if (::read(player.endNotifier(), &count, sizeof count) != sizeof count)
        return 0;
    return count;
}

bool readable(int fd)
{
    pollfd polled { fd, POLLIN, 0 };
    return ::poll(&polled, 1, 0) == 1;
}

// The player behind an output that queues far ahead, as the stream output has it: it renders
// 1024-frame chunks and reports the point heard; or behind one that is pulled block by block and
// says nothing of what is heard, as a test clock does.
struct RecordingStream : QueuedStream {
    std::vector<float> left; // by stream frame
    void writeAt(int64_t at, const float* interleaved, int frames) override
    {
        left.resize(std::max(left.size(), size_t(at + frames)), 0.0f);
        for (int i = 0; i < frames; ++i)
            left[size_t(at + i)] = interleaved[2 * i];
    }
};

struct Output {
    explicit Output(LiveSongPlayer& player, bool queued)
        : player(player)
        , queue(
              queued ? std::make_unique<AudioQueue>(player, stream, AudioQueue::Config()) : nullptr)
    {
    }
    // Renders this far, in the output's own blocks.
    void renderTo(int64_t frame)
    {
        if (queue) {
            queue->fill(int(frame - queue->writeIndex()));
            return;
        }
        static float left[blockFrames], right[blockFrames];
        while (int64_t(stream.left.size()) < frame) {
            player.renderAudio(left, right, blockFrames);
            for (int i = 0; i < blockFrames; ++i)
                stream.left.push_back(left[i]);
        }
    }
    // What has been rendered is heard this far; an output that does not report it has it heard
    // once rendered.
    void hear(int64_t frame)
    {
        if (queue)
            QVERIFY(player.reportHeard(queue->pointAt(frame)));
        else
            renderTo(frame);
    }
    // The stream output's answer to a change: what is queued is replaced from a little after the
    // point heard.
    void rewriteAfter(int64_t heard)
    {
        if (queue && player.takeRewrite())
            QVERIFY(queue->rewrite(heard + rewriteMargin, 2 * sampleRate));
    }

    static constexpr int rewriteMargin = sampleRate / 100;
    LiveSongPlayer& player;
    RecordingStream stream;
    std::unique_ptr<AudioQueue> queue;
};

// A silent song playing from its start, with a note song to follow it, its presets in, armed
// unless told otherwise.
struct Following {
    Following(const std::string& soundFont, int lengthUs, bool queued, bool arm = true)
        : first(silentSong(lengthUs))
        , following(noteSong())
        , end(endFrameOf(*first))
        , output(player, queued)
    {
        synth.loadSoundFont(soundFont, nullptr);
        player.attachRenderer(std::make_unique<SongRenderer>(&synth, sampleRate));
        player.setSong(first, &synth);
        player.prepareFollowingSong(*following, synth);
        player.play();
        if (arm)
            player.setFollowingSong(following);
        output.hear(0);
    }

    Synth synth { sampleRate };
    LiveSongPlayer player;
    const std::shared_ptr<const Song> first, following;
    const int64_t end;
    Output output;
};

void renderFor(LiveSongPlayer& player, int milliseconds)
{
    static float left[blockFrames], right[blockFrames];
    for (int done = 0; done < sampleRate * milliseconds / 1000; done += blockFrames)
        player.renderAudio(left, right, blockFrames);
}

// Until nothing sounds any more, as an output that queues far ahead renders a song's end.
bool renderUntilSilent(LiveSongPlayer& player)
{
    for (int i = 0; i < 100 && player.isBusy(); ++i)
        renderFor(player, 100);
    return !player.isBusy();
}

} // namespace

class TestLiveSongPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void closeAndPrevReplaceOnlyWhatSounds_data();
    void closeAndPrevReplaceOnlyWhatSounds();
    void followingSongBeginsAtTheFirstOnesEnd_data();
    void followingSongBeginsAtTheFirstOnesEnd();
    void droppedFollowingSongLeavesTheFirstAsIfAlone_data();
    void droppedFollowingSongLeavesTheFirstAsIfAlone();
    void followingSongOnTheEnginesThreads_data();
    void followingSongOnTheEnginesThreads();
    void followingSongIsReadOnlyWhereALateRenderIsNotHeard_data();
    void followingSongIsReadOnlyWhereALateRenderIsNotHeard();

private:
    std::string m_soundFont;
};

void TestLiveSongPlayer::initTestCase()
{
    m_soundFont = Synth::findDefaultSoundFont();
    if (m_soundFont.empty())
        QSKIP("no SoundFont installed");
}

void TestLiveSongPlayer::closeAndPrevReplaceOnlyWhatSounds_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("rewrite");
    for (const QString command : { "Close", "Prev" }) {
        const QByteArray name = command.toLatin1() + ", ";
        QTest::newRow(name + "playing") << command << "playing" << true;
        QTest::newRow(name + "Pause's fade not yet rendered") << command << "fading" << true;
        QTest::newRow(name + "paused, faded out") << command << "paused" << false;
        QTest::newRow(name + "played to its end, rung out") << command << "ended" << false;
        QTest::newRow(name + "opened, never played") << command << "opened" << false;
    }
}

void TestLiveSongPlayer::closeAndPrevReplaceOnlyWhatSounds()
{
    QFETCH(QString, command);
    QFETCH(QString, before);
    QFETCH(bool, rewrite);
    const auto song = shortPianoSong();
    QVERIFY(song);
    Synth synth(sampleRate);
    std::string error;
    QVERIFY2(synth.loadSoundFont(m_soundFont, &error), error.c_str());
    LiveSongPlayer player;
    player.attachRenderer(std::make_unique<SongRenderer>(&synth, sampleRate));
    player.setSong(song, &synth);
    if (before != "opened") {
        player.play();
        renderFor(player, 100);
    }
    if (before == "fading" || before == "paused")
        player.silenceWithFade();
    if (before == "paused")
        QVERIFY(renderUntilSilent(player));
    if (before == "ended") {
        QVERIFY(renderUntilSilent(player));
        QVERIFY(player.atEnd());
    }
    player.takeRewrite();

    if (command == "Close")
        player.closeSong();
    else
        player.rewindToStart();
    QCOMPARE(player.takeRewrite(), rewrite);

    // The song that follows is written over what was queued, whatever the command asked for.
    if (command == "Close")
        player.setSong(song, &synth);
    player.play();
    QVERIFY(player.takeRewrite());
}

void TestLiveSongPlayer::followingSongBeginsAtTheFirstOnesEnd_data()
{
    QTest::addColumn<bool>("queued");
    QTest::addColumn<int>("lengthUs");
    QTest::addColumn<QString>("how");
    // 44100 frames end inside a chunk or block; 44032 end exactly on one's boundary.
    for (const bool queued : { true, false }) {
        const QByteArray output = queued ? "queued, " : "pulled, ";
        QTest::newRow(output + "first ends inside a chunk") << queued << 1000000 << "";
        QTest::newRow(output + "first ends on a chunk boundary") << queued << 998458 << "";
    }
    QTest::newRow("queued, armed once the first's end was queued") << true << 1000000 << "late";
    QTest::newRow("queued, armed once the first's end was queued, close to it")
        << true << 1000000 << "late, at the end";
    // As when the stream ran dry: the first plays on to its end again, and the next begins there.
    QTest::newRow("queued, written again from before the first's end")
        << true << 1000000 << "rewritten";
}

// A silent song, then one with a note from its start: the note sounds right after the first
// song's last frame. Until adopted, the first song is the one reported, its end signalled once
// when heard; then the following one, where it is heard, without anything queued being replaced.
void TestLiveSongPlayer::followingSongBeginsAtTheFirstOnesEnd()
{
    QFETCH(bool, queued);
    QFETCH(int, lengthUs);
    QFETCH(QString, how);
    Following setup(m_soundFont, lengthUs, queued, !how.startsWith("late"));
    QVERIFY(setup.synth.hasSoundFont());
    auto& [synth, player, first, following, end, output] = setup;
    output.renderTo(end / 2);
    output.hear(end / 2);
    QVERIFY(!player.isFollowingSongStarted());
    output.renderTo(end + (queued ? sampleRate / 2 : 200));
    player.takeRewrite();
    // Written again from a little after the point heard: past the first song's end, the next
    // begins there.
    int64_t begins = end;
    if (how.startsWith("late")) {
        const int64_t heard = how == "late" ? end / 2 : end - 100;
        output.hear(heard);
        player.setFollowingSong(following);
        output.rewriteAfter(heard);
        begins = std::max(end, heard + Output::rewriteMargin);
        output.renderTo(end + sampleRate / 2);
    } else if (how == "rewritten") {
        QVERIFY(output.queue->rewrite(end - sampleRate / 10, sampleRate));
        output.renderTo(end + sampleRate / 2);
    }
    QVERIFY(player.isFollowingSongStarted());

    // FluidSynth starts a note at the next of its 64-frame blocks, and the attack takes a few
    // frames to rise above hearing.
    const int64_t onset = firstSoundFrom(output.stream.left, 0);
    QVERIFY2(onset >= begins && onset < begins + 96,
        qPrintable(QString("first song ends at %1, the next sounds at %2").arg(end).arg(onset)));
    if (queued) {
        QVERIFY(output.queue->pointAt(end - 1).epoch == output.queue->pointAt(0).epoch);
        QCOMPARE(output.queue->pointAt(end - 1).frame, end - 1);
        QVERIFY(!output.queue->pointAt(end - 1).atEnd);
        QCOMPARE(output.queue->pointAt(begins + 100).frame, 100);
        QCOMPARE(output.queue->endAfter(0), std::optional<int64_t>(end));
        const int64_t before = end - sampleRate / 100;
        output.hear(before);
        QCOMPARE(player.positionMs(), int32_t(before * 1000 / sampleRate));
        QVERIFY(!player.atEnd());
        QCOMPARE(endsSignalled(player), uint64_t(0));
    }
    output.hear(end + sampleRate / 100);
    QCOMPARE(player.positionMs(), first->lengthMs());
    QVERIFY(player.atEnd());
    QCOMPARE(endsSignalled(player), uint64_t(1));
    output.hear(end + sampleRate / 50);
    QCOMPARE(endsSignalled(player), uint64_t(0));

    player.takeRewrite();
    player.adoptFollowingSong();
    QVERIFY(!player.takeRewrite());
    QVERIFY(!player.isFollowingSongStarted());
    QVERIFY(!player.atEnd());
    const int32_t adopted = player.positionMs();
    const int32_t heardOfIt = int32_t((end + sampleRate / 50 - begins) * 1000 / sampleRate);
    QVERIFY2(adopted >= heardOfIt && adopted <= heardOfIt + 5,
        qPrintable(QString("%1 ms into the following song").arg(adopted)));
    output.renderTo(end + sampleRate * 2);
    output.hear(end + sampleRate * 2);
    QVERIFY(player.atEnd());
    QCOMPARE(player.positionMs(), following->lengthMs());
    QCOMPARE(endsSignalled(player), uint64_t(1));
}

void TestLiveSongPlayer::droppedFollowingSongLeavesTheFirstAsIfAlone_data()
{
    QTest::addColumn<bool>("queued");
    QTest::addColumn<QString>("when");
    QTest::newRow("queued, armed, not begun") << true << "armed";
    QTest::newRow("queued, begun, the first's end not yet heard") << true << "begun";
    QTest::newRow("queued, the first's end heard") << true << "heard";
    QTest::newRow("pulled, armed, not begun") << false << "armed";
    QTest::newRow("pulled, the first's end heard") << false << "heard";
}

// Dropped, the following song is no longer heard from a little after the point heard (the stream
// output's margin, then a fade), and the first song is at its end, stopped, once its end is heard:
// its end signalled once, and Prev and Play play it again.
void TestLiveSongPlayer::droppedFollowingSongLeavesTheFirstAsIfAlone()
{
    QFETCH(bool, queued);
    QFETCH(QString, when);
    Following setup(m_soundFont, 1000000, queued);
    QVERIFY(setup.synth.hasSoundFont());
    auto& [synth, player, first, following, end, output] = setup;
    const int64_t heard = when == "heard" ? end + sampleRate / 10 : end - sampleRate / 10;
    output.renderTo(when == "armed" ? end / 2 : heard + sampleRate / 2);
    output.hear(heard);
    QCOMPARE(player.isFollowingSongStarted(), when != "armed");
    QCOMPARE(endsSignalled(player), uint64_t(when == "heard" ? 1 : 0));

    player.takeRewrite();
    player.dropFollowingSong();
    QCOMPARE(player.takeRewrite(), when != "armed");
    player.takeRewrite();
    QVERIFY(!player.isFollowingSongStarted());
    const int64_t replaced
        = queued ? heard + Output::rewriteMargin : int64_t(output.stream.left.size());
    if (queued && when != "armed")
        QVERIFY(output.queue->rewrite(replaced, 2 * sampleRate));
    output.renderTo(end + 2 * sampleRate);
    const int64_t sound = firstSoundFrom(output.stream.left, replaced + 256);
    QVERIFY2(sound < 0, qPrintable(QString("the dropped song sounds at %1").arg(sound)));
    output.hear(end + sampleRate);
    QVERIFY(player.atEnd());
    QVERIFY(!player.isPlaying());
    QCOMPARE(player.positionMs(), first->lengthMs());
    QCOMPARE(endsSignalled(player), uint64_t(when == "heard" ? 0 : 1));

    player.rewindToStart();
    player.play();
    QVERIFY(!player.atEnd());
    QVERIFY(player.isPlaying());
}

void TestLiveSongPlayer::followingSongOnTheEnginesThreads_data()
{
    QTest::addColumn<bool>("adopted");
    QTest::newRow("adopted") << true;
    QTest::newRow("dropped") << false;
}

// As the media control drives it: presets loaded on the sample loader, the song armed, adopted
// or dropped on this thread, while the clock renders on its own.
void TestLiveSongPlayer::followingSongOnTheEnginesThreads()
{
    QFETCH(bool, adopted);
    const auto first = silentSong(300000);
    const auto following = noteSong();
    QVERIFY(first && following);
    auto engine = createSoundEngine();
    engine->useOutput(std::make_unique<ClockAudioOutput>(sampleRate));
    QVERIFY(engine->loadSoundFont(m_soundFont, nullptr));
    engine->start();
    engine->setSong(first, true);
    std::atomic<bool> prepared { false };
    engine->postToSampleLoader([&] {
        engine->prepareFollowingSong(*following);
        prepared.store(true);
    });
    engine->play();
    engine->wake();
    LUMORA_TRY_VERIFY(prepared.load());
    engine->setFollowingSong(following);

    LUMORA_TRY_VERIFY(readable(engine->endNotifier()));
    engine->acknowledgeEnd();
    QVERIFY(engine->isFollowingSongStarted());
    QVERIFY(engine->atEnd());
    QCOMPARE(engine->positionMs(), first->lengthMs());
    if (adopted) {
        engine->adoptFollowingSong();
        QVERIFY(!engine->isFollowingSongStarted());
        LUMORA_TRY_VERIFY(readable(engine->endNotifier()));
        QCOMPARE(engine->positionMs(), following->lengthMs());
    } else {
        engine->dropFollowingSong();
        QVERIFY(!engine->isFollowingSongStarted());
        LUMORA_TRY_VERIFY(!engine->player()->isBusy());
        QVERIFY(engine->atEnd());
        QCOMPARE(engine->positionMs(), first->lengthMs());
        QVERIFY(!readable(engine->endNotifier()));
    }
    engine->shutDown();
}

void TestLiveSongPlayer::followingSongIsReadOnlyWhereALateRenderIsNotHeard_data()
{
    QTest::addColumn<bool>("dropsOut");
    QTest::addColumn<bool>("samplesIn");
    QTest::addColumn<bool>("prepared");
    QTest::newRow("queued output, samples to read") << false << false << true;
    QTest::newRow("driver, samples to read") << true << false << false;
    QTest::newRow("driver, samples in already") << true << true << true;
}

// Reading samples holds the audio thread back; a driver that plays each block as it is rendered
// would drop out in the middle of the song that plays, so there the follower is refused.
void TestLiveSongPlayer::followingSongIsReadOnlyWhereALateRenderIsNotHeard()
{
    QFETCH(bool, dropsOut);
    QFETCH(bool, samplesIn);
    QFETCH(bool, prepared);
    MidiTrackBuilder organ, violin;
    organ.program(0, 0, 19).noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack(960);
    violin.program(0, 0, 40).noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack(960);
    const auto first = songFrom(organ);
    const auto following = songFrom(samplesIn ? organ : violin);
    auto output = std::make_unique<ManualAudioOutput>(sampleRate);
    output->setDropsOutWhenLate(dropsOut);
    auto engine = createSoundEngine();
    engine->useOutput(std::move(output));
    QVERIFY(engine->loadSoundFont(m_soundFont, nullptr));
    engine->start();
    engine->setSong(first, true);
    const int64_t opensBefore = Synth::soundFontFileOpens();
    QCOMPARE(engine->prepareFollowingSong(*following), prepared);
    if (!prepared)
        QCOMPARE(Synth::soundFontFileOpens(), opensBefore);
    engine->shutDown();
}

QTEST_GUILESS_MAIN(TestLiveSongPlayer)
#include "tst_livesongplayer.moc"

// The queue that keeps a long stretch of sound on a stream and replaces what is not yet heard,
// against a source with a plain timeline and a stream that records what is written where.

#include "engine/output/audioqueue.h"

#include <QtTest>

#include <vector>

namespace {

constexpr int fadeFrames = 220;
constexpr float level = 0.5f;

// Plays a constant level while playing; its timeline moves back when told to, as the live
// player's does, and a new epoch stands for a song rewound or replaced.
struct FakeSource : AudioSource {
    uint64_t epoch = 1;
    int64_t frame = 0;
    int64_t endFrame = INT64_MAX;
    int64_t quietFrom = INT64_MAX; // the song falls silent here, and plays on to its end
    bool playing = true;
    bool busy = false;
    bool renderBusy = false; // renders silence without moving on, as a source whose lock is taken
    bool numbered = false; // each frame sounds as its number plus one, to tell what is heard
    TimelinePoint from, to;
    std::vector<TimelinePoint> rewrites;

    TimelinePoint point() const { return { epoch, frame, frame >= endFrame }; }
    bool renderAudio(float* left, float* right, int frames) noexcept override
    {
        from = point();
        if (renderBusy) {
            std::fill(left, left + frames, 0.0f);
            std::fill(right, right + frames, 0.0f);
            to = from;
            return true;
        }
        for (int i = 0; i < frames; ++i) {
            const bool sounds = playing && frame < endFrame;
            left[i] = right[i]
                = sounds && frame < quietFrom ? (numbered ? float(frame + 1) : level) : 0.0f;
            if (sounds)
                ++frame;
        }
        to = point();
        return playing && from.frame < endFrame;
    }
    TimelinePoint renderedFrom() const noexcept override { return from; }
    TimelinePoint renderedTo() const noexcept override { return to; }
    bool renderMissed() const noexcept override { return renderBusy; }
    bool rewriteFrom(const TimelinePoint& at) noexcept override
    {
        if (busy)
            return false;
        rewrites.push_back(at);
        if (at.epoch == epoch)
            frame = at.frame;
        to = point();
        return true;
    }
};

struct RecordingStream : QueuedStream {
    std::vector<float> left; // what the stream would play, by stream frame
    std::vector<std::pair<int64_t, int>> writes;
    int64_t writeEnd = 0; // where the last write ended: a server's queue ends there
    void writeAt(int64_t at, const float* interleaved, int frames) override
    {
        writes.emplace_back(at, frames);
        writeEnd = at + frames;
        if (left.size() < size_t(at + frames))
            left.resize(size_t(at + frames), -1.0f);
        for (int i = 0; i < frames; ++i)
            left[size_t(at + i)] = interleaved[2 * i];
    }
};

// A sink as a sound server runs it: it wakes once a block (its latency) and takes a whole block of
// the stream at once, ahead of what it plays. What the stream lacks it fills with silence of its
// own, which the stream's account does not show (and a PulseAudio stream that ran dry is read as
// fast as it is written from then on). It reports what a server reports: the read index, how much
// it holds not yet played, and whether the stream is playing.
struct BlockSink {
    int64_t block = 0;
    int64_t now = 0; // sink time, in frames since the stream started
    int64_t readIndex = 0;
    bool ranDry = false;
    // What a dry stream does: PipeWire's service reads on over silence of its own (and what is
    // written there later is never played); PulseAudio reads whatever is written the moment it
    // comes, and reports no more of it held than a block, so its read point runs ahead.
    bool readsOnOverSilence = false;
    bool corked = false;
    int64_t startedAt = 0, startedFrame = 0;
    std::vector<int64_t> played; // by sink time: the stream frame played then, -1 for its silence

    void take(const RecordingStream& stream, int64_t count)
    {
        for (int64_t i = 0; i < count; ++i) {
            const bool written = !corked && readIndex < stream.writeEnd;
            ranDry = ranDry || (!corked && !written);
            played.push_back(written ? readIndex : -1);
            readIndex += written || (readsOnOverSilence && !corked) ? 1 : 0;
        }
    }
    void advanceTo(int64_t time, const RecordingStream& stream)
    {
        while (int64_t(played.size()) <= time)
            take(stream, block);
        if (ranDry && !readsOnOverSilence && !corked)
            take(stream, stream.writeEnd - readIndex);
        now = time;
    }
    // Takes back what it holds of the stream: it plays next from the first frame it gave back.
    void cork()
    {
        for (int64_t time = now + 1; time < int64_t(played.size()); ++time) {
            if (played[size_t(time)] >= 0) {
                readIndex = played[size_t(time)];
                break;
            }
        }
        played.resize(size_t(now + 1));
        corked = true;
    }
    void uncork()
    {
        corked = ranDry = false;
        startedAt = now;
        startedFrame = readIndex;
    }
    bool countsReadAsHeard = false; // says it holds next to nothing, as PipeWire's service does
    StreamReadPoint report() const
    {
        int64_t held = int64_t(played.size()) - 1 - now;
        if (countsReadAsHeard || (ranDry && !readsOnOverSilence))
            held = std::min<int64_t>(countsReadAsHeard ? 44 : block, held);
        return { readIndex, held, 0, !ranDry, startedFrame, now - startedAt };
    }
    int64_t heardNow() const { return played[size_t(now)]; }
};

// A sink as PulseAudio runs one, as far as a change goes: a write over what it holds makes it
// give that back and read the stream again from there at once, a whole block of it. The stream
// ends where the last write ended, whatever was queued past it before; one that has less than a
// block there runs dry, and from then on the sink reads whatever is
// written the moment it comes and gives nothing back. It keeps what it read, by sink time.
struct RereadingSink {
    int64_t block = 0;
    int64_t now = 0;
    int64_t readIndex = 0;
    bool ranDry = false;
    std::vector<int64_t> frames; // by sink time: the stream frame read, -1 for silence of its own
    std::vector<float> sound; // by sink time: what that frame held when it was read

    void take(const RecordingStream& stream, int64_t count)
    {
        for (int64_t i = 0; i < count; ++i) {
            const bool written = readIndex < stream.writeEnd;
            ranDry = ranDry || !written;
            frames.push_back(written ? readIndex : -1);
            sound.push_back(written ? stream.left[size_t(readIndex)] : 0.0f);
            readIndex += written ? 1 : 0;
        }
    }
    void advanceTo(int64_t time, const RecordingStream& stream)
    {
        now = time;
        while (int64_t(frames.size()) <= now)
            take(stream, block);
        if (ranDry)
            take(stream, stream.writeEnd - readIndex);
    }
    // The writes of one turn arrived, the first of them at stream frame `from`.
    void written(int64_t from, const RecordingStream& stream)
    {
        if (ranDry)
            return;
        for (int64_t time = now + 1; time < int64_t(frames.size()); ++time) {
            if (frames[size_t(time)] >= from) {
                readIndex = frames[size_t(time)];
                frames.resize(size_t(time));
                sound.resize(size_t(time));
                take(stream, now + 1 + block - time);
                return;
            }
        }
    }
    StreamReadPoint report() const
    {
        return { readIndex, int64_t(frames.size()) - 1 - now, 0, !ranDry, 0, now };
    }
};

AudioQueue::Config config()
{
    AudioQueue::Config config;
    config.capacityFrames = 44100;
    config.chunkFrames = 1024;
    config.fadeFrames = fadeFrames;
    return config;
}

} // namespace

class TestAudioQueue : public QObject {
    Q_OBJECT

private slots:
    void mapsStreamFramesToTheSong_data();
    void mapsStreamFramesToTheSong();
    void pauseFadesWhatWasQueuedAndCoversTheRest();
    void silentFromTheLastSound_data();
    void silentFromTheLastSound();
    void playAfterPauseReplacesTheSilence();
    void busySourceChangesNothing();
    void fillSpreadOverCallsWritesWhatOneCallWould_data();
    void fillSpreadOverCallsWritesWhatOneCallWould();
    void heardFrameFollowsTheServer_data();
    void heardFrameFollowsTheServer();
    void heardPointAndEndFollowASinkThatReadsAhead_data();
    void heardPointAndEndFollowASinkThatReadsAhead();
    void restartAfterRunningDryMapsWhatIsHeard_data();
    void restartAfterRunningDryMapsWhatIsHeard();
    void streamThatRanDryStartsAgainFromItsReadPoint_data();
    void streamThatRanDryStartsAgainFromItsReadPoint();
    void songChangeAfterTheEndIsPlayedWhereItIsMapped_data();
    void songChangeAfterTheEndIsPlayedWhereItIsMapped();
};

void TestAudioQueue::mapsStreamFramesToTheSong_data()
{
    QTest::addColumn<int64_t>("songEnd"); // of the first song
    QTest::addColumn<int64_t>("newSongAt"); // stream frame where a new song replaces it, or -1
    QTest::addColumn<int64_t>("streamFrame");
    QTest::addColumn<TimelinePoint>("expected");
    QTest::addColumn<int64_t>("endHeardAt"); // -1: no end queued

    const int64_t none = -1, open = INT64_MAX;
    QTest::newRow("playing") << open << none << int64_t(1234) << TimelinePoint { 1, 1234 } << none;
    QTest::newRow("before the end")
        << int64_t(3000) << none << int64_t(2999) << TimelinePoint { 1, 2999 } << int64_t(3000);
    QTest::newRow("at the end") << int64_t(3000) << none << int64_t(3000)
                                << TimelinePoint { 1, 3000, true } << int64_t(3000);
    QTest::newRow("past the end") << int64_t(3000) << none << int64_t(4500)
                                  << TimelinePoint { 1, 3000, true } << int64_t(3000);
    QTest::newRow("old song before a change")
        << open << int64_t(2000) << int64_t(1999) << TimelinePoint { 1, 1999 } << none;
    QTest::newRow("new song after a change")
        << open << int64_t(2000) << int64_t(2500) << TimelinePoint { 2, 500 } << none;
}

void TestAudioQueue::mapsStreamFramesToTheSong()
{
    QFETCH(int64_t, songEnd);
    QFETCH(int64_t, newSongAt);
    QFETCH(int64_t, streamFrame);
    QFETCH(TimelinePoint, expected);
    QFETCH(int64_t, endHeardAt);
    FakeSource source;
    source.endFrame = songEnd;
    source.playing = true;
    RecordingStream stream;
    AudioQueue queue(source, stream, config());
    queue.fill(6000);
    if (newSongAt >= 0) {
        source.epoch = 2;
        source.frame = 0;
        QVERIFY(queue.rewrite(newSongAt));
        queue.fill(0);
    }
    QCOMPARE(queue.pointAt(streamFrame), expected);
    const std::optional<int64_t> end = queue.endAfter(0);
    QCOMPARE(end.value_or(-1), endHeardAt);
}

// Pause: from the rewrite point the queued sound fades out over 5 ms, then silence, up to where
// the old sound reached, so nothing queued before plays after the fade; the song goes back to
// the point.
void TestAudioQueue::pauseFadesWhatWasQueuedAndCoversTheRest()
{
    FakeSource source;
    RecordingStream stream;
    AudioQueue queue(source, stream, config());
    queue.fill(8192);
    QCOMPARE(queue.writeIndex(), 8192);
    source.playing = false;
    QVERIFY(queue.rewrite(3000));
    QCOMPARE(source.rewrites.size(), size_t(1));
    QCOMPARE(source.rewrites[0], (TimelinePoint { 1, 3000 }));
    QCOMPARE(stream.writes[8].first, 3000);
    QVERIFY(queue.isIdle());
    QCOMPARE(queue.idleFrom(), 3000 + fadeFrames);
    queue.fill(0);
    QVERIFY(queue.writeIndex() >= 8192);
    for (int i = 0; i < fadeFrames; ++i)
        QCOMPARE(stream.left[size_t(3000 + i)], level * (1.0f - float(i + 1) / fadeFrames));
    for (size_t i = 3000 + fadeFrames; i < stream.left.size(); ++i)
        QVERIFY2(stream.left[i] == 0.0f, qPrintable(QString::number(i)));
    QCOMPARE(stream.left[2999], level);
    QCOMPARE(queue.pointAt(6000), (TimelinePoint { 1, 3000 }));
}

// Where a song ends in silence of its own, the queue is silent from its last sound, not from the
// chunk after its End of Track: the output stops the stream there once the end is heard.
void TestAudioQueue::silentFromTheLastSound_data()
{
    QTest::addColumn<int>("quietFrom");
    QTest::addColumn<int>("idleFrom");
    QTest::newRow("sounding to its end") << -1 << 5000;
    QTest::newRow("silent for its last 2000 frames") << 3000 << 3000;
    QTest::newRow("silent from the chunk with its end") << 4200 << 4200;
    QTest::newRow("silent throughout") << 0 << 0;
}

void TestAudioQueue::silentFromTheLastSound()
{
    QFETCH(int, quietFrom);
    QFETCH(int, idleFrom);
    FakeSource source;
    source.endFrame = 5000;
    source.quietFrom = quietFrom < 0 ? INT64_MAX : quietFrom;
    RecordingStream stream;
    AudioQueue queue(source, stream, config());
    queue.fill(8192);
    QVERIFY(queue.isIdle());
    QCOMPARE(queue.idleFrom(), idleFrom);
    QCOMPARE(queue.endAfter(0), std::optional<int64_t>(5000));
}

void TestAudioQueue::playAfterPauseReplacesTheSilence()
{
    FakeSource source;
    RecordingStream stream;
    AudioQueue queue(source, stream, config());
    queue.fill(4096);
    source.playing = false;
    QVERIFY(queue.rewrite(1000));
    queue.fill(0);
    source.playing = true;
    QVERIFY(queue.rewrite(1500));
    QVERIFY(!queue.isIdle());
    QCOMPARE(source.rewrites.back(), (TimelinePoint { 1, 1000 }));
    queue.fill(4096);
    QCOMPARE(stream.left[1499], 0.0f);
    QCOMPARE(stream.left[1500], level);
    QCOMPARE(stream.left[size_t(queue.writeIndex() - 1)], level);
    // The song resumes where it paused: the frame heard at 1500 is the one paused at.
    QCOMPARE(queue.pointAt(1500), (TimelinePoint { 1, 1000 }));
    QCOMPARE(queue.pointAt(2500), (TimelinePoint { 1, 2000 }));
}

void TestAudioQueue::busySourceChangesNothing()
{
    FakeSource source;
    RecordingStream stream;
    AudioQueue queue(source, stream, config());
    queue.fill(4096);
    const size_t writes = stream.writes.size();
    source.busy = true;
    QVERIFY(!queue.rewrite(1000));
    QCOMPARE(stream.writes.size(), writes);
    QCOMPARE(queue.writeIndex(), 4096);
    // Busy while filling (loading samples), it has nothing queued until it can render.
    source.busy = false;
    source.renderBusy = true;
    QVERIFY(queue.fill(2048));
    QCOMPARE(queue.writeIndex(), 4096);
    QCOMPARE(stream.writes.size(), writes);
    source.renderBusy = false;
    QVERIFY(!queue.fill(2048));
    QCOMPARE(queue.writeIndex(), 6144);
    QCOMPARE(stream.left[5000], level);
    QVERIFY(queue.rewrite(1000));
}

// A long fill is spread over turns of the output's loop: the stream must get the same frames, with
// the same song points, as from one call, and no turn may render much more than it was allowed.
void TestAudioQueue::fillSpreadOverCallsWritesWhatOneCallWould_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("changeAt"); // stream frame of a change after 8192 frames, or -1
    QTest::addColumn<bool>("pause"); // the change pauses, or starts a new song

    QTest::newRow("top-up, whole chunks") << 6000 << 1024 << -1 << false;
    QTest::newRow("top-up, limit inside a chunk") << 6000 << 1500 << -1 << false;
    QTest::newRow("new song covering the old one") << 0 << 2048 << 1000 << false;
    QTest::newRow("pause covering the old sound with silence") << 0 << 2048 << 1000 << true;
    QTest::newRow("new song and a top-up past the old one") << 12000 << 3000 << 1000 << false;
}

void TestAudioQueue::fillSpreadOverCallsWritesWhatOneCallWould()
{
    QFETCH(int, frames);
    QFETCH(int, limit);
    QFETCH(int, changeAt);
    QFETCH(bool, pause);
    struct Run {
        FakeSource source;
        RecordingStream stream;
        AudioQueue queue { source, stream, config() };
    };
    Run whole, sliced;
    for (Run* run : { &whole, &sliced }) {
        if (changeAt < 0)
            continue;
        run->queue.fill(8192);
        if (pause) {
            run->source.playing = false;
        } else {
            run->source.epoch = 2;
            run->source.frame = 0;
        }
        QVERIFY(run->queue.rewrite(changeAt));
    }
    const int64_t until = sliced.queue.writeIndex() + frames;
    QVERIFY(!whole.queue.fill(frames));
    int calls = 0;
    for (bool more = true; more; ++calls) {
        QVERIFY(calls < 100);
        const int64_t before = sliced.queue.writeIndex();
        more = sliced.queue.fill(int(std::max<int64_t>(0, until - before)), limit);
        const int64_t rendered = sliced.queue.writeIndex() - before;
        QVERIFY2(rendered > 0 && rendered < limit + config().chunkFrames,
            qPrintable(QString::number(rendered)));
    }
    QVERIFY(calls > 1);
    QCOMPARE(sliced.queue.writeIndex(), whole.queue.writeIndex());
    QVERIFY(sliced.stream.left == whole.stream.left);
    for (int64_t frame = 0; frame < whole.queue.writeIndex(); frame += 997)
        QCOMPARE(sliced.queue.pointAt(frame), whole.queue.pointAt(frame));
}

// Corking takes back what the sink held of the stream, so what a change writes at a corked
// stream's read point is the first thing heard; written a sink's latency earlier, it would fall
// before the read point and be dropped, and nothing would sound until more was written.
void TestAudioQueue::heardFrameFollowsTheServer_data()
{
    QTest::addColumn<StreamReadPoint>("point");
    QTest::addColumn<bool>("corked");
    QTest::addColumn<int64_t>("expected");

    QTest::newRow("playing") << StreamReadPoint { 10000, 700, 100, true } << false << int64_t(9400);
    QTest::newRow("playing, told a while ago")
        << StreamReadPoint { 10000, 700, 300, true } << false << int64_t(9600);
    QTest::newRow("uncorked, waiting for data")
        << StreamReadPoint { 10000, 700, 300, false } << false << int64_t(9300);
    QTest::newRow("corked") << StreamReadPoint { 10000, 700, 300, false } << true << int64_t(10000);
    QTest::newRow("corked, sink idle")
        << StreamReadPoint { 10000, 0, 300, false } << true << int64_t(10000);
    QTest::newRow("a server that counts the cycle being read as heard")
        << StreamReadPoint { 10000, 44, 0, true, 8000, 1500 } << false << int64_t(9500);
    QTest::newRow("within what the clock allows")
        << StreamReadPoint { 10000, 700, 0, true, 8000, 1500 } << false << int64_t(9300);
}

void TestAudioQueue::heardFrameFollowsTheServer()
{
    QFETCH(StreamReadPoint, point);
    QFETCH(bool, corked);
    QFETCH(int64_t, expected);
    QCOMPARE(heardFrameOf(point, corked), expected);
}

void TestAudioQueue::heardPointAndEndFollowASinkThatReadsAhead_data()
{
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<bool>("countsReadAsHeard");
    QTest::newRow("5 ms") << 5 << false;
    QTest::newRow("100 ms") << 100 << false;
    QTest::newRow("1 s") << 1000 << false;
    QTest::newRow("2 s") << 2000 << false;
    QTest::newRow("46-ms cycles, counted as heard once read") << 46 << true;
}

// A 4-s song played as the stream output plays it, at a sink of any latency: started with what
// the plan says, topped up when the plan says, and looked at every 5 ms. The point the server's
// account gives must be the one being played, and the end must be reported no sooner than it is
// played and at most 20 ms after.
void TestAudioQueue::heardPointAndEndFollowASinkThatReadsAhead()
{
    QFETCH(int, latencyMs);
    QFETCH(bool, countsReadAsHeard);
    constexpr int rate = 44100;
    const int64_t songEnd = 4 * rate;
    AudioQueue::Config queueConfig = config();
    queueConfig.capacityFrames = 8 * rate;
    FakeSource source;
    source.endFrame = songEnd;
    RecordingStream stream;
    AudioQueue queue(source, stream, queueConfig);
    BlockSink sink;
    sink.block = int64_t(latencyMs) * rate / 1000;
    sink.countsReadAsHeard = countsReadAsHeard;
    const AheadPlan plan = aheadPlanFor(sink.block, 2 * rate, rate / 2, queueConfig.capacityFrames);

    QVERIFY(queue.rewrite(0));
    queue.fill(int(plan.start - queue.writeIndex()));
    const int64_t step = rate / 200;
    int64_t endReported = -1, endPlayed = -1;
    for (int64_t time = 0; time < 12 * rate && endReported < 0; time += step) {
        sink.advanceTo(time, stream);
        const int64_t heard = heardFrameOf(sink.report(), false);
        const TimelinePoint point = queue.pointAt(heard);
        const int64_t truth = sink.heardNow();
        if (truth >= songEnd || (truth < 0 && queue.isIdle()))
            endPlayed = endPlayed < 0 ? time : endPlayed;
        if (endPlayed < 0) {
            QVERIFY2(!sink.ranDry, qPrintable(QString("ran dry at %1").arg(time)));
            QVERIFY2(std::abs(point.frame - truth) <= step,
                qPrintable(
                    QString("at %1: %2 heard, %3 played").arg(time).arg(point.frame).arg(truth)));
        }
        if (point.atEnd)
            endReported = time;
        const int64_t wanted = plan.target - queue.queuedFrames(heard);
        if (wanted >= plan.refill || queue.writeIndex() < heard + plan.start)
            queue.fill(int(std::max<int64_t>(wanted, 0)));
    }
    QVERIFY(endPlayed >= 0);
    QVERIFY2(endReported >= endPlayed && endReported <= endPlayed + rate / 50,
        qPrintable(QString("reported %1, played %2").arg(endReported).arg(endPlayed)));
}

void TestAudioQueue::restartAfterRunningDryMapsWhatIsHeard_data()
{
    QTest::addColumn<int64_t>("from"); // the stream's read point; 6000 were written
    QTest::addColumn<int64_t>("songFrom"); // the stream frame heard last
    QTest::addColumn<int64_t>("songFrame"); // the song goes on from here
    QTest::addColumn<int64_t>("holeFrame"); // what the stream frame 6500 maps to

    QTest::newRow("read point at the written end")
        << int64_t(6000) << int64_t(6000) << int64_t(6000) << int64_t(6500);
    QTest::newRow("read on over silence past it")
        << int64_t(7000) << int64_t(6000) << int64_t(6000) << int64_t(6000);
    QTest::newRow("the sink's last block never played")
        << int64_t(6000) << int64_t(5000) << int64_t(5000) << int64_t(5500);
}

// A stream that ran dry goes on from its read point, with the song from the point heard last:
// the silence it played maps to where the sound stopped, and nothing of the song is skipped.
void TestAudioQueue::restartAfterRunningDryMapsWhatIsHeard()
{
    QFETCH(int64_t, from);
    QFETCH(int64_t, songFrom);
    QFETCH(int64_t, songFrame);
    QFETCH(int64_t, holeFrame);
    FakeSource source;
    RecordingStream stream;
    AudioQueue queue(source, stream, config());
    queue.fill(6000);
    QVERIFY(queue.rewrite(from, 2048, songFrom));
    QCOMPARE(source.rewrites.back(), (TimelinePoint { 1, songFrame }));
    QCOMPARE(stream.writes.back().first + stream.writes.back().second, queue.writeIndex());
    QVERIFY(queue.writeIndex() >= from + 2048);
    QCOMPARE(queue.pointAt(from + 100), (TimelinePoint { 1, songFrame + 100 }));
    QCOMPARE(queue.pointAt(6500).frame, holeFrame);
    QCOMPARE(stream.left[size_t(from)], level);
}

void TestAudioQueue::streamThatRanDryStartsAgainFromItsReadPoint_data()
{
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<bool>("readsOnOverSilence");
    QTest::addColumn<bool>("toldUnderflow");
    QTest::newRow("100 ms, read point waits, underflow told") << 100 << false << true;
    QTest::newRow("1 s, read point waits, underflow told") << 1000 << false << true;
    QTest::newRow("100 ms, read on over silence, not told") << 100 << true << false;
    QTest::newRow("1 s, read on over silence, underflow told") << 1000 << true << true;
}

// A 4-s song whose writer is held up for 3 s after 1 s, longer than its queue lasts (a stopped or
// starved process): the stream runs dry. Started again as the stream output does it, every frame
// of the song must be played once and in order, the point heard must follow the sound once it is
// back, and the end must be reported no sooner than it is played and at most 20 ms after.
void TestAudioQueue::streamThatRanDryStartsAgainFromItsReadPoint()
{
    QFETCH(int, latencyMs);
    QFETCH(bool, readsOnOverSilence);
    QFETCH(bool, toldUnderflow);
    constexpr int rate = 44100;
    const int64_t songEnd = 4 * rate, stallFrom = rate, stallUntil = 4 * rate;
    AudioQueue::Config queueConfig = config();
    queueConfig.capacityFrames = 8 * rate;
    FakeSource source;
    source.endFrame = songEnd;
    source.numbered = true;
    RecordingStream stream;
    AudioQueue queue(source, stream, queueConfig);
    BlockSink sink;
    sink.block = int64_t(latencyMs) * rate / 1000;
    sink.readsOnOverSilence = readsOnOverSilence;
    const AheadPlan plan = aheadPlanFor(sink.block, 2 * rate, rate / 2, queueConfig.capacityFrames);
    const auto songFrameAt = [&](int64_t time) {
        const int64_t frame = sink.played[size_t(time)];
        return frame < 0 ? -1 : int64_t(stream.left[size_t(frame)]) - 1;
    };

    QVERIFY(queue.rewrite(0));
    queue.fill(int(plan.start - queue.writeIndex()));
    const int64_t step = rate / 200;
    int64_t endReported = -1, restarts = 0, lastSounded = -1;
    for (int64_t time = 0; time < 16 * rate && endReported < 0; time += step) {
        sink.advanceTo(time, stream);
        lastSounded = std::max(lastSounded, songFrameAt(time));
        if (time >= stallFrom && time < stallUntil)
            continue;
        const StreamReadPoint report = sink.report();
        if (!queue.isIdle()
            && hasRunDry(report, queue.writeIndex(), toldUnderflow && sink.ranDry)) {
            sink.cork();
            QVERIFY(queue.rewrite(sink.readIndex));
            queue.fill(int(sink.readIndex + plan.start - queue.writeIndex()));
            sink.uncork();
            ++restarts;
            continue;
        }
        const int64_t heard = std::min(heardFrameOf(report, false), queue.writeIndex());
        const TimelinePoint point = queue.pointAt(heard);
        if (songFrameAt(time) >= 0 && restarts > 0) {
            QVERIFY2(std::abs(point.frame - songFrameAt(time)) <= step,
                qPrintable(QString("at %1: %2 heard, %3 played")
                               .arg(time)
                               .arg(point.frame)
                               .arg(songFrameAt(time))));
        }
        if (point.atEnd)
            endReported = time;
        const int64_t wanted = plan.target - queue.queuedFrames(heard);
        if (wanted >= plan.refill || queue.writeIndex() < heard + plan.start)
            queue.fill(int(std::max<int64_t>(wanted, 0)));
    }
    int64_t expected = 0, endPlayed = -1;
    for (int64_t time = 0; time <= sink.now; ++time) {
        const int64_t frame = songFrameAt(time);
        if (frame < 0)
            continue;
        QVERIFY2(frame == expected,
            qPrintable(
                QString("at %1: song frame %2 played, %3 due").arg(time).arg(frame).arg(expected)));
        if (++expected == songEnd)
            endPlayed = time + 1;
    }
    QVERIFY2(endPlayed >= 0, qPrintable(QString("played to %1").arg(lastSounded)));
    QVERIFY2(endReported >= endPlayed && endReported <= endPlayed + rate / 50,
        qPrintable(QString("reported %1, played %2").arg(endReported).arg(endPlayed)));
    QCOMPARE(restarts, 1);
}

void TestAudioQueue::songChangeAfterTheEndIsPlayedWhereItIsMapped_data()
{
    QTest::addColumn<int>("latencyMs"); // the sink's, as the plan has it
    QTest::addColumn<int>("blockMs"); // the sink's block at the change
    QTest::newRow("5 ms") << 5 << 5;
    QTest::newRow("100 ms") << 100 << 100;
    QTest::newRow("1 s") << 1000 << 1000;
    QTest::newRow("100 ms, a 20-ms recorder attached") << 100 << 20;
}

// Loop, as the stream output plays it: a 1-s song ends, the silence after it is queued, and the
// end, once heard, closes the song and starts it again, two changes 5 ms apart written where the
// output writes them. Every frame the queue then counts as the new song must be the new song in
// the sink, not the old silence: a sink that ran dry keeps what it read.
void TestAudioQueue::songChangeAfterTheEndIsPlayedWhereItIsMapped()
{
    QFETCH(int, latencyMs);
    QFETCH(int, blockMs);
    constexpr int rate = 44100;
    constexpr int64_t margin = rate * 6 / 1000;
    AudioQueue::Config queueConfig = config();
    queueConfig.capacityFrames = 8 * rate;
    FakeSource source;
    source.endFrame = rate;
    RecordingStream stream;
    AudioQueue queue(source, stream, queueConfig);
    RereadingSink sink;
    sink.block = int64_t(latencyMs) * rate / 1000;
    const AheadPlan plan = aheadPlanFor(sink.block, 2 * rate, rate / 2, queueConfig.capacityFrames);
    const auto change = [&](int64_t heard) {
        const int64_t from = heard + margin;
        QVERIFY(queue.rewrite(from, int(plan.start - margin)));
        sink.written(from, stream);
    };

    QVERIFY(queue.rewrite(0));
    queue.fill(int(plan.start - queue.writeIndex()));
    const int64_t step = rate / 200;
    int64_t changedAt = -1;
    for (int64_t time = 0; time < 4 * rate; time += step) {
        sink.advanceTo(time, stream);
        const int64_t heard = heardFrameOf(sink.report(), false);
        if (changedAt < 0 && queue.pointAt(heard).atEnd) {
            changedAt = time;
            sink.block = int64_t(blockMs) * rate / 1000;
            source.playing = false;
            change(heard);
        } else if (changedAt >= 0 && time == changedAt + step) {
            source.epoch = 2;
            source.frame = 0;
            source.endFrame = INT64_MAX;
            source.playing = true;
            change(heard);
        }
        const int64_t wanted = plan.target - queue.queuedFrames(heard);
        const int64_t before = queue.writeIndex();
        if (wanted >= plan.refill || queue.writeIndex() < heard + plan.start)
            queue.fill(int(std::max<int64_t>(wanted, 0)));
        if (queue.writeIndex() > before)
            sink.written(before, stream);
    }
    QVERIFY(changedAt > 0);
    int64_t lost = 0;
    for (int64_t time = changedAt; time < sink.now; ++time) {
        const int64_t frame = sink.frames[size_t(time)];
        if (frame >= 0 && queue.pointAt(frame).epoch == 2 && sink.sound[size_t(time)] != level)
            ++lost;
    }
    QVERIFY2(lost == 0, qPrintable(QString("%1 ms of the new song lost").arg(lost * 1000 / rate)));
}

QTEST_MAIN(TestAudioQueue)
#include "tst_audioqueue.moc"

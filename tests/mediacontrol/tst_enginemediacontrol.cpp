// The media control on a virtual clock: the test pulls the audio by hand, so every command can be
// checked in every state at exact song times, without a sound card and without sleeping.

#include "manualclockrig.h"
#include "smfwriter.h"
#include "testwait.h"
#include "warningcapture.h"

#include "engine/output/manualaudiooutput.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/synth.h"
#include "media/enginemediacontrol.h"
#include "media/enginemediacontrolprobe.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

constexpr int songLengthMs = 1000;
constexpr int playedMs = 300;
constexpr int never = 3600 * 1000;

struct Rig : ManualClockRig {
    using ManualClockRig::ManualClockRig;

    int position() { return media->position(); }
    // How far the timeline moves when the clock runs on: 0 unless a song plays.
    int advanceMs(int ms)
    {
        const int before = media->position();
        output->pullMs(ms);
        return media->position() - before;
    }
};

Rig makeRig(EngineSetup setup = {})
{
    return Rig(std::move(setup));
}

EngineSetup silentSetup(int statusIntervalMs = never)
{
    EngineSetup setup;
    setup.withoutSynth = true;
    setup.statusIntervalMs = statusIntervalMs;
    return setup;
}

} // namespace

class TestEngineMediaControl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        m_synthRig.reset();
        m_backgroundRig.reset();
    }

    void commandInEveryState_data();
    void commandInEveryState();
    void positionReachesLengthExactly_data();
    void positionReachesLengthExactly();
    void positionEqualsLengthOnlyAtTheEnd_data();
    void positionEqualsLengthOnlyAtTheEnd();
    void restartAfterCloseOpenPlay();
    void failedOpenLeavesDeviceAsItWas_data();
    void failedOpenLeavesDeviceAsItWas();
    void bareNameIsRelativeToWorkingDirectory();
    void timeFormatIsStored();

    void periodicNotificationOnlyWhileOpen_data();
    void periodicNotificationOnlyWhileOpen();
    void statusTimerRunsWhileOpen();
    void endNotifiesOnceInALaterPass();
    void endWakesAWaitingEventLoop();
    void handlersOfOneNotificationReadOnePosition_data();
    void handlersOfOneNotificationReadOnePosition();
    void emptySongOnLoopRestartsAFewTimesASecond();

    void playBeforeSynthReadyStartsWhenReady();
    void commandsWhileClosingFades_data();
    void commandsWhileClosingFades();
    void soundStopsAndRendersNothingWhenIdle_data();
    void soundStopsAndRendersNothingWhenIdle();
    void samplesLoadAfterOpenReturns_data();
    void samplesLoadAfterOpenReturns();

private:
    void bringTo(Rig& rig, const QString& state);
    Rig* synthRig();
    std::unique_ptr<Rig> m_synthRig; // the SoundFont loads once for the tests that listen
    std::unique_ptr<Rig> m_backgroundRig; // the same, loading as the program does
    QString m_song;
    QTemporaryDir m_dir;
};

void TestEngineMediaControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_song = m_dir.filePath("song.mid");
    QVERIFY(SmfWriter().melody(0, 4, 250).endAt(songLengthMs).save(m_song));
}

void TestEngineMediaControl::bringTo(Rig& rig, const QString& state)
{
    if (state == "closed")
        return;
    rig.media->setFileName(m_song);
    rig.media->setCommand("Open");
    if (state == "open")
        return;
    rig.media->setCommand("Play");
    rig.output->pullMs(playedMs);
    if (state == "paused")
        rig.media->setCommand("Pause");
    if (state == "ended") {
        rig.output->pullMs(songLengthMs);
        QCoreApplication::processEvents();
    }
}

// Each row: the state, the command, then what follows: a warning or not, a song open or not,
// the position right after, and whether the timeline then moves (-1: not checked).
void TestEngineMediaControl::commandInEveryState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("warns");
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("moves");

    const int end = songLengthMs;
    QTest::newRow("closed Open") << "closed"
                                 << "Open" << false << true << 0 << false;
    QTest::newRow("closed open") << "closed"
                                 << "open" << false << true << 0 << false;
    QTest::newRow("closed Close") << "closed"
                                  << "Close" << false << false << 0 << false;
    QTest::newRow("closed Play") << "closed"
                                 << "Play" << true << false << 0 << false;
    QTest::newRow("closed Pause") << "closed"
                                  << "Pause" << true << false << 0 << false;
    QTest::newRow("closed Prev") << "closed"
                                 << "Prev" << true << false << 0 << false;
    QTest::newRow("closed OPEN") << "closed"
                                 << "OPEN" << true << false << 0 << false;

    QTest::newRow("open Open") << "open"
                               << "Open" << true << true << 0 << false;
    QTest::newRow("open open") << "open"
                               << "open" << true << true << 0 << false;
    QTest::newRow("open Close") << "open"
                                << "Close" << false << false << 0 << false;
    QTest::newRow("open Play") << "open"
                               << "Play" << false << true << 0 << true;
    QTest::newRow("open Pause") << "open"
                                << "Pause" << true << true << 0 << false;
    QTest::newRow("open Prev") << "open"
                               << "Prev" << false << true << 0 << false;
    QTest::newRow("open play") << "open"
                               << "play" << true << true << 0 << false;
    QTest::newRow("open Stop") << "open"
                               << "Stop" << true << true << 0 << false;
    QTest::newRow("open empty") << "open"
                                << "" << true << true << 0 << false;

    QTest::newRow("playing Open") << "playing"
                                  << "Open" << true << true << playedMs << true;
    QTest::newRow("playing Close") << "playing"
                                   << "Close" << false << false << 0 << false;
    QTest::newRow("playing Play") << "playing"
                                  << "Play" << false << true << playedMs << true;
    QTest::newRow("playing Pause") << "playing"
                                   << "Pause" << false << true << playedMs << false;
    QTest::newRow("playing Prev") << "playing"
                                  << "Prev" << false << true << 0 << false;
    QTest::newRow("playing pause") << "playing"
                                   << "pause" << true << true << playedMs << true;

    QTest::newRow("paused Open") << "paused"
                                 << "Open" << true << true << playedMs << false;
    QTest::newRow("paused Close") << "paused"
                                  << "Close" << false << false << 0 << false;
    QTest::newRow("paused Play") << "paused"
                                 << "Play" << false << true << playedMs << true;
    QTest::newRow("paused Pause resumes") << "paused"
                                          << "Pause" << false << true << playedMs << true;
    QTest::newRow("paused Prev") << "paused"
                                 << "Prev" << false << true << 0 << false;

    QTest::newRow("ended Open") << "ended"
                                << "Open" << true << true << end << false;
    QTest::newRow("ended Close") << "ended"
                                 << "Close" << false << false << 0 << false;
    QTest::newRow("ended Play") << "ended"
                                << "Play" << true << true << end << false;
    QTest::newRow("ended Pause") << "ended"
                                 << "Pause" << true << true << end << false;
    QTest::newRow("ended Prev") << "ended"
                                << "Prev" << false << true << 0 << false;
}

void TestEngineMediaControl::commandInEveryState()
{
    QFETCH(QString, state);
    QFETCH(QString, command);
    QFETCH(bool, warns);
    QFETCH(bool, open);
    QFETCH(int, position);
    QFETCH(bool, moves);

    Rig rig = makeRig(silentSetup());
    bringTo(rig, state);
    rig.media->setFileName(m_song);
    WarningCapture capture;
    rig.media->setCommand(command);

    QCOMPARE(!capture.warnings().isEmpty(), warns);
    QCOMPARE(rig.media->isOpen(), open);
    QCOMPARE(rig.media->length(), open ? songLengthMs : 0);
    QCOMPARE(rig.position(), position);
    QCOMPARE(rig.advanceMs(100) > 0, moves);
    if (moves)
        QCOMPARE(rig.position(), position + 100);
}

// Lengths that do not fall on a whole block or a whole sample, pulled in blocks of every size.
void TestEngineMediaControl::positionReachesLengthExactly_data()
{
    QTest::addColumn<int>("lengthMs");
    QTest::addColumn<int>("blockFrames");
    QTest::newRow("1 s, 512") << 1000 << 512;
    QTest::newRow("1234 ms, 512") << 1234 << 512;
    QTest::newRow("1234 ms, 1") << 1234 << 1;
    QTest::newRow("777 ms, 4096") << 777 << 4096;
    QTest::newRow("300 ms, 441") << 300 << 441;
    QTest::newRow("empty song") << 0 << 512;
}

void TestEngineMediaControl::positionReachesLengthExactly()
{
    QFETCH(int, lengthMs);
    QFETCH(int, blockFrames);
    const QString path = m_dir.filePath(QString("length-%1.mid").arg(lengthMs));
    SmfWriter song;
    if (lengthMs > 0)
        song.note(0, std::min(lengthMs, 500), 60);
    QVERIFY(song.endAt(lengthMs).save(path));

    Rig rig(silentSetup(), 44100.0, blockFrames);
    rig.play(path);
    EngineMediaControl& media = *rig.media;
    QCOMPARE(media.length(), lengthMs);

    int last = 0;
    for (int pulled = 0; pulled < lengthMs + 500; pulled += 7) {
        rig.output->pullMs(7);
        QVERIFY2(media.position() <= lengthMs, qPrintable(QString::number(media.position())));
        QVERIFY(media.position() >= last);
        last = media.position();
    }
    QCOMPARE(media.position(), lengthMs);
    QVERIFY(EngineMediaControlProbe::player(media)->atEnd());
}

void TestEngineMediaControl::positionEqualsLengthOnlyAtTheEnd_data()
{
    QTest::addColumn<int>("usPerQuarter"); // 1000 ticks a quarter, 1000 ticks of song
    QTest::addColumn<double>("sampleRate");
    QTest::addColumn<int>("blockFrames");
    QTest::newRow("1001.998 ms, 44.1 kHz, 512") << 1001998 << 44100.0 << 512;
    QTest::newRow("998.9 ms, 44.1 kHz, 512 (a period ends in its last ms)")
        << 998900 << 44100.0 << 512;
    QTest::newRow("1001.998 ms, 48 kHz, 1") << 1001998 << 48000.0 << 1;
    QTest::newRow("1000.5 ms, 22.05 kHz, 1") << 1000500 << 22050.0 << 1;
}

// The end of a song is Position == Length and nothing else: a reader must never see the two equal
// while the song still has a fraction of a millisecond to play.
void TestEngineMediaControl::positionEqualsLengthOnlyAtTheEnd()
{
    QFETCH(int, usPerQuarter);
    QFETCH(double, sampleRate);
    QFETCH(int, blockFrames);
    const QString path = m_dir.filePath(QString("fractional-%1.mid").arg(usPerQuarter));
    QVERIFY(SmfWriter().tempo(usPerQuarter).note(0, 500, 60).endAt(1000).save(path));

    Rig rig(silentSetup(), sampleRate, blockFrames);
    rig.play(path);
    EngineMediaControl& media = *rig.media;
    QCOMPARE(media.length(), usPerQuarter / 1000);

    const int songFrames = int(sampleRate * usPerQuarter / 1e6) + 2 * blockFrames;
    for (int pulled = 0; pulled < songFrames; pulled += blockFrames) {
        rig.output->pull(blockFrames);
        QVERIFY2(
            (media.position() == media.length()) == EngineMediaControlProbe::player(media)->atEnd(),
            qPrintable(QString("position %1 at frame %2").arg(media.position()).arg(pulled)));
    }
    QVERIFY(EngineMediaControlProbe::player(media)->atEnd());
}

void TestEngineMediaControl::restartAfterCloseOpenPlay()
{
    Rig rig = makeRig(silentSetup());
    bringTo(rig, "playing");
    for (const char* command : { "Close", "Open", "Play" })
        rig.media->setCommand(command);
    QCOMPARE(rig.position(), 0);
    QCOMPARE(rig.advanceMs(100), 100);
}

void TestEngineMediaControl::failedOpenLeavesDeviceAsItWas_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents"); // written to name first, unless empty
    QTest::addColumn<QString>("mentions"); // what the warning must name
    QTest::newRow("missing") << "missing.mid" << QByteArray() << "missing.mid";
    QTest::newRow("not MIDI") << "notes.mid" << QByteArray("plain text, no MIDI") << "notes.mid";
    QTest::newRow("truncated") << "cut.mid" << QByteArray::fromHex("4d546864000000") << "cut.mid";
    QTest::newRow("directory") << "." << QByteArray() << m_dir.path();
    QTest::newRow("empty name") << "" << QByteArray() << "no file name";
}

void TestEngineMediaControl::failedOpenLeavesDeviceAsItWas()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, mentions);
    const QString path = name.isEmpty() ? QString() : QDir(m_dir.path()).filePath(name);
    if (!contents.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    Rig rig = makeRig(silentSetup());
    WarningCapture capture;
    rig.media->setFileName(path);
    rig.media->setCommand("Open");

    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY2(capture.joined().contains(mentions), qPrintable(capture.joined()));
    // The reason follows the name.
    QVERIFY2(
        capture.joined().section(mentions, -1).trimmed().size() > 1, qPrintable(capture.joined()));
    QVERIFY(!rig.media->isOpen());
    QVERIFY(!rig.media->isStatusTimerActive());
    QCOMPARE(rig.media->length(), 0);
    QCOMPARE(rig.position(), 0);

    // Still usable: a good file opens and plays.
    rig.media->setFileName(m_song);
    rig.media->setCommand("Open");
    rig.media->setCommand("Play");
    QCOMPARE(rig.advanceMs(50), 50);
}

void TestEngineMediaControl::bareNameIsRelativeToWorkingDirectory()
{
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    Rig rig = makeRig(silentSetup());
    rig.media->setFileName("song.mid");
    rig.media->setCommand("Open");
    QDir::setCurrent(before);
    QCOMPARE(rig.media->length(), songLengthMs);
}

void TestEngineMediaControl::timeFormatIsStored()
{
    Rig rig = makeRig(silentSetup());
    rig.media->setTimeFormat(0);
    QCOMPARE(rig.media->timeFormat(), 0);
    rig.media->setTimeFormat(3);
    QCOMPARE(rig.media->timeFormat(), 3);
}

void TestEngineMediaControl::periodicNotificationOnlyWhileOpen_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("then");
    QTest::addColumn<bool>("notifies");
    QTest::newRow("never opened") << "closed" << QStringList() << false;
    QTest::newRow("open") << "open" << QStringList() << true;
    QTest::newRow("playing") << "playing" << QStringList() << true;
    QTest::newRow("paused") << "paused" << QStringList() << true;
    QTest::newRow("ended") << "ended" << QStringList() << true;
    QTest::newRow("closed after playing") << "playing" << QStringList { "Close" } << false;
    QTest::newRow("failed open") << "closed" << QStringList { "Open" } << false;
}

void TestEngineMediaControl::periodicNotificationOnlyWhileOpen()
{
    QFETCH(QString, state);
    QFETCH(QStringList, then);
    QFETCH(bool, notifies);

    Rig rig = makeRig(silentSetup());
    QSignalSpy endNotification(rig.media.get(), &MediaControl::statusUpdate);
    bringTo(rig, state);
    rig.media->setFileName(m_dir.filePath("missing.mid"));
    WarningCapture capture;
    for (const QString& command : then)
        rig.media->setCommand(command);
    // The end notification, if any, out of the way first: a loaded machine may take a while.
    if (state == "ended")
        LUMORA_TRY_COMPARE(endNotification.size(), 1);
    else
        QTest::qWait(20);
    QSignalSpy spy(rig.media.get(), &MediaControl::statusUpdate);
    rig.media->tickStatus();
    QCOMPARE(spy.size(), notifies ? 1 : 0);
    QCOMPARE(rig.media->isStatusTimerActive(), notifies);
}

void TestEngineMediaControl::statusTimerRunsWhileOpen()
{
    Rig rig = makeRig(silentSetup(10));
    QSignalSpy spy(rig.media.get(), &MediaControl::statusUpdate);
    QTest::qWait(60);
    QCOMPARE(spy.size(), 0);
    bringTo(rig, "open");
    LUMORA_TRY_VERIFY(spy.size() >= 3);
    rig.media->setCommand("Close");
    spy.clear();
    QTest::qWait(60);
    QCOMPARE(spy.size(), 0);
}

void TestEngineMediaControl::endNotifiesOnceInALaterPass()
{
    Rig rig = makeRig(silentSetup());
    bringTo(rig, "playing");
    QSignalSpy spy(rig.media.get(), &MediaControl::statusUpdate);
    rig.output->pullMs(songLengthMs);
    QCOMPARE(rig.position(), rig.media->length());

    rig.media->tickStatus(); // a tick never runs ahead of the end's own notification
    QCOMPARE(spy.size(), 0);
    QCoreApplication::processEvents(); // the pass that sees the end
    QCOMPARE(spy.size(), 0);
    QCOMPARE(rig.position(), rig.media->length());

    LUMORA_TRY_COMPARE(spy.size(), 1);
    QTest::qWait(30);
    QCOMPARE(spy.size(), 1);
    rig.output->pullMs(500); // the clock running on past the end brings no more
    QTest::qWait(30);
    QCOMPARE(spy.size(), 1);

    // Back at the start, the next end notifies again.
    rig.media->setCommand("Prev");
    rig.media->setCommand("Play");
    rig.output->pullMs(songLengthMs + 10);
    LUMORA_TRY_COMPARE(spy.size(), 2);
}

void TestEngineMediaControl::handlersOfOneNotificationReadOnePosition_data()
{
    QTest::addColumn<QString>("between"); // what a handler does between two reads
    QTest::addColumn<bool>("same");
    QTest::newRow("the end is heard meanwhile") << "end" << true;
    QTest::newRow("a command meanwhile") << "Prev" << false;
}

// The audio thread may reach the end while a tick's handlers run: Play All looks first, the
// window's handler next, and they must read the same position, or the window rewinds a song that
// Play All never saw end and Play All waits forever. A command changes what is read, though.
void TestEngineMediaControl::handlersOfOneNotificationReadOnePosition()
{
    QFETCH(QString, between);
    QFETCH(bool, same);
    Rig rig = makeRig(silentSetup());
    bringTo(rig, "playing");
    rig.output->pullMs(songLengthMs - 100 - rig.position());
    QList<int> reads;
    connect(rig.media.get(), &MediaControl::statusUpdate, this, [&] {
        reads << rig.position();
        if (between == "end")
            rig.output->pullMs(200);
        else
            rig.media->setCommand(between);
        reads << rig.position();
    });
    rig.media->tickStatus();
    QCOMPARE(reads.size(), 2);
    QCOMPARE(reads[0], songLengthMs - 100);
    QCOMPARE(reads[0] == reads[1], same);
    // Outside a notification the position is read afresh.
    QCOMPARE(rig.position(), between == "end" ? songLengthMs : 0);
}

// A loop elsewhere waits for the end with WaitForMoreEvents: the end itself must wake it, and it
// must find Position == Length before any notification.
void TestEngineMediaControl::endWakesAWaitingEventLoop()
{
    Rig rig = makeRig(silentSetup());
    bringTo(rig, "playing");
    QSignalSpy spy(rig.media.get(), &MediaControl::statusUpdate);
    bool gaveUp = false;
    QTimer::singleShot(10000, [&] { gaveUp = true; });

    std::atomic<bool> go { false };
    std::thread audio([&] {
        while (!go.load())
            std::this_thread::yield();
        rig.output->pullMs(songLengthMs);
    });
    go = true;
    int wakeUps = 0;
    while (!gaveUp && rig.position() < rig.media->length()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        ++wakeUps;
    }
    audio.join();
    QVERIFY2(!gaveUp, "the end did not wake the event loop");
    QCOMPARE(spy.size(), 0);
    QCOMPARE(rig.position(), rig.media->length());
    LUMORA_TRY_COMPARE(spy.size(), 1);
}

// A failing SoundFont load still goes through the worker and the hand-over, quickly.
// An empty song ends as soon as it plays; with Loop on, the window restarts it on every end
// notification. The notifications are spaced so that this costs next to nothing.
void TestEngineMediaControl::emptySongOnLoopRestartsAFewTimesASecond()
{
    const QString path = m_dir.filePath("empty-loop.mid");
    QVERIFY(SmfWriter().save(path));
    Rig rig = makeRig(silentSetup());
    int ends = 0;
    connect(rig.media.get(), &MediaControl::statusUpdate, this, [&] {
        if (rig.media->length() != rig.media->position())
            return;
        ++ends;
        for (const char* command : { "Prev", "Close", "Open", "Play" })
            rig.media->setCommand(command);
    });
    QTimer clock;
    connect(&clock, &QTimer::timeout, this, [&] { rig.output->pullMs(10); });
    clock.start(1);
    rig.media->setFileName(path);
    rig.media->setCommand("Open");
    rig.media->setCommand("Play");
    QTest::qWait(1000);
    QVERIFY2(ends >= 2 && ends <= 5, qPrintable(QString::number(ends)));
}

void TestEngineMediaControl::playBeforeSynthReadyStartsWhenReady()
{
    EngineSetup setup;
    setup.soundFont = m_dir.filePath("no-such-font.sf2").toStdString();
    setup.statusIntervalMs = never;
    WarningCapture capture;
    Rig rig = makeRig(std::move(setup));
    QSignalSpy ready(rig.media.get(), &EngineMediaControl::synthReady);
    QVERIFY(!rig.media->isSynthReady());
    bringTo(rig, "open");
    rig.media->setCommand("Play");
    QCOMPARE(rig.advanceMs(100), 0);
    QCOMPARE(rig.media->length(), songLengthMs);

    QVERIFY(ready.wait(TestWait::ceilingMs));
    QVERIFY2(capture.joined().contains("no-such-font.sf2"), qPrintable(capture.joined()));
    QCOMPARE(rig.position(), 0);
    QCOMPARE(rig.advanceMs(100), 100);
}

// With the real synth: sound stops (fade, cut, or release) and then the player reports nothing
// to play, so the output stops calling it.
void TestEngineMediaControl::soundStopsAndRendersNothingWhenIdle_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("silentWithinMs");
    QTest::newRow("Pause fades") << "Pause" << 20;
    QTest::newRow("Close fades") << "Close" << 20;
    QTest::newRow("Prev rings out") << "Prev" << 5000;
    QTest::newRow("end rings out") << "" << 5000;
}

void TestEngineMediaControl::soundStopsAndRendersNothingWhenIdle()
{
    QFETCH(QString, command);
    QFETCH(int, silentWithinMs);
    Rig* rig = synthRig();
    if (!rig)
        QSKIP("no SoundFont here");
    QString organ = m_dir.filePath("organ.mid");
    QVERIFY(SmfWriter().program(0, 19).note(0, 2000, 60).endAt(2000).save(organ));

    rig->media->setCommand("Close");
    for (int i = 0; i < 100 && rig->output->pullMs(100).activeBlocks > 0; ++i) { }
    rig->media->setFileName(organ);
    rig->media->setCommand("Open");
    QCOMPARE(rig->output->pullMs(100).activeBlocks, 0); // nothing plays yet
    rig->media->setCommand("Play");
    QVERIFY(rig->output->pullMs(300).peak > 0.01f);

    if (command.isEmpty())
        rig->output->pullMs(2000);
    else
        rig->media->setCommand(command);
    ManualAudioOutput::Pulled tail = rig->output->pullMs(silentWithinMs);
    QVERIFY(tail.activeBlocks > 0);
    ManualAudioOutput::Pulled after = rig->output->pullMs(50);
    QCOMPARE(after.peak, 0.0f);
    const uint64_t rendered = EngineMediaControlProbe::player(*rig->media)->blocksRendered();
    after = rig->output->pullMs(200);
    QCOMPARE(after.activeBlocks, 0);
    QCOMPARE(EngineMediaControlProbe::player(*rig->media)->blocksRendered(), rendered);
}

Rig* TestEngineMediaControl::synthRig()
{
    if (Synth::findDefaultSoundFont().empty())
        return nullptr;
    if (!m_synthRig) {
        EngineSetup setup;
        setup.loadSynchronously = true;
        setup.statusIntervalMs = never;
        m_synthRig = std::make_unique<Rig>(makeRig(std::move(setup)));
    }
    return m_synthRig.get();
}

// The window restarts a song with Close, Open, Play in one go: the old song fades out first and
// the new one starts right after the fade, whatever else comes meanwhile.
void TestEngineMediaControl::commandsWhileClosingFades_data()
{
    QTest::addColumn<QStringList>("commands"); // after Close, before the fade has been rendered
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("moves");
    QTest::newRow("Open Play") << QStringList { "Open", "Play" } << true << true;
    QTest::newRow("Open") << QStringList { "Open" } << true << false;
    QTest::newRow("Open Play Pause") << QStringList { "Open", "Play", "Pause" } << true << false;
    QTest::newRow("Open Play Pause Pause")
        << QStringList { "Open", "Play", "Pause", "Pause" } << true << true;
    QTest::newRow("Open Play Prev") << QStringList { "Open", "Play", "Prev" } << true << false;
    QTest::newRow("Open Play Close") << QStringList { "Open", "Play", "Close" } << false << false;
    QTest::newRow("nothing") << QStringList {} << false << false;
}

void TestEngineMediaControl::commandsWhileClosingFades()
{
    QFETCH(QStringList, commands);
    QFETCH(bool, open);
    QFETCH(bool, moves);
    Rig* rig = synthRig();
    if (!rig)
        QSKIP("no SoundFont here");
    const QString organ = m_dir.filePath("organ-long.mid");
    QVERIFY(SmfWriter().program(0, 19).note(0, 3000, 60).endAt(3000).save(organ));
    rig->media->setCommand("Close");
    for (int i = 0; i < 100 && rig->output->pullMs(100).activeBlocks > 0; ++i) { }
    rig->media->setFileName(organ);
    rig->media->setCommand("Open");
    rig->media->setCommand("Play");
    QVERIFY(rig->output->pullMs(500).peak > 0.01f);

    rig->media->setCommand("Close");
    for (const QString& command : commands)
        rig->media->setCommand(command);
    QCOMPARE(rig->media->isOpen(), open);
    QCOMPARE(rig->position(), 0);
    // The fade takes a few milliseconds of the first 20; the new song then plays from its start.
    rig->output->pullMs(20);
    QVERIFY2(rig->position() <= 15, qPrintable(QString::number(rig->position())));
    QCOMPARE(rig->position() > 0, moves);
    QCOMPARE(rig->advanceMs(100), moves ? 100 : 0);
    if (moves)
        return;
    // No note sounds; at most the old song's reverb tail, which the rewind to the new song's
    // start lets back in, and then nothing at all.
    QVERIFY(rig->output->pullMs(3000).peak < 0.01f);
    const ManualAudioOutput::Pulled after = rig->output->pullMs(100);
    QCOMPARE(after.activeBlocks, 0);
    QCOMPARE(after.peak, 0.0f);
}

// The program's own set-up: Open reads and checks the file at once, and the samples load on a
// worker. The window's thread reads nothing from the SoundFont; the commands sent meanwhile decide
// what happens once the samples are in.
void TestEngineMediaControl::samplesLoadAfterOpenReturns_data()
{
    QTest::addColumn<QStringList>("commands"); // after Open, before the samples are in
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("moves");
    QTest::newRow("Play") << QStringList { "Play" } << true << true;
    QTest::newRow("nothing") << QStringList {} << true << false;
    QTest::newRow("Play Pause") << QStringList { "Play", "Pause" } << true << false;
    QTest::newRow("Play Pause Pause") << QStringList { "Play", "Pause", "Pause" } << true << true;
    QTest::newRow("Play Prev") << QStringList { "Play", "Prev" } << true << false;
    QTest::newRow("Play Close") << QStringList { "Play", "Close" } << false << false;
    QTest::newRow("Play Close Open Play")
        << QStringList { "Play", "Close", "Open", "Play" } << true << true;
}

void TestEngineMediaControl::samplesLoadAfterOpenReturns()
{
    QFETCH(QStringList, commands);
    QFETCH(bool, open);
    QFETCH(bool, moves);
    if (Synth::findDefaultSoundFont().empty())
        QSKIP("no SoundFont here");
    if (!m_backgroundRig) {
        EngineSetup setup;
        setup.statusIntervalMs = never;
        m_backgroundRig = std::make_unique<Rig>(std::move(setup));
        LUMORA_TRY_VERIFY(m_backgroundRig->media->isSynthReady());
    }
    Rig& rig = *m_backgroundRig;
    rig.media->setCommand("Close");
    // A program no other row uses: its samples are not in yet.
    static int program = 40;
    const QString song = m_dir.filePath(QString("program-%1.mid").arg(++program));
    QVERIFY(SmfWriter().program(0, program).note(0, 2000, 60).endAt(2000).save(song));
    rig.media->setFileName(song);

    const int64_t opensHere = Synth::soundFontFileOpensOnThisThread();
    rig.media->setCommand("Open");
    for (const QString& command : commands)
        rig.media->setCommand(command);
    QCOMPARE(Synth::soundFontFileOpensOnThisThread(), opensHere);
    QCOMPARE(rig.media->isOpen(), open);
    QCOMPARE(rig.media->length(), open ? 2000 : 0);
    QCOMPARE(rig.media->isLoadingSamples(), open);
    // The samples come back through the window's event loop: until then nothing starts.
    rig.output->pullMs(100);
    QCOMPARE(rig.position(), 0);

    LUMORA_TRY_VERIFY(!rig.media->isLoadingSamples());
    const ManualAudioOutput::Pulled pulled = rig.output->pullMs(300);
    QCOMPARE(rig.position(), moves ? 300 : 0);
    QCOMPARE(pulled.peak > 0.01f, moves);
    QCOMPARE(Synth::soundFontFileOpensOnThisThread(), opensHere);
}

QTEST_MAIN(TestEngineMediaControl)
#include "tst_enginemediacontrol.moc"

// The song that follows without a break: the window's guess is played on straight after the end,
// and the window's own commands at the end take it over as it plays, or cut it when the window
// wants something else. The clock is pulled by hand, so "as it plays" is exact.

#include "manualclockrig.h"
#include "smfwriter.h"
#include "testwait.h"

#include "media/enginemediacontrol.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int firstMs = 1000;
constexpr int secondMs = 1500;
constexpr int thirdMs = 1200;
constexpr int pastEndMs = 120; // rendered of the follower before the window's commands come

EngineSetup silentSetup()
{
    EngineSetup setup;
    setup.withoutSynth = true;
    setup.statusIntervalMs = 3600 * 1000; // ticks by hand
    return setup;
}

} // namespace

class TestFollowingSong : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowsCommandsTakeOverTheFollower_data();
    void windowsCommandsTakeOverTheFollower();
    void followerIsCutWhenTheWindowWantsSomethingElse_data();
    void followerIsCutWhenTheWindowWantsSomethingElse();

private:
    // Plays first.mid to pastEndMs beyond its end, with guess armed halfway through.
    void playIntoFollower(ManualClockRig& rig, FollowingSong& guess);
    void send(ManualClockRig& rig, const QStringList& commands);

    QTemporaryDir m_dir;
};

void TestFollowingSong::initTestCase()
{
    QVERIFY(SmfWriter().note(0, firstMs, 60).endAt(firstMs).save(m_dir.filePath("first.mid")));
    QVERIFY(SmfWriter().note(0, secondMs, 62).endAt(secondMs).save(m_dir.filePath("second.mid")));
    QVERIFY(SmfWriter().note(0, thirdMs, 64).endAt(thirdMs).save(m_dir.filePath("third.mid")));
}

void TestFollowingSong::playIntoFollower(ManualClockRig& rig, FollowingSong& guess)
{
    rig.media->setFollowingSongGuess([&guess] { return guess; });
    rig.play(m_dir.filePath("first.mid"));
    rig.output->pullMs(firstMs / 2);
    rig.media->tickStatus();
    QVERIFY(rig.media->hasFollowingSongArmed());
    rig.output->pullMs(firstMs / 2 + pastEndMs);
    // Until the window acts, the song that ended is the one reported.
    QCOMPARE(rig.media->position(), firstMs);
    QCOMPARE(rig.media->length(), firstMs);
}

// A command list: "FileName=x" sets the file name, anything else is sent as a command.
void TestFollowingSong::send(ManualClockRig& rig, const QStringList& commands)
{
    for (const QString& command : commands) {
        if (command.startsWith("FileName="))
            rig.media->setFileName(m_dir.filePath(command.section('=', 1)));
        else
            rig.media->setCommand(command);
    }
}

void TestFollowingSong::windowsCommandsTakeOverTheFollower_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("guessed");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("length");
    const int same = int(FollowingSong::Kind::SameFile);
    const int other = int(FollowingSong::Kind::OtherFile);
    QTest::newRow("loop") << same << QString() << QStringList { "Prev", "Close", "Open", "Play" }
                          << firstMs;
    QTest::newRow("play all") << other << "second.mid"
                              << QStringList { "Close", "Close", "FileName=second.mid", "Close",
                                     "Open", "Play" }
                              << secondMs;
    // With a file dialog open Play All's next song is started by the notification's handler,
    // after the window's own look has rewound the song.
    QTest::newRow("play all after a rewind")
        << other << "second.mid"
        << QStringList { "Prev", "Close", "FileName=second.mid", "Close", "Open", "Play" }
        << secondMs;
}

// Taken over, the follower goes on from where it is heard: its position counts the time it played
// before the commands came, where a song started by them would be at 0.
void TestFollowingSong::windowsCommandsTakeOverTheFollower()
{
    QFETCH(int, kind);
    QFETCH(QString, guessed);
    QFETCH(QStringList, commands);
    QFETCH(int, length);
    ManualClockRig rig(silentSetup());
    FollowingSong guess { FollowingSong::Kind(kind), m_dir.filePath(guessed) };
    playIntoFollower(rig, guess);

    send(rig, commands);
    QCOMPARE(rig.media->length(), length);
    QVERIFY2(qAbs(rig.media->position() - pastEndMs) <= 15,
        qPrintable(QString::number(rig.media->position())));
    QCOMPARE(rig.media->playbackState(), MediaControl::PlaybackState::Playing);
    rig.output->pullMs(200);
    QVERIFY(qAbs(rig.media->position() - pastEndMs - 200) <= 15);
    // And it ends as any other song does.
    rig.output->pullMs(length);
    QCOMPARE(rig.media->position(), length);
}

void TestFollowingSong::followerIsCutWhenTheWindowWantsSomethingElse_data()
{
    QTest::addColumn<bool>("guessClearedAtEnd");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("length"); // what is open afterwards, 0 for nothing
    QTest::addColumn<bool>("plays");
    QTest::addColumn<int>("position");

    // Loop cleared in the last moment: the window only rewinds.
    QTest::newRow("guess gone, rewound") << true << QStringList { "Prev" } << firstMs << false << 0;
    QTest::newRow("another song opened")
        << false << QStringList { "Close", "FileName=third.mid", "Open", "Play" } << thirdMs << true
        << 0;
    QTest::newRow("closed and left") << false << QStringList { "Close" } << 0 << false << 0;
    QTest::newRow("paused at the end")
        << false << QStringList { "Pause" } << firstMs << false << firstMs;
    QTest::newRow("rewound and played without closing")
        << false << QStringList { "Prev", "Play" } << firstMs << true << 0;
}

// The follower is cut at once, and the device is exactly where the commands leave it without one.
void TestFollowingSong::followerIsCutWhenTheWindowWantsSomethingElse()
{
    QFETCH(bool, guessClearedAtEnd);
    QFETCH(QStringList, commands);
    QFETCH(int, length);
    QFETCH(bool, plays);
    QFETCH(int, position);
    ManualClockRig rig(silentSetup());
    FollowingSong guess { FollowingSong::Kind::OtherFile, m_dir.filePath("second.mid") };
    playIntoFollower(rig, guess);
    if (guessClearedAtEnd)
        guess = {};

    send(rig, commands);
    // Left without a Play, the follower is cut once the window has had its moment. (A song played
    // again gets a follower of its own.)
    if (!plays)
        QVERIFY(TestWait::until([&] { return !rig.media->hasFollowingSongArmed(); }));
    QCOMPARE(rig.media->length(), length);
    QCOMPARE(rig.media->position(), position);
    const ManualAudioOutput::Pulled later = rig.output->pullMs(200);
    QCOMPARE(rig.media->position(), plays ? position + 200 : position);
    QCOMPARE(rig.media->playbackState() == MediaControl::PlaybackState::Playing, plays);
    if (!plays)
        QCOMPARE(later.activeBlocks, 0);
}

QTEST_GUILESS_MAIN(TestFollowingSong)
#include "tst_followingsong.moc"

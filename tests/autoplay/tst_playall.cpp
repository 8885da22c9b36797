#include "testwait.h"
#include "windowfixture.h"

#include <QAction>
#include <QSlider>
#include <QTest>
#include <QTimer>

namespace {

const QStringList kPlay { "Command Close", "Command Open", "Command Play" };

// The operations of starting a random song that the script makes Location Songs item 0.
QStringList randomBelfry(bool withLeadingClose = true)
{
    QStringList ops;
    if (withLeadingClose)
        ops << "Command Close";
    return ops << "Command Close"
               << "FileName k58belfr.mid" << kPlay;
}

// Runs steps one after another inside the Play All loop's wait, each as its own event.
void schedule(QObject* context, QList<std::function<void()>> steps)
{
    if (steps.isEmpty())
        return;
    QTimer::singleShot(5, context, [context, steps]() mutable {
        auto step = steps.takeFirst();
        step();
        schedule(context, steps);
    });
}

} // namespace

class TestPlayAll : public QObject {
    Q_OBJECT

private slots:
    void secondClickEndsBothCalls();
    void endOfSongStartsTheNextRandomSong();
    void guessNamesTheSongStartedNext_data();
    void guessNamesTheSongStartedNext();
    void handlersInsideTheLoop_data();
    void handlersInsideTheLoop();
    void unopenableSongsAreSkipped();
    void closingTheWindowEndsTheLoop();
    void playAllTurnedOnUnderTheOpenDialogLetsItAnswer();
};

void TestPlayAll::secondClickEndsBothCalls()
{
    WindowFixture w;
    w.random.script = { 0, 0 };
    w->Slider1->setValue(4);
    schedule(w.window.get(), { [&] {
        QVERIFY(w->mitplayall->isChecked());
        QCOMPARE(w->Slider1->value(), 4); // the first song leaves the slider alone
        w->mitplayall_Click();
    } });
    w->mitplayall_Click();
    QVERIFY(!w->mitplayall->isChecked());
    QCOMPARE(w.random.reseeds, 2);
    QCOMPARE(w.media.operations, randomBelfry() << "Command Close");
    QVERIFY(!w.media.isPlaying());
}

void TestPlayAll::endOfSongStartsTheNextRandomSong()
{
    WindowFixture w;
    w.random.script = { 0, 0, 10, 3 };
    schedule(w.window.get(),
        { [&] {
             w->Slider1->setValue(9);
             w.media.reachEnd();
         },
            [&] {
                QCOMPARE(w->Slider1->value(), 0);
                QCOMPARE(w->currentSongStem(), QStringLiteral("mp_ilsa"));
                QVERIFY(w->mitSirrel[3]->isChecked() && w->mitSong[0]->isChecked());
                w->mitplayall_Click();
            } });
    w->mitplayall_Click();
    QCOMPARE(w.media.operations,
        randomBelfry() << "Command Close"
                       << "Command Close"
                       << "FileName mp_ilsa.mid" << kPlay << "Command Close");
    QCOMPARE(w.random.reseeds, 2); // once per click, never inside the loop
}

void TestPlayAll::guessNamesTheSongStartedNext_data()
{
    QTest::addColumn<bool>("playAll");
    QTest::addColumn<bool>("loop");
    QTest::newRow("Play All") << true << false;
    QTest::newRow("Play All with Loop on") << true << true;
    QTest::newRow("Loop") << false << true;
    QTest::newRow("neither") << false << false;
}

// What the window guesses at each end is what its handlers then start: Play All's next draw
// (taken from a copy, so the draws themselves are not shifted), the same file with Loop, else
// nothing.
void TestPlayAll::guessNamesTheSongStartedNext()
{
    QFETCH(bool, playAll);
    QFETCH(bool, loop);
    WindowFixture w;
    QVERIFY(w.media.followingSongGuess);
    QStringList guessed, started;
    auto guessAndEnd = [&] {
        const FollowingSong guess = w.media.followingSongGuess();
        if (guess.kind == FollowingSong::Kind::OtherFile)
            guessed << guess.fileName;
        else if (guess.kind == FollowingSong::Kind::SameFile)
            guessed << w.media.fileName();
        else
            guessed << QString();
        w.media.reachEnd();
        w.media.raiseStatusUpdate();
        started << (w.media.isPlaying() ? w.media.fileName() : QString());
    };
    QList<std::function<void()>> steps(8, guessAndEnd);
    if (playAll) {
        steps << [&] { w->mitplayall_Click(); };
        schedule(w.window.get(), steps);
        if (loop)
            w->mitLoop->setChecked(true);
        w->mitplayall_Click();
    } else {
        w->mitSong_Click(2);
        w->mitLoop->setChecked(loop);
        w->cmdPlay_Click();
        for (const auto& step : steps)
            step();
    }
    QCOMPARE(guessed.size(), 8);
    QCOMPARE(guessed, started);
    if (playAll)
        QVERIFY(QSet<QString>(started.begin(), started.end()).size() > 2);
}

void TestPlayAll::handlersInsideTheLoop_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QStringList>("expected"); // after the first song has started
    QTest::addColumn<bool>("loopEnds");
    QTest::newRow("Loop") << "Loop" << QStringList() << true;
    QTest::newRow("Choose Random Song") << "Random" << randomBelfry() << true;
    QTest::newRow("Pause: the loop waits") << "Pause" << QStringList { "Command Pause" } << false;
    QTest::newRow("Stop: the loop waits")
        << "Stop" << QStringList({ "Command Close", "Command Open" }) << false;
    QTest::newRow("a song menu: the closed device moves on at once")
        << "Menu" << (QStringList({ "Command Close", "FileName k58pell.mid" }) << randomBelfry())
        << false;
    QTest::newRow("Exit") << "Exit" << QStringList() << true;
}

void TestPlayAll::handlersInsideTheLoop()
{
    QFETCH(QString, handler);
    QFETCH(QStringList, expected);
    QFETCH(bool, loopEnds);
    WindowFixture w;
    w.random.script = { 0, 0, 0, 0, 0, 0 };
    QStringList afterFirst;
    schedule(w.window.get(),
        { [&] {
             w.media.operations.clear();
             if (handler == "Loop")
                 w->mitLoop_Click();
             else if (handler == "Random")
                 w->mitRandom_Click();
             else if (handler == "Pause")
                 w->cmdPause_Click();
             else if (handler == "Stop")
                 w->cmdStop_Click();
             else if (handler == "Menu")
                 w->mitTheme_Click(0);
             else if (handler == "Exit")
                 w->mitexit_Click();
         },
            [&] {
                afterFirst = w.media.operations;
                if (!loopEnds) {
                    QVERIFY(w->mitplayall->isChecked());
                    w->mitplayall_Click();
                }
            } });
    w->mitplayall_Click();
    if (loopEnds)
        afterFirst = w.media.operations;
    QCOMPARE(afterFirst, expected);
    QVERIFY(!w->mitplayall->isChecked());
    if (handler == "Loop")
        QVERIFY(w->mitLoop->isChecked() && w.media.isPlaying());
}

// Songs whose file cannot be opened leave the device closed, reading equal times: Play All moves
// on by itself, woken without any event from the device.
void TestPlayAll::unopenableSongsAreSkipped()
{
    WindowFixture w;
    w.random.script = { 0, 0, 0, 1 };
    w.media.unopenable << "k58belfr.mid";
    schedule(w.window.get(), { [&] {
        const bool reached
            = TestWait::until([&] { return w->currentSongStem() == QStringLiteral("k58harbr"); });
        const bool playing = w.media.isPlaying();
        w->mitplayall_Click(); // whatever was found: a failed check must not leave the loop running
        QVERIFY2(reached, qPrintable(w->currentSongStem()));
        QVERIFY(playing);
    } });
    w->mitplayall_Click();
    QVERIFY(!w->mitplayall->isChecked());
}

void TestPlayAll::closingTheWindowEndsTheLoop()
{
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    schedule(w.window.get(), { [&] { w.window->close(); } });
    w->mitplayall_Click();
    QVERIFY(!w.window->isVisible());
    QCOMPARE(w.media.operations.last(), QStringLiteral("Command Close"));
    QCOMPARE(w.media.operations.count("Command Close"), 4); // 3 to start the song, 1 to unload
}

// Play All turned on from outside (the desktop's media controls) while File > Open's dialog waits:
// the user's answer comes back when given, and Play All goes on after it.
void TestPlayAll::playAllTurnedOnUnderTheOpenDialogLetsItAnswer()
{
    WindowFixture w;
    w.random.script = { 0, 0, 10, 3 };
    w.dialog.answers << "/songs/a.mid";
    w.dialog.modalMs = 200;
    schedule(w.window.get(), { [&] { w->mitplayall_Click(); } });
    // Only if the answer is held back: Play All switched off lets it through.
    QTimer holdBreaker;
    holdBreaker.callOnTimeout([&] { w->mitplayall->setChecked(false); });
    holdBreaker.start(10000);
    w->mitopen_Click();
    holdBreaker.stop();
    QVERIFY(w->mitplayall->isChecked());
    QVERIFY(w.media.operations.contains("FileName /songs/a.mid"));

    // The loop follows the dialog: the end of the song starts the next random one.
    QString followedBy;
    schedule(w.window.get(),
        { [&] { w.media.reachEnd(); },
            [&] {
                followedBy = w->currentSongStem();
                w->mitplayall_Click();
            } });
    QTRY_VERIFY(!w->mitplayall->isChecked());
    QCOMPARE(followedBy, QStringLiteral("mp_ilsa"));
}

QTEST_MAIN(TestPlayAll)
#include "tst_playall.moc"

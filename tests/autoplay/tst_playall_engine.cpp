#include "playallrig.h"
#include "testwait.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTest>
#include <QTimer>

namespace {

QStringList mediaLog;
QStringList mediaWarnings;
void captureMedia(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (QLatin1String(context.category) != QLatin1String("lumora.media"))
        return;
    (type == QtDebugMsg ? mediaLog : mediaWarnings) << message;
}

// The shared virtual-clock player, with the media log captured.
struct PlayAllRig : VirtualClockPlayer {
    explicit PlayAllRig(const QString& leaveOut = QString())
        : VirtualClockPlayer(77, 50, leaveOut)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("lumora.media.debug=true"));
        mediaLog.clear();
        mediaWarnings.clear();
        qInstallMessageHandler(captureMedia);
    }
    ~PlayAllRig()
    {
        qInstallMessageHandler(nullptr);
        QLoggingCategory::setFilterRules(QString());
    }
};

} // namespace

class TestPlayAllEngine : public QObject {
    Q_OBJECT

private slots:
    void twoHundredSongsInARowNoneMissed();
    void aMissingSongIsSkipped();
    void songsEndingUnderTheOpenDialogAreFollowed();
    void closingTheWindowWhileTheLoopRunsEndsTheProgram();
    void nothingToFindIsRetriedAtTheWakeUpRateAndToldOnce();
};

// Play All must notice every end before the status notification rewinds the song: a "Prev"
// would mean the loop missed one and stopped.
void TestPlayAllEngine::twoHundredSongsInARowNoneMissed()
{
    PlayAllRig rig;
    const int songs = 200;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (mediaLog.count("Command Play") >= songs || mediaLog.contains("Command Prev"))
            rig->mitplayall_Click();
    });
    watch.start(2);
    QTimer::singleShot(60000, [&] { rig->mitplayall->setChecked(false); });
    rig->mitplayall_Click();
    QCOMPARE(mediaLog.count("Command Prev"), 0);
    QVERIFY2(mediaLog.count("Command Play") >= songs,
        qPrintable(QString::number(mediaLog.count("Command Play"))));
    QVERIFY(mediaWarnings.isEmpty());
}

void TestPlayAllEngine::aMissingSongIsSkipped()
{
    PlayAllRig rig("k58belfr");
    rig.random.script = { 0, 0 }; // Belfry first: its file is not there
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (mediaLog.count("Command Play") >= 5)
            rig->mitplayall_Click();
    });
    watch.start(2);
    QTimer::singleShot(30000, [&] { rig->mitplayall->setChecked(false); });
    rig->mitplayall_Click();
    QVERIFY(mediaLog.count("Command Play") >= 5);
    QVERIFY(mediaLog.indexOf("FileName k58belfr.mid") >= 0);
    QVERIFY(!mediaWarnings.isEmpty() && mediaWarnings.first().contains("k58belfr.mid"));
    QCOMPARE(mediaLog.count("Command Prev"), 0);
}

// A modal dialog runs its own event loop inside Play All's wait, so the loop cannot look while it
// is open; the songs that end meanwhile must still be followed, and none rewound.
void TestPlayAllEngine::songsEndingUnderTheOpenDialogAreFollowed()
{
    PlayAllRig rig;
    rig.dialog.modalMs = 1500; // at 50 ms of song time a turn, several 200-ms songs end
    int playsBeforeDialog = -1;
    int playsWhenDialogClosed = -1;
    QTimer::singleShot(200, rig.window.get(), [&] {
        playsBeforeDialog = mediaLog.count("Command Play");
        rig->mitopen_Click();
        playsWhenDialogClosed = mediaLog.count("Command Play");
        QTimer::singleShot(500, [&] { rig->mitplayall_Click(); });
    });
    QTimer::singleShot(30000, [&] { rig->mitplayall->setChecked(false); });
    rig->mitplayall_Click();
    QVERIFY(playsBeforeDialog >= 1);
    QVERIFY2(playsWhenDialogClosed >= playsBeforeDialog + 3,
        qPrintable(QString("%1 -> %2").arg(playsBeforeDialog).arg(playsWhenDialogClosed)));
    QVERIFY(mediaLog.count("Command Play") > playsWhenDialogClosed);
    QCOMPARE(mediaLog.count("Command Prev"), 0);
}

// The program's own event loop with Play All running inside it: closing the window from the title
// bar (a close event, as the window manager sends) must end the loop and let exec() return.
void TestPlayAllEngine::closingTheWindowWhileTheLoopRunsEndsTheProgram()
{
    PlayAllRig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get(), TestWait::ceilingMs));
    QApplication::setQuitOnLastWindowClosed(true);
    bool watchdogFired = false;
    QTimer::singleShot(0, rig.window.get(), [&] { rig->mitplayall_Click(); });
    QTimer::singleShot(300, rig.window.get(), [&] {
        QVERIFY(rig->mitplayall->isChecked());
        rig.window->close();
    });
    QTimer::singleShot(20000, [&] {
        watchdogFired = true;
        rig->mitplayall->setChecked(false);
        QCoreApplication::exit(1);
    });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!watchdogFired);
    QVERIFY(rig->mitplayall->isChecked()); // unloading leaves the mark; the loop ended anyway
    QCOMPARE(mediaLog.last(), QStringLiteral("Command Close"));
}

// Run where no song can be found, Play All retries at its wake-up rate (every 100 ms), not as fast
// as events come, and says each failure once.
void TestPlayAllEngine::nothingToFindIsRetriedAtTheWakeUpRateAndToldOnce()
{
    PlayAllRig rig;
    const QDir folder(rig.folder.path());
    for (const QString& song : folder.entryList({ QStringLiteral("*.mid") }))
        QVERIFY(QFile::remove(folder.filePath(song)));
    QElapsedTimer running;
    running.start();
    QTimer::singleShot(1000, rig.window.get(), [&] { rig->mitplayall_Click(); });
    rig->mitplayall_Click();
    const qint64 elapsedMs = running.elapsed();
    const int tries = mediaLog.count("Command Open");
    QVERIFY2(tries >= 2 && tries <= elapsedMs / 90 + 2,
        qPrintable(QString("%1 tries in %2 ms").arg(tries).arg(elapsedMs)));
    QStringList distinct = mediaWarnings;
    distinct.removeDuplicates();
    QCOMPARE(mediaWarnings, distinct);
    QVERIFY(mediaWarnings.size() >= 2); // a song file missing, and Play with nothing open
}

QTEST_MAIN(TestPlayAllEngine)
#include "tst_playall_engine.moc"

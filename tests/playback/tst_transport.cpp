#include "app/captionlabel.h"
#include "app/picturebutton.h"
#include "testwait.h"
#include "windowfixture.h"

#include <QAction>
#include <QLoggingCategory>
#include <QSlider>
#include <QTest>

class TestTransport : public QObject {
    Q_OBJECT

private slots:
    void buttons_data();
    void buttons();
    void fileOpen_data();
    void fileOpen();
    void loop_data();
    void loop();
    void everyWriteIsLogged();
};

void TestTransport::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("playingAfter");
    QTest::newRow("Play") << "Play"
                          << QStringList({ "Command Close", "Command Open", "Command Play" })
                          << true;
    QTest::newRow("Stop") << "Stop" << QStringList({ "Command Close", "Command Open" }) << false;
    QTest::newRow("Pause") << "Pause" << QStringList({ "Command Pause" }) << false;
}

// Driven through real clicks on the picture buttons, with a song playing; the slider is left alone.
void TestTransport::buttons()
{
    QFETCH(QString, button);
    QFETCH(QStringList, expected);
    QFETCH(bool, playingAfter);
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    w->mitSong_Click(0);
    w->cmdPlay_Click();
    w->Slider1->setValue(7);
    w.media.setPosition(30000);
    w.media.operations.clear();

    QWidget* target = button == "Play" ? static_cast<QWidget*>(w->cmdPlay)
        : button == "Stop"             ? static_cast<QWidget*>(w->cmdStop)
                                       : static_cast<QWidget*>(w->cmdPause);
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(50, 30));

    QCOMPARE(w.media.operations, expected);
    QCOMPARE(w.media.isPlaying(), playingAfter);
    QCOMPARE(w->Slider1->value(), 7);
}

void TestTransport::fileOpen_data()
{
    QTest::addColumn<QStringList>("answers"); // earlier uses of the dialog, then this one
    QTest::addColumn<bool>("songChosen"); // Temple Songs item 2 chosen and playing before
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("labelAfter");
    QTest::addColumn<QString>("playOpens");
    const QString midi = QStringLiteral("Current Song = Midi");
    const QString capri = QStringLiteral("Current Song: Caprise Of Gloom");
    QTest::newRow("chosen") << QStringList { "/music/a b/ünïcode.mid" } << false
                            << QStringList({ "FileName /music/a b/ünïcode.mid", "Command open" })
                            << midi << "/music/a b/ünïcode.mid";
    QTest::newRow("chosen while a song is loaded")
        << QStringList { "/music/y.mid" } << true
        << QStringList({ "FileName /music/y.mid", "Command open" }) << midi << "/music/y.mid";
    // A cancelled dialog must not throw away what the user had chosen.
    QTest::newRow("cancelled, nothing chosen before")
        << QStringList { "" } << false << QStringList() << QString() << QString();
    QTest::newRow("cancelled after a menu choice")
        << QStringList { "" } << true << QStringList() << capri << "ms_capri.mid";
    QTest::newRow("cancelled after an earlier choice")
        << QStringList { "/music/x.mid", "" } << false << QStringList() << midi << "/music/x.mid";
}

void TestTransport::fileOpen()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, songChosen);
    QFETCH(QStringList, expected);
    QFETCH(QString, labelAfter);
    QFETCH(QString, playOpens);
    WindowFixture w;
    w.dialog.answers = answers;
    if (songChosen) {
        w->mitTemple_Click(2);
        w->cmdPlay_Click();
    }
    for (int i = 1; i < answers.size(); ++i)
        w->mitopen_Click();
    w.media.operations.clear();

    w->mitopen_Click();

    QCOMPARE(w.media.operations, expected);
    QCOMPARE(w->lblname->caption(), labelAfter);
    QCOMPARE(w->currentSongStem(), songChosen ? QStringLiteral("ms_capri") : QString());
    QCOMPARE(w->mitTemple[2]->isChecked(), songChosen);
    w->cmdPlay_Click();
    QCOMPARE(w.media.fileName(), playOpens);
}

void TestTransport::loop_data()
{
    QTest::addColumn<bool>("playAllBefore");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("loopAfter");
    QTest::newRow("once") << false << 1 << true;
    QTest::newRow("twice") << false << 2 << false;
    QTest::newRow("once with Play All on") << true << 1 << true;
    QTest::newRow("twice with Play All on") << true << 2 << false;
}

void TestTransport::loop()
{
    QFETCH(bool, playAllBefore);
    QFETCH(int, clicks);
    QFETCH(bool, loopAfter);
    WindowFixture w;
    w->mitplayall->setChecked(playAllBefore);
    for (int i = 0; i < clicks; ++i) {
        w->mitLoop_Click();
        QVERIFY(!w->mitplayall->isChecked());
    }
    QCOMPARE(w->mitLoop->isChecked(), loopAfter);
    QVERIFY(w.media.operations.isEmpty());
}

// The diagnostic log: one line per write, in the media category, at debug level.
namespace {
QStringList logged;
void captureMedia(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (QLatin1String(context.category) == QLatin1String("lumora.media"))
        logged << message;
}
} // namespace

void TestTransport::everyWriteIsLogged()
{
    WindowFixture w;
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.media.debug=true"));
    logged.clear();
    const auto previous = qInstallMessageHandler(captureMedia);
    w->mitSong_Click(0);
    w->cmdPlay_Click();
    w.media.raiseStatusUpdate();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(logged,
        QStringList({ "Command Close", "FileName k58belfr.mid", "Command Close", "Command Open",
            "Command Play", "TimeFormat 0" }));
}

QTEST_MAIN(TestTransport)
#include "tst_transport.moc"

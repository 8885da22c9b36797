#include "app/seconds.h"
#include "windowfixture.h"

#include <QAction>
#include <QSlider>
#include <QTest>

class TestProgress : public QObject {
    Q_OBJECT

private slots:
    void seconds_data();
    void seconds();
    void statusUpdate_data();
    void statusUpdate();
    void stoppedSongMovesTheSliderBackToTheStart();
};

void TestProgress::seconds_data()
{
    QTest::addColumn<qint32>("ms");
    QTest::addColumn<qint32>("s");
    const QList<std::pair<qint32, qint32>> rows { { 0, 0 }, { 499, 0 }, { 500, 0 }, { 501, 1 },
        { 1499, 1 }, { 1500, 2 }, { 2499, 2 }, { 2500, 2 }, { 3500, 4 }, { 4500, 4 },
        { 2147483647, 2147484 }, { -1500, -2 } };
    for (const auto& [ms, s] : rows)
        QTest::addRow("%d ms", ms) << ms << s;
}

void TestProgress::seconds()
{
    QFETCH(qint32, ms);
    QFETCH(qint32, s);
    QCOMPARE(secondsFromMilliseconds(ms), s);
}

void TestProgress::statusUpdate_data()
{
    QTest::addColumn<qint32>("length");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("expected");
    const QStringList reads { "TimeFormat 0", "Length", "Length", "Position" };
    const QStringList playing = reads + QStringList { "Position" };
    const QStringList ended = reads + QStringList { "Command Prev" };
    const QStringList replay { "Command Close", "Command Open", "Command Play" };
    QTest::newRow("2500 ms at 1499") << 2500 << 1499 << false << 2 << 1 << playing;
    QTest::newRow("2500 ms at 1500") << 2500 << 1500 << false << 2 << 2 << playing;
    QTest::newRow("2500 ms at 2499") << 2500 << 2499 << false << 2 << 2 << playing;
    QTest::newRow("3500 ms at 0") << 3500 << 0 << false << 4 << 0 << playing;
    QTest::newRow("one ms short of the end") << 60000 << 59999 << true << 60 << 60 << playing;
    QTest::newRow("end") << 60000 << 60000 << false << 60 << 0 << ended;
    QTest::newRow("end with Loop") << 60000 << 60000 << true << 60 << 0 << ended + replay;
    QTest::newRow("nothing open") << 0 << 0 << false << 0 << 0 << ended;
    QTest::newRow("nothing open with Loop") << 0 << 0 << true << 0 << 0 << ended + replay;
}

void TestProgress::statusUpdate()
{
    QFETCH(qint32, length);
    QFETCH(qint32, position);
    QFETCH(bool, loop);
    QFETCH(int, max);
    QFETCH(int, value);
    QFETCH(QStringList, expected);
    WindowFixture w;
    w->mitLoop->setChecked(loop);
    w->Slider1->setRange(0, 100);
    w->Slider1->setValue(50);
    w.media.setLength(length);
    w.media.setPosition(position);
    w.media.recordReads = true;

    w.media.raiseStatusUpdate();

    QCOMPARE(w.media.operations, expected);
    QCOMPARE(w->Slider1->maximum(), max);
    QCOMPARE(w->Slider1->value(), value);
    QCOMPARE(w->mitLoop->isChecked(), loop);
}

void TestProgress::stoppedSongMovesTheSliderBackToTheStart()
{
    WindowFixture w;
    w->mitSong_Click(0);
    w->cmdPlay_Click();
    w.media.setPosition(42000);
    w.media.raiseStatusUpdate();
    QCOMPARE(w->Slider1->value(), 42);
    w->cmdStop_Click();
    w.media.raiseStatusUpdate();
    QCOMPARE(w->Slider1->value(), 0);
    QCOMPARE(w->Slider1->maximum(), 60);
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"

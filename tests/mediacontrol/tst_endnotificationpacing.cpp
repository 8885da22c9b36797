// End-notification pacing alone: the first end is told after the short delay, the next one no
// sooner than the minimum gap after it.

#include "media/endnotificationpacing.h"

#include <QTest>

class TestEndNotificationPacing : public QObject {
    Q_OBJECT

private slots:
    void delaysTheNextNotification_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("minGapMs");
        QTest::addColumn<bool>("notifiedJustNow");
        QTest::addColumn<int>("atLeastMs");
        QTest::addColumn<int>("atMostMs");

        QTest::newRow("first end") << 1 << 250 << false << 1 << 1;
        QTest::newRow("an end right after one") << 1 << 250 << true << 100 << 250;
        QTest::newRow("no gap asked") << 1 << 0 << true << 1 << 1;
        QTest::newRow("delay longer than the gap") << 300 << 250 << true << 300 << 300;
    }

    void delaysTheNextNotification()
    {
        QFETCH(int, delayMs);
        QFETCH(int, minGapMs);
        QFETCH(bool, notifiedJustNow);
        QFETCH(int, atLeastMs);
        QFETCH(int, atMostMs);
        EndNotificationPacing pacing(delayMs, minGapMs);
        if (notifiedJustNow)
            pacing.notified();
        const int delay = pacing.delayMs();
        QVERIFY2(delay >= atLeastMs && delay <= atMostMs, QByteArray::number(delay));
    }
};

QTEST_GUILESS_MAIN(TestEndNotificationPacing)
#include "tst_endnotificationpacing.moc"

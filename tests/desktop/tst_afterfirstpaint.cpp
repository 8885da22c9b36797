#include "app/desktop/afterfirstpaint.h"
#include "testwait.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>
#include <QWidget>

namespace {

// Notes in one list when it is painted and when the work runs.
class PaintedWidget : public QWidget {
public:
    explicit PaintedWidget(QStringList* log)
        : m_log(log)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override { *m_log << "paint"; }

private:
    QStringList* m_log;
};

} // namespace

class TestAfterFirstPaint : public QObject {
    Q_OBJECT

private slots:
    void runsOnceAfterTheFirstPaint();
    void runsWithoutAPaintInTheEnd();
};

void TestAfterFirstPaint::runsOnceAfterTheFirstPaint()
{
    QStringList log;
    PaintedWidget widget(&log);
    runAfterFirstPaint(&widget, [&log] { log << "work"; });
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget, TestWait::ceilingMs));
    LUMORA_TRY_VERIFY(log.contains("work"));
    widget.repaint();
    widget.repaint();
    QTest::qWait(50);
    QCOMPARE(log.count("work"), 1);
    QCOMPARE(log.first(), QString("paint"));
}

void TestAfterFirstPaint::runsWithoutAPaintInTheEnd()
{
    QStringList log;
    PaintedWidget widget(&log);
    QElapsedTimer waited;
    waited.start();
    runAfterFirstPaint(&widget, [&log] { log << "work"; });
    LUMORA_TRY_VERIFY(log.contains("work"));
    QVERIFY(waited.elapsed() >= 900);
    QCOMPARE(log, QStringList { "work" });
}

QTEST_MAIN(TestAfterFirstPaint)
#include "tst_afterfirstpaint.moc"

#include "app/desktop/maximizerefusal.h"
#include "testwait.h"
#include "windowfixture.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The widest the window has been since the last look.
class WidthWatch : public QObject {
public:
    int widest = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            widest = std::max(widest, static_cast<QWidget*>(watched)->width());
        return false;
    }
};

// The window on a real Wayland compositor (weston, headless), whose title bar Qt draws itself
// with a maximize button. Skipped where weston or Qt's Wayland platform is missing.
class TestWaylandMaximize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void aMaximizeIsRefusedWithoutEndingThePlayer();
};

void TestWaylandMaximize::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        QSKIP("no Wayland compositor here (weston and qt6-wayland)");
}

// The title bar's button asks the compositor (as QWindow::setWindowStates does here); weston
// maximizes, the window takes that size for a moment and asks to be normal again. Twice: a
// protocol error on the way would have ended the test program.
void TestWaylandMaximize::aMaximizeIsRefusedWithoutEndingThePlayer()
{
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    refuseMaximizeOnWayland(w.window.get());
    const QSize fixed = w.window->size();
    QCOMPARE(w.window->minimumSize(), fixed);
    WidthWatch watch;
    w.window->installEventFilter(&watch);
    for (int round = 0; round < 2; ++round) {
        watch.widest = 0;
        w.window->windowHandle()->setWindowStates(Qt::WindowMaximized);
        LUMORA_TRY_VERIFY(watch.widest > fixed.width());
        LUMORA_TRY_VERIFY(w.window->size() == fixed && w.window->minimumSize() == fixed
            && w.window->maximumSize() == fixed && !w.window->isMaximized());
        w.window->repaint();
    }
}

// Under LeakSanitizer: Qt's Wayland platform leaves some of libwayland-client's allocations to the
// end of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libwayland-client.so\n";
}

// A compositor of our own: weston on its headless back end, in a private runtime folder.
int main(int argc, char* argv[])
{
    QTemporaryDir runtime;
    QProcess weston;
    const QString westonProgram = QStandardPaths::findExecutable(QStringLiteral("weston"));
    if (!westonProgram.isEmpty() && runtime.isValid()) {
        QFile::setPermissions(
            runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        weston.setProcessEnvironment(environment);
        weston.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        weston.start(westonProgram,
            { "--backend=headless-backend.so", "--use-pixman", "--socket=lumora-test",
                "--width=800", "--height=600", "--idle-time=0" });
        QElapsedTimer waiting;
        waiting.start();
        while (weston.state() != QProcess::NotRunning && waiting.elapsed() < 30000
            && !QFile::exists(runtime.filePath("lumora-test")))
            weston.waitForFinished(50);
        if (QFile::exists(runtime.filePath("lumora-test"))) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
            qputenv("WAYLAND_DISPLAY", "lumora-test");
            qputenv("QT_QPA_PLATFORM", "wayland;offscreen");
            // The window draws with the processor; no buffer integration for the GPU (none is
            // called "none") keeps Mesa's driver, whose leaks LeakSanitizer reports, unloaded.
            qputenv("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "none");
        }
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        TestWaylandMaximize test;
        status = QTest::qExec(&test, argc, argv);
    }
    if (weston.state() != QProcess::NotRunning) {
        weston.terminate();
        weston.waitForFinished(10000);
    }
    return status;
}

#include "tst_waylandmaximize.moc"

// The start-up loader alone: the engine it opens and loads comes back once, on the thread that
// owns it, and never after it is gone; the engine is opened before the loading thread steps back;
// a load stuck at the end is left behind rather than waited for.

#include "testwait.h"

#include "engine/output/manualaudiooutput.h"
#include "engine/output/soundengine.h"
#include "media/startuploader.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> liveOutputs { 0 };

class CountedOutput : public ManualAudioOutput {
public:
    explicit CountedOutput(double sampleRate = 44100.0)
        : ManualAudioOutput(sampleRate)
    {
        ++liveOutputs;
    }
    ~CountedOutput() override { --liveOutputs; }
};

int threadPriority()
{
    return getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
}

enum class End { Delivered, DestroyedWhileLoading, CancelledWhileLoading, LeftBehind };

} // namespace

Q_DECLARE_METATYPE(End)

class TestStartupLoader : public QObject {
    Q_OBJECT

private slots:
    void handsBackWhatItLoaded_data()
    {
        QTest::addColumn<bool>("opensEngine");
        QTest::addColumn<End>("end");

        QTest::newRow("opens the engine, loads its SoundFont") << true << End::Delivered;
        QTest::newRow("no engine opens") << false << End::Delivered;
        QTest::newRow("destroyed while loading") << true << End::DestroyedWhileLoading;
        QTest::newRow("cancelled while loading") << true << End::CancelledWhileLoading;
        QTest::newRow("left behind: destroyed while the load is stuck") << true << End::LeftBehind;
    }

    void handsBackWhatItLoaded()
    {
        QFETCH(bool, opensEngine);
        QFETCH(End, end);
        liveOutputs = 0;
        const int basePriority = threadPriority();
        const SoundEngine* opened = nullptr;
        std::atomic<const SoundEngine*> loadedInto { nullptr };
        // A stuck load goes on until the test lets it, or gives up at the ceiling.
        std::atomic<bool> letStuckLoadGo { false }, stuckLoadEnded { false };
        std::atomic<int> openedAtPriority { 0 }, loadedAtPriority { 0 };
        std::atomic<bool> loading { false };
        int handedBack = 0;
        std::unique_ptr<SoundEngine> loaded;
        QThread* handedBackOn = nullptr;

        auto loader = std::make_unique<StartupLoader>();
        loader->start(
            [&]() -> std::unique_ptr<SoundEngine> {
                openedAtPriority = threadPriority();
                if (!opensEngine)
                    return nullptr;
                auto engine = createSoundEngine();
                engine->useOutput(std::make_unique<CountedOutput>(48000.0));
                opened = engine.get();
                return engine;
            },
            [&](SoundEngine& engine) {
                loadedInto = &engine;
                loadedAtPriority = threadPriority();
                loading = true;
                if (end == End::LeftBehind) {
                    QDeadlineTimer ceiling(TestWait::ceilingMs);
                    while (!letStuckLoadGo && !ceiling.hasExpired())
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    stuckLoadEnded = true;
                }
            },
            [&](std::unique_ptr<SoundEngine> result) {
                ++handedBack;
                handedBackOn = QThread::currentThread();
                loaded = std::move(result);
            });
        QVERIFY(loader->hasStarted());

        if (end != End::Delivered) {
            // Waited for without handling events: the result must not come back meanwhile.
            QDeadlineTimer ceiling(TestWait::ceilingMs);
            while (!loading && !ceiling.hasExpired())
                std::this_thread::yield();
            QVERIFY(loading);
            if (end == End::CancelledWhileLoading)
                loader->cancel();
            else
                loader.reset();
            // The end of the program must not wait for a load stuck in a file system.
            if (end == End::LeftBehind)
                QVERIFY(!stuckLoadEnded);
            letStuckLoadGo = true;
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
            QCOMPARE(handedBack, 0);
            // The engine opened is freed, by the thread when left behind.
            QVERIFY(TestWait::until([&] { return liveOutputs.load() == 0; }));
            QCOMPARE(handedBack, 0);
            return;
        }

        LUMORA_TRY_COMPARE(handedBack, 1);
        QCOMPARE(handedBackOn, QThread::currentThread());
        QCOMPARE(loaded.get(), opened);
        QCOMPARE(loadedInto.load(), opened);
        // The output's audio thread, started while opening, keeps the normal priority.
        QCOMPARE(openedAtPriority.load(), basePriority);
        if (opensEngine)
            QVERIFY(loadedAtPriority > basePriority || basePriority == 19);
        else
            QVERIFY(!loading); // nothing to load a SoundFont into

        QCoreApplication::processEvents();
        QCOMPARE(handedBack, 1);
    }

    void startsOnce()
    {
        std::atomic<int> loads { 0 };
        int handedBack = 0;
        StartupLoader loader;
        const auto start = [&] {
            loader.start(
                [&] {
                    ++loads;
                    return std::unique_ptr<SoundEngine>();
                },
                [&](SoundEngine&) {}, [&](std::unique_ptr<SoundEngine>) { ++handedBack; });
        };
        start();
        start();
        LUMORA_TRY_COMPARE(handedBack, 1);
        start();
        QCoreApplication::processEvents();
        QCOMPARE(loads.load(), 1);
        QCOMPARE(handedBack, 1);
    }
};

QTEST_GUILESS_MAIN(TestStartupLoader)
#include "tst_startuploader.moc"

// The start-up loader alone: what it opens and loads comes back once, on the thread that owns
// it, and never after it is gone; the output is opened before the loading thread steps back; a
// load stuck at the end is left behind rather than waited for.

#include "testwait.h"

#include "engine/output/manualaudiooutput.h"
#include "engine/synth/synth.h"
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
        QTest::addColumn<bool>("opensOutput");
        QTest::addColumn<bool>("loadsSynth");
        QTest::addColumn<End>("end");

        QTest::newRow("opens the output, loads a synth") << true << true << End::Delivered;
        QTest::newRow("plays through the output given") << false << true << End::Delivered;
        QTest::newRow("no SoundFont loads") << true << false << End::Delivered;
        QTest::newRow("destroyed while loading") << true << true << End::DestroyedWhileLoading;
        QTest::newRow("cancelled while loading") << true << true << End::CancelledWhileLoading;
        QTest::newRow("left behind: destroyed while the load is stuck")
            << true << true << End::LeftBehind;
    }

    void handsBackWhatItLoaded()
    {
        QFETCH(bool, opensOutput);
        QFETCH(bool, loadsSynth);
        QFETCH(End, end);
        liveOutputs = 0;
        const int basePriority = threadPriority();
        CountedOutput given; // at a rate of its own, told apart from the one opened
        const AudioOutput* opened = nullptr;
        std::atomic<double> loadedForRate { 0.0 };
        // A stuck load goes on until the test lets it, or gives up at the ceiling.
        std::atomic<bool> letStuckLoadGo { false }, stuckLoadEnded { false };
        std::atomic<int> openedAtPriority { 0 }, loadedAtPriority { 0 };
        std::atomic<bool> loading { false };
        int handedBack = 0;
        StartupLoader::Loaded loaded;
        QThread* handedBackOn = nullptr;

        auto loader = std::make_unique<StartupLoader>();
        StartupLoader::OpenOutput openOutput;
        if (opensOutput) {
            openOutput = [&] {
                openedAtPriority = threadPriority();
                auto output = std::make_unique<CountedOutput>(48000.0);
                opened = output.get();
                return output;
            };
        }
        loader->start(
            openOutput, given.sampleRate(),
            [&](double sampleRate) {
                loadedForRate = sampleRate;
                loadedAtPriority = threadPriority();
                loading = true;
                if (end == End::LeftBehind) {
                    QDeadlineTimer ceiling(TestWait::ceilingMs);
                    while (!letStuckLoadGo && !ceiling.hasExpired())
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    stuckLoadEnded = true;
                }
                return loadsSynth ? std::make_unique<Synth>(sampleRate) : nullptr;
            },
            [&](StartupLoader::Loaded result) {
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
            // The one given is left; the one opened is freed, by the thread when left behind.
            QVERIFY(TestWait::until([&] { return liveOutputs.load() == 1; }));
            QCOMPARE(handedBack, 0);
            return;
        }

        LUMORA_TRY_COMPARE(handedBack, 1);
        QCOMPARE(handedBackOn, QThread::currentThread());
        QCOMPARE(loadedForRate.load(), opensOutput ? 48000.0 : given.sampleRate());
        QCOMPARE(loaded.output.get(), opened);
        QCOMPARE(bool(loaded.synth), loadsSynth);
        // The output's audio thread, started while opening, keeps the normal priority.
        if (opensOutput)
            QCOMPARE(openedAtPriority.load(), basePriority);
        QVERIFY(loadedAtPriority > basePriority || basePriority == 19);

        QCoreApplication::processEvents();
        QCOMPARE(handedBack, 1);
    }

    void startsOnce()
    {
        ManualAudioOutput output;
        std::atomic<int> loads { 0 };
        int handedBack = 0;
        StartupLoader loader;
        const auto start = [&] {
            loader.start(
                nullptr, output.sampleRate(),
                [&](double) {
                    ++loads;
                    return nullptr;
                },
                [&](StartupLoader::Loaded) { ++handedBack; });
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

// The start-up loader alone: what it opens and loads comes back once, on the thread that owns
// it, and never after it is gone; the output is opened before the loading thread steps back.

#include "testwait.h"

#include "engine/manualaudiooutput.h"
#include "engine/synth.h"
#include "media/startuploader.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> liveOutputs { 0 };

class CountedOutput : public ManualAudioOutput {
public:
    CountedOutput() { ++liveOutputs; }
    ~CountedOutput() override { --liveOutputs; }
};

int threadPriority()
{
    return getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
}

enum class End { Delivered, DestroyedWhileLoading, CancelledWhileLoading };

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
    }

    void handsBackWhatItLoaded()
    {
        QFETCH(bool, opensOutput);
        QFETCH(bool, loadsSynth);
        QFETCH(End, end);
        liveOutputs = 0;
        const int basePriority = threadPriority();
        CountedOutput given;
        const AudioOutput* opened = nullptr;
        std::atomic<const AudioOutput*> loadedFor { nullptr };
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
                auto output = std::make_unique<CountedOutput>();
                opened = output.get();
                return output;
            };
        }
        loader->start(
            openOutput, &given,
            [&](const AudioOutput& output) {
                loadedFor = &output;
                loadedAtPriority = threadPriority();
                loading = true;
                return loadsSynth ? std::make_unique<Synth>(output.sampleRate()) : nullptr;
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
            // Either way the thread has ended, and its result is queued or dropped already.
            if (end == End::DestroyedWhileLoading)
                loader.reset();
            else
                loader->cancel();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
            QCOMPARE(handedBack, 0);
            QCOMPARE(liveOutputs.load(), 1); // the one given; the one opened is freed
            return;
        }

        LUMORA_TRY_COMPARE(handedBack, 1);
        QCOMPARE(handedBackOn, QThread::currentThread());
        QCOMPARE(loadedFor.load(), opensOutput ? opened : &given);
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
                nullptr, &output,
                [&](const AudioOutput&) {
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

// The engine's one log hook: what reaches it, at which level, and what never does.

#include "engine/synth/enginelog.h"
#include "engine/synth/synth.h"

#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Heard {
    EngineLog::Level level;
    std::string message;
};

std::mutex s_mutex;
std::vector<Heard> s_heard;

void listen(EngineLog::Level level, const char* message)
{
    std::lock_guard lock(s_mutex);
    s_heard.push_back({ level, message });
}

std::vector<Heard> takeHeard()
{
    std::lock_guard lock(s_mutex);
    return std::exchange(s_heard, {});
}

} // namespace

class TestEngineLog : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        EngineLog::setHandler(listen);
        takeHeard();
    }
    void cleanup() { EngineLog::setHandler(nullptr); }
    void messagesKeepTheirLevelFromAnyThread();
    void fluidSynthSpeaksThroughTheHookAsDetail();
    void nothingIsSaidOnTheAudioThread();
};

void TestEngineLog::messagesKeepTheirLevelFromAnyThread()
{
    std::thread([] { EngineLog::warning("from a worker"); }).join();
    EngineLog::info("detail");
    const auto heard = takeHeard();
    QCOMPARE(heard.size(), size_t(2));
    QVERIFY(heard[0].level == EngineLog::Level::Warning && heard[0].message == "from a worker");
    QVERIFY(heard[1].level == EngineLog::Level::Info && heard[1].message == "detail");
}

// A SoundFont that is no SoundFont makes FluidSynth complain: its words come through the hook,
// prefixed with where they come from, never straight to stderr.
void TestEngineLog::fluidSynthSpeaksThroughTheHookAsDetail()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("broken.sf2");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a SoundFont");
    file.close();
    Synth synth(44100);
    QVERIFY(!synth.loadSoundFont(path.toStdString(), nullptr));
    const auto heard = takeHeard();
    QVERIFY(!heard.empty());
    for (const Heard& line : heard) {
        QVERIFY(line.level == EngineLog::Level::Info);
        QVERIFY2(line.message.rfind("fluidsynth: ", 0) == 0, line.message.c_str());
    }
}

void TestEngineLog::nothingIsSaidOnTheAudioThread()
{
    Synth synth(44100);
    {
        Synth::RealTimeScope audioThread;
        QVERIFY(!synth.loadSoundFont("/nonexistent/none.sf2", nullptr));
    }
    QVERIFY(takeHeard().empty());
}

QTEST_MAIN(TestEngineLog)
#include "tst_enginelog.moc"

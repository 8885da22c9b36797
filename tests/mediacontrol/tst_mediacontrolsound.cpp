// The media control with real sound: a private PulseAudio server with a null sink, a recorder on
// its monitor, and the program's own output. Skips where PulseAudio is not installed.

#include "pulseserver.h"
#include "smfwriter.h"
#include "testwait.h"
#include "warningcapture.h"
#include "wavfile.h"

#include "engine/output/soundoutput.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/synth.h"
#include "media/enginemediacontrol.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    bool loud;
    double from;
    double to;
    double length() const { return to - from; }
};

void append(std::vector<Run>& runs, Run run)
{
    if (!runs.empty() && runs.back().loud == run.loud)
        runs.back().to = run.to;
    else
        runs.push_back(run);
}

// The recording as alternating loud and quiet stretches, in 50 ms windows. Stretches shorter than
// shortest join their neighbours: a gap between two notes is no pause.
std::vector<Run> loudAndQuiet(const WavFile& wav, double threshold = 0.002, double shortest = 0.15)
{
    const double window = 0.05;
    std::vector<Run> windows;
    for (double at = 0; at + window <= wav.seconds(); at += window)
        append(windows, { wav.rms(at, at + window) > threshold, at, at + window });
    std::vector<Run> runs;
    for (Run run : windows) {
        if (!runs.empty() && run.length() < shortest)
            run.loud = runs.back().loud;
        append(runs, run);
    }
    return runs;
}

QString describe(const std::vector<Run>& runs)
{
    QStringList parts;
    for (const Run& run : runs)
        parts << QString("%1 %2-%3").arg(run.loud ? "loud" : "quiet").arg(run.from).arg(run.to);
    return parts.join(", ");
}

// FluidSynth's drivers, or the server's stream of our own with a long buffer queued.
enum class Output { Driver, Stream };

struct Engine {
    SoundOutput* output = nullptr;
    std::unique_ptr<EngineMediaControl> media;

    // What plays: "pulseaudio" or "alsa", "stream", or empty while silent on the clock.
    std::string soundName() const { return output->rendererName(); }
};

// As the program has it, or with FluidSynth's drivers only.
Engine makeEngine(Output kind = Output::Driver)
{
    Engine engine;
    SoundOutput::Config config;
    if (kind == Output::Driver) {
        config.useServer = false;
        config.drivers = { "pulseaudio", "alsa" };
    }
    auto output = std::make_unique<SoundOutput>(config);
    output->connect();
    engine.output = output.get();
    EngineSetup setup;
    setup.output = std::move(output);
    setup.loadSynchronously = true;
    engine.media = std::make_unique<EngineMediaControl>(std::move(setup));
    // The first write to a new stream on a fresh null sink can block for a second; the program
    // takes that at start-up, long before anybody presses Play.
    if (!engine.soundName().empty())
        QTest::qWait(1500);
    return engine;
}

// Points XDG_RUNTIME_DIR at an empty folder while it lives: no server can be found there.
class NoServer {
public:
    NoServer()
        : m_saved(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", m_nowhere.path().toLocal8Bit());
    }
    ~NoServer() { restore(); }
    void restore()
    {
        if (m_saved.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", m_saved);
    }

private:
    QTemporaryDir m_nowhere;
    QByteArray m_saved;
};

void addOutputRows()
{
    QTest::addColumn<Output>("kind");
    QTest::addColumn<double>("tolerance"); // of each loud or quiet stretch, in seconds
    QTest::newRow("FluidSynth's driver") << Output::Driver << 0.45;
#ifdef LUMORA_WITH_PULSEAUDIO
    // A second of sound queued ahead, and still every change is heard at once.
    QTest::newRow("stream of our own") << Output::Stream << 0.12;
#endif
}

bool waitForEnd(EngineMediaControl& media, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (media.length() > 0 && media.position() == media.length())
            return true;
        QTest::qWait(10);
    }
    return false;
}

} // namespace

class TestMediaControlSound : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_server.stop(); }

    void soundFollowsPlayPauseAndClose_data() { addOutputRows(); }
    void soundFollowsPlayPauseAndClose();
    void streamEndsWhenTheEndIsHeard();
    void timelineGoesOnWhenTheServerDies_data() { addOutputRows(); }
    void timelineGoesOnWhenTheServerDies();
    void streamReturnsToARestartedServer();
    void serverStartedLaterIsUsedFromTheNextPlay();
    void timelineRunsWithoutAnyDevice();
    void playPressedAtStartUpIsHeard();

private:
    QTemporaryDir m_dir;
    PulseServer m_server;
};

void TestMediaControlSound::initTestCase()
{
    if (!PulseServer::isInstalled())
        QSKIP("PulseAudio is not installed");
    if (Synth::findDefaultSoundFont().empty())
        QSKIP("no SoundFont installed");
    QVERIFY(m_dir.isValid());
}

void TestMediaControlSound::init()
{
    if (QTest::currentTestFunction() == QLatin1String("timelineRunsWithoutAnyDevice")
        || QTest::currentTestFunction() == QLatin1String("serverStartedLaterIsUsedFromTheNextPlay"))
        return;
    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
}

void TestMediaControlSound::soundFollowsPlayPauseAndClose()
{
    const QString song = m_dir.filePath("organ.mid");
    // Notes struck all along: a resumed song sounds again at its next note.
    QVERIFY(SmfWriter().program(0, 19).melody(0, 50, 200).save(song));
    const QString wavPath = m_dir.filePath("out.wav");
    QVERIFY(m_server.startRecording(wavPath));
    QTest::qWait(300);

    QFETCH(Output, kind);
    QFETCH(double, tolerance);
    {
        Engine engine = makeEngine(kind);
        QCOMPARE(engine.soundName(), std::string(kind == Output::Stream ? "stream" : "pulseaudio"));
        EngineMediaControl& media = *engine.media;
        media.setFileName(song);
        media.setCommand("Open");
        media.setCommand("Play");
        // Paused about 50 ms before the note at 1.2 s, so that the song, resumed without the
        // reverb it had, sounds again that much after the resume: a pause right at a note would
        // leave it silent for a whole note or none, as the time from Play to sound decides.
        QTest::qWait(1150);
        media.setCommand("Pause");
        QTest::qWait(800);
        media.setCommand("Pause");
        QTest::qWait(800);
        media.setCommand("Close");
        QTest::qWait(800);
    }
    m_server.stopRecording();

    WavFile wav;
    QVERIFY(wav.load(wavPath));
    std::vector<Run> runs = loudAndQuiet(wav);
    while (!runs.empty() && !runs.front().loud)
        runs.erase(runs.begin());
    // Loud while playing, quiet while paused, loud again, and quiet after Close.
    QVERIFY2(runs.size() == 4, qPrintable(describe(runs)));
    // The first sound comes once the new stream runs, which a busy machine can delay by a few
    // tenths of a second (bench/ measures Play to the first sample); from then on the sound
    // follows the commands.
    QVERIFY2(
        runs[0].length() > 0.6 && runs[0].length() < 1.15 + tolerance, qPrintable(describe(runs)));
    QVERIFY2(std::abs(runs[1].length() - 0.85) < tolerance, qPrintable(describe(runs)));
    QVERIFY2(std::abs(runs[2].length() - 0.75) < tolerance, qPrintable(describe(runs)));
    QVERIFY2(runs[3].length() > 0.4, qPrintable(describe(runs)));
    // Paused and closed mean no sound at all, not just quiet.
    QVERIFY2(wav.rms(runs[1].from + 0.1, runs[1].from + 0.5) < 1e-4,
        qPrintable(QString::number(wav.rms(runs[1].from + 0.1, runs[1].from + 0.5))));
    QVERIFY(wav.rms(runs[3].from + 0.1, runs[3].to) < 1e-4);
    QVERIFY(wav.rms(runs[0].from + 0.1, runs[0].to - 0.1) > 0.01);
}

#ifdef LUMORA_WITH_PULSEAUDIO
// The end comes when it is heard, not when it was rendered a second ahead; and the sound stops
// there too.
void TestMediaControlSound::streamEndsWhenTheEndIsHeard()
{
    const QString song = m_dir.filePath("short.mid");
    QVERIFY(SmfWriter().melody(0, 8, 250).save(song));
    const QString wavPath = m_dir.filePath("end.wav");
    QVERIFY(m_server.startRecording(wavPath));
    QTest::qWait(300);
    qint64 endAfterMs = 0;
    qint32 lengthMs = 0;
    {
        Engine engine = makeEngine(Output::Stream);
        QCOMPARE(engine.soundName(), std::string("stream"));
        EngineMediaControl& media = *engine.media;
        media.setFileName(song);
        media.setCommand("Open");
        lengthMs = media.length();
        QSignalSpy spy(&media, &MediaControl::statusUpdate);
        QElapsedTimer sincePlay;
        media.setCommand("Play");
        sincePlay.start();
        QVERIFY(waitForEnd(media, TestWait::ceilingMs));
        endAfterMs = sincePlay.elapsed();
        LUMORA_TRY_VERIFY(!spy.isEmpty());
        media.setCommand("Prev");
        QCOMPARE(media.position(), 0);
        QTest::qWait(500);
    }
    m_server.stopRecording();
    QVERIFY2(std::abs(endAfterMs - lengthMs) < 120,
        qPrintable(QString("%1 ms for %2 ms").arg(endAfterMs).arg(lengthMs)));
    WavFile wav;
    QVERIFY(wav.load(wavPath));
    std::vector<Run> runs = loudAndQuiet(wav);
    while (!runs.empty() && !runs.front().loud)
        runs.erase(runs.begin());
    QVERIFY2(runs.size() == 2, qPrintable(describe(runs)));
    QVERIFY2(std::abs(runs[0].length() - lengthMs / 1000.0) < 0.15, qPrintable(describe(runs)));
}

// A sound server restarted (or one that comes with a log-in) is used again from the next Play,
// after the song played on silently while it was gone.
void TestMediaControlSound::streamReturnsToARestartedServer()
{
    const QString song = m_dir.filePath("long.mid");
    QVERIFY(SmfWriter().program(0, 19).melody(0, 50, 200).save(song));
    QVERIFY(m_server.startRecording(m_dir.filePath("clock.wav")));
    WarningCapture capture;
    Engine engine = makeEngine(Output::Stream);
    QCOMPARE(engine.soundName(), std::string("stream"));
    EngineMediaControl& media = *engine.media;
    media.setFileName(song);
    media.setCommand("Open");
    media.setCommand("Play");
    QTest::qWait(600);
    m_server.kill();
    LUMORA_TRY_COMPARE(engine.soundName(), std::string());
    const qint32 before = media.position();
    LUMORA_TRY_VERIFY(media.position() > before + 300);

    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
    const QString wavPath = m_dir.filePath("again.wav");
    QVERIFY(m_server.startRecording(wavPath));
    QTest::qWait(300);
    media.setCommand("Pause");
    media.setCommand("Pause");
    LUMORA_TRY_COMPARE(engine.soundName(), std::string("stream"));
    // A fresh null sink takes a second or two to start its first stream.
    QTest::qWait(3000);
    m_server.stopRecording();
    WavFile wav;
    QVERIFY(wav.load(wavPath));
    const double lastSecond = wav.rms(wav.seconds() - 1, wav.seconds());
    QVERIFY2(
        lastSecond > 0.01, qPrintable(QString("%1 of %2 s").arg(lastSecond).arg(wav.seconds())));
    QCOMPARE(capture.warnings().size(), 1);
}

// Started with no sound server (a desktop whose sound comes up later, a log-in): the song plays
// on the clock, and once a server is there the next Play is heard through it.
void TestMediaControlSound::serverStartedLaterIsUsedFromTheNextPlay()
{
    const QString song = m_dir.filePath("later.mid");
    QVERIFY(SmfWriter().program(0, 19).melody(0, 50, 200).save(song));
    NoServer noServer;
    WarningCapture capture;
    Engine engine = makeEngine(Output::Stream);
    noServer.restore();
    if (!engine.soundName().empty())
        QSKIP("an audio device is reachable here");
    EngineMediaControl& media = *engine.media;
    media.setFileName(song);
    media.setCommand("Open");
    media.setCommand("Play");
    QTRY_VERIFY(media.position() > 300);
    media.setCommand("Pause");

    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
    const QString wavPath = m_dir.filePath("later.wav");
    QVERIFY(m_server.startRecording(wavPath));
    QTest::qWait(300);
    const qint32 pausedAt = media.position();
    media.setCommand("Play");
    QTRY_COMPARE(engine.soundName(), std::string("stream"));
    // A fresh null sink takes a second or two to start its first stream.
    QTest::qWait(3000);
    m_server.stopRecording();
    QVERIFY2(media.position() > pausedAt + 1000,
        qPrintable(QString("%1 after %2").arg(media.position()).arg(pausedAt)));
    WavFile wav;
    QVERIFY(wav.load(wavPath));
    const double lastSecond = wav.rms(wav.seconds() - 1, wav.seconds());
    QVERIFY2(
        lastSecond > 0.01, qPrintable(QString("%1 of %2 s").arg(lastSecond).arg(wav.seconds())));
    QVERIFY2(capture.joined().contains("No audio device"), qPrintable(capture.joined()));
    QCOMPARE(capture.warnings().size(), 1);
}
#else
void TestMediaControlSound::serverStartedLaterIsUsedFromTheNextPlay()
{
    QSKIP("built without PulseAudio");
}

void TestMediaControlSound::streamEndsWhenTheEndIsHeard()
{
    QSKIP("built without PulseAudio");
}

void TestMediaControlSound::streamReturnsToARestartedServer()
{
    QSKIP("built without PulseAudio");
}
#endif

// FluidSynth stops calling back when the server dies and says nothing: the watchdog notices and
// the song plays on silently, keeping to the clock, up to its end.
void TestMediaControlSound::timelineGoesOnWhenTheServerDies()
{
    const QString song = m_dir.filePath("melody.mid");
    const int lengthMs = 5000;
    QVERIFY(SmfWriter().melody(0, 20, 250).endAt(lengthMs).save(song));
    QFETCH(Output, kind);
    // A low-latency client keeps the null sink at the pace of the clock; alone, a stream with a
    // long buffer is read as fast as it is written.
    QVERIFY(m_server.startRecording(m_dir.filePath("clock.wav")));
    WarningCapture capture;
    Engine engine = makeEngine(kind);
    QCOMPARE(engine.soundName(), std::string(kind == Output::Stream ? "stream" : "pulseaudio"));
    EngineMediaControl& media = *engine.media;
    media.setFileName(song);
    media.setCommand("Open");
    QSignalSpy spy(&media, &MediaControl::statusUpdate);
    QElapsedTimer sincePlay;
    media.setCommand("Play");
    sincePlay.start();
    QTest::qWait(1000);
    QVERIFY(media.position() > 0);
    m_server.kill();

    QVERIFY2(waitForEnd(media, TestWait::ceilingMs), qPrintable(QString::number(media.position())));
    const qint64 took = sincePlay.elapsed();
    QVERIFY2(took > lengthMs - 500, qPrintable(QString::number(took)));
    QVERIFY2(took < lengthMs + 2000, qPrintable(QString::number(took)));
    QVERIFY(engine.soundName().empty());
    QVERIFY2(
        capture.joined().contains(kind == Output::Stream ? "went away" : "stopped taking sound"),
        qPrintable(capture.joined()));
    QCOMPARE(capture.warnings().size(), 1);
    LUMORA_TRY_VERIFY(!spy.isEmpty());

    media.setCommand("Prev");
    media.setCommand("Play");
    LUMORA_TRY_VERIFY(media.position() > 200);
}

void TestMediaControlSound::timelineRunsWithoutAnyDevice()
{
    NoServer noServer;
    WarningCapture capture;
    Engine engine = makeEngine();
    noServer.restore();
    if (!engine.soundName().empty())
        QSKIP("an audio device is reachable here");
    QVERIFY2(capture.joined().contains("No audio device"), qPrintable(capture.joined()));

    const QString song = m_dir.filePath("short.mid");
    QVERIFY(SmfWriter().melody(0, 4, 250).save(song));
    EngineMediaControl& media = *engine.media;
    media.setFileName(song);
    media.setCommand("Open");
    QElapsedTimer sincePlay;
    media.setCommand("Play");
    sincePlay.start();
    QVERIFY(waitForEnd(media, TestWait::ceilingMs));
    QVERIFY2(sincePlay.elapsed() > 900, qPrintable(QString::number(sincePlay.elapsed())));
    QCOMPARE(capture.warnings().size(), 1);
}

// As the program starts it: the sound server is reached and the SoundFont loaded in the
// background once the window is up. A song opened and played before that is heard once both are
// there.
void TestMediaControlSound::playPressedAtStartUpIsHeard()
{
    const QString song = m_dir.filePath("at start-up.mid");
    QVERIFY(SmfWriter().program(0, 19).melody(0, 20, 200).save(song));
    const QString wavPath = m_dir.filePath("start-up.wav");
    QVERIFY(m_server.startRecording(wavPath));
    QTest::qWait(300);
    {
        EngineSetup setup;
        setup.loadWhenAsked = true;
        EngineMediaControl media(std::move(setup));
        QSignalSpy ready(&media, &EngineMediaControl::synthReady);
        media.setFileName(song);
        media.setCommand("Open");
        media.setCommand("Play");
        QVERIFY(!ready.wait(500)); // nothing loads before it is asked to
        QCOMPARE(media.position(), 0);
        media.startLoading();
        QVERIFY(ready.wait(TestWait::ceilingMs));
        // A new stream on a fresh null sink starts in fits: give it time to settle.
        QTest::qWait(2500);
        QVERIFY(media.position() > 1000);
    }
    m_server.stopRecording();

    WavFile wav;
    QVERIFY(wav.load(wavPath));
    const std::vector<Run> runs = loudAndQuiet(wav);
    const auto loud
        = std::find_if(runs.begin(), runs.end(), [](const Run& run) { return run.loud; });
    QVERIFY2(loud != runs.end() && loud->length() > 0.5, qPrintable(describe(runs)));
}

QTEST_MAIN(TestMediaControlSound)
#include "tst_mediacontrolsound.moc"

// Play All in the real window on the live media control.
//
//   playall_bench cpu SONG PICTURES SECONDS
//       processor use while the Play All loop waits during a song, beside the naive loop that
//       polls events without ever waiting, both in the same process: with the real synth on the
//       sound device (whole process and the window's thread alone), then without a synth (the
//       loop and the timeline only).
//   playall_bench playall SONG PICTURES SECONDS
//   playall_bench loop SONG PICTURES SECONDS
//       Play All, or Loop on one song, for SECONDS; run-all.sh records the sink meanwhile and
//       times the silence between one song and the next.
//
// Every catalogue song is SONG, copied into a temporary folder that becomes the working directory;
// the skin pictures come from PICTURES. Run by run-all.sh on a private PulseAudio null sink.

#include "app/catalogue.h"
#include "app/fileopendialog.h"
#include "app/pictureloader.h"
#include "app/randomgenerator.h"
#include "app/runtimeerror.h"
#include "app/windowservices.h"
#include "engine/synth/audiooutput.h"
#include "media/enginemediacontrol.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

struct CpuSample {
    double process = 0; // seconds of processor time, all threads
    double thread = 0; // seconds of the calling (window) thread
    Clock::time_point at;
};

double seconds(const timeval& t)
{
    return double(t.tv_sec) + t.tv_usec / 1e6;
}

CpuSample sampleCpu()
{
    rusage self {}, thread {};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_THREAD, &thread);
    return { seconds(self.ru_utime) + seconds(self.ru_stime),
        seconds(thread.ru_utime) + seconds(thread.ru_stime), Clock::now() };
}

struct CpuPercent {
    double process = 0;
    double thread = 0;
};

CpuPercent percentBetween(const CpuSample& before, const CpuSample& after)
{
    const double wall = std::chrono::duration<double>(after.at - before.at).count();
    return { (after.process - before.process) / wall * 100.0,
        (after.thread - before.thread) / wall * 100.0 };
}

// The window as main() builds it, over a folder where every catalogue song is the given file.
class PlayerRig {
public:
    PlayerRig(const QString& song, const QString& pictures, bool withoutSynth)
        : m_pictures(m_errors, pictures)
    {
        for (const CatalogueRow& row : Catalogue::rows())
            QFile::copy(song, m_folder.filePath(QString::fromUtf8(row.stem) + ".mid"));
        QDir::setCurrent(m_folder.path());
        EngineSetup setup;
        setup.withoutSynth = withoutSynth;
        m_media = std::make_unique<EngineMediaControl>(std::move(setup));
        // Loaded in the background as in the program, but before anything is measured.
        QEventLoop ready;
        QObject::connect(m_media.get(), &EngineMediaControl::synthReady, &ready, &QEventLoop::quit);
        QTimer::singleShot(10000, &ready, &QEventLoop::quit);
        if (!m_media->isSynthReady())
            ready.exec();
        m_window
            = createMainWindow(WindowServices { m_media.get(), &m_dialog, &m_random, &m_pictures });
        m_driver = std::make_unique<WindowDriver>(m_window.get());
        m_dialog.setParentWidget(m_window.get());
        m_driver->Form_Load();
        m_window->show();
    }
    ~PlayerRig()
    {
        m_media->close();
        m_driver.reset();
        m_window.reset();
        m_media.reset();
        QDir::setCurrent(m_previousDir);
    }
    WindowDriver& window() { return *m_driver; }
    MediaControl& media() { return *m_media; }

private:
    QTemporaryDir m_folder;
    QString m_previousDir = QDir::currentPath();
    FatalErrorReporter m_errors;
    FilePictureLoader m_pictures;
    ClockSeededRandom m_random;
    QtFileOpenDialog m_dialog;
    std::unique_ptr<EngineMediaControl> m_media;
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<WindowDriver> m_driver;
};

// The design Play All replaced: the same steps, but the loop asks for events without waiting for
// one, so it runs flat out for the whole song.
void runBusyPlayAll(WindowDriver& window, MediaControl& media)
{
    const auto startRandomSong = [&window] {
        window.mitRandom_Click(); // Close, a random song, Play: what Play All does at each end
        window.mitplayall->setChecked(true);
    };
    startRandomSong();
    while (window.mitplayall->isChecked()) {
        if (media.length() == media.position())
            startRandomSong();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Runs a loop that only returns once Play All's mark is cleared, measures from settleMs after it
// starts for seconds, then clears the mark.
CpuPercent measureInside(WindowDriver& window, MediaControl& media,
    const std::function<void()>& loop, int settleMs, int seconds)
{
    CpuSample before, after;
    QTimer::singleShot(settleMs, [&] { before = sampleCpu(); });
    QTimer::singleShot(settleMs + seconds * 1000, [&] {
        after = sampleCpu();
        window.mitplayall->setChecked(false);
    });
    loop();
    media.close();
    return percentBetween(before, after);
}

void settle(int ms)
{
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

int cpu(const QString& song, const QString& pictures, int seconds)
{
    for (const bool withoutSynth : { false, true }) {
        PlayerRig rig(song, pictures, withoutSynth);
        WindowDriver& window = rig.window();
        MediaControl& media = rig.media();
        settle(1500); // past the stall of a new stream's first writes
        const CpuPercent waiting = measureInside(
            window, media, [&] { window.mitplayall_Click(); }, 1000, seconds);
        settle(300);
        const CpuPercent busy = measureInside(
            window, media, [&] { runBusyPlayAll(window, media); }, 1000, seconds);
        const char* prefix = withoutSynth ? "nosynth_" : "synth_";
        std::printf("%splayall_wait_process_percent %.3f\n", prefix, waiting.process);
        std::printf("%sbusy_loop_process_percent %.3f\n", prefix, busy.process);
        std::printf("%splayall_wait_window_thread_percent %.3f\n", prefix, waiting.thread);
        std::printf("%sbusy_loop_window_thread_percent %.3f\n", prefix, busy.thread);
        std::fflush(stdout);
    }
    return 0;
}

// Play All or Loop for a while, for the recording of the sink that run-all.sh makes meanwhile.
int chain(const QString& song, const QString& pictures, int seconds, bool playAll)
{
    PlayerRig rig(song, pictures, false);
    WindowDriver& window = rig.window();
    settle(1500);
    if (playAll) {
        QTimer::singleShot(seconds * 1000, [&] { window.mitplayall->setChecked(false); });
        window.mitplayall_Click();
    } else {
        window.mitSong_Click(0);
        window.mitLoop_Click();
        window.cmdPlay_Click();
        settle(seconds * 1000);
        window.mitLoop_Click();
    }
    rig.media().close();
    settle(300);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s cpu|playall|loop SONG PICTURES SECONDS\n", argv[0]);
        return 2;
    }
    const QString song = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const QString pictures = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath();
    const int seconds = std::atoi(argv[4]);
    if (!std::strcmp(argv[1], "cpu"))
        return cpu(song, pictures, seconds);
    if (!std::strcmp(argv[1], "playall"))
        return chain(song, pictures, seconds, true);
    if (!std::strcmp(argv[1], "loop"))
        return chain(song, pictures, seconds, false);
    return 2;
}

// Measures the live media control on the sound device: processor use while playing and while
// idle, peak memory, the time from Play to the first sample at the sink, and the silence a loop
// leaves between the end of a song and its restart. Run by mediacontrol_bench.sh, which starts a
// private PulseAudio server with a null sink and measures the references in the same run.

#include "engine/midi/song.h"
#include "engine/output/deviceaudiooutput.h"
#include "engine/output/soundoutput.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"
#include "media/enginemediacontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A sound starts where the sink first plays a frame this loud.
constexpr float onsetLevel = 0.05f;

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Percent of one core used by this process over ms of waiting in the event loop.
double cpuPercentOver(int ms)
{
    const double before = cpuSeconds();
    const auto start = Clock::now();
    wait(ms);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return (cpuSeconds() - before) / wall * 100.0;
}

// Of the values that are numbers: NAN marks a run that heard nothing.
double median(std::vector<double> values)
{
    std::erase_if(values, [](double value) { return std::isnan(value); });
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// LUMORA_BENCH_PERIODS=FRAMESxCOUNT tries other device buffers than the program's.
DeviceAudioOutput::Config deviceConfig()
{
    DeviceAudioOutput::Config config;
    if (const char* periods = std::getenv("LUMORA_BENCH_PERIODS"))
        std::sscanf(periods, "%dx%d", &config.periodFrames, &config.periods);
    return config;
}

// The program's own output, unless LUMORA_BENCH_OUTPUT=device asks for FluidSynth's drivers.
std::unique_ptr<AudioOutput> benchOutput()
{
    const char* output = std::getenv("LUMORA_BENCH_OUTPUT");
    if (output && !std::strcmp(output, "device"))
        return std::make_unique<DeviceAudioOutput>(deviceConfig());
    return openSoundOutput();
}

std::unique_ptr<EngineMediaControl> makeEngine()
{
    EngineSetup setup;
    setup.output = benchOutput();
    setup.loadSynchronously = true;
    auto media = std::make_unique<EngineMediaControl>(std::move(setup));
    wait(1500); // past the stall of a new stream's first write
    return media;
}

// The program's own set-up: the SoundFont and each song's samples load in the background.
std::unique_ptr<EngineMediaControl> makeProgramEngine()
{
    auto media = std::make_unique<EngineMediaControl>(EngineSetup {});
    QEventLoop loop;
    QObject::connect(media.get(), &EngineMediaControl::synthReady, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!media->isSynthReady())
        loop.exec();
    wait(1500);
    return media;
}

double residentMb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    }
    return NAN;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What the window sends for Play, and how long the window's thread spends in Open and in Play.
struct PlayTimes {
    double openMs = 0, playMs = 0;
};
PlayTimes playAsTheWindowDoes(EngineMediaControl& media, const QString& song)
{
    media.setCommand("Close");
    media.setFileName(song);
    PlayTimes times;
    auto start = Clock::now();
    media.setCommand("Open");
    times.openMs = msSince(start);
    start = Clock::now();
    media.setCommand("Play");
    times.playMs = msSince(start);
    return times;
}

void printMedianAndWorst(const char* name, const std::vector<double>& values)
{
    std::printf("%s_median %.3f\n%s_worst %.3f\n", name, median(values), name,
        *std::max_element(values.begin(), values.end()));
}

// Memory over a session: the song that uses every program, then a demo song and Stop (the
// window's Close, Open); then the demo songs in turn with that song every eleventh, a moment
// each, the window's thread timed in Open and Play for each song.
int footprint(const char* allPrograms, const char* demoFolder, int songs)
{
    auto media = makeProgramEngine();
    std::printf("rss_start_mb %.1f\n", residentMb());
    playAsTheWindowDoes(*media, allPrograms);
    wait(1500);
    std::printf("rss_after_all_programs_mb %.1f\n", residentMb());
    const QDir folder(demoFolder);
    const QStringList demos = folder.entryList({ "*.mid" }, QDir::Files, QDir::Name);
    if (demos.isEmpty() || songs <= 0)
        return 1;
    playAsTheWindowDoes(*media, folder.filePath(demos.first()));
    wait(1500);
    media->setCommand("Close");
    media->setCommand("Open");
    wait(500);
    std::printf("rss_after_demo_and_stop_mb %.1f\n", residentMb());

    std::vector<double> open, play, both, rss;
    for (int i = 0; i < songs; ++i) {
        const QString song = i % 11 == 10 ? QString::fromLocal8Bit(allPrograms)
                                          : folder.filePath(demos[i % demos.size()]);
        const PlayTimes times = playAsTheWindowDoes(*media, song);
        open.push_back(times.openMs);
        play.push_back(times.playMs);
        both.push_back(times.openMs + times.playMs);
        wait(400);
        rss.push_back(residentMb());
    }
    media->setCommand("Close");
    wait(300);
    std::printf("session_songs %d\n", songs);
    std::printf("session_rss_peak_mb %.1f\n", *std::max_element(rss.begin(), rss.end()));
    std::printf("session_rss_end_mb %.1f\n", residentMb());
    printMedianAndWorst("open_ms", open);
    printMedianAndWorst("play_ms", play);
    printMedianAndWorst("open_play_ms", both);
    return 0;
}

// One note of the given program at 0, End of Track at 1 s.
bool writeOnsetSong(const QString& path, int program)
{
    const unsigned char header[] = { 'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xe8 };
    const unsigned char track[]
        = { 0x00, 0xff, 0x51, 0x03, 0x0f, 0x42, 0x40, 0x00, 0xc0, (unsigned char)program, 0x00,
              0x90, 0x3c, 0x7f, 0x82, 0x2c, 0x80, 0x3c, 0x00, 0x85, 0x3c, 0xff, 0x2f, 0x00 };
    QByteArray bytes(reinterpret_cast<const char*>(header), sizeof header);
    bytes.append("MTrk", 4);
    for (int shift : { 24, 16, 8, 0 })
        bytes.append(char(sizeof track >> shift));
    bytes.append(reinterpret_cast<const char*>(track), sizeof track);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// LUMORA_BENCH_RECORDER_MS tries another latency for the recorder that listens at the sink (both
// sides of a comparison hear through the same one).
std::string latencyArgument()
{
    const char* ms = std::getenv("LUMORA_BENCH_RECORDER_MS");
    return std::string("--latency-msec=") + (ms ? ms : "2");
}

// The time a song takes, rendered offline from its start, to reach level at the sink: the
// attack of its first note, which sounds the same whatever the output and however fast it
// answers. A timing of Play at that level less this is the time to the song's first sample.
// (The reference's beep is at level within its first two samples.)
class LeadIn {
public:
    LeadIn() { m_loaded = m_synth.loadSoundFont(Synth::findDefaultSoundFont(), nullptr); }
    double ms(const QString& path, float level);

private:
    Synth m_synth { 44100 };
    bool m_loaded = false;
};

double LeadIn::ms(const QString& path, float level)
{
    const SongLoadResult loaded = loadSongFile(path.toStdString());
    if (!m_loaded || !loaded.song)
        return NAN;
    m_synth.prepare(*loaded.song);
    SongRenderer renderer(&m_synth, 44100);
    renderer.setSong(loaded.song);
    renderer.play();
    constexpr int block = 64;
    std::vector<float> left(block), right(block);
    for (int64_t frame = 0; frame < 44100; frame += block) {
        renderer.render(left.data(), right.data(), block);
        for (int i = 0; i < block; ++i) {
            if (std::max(std::abs(left[i]), std::abs(right[i])) >= level)
                return double(frame + i) * 1000.0 / 44100.0;
        }
    }
    return NAN;
}

// The null sink's monitor as a stream of stereo 16-bit frames, read on a thread of its own, so
// that the first sound after a moment can be timed and frames can be counted.
class SinkListener {
public:
    explicit SinkListener(const char* sink)
    {
        const std::string device = std::string(sink) + ".monitor";
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_recorder = fork();
        if (m_recorder == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execlp("parec", "parec", "-d", device.c_str(), latencyArgument().c_str(),
                "--format=s16le", "--rate=44100", "--channels=2", "--raw", nullptr);
            _exit(127);
        }
        close(fds[1]);
        m_pipe = fdopen(fds[0], "r");
        m_thread = std::thread([this] { read(); });
    }
    ~SinkListener()
    {
        m_quit = true;
        if (m_recorder > 0) {
            kill(m_recorder, SIGTERM);
            waitpid(m_recorder, nullptr, 0);
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_pipe)
            fclose(m_pipe);
    }

    // Waits for the first frame at or above level that arrives after since; the time it arrived.
    // Waits until the sink has stayed below level for quietMs after since; when that began.
    Clock::time_point silenceAfter(Clock::time_point since, float level, int quietMs, int timeoutMs)
    {
        const auto deadline = since + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            {
                std::lock_guard lock(m_mutex);
                Clock::time_point quietSince = since;
                for (const auto& [at, peak] : m_chunks) {
                    if (at < since)
                        continue;
                    if (peak >= level)
                        quietSince = at;
                    else if (at - quietSince >= std::chrono::milliseconds(quietMs))
                        return quietSince;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return Clock::time_point {};
    }

    Clock::time_point firstSoundAfter(Clock::time_point since, float level, int timeoutMs)
    {
        const auto deadline = since + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            {
                std::lock_guard lock(m_mutex);
                for (const auto& [at, peak] : m_chunks) {
                    if (at >= since && peak >= level)
                        return at;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return Clock::time_point {};
    }

    void startKeeping()
    {
        std::lock_guard lock(m_mutex);
        m_levels.clear();
        m_keep = true;
    }
    std::vector<float> kept()
    {
        std::lock_guard lock(m_mutex);
        m_keep = false;
        return m_levels;
    }

private:
    void read()
    {
        std::vector<int16_t> buffer(2 * 64);
        while (!m_quit && m_pipe) {
            const size_t frames = fread(buffer.data(), 4, buffer.size() / 2, m_pipe);
            if (frames == 0)
                break;
            const auto now = Clock::now();
            float peak = 0.0f;
            std::lock_guard lock(m_mutex);
            for (size_t i = 0; i < frames; ++i) {
                const float level = std::max(
                    std::abs(buffer[2 * i] / 32768.0f), std::abs(buffer[2 * i + 1] / 32768.0f));
                peak = std::max(peak, level);
                if (m_keep)
                    m_levels.push_back(level);
            }
            m_chunks.emplace_back(now, peak);
            if (m_chunks.size() > 20000)
                m_chunks.erase(m_chunks.begin(), m_chunks.begin() + 10000);
        }
    }

    pid_t m_recorder = -1;
    FILE* m_pipe = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_quit { false };
    std::mutex m_mutex;
    std::vector<std::pair<Clock::time_point, float>> m_chunks;
    bool m_keep = false;
    std::vector<float> m_levels;
};

// Play to the first sample at the sink, with Close, Open, Play sent back to back as the window
// does: cold (a program no song used before, so its samples are read first) and warm (the same
// song again right after).
int firstSample(const char* sink, int runs)
{
    SinkListener listener(sink);
    auto media = makeProgramEngine();
    QTemporaryDir folder;
    std::vector<double> cold, warm;
    std::vector<QString> songs;
    for (int run = 0; run < runs; ++run) {
        const QString song = folder.filePath(QString("onset-%1.mid").arg(run));
        if (!writeOnsetSong(song, 1 + run % 120))
            return 1;
        songs.push_back(song);
        for (auto* results : { &cold, &warm }) {
            const auto start = Clock::now();
            playAsTheWindowDoes(*media, song);
            // The samples come back to this thread: it must run its events meanwhile.
            QEventLoop loop;
            Clock::time_point heard {};
            std::thread waiter([&] {
                heard = listener.firstSoundAfter(start, onsetLevel, 3000);
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            });
            loop.exec();
            waiter.join();
            results->push_back(
                heard != Clock::time_point {} ? msSince(start) - msSince(heard) : NAN);
            wait(1200);
        }
    }
    // Each instrument's own attack, taken off once every song has been timed: rendering a song
    // reads its samples, and the cold runs must find them unread.
    LeadIn leadIn;
    auto firstSamples = [&](const std::vector<double>& times) {
        std::vector<double> kept;
        for (size_t i = 0; i < times.size(); ++i) {
            if (!std::isnan(times[i]))
                kept.push_back(times[i] - leadIn.ms(songs[i], onsetLevel));
        }
        return kept;
    };
    std::printf("first_sample_cold_onset_level_ms %.1f\n", median(cold));
    std::printf("first_sample_warm_onset_level_ms %.1f\n", median(warm));
    cold = firstSamples(cold);
    warm = firstSamples(warm);
    std::printf("first_sample_cold_ms %.1f\n", median(cold));
    std::printf("first_sample_warm_ms %.1f\n", median(warm));
    std::printf("first_sample_runs %zu and %zu of %d\n", cold.size(), warm.size(), runs);
    return 0;
}

int playCpu(const char* song, int seconds)
{
    auto media = makeEngine();
    media->setFileName(song);
    media->setCommand("Open");
    media->setCommand("Play");
    wait(500);
    std::printf("cpu_playing_percent %.2f\n", cpuPercentOver(seconds * 1000));
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_mb %.1f\n", usage.ru_maxrss / 1024.0);
    return 0;
}

int idleCpu(const char* song, int seconds)
{
    auto media = makeEngine();
    std::printf("cpu_closed_percent %.3f\n", cpuPercentOver(seconds * 1000));
    media->setFileName(song);
    media->setCommand("Open");
    media->setCommand("Play");
    wait(1000);
    media->setCommand("Pause");
    wait(200);
    std::printf("cpu_paused_percent %.3f\n", cpuPercentOver(seconds * 1000));
    media->setCommand("Prev");
    wait(3000); // the notes ring out after a rewind
    std::printf("cpu_stopped_percent %.3f\n", cpuPercentOver(seconds * 1000));
    return 0;
}

// A trivial source straight on the device output: the floor that the engine is compared with.
struct Beep : AudioSource {
    std::atomic<bool> on { false };
    double phase = 0;
    bool renderAudio(float* left, float* right, int frames) noexcept override
    {
        for (int i = 0; i < frames; ++i) {
            left[i] = right[i] = on ? float(0.5 * std::sin(phase)) : 0.0f;
            phase += 0.06;
        }
        return on;
    }
};

// Play to the song's first sample at the sink, against a beep switched on in a device output that
// keeps running: both timed to the first frame at onsetLevel, the song's own attack to that level
// taken off (play_to_onset_level_ms keeps it in).
int latency(const char* song, const char* sink, int runs)
{
    SinkListener listener(sink);
    std::vector<double> device;
    {
        Beep beep;
        DeviceAudioOutput output(deviceConfig());
        output.start(&beep);
        wait(1500);
        for (int run = 0; run < runs; ++run) {
            const auto start = Clock::now();
            beep.on = true;
            output.wake();
            const auto heard = listener.firstSoundAfter(start, onsetLevel, 2000);
            beep.on = false;
            if (heard != Clock::time_point {})
                device.push_back(std::chrono::duration<double, std::milli>(heard - start).count());
            wait(400);
        }
        output.stop();
    }
    std::vector<double> engine;
    auto media = makeEngine();
    media->setFileName(song);
    for (int run = 0; run < runs; ++run) {
        // What the window sends for Play.
        media->setCommand("Close");
        media->setCommand("Open");
        wait(400);
        const auto start = Clock::now();
        media->setCommand("Play");
        const auto heard = listener.firstSoundAfter(start, onsetLevel, 2000);
        if (heard != Clock::time_point {})
            engine.push_back(std::chrono::duration<double, std::milli>(heard - start).count());
        wait(400);
        media->setCommand("Close");
    }
    const double leadIn = LeadIn().ms(song, onsetLevel);
    std::vector<double> engineFirstSample;
    for (double ms : engine)
        engineFirstSample.push_back(ms - leadIn);
    std::printf("play_to_sound_ms %.1f\n", median(engineFirstSample));
    std::printf("play_to_onset_level_ms %.1f\n", median(engine));
    std::printf("song_lead_in_ms %.1f\n", leadIn);
    std::printf("device_wake_to_sound_ms %.1f\n", median(device));
    std::printf("play_to_sound_runs %zu of %d\n", engine.size(), runs);
    return 0;
}

// Pause and Stop (what the window sends for each) in the middle of a song: the time until the
// sink is silent and stays so.
int silence(const char* song, const char* sink, int runs)
{
    SinkListener listener(sink);
    auto media = makeEngine();
    media->setFileName(song);
    std::vector<double> pause, stop;
    for (int run = 0; run < runs; ++run) {
        for (const bool stopping : { false, true }) {
            media->setCommand("Close");
            media->setCommand("Open");
            media->setCommand("Play");
            wait(1500);
            const auto start = Clock::now();
            if (stopping) {
                media->setCommand("Close");
                media->setCommand("Open");
            } else {
                media->setCommand("Pause");
            }
            const auto quiet = listener.silenceAfter(start, 0.001f, 150, 3000);
            if (quiet != Clock::time_point {})
                (stopping ? stop : pause)
                    .push_back(std::chrono::duration<double, std::milli>(quiet - start).count());
            wait(300);
        }
    }
    std::printf("pause_to_silence_ms %.1f\n", median(pause));
    std::printf("stop_to_silence_ms %.1f\n", median(stop));
    return 0;
}

// Plays a song whose first note starts at 0 and restarts it from the end notification as the
// window's loop does, then finds both onsets in the frames the sink played.
int loopGap(const char* song, const char* sink, int runs)
{
    SinkListener listener(sink);
    auto media = makeEngine();
    media->setFileName(song);
    int restartsLeft = 0;
    QObject::connect(media.get(), &MediaControl::statusUpdate, [&] {
        if (media->length() == 0 || media->position() != media->length() || restartsLeft == 0)
            return;
        --restartsLeft;
        for (const char* command : { "Prev", "Close", "Open", "Play" })
            media->setCommand(command);
    });
    std::vector<double> gaps;
    for (int run = 0; run < runs; ++run) {
        media->setCommand("Close");
        media->setCommand("Open");
        wait(300);
        const int lengthMs = media->length();
        listener.startKeeping();
        restartsLeft = 1;
        media->setCommand("Play");
        wait(lengthMs + 800);
        const std::vector<float> levels = listener.kept();
        const float onset = 0.05f;
        auto first
            = std::find_if(levels.begin(), levels.end(), [&](float l) { return l >= onset; });
        if (first == levels.end())
            continue;
        const auto startOfSecond = first + std::ptrdiff_t(lengthMs * 44.1 * 0.9);
        if (startOfSecond >= levels.end())
            continue;
        auto second
            = std::find_if(startOfSecond, levels.end(), [&](float l) { return l >= onset; });
        if (second == levels.end())
            continue;
        const double apartMs = double(second - first) / 44.1;
        gaps.push_back(apartMs - lengthMs);
    }
    std::printf("loop_gap_ms %.1f\n", median(gaps));
    std::printf("loop_gap_runs %zu of %d\n", gaps.size(), runs);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
            "usage: %s play-cpu SONG SECONDS | idle-cpu SONG SECONDS | latency SONG SINK RUNS |"
            " loop-gap SONG SINK RUNS | footprint ALL-PROGRAMS-SONG DEMO-FOLDER SONGS |"
            " first-sample - SINK RUNS | silence SONG SINK RUNS\n",
            argv[0]);
        return 2;
    }
    const char* mode = argv[1];
    const char* song = argv[2];
    if (!std::strcmp(mode, "play-cpu") && argc > 3)
        return playCpu(song, std::atoi(argv[3]));
    if (!std::strcmp(mode, "idle-cpu") && argc > 3)
        return idleCpu(song, std::atoi(argv[3]));
    if (!std::strcmp(mode, "latency") && argc > 4)
        return latency(song, argv[3], std::atoi(argv[4]));
    if (!std::strcmp(mode, "silence") && argc > 4)
        return silence(song, argv[3], std::atoi(argv[4]));
    if (!std::strcmp(mode, "loop-gap") && argc > 4)
        return loopGap(song, argv[3], std::atoi(argv[4]));
    if (!std::strcmp(mode, "footprint") && argc > 4)
        return footprint(song, argv[3], std::atoi(argv[4]));
    if (!std::strcmp(mode, "first-sample") && argc > 4)
        return firstSample(argv[3], std::atoi(argv[4]));
    return 2;
}

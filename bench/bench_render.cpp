// Times lumora-render against `fluidsynth -ni -F` on the same generated 3-minute, 6-track song
// and SoundFont, in the same run, and prints the ratios of the median times and peak memory.
//
//   bench_render [--benchmark_repetitions=N]     (default 5 runs each)
//   bench_render --write-song=PATH                (only writes the song, for profiling)

#include "engine/synth/synth.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Sample {
    double seconds;
    long peakRssKb;
};

std::map<std::string, std::vector<Sample>> g_samples;
std::string g_songPath;
std::string g_soundFont;
std::string g_outDir;

// A deterministic song: 120 bpm, 90 bars of 4/4, melody, bass, pad, arpeggio, brass, drums.
class SongWriter {
public:
    void note(int track, uint32_t tick, int channel, int key, int velocity, uint32_t length)
    {
        add(track, tick, { uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity) });
        add(track, tick + length, { uint8_t(0x80 | channel), uint8_t(key), 64 });
    }
    void add(int track, uint32_t tick, std::vector<uint8_t> bytes)
    {
        m_tracks[size_t(track)].push_back({ tick, m_order++, std::move(bytes) });
    }
    void write(const std::string& path, uint32_t endTick)
    {
        std::string file("MThd\0\0\0\6\0\1", 10);
        file += char(0);
        file += char(m_tracks.size());
        file += char(480 >> 8);
        file += char(480 & 0xff);
        for (auto& events : m_tracks) {
            std::stable_sort(events.begin(), events.end(),
                [](const Event& a, const Event& b) { return a.tick < b.tick; });
            std::string data;
            uint32_t now = 0;
            for (const Event& event : events) {
                appendVarLen(data, event.tick - now);
                now = event.tick;
                data.append(event.bytes.begin(), event.bytes.end());
            }
            appendVarLen(data, endTick - now);
            data.append("\xff\x2f\x00", 3);
            file += "MTrk";
            for (int shift = 24; shift >= 0; shift -= 8)
                file += char(data.size() >> shift);
            file += data;
        }
        std::ofstream(path, std::ios::binary) << file;
    }

private:
    struct Event {
        uint32_t tick;
        uint64_t order;
        std::vector<uint8_t> bytes;
    };
    static void appendVarLen(std::string& out, uint32_t value)
    {
        char bytes[5];
        int n = 0;
        bytes[n++] = char(value & 0x7f);
        while (value >>= 7)
            bytes[n++] = char((value & 0x7f) | 0x80);
        while (n)
            out += bytes[--n];
    }
    std::vector<std::vector<Event>> m_tracks { 6 };
    uint64_t m_order = 0;
};

void writeSong(const std::string& path)
{
    constexpr uint32_t beat = 480, bar = 4 * beat, bars = 90;
    const int roots[] = { 48, 53, 55, 45 }; // C F G Am
    const int scale[] = { 0, 2, 4, 7, 9, 12, 14, 16 };
    uint32_t random = 12345;
    auto next = [&random] { return (random = random * 1103515245u + 12345u) >> 16; };
    SongWriter song;
    song.add(0, 0, { 0xff, 0x51, 0x03, 0x07, 0xa1, 0x20 });
    const int programs[] = { 0, 33, 48, 25, 61 };
    for (int channel = 0; channel < 5; ++channel)
        song.add(channel, 0, { uint8_t(0xc0 | channel), uint8_t(programs[channel]) });
    for (uint32_t b = 0; b < bars; ++b) {
        const uint32_t start = b * bar;
        const int root = roots[b % 4];
        for (uint32_t i = 0; i < 8; ++i)
            song.note(0, start + i * beat / 2, 0, 72 + scale[next() % 8], 70 + int(next() % 30),
                beat / 2 - 20);
        for (uint32_t i = 0; i < 4; ++i)
            song.note(1, start + i * beat, 1, root - 12 + (i % 2) * 7, 90, beat - 30);
        for (int interval : { 0, 4, 7 })
            song.note(2, start, 2, root + 12 + interval, 60, bar - 10);
        for (uint32_t i = 0; i < 16; ++i)
            song.note(3, start + i * beat / 4, 3, root + 12 + scale[i % 4], 65, beat / 4);
        for (uint32_t i = 0; i < 2; ++i) {
            for (int interval : { 0, 4, 7, 12 })
                song.note(4, start + i * 2 * beat + beat, 4, root + 24 + interval, 75, beat / 2);
        }
        for (uint32_t i = 0; i < 8; ++i) {
            song.note(5, start + i * beat / 2, 9, 42, 70, 60);
            if (i % 4 == 0)
                song.note(5, start + i * beat / 2, 9, 36, 100, 60);
            if (i % 4 == 2)
                song.note(5, start + i * beat / 2, 9, 38, 95, 60);
        }
    }
    song.write(path, bars * bar);
}

Sample runProgram(const std::vector<std::string>& arguments)
{
    auto started = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(child, &status, 0, &usage);
    double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", arguments[0].c_str());
        std::exit(1);
    }
    return { seconds, usage.ru_maxrss };
}

void timeProgram(
    benchmark::State& state, const std::string& name, const std::vector<std::string>& arguments)
{
    for (auto _ : state) {
        Sample sample = runProgram(arguments);
        state.SetIterationTime(sample.seconds);
        state.counters["peak_rss_MB"] = double(sample.peakRssKb) / 1024.0;
        g_samples[name].push_back(sample);
    }
}

void lumoraRender(benchmark::State& state)
{
    timeProgram(state, "lumora-render",
        { LUMORA_RENDER, g_songPath, g_outDir + "/lumora.wav", g_soundFont });
}

void fluidsynthRender(benchmark::State& state)
{
    timeProgram(state, "fluidsynth",
        { "fluidsynth", "-ni", "-F", g_outDir + "/fluidsynth.wav", "-r", "44100", g_soundFont,
            g_songPath });
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string writeOnly = "--write-song=";
    if (argc == 2 && std::string(argv[1]).rfind(writeOnly, 0) == 0) {
        writeSong(argv[1] + writeOnly.size());
        return 0;
    }
    g_soundFont = Synth::findDefaultSoundFont();
    if (g_soundFont.empty()) {
        std::fprintf(stderr, "no SoundFont installed: nothing to compare\n");
        return 0;
    }
    g_outDir
        = std::filesystem::temp_directory_path() / ("lumora-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(g_outDir);
    g_songPath = g_outDir + "/song-3min-6tracks.mid";
    writeSong(g_songPath);

    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    bool hasRepetitions = false;
    for (int i = 1; i < argc; ++i)
        hasRepetitions |= std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!hasRepetitions)
        arguments.push_back(repetitions.data());
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RegisterBenchmark("render/lumora-render", lumoraRender)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("render/fluidsynth-F", fluidsynthRender)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const auto& ours = g_samples["lumora-render"];
    const auto& theirs = g_samples["fluidsynth"];
    if (!ours.empty() && !theirs.empty()) {
        auto seconds = [](const std::vector<Sample>& samples) {
            std::vector<double> values;
            for (const Sample& s : samples)
                values.push_back(s.seconds);
            return median(values);
        };
        auto peak = [](const std::vector<Sample>& samples) {
            long result = 0;
            for (const Sample& s : samples)
                result = std::max(result, s.peakRssKb);
            return double(result) / 1024.0;
        };
        std::printf("\nsong: %s, SoundFont: %s\n", g_songPath.c_str(), g_soundFont.c_str());
        std::printf("lumora-render: median %.3f s over %zu runs, peak RSS %.1f MB\n", seconds(ours),
            ours.size(), peak(ours));
        std::printf("fluidsynth -F: median %.3f s over %zu runs, peak RSS %.1f MB\n",
            seconds(theirs), theirs.size(), peak(theirs));
        std::printf(
            "time ratio lumora/fluidsynth: %.2f (goal <= 0.80)\n", seconds(ours) / seconds(theirs));
        std::printf(
            "peak RSS ratio lumora/fluidsynth: %.2f (goal <= 0.50)\n", peak(ours) / peak(theirs));
    }
    std::filesystem::remove_all(g_outDir);
    return 0;
}

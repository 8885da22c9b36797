#include "engine/synth/synth.h"

#include "engine/midi/midi.h"
#include "engine/midi/song.h"
#include "engine/synth/audiothread.h"
#include "engine/synth/enginelog.h"

#include <fluidsynth.h>
#include <glib.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

// Channels 0-15 play the song; the one above them is a scratch channel on which prepare()
// resolves presets exactly the way a program change on a song channel would.
constexpr int scratchChannel = Midi::channelCount;
constexpr int totalChannels = 32;

const char* const soundFontFolder = "/usr/share/sounds/sf2";

bool isSoundFontName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".sf2" || extension == ".sf3";
}

std::atomic<int64_t> g_soundFontFileOpens { 0 };
thread_local int64_t t_soundFontFileOpens = 0;
thread_local bool t_realTime = false;

void logUnlessRealTime(int level, const char* message, void*)
{
    if (t_realTime || AudioThread::isMarked())
        return;
    const char* name = level == FLUID_PANIC ? "panic"
        : level == FLUID_ERR                ? "error"
        : level == FLUID_WARN               ? "warning"
                                            : "info";
    // FluidSynth's own words are detail: what went wrong is told once by whoever acts on it.
    EngineLog::info((std::string("fluidsynth: ") + name + ": " + message).c_str());
}

void logGLibMessageUnlessRealTime(const gchar*, GLogLevelFlags, const gchar* message, gpointer)
{
    if (!t_realTime)
        EngineLog::info((std::string("fluidsynth: glib: ") + message).c_str());
}

// libinstpatch, through which FluidSynth tries a file that is not a SoundFont as a DLS file,
// reports that file's failure once more on GLib's log, without a domain: a bare "CRITICAL" on the
// terminal beside the warning that already says which SoundFont failed. Detail, as FluidSynth's
// own messages are. FluidSynth links GLib already.
void filterGLibLog()
{
    const auto levels = GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING
        | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
    g_log_set_handler(nullptr, levels, logGLibMessageUnlessRealTime, nullptr);
}

void installLogFilter()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : { FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO })
            fluid_set_log_function(level, logUnlessRealTime, nullptr);
        filterGLibLog();
    });
}

// FluidSynth's own file access, counted.
void* openSoundFontFile(const char* path)
{
    g_soundFontFileOpens.fetch_add(1, std::memory_order_relaxed);
    ++t_soundFontFileOpens;
    return std::fopen(path, "rb");
}

int readSoundFontFile(void* buffer, fluid_long_long_t count, void* file)
{
    if (count <= 0)
        return FLUID_OK;
    return std::fread(buffer, size_t(count), 1, static_cast<std::FILE*>(file)) == 1 ? FLUID_OK
                                                                                    : FLUID_FAILED;
}

int seekSoundFontFile(void* file, fluid_long_long_t offset, int origin)
{
    return fseeko(static_cast<std::FILE*>(file), off_t(offset), origin) == 0 ? FLUID_OK
                                                                             : FLUID_FAILED;
}

fluid_long_long_t tellSoundFontFile(void* file)
{
    return ftello(static_cast<std::FILE*>(file));
}

int closeSoundFontFile(void* file)
{
    return std::fclose(static_cast<std::FILE*>(file)) == 0 ? FLUID_OK : FLUID_FAILED;
}

// Samples load long after the SoundFont, each time from its file by name: a file deleted or
// replaced meanwhile (a package upgrade) would fail those loads, or feed them another file's
// bytes. The synth holds the file open and names it through the descriptor instead, which
// reopens the very file it loaded, whatever happens to its name.
std::string heldFileName(int fd, const std::string& path)
{
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    return fd >= 0 && ::access(name.c_str(), R_OK) == 0 ? name : path;
}

// Only a regular file can be a SoundFont. Anything else is refused before it is read: opening a
// FIFO waits for a writer that may never come, a device may block or change state when opened.
// The file is opened without waiting, in case it was swapped for one of those after the check.
int openRegularFile(const std::string& path, std::string* error)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0) {
        *error = std::strerror(errno);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = "not a regular file";
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = "not a regular file";
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

struct Synth::Private {
    double sampleRate = 44100;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    int soundFontId = -1;
    int soundFontFd = -1; // the loaded SoundFont's file, held open for its samples
    std::string soundFontPath;
    struct stat soundFontState = {}; // as loaded: a file written since would feed us other bytes
    std::string unavailable; // why there is no synth, when there is none
    std::set<std::pair<int, int>> pinned; // (bank, program) as the SoundFont numbers them
    // What a (bank, program) a song asks for resolves to, for the SoundFont loaded.
    std::map<std::pair<int, int>, std::pair<int, int>> resolved;

    bool resolvePreset(int bank, int program, std::pair<int, int>* resolved);
    bool pinPresets(
        const std::vector<std::pair<int, int>>& programs, std::set<std::pair<int, int>>* wanted);
    int releasePresetsBut(const std::set<std::pair<int, int>>& wanted);
    void unloadSoundFont();
    bool soundFontIsAsLoaded() const;
    void giveUpUnreadableSoundFont();
};

bool Synth::Private::soundFontIsAsLoaded() const
{
    struct stat now = {};
    const int result
        = soundFontFd >= 0 ? ::fstat(soundFontFd, &now) : ::stat(soundFontPath.c_str(), &now);
    return result == 0 && now.st_size == soundFontState.st_size
        && now.st_mtim.tv_sec == soundFontState.st_mtim.tv_sec
        && now.st_mtim.tv_nsec == soundFontState.st_mtim.tv_nsec;
}

// Samples that cannot be read (the file cut short or written over since it was loaded, a disk
// error) would play as whatever the failed load left behind, or make the audio thread try again:
// better no sound at all, said once, by name. Once unloaded, nothing more is tried.
void Synth::Private::giveUpUnreadableSoundFont()
{
    EngineLog::warning(("The SoundFont " + soundFontPath
        + " can no longer be read (changed or cut short since it was loaded); songs play silently")
                           .c_str());
    unloadSoundFont();
}

void Synth::Private::unloadSoundFont()
{
    if (soundFontId >= 0)
        fluid_synth_sfunload(synth, soundFontId, 1);
    soundFontId = -1;
    pinned.clear();
    resolved.clear();
    if (soundFontFd >= 0)
        ::close(soundFontFd);
    soundFontFd = -1;
    soundFontPath.clear();
}

Synth::Synth(double sampleRate)
    : d(std::make_unique<Private>())
{
    d->sampleRate = sampleRate;
    installLogFilter();
    d->settings = new_fluid_settings();
    fluid_settings_setnum(d->settings, "synth.sample-rate", sampleRate);
    fluid_settings_setint(d->settings, "synth.midi-channels", totalChannels);
    // Samples load per preset on first use (a fraction of the memory and load time of the
    // whole font); prepare() makes that happen before playing, off the audio thread. Locking
    // pages would pin whatever is loaded for nothing.
    fluid_settings_setint(d->settings, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(d->settings, "synth.lock-memory", 0);
    // Every call reaches the synth under LiveSongPlayer's mutex (or on one thread, offline), so
    // FluidSynth's own lock would only be one more lock taken on the audio thread, uncontended.
    fluid_settings_setint(d->settings, "synth.threadsafe-api", 0);
    d->synth = new_fluid_synth(d->settings);
    if (!d->synth) {
        d->unavailable = "FluidSynth could not create a synthesizer";
        return;
    }
    // Tried before the built-in loaders, which stay as the fallback for other formats.
    if (fluid_sfloader_t* loader = new_fluid_defsfloader(d->settings)) {
        fluid_sfloader_set_callbacks(loader, openSoundFontFile, readSoundFontFile,
            seekSoundFontFile, tellSoundFontFile, closeSoundFontFile);
        fluid_synth_add_sfloader(d->synth, loader);
    }
}

Synth::~Synth()
{
    if (d->synth)
        delete_fluid_synth(d->synth);
    if (d->soundFontFd >= 0)
        ::close(d->soundFontFd);
    if (d->settings)
        delete_fluid_settings(d->settings);
}

std::string Synth::findDefaultSoundFont()
{
    return findSoundFontIn(soundFontFolder);
}

std::string Synth::findSoundFontIn(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (const char* name :
        { "default-GM.sf2", "default-GM.sf3", "FluidR3_GM.sf2", "FluidR3_GM.sf3" }) {
        fs::path candidate = fs::path(folder) / name;
        if (fs::is_regular_file(candidate, error))
            return candidate.string();
    }
    std::vector<std::string> others;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && isSoundFontName(it->path()))
            others.push_back(it->path().string());
    }
    std::sort(others.begin(), others.end());
    return others.empty() ? std::string() : others.front();
}

bool Synth::loadSoundFont(const std::string& path, std::string* error)
{
    if (!d->synth) {
        if (error)
            *error = d->unavailable;
        return false;
    }
    d->unloadSoundFont();
    std::string why;
    const int fd = openRegularFile(path, &why);
    if (fd < 0) {
        if (error)
            *error = why;
        return false;
    }
    int id = fluid_synth_sfload(d->synth, heldFileName(fd, path).c_str(), 1);
    if (id == FLUID_FAILED) {
        ::close(fd);
        if (error)
            *error = "not a SoundFont that FluidSynth can read";
        return false;
    }
    d->soundFontId = id;
    d->soundFontFd = fd;
    d->soundFontPath = path;
    if (fd < 0 || ::fstat(fd, &d->soundFontState) != 0)
        ::stat(path.c_str(), &d->soundFontState);
    return true;
}

bool Synth::hasSoundFont() const
{
    return d->soundFontId >= 0;
}

bool Synth::Private::resolvePreset(int bank, int program, std::pair<int, int>* preset)
{
    if (auto known = resolved.find({ bank, program }); known != resolved.end()) {
        *preset = known->second;
        return true;
    }
    fluid_synth_set_channel_type(
        synth, scratchChannel, bank == Midi::drumBank ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
    fluid_synth_bank_select(synth, scratchChannel, bank);
    fluid_synth_program_change(synth, scratchChannel, program);
    fluid_preset_t* found = fluid_synth_get_channel_preset(synth, scratchChannel);
    if (!found)
        return false;
    *preset = { fluid_preset_get_banknum(found), fluid_preset_get_num(found) };
    resolved[{ bank, program }] = *preset;
    return true;
}

// Each preset is pinned as soon as it is resolved: resolving selects it on the scratch channel,
// which loads its samples, and the next selection there would drop them again.
bool Synth::Private::pinPresets(
    const std::vector<std::pair<int, int>>& programs, std::set<std::pair<int, int>>* wanted)
{
    for (auto [bank, program] : programs) {
        std::pair<int, int> preset;
        if (!resolvePreset(bank, program, &preset) || wanted->count(preset))
            continue;
        wanted->insert(preset);
        if (pinned.count(preset))
            continue;
        if (fluid_synth_pin_preset(synth, soundFontId, preset.first, preset.second) != FLUID_OK)
            return false;
        pinned.insert(preset);
    }
    // A program selected on a channel holds its samples as a pin does.
    fluid_synth_unset_program(synth, scratchChannel);
    return true;
}

// FluidSynth frees a preset's samples only once nothing holds them: no pin, no channel with
// the preset selected, no voice playing them. The songs' channels and voices go first.
int Synth::Private::releasePresetsBut(const std::set<std::pair<int, int>>& wanted)
{
    std::vector<std::pair<int, int>> unwanted;
    for (const auto& preset : pinned) {
        if (!wanted.count(preset))
            unwanted.push_back(preset);
    }
    if (unwanted.empty())
        return 0;
    fluid_synth_all_sounds_off(synth, -1);
    for (int channel = 0; channel < Midi::channelCount; ++channel)
        fluid_synth_unset_program(synth, channel);
    for (const auto& preset : unwanted) {
        fluid_synth_unpin_preset(synth, soundFontId, preset.first, preset.second);
        pinned.erase(preset);
    }
    return int(unwanted.size());
}

// The renderer puts every channel back on the first two before a song starts: kept pinned, they
// never load on the thread that renders.
static std::vector<std::pair<int, int>> programsToPin(const Song& song)
{
    std::vector<std::pair<int, int>> programs { { 0, 0 }, { Midi::drumBank, 0 } };
    const std::vector<std::pair<int, int>> used = song.programsUsed();
    programs.insert(programs.end(), used.begin(), used.end());
    return programs;
}

// Whether every preset the song selects is pinned, and which they are.
static bool pinsAllOf(const Song& song,
    const std::map<std::pair<int, int>, std::pair<int, int>>& resolved,
    const std::set<std::pair<int, int>>& pinned, std::set<std::pair<int, int>>* wanted)
{
    for (const auto& program : programsToPin(song)) {
        auto known = resolved.find(program);
        if (known == resolved.end() || !pinned.count(known->second))
            return false;
        wanted->insert(known->second);
    }
    return true;
}

bool Synth::isPrepared(const Song& song) const
{
    if (!hasSoundFont())
        return true;
    std::set<std::pair<int, int>> wanted;
    return pinsAllOf(song, d->resolved, d->pinned, &wanted) && wanted.size() == d->pinned.size();
}

bool Synth::isPreparedAlongside(const Song& song) const
{
    std::set<std::pair<int, int>> wanted;
    return !hasSoundFont() || pinsAllOf(song, d->resolved, d->pinned, &wanted);
}

void Synth::prepareAlongside(const Song& song)
{
    if (isPreparedAlongside(song))
        return;
    std::set<std::pair<int, int>> wanted;
    if (!d->soundFontIsAsLoaded() || !d->pinPresets(programsToPin(song), &wanted))
        d->giveUpUnreadableSoundFont();
}

int Synth::prepare(const Song& song)
{
    if (!hasSoundFont())
        return 0;
    // Only what is still to be read needs the file as it was.
    if (!isPrepared(song) && !d->soundFontIsAsLoaded()) {
        d->giveUpUnreadableSoundFont();
        return 0;
    }
    const std::vector<std::pair<int, int>> programs = programsToPin(song);
    std::set<std::pair<int, int>> wanted;
    if (!d->pinPresets(programs, &wanted)) {
        d->giveUpUnreadableSoundFont();
        return 0;
    }
    return d->releasePresetsBut(wanted);
}

void Synth::returnFreedMemory()
{
    malloc_trim(0);
}

int64_t Synth::soundFontFileOpens()
{
    return g_soundFontFileOpens.load(std::memory_order_relaxed);
}

int64_t Synth::soundFontFileOpensOnThisThread()
{
    return t_soundFontFileOpens;
}

Synth::RealTimeScope::RealTimeScope()
    : m_wasRealTime(t_realTime)
{
    t_realTime = true;
}

Synth::RealTimeScope::~RealTimeScope()
{
    t_realTime = m_wasRealTime;
}

double Synth::sampleRate() const
{
    return d->sampleRate;
}

_fluid_synth_t* Synth::handle() const
{
    return d->synth;
}

void Synth::send(const SongEvent& event)
{
    fluid_synth_t* synth = d->synth;
    if (!synth)
        return;
    const int channel = event.status & 0x0f;
    switch (event.status & 0xf0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, event.data1);
        break;
    case 0x90:
        fluid_synth_noteon(synth, channel, event.data1, event.data2);
        break;
    case 0xa0:
        fluid_synth_key_pressure(synth, channel, event.data1, event.data2);
        break;
    case 0xb0:
        fluid_synth_cc(synth, channel, event.data1, event.data2);
        break;
    case 0xc0:
        fluid_synth_program_change(synth, channel, event.data1);
        break;
    case 0xd0:
        fluid_synth_channel_pressure(synth, channel, event.data1);
        break;
    case 0xe0:
        fluid_synth_pitch_bend(synth, channel, event.data1 | event.data2 << 7);
        break;
    }
}

void Synth::noteOn(int channel, int key, int velocity)
{
    if (d->synth)
        fluid_synth_noteon(d->synth, channel, key, velocity);
}

void Synth::noteOff(int channel, int key)
{
    if (d->synth)
        fluid_synth_noteoff(d->synth, channel, key);
}

void Synth::resetChannels()
{
    using namespace Midi;
    fluid_synth_t* synth = d->synth;
    if (!synth)
        return;
    // Mono mode and the like: one basic channel, omni on and polyphonic, over every channel.
    fluid_synth_reset_basic_channel(synth, -1);
    fluid_synth_set_basic_channel(
        synth, 0, FLUID_CHANNEL_MODE_OMNION_POLY, fluid_synth_count_midi_channels(synth));
    for (int channel = 0; channel < channelCount; ++channel) {
        fluid_synth_cc(synth, channel, Sustain, 0);
        fluid_synth_cc(synth, channel, Sostenuto, 0);
        fluid_synth_all_notes_off(synth, channel);
        fluid_synth_cc(synth, channel, ResetAllControllers, 0);
        fluid_synth_cc(synth, channel, Volume, 100);
        fluid_synth_cc(synth, channel, VolumeLsb, 0);
        fluid_synth_cc(synth, channel, Pan, 64);
        fluid_synth_cc(synth, channel, PanLsb, 0);
        for (int controller = SoundController1; controller <= SoundController10; ++controller)
            fluid_synth_cc(synth, channel, controller, 64);
        for (int controller = EffectsDepth1; controller <= EffectsDepth5; ++controller)
            fluid_synth_cc(synth, channel, controller, 0);
        fluid_synth_pitch_wheel_sens(synth, channel, 2);
        fluid_synth_cc(synth, channel, BankSelectMsb, 0);
        fluid_synth_cc(synth, channel, BankSelectLsb, 0);
        fluid_synth_bank_select(synth, channel, channel == drumChannel ? drumBank : 0);
        fluid_synth_program_change(synth, channel, 0);
    }
}

// FluidSynth's system reset leaves the reverb's filters primed, which ring back at about 0.002;
// setting the sample rate again, to the same rate, clears the whole reverb (in FluidSynth 2.3
// without allocating: the delay lines are made for the highest rate at the start, and
// tst_realtime counts). FluidSynth marks that call deprecated (the rate belongs in the settings),
// but nothing else clears the reverb.
void Synth::cutVoices()
{
    if (!d->synth)
        return;
    fluid_synth_all_sounds_off(d->synth, -1);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    fluid_synth_set_sample_rate(d->synth, float(d->sampleRate));
#pragma GCC diagnostic pop
}

int Synth::framesToEmpty() const
{
    if (!d->synth)
        return 0;
    // The chorus delays what goes in by at most its modulation depth.
    double chorusMs = 0;
    fluid_synth_get_chorus_group_depth(d->synth, -1, &chorusMs);
    return 2 * fluid_synth_get_internal_bufsize(d->synth)
        + int(std::ceil(chorusMs * d->sampleRate / 1000));
}

void Synth::synthesize(float* left, float* right, int frames)
{
    if (!d->synth || frames <= 0)
        return;
    // Effects mix into the same buffers as the dry signal: reverb pair, then chorus pair.
    float* effects[] = { left, right, left, right };
    float* dry[] = { left, right };
    fluid_synth_process(d->synth, frames, 4, effects, 2, dry);
}

int Synth::activeVoiceCount() const
{
    return d->synth ? fluid_synth_get_active_voice_count(d->synth) : 0;
}

std::unique_ptr<Synth::Driver> Synth::openDriver(const std::string& name, double sampleRate,
    int periodFrames, int periods, Driver::Render render, void* data)
{
    std::unique_ptr<Driver> driver(new Driver);
    driver->m_settings = new_fluid_settings();
    fluid_settings_setstr(driver->m_settings, "audio.driver", name.c_str());
    fluid_settings_setint(driver->m_settings, "audio.period-size", periodFrames);
    fluid_settings_setint(driver->m_settings, "audio.periods", periods);
    fluid_settings_setnum(driver->m_settings, "synth.sample-rate", sampleRate);
    driver->m_driver = new_fluid_audio_driver2(driver->m_settings, render, data);
    if (!driver->m_driver)
        return nullptr;
    return driver;
}

Synth::Driver::~Driver()
{
    if (m_driver)
        delete_fluid_audio_driver(m_driver);
    if (m_settings)
        delete_fluid_settings(m_settings);
}

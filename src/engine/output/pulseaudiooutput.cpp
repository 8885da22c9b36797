#include "engine/output/pulseaudiooutput.h"

#include "engine/output/audioqueue.h"
#include "engine/synth/audiothread.h"

#include <pulse/pulseaudio.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>
#include <vector>

namespace {

constexpr int channels = 2;
constexpr size_t frameBytes = channels * sizeof(float);
// How often what is heard is reported while sound plays: the position a status tick reads is at
// most this old, as old as the tick itself. The end of a song has a wake-up of its own, on time.
constexpr pa_usec_t reportInterval = 250 * PA_USEC_PER_MSEC;
// The most rendered in one turn of the main loop (a few ms of work): a long fill goes on in the
// next turn. What is written goes out only between turns, so the first piece after a change
// (23 ms) would run out while two seconds were rendered in one turn; and a command that comes
// meanwhile is not kept waiting behind the fill.
constexpr double fillSliceSeconds = 0.1;
// The server starts playing once this much is queued past its read point: less than the first
// piece a change writes, so that the change is heard without waiting for the rest.
constexpr int startFrames = 256;

int64_t framesIn(std::chrono::milliseconds time, double rate)
{
    return int64_t(double(time.count()) * rate / 1000.0);
}

} // namespace

// One connection to the server: a threaded main loop, a context and a playback stream. Every
// member past the construction is used on the main loop's thread, or under its lock.
struct PulseAudioOutput::Private final : QueuedStream {
    Config config;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    int wakeFd = -1;
    pa_io_event* wakeEvent = nullptr;
    pa_time_event* tick = nullptr;

    AudioSource* source = nullptr;
    std::unique_ptr<AudioQueue> queue;
    // The sound a change writes, sent in one write: the server takes the sink back to the change
    // as soon as the first write arrives, and reads a whole block again at once.
    std::vector<float> batch;
    int64_t batchAt = 0;
    int batchFrames = 0;
    bool batching = false;
    bool corked = true;
    bool rewritePending = false;
    // The server told of an underflow since the stream was last started.
    bool underflowed = false;
    // A stream that ran dry is being started again (see restartIfDry()): its account is asked
    // for, then it is corked and uncorked, then written from its read point.
    enum class DryRestart { None, Asked, Restarted, Writing } dryRestart = DryRestart::None;
    int64_t drySongFrom = 0;
    // A fill decided at a wake-up goes on over turns of the loop, as far as it was decided then:
    // a server that reads all it is given (a sink with nobody to pace it) must not draw the whole
    // song out of us at once.
    bool filling = false;
    int64_t fillUntil = 0;
    int64_t lastHeard = 0;
    // Where and when the stream was last uncorked: nothing after that is heard sooner than the
    // clock allows.
    int64_t startedFrame = 0;
    pa_usec_t startedAt = 0;

    // The server went away: nothing more is rendered here. The point heard last and the time
    // are written before the flag is set, and read after it.
    std::atomic<bool> failed { false };
    TimelinePoint heardWhenLost;
    std::chrono::steady_clock::time_point lostAt;

    ~Private() { close(); }

    bool open();
    void close();
    void begin(AudioSource* source);
    bool waitUntil(const auto& ready, pa_usec_t timeoutUs);

    void writeAt(int64_t at, const float* interleaved, int frames) override;
    void send(int64_t at, const float* interleaved, int frames);
    void sendBatch();
    int64_t heardFrame();
    StreamReadPoint readPoint(const pa_timing_info& timing) const;
    bool restartIfDry();
    void restartDry();
    AheadPlan aheadPlan() const;
    void changed();
    void onTick();
    void scheduleTick(pa_usec_t delay);
    void setCorked(bool cork);
    void serverLost();

    static void onContextState(pa_context*, void* self);
    static void onStreamState(pa_stream*, void* self);
    static void onTimingUpdated(pa_stream*, int, void* self);
    static void onUnderflow(pa_stream*, void* self);
    static void onDryTiming(pa_stream*, int, void* self);
    static void onWakeFd(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* self);
    static void onLoopRunning(pa_mainloop_api*, pa_defer_event*, void*);
    static void onTickEvent(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);
};

// With the loop locked: waits for the state callbacks until ready() holds or the time is up.
bool PulseAudioOutput::Private::waitUntil(const auto& ready, pa_usec_t timeoutUs)
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    const pa_usec_t deadline = pa_rtclock_now() + timeoutUs;
    pa_time_event* timeout = pa_context_rttime_new(
        context, deadline,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* waiting) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(waiting), 0);
        },
        loop);
    bool result;
    while (!(result = ready()) && pa_rtclock_now() < deadline)
        pa_threaded_mainloop_wait(loop);
    api->time_free(timeout);
    return result;
}

bool PulseAudioOutput::Private::open()
{
    loop = pa_threaded_mainloop_new();
    if (!loop || pa_threaded_mainloop_start(loop) < 0)
        return false;
    pa_threaded_mainloop_lock(loop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    context = pa_context_new(api, "Lumora");
    pa_context_set_state_callback(context, &Private::onContextState, this);
    const char* server = config.server.empty() ? nullptr : config.server.c_str();
    const pa_usec_t timeout = pa_usec_t(config.connectTimeout.count()) * PA_USEC_PER_MSEC;
    bool ok = pa_context_connect(context, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0
        && waitUntil(
            [&] {
                const pa_context_state_t state = pa_context_get_state(context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            },
            timeout)
        && pa_context_get_state(context) == PA_CONTEXT_READY;
    if (ok) {
        const pa_sample_spec format { PA_SAMPLE_FLOAT32NE, uint32_t(config.sampleRate), channels };
        stream = pa_stream_new(context, "Music", &format, nullptr);
        ok = stream != nullptr;
    }
    if (ok) {
        pa_stream_set_state_callback(stream, &Private::onStreamState, this);
        pa_stream_set_underflow_callback(stream, &Private::onUnderflow, this);
        const double rate = config.sampleRate;
        // The server sets the sink's latency to tlength less two minreq; what we queue past
        // tlength (up to maxlength) it simply keeps.
        const int64_t sinkLatency = framesIn(config.sinkLatency, rate);
        pa_buffer_attr attr {};
        attr.maxlength = uint32_t(framesIn(config.target, rate) * 4 * frameBytes);
        attr.tlength = uint32_t(2 * sinkLatency * int64_t(frameBytes));
        attr.prebuf = uint32_t(startFrames * frameBytes);
        attr.minreq = uint32_t(sinkLatency / 2 * int64_t(frameBytes));
        attr.fragsize = uint32_t(-1);
        const auto flags = pa_stream_flags_t(
            PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        ok = pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) >= 0
            && waitUntil(
                [&] {
                    const pa_stream_state_t state = pa_stream_get_state(stream);
                    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                },
                timeout)
            && pa_stream_get_state(stream) == PA_STREAM_READY;
    }
    if (ok) {
        wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        ok = wakeFd >= 0;
    }
    if (ok) {
        wakeEvent = api->io_new(api, wakeFd, PA_IO_EVENT_INPUT, &Private::onWakeFd, this);
        api->defer_new(api, &Private::onLoopRunning, nullptr);
    }
    pa_threaded_mainloop_unlock(loop);
    return ok;
}

void PulseAudioOutput::Private::close()
{
    if (!loop)
        return;
    pa_threaded_mainloop_lock(loop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    if (tick)
        api->time_free(tick);
    if (wakeEvent)
        api->io_free(wakeEvent);
    tick = nullptr;
    wakeEvent = nullptr;
    if (stream) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
    loop = nullptr;
    if (wakeFd >= 0)
        ::close(wakeFd);
    wakeFd = -1;
}

void PulseAudioOutput::Private::writeAt(int64_t at, const float* interleaved, int frames)
{
    const size_t room = batch.size() / channels - size_t(batchFrames);
    if (!batching || (batchFrames > 0 && at != batchAt + batchFrames) || size_t(frames) > room) {
        sendBatch();
        send(at, interleaved, frames);
        return;
    }
    if (batchFrames == 0)
        batchAt = at;
    std::copy_n(interleaved, size_t(frames) * channels, batch.begin() + batchFrames * channels);
    batchFrames += frames;
}

void PulseAudioOutput::Private::send(int64_t at, const float* interleaved, int frames)
{
    if (frames <= 0 || !stream || pa_stream_get_state(stream) != PA_STREAM_READY)
        return;
    pa_stream_write(stream, interleaved, size_t(frames) * frameBytes, nullptr,
        at * int64_t(frameBytes), PA_SEEK_ABSOLUTE);
}

void PulseAudioOutput::Private::sendBatch()
{
    send(batchAt, batch.data(), batchFrames);
    batchFrames = 0;
}

// From the server's own account of the stream, with the time since it was given. Interpolated
// stream time guesses wrong around corking.
int64_t PulseAudioOutput::Private::heardFrame()
{
    const pa_timing_info* timing = stream ? pa_stream_get_timing_info(stream) : nullptr;
    if (!timing || timing->read_index_corrupt)
        return lastHeard;
    // A corked stream goes on from its read point, even past what was written (it ran dry and
    // was read on over silence): what is written next must go there.
    const int64_t written = queue ? queue->writeIndex() : 0;
    lastHeard = std::clamp<int64_t>(heardFrameOf(readPoint(*timing), corked), 0,
        corked ? std::numeric_limits<int64_t>::max() : written);
    return lastHeard;
}

StreamReadPoint PulseAudioOutput::Private::readPoint(const pa_timing_info& timing) const
{
    const double framesPerUsec = config.sampleRate / 1e6;
    StreamReadPoint point;
    point.readFrame = timing.read_index / int64_t(frameBytes);
    point.sinkFrames = int64_t(double(timing.sink_usec) * framesPerUsec);
    point.ageFrames = int64_t(double(pa_timeval_age(&timing.timestamp)) * framesPerUsec);
    point.playing = timing.playing;
    point.startFrame = startedFrame;
    point.sinceStartFrames = int64_t(double(pa_rtclock_now() - startedAt) * framesPerUsec);
    return point;
}

// A stream that ran dry (the process was held up longer than its queue lasted) is started again
// as a new one starts: nothing is written to it until it has been corked and uncorked, which
// ends the underrun on the server's side, and then a block and a half is written at once from
// its read point. Written while the server still counted the underrun, the first block would be
// read and then silenced by the rewind that ends it (PulseAudio).
bool PulseAudioOutput::Private::restartIfDry()
{
    if (dryRestart == DryRestart::Asked || dryRestart == DryRestart::Restarted)
        return true;
    if (dryRestart == DryRestart::Writing) {
        restartDry();
        return true;
    }
    const pa_timing_info* timing = pa_stream_get_timing_info(stream);
    if (corked || queue->isIdle() || !timing || timing->read_index_corrupt
        || !hasRunDry(readPoint(*timing), queue->writeIndex(), underflowed))
        return false;
    dryRestart = DryRestart::Asked;
    filling = false;
    if (pa_operation* op = pa_stream_update_timing_info(stream, &Private::onDryTiming, this))
        pa_operation_unref(op);
    else
        restartDry();
    return true;
}

// Each step once the server has answered the last: what was heard by its fresh account, where
// the song goes on (what the sink took in its last block may not have been played); then where
// it reads from once restarted, past what was written if it read on over silence.
void PulseAudioOutput::Private::restartDry()
{
    switch (dryRestart) {
    case DryRestart::None:
        return;
    case DryRestart::Asked:
        drySongFrom = heardFrame();
        setCorked(true);
        setCorked(false);
        dryRestart = DryRestart::Restarted;
        if (pa_operation* op = pa_stream_update_timing_info(stream, &Private::onDryTiming, this)) {
            pa_operation_unref(op);
            return;
        }
        break;
    case DryRestart::Restarted:
    case DryRestart::Writing:
        break;
    }
    dryRestart = DryRestart::Writing;
    const pa_timing_info* timing = pa_stream_get_timing_info(stream);
    const int64_t readFrame = timing && !timing->read_index_corrupt
        ? timing->read_index / int64_t(frameBytes)
        : queue->writeIndex();
    batching = true;
    const bool rewritten = queue->rewrite(readFrame, int(aheadPlan().start), drySongFrom);
    batching = false;
    sendBatch();
    if (!rewritten) {
        scheduleTick(2 * PA_USEC_PER_MSEC); // the source is busy with a command: soon again
        return;
    }
    dryRestart = DryRestart::None;
    startedFrame = readFrame;
    startedAt = pa_rtclock_now();
    underflowed = false;
    scheduleTick(0);
}

// From the latency the sink really runs at: other programs on it may have asked for less, or a
// sink of fixed latency gives more.
AheadPlan PulseAudioOutput::Private::aheadPlan() const
{
    const double rate = config.sampleRate;
    int64_t sinkLatency = framesIn(config.sinkLatency, rate);
    const pa_timing_info* timing = stream ? pa_stream_get_timing_info(stream) : nullptr;
    if (timing && timing->configured_sink_usec > 0)
        sinkLatency = int64_t(double(timing->configured_sink_usec) * rate / 1e6);
    return aheadPlanFor(sinkLatency, framesIn(config.target, rate), framesIn(config.refill, rate),
        framesIn(config.target, rate) * 4);
}

// A command changed what should be heard: the new sound is written over what is queued, a little
// after what is being heard, where the server can still take it back. A corked stream plays
// nothing, so its new sound starts right where it stopped.
void PulseAudioOutput::Private::changed()
{
    if (!queue || failed.load(std::memory_order_acquire))
        return;
    if (source->takeRewrite()) {
        rewritePending = true;
        // Where the server reads, fresh: one round trip, a fraction of a millisecond.
        if (pa_operation* op
            = pa_stream_update_timing_info(stream, &Private::onTimingUpdated, this)) {
            pa_operation_unref(op);
            return;
        }
    }
    if (rewritePending) {
        const int64_t heard = heardFrame();
        const int64_t margin = corked ? 0 : framesIn(config.rewriteMargin, config.sampleRate);
        // The sink reads a playing stream again from the change at once, a whole block of it.
        const int64_t ahead = corked ? 0 : aheadPlan().start - margin;
        batching = true;
        const bool rewritten = queue->rewrite(heard + margin, int(std::max<int64_t>(ahead, 0)));
        batching = false;
        sendBatch();
        if (!rewritten) {
            scheduleTick(2 * PA_USEC_PER_MSEC); // the source is busy with a command: soon again
            return;
        }
        rewritePending = false;
        dryRestart = DryRestart::None; // a command's change replaces what the restart would write
        filling = false; // what was queued moved: the next wake-up decides afresh
    } else if (queue->isIdle()) {
        return;
    }
    if (!queue->isIdle()) {
        // The sink's first block must find sound, or the stream starts out dry.
        const int64_t start = heardFrame() + aheadPlan().start - queue->writeIndex();
        if (corked && start > 0)
            queue->fill(int(start));
        setCorked(false);
    }
    scheduleTick(0);
}

// The regular wake-up while the stream plays: report what is heard, top the queue up when it has
// drained by the refill amount, cork once everything that sounds has been heard.
void PulseAudioOutput::Private::onTick()
{
    if (!queue || failed.load(std::memory_order_acquire))
        return;
    if (rewritePending) {
        changed();
        return;
    }
    if (restartIfDry())
        return;
    const int64_t heard = heardFrame();
    const TimelinePoint point = queue->pointAt(heard);
    if (!source->reportHeard(point)) {
        scheduleTick(2 * PA_USEC_PER_MSEC);
        return;
    }
    const double rate = config.sampleRate;
    const AheadPlan plan = aheadPlan();
    const int64_t wanted = plan.target - queue->queuedFrames(heard);
    if (!filling && (wanted >= plan.refill || queue->writeIndex() < heard + plan.start)) {
        fillUntil = queue->writeIndex() + std::max<int64_t>(wanted, 0);
        filling = true;
    }
    if (filling) {
        const int64_t left = std::max<int64_t>(fillUntil - queue->writeIndex(), 0);
        filling = queue->fill(int(left), int(fillSliceSeconds * rate));
    }
    // A corked stream hears nothing more: a change that leaves it silent keeps it so. It stops
    // once nothing more sounds, but not before the song's end is heard. Stopped there, the next
    // song of Play All or Loop starts from the read point when it comes, at once, instead of
    // being written over a sink block the server may no longer take back whole.
    const bool endToCome = !point.atEnd && queue->endAfter(heard).has_value();
    if (queue->isIdle() && (corked || (heard >= queue->idleFrom() && !endToCome))) {
        setCorked(true);
        return;
    }
    pa_usec_t delay = filling ? 0 : reportInterval;
    if (const auto end = queue->endAfter(heard); end && !point.atEnd)
        delay = std::min(delay, pa_usec_t(double(*end - heard) * 1e6 / rate) + 500);
    if (queue->isIdle() && queue->idleFrom() > heard)
        delay = std::min(delay, pa_usec_t(double(queue->idleFrom() - heard) * 1e6 / rate) + 500);
    scheduleTick(delay);
}

void PulseAudioOutput::Private::scheduleTick(pa_usec_t delay)
{
    if (tick)
        pa_context_rttime_restart(context, tick, pa_rtclock_now() + delay);
    else
        tick
            = pa_context_rttime_new(context, pa_rtclock_now() + delay, &Private::onTickEvent, this);
}

void PulseAudioOutput::Private::setCorked(bool cork)
{
    if (cork == corked || !stream)
        return;
    if (!cork) {
        startedFrame = heardFrame();
        startedAt = pa_rtclock_now();
        underflowed = false;
    }
    corked = cork;
    if (pa_operation* op = pa_stream_cork(stream, cork ? 1 : 0, nullptr, nullptr))
        pa_operation_unref(op);
}

// On the main loop's thread: the point heard last is where another output goes on from.
void PulseAudioOutput::Private::serverLost()
{
    if (failed.load(std::memory_order_relaxed))
        return;
    heardWhenLost = queue ? queue->pointAt(heardFrame()) : TimelinePoint {};
    lostAt = std::chrono::steady_clock::now();
    failed.store(true, std::memory_order_release);
}

void PulseAudioOutput::Private::onContextState(pa_context* context, void* self)
{
    auto* d = static_cast<Private*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        d->serverLost();
    pa_threaded_mainloop_signal(d->loop, 0);
}

void PulseAudioOutput::Private::onStreamState(pa_stream* stream, void* self)
{
    auto* d = static_cast<Private*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        d->serverLost();
    pa_threaded_mainloop_signal(d->loop, 0);
}

void PulseAudioOutput::Private::onTimingUpdated(pa_stream*, int, void* self)
{
    static_cast<Private*>(self)->changed();
}

void PulseAudioOutput::Private::onDryTiming(pa_stream*, int, void* self)
{
    static_cast<Private*>(self)->restartDry();
}

// Not while a dry stream is started again, nor where it was: uncorked with nothing written, it
// runs dry once more there.
void PulseAudioOutput::Private::onUnderflow(pa_stream* stream, void* self)
{
    auto* d = static_cast<Private*>(self);
    const int64_t at = pa_stream_get_underflow_index(stream);
    if (d->dryRestart != DryRestart::None
        || (at >= 0 && at / int64_t(frameBytes) <= d->startedFrame))
        return;
    d->underflowed = !d->corked;
    if (d->underflowed && d->queue)
        d->scheduleTick(0);
}

// Once, on the main loop's thread, before it first renders.
void PulseAudioOutput::Private::onLoopRunning(pa_mainloop_api* api, pa_defer_event* event, void*)
{
    AudioThread::mark();
    api->defer_free(event);
}

void PulseAudioOutput::Private::onWakeFd(
    pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self)
{
    uint64_t count = 0;
    [[maybe_unused]] const auto bytes = ::read(fd, &count, sizeof count);
    static_cast<Private*>(self)->changed();
}

void PulseAudioOutput::Private::onTickEvent(
    pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
{
    static_cast<Private*>(self)->onTick();
}

std::unique_ptr<PulseAudioOutput> PulseAudioOutput::connect()
{
    return connect(Config {});
}

std::unique_ptr<PulseAudioOutput> PulseAudioOutput::connect(Config config)
{
    auto d = std::make_unique<Private>();
    d->config = std::move(config);
    if (!d->open())
        return nullptr;
    return std::unique_ptr<PulseAudioOutput>(new PulseAudioOutput(std::move(d)));
}

PulseAudioOutput::PulseAudioOutput(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

PulseAudioOutput::~PulseAudioOutput()
{
    stop();
}

double PulseAudioOutput::sampleRate() const
{
    return d->config.sampleRate;
}

// With a source, from now on: the first change is written from the start of the stream, from
// where the source stands (a song another output played up to here goes on from there).
void PulseAudioOutput::Private::begin(AudioSource* playing)
{
    pa_threaded_mainloop_lock(loop);
    source = playing;
    AudioQueue::Config queueConfig;
    queueConfig.capacityFrames = int(framesIn(config.target, config.sampleRate) * 4);
    queueConfig.fadeFrames = int(config.sampleRate * 0.005);
    queue = std::make_unique<AudioQueue>(*source, *this, queueConfig);
    // A change writes at most the plan's start, half the queue at the most, and a chunk more.
    batch.assign(size_t(queueConfig.capacityFrames / 2 + queueConfig.chunkFrames) * channels, 0.0f);
    batchFrames = 0;
    rewritePending = true;
    pa_threaded_mainloop_unlock(loop);
}

void PulseAudioOutput::start(AudioSource* source)
{
    if (m_source)
        return;
    m_source = source;
    d->begin(source);
}

// Lets the last change's fade be heard before the stream goes, then closes everything.
void PulseAudioOutput::stop()
{
    if (!m_source)
        return;
    for (int i = 0; i < 30 && !d->failed.load(); ++i) {
        pa_threaded_mainloop_lock(d->loop);
        const bool quiet = d->corked || !d->queue
            || (d->queue->isIdle() && d->heardFrame() >= d->queue->idleFrom());
        pa_threaded_mainloop_unlock(d->loop);
        if (quiet)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    d->close();
    d->queue.reset();
    d->source = nullptr;
    m_source = nullptr;
}

// UI thread: never waits for the audio thread; the main loop picks the change up.
void PulseAudioOutput::wake()
{
    if (d->failed.load(std::memory_order_acquire) || d->wakeFd < 0)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const auto bytes = ::write(d->wakeFd, &one, sizeof one);
}

bool PulseAudioOutput::isConnected() const
{
    return !d->failed.load(std::memory_order_acquire);
}

TimelinePoint PulseAudioOutput::heardWhenLost() const
{
    return isConnected() ? TimelinePoint {} : d->heardWhenLost;
}

std::chrono::steady_clock::time_point PulseAudioOutput::lostAt() const
{
    return isConnected() ? std::chrono::steady_clock::time_point {} : d->lostAt;
}

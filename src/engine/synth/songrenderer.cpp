#include "engine/synth/songrenderer.h"

#include "engine/midi/midi.h"
#include "engine/midi/song.h"
#include "engine/synth/synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace Midi;

constexpr double fadeSeconds = 0.005;

// Rendered and thrown away at a cut, a block at a time.
constexpr int scratchFrames = 256;

std::atomic<uint64_t> nextEpoch { 1 };

} // namespace

struct SongRenderer::Private {
    Synth* synth = nullptr;
    double sampleRate = 44100;
    int64_t integralRate = 0; // sampleRate when it is a whole number, for exact frame times

    std::shared_ptr<const Song> song;
    size_t nextEvent = 0;
    int64_t endFrame = 0;
    uint64_t epoch = 0;
    int32_t lengthMs = 0;

    std::atomic<int64_t> frame { 0 };
    std::atomic<bool> playing { false };
    std::atomic<bool> atEnd { false };

    // Output gain ramps linearly to its target over fadeSeconds; reaching zero on the way to
    // silence cuts every voice, after which the output stays muted until play or rewind.
    float gain = 1.0f;
    float targetGain = 1.0f;
    float gainStep = 1.0f;
    bool cutWhenSilent = false;
    float lastPeak = 0.0f;
    // Every voice was cut away from the song's time: the notes held there sound again once it
    // plays, from where it stands.
    bool notesCut = false;
    // Which notes are held at a point, by channel and key: their velocity, and whether only the
    // sustain pedal still holds them. Kept here so that finding them allocates nothing.
    uint8_t heldVelocity[channelCount][128] = {};
    bool heldByPedal[channelCount][128] = {};

    // What a cut renders to empty the synth (see cutSound) and where it goes.
    int cutFrames = 0;
    float scratchLeft[scratchFrames];
    float scratchRight[scratchFrames];

    int64_t frameAt(int64_t timeUs) const;
    void dispatchDueEvents();
    void chaseTo(int64_t target);
    void findNotesHeldAt(int64_t target);
    void strikeNotesHeldAt(int64_t target);
    void dispatch(const SongEvent& event);
    void resetChannels();
    void cutSound();
    void synthesize(float* left, float* right, int frames);
    void applyGain(float* left, float* right, int frames);
    void stopAtEndIfReached();
};

int64_t SongRenderer::Private::frameAt(int64_t timeUs) const
{
    // The first frame at or after the event's time.
    if (integralRate > 0)
        return int64_t((__int128(timeUs) * integralRate + 999999) / 1000000);
    return int64_t(std::ceil(double(timeUs) * sampleRate / 1e6 - 1e-9));
}

void SongRenderer::Private::dispatch(const SongEvent& event)
{
    if (synth)
        synth->send(event);
}

void SongRenderer::Private::dispatchDueEvents()
{
    if (!song)
        return;
    const int64_t now = frame.load(std::memory_order_relaxed);
    const std::vector<SongEvent>& events = song->events;
    while (nextEvent < events.size() && frameAt(events[nextEvent].timeUs) <= now)
        dispatch(events[nextEvent++]);
}

// Sends every event before target except the notes, so the channels stand as they would at
// target: programs, controllers, pitch bends.
void SongRenderer::Private::chaseTo(int64_t target)
{
    nextEvent = 0;
    if (!song)
        return;
    const std::vector<SongEvent>& events = song->events;
    while (nextEvent < events.size() && frameAt(events[nextEvent].timeUs) < target) {
        const SongEvent& event = events[nextEvent++];
        const int kind = event.status & 0xf0;
        if (kind != 0x80 && kind != 0x90 && kind != 0xa0)
            dispatch(event);
    }
}

// Drum notes are single strokes: struck again they would be heard twice.
void SongRenderer::Private::findNotesHeldAt(int64_t target)
{
    std::memset(heldVelocity, 0, sizeof heldVelocity);
    std::memset(heldByPedal, 0, sizeof heldByPedal);
    if (!song)
        return;
    bool pedalDown[channelCount] = {};
    for (const SongEvent& event : song->events) {
        if (frameAt(event.timeUs) >= target)
            break;
        const int channel = event.status & 0x0f;
        const int kind = event.status & 0xf0;
        const int key = event.data1 & 0x7f;
        if (channel == drumChannel)
            continue;
        if (kind == 0x90 && event.data2 > 0) {
            heldVelocity[channel][key] = event.data2;
            heldByPedal[channel][key] = false;
        } else if (kind == 0x80 || kind == 0x90) {
            if (pedalDown[channel])
                heldByPedal[channel][key] = heldVelocity[channel][key] > 0;
            else
                heldVelocity[channel][key] = 0;
        } else if (kind == 0xb0 && event.data1 == Sustain) {
            pedalDown[channel] = event.data2 >= 64;
            if (pedalDown[channel])
                continue;
            for (int k = 0; k < 128; ++k) {
                if (heldByPedal[channel][k])
                    heldVelocity[channel][k] = 0;
                heldByPedal[channel][k] = false;
            }
        }
    }
}

// With the channels already chased to the point: a note that only the pedal held is let go at
// once, and the pedal, down again, holds it.
void SongRenderer::Private::strikeNotesHeldAt(int64_t target)
{
    notesCut = false;
    if (!synth)
        return;
    findNotesHeldAt(target);
    for (int channel = 0; channel < channelCount; ++channel) {
        for (int key = 0; key < 128; ++key) {
            if (heldVelocity[channel][key] == 0)
                continue;
            synth->noteOn(channel, key, heldVelocity[channel][key]);
            if (heldByPedal[channel][key])
                synth->noteOff(channel, key);
        }
    }
}

void SongRenderer::Private::resetChannels()
{
    if (synth)
        synth->resetChannels();
}

// Stops every voice and empties the reverb and chorus before anything else reaches the synth.
// FluidSynth only queues a cut until it renders its next block: a note-off sent before that (a
// rewind, a new song, a pedal let go) turns the cut voices into releasing ones, which ring on
// muted and come back when the sound fades in again. The synth's cut clears the reverb but not the
// chorus's delay line, which only playing it empty clears. So the cut renders, and throws away,
// the block ready from before, the block that applies the cut and as much as the chorus delays.
void SongRenderer::Private::cutSound()
{
    lastPeak = 0.0f;
    notesCut = true;
    if (!synth)
        return;
    synth->cutVoices();
    for (int left = cutFrames; left > 0; left -= scratchFrames) {
        const int frames = std::min(left, scratchFrames);
        std::fill(scratchLeft, scratchLeft + frames, 0.0f);
        std::fill(scratchRight, scratchRight + frames, 0.0f);
        synthesize(scratchLeft, scratchRight, frames);
    }
}

void SongRenderer::Private::synthesize(float* left, float* right, int frames)
{
    if (synth)
        synth->synthesize(left, right, frames);
}

void SongRenderer::Private::applyGain(float* left, float* right, int frames)
{
    if (gain == 1.0f && targetGain == 1.0f)
        return;
    for (int i = 0; i < frames; ++i) {
        if (gain < targetGain)
            gain = std::min(targetGain, gain + gainStep);
        else if (gain > targetGain)
            gain = std::max(targetGain, gain - gainStep);
        left[i] *= gain;
        right[i] *= gain;
    }
    if (gain == 0.0f && cutWhenSilent) {
        cutWhenSilent = false;
        cutSound();
    }
}

void SongRenderer::Private::stopAtEndIfReached()
{
    if (frame.load(std::memory_order_relaxed) < endFrame)
        return;
    dispatchDueEvents();
    playing.store(false, std::memory_order_relaxed);
    atEnd.store(true, std::memory_order_relaxed);
}

SongRenderer::SongRenderer(Synth* synth, double sampleRate)
    : d(std::make_unique<Private>())
{
    d->synth = synth;
    d->sampleRate = sampleRate > 0 ? sampleRate : 44100;
    if (d->sampleRate == std::floor(d->sampleRate) && d->sampleRate < 1e7)
        d->integralRate = int64_t(d->sampleRate);
    d->gainStep = float(1.0 / std::max(1.0, fadeSeconds * d->sampleRate));
    d->cutFrames = synth ? synth->framesToEmpty() : 0;
}

SongRenderer::~SongRenderer() = default;

void SongRenderer::setSong(std::shared_ptr<const Song> song)
{
    d->song = std::move(song);
    d->endFrame = d->song ? d->frameAt(d->song->lengthUs) : 0;
    d->lengthMs = d->song ? d->song->lengthMs() : 0;
    rewindToStart();
}

void SongRenderer::restoreSong(std::shared_ptr<const Song> song, uint64_t epoch, int64_t frame)
{
    setSong(std::move(song));
    seekToFrame(frame);
    d->epoch = epoch;
}

void SongRenderer::clearSong()
{
    setSong(nullptr);
}

void SongRenderer::play()
{
    if (!d->song || d->atEnd.load(std::memory_order_relaxed))
        return;
    d->targetGain = 1.0f;
    d->cutWhenSilent = false;
    if (d->notesCut)
        d->strikeNotesHeldAt(d->frame.load(std::memory_order_relaxed));
    d->playing.store(true, std::memory_order_relaxed);
}

bool SongRenderer::isPlaying() const noexcept
{
    return d->playing.load(std::memory_order_relaxed);
}

void SongRenderer::rewindToStart()
{
    d->playing.store(false, std::memory_order_relaxed);
    d->atEnd.store(false, std::memory_order_relaxed);
    d->frame.store(0, std::memory_order_relaxed);
    d->epoch = nextEpoch.fetch_add(1, std::memory_order_relaxed);
    d->nextEvent = 0;
    d->targetGain = 1.0f;
    d->cutWhenSilent = false;
    d->notesCut = false;
    d->resetChannels();
}

void SongRenderer::silenceWithFade()
{
    d->playing.store(false, std::memory_order_relaxed);
    d->targetGain = 0.0f;
    d->cutWhenSilent = true;
}

void SongRenderer::seekToFrame(int64_t target)
{
    target = std::clamp<int64_t>(target, 0, d->endFrame);
    // The reverb and chorus still hold what was rendered ahead: it would come back as the sound
    // fades in again.
    d->cutSound();
    d->resetChannels();
    d->chaseTo(target);
    d->frame.store(target, std::memory_order_relaxed);
    const bool atEnd = d->song && target >= d->endFrame;
    d->atEnd.store(atEnd, std::memory_order_relaxed);
    if (atEnd)
        d->playing.store(false, std::memory_order_relaxed);
    if (isPlaying())
        d->strikeNotesHeldAt(target);
    d->gain = 0.0f;
    d->targetGain = isPlaying() ? 1.0f : 0.0f;
    d->cutWhenSilent = false;
}

void SongRenderer::cutFade()
{
    if (d->targetGain != 0.0f)
        return;
    d->gain = 0.0f;
    d->cutWhenSilent = false;
    d->cutSound();
}

void SongRenderer::render(float* left, float* right, int frames) noexcept
{
    renderFrames(left, right, frames, false);
}

int SongRenderer::renderToEnd(float* left, float* right, int frames) noexcept
{
    return renderFrames(left, right, frames, true);
}

int SongRenderer::renderFrames(float* left, float* right, int frames, bool untilEnd) noexcept
{
    if (frames <= 0)
        return 0;
    Synth::RealTimeScope realTime;
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    int done = 0;
    while (done < frames) {
        int64_t chunk = frames - done;
        const bool advancing = d->playing.load(std::memory_order_relaxed);
        if (advancing) {
            d->dispatchDueEvents();
            const int64_t now = d->frame.load(std::memory_order_relaxed);
            int64_t stop = d->endFrame;
            if (d->song && d->nextEvent < d->song->events.size())
                stop = std::min(stop, d->frameAt(d->song->events[d->nextEvent].timeUs));
            chunk = std::min(chunk, stop - now);
        }
        if (chunk > 0) {
            d->synthesize(left + done, right + done, int(chunk));
            done += int(chunk);
            if (advancing)
                d->frame.fetch_add(chunk, std::memory_order_relaxed);
        }
        if (advancing) {
            d->stopAtEndIfReached();
            if (untilEnd && d->atEnd.load(std::memory_order_relaxed))
                break;
        }
    }
    float peak = 0.0f;
    for (int i = 0; i < done; ++i)
        peak = std::max(peak, std::max(std::fabs(left[i]), std::fabs(right[i])));
    d->lastPeak = peak;
    d->applyGain(left, right, done);
    return done;
}

bool SongRenderer::isAudible() const noexcept
{
    if (d->gain != d->targetGain || d->cutWhenSilent)
        return true;
    if (!d->synth)
        return false;
    return d->synth->activeVoiceCount() > 0 || d->lastPeak >= quietLevel;
}

int64_t SongRenderer::framesPlayed() const noexcept
{
    return d->frame.load(std::memory_order_relaxed);
}

int32_t SongRenderer::positionMs() const noexcept
{
    return positionMsAt(framesPlayed(), d->atEnd.load(std::memory_order_relaxed));
}

int32_t SongRenderer::positionMsAt(int64_t frame, bool atEnd) const noexcept
{
    return positionMsAt(frame, atEnd, d->lengthMs);
}

int32_t SongRenderer::positionMsAt(int64_t frame, bool atEnd, int32_t lengthMs) const noexcept
{
    if (atEnd)
        return lengthMs;
    int64_t ms = d->integralRate > 0 ? frame * 1000 / d->integralRate
                                     : int64_t(double(frame) * 1000.0 / d->sampleRate);
    // The length is rounded down to whole milliseconds but the end comes at the exact frame: in
    // the song's last fraction of a millisecond the position must still read short of the length,
    // or a reader would take the song for finished before it is.
    return int32_t(std::min<int64_t>(ms, std::max(lengthMs - 1, 0)));
}

int64_t SongRenderer::endFrame() const noexcept
{
    return d->endFrame;
}

int32_t SongRenderer::lengthMs() const noexcept
{
    return d->lengthMs;
}

uint64_t SongRenderer::epoch() const noexcept
{
    return d->epoch;
}

bool SongRenderer::atEnd() const noexcept
{
    return d->atEnd.load(std::memory_order_relaxed);
}

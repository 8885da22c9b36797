#include "engine/output/audioqueue.h"

#include "engine/midi/midi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

int64_t heardFrameOf(const StreamReadPoint& point, bool corked)
{
    if (corked)
        return point.readFrame;
    const int64_t told = point.readFrame - point.sinkFrames + (point.playing ? point.ageFrames : 0);
    return std::min(told, point.startFrame + point.sinceStartFrames);
}

AheadPlan aheadPlanFor(int64_t sinkLatency, int64_t target, int64_t refill, int64_t capacity)
{
    AheadPlan plan;
    plan.refill = refill;
    plan.target = std::min(std::max(target, 2 * sinkLatency + refill), capacity / 2);
    plan.start = std::min(sinkLatency + sinkLatency / 2 + 1024, plan.target);
    return plan;
}

bool hasRunDry(const StreamReadPoint& point, int64_t writeIndex, bool underflowed)
{
    return underflowed || heardFrameOf(point, false) >= writeIndex;
}

AudioQueue::AudioQueue(AudioSource& source, QueuedStream& stream, Config config)
    : m_source(source)
    , m_stream(stream)
    , m_config(config)
    , m_queued(size_t(config.capacityFrames) * 2)
    , m_chunks(size_t(config.capacityFrames / std::max(1, config.chunkFrames / 4)) + 2)
    , m_left(config.chunkFrames)
    , m_right(config.chunkFrames)
    , m_interleaved(size_t(config.chunkFrames) * 2)
    , m_fade(size_t(config.fadeFrames) * 2)
{
}

bool AudioQueue::fill(int frames, int limit)
{
    const int64_t until = std::max(m_writeIndex + std::max(frames, 0), m_coverUntil);
    const int64_t stop = std::min(until, m_writeIndex + std::max(limit, 0));
    while (m_writeIndex < stop) {
        const int chunk = int(std::min<int64_t>(m_config.chunkFrames, until - m_writeIndex));
        if (!renderChunk(chunk, nullptr, true))
            return true;
    }
    return m_writeIndex < until;
}

bool AudioQueue::rewrite(int64_t from, int frames, int64_t songFrom)
{
    from = std::max(from, m_writeIndex - m_config.capacityFrames + m_config.chunkFrames);
    // Past the write index, the stream has played silence of its own there: the song goes on
    // from where its sound stopped, and that silence maps to the point it stopped at.
    const TimelinePoint point = pointAt(std::min({ from, songFrom, m_writeIndex }));
    if (!m_source.rewriteFrom(point))
        return false;
    const int64_t oldWriteIndex = m_writeIndex;
    const int fadeFrames = int(std::clamp<int64_t>(oldWriteIndex - from, 0, m_config.fadeFrames));
    std::fill(m_fade.begin(), m_fade.end(), 0.0f);
    copyQueued(from, fadeFrames, m_fade.data());
    for (int i = 0; i < fadeFrames; ++i) {
        const float gain = 1.0f - float(i + 1) / float(m_config.fadeFrames);
        m_fade[2 * i] *= gain;
        m_fade[2 * i + 1] *= gain;
    }
    dropChunksFrom(from);
    m_writeIndex = from;
    m_soundUntil = std::min(m_soundUntil, from);
    m_idle = false;
    // The new sound must reach past the old, or what is left of the old would play after it.
    m_coverUntil = std::max(m_coverUntil, oldWriteIndex);
    renderChunk(m_config.chunkFrames, m_fade.data());
    const int64_t rest = from + frames - m_writeIndex;
    if (rest > 0)
        fill(int(rest), int(rest));
    return true;
}

// Once idle, the rest is written as silence without asking the source. False when the source was
// busy and nothing was queued, if the caller may wait.
bool AudioQueue::renderChunk(int frames, const float* fadeOut, bool mayWait)
{
    bool active = false;
    if (!m_idle) {
        active = m_source.renderAudio(m_left.data(), m_right.data(), frames);
        if (mayWait && m_source.renderMissed())
            return false;
    } else {
        std::fill_n(m_left.begin(), frames, 0.0f);
        std::fill_n(m_right.begin(), frames, 0.0f);
    }
    Chunk chunk { m_writeIndex, frames, m_source.renderedFrom(), m_source.renderedTo() };
    if (m_idle)
        chunk.from = chunk.to = pointAt(m_writeIndex - 1);
    // A chunk that holds the end of one song and the start of the next is kept as two, so that
    // each frame maps to its own song and the first one's end to its exact frame.
    const TimelineSwitch change = m_idle ? TimelineSwitch {} : m_source.renderedSwitch();
    Chunk before { m_writeIndex, 0, chunk.from, change.end };
    if (change.at >= 0 && change.at <= frames) {
        before.frames = change.at;
        chunk = { m_writeIndex + change.at, frames - change.at, change.start, chunk.to };
    }
    for (int i = 0; i < frames; ++i) {
        m_interleaved[2 * i] = m_left[i];
        m_interleaved[2 * i + 1] = m_right[i];
    }
    if (fadeOut) {
        for (int i = 0; i < std::min(frames, m_config.fadeFrames) * 2; ++i)
            m_interleaved[i] += fadeOut[i];
    }
    for (int i = frames; i-- > 0;) {
        if (std::max(std::fabs(m_left[i]), std::fabs(m_right[i])) >= Midi::quietLevel) {
            m_soundUntil = std::max(m_soundUntil, m_writeIndex + i + 1);
            break;
        }
    }
    if (fadeOut)
        m_soundUntil = std::max(m_soundUntil, m_writeIndex + std::min(frames, m_config.fadeFrames));
    // A song that falls silent before its End of Track is silent from its last sound on.
    if (!active && !m_idle) {
        m_idle = true;
        m_idleFrom = std::min(
            m_writeIndex + (fadeOut ? std::min(frames, m_config.fadeFrames) : 0), m_soundUntil);
    }
    const size_t capacity = size_t(m_config.capacityFrames);
    for (int i = 0; i < frames; ++i) {
        const size_t at = size_t(m_writeIndex + i) % capacity;
        m_queued[2 * at] = m_interleaved[2 * i];
        m_queued[2 * at + 1] = m_interleaved[2 * i + 1];
    }
    m_stream.writeAt(m_writeIndex, m_interleaved.data(), frames);
    if (before.frames > 0)
        keepChunk(before);
    if (chunk.frames > 0)
        keepChunk(chunk);
    m_writeIndex += frames;
    return true;
}

void AudioQueue::keepChunk(const Chunk& chunk)
{
    // Chunks too old to be rewritten go first; the ring always has room for a full queue.
    while (m_chunkCount > 0
        && (m_chunkCount == m_chunks.size()
            || m_chunks[m_firstChunk].start + m_config.capacityFrames < chunk.start)) {
        m_firstChunk = (m_firstChunk + 1) % m_chunks.size();
        --m_chunkCount;
    }
    m_chunks[(m_firstChunk + m_chunkCount) % m_chunks.size()] = chunk;
    ++m_chunkCount;
}

void AudioQueue::dropChunksFrom(int64_t streamFrame)
{
    while (m_chunkCount > 0) {
        Chunk& last = m_chunks[(m_firstChunk + m_chunkCount - 1) % m_chunks.size()];
        if (last.start >= streamFrame) {
            --m_chunkCount;
            continue;
        }
        if (last.start + last.frames > streamFrame) {
            last.to = pointAt(streamFrame);
            last.frames = int(streamFrame - last.start);
        }
        break;
    }
}

void AudioQueue::copyQueued(int64_t from, int frames, float* interleaved) const
{
    const size_t capacity = size_t(m_config.capacityFrames);
    for (int i = 0; i < frames; ++i) {
        const size_t at = size_t(from + i) % capacity;
        interleaved[2 * i] = m_queued[2 * at];
        interleaved[2 * i + 1] = m_queued[2 * at + 1];
    }
}

// Inside a chunk the timeline advances frame by frame until it reaches where the chunk left it;
// a chunk that crossed into a new time (a song took over) is counted back from its end.
TimelinePoint AudioQueue::pointAt(int64_t streamFrame) const
{
    if (m_chunkCount == 0)
        return m_source.renderedTo();
    const Chunk* found = nullptr;
    for (size_t i = m_chunkCount; i-- > 0;) {
        const Chunk& chunk = m_chunks[(m_firstChunk + i) % m_chunks.size()];
        if (chunk.start <= streamFrame || i == 0) {
            found = &chunk;
            break;
        }
    }
    const Chunk& chunk = *found;
    const int64_t offset = std::clamp<int64_t>(streamFrame - chunk.start, 0, chunk.frames);
    if (chunk.from.epoch != chunk.to.epoch) {
        const int64_t back = chunk.frames - offset;
        return { chunk.to.epoch, std::max<int64_t>(0, chunk.to.frame - back),
            chunk.to.atEnd && back == 0 };
    }
    const int64_t frame = std::min(chunk.from.frame + offset, chunk.to.frame);
    const bool atEnd = chunk.to.atEnd && (chunk.from.atEnd || frame == chunk.to.frame);
    return { chunk.to.epoch, std::max(frame, chunk.from.frame), atEnd };
}

std::optional<int64_t> AudioQueue::endAfter(int64_t from) const
{
    for (size_t i = 0; i < m_chunkCount; ++i) {
        const Chunk& chunk = m_chunks[(m_firstChunk + i) % m_chunks.size()];
        if (!chunk.to.atEnd || chunk.start + chunk.frames <= from)
            continue;
        const int64_t at = chunk.from.atEnd || chunk.from.epoch != chunk.to.epoch
            ? chunk.start
            : chunk.start + (chunk.to.frame - chunk.from.frame);
        return std::max(at, from);
    }
    return std::nullopt;
}

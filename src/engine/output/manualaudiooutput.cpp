#include "engine/output/manualaudiooutput.h"

#include <algorithm>
#include <cmath>

ManualAudioOutput::ManualAudioOutput(double sampleRate, int blockFrames)
    : m_sampleRate(sampleRate)
    , m_blockFrames(blockFrames)
    , m_left(blockFrames)
    , m_right(blockFrames)
{
}

void ManualAudioOutput::start(AudioSource* source)
{
    m_source = source;
}

void ManualAudioOutput::stop()
{
    m_source = nullptr;
}

ManualAudioOutput::Pulled ManualAudioOutput::pull(int frames)
{
    Pulled pulled;
    while (frames > 0 && m_source) {
        const int block = std::min(frames, m_blockFrames);
        if (m_source->renderAudio(m_left.data(), m_right.data(), block))
            ++pulled.activeBlocks;
        else
            ++pulled.idleBlocks;
        for (int i = 0; i < block; ++i)
            pulled.peak = std::max({ pulled.peak, std::fabs(m_left[i]), std::fabs(m_right[i]) });
        frames -= block;
    }
    return pulled;
}

ManualAudioOutput::Pulled ManualAudioOutput::pullMs(int milliseconds)
{
    return pull(static_cast<int>(std::llround(milliseconds * m_sampleRate / 1000.0)));
}

#include "wavwriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

void putLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void putLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

int16_t toPcm16(float sample)
{
    float scaled = std::clamp(sample * 32768.0f, -32768.0f, 32767.0f);
    return int16_t(std::lrint(scaled));
}

} // namespace

WavWriter::~WavWriter()
{
    if (m_file)
        std::fclose(m_file);
}

bool WavWriter::open(const std::string& path, int sampleRate, std::string* error)
{
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    m_sampleRate = sampleRate;
    uint8_t header[44] = {};
    m_failed = std::fwrite(header, 1, sizeof header, m_file) != sizeof header;
    return !m_failed;
}

bool WavWriter::write(const float* left, const float* right, int frames)
{
    if (m_failed || m_frames + frames > maxFrames)
        return false;
    std::vector<int16_t> pcm(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        pcm[2 * i] = toPcm16(left[i]);
        pcm[2 * i + 1] = toPcm16(right[i]);
    }
    // WAV is little-endian, as is every machine this runs on.
    m_failed = std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), m_file) != pcm.size();
    m_frames += frames;
    return !m_failed;
}

bool WavWriter::finish(std::string* error)
{
    uint32_t dataBytes = uint32_t(m_frames * 4);
    uint8_t header[44];
    std::memcpy(header, "RIFF", 4);
    putLe32(header + 4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putLe32(header + 16, 16);
    putLe16(header + 20, 1); // PCM
    putLe16(header + 22, 2);
    putLe32(header + 24, uint32_t(m_sampleRate));
    putLe32(header + 28, uint32_t(m_sampleRate) * 4);
    putLe16(header + 32, 4);
    putLe16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    putLe32(header + 40, dataBytes);
    bool ok = !m_failed && std::fseek(m_file, 0, SEEK_SET) == 0
        && std::fwrite(header, 1, sizeof header, m_file) == sizeof header;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (!ok)
        *error = "writing the WAV file failed";
    return ok;
}

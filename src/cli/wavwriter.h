#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Writes 16-bit stereo PCM WAV. The header's sizes are patched in by finish().
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path, int sampleRate, std::string* error);
    bool write(const float* left, const float* right, int frames);
    bool finish(std::string* error);

    // The data chunk's 32-bit size limits a file to this many frames.
    static constexpr int64_t maxFrames = (int64_t(UINT32_MAX) - 64) / 4;

private:
    std::FILE* m_file = nullptr;
    int64_t m_frames = 0;
    int m_sampleRate = 0;
    bool m_failed = false;
};

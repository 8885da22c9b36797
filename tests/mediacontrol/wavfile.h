#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <vector>

// The 16-bit PCM of a WAV file as mono levels in [-1, 1] (the louder channel of each frame).
// A recorder that was stopped may leave the data size unwritten: the rest of the file counts.
struct WavFile {
    int sampleRate = 0;
    std::vector<float> levels;

    bool load(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
            return false;
        int channels = 0;
        int bits = 0;
        qsizetype at = 12;
        while (at + 8 <= bytes.size()) {
            const QByteArray id = bytes.mid(at, 4);
            qsizetype size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
            const char* body = bytes.constData() + at + 8;
            if (id == "fmt " && at + 24 <= bytes.size()) {
                channels = qFromLittleEndian<quint16>(body + 2);
                sampleRate = int(qFromLittleEndian<quint32>(body + 4));
                bits = qFromLittleEndian<quint16>(body + 14);
            } else if (id == "data") {
                if (size == 0 || at + 8 + size > bytes.size())
                    size = bytes.size() - at - 8;
                return bits == 16 && channels > 0 && readFrames(body, size, channels);
            }
            at += 8 + size + (size & 1);
        }
        return false;
    }

    double seconds() const { return sampleRate ? double(levels.size()) / sampleRate : 0.0; }

    double rms(double fromSeconds, double toSeconds) const
    {
        const size_t from = size_t(std::max(0.0, fromSeconds) * sampleRate);
        const size_t to = std::min(levels.size(), size_t(std::max(0.0, toSeconds) * sampleRate));
        if (to <= from)
            return 0.0;
        double sum = 0.0;
        for (size_t i = from; i < to; ++i)
            sum += double(levels[i]) * levels[i];
        return std::sqrt(sum / double(to - from));
    }

private:
    bool readFrames(const char* data, qsizetype size, int channels)
    {
        const qsizetype frames = size / (2 * channels);
        levels.resize(size_t(frames));
        for (qsizetype frame = 0; frame < frames; ++frame) {
            float level = 0.0f;
            for (int channel = 0; channel < channels; ++channel) {
                const float sample
                    = qFromLittleEndian<qint16>(data + 2 * (frame * channels + channel)) / 32768.0f;
                if (std::fabs(sample) > std::fabs(level))
                    level = sample;
            }
            levels[size_t(frame)] = level;
        }
        return true;
    }
};

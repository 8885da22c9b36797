#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <vector>

// Builds small Standard MIDI Files for the tests: format 0, one tick per millisecond, so that
// every time here is in milliseconds of song time.
class SmfWriter {
public:
    SmfWriter& program(int atMs, int program, int channel = 0)
    {
        return add(atMs, { char(0xc0 | channel), char(program) });
    }
    SmfWriter& note(int startMs, int durationMs, int key, int velocity = 100, int channel = 0)
    {
        add(startMs, { char(0x90 | channel), char(key), char(velocity) });
        return add(startMs + durationMs, { char(0x80 | channel), char(key), 0 });
    }
    // A run of notes back to back from startMs, each durationMs long, over a few keys.
    SmfWriter& melody(int startMs, int count, int durationMs, int channel = 0)
    {
        static const int keys[] = { 60, 64, 67, 72 };
        for (int i = 0; i < count; ++i)
            note(startMs + i * durationMs, durationMs, keys[i % 4], 100, channel);
        return *this;
    }
    SmfWriter& endAt(int ms)
    {
        m_endMs = ms;
        return *this;
    }
    // Stretches every tick: at 999998 us a quarter, 1002 "ms" last 1001.998 ms.
    SmfWriter& tempo(int usPerQuarter)
    {
        m_usPerQuarter = usPerQuarter;
        return *this;
    }

    QByteArray bytes() const
    {
        std::vector<Event> events = m_events;
        std::stable_sort(events.begin(), events.end(),
            [](const Event& a, const Event& b) { return a.timeMs < b.timeMs; });
        QByteArray track;
        // One quarter note per second: with 1000 ticks a quarter, a tick is a millisecond.
        track.append(QByteArray::fromHex("00ff5103"));
        for (int shift = 16; shift >= 0; shift -= 8)
            track.append(char((m_usPerQuarter >> shift) & 0xff));
        int now = 0;
        for (const Event& event : events) {
            appendDelta(track, event.timeMs - now);
            track.append(event.data);
            now = event.timeMs;
        }
        appendDelta(track, std::max(0, m_endMs - now));
        track.append(QByteArray::fromHex("ff2f00"));

        QByteArray file = QByteArray::fromHex("4d546864000000060000000103e8");
        file.append("MTrk");
        appendBigEndian32(file, track.size());
        return file + track;
    }
    bool save(const QString& path) const
    {
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(bytes()) >= 0;
    }

private:
    struct Event {
        int timeMs;
        QByteArray data;
    };
    SmfWriter& add(int atMs, std::initializer_list<char> data)
    {
        m_events.push_back({ atMs, QByteArray(data.begin(), int(data.size())) });
        m_endMs = std::max(m_endMs, atMs);
        return *this;
    }
    static void appendDelta(QByteArray& out, int ticks)
    {
        char bytes[5];
        int count = 0;
        do {
            bytes[count++] = char(ticks & 0x7f);
            ticks >>= 7;
        } while (ticks > 0);
        while (count > 1)
            out.append(char(bytes[--count] | 0x80));
        out.append(bytes[0]);
    }
    static void appendBigEndian32(QByteArray& out, int value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char((value >> shift) & 0xff));
    }

    std::vector<Event> m_events;
    int m_endMs = 0;
    int m_usPerQuarter = 1000000;
};

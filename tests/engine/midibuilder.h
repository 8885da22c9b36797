#pragma once

#include <QByteArray>

#include <cstdint>
#include <initializer_list>
#include <string>

// Builds Standard MIDI File bytes for tests, including the malformed shapes real files have.
class MidiTrackBuilder {
public:
    MidiTrackBuilder& raw(uint32_t delta, std::initializer_list<uint8_t> bytes);
    MidiTrackBuilder& noteOn(uint32_t delta, int channel, int key, int velocity = 100);
    MidiTrackBuilder& noteOff(uint32_t delta, int channel, int key);
    MidiTrackBuilder& controller(uint32_t delta, int channel, int number, int value);
    MidiTrackBuilder& program(uint32_t delta, int channel, int program);
    MidiTrackBuilder& pitchBend(uint32_t delta, int channel, int value);
    MidiTrackBuilder& tempo(uint32_t delta, uint32_t usPerQuarter);
    MidiTrackBuilder& meta(uint32_t delta, uint8_t type, const QByteArray& data);
    MidiTrackBuilder& sysex(uint32_t delta, uint8_t kind, const QByteArray& data); // F0 or F7
    MidiTrackBuilder& endOfTrack(uint32_t delta = 0);
    MidiTrackBuilder& bytes(const QByteArray& bytes); // as they are, no delta time

    const QByteArray& data() const { return m_data; }

private:
    QByteArray m_data;
};

class MidiBuilder {
public:
    MidiBuilder(int format, uint16_t division, int declaredTracks = -1);

    // lengthAdjust shifts the declared chunk length away from the real one.
    MidiBuilder& track(const MidiTrackBuilder& track, int lengthAdjust = 0);
    MidiBuilder& chunk(const char* tag, const QByteArray& body);
    MidiBuilder& raw(const QByteArray& bytes);

    // The header's track count is the number of tracks added unless given.
    QByteArray bytes() const;

    static QByteArray varLen(uint32_t value);
    static QByteArray riffWrapped(const QByteArray& smf);
    static uint16_t smpte(int framesPerSecond, int ticksPerFrame);

private:
    int m_format;
    uint16_t m_division;
    int m_declaredTracks;
    int m_tracks = 0;
    QByteArray m_body;
};

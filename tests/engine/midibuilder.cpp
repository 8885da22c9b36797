#include "midibuilder.h"

namespace {

QByteArray be32(uint32_t value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char(value >> shift));
    return bytes;
}

QByteArray le32(uint32_t value)
{
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char(value >> shift));
    return bytes;
}

QByteArray be16(uint16_t value)
{
    QByteArray bytes;
    bytes.append(char(value >> 8));
    bytes.append(char(value));
    return bytes;
}

} // namespace

MidiTrackBuilder& MidiTrackBuilder::raw(uint32_t delta, std::initializer_list<uint8_t> bytes)
{
    m_data.append(MidiBuilder::varLen(delta));
    for (uint8_t byte : bytes)
        m_data.append(char(byte));
    return *this;
}

MidiTrackBuilder& MidiTrackBuilder::noteOn(uint32_t delta, int channel, int key, int velocity)
{
    return raw(delta, { uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity) });
}

MidiTrackBuilder& MidiTrackBuilder::noteOff(uint32_t delta, int channel, int key)
{
    return raw(delta, { uint8_t(0x80 | channel), uint8_t(key), 64 });
}

MidiTrackBuilder& MidiTrackBuilder::controller(uint32_t delta, int channel, int number, int value)
{
    return raw(delta, { uint8_t(0xb0 | channel), uint8_t(number), uint8_t(value) });
}

MidiTrackBuilder& MidiTrackBuilder::program(uint32_t delta, int channel, int program)
{
    return raw(delta, { uint8_t(0xc0 | channel), uint8_t(program) });
}

MidiTrackBuilder& MidiTrackBuilder::pitchBend(uint32_t delta, int channel, int value)
{
    return raw(delta, { uint8_t(0xe0 | channel), uint8_t(value & 0x7f), uint8_t(value >> 7) });
}

MidiTrackBuilder& MidiTrackBuilder::tempo(uint32_t delta, uint32_t usPerQuarter)
{
    return raw(delta,
        { 0xff, 0x51, 0x03, uint8_t(usPerQuarter >> 16), uint8_t(usPerQuarter >> 8),
            uint8_t(usPerQuarter) });
}

MidiTrackBuilder& MidiTrackBuilder::meta(uint32_t delta, uint8_t type, const QByteArray& data)
{
    raw(delta, { 0xff, type });
    m_data.append(MidiBuilder::varLen(uint32_t(data.size())));
    m_data.append(data);
    return *this;
}

MidiTrackBuilder& MidiTrackBuilder::sysex(uint32_t delta, uint8_t kind, const QByteArray& data)
{
    raw(delta, { kind });
    m_data.append(MidiBuilder::varLen(uint32_t(data.size())));
    m_data.append(data);
    return *this;
}

MidiTrackBuilder& MidiTrackBuilder::endOfTrack(uint32_t delta)
{
    return raw(delta, { 0xff, 0x2f, 0x00 });
}

MidiTrackBuilder& MidiTrackBuilder::bytes(const QByteArray& bytes)
{
    m_data.append(bytes);
    return *this;
}

MidiBuilder::MidiBuilder(int format, uint16_t division, int declaredTracks)
    : m_format(format)
    , m_division(division)
    , m_declaredTracks(declaredTracks)
{
}

MidiBuilder& MidiBuilder::track(const MidiTrackBuilder& track, int lengthAdjust)
{
    m_body.append("MTrk");
    m_body.append(be32(uint32_t(track.data().size() + lengthAdjust)));
    m_body.append(track.data());
    ++m_tracks;
    return *this;
}

MidiBuilder& MidiBuilder::chunk(const char* tag, const QByteArray& body)
{
    m_body.append(tag, 4);
    m_body.append(be32(uint32_t(body.size())));
    m_body.append(body);
    return *this;
}

MidiBuilder& MidiBuilder::raw(const QByteArray& bytes)
{
    m_body.append(bytes);
    return *this;
}

QByteArray MidiBuilder::bytes() const
{
    QByteArray file("MThd");
    file.append(be32(6));
    file.append(be16(uint16_t(m_format)));
    file.append(be16(uint16_t(m_declaredTracks >= 0 ? m_declaredTracks : m_tracks)));
    file.append(be16(m_division));
    file.append(m_body);
    return file;
}

QByteArray MidiBuilder::varLen(uint32_t value)
{
    QByteArray bytes(1, char(value & 0x7f));
    while (value >>= 7)
        bytes.prepend(char((value & 0x7f) | 0x80));
    return bytes;
}

QByteArray MidiBuilder::riffWrapped(const QByteArray& smf)
{
    QByteArray body("RMID");
    body.append("data");
    body.append(le32(uint32_t(smf.size())));
    body.append(smf);
    if (smf.size() % 2)
        body.append('\0');
    // Players also meet trailing RIFF chunks such as an INFO list.
    body.append("LIST");
    body.append(le32(4));
    body.append("INFO");
    QByteArray file("RIFF");
    file.append(le32(uint32_t(body.size())));
    file.append(body);
    return file;
}

uint16_t MidiBuilder::smpte(int framesPerSecond, int ticksPerFrame)
{
    return uint16_t(uint8_t(int8_t(-framesPerSecond)) << 8 | ticksPerFrame);
}

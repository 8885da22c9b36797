#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// Decides which output renders the player at any moment: the sound server's stream, a device
// driver of FluidSynth's, or the clock that plays into nothing. Plain decisions on what the
// outputs report; SoundOutput carries them out, so exactly one of them renders at a time.
//
// The server's stream is best (a long buffer, few wake-ups), then the driver, then the clock. A
// server that goes away hands over to the driver if it opens, else to the clock; a driver that
// stops calling back is retired for good. While anything but the stream plays, a command looks
// for the server again (a server started after the player, a log-in): every Play does, but a
// burst of commands (Play All changing songs) tries once.
class FailoverPolicy {
public:
    enum class Renderer { None, Stream, Driver, Clock };
    using Clock = std::chrono::steady_clock;

    struct Config {
        bool useServer = true;
        // How long the driver may stop calling back before it counts as gone. Generous: a
        // PulseAudio stream can stall for over a second as it starts, and the clock catches up.
        std::chrono::milliseconds stallTimeout { 3000 };
        // Commands closer together than this look for the server once.
        std::chrono::milliseconds probeInterval { 200 };
    };

    FailoverPolicy();
    explicit FailoverPolicy(Config config);

    Renderer renderer() const { return m_renderer; }

    // tryDriver opens the driver and says whether it did; it is called only when wanted.
    Renderer start(bool streamOpen, const std::function<bool()>& tryDriver, Clock::time_point now);
    // A command came: true when the owner should try to connect to the server now.
    bool shouldLookForServer(Clock::time_point now);
    Renderer serverFound();
    Renderer streamLost(const std::function<bool()>& tryDriver, Clock::time_point now);
    // The driver's callback count, read now and then: one that stands still retires it.
    Renderer driverCallbacks(uint64_t count, Clock::time_point now);
    // When the clock took over from a stalled driver: the time from which it catches up.
    Clock::time_point silentSince() const { return m_lastProgress; }

private:
    Renderer useDriverOrClock(const std::function<bool()>& tryDriver, Clock::time_point now);

    Config m_config;
    Renderer m_renderer = Renderer::None;
    bool m_driverRetired = false;
    bool m_probed = false;
    Clock::time_point m_lastProbe {};
    uint64_t m_lastCount = 0;
    Clock::time_point m_lastProgress {};
};

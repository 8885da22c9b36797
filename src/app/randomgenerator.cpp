#include "app/randomgenerator.h"

#include <chrono>

ClockSeededRandom::ClockSeededRandom()
{
    reseedFromClock();
}

void ClockSeededRandom::reseedFromClock()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    std::seed_seq seed { uint32_t(ns), uint32_t(uint64_t(ns) >> 32) };
    m_engine.seed(seed);
}

int ClockSeededRandom::draw(int count)
{
    if (count <= 1)
        return 0;
    return std::uniform_int_distribution<int>(0, count - 1)(m_engine);
}

std::unique_ptr<RandomGenerator> ClockSeededRandom::clone() const
{
    return std::make_unique<ClockSeededRandom>(*this);
}

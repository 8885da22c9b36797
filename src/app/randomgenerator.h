#pragma once

#include <memory>
#include <random>

// The pseudo-random generator behind the skin draw and the random song choice. Injectable so
// tests can fix the seed or script the draws.
class RandomGenerator {
public:
    virtual ~RandomGenerator() = default;
    virtual void reseedFromClock() = 0;
    // A whole number from 0 to count - 1, each equally likely.
    virtual int draw(int count) = 0;
    // A generator in the same state, whose draws do not advance this one: to look ahead.
    virtual std::unique_ptr<RandomGenerator> clone() const = 0;
};

class ClockSeededRandom : public RandomGenerator {
public:
    ClockSeededRandom();
    void reseedFromClock() override;
    int draw(int count) override;
    std::unique_ptr<RandomGenerator> clone() const override;

private:
    std::mt19937 m_engine;
};

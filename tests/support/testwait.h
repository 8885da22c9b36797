#pragma once

// How long a test waits, at most, for what it waits for. Every wait ends as soon as its
// condition holds; the ceiling only decides when a test gives up, so it is generous enough for a
// busy two-core machine, and several times longer in sanitizer builds, which run slower
// (LUMORA_TEST_WAIT_SCALE comes from the build).

#include <QTest>

#ifndef LUMORA_TEST_WAIT_SCALE
#define LUMORA_TEST_WAIT_SCALE 1
#endif

namespace TestWait {

// plainMs, stretched for a slower build.
constexpr int scaled(int plainMs)
{
    return plainMs * LUMORA_TEST_WAIT_SCALE;
}

// The ceiling for anything a test waits on: a load, another thread, an event, a process.
constexpr int ceilingMs = scaled(30000);

// Polls the condition, handling events meanwhile, until it holds or the ceiling passes.
template <typename Condition> bool until(Condition condition, int timeoutMs = ceilingMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

} // namespace TestWait

// QTRY_VERIFY and QTRY_COMPARE with the ceiling above instead of a fixed five seconds.
#define LUMORA_TRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, TestWait::ceilingMs)
#define LUMORA_TRY_COMPARE(expr, expected)                                                         \
    QTRY_COMPARE_WITH_TIMEOUT(expr, expected, TestWait::ceilingMs)

// Runs a step of a test (a helper or lambda with checks of its own) and ends the test function
// when one of them failed, so that one failure is reported once, not again by every later step.
#define LUMORA_STEP(step)                                                                          \
    do {                                                                                           \
        step;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

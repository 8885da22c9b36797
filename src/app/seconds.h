#pragma once

#include <QtGlobal>
#include <cmath>

// Milliseconds to whole seconds for the slider: the nearest whole number, an exact half going to
// the even neighbour (1500 ms gives 2, 2500 ms gives 2), as the default rounding mode rounds;
// std::round would send halves away from zero.
inline qint32 secondsFromMilliseconds(qint32 ms)
{
    return qint32(std::nearbyint(ms / 1000.0));
}

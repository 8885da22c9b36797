#pragma once

#include <QtGlobal>
#include <cmath>

// Milliseconds to whole seconds for the slider: the nearest whole number, an exact half going to
// the even neighbour (1500 ms gives 2, 2500 ms gives 2). std::round would send halves away from
// zero.
inline qint32 secondsFromMilliseconds(qint32 ms)
{
    const double seconds = ms / 1000.0;
    const double below = std::floor(seconds);
    const double fraction = seconds - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1.0;
    return qint32(rounded);
}

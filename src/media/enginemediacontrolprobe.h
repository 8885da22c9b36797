#pragma once

#include "media/enginemediacontrol.h"

class LiveSongPlayer;

// For tests only: the engine's player behind a media control, to check what it was told; null
// until the engine is loaded.
struct EngineMediaControlProbe {
    static const LiveSongPlayer* player(const EngineMediaControl& media);
};

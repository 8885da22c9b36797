#pragma once

#include "engine/manualaudiooutput.h"
#include "media/enginemediacontrol.h"

#include <memory>

// The real media control on a virtual clock: nothing plays until the test pulls frames.
struct ManualClockRig {
    ManualAudioOutput* output = nullptr;
    std::unique_ptr<EngineMediaControl> media;

    explicit ManualClockRig(EngineSetup setup = {})
    {
        auto clock = std::make_unique<ManualAudioOutput>();
        output = clock.get();
        setup.output = std::move(clock);
        media = std::make_unique<EngineMediaControl>(std::move(setup));
    }
};

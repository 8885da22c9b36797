#pragma once

#include "engine/output/manualaudiooutput.h"
#include "media/enginemediacontrol.h"

#include <memory>

// The real media control on a virtual clock: nothing plays until the test pulls frames.
struct ManualClockRig {
    ManualAudioOutput* output = nullptr;
    std::unique_ptr<EngineMediaControl> media;

    explicit ManualClockRig(
        EngineSetup setup = {}, double sampleRate = 44100.0, int blockFrames = 512)
    {
        auto clock = std::make_unique<ManualAudioOutput>(sampleRate, blockFrames);
        output = clock.get();
        setup.output = std::move(clock);
        media = std::make_unique<EngineMediaControl>(std::move(setup));
    }

    // Opens the file and plays it.
    void play(const QString& path)
    {
        media->setFileName(path);
        media->setCommand(QStringLiteral("Open"));
        media->setCommand(QStringLiteral("Play"));
    }
};

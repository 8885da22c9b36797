#pragma once

#include "app/catalogue.h"
#include "app/windowservices.h"
#include "engine/output/manualaudiooutput.h"
#include "media/enginemediacontrol.h"
#include "scriptedservices.h"
#include "smfwriter.h"
#include "windowdriver.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

// Every catalogue song as a short generated tune (200 ms) in a folder that becomes the working
// directory, and a window on the real media control, silent, whose clock runs as fast as the
// event loop turns: pullMs of song time on every tick.
struct VirtualClockPlayer {
    QTemporaryDir folder;
    QString previousDir = QDir::currentPath();
    ManualAudioOutput* clock = nullptr;
    std::unique_ptr<EngineMediaControl> media;
    ScriptedDialog dialog;
    ScriptedRandom random;
    RecordingPictureLoader pictures;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<WindowDriver> driver;
    QTimer clockTicks;

    VirtualClockPlayer(unsigned seed, int pullMs, const QString& leaveOut = QString())
        : random(seed)
    {
        for (const CatalogueRow& row : Catalogue::rows()) {
            if (row.stem != leaveOut)
                SmfWriter().melody(0, 3, 60).endAt(200).save(
                    folder.filePath(QString(row.stem) + ".mid"));
        }
        QDir::setCurrent(folder.path());
        EngineSetup setup;
        setup.withoutSynth = true;
        auto output = std::make_unique<ManualAudioOutput>(44100.0, 441);
        clock = output.get();
        setup.output = std::move(output);
        media = std::make_unique<EngineMediaControl>(std::move(setup));
        window = createMainWindow(WindowServices { media.get(), &dialog, &random, &pictures });
        driver = std::make_unique<WindowDriver>(window.get());
        QObject::connect(&clockTicks, &QTimer::timeout, [this, pullMs] { clock->pullMs(pullMs); });
        clockTicks.start(1);
    }
    ~VirtualClockPlayer() { QDir::setCurrent(previousDir); }
    WindowDriver* operator->() const { return driver.get(); }
};

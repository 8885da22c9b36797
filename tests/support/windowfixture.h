#pragma once

#include "app/catalogue.h"
#include "app/windowservices.h"
#include "fakemediacontrol.h"
#include "scriptedservices.h"
#include "windowdriver.h"

#include <memory>

// A window wired to test doubles only; w->cmdPlay, w->mitSong_Click(3) and the like go through
// its driver, w.window is the widget itself.
struct WindowFixture {
    FakeMediaControl media;
    ScriptedDialog dialog;
    ScriptedRandom random;
    RecordingPictureLoader pictures;
    std::unique_ptr<QMainWindow> window;
    WindowDriver driver;

    WindowFixture()
        : window(createMainWindow(WindowServices { &media, &dialog, &random, &pictures }))
        , driver(window.get())
    {
    }
    WindowDriver* operator->() { return &driver; }
};

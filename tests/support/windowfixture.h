#pragma once

#include "app/lumoramusic.h"
#include "fakemediacontrol.h"
#include "scriptedservices.h"

#include <memory>

// A window wired to test doubles only.
struct WindowFixture {
    FakeMediaControl media;
    ScriptedDialog dialog;
    ScriptedRandom random;
    RecordingPictureLoader pictures;
    std::unique_ptr<LumoraMusic> window;

    WindowFixture()
        : window(
            std::make_unique<LumoraMusic>(WindowServices { &media, &dialog, &random, &pictures }))
    {
    }
    LumoraMusic* operator->() const { return window.get(); }
};

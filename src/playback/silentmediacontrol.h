#pragma once

#include "playback/mediacontrol.h"

// A device that plays nothing: every command is accepted and ignored, and times read 0. Used
// where no sound is wanted at all.
class SilentMediaControl : public MediaControl {
    Q_OBJECT

public:
    using MediaControl::MediaControl;
    qint32 length() override { return 0; }
    qint32 position() override { return 0; }

protected:
    void applyFileName(const QString&) override { }
    void runCommand(const QString&) override { }
    void applyTimeFormat(qint32) override { }
};

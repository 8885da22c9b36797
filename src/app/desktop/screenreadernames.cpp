#include "app/desktop/screenreadernames.h"

#include <QWidget>

namespace {

struct ControlDescription {
    const char* objectName;
    const char* name;
    const char* description;
};

constexpr ControlDescription kControls[] = {
    { "cmdPlay", "Play", "Plays the chosen song from its start" },
    { "cmdPause", "Pause", "Pauses the song; press again to go on from there" },
    { "cmdStop", "Stop", "Stops the song and goes back to its start" },
    { "Slider1", "Song position", "How far the song has played, in seconds" },
};

} // namespace

void nameControlsForScreenReaders(QWidget* window)
{
    for (const ControlDescription& control : kControls) {
        if (auto* widget = window->findChild<QWidget*>(QLatin1String(control.objectName))) {
            widget->setAccessibleName(QString::fromUtf8(control.name));
            widget->setAccessibleDescription(QString::fromUtf8(control.description));
        }
    }
}

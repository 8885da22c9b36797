#pragma once

#include <functional>

class QWidget;

// Runs work once widget has been painted for the first time and that picture has gone to the
// screen: for start-up steps the first sight of the window does not need. A zero timer set
// before the event loop starts would run before the window system asks for the first paint,
// and hold it up.
void runAfterFirstPaint(QWidget* widget, std::function<void()> work);

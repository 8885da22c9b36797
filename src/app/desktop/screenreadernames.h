#pragma once

class QWidget;

// Names and descriptions for screen readers, given to the window's controls by their object
// names: the picture buttons read as "Play", "Pause" and "Stop", the slider as "Song position"
// (its value is in seconds). The song label reads its own text.
void nameControlsForScreenReaders(QWidget* window);

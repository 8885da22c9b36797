#pragma once

class QWidget;

// On Wayland the title bar Qt draws itself offers a maximize button whatever the window's flags,
// and a compositor that has maximized a window must be obeyed to the pixel: weston ends the
// program with a protocol error when a fixed-size window keeps its size. The window is let to take
// the maximized size for the moment it needs to ask for its normal state again, and then gets its
// fixed size back. Does nothing on other platforms, which honour the flags. Call once the window
// is shown.
void refuseMaximizeOnWayland(QWidget* window);

#pragma once
// Bringing a window in front of every other one.

class QWidget;

namespace qv {

// Shows the window topmost for a moment (for good with keepOnTop), then raises
// and activates it: in front of the others without staying there.
void bringToFront(QWidget* window, bool keepOnTop = false);

}  // namespace qv

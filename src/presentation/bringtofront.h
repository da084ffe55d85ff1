#pragma once
// Bringing a window in front of every other one, and keeping the windows of an
// alarm answerable while a modal dialog of the program is open.

#include <functional>

class QWidget;

namespace qv {

// Shows the window topmost for a moment (for good with keepOnTop), then raises
// and activates it: in front of the others without staying there. A window
// made answerable (below) comes up above an open modal dialog.
void bringToFront(QWidget* window, bool keepOnTop = false);

// An application-modal dialog (the alarm dialog, the settings, a message box,
// a file dialog) blocks every window of the program that is not its own. An
// alarm must not wait for it: while a modal window is open `window` takes it
// as its transient parent, which Qt does not block, and stays on top of it
// until it closes. `waiting` tells when the window itself waits for the
// answer to its own question; that question holds it as it should.
void keepAnswerable(QWidget* window, std::function<bool()> waiting = {});

}  // namespace qv

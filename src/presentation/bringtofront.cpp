#include "presentation/bringtofront.h"

#include <QWidget>

namespace qv {

void bringToFront(QWidget* window, bool keepOnTop) {
    // Changing the flags hides the window; show() after each change brings it back.
    if (!(window->windowFlags() & Qt::WindowStaysOnTopHint))
        window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    window->show();
    if (!keepOnTop) {
        window->setWindowFlag(Qt::WindowStaysOnTopHint, false);
        window->show();
    }
    window->raise();
    window->activateWindow();
}

}  // namespace qv

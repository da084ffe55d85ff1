#include "presentation/bringtofront.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace qv {

namespace {

constexpr const char* kKeeperName = "modalKeeper";

// Watches one window: whenever a modal window blocks it, the window becomes a
// transient child of that modal window (Qt blocks no window of a modal
// window's family) and is held above it; when the modal window goes, the
// window gets its own transient parent and its own stacking back.
class ModalKeeper : public QObject {
  public:
    ModalKeeper(QWidget* window, std::function<bool()> waiting)
        : QObject(window), window_(window), waiting_(std::move(waiting)) {
        setObjectName(QString::fromLatin1(kKeeperName));
        window->installEventFilter(this);
    }

    void follow() {
        QWindow* handle = window_->windowHandle();
        if (!handle || !window_->isVisible()) return;
        if (waiting_ && waiting_()) {
            // Its question (shown above the rest, not above this window) first.
            setOnTop(false);
            return;
        }
        QWindow* modal = QGuiApplication::modalWindow();
        // The window's own question (or a dialog it opened) holds it.
        if (modal && (modal == handle || handle->isAncestorOf(modal, QWindow::IncludeTransients)))
            return;
        if (adopted_) disconnect(adopted_, nullptr, this, nullptr);
        if (!modal) {
            if (adopting_) handle->setTransientParent(ownParent_);
            adopting_ = false;
            adopted_ = nullptr;
            setOnTop(false);
            return;
        }
        if (!adopting_) ownParent_ = handle->transientParent();
        adopting_ = true;
        adopted_ = modal;
        connect(modal, &QWindow::visibleChanged, this, [this](bool visible) {
            if (!visible) later();
        });
        connect(modal, &QObject::destroyed, this, [this] { later(); });
        handle->setTransientParent(modal);
        setOnTop(true);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Blocked by a new modal window, or unblocked from a transient
        // parent that has been replaced (the flags of a shown window were
        // changed): settled once the event has been handled.
        if (watched == window_ &&
            (event->type() == QEvent::WindowBlocked || event->type() == QEvent::Show))
            later();
        return false;
    }

  private:
    void later() {
        QMetaObject::invokeMethod(
            this, [this] { follow(); }, Qt::QueuedConnection);
    }

    // Above a modal dialog even where the window manager keeps such dialogs
    // above the rest of the program (a dialog without a parent is transient
    // for the whole program on X11). The window's own flags stay as they are:
    // only the native window changes, which does not hide it.
    void setOnTop(bool on) {
        QWindow* handle = window_->windowHandle();
        if (!handle) return;
        const bool top = on || (window_->windowFlags() & Qt::WindowStaysOnTopHint);
        if (static_cast<bool>(handle->flags() & Qt::WindowStaysOnTopHint) == top) return;
        Qt::WindowFlags flags = handle->flags();
        flags.setFlag(Qt::WindowStaysOnTopHint, top);
        handle->setFlags(flags);
        if (on) window_->raise();
    }

    QWidget* window_;
    std::function<bool()> waiting_;
    QPointer<QWindow> adopted_;
    QPointer<QWindow> ownParent_;
    bool adopting_ = false;
};

ModalKeeper* keeperOf(QWidget* window) {
    return dynamic_cast<ModalKeeper*>(
        window->findChild<QObject*>(QString::fromLatin1(kKeeperName), Qt::FindDirectChildrenOnly));
}

}  // namespace

void bringToFront(QWidget* window, bool keepOnTop) {
    // Changing the flags hides the window; show() after each change brings it back.
    if (!(window->windowFlags() & Qt::WindowStaysOnTopHint))
        window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    window->show();
    if (!keepOnTop) {
        window->setWindowFlag(Qt::WindowStaysOnTopHint, false);
        window->show();
    }
    // Shown again, the window has lost its transient parent: take the modal
    // dialog again before it is raised and activated.
    if (ModalKeeper* keeper = keeperOf(window)) keeper->follow();
    window->raise();
    window->activateWindow();
}

void keepAnswerable(QWidget* window, std::function<bool()> waiting) {
    if (!window || keeperOf(window)) return;
    new ModalKeeper(window, std::move(waiting));
}

}  // namespace qv

#include "ui/frmabout.h"
#include "ui/missedbadge.h"

#include <unistd.h>

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include "core/program.h"
#include "core/statistics.h"
#include "model/texts.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/frmdatetime.h"
#include "ui/frmquickalarm.h"
#include "ui/frmquorvanemain.h"
#include "ui/qtdesktop.h"
#include "ui/qtuserinterface.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

// Keeps a window against the taskbar inside the screen's free area: placed
// again when it is shown with its final size and when the window manager
// adds its frame (a frame known only later moved it under a panel).
class KeepAgainstTaskbar : public QObject {
  public:
    KeepAgainstTaskbar(QWidget* window, QScreen* screen)
        : QObject(window), window_(window), screen_(screen) {
        window->installEventFilter(this);
    }
    void place() {
        if (!screen_ || placements_ >= kMaxPlacements) return;
        const QPoint at = frmAbout::calendarPlace(screen_->geometry(), screen_->availableGeometry(),
                                                  window_->frameGeometry().size());
        if (at == window_->frameGeometry().topLeft()) return;
        ++placements_;
        window_->move(at);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && (event->type() == QEvent::Show ||
                                   event->type() == QEvent::Resize || event->type() == QEvent::Move))
            place();
        return false;
    }

  private:
    // A window manager that keeps moving the window is not fought for ever.
    static constexpr int kMaxPlacements = 8;
    QWidget* window_;
    QPointer<QScreen> screen_;
    int placements_ = 0;
};

QAction* namedAction(QMenu* menu, const char* name, const char* text) {
    QAction* a = menu->addAction(QString::fromLatin1(text));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

}  // namespace

frmAbout::frmAbout(Program& program, QtUserInterface& ui, QWidget* parent)
    : QWidget(parent, Qt::Dialog), p_(program), ui_(ui) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quorvane"));
    icons_ = ProgramIcons::load(p_.folders);
    setWindowIcon(icons_.window);

    auto* layout = new QVBoxLayout(this);
    lblProgram_ = new QLabel(QStringLiteral("Quorvane"), this);
    lblProgram_->setObjectName(QStringLiteral("lblProgram"));
    QFont big = lblProgram_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblProgram_->setFont(big);
    lblVersion_ = new QLabel(this);
    // The version number is not a caption: it must not be translated away.
    lblVersion_->setObjectName(QString());
    auto* lblDescription = new QLabel(QStringLiteral("An alarm clock for your desktop."), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    layout->addWidget(lblProgram_);
    layout->addWidget(lblVersion_);
    layout->addWidget(lblDescription);

    buildTrayMenu();
    // A program started with the session may come up before the panel that
    // holds the notification area: look again now and then until it is there.
    trayWatch_ = new TrayAppearanceWatcher(this);
    connect(trayWatch_, &TrayAppearanceWatcher::mayHaveAppeared, this, &frmAbout::lookForTray);
    addTrayIcon();
    translate();
}

frmAbout::~frmAbout() {
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
    removeTrayIcon();
}

bool frmAbout::trayAvailable() const {
    return ui_.systemTrayAvailable && ui_.systemTrayAvailable();
}

void frmAbout::lookForTray() {
    if (tray_ || !wantTray_ || p_.exiting) return;
    if (trayAvailable()) addTrayIcon();
}

void frmAbout::buildTrayMenu() {
    mnuTray_ = new QMenu(this);
    mnuTray_->setObjectName(QStringLiteral("mnuTray"));
    mnuTrayToggleWindow_ = namedAction(mnuTray_, "mnuTrayToggleWindow", "Show or hide Quorvane");
    mnuTrayAddAlarm_ = namedAction(mnuTray_, "mnuTrayAddAlarm", "Add an alarm");
    // Quick alarms: a preset sets its alarm at once (two keys from the menu).
    addQuickAlarmMenu(
        mnuTray_, p_, QStringLiteral("mnuTrayQuick"),
        [this](const AddedAlarm& added) {
            if (added.alarm) notify(QStringLiteral("Quorvane"), describeAddedQuickAlarm(p_, added));
        },
        [this] { runQuickAlarmDialog(p_, nullptr); });
    mnuTrayShowCalendar_ = namedAction(mnuTray_, "mnuTrayShowCalendar", "Calendar");
    mnuTray_->addSeparator();
    mnuTrayBlocked_ = namedAction(mnuTray_, "mnuTrayBlocked", "Alarms blocked");
    mnuTrayBlocked_->setCheckable(true);
    mnuTrayStopSounds_ = namedAction(mnuTray_, "mnuTrayStopSounds", "Stop all sounds");
    mnuTrayMissed_ = namedAction(mnuTray_, "mnuTrayMissed", "Missed alarms...");
    connect(mnuTrayMissed_, &QAction::triggered, this, [this] { ui_.showMissedAlarms(); });
    mnuTray_->addSeparator();
    mnuTrayExit_ = namedAction(mnuTray_, "mnuTrayExit", "Exit");

    connect(mnuTrayToggleWindow_, &QAction::triggered, this, [this] {
        if (auto* m = ui_.mainWindow()) m->toggleWindowVisibility();
    });
    connect(mnuTrayAddAlarm_, &QAction::triggered, this, [this] {
        if (auto* m = ui_.mainWindow()) m->addNewAlarm();
    });
    connect(mnuTrayShowCalendar_, &QAction::triggered, this, [this] { showCalendar(); });
    connect(mnuTrayBlocked_, &QAction::triggered, this,
            [this] { p_.control.setBlocked(!p_.supervision.blocked); });
    connect(mnuTrayStopSounds_, &QAction::triggered, this, [this] {
        if (ui_.hooks.stopAllSounds) ui_.hooks.stopAllSounds();
    });
    connect(mnuTrayExit_, &QAction::triggered, this, &frmAbout::exitFromTray);
    connect(mnuTray_, &QMenu::aboutToShow, this, &frmAbout::updateTrayMenu);
    updateTrayMenu();
}

QPoint frmAbout::calendarPlace(const QRect& screen, const QRect& workArea, const QSize& size) {
    // Against the taskbar: on the left, at the work area's left edge and
    // bottom; at the top, at its right edge and top; otherwise (at the bottom
    // or on the right) in its bottom-right corner.
    if (workArea.left() > screen.left())
        return {workArea.left(), workArea.bottom() + 1 - size.height()};
    if (workArea.top() > screen.top()) return {workArea.right() + 1 - size.width(), workArea.top()};
    return {workArea.right() + 1 - size.width(), workArea.bottom() + 1 - size.height()};
}

void frmAbout::showCalendar() {
    // The date picker, as a calendar to look things up in.
    frmDateTime picker(p_.translation, p_.ports.dateNames);
    picker.setAmPm(p_.settings.df.ti == 1);
    picker.setDate(p_.now());
    // The size it is shown with: polished, its layout done.
    picker.ensurePolished();
    picker.adjustSize();
    // On the screen of the pointer (the tray icon was just clicked).
    QScreen* s = QGuiApplication::screenAt(QCursor::pos());
    if (!s) s = QGuiApplication::primaryScreen();
    auto* keep = new KeepAgainstTaskbar(&picker, s);
    keep->place();
    calendarPicker_ = &picker;
    picker.exec();
    calendarPicker_ = nullptr;
}

void frmAbout::updateTrayMenu() {
    mnuTrayBlocked_->setChecked(p_.supervision.blocked);
    mnuTrayStopSounds_->setEnabled(static_cast<bool>(ui_.hooks.stopAllSounds));
    mnuTrayMissed_->setEnabled(missed_ > 0);
}

void frmAbout::exitFromTray() {
    if (auto* m = ui_.mainWindow()) {
        m->askAndExit();
        return;
    }
    if (p_.main.showMessageBox(p_.translation.getMainText(220), mb::kYesNo | mb::kQuestion) !=
        mb::kAnswerYes)
        return;
    p_.main.exitProgram(true);
}

void frmAbout::translate() {
    translateForm(this, p_.translation);
    lblVersion_->setText(qs(versionText()));
    widenForTitle(this);
    updateTrayMenu();
}

void frmAbout::addTrayIcon() {
    wantTray_ = true;
    // Without a notification area the watcher says when one comes up.
    if (!trayAvailable()) return;
    if (!tray_) {
        tray_ = new QSystemTrayIcon(this);
        tray_->setContextMenu(mnuTray_);
        tray_->setToolTip(toolTip_);
        connect(
            tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    if (auto* m = ui_.mainWindow()) m->toggleWindowVisibility();
                }
            });
    }
    showTrayIcon(iconState_);
    tray_->show();
}

void frmAbout::removeTrayIcon() {
    wantTray_ = false;
    if (!tray_) return;
    tray_->hide();
    delete tray_;
    tray_ = nullptr;
}

bool frmAbout::trayIconShown() const { return tray_ && tray_->isVisible(); }

void frmAbout::showTrayIcon(int iconState) {
    iconState_ = iconState;
    mnuTrayBlocked_->setChecked(iconState == 1);
    if (tray_) tray_->setIcon(iconWithBadge(iconState == 1 ? icons_.blocked : icons_.tray, missed_));
}

void frmAbout::showMissedCount(int count) {
    missed_ = std::max(0, count);
    showTrayIcon(iconState_);
    setToolTip(plainToolTip_);
    updateTrayMenu();
}

void frmAbout::setToolTip(const QString& text) {
    plainToolTip_ = text;
    const QString missedLine =
        missed_ == 0 ? QString()
                     : qs(texts::fill(p_.translation.getMainText(missed_ == 1 ? 402 : 401),
                                      {std::to_string(missed_)}));
    // The notification area's tool tip held 63 characters; keep within that.
    toolTip_ = toolTipWithMissed(text, missedLine).left(63);
    if (tray_) tray_->setToolTip(toolTip_);
}

void frmAbout::notify(const QString& title, const QString& text, bool warning) {
    if (tray_ && tray_->isVisible())
        tray_->showMessage(title, text,
                           warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

int frmAbout::say(const QString& text) {
    return p_.main.showMessageBox(ss(text), mb::kInformation);
}

QString frmAbout::windowListText() const {
    QStringList lines;
    for (QWidget* w : ui_.loadedWindows())
        lines << w->objectName() + QStringLiteral("; ") + w->windowTitle();
    return lines.join(QLatin1Char('\n'));
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    if ((mods & Qt::ControlModifier) && (mods & Qt::ShiftModifier)) {
        switch (event->key()) {
            case Qt::Key_P:
                say(qs(p_.statistics.statisticsText()));
                return;
            case Qt::Key_Q:
                p_.statistics.writeDebugLog();
                return;
            case Qt::Key_A:
                addTrayIcon();
                return;
            case Qt::Key_D:
                removeTrayIcon();
                return;
            case Qt::Key_S:
                p_.speakMessages = !p_.speakMessages;
                return;
            case Qt::Key_L:
                say(qs(p_.folders.programFolder));
                return;
            case Qt::Key_T:
                say(QString::number(static_cast<long long>(::gettid())));
                return;
            case Qt::Key_W:
                say(windowListText());
                return;
            default:
                break;
        }
    }
    QWidget::keyPressEvent(event);
}

void frmAbout::closeEvent(QCloseEvent* event) {
    // The close box only hides it: this window lives as long as the program.
    if (!p_.exiting) {
        event->ignore();
        hide();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace qv

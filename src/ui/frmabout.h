#pragma once
// The About window: stays hidden, shows the program's name and version when
// asked, owns the notification-area icon and its menu, and answers the
// diagnostic keys (Ctrl+Shift with P, Q, A, D, S, L, T, W).

#include <QWidget>

#include "ui/programicons.h"

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
namespace qv {
class TrayAppearanceWatcher;
}

namespace qv {

class Program;
class QtUserInterface;

class frmAbout : public QWidget {
    Q_OBJECT
  public:
    frmAbout(Program& program, QtUserInterface& ui, QWidget* parent = nullptr);
    ~frmAbout() override;

    void translate();
    // 1 shows the blocked icon, anything else the normal one.
    void showTrayIcon(int iconState);
    void setToolTip(const QString& text);
    // The number of alarms nobody answered: a badge on the icon, a line in
    // its tool tip and the menu's "Missed alarms".
    void showMissedCount(int count);
    int missedCount() const { return missed_; }
    QString trayToolTip() const { return toolTip_; }
    // A desktop notification through the notification area (when there is one).
    void notify(const QString& title, const QString& text, bool warning = true);
    // Adds the icon to the notification area (when there is one) or takes it away.
    void addTrayIcon();
    void removeTrayIcon();
    bool trayIconShown() const;
    // Adds the icon once a notification area has come up after the program
    // (the desktop announces one; nothing polls while there is none).
    void lookForTray();
    // What tells of a notification area coming up.
    TrayAppearanceWatcher* trayAppearanceWatcher() const { return trayWatch_; }
    // The notification-area menu (also reachable without a tray, for tests).
    QMenu* trayMenu() const { return mnuTray_; }
    // Whether this desktop has a notification area now.
    bool trayAvailable() const;
    // The tray's calendar: the date picker placed against the taskbar. Modal.
    void showCalendar();
    // The picker while it is open (tests).
    QWidget* calendarPicker() const { return calendarPicker_; }
    // Where a window of `size` goes against the taskbar, from the screen and
    // the work area the taskbar leaves.
    static QPoint calendarPlace(const QRect& screen, const QRect& workArea, const QSize& size);

    // The text the P key shows, and the window list of the W key.
    QString windowListText() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildTrayMenu();
    void updateTrayMenu();
    void exitFromTray();
    int say(const QString& text);

    Program& p_;
    QtUserInterface& ui_;
    ProgramIcons icons_;
    int iconState_ = 0;
    QLabel* lblProgram_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QString toolTip_ = QStringLiteral("Quorvane");
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* mnuTray_ = nullptr;
    QAction* mnuTrayToggleWindow_ = nullptr;
    QAction* mnuTrayAddAlarm_ = nullptr;
    QAction* mnuTrayShowCalendar_ = nullptr;
    QAction* mnuTrayBlocked_ = nullptr;
    QAction* mnuTrayStopSounds_ = nullptr;
    QAction* mnuTrayExit_ = nullptr;
    QAction* mnuTrayMissed_ = nullptr;
    int missed_ = 0;
    QString plainToolTip_ = QStringLiteral("Quorvane");
    TrayAppearanceWatcher* trayWatch_ = nullptr;
    QWidget* calendarPicker_ = nullptr;
    // Cleared when the icon was taken away on purpose (Ctrl+Shift+D).
    bool wantTray_ = true;
};

}  // namespace qv

#pragma once
// The alarm window: the alarm's message, OK and the snooze row, a context menu
// for the alarm, and the sound player of a sound action.

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "base/datetime.h"
#include "model/alarm.h"
#include "model/clsaction.h"

class QComboBox;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace qv {

class Program;
class QtActionPerformer;
class frmSound;
class SnoozePresets;

class frmAlarm : public QWidget {
    Q_OBJECT
  public:
    frmAlarm(Program& program, QtActionPerformer& performer);
    ~frmAlarm() override;

    // Snooze unit list: index <-> time-unit code (seconds, minutes, hours,
    // days, weeks, months, years).
    static int unitCodeOfIndex(int index);
    static int indexOfUnitCode(int code);

    void showAlarm(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& action,
                   DateTime dueDate, bool timed, const std::string& message);
    void playSound(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& action,
                   DateTime dueDate, bool timed, bool useOwnOptions, bool volumeSwitch, int volume,
                   const std::string& defaultSound);
    void translate();

    // One sounding of an alarm shows one window. A window showing `alarm`
    // sounding for `due` (`timed` alike) takes the other half of it: a sound
    // window the message (it becomes a message window that also plays), a
    // message window the sound (its sound ending leaves it open).
    bool showsSounding(const AlarmPtr& alarm, DateTime due, bool timed) const;
    void addMessage(const std::shared_ptr<clsAction>& action, const std::string& message);
    void addSound(const std::shared_ptr<clsAction>& action, bool useOwnOptions, bool volumeSwitch,
                  int volume, const std::string& defaultSound);

    // The player could not play the action's own sound (`file`: the file or
    // pattern): the window says so, shows itself and stays until answered.
    void ownSoundFailed(const std::string& file);
    bool keepsAfterSound() const { return keepAfterSound_; }

    // Shows the window modeless and brings it in front of the others.
    void showWindow();
    // The buttons' work (guarded by the one-second guard).
    void cmdOk_Click();
    void cmdSnooze_Click();
    // Enables the menu items for this alarm and pops the menu up at `globalPos`.
    void showContextMenu(const QPoint& globalPos);
    void refreshMenu();

    // Closes without the close routine and without the guard (player ended,
    // oldest player dropped, program exit).
    void closeWindow();

    // ---- State ----
    AlarmPtr alrt;
    std::shared_ptr<clsAction> action;
    QPointer<frmSound> soundWindow;
    // The sounding (due date) the player was started for.
    DateTime soundDueDate;
    DateTime dueDate;
    bool timed = false;
    bool isSoundWindow = false;
    bool hasMessage = false;
    bool menuAllowed = false;
    std::int16_t changeFlags = 0;
    bool closing() const { return closing_; }

    // The controls, for the performer and for tests.
    QPlainTextEdit* txtAlarmMessage = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdSnooze = nullptr;
    QSpinBox* vnbSnoozeAmount = nullptr;
    QComboBox* cmbSnoozeUnit = nullptr;
    QComboBox* cmbSnoozeAddTo = nullptr;
    SnoozePresets* fraSnoozePresets = nullptr;
    // A preset of SnoozePresets: sets the snooze row to it and snoozes.
    void snoozePreset(int index);
    QMenu* mnuAlarm = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* mnuDeleteNotSounding = nullptr;
    QAction* mnuTurnOn = nullptr;
    QAction* mnuTurnOff = nullptr;
    QAction* mnuStopSnoozing = nullptr;
    QAction* mnuProperties = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void fillCommon(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& action,
                    DateTime dueDate, bool timed);
    void setSnoozeRow(bool visible, bool enabled);
    void presetSnoozeRow();
    void startPlayer(const std::shared_ptr<clsAction>& action, bool useOwnOptions,
                     bool volumeSwitch, int volume, const std::string& defaultSound);
    void nameSnoozeUnits();
    // Handles a key for the window and its controls; true when it was used.
    bool handleKey(QKeyEvent* event, QObject* target);
    // The present moment with its fraction of a second.
    double preciseNow() const;
    bool guardPasses() const;
    void closeRoutine();
    void stopPlayer();
    void bringToFront(bool keepOnTop);
    std::string text(int number) const;
    int ask(const std::string& question, int buttons);
    void deleteAlarm(bool onlyIfNotSounding);
    void switchAlarm(bool active);
    void stopSnoozing();

    Program& p_;
    QtActionPerformer& performer_;
    double shownAt_ = 0;
    bool closing_ = false;
    bool forceClose_ = false;
    bool routineClose_ = false;
    int asking_ = 0;
    bool keepAfterSound_ = false;
};

}  // namespace qv

#pragma once
// Quick alarms: "Alarm in" in the tray menu and the main window's Alarms menu.
// A preset (5, 10, 15, 30 minutes, an hour) sets a one-off alarm at once;
// "Other time..." opens this small dialog for a typed delay or clock time and
// a message. Each makes an ordinary alarm in the quick alarms group.

#include <QDialog>
#include <functional>

#include "core/alarmrequest.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace qv {

class Program;

class frmQuickAlarm : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPresetCount = 5;
    // The presets' delays in minutes.
    static int presetMinutes(int index);
    // A preset's caption (with its access key) in the program's language;
    // index kPresetCount is "Other time...".
    static QString presetCaption(const Program& program, int index);

    explicit frmQuickAlarm(Program& program, QWidget* parent = nullptr);

    void translate();
    // The alarm made by OK; null before.
    const AddedAlarm& added() const { return added_; }
    void accept() override;

    QComboBox* cmbQuickWhen = nullptr;
    QLineEdit* txtQuickMessage = nullptr;
    QLabel* lblQuickMoment = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

  private:
    // Reads the fields; kNone when they make an alarm.
    RequestError readRequest(AlarmRequest& request) const;
    void preview();
    QString errorText(RequestError error) const;

    Program& p_;
    AddedAlarm added_;
};

// Sets the quick alarm of preset `index` now.
AddedAlarm addPresetQuickAlarm(Program& program, int index);
// A short line for the user about an added alarm ("Quick alarm set for ...").
QString describeAddedQuickAlarm(const Program& program, const AddedAlarm& added);

// Adds the "Alarm in" submenu to `parent`: the presets and "Other time...",
// named `prefix` and `prefix` + "(i)" so that the window's translation gives
// their captions. `added` hears of every alarm a preset set; `other` opens
// the dialog.
QMenu* addQuickAlarmMenu(QMenu* parent, Program& program, const QString& prefix,
                         const std::function<void(const AddedAlarm&)>& added,
                         const std::function<void()>& other);

// The dialog, modal, over `parent`; the alarm it set (or none).
AddedAlarm runQuickAlarmDialog(Program& program, QWidget* parent);

}  // namespace qv

#pragma once
// The alarm properties dialog: makes a new alarm, edits one alarm or several
// at once, or edits the template alarm of a group. It works on the controls
// and on copies of the actions; nothing reaches the alarms before OK, and
// with several alarms only the fields the user touched are written.

#include <QDialog>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/clsaction.h"
#include "model/repetition.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace qv {
class RemindersRow;
}

namespace qv {

class DaysOffAlarmRow;

class Program;
class VNumberBox;
class RepetitionPicker;

class frmAlarmProperties : public QDialog {
    Q_OBJECT
  public:
    enum Mode { kEdit = 0, kNew = 1, kTemplate = 2 };

    explicit frmAlarmProperties(Program& program, QWidget* parent = nullptr);

    // The alarms to edit (one or more), the mode, and whether any of them is
    // read-only (then only the buttons stay usable).
    void setAlarms(const std::vector<AlarmPtr>& alarms, int mode, bool readOnly);
    void translate();

    // The whole round for the main window and the other dialogs: true when
    // the user pressed OK and the alarms were written.
    static bool editAlarms(Program& program, QWidget* parent, const std::vector<AlarmPtr>& alarms,
                           int mode);

    // True unless `group` is synchronised and the user, asked, does not want to
    // put alarms there by hand (its next synchronisation would replace them).
    static bool mayPutAlarmsInto(Program& program, const AlarmGroupPtr& group);

    // The list positions of the three unit lists and the unit codes they stand for.
    static int unitCodeAt(int position);
    static int positionOfUnit(int code);

    // Date-time row r: the moment its fields read as, or nothing.
    std::optional<DateTime> readRow(int row) const;
    void writeRow(int row, DateTime moment);
    QLineEdit* dateField(int index) const { return txtDateUnit_[static_cast<std::size_t>(index)]; }
    QListWidget* actionList() const { return lstActions_; }
    // Appends a working copy of a new action of `type` (what "New" offers).
    void addAction(std::int16_t type, const std::string& plugin = {});
    void addAction(const ActionPtr& action);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Which fields the user changed since the dialog was filled.
    enum Field : std::uint32_t {
        kName = 1u << 0,
        kMoment = 1u << 1,
        kRow0 = 1u << 2,
        kPeriodAmount = 1u << 3,
        kPeriodUnit = 1u << 4,
        kInclude0 = 1u << 5,
        kRow1 = 1u << 6,
        kRow2 = 1u << 7,
        kInclude1 = 1u << 8,
        kWeekdays = 1u << 9,
        kInclude2 = 1u << 10,
        kAdvanced = 1u << 11,
        kCorrectionAmount = 1u << 12,
        kCorrectionUnit = 1u << 13,
        kSoundAfterInactive = 1u << 14,
        kImportance = 1u << 15,
        kDurationAmount = 1u << 16,
        kDurationUnit = 1u << 17,
        kGroup = 1u << 18,
        kReminders = 1u << 30,
        kAll = ((1u << 19) - 1) | kReminders,
        // What decides when an alarm sounds.
        kTiming = kMoment | kRow0 | kPeriodAmount | kPeriodUnit | kInclude0 | kRow1 | kRow2 |
                  kInclude1 | kWeekdays | kInclude2 | kAdvanced | kCorrectionAmount |
                  kCorrectionUnit,
    };

    void build();
    QWidget* buildDateRow(int row);
    QComboBox* unitList(const char* name);
    // A caption, a number box and a unit list in a row; their changes flag the two fields.
    QHBoxLayout* amountRow(QWidget* parent, const char* labelName, const char* caption,
                           const char* boxName, const char* unitListName, std::uint32_t amountField,
                           std::uint32_t unitField, VNumberBox*& box, QComboBox*& units);
    void touch(std::uint32_t field);
    void loadAlarm(const Alarm& alarm);
    // Several alarms: the fields where they differ show nothing.
    void showMixed();
    void updateTitle();
    void updateVisibility();
    void showActions();
    void showActionSettings();
    void storeActionSetting();
    void moveAction(int by);
    bool validate(const std::vector<AlarmPtr>& previews);
    // The alarms as OK would leave them, as copies: what the checks look at.
    std::vector<AlarmPtr> previewAlarms() const;
    // Asks before saving an alarm that would never sound; false goes back.
    bool mayNeverSound(const std::vector<AlarmPtr>& previews);
    // The fields OK writes: all of them for one alarm, the touched ones for several.
    std::uint32_t fieldsToApply() const { return alarms_.size() == 1 ? kAll : changedFields_; }
    void applyFields(Alarm& a, std::uint32_t fields) const;
    // Every sound action's file is there, or the user keeps it anyway.
    bool soundFilesFound();
    void commit();
    void postCommitChecks(const AlarmPtr& alarm);
    QString text(int number) const;
    int ask(int textNumber, int buttons, const std::string& suffix = {});
    void rowFromClipboard(int row);

    Program& p_;
    std::vector<AlarmPtr> alarms_;
    int mode_ = kEdit;
    bool readOnly_ = false;
    std::vector<AlarmGroupPtr> groups_;
    std::vector<ActionPtr> actions_;
    ActionPtr currentAction_;
    AlarmPtr testAlarm_;  // what the Test button tries: the alarm as typed
    // The settings control of a plug-in action (type 16) and the action it shows.
    QWidget* actionSettingsControl_ = nullptr;
    ActionPtr controlAction_;
    void showPlugInControl(const ActionPtr& action);
    // False when the plug-in's control gave no usable settings: they stay as they were.
    bool storePlugInSettings(const ActionPtr& action);
    bool actionsChanged_ = false;
    std::uint32_t changedFields_ = 0;
    bool filling_ = false;

    QLabel* lblAlarmName_;
    QLineEdit* txtAlarmName_;
    QLabel* lblAlarmgroup_;
    QComboBox* cmbAlarmgroup_;
    QComboBox* cmbAlarmMoment_;
    std::array<QLineEdit*, 18> txtDateUnit_{};
    std::array<QComboBox*, 3> cmbAmPm_{};
    std::array<QWidget*, 3> dateRow_{};
    QWidget* fraRepeat_;
    VNumberBox* vnbPeriodAmount_;
    QComboBox* cmbPeriodUnit_;
    std::array<QCheckBox*, 3> chkActive_{};
    std::array<QCheckBox*, 7> chkWeekday_{};
    DaysOffAlarmRow* daysOffRow_ = nullptr;
    QLineEdit* txtAdvanced_;
    VNumberBox* vnbCorrection_;
    QComboBox* cmbCorrectionUnit_;
    QListWidget* lstActions_;
    QPushButton* cmdNewAction_;
    QPushButton* cmdRemoveAction_;
    QPushButton* cmdUp_;
    QPushButton* cmdDown_;
    QPushButton* cmdTestAction_;
    QPushButton* cmdRemoveAllActions_;
    QWidget* fraActionSettings_;
    QLabel* lblActionSetting_;
    QPlainTextEdit* txtMessage_;
    QCheckBox* chkSnoozeOption_;
    QLineEdit* txtLine_;
    QPushButton* cmdBrowse_;
    QCheckBox* chkSoundWindow_;
    std::array<QRadioButton*, 3> optSoundLoop_{};
    VNumberBox* vnbSoundLoop_;
    std::array<QRadioButton*, 2> optSoundLoopInterval_{};
    VNumberBox* vnbSoundLoopInterval_;
    QLabel* lblActionSetting2_;
    QLineEdit* txtDate_;
    QPushButton* cmdRefDateSelect_;
    QPushButton* cmdRefDateNow_;
    QCheckBox* chkSoundAfterInactive_;
    QComboBox* cmbImportance_;
    VNumberBox* vnbDurationAmount_;
    QComboBox* cmbDurationUnit_;
    QPushButton* cmdOk_;
    QPushButton* cmdCancel_;
    RemindersRow* reminderRow_ = nullptr;

    // The quick choice of the common repetitions, the help on expressions and
    // the next moments of the timing as typed.
    void buildRepetition();
    void translateRepetition();
    RepetitionTiming timingOfFields() const;
    void showRepetition();
    void timingEdited();
    void pickRepetition();
    void showNextMoments();
    void openExpressionHelp();
    bool picking_ = false;
    RepetitionPicker* repetitionPicker_ = nullptr;
    QPushButton* cmdAdvancedHelp_ = nullptr;
    QLabel* lblNextMoments_ = nullptr;

  public:
    RepetitionPicker* repetitionPicker() const { return repetitionPicker_; }
    QLabel* nextMomentsLabel() const { return lblNextMoments_; }
};

}  // namespace qv

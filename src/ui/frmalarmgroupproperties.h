#pragma once
// Properties of one or several alarm groups: name, active, colour, the group's
// template alarm and its type (an ordinary group or one kept in step by a
// synchronisation plug-in). With several groups only what the user touched is
// written to them.

#include <QColor>
#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/alarm.h"
#include "model/alarmgroup.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class DaysOffEditor;

class Program;
class QtUserInterface;

class frmAlarmGroupProperties : public QDialog {
    Q_OBJECT
  public:
    // Edits an alarm in the alarm dialog's template mode; true when confirmed.
    using AlarmEditor = std::function<bool(const AlarmPtr& alarm)>;
    // A synchronisation plug-in: its identifier and the description it gives.
    struct SynchPlugIn {
        std::string identifier;
        std::string description;
    };

    // Change flags: only flagged fields are written.
    enum Flag { kName = 1, kTemplate = 2, kType = 4, kColour = 8, kActive = 16 };

    frmAlarmGroupProperties(Program& program, AlarmEditor editAlarm, QWidget* parent = nullptr);

    // The synchronisation plug-ins offered after the ordinary type (set before
    // setAlarmGroups).
    void setSynchPlugIns(std::vector<SynchPlugIn> plugIns);
    void setAlarmGroups(std::vector<AlarmGroupPtr> groups);
    Q_INVOKABLE void translate();

    int changeFlags() const { return flags_; }
    // Asks for a colour; the colour dialog unless replaced (tests).
    std::function<std::optional<QColor>(const QColor& initial)> chooseColour;

    // Opens the dialog modally on `groups`; true when OK wrote them. The
    // opener refreshes nothing: the change is reported through the supervision.
    static bool run(Program& program, QtUserInterface& ui, QWidget* parent,
                    std::vector<AlarmGroupPtr> groups, AlarmEditor editAlarm);

    // Stored colour (red in the low byte) and QColor.
    static QColor toQColor(std::int32_t stored);
    static std::int32_t fromQColor(const QColor& colour);

  public slots:
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString text(int number) const;
    void updateCaption();
    void showColour();
    void pickColour();
    void showTemplateState();
    void setTemplate();
    void resetTemplate();
    void typeChanged(int index);
    // The chosen synchronisation plug-in's own settings control, filled with
    // the group's settings; none for the ordinary type or a plug-in without one.
    void showSynchControl();

    Program& p_;
    AlarmEditor editAlarm_;
    std::vector<AlarmGroupPtr> groups_;
    std::vector<SynchPlugIn> plugIns_;
    int flags_ = 0;
    bool filling_ = false;
    std::int32_t colour_ = -1;
    // The working template: XML text of the "tmpl" element, empty for the program's own.
    std::string template_;
    // The stored plug-in that is not installed (kept unless the type is changed).
    std::string missingPlugIn_;

    QLineEdit* txtAlarmGroupName_ = nullptr;
    QCheckBox* chkActive_ = nullptr;
    QLabel* lblColorValue_ = nullptr;
    QPushButton* cmdColor_ = nullptr;
    QComboBox* cmbType_ = nullptr;
    QGroupBox* fraSynchSettings_ = nullptr;
    QWidget* fraSynchControl_ = nullptr;
    QWidget* synchSettingsControl_ = nullptr;
    std::string synchControlPlugIn_;
    QLabel* lblTemplateAlarm_ = nullptr;
    DaysOffEditor* daysOffEditor_ = nullptr;
    QPushButton* cmdSetTemplate_ = nullptr;
    QPushButton* cmdResetTemplate_ = nullptr;
    QPushButton* cmdOk_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

}  // namespace qv

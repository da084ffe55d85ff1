#pragma once
// Reminders before an alarm in the alarm dialog: a compact row (the list as
// one line of text and a button) and the small dialog the button opens to
// add and remove them.

#include <QDialog>
#include <QWidget>
#include <vector>

#include "model/reminder.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qv {

class Program;
class VNumberBox;

class frmReminders : public QDialog {
    Q_OBJECT
  public:
    frmReminders(Program& program, std::vector<Reminder> reminders, QWidget* parent = nullptr);

    const std::vector<Reminder>& reminders() const { return reminders_; }
    void translate();
    // Adds what the amount and unit fields say (an equal one only once).
    void addReminder();
    void removeSelected();

    QListWidget* lstReminders = nullptr;
    VNumberBox* vnbReminderAmount = nullptr;
    QComboBox* cmbReminderUnit = nullptr;
    QPushButton* cmdAddReminder = nullptr;
    QPushButton* cmdRemoveReminder = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

  private:
    void showList();

    Program& p_;
    std::vector<Reminder> reminders_;
};

// The row in the alarm dialog.
class RemindersRow : public QWidget {
    Q_OBJECT
  public:
    RemindersRow(Program& program, QWidget* parent = nullptr);

    void setReminders(const std::vector<Reminder>& reminders);
    const std::vector<Reminder>& reminders() const { return reminders_; }
    // Several alarms with different reminders: the line says so and shows none.
    void showMixed(const QString& placeholder);
    void translate();
    // Opens the dialog; a change made there is taken and reported.
    void edit();

    QLabel* lblReminders = nullptr;
    QLineEdit* txtReminders = nullptr;
    QPushButton* cmdReminders = nullptr;

  signals:
    void edited();

  private:
    void showText();

    Program& p_;
    std::vector<Reminder> reminders_;
    bool mixed_ = false;
};

}  // namespace qv

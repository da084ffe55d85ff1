#pragma once
// The alarms nobody answered: each can be snoozed from now or marked done.

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace qv {

class Program;
class VNumberBox;

class frmMissedAlarms : public QWidget {
    Q_OBJECT
  public:
    explicit frmMissedAlarms(Program& program, QWidget* parent = nullptr);

    // Fills the list again from the program's missed alarms.
    void refresh();
    Q_INVOKABLE void translate();
    // The buttons' work on the selected entries.
    void snoozeSelected();
    void doneSelected();
    void allDone();

    QLabel* lblMissed = nullptr;
    QTreeWidget* lstMissed = nullptr;
    VNumberBox* vnbSnoozeAmount = nullptr;
    QComboBox* cmbSnoozeUnit = nullptr;
    QPushButton* cmdSnooze = nullptr;
    QPushButton* cmdDone = nullptr;
    QPushButton* cmdAllDone = nullptr;
    QPushButton* cmdClose = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::vector<std::size_t> selectedEntries() const;
    void nameUnits();
    void updateButtons();

    Program& p_;
};

}  // namespace qv

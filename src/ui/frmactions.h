#pragma once
// The custom actions window: every built-in action type and every action a
// plug-in offers, with its category and description, filtered as the user
// types. The alarm dialog shows it modally and takes the choice with getAction.

#include <QDialog>
#include <string>
#include <vector>

#include "model/alarm.h"
#include "model/clsaction.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace qv {

class Program;

class frmActions : public QDialog {
    Q_OBJECT
  public:
    explicit frmActions(Program& program, QWidget* parent = nullptr);

    // After the window was closed by OK: a new action for the selected entry,
    // owned by `owner` (may be null); null when cancelled or nothing is selected.
    ActionPtr getAction(const AlarmPtr& owner) const;

    Q_INVOKABLE void translate();
    // Refills the list with the entries whose name holds the filter text.
    void fill();
    QLineEdit* filterBox() const { return txtAction_; }
    QTreeWidget* list() const { return lvwActions_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Program& p_;
    // Parallel: the built-in types first, then the host's action plug-ins.
    std::vector<std::string> names_, categories_, descriptions_, keys_;
    QLabel* lblAction_;
    QLineEdit* txtAction_;
    QTreeWidget* lvwActions_;
    QPushButton* cmdOk_;
    QPushButton* cmdCancel_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace qv

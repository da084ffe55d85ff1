#pragma once
// The find window: searches the stored text of every alarm (so also values
// the lists do not show), or only the last results, and opens what it found
// in the alarm properties dialog.

#include <QWidget>
#include <functional>
#include <vector>

#include "model/alarm.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace qv {

class Program;

class frmFind : public QWidget {
    Q_OBJECT
  public:
    explicit frmFind(Program& program, QWidget* parent = nullptr);

    // Opens the alarms found (the alarm properties dialog, through the main window).
    std::function<void(const std::vector<AlarmPtr>&)> openAlarms;

    void search();
    // The results follow the alarms: deleted or unloaded ones leave them, the
    // others show their name and group as they are now.
    void followAlarms();
    Q_INVOKABLE void translate();
    const std::vector<AlarmPtr>& results() const { return results_; }
    QTreeWidget* resultList() const { return lvwResults_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape closes the window, as it closes a dialog.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void openSelected();
    bool isLoaded(const AlarmPtr& alarm) const;
    // Fills the list from results_, selecting what was selected.
    void showResults(const std::vector<AlarmPtr>& selected);
    std::vector<AlarmPtr> selectedResults() const;
    void showSummary();

    Program& p_;
    std::vector<AlarmPtr> results_;
    bool searched_ = false;
    QLabel* lblFind_;
    QLineEdit* txtFind_;
    QCheckBox* chkMatchCase_;
    QCheckBox* chkSearchWithinResults_;
    QPushButton* cmdFind_;
    QLabel* lblResults_;
    QTreeWidget* lvwResults_;
    QLabel* lblSummary_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace qv

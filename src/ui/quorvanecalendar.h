#pragma once
// The alarm calendar shown in the main window: two calendars one above the
// other, each with its toolbar, importance filter and selected-date label,
// split by a divider the user drags. The owner hands it the occurrences of
// the alarms for each view's range; it turns them into calendar entries, lets
// the user move through time and change the scope, remembers its layout and
// exports a view as an HTML page.

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "base/datetime.h"
#include "controls/vcalendar.h"
#include "model/alarm.h"
#include "ui/calendarlisting.h"
#include "xml/xmlnode.h"

class QAction;
class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;

namespace qv {

class Program;

class QuorvaneCalendar : public QWidget {
    Q_OBJECT
  public:
    explicit QuorvaneCalendar(Program& program, QWidget* parent = nullptr);
    ~QuorvaneCalendar() override;

    // The divider's place from the top, in twips.
    static constexpr float kDefaultHorDivY = 4315;

    int getNumberOfViews() const { return 2; }
    DateTime getFirstDate(int view) const;
    DateTime getLastDate(int view) const;
    // 3 minus the filter's list position: 3 shows nothing, -2 everything.
    int getMinImportance(int view) const;
    // The cells of a view (VCalendar::cellBounds) and the entries a cell shows
    // at most: what the owner lists for.
    std::vector<DateTime> cellBounds(int view) const;
    int cellCapacity(int view) const;
    void clear(int view);
    // One entry per occurrence: alarms[k] from startDates[k] to endDates[k]
    // (an alarm may come several times). The calendar is laid out once.
    void addAlarms(int view, const std::vector<AlarmPtr>& alarms,
                   const std::vector<DateTime>& startDates, const std::vector<DateTime>& endDates);
    // The same from a listing, without a copy of the alarm per occurrence.
    void addAlarms(int view, const CalendarOccurrences& occurrences);
    std::shared_ptr<VPeriod> getSelectedPeriod(int view) const;
    std::shared_ptr<VPeriod> getSelectedEntryPeriod(int view) const;
    bool isAlarmSelected(int view) const;
    std::vector<AlarmPtr> getSelectedAlarms(int view) const;

    // The layout of both views and the divider ("calview"), and back.
    XMLNodePtr getSettings() const;
    void setSettings(const XMLNode& node);
    // The divider back to its default place; both views report a new scope.
    void resetWindowSize();
    void Refresh();
    void translate();
    // The settings that reach the calendars: interval bars, tooltips.
    void applyProgramSettings();

    // Moves every view the user has left alone for three minutes or more to
    // the present (when the automatic update is on); true when one moved.
    bool autoUpdate();
    // Where "now" comes from (the program's clock unless a test says otherwise).
    void setClock(std::function<DateTime()> clock);
    // The moment the next automatic check is due (never while none is).
    DateTime nextAutoUpdateCheck() const { return nextCheck_; }

    // The moment a view was last used (clicked, typed in, filtered, its toolbar).
    DateTime lastUse(int view) const { return lastUse_[idx(view)]; }

    // The export of a view: temp.html (and the stylesheet beside it) in the
    // program folder, opened in the desktop's browser. False when the page
    // could not be written.
    bool exportView(int view);

    // The parts, for the owner's keys and for tests.
    VCalendar* calendar(int view) const { return vcal_[idx(view)]; }
    QToolBar* toolBar(int view) const { return tlbCal_[idx(view)]; }
    // A toolbar button by its key ("k1" .. "k12").
    QAction* button(int view, const char* key) const;
    QComboBox* importanceList(int view) const { return cmbImportance_[idx(view)]; }
    QLabel* selectedDateLabel(int view) const { return lblSelectedDate_[idx(view)]; }
    QSplitter* divider() const { return lblHorDiv_; }
    float horDivY() const;

  signals:
    void Click(int view);
    void DblClick(int view);
    void KeyDown(int view, int key, int modifiers);
    // The shown range or the filter of a view changed: the owner hands it new
    // occurrences.
    void ScopeChanged(int view);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    static std::size_t idx(int view) { return view == 0 ? 0 : 1; }
    void buildView(int view);
    void toolbarAction(int view, int key);
    void setScopeUnit(int view, int unit);
    // The lower view shows the period of a cell whose "+N" was double-clicked:
    // the day of a day or longer cell, else the hour.
    void showPeriodBelow(const VPeriod& period);
    void updateDirectionIcons(int view);
    void updateSelectedDateLabel(int view);
    void touch(int view);
    void changed(int view);
    void scheduleAutoUpdate();
    void applyHorDivY();
    // The selected-date label beside the filter when the whole row fits the
    // view's width, else on its own line below; the toolbar gives way last
    // (its extension menu holds the buttons that do not fit).
    void arrangeBar(int view);
    // The start of the cell that holds `now` in a view's cell length.
    DateTime presentCellOf(int view, DateTime now) const;
    double pixelsPerTwip() const;
    QIcon icon(const char* name) const;
    QString text(int number) const;

    Program& p_;
    std::function<DateTime()> clock_;
    std::array<QFrame*, 2> fraCal_{};
    std::array<VCalendar*, 2> vcal_{};
    std::array<QToolBar*, 2> tlbCal_{};
    std::array<QToolButton*, 2> scopeUnitButton_{};
    std::array<QComboBox*, 2> cmbImportance_{};
    std::array<QLabel*, 2> lblImportance_{};
    std::array<QLabel*, 2> lblSelectedDate_{};
    std::array<QHBoxLayout*, 2> barRow_{};
    std::array<QHBoxLayout*, 2> dateRow_{};
    std::array<DateTime, 2> lastUse_{};
    std::array<DateTime, 2> presentCell_{};
    QSplitter* lblHorDiv_ = nullptr;
    float horDivY_ = kDefaultHorDivY;
    QTimer* autoTimer_ = nullptr;
    DateTime nextCheck_ = kNever;
    std::shared_ptr<const DateNames> names_;
};

}  // namespace qv

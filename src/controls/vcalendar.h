#pragma once
// The calendar: lays dated entries out on a grid. A scope (a unit and a
// length from a first date) is cut into lines of one line unit each (hours,
// days, weeks or years) and every line into sub-unit cells (minutes, hours,
// days or months). Each cell knows the period it covers; each entry is shown
// in every cell whose period it overlaps, with an interval bar marking the
// part of the cell it covers.

#include <QMetaType>
#include <QVariantMap>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/dateformat.h"
#include "base/datetime.h"
#include "controls/vgrid.h"

namespace qv {

// A stretch of time from its start (inclusive) to its end (exclusive).
class VPeriod : public VGridObject {
  public:
    VPeriod() = default;
    VPeriod(DateTime start, DateTime end) : startDate(start), endDate(end) {}
    static std::shared_ptr<VPeriod> createPeriod(DateTime start, DateTime end) {
        return std::make_shared<VPeriod>(start, end);
    }
    DateTime startDate;
    DateTime endDate;
};

// What the calendar keeps behind each entry.
class VCalendarEntry : public VGridObject {
  public:
    DateTime startDate;
    DateTime endDate;
    std::shared_ptr<VGridObject> obj;          // the caller's object
    QString dateFormat = defaultDateFormat();  // shared, not copied per entry
    static const QString& defaultDateFormat();
    QString text;  // the caller's text

    // The period, then a line break and the caller object's own tooltip;
    // empty while tooltips are off.
    QString getToolTip() const override;
    // The start in the calendar's entry prefix format, a blank, the text.
    QString getText() const override;

    // What the entries of a calendar share; set by the calendar.
    struct Context {
        bool showToolTip = true;
        std::shared_ptr<const DateNames> names;
        std::string prefixFormat;
    };
    const Context* context = nullptr;
};

class VCalendar : public QWidget {
    Q_OBJECT
  public:
    explicit VCalendar(QWidget* parent = nullptr);
    ~VCalendar() override;

    VGrid* Grid() const { return vgr_; }

    // Layout properties; each change rebuilds the grid unless LockRefresh.
    DateTime FirstDate() const { return firstDate_; }
    void setFirstDate(DateTime d);
    // 0 the system's setting, 1 Sunday .. 7 Saturday.
    int FirstDayOfWeek() const { return firstDayOfWeek_; }
    void setFirstDayOfWeek(int d);
    // 1: lines are columns, sub-units rows; 0: the other way round.
    int UnitLineDirection() const { return unitLineDirection_; }
    void setUnitLineDirection(int d);
    int ScopeLength() const { return scopeLength_; }
    void setScopeLength(int n);
    // Sets the whole layout that belongs to the unit (units 2 to 6) and
    // scrolls the grid back to its start.
    int ScopeUnit() const { return scopeUnit_; }
    void setScopeUnit(int unit);
    int ShownScopeLength() const { return shownScopeLength_; }
    void setShownScopeLength(int n);
    int ShownScopeBreadth() const { return shownScopeBreadth_; }
    void setShownScopeBreadth(int n);
    bool LockRefresh() const { return lockRefresh_; }
    void setLockRefresh(bool on) { lockRefresh_ = on; }
    const std::string& LineHeaderFormat() const { return lineHeaderFormat_; }
    void setLineHeaderFormat(const std::string& f);
    const std::string& SecondaryHeaderFormat() const { return secondaryHeaderFormat_; }
    void setSecondaryHeaderFormat(const std::string& f);
    const std::string& CellHeaderFormat() const { return cellHeaderFormat_; }
    void setCellHeaderFormat(const std::string& f);
    const std::string& EntryPrefixFormat() const { return entryPrefixFormat_; }
    void setEntryPrefixFormat(const std::string& f);
    int intervalBarWidth() const { return intervalBarWidth_; }
    void setIntervalBarWidth(int w);

    // Entry tooltips (the user's show-tooltips setting).
    bool showToolTips() const { return showToolTips_; }
    void setShowToolTips(bool on);
    // Weekday and month names for captions and entries (English by default).
    void setDateNames(std::shared_ptr<const DateNames> names);
    // Where "now" comes from (the present cell is marked).
    void setClock(std::function<DateTime()> clock) { clock_ = std::move(clock); }

    // The persisted properties under their stored names.
    QVariantMap saveProperties() const;
    void loadProperties(const QVariantMap& props);

    int NumberOfEntries() const { return static_cast<int>(entries_.size()); }
    void clear();
    // Room for n more entries (a caller about to add many).
    void reserveEntries(int n);
    void addEntry(DateTime startDate, DateTime endDate, const QString& text, const QString& key,
                  std::int32_t color, std::shared_ptr<VGridObject> obj = nullptr);

    // The cells in time order as the moments between them: the first cell's
    // start, then each cell's end (the next one's start).
    const std::vector<DateTime>& cellBounds() const { return bounds_; }
    // The most entries a cell of the present size shows.
    int cellCapacity() const { return vgr_->cellCapacity(); }
    // How the entries added since the last clear were listed: for the cells
    // between `bounds`, at most `perCell` entries per cell of each alarm and
    // of all together, and `totals[c]` entries overlap cell c in all (listed
    // or not). A cell then holds at most `perCell` entries and counts the rest
    // into its "+N". Taken only while the cells are the ones listed for.
    void setListing(std::vector<DateTime> bounds, std::vector<std::int64_t> totals, int perCell);

    // The start of the scope unit that holds `date`.
    DateTime getBaseDate(DateTime date) const;
    DateTime getFirstDateShown() const;
    DateTime getLastDateShown() const;
    // Moves FirstDate by whole scope units (negative: back).
    void moveFirstDate(int units);

    std::shared_ptr<VCalendarEntry> getSelectedEntry() const;
    std::shared_ptr<VPeriod> getSelectedEntryPeriod() const;
    std::shared_ptr<VPeriod> getSelectedPeriod() const;
    bool isEntrySelected() const { return getSelectedEntry() != nullptr; }
    bool isPeriodSelected() const { return getSelectedPeriod() != nullptr; }

    QString toHtml() const { return vgr_->toHtml(); }
    void Refresh();

    // Scrolls the sub-units of the lines so that the present one comes first
    // (the hour of a day, the minute of an hour, the month of a year); a scope
    // without the present shows a day from the start of the working hours.
    // It is kept through rebuilds and resizes until the user scrolls or selects.
    void scrollToPresent();

    // The grid cell of line `line`, sub-unit `sub` (both from 0).
    QPoint cellOf(int line, int sub) const;
    int lineCount() const { return lines_; }
    int subUnitCount() const { return subs_; }

  signals:
    void Click();
    void DblClick();
    void SelectionChange(qv::VPeriod period);
    // A double click on the "+N" line of the cell of `period`.
    void OverflowDblClick(qv::VPeriod period);
    // The cells grew beyond what the entries were listed for: the owner lists again.
    void CapacityGrown();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void rebuild();
    int presentSubUnit() const;
    void applyPresentScroll();
    int effectiveFirstDayOfWeek() const;
    int linesFor(int scopeLength) const;
    std::int32_t background(DateTime start, DateTime end, DateTime now) const;
    QString format(DateTime d, const std::string& f) const;

    VGrid* vgr_;
    DateTime firstDate_;
    int firstDayOfWeek_ = 0;
    int unitLineDirection_ = 1;
    int scopeLength_ = 1;
    int scopeUnit_ = 4;
    int shownScopeLength_ = 1;
    int shownScopeBreadth_ = 1;
    bool lockRefresh_ = false;
    std::string lineHeaderFormat_, secondaryHeaderFormat_, cellHeaderFormat_, entryPrefixFormat_;
    int intervalBarWidth_ = 0;
    bool showToolTips_ = true;
    std::shared_ptr<const DateNames> names_;
    std::function<DateTime()> clock_;
    std::vector<VGridCellEntry> entries_;
    // The entries' own objects, kept together: an entry costs no allocation
    // of its own. A pool lives while the grid or a caller holds one of them.
    struct Pool {
        static constexpr std::size_t kChunk = 4096;
        std::vector<std::unique_ptr<VCalendarEntry[]>> chunks;
        std::size_t used = kChunk;  // in the last chunk
        std::shared_ptr<VCalendarEntry::Context> context;
        VCalendarEntry& add() {
            if (used == kChunk) {
                chunks.push_back(std::make_unique<VCalendarEntry[]>(kChunk));
                used = 0;
            }
            return chunks.back()[used++];
        }
    };
    std::shared_ptr<VCalendarEntry::Context> context_;
    std::shared_ptr<Pool> pool_;
    // The grid's cells point at entries_: before entries_ changes they let go.
    bool cellsReferToEntries_ = false;
    void releaseCellEntries();
    int lines_ = 0, subs_ = 0;
    std::vector<DateTime> bounds_;
    std::vector<DateTime> listedBounds_;
    std::vector<std::int64_t> listedTotals_;
    int listedPerCell_ = 0;  // 0: every entry was listed
    // The sub-unit scrolled to the start while the user leaves it (-1: none),
    // and whether it is to be found at the next rebuild (a new scope unit).
    int presentSub_ = -1;
    bool presentPending_ = false;
};

}  // namespace qv

Q_DECLARE_METATYPE(qv::VPeriod)

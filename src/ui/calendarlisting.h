#pragma once
// The occurrences the main window hands the alarm calendar for one view: for
// the view's range and minimum importance, every moment of every active alarm
// of the active groups that overlaps the range, each lasting the alarm's
// duration, in order of their start.

#include <cstdint>
#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "xml/vector.h"

namespace qv {

struct CalendarOccurrences {
    // Each alarm once; the occurrences refer to it by its place here.
    std::vector<AlarmPtr> alarms;
    struct Item {
        DateTime start;
        DateTime end;
        std::uint32_t alarm;
    };
    std::vector<Item> items;
    std::size_t size() const { return items.size(); }
    // Listed for cells (listCalendarCells): their bounds, the most entries
    // listed per cell and how many entries overlap each cell in all.
    std::vector<DateTime> cellBounds;
    int perCell = 0;
    std::vector<std::int64_t> cellTotals;
};

// Moments from `first` minus each alarm's duration up to (not including)
// `last`; equal starts keep the order of the groups and their alarms. An
// alarm whose expression cannot be worked out is left out. With
// `ignoreCorrection` the moments are the alarms' own, before their correction.
CalendarOccurrences listCalendarOccurrences(const Vector<AlarmGroup>& groups, DateTime first,
                                            DateTime last, int minImportance,
                                            bool ignoreCorrection);

// The same for a calendar whose cells lie between `cellBounds` (the first
// cell's start, then each cell's end), listing only what the cells can show:
// of all the entries overlapping a cell (in the order above) the first
// `perCell` are listed, the others only counted into the cell's total. An
// alarm stops being listed for a cell once it has given the cell `perCell`.
// Every cell that is not full gets exactly the entries of the full listing.
CalendarOccurrences listCalendarCells(const Vector<AlarmGroup>& groups,
                                      const std::vector<DateTime>& cellBounds, int perCell,
                                      int minImportance, bool ignoreCorrection);

}  // namespace qv

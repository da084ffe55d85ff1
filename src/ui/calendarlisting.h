#pragma once
// The occurrences the main window hands the alarm calendar for one view: for
// the view's range and minimum importance, every moment of every active alarm
// of the active groups that overlaps the range, each lasting the alarm's
// duration, in order of their start.

#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "xml/vector.h"

namespace qv {

struct CalendarOccurrences {
    std::vector<AlarmPtr> alarms;
    std::vector<DateTime> startDates;
    std::vector<DateTime> endDates;
    std::size_t size() const { return alarms.size(); }
};

// Moments from `first` minus each alarm's duration up to (not including)
// `last`. An alarm whose expression cannot be worked out is left out.
CalendarOccurrences listCalendarOccurrences(const Vector<AlarmGroup>& groups, DateTime first,
                                            DateTime last, int minImportance);

}  // namespace qv

#pragma once
// Days off from an iCalendar text: every appointment (VEVENT) between two
// moments, its repetitions expanded, as the all-day or timed items an alarm
// that skips days off looks at. Holiday calendars as web calendars publish
// them are whole days, often one yearly item per holiday; a vacation
// calendar may hold anything.

#include <string>
#include <vector>

#include "model/daysoff.h"
#include "outlook/icalimport.h"

namespace qv::outlook {

// Repetitions of one item, and of the whole calendar, at most expanded: a
// rule every minute is no holiday, and must not hold up the reading.
inline constexpr int kDaysOffItemSteps = 20000;
inline constexpr int kDaysOffCalendarSteps = 200000;
// Occurrences of one repeated item at most taken: a weekly item over the
// years a refresh asks for has some 700.
inline constexpr std::size_t kDaysOffItemOccurrences = 1000;

struct DaysOffReading {
    BuildError error = BuildError::None;
    std::vector<DayOffItem> items;  // sorted by start
    int skipped = 0;  // items without a usable start, or repeated too often
};

// The items that touch [from, to), at most kMaxDaysOffItems of them (the
// earliest). Cancelled items are left out.
DaysOffReading readDaysOff(const std::string& icsText, DateTime from, DateTime to);

}  // namespace qv::outlook

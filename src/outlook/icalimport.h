#pragma once
// The calendar plug-in's conversion: the appointments (VEVENT) or the tasks
// (VTODO) of an iCalendar text become one alarm group element "algr", one
// alarm per item, with the item's reminder as the alarm's correction and its
// recurrence rule as a periodic alarm with restrictions.
//
// Every recurring item is checked against libical's own expansion of its rule
// over the coming years. Where the alarm cannot ring exactly at the calendar's
// moments it is replaced by one that rings at least at all of them (and is
// counted as approximated), so an import never misses a reminder.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "base/datetime.h"
#include "xml/xmlnode.h"

namespace qv::outlook {

// The calendar's "no date" for tasks without due date and reminder: 1 January 4501.
inline constexpr DateTime kUnsetDate{949998LL * 86400};

enum class ItemKind { Appointments, Tasks };

// What one calendar may cost. libical's recurrence iterator tries candidate
// moments one at a time inside a single call (every minute of a MINUTELY rule,
// each listed time of every day of a DAILY one), so a rule whose moments lie
// years apart costs minutes in one call. Before a rule is expanded the
// candidates it would try are counted (about 2-3 microseconds each), and the
// item is given up when they pass the item's share; the calendar as a whole
// is given up when its items together pass the calendar's. The check of the
// alarms against the expansion asks the alarm for at most so many moments.
inline constexpr std::size_t kMaxCalendarBytes = 16u * 1024 * 1024;
inline constexpr std::int64_t kItemExpansionSteps = 500000;
inline constexpr std::int64_t kCalendarExpansionSteps = 2000000;
inline constexpr int kItemCompareSteps = 20000;

enum class BuildError {
    None,
    TooLarge,      // more than kMaxCalendarBytes
    TooCostly,     // the items' expansions together pass kCalendarExpansionSteps
    NotICalendar,  // empty, binary, or no VCALENDAR in it
    Truncated,     // the calendar does not end (END:VCALENDAR missing)
    Unreadable,    // only broken lines, nothing usable
};

struct BuildOptions {
    ItemKind kind = ItemKind::Appointments;
    // Importing names the group and leaves the alarms editable; synchronising
    // marks them read-only.
    bool importing = false;
    bool futureOnly = true;
    DateTime now;
    std::string groupName;
    // Text number n of the plug-in's language file (14 due-date label, 15 location label).
    std::function<std::string(int)> text;
    // The system's short date-and-time form.
    std::function<std::string(DateTime)> shortDateTime;
};

struct BuildResult {
    BuildError error = BuildError::None;
    XMLNodePtr group;      // "algr"; null when error != None
    int converted = 0;     // items that became alarms
    int skipped = 0;       // items left out because they were broken or absurd
    int approximated = 0;  // items whose alarms ring more often than the calendar
    int filtered = 0;      // items left out as past (futureOnly) or cancelled
    int repaired = 0;      // items read with a mended part (an empty RRULE: no rule)
    int givenUp = 0;       // items whose repetition costs more than kItemExpansionSteps
    std::string givenUpName;  // the first of them (its SUMMARY)
};

BuildResult buildGroup(const std::string& icsText, const BuildOptions& options);

}  // namespace qv::outlook

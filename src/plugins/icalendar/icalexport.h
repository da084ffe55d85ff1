#pragma once
// An alarm group as an iCalendar text: one VEVENT (with its RRULE and a
// VALARM) per active alarm whose moments iCalendar can state exactly. Alarms
// it cannot state exactly are left out and counted, never approximated. An
// alarm that skips days off gets the moments it skips (all-day days off of
// the days the group keeps) as exclusions of its rule.

#include <string>

#include "base/datetime.h"
#include "xml/xmlnode.h"

namespace qv::ical {

struct ExportResult {
    std::string text;  // the VCALENDAR
    int exported = 0;  // alarms written as events
    int skipped = 0;   // alarms whose timing has no exact iCalendar form
    int inactive = 0;  // switched-off alarms, not written
};

// `group` is an "algr" element; `now` (local time) places the first event of
// an unbounded repetition: the repetition starts at its last moment before the
// day of `now` at the latest, so no coming moment is missing.
ExportResult exportGroup(const XMLNode& group, DateTime now);

}  // namespace qv::ical

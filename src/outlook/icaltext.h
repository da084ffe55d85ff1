#pragma once
// The first steps of every reader of a calendar file: the checks on its text
// (size, binary data, a calendar that never ends) and libical's parse, long
// lines folded first.

#include <libical/ical.h>

#include <string>
#include <vector>

#include "base/datetime.h"
#include "outlook/icalimport.h"

namespace qv::outlook {

// A calendar time's own fields: a date at midnight.
DateTime fieldsOf(const icaltimetype& t);
// Local wall-clock time: dates at midnight, floating times as written, zoned
// and UTC times through the system's zone data.
DateTime toLocal(const icaltimetype& t);
// A time libical read that the program can hold (years 1900 to 9998).
bool sane(const icaltimetype& t);

// The calendars of the text (VCALENDAR components, also those inside an
// XROOT), with `root` to free with icalcomponent_free. On any error nothing
// is left to free and `calendars` stays empty.
BuildError parseCalendarText(const std::string& icsText, icalcomponent*& root,
                             std::vector<icalcomponent*>& calendars);

}  // namespace qv::outlook

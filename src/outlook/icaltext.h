#pragma once
// The first steps of every reader of a calendar file: the checks on its text
// (size, binary data, a calendar that never ends) and libical's parse, long
// lines folded first.

#include <libical/ical.h>

#include <string>
#include <vector>

#include "outlook/icalimport.h"

namespace qv::outlook {

// The calendars of the text (VCALENDAR components, also those inside an
// XROOT), with `root` to free with icalcomponent_free. On any error nothing
// is left to free and `calendars` stays empty.
BuildError parseCalendarText(const std::string& icsText, icalcomponent*& root,
                             std::vector<icalcomponent*>& calendars);

}  // namespace qv::outlook

#pragma once
// Keeps the days off of the program's alarm groups current: reads the
// calendars they name when the groups are loaded, edited and synchronised,
// applies the setting for timed items, and says which day off the next alarm
// leaves out.

#include <string>

#include "model/alarmgroup.h"

namespace qv {

class Program;

namespace daysOffKeeper {

// The setting "timed items make days off" (dofm) on every group.
void applySetting(Program& p);
// Reads again the days-off calendars of every group that names one. `tell`:
// a calendar that cannot be read is shown as a notice, not only logged.
void refreshAll(Program& p, bool tell);
// The same for one group (after the user edited it or its alarms).
void refresh(Program& p, const AlarmGroupPtr& group, bool tell);
// "not on Monday, Easter Monday": the earliest moment after now that an
// active alarm skips for a day off, when it comes before the next alarm;
// empty when there is none.
std::string skipNote(Program& p);

}  // namespace daysOffKeeper
}  // namespace qv

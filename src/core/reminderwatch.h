#pragma once
// Finds the reminders that come due between two supervised moments and has
// the desktop show them; knows when the next one comes, so the supervision
// can time a tick to its second.

#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"

namespace qv {

class Program;

// One reminder to show: the alarm, the moment it sounds and the moment the
// reminder was for.
struct DueReminder {
    AlarmPtr alarm;
    DateTime alarmMoment;
    DateTime reminderMoment;
};

class ReminderWatch {
  public:
    explicit ReminderWatch(Program& program) : p_(program) {}

    // The reminders after `from` up to `to` of the active alarms of active
    // groups whose moment still lies after `to`: a reminder never comes once
    // its alarm has sounded. Of one alarm only the latest of them counts (a
    // computer that slept through "1 day before" and "1 hour before" shows
    // one note). With `onlyAfterInactive` only alarms marked to sound after
    // inactivity take part. Also works out next().
    std::vector<DueReminder> collect(DateTime from, DateTime to, bool onlyAfterInactive);
    // collect, and each one shown.
    void check(DateTime from, DateTime to, bool onlyAfterInactive);
    // The first reminder moment after the `to` of the last collect, when it
    // lies within a minute of it; never otherwise.
    DateTime next() const { return next_; }

  private:
    Program& p_;
    DateTime next_ = kNever;
};

}  // namespace qv

#include "core/reminderwatch.h"

#include <algorithm>

#include "core/program.h"
#include "model/clsadvanceddate.h"

namespace qv {

namespace {

// Occurrences looked at per reminder and check: an alarm every minute with a
// reminder a day before has 1440 of them in reach, which is more than anyone
// needs reminding of.
constexpr int kMomentLimit = 1000;
// How far past the present the next reminder is looked for: the supervision
// only shortens a tick for something less than 33 seconds away.
constexpr std::int64_t kLookAheadSeconds = 60;

}  // namespace

std::vector<DueReminder> ReminderWatch::collect(DateTime from, DateTime to,
                                                bool onlyAfterInactive) {
    next_ = kNever;
    std::vector<DueReminder> due;
    const DateTime lookAhead = addToDate(to, kLookAheadSeconds, kSeconds);
    for (const AlarmGroupPtr& g : p_.alarmGroups) {
        if (!g || !g->Active) continue;
        for (const AlarmPtr& a : g->alarms) {
            if (!a || !a->Active || a->reminders.empty()) continue;
            const bool mayShow = !onlyAfterInactive || a->soundAfterInactive;
            DueReminder best;
            for (const Reminder& r : a->reminders) {
                // The occurrences whose reminder falls after `from` and up to a
                // minute past `to`, and only those that have not sounded yet.
                DateTime lo = addToDate(from, r.amount, r.unit);
                if (lo < to) lo = to;
                DateTime hi = addToDate(lookAhead, r.amount, r.unit);
                if (r.unit == kMonths || r.unit == kYears) {
                    // 31 March less a month is 28 February: the sums clamp,
                    // so the stretch is widened and each moment checked.
                    lo = std::max(to, addToDate(lo, -4, kDays));
                    hi = addToDate(hi, 4, kDays);
                }
                if (!(lo < hi) || !(lo < kNever)) continue;
                std::vector<DateTime> moments;
                try {
                    a->listMomentsAfter(lo, hi, false, moments, kMomentLimit);
                } catch (const AdvancedDateError&) {
                    continue;  // an alarm whose moments cannot be worked out is not due
                }
                for (const DateTime d : moments) {
                    // A snooze is no moment of the alarm's own to be reminded of.
                    if (a->snoozing && d == a->nextSnoozeAlarmDate) continue;
                    if (!(to < d)) continue;
                    const DateTime m = reminderMoment(d, r);
                    if (to < m) {
                        if (m < next_ && m <= lookAhead) next_ = m;
                    } else if (from < m && mayShow) {
                        if (!best.alarm || best.reminderMoment < m ||
                            (best.reminderMoment == m && d < best.alarmMoment))
                            best = {a, d, m};
                    }
                }
            }
            if (best.alarm) due.push_back(std::move(best));
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const DueReminder& x, const DueReminder& y) {
        return x.reminderMoment < y.reminderMoment;
    });
    return due;
}

void ReminderWatch::check(DateTime from, DateTime to, bool onlyAfterInactive) {
    const auto due = collect(from, to, onlyAfterInactive);
    for (const DueReminder& d : due) {
        if (p_.ctx.log)
            p_.ctx.log("reminder of \"" + d.alarm->name + "\" for " + toStoredText(d.alarmMoment));
        p_.ports.performer.showReminder(d.alarm, d.alarmMoment, d.reminderMoment);
    }
}

}  // namespace qv

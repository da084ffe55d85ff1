#pragma once
// Reminders before an alarm: "15 minutes before", "1 day before". Each one
// shows a small note that names the coming alarm and its time; the alarm
// itself still sounds at its own moment.

#include <cstdint>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "xml/xmlnode.h"

namespace qv {

class modTranslation;

struct Reminder {
    std::int32_t amount = 15;
    std::int16_t unit = kMinutes;
    bool operator==(const Reminder&) const = default;
};

// An alarm keeps at most this many reminders; a stored list beyond it is cut.
inline constexpr int kMaxReminders = 8;
// The largest amount of any unit (9999 minutes, 9999 days, ...).
inline constexpr std::int32_t kMaxReminderAmount = 9999;

// The stored form: the alarm element's child "rmds" holding one "rmd" per
// reminder with its amount "a" and unit "u". Only written when there is one.
inline constexpr const char* kRemindersElement = "rmds";

// The reminders of a stored "rmds" element. A reminder with an amount of 0 or
// less, beyond kMaxReminderAmount, a unit that is no time unit or text that
// is no number is skipped; the list is put in order (see normaliseReminders).
std::vector<Reminder> readReminders(const XMLNode& rmds);
XMLNodePtr remindersToXML(const std::vector<Reminder>& reminders);

// Earliest reminder first (the longest time before the alarm), each offset
// once, at most kMaxReminders of them.
std::vector<Reminder> normaliseReminders(std::vector<Reminder> reminders);

// The moment a reminder comes for an alarm at `alarmMoment`.
DateTime reminderMoment(DateTime alarmMoment, const Reminder& r);
// A moment after `from` late enough that every occurrence whose reminder
// (one of `reminders`) comes at or before `from` lies before it: the end of
// the stretch of occurrences worth looking at.
DateTime reminderHorizon(DateTime from, const std::vector<Reminder>& reminders);

// "15 minutes before", in the program's language.
std::string describeReminder(const modTranslation& translation, const Reminder& r);
// All of them, joined by ", ".
std::string describeReminders(const modTranslation& translation,
                              const std::vector<Reminder>& reminders);

}  // namespace qv

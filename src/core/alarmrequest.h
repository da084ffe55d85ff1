#pragma once
// Alarms asked for outside the alarm dialog: the quick alarms of the tray and
// the main window ("Alarm in..."), the quorvane-add command and the scripting
// interface. They share the text forms read here ("25m", "07:30", "mo-fr") and
// one way of making the alarm: from its group's template, as the alarm dialog
// starts a new alarm, with the moment and the message asked for.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/ports.h"

namespace qv {

class Program;

struct AlarmRequest {
    std::string message;
    // Either a delay from now or a moment.
    bool hasDelay = false;
    std::int64_t delaySeconds = 0;
    bool hasMoment = false;
    // A bare clock time means its next coming; otherwise the date counts.
    bool momentHasDate = false;
    DateTime moment;  // without a date: only the time of day is used
    // 0: once; otherwise every `everyAmount` `everyUnit`s from the first moment.
    std::int32_t everyAmount = 0;
    std::int16_t everyUnit = kDays;
    // Bit 0 Sunday .. bit 6 Saturday, as the alarm stores them; 0 = no restriction.
    std::int16_t weekDays = 0;
    // Empty: the quick alarms group.
    std::string group;
};

enum class RequestError {
    kNone,
    kBadWhen,        // neither a delay nor a moment
    kBadEvery,       // the repetition
    kBadWeekdays,    // the weekday list
    kWeekdaysAlone,  // weekdays without a daily (or shorter) repetition
    kPast,           // a one-off moment that has passed
    kTooFar,         // later than the year 9999 allows, or a delay of years
    kBadText,        // message or group name: too long, control characters, not UTF-8
    kSynchronized,   // the group is filled by a synchronisation plug-in
    kNotSaved,       // the group file could not be written
};

// An English sentence for the command line and the scripting interface.
std::string describeRequestError(RequestError error);

// Longest message and group name taken from outside.
inline constexpr std::size_t kMaxRequestMessage = 4096;
inline constexpr std::size_t kMaxRequestGroupName = 256;
// Longest delay: a year.
inline constexpr std::int64_t kMaxDelaySeconds = 366LL * 86400;

// "25m", "1h30m", "90s", "2h", "1d", "25" (minutes), "25 min", "1 hour";
// German unit words are read too ("Std", "Minuten", "Sek").
std::optional<std::int64_t> parseDelay(std::string_view text);
// "07:30", "7:30:15", "2027/01/04 07:30", "2027/01/04 07:30:00", "2027-01-04 07:30".
struct ParsedMoment {
    bool hasDate = false;
    DateTime moment;
};
std::optional<ParsedMoment> parseMoment(std::string_view text);
// "in 25m" or "+25m": a delay; text with ':' or '/': a moment; else a delay.
RequestError parseWhen(std::string_view text, AlarmRequest& request);
// "day", "2 days", "week", "hour", "30 minutes", "month", "year" (German too);
// empty: once.
RequestError parseEvery(std::string_view text, AlarmRequest& request);
// "mo-fr", "sa,su", "mo,we,fr", "mon-fri"; German two-letter names too
// ("so", "di", "mi", "do"). Empty: every day.
RequestError parseWeekdays(std::string_view text, AlarmRequest& request);
// Message and group name: valid UTF-8, no control characters but line breaks
// and tabs in the message, within their length.
RequestError checkTexts(const AlarmRequest& request);
// A group name as the quick alarms and the requests above take it: not empty,
// valid UTF-8 without control characters, within its length.
bool groupNameAllowed(std::string_view name);

// The first moment the alarm rings, after `now`; std::nullopt with the error.
std::optional<DateTime> firstMoment(const AlarmRequest& request, DateTime now, RequestError& error);

// A new alarm of `group` (not added to it) from the group's template, ringing as
// asked. `fromOutside`: asked by another program, whose alarm carries no
// command line and no shut-down, reboot or log-off. The alarm always shows its
// message.
AlarmPtr makeRequestedAlarm(ModelContext& ctx, const AlarmGroupPtr& group,
                            const AlarmRequest& request, DateTime first, bool fromOutside);

// The quick alarms group's name: the setting, else the language's name.
std::string quickGroupName(const std::string& setting, const std::string& languageName);
// The first group of that exact name.
AlarmGroupPtr findGroupByName(const Vector<AlarmGroup>& groups, const std::string& name);

// The one-off alarms of `group` whose moment lies `keepHours` or more before
// `now` and that do not snooze into the future; none when keepHours is 0.
std::vector<AlarmPtr> rungAlarms(const AlarmGroup& group, DateTime now, int keepHours);

// The coming moments after `from`, as the supervision walks them (ties in group
// and alarm order), at most `count` of them, none at or past the year 9999.
struct ComingAlarm {
    DateTime moment;
    AlarmPtr alarm;
};
std::vector<ComingAlarm> comingAlarms(const Vector<AlarmGroup>& groups, DateTime from, int count);

// The program's side: adds the requested alarm to the running program's groups.
struct AddedAlarm {
    RequestError error = RequestError::kNone;
    AlarmPtr alarm;
    AlarmGroupPtr group;
    DateTime first = kNever;
};
class QuickAlarms {
  public:
    explicit QuickAlarms(Program& program) : p_(program) {}
    // The group asked for (created and saved when there is none), the alarm
    // made and added, and the change reported as any new alarm's.
    AddedAlarm add(const AlarmRequest& request, bool fromOutside);
    // Takes the rung alarms out of the quick alarms group; how many went.
    int removeRung();
    // The quick alarms group's name now.
    std::string quickName() const;
    AlarmGroupPtr quickGroup() const;

  private:
    Program& p_;
};

// Language texts of the quick alarms, in the main window's section.
namespace quicktexts {
inline constexpr int kGroupName = 350;       // "Quick alarms"
inline constexpr int kDefaultMessage = 351;  // "Quick alarm"
}  // namespace quicktexts

}  // namespace qv

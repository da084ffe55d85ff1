#include "icalexport.h"

#include <libical/ical.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/daysoff.h"
#include "plugins/icaltimes.h"

namespace qv::ical {
namespace {

bool knownUnit(int unit) { return unit >= kSeconds && unit <= kWeeks; }
bool calendarUnit(int unit) { return unit == kMonths || unit == kYears; }

std::int64_t exactSeconds(std::int64_t n, int unit) {
    switch (unit) {
        case kSeconds:
            return n;
        case kMinutes:
            return n * 60;
        case kHours:
            return n * 3600;
        case kDays:
            return n * 86400;
        case kWeeks:
            return n * 604800;
        default:
            return 0;
    }
}

// The first event and the rule; an empty rule for a one-off alarm.
struct Mapping {
    DateTime start;
    std::string rule;
};

// nullopt: the alarm's moments have no exact iCalendar form. A Mapping with
// start == kNever: the alarm has no moments at all.
std::optional<Mapping> mapAlarm(const Alarm& al, DateTime now) {
    const std::int32_t corr = knownUnit(al.correctionUnit) ? al.correctionAmount : 0;
    const int corrUnit = al.correctionUnit;
    auto corrected = [&](DateTime d) { return corr == 0 ? d : addToDate(d, corr, corrUnit); };

    if (al.momentKind == Alarm::kOnce) {
        if (al.onceDate == kNever) return Mapping{kNever, {}};
        return Mapping{corrected(al.onceDate), {}};
    }
    if (al.momentKind != Alarm::kPeriodic) return std::nullopt;
    if (al.nextDate == kNever || al.everyAmount < 1 || !knownUnit(al.everyUnit))
        return Mapping{kNever, {}};
    if (al.activePeriod & Alarm::kRestrictExpression) return std::nullopt;

    const int unit = al.everyUnit;
    const std::int32_t amount = al.everyAmount;
    const DateTime anchor = al.nextDate;
    const bool byDates = (al.activePeriod & Alarm::kRestrictDates) != 0;
    int weekDays = (al.activePeriod & Alarm::kRestrictWeekdays) ? (al.weekDays & 0x7f) : 0x7f;

    // Grid points that keep a clamped day of the month: the 29th to 31st
    // monthly, 29 February yearly. They are "the day, or the month's last day".
    const bool clamps = (unit == kMonths && anchor.day() > 28) ||
                        (unit == kYears && anchor.month() == 2 && anchor.day() == 29);
    // A correction that keeps every moment on the date of its grid point.
    const bool sameDate = !calendarUnit(corrUnit) || corr == 0
                              ? [&] {
                                    const std::int64_t s =
                                        anchor.secondsOfDay() + exactSeconds(corr, corrUnit);
                                    return s >= 0 && s < 86400;
                                }()
                              : false;
    if (corr != 0 && calendarUnit(corrUnit)) {
        // Months added to points on a fixed day up to the 28th stay a fixed day;
        // anything else clamps differently from point to point.
        if (!calendarUnit(unit) || clamps) return std::nullopt;
    }
    if (clamps && corr != 0 && !sameDate) return std::nullopt;

    if (weekDays == 0) return std::nullopt;  // never met: the alarm gives up
    if (weekDays != 0x7f) {
        const bool fixedWeekday = unit == kWeeks || (unit == kDays && amount % 7 == 0);
        if (fixedWeekday) {
            // Every grid point is on the anchor's weekday.
            if (((weekDays >> (anchor.weekday() - 1)) & 1) == 0) return std::nullopt;
            weekDays = 0x7f;
        } else if (unit == kDays || (unit == kHours && amount < 24)) {
            // The restriction is tested on the uncorrected points: the
            // correction must keep each point's date (daily points share a time
            // of day; hourly ones do not).
            if (corr != 0 && (unit == kHours || !sameDate)) return std::nullopt;
        } else {
            // Seconds and minutes can give up before the next allowed day;
            // months and years would need the weekday inside the clamping rule.
            return std::nullopt;
        }
    }

    auto gridPoint = [&](std::int64_t k) { return addToDate(anchor, k * amount, unit); };
    auto allowed = [&](DateTime d) { return ((weekDays >> (d.weekday() - 1)) & 1) != 0; };

    // The first event: the first allowed grid point from the start of the date
    // range, or for an open repetition from its last point before today.
    DateTime from = byDates ? al.startDate : std::min(anchor, now.date());
    std::int64_t k = alignedGridIndex(anchor, from, amount, unit);
    while (gridPoint(k) > from) --k;
    if (byDates)
        while (gridPoint(k) < from) ++k;
    for (int i = 0; i < Alarm::kStepLimit && !allowed(gridPoint(k)); ++i) ++k;
    if (!allowed(gridPoint(k))) return std::nullopt;
    const DateTime first = gridPoint(k);

    std::string until;
    if (byDates && al.endDate != kNever) {
        if (first > al.endDate) return Mapping{kNever, {}};
        std::int64_t last = alignedGridIndex(anchor, al.endDate, amount, unit);
        while (gridPoint(last) > al.endDate) --last;
        while (gridPoint(last + 1) <= al.endDate) ++last;
        const DateTime end = corrected(gridPoint(last));
        char buf[32];
        std::snprintf(buf, sizeof buf, ";UNTIL=%04d%02d%02dT%02d%02d%02d", end.year(), end.month(),
                      end.day(), end.hour(), end.minute(), end.second());
        until = buf;
    }

    static const char* const kFreq[] = {"SECONDLY", "MINUTELY", "HOURLY", "DAILY",
                                        "MONTHLY",  "YEARLY",   "WEEKLY"};
    std::string rule = std::string("FREQ=") + kFreq[unit] + ";INTERVAL=" + std::to_string(amount);
    if (weekDays != 0x7f) {
        static const char* const kDay[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
        std::string days;
        for (int d = 0; d < 7; ++d)
            if ((weekDays >> d) & 1) days += std::string(days.empty() ? "" : ",") + kDay[d];
        rule += ";BYDAY=" + days;
    }
    if (clamps) {
        if (unit == kYears) rule += ";BYMONTH=2";
        std::string monthDays;
        for (int d = 28; d <= anchor.day(); ++d)
            monthDays += (monthDays.empty() ? "" : ",") + std::to_string(d);
        rule += ";BYMONTHDAY=" + monthDays + ";BYSETPOS=-1";
    }
    rule += until;
    return Mapping{corrected(first), rule};
}

// The moments a periodic alarm that skips days off leaves out, as the
// exclusions of its rule (corrected like the rule's moments). False when
// they cannot be stated exactly: a stretch of days off out of the search's
// reach, where the alarm gives up instead of ringing after it.
constexpr std::size_t kMaxExclusions = 5000;

bool daysOffExclusions(const AlarmPtr& al, const GroupDaysOff& daysOff,
                       std::vector<DateTime>& out) {
    const std::vector<std::string>& names =
        al->daysOffCalendars.empty() ? daysOff.calendars : al->daysOffCalendars;
    // The alarm in a group of its own that holds the days off, so it searches
    // as it does in the program.
    auto holder = std::make_shared<AlarmGroup>();
    holder->setDaysOff(daysOff);
    holder->addAlarm(al);
    const std::int32_t corr = knownUnit(al->correctionUnit) ? al->correctionAmount : 0;
    for (const std::string& name : names) {
        const auto c = daysOff.cache.find(name);
        if (c == daysOff.cache.end()) continue;
        for (const DayOffItem& item : c->second.items) {
            if (!item.allDay) continue;
            const DateTime start = item.from.date();
            const DateTime end = std::max(addToDate(start, 1, kDays), item.to.date());
            const DateTime before(start.seconds() - 1);
            al->notOnDaysOff = true;
            al->invalidateCaches();
            if (al->hasNextAlarmDateAfter(before, true) && al->lastQueryGaveUp()) return false;
            al->notOnDaysOff = false;
            al->invalidateCaches();
            std::vector<DateTime> points;
            al->listMomentsAfter(before, end, true, points, Alarm::kStepLimit + 1);
            if (points.size() > static_cast<std::size_t>(Alarm::kStepLimit)) return false;
            for (const DateTime p : points)
                out.push_back(corr == 0 ? p : addToDate(p, corr, al->correctionUnit));
            if (out.size() > kMaxExclusions) return false;
        }
    }
    al->notOnDaysOff = true;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

}  // namespace

ExportResult exportGroup(const XMLNode& group, DateTime now) {
    ExportResult result;
    icalcomponent* cal = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    icalcomponent_add_property(cal, icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal, icalproperty_new_prodid("-//Quorvane//Alarm group//EN"));
    const std::string groupName = group.getString("name", 0, "");
    if (!groupName.empty()) {
        icalproperty* p = icalproperty_new_x(groupName.c_str());
        icalproperty_set_x_name(p, "X-WR-CALNAME");
        icalcomponent_add_property(cal, p);
    }
    const icaltimetype stamp = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
    const XMLNodePtr doff = group.findNode("doff");
    const GroupDaysOff daysOff = doff ? GroupDaysOff::fromXML(*doff) : GroupDaysOff{};

    int index = 0;
    for (const XMLNodePtr& child : group.children()) {
        if (!child || child->name != "alrm") continue;
        const int number = index++;
        const AlarmPtr al = Alarm::createFromXML(*child, nullptr);
        if (!al->Active) {
            ++result.inactive;
            continue;
        }
        const std::optional<Mapping> m = mapAlarm(*al, now);
        if (!m) {
            ++result.skipped;
            continue;
        }
        if (m->start == kNever) continue;  // no moment to show
        std::vector<DateTime> exclusions;
        if (al->notOnDaysOff && !m->rule.empty() && !daysOffExclusions(al, daysOff, exclusions)) {
            ++result.skipped;
            continue;
        }

        icalcomponent* ev = icalcomponent_new(ICAL_VEVENT_COMPONENT);
        const std::string uid = "alarm-" + std::to_string(number) + "-" +
                                std::to_string(std::hash<std::string>{}(groupName)) + "@quorvane";
        icalcomponent_add_property(ev, icalproperty_new_uid(uid.c_str()));
        icalcomponent_add_property(ev, icalproperty_new_dtstamp(stamp));
        icalcomponent_add_property(ev, icalproperty_new_dtstart(floatingTime(m->start)));
        const std::string summary = al->name.empty() ? groupName : al->name;
        icalcomponent_add_property(ev, icalproperty_new_summary(summary.c_str()));
        if (al->durationAmount > 0 && !calendarUnit(al->durationUnit) &&
            knownUnit(al->durationUnit))
            icalcomponent_add_property(
                ev, icalproperty_new_duration(icaldurationtype_from_int(
                        static_cast<int>(exactSeconds(al->durationAmount, al->durationUnit)))));
        if (!m->rule.empty())
            icalcomponent_add_property(
                ev, icalproperty_new_rrule(icalrecurrencetype_from_string(m->rule.c_str())));
        for (const DateTime d : exclusions)
            icalcomponent_add_property(ev, icalproperty_new_exdate(floatingTime(d)));

        icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icaltriggertype trigger{};
        trigger.time = icaltime_null_time();
        trigger.duration = icaldurationtype_null_duration();
        icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
        icalcomponent_add_property(alarm, icalproperty_new_description(summary.c_str()));
        icalcomponent_add_component(ev, alarm);
        // Each reminder before the alarm is one more alarm of the event, that
        // long before its start. Months and years have no exact length a
        // trigger could hold; such reminders stay in Quorvane only.
        for (const Reminder& r : al->reminders) {
            if (calendarUnit(r.unit) || !knownUnit(r.unit)) continue;
            icalcomponent* before = icalcomponent_new(ICAL_VALARM_COMPONENT);
            icalcomponent_add_property(before, icalproperty_new_action(ICAL_ACTION_DISPLAY));
            icaltriggertype t{};
            t.time = icaltime_null_time();
            t.duration =
                icaldurationtype_from_int(-static_cast<int>(exactSeconds(r.amount, r.unit)));
            icalcomponent_add_property(before, icalproperty_new_trigger(t));
            icalcomponent_add_property(before, icalproperty_new_description(summary.c_str()));
            icalcomponent_add_component(ev, before);
        }

        icalcomponent_add_component(cal, ev);
        ++result.exported;
    }
    char* text = icalcomponent_as_ical_string_r(cal);
    result.text = text ? text : "";
    free(text);
    icalcomponent_free(cal);
    return result;
}

}  // namespace qv::ical

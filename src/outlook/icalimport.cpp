#include "outlook/icalimport.h"
#include "outlook/icaltext.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <vector>

#include "model/alarm.h"
#include "plugins/icaltimes.h"

namespace qv::outlook {
namespace {

using Moments = std::vector<DateTime>;

// Bounds of the work spent on one rule: iterations of libical's expansion, and
// occurrences compared with the alarm's own moments.
constexpr int kExpandLimit = 300000;
constexpr std::size_t kSampleLimit = 3000;
// How far ahead an alarm is held against the calendar.
constexpr int kVerifyYears = 3;
// Beyond this many distinct times of day the stand-in alarm is one grid.
constexpr std::size_t kMaxTimesOfDay = 24;

std::string textOf(const char* v) { return v ? v : ""; }

// libical turns lines it cannot read into X-LIC-ERROR properties and drops
// them. What that costs depends on the property the line held.
enum class Damage { None, Minor, Repaired, Exclusion, Fatal };

// The properties that decide when an item rings.
constexpr const char* kTimingProperties[] = {"DTSTART", "DTEND",   "DUE",    "DURATION",
                                             "RRULE",   "RDATE",   "EXDATE", "TRIGGER",
                                             "STATUS",  "RECURRENCE-ID", "ACTION"};

bool isTimingProperty(const std::string& name) {
    return std::any_of(std::begin(kTimingProperties), std::end(kTimingProperties),
                       [&](const char* timing) { return name == timing; });
}

// Which properties the calendar's own lines belong to, for the messages that
// name only a line or a parameter: a data line that lost its fold belongs to
// the property before it, a parameter to the properties that carry it.
// Built on the first such message, in one pass over the text.
class LineOwners {
  public:
    explicit LineOwners(const std::string& text) : text_(text) {}

    // Whether the broken line could have belonged to a timing property, or be
    // one cut short ("RRUL").
    bool dataLineOnTiming(const std::string& line) {
        std::string word;
        for (char ch : trimmed(line)) {
            if (!std::isalpha(static_cast<unsigned char>(ch)) && ch != '-') break;
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        for (const char* timing : kTimingProperties)
            if (word.size() >= 3 && std::string(timing).rfind(word, 0) == 0) return true;
        build();
        const auto it = dataLines_.find(trimmed(line));
        return it == dataLines_.end() || it->second;  // not found: assume the worst
    }
    bool parameterOnTiming(const std::string& parameter) {
        build();
        const auto it = parameters_.find(upper(trimmed(parameter)));
        return it == parameters_.end() || it->second;
    }

  private:
    static std::string trimmed(std::string s) {
        while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' '))
            s.pop_back();
        std::size_t b = 0;
        while (b < s.size() && s[b] == ' ') ++b;
        return s.substr(b);
    }
    static std::string upper(std::string s) {
        for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return s;
    }
    void build() {
        if (built_) return;
        built_ = true;
        std::string owner;
        std::size_t begin = 0;
        while (begin < text_.size()) {
            std::size_t end = text_.find('\n', begin);
            if (end == std::string::npos) end = text_.size();
            const std::string line = text_.substr(begin, end - begin);
            begin = end + 1;
            if (line.empty() || line[0] == ' ' || line[0] == '\t') continue;  // a fold
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos) {
                bool& onTiming = dataLines_[trimmed(line)];
                onTiming = onTiming || isTimingProperty(owner);
                continue;
            }
            const std::size_t semi = line.find(';');
            const std::size_t nameEnd = std::min(colon, semi);
            owner = upper(line.substr(0, nameEnd));
            // Parameters: ";NAME=value" or a bare ";NAME" up to the colon.
            for (std::size_t at = semi; at < colon;) {
                const std::size_t next = std::min(line.find(';', at + 1), colon);
                std::string param = line.substr(at + 1, next - at - 1);
                param = upper(param.substr(0, param.find('=')));
                bool& onTiming = parameters_[trimmed(param)];
                onTiming = onTiming || isTimingProperty(owner);
                at = next;
            }
        }
    }

    const std::string& text_;
    bool built_ = false;
    std::map<std::string, bool> dataLines_;
    std::map<std::string, bool> parameters_;
};

// The property a libical message is about: "No value for DESCRIPTION
// property…", "Can't parse as … value in RRULE property…"; empty when it names none.
std::string propertyNamed(const std::string& text) {
    const std::size_t end = text.find(" property");
    if (end == std::string::npos || end == 0) return {};
    const std::size_t begin = text.rfind(' ', end - 1);
    if (begin == std::string::npos || begin == 0) return {};
    const std::size_t before = text.rfind(' ', begin - 1);
    const std::size_t wordBegin = before == std::string::npos ? 0 : before + 1;
    const std::string word = text.substr(wordBegin, begin - wordBegin);
    if (word != "for" && word != "in") return {};
    return text.substr(begin + 1, end - begin - 1);
}

Damage damageOf(const std::string& text, LineOwners& owners) {
    auto after = [&](const char* prefix) -> std::optional<std::string> {
        const std::string p(prefix);
        if (text.rfind(p, 0) != 0) return std::nullopt;
        return text.substr(p.size());
    };
    // Unknown properties are ignored (RFC 5545 3.7, 3.8.8); lines and
    // parameters that belong to none of the timing properties cost nothing.
    if (const auto name = after("Parse error in property name: "))
        return isTimingProperty(*name) ? Damage::Fatal : Damage::Minor;
    if (const auto line =
            after("Got a data line, but could not find a property name or component begin tag: "))
        return owners.dataLineOnTiming(*line) ? Damage::Fatal : Damage::Minor;
    if (const auto param = after("Can't parse parameter name: "))
        return owners.parameterOnTiming(*param) ? Damage::Fatal : Damage::Minor;
    // "RRULE:" with nothing after it: no rule, the item happens once.
    if (text.rfind("No value for RRULE property", 0) == 0) return Damage::Repaired;
    const std::string name = propertyNamed(text);
    if (name.empty() || isTimingProperty(name)) {
        // A moment may be lost, except through EXDATE: without it the item
        // rings more often, never less.
        return name == "EXDATE" ? Damage::Exclusion : Damage::Fatal;
    }
    return Damage::Minor;
}

Damage damageOf(icalcomponent* c, LineOwners& owners) {
    Damage worst = Damage::None;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_XLICERROR_PROPERTY))
        worst = std::max(worst, damageOf(p ? textOf(icalproperty_get_xlicerror(p)) : "", owners));
    for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        worst = std::max(worst, damageOf(sub, owners));
    return worst;
}

std::vector<int> listOf(const short* values, int size) {
    std::vector<int> out;
    for (int i = 0; i < size && values[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        out.push_back(values[i]);
    return out;
}

// ---- Expansion ----------------------------------------------------------------

struct Exclusions {
    std::set<DateTime> moments;   // EXDATE date-times and moved instances
    std::set<std::int64_t> days;  // EXDATE dates
    bool excludes(DateTime d) const { return moments.count(d) || days.count(d.days()); }
};

struct WeekdaySet {
    int mask = 0;
    int position = 0;  // the one position shared by all entries, 0 for none
    bool mixed = false;
    std::size_t count = 0;
};

WeekdaySet weekdaysOf(const icalrecurrencetype& r) {
    WeekdaySet s;
    bool firstEntry = true;
    for (int v : listOf(r.by_day, ICAL_BY_DAY_SIZE)) {
        const int day = icalrecurrencetype_day_day_of_week(static_cast<short>(v));
        const int pos = icalrecurrencetype_day_position(static_cast<short>(v));
        if (day < 1 || day > 7) continue;
        s.mask |= 1 << (day - 1);
        if (firstEntry)
            s.position = pos;
        else if (pos != s.position)
            s.mixed = true;
        firstEntry = false;
        ++s.count;
    }
    return s;
}

// ---- What an expansion costs ---------------------------------------------------

// libical stops at this year on systems with a 64-bit time_t.
constexpr int kIteratorLastYear = 2582;

// The candidates libical tries on each day of the rule, at most.
std::int64_t candidatesPerDay(const icalrecurrencetype& r) {
    const auto atLeastOne = [](std::size_t n) { return std::max<std::int64_t>(1, n); };
    const std::int64_t secs = atLeastOne(listOf(r.by_second, ICAL_BY_SECOND_SIZE).size());
    const std::int64_t mins = atLeastOne(listOf(r.by_minute, ICAL_BY_MINUTE_SIZE).size());
    const std::int64_t hours = atLeastOne(listOf(r.by_hour, ICAL_BY_HOUR_SIZE).size());
    const std::int64_t n = std::max<int>(1, r.interval);
    switch (r.freq) {
        case ICAL_SECONDLY_RECURRENCE:
            return (86400 + n - 1) / n;
        case ICAL_MINUTELY_RECURRENCE:
            return (1440 + n - 1) / n * secs;
        case ICAL_HOURLY_RECURRENCE:
            return (24 + n - 1) / n * mins * secs;
        default:
            return hours * mins * secs;
    }
}

bool holds(const std::vector<int>& values, int v) {
    return std::find(values.begin(), values.end(), v) != values.end();
}

// The days on which the rule surely has moments, for the rules where that can
// be told from the day alone: no BYSETPOS, BYWEEKNO or n-th weekdays, and a
// step that comes back to the same times every day (every period for the
// longer frequencies). `perDay` is how many moments such a day has at least.
struct SureDays {
    bool known = false;
    std::int64_t perDay = 0;
    std::vector<int> months, monthDays, yearDays;
    int weekdays = 0;  // bit d-1 for weekday d (1 Sunday); 0: any
    // Every n-th period (day, week, month or year) counted from the first.
    icalrecurrencetype_frequency freq = ICAL_NO_RECURRENCE;
    int every = 1;
    DateTime first;
    int weekStart = 2;

    bool inPeriod(DateTime day) const {
        if (every <= 1) return true;
        std::int64_t period = 0;
        switch (freq) {
            case ICAL_DAILY_RECURRENCE:
                period = day.days() - first.days();
                break;
            case ICAL_WEEKLY_RECURRENCE: {
                const auto weekOf = [&](DateTime d) {
                    return (d.days() - (d.weekday() - weekStart + 7) % 7);
                };
                period = (weekOf(day) - weekOf(first)) / 7;
                break;
            }
            case ICAL_MONTHLY_RECURRENCE:
                period = (day.year() - first.year()) * 12 + day.month() - first.month();
                break;
            case ICAL_YEARLY_RECURRENCE:
                period = day.year() - first.year();
                break;
            default:
                return true;
        }
        return period % every == 0;
    }

    int position = 0;  // the n-th of its weekday in the month (negative: from the end)

    bool has(DateTime day) const {
        if (!known || !inPeriod(day)) return false;
        if (position > 0 && (day.day() - 1) / 7 + 1 != position) return false;
        if (position < 0 && (daysInMonth(day.year(), day.month()) - day.day()) / 7 + 1 != -position)
            return false;
        if (!months.empty() && !holds(months, day.month())) return false;
        if (weekdays && !((weekdays >> (day.weekday() - 1)) & 1)) return false;
        if (!monthDays.empty()) {
            const int last = daysInMonth(day.year(), day.month());
            if (!holds(monthDays, day.day()) && !holds(monthDays, day.day() - last - 1))
                return false;
        }
        if (!yearDays.empty()) {
            const int last =
                (day.year() % 4 == 0 && day.year() % 100 != 0) || day.year() % 400 == 0 ? 366 : 365;
            if (!holds(yearDays, day.dayOfYear()) && !holds(yearDays, day.dayOfYear() - last - 1))
                return false;
        }
        return true;
    }
};

SureDays sureDaysOf(const icalrecurrencetype& r, const icaltimetype& start) {
    SureDays s;
    const std::vector<int> secs = listOf(r.by_second, ICAL_BY_SECOND_SIZE);
    const std::vector<int> mins = listOf(r.by_minute, ICAL_BY_MINUTE_SIZE);
    const std::vector<int> hours = listOf(r.by_hour, ICAL_BY_HOUR_SIZE);
    s.months = listOf(r.by_month, ICAL_BY_MONTH_SIZE);
    s.monthDays = listOf(r.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    s.yearDays = listOf(r.by_year_day, ICAL_BY_YEARDAY_SIZE);
    const WeekdaySet days = weekdaysOf(r);
    const std::vector<int> setPos = listOf(r.by_set_pos, ICAL_BY_SETPOS_SIZE);
    if (!listOf(r.by_week_no, ICAL_BY_WEEKNO_SIZE).empty() || days.mixed) return s;
    // The n-th weekday of a month: BYDAY=2TU, or BYDAY=TU;BYSETPOS=2.
    s.position = days.position;
    if (!setPos.empty()) {
        if (setPos.size() != 1 || days.count != 1 || days.position != 0) return s;
        s.position = setPos.front();
    }
    if (s.position != 0 &&
        (s.position < -5 || s.position > 5 || !s.monthDays.empty() || !s.yearDays.empty() ||
         !(r.freq == ICAL_MONTHLY_RECURRENCE ||
           (r.freq == ICAL_YEARLY_RECURRENCE && !s.months.empty()))))
        return s;
    s.weekdays = days.mask;
    const int n = std::max<int>(1, r.interval);
    const auto size = [](const std::vector<int>& v) {
        return std::max<std::int64_t>(1, static_cast<std::int64_t>(v.size()));
    };
    // The moments of one day on the rule's grid that pass its hour, minute
    // and second lists.
    const auto inLists = [&](int h, int m, int sec) {
        return (hours.empty() || holds(hours, h)) && (mins.empty() || holds(mins, m)) &&
               (secs.empty() || holds(secs, sec));
    };
    std::int64_t perDay = 0;
    switch (r.freq) {
        case ICAL_SECONDLY_RECURRENCE: {
            if (86400 % n != 0) return s;
            const int phase = (start.hour * 3600 + start.minute * 60 + start.second) % n;
            for (int t = phase; t < 86400; t += n) perDay += inLists(t / 3600, t / 60 % 60, t % 60);
            break;
        }
        case ICAL_MINUTELY_RECURRENCE: {
            if (1440 % n != 0) return s;
            const int phase = (start.hour * 60 + start.minute) % n;
            for (int t = phase; t < 1440; t += n)
                perDay += inLists(t / 60, t % 60, secs.empty() ? 0 : secs.front());
            perDay *= size(secs);
            break;
        }
        case ICAL_HOURLY_RECURRENCE: {
            if (24 % n != 0) return s;
            for (int h = start.hour % n; h < 24; h += n) perDay += hours.empty() || holds(hours, h);
            perDay *= size(mins) * size(secs);
            break;
        }
        case ICAL_DAILY_RECURRENCE:
        case ICAL_WEEKLY_RECURRENCE:
        case ICAL_MONTHLY_RECURRENCE:
        case ICAL_YEARLY_RECURRENCE: {
            s.freq = r.freq;
            s.every = n;
            s.first = fieldsOf(start).date();
            if (r.week_start >= 1 && r.week_start <= 7) s.weekStart = r.week_start;
            perDay = size(hours) * size(mins) * size(secs);
            const icaltimetype first = start;
            if (r.freq == ICAL_WEEKLY_RECURRENCE) {
                if (!s.monthDays.empty() || !s.yearDays.empty()) return s;
                if (!s.weekdays) s.weekdays = 1 << (icaltime_day_of_week(first) - 1);
            } else if (r.freq == ICAL_MONTHLY_RECURRENCE) {
                if (!s.yearDays.empty()) return s;
                if (s.monthDays.empty() && !s.weekdays) s.monthDays = {first.day};
            } else if (r.freq == ICAL_YEARLY_RECURRENCE) {
                const bool onlyYearDays =
                    !s.yearDays.empty() && s.months.empty() && s.monthDays.empty() && !s.weekdays;
                if (!s.yearDays.empty() && !onlyYearDays) return s;
                if (s.yearDays.empty()) {
                    // Days of the month without months: which months is the
                    // implementation's choice.
                    if (!s.monthDays.empty() && s.months.empty()) return s;
                    if (s.months.empty() && !s.weekdays) s.months = {first.month};
                    if (s.monthDays.empty() && !s.weekdays) s.monthDays = {first.day};
                }
            }
            break;
        }
        default:
            return s;
    }
    if (perDay <= 0) return s;  // the grid never meets the lists
    s.known = true;
    s.perDay = perDay;
    return s;
}

// The candidates libical tries for what expand() asks of it, counted by day
// from where the iteration begins: until the first sure day after `target`
// (the window's end, or the rule's UNTIL), after COUNT or as many moments as
// expand() takes, or at libical's last year. More than `cap`: cap + 1.
std::int64_t expansionCost(const icalrecurrencetype& r, const icaltimetype& ruleStart,
                           DateTime from, DateTime target, DateTime now, std::int64_t cap,
                           int expandLimit, std::size_t sampleLimit) {
    const SureDays sure = sureDaysOf(r, ruleStart);
    const std::int64_t perDay = candidatesPerDay(r);
    std::int64_t cost = 0, moments = 0, comingMoments = 0;
    const bool bounded = r.count > 0 || !icaltime_is_null_time(r.until);
    for (DateTime day = from.date(); day.year() <= kIteratorLastYear;
         day = DateTime(day.seconds() + 86400)) {
        cost += perDay;
        if (cost > cap) return cap + 1;
        if (!sure.has(day)) continue;
        moments += sure.perDay;
        if (day >= now.date()) comingMoments += sure.perDay;
        if (moments >= expandLimit) break;
        if (r.count > 0 && moments >= r.count) break;
        if (day > target) break;
        if (!bounded && comingMoments >= static_cast<std::int64_t>(sampleLimit)) break;
    }
    return cost;
}

// libical's own expansion of one rule, in local time, without the excluded
// occurrences.
struct Expansion {
    bool iterable = false;
    DateTime first = kNever;
    DateTime last = kNever;
    bool ends = false;  // `last` is the rule's last occurrence
    bool anyAfterNow = false;
    Moments window;  // occurrences in (now, windowEnd]
    DateTime windowEnd;
    Moments early;    // the first occurrences, when the window is empty
    Moments removed;  // occurrences the exclusions took out
    // Every occurrence in (now, horizonEnd]: what a replacement alarm must
    // ring at, checked moment for moment. `horizonCovered` when the expansion
    // reached the horizon or the rule's end.
    Moments horizon;
    DateTime horizonEnd;
    bool horizonCovered = false;
    // The iteration limit came before the comparison window was covered: a
    // rule that busy (every second since last month) is no reminder.
    bool tooBusy = false;
    // The candidates libical was counted to try, and whether that passed the budget.
    std::int64_t cost = 0;
    bool tooCostly = false;
};

Expansion expand(const icalrecurrencetype& rule, icaltimetype start, const Exclusions& ex,
                 DateTime now, std::int64_t budget) {
    Expansion e;
    e.windowEnd = addToDate(now, kVerifyYears, kYears);
    e.horizonEnd = e.windowEnd;
    const bool bounded = rule.count > 0 || !icaltime_is_null_time(rule.until);
    // An old rule without COUNT is expanded from a year before now: every
    // step of libical's iterator is costly, and the years before do not ring.
    // (The first moment is then a later one; it still lies on the rule.)
    const DateTime skipTo = addToDate(now, -400, kDays);
    const bool endsLater = icaltime_is_null_time(rule.until) || toLocal(rule.until) > now;
    const bool skip = rule.count == 0 && endsLater && toLocal(start) < skipTo;
    // What libical would try is counted first: one call may otherwise run
    // through centuries of minutes.
    const DateTime until =
        !icaltime_is_null_time(rule.until) && sane(rule.until) ? fieldsOf(rule.until) : kNever;
    e.cost = expansionCost(rule, start, skip ? skipTo : fieldsOf(start),
                           bounded && until != kNever ? until : addToDate(e.windowEnd, 1, kDays),
                           now, budget, kExpandLimit, kSampleLimit);
    if (e.cost > budget) {
        e.tooCostly = true;
        return e;
    }
    icalrecur_iterator* it = icalrecur_iterator_new(rule, start);
    if (!it) return e;
    e.iterable = true;
    if (skip) {
        icaltimetype from = floatingTime(skipTo);
        from.is_date = start.is_date;
        from.zone = start.zone;
        if (!icalrecur_iterator_set_start(it, from)) {
            icalrecur_iterator_free(it);
            it = icalrecur_iterator_new(rule, start);
            if (!it) return e;
        }
    }
    DateTime seen = kDayZero;
    int i = 0;
    for (; i < kExpandLimit; ++i) {
        icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t)) {
            e.ends = true;
            break;
        }
        t.zone = start.zone;
        t.is_date = start.is_date;
        if (t.year > 9998) break;  // past what an alarm can hold: open ended
        const DateTime d = toLocal(t);
        seen = d;
        if (ex.excludes(d)) {
            e.removed.push_back(d);
            continue;
        }
        if (e.first == kNever) e.first = d;
        e.last = d;
        if (e.early.size() < kSampleLimit) e.early.push_back(d);
        if (d > now) {
            e.anyAfterNow = true;
            if (d <= e.windowEnd) {
                e.window.push_back(d);
                // Frequent rules are compared over their first few thousand moments.
                if (e.window.size() >= kSampleLimit) e.windowEnd = d;
            }
            if (d <= e.horizonEnd) e.horizon.push_back(d);
        }
        if (!bounded && d > e.horizonEnd) {
            e.horizonCovered = true;
            break;
        }
    }
    if (e.ends || seen > e.horizonEnd) e.horizonCovered = true;
    e.tooBusy = i == kExpandLimit && seen <= e.windowEnd;
    icalrecur_iterator_free(it);
    return e;
}

// ---- Alarm patterns -----------------------------------------------------------

struct Pattern {
    bool once = false;
    DateTime anchor;
    std::int32_t perl = 1;
    std::int16_t peru = kDays;
    std::int16_t actp = Alarm::kRestrictDates;
    std::int16_t wkds = 0;
    std::string adva;
    DateTime stad = kNever;
    DateTime endd = kNever;
};

void addTiming(XMLNode& n, const Pattern& p) {
    if (p.once) {
        n.addInteger("datk", Alarm::kOnce);
        n.addDate("oncd", p.anchor);
        return;
    }
    n.addDate("nexd", p.anchor);
    n.addInteger("datk", Alarm::kPeriodic);
    n.addLong("perl", p.perl);
    n.addInteger("peru", p.peru);
    n.addInteger("actp", p.actp);
    n.addInteger("wkds", p.wkds);
    n.addString("adva", p.adva);
    n.addDate("stad", p.stad);
    n.addDate("endd", p.endd);
}

void restrictBy(Pattern& p, const std::string& term) {
    if (term.empty()) return;
    p.adva = p.adva.empty() ? term : p.adva + " && " + term;
    p.actp |= Alarm::kRestrictExpression;
}

void restrictWeekdays(Pattern& p, int mask) {
    p.wkds = static_cast<std::int16_t>(mask);
    p.actp |= Alarm::kRestrictWeekdays;
}

// "(NAME == a || NAME == b …)"; a single value needs no parentheses.
std::string anyOf(const std::string& name, const std::vector<int>& values) {
    std::string t;
    for (int v : values) t += (t.empty() ? "" : " || ") + name + " == " + std::to_string(v);
    return values.size() > 1 ? "(" + t + ")" : t;
}

std::string monthDayTerm(const std::vector<int>& days) {
    std::string t;
    for (int d : days)
        t += (t.empty() ? "" : " || ") + (d > 0 ? "DAYOFMONTH == " + std::to_string(d)
                                                : "DAYSBEFORENEXTMONTH == " + std::to_string(-d));
    return days.size() > 1 ? "(" + t + ")" : t;
}

// The n-th weekday of a month; -1 is the last (the calendar's instance 5).
std::string instanceTerm(int n) {
    switch (n) {
        case 1:
            return "dayOfMonth <= 7";
        case 2:
            return "dayOfMonth >= 8 && dayOfMonth <= 14";
        case 3:
            return "dayOfMonth >= 15 && dayOfMonth <= 21";
        case 4:
            return "dayOfMonth >= 22 && dayOfMonth <= 28";
        case 5:
            return "dayOfMonth >= 29";
        case -1:
            return "daysBeforeNextMonth <= 7";
        case -2:
            return "daysBeforeNextMonth >= 8 && daysBeforeNextMonth <= 14";
        case -3:
            return "daysBeforeNextMonth >= 15 && daysBeforeNextMonth <= 21";
        case -4:
            return "daysBeforeNextMonth >= 22 && daysBeforeNextMonth <= 28";
        case -5:
            return "daysBeforeNextMonth >= 29";
        default:
            return {};
    }
}

// The months, counted from the first occurrence's month, that every n-th month hits.
std::vector<int> everyNthMonth(int firstMonth, int n) {
    std::vector<int> months;
    for (int m = 1; m <= 12; ++m)
        if (((m - firstMonth) % n + n) % n == 0) months.push_back(m);
    return months;
}

// The recurrence table: the rule's moments as periodic alarms in local time,
// from the first occurrence `first` to `end`. nullopt where the rule has parts
// the table does not know.
std::optional<std::vector<Pattern>> mapRule(const icalrecurrencetype& r, DateTime first,
                                            DateTime end) {
    if (!listOf(r.by_second, ICAL_BY_SECOND_SIZE).empty() ||
        !listOf(r.by_minute, ICAL_BY_MINUTE_SIZE).empty() ||
        !listOf(r.by_hour, ICAL_BY_HOUR_SIZE).empty() ||
        !listOf(r.by_year_day, ICAL_BY_YEARDAY_SIZE).empty() ||
        !listOf(r.by_week_no, ICAL_BY_WEEKNO_SIZE).empty())
        return std::nullopt;
    const int n = std::max<int>(1, r.interval);
    const WeekdaySet days = weekdaysOf(r);
    const std::vector<int> months = listOf(r.by_month, ICAL_BY_MONTH_SIZE);
    const std::vector<int> monthDays = listOf(r.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    const std::vector<int> setPos = listOf(r.by_set_pos, ICAL_BY_SETPOS_SIZE);
    if (days.mixed) return std::nullopt;

    Pattern p;
    p.anchor = first;
    p.stad = first;
    p.endd = end;
    // BYDAY=XX;BYSETPOS=n is the n-th XX.
    int instance = days.position;
    if (!setPos.empty()) {
        if (setPos.size() != 1 || days.count != 1 || days.position != 0) return std::nullopt;
        instance = setPos.front();
    }
    if (instance != 0 && instanceTerm(instance).empty()) return std::nullopt;

    switch (r.freq) {
        case ICAL_SECONDLY_RECURRENCE:
        case ICAL_MINUTELY_RECURRENCE:
        case ICAL_HOURLY_RECURRENCE:
        case ICAL_DAILY_RECURRENCE: {
            if (instance != 0) return std::nullopt;
            p.perl = n;
            p.peru = r.freq == ICAL_SECONDLY_RECURRENCE   ? kSeconds
                     : r.freq == ICAL_MINUTELY_RECURRENCE ? kMinutes
                     : r.freq == ICAL_HOURLY_RECURRENCE   ? kHours
                                                          : kDays;
            if (days.mask) restrictWeekdays(p, days.mask);
            if (!months.empty()) restrictBy(p, anyOf("MONTH", months));
            if (!monthDays.empty()) restrictBy(p, monthDayTerm(monthDays));
            return std::vector<Pattern>{p};
        }
        case ICAL_WEEKLY_RECURRENCE: {
            if (instance != 0 || !monthDays.empty()) return std::nullopt;
            const int mask = days.mask ? days.mask : 1 << (first.weekday() - 1);
            if (!months.empty()) restrictBy(p, anyOf("MONTH", months));
            if (n == 1) {
                restrictWeekdays(p, mask);
                return std::vector<Pattern>{p};
            }
            // Every n-th week: one alarm per weekday, every 7n days from that
            // weekday's first occurrence in the week of the first occurrence.
            const int weekStart = r.week_start >= 1 && r.week_start <= 7 ? r.week_start : 2;
            const DateTime weekBegin = DateTime::fromParts(
                first.year(), first.month(), first.day() - ((first.weekday() - weekStart + 7) % 7),
                first.hour(), first.minute(), first.second());
            std::vector<Pattern> out;
            for (int d = 1; d <= 7; ++d) {
                if (!((mask >> (d - 1)) & 1)) continue;
                DateTime at = addToDate(weekBegin, (d - weekStart + 7) % 7, kDays);
                if (at < first) at = addToDate(at, 7LL * n, kDays);
                Pattern q = p;
                q.anchor = at;
                q.perl = 7 * n;
                out.push_back(q);
            }
            return out;
        }
        case ICAL_MONTHLY_RECURRENCE: {
            if (days.mask) {
                // Weekdays together with days of the month: both must hold.
                if (!monthDays.empty() && instance != 0) return std::nullopt;
                p.perl = 1;
                p.peru = kDays;
                restrictWeekdays(p, days.mask);
                if (instance != 0) restrictBy(p, instanceTerm(instance));
                if (!monthDays.empty()) restrictBy(p, monthDayTerm(monthDays));
            } else if (monthDays.empty() ||
                       (monthDays.size() == 1 && monthDays.front() == first.day())) {
                if (first.day() <= 28 && months.empty()) {
                    p.perl = n;  // the day of the month exists in every month
                    p.peru = kMonths;
                    return std::vector<Pattern>{p};
                }
                p.perl = 1;
                p.peru = kDays;
                restrictBy(p, "DAYOFMONTH == " + std::to_string(first.day()));
            } else {
                p.perl = 1;
                p.peru = kDays;
                restrictBy(p, monthDayTerm(monthDays));
            }
            // Every n-th month: exact where n divides the year.
            if (n > 1 && 12 % n == 0)
                restrictBy(p, anyOf("MONTH", everyNthMonth(first.month(), n)));
            if (!months.empty()) restrictBy(p, anyOf("MONTH", months));
            return std::vector<Pattern>{p};
        }
        case ICAL_YEARLY_RECURRENCE: {
            const std::vector<int> inMonths =
                months.empty() ? std::vector<int>{first.month()} : months;
            if (!days.mask && monthDays.empty() && inMonths == std::vector<int>{first.month()} &&
                !(first.month() == 2 && first.day() == 29)) {
                p.perl = n;
                p.peru = kYears;
                return std::vector<Pattern>{p};
            }
            if (days.mask && months.empty()) return std::nullopt;  // n-th weekday of the year
            p.perl = 1;
            p.peru = kDays;
            if (days.mask) {
                if (!monthDays.empty() && instance != 0) return std::nullopt;
                restrictWeekdays(p, days.mask);
                if (!monthDays.empty()) restrictBy(p, monthDayTerm(monthDays));
                const std::string inst = instanceTerm(instance);
                if (!inst.empty()) restrictBy(p, inst);
                if (inMonths.size() == 1)
                    p.adva += (p.adva.empty() ? "Month == " : " && Month == ") +
                              std::to_string(inMonths.front());
                else
                    restrictBy(p, anyOf("MONTH", inMonths));
                p.actp |= Alarm::kRestrictExpression;
            } else {
                restrictBy(p, anyOf("MONTH", inMonths));
                restrictBy(
                    p, monthDayTerm(monthDays.empty() ? std::vector<int>{first.day()} : monthDays));
            }
            return std::vector<Pattern>{p};
        }
        default:
            return std::nullopt;
    }
}

// Terms that leave out the removed occurrences still to come.
void excludeRemoved(std::vector<Pattern>& patterns, const Moments& removed, bool subDaily,
                    DateTime now) {
    for (const DateTime& d : removed) {
        if (d < now.date()) continue;
        std::string t = "(YEAR != " + std::to_string(d.year()) +
                        " || MONTH != " + std::to_string(d.month()) +
                        " || DAYOFMONTH != " + std::to_string(d.day());
        if (subDaily)
            t += " || HOUR != " + std::to_string(d.hour()) +
                 " || MINUTE != " + std::to_string(d.minute()) +
                 " || SECOND != " + std::to_string(d.second());
        t += ")";
        for (Pattern& p : patterns) restrictBy(p, t);
    }
}

// Whether the local wall-clock time occurs at all (summer time skips an hour).
bool existsHere(DateTime d) {
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_hour = d.hour();
    tm.tm_min = d.minute();
    tm.tm_sec = d.second();
    tm.tm_isdst = -1;
    const std::time_t secs = std::mktime(&tm);
    std::tm back{};
    return localtime_r(&secs, &back) &&
           DateTime::fromParts(back.tm_year + 1900, back.tm_mon + 1, back.tm_mday, back.tm_hour,
                               back.tm_min, back.tm_sec) == d;
}

enum class Fit { Exact, More, Wrong };

// The alarms' own moments against libical's over the comparison window.
Fit compare(const std::vector<Pattern>& patterns, const Expansion& e, DateTime now) {
    std::set<DateTime> ours;
    // Each moment asked of the alarm searches up to its own limit of periods:
    // the number asked is bounded too, and an alarm that needs more is no
    // match (its stand-in rings at every moment of the sample instead).
    int steps = 0;
    for (const Pattern& p : patterns) {
        auto node = XMLNode::Create("alrm");
        addTiming(*node, p);
        const AlarmPtr al = Alarm::createFromXML(*node, nullptr);
        try {
            for (DateTime t = now; al->hasNextAlarmDateAfter(t, true);) {
                if (++steps > kItemCompareSteps) return Fit::Wrong;
                t = al->getNextAlarmDateAfter();
                if (t > e.windowEnd) break;
                ours.insert(t);
                if (ours.size() > 20 * kSampleLimit) return Fit::Wrong;
            }
        } catch (...) {
            return Fit::Wrong;
        }
    }
    // On the day summer time begins, libical moves a time the clock skips
    // (02:30) an hour on, and its daily steps carry that into the next day;
    // the alarm keeps its wall-clock time (ringing as the clock passes it on
    // the day itself). That is the same reminder, not a missing one.
    std::set<DateTime> theirs;
    for (const DateTime& d : e.window) {
        const DateTime hourBefore(d.seconds() - 3600);
        const bool nearGap =
            !existsHere(hourBefore) || !existsHere(DateTime(hourBefore.seconds() - 86400));
        theirs.insert(!ours.count(d) && ours.count(hourBefore) && nearGap ? hourBefore : d);
    }
    if (!std::includes(ours.begin(), ours.end(), theirs.begin(), theirs.end())) return Fit::Wrong;
    return ours.size() == theirs.size() ? Fit::Exact : Fit::More;
}

// Whether the alarms ring at every occurrence up to the horizon (the summer
// time gap allowed for as in compare). An answer built on a listing that was
// cut short is no.
bool coversHorizon(const std::vector<Pattern>& patterns, const Expansion& e, DateTime now) {
    if (e.horizon.empty()) return true;
    std::vector<DateTime> ours;
    const int limit = static_cast<int>(std::min<std::size_t>(4 * e.horizon.size() + 1000, 2000000));
    for (const Pattern& p : patterns) {
        auto node = XMLNode::Create("alrm");
        addTiming(*node, p);
        const AlarmPtr al = Alarm::createFromXML(*node, nullptr);
        const std::size_t before = ours.size();
        try {
            al->listMomentsAfter(now, DateTime(e.horizonEnd.seconds() + 1), true, ours, limit);
        } catch (...) {
            return false;
        }
        if (ours.size() - before >= static_cast<std::size_t>(limit)) return false;
    }
    std::sort(ours.begin(), ours.end());
    auto rings = [&](DateTime d) { return std::binary_search(ours.begin(), ours.end(), d); };
    for (const DateTime& d : e.horizon) {
        if (rings(d)) continue;
        const DateTime hourBefore(d.seconds() - 3600);
        const bool nearGap =
            !existsHere(hourBefore) || !existsHere(DateTime(hourBefore.seconds() - 86400));
        if (!(nearGap && rings(hourBefore))) return false;
    }
    return true;
}

// A grid through all of the rule's moments: the largest step that divides
// every distance from the first one.
Pattern gridThrough(const Moments& moments, DateTime first, DateTime end) {
    std::int64_t step = 0;
    for (const DateTime& d : moments) step = std::gcd(step, d.seconds() - moments.front().seconds());
    Pattern p;
    p.anchor = moments.front();
    p.stad = first;
    p.endd = end;
    if (step <= 0) step = 1;
    if (step % 86400 == 0) {
        p.perl = static_cast<std::int32_t>(std::min<std::int64_t>(step / 86400, 1 << 30));
        p.peru = kDays;
    } else if (step % 3600 == 0) {
        p.perl = static_cast<std::int32_t>(step / 3600);
        p.peru = kHours;
    } else if (step % 60 == 0) {
        p.perl = static_cast<std::int32_t>(step / 60);
        p.peru = kMinutes;
    } else {
        p.perl = static_cast<std::int32_t>(step);
        p.peru = kSeconds;
    }
    return p;
}

// An alarm that rings at least at every moment of the rule: daily at each of
// its times of day on its weekdays, or a grid through all of its moments.
// The times are taken from every occurrence up to the horizon, not from the
// sample: a zone whose summer time differs from ours shows its other offset
// only in some weeks of the year.
std::vector<Pattern> standIn(const Expansion& e, DateTime end, DateTime now) {
    const Moments& sample = !e.horizon.empty() ? e.horizon : e.window.empty() ? e.early : e.window;
    std::set<int> times;
    int mask = 0;
    for (const DateTime& d : sample) {
        times.insert(d.secondsOfDay());
        mask |= 1 << (d.weekday() - 1);
        if (times.size() > kMaxTimesOfDay) break;
    }
    std::vector<Pattern> out;
    if (times.size() <= kMaxTimesOfDay) {
        for (int t : times) {
            Pattern p;
            p.anchor = DateTime(e.first.date().seconds() + t);
            p.stad = e.first;
            p.endd = end;
            restrictWeekdays(p, mask);
            out.push_back(p);
        }
        // Checked against the occurrences it claims to cover; the grid is
        // the coarser replacement when it misses one.
        if (coversHorizon(out, e, now)) return out;
    }
    return {gridThrough(sample, e.first, end)};
}

// ---- Items --------------------------------------------------------------------

struct Reminder {
    std::int64_t leadSeconds = 0;  // before the start; negative after it
    std::optional<DateTime> at;    // an absolute trigger: that moment, once
    std::string soundFile;
};

std::string fileOfAttach(icalproperty* p) {
    icalattach* a = icalproperty_get_attach(p);
    if (!a || !icalattach_get_is_url(a)) return {};
    const char* url = icalattach_get_url(a);
    std::string s = url ? url : "";
    if (s.rfind("file://", 0) == 0)
        s = s.substr(7);
    else if (s.find("://") != std::string::npos)
        return {};  // not a local file
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The alarms of the item in order: TRIGGER relative to the start (RELATED=END
// counted from `end`), or absolute. Repeated lead times count once.
std::vector<Reminder> remindersOf(icalcomponent* c, DateTime start, DateTime end, bool haveStart) {
    std::vector<Reminder> out;
    for (icalcomponent* va = icalcomponent_get_first_component(c, ICAL_VALARM_COMPONENT); va;
         va = icalcomponent_get_next_component(c, ICAL_VALARM_COMPONENT)) {
        icalproperty* tp = icalcomponent_get_first_property(va, ICAL_TRIGGER_PROPERTY);
        if (!tp) continue;
        // ACTION:NONE (RFC 9074) is an alarm that does nothing, no reminder.
        icalproperty* act = icalcomponent_get_first_property(va, ICAL_ACTION_PROPERTY);
        if (act) {
            std::string value = textOf(icalproperty_get_value_as_string(act));
            for (char& ch : value) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (icalproperty_get_action(act) == ICAL_ACTION_NONE || value == "NONE") continue;
        }
        const icaltriggertype tr = icalproperty_get_trigger(tp);
        std::int64_t lead;
        if (icaltime_is_null_time(tr.time)) {
            if (!haveStart) continue;
            lead = -static_cast<std::int64_t>(icaldurationtype_as_int(tr.duration));
            icalparameter* rel = icalproperty_get_first_parameter(tp, ICAL_RELATED_PARAMETER);
            if (rel && icalparameter_get_related(rel) == ICAL_RELATED_END)
                lead -= end.seconds() - start.seconds();
        } else {
            if (!sane(tr.time)) continue;
            lead = haveStart ? start.seconds() - toLocal(tr.time).seconds() : 0;
        }
        if (lead > 400LL * 86400 || lead < -400LL * 86400) continue;  // absurd
        Reminder r;
        r.leadSeconds = lead;
        if (!icaltime_is_null_time(tr.time)) r.at = toLocal(tr.time);
        icalproperty* att = icalcomponent_get_first_property(va, ICAL_ATTACH_PROPERTY);
        if (act && icalproperty_get_action(act) == ICAL_ACTION_AUDIO && att)
            r.soundFile = fileOfAttach(att);
        const bool seen = std::any_of(out.begin(), out.end(), [&](const Reminder& o) {
            return o.leadSeconds == r.leadSeconds;
        });
        if (!seen) out.push_back(r);
    }
    return out;
}

// A lead before the start as a reminder of the alarm: in the largest unit it
// is a whole number of, as long as that number is one a reminder holds.
std::optional<qv::Reminder> asReminderBefore(const Reminder& r) {
    if (r.at || r.leadSeconds <= 0 || !r.soundFile.empty()) return std::nullopt;
    static constexpr std::pair<std::int64_t, int> kUnits[] = {
        {604800, kWeeks}, {86400, kDays}, {3600, kHours}, {60, kMinutes}, {1, kSeconds}};
    for (const auto& [seconds, unit] : kUnits) {
        if (r.leadSeconds % seconds != 0) continue;
        const std::int64_t amount = r.leadSeconds / seconds;
        if (amount > kMaxReminderAmount) return std::nullopt;
        return qv::Reminder{static_cast<std::int32_t>(amount), static_cast<std::int16_t>(unit)};
    }
    return std::nullopt;
}

// When the first of `leads` rings at the item's own moment, the later ones
// that can be reminders before it are taken out of `leads` and returned (as
// many as an alarm holds); the others stay alarms of their own.
std::vector<qv::Reminder> remindersBeforeOwnMoment(std::vector<Reminder>& leads) {
    std::vector<qv::Reminder> out;
    if (leads.size() < 2 || leads.front().at || leads.front().leadSeconds != 0) return out;
    std::vector<Reminder> kept{leads.front()};
    for (std::size_t i = 1; i < leads.size(); ++i) {
        const auto r = asReminderBefore(leads[i]);
        if (r && out.size() < static_cast<std::size_t>(kMaxReminders))
            out.push_back(*r);
        else
            kept.push_back(leads[i]);
    }
    leads = std::move(kept);
    return normaliseReminders(std::move(out));
}

std::optional<DateTime> localProperty(icalcomponent* c, icalproperty* p) {
    const icaltimetype t = icalproperty_get_datetime_with_component(p, c);
    if (!sane(t)) return std::nullopt;
    return toLocal(t);
}

class Builder {
  public:
    Builder(const BuildOptions& o, BuildResult& r, const std::string& text)
        : o_(o), r_(r), owners_(text) {}

    void collectMoved(icalcomponent* cal, icalcomponent_kind kind) {
        for (icalcomponent* c = icalcomponent_get_first_component(cal, kind); c;
             c = icalcomponent_get_next_component(cal, kind)) {
            icalproperty* rid = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
            const char* uid = icalcomponent_get_uid(c);
            if (!rid || !uid || damageOf(c, owners_) == Damage::Fatal) continue;
            if (const auto d = localProperty(c, rid)) moved_[uid].push_back(*d);
        }
    }

    void add(icalcomponent* c, XMLNode& group) {
        const Damage damage = damageOf(c, owners_);
        if (damage == Damage::Fatal) {
            ++r_.skipped;
            return;
        }
        if (damage == Damage::Repaired) ++r_.repaired;
        icalproperty* status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
        if (status && icalproperty_get_status(status) == ICAL_STATUS_CANCELLED) {
            ++r_.filtered;
            return;
        }
        const bool tasks = o_.kind == ItemKind::Tasks;
        const std::string subject = textOf(icalcomponent_get_summary(c));
        const std::string body = textOf(icalcomponent_get_description(c));

        // The moment, and what the rule is expanded from.
        DateTime moment;
        icaltimetype ruleStart = icaltime_null_time();
        std::int64_t shift = 0;  // tasks: reminder time minus the rule's own start
        std::string name = subject;
        std::string message = body;
        std::vector<Reminder> reminders;
        std::optional<Reminder> onceReminder;  // an absolute one of a repeating task
        std::optional<DateTime> dueDate;
        DateTime ruleBase;  // the rule's first moment in local time
        icalproperty* dtstartProp = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY);
        if (!tasks) {
            if (!dtstartProp) return skip();
            const icaltimetype st = icalcomponent_get_dtstart(c);
            if (!sane(st)) return skip();
            const DateTime start = toLocal(st);
            DateTime end = start;
            const icaltimetype en = icalcomponent_get_dtend(c);
            if (sane(en) && toLocal(en) >= start) end = toLocal(en);
            moment = start;
            ruleStart = st;
            ruleBase = start;
            reminders = remindersOf(c, start, end, true);
            message = fmt(start) + " - " + fmt(end) + "\r\n" + text(15) + " " +
                      textOf(icalcomponent_get_location(c)) + "\r\n" + body;
        } else {
            std::optional<DateTime> due, start;
            icaltimetype baseTime = icaltime_null_time();
            if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_DUE_PROPERTY)) {
                due = localProperty(c, p);
                if (!due) return skip();
                baseTime = icalproperty_get_datetime_with_component(p, c);
            }
            if (dtstartProp) {
                start = localProperty(c, dtstartProp);
                if (!start) return skip();
                baseTime = icalproperty_get_datetime_with_component(dtstartProp, c);
            }
            const DateTime base = start ? *start : due ? *due : kNever;
            const DateTime endBase = due ? *due : base;
            reminders = remindersOf(c, base, endBase, base != kNever);
            // The rule repeats the task from its start (without one, from its
            // due moment); each instance is due its own DUE - DTSTART later
            // and reminds its own lead time before that.
            const bool repeats =
                base != kNever && (icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY) ||
                                   icalcomponent_get_first_property(c, ICAL_RDATE_PROPERTY));
            if (repeats && !reminders.empty() && reminders.front().at) {
                // An absolute reminder rings once, at its moment; the
                // instances ring when they are due.
                onceReminder = reminders.front();
                reminders.clear();
            }
            if (!reminders.empty())
                moment = reminders.front().at
                             ? *reminders.front().at
                             : DateTime(base.seconds() - reminders.front().leadSeconds);
            else
                moment = due ? *due : repeats ? base : kUnsetDate;
            if (due) name += ", " + text(14) + " " + fmt(*due);
            if (repeats && moment != kUnsetDate) {
                ruleStart = baseTime;
                ruleBase = base;
                shift = moment.seconds() - base.seconds();
            }
            // Tasks ring at the reminder itself: only the first is kept.
            if (!reminders.empty()) {
                reminders.front().leadSeconds = 0;
                reminders.front().at.reset();
                reminders.resize(1);
            }
            dueDate = due;
        }
        if (moment.year() > 9998 && moment != kUnsetDate) return skip();

        // Exclusions: EXDATE and the instances moved elsewhere (their own items).
        Exclusions ex;
        for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype t = icalproperty_get_datetime_with_component(p, c);
            if (!sane(t)) continue;
            if (t.is_date)
                ex.days.insert(fieldsOf(t).days());
            else
                ex.moments.insert(toLocal(t));
        }
        const char* uid = icalcomponent_get_uid(c);
        const bool isMoved = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        if (uid && !isMoved)
            if (auto it = moved_.find(uid); it != moved_.end())
                for (const DateTime& d : it->second) ex.moments.insert(d);

        std::vector<Pattern> patterns;
        bool approximated = false;
        bool future = !tasks && moment >= o_.now;
        bool recurring = false;
        bool ruled = false;
        // The rule's own moments are the instances' starts; a task rings
        // `shift` after each.
        const DateTime ruleNow(o_.now.seconds() - shift);
        // The recurrence set is a set: an RDATE that is also the start or an
        // instance of the rule rings once.
        std::set<DateTime> instances;
        if (!icaltime_is_null_time(ruleStart)) {
            for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY); p;
                 p = icalcomponent_get_next_property(c, ICAL_RRULE_PROPERTY)) {
                const icalrecurrencetype rule = icalproperty_get_rrule(p);
                if (rule.freq == ICAL_NO_RECURRENCE || rule.interval < 1 || rule.interval > 10000 ||
                    rule.count < 0 || rule.count > 1000000)
                    return skip();
                recurring = ruled = true;
                const std::int64_t left = kCalendarExpansionSteps - spent_;
                const Expansion e =
                    expand(rule, ruleStart, ex, ruleNow, std::min(kItemExpansionSteps, left));
                if (e.tooCostly) {
                    if (left < kItemExpansionSteps) {
                        // The calendar's budget is gone: nothing more is expanded.
                        exhausted_ = true;
                        if (r_.givenUpName.empty()) r_.givenUpName = subject;
                        return;
                    }
                    // Too costly to expand: left out, counted and named.
                    if (r_.givenUp++ == 0) r_.givenUpName = subject;
                    return;
                }
                spent_ += e.cost;
                if (!e.iterable || e.tooBusy) return skip();
                if (e.first == kNever) continue;  // every occurrence excluded
                if (e.anyAfterNow) future = true;
                instances.insert(e.early.begin(), e.early.end());
                instances.insert(e.horizon.begin(), e.horizon.end());
                DateTime end = kNever;
                if (e.ends)
                    end = e.last;
                else if (!icaltime_is_null_time(rule.until) && sane(rule.until))
                    end = toLocal(rule.until);
                std::optional<std::vector<Pattern>> mapped = mapRule(rule, e.first, end);
                if (mapped)
                    excludeRemoved(*mapped, e.removed, rule.freq < ICAL_DAILY_RECURRENCE, ruleNow);
                Fit fit = mapped ? compare(*mapped, e, ruleNow) : Fit::Wrong;
                // The sample agreed; the whole horizon must too.
                if (fit != Fit::Wrong && !coversHorizon(*mapped, e, ruleNow)) fit = Fit::Wrong;
                if (fit == Fit::Wrong) {
                    mapped = standIn(e, end, ruleNow);
                    fit = Fit::More;
                }
                if (fit == Fit::More) approximated = true;
                patterns.insert(patterns.end(), mapped->begin(), mapped->end());
            }
            // RDATE: further one-off moments.
            for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_RDATE_PROPERTY); p;
                 p = icalcomponent_get_next_property(c, ICAL_RDATE_PROPERTY)) {
                const auto d = localProperty(c, p);
                if (!d) continue;
                const DateTime at = *d;
                if (ex.excludes(at)) continue;
                if (!recurring && !ruled && !ex.excludes(ruleBase)) {
                    // Without a rule the start itself is the first moment.
                    Pattern first;
                    first.once = true;
                    first.anchor = ruleBase;
                    patterns.push_back(first);
                    instances.insert(ruleBase);
                }
                recurring = true;
                if (!instances.insert(at).second) continue;
                if (at >= ruleNow) future = true;
                Pattern q;
                q.once = true;
                q.anchor = at;
                patterns.push_back(q);
            }
            if (recurring && patterns.empty()) {  // nothing left to ring
                ++r_.filtered;
                return;
            }
        }
        if (!recurring) {
            Pattern p;
            p.once = true;
            p.anchor = moment;
            patterns.push_back(p);
        }
        if (o_.futureOnly) {
            // A recurring item counts while it has an occurrence still to come.
            bool keep = future;
            if (!recurring && tasks)
                keep = (dueDate && *dueDate >= o_.now) || (!reminders.empty() && moment >= o_.now);
            if (!keep) {
                ++r_.filtered;
                return;
            }
        }

        // One alarm per pattern and reminder lead time. The correction is the
        // reminder's lead before an appointment, and for a repeating task the
        // distance from each instance's start to its reminder.
        auto emit = [&](const Pattern& p, std::int64_t correction, const std::string& soundFile) {
            auto al = XMLNode::Create("alrm");
            al->addString("name", name);
            addTiming(*al, p);
            if (!tasks || correction != 0) {
                if (correction % 60 == 0) {
                    al->addLong("adda", static_cast<std::int32_t>(correction / 60));
                    al->addInteger("addu", kMinutes);
                } else {
                    al->addLong("adda", static_cast<std::int32_t>(correction));
                    al->addInteger("addu", kSeconds);
                }
            }
            auto msg = XMLNode::Create("acti");
            msg->addInteger("acid", 1);
            auto msgSett = XMLNode::Create("sett");
            msgSett->addString("s", message);
            msg->addNode(msgSett);
            al->addNode(msg);
            if (!soundFile.empty()) {
                auto snd = XMLNode::Create("acti");
                snd->addInteger("acid", 7);
                auto sett = XMLNode::Create("sett");
                sett->addString("s", soundFile);
                sett->addInteger("i", 0);
                snd->addNode(sett);
                al->addNode(snd);
            }
            if (!o_.importing) al->addBoolean("rdon", true);
            group.addNode(al);
        };
        // An absolute reminder of a repeating item rings once, at its moment
        // (RFC 5545 3.8.6.3), not before every instance.
        auto onceAt = [&](const Reminder& rem) {
            Pattern p;
            p.once = true;
            p.anchor = *rem.at;
            emit(p, 0, rem.soundFile);
        };
        std::vector<Reminder> leads =
            reminders.empty() ? std::vector<Reminder>{Reminder{}} : reminders;
        // An appointment whose first reminder is its own moment: the reminders
        // before it are reminders of that alarm rather than alarms of their own.
        const std::vector<qv::Reminder> before = tasks ? std::vector<qv::Reminder>{}
                                                       : remindersBeforeOwnMoment(leads);
        bool first = true;
        for (const Reminder& rem : leads) {
            if (recurring && rem.at) {
                onceAt(rem);
                continue;
            }
            const int from = group.getNumberOfNodes();
            for (const Pattern& p : patterns)
                emit(p, tasks ? (recurring ? shift : 0) : -rem.leadSeconds, rem.soundFile);
            if (first && !before.empty())
                for (int i = from; i < group.getNumberOfNodes(); ++i)
                    group.getNodeAt(i)->addNode(remindersToXML(before));
            first = false;
        }
        if (onceReminder) onceAt(*onceReminder);
        ++r_.converted;
        if (approximated || (recurring && damage == Damage::Exclusion)) ++r_.approximated;
    }

  private:
    void skip() { ++r_.skipped; }
    std::string fmt(DateTime d) const {
        return o_.shortDateTime ? o_.shortDateTime(d) : toStoredText(d);
    }
    std::string text(int n) const { return o_.text ? o_.text(n) : std::string(); }

    const BuildOptions& o_;
    BuildResult& r_;
    LineOwners owners_;
    std::map<std::string, Moments> moved_;
    std::int64_t spent_ = 0;  // candidates counted for the items so far

  public:
    bool exhausted_ = false;  // the calendar's budget ran out
};

bool containsNoCase(const std::string& hay, const std::string& needle) {
    auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == b;
    });
    return it != hay.end();
}

// Lines starting with `tag` (any case).
int linesStartingWith(const std::string& text, const std::string& tag) {
    int n = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text.size() - at >= tag.size() &&
            std::equal(
                tag.begin(), tag.end(), text.begin() + static_cast<std::ptrdiff_t>(at),
                [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); }))
            ++n;
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    return n;
}

// Every calendar, item and reminder that begins also ends: a file cut short
// anywhere is refused as a whole.
bool balanced(const std::string& text) {
    for (const char* kind : {"VCALENDAR", "VEVENT", "VTODO", "VALARM"})
        if (linesStartingWith(text, std::string("BEGIN:") + kind) !=
            linesStartingWith(text, std::string("END:") + kind))
            return false;
    return linesStartingWith(text, "END:VCALENDAR") > 0;
}

// libical reads a physical line in pieces it joins again and again: a 4 MB
// line costs it seconds, a 16 MB one half a minute. Folded lines (RFC 5545
// folds at 75 octets) cost it nothing, and unfolding gives back the same
// value, so long lines are folded before it reads them.
constexpr std::size_t kLongestLine = 8192;

std::string foldLongLines(const std::string& text) {
    std::string out;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        std::size_t at = begin;
        while (end - at > kLongestLine) {
            out.append(text, at, kLongestLine);
            out += "\r\n ";
            at += kLongestLine;
        }
        out.append(text, at, end - at);
        begin = end;
    }
    return out;
}

bool hasLongLine(const std::string& text) {
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t nl = text.find('\n', begin);
        const std::size_t end = nl == std::string::npos ? text.size() : nl;
        if (end - begin > kLongestLine) return true;
        begin = end + 1;
    }
    return false;
}

}  // namespace

DateTime fieldsOf(const icaltimetype& t) {
    return t.is_date ? DateTime::fromParts(t.year, t.month, t.day)
                     : DateTime::fromParts(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

DateTime toLocal(const icaltimetype& t) {
    if (t.is_date || t.zone == nullptr) return fieldsOf(t);
    const std::time_t secs = icaltime_as_timet_with_zone(t, t.zone);
    std::tm tm{};
    if (!localtime_r(&secs, &tm)) return fieldsOf(t);
    return DateTime::fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                               tm.tm_sec);
}

bool sane(const icaltimetype& t) {
    return !icaltime_is_null_time(t) && t.year >= 1900 && t.year <= 9998 && t.month >= 1 &&
           t.month <= 12 && t.day >= 1 && t.day <= 31;
}

BuildError parseCalendarText(const std::string& icsText, icalcomponent*& root,
                             std::vector<icalcomponent*>& calendars) {
    root = nullptr;
    calendars.clear();
    // The parser's work grows with the text (a 50 MB line takes it minutes).
    if (icsText.size() > kMaxCalendarBytes) return BuildError::TooLarge;
    // Binary data and text without a calendar are no iCalendar; a calendar
    // that never ends was cut off, and its last item may be cut with it.
    if (icsText.find('\0') != std::string::npos || !containsNoCase(icsText, "BEGIN:VCALENDAR"))
        return BuildError::NotICalendar;
    if (!balanced(icsText)) return BuildError::Truncated;
    icalerror_set_errors_are_fatal(0);
    root = icalparser_parse_string(
        hasLongLine(icsText) ? foldLongLines(icsText).c_str() : icsText.c_str());
    if (!root) return BuildError::NotICalendar;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root);
    } else if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
             c; c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(c);
    }
    if (calendars.empty()) {
        icalcomponent_free(root);
        root = nullptr;
        return BuildError::NotICalendar;
    }
    return BuildError::None;
}

BuildResult buildGroup(const std::string& icsText, const BuildOptions& options) {
    BuildResult result;
    icalcomponent* root = nullptr;
    std::vector<icalcomponent*> calendars;
    result.error = parseCalendarText(icsText, root, calendars);
    if (result.error != BuildError::None) return result;

    const icalcomponent_kind kind =
        options.kind == ItemKind::Tasks ? ICAL_VTODO_COMPONENT : ICAL_VEVENT_COMPONENT;
    auto group = XMLNode::Create("algr");
    if (options.importing) group->addString("name", options.groupName);
    Builder builder(options, result, icsText);
    bool brokenCalendar = false;
    int items = 0;
    for (icalcomponent* cal : calendars) {
        if (icalcomponent_get_first_property(cal, ICAL_XLICERROR_PROPERTY)) brokenCalendar = true;
        builder.collectMoved(cal, kind);
    }
    for (icalcomponent* cal : calendars)
        for (icalcomponent* c = icalcomponent_get_first_component(cal, kind); c;
             c = icalcomponent_get_next_component(cal, kind)) {
            if (builder.exhausted_) break;
            ++items;
            builder.add(c, *group);
        }
    icalcomponent_free(root);
    if (builder.exhausted_) {
        const std::string name = result.givenUpName;
        result = BuildResult{};
        result.error = BuildError::TooCostly;
        result.givenUpName = name;
        return result;
    }
    if (items == 0 && brokenCalendar) {
        result = BuildResult{};
        result.error = BuildError::Unreadable;
        return result;
    }
    result.group = group;
    return result;
}

}  // namespace qv::outlook

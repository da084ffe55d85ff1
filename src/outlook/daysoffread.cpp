#include "outlook/daysoffread.h"
#include "outlook/icaltext.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <set>

namespace qv::outlook {
namespace {

struct Reader {
    DateTime from, to;
    int budget = kDaysOffCalendarSteps;
    DaysOffReading& out;

    void keep(DateTime start, std::int64_t length, bool allDay, const std::string& name) {
        const DateTime end(start.seconds() + length);
        // An item touches the range when it ends after its start and begins before its end.
        if (!(from < end) || !(start < to)) return;
        out.items.push_back({start, end, allDay, name});
    }

    void add(icalcomponent* c) {
        if (icalcomponent_get_status(c) == ICAL_STATUS_CANCELLED) return;
        const icaltimetype st = icalcomponent_get_dtstart(c);
        if (!sane(st)) {
            ++out.skipped;
            return;
        }
        const bool allDay = st.is_date != 0;
        const DateTime start = toLocal(st);
        // The length: DTEND, else DURATION, else a day for a date and none for a moment.
        std::int64_t length = allDay ? 86400 : 0;
        if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY)) {
            const icaltimetype en = icalproperty_get_dtend(p);
            if (sane(en) && toLocal(en) > start) length = toLocal(en).seconds() - start.seconds();
        } else if (icalproperty* d = icalcomponent_get_first_property(c, ICAL_DURATION_PROPERTY)) {
            const int secs = icaldurationtype_as_int(icalproperty_get_duration(d));
            if (secs > 0) length = secs;
        }
        // More than a year is no day off but a mistake.
        length = std::min<std::int64_t>(length, 366LL * 86400);
        const char* summary = icalcomponent_get_summary(c);
        const std::string name = summary ? summary : "";

        icalproperty* rr = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY);
        if (!rr) {
            keep(start, length, allDay, name);
            return;
        }
        std::set<DateTime> excluded;
        for (icalproperty* ex = icalcomponent_get_first_property(c, ICAL_EXDATE_PROPERTY); ex;
             ex = icalcomponent_get_next_property(c, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype t = icalproperty_get_exdate(ex);
            if (sane(t)) excluded.insert(t.is_date ? toLocal(t).date() : toLocal(t));
        }
        const icalrecurrencetype rule = icalproperty_get_rrule(rr);
        icalrecur_iterator* it = icalrecur_iterator_new(rule, st);
        if (!it) {
            keep(start, length, allDay, name);
            return;
        }
        // An item repeated more often than any days off are (every minute, say)
        // is left out whole: a part of it would crowd out the real days off.
        const std::size_t before = out.items.size();
        int steps = 0;
        bool tooMany = false;
        for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it)) {
            if (++steps > kDaysOffItemSteps || --budget <= 0 ||
                out.items.size() - before >= kDaysOffItemOccurrences) {
                tooMany = true;
                break;
            }
            if (!sane(t)) break;
            const DateTime m = toLocal(t);
            if (!(m < to)) break;
            if (excluded.count(allDay ? m.date() : m)) continue;
            keep(m, length, allDay, name);
        }
        icalrecur_iterator_free(it);
        if (tooMany) {
            out.items.resize(before);
            ++out.skipped;
        }
    }
};

}  // namespace

DaysOffReading readDaysOff(const std::string& icsText, DateTime from, DateTime to) {
    DaysOffReading result;
    // A calendar cut short may have lost days off: the last good copy is better.
    icalcomponent* root = nullptr;
    std::vector<icalcomponent*> calendars;
    result.error = parseCalendarText(icsText, root, calendars);
    if (result.error != BuildError::None) return result;
    Reader reader{from, to, kDaysOffCalendarSteps, result};
    for (icalcomponent* cal : calendars)
        for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); c;
             c = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT))
            reader.add(c);
    icalcomponent_free(root);
    std::stable_sort(result.items.begin(), result.items.end(),
                     [](const DayOffItem& a, const DayOffItem& b) { return a.from < b.from; });
    if (result.items.size() > kMaxDaysOffItems) result.items.resize(kMaxDaysOffItems);
    return result;
}

}  // namespace qv::outlook

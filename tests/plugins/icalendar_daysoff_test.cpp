// The iCalendar export of alarms that skip days off: the skipped moments are
// exclusions of the rule, read back with libical; a stretch of days off out
// of the search's reach leaves the alarm out.

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <set>

#include "plugins/hostfixture.h"
#include "xml/xmlnode.h"

namespace qv::test {
namespace {

DateTime fromIcal(icaltimetype t) {
    return DateTime::fromParts(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// The occurrences of the event `summary` in (from, to], its exclusions applied.
std::vector<DateTime> occurrences(const std::string& text, const std::string& summary,
                                  DateTime from, DateTime to) {
    std::vector<DateTime> out;
    icalcomponent* cal = icalparser_parse_string(text.c_str());
    if (!cal) return out;
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        if (summary != icalcomponent_get_summary(ev)) continue;
        std::set<DateTime> excluded;
        for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(ev, ICAL_EXDATE_PROPERTY))
            excluded.insert(fromIcal(icalproperty_get_exdate(p)));
        icalproperty* rrule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
        icalrecur_iterator* it =
            icalrecur_iterator_new(icalproperty_get_rrule(rrule), icalcomponent_get_dtstart(ev));
        for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it)) {
            const DateTime d = fromIcal(t);
            if (d > to) break;
            if (from < d && !excluded.count(d)) out.push_back(d);
        }
        icalrecur_iterator_free(it);
    }
    icalcomponent_free(cal);
    return out;
}

std::vector<DateTime> modelMoments(Alarm& al, DateTime from, DateTime to) {
    std::vector<DateTime> m;
    for (DateTime t = from; al.hasNextAlarmDateAfter(t, false);) {
        t = al.getNextAlarmDateAfter();
        if (t > to) break;
        m.push_back(t);
    }
    return m;
}

DayOffItem day(DateTime d, int days, const std::string& name) {
    return {d, addToDate(d, days, kDays), true, name};
}

TEST(ICalendarExport, SkippedDaysOffBecomeExclusionsOfTheRule) {
    HostFixture f({"bin:QuorvaneICalendar.so"});
    f.host.loadPlugins();
    ModelContext& ctx = f.p().ctx;
    auto group = AlarmGroup::createDefaultAlarmGroup(ctx);
    group->name = "Work";
    GroupDaysOff d;
    d.calendars = {"holidays/DE.ics"};
    d.cache["holidays/DE.ics"].items = {day(dt(2027, 3, 26), 1, "Karfreitag"),
                                        day(dt(2027, 3, 29), 1, "Ostermontag"),
                                        day(dt(2027, 7, 19), 12, "Urlaub"),
                                        {dt(2027, 5, 3, 6), dt(2027, 5, 3, 9), false, "Arzt"}};
    group->setDaysOff(d);

    auto weekdays = ModelFixture::periodic(dt(2026, 1, 5, 7, 0, 0), 1, kDays);
    weekdays->name = "Weekdays";
    weekdays->activePeriod = Alarm::kRestrictWeekdays;
    weekdays->weekDays = 0b0111110;
    weekdays->correctionAmount = -10;  // the day off is the grid point's
    weekdays->correctionUnit = kMinutes;
    weekdays->notOnDaysOff = true;
    group->addAlarm(weekdays);
    // Every minute: a whole day off is more than the search reaches.
    auto minutely = ModelFixture::periodic(dt(2026, 1, 5, 7, 0, 0), 1, kMinutes);
    minutely->name = "Minutely";
    minutely->notOnDaysOff = true;
    group->addAlarm(minutely);

    const std::string path = f.folder.file("work.ics");
    const std::string answer = f.host.methodCall(
        "QuorvaneICalendar*iCalendar", "SaveAlarmgroupToFile",
        f.host.lang() + "<path>" + path + "</path>" + group->toXML()->toString(), false);
    auto reply = XMLNode::createFromXML(answer);
    EXPECT_GE(reply->getNodeIndex("success", 0), 0) << answer;
    const std::string text = readFile(path);
    const DateTime from = dt(2027, 1, 1), to = dt(2028, 1, 1);
    const std::vector<DateTime> expected = modelMoments(*weekdays, from, to);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), dt(2027, 3, 29, 6, 50)), 0);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), dt(2027, 5, 3, 6, 50)), 1);
    EXPECT_EQ(occurrences(text, "Weekdays", from, to), expected) << text;
    EXPECT_EQ(text.find("Minutely"), std::string::npos);
}

}  // namespace
}  // namespace qv::test

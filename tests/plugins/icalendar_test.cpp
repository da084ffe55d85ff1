// The shipped iCalendar export through the real host: the file it writes is
// read back with libical and each event's occurrences over the coming year
// must be exactly the alarm's own moments.

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <QDateTime>
#include <map>

#include "plugins/hostfixture.h"
#include "xml/xmlnode.h"

namespace qv::test {
namespace {

using Moments = std::vector<DateTime>;

DateTime localNow() {
    const QDateTime t = QDateTime::currentDateTime();
    return DateTime::fromParts(t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                               t.time().minute(), t.time().second());
}

DateTime fromIcal(icaltimetype t) {
    return DateTime::fromParts(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// The moments the alarm sounds at in (from, to], as the supervision and the
// agenda walk them.
Moments modelMoments(Alarm& al, DateTime from, DateTime to) {
    Moments m;
    for (DateTime t = from; al.hasNextAlarmDateAfter(t, false);) {
        t = al.getNextAlarmDateAfter();
        if (t > to) break;
        m.push_back(t);
    }
    return m;
}

// Every event of the calendar by its summary: its occurrences in (from, to],
// and whether it carries a display alarm.
struct Event {
    Moments moments;
    bool hasAlarm = false;
};
std::map<std::string, Event> calendarMoments(const std::string& text, DateTime from, DateTime to) {
    std::map<std::string, Event> events;
    icalcomponent* cal = icalparser_parse_string(text.c_str());
    EXPECT_NE(cal, nullptr);
    if (!cal) return events;
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        Event& e = events[icalcomponent_get_summary(ev)];
        e.hasAlarm = icalcomponent_get_first_component(ev, ICAL_VALARM_COMPONENT) != nullptr;
        const icaltimetype start = icalcomponent_get_dtstart(ev);
        EXPECT_EQ(start.zone, nullptr) << "local wall-clock times";
        icalproperty* rrule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
        if (!rrule) {
            const DateTime t = fromIcal(start);
            if (from < t && t <= to) e.moments.push_back(t);
            continue;
        }
        icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rrule), start);
        EXPECT_NE(it, nullptr) << icalproperty_as_ical_string(rrule);
        if (!it) continue;
        for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it)) {
            const DateTime d = fromIcal(t);
            if (d > to) break;
            if (from < d) e.moments.push_back(d);
        }
        icalrecur_iterator_free(it);
    }
    icalcomponent_free(cal);
    return events;
}

AlarmPtr named(AlarmPtr a, const std::string& name) {
    a->name = name;
    a->Active = true;
    return a;
}

TEST(ICalendarExport, ExportedEventsHaveTheAlarmsMomentsForTheComingYear) {
    HostFixture f({"bin:QuorvaneICalendar.so"});
    f.host.loadPlugins();
    ASSERT_EQ(f.list(clsPlugIn::kFileExport),
              (std::vector<std::string>{"QuorvaneICalendar*iCalendar"}));
    EXPECT_EQ(f.host.fileExportPlugInFor(".ics"), "QuorvaneICalendar*iCalendar");
    ModelContext& ctx = f.p().ctx;
    const DateTime now = localNow();
    const DateTime from = now, to = addToDate(now, 1, kYears);

    auto group = AlarmGroup::createDefaultAlarmGroup(ctx);
    group->name = "Home & <Work>";
    std::vector<AlarmPtr> exact;
    // Once, sounding a quarter of an hour early.
    auto once = named(ModelFixture::once(addToDate(now.date(), 40 * 86400 + 9 * 3600, kSeconds)),
                      "Dentist, \"Dr. Lee\"; bring card");
    once->correctionAmount = -15;
    once->correctionUnit = kMinutes;
    exact.push_back(once);
    // Daily, ten minutes late.
    auto daily = named(ModelFixture::periodic(dt(2026, 1, 1, 7, 0, 0), 1, kDays), "Daily");
    daily->correctionAmount = 10;
    daily->correctionUnit = kMinutes;
    exact.push_back(daily);
    // Mondays to Fridays within a date range that starts before today.
    auto weekdays = named(ModelFixture::periodic(dt(2025, 3, 3, 6, 45, 0), 1, kDays), "Weekdays");
    weekdays->activePeriod = Alarm::kRestrictWeekdays | Alarm::kRestrictDates;
    weekdays->weekDays = 0b0111110;
    weekdays->startDate = addToDate(now.date(), -20, kDays);
    weekdays->endDate = addToDate(now.date(), 200, kDays);
    exact.push_back(weekdays);
    // Monthly on the 31st: the month's last day where it is shorter.
    exact.push_back(
        named(ModelFixture::periodic(dt(2025, 1, 31, 8, 0, 0), 1, kMonths), "Monthly 31"));
    // Yearly on 29 February: 28 February in other years.
    exact.push_back(
        named(ModelFixture::periodic(dt(2024, 2, 29, 12, 0, 0), 1, kYears), "Leap day"));
    // Every two weeks, a day early (the correction moves the date).
    auto fortnight =
        named(ModelFixture::periodic(dt(2026, 6, 4, 18, 30, 0), 2, kWeeks), "Fortnight");
    fortnight->correctionAmount = -1;
    fortnight->correctionUnit = kDays;
    exact.push_back(fortnight);
    // Every three hours on weekends.
    auto weekends = named(ModelFixture::periodic(dt(2026, 2, 1, 1, 30, 0), 3, kHours), "Weekends");
    weekends->activePeriod = Alarm::kRestrictWeekdays;
    weekends->weekDays = 0b1000001;
    exact.push_back(weekends);
    // Quarterly on the 15th, a month late, until the range ends in eight months.
    auto quarterly =
        named(ModelFixture::periodic(dt(2025, 11, 15, 10, 0, 0), 3, kMonths), "Quarterly");
    quarterly->correctionAmount = 1;
    quarterly->correctionUnit = kMonths;
    quarterly->activePeriod = Alarm::kRestrictDates;
    quarterly->startDate = dt(2025, 1, 1);
    quarterly->endDate = addToDate(now, 8, kMonths);
    exact.push_back(quarterly);
    for (const AlarmPtr& a : exact) group->addAlarm(a);

    const std::string path = f.folder.file("home.ics");
    ASSERT_TRUE(group->save(ctx, path, true));
    const std::string text = readFile(path);
    const auto events = calendarMoments(text, from, to);
    ASSERT_EQ(events.size(), exact.size()) << text;
    for (const AlarmPtr& a : exact) {
        SCOPED_TRACE(a->name);
        const auto it = events.find(a->name);
        ASSERT_NE(it, events.end()) << text;
        const Moments expected = modelMoments(*a, from, to);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(it->second.moments, expected) << text;
        EXPECT_TRUE(it->second.hasAlarm);
    }
    // The clamped days over a stretch that holds a leap year.
    const DateTime later = addToDate(now, 4, kYears);
    const auto longer = calendarMoments(text, from, later);
    for (const AlarmPtr& a : {exact[3], exact[4]}) {
        SCOPED_TRACE(a->name);
        EXPECT_EQ(longer.at(a->name).moments, modelMoments(*a, from, later));
    }
    // libical did the escaping: the name with its specials came back whole.
    EXPECT_NE(text.find("X-WR-CALNAME:Home & <Work>"), std::string::npos) << text;
}

TEST(ICalendarExport, AlarmsWithoutAnExactFormAreLeftOutAndCounted) {
    HostFixture f({"bin:QuorvaneICalendar.so"});
    f.host.loadPlugins();
    ModelContext& ctx = f.p().ctx;

    auto group = AlarmGroup::createDefaultAlarmGroup(ctx);
    group->name = "Mixed";
    group->addAlarm(named(ModelFixture::periodic(dt(2026, 1, 1, 7, 0, 0), 1, kDays), "Plain"));
    auto expression =
        named(ModelFixture::periodic(dt(2026, 1, 1, 7, 0, 0), 1, kDays), "Expression");
    expression->activePeriod = Alarm::kRestrictExpression;
    expression->activeAdvanced = "day = 13";
    group->addAlarm(expression);
    // A month correction on a clamped day lands on a different day each month.
    auto clamped = named(ModelFixture::periodic(dt(2026, 1, 31, 7, 0, 0), 1, kMonths), "Clamped");
    clamped->correctionAmount = 1;
    clamped->correctionUnit = kMonths;
    group->addAlarm(clamped);
    // A weekday nobody meets: the alarm gives up rather than sounds.
    auto none = named(ModelFixture::periodic(dt(2026, 1, 1, 7, 0, 0), 1, kDays), "No weekday");
    none->activePeriod = Alarm::kRestrictWeekdays;
    none->weekDays = 0;
    group->addAlarm(none);
    auto off = named(ModelFixture::once(dt(2027, 1, 1, 9, 0, 0)), "Off");
    off->Active = false;
    group->addAlarm(off);

    const std::string path = f.folder.file("mixed.ics");
    const std::string answer = f.host.methodCall(
        "QuorvaneICalendar*iCalendar", "SaveAlarmgroupToFile",
        f.host.lang() + "<path>" + path + "</path>" + group->toXML()->toString(), false);
    auto a = XMLNode::createFromXML(answer);
    ASSERT_TRUE(a) << answer;
    EXPECT_GE(a->getNodeIndex("success"), 0) << answer;
    EXPECT_EQ(a->getLong("exported"), 1) << answer;
    EXPECT_EQ(a->getLong("skipped"), 3) << answer;
    EXPECT_EQ(a->getLong("inactive"), 1) << answer;
    const auto events = calendarMoments(readFile(path), kDayZero, kNever);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events.begin()->first, "Plain");

    // No path, or one that cannot be written: no success.
    const std::string bad =
        f.host.methodCall("QuorvaneICalendar*iCalendar", "SaveAlarmgroupToFile",
                          f.host.lang() + "<path>" + f.folder.file("missing/dir/x.ics") +
                              "</path>" + group->toXML()->toString(),
                          false);
    EXPECT_EQ(bad.find("success"), std::string::npos) << bad;
}

// The triggers of every alarm of the event named `summary`, in seconds from its start.
std::vector<int> triggers(const std::string& text, const std::string& summary) {
    std::vector<int> out;
    icalcomponent* cal = icalparser_parse_string(text.c_str());
    if (!cal) return out;
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        if (summary != icalcomponent_get_summary(ev)) continue;
        for (icalcomponent* al = icalcomponent_get_first_component(ev, ICAL_VALARM_COMPONENT); al;
             al = icalcomponent_get_next_component(ev, ICAL_VALARM_COMPONENT)) {
            icalproperty* t = icalcomponent_get_first_property(al, ICAL_TRIGGER_PROPERTY);
            out.push_back(t ? icaldurationtype_as_int(icalproperty_get_trigger(t).duration) : 99);
        }
    }
    icalcomponent_free(cal);
    return out;
}

TEST(ICalendarExport, RemindersBecomeAlarmsBeforeTheEvent) {
    HostFixture f({"bin:QuorvaneICalendar.so"});
    f.host.loadPlugins();
    auto group = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    group->name = "Reminded";
    auto train = named(ModelFixture::once(dt(2027, 1, 4, 8, 0, 0)), "Train");
    // A month has no exact length: that one is left out of the file.
    train->reminders = {{1, kMonths}, {1, kWeeks}, {1, kDays}, {15, kMinutes}};
    group->addAlarm(train);
    group->addAlarm(named(ModelFixture::once(dt(2027, 1, 4, 9, 0, 0)), "Plain"));
    const std::string path = f.folder.file("reminded.ics");
    const std::string answer = f.host.methodCall(
        "QuorvaneICalendar*iCalendar", "SaveAlarmgroupToFile",
        f.host.lang() + "<path>" + path + "</path>" + group->toXML()->toString(), false);
    ASSERT_NE(answer.find("success"), std::string::npos) << answer;
    const std::string text = readFile(path);
    EXPECT_EQ(triggers(text, "Train"), (std::vector<int>{0, -604800, -86400, -900}));
    EXPECT_EQ(triggers(text, "Plain"), (std::vector<int>{0}));
}

}  // namespace
}  // namespace qv::test

// Alarms that skip days off: the timing against a hand-written calendar, the
// stored form and the refresh of the days a group keeps.

#include <set>

#include "model/daysoff.h"
#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

DayOffItem allDay(DateTime first, int days, const std::string& name) {
    return {first, addToDate(first, days, kDays), true, name};
}

// Two years of a hand-written days-off calendar: single holidays, a vacation
// over two weeks, one overlapping it, and one on a weekend.
DaysOffCalendar handWritten() {
    DaysOffCalendar c;
    c.items = {allDay(dt(2027, 1, 1), 1, "New Year"),
               allDay(dt(2027, 3, 29), 1, "Easter Monday"),
               allDay(dt(2027, 7, 19), 14, "Summer vacation"),
               allDay(dt(2027, 7, 30), 5, "Overlapping trip"),
               allDay(dt(2027, 10, 3), 1, "Sunday holiday"),
               allDay(dt(2028, 5, 25), 1, "Ascension"),
               allDay(dt(2028, 12, 24), 3, "Christmas")};
    c.readAt = dt(2026, 12, 1);
    return c;
}

// A weekday alarm at 07:00 in a group whose calendar is `c`.
struct WeekdayGroup {
    ModelFixture f;
    AlarmGroupPtr group = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    AlarmPtr alarm = ModelFixture::periodic(dt(2026, 1, 5, 7), 1, kDays);

    explicit WeekdayGroup(const DaysOffCalendar& c) {
        alarm->activePeriod = Alarm::kRestrictWeekdays;
        alarm->weekDays = 0b0111110;  // Monday to Friday
        alarm->notOnDaysOff = true;
        group->addAlarm(alarm);
        GroupDaysOff d;
        d.calendars = {"vacation.ics"};
        d.cache["vacation.ics"] = c;
        group->setDaysOff(d);
    }
};

std::vector<DateTime> walk(Alarm& a, DateTime from, DateTime before) {
    std::vector<DateTime> out;
    while (a.hasNextAlarmDateAfter(from, false) && a.getNextAlarmDateAfter() < before) {
        from = a.getNextAlarmDateAfter();
        out.push_back(from);
    }
    return out;
}

bool coveredBy(const DaysOffCalendar& c, DateTime m) {
    for (const DayOffItem& i : c.items)
        if (i.allDay && m.days() >= i.from.days() && m.days() < i.to.days()) return true;
    return false;
}

}  // namespace

TEST(DaysOff, AWeekdayAlarmSkipsExactlyTheNamedDaysOverTwoYears) {
    const DaysOffCalendar c = handWritten();
    WeekdayGroup w(c);
    const DateTime from = dt(2026, 12, 31), to = dt(2029, 1, 1);

    w.alarm->notOnDaysOff = false;
    w.alarm->invalidateCaches();
    std::vector<DateTime> expected;
    for (DateTime m : walk(*w.alarm, from, to))
        if (!coveredBy(c, m)) expected.push_back(m);

    w.alarm->notOnDaysOff = true;
    w.alarm->invalidateCaches();
    const std::vector<DateTime> got = walk(*w.alarm, from, to);
    EXPECT_EQ(got, expected);
    ASSERT_GT(expected.size(), 400u);
    EXPECT_EQ(std::count(got.begin(), got.end(), dt(2027, 3, 30, 7)), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), dt(2027, 3, 29, 7)), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), dt(2027, 8, 3, 7)), 0);  // in the overlap
    EXPECT_EQ(std::count(got.begin(), got.end(), dt(2027, 8, 4, 7)), 1);  // the day after

    // The listings the agenda and the calendar view use give the same moments.
    std::vector<DateTime> listed;
    w.alarm->listMomentsAfter(from, to, false, listed, 100000);
    EXPECT_EQ(listed, expected);
    std::vector<DateTime> ends;
    for (DateTime d = dt(2027, 1, 1); d <= to; d = addToDate(d, 7, kDays)) ends.push_back(d);
    std::vector<DateTime> inCells;
    std::vector<std::int64_t> hidden(ends.size(), 0);
    w.alarm->listMomentsInCells(from, ends, false, 2, 100000, inCells, hidden);
    std::int64_t total = static_cast<std::int64_t>(inCells.size());
    for (std::int64_t h : hidden) total += h;
    std::int64_t inRange = 0;
    for (DateTime m : expected) inRange += m < ends.back() ? 1 : 0;
    EXPECT_EQ(total, inRange);
    for (DateTime m : inCells) EXPECT_FALSE(coveredBy(c, m)) << toStoredText(m);
}

TEST(DaysOff, OnlyMarkedPeriodicAlarmsSkipAndTimedItemsCountOnlyBySetting) {
    DaysOffCalendar c;
    c.items = {allDay(dt(2027, 3, 29), 1, "Easter Monday"),
               {dt(2027, 4, 5, 6), dt(2027, 4, 5, 9), false, "Dentist"}};
    WeekdayGroup w(c);
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 3, 28, 12)), dt(2027, 3, 30, 7));
    // A timed item is no day off unless the setting says so, and then only
    // for the moments it covers.
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 4, 4, 12)), dt(2027, 4, 5, 7));
    w.group->setDaysOffByMoment(true);
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 4, 4, 12)), dt(2027, 4, 6, 7));
    w.alarm->nextDate = dt(2026, 1, 5, 10);
    w.alarm->invalidateCaches();
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 4, 4, 12)), dt(2027, 4, 5, 10));

    // A one-off alarm on a holiday rings.
    auto once = ModelFixture::once(dt(2027, 3, 29, 7));
    once->notOnDaysOff = true;
    w.group->addAlarm(once);
    EXPECT_EQ(nextAfter(*once, dt(2027, 3, 28)), dt(2027, 3, 29, 7));

    // The alarm's own calendars replace the group's; an unread one names no day.
    w.alarm->nextDate = dt(2026, 1, 5, 7);
    w.alarm->daysOffCalendars = {"other.ics"};
    w.alarm->invalidateCaches();
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 3, 28, 12)), dt(2027, 3, 29, 7));
    // A correction moves the moment, the day off is the grid point's.
    w.alarm->daysOffCalendars.clear();
    w.alarm->correctionAmount = -8;
    w.alarm->correctionUnit = kHours;
    w.alarm->invalidateCaches();
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 3, 28, 12)), dt(2027, 3, 29, 23));
}

TEST(DaysOff, TheSkippedDayIsNamedBeforeTheNextMoment) {
    WeekdayGroup w(handWritten());
    DateTime skipped;
    std::string name;
    ASSERT_TRUE(w.alarm->firstSkippedDayOff(dt(2027, 3, 26, 8), skipped, name));
    EXPECT_EQ(skipped, dt(2027, 3, 29, 7));
    EXPECT_EQ(name, "Easter Monday");
    EXPECT_FALSE(w.alarm->firstSkippedDayOff(dt(2027, 3, 29, 8), skipped, name));
    EXPECT_TRUE(w.alarm->notOnDaysOff);
    // The answer does not disturb the query's own.
    EXPECT_EQ(nextAfter(*w.alarm, dt(2027, 3, 26, 8)), dt(2027, 3, 30, 7));
}

TEST(DaysOff, StoredOnlyWhenSetAndReadBackWhole) {
    ModelFixture f;
    auto plain = ModelFixture::periodic(dt(2026, 1, 5, 7), 1, kDays);
    const std::string plainText = plain->toXML("alrm")->toString();
    EXPECT_EQ(plainText.find("dof"), std::string::npos);
    auto group = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    group->addAlarm(plain);
    const std::string groupText = group->toXML()->toString();
    EXPECT_EQ(groupText.find("doff"), std::string::npos);
    EXPECT_EQ(AlarmGroup::createFromXML(f.ctx, groupText)->toXML()->toString(), groupText);

    plain->notOnDaysOff = true;
    plain->daysOffCalendars = {"a.ics", "https://example.org/v.ics?k=1&x=<2>"};
    GroupDaysOff d;
    d.calendars = {"holidays/DE.ics"};
    d.cache["holidays/DE.ics"] = handWritten();
    d.cache["a.ics"].items = {{dt(2027, 2, 1, 9), dt(2027, 2, 1, 10), false, "Meeting & more"}};
    group->setDaysOff(d);
    const std::string text = group->toXML()->toString();
    auto back = AlarmGroup::createFromXML(f.ctx, text);
    EXPECT_EQ(back->daysOff, d);
    ASSERT_EQ(back->numberOfAlarms(), 1);
    EXPECT_TRUE(back->elementAt(0)->notOnDaysOff);
    EXPECT_EQ(back->elementAt(0)->daysOffCalendars, plain->daysOffCalendars);
    EXPECT_EQ(back->toXML()->toString(), text);

    // Broken items are left out, the rest is read; nothing throws.
    auto broken = AlarmGroup::createFromXML(
        f.ctx,
        "<algr><name>x</name><doff><src></src><src>b.ics</src><src>b.ics</src><cach><src>b.ics</src>"
        "<item><f>2027/13/45 00:00:00</f><t>x</t></item><item><f>2027/05/02 00:00:00</f></item>"
        "<item><f>2027/05/03 00:00:00</f><t>2027/05/01 00:00:00</t></item>"
        "<item><f>2027/05/04 00:00:00</f><t>2027/05/05 00:00:00</t><a>?</a><n>ok</n></item></cach>"
        "<cach><item/></cach></doff></algr>");
    EXPECT_EQ(broken->daysOff.calendars, std::vector<std::string>{"b.ics"});
    ASSERT_EQ(broken->daysOff.cache.size(), 1u);
    ASSERT_EQ(broken->daysOff.cache["b.ics"].items.size(), 1u);
    EXPECT_EQ(broken->daysOff.cache["b.ics"].items[0].name, "ok");
}

namespace {

// Answers the days-off calls from a table of sources, at once.
class DaysOffPlugIns : public ScriptedPlugIns {
  public:
    std::map<std::string, std::string> bySource;
    std::string methodCall(const std::string& identifier, const std::string& method,
                           const std::string& parameters, bool keep) override {
        ScriptedPlugIns::methodCall(identifier, method, parameters, keep);
        auto params = XMLNode::createFromXML("<p>" + parameters + "</p>");
        auto it = bySource.find(params->getString("src"));
        return it == bySource.end() ? "<result><error>not found</error></result>" : it->second;
    }
};

std::string answerWith(const std::vector<DayOffItem>& items) {
    auto days = XMLNode::Create("days");
    for (const DayOffItem& i : items) days->addNode(dayOffItemToXML(i));
    return "<result>" + days->toString() + "</result>";
}

}  // namespace

TEST(DaysOff, ARefreshKeepsWhatTheCalendarsNameAndTheLastDaysOfOnesThatFail) {
    ModelFixture f;
    DaysOffPlugIns plugIns;
    ModelContext ctx{f.translation, f.colours, f.settings, f.names, f.clock, plugIns,
                     f.performer,   f.commands, "",        false,   0,       {}, {}, {}};
    auto group = AlarmGroup::createDefaultAlarmGroup(ctx);
    auto alarm = ModelFixture::periodic(dt(2026, 1, 5, 7), 1, kDays);
    alarm->notOnDaysOff = true;
    alarm->daysOffCalendars = {"/home/me/vacation.ics"};
    group->addAlarm(alarm);
    GroupDaysOff d;
    d.calendars = {"holidays/DE.ics"};
    d.cache["gone.ics"] = handWritten();  // named by nobody any more
    d.cache["/home/me/vacation.ics"].items = {allDay(dt(2026, 8, 1), 10, "Old vacation")};
    group->setDaysOff(d);
    group->changed = false;
    alarm->changed = false;

    plugIns.bySource["/usr/share/quorvane/holidays/DE.ics"] =
        answerWith({allDay(dt(2027, 3, 29), 1, "Ostermontag")});
    int calls = 0;
    bool wasChanged = false;
    std::string error;
    auto done = [&](const AlarmGroupPtr&, bool changed, const std::string& e) {
        ++calls;
        wasChanged = changed;
        error = e;
    };
    refreshDaysOff(ctx, group, "/usr/share/quorvane", dt(2026, 12, 8), done);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(wasChanged);
    EXPECT_TRUE(group->getChanged());
    EXPECT_EQ(error, "/home/me/vacation.ics: not found");
    EXPECT_EQ(group->daysOff.cache.count("gone.ics"), 0u);
    ASSERT_EQ(group->daysOff.cache.count("/home/me/vacation.ics"), 1u);
    EXPECT_EQ(group->daysOff.cache["/home/me/vacation.ics"].items[0].name, "Old vacation");
    ASSERT_EQ(group->daysOff.cache["holidays/DE.ics"].items.size(), 1u);
    EXPECT_EQ(group->daysOff.cache["holidays/DE.ics"].readAt, dt(2026, 12, 8));
    // The request asks for the shipped file by its place and a range of years.
    ASSERT_EQ(plugIns.calls.size(), 2u);
    EXPECT_EQ(plugIns.calls[0].identifier, kDaysOffPlugIn);
    EXPECT_EQ(plugIns.calls[0].method, kDaysOffMethod);
    EXPECT_NE(plugIns.calls[0].parameters.find("<from>2024/01/01 00:00:00</from>"),
              std::string::npos);

    // The new days reach the timing at once: the skip of 2027's Easter Monday.
    alarm->daysOffCalendars.clear();
    alarm->invalidateCaches();
    EXPECT_EQ(nextAfter(*alarm, dt(2027, 3, 28, 12)), dt(2027, 3, 30, 7));

    // The alarm's own calendar is no longer named: its days go.
    refreshDaysOff(ctx, group, "/usr/share/quorvane", dt(2026, 12, 9), done);
    EXPECT_TRUE(wasChanged);
    EXPECT_EQ(group->daysOff.cache.size(), 1u);
    // The same days again leave the group unchanged, so its file stays as it is.
    group->changed = false;
    alarm->changed = false;
    refreshDaysOff(ctx, group, "/usr/share/quorvane", dt(2026, 12, 9), done);
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(wasChanged);
    EXPECT_FALSE(group->getChanged());
    EXPECT_EQ(error, "");

    // A source that would leave the shipped folder is not read at all.
    group->daysOff.calendars = {"../../etc/passwd"};
    plugIns.calls.clear();
    refreshDaysOff(ctx, group, "/usr/share/quorvane", dt(2026, 12, 9), done);
    EXPECT_TRUE(plugIns.calls.empty());
    EXPECT_EQ(error, "../../etc/passwd");
}

TEST(DaysOff, SourcesAreSplitTrimmedAndResolved) {
    EXPECT_EQ(splitDaysOffSources(" a.ics \r\n\n b c.ics\na.ics\n"),
              (std::vector<std::string>{"a.ics", "b c.ics"}));
    EXPECT_EQ(joinDaysOffSources({"a", "b"}), "a\nb");
    EXPECT_EQ(resolveDaysOffSource("holidays/GB-ENG.ics", "/s"), "/s/holidays/GB-ENG.ics");
    EXPECT_EQ(resolveDaysOffSource("WEBCAL://x.org/c", "/s"), "WEBCAL://x.org/c");
    EXPECT_EQ(resolveDaysOffSource("/home/me/v.ics", "/s"), "/home/me/v.ics");
    EXPECT_EQ(daysOffSourceShown("https://me:pw@cal.example.org/secret?k=1"), "cal.example.org/…");
    EXPECT_EQ(daysOffSourceShown("webcal://cal.example.org"), "cal.example.org");
    EXPECT_EQ(daysOffSourceShown("holidays/DE.ics"), "holidays/DE.ics");
}

// The calendar plug-in's conversion of iCalendar items into alarms: the
// recurrence table, the mended cases, tasks and untrusted files.

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <random>

#include "model/alarm.h"
#include "outlook/icalimport.h"

namespace qv::outlook {
namespace {

// Every test of this program runs in one fixed zone with summer time.
const bool kZoneSet = [] {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return true;
}();

const DateTime kNow = DateTime::fromParts(2026, 12, 7, 12, 0, 0);

BuildResult build(const std::string& items, ItemKind kind = ItemKind::Appointments,
                  bool importing = false, bool futureOnly = true) {
    BuildOptions o;
    o.kind = kind;
    o.importing = importing;
    o.futureOnly = futureOnly;
    o.now = kNow;
    o.groupName = "Diary";
    o.text = [](int n) { return "t" + std::to_string(n); };
    o.shortDateTime = [](DateTime d) { return toStoredText(d); };
    return buildGroup(
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\n" + items + "END:VCALENDAR\r\n", o);
}

std::string event(const std::string& lines) {
    return "BEGIN:VEVENT\r\nUID:" + std::to_string(std::hash<std::string>{}(lines)) + "\r\n" +
           lines + "END:VEVENT\r\n";
}

std::vector<XMLNodePtr> alarmsOf(const BuildResult& r) {
    std::vector<XMLNodePtr> out;
    if (!r.group) return out;
    for (const XMLNodePtr& c : r.group->children())
        if (c->name == "alrm") out.push_back(c);
    return out;
}

// The next `n` moments (with correction) of an alarm element after kNow.
std::vector<std::string> next(const XMLNode& alrm, int n) {
    const AlarmPtr al = Alarm::createFromXML(alrm, nullptr);
    std::vector<std::string> out;
    for (DateTime t = kNow; n-- > 0 && al->hasNextAlarmDateAfter(t, false);) {
        t = al->getNextAlarmDateAfter();
        out.push_back(toStoredText(t));
    }
    return out;
}

TEST(OutlookConvert, TheRecurrenceTableAndTheReminder) {
    // A one-off appointment at 10:00 with a 15-minute reminder sounds at 09:45.
    BuildResult r =
        build(event("DTSTART;TZID=Europe/Berlin:20261210T100000\r\n"
                    "DTEND;TZID=Europe/Berlin:20261210T110000\r\nSUMMARY:Dentist\r\n"
                    "LOCATION:Town\r\nDESCRIPTION:Bring the card\r\n"
                    "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT15M\r\n"
                    "ATTACH:file:///usr/share/sounds/bell%20one.oga\r\nEND:VALARM\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 1u);
    const XMLNode& once = *alarmsOf(r)[0];
    EXPECT_EQ(once.getString("name"), "Dentist");
    EXPECT_EQ(once.getInteger("datk", 0, -1), 0);
    EXPECT_EQ(once.getString("oncd"), "2026/12/10 10:00:00");
    EXPECT_EQ(once.getLong("adda"), -15);
    EXPECT_EQ(once.getInteger("addu"), 1);
    EXPECT_EQ(next(once, 1), std::vector<std::string>{"2026/12/10 09:45:00"});
    const XMLNodePtr msg = once.getNode("acti", 0);
    EXPECT_EQ(msg->getInteger("acid"), 1);
    EXPECT_EQ(msg->getNode("sett")->getString("s"),
              "2026/12/10 10:00:00 - 2026/12/10 11:00:00\r\nt15 Town\r\nBring the card");
    const XMLNodePtr sound = once.getNode("acti", 1);
    EXPECT_EQ(sound->getInteger("acid"), 7);
    EXPECT_EQ(sound->getNode("sett")->getString("s"), "/usr/share/sounds/bell one.oga");
    EXPECT_EQ(sound->getNode("sett")->getInteger("i", 0, -1), 0);
    // Synchronised alarms are read-only; no name: the group keeps its own.
    EXPECT_TRUE(once.getBoolean("rdon"));
    EXPECT_EQ(r.group->getNodeIndex("name"), -1);

    // Every reminder rings: the day before and a quarter of an hour before.
    r =
        build(event("DTSTART:20261210T100000\r\nSUMMARY:Exam\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-P1D\r\nEND:VALARM\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 2u);
    EXPECT_EQ(next(*alarmsOf(r)[0], 1), std::vector<std::string>{"2026/12/09 10:00:00"});
    EXPECT_EQ(next(*alarmsOf(r)[1], 1), std::vector<std::string>{"2026/12/10 09:45:00"});
    EXPECT_EQ(r.converted, 1);

    // Weekly on Monday and Wednesday: daily, restricted to those weekdays.
    r = build(event("DTSTART:20261102T080000\r\nSUMMARY:Gym\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 1u);
    const XMLNode& weekly = *alarmsOf(r)[0];
    EXPECT_EQ(weekly.getLong("perl"), 1);
    EXPECT_EQ(weekly.getInteger("peru"), 3);
    EXPECT_EQ(weekly.getInteger("actp"), 2 + 4);
    EXPECT_EQ(weekly.getInteger("wkds"), 2 + 8);
    EXPECT_EQ(weekly.getString("stad"), "2026/11/02 08:00:00");
    EXPECT_EQ(weekly.getString("endd"), "9999/12/31 00:00:00");
    // No reminder: the message action only, no correction.
    EXPECT_EQ(weekly.getNumberOfNodesWithName("acti"), 1);
    EXPECT_EQ(weekly.getLong("adda"), 0);

    // The second Tuesday of every month.
    r = build(
        event("DTSTART:20261110T090000\r\nSUMMARY:Board\r\nRRULE:FREQ=MONTHLY;BYDAY=2TU\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 1u);
    EXPECT_EQ(alarmsOf(r)[0]->getInteger("actp"), 2 + 4 + 8);
    EXPECT_EQ(alarmsOf(r)[0]->getInteger("wkds"), 4);
    EXPECT_EQ(alarmsOf(r)[0]->getString("adva"), "dayOfMonth >= 8 && dayOfMonth <= 14");

    // The last Friday of March, also written with BYSETPOS.
    for (const char* rule :
         {"FREQ=YEARLY;BYMONTH=3;BYDAY=-1FR", "FREQ=YEARLY;BYMONTH=3;BYDAY=FR;BYSETPOS=-1"}) {
        r = build(event("DTSTART:20260327T090000\r\nSUMMARY:Close\r\nRRULE:" + std::string(rule) +
                        "\r\n"));
        ASSERT_EQ(alarmsOf(r).size(), 1u) << rule;
        EXPECT_EQ(alarmsOf(r)[0]->getString("adva"), "daysBeforeNextMonth <= 7 && Month == 3");
        EXPECT_EQ(next(*alarmsOf(r)[0], 2),
                  (std::vector<std::string>{"2027/03/26 09:00:00", "2028/03/31 09:00:00"}));
        EXPECT_EQ(r.approximated, 0);
    }

    // COUNT ends at the last occurrence libical counts; UNTIL at its moment.
    r = build(event(
        "DTSTART:20261201T070000\r\nSUMMARY:Pills\r\nRRULE:FREQ=DAILY;INTERVAL=3;COUNT=4\r\n"));
    EXPECT_EQ(alarmsOf(r)[0]->getString("endd"), "2026/12/10 07:00:00");
    EXPECT_EQ(alarmsOf(r)[0]->getLong("perl"), 3);
    EXPECT_EQ(next(*alarmsOf(r)[0], 5), std::vector<std::string>{"2026/12/10 07:00:00"});
}

TEST(OutlookConvert, MendedMappingsRingWhenTheCalendarDoes) {
    // Every two weeks on Monday and Thursday: one alarm per weekday, every 14 days.
    BuildResult r =
        build(event("DTSTART:20261102T100000\r\nSUMMARY:Sprint\r\n"
                    "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 2u);
    EXPECT_EQ(r.approximated, 0);
    EXPECT_EQ(alarmsOf(r)[0]->getLong("perl"), 14);
    EXPECT_EQ(next(*alarmsOf(r)[0], 2),
              (std::vector<std::string>{"2026/12/14 10:00:00", "2026/12/28 10:00:00"}));
    EXPECT_EQ(next(*alarmsOf(r)[1], 1), std::vector<std::string>{"2026/12/17 10:00:00"});

    // The first Monday of every third month: the months are named.
    r =
        build(event("DTSTART:20261005T100000\r\nSUMMARY:Quarter\r\n"
                    "RRULE:FREQ=MONTHLY;INTERVAL=3;BYDAY=1MO\r\n"));
    EXPECT_EQ(alarmsOf(r)[0]->getString("adva"),
              "dayOfMonth <= 7 && (MONTH == 1 || MONTH == 4 || MONTH == 7 || MONTH == 10)");
    EXPECT_EQ(next(*alarmsOf(r)[0], 1), std::vector<std::string>{"2027/01/04 10:00:00"});

    // EXDATE leaves the day out; a moved instance rings at its new time only.
    r = build(event("DTSTART:20261201T090000\r\nSUMMARY:Standup\r\nRRULE:FREQ=DAILY\r\n"
                    "EXDATE:20261208T090000\r\n") +
              "BEGIN:VEVENT\r\nUID:s\r\nDTSTART:20261201T090000\r\nSUMMARY:Moved\r\n"
              "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"
              "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:20261209T090000\r\n"
              "DTSTART:20261209T150000\r\nSUMMARY:Moved\r\nEND:VEVENT\r\n");
    ASSERT_EQ(alarmsOf(r).size(), 3u);
    EXPECT_EQ(r.approximated, 0);
    EXPECT_EQ(next(*alarmsOf(r)[0], 2),
              (std::vector<std::string>{"2026/12/09 09:00:00", "2026/12/10 09:00:00"}));
    EXPECT_EQ(next(*alarmsOf(r)[1], 3),
              (std::vector<std::string>{"2026/12/08 09:00:00", "2026/12/10 09:00:00",
                                        "2026/12/11 09:00:00"}));
    EXPECT_EQ(alarmsOf(r)[2]->getString("oncd"), "2026/12/09 15:00:00");

    // Extra dates without a rule come beside the start.
    r =
        build(event("DTSTART:20261210T100000\r\nSUMMARY:Course\r\n"
                    "RDATE:20261217T100000,20261224T100000\r\n"));
    std::vector<std::string> course;
    for (const XMLNodePtr& a : alarmsOf(r)) course.push_back(a->getString("oncd"));
    EXPECT_EQ(course, (std::vector<std::string>{"2026/12/10 10:00:00", "2026/12/17 10:00:00",
                                                "2026/12/24 10:00:00"}));

    // 02:30 does not exist on the day summer time begins: the alarm keeps its
    // time rather than getting a second one at 03:30.
    r =
        build(event("DTSTART;TZID=Europe/Berlin:20261201T023000\r\nSUMMARY:Night shift\r\n"
                    "RRULE:FREQ=DAILY\r\n"));
    EXPECT_EQ(alarmsOf(r).size(), 1u);
    EXPECT_EQ(r.approximated, 0);

    // A weekly meeting that began last year is still to come.
    r = build(event("DTSTART:20251103T100000\r\nSUMMARY:Weekly\r\nRRULE:FREQ=WEEKLY\r\n"));
    EXPECT_EQ(alarmsOf(r).size(), 1u);
    // One that has ended is not.
    r = build(event("DTSTART:20251103T100000\r\nSUMMARY:Over\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"));
    EXPECT_TRUE(alarmsOf(r).empty());
    EXPECT_EQ(r.filtered, 1);

    // What the table cannot say rings more often, never less, and is counted.
    r = build(event("DTSTART:20261207T090000\r\nSUMMARY:Twice\r\n"
                    "RRULE:FREQ=DAILY;BYHOUR=9,17\r\n") +
              event("DTSTART:20261207T090000\r\nSUMMARY:Every5\r\n"
                    "RRULE:FREQ=MONTHLY;INTERVAL=5;BYDAY=1MO\r\n"));
    EXPECT_EQ(r.approximated, 2);
    EXPECT_EQ(r.converted, 2);
    std::vector<std::string> twice;
    for (const XMLNodePtr& a : alarmsOf(r))
        if (a->getString("name") == "Twice")
            for (const std::string& m : next(*a, 2)) twice.push_back(m);
    std::sort(twice.begin(), twice.end());
    EXPECT_EQ(twice, (std::vector<std::string>{"2026/12/07 17:00:00", "2026/12/08 09:00:00",
                                               "2026/12/08 17:00:00", "2026/12/09 09:00:00"}));
}

TEST(OutlookConvert, TasksAndTheFutureFilter) {
    const std::string tasks =
        "BEGIN:VTODO\r\nUID:a\r\nSUMMARY:Taxes\r\nDUE:20261215T120000\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER;VALUE=DATE-TIME:20261214T080000Z\r\n"
        "END:VALARM\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:b\r\nSUMMARY:Call\r\nDESCRIPTION:Mum\r\nDUE:20261220T100000\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER;RELATED=END:-PT1H\r\nEND:VALARM\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:c\r\nSUMMARY:Someday\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:f\r\nSUMMARY:Plants\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
        "TRIGGER;VALUE=DATE-TIME:20261218T170000Z\r\nEND:VALARM\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:d\r\nSUMMARY:Old\r\nDUE:20250101T100000\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:e\r\nSUMMARY:Dropped\r\nSTATUS:CANCELLED\r\nDUE:20271220T100000\r\n"
        "END:VTODO\r\n";
    BuildResult r = build(tasks, ItemKind::Tasks, true, true);
    ASSERT_EQ(alarmsOf(r).size(), 3u);
    // A reminder at a fixed time needs no due date.
    EXPECT_EQ(alarmsOf(r)[2]->getString("oncd"), "2026/12/18 18:00:00");
    EXPECT_EQ(r.group->getString("name"), "Diary");
    const XMLNode& taxes = *alarmsOf(r)[0];
    EXPECT_EQ(taxes.getString("name"), "Taxes, t14 2026/12/15 12:00:00");
    EXPECT_EQ(taxes.getString("oncd"), "2026/12/14 09:00:00");  // UTC trigger, local time
    EXPECT_EQ(taxes.getNodeIndex("adda"), -1);
    EXPECT_EQ(taxes.getNodeIndex("rdon"), -1);  // imported alarms stay editable
    EXPECT_EQ(alarmsOf(r)[1]->getString("oncd"), "2026/12/20 09:00:00");
    EXPECT_EQ(alarmsOf(r)[1]->getNode("acti")->getNode("sett")->getString("s"), "Mum");
    EXPECT_EQ(r.filtered, 3);  // no dates, in the past, cancelled

    // With past items wanted, the undated task lies at the calendar's "unset" date.
    r = build(tasks, ItemKind::Tasks, true, false);
    ASSERT_EQ(alarmsOf(r).size(), 5u);
    EXPECT_EQ(alarmsOf(r)[2]->getString("oncd"), "4501/01/01 00:00:00");
    EXPECT_EQ(alarmsOf(r)[2]->getString("name"), "Someday");
    // Appointments and tasks are told apart.
    EXPECT_TRUE(alarmsOf(build(tasks, ItemKind::Appointments)).empty());
}

TEST(OutlookConvert, CostlyItemsAreGivenUpAndLongLinesReadWhole) {
    // Its next moment after 2024 is in 2044: libical would walk there minute
    // by minute. It is left out, counted and named; the others stay.
    const std::string leap = event(
        "DTSTART:20240101T100000\r\nSUMMARY:Leap\r\nRRULE:FREQ=MINUTELY;BYSECOND=0,1,2,"
        "3,4,5,6,7,8,9,10;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO\r\n");
    BuildResult r = build(leap + event("DTSTART:20270105T100000\r\nSUMMARY:Plain\r\n"));
    EXPECT_EQ(r.error, BuildError::None);
    EXPECT_EQ(r.givenUp, 1);
    EXPECT_EQ(r.givenUpName, "Leap");
    EXPECT_EQ(r.converted, 1);

    // Each of these may cost libical up to 400 000 candidates (two times a
    // day through to its last year): five of them pass the calendar's budget.
    std::string costly;
    for (int i = 0; i < 5; ++i)
        costly += event("DTSTART:20261210T080000\r\nSUMMARY:Costly " + std::to_string(i) +
                        "\r\nRRULE:FREQ=DAILY;BYDAY=MO,TU;BYSETPOS=1;BYHOUR=8,9\r\n");
    EXPECT_EQ(build(costly.substr(0, costly.size() * 4 / 5)).error, BuildError::None);
    r = build(costly);
    EXPECT_EQ(r.error, BuildError::TooCostly);
    EXPECT_FALSE(r.group);

    // A line far longer than the folding width keeps its value whole.
    const std::string text(100000, 'x');
    r = build(event("DTSTART:20270105T100000\r\nSUMMARY:Long\r\nDESCRIPTION:" + text + "\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 1u);
    const std::string message = alarmsOf(r)[0]->getNode("acti")->getNode("sett")->getString("s");
    EXPECT_NE(message.find("\r\n" + text), std::string::npos);
    EXPECT_EQ(message.size() - message.find("\r\n" + text), text.size() + 2);

    BuildOptions o;
    o.now = kNow;
    EXPECT_EQ(buildGroup(std::string(kMaxCalendarBytes + 1, 'x'), o).error, BuildError::TooLarge);
}

TEST(OutlookConvert, UntrustedFilesGiveAnErrorOrSkipTheBadItems) {
    BuildOptions o;
    o.now = kNow;
    EXPECT_EQ(buildGroup("", o).error, BuildError::NotICalendar);
    EXPECT_EQ(buildGroup(std::string("\x89PNG\r\n\0\0BEGIN:VCALENDAR", 23), o).error,
              BuildError::NotICalendar);
    EXPECT_EQ(buildGroup("name,date\nDentist,2026-12-10\n", o).error, BuildError::NotICalendar);
    const std::string whole =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + event("DTSTART:20261210T100000\r\nSUMMARY:A\r\n") +
        event("DTSTART:20261211T100000\r\nSUMMARY:B\r\n") + "END:VCALENDAR\r\n";
    const BuildResult ok = buildGroup(whole, o);
    EXPECT_EQ(ok.error, BuildError::None);
    EXPECT_EQ(ok.converted, 2);
    // Cut anywhere inside, the file is refused as a whole: no half group.
    for (std::size_t cut = 20; cut + 10 < whole.size(); cut += 7) {
        const BuildResult r = buildGroup(whole.substr(0, cut), o);
        EXPECT_NE(r.error, BuildError::None) << cut;
        EXPECT_FALSE(r.group) << cut;
    }
    // A second calendar cut short after the first one's end.
    EXPECT_EQ(buildGroup(whole + whole.substr(0, whole.size() / 2), o).error,
              BuildError::Truncated);
    EXPECT_EQ(buildGroup("BEGIN:VCALENDAR\r\nGARBAGE\r\n:::\r\nEND:VCALENDAR\r\n", o).error,
              BuildError::Unreadable);

    // Broken lines, absurd values and impossible rules skip their item only.
    const BuildResult r = build(
        event("DTSTART:20261210T100000\r\nSUMMARY:Good\r\n") +
        event("DTSTART:2026121\r\nSUMMARY:Bad date\r\n") +
        event("DTSTART:99991210T100000\r\nSUMMARY:Far\r\n") + event("SUMMARY:No start\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Bad rule\r\nRRULE:FREQ=SOMETIMES\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Huge\r\nRRULE:FREQ=DAILY;INTERVAL=99999999\r\n") +
        event("DTSTART:20261101T100000\r\nSUMMARY:Busy\r\nRRULE:FREQ=SECONDLY;COUNT=9000000\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Empty texts\r\nDESCRIPTION:\r\nLOCATION:\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Lost rule\r\nRRULE:FRQ=DAILY\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Garbled line\r\nRRUL\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Lost alarm\r\n"
              "BEGIN:VALARM\r\nTRIGGER:-PTXM\r\nEND:VALARM\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Lost exclusion\r\nRRULE:FREQ=DAILY\r\n"
              "EXDATE:2027\r\n") +
        event("DTSTART:20261210T100000\r\nSUMMARY:Odd alarm\r\n"
              "BEGIN:VALARM\r\nTRIGGER:-P99999W\r\nEND:VALARM\r\n"));
    EXPECT_EQ(r.error, BuildError::None);
    std::vector<std::string> names;
    for (const XMLNodePtr& a : alarmsOf(r)) names.push_back(a->getString("name"));
    // Empty texts are no loss; a lost exclusion rings more often and is counted.
    EXPECT_EQ(names,
              (std::vector<std::string>{"Good", "Empty texts", "Lost exclusion", "Odd alarm"}));
    EXPECT_EQ(r.skipped, 9);
    EXPECT_EQ(r.approximated, 1);
}

TEST(OutlookConvert, MangledCalendarsNeverCrashAndGiveOnlyAlarmsThatWork) {
    const std::string seed =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" +
        event(
            "DTSTART;TZID=Europe/Berlin:20261102T100000\r\nDTEND;TZID=Europe/Berlin:"
            "20261102T110000\r\nSUMMARY:A\r\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH;"
            "UNTIL=20280101T000000Z\r\nEXDATE;TZID=Europe/Berlin:20261116T100000\r\n"
            "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT15M\r\nATTACH:file:///a.oga\r\n"
            "END:VALARM\r\n") +
        event(
            "DTSTART;VALUE=DATE:20261110\r\nSUMMARY:B\r\nRRULE:FREQ=MONTHLY;BYDAY=-1FR;COUNT="
            "9\r\n") +
        event(
            "DTSTART:20261210T080000Z\r\nSUMMARY:C\r\nRRULE:FREQ=YEARLY;BYMONTH=3,9;BYMONTHDAY=1,-"
            "1\r\n") +
        "BEGIN:VTODO\r\nUID:t\r\nSUMMARY:D\r\nDUE:20261220T100000\r\nBEGIN:VALARM\r\n"
        "TRIGGER;RELATED=END:-PT1H\r\nEND:VALARM\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
    const std::string alphabet = "0123456789:;=-,TZPWDHMS\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::mt19937 rng(7);
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    int groups = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string text = seed;
        for (int edits = 1 + static_cast<int>(pick(4)); edits > 0; --edits) {
            const std::size_t at = pick(text.size());
            switch (pick(3)) {
                case 0:
                    text[at] = alphabet[pick(alphabet.size())];
                    break;
                case 1:
                    text.erase(at, 1 + pick(12));
                    break;
                default:
                    text.insert(at, text.substr(pick(text.size()), 1 + pick(20)));
                    break;
            }
        }
        for (ItemKind kind : {ItemKind::Appointments, ItemKind::Tasks}) {
            BuildOptions o;
            o.kind = kind;
            o.now = kNow;
            o.futureOnly = round % 2 == 0;
            const BuildResult r = buildGroup(text, o);
            ASSERT_EQ(r.error == BuildError::None, r.group != nullptr) << text;
            if (!r.group) continue;
            ++groups;
            // Every alarm built can be timed: its expression is well formed.
            for (const XMLNodePtr& a : alarmsOf(r)) {
                const AlarmPtr al = Alarm::createFromXML(*a, nullptr);
                EXPECT_NO_THROW(al->hasNextAlarmDateAfter(kNow, false)) << a->toString();
            }
        }
    }
    EXPECT_GT(groups, 500);  // most mangled files still have readable items
}

}  // namespace
}  // namespace qv::outlook

namespace qv::outlook {
namespace {

// Every moment an alarm element rings in (from, to], with its correction.
std::vector<DateTime> ringsBetween(const XMLNode& alrm, DateTime from, DateTime to) {
    std::vector<DateTime> out;
    const AlarmPtr al = Alarm::createFromXML(alrm, nullptr);
    al->listMomentsAfter(from, DateTime(to.seconds() + 1), false, out, 2000000);
    return out;
}

std::vector<std::string> texts(const std::vector<DateTime>& moments) {
    std::vector<std::string> out;
    for (DateTime d : moments) out.push_back(toStoredText(d));
    return out;
}

// Calendar files as real programs write them: what RFC 5545 says of the
// recurrence set, of alarms and of properties a reader does not know.
TEST(OutlookConvert, RealCalendarFilesAreReadAsTheStandardSays) {
    const DateTime to = DateTime::fromParts(2027, 4, 1, 0, 0, 0);
    auto ringsOf = [&](const BuildResult& r) {
        std::vector<DateTime> all;
        for (const XMLNodePtr& a : alarmsOf(r)) {
            const auto m = ringsBetween(*a, kNow, to);
            all.insert(all.end(), m.begin(), m.end());
        }
        std::sort(all.begin(), all.end());
        return texts(all);
    };
    using V = std::vector<std::string>;

    // A repeating task is due two days after each instance's start: the rule
    // is repeated from DTSTART, the first Fridays, not from DUE.
    BuildResult r = build(
        "BEGIN:VTODO\r\nUID:t\r\nSUMMARY:Report\r\nDTSTART:20270101T090000\r\n"
        "DUE:20270103T090000\r\nRRULE:FREQ=MONTHLY;BYDAY=1FR\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:u\r\nSUMMARY:Bins\r\nDTSTART:20270101T090000\r\n"
        "DUE:20270103T090000\r\nRRULE:FREQ=MONTHLY;BYDAY=1FR\r\nBEGIN:VALARM\r\n"
        "ACTION:DISPLAY\r\nTRIGGER;RELATED=END:-PT1H\r\nEND:VALARM\r\nEND:VTODO\r\n",
        ItemKind::Tasks);
    ASSERT_EQ(alarmsOf(r).size(), 2u);
    EXPECT_EQ(texts(ringsBetween(*alarmsOf(r)[0], kNow, to)),
              (V{"2027/01/03 09:00:00", "2027/02/07 09:00:00", "2027/03/07 09:00:00"}));
    EXPECT_EQ(texts(ringsBetween(*alarmsOf(r)[1], kNow, to)),
              (V{"2027/01/03 08:00:00", "2027/02/07 08:00:00", "2027/03/07 08:00:00"}));

    // Unknown properties, X- or not, a line that lost its fold and a broken
    // parameter of an attendee cost nothing.
    r = build(event("DTSTART:20270105T100000\r\nSUMMARY:Wiki\r\nX-WIKI-PAGE;X-A=b:Home\r\n"
                    "FOOBAR:unknown\r\nDESCRIPTION:first line\r\nsecond line, not folded\r\n"
                    "ATTENDEE;CN=Ann;ROLE:mailto:ann@example.org\r\n"));
    EXPECT_EQ(r.skipped, 0);
    EXPECT_EQ(ringsOf(r), V{"2027/01/05 10:00:00"});

    // A start that is also one of the RDATEs, or an RDATE that is an instance
    // of the rule, rings once.
    r = build(event("DTSTART:20270105T100000\r\nSUMMARY:Twice\r\n"
                    "RDATE:20270105T100000,20270112T100000\r\n") +
              event("DTSTART:20270106T100000\r\nSUMMARY:Weekly\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"
                    "RDATE:20270113T100000\r\n"));
    EXPECT_EQ(ringsOf(r), (V{"2027/01/05 10:00:00", "2027/01/06 10:00:00", "2027/01/12 10:00:00",
                             "2027/01/13 10:00:00", "2027/01/20 10:00:00"}));

    // An absolute reminder of a repeating item rings once, at its moment; an
    // ACTION:NONE alarm is no reminder.
    r = build(event("DTSTART:20270105T100000\r\nSUMMARY:Course\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER;VALUE=DATE-TIME:20270104T170000Z\r\n"
                    "END:VALARM\r\n"));
    EXPECT_EQ(ringsOf(r), V{"2027/01/04 18:00:00"});
    r = build(event("DTSTART:20270105T100000\r\nSUMMARY:Quiet\r\nBEGIN:VALARM\r\nACTION:NONE\r\n"
                    "TRIGGER;VALUE=DATE-TIME:19760401T005545Z\r\nEND:VALARM\r\n"));
    EXPECT_EQ(ringsOf(r), V{"2027/01/05 10:00:00"});

    // An empty RRULE is no rule: the item happens once, and is counted as mended.
    r = build(event("DTSTART:20270105T100000\r\nSUMMARY:Once\r\nRRULE:\r\n"));
    EXPECT_EQ(r.skipped, 0);
    EXPECT_EQ(r.repaired, 1);
    EXPECT_EQ(ringsOf(r), V{"2027/01/05 10:00:00"});
}

// A frequent rule in a zone whose summer time begins two weeks before ours:
// the first few thousand moments all lie before it, so only the whole
// horizon shows the hour they move by. No moment may be missed.
TEST(OutlookConvert, AReplacementRingsAtEveryMomentOfTheHorizon) {
    BuildOptions o;
    o.now = DateTime::fromParts(2026, 11, 5, 12, 0, 0);
    const std::string start = "DTSTART;TZID=America/New_York:20261105T080000\r\n";
    const std::string rule = "FREQ=HOURLY;BYHOUR=8,9,10,11,12,13,14,15,16,17,18,19;BYMINUTE=0,30";
    const BuildResult r = buildGroup(
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\n" +
            event(start + "SUMMARY:Trading\r\nRRULE:" + rule + "\r\n") + "END:VCALENDAR\r\n",
        o);
    ASSERT_EQ(r.error, BuildError::None);
    ASSERT_FALSE(alarmsOf(r).empty());

    const DateTime to = addToDate(o.now, 2, kYears);
    std::vector<DateTime> ours;
    for (const XMLNodePtr& a : alarmsOf(r)) {
        const auto m = ringsBetween(*a, o.now, to);
        ours.insert(ours.end(), m.begin(), m.end());
    }
    std::sort(ours.begin(), ours.end());
    icaltimezone* zone = icaltimezone_get_builtin_timezone("America/New_York");
    ASSERT_NE(zone, nullptr);
    icaltimetype first = icaltime_from_string("20261105T080000");
    first.zone = zone;
    icalrecur_iterator* it =
        icalrecur_iterator_new(icalrecurrencetype_from_string(rule.c_str()), first);
    int checked = 0, missed = 0;
    for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
         t = icalrecur_iterator_next(it)) {
        t.zone = zone;
        const std::time_t secs = icaltime_as_timet_with_zone(t, zone);
        std::tm tm{};
        localtime_r(&secs, &tm);
        const DateTime d = DateTime::fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                               tm.tm_hour, tm.tm_min, tm.tm_sec);
        if (d > to) break;
        if (d <= o.now) continue;
        ++checked;
        if (!std::binary_search(ours.begin(), ours.end(), d) && missed++ == 0)
            ADD_FAILURE() << "missed " << toStoredText(d);
    }
    icalrecur_iterator_free(it);
    EXPECT_GT(checked, 10000);
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(r.approximated, 1);
}

TEST(OutlookConvert, RemindersBeforeAnItemThatRingsAtItsOwnMomentStayWithItsAlarm) {
    // First the item's own moment: the day before and the quarter of an hour
    // before are its reminders; ten minutes after stays an alarm of its own.
    BuildResult r = build(
        event("DTSTART:20261210T100000\r\nSUMMARY:Exam\r\n"
              "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\nEND:VALARM\r\n"
              "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"
              "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-P1D\r\nEND:VALARM\r\n"
              "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT10M\r\nEND:VALARM\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 2u);
    const AlarmPtr exam = Alarm::createFromXML(*alarmsOf(r)[0], nullptr);
    EXPECT_EQ(next(*alarmsOf(r)[0], 1), std::vector<std::string>{"2026/12/10 10:00:00"});
    EXPECT_EQ(exam->reminders, (std::vector<qv::Reminder>{{1, kDays}, {15, kMinutes}}));
    EXPECT_EQ(next(*alarmsOf(r)[1], 1), std::vector<std::string>{"2026/12/10 10:10:00"});
    EXPECT_TRUE(Alarm::createFromXML(*alarmsOf(r)[1], nullptr)->reminders.empty());

    // A repeating one carries them on the alarm of its pattern.
    r = build(event("DTSTART:20261207T090000\r\nSUMMARY:Stand-up\r\nRRULE:FREQ=DAILY\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT0M\r\nEND:VALARM\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT90M\r\nEND:VALARM\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 1u);
    EXPECT_EQ(Alarm::createFromXML(*alarmsOf(r)[0], nullptr)->reminders,
              (std::vector<qv::Reminder>{{90, kMinutes}}));

    // The first reminder before the moment: every reminder stays an alarm, as before.
    r = build(event("DTSTART:20261210T100000\r\nSUMMARY:Exam\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\nEND:VALARM\r\n"));
    ASSERT_EQ(alarmsOf(r).size(), 2u);
    EXPECT_EQ(alarmsOf(r)[0]->findNode("rmds"), nullptr);
    EXPECT_EQ(alarmsOf(r)[1]->findNode("rmds"), nullptr);
}

}  // namespace
}  // namespace qv::outlook

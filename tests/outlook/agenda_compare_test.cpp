// The alarms a calendar file becomes ring when the calendar's reminders would.
// Calendar files with the RFC 5545 recurrence examples and random rules are
// synchronised through the real host into a group file; quorvane-agenda's
// moments over the next two years are held against libical's own expansion of
// the same file (each occurrence minus its reminder lead time). Exact mappings
// must agree moment for moment; approximated ones may only add moments.

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "model/alarmgroup.h"
#include "plugins/hostfixture.h"

namespace qv::test {
namespace {

const bool kZoneSet = [] {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return true;
}();

using Moments = std::multiset<DateTime>;

std::string icalText(DateTime d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d", d.year(), d.month(), d.day(),
                  d.hour(), d.minute(), d.second());
    return buf;
}

// A local wall-clock moment as UTC text (for UNTIL of a zoned start).
std::string utcText(DateTime d) {
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_hour = d.hour();
    tm.tm_min = d.minute();
    tm.tm_sec = d.second();
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    std::tm u{};
    gmtime_r(&t, &u);
    return icalText(DateTime::fromParts(u.tm_year + 1900, u.tm_mon + 1, u.tm_mday, u.tm_hour,
                                        u.tm_min, u.tm_sec)) +
           "Z";
}

DateTime localOf(icaltimetype t) {
    if (t.is_date || !t.zone)
        return DateTime::fromParts(t.year, t.month, t.day, t.is_date ? 0 : t.hour,
                                   t.is_date ? 0 : t.minute, t.is_date ? 0 : t.second);
    const std::time_t secs = icaltime_as_timet_with_zone(t, t.zone);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return DateTime::fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                               tm.tm_sec);
}

// The `n`-th occurrence (1-based) of the rule from a floating `base`: a start
// that matches the rule, as RFC 5545 asks of DTSTART.
DateTime matchingStart(const std::string& rule, DateTime base, int n = 2) {
    const icalrecurrencetype r = icalrecurrencetype_from_string(rule.c_str());
    icaltimetype start = icaltime_from_string(icalText(base).c_str());
    icalrecur_iterator* it = icalrecur_iterator_new(r, start);
    DateTime d = base;
    for (int i = 0; i < n && it; ++i) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t)) break;
        d = localOf(t);
    }
    if (it) icalrecur_iterator_free(it);
    return d;
}

struct Item {
    std::string name;
    std::string lines;  // DTSTART, RRULE, EXDATE and VALARM lines
    bool exact = true;
};

std::string calendarOf(const std::vector<Item>& items) {
    std::string s = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//agenda//EN\r\n";
    int uid = 0;
    for (const Item& i : items)
        s += "BEGIN:VEVENT\r\nUID:item-" + std::to_string(++uid) + "\r\nSUMMARY:" + i.name +
             "\r\n" + i.lines + "END:VEVENT\r\n";
    return s + "END:VCALENDAR\r\n";
}

// libical's own expansion of every event: occurrences without the EXDATEs,
// minus the first alarm's lead time, in (from, to].
std::map<std::string, Moments> libicalMoments(const std::string& text, DateTime from, DateTime to) {
    std::map<std::string, Moments> out;
    icalcomponent* cal = icalparser_parse_string(text.c_str());
    if (!cal) return out;
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        Moments& m = out[icalcomponent_get_summary(ev)];
        const icaltimetype start = icalcomponent_get_dtstart(ev);
        std::int64_t lead = 0;
        if (icalcomponent* va = icalcomponent_get_first_component(ev, ICAL_VALARM_COMPONENT))
            lead =
                -icaldurationtype_as_int(icalproperty_get_trigger(icalcomponent_get_first_property(
                                                                      va, ICAL_TRIGGER_PROPERTY))
                                             .duration);
        std::set<std::time_t> excluded;
        for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(ev, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype x = icalproperty_get_datetime_with_component(p, ev);
            excluded.insert(icaltime_as_timet_with_zone(x, x.zone));
        }
        auto take = [&](icaltimetype t) {
            if (excluded.count(icaltime_as_timet_with_zone(t, t.zone))) return;
            const DateTime d(localOf(t).seconds() - lead);
            if (from < d && d <= to) m.insert(d);
        };
        icalproperty* rrule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
        if (!rrule) {
            take(start);
            continue;
        }
        icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rrule), start);
        for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it)) {
            t.zone = start.zone;
            if (localOf(t) > addToDate(to, 1, kDays)) break;
            take(t);
        }
        icalrecur_iterator_free(it);
    }
    icalcomponent_free(cal);
    return out;
}

// quorvane-agenda's moments of the group file, by alarm name, in (from, to].
std::map<std::string, Moments> agendaMoments(const std::string& file, DateTime from, DateTime to) {
    const std::string command = std::string("\"") + QUORVANE_AGENDA + "\" --from \"" +
                                toStoredText(from) + "\" --count 400000 \"" + file + "\"";
    std::map<std::string, Moments> out;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (!pipe) return out;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string s(line);
        const auto tab1 = s.find('\t');
        const auto tab2 = s.find('\t', tab1 + 1);
        const auto when = parseStoredText(s.substr(0, tab1));
        if (!when || tab2 == std::string::npos) continue;
        std::string name = s.substr(tab2 + 1);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        if (*when <= to) out[name].insert(*when);
    }
    EXPECT_EQ(pclose(pipe), 0);
    return out;
}

// Synchronises a group with the calendar file through the host, saves it and
// compares the agenda with libical item by item.
void compareThroughHost(const std::vector<Item>& items) {
    HostFixture f({"bin:QuorvaneOutlook.so"});
    f.host.loadPlugins();
    const std::string ics = f.folder.file("calendar.ics");
    const std::string text = calendarOf(items);
    ASSERT_TRUE(writeFile(ics, text));

    const DateTime now = currentLocalTime();
    auto group = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    group->name = "Calendar";
    group->synchPlugin = "QuorvaneOutlook*OutlookAppointmentSynchronizer";
    group->synchSettings = XMLNode::Create("syst");
    group->synchSettings->setInteger("i", 1, 1);
    group->synchSettings->addString("path", ics);
    ASSERT_TRUE(group->synchronize(f.p().ctx));
    ASSERT_GT(group->alarms.numberOfElements(), 0);
    for (const AlarmPtr& a : group->alarms) EXPECT_TRUE(a->readOnly);
    const std::string agx = f.folder.file("usg_1.agx");
    ASSERT_FALSE(group->toXML()->toXMLFile(agx));

    const DateTime to = addToDate(now, 2, kYears);
    const auto theirs = libicalMoments(text, now, to);
    const auto ours = agendaMoments(agx, now, to);
    int exactCompared = 0;
    int momentsCompared = 0;
    for (const Item& i : items) {
        const Moments& want = theirs.count(i.name) ? theirs.at(i.name) : Moments{};
        const Moments& got = ours.count(i.name) ? ours.at(i.name) : Moments{};
        if (i.exact) {
            ++exactCompared;
            momentsCompared += static_cast<int>(want.size());
            EXPECT_EQ(std::vector<DateTime>(got.begin(), got.end()),
                      std::vector<DateTime>(want.begin(), want.end()))
                << i.name << "\n"
                << i.lines;
            if (got != want) {
                // The first difference, readable.
                for (const DateTime& d : want)
                    if (!got.count(d)) {
                        ADD_FAILURE() << i.name << ": missing " << toStoredText(d);
                        break;
                    }
                for (const DateTime& d : got)
                    if (!want.count(d)) {
                        ADD_FAILURE() << i.name << ": extra " << toStoredText(d);
                        break;
                    }
            }
        } else {
            std::set<DateTime> gotSet(got.begin(), got.end());
            for (const DateTime& d : want)
                EXPECT_TRUE(gotSet.count(d)) << i.name << ": missing " << toStoredText(d) << "\n"
                                             << i.lines;
        }
    }
    EXPECT_GT(exactCompared, 0);
    EXPECT_GT(momentsCompared, 100);
}

std::string alarmLines(int minutes) {
    return "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:r\r\nTRIGGER:-PT" +
           std::to_string(minutes) + "M\r\nEND:VALARM\r\n";
}

TEST(OutlookAgenda, TheRfc5545ExamplesRingAsLibicalExpandsThem) {
    const DateTime base = DateTime::fromParts(currentLocalTime().year(), currentLocalTime().month(),
                                              currentLocalTime().day() - 20, 9, 0, 0);
    struct Example {
        const char* rule;
        bool exact;
    };
    const Example examples[] = {
        {"FREQ=DAILY;COUNT=30", true},
        {"FREQ=DAILY;INTERVAL=2", true},
        {"FREQ=DAILY;INTERVAL=10;COUNT=5", true},
        {"FREQ=DAILY;BYMONTH=1", true},
        {"FREQ=WEEKLY;COUNT=10", true},
        {"FREQ=WEEKLY;INTERVAL=2;WKST=SU", true},
        {"FREQ=WEEKLY;COUNT=10;WKST=SU;BYDAY=TU,TH", true},
        {"FREQ=WEEKLY;INTERVAL=2;COUNT=40;WKST=SU;BYDAY=MO,WE,FR", true},
        {"FREQ=WEEKLY;INTERVAL=2;COUNT=8;WKST=SU;BYDAY=TU,TH", true},
        {"FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=MO", true},
        {"FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=SU", true},
        {"FREQ=MONTHLY;COUNT=10;BYDAY=1FR", true},
        {"FREQ=MONTHLY;COUNT=6;BYDAY=-2MO", true},
        {"FREQ=MONTHLY;BYMONTHDAY=-3", true},
        {"FREQ=MONTHLY;COUNT=10;BYMONTHDAY=2,15", true},
        {"FREQ=MONTHLY;COUNT=10;BYMONTHDAY=1,-1", true},
        {"FREQ=MONTHLY;INTERVAL=2;BYDAY=TU", true},
        {"FREQ=MONTHLY;BYDAY=FR;BYMONTHDAY=13", true},
        {"FREQ=MONTHLY;BYDAY=SA;BYMONTHDAY=7,8,9,10,11,12,13", true},
        {"FREQ=MONTHLY;BYMONTHDAY=15,30;COUNT=5", true},
        {"FREQ=YEARLY;COUNT=10;BYMONTH=6,7", true},
        {"FREQ=YEARLY;BYMONTH=3;BYDAY=TH", true},
        {"FREQ=YEARLY;BYDAY=TH;BYMONTH=6,7,8", true},
        {"FREQ=YEARLY;BYMONTH=1;BYDAY=SU,MO,TU,WE,TH,FR,SA", true},
        {"FREQ=HOURLY;INTERVAL=3;COUNT=3", true},
        {"FREQ=MINUTELY;INTERVAL=15;COUNT=6", true},
        {"FREQ=MINUTELY;INTERVAL=90;COUNT=4", true},
        // What the alarms cannot say exactly.
        {"FREQ=MONTHLY;INTERVAL=2;COUNT=10;BYDAY=1SU,-1SU", false},
        {"FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO", false},
        {"FREQ=MONTHLY;COUNT=3;BYDAY=TU,WE,TH;BYSETPOS=3", false},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-2", false},
        {"FREQ=DAILY;BYHOUR=9,10,11,12,13,14,15,16;BYMINUTE=0,20,40", false},
        {"FREQ=MONTHLY;INTERVAL=18;COUNT=10;BYMONTHDAY=10,11,12,13,14,15", false},
        {"FREQ=YEARLY;INTERVAL=4;BYMONTH=11;BYDAY=TU;BYMONTHDAY=2,3,4,5,6,7,8", false},
    };
    std::vector<Item> items;
    int n = 0;
    for (const Example& e : examples) {
        const DateTime start = matchingStart(e.rule, base);
        const bool zoned = n % 2 == 0;
        std::string lines = zoned ? "DTSTART;TZID=Europe/Berlin:" + icalText(start) + "\r\n"
                                  : "DTSTART:" + icalText(start) + "\r\n";
        lines += "RRULE:" + std::string(e.rule) + "\r\n";
        if (n % 3 == 0) lines += alarmLines(10);
        items.push_back({"RFC " + std::to_string(++n) + " " + e.rule, lines, e.exact});
    }
    // Another zone's summer time moves the local time of its occurrences.
    items.push_back(
        {"New York weekly",
         "DTSTART;TZID=America/New_York:" + icalText(base) + "\r\nRRULE:FREQ=WEEKLY\r\n", false});
    // A rule too frequent for the sample to show another zone's summer time:
    // only the whole horizon does.
    items.push_back({"New York trading hours",
                     "DTSTART;TZID=America/New_York:" + icalText(base) +
                         "\r\nRRULE:FREQ=HOURLY;BYHOUR=8,9,10,11,12,13,14,15,16,17,18,19;"
                         "BYMINUTE=0,30\r\n",
                     false});
    // Properties a reader does not know and a line that lost its fold cost nothing.
    items.push_back({"Wiki export",
                     "DTSTART:" + icalText(base) +
                         "\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,TH\r\nX-WIKI-PAGE;X-A=b:Home\r\n"
                         "FOOBAR:unknown\r\nDESCRIPTION:first line\r\nsecond line\r\n",
                     true});
    // One-off items in UTC, floating and zoned time.
    const DateTime soon = addToDate(base, 40, kDays);
    items.push_back({"Once UTC", "DTSTART:" + utcText(soon) + "\r\n" + alarmLines(30), true});
    items.push_back(
        {"Once floating", "DTSTART:" + icalText(addToDate(soon, 3, kHours)) + "\r\n", true});
    items.push_back(
        {"Once Tokyo", "DTSTART;TZID=Asia/Tokyo:20270615T183000\r\n" + alarmLines(5), true});
    compareThroughHost(items);
}

TEST(OutlookAgenda, RandomMappableRulesRingAsLibicalExpandsThem) {
    std::mt19937 rng(20261207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    static const char* const kDayNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    static const int kMonthSteps[] = {1, 2, 3, 4, 6};
    static const int kDividing[] = {1, 2, 3, 6, 12};
    static const int kPositions[] = {1, 2, 3, 4, -1};
    static const int kLeads[] = {0, 5, 15, 30, 60, 90};
    auto daySet = [&](int most) {
        std::set<int> set;
        const int count = pick(1, most);
        while (static_cast<int>(set.size()) < count) set.insert(pick(0, 6));
        std::string s;
        for (int d : set) s += (s.empty() ? "" : ",") + std::string(kDayNames[d]);
        return s;
    };
    const DateTime now = currentLocalTime();
    std::vector<Item> items;
    for (int n = 0; n < 60; ++n) {
        std::string rule;
        switch (pick(0, 7)) {
            case 0:
                rule = "FREQ=DAILY;INTERVAL=" + std::to_string(pick(1, 4));
                if (pick(0, 1)) rule += ";BYDAY=" + daySet(5);
                break;
            case 1:
                rule = "FREQ=WEEKLY;INTERVAL=" + std::to_string(pick(1, 3)) +
                       ";BYDAY=" + daySet(3) + (pick(0, 1) ? ";WKST=SU" : "");
                break;
            case 2:
                rule = "FREQ=MONTHLY;INTERVAL=" + std::to_string(kMonthSteps[pick(0, 4)]) +
                       ";BYMONTHDAY=" + std::to_string(pick(1, 28));
                break;
            case 3:
                rule = "FREQ=MONTHLY;INTERVAL=" + std::to_string(kDividing[pick(0, 4)]) +
                       ";BYDAY=" + std::to_string(kPositions[pick(0, 4)]) + kDayNames[pick(0, 6)];
                break;
            case 4:
                rule = std::string("FREQ=MONTHLY;BYDAY=") + kDayNames[pick(0, 6)] +
                       ";BYSETPOS=" + std::to_string(kPositions[pick(0, 4)]);
                break;
            case 5:
                rule = "FREQ=YEARLY;INTERVAL=" + std::to_string(pick(1, 2));
                break;
            case 6:
                rule = "FREQ=YEARLY;BYMONTH=" + std::to_string(pick(1, 12)) +
                       ";BYDAY=" + std::to_string(kPositions[pick(0, 4)]) + kDayNames[pick(0, 6)];
                break;
            default:
                rule = "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR";
                break;
        }
        const DateTime base = DateTime::fromParts(
            now.year(), now.month(), now.day() + pick(-1500, 200), pick(6, 21), 15 * pick(0, 3), 0);
        const DateTime start = matchingStart(rule, base);
        const bool zoned = pick(0, 1) == 1;
        std::string ends;
        switch (pick(0, 2)) {
            case 1:
                ends = ";COUNT=" + std::to_string(pick(3, 40));
                break;
            case 2: {
                const DateTime until = addToDate(start, pick(30, 600), kDays);
                ends = ";UNTIL=" + (zoned ? utcText(until) : icalText(until));
                break;
            }
            default:
                break;
        }
        std::string lines = (zoned ? "DTSTART;TZID=Europe/Berlin:" : "DTSTART:") + icalText(start) +
                            "\r\nRRULE:" + rule + ends + "\r\n";
        // Leave out one or two coming occurrences.
        for (int k = pick(0, 2); k > 0; --k) {
            const DateTime x = matchingStart(rule, start, pick(2, 12));
            if (x > now)
                lines += (zoned ? "EXDATE;TZID=Europe/Berlin:" : "EXDATE:") + icalText(x) + "\r\n";
        }
        if (pick(0, 2) > 0) lines += alarmLines(kLeads[pick(0, 5)]);
        items.push_back({"Random " + std::to_string(n) + " " + rule + ends, lines, true});
    }
    compareThroughHost(items);
}

}  // namespace
}  // namespace qv::test

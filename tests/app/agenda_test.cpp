#include "app/agenda.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

#include "model/modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct AgendaRun {
    int status;
    std::string out, err;
};

struct AgendaFixture : ModelFixture {
    AgendaRun run(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int status = runAgenda(args, ctx, out, err);
        return {status, out.str(), err.str()};
    }
    std::string group(const std::string& name, const std::string& alarms, bool active = true) {
        return "<algr><name>" + name + "</name><stat>" + (active ? "-1" : "0") + "</stat>" + alarms +
               "</algr>";
    }
};

std::string daily(const std::string& name, const std::string& anchor, const std::string& extra = "") {
    return "<alrm><name>" + name + "</name><datk>1</datk><perl>1</perl><peru>3</peru><nexd>" + anchor +
           "</nexd>" + extra + "</alrm>";
}

std::string once(const std::string& name, const std::string& when, const std::string& extra = "") {
    return "<alrm><name>" + name + "</name><datk>0</datk><oncd>" + when + "</oncd>" + extra + "</alrm>";
}

}  // namespace

TEST(Agenda, WalksTheFolderLikeTheSupervision) {
    AgendaFixture f;
    const std::string dir = f.ctx.alarmGroupFolder;
    ASSERT_TRUE(writeFile(dir + "/usg_1.agx",
                          f.group("Work", daily("Stand-up", "2025/01/06 09:30:00") +
                                              once("Review", "2025/03/30 09:30:00"))));
    ASSERT_TRUE(writeFile(dir + "/usg_0.agx",
                          f.group("Home\tand\ngarden", once("Tea", "2025/03/30 09:30:00") +
                                                          once("Bins", "2025/03/30 07:00:00"))));
    ASSERT_TRUE(writeFile(dir + "/usg_2.agx", f.group("Off", once("Never", "2025/03/30 08:00:00"), false)));
    ASSERT_TRUE(writeFile(dir + "/notes.agx", f.group("Ignored", once("X", "2025/03/30 06:00:00"))));
    const auto r = f.run({"--from", "2025/03/30 00:00:00", "--count", "5", dir});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "2025/03/30 07:00:00\tHome and garden\tBins\n"
              "2025/03/30 09:30:00\tHome and garden\tTea\n"
              "2025/03/30 09:30:00\tWork\tStand-up\n"
              "2025/03/30 09:30:00\tWork\tReview\n"
              "2025/03/31 09:30:00\tWork\tStand-up\n");
}

TEST(Agenda, CalendarMomentsIgnoreTheCorrection) {
    AgendaFixture f;
    const std::string file = f.folder.file("a.agx");
    ASSERT_TRUE(writeFile(file, f.group("G", once("Train", "2025/04/01 08:00:00",
                                                  "<adda>-15</adda><addu>1</addu>"))));
    EXPECT_EQ(f.run({"--from", "2025/03/30 00:00:00", file}).out, "2025/04/01 07:45:00\tG\tTrain\n");
    EXPECT_EQ(f.run({"--calendar", "--from", "2025/03/30 00:00:00", file}).out,
              "2025/04/01 08:00:00\tG\tTrain\n");
}

// Rent on the last day of the month and a 29 February birthday keep their
// days wherever the month has them.
TEST(Agenda, MonthlyAndYearlyAlarmsKeepTheirDay) {
    AgendaFixture f;
    const std::string file = f.folder.file("a.agx");
    ASSERT_TRUE(writeFile(
        file, f.group("Home",
                      "<alrm><name>Rent</name><datk>1</datk><perl>1</perl><peru>4</peru>"
                      "<nexd>2025/01/31 08:00:00</nexd></alrm>"
                      "<alrm><name>Birthday</name><datk>1</datk><perl>1</perl><peru>5</peru>"
                      "<nexd>2024/02/29 07:00:00</nexd></alrm>")));
    EXPECT_EQ(f.run({"--from", "2025/01/01 00:00:00", "--count", "6", file}).out,
              "2025/01/31 08:00:00\tHome\tRent\n"
              "2025/02/28 07:00:00\tHome\tBirthday\n"
              "2025/02/28 08:00:00\tHome\tRent\n"
              "2025/03/31 08:00:00\tHome\tRent\n"
              "2025/04/30 08:00:00\tHome\tRent\n"
              "2025/05/31 08:00:00\tHome\tRent\n");
}

TEST(Agenda, StopsAtTheCountAtNothingAndAtTheYear9999) {
    AgendaFixture f;
    const std::string file = f.folder.file("a.agx");
    // A weekday restriction no day meets: the search gives up, which is not printed.
    ASSERT_TRUE(writeFile(file, f.group("G", once("One", "2025/04/01 08:00:00") +
                                                 daily("Nothing", "2025/01/01 08:00:00",
                                                       "<actp>4</actp><wkds>0</wkds>"))));
    EXPECT_EQ(f.run({"--from", "2025/03/30 00:00:00", "--count", "20", file}).out,
              "2025/04/01 08:00:00\tG\tOne\n");
    EXPECT_EQ(f.run({"--from", "2025/03/30 00:00:00", "--count", "0", file}).out, "");
    ASSERT_TRUE(writeFile(file, f.group("G", daily("D", "2025/01/01 08:00:00"))));
    const auto r = f.run({"--from", "2025/03/30 00:00:00", "--count", "3", file});
    EXPECT_EQ(r.out,
              "2025/03/30 08:00:00\tG\tD\n2025/03/31 08:00:00\tG\tD\n2025/04/01 08:00:00\tG\tD\n");
    // The default start is the present moment and the default count 20.
    f.clock.current = dt(2025, 3, 29, 12);
    const auto d = f.run({file});
    EXPECT_EQ(std::count(d.out.begin(), d.out.end(), '\n'), 20);
    EXPECT_EQ(d.out.substr(0, 19), "2025/03/30 08:00:00");
}

TEST(Agenda, CollectionsAndPathOrder) {
    AgendaFixture f;
    auto a = AlarmGroup::createFromXML(f.ctx, f.group("A", once("a", "2025/04/01 08:00:00")));
    auto b = AlarmGroup::createFromXML(f.ctx, f.group("B", once("b", "2025/04/01 08:00:00")));
    ASSERT_TRUE(AlarmGroup::saveCollection({b, a}, f.folder.file("c.agc")));
    ASSERT_TRUE(writeFile(f.folder.file("z.agx"), f.group("Z", once("z", "2025/04/01 08:00:00"))));
    EXPECT_EQ(f.run({"--from", "2025/03/30 00:00:00", f.folder.file("z.agx"), f.folder.file("c.agc")}).out,
              "2025/04/01 08:00:00\tZ\tz\n2025/04/01 08:00:00\tB\tb\n2025/04/01 08:00:00\tA\ta\n");
}

// A folder's files are read several at a time; what comes out must be what
// naming the same files one by one gives, errors included.
TEST(Agenda, AFolderReadAtOnceListsWhatItsFilesListOneByOne) {
    AgendaFixture f;
    const std::string dir = f.ctx.alarmGroupFolder;
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        std::string alarms = daily("d" + n, "2025/01/0" + std::to_string(1 + i % 9) + " 0" +
                                               std::to_string(i % 10) + ":15:00") +
                             once("o" + n, "2025/03/30 0" + std::to_string(9 - i % 10) + ":00:00");
        if (i == 4) alarms += daily("bad", "2025/01/01 08:00:00", "<actp>8</actp><adva>MONTH ==</adva>");
        if (i == 7) alarms += daily("off", "2025/01/01 08:00:00", "<stat>0</stat>");
        ASSERT_TRUE(writeFile(dir + "/usg_" + n + ".agx", f.group("G" + n, alarms, i != 9)));
    }
    ASSERT_TRUE(writeFile(dir + "/usg_12.agx", "<algr><name>half"));
    std::vector<std::string> oneByOne = {"--from", "2025/03/30 00:00:00", "--count", "40"};
    for (const std::string& file : listMatchingFiles(dir + "/usg_*.agx")) oneByOne.push_back(file);
    const auto single = f.run(oneByOne);
    const auto folder = f.run({"--from", "2025/03/30 00:00:00", "--count", "40", dir});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, single.out);
    EXPECT_EQ(folder.err, single.err);
    EXPECT_NE(folder.err.find("G4: bad: cannot evaluate"), std::string::npos);
    EXPECT_NE(folder.err.find("usg_12.agx"), std::string::npos);
    EXPECT_EQ(std::count(folder.out.begin(), folder.out.end(), '\n'), 40);
}

// The listing asks an alarm again only when its moment has been listed or its
// answer may change; it must list exactly what scanning every alarm for each
// moment lists, errors included, over alarms of every kind: searches that give
// up, expressions that cannot be evaluated, snoozes, ranges, inactive ones.
TEST(Agenda, ListsWhatAFullScanForEachMomentLists) {
    AgendaFixture f;
    std::mt19937 rng(7031);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto when = [&](int year) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:00", year, 1 + pick(12),
                      1 + pick(28), pick(24), pick(4) * 15);
        return std::string(text);
    };
    const char* expressions[] = {"DAYOFMONTH &lt;= 7 &amp;&amp; WEEKDAY == MONDAY", "MONTH == 2",
                                 "DAYOFMONTH &gt;= 12", "MONTH =="};
    const std::string dir = f.ctx.alarmGroupFolder;
    for (int g = 0; g < 4; ++g) {
        std::string alarms;
        for (int i = 0; i < 60; ++i) {
            const std::string n = "a" + std::to_string(g) + "." + std::to_string(i);
            std::string x = "<alrm><name>" + n + "</name>";
            if (pick(5) == 0) {
                x += "<datk>0</datk><oncd>" + when(2025) + "</oncd>";
            } else {
                const int unit = pick(12) == 0 ? 1 + pick(2) : 3 + pick(4);
                x += "<datk>1</datk><perl>" + std::to_string(unit == 1 ? 15 * (1 + pick(40)) : 1 + pick(3)) +
                     "</perl><peru>" + std::to_string(unit) + "</peru><nexd>" + when(2024 + pick(2)) + "</nexd>";
                int restrict = 0;
                if (pick(4) == 0) {
                    restrict |= 4;
                    x += "<wkds>" + std::to_string(1 + pick(127)) + "</wkds>";
                }
                if (pick(4) == 0) {
                    restrict |= 8;
                    x += std::string("<adva>") + expressions[pick(4)] + "</adva>";
                }
                if (pick(4) == 0) {
                    restrict |= 2;
                    x += "<stad>" + when(2025) + "</stad><endd>" + when(2026) + "</endd>";
                }
                x += "<actp>" + std::to_string(restrict) + "</actp>";
                if (pick(5) == 0) x += "<adda>-" + std::to_string(1 + pick(3)) + "</adda><addu>" + std::to_string(1 + pick(3)) + "</addu>";
            }
            if (i == 0 && g == 0) {
                // Every minute from the 1st to the 20th of April, from the 12th on:
                // the search gives up until the 12th is within its reach.
                x = "<alrm><name>" + n + "</name><datk>1</datk><perl>1</perl><peru>1</peru>"
                    "<nexd>2025/03/01 00:00:00</nexd><actp>10</actp><adva>DAYOFMONTH &gt;= 12</adva>"
                    "<stad>2025/04/01 00:00:00</stad><endd>2025/04/20 00:00:00</endd>";
            }
            if (i == 1 && g == 1) {  // no day at all: its search always gives up
                x = "<alrm><name>" + n + "</name><datk>1</datk><perl>1</perl><peru>3</peru>"
                    "<nexd>2025/03/01 07:00:00</nexd><actp>4</actp><wkds>0</wkds>";
            }
            if (pick(8) == 0) x += "<snoz>-1</snoz><snod>" + when(2025) + "</snod>";
            if (pick(10) == 0) x += "<stat>0</stat>";
            alarms += x + "</alrm>";
        }
        ASSERT_TRUE(writeFile(dir + "/usg_" + std::to_string(g) + ".agx", f.group("G" + std::to_string(g), alarms, g != 3)));
    }
    for (const bool calendar : {false, true}) {
        const std::string from = "2025/04/10 12:00:00";
        std::vector<std::string> args = {"--from", from, "--count", "600", dir};
        if (calendar) args.insert(args.begin(), "--calendar");
        const auto listed = f.run(args);
        EXPECT_EQ(listed.status, 0);

        // The full scan, as the listing did it before.
        Vector<AlarmGroup> groups;
        for (const std::string& file : listMatchingFiles(dir + "/usg_*.agx"))
            if (auto g = AlarmGroup::createAlarmGroupFromFile(f.ctx, file)) groups.addElement(g);
        std::ostringstream out, err;
        std::set<const Alarm*> reported;
        auto onError = [&](const AlarmGroup& g, const Alarm& a, const std::string& message) {
            if (!reported.insert(&a).second) return;
            err << "quorvane-agenda: " << g.name << ": " << a.name << ": cannot evaluate \""
                << a.activeAdvanced << "\" (" << message << "); the alarm is left out\n";
        };
        DateTime at = *parseStoredText(from);
        for (long lines = 0; lines < 600;) {
            const EarliestAlarms next = getEarliestAlarmsAfter(groups, at, false, onError, calendar);
            if (next.alarms.empty() || next.date.year() >= 9999) break;
            for (const AlarmPtr& a : next.alarms) {
                if (lines++ >= 600) break;
                out << toStoredText(next.date) << '\t' << a->parentGroup()->name << '\t' << a->name << '\n';
            }
            at = next.date;
        }
        EXPECT_EQ(listed.out, out.str());
        EXPECT_EQ(listed.err, err.str());
        EXPECT_NE(listed.err.find("cannot evaluate"), std::string::npos);
        EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 600);
        // The searches that gave up before the 12th of April found it later.
        EXPECT_NE(listed.out.find("2025/04/12 00:00:00\tG0\ta0.0"), std::string::npos);
    }
}

TEST(Agenda, ReportsBadInputAndGoesOn) {
    AgendaFixture f;
    const std::string good = f.folder.file("good.agx");
    const std::string broken = f.folder.file("broken.agx");
    ASSERT_TRUE(writeFile(good, f.group("G", once("ok", "2025/04/01 08:00:00") +
                                                 daily("bad", "2025/01/01 08:00:00",
                                                       "<actp>8</actp><adva>MONTH ==</adva>"))));
    ASSERT_TRUE(writeFile(broken, "<algr><name>half"));
    const auto r = f.run({"--from", "2025/03/30 00:00:00", broken, good, f.folder.file("missing.agx")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2025/04/01 08:00:00\tG\tok\n");
    EXPECT_NE(r.err.find(broken), std::string::npos);
    EXPECT_NE(r.err.find("missing.agx"), std::string::npos);
    // The malformed expression is named once, with group, alarm and expression.
    const auto at = r.err.find("G: bad: cannot evaluate \"MONTH ==\"");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(r.err.find("cannot evaluate", at + 30), std::string::npos);
    // Nothing was written: the broken file is as it was and no file appeared.
    EXPECT_EQ(readFile(broken), "<algr><name>half");
    EXPECT_EQ(listMatchingFiles(f.folder.path() + "/*").size(), 3u);  // English.lng and the two
}

TEST(Agenda, NumbersOutOfRangeAndFilesTooLargeAreSaidAndLeftOut) {
    AgendaFixture f;
    const std::string dir = f.ctx.alarmGroupFolder;
    ASSERT_TRUE(writeFile(dir + "/usg_0.agx",
                          f.group("G", "<alrm><name>tick</name><datk>1</datk><perl>4294967297"
                                       "</perl><peru>0</peru><nexd>2025/03/30 00:00:00</nexd>"
                                       "</alrm>" +
                                           once("ok", "2025/03/30 08:00:00"))));
    // A file beyond the limit is not read at all, and left as it is.
    std::string huge = f.group("Huge", once("lost", "2025/03/30 07:00:00"));
    huge.insert(huge.size() - 7, std::string(AlarmGroup::kMaxFileBytes, ' '));
    ASSERT_TRUE(writeFile(dir + "/usg_1.agx", huge));
    const auto r = f.run({"--from", "2025/03/30 00:00:00", "--count", "3", dir});
    EXPECT_EQ(r.status, 1);
    // Not every second from the start: only the other alarm.
    EXPECT_EQ(r.out, "2025/03/30 08:00:00\tG\tok\n");
    const std::string said =
        "quorvane-agenda: G: tick: a whole number is out of range (perl = 4294967297); the alarm "
        "is left out\n";
    const auto at = r.err.find(said);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("out of range", at + said.size()), std::string::npos);
    EXPECT_NE(r.err.find("usg_1.agx (larger than 32 MB)"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir + "/usg_1.agx").size(), huge.size());
}

TEST(Agenda, BadArgumentsPrintTheUsage) {
    AgendaFixture f;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"--count"}, {"--count", "-1", "x.agx"}, {"--count", "3x", "x.agx"},
             {"--from", "2025/03/30", "x.agx"}, {"--from", "yesterday", "x.agx"}, {"--colour", "x.agx"}}) {
        const auto r = f.run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: quorvane-agenda"), std::string::npos);
    }
    const std::string other = f.folder.file("English.lng");
    EXPECT_EQ(f.run({other}).status, 1);

    // Asked for, the usage is the answer: on the output, and no failure.
    for (const char* help : {"--help", "-h"}) {
        const auto r = f.run({help});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: quorvane-agenda", 0), 0u);
    }
}

TEST(Agenda, AWeekdayAlarmSkipsTheGermanHolidaysOf2027) {
    AgendaFixture f;
    // The nationwide holidays of 2027 as the group keeps them after reading
    // the shipped calendar.
    const std::vector<std::string> holidays = {"2027/01/01", "2027/03/26", "2027/03/29",
                                               "2027/05/01", "2027/05/06", "2027/05/17",
                                               "2027/10/03", "2027/12/25", "2027/12/26"};
    std::string items;
    for (const std::string& d : holidays) {
        const DateTime day = *parseStoredText(d + " 00:00:00");
        items += "<item><f>" + toStoredText(day) + "</f><t>" + toStoredText(addToDate(day, 1, kDays)) +
                 "</t><a>-1</a><n>Feiertag</n></item>";
    }
    const std::string doff = "<doff><src>holidays/DE.ics</src><cach><src>holidays/DE.ics</src>" + items +
                             "</cach></doff>";
    const std::string weekdays = "<actp>4</actp><wkds>62</wkds><ndof>-1</ndof>";
    ASSERT_TRUE(writeFile(f.ctx.alarmGroupFolder + "/usg_1.agx",
                          "<algr><name>Work</name>" + doff +
                              daily("Wake", "2026/01/05 07:00:00", weekdays) + "</algr>"));
    const auto r = f.run({"--from", "2026/12/31 12:00:00", "--count", "400", f.ctx.alarmGroupFolder});
    EXPECT_EQ(r.status, 0);
    std::istringstream lines(r.out);
    std::string line;
    int in2027 = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("2027/", 0) != 0) continue;
        ++in2027;
        for (const std::string& d : holidays) EXPECT_NE(line.substr(0, 10), d) << line;
    }
    // 261 weekdays in 2027; five of the holidays fall on one.
    EXPECT_EQ(in2027, 261 - 5);
    EXPECT_NE(r.out.find("2027/03/30 07:00:00\tWork\tWake"), std::string::npos);
}

TEST(Agenda, RemindersFollowTheirAlarmOnlyWhenAskedAndOnlyThoseStillToCome) {
    AgendaFixture f;
    const std::string file = f.folder.file("a.agx");
    const std::string rmds =
        "<rmds><rmd><a>1</a><u>3</u></rmd><rmd><a>15</a><u>1</u></rmd></rmds>";
    ASSERT_TRUE(writeFile(file, f.group("G", once("Train", "2025/04/01 08:00:00", rmds) +
                                                 once("Tea", "2025/04/01 09:00:00"))));
    EXPECT_EQ(f.run({"--from", "2025/03/30 00:00:00", file}).out,
              "2025/04/01 08:00:00\tG\tTrain\n2025/04/01 09:00:00\tG\tTea\n");
    EXPECT_EQ(f.run({"--reminders", "--count", "1", "--from", "2025/03/30 00:00:00", file}).out,
              "2025/04/01 08:00:00\tG\tTrain\n"
              "2025/03/31 08:00:00\tG\tTrain\treminder: 1 day before\n"
              "2025/04/01 07:45:00\tG\tTrain\treminder: 15 minutes before\n");
    // The day-before reminder has passed by then.
    EXPECT_EQ(f.run({"--reminders", "--count", "1", "--from", "2025/03/31 12:00:00", file}).out,
              "2025/04/01 08:00:00\tG\tTrain\n"
              "2025/04/01 07:45:00\tG\tTrain\treminder: 15 minutes before\n");
}

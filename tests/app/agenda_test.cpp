#include "app/agenda.h"

#include <algorithm>
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

#include "app/quickadd.h"

#include <sstream>

#include "base/files.h"
#include "model/alarmgroup.h"
#include "model/modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct AddRun {
    int status;
    std::string out, err;
};

// A program folder with its settings, language and alarm-group folder; the
// running program and the lock are stand-ins the test sets.
struct AddFixture : ModelFixture {
    std::string programFolder = folder.file("program");
    std::string groups = folder.file("program/alarms");
    DateTime now = dt(2025, 3, 31, 8, 0);  // a Monday
    HandOver programAnswer;                // kNotRunning: no program
    std::vector<AddArguments> handed;
    int lockAnswer = 0;
    int locks = 0, unlocks = 0;
    // A program that answers only after this many pauses (-1: never waited for).
    int waitUntilAnswer = -1;
    HandOver answerOnceWaited;
    int paused = 0;

    AddFixture() {
        std::filesystem::create_directories(groups);
        EXPECT_TRUE(writeFile(programFolder + "/English.lng",
                              std::string(kTestLanguage) +
                                  "[frmQuorvaneMain]\ns350=Quick alarms\ns351=Quick alarm\n"));
        EXPECT_TRUE(writeFile(programFolder + "/usr.cfx",
                              "<settings><agp>&lt;app_path&gt;/alarms</agp><lng>English</lng>"
                              "</settings>"));
    }
    AddRun run(std::vector<std::string> args) {
        AddEnvironment env;
        env.folders = Folders::forFolder(programFolder);
        env.now = [this] { return now; };
        env.handToProgram = [this](const AddArguments& a) {
            handed.push_back(a);
            return programAnswer;
        };
        env.lockProgramFolder = [this] {
            ++locks;
            return lockAnswer;
        };
        env.unlockProgramFolder = [this] { ++unlocks; };
        if (waitUntilAnswer >= 0) {
            env.pause = [this](int ms) { paused += ms; };
            env.handToProgram = [this](const AddArguments& a) {
                handed.push_back(a);
                return paused >= waitUntilAnswer * kStartAskEveryMs ? answerOnceWaited : HandOver{};
            };
        }
        std::ostringstream out, err;
        const int status = runAdd(args, env, out, err);
        return {status, out.str(), err.str()};
    }
    std::vector<std::string> groupFiles() const { return listMatchingFiles(groups + "/usg_*.agx"); }
    AlarmGroupPtr load(const std::string& file) {
        ctx.alarmGroupFolder = groups;
        return AlarmGroup::createAlarmGroupFromFile(ctx, file);
    }
};

TEST(QuorvaneAdd, BadArgumentsAreRefusedBeforeAnythingIsTouched) {
    AddFixture f;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"Tea"},
             {"--in", "25m", "--at", "07:30"},
             {"--in"},
             {"--in", "5m", "--in", "6m"},
             {"--in", "soon"},
             {"--at", "25"},  // a clock time, not minutes
             {"--at", "2020/01/01 07:30"},
             {"--at", "07:30", "--weekdays", "mo-fr"},
             {"--at", "07:30", "--every", "day", "--weekdays", "weekends"},
             {"--in", "5m", "--every", "10 seconds"},
             {"--in", "5m", "--bogus"},
             {"--in", "5m", "bad\x01text"},
             {"--in", "5m", "--group", "\xff"},
         }) {
        const AddRun r = f.run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args.front());
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(f.handed.empty());
    EXPECT_EQ(f.locks, 0);
    EXPECT_TRUE(f.groupFiles().empty());

    const AddRun help = f.run({"--in", "5m", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: quorvane-add", 0), 0u);
    EXPECT_EQ(f.run({"--version"}).out.rfind("quorvane-add ", 0), 0u);
}

TEST(QuorvaneAdd, TheRunningProgramTakesTheAlarm) {
    AddFixture f;
    f.programAnswer = {HandOver::kAdded, "2025/03/31 08:25:00", ""};
    AddRun r = f.run({"--in", "25m", "--group", "Kitchen", "--", "Tea", "--now"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2025/03/31 08:25:00\n");
    ASSERT_EQ(f.handed.size(), 1u);
    EXPECT_EQ(f.handed[0].when, "in 25m");
    EXPECT_EQ(f.handed[0].message, "Tea --now");
    EXPECT_EQ(f.handed[0].group, "Kitchen");
    EXPECT_EQ(f.locks, 0);
    EXPECT_TRUE(f.groupFiles().empty());

    f.programAnswer = {HandOver::kRefused, "", "the group is filled by a synchronisation plug-in"};
    r = f.run({"--at", "07:30", "--every", "day", "--weekdays", "mo-fr", "Get", "up"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("synchronisation"), std::string::npos);
    EXPECT_EQ(f.handed.back().when, "07:30");
    EXPECT_EQ(f.handed.back().every, "day");
    EXPECT_EQ(f.handed.back().weekdays, "mo-fr");

    f.programAnswer = {HandOver::kFailed, "", "no reply"};
    EXPECT_EQ(f.run({"--in", "5m"}).status, 1);
    EXPECT_TRUE(f.groupFiles().empty());
}

TEST(QuorvaneAdd, WithoutTheProgramTheGroupFileIsWritten) {
    AddFixture f;
    AddRun r = f.run({"--in", "25m", "Tea"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2025/03/31 08:25:00\n");
    EXPECT_EQ(f.locks, 1);
    EXPECT_EQ(f.unlocks, 1);
    ASSERT_EQ(f.groupFiles().size(), 1u);
    const std::string quickFile = f.groupFiles()[0];

    // A second alarm joins the same group; a weekday alarm starts on Monday
    // (Saturday now).
    f.now = dt(2025, 4, 5, 9, 0);
    r = f.run({"--at", "07:30", "--every", "day", "--weekdays", "mo-fr", "Get", "up"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2025/04/07 07:30:00\n");
    ASSERT_EQ(f.groupFiles().size(), 1u);
    const AlarmGroupPtr g = f.load(quickFile);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->name, "Quick alarms");
    ASSERT_EQ(g->numberOfAlarms(), 2);
    const AlarmPtr tea = g->elementAt(0);
    EXPECT_EQ(tea->name, "Tea");
    EXPECT_EQ(tea->momentKind, Alarm::kOnce);
    EXPECT_EQ(tea->onceDate, dt(2025, 3, 31, 8, 25));
    EXPECT_TRUE(tea->Active);
    ASSERT_TRUE(tea->actions.numberOfElements() > 0);
    EXPECT_EQ(tea->actions.elementAt(0)->settings->getString("s"), "Tea");
    const AlarmPtr getUp = g->elementAt(1);
    EXPECT_EQ(getUp->momentKind, Alarm::kPeriodic);
    EXPECT_EQ(getUp->weekDays, 0b0111110);
    EXPECT_EQ(getUp->activePeriod, Alarm::kRestrictWeekdays | Alarm::kRestrictDates);
    EXPECT_EQ(getUp->startDate, dt(2025, 4, 6, 7, 30));  // nothing before the first clock time
}

TEST(QuorvaneAdd, OtherGroupFilesKeepTheirBytes) {
    AddFixture f;
    const std::string kitchen =
        "<algr><name>Kitchen</name><stat>-1</stat><alrm><name>Bread</name><datk>0</datk>"
        "<oncd>2025/04/01 07:00:00</oncd></alrm></algr>";
    const std::string other = "<algr><name>Work</name><stat>-1</stat></algr>";
    const std::string broken = "<algr><name>Kitchen</name><alrm>";  // not well formed
    const std::string synced =
        "<algr><name>Calendar</name><sync>QuorvaneOutlook*Calendar</sync></algr>";
    ASSERT_TRUE(writeFile(f.groups + "/usg_0.agx", broken));
    ASSERT_TRUE(writeFile(f.groups + "/usg_1.agx", kitchen));
    ASSERT_TRUE(writeFile(f.groups + "/usg_2.agx", other));
    ASSERT_TRUE(writeFile(f.groups + "/usg_3.agx", synced));

    AddRun r = f.run({"--in", "1h", "--group", "Kitchen", "Oven"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(f.groups + "/usg_0.agx"), broken);
    EXPECT_EQ(readFile(f.groups + "/usg_2.agx"), other);
    const AlarmGroupPtr g = f.load(f.groups + "/usg_1.agx");
    ASSERT_TRUE(g);
    ASSERT_EQ(g->numberOfAlarms(), 2);
    EXPECT_EQ(g->elementAt(0)->name, "Bread");
    EXPECT_EQ(g->elementAt(1)->name, "Oven");

    // A synchronised group would lose the alarm at its next synchronisation.
    r = f.run({"--in", "1h", "--group", "Calendar", "Oven"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(f.groups + "/usg_3.agx"), synced);
    // A new group gets a file of its own.
    r = f.run({"--in", "1h", "--group", "Garden", "Water"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(f.groupFiles().size(), 5u);
}

TEST(QuorvaneAdd, AProgramThatHoldsTheLockButDoesNotAnswerGetsNothing) {
    AddFixture f;
    f.lockAnswer = 1;
    AddRun r = f.run({"--in", "5m", "Tea"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not answer"), std::string::npos);
    // A program still starting is waited for, and takes the alarm once it answers.
    f.waitUntilAnswer = 3;
    f.answerOnceWaited = {HandOver::kAdded, "2025/03/31 08:05:00", ""};
    r = f.run({"--in", "5m", "Tea"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2025/03/31 08:05:00\n");
    EXPECT_EQ(f.paused, 3 * kStartAskEveryMs);
    // One that never answers is waited for no longer than a start takes.
    f.waitUntilAnswer = 1000000;
    f.paused = 0;
    r = f.run({"--in", "5m", "Tea"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(f.paused, kStartWaitMs);
    // With its interface turned off, nothing is waited for, and it is said.
    ASSERT_TRUE(writeFile(f.programFolder + "/usr.cfx",
                          "<settings><agp>&lt;app_path&gt;/alarms</agp><sdbu>0</sdbu></settings>"));
    f.paused = 0;
    r = f.run({"--in", "5m", "Tea"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(f.paused, 0);
    EXPECT_NE(r.err.find("turned off"), std::string::npos);
    f.waitUntilAnswer = -1;
    EXPECT_EQ(f.unlocks, 0);
    EXPECT_TRUE(f.groupFiles().empty());
    // No alarm folder: said, and nothing is made.
    std::filesystem::remove_all(f.groups);
    f.lockAnswer = 0;
    EXPECT_EQ(f.run({"--in", "5m", "Tea"}).status, 1);
    EXPECT_FALSE(folderExists(f.groups));
}

}  // namespace

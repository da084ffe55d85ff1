// Usage figures as the About window shows them, and the diagnostic snapshot.

#include "core/corefixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct StatisticsTest : ::testing::Test, CoreFixture {
    Statistics& stats() { return p().statistics; }
};

std::vector<std::string> values(const XMLNode& node) {
    std::vector<std::string> out;
    for (const auto& c : node.children()) out.push_back(c->Value.str());
    return out;
}

TEST(RemoveFileNameChars, DropsTheNineForbiddenCharacters) {
    EXPECT_EQ(Statistics::removeFileNameChars("a\\b/c:d*e?f\"g<h>i|j"), "abcdefghij");
    EXPECT_EQ(Statistics::removeFileNameChars("2024/03/02 10:15:30"), "20240302 101530");
    EXPECT_EQ(Statistics::removeFileNameChars("\\/:*?\"<>|"), "");
    EXPECT_EQ(Statistics::removeFileNameChars("plain name.log"), "plain name.log");
}

TEST_F(StatisticsTest, TextAddsThisRunToEarlierRuns) {
    p().settings.staS1 = 1000;
    p().settings.staS3 = dt(2020, 1, 5, 8, 0, 0);
    p().settings.df.ot = "d/m/yyyy h:nn";
    p().ctx.alarmsSounded = 7;
    p().startTime = clock.now();
    clock.advance(25);
    EXPECT_EQ(stats().totalRunSeconds(), 1025);
    EXPECT_EQ(stats().statisticsText(),
              "Stats since v" + versionText() +
                  ". Starting: 5/1/2020 8:00. Time running:1025 seconds. Alarms sounded:7");

    // Beyond the 32-bit range of the stored figure, and a clock set back during the run.
    p().settings.staS1 = 2147483647;
    EXPECT_EQ(stats().totalRunSeconds(), 2147483672LL);
    clock.advance(-3600);
    EXPECT_EQ(stats().totalRunSeconds(), 2147483647LL);
}

TEST_F(StatisticsTest, SnapshotWithoutNextAlarm) {
    const DateTime now = dt(2024, 3, 2, 10, 15, 30);
    clock.set(now);
    p().supervision.lastSupervised = dt(2024, 3, 2, 10, 15, 0);
    timer.intervalMs = 30000;
    timer.active = true;
    p().modalOpen = true;
    p().supervision.pendingWork = pending::kSaveSettings | pending::kSaveToDo;

    const std::string path = stats().writeDebugLog();
    EXPECT_EQ(path, folder.file("20240302 101530debug.log"));
    auto log = XMLNode::Create();
    ASSERT_FALSE(log->initializeFromFile(path));
    EXPECT_EQ(log->name, "debuglog");
    EXPECT_EQ(log->getNumberOfNodesWithName("s"), 13);  // and nothing else
    EXPECT_EQ(values(*log), (std::vector<std::string>{
                                std::to_string(kVersionMajor), std::to_string(kVersionMinor),
                                std::to_string(kVersionRevision), "9999/12/31 00:00:00", "0",
                                "2024/03/02 10:15:00", "30000", "-1", "-1", "0", "17",
                                "2024/03/02 10:15:30", "2024/03/02 10:15:30"}));
}

TEST_F(StatisticsTest, SnapshotOfARunningSupervision) {
    clock.set(dt(2025, 6, 1, 7, 59, 40));
    p().settings.tc = 1500;  // the supervision runs a second behind
    p().supervision.lastSupervised = dt(2025, 6, 1, 7, 59, 30);
    p().supervision.nextAlarmDate = dt(2025, 6, 1, 8, 0, 0);
    p().supervision.nextAlarms.addElement(onceAt(dt(2025, 6, 1, 8, 0, 0), "a"));
    p().supervision.nextAlarms.addElement(onceAt(dt(2025, 6, 1, 8, 0, 0), "b"));
    timer.intervalMs = 20000;
    p().loading = true;
    const auto log = stats().debugSnapshot();
    const auto v = values(*log);
    ASSERT_EQ(v.size(), 13u);
    EXPECT_EQ(v[3], "2025/06/01 08:00:00");
    EXPECT_EQ(v[4], "2");
    EXPECT_EQ(v[6], "20000");
    EXPECT_EQ(v[7], "0");
    EXPECT_EQ(v[8], "0");
    EXPECT_EQ(v[9], "-1");
    EXPECT_EQ(v[11], "2025/06/01 07:59:39");
    EXPECT_EQ(v[12], "2025/06/01 07:59:40");
}

TEST_F(StatisticsTest, UnwritableFolderGivesNoPath) {
    p().folders.programFolder = folder.file("gone/deeper");
    EXPECT_EQ(stats().writeDebugLog(), "");
}

}  // namespace

// A group file whose alarm holds a period of 4294967297 seconds: loading it
// turns that alarm off and says so once, in the log and in one message; it
// never sounds, and its file is not rewritten for it.

#include <gtest/gtest.h>

#include "core/supervisionharness.h"

namespace qv::test {
namespace {

struct RangeFault : ::testing::Test, SupervisionHarness {};

DateTime on(int h, int mi, int s = 0) { return dt(2025, 3, 31, h, mi, s); }

TEST_F(RangeFault, AHugePeriodTurnsItsAlarmOffSaysSoOnceAndNothingOfItSounds) {
    ASSERT_TRUE(writeFile(folder.file("English.lng"),
                          readFile(QUORVANE_SOURCE_DIR "/data/English.lng")));
    const std::string file = folder.file("usg_0.agx");
    const std::string stored =
        "<algr><name>Work</name><stat>-1</stat><chsi>0</chsi><colr>0</colr><sync></sync>"
        "<syst></syst>"
        "<alrm><name>Tea</name><datk>1</datk><perl>4294967297</perl><peru>0</peru>"
        "<nexd>2025/03/31 08:00:00</nexd><acti><acid>1</acid><plug></plug><sett></sett></acti>"
        "<saia>-1</saia><stat>-1</stat></alrm>"
        "<alrm><name>Lunch</name><datk>0</datk><oncd>2025/03/31 08:00:05</oncd>"
        "<acti><acid>1</acid><plug></plug><sett></sett></acti><saia>-1</saia><stat>-1</stat>"
        "</alrm></algr>";
    ASSERT_TRUE(writeFile(file, stored));
    clock.set(on(7, 59, 58));
    ASSERT_TRUE(p().main.start(nullptr));

    ASSERT_EQ(p().alarmGroups.numberOfElements(), 1);
    const AlarmGroupPtr g = p().alarmGroups.elementAt(0);
    ASSERT_EQ(g->numberOfAlarms(), 2);
    EXPECT_FALSE(g->elementAt(0)->Active);
    EXPECT_TRUE(g->elementAt(1)->Active);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("Work: Tea (perl = 4294967297)"), std::string::npos)
        << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].text.find("Lunch"), std::string::npos);
    const std::string log = readFile(folder.file("quorvane.log"));
    EXPECT_NE(log.find("Work: Tea (perl = 4294967297)"), std::string::npos) << log;

    // Ten seconds on the clock: only the other alarm, once.
    runUntil(on(8, 0, 10));
    EXPECT_EQ(names(), (std::vector<std::string>{at("Lunch", on(8, 0, 5))}));

    // Reloading does not say it again; saving the group for another reason
    // writes the alarm back as it was stored.
    p().main.resetAll(false);
    p().main.loadAllAlarmGroups();
    EXPECT_EQ(ui.boxes.size(), 1u);
    p().alarmGroups.elementAt(0)->setChanged();
    ASSERT_TRUE(p().main.saveChangedAlarmGroups());
    const std::string saved = readFile(file);
    EXPECT_NE(saved.find("<perl>4294967297</perl><peru>0</peru>"), std::string::npos) << saved;
    EXPECT_TRUE(p().main.exitProgram(true));
    EXPECT_EQ(soundings.size(), 1u);
}

}  // namespace
}  // namespace qv::test

// Alarms nobody answered: kept across a restart, snoozed from now or marked
// done, and a broken or hostile list file loads empty and stays as it was.

#include <gtest/gtest.h>

#include "core/corefixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct MissedAlarmsTest : ::testing::Test, CoreFixture {
    std::string file(const std::string& name) const { return folder.file(name); }
    void writeGroup(const std::string& fileName, const std::string& groupName,
                    std::vector<AlarmPtr> alarms) {
        auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
        g->name = groupName;
        for (auto& a : alarms) g->addAlarm(a);
        ASSERT_TRUE(g->save(p().ctx, file(fileName), false));
    }
    // Ends this run and starts another in the same folder.
    void restart() {
        ASSERT_TRUE(p().main.exitProgram(false));
        program = std::make_unique<Program>(Folders::forFolder(folder.path()),
                                            CorePorts{clock, timer, ui, plugIns, performer,
                                                      session, shell, instance, systemColours,
                                                      names});
        ASSERT_TRUE(p().main.start(nullptr));
    }
    AlarmPtr alarmNamed(const std::string& name) {
        for (const auto& g : p().alarmGroups)
            for (const auto& a : g->alarms)
                if (a->name == name) return a;
        return nullptr;
    }
};

TEST_F(MissedAlarmsTest, AWindowOpenAtExitAndOneClosedUnansweredSurviveARestart) {
    writeGroup("usg_1.agx", "Home",
               {onceAt(dt(2025, 3, 29, 11, 0), "same"), onceAt(dt(2025, 3, 29, 11, 30), "same"),
                onceAt(dt(2025, 3, 29, 11, 45), "tea")});
    ASSERT_TRUE(p().main.start(nullptr));
    int told = 0;
    p().missed.changed = [&] { ++told; };
    const auto second = p().alarmGroups.elementAt(0)->alarms.elementAt(1);
    p().missed.add(second, dt(2025, 3, 29, 11, 30));
    p().missed.add(second, dt(2025, 3, 29, 11, 30));  // the same sounding once
    EXPECT_EQ(p().missed.count(), 1u);
    EXPECT_EQ(told, 1);
    performer.open = {{alarmNamed("tea"), dt(2025, 3, 29, 11, 45)}};

    restart();
    ASSERT_EQ(p().missed.count(), 2u);
    // Found again by group file and place, not by the first alarm of the name.
    const auto& e = p().missed.entries()[0];
    EXPECT_EQ(e.name, "same");
    EXPECT_EQ(e.groupName, "Home");
    EXPECT_EQ(p().missed.find(e), p().alarmGroups.elementAt(0)->alarms.elementAt(1));
    EXPECT_TRUE(p().missed.contains(p().missed.find(e).get(), dt(2025, 3, 29, 11, 30)));
    EXPECT_FALSE(p().missed.contains(p().missed.find(e).get(), dt(2025, 3, 29, 11, 0)));
    EXPECT_EQ(p().missed.find(p().missed.entries()[1]), alarmNamed("tea"));

    // Done forgets it, also on disk.
    p().missed.remove(0);
    performer.open.clear();
    restart();
    ASSERT_EQ(p().missed.count(), 1u);
    EXPECT_EQ(p().missed.entries()[0].name, "tea");
}

TEST_F(MissedAlarmsTest, SnoozeFromNowSetsTheAlarmsSnoozeAndForgetsTheEntry) {
    writeGroup("usg_1.agx", "Home",
               {onceAt(dt(2025, 3, 29, 11, 0), "tea"), onceAt(dt(2025, 3, 29, 11, 0), "locked")});
    ASSERT_TRUE(p().main.start(nullptr));
    const auto tea = alarmNamed("tea");
    const auto locked = alarmNamed("locked");
    locked->readOnly = true;
    p().missed.add(tea, dt(2025, 3, 29, 11, 0));
    p().missed.add(locked, dt(2025, 3, 29, 11, 0));

    EXPECT_FALSE(p().missed.snoozeFromNow(1, 10, kMinutes));  // read-only: stays
    EXPECT_FALSE(p().missed.snoozeFromNow(0, 0, kMinutes));   // not in the future
    EXPECT_EQ(p().missed.count(), 2u);
    EXPECT_TRUE(p().missed.snoozeFromNow(0, 10, kMinutes));
    EXPECT_TRUE(tea->snoozing);
    EXPECT_EQ(tea->nextSnoozeAlarmDate, addToDate(clock.current, 10, kMinutes));
    EXPECT_TRUE(tea->changed);  // reported, so it is saved
    ASSERT_EQ(p().missed.count(), 1u);
    EXPECT_EQ(p().missed.entries()[0].name, "locked");
    // The snooze sounds it again.
    EXPECT_EQ(p().supervision.nextAlarmDate, tea->nextSnoozeAlarmDate);

    // An alarm deleted since is gone: nothing to snooze, but it can be marked done.
    p().alarmGroups.elementAt(0)->alarms.remove(locked);
    EXPECT_EQ(p().missed.find(p().missed.entries()[0]), nullptr);
    EXPECT_FALSE(p().missed.snoozeFromNow(0, 10, kMinutes));
    p().missed.remove(0);
    EXPECT_EQ(p().missed.count(), 0u);
}

TEST_F(MissedAlarmsTest, BrokenOrHostileFilesLoadEmptyAndStayAsTheyWere) {
    writeGroup("usg_1.agx", "Home", {onceAt(dt(2025, 3, 29, 11, 0), "tea")});
    std::string huge(MissedAlarms::kMaxFileBytes + 10, 'x');
    std::string many = "<missed>";
    for (int i = 0; i < 300; ++i)
        many += "<ms><name>n" + std::to_string(i) + "</name><due>2025/03/29 10:00:00</due></ms>";
    many += "</missed>";
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 0},
        {"\x01\x02 not xml at all <<<", 0},
        {"<other><ms><name>a</name><due>2025/03/29 10:00:00</due></ms></other>", 0},
        // Without a moment, with a broken one, then a good one, then the text breaks off.
        {"<missed><ms><name>a</name></ms><ms><name>b</name><due>yesterday</due></ms>"
         "<ms><name>c</name><ps>99999999999</ps><due>2025/03/29 10:00:00</due></ms><ms><na",
         1},
        {huge, 0},
        {many, MissedAlarms::kMaxEntries},
    };
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(writeFile(file("missed"), text));
        CoreFixture other;
        ASSERT_TRUE(writeFile(other.folder.file("missed"), text));
        other.p().missed.load();
        EXPECT_EQ(other.p().missed.count(), expected) << text.substr(0, 80);
        EXPECT_EQ(readFile(other.folder.file("missed")), text);
    }
    // The good entry of the broken file names no alarm it can find, and the
    // file is only replaced once the list changes.
    ASSERT_TRUE(writeFile(file("missed"), std::get<0>(cases[3])));
    ASSERT_TRUE(p().main.start(nullptr));
    ASSERT_EQ(p().missed.count(), 1u);
    EXPECT_EQ(p().missed.find(p().missed.entries()[0]), nullptr);
    EXPECT_EQ(readFile(file("missed")), std::get<0>(cases[3]));
    p().missed.remove(0);
    EXPECT_EQ(readFile(file("missed")), "<missed></missed>");
}

TEST_F(MissedAlarmsTest, NothingIsKeptWhenTheSettingIsOff) {
    writeGroup("usg_1.agx", "Home", {onceAt(dt(2025, 3, 29, 11, 0), "tea")});
    ASSERT_TRUE(writeFile(file("usr.cfx"), "<settings><lng>English</lng><uat>0</uat></settings>"));
    ASSERT_TRUE(p().main.start(nullptr));
    EXPECT_FALSE(p().settings.uat);
    p().missed.add(alarmNamed("tea"), dt(2025, 3, 29, 11, 0));
    EXPECT_EQ(p().missed.count(), 0u);
    EXPECT_FALSE(fileExists(file("missed")));
}

}  // namespace

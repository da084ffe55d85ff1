// Waking the computer for the next alarm: arming, arming again and disarming
// the wake timer as the supervision's next alarm moves, on the fake clock.

#include <gtest/gtest.h>

#include "core/supervisionharness.h"

namespace qv::test {
namespace {

class FakeWakeTimer : public WakeTimer {
  public:
    std::vector<std::string> log;  // "arm <moment>" and "disarm" in order
    bool armable = true;
    std::string unavailableReason() const override { return armable ? "" : "no capability"; }
    bool arm(DateTime moment) override {
        log.push_back("arm " + toStoredText(moment));
        return armable;
    }
    void disarm() override { log.push_back("disarm"); }
    std::vector<std::string> take() { return std::exchange(log, {}); }
};

struct WakeTest : SupervisionHarness, ::testing::Test {
    FakeWakeTimer wakeTimer;
    WakeTest() {
        hideSeeAlarms();
        p().settings.wake = true;
    }
};

TEST_F(WakeTest, ArmedAMinuteBeforeTheNextAlarmAndAgainWhenItMoves) {
    auto once = onceAt(dt(2025, 3, 29, 12, 30, 0), "Tea");
    auto daily = dailyAt(dt(2025, 3, 29, 13, 0, 0), "Walk");
    addGroup("G", {once, daily});
    start(dt(2025, 3, 29, 12, 0, 0), dt(2025, 3, 29, 12, 0, 0));
    p().wake.attach(&wakeTimer);
    tick();
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:29:00"});
    EXPECT_EQ(p().wake.armedFor(), dt(2025, 3, 29, 12, 29, 0));

    // Ticking on changes nothing; once Tea has sounded, Walk is next.
    runUntil(dt(2025, 3, 29, 12, 30, 5));
    EXPECT_EQ(names(), std::vector<std::string>{at("Tea", dt(2025, 3, 29, 12, 30, 0))});
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:59:00"});

    // A snooze before it brings the moment forward.
    once->snooze(dt(2025, 3, 29, 12, 45, 0));
    p().control.alarmsChanged({once}, change::kSnoozed);
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:44:00"});

    // The timer correction moves the moment the alarm really sounds.
    p().settings.tc = 5000;
    p().control.checkAlarms();
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:44:05"});
}

TEST_F(WakeTest, DisarmedWithoutAnAlarmWhenBlockedOrSwitchedOff) {
    auto daily = dailyAt(dt(2025, 3, 29, 13, 0, 0), "Walk");
    addGroup("G", {daily});
    start(dt(2025, 3, 29, 12, 0, 0), dt(2025, 3, 29, 12, 0, 0));
    p().wake.attach(&wakeTimer);
    tick();
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:59:00"});

    // Blocked alarms do not sound: nothing to wake for. Unblocked: armed again.
    p().control.setBlocked(true);
    p().control.checkAlarms();
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"disarm"});
    p().control.setBlocked(false);
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:59:00"});

    // No alarm left.
    daily->Active = false;
    p().control.alarmsChanged({daily}, change::kSwitched);
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"disarm"});
    EXPECT_EQ(p().wake.armedFor(), kNever);
    daily->Active = true;
    p().control.alarmsChanged({daily}, change::kSwitched);
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:59:00"});

    // Switched off in the settings.
    p().settings.wake = false;
    p().wake.update();
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"disarm"});
    tick();
    EXPECT_TRUE(wakeTimer.take().empty());

    // A timer that cannot be armed is tried once per moment, and logged once.
    p().settings.wake = true;
    wakeTimer.armable = false;
    tick();
    tick();
    EXPECT_EQ(wakeTimer.take(), std::vector<std::string>{"arm 2025/03/29 12:59:00"});
    EXPECT_NE(readFile(folder.file("quorvane.log")).find("no capability"), std::string::npos);
}

}  // namespace
}  // namespace qv::test

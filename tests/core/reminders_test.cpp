// Reminders before alarms under the supervision: shown on their second while
// the alarm still sounds at its own, after a sleep only as the catch-up rules
// allow and never once the alarm's moment has passed.

#include <gtest/gtest.h>

#include "core/supervisionharness.h"

namespace qv::test {
namespace {

using Names = std::vector<std::string>;

class ReminderSupervision : public ::testing::Test, protected SupervisionHarness {
  protected:
    struct Shown {
        std::string what;  // "name@alarm moment"
        std::string reminder;  // the reminder's moment
        std::int64_t atMs;
    };
    std::vector<Shown> shown;
    std::size_t looked = 0;

    void TearDown() override { EXPECT_FALSE(timerLeftIdle) << "a tick did not re-arm the timer"; }

    void note() {
        for (; looked < performer.calls.size(); ++looked) {
            const auto& c = performer.calls[looked];
            if (c.what == "reminder")
                shown.push_back({c.alarm->name + "@" + toStoredText(c.due), c.text, clockMs()});
        }
    }
    void tickAndNote() {
        tick();
        note();
    }
    void runAndNote(DateTime end) {
        while (clock.current < end) {
            fire();
            note();
        }
    }
    std::vector<std::string> shownNames() const {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.what);
        return out;
    }
};

DateTime day(int d, int h, int mi, int s = 0) { return dt(2025, 4, d, h, mi, s); }
std::int64_t ms(DateTime d) { return d.seconds() * 1000; }

TEST_F(ReminderSupervision, EachReminderComesOnItsSecondAndTheAlarmStillSoundsAtItsOwn) {
    hideSeeAlarms();
    auto daily = dailyAt(day(1, 9, 0), "standup");
    daily->reminders = {{1, kDays}, {15, kMinutes}};
    auto plain = dailyAt(day(1, 9, 0), "plain");  // no reminders: nothing before it
    addGroup("work", {daily, plain});
    start(day(1, 8, 0), day(1, 8, 0), 250);
    tickAndNote();
    runAndNote(day(2, 9, 30));

    ASSERT_EQ(shownNames(), (Names{at("standup", day(1, 9, 0)), at("standup", day(2, 9, 0)),
                                   at("standup", day(2, 9, 0)), at("standup", day(3, 9, 0))}));
    EXPECT_EQ(shown[0].atMs, ms(day(1, 8, 45)));
    EXPECT_EQ(shown[1].atMs, ms(day(1, 9, 0)));  // a day before the next one
    EXPECT_EQ(shown[2].atMs, ms(day(2, 8, 45)));
    EXPECT_EQ(shown[2].reminder, toStoredText(day(2, 8, 45)));
    EXPECT_EQ(shown[3].atMs, ms(day(2, 9, 0)));
    // The alarms themselves sound as before.
    EXPECT_EQ(names(), (Names{at("standup", day(1, 9, 0)), at("plain", day(1, 9, 0)),
                              at("standup", day(2, 9, 0)), at("plain", day(2, 9, 0))}));
    EXPECT_EQ(soundings[0].atMs, ms(day(1, 9, 0)));
}

TEST_F(ReminderSupervision, AfterASleepOnlyTheLatestMissedReminderOfAComingAlarmIsShown) {
    hideSeeAlarms();
    p().settings.tiia = 10;
    auto meeting = onceAt(day(1, 10, 0), "meeting");
    meeting->reminders = {{2, kHours}, {30, kMinutes}, {5, kMinutes}};
    auto quiet = onceAt(day(1, 10, 0), "quiet");
    quiet->soundAfterInactive = false;  // skipped after a gap, and so are its reminders
    quiet->reminders = {{30, kMinutes}};
    auto passed = onceAt(day(1, 9, 40), "passed");  // sounded while asleep
    passed->reminders = {{30, kMinutes}};
    addGroup("g", {meeting, quiet, passed});
    start(day(1, 9, 45), day(1, 7, 0));  // asleep from 7:00
    tickAndNote();
    ASSERT_EQ(shownNames(), (Names{at("meeting", day(1, 10, 0))}));
    EXPECT_EQ(shown[0].reminder, toStoredText(day(1, 9, 30)));
    EXPECT_EQ(names(), (Names{at("passed", day(1, 9, 40))}));
    // The one still to come shows on its second; then the alarms sound.
    runAndNote(day(1, 10, 1));
    EXPECT_EQ(shownNames(), (Names{at("meeting", day(1, 10, 0)), at("meeting", day(1, 10, 0))}));
    EXPECT_EQ(shown[1].atMs, ms(day(1, 9, 55)));
    EXPECT_EQ(names(), (Names{at("passed", day(1, 9, 40)), at("meeting", day(1, 10, 0)),
                              at("quiet", day(1, 10, 0))}));
}

TEST_F(ReminderSupervision, ASleepPastTheAlarmShowsNoReminderAndBlockedAlarmsNone) {
    hideSeeAlarms();
    p().settings.tiia = 10;
    auto a = onceAt(day(1, 10, 0), "a");
    a->reminders = {{30, kMinutes}};
    auto b = onceAt(day(1, 12, 0), "b");
    b->reminders = {{30, kMinutes}};
    auto off = onceAt(day(1, 12, 0), "off");
    off->reminders = {{30, kMinutes}};
    off->Active = false;
    addGroup("g", {a, b, off});
    start(day(1, 10, 10), day(1, 9, 0));
    tickAndNote();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(names(), (Names{at("a", day(1, 10, 0))}));

    p().control.setBlocked(true);
    runAndNote(day(1, 11, 45));
    EXPECT_TRUE(shown.empty());
    // Unblocked with "sound every missed alarm": the missed reminder of the
    // alarm still to come is shown then, once.
    p().settings.wu = 2;
    p().control.setBlocked(false);
    note();
    runAndNote(day(1, 11, 50));
    EXPECT_EQ(shownNames(), (Names{at("b", day(1, 12, 0))}));
}

TEST_F(ReminderSupervision, ASnoozeBringsNoReminderOfItsOwn) {
    hideSeeAlarms();
    auto a = onceAt(day(1, 10, 0), "a");
    a->reminders = {{5, kMinutes}};
    addGroup("g", {a});
    a->snooze(day(1, 9, 30));
    start(day(1, 9, 0), day(1, 9, 0));
    tickAndNote();
    runAndNote(day(1, 10, 1));
    // Only the alarm's own moment has a reminder.
    EXPECT_EQ(shownNames(), (Names{at("a", day(1, 10, 0))}));
    EXPECT_EQ(shown[0].atMs, ms(day(1, 9, 55)));
}

}  // namespace
}  // namespace qv::test

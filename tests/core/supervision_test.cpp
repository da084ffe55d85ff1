// Scenarios of the alarm supervision, driven tick by tick through a fake clock
// and the one-shot timer: what sounds, in which order, when, and what the
// supervision leaves pending.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "core/supervisionharness.h"

namespace qv::test {
namespace {

using Names = std::vector<std::string>;

class Supervision : public ::testing::Test, protected SupervisionHarness {
  protected:
    void TearDown() override { EXPECT_FALSE(timerLeftIdle) << "a tick did not re-arm the timer"; }

    // An alarm that is skipped after a long gap.
    AlarmPtr onceOnlyLive(DateTime when, const std::string& name) {
        auto a = onceAt(when, name);
        a->soundAfterInactive = false;
        return a;
    }
};

DateTime on(int h, int mi, int s = 0) { return dt(2025, 3, 31, h, mi, s); }

// ---- Missed alarms at start-up and after a gap ----------------------------------

TEST_F(Supervision, MissedAlarmsWithinTheInactivityTimeSoundInTimeOrderThenGroupOrder) {
    // Not marked for after-inactivity: they can only sound through the normal check.
    addGroup("first", {onceOnlyLive(on(8, 5), "c"), onceOnlyLive(on(8, 0), "b")});
    addGroup("second", {onceOnlyLive(on(8, 0), "a")});
    p().settings.tiia = 10;
    start(on(8, 8), on(7, 59));  // a 9-minute gap
    tick();
    EXPECT_EQ(names(), (Names{at("b", on(8, 0)), at("a", on(8, 0)), at("c", on(8, 5))}));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(p().supervision.lastSupervised, on(8, 8));
    runUntil(on(8, 20));
    EXPECT_EQ(soundings.size(), 3u);
}

TEST_F(Supervision, StartedAfterElevenMinutesTheAfterInactivityAlarmsSoundInOrder) {
    addGroup("first", {onceAt(on(8, 5), "c"), onceAt(on(8, 0), "b")});
    addGroup("second", {onceAt(on(8, 0), "a")});
    p().settings.tiia = 10;
    start(on(8, 10), on(7, 59));
    tick();
    EXPECT_EQ(names(), (Names{at("b", on(8, 0)), at("a", on(8, 0)), at("c", on(8, 5))}));
    EXPECT_TRUE(ui.boxes.empty());
    runUntil(on(8, 20));
    EXPECT_EQ(soundings.size(), 3u);
}

TEST_F(Supervision, AfterALongGapOnlyAfterInactivityAlarmsSoundAndTimeJumpsToNow) {
    addGroup("first", {onceAt(on(8, 0), "kept"), onceOnlyLive(on(8, 0), "skipped")});
    addGroup("second", {onceAt(on(8, 5), "kept2"), onceOnlyLive(on(8, 6), "skipped2")});
    addGroup("third", {onceOnlyLive(on(8, 16), "live")});
    p().settings.tiia = 10;
    start(on(8, 14), on(7, 59));  // a 15-minute gap
    tick();
    EXPECT_EQ(names(), (Names{at("kept", on(8, 0)), at("kept2", on(8, 5))}));
    EXPECT_EQ(p().supervision.lastSupervised, on(8, 14));
    EXPECT_FALSE(p().supervision.inactivityDetected);
    // The skipped ones stay skipped; an ordinary alarm after the gap sounds normally.
    runUntil(on(8, 30));
    EXPECT_EQ(names(), (Names{at("kept", on(8, 0)), at("kept2", on(8, 5)), at("live", on(8, 16))}));
}

TEST_F(Supervision, LoadingTheGroupsAtStartSoundsOnlyTheMarkedMissedAlarms) {
    // However short the gap, of the alarms missed while the program was not
    // running only the marked ones sound; the next ordinary alarm then sounds.
    auto first = addGroup("first", {onceAt(on(8, 0), "marked"), onceOnlyLive(on(8, 5), "plain")});
    auto second = addGroup("second", {onceOnlyLive(on(8, 8, 20), "after")});
    p().settings.tiia = 10;
    start(on(8, 8), on(7, 59), 500);
    p().control.alarmGroupsChanged({first, second}, change::kLoaded);
    collect();
    EXPECT_EQ(names(), (Names{at("marked", on(8, 0))}));
    EXPECT_EQ(p().supervision.lastSupervised, on(8, 8));
    EXPECT_FALSE(p().loading);
    EXPECT_TRUE(timer.active);
    runUntil(on(8, 15));
    EXPECT_EQ(names(), (Names{at("marked", on(8, 0)), at("after", on(8, 8, 20))}));
}

TEST_F(Supervision, SupervisionNowHonoursTheTimerCorrectionAndTheInactivityTime) {
    start(on(12, 0), on(12, 0));
    p().settings.tiia = 0;
    // The correction is rounded down to whole seconds, also when negative.
    for (auto [tc, expected] : std::vector<std::pair<int, DateTime>>{{0, on(12, 0)},
                                                                     {999, on(12, 0)},
                                                                     {1500, on(11, 59, 59)},
                                                                     {-1, on(12, 0, 1)},
                                                                     {-1500, on(12, 0, 2)}}) {
        p().settings.tc = tc;
        EXPECT_EQ(p().control.getSupervisionNow(false), expected) << tc;
    }
    p().settings.tc = 0;
    p().settings.tiia = 10;
    p().supervision.lastSupervised = on(11, 50, 1);  // 599 s
    EXPECT_EQ(p().control.getSupervisionNow(false), on(12, 0));
    EXPECT_FALSE(p().supervision.inactivityDetected);
    p().supervision.lastSupervised = on(11, 50, 0);  // 600 s
    EXPECT_EQ(p().control.getSupervisionNow(false), on(11, 50));
    EXPECT_TRUE(p().supervision.inactivityDetected);
    EXPECT_EQ(p().control.getSupervisionNow(true), on(12, 0));
    // Once detected, time stands still until the catch-up, however small the gap.
    p().supervision.lastSupervised = on(11, 59, 30);
    EXPECT_EQ(p().control.getSupervisionNow(false), on(11, 59, 30));
    // The gap is measured to the corrected time.
    p().supervision.inactivityDetected = false;
    p().supervision.lastSupervised = on(11, 50, 0);
    p().settings.tc = 1500;
    EXPECT_EQ(p().control.getSupervisionNow(false), on(11, 59, 59));
    EXPECT_FALSE(p().supervision.inactivityDetected);
}

// ---- The warning limit ------------------------------------------------------------

struct LimitCase {
    int count;
    std::deque<int> answers;
    bool asked;
    bool sounds;
};
void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.count << " due, answers " << c.answers.size();
}

class WarningLimit : public Supervision, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(WarningLimit, MoreDueAlarmsThanTheLimitAreSoundedOnlyWhenTheUserAgrees) {
    const LimitCase c = GetParam();
    std::vector<AlarmPtr> alarms;
    Names expected;
    for (int i = 0; i < c.count; ++i) {
        alarms.push_back(onceAt(on(12, 0, 10), "a" + std::to_string(i)));
        expected.push_back(at("a" + std::to_string(i), on(12, 0, 10)));
    }
    addGroup("g", alarms);
    // Due while the question waits: the question holds nothing else back.
    addGroup("later", {onceAt(on(12, 1, 0), "later")});
    p().settings.wl = 10;
    ui.askLater = true;
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(12, 2));
    EXPECT_FALSE(timerLeftIdle);
    if (c.asked) {
        ASSERT_EQ(ui.questions.size(), 1u);  // asked once, not again on later ticks
        EXPECT_EQ(ui.questions[0].text, std::to_string(c.count) + p().translation.getMainText(208));
        EXPECT_NE(ui.questions[0].text.find(kTooManyText), std::string::npos);
        EXPECT_EQ(names(), (Names{at("later", on(12, 1, 0))}));
        EXPECT_EQ(soundings[0].atMs, on(12, 1, 0).seconds() * 1000);
        soundings.clear();
        seen = performer.calls.size();
        ui.questions[0].answered(c.answers.empty() ? mb::kAnswerYes : c.answers.front());
        collect();
        EXPECT_TRUE(ui.boxes.empty());
    } else {
        EXPECT_TRUE(ui.questions.empty());
        expected.push_back(at("later", on(12, 1, 0)));
    }
    EXPECT_EQ(names(), c.sounds ? expected : c.asked ? Names{} : Names{at("later", on(12, 1, 0))});
}

INSTANTIATE_TEST_SUITE_P(Supervision, WarningLimit,
                         ::testing::Values(LimitCase{10, {}, false, true},
                                           LimitCase{11, {mb::kAnswerNo}, true, false},
                                           LimitCase{11, {mb::kAnswerYes}, true, true}));

// ---- Blocking -------------------------------------------------------------------

struct BlockCase {
    int tiia;
    int wu;
    Names fromTheBlock;
};
void PrintTo(const BlockCase& c, std::ostream* os) { *os << "tiia " << c.tiia << ", wu " << c.wu; }

class Unblocking : public Supervision, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(Unblocking, TheWhenUnblockedChoiceDecidesWhatOfTheBlockedHourSounds) {
    const BlockCase c = GetParam();
    addGroup("g", {onceAt(on(12, 20), "marked"), onceOnlyLive(on(12, 40), "plain"),
                   onceOnlyLive(on(13, 0, 20), "after")});
    p().settings.tiia = c.tiia;
    p().settings.wu = static_cast<std::int16_t>(c.wu);
    start(on(12, 0), on(12, 0));
    tick();
    p().control.setBlocked(true);
    EXPECT_TRUE(p().supervision.blocked);
    EXPECT_TRUE(ui.blockedShown);
    runUntil(on(13, 0));
    EXPECT_TRUE(soundings.empty()) << "nothing sounds while blocked";
    EXPECT_EQ(p().supervision.lastSupervised, on(12, 0));

    setClockMs(on(13, 0).seconds() * 1000);
    const int lists = ui.listUpdates;
    p().control.setBlocked(false);
    EXPECT_FALSE(ui.blockedShown);
    // What the unblocking sounded no longer shows its old next moment.
    if (!c.fromTheBlock.empty()) EXPECT_GT(ui.listUpdates, lists);
    collect();
    EXPECT_TRUE(timer.active);
    // The next ticks sound whatever the unblocking left to them, then life goes on.
    runUntil(on(13, 5));
    Names expected = c.fromTheBlock;
    expected.push_back(at("after", on(13, 0, 20)));
    EXPECT_EQ(names(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Supervision, Unblocking,
    ::testing::Values(BlockCase{0, 0, {}}, BlockCase{0, 1, {at("marked", on(12, 20))}},
                      BlockCase{0, 2, {at("marked", on(12, 20)), at("plain", on(12, 40))}},
                      // With the inactivity time on, the hour of blocking is also a long gap:
                      // the choice must still hold.
                      BlockCase{10, 0, {}}, BlockCase{10, 1, {at("marked", on(12, 20))}},
                      BlockCase{10, 2, {at("marked", on(12, 20)), at("plain", on(12, 40))}}));

// ---- Timing of the next tick --------------------------------------------------------

TEST_F(Supervision, NextTickIsShortenedToTheWholeSecondOfANearAlarm) {
    hideSeeAlarms();
    struct Case {
        int aheadS;
        int millis;
        int interval;
        bool exact;
    };
    for (const Case c :
         {Case{20, 250, 19750, true}, Case{40, 250, 30000, false}, Case{33, 0, 30000, false},
          Case{33, 250, 32750, true}, Case{1, 999, 1, true}, Case{0, 0, 30000, false}}) {
        SupervisionHarness h;
        h.hideSeeAlarms();
        if (c.aheadS > 0) h.addGroup("g", {h.onceAt(on(12, 0, c.aheadS), "a")});
        h.start(on(12, 0), on(12, 0), c.millis);
        h.tick();
        EXPECT_EQ(h.timer.interval(), c.interval) << c.aheadS << " s at ." << c.millis;
        EXPECT_EQ((h.pendingWork() & pending::kExactTick) != 0, c.exact) << c.aheadS;
        EXPECT_TRUE(h.timer.active);
        if (c.aheadS > 0) {
            EXPECT_EQ(h.p().supervision.nextAlarmDate, on(12, 0, c.aheadS));
            EXPECT_EQ(h.p().supervision.nextAlarms.numberOfElements(), 1);
        } else {
            EXPECT_EQ(h.p().supervision.nextAlarmDate, kNever);
        }
        EXPECT_FALSE(h.timerLeftIdle);
    }
}

TEST_F(Supervision, TheExactTickSoundsOnTheSecondAndOnlyOnce) {
    hideSeeAlarms();
    addGroup("g", {onceAt(on(12, 0, 20), "a"), onceAt(on(12, 0, 20), "b")});
    start(on(12, 0), on(12, 0), 250);
    tick();
    fire();
    EXPECT_EQ(clockMs(), on(12, 0, 20).seconds() * 1000);
    EXPECT_EQ(names(), (Names{at("a", on(12, 0, 20)), at("b", on(12, 0, 20))}));
    EXPECT_EQ(soundings[0].atMs, on(12, 0, 20).seconds() * 1000);
    EXPECT_EQ(p().supervision.lastSupervised, on(12, 0, 20));
    EXPECT_EQ(pendingWork() & pending::kExactTick, 0);
    runUntil(on(12, 3));
    EXPECT_EQ(soundings.size(), 2u);
    EXPECT_EQ(timer.interval(), 30000);
}

TEST_F(Supervision, ATimerFiringEarlyOrLateNeverSoundsBeforeTheSecondNorTwice) {
    for (auto [early, late] :
         std::vector<std::pair<int, int>>{{3, 0}, {40, 0}, {0, 40}, {0, 999}}) {
        SupervisionHarness h;
        h.earlyMs = early;
        h.lateMs = late;
        h.addGroup("g", {h.onceAt(on(12, 0, 20), "a"), h.onceAt(on(12, 0, 21), "b")});
        h.start(on(12, 0), on(12, 0), 250);
        h.tick();
        h.runUntil(on(12, 2));
        ASSERT_EQ(h.names(), (Names{at("a", on(12, 0, 20)), at("b", on(12, 0, 21))}))
            << early << "/" << late;
        for (const Sounding& s : h.soundings) {
            EXPECT_GE(s.atMs, s.due.seconds() * 1000) << s.name << " early " << early;
            EXPECT_LT(s.atMs, s.due.seconds() * 1000 + 1000 + late) << s.name << " late " << late;
        }
        EXPECT_FALSE(h.timerLeftIdle);
    }
}

TEST_F(Supervision, ChangesBeforeTheExactTickAreHeeded) {
    hideSeeAlarms();
    auto deleted = onceAt(on(12, 0, 20), "deleted");
    auto switchedOff = onceAt(on(12, 0, 20), "switched off");
    auto moved = onceAt(on(12, 0, 20), "moved");
    auto g = addGroup("g", {deleted, switchedOff, moved});
    start(on(12, 0), on(12, 0), 250);
    tick();
    EXPECT_NE(pendingWork() & pending::kExactTick, 0);
    EXPECT_EQ(p().supervision.nextAlarms.numberOfElements(), 3);

    g->alarms.remove(deleted);
    p().control.alarmsChanged({deleted}, change::kDeleted);
    switchedOff->Active = false;
    p().control.alarmsChanged({switchedOff}, change::kSwitched);
    moved->onceDate = on(12, 0, 10);
    moved->setChanged();
    p().control.alarmsChanged({moved}, change::kEdited);
    EXPECT_EQ(timer.interval(), 9750);
    runUntil(on(12, 1));
    EXPECT_EQ(names(), (Names{at("moved", on(12, 0, 10))}));
}

TEST_F(Supervision, WithATimerCorrectionAlarmsSoundWhenTheCorrectedClockReachesThem) {
    hideSeeAlarms();
    // A clock 1.5 s fast counts as one second; one 1.5 s slow as two.
    for (auto [tc, soundsAt] :
         std::vector<std::pair<int, DateTime>>{{1500, on(12, 0, 21)}, {-1500, on(12, 0, 18)}}) {
        SupervisionHarness h;
        h.hideSeeAlarms();
        h.p().settings.tc = tc;
        h.addGroup("g", {h.onceAt(on(12, 0, 20), "a")});
        h.start(on(12, 0), on(11, 59, 59), 250);
        h.tick();
        h.runUntil(on(12, 1));
        ASSERT_EQ(h.names(), (Names{at("a", on(12, 0, 20))})) << tc;
        EXPECT_EQ(h.soundings[0].atMs, soundsAt.seconds() * 1000) << tc;
        EXPECT_FALSE(h.timerLeftIdle);
    }
}

TEST_F(Supervision, AMessageBoxOrDialogOpenHoldsNoAlarmBack) {
    addGroup("g", {onceOnlyLive(on(12, 0, 40), "a")});
    start(on(12, 0), on(12, 0));
    p().modalOpen = true;  // a box the user has not answered yet
    tick();
    runUntil(on(12, 1, 30));
    EXPECT_EQ(names(), (Names{at("a", on(12, 0, 40))}));
    EXPECT_EQ(soundings[0].atMs, on(12, 0, 40).seconds() * 1000);
    p().modalOpen = false;
    runUntil(on(12, 5));
    EXPECT_EQ(soundings.size(), 1u);
}

TEST_F(Supervision, SettingsThatCannotBeWrittenHoldNoAlarmBackAndAreWrittenOnceTheyCan) {
    addGroup("g", {onceOnlyLive(on(12, 0, 20), "a"), onceOnlyLive(on(12, 3, 0), "b")});
    // Root is not stopped by permissions; a folder in the file's place is.
    const std::string usr = p().settingsStore.settingsFilePath();
    std::filesystem::create_directory(usr);
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(12, 4));
    EXPECT_EQ(names(), (Names{at("a", on(12, 0, 20)), at("b", on(12, 3, 0))}));
    EXPECT_TRUE(ui.boxes.empty());
    // Told once for the cause, not at every try.
    ASSERT_EQ(ui.writeProblems.size(), 1u);
    EXPECT_NE(ui.writeProblems[0].find("Is a directory"), std::string::npos);
    EXPECT_TRUE(p().supervision.pendingWork & pending::kSaveSettings);

    std::filesystem::remove(usr);
    runUntil(on(12, 5));
    ASSERT_EQ(ui.writeProblems.size(), 2u);
    EXPECT_EQ(ui.writeProblems[1], "");
    EXPECT_FALSE(p().supervision.pendingWork & pending::kSaveSettings);
    auto saved = XMLNode::Create();
    ASSERT_FALSE(saved->initializeFromXML(readFile(usr)));
    EXPECT_FALSE(saved->getDate("lsd", 0, kNever) < on(12, 3, 0));
    EXPECT_FALSE(on(12, 5) < saved->getDate("lsd", 0, kNever));
}

TEST_F(Supervision, APendingSnoozeRingsWhenTheAlarmsExpressionCannotBeEvaluated) {
    std::vector<std::string> logged;
    p().ctx.log = [&](const std::string& line) { logged.push_back(line); };
    auto broken = dailyAt(on(9, 0), "broken");
    broken->activeAdvanced = "MONTH == ((";
    broken->activePeriod = Alarm::kRestrictExpression;
    broken->snooze(on(12, 5));
    addGroup("g", {broken});
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(12, 30));
    // The snooze the user asked for; nothing else of the alarm.
    EXPECT_EQ(names(), (Names{at("broken", on(12, 5))}));
    EXPECT_EQ(std::count_if(logged.begin(), logged.end(),
                            [](const std::string& l) {
                                return l.find("cannot evaluate") != std::string::npos;
                            }),
              1);
}

// ---- The clock moved by the user ----------------------------------------------------

TEST_F(Supervision, ClockSetBackPullsTimeBackAndTheRepeatedHourSoundsAgain) {
    addGroup("g", {onceOnlyLive(on(12, 30), "once"), [&] {
                       auto d = dailyAt(dt(2025, 3, 1, 12, 45), "daily");
                       d->soundAfterInactive = false;
                       return d;
                   }()});
    start(on(12, 0), on(12, 0));
    p().control.rebuildSeeAlarms(0);
    p().control.rebuildSeeAlarms(1);
    tick();
    runUntil(on(13, 10));
    EXPECT_EQ(names(), (Names{at("once", on(12, 30)), at("daily", on(12, 45))}));

    setClockMs(clockMs() - 3600 * 1000);  // the user sets the clock back an hour
    fire();
    const DateTime now = clock.current;
    EXPECT_EQ(p().supervision.lastSupervised, now);
    // Both lists were built again for the earlier time: the one-off is coming
    // again and no longer among the recent alarms.
    const auto& coming = p().supervision.seeAlarms[1];
    ASSERT_GT(coming.dates.numberOfElements(), 0);
    EXPECT_EQ(coming.dates.dateAt(0), on(12, 30));
    EXPECT_EQ(coming.alarms.elementAt(0)->name, "once");
    const auto& recent = p().supervision.seeAlarms[0];
    for (std::int32_t i = 0; i < recent.dates.numberOfElements(); ++i)
        EXPECT_LE(recent.dates.dateAt(i), now);

    runUntil(on(13, 10));
    EXPECT_EQ(names(), (Names{at("once", on(12, 30)), at("daily", on(12, 45)),
                              at("once", on(12, 30)), at("daily", on(12, 45))}));
}

TEST_F(Supervision, ClockSetForwardWithoutInactivityTimeSoundsEverythingInOrder) {
    addGroup("g", {onceAt(on(13, 0), "a"), onceOnlyLive(on(14, 0), "b"), onceAt(on(14, 30), "c"),
                   onceOnlyLive(on(15, 10), "d")});
    p().settings.tiia = 0;
    start(on(12, 0), on(12, 0));
    tick();
    setClockMs(clockMs() + 3 * 3600 * 1000);
    fire();
    EXPECT_EQ(names(), (Names{at("a", on(13, 0)), at("b", on(14, 0)), at("c", on(14, 30))}));
    EXPECT_TRUE(ui.boxes.empty());
    runUntil(on(15, 20));
    EXPECT_EQ(soundings.back().name, "d");
    EXPECT_EQ(soundings.size(), 4u);
}

TEST_F(Supervision, ClockSetForwardPastTheInactivityTimeSoundsOnlyTheMarkedAlarms) {
    addGroup("g", {onceAt(on(13, 0), "a"), onceOnlyLive(on(14, 0), "b"), onceAt(on(14, 30), "c"),
                   onceOnlyLive(on(15, 10), "d")});
    p().settings.tiia = 10;
    start(on(12, 0), on(12, 0));
    tick();
    setClockMs(clockMs() + 3 * 3600 * 1000);
    fire();
    EXPECT_EQ(names(), (Names{at("a", on(13, 0)), at("c", on(14, 30))}));
    EXPECT_EQ(p().supervision.lastSupervised, clock.current);
    runUntil(on(15, 20));
    EXPECT_EQ(names(), (Names{at("a", on(13, 0)), at("c", on(14, 30)), at("d", on(15, 10))}));
}

// ---- Secondary and attention alarms -------------------------------------------------

TEST_F(Supervision, TheSecondaryAlarmFollowsEachAlarmAtOrAboveItsThreshold) {
    hideSeeAlarms();
    addGroup("g", {onceAt(on(12, 0, 10), "x", 2), onceAt(on(12, 0, 10), "y", 1),
                   onceAt(on(12, 0, 40), "z", 3)});
    p().secondaryAlarm.enabled = 1;
    p().secondaryAlarm.threshold = 2;
    p().secondaryAlarm.alarm = onceAt(kNever, "second");
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(12, 2));
    EXPECT_EQ(names(),
              (Names{at("x", on(12, 0, 10)), at("second", on(12, 0, 10)), at("y", on(12, 0, 10)),
                     at("z", on(12, 0, 40)), at("second", on(12, 0, 40))}));
}

TEST_F(Supervision, TheAttentionAlarmFollowsTenSecondsLaterOncePerBurst) {
    hideSeeAlarms();
    addGroup("g", {onceAt(on(12, 0, 10), "a", 2), onceAt(on(12, 0, 10), "b", 1),
                   onceAt(on(12, 3), "quiet", 0), onceAt(on(12, 5), "c", 1)});
    p().attentionAlarm.enabled = 1;
    p().attentionAlarm.threshold = 1;
    p().attentionAlarm.alarm = onceAt(kNever, "attention");
    start(on(12, 0), on(12, 0));
    tick();
    fire();  // the exact tick of a and b
    EXPECT_EQ(p().supervision.pendingAttentionDate, on(12, 0, 20));
    EXPECT_EQ(timer.interval(), 10000);
    EXPECT_NE(pendingWork() & pending::kAttention, 0);
    fire();
    EXPECT_EQ(clock.current, on(12, 0, 20));
    EXPECT_EQ(p().supervision.pendingAttentionDate, kNever);
    runUntil(on(12, 10));
    EXPECT_EQ(names(),
              (Names{at("a", on(12, 0, 10)), at("b", on(12, 0, 10)), at("attention", on(12, 0, 20)),
                     at("quiet", on(12, 3)), at("c", on(12, 5)), at("attention", on(12, 5, 10))}));
}

// ---- Pending saves and change kinds ----------------------------------------------------

class SupervisionSaves : public Supervision {
  protected:
    std::string groups;
    void SetUp() override {
        groups = folder.file("groups");
        std::filesystem::create_directory(groups);
        p().settings.agp = groups;
        p().ctx.alarmGroupFolder = groups;
        hideSeeAlarms();
    }
};

TEST_F(SupervisionSaves, AGroupThatCannotBeWrittenStaysPendingAndIsSavedOnceWritable) {
    p().settings.as = true;
    auto a = onceAt(on(15, 0), "kept alarm");
    auto g = addGroup("kept group", {a});
    g->path = "agPath/usg_1.agx";
    const std::string file = groups + "/usg_1.agx";
    std::filesystem::create_directory(file);  // the file cannot replace a folder
    start(on(12, 0), on(12, 0));
    tick();
    p().control.alarmsChanged({a}, change::kEdited);
    EXPECT_NE(pendingWork() & pending::kSaveGroups, 0);
    fire();
    EXPECT_NE(pendingWork() & pending::kSaveGroups, 0);
    fire();
    EXPECT_NE(pendingWork() & pending::kSaveGroups, 0) << "retried and still failing";
    std::filesystem::remove(file);
    fire();
    EXPECT_EQ(pendingWork() & pending::kSaveGroups, 0);
    const std::string text = readFile(file);
    EXPECT_NE(text.find("kept group"), std::string::npos);
    EXPECT_NE(text.find("kept alarm"), std::string::npos);
    EXPECT_FALSE(g->getChanged());
}

// A crash or a power cut right after OK loses nothing: with auto-save an edit,
// a snooze or the to-do text is on disk within about a second, one write for a
// burst; a save that fails is retried at the ordinary pace.
TEST_F(SupervisionSaves, AChangeReachesTheDiskWithinASecond) {
    p().settings.as = true;
    p().started = true;
    auto a = onceAt(on(15, 0), "a");
    auto g = addGroup("g", {a});
    g->path = "agPath/usg_1.agx";
    start(on(12, 0), on(12, 0));
    tick();
    setClockMs(on(12, 0, 7).seconds() * 1000 + 400);
    a->name = "renamed";
    p().control.alarmsChanged({a}, change::kEdited);
    a->name = "renamed again";  // the same burst
    p().control.alarmsChanged({a}, change::kEdited);
    ASSERT_LE(timer.interval(), 1000);
    fire();
    EXPECT_LE(clockMs(), on(12, 0, 8).seconds() * 1000 + 400);
    EXPECT_NE(readFile(groups + "/usg_1.agx").find("renamed again"), std::string::npos);
    EXPECT_FALSE(g->getChanged());

    ui.todo = "buy milk";
    p().supervision.pendingWork |= pending::kSaveToDo;
    p().control.saveSoon();
    fire();
    EXPECT_EQ(readFile(groups + "/todo.txt"), "buy milk");

    // Nothing pending: the ordinary pace again.
    runUntil(on(12, 2));
    EXPECT_GT(timer.interval(), 1000);
}

// A running plug-in that crashes when polled must not take an edit with it.
TEST_F(SupervisionSaves, EditsAreOnDiskBeforeARunningPlugInIsPolled) {
    p().settings.as = true;
    p().started = true;
    auto a = onceAt(on(15, 0), "a");
    auto g = addGroup("g", {a});
    g->path = "agPath/usg_1.agx";
    plugIns.kept = {"keepawake"};
    plugIns.keptActive["keepawake"] = true;
    start(on(12, 0), on(12, 0));
    tick();
    std::vector<bool> writtenWhenPolled;
    plugIns.onCallKept = [&] {
        writtenWhenPolled.push_back(readFile(groups + "/usg_1.agx").find("renamed") !=
                                    std::string::npos);
    };
    a->name = "renamed";
    p().control.alarmsChanged({a}, change::kEdited);
    ASSERT_FALSE(writtenWhenPolled.empty());
    for (const bool written : writtenWhenPolled) EXPECT_TRUE(written);
}

TEST_F(SupervisionSaves, WithoutAutoSaveChangedGroupsStayPending) {
    p().settings.as = false;
    auto a = onceAt(on(15, 0), "a");
    auto g = addGroup("g", {a});
    g->path = "agPath/usg_1.agx";
    start(on(12, 0), on(12, 0));
    tick();
    p().control.alarmsChanged({a}, change::kEdited);
    runUntil(on(12, 5));
    EXPECT_NE(pendingWork() & pending::kSaveGroups, 0);
    EXPECT_FALSE(fileExists(groups + "/usg_1.agx"));
    EXPECT_TRUE(g->getChanged());
}

TEST_F(SupervisionSaves, ChangeKindsMarkAndPendOnlyForEdits) {
    auto a = onceAt(on(15, 0), "a");
    auto g = addGroup("g", {a});
    start(on(12, 0), on(12, 0));
    tick();
    const std::uint8_t before = pendingWork();
    const int lists = ui.listUpdates, starts = timer.starts;
    const int shown0 = ui.seeAlarmsShown[0], shown1 = ui.seeAlarmsShown[1];

    p().control.alarmsChanged({a}, 0);
    EXPECT_EQ(pendingWork(), before);
    EXPECT_FALSE(a->changed);
    EXPECT_EQ(ui.listUpdates, lists);
    EXPECT_EQ(timer.starts, starts);
    EXPECT_FALSE(p().loading);

    p().control.alarmsChanged({a}, change::kSounded);
    EXPECT_EQ(pendingWork() & pending::kSaveGroups, before & pending::kSaveGroups);
    EXPECT_FALSE(a->changed);
    EXPECT_FALSE(g->getChanged());
    EXPECT_EQ(ui.seeAlarmsShown[0], shown0);
    EXPECT_EQ(ui.seeAlarmsShown[1], shown1);
    EXPECT_FALSE(p().loading);

    p().control.alarmsChanged({a}, change::kEdited);
    EXPECT_NE(pendingWork() & pending::kSaveGroups, 0);
    EXPECT_TRUE(a->changed);
    EXPECT_TRUE(g->getChanged());
    EXPECT_GT(ui.listUpdates, lists);
    EXPECT_FALSE(p().loading);
    EXPECT_TRUE(soundings.empty());
}

// ---- Faulty alarms ----------------------------------------------------------------------

TEST_F(Supervision, AMalformedExpressionAlarmIsNotDueAndDoesNotStopTheOthers) {
    auto bad = dailyAt(dt(2025, 3, 1, 12, 0, 20), "bad");
    bad->activePeriod = Alarm::kRestrictExpression;
    bad->activeAdvanced = "MONTH == ";
    auto good2 = dailyAt(dt(2025, 3, 1, 12, 1), "good2");
    addGroup("first", {bad, onceAt(on(12, 0, 30), "good1")});
    addGroup("second", {good2});
    start(on(12, 0), on(12, 0));
    p().control.rebuildSeeAlarms(0);
    p().control.rebuildSeeAlarms(1);
    tick();
    runUntil(on(12, 5));
    EXPECT_EQ(names(), (Names{at("good1", on(12, 0, 30)), at("good2", on(12, 1))}));
    EXPECT_TRUE(ui.boxes.empty());
    // The coming list still shows the others.
    bool listed = false;
    for (const auto& al : p().supervision.seeAlarms[1].alarms)
        listed = listed || al->name == "good2";
    EXPECT_TRUE(listed);
}

// ---- See-alarms lists ------------------------------------------------------------------

TEST_F(Supervision, SeeAlarmsListsShowAMonthlyAlarmOnItsOwnDay) {
    auto rent = ModelFixture::periodic(dt(2025, 1, 31, 8), 1, kMonths);
    rent->name = "rent";
    rent->changed = false;
    addGroup("home", {rent});
    for (auto& sa : p().settings.sa) {
        sa.amount = 3;
        sa.unit = kMonths;
    }
    start(dt(2025, 3, 15, 12), dt(2025, 3, 15, 12));
    p().control.rebuildSeeAlarms(0);
    p().control.rebuildSeeAlarms(1);
    auto dates = [&](int list) {
        std::vector<DateTime> out;
        const auto& l = p().supervision.seeAlarms[static_cast<std::size_t>(list)];
        for (int i = 0; i < l.dates.numberOfElements(); ++i) out.push_back(l.dates.dateAt(i));
        return out;
    };
    // The grid runs back through the anchor as well.
    EXPECT_EQ(dates(0),
              (std::vector<DateTime>{dt(2024, 12, 31, 8), dt(2025, 1, 31, 8), dt(2025, 2, 28, 8)}));
    EXPECT_EQ(dates(1),
              (std::vector<DateTime>{dt(2025, 3, 31, 8), dt(2025, 4, 30, 8), dt(2025, 5, 31, 8)}));
}

// ---- A whole day ------------------------------------------------------------------------

TEST_F(Supervision, AWholeDaySoundsEveryMomentOnceOnItsSecondAndNeverWalksBack) {
    // Three groups of daily, one-off and every-7-minutes alarms, some sharing a
    // second; an inactive alarm and an inactive group never sound.
    struct Plan {
        std::string name;
        DateTime anchor;
        std::int64_t period;  // seconds; 0 = one-off
    };
    std::vector<std::vector<Plan>> plan = {
        {{"d0800", dt(2025, 1, 1, 8, 0), 86400},
         {"o0800", on(8, 0), 0},
         {"m7a", dt(2025, 3, 30, 23, 59, 13), 420},
         {"d1230", dt(2025, 2, 11, 12, 30, 30), 86400},
         {"o1745", on(17, 45, 59), 0},
         {"d0600", dt(2025, 3, 1, 6, 0, 0), 86400}},
        {{"d0800b", dt(2024, 12, 1, 8, 0), 86400},
         {"m7b", dt(2025, 4, 2, 1, 2, 3), 420},
         {"o0001", dt(2025, 4, 1, 0, 0, 1), 0},
         {"d2359", dt(2025, 3, 1, 23, 59, 59), 86400},
         {"o0603", on(6, 3), 0},
         {"m7c", dt(2025, 3, 31, 6, 0, 0), 420}},
        {{"o1234", on(12, 34, 56), 0},
         {"d0000", dt(2025, 3, 1), 86400},
         {"m7d", dt(2025, 3, 31, 8, 0, 0), 420},
         {"d0800c", dt(2025, 3, 31, 8, 0), 86400},
         {"o2200", on(22, 0), 0},
         {"oPast", on(5, 0), 0}},
    };
    const DateTime begin = on(6, 0);
    const DateTime end = dt(2025, 4, 1, 6, 0);
    std::vector<AlarmPtr> all;
    for (std::size_t gi = 0; gi < plan.size(); ++gi) {
        std::vector<AlarmPtr> alarms;
        for (const Plan& pl : plan[gi]) {
            auto a = pl.period == 0 ? onceAt(pl.anchor, pl.name) : dailyAt(pl.anchor, pl.name);
            if (pl.period == 420) {
                a->everyAmount = 7;
                a->everyUnit = kMinutes;
            }
            alarms.push_back(a);
        }
        addGroup("g" + std::to_string(gi), alarms);
    }
    auto off = onceAt(on(9, 0), "inactive");
    off->Active = false;
    addGroup("g3", {off});
    auto offGroup = addGroup("g4", {onceAt(on(10, 0), "in inactive group")});
    offGroup->Active = false;

    // The expected pairs by plain arithmetic on each grid.
    std::map<std::pair<std::string, std::int64_t>, int> expected;
    for (const auto& group : plan)
        for (const Plan& pl : group) {
            if (pl.period == 0) {
                if (pl.anchor > begin && pl.anchor <= end)
                    expected[{pl.name, pl.anchor.seconds()}] = 0;
                continue;
            }
            std::int64_t k = (begin.seconds() - pl.anchor.seconds()) / pl.period - 2;
            for (;; ++k) {
                const std::int64_t m = pl.anchor.seconds() + k * pl.period;
                if (m > end.seconds()) break;
                if (m > begin.seconds()) expected[{pl.name, m}] = 0;
            }
        }

    start(begin, begin, 437);
    p().control.rebuildSeeAlarms(0);
    p().control.rebuildSeeAlarms(1);
    tick();
    DateTime last = p().supervision.lastSupervised;
    while (clock.current < end) {
        fire();
        ASSERT_GE(p().supervision.lastSupervised, last) << "at " << toStoredText(clock.current);
        last = p().supervision.lastSupervised;
        ASSERT_LT(ticks, 20000);
    }
    // Everything up to the last tick's second is due; nothing after it.
    for (auto it = expected.begin(); it != expected.end();)
        it = it->first.second > clock.current.seconds() ? expected.erase(it) : std::next(it);

    EXPECT_TRUE(ui.boxes.empty());
    DateTime previous = begin;
    for (const Sounding& s : soundings) {
        auto it = expected.find({s.name, s.due.seconds()});
        if (it == expected.end()) {
            ADD_FAILURE() << "unexpected " << at(s.name, s.due);
            continue;
        }
        ++it->second;
        EXPECT_GE(s.due, previous) << at(s.name, s.due) << " sounded out of order";
        previous = s.due;
        EXPECT_EQ(s.atMs, s.due.seconds() * 1000) << at(s.name, s.due) << " not on its second";
    }
    int missing = 0, twice = 0;
    for (const auto& [key, count] : expected) {
        if (count == 0 && ++missing <= 5)
            ADD_FAILURE() << "never sounded: " << at(key.first, DateTime(key.second));
        if (count > 1 && ++twice <= 5)
            ADD_FAILURE() << "sounded " << count
                          << " times: " << at(key.first, DateTime(key.second));
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(twice, 0);
    EXPECT_GT(expected.size(), 800u);
}

}  // namespace
}  // namespace qv::test

// The supervision on the paths away from the ordinary day: synchronised
// groups, the attention alarm, session commands and the next start, sleep
// and message boxes across an alarm, windows reporting changes while a batch
// sounds, crashes after a sounding, a huge catch-up, and daylight-saving time.

#include <stdlib.h>
#include <time.h>

#include <optional>

#include "core/supervisionharness.h"

namespace qv::test {
namespace {

using Names = std::vector<std::string>;

struct EdgeHarness : SupervisionHarness {
    AlarmPtr plain(DateTime when, const std::string& name) {
        auto a = onceAt(when, name);
        a->soundAfterInactive = false;
        return a;
    }
    void writeSettings(const std::string& extra = "") {
        ASSERT_TRUE(writeFile(p().settingsStore.settingsFilePath(),
                              "<settings><lng>Scen</lng>" + extra + "</settings>"));
    }
    std::string settingsOnDisk() const {
        return readFile(program->settingsStore.settingsFilePath());
    }
};

class SupervisionEdges : public ::testing::Test, protected EdgeHarness {};

DateTime on(int h, int mi, int s = 0) { return dt(2025, 3, 29, h, mi, s); }

TEST_F(SupervisionEdges, ASynchronisedGroupIsSynchronisedEveryHalfHourWithoutReenteringTheTick) {
    hideSeeAlarms();
    auto group = addGroup("Calendar", {dailyAt(dt(2025, 3, 1, 12, 10), "stand-up")});
    group->synchPlugin = "Comp*Plug";
    // The plug-in answers with the group as it is.
    plugIns.answers["Synchronize"] = group->toXML()->toString();
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(13, 5));
    std::size_t synchronisations = 0;
    for (const auto& c : plugIns.calls) synchronisations += c.method == "Synchronize";
    EXPECT_EQ(synchronisations, 3u);  // 12:00, 12:30, 13:00
    EXPECT_EQ(names(), (Names{at("stand-up", on(12, 10))}));
    EXPECT_FALSE(timerLeftIdle);
}

TEST_F(SupervisionEdges, TheAttentionAlarmSoundsOncePerTriggerAndNeverTriggersItself) {
    hideSeeAlarms();
    p().attentionAlarm.enabled = 1;
    p().attentionAlarm.threshold = 0;
    p().attentionAlarm.alarm = onceAt(dt(2000, 1, 1), "attention");
    addGroup("g", {onceAt(on(12, 0, 30), "first"), onceAt(on(12, 1, 30), "second")});
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(12, 3));
    EXPECT_EQ(names(), (Names{at("first", on(12, 0, 30)), at("attention", on(12, 0, 40)),
                              at("second", on(12, 1, 30)), at("attention", on(12, 1, 40))}));
}

TEST_F(SupervisionEdges, ASessionCommandAlarmDoesNotRunAgainAtTheNextStart) {
    auto bedtime = dailyAt(dt(2025, 3, 1, 23, 0), "bedtime");
    bedtime->actions.clear();
    bedtime->actions.addElement(clsAction::Create(p().ctx, bedtime, clsAction::kShutDown));
    auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
    g->addAlarm(bedtime);
    ASSERT_TRUE(g->save(p().ctx, folder.file("usg_1.agx"), false));
    writeSettings();
    clock.set(on(22, 55));  // long enough not to count as a very short run
    ASSERT_TRUE(p().main.start(nullptr));
    while (!p().exiting && clock.current < on(23, 1)) fire();
    EXPECT_EQ(session.calls, (Names{"poweroff"}));

    // The computer is switched on again in the morning.
    clock.set(dt(2025, 3, 30, 7, 0));
    Program again(Folders::forFolder(folder.path()),
                  CorePorts{clock, timer, ui, plugIns, performer, session, shell, instance,
                            systemColours, CoreFixture::names});
    ASSERT_TRUE(again.main.start(nullptr));
    EXPECT_EQ(session.calls, (Names{"poweroff"}));
    EXPECT_EQ(again.supervision.lastSupervised, dt(2025, 3, 30, 7, 0));
}

// The exact tick was armed for 12:00:20; then the computer slept (the timer
// fires an hour late) or a message box stood open for twenty minutes.
TEST_F(SupervisionEdges, AfterSleepOrABoxAcrossTheAlarmOnlyTheCatchUpSounds) {
    for (const bool sleep : {true, false}) {
        SCOPED_TRACE(sleep ? "sleep" : "message box");
        EdgeHarness f;
        f.hideSeeAlarms();
        f.p().settings.tiia = 10;
        f.addGroup("g", {f.onceAt(on(12, 0, 20), "marked"), f.plain(on(12, 0, 20), "plain")});
        f.start(on(12, 0), on(12, 0));
        f.tick();
        ASSERT_TRUE(f.pendingWork() & pending::kExactTick);
        if (sleep) {
            f.setClockMs(on(13, 0).seconds() * 1000);
            f.tick();
        } else {
            // A box left open holds nothing back: both sound on time.
            f.p().modalOpen = true;
            f.runUntil(on(12, 20));
            f.p().modalOpen = false;
            f.fire();
        }
        f.runUntil(on(13, 10));
        const Names expected = sleep ? Names{at("marked", on(12, 0, 20))}
                                     : Names{at("marked", on(12, 0, 20)), at("plain", on(12, 0, 20))};
        EXPECT_EQ(f.names(), expected);
    }
}

TEST_F(SupervisionEdges, AWindowReportingAChangeWhileABatchSoundsDoesNotSoundItAgain) {
    hideSeeAlarms();
    addGroup("g", {plain(on(12, 0, 20), "a"), plain(on(12, 0, 20), "b")});
    bool reported = false;
    performer.onWindow = [&](const AlarmPtr& alarm) {
        if (reported) return;
        reported = true;
        p().control.alarmsChanged({alarm}, change::kSnoozed);
    };
    start(on(12, 0), on(12, 0));
    tick();  // the exact tick for both
    runUntil(on(12, 2));
    EXPECT_EQ(names(), (Names{at("a", on(12, 0, 20)), at("b", on(12, 0, 20))}));
}

TEST_F(SupervisionEdges, TheLastSupervisedMomentAndChangedSettingsReachTheDiskWithinATick) {
    hideSeeAlarms();
    addGroup("g", {plain(on(12, 0, 20), "a")});
    start(on(12, 0), on(12, 0));
    tick();
    runUntil(on(12, 0, 25));
    ASSERT_EQ(soundings.size(), 1u);
    // A crash now must not sound it again at the next start.
    EXPECT_NE(settingsOnDisk().find("<lsd>2025/03/29 12:00:20</lsd>"), std::string::npos);

    p().control.setBlocked(true);
    fire();
    EXPECT_NE(settingsOnDisk().find("<bl>-1</bl>"), std::string::npos);
    p().control.setBlocked(false);
    fire();
    EXPECT_NE(settingsOnDisk().find("<bl>0</bl>"), std::string::npos);
}

TEST_F(SupervisionEdges, AHugeCatchUpIsCappedAndAskedAbout) {
    hideSeeAlarms();
    auto every = ModelFixture::periodic(dt(2025, 3, 1), 1, kSeconds);
    every->name = "tick-tock";
    every->soundAfterInactive = true;
    every->actions.addElement(clsAction::Create(p().ctx, every, clsAction::kShowMessage));
    addGroup("g", {every});
    p().settings.tiia = 10;
    ui.answers.push_back(mb::kAnswerNo);
    start(on(12, 0), dt(2025, 3, 27, 12, 0));  // two days away: 172800 moments
    tick();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes[0].text.rfind("100000", 0), 0u) << ui.boxes[0].text;
    EXPECT_TRUE(soundings.empty());
    EXPECT_EQ(p().supervision.lastSupervised, on(12, 0));
}

TEST_F(SupervisionEdges, AListBoundaryAndAnAlarmInTheSameMillisecondShareTheTick) {
    // The coming-alarms list changes when its first entry comes due.
    addGroup("g", {plain(on(12, 0, 20), "a")});
    start(on(12, 0), on(12, 0), 700);
    p().control.rebuildSeeAlarms(0);
    p().control.rebuildSeeAlarms(1);
    tick();
    EXPECT_EQ(timer.interval(), 19300);
    EXPECT_TRUE(pendingWork() & pending::kRefreshSeeAlarms1);
    EXPECT_FALSE(pendingWork() & pending::kExactTick);
    fire();
    EXPECT_EQ(names(), (Names{at("a", on(12, 0, 20))}));
    EXPECT_EQ(soundings[0].atMs, on(12, 0, 20).seconds() * 1000);
}

// ---- Daylight-saving time, on the real rule of Europe/Berlin -------------------------

// DateTime counts from 30 December 1899; the Unix epoch is day 25569.
constexpr std::int64_t kUnixEpoch = 25569LL * 86400;

class DaylightSaving : public SupervisionEdges {
  protected:
    std::optional<std::string> oldTz_;
    std::int64_t utcMs_ = 0;

    void SetUp() override {
        if (const char* tz = ::getenv("TZ")) oldTz_ = tz;
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
        hideSeeAlarms();
        p().settings.tiia = 10;
    }
    void TearDown() override {
        if (oldTz_)
            ::setenv("TZ", oldTz_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    static int offsetAt(std::int64_t unixSeconds) {
        const time_t t = static_cast<time_t>(unixSeconds);
        tm local{};
        ::localtime_r(&t, &local);
        return static_cast<int>(local.tm_gmtoff);
    }
    // Sets the real time; the wall clock and its offset follow the zone.
    void setUtc(std::int64_t ms) {
        utcMs_ = ms;
        const int offset = offsetAt(ms / 1000);
        clock.offset = offset;
        setClockMs(ms + (kUnixEpoch + offset) * 1000);
    }
    void startAtUtc(DateTime utc) {
        setUtc((utc.seconds() - kUnixEpoch) * 1000);
        start(clock.current, clock.current);
        p().supervision.lastSupervisedOffset = clock.offset;
        tick();
    }
    // Lets the armed intervals run out in real time until `utcEnd`.
    void runUntilUtc(DateTime utcEnd) {
        const std::int64_t end = (utcEnd.seconds() - kUnixEpoch) * 1000;
        for (int guard = 0; utcMs_ < end && guard < 100000; ++guard) {
            setUtc(utcMs_ + std::max(1, timer.interval()));
            tick();
        }
    }
};

TEST_F(DaylightSaving, TheSkippedHourSoundsItsAlarmsAtTheChange) {
    // 29 March 2026: at 02:00 CET the clocks go to 03:00 CEST.
    addGroup("g",
             {plain(dt(2026, 3, 29, 1, 50), "before"), plain(dt(2026, 3, 29, 2, 30), "skipped"),
              plain(dt(2026, 3, 29, 3, 10), "after")});
    startAtUtc(dt(2026, 3, 29, 0, 40));   // 01:40 CET
    runUntilUtc(dt(2026, 3, 29, 1, 30));  // 03:30 CEST
    EXPECT_EQ(names(),
              (Names{at("before", dt(2026, 3, 29, 1, 50)), at("skipped", dt(2026, 3, 29, 2, 30)),
                     at("after", dt(2026, 3, 29, 3, 10))}));
    ASSERT_EQ(soundings.size(), 3u);
    // The skipped hour's alarm sounds at the change, not an hour late.
    EXPECT_LE(soundings[1].atMs, dt(2026, 3, 29, 3, 0, 30).seconds() * 1000);
    EXPECT_EQ(soundings[2].atMs, dt(2026, 3, 29, 3, 10).seconds() * 1000);
}

TEST_F(DaylightSaving, TheRepeatedHourSoundsNothingTwice) {
    // 25 October 2026: at 03:00 CEST the clocks go back to 02:00 CET.
    auto daily = dailyAt(dt(2026, 10, 1, 2, 30), "half past two");
    daily->soundAfterInactive = false;
    addGroup("g", {daily, plain(dt(2026, 10, 25, 3, 15), "quarter past three")});
    startAtUtc(dt(2026, 10, 25, 0, 10));   // 02:10 CEST
    runUntilUtc(dt(2026, 10, 25, 2, 30));  // 03:30 CET
    EXPECT_EQ(names(), (Names{at("half past two", dt(2026, 10, 25, 2, 30)),
                              at("quarter past three", dt(2026, 10, 25, 3, 15))}));
    // The wall clock passed the held moment again: the next day is normal.
    runUntilUtc(dt(2026, 10, 26, 2, 0));
    EXPECT_EQ(names().back(), at("half past two", dt(2026, 10, 26, 2, 30)));
}

}  // namespace
}  // namespace qv::test

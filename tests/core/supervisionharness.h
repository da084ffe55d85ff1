#pragma once
// Drives the alarm supervision the way the desktop's one-shot timer does: the
// clock moves on by the armed interval (milliseconds carried in the fake
// clock's fraction), the timer goes idle, and the tick runs. A simulated day
// takes a few thousand ticks.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/corefixture.h"

namespace qv::test {

// The warning question's text, so a box can be told apart from a missing key.
inline constexpr const char* kTooManyText = "alarms are due at once. Sound them all?";

struct Sounding {
    std::string name;
    DateTime due;
    std::int64_t atMs = 0;  // the clock when it sounded, in ms since day zero
};

struct SupervisionHarness : CoreFixture {
    std::vector<Sounding> soundings;
    std::int64_t ticks = 0;
    bool timerLeftIdle = false;  // some tick returned without re-arming the timer
    std::size_t seen = 0;        // performer calls already turned into soundings
    int earlyMs = 0;             // how much sooner than asked longer intervals run out
    int lateMs = 0;              // how much later than asked every interval runs out

    SupervisionHarness() {
        const std::string lng =
            std::string(kTestLanguage) + "[frmQuorvaneMain]\ns208=" + kTooManyText + "\n";
        EXPECT_TRUE(writeFile(folder.file("Scen.lng"), lng));
        p().settings.lng = "Scen";
        p().translation.setLanguage("Scen");
    }

    std::int64_t clockMs() const { return clock.current.seconds() * 1000 + clock.millis; }
    void setClockMs(std::int64_t ms) {
        clock.set(DateTime(ms / 1000), static_cast<int>(ms % 1000));
    }

    // The supervision as start-up leaves it, with the clock at `now`. The
    // groups added so far stand for the ones loaded afterwards (initialising
    // the supervision starts with no groups).
    void start(DateTime now, DateTime lastSupervised, int millis = 0) {
        clock.set(now, millis);
        const auto groups = p().alarmGroups.getCopy();
        p().control.initSupervision();
        for (const auto& g : *groups) p().alarmGroups.addElement(g);
        p().supervision.lastSupervised = lastSupervised;
    }

    // One timer event at the present clock.
    void tick() {
        timer.active = false;  // a one-shot timer is idle once it has fired
        ++ticks;
        p().control.onTimerTick();
        if (!timer.active) timerLeftIdle = true;
        collect();
    }

    // Lets the armed interval run out, then ticks.
    void fire() {
        // The desktop's timer never fires sooner than 1 ms; keep the loop moving
        // even if the supervision asked for less.
        int interval = timer.interval() < 1 ? 1 : timer.interval();
        // A coarse desktop timer fires a little early or late.
        if (interval > 100) interval -= earlyMs;
        interval += lateMs;
        setClockMs(clockMs() + interval);
        tick();
    }

    // Ticks until the clock reaches `end`. Bounded by a tick count so a
    // supervision stuck on tiny intervals fails instead of spinning.
    void runUntil(DateTime end) {
        const std::int64_t budget = (end.seconds() - clock.current.seconds()) * 4 + 10000 + ticks;
        while (clock.current < end) {
            if (ticks > budget) {
                ADD_FAILURE() << "the supervision ticks far too often; stopped at "
                              << toStoredText(clock.current);
                return;
            }
            fire();
        }
    }

    // Turns new alarm windows into soundings, stamped with the clock.
    void collect() {
        for (; seen < performer.calls.size(); ++seen) {
            const auto& c = performer.calls[seen];
            if (c.what == "window" && c.alarm)
                soundings.push_back({c.alarm->name, c.due, clockMs()});
        }
    }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& s : soundings) out.push_back(s.name + "@" + toStoredText(s.due));
        return out;
    }

    std::uint8_t pendingWork() { return p().supervision.pendingWork; }

    // Both see-alarms lists hidden: their boundaries then never shorten a tick.
    void hideSeeAlarms() {
        p().settings.sa[0].shown = 0;
        p().settings.sa[1].shown = 0;
    }
};

// "name@yyyy/mm/dd hh:nn:ss", as sounded() and names() give them.
inline std::string at(const std::string& name, DateTime due) {
    return name + "@" + toStoredText(due);
}

}  // namespace qv::test

// A simulated week of a few hundred mixed alarms: the supervision must sound
// exactly the moments that plain arithmetic over each alarm's grid gives, in
// time order, ties in group and then alarm order.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "core/supervisionharness.h"

namespace qv::test {
namespace {

// What an alarm was made from, for the independent computation.
struct Plan {
    std::string name;
    bool once = false;
    std::int64_t anchor = 0;        // seconds; the one-off moment or the grid anchor
    std::int64_t period = 0;        // seconds
    int weekDays = -1;              // bit 0 Sunday .. bit 6 Saturday; -1 unrestricted
    std::int64_t from = 0, to = 0;  // inclusive bounds of the grid points; to 0 = none
    std::int64_t correction = 0;    // seconds
    bool sounds = true;             // active alarm in an active group
};

struct Expected {
    std::int64_t moment;
    std::size_t group, index;
    std::string name;
    bool operator<(const Expected& o) const {
        return std::tie(moment, group, index) < std::tie(o.moment, o.group, o.index);
    }
};

class SupervisionWeek : public ::testing::Test, protected SupervisionHarness {};

TEST_F(SupervisionWeek, SoundsExactlyTheMomentsOfEveryAlarmInOrder) {
    const DateTime begin = dt(2025, 3, 31, 0, 0, 0);
    const DateTime end = dt(2025, 4, 7, 0, 0, 0);
    std::mt19937 rng(20250331);
    auto uniform = [&](std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
    };

    std::vector<std::vector<Plan>> plans;
    const int kGroups = 6, kPerGroup = 50;
    for (int gi = 0; gi < kGroups; ++gi) {
        std::vector<AlarmPtr> alarms;
        std::vector<Plan> groupPlans;
        for (int ai = 0; ai < kPerGroup; ++ai) {
            Plan pl;
            pl.name = "g" + std::to_string(gi) + "a" + std::to_string(ai);
            const int kind = static_cast<int>(uniform(0, 6));
            // Anchors anywhere from a year back to a week ahead; whole minutes
            // now and then, so alarms share seconds.
            std::int64_t anchor = begin.seconds() + uniform(-365 * 86400, 7 * 86400);
            if (uniform(0, 2) == 0) anchor -= anchor % 60;
            AlarmPtr a;
            switch (kind) {
                case 0:  // one-off within the week (and a few just outside)
                    pl.once = true;
                    pl.anchor = begin.seconds() + uniform(-3600, 7 * 86400 + 3600);
                    a = onceAt(DateTime(pl.anchor), pl.name);
                    break;
                case 1:  // daily, a fifth of them all at 08:00:00
                    pl.anchor = uniform(0, 4) == 0 ? dt(2025, 1, 1, 8).seconds() : anchor;
                    pl.period = 86400;
                    break;
                case 2:  // daily on some weekdays
                    pl.anchor = anchor;
                    pl.period = 86400;
                    pl.weekDays = static_cast<int>(uniform(1, 127));
                    break;
                case 3:  // hourly, sometimes on some weekdays
                    pl.anchor = anchor;
                    pl.period = 3600;
                    if (uniform(0, 2) == 0) pl.weekDays = static_cast<int>(uniform(1, 127));
                    break;
                case 4:
                case 5:  // every N minutes
                    pl.anchor = anchor;
                    pl.period = 60 * uniform(10, 120);
                    break;
                default:  // daily between two dates inside the week
                    pl.anchor = anchor;
                    pl.period = 86400;
                    pl.from = begin.seconds() + uniform(0, 3 * 86400);
                    pl.to = pl.from + uniform(86400, 4 * 86400);
                    break;
            }
            if (!pl.once) {
                a = ModelFixture::periodic(DateTime(pl.anchor), 1, kSeconds);
                a->name = pl.name;
                a->soundAfterInactive = true;
                a->changed = false;
                a->actions.addElement(clsAction::Create(p().ctx, a, clsAction::kShowMessage));
                if (pl.period % 86400 == 0) {
                    a->everyAmount = static_cast<std::int32_t>(pl.period / 86400);
                    a->everyUnit = kDays;
                } else if (pl.period % 3600 == 0 && uniform(0, 1) == 0) {
                    a->everyAmount = static_cast<std::int32_t>(pl.period / 3600);
                    a->everyUnit = kHours;
                } else {
                    a->everyAmount = static_cast<std::int32_t>(pl.period / 60);
                    a->everyUnit = kMinutes;
                }
                if (pl.weekDays >= 0) {
                    a->activePeriod |= Alarm::kRestrictWeekdays;
                    a->weekDays = static_cast<std::int16_t>(pl.weekDays);
                }
                if (pl.to != 0) {
                    a->activePeriod |= Alarm::kRestrictDates;
                    a->startDate = DateTime(pl.from);
                    a->endDate = DateTime(pl.to);
                }
            }
            if (uniform(0, 2) == 0) {
                const std::int64_t minutes = uniform(-30, 30);
                pl.correction = minutes * 60;
                a->correctionAmount = static_cast<std::int32_t>(minutes);
                a->correctionUnit = kMinutes;
            }
            if (uniform(0, 24) == 0) {
                a->Active = false;
                pl.sounds = false;
            }
            alarms.push_back(a);
            groupPlans.push_back(pl);
        }
        auto g = addGroup("group " + std::to_string(gi), alarms);
        if (gi == 4) {
            g->Active = false;
            for (Plan& pl : groupPlans) pl.sounds = false;
        }
        plans.push_back(groupPlans);
    }

    p().settings.wl = 32000;
    // Hour-long see-alarms lists: their boundaries shorten ticks too, cheaply.
    for (auto& list : p().settings.sa) list.unit = kHours;
    start(begin, begin, 613);
    p().control.rebuildSeeAlarms(0);
    p().control.rebuildSeeAlarms(1);
    tick();
    runUntil(end);
    const std::int64_t last = clock.current.seconds();  // everything up to here is due

    // Each alarm's moments by walking its grid.
    std::vector<Expected> expected;
    for (std::size_t gi = 0; gi < plans.size(); ++gi)
        for (std::size_t ai = 0; ai < plans[gi].size(); ++ai) {
            const Plan& pl = plans[gi][ai];
            if (!pl.sounds) continue;
            auto add = [&](std::int64_t m) {
                if (m > begin.seconds() && m <= last) expected.push_back({m, gi, ai, pl.name});
            };
            if (pl.once) {
                add(pl.anchor + pl.correction);
                continue;
            }
            const std::int64_t lo = begin.seconds() - pl.correction - 2 * pl.period;
            std::int64_t k = (lo - pl.anchor) / pl.period - 1;
            for (;; ++k) {
                const std::int64_t g = pl.anchor + k * pl.period;
                if (g + pl.correction > last) break;
                if (pl.weekDays >= 0 && !(pl.weekDays & (1 << (DateTime(g).weekday() - 1))))
                    continue;
                if (pl.to != 0 && (g < pl.from || g > pl.to)) continue;
                add(g + pl.correction);
            }
        }
    std::sort(expected.begin(), expected.end());

    std::vector<std::string> want;
    for (const Expected& e : expected) want.push_back(at(e.name, DateTime(e.moment)));
    const std::vector<std::string> got = names();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_GT(want.size(), 5000u);
    EXPECT_EQ(got.size(), want.size());
    const std::size_t n = std::min(got.size(), want.size());
    std::size_t diff = 0;
    while (diff < n && got[diff] == want[diff]) ++diff;
    if (diff < std::max(got.size(), want.size())) {
        std::string context;
        for (std::size_t i = diff > 3 ? diff - 3 : 0; i < diff + 4; ++i)
            context += "\n  #" + std::to_string(i) + " got " + (i < got.size() ? got[i] : "-") +
                       "  want " + (i < want.size() ? want[i] : "-");
        ADD_FAILURE() << "first difference at #" << diff << context;
    }
    // Each sounding happened on its own second.
    for (const Sounding& s : soundings)
        if (s.atMs != s.due.seconds() * 1000) {
            ADD_FAILURE() << at(s.name, s.due) << " sounded at ms " << s.atMs % 86400000;
            break;
        }
    EXPECT_GT(p().supervision.seeAlarms[1].dates.numberOfElements(), 0);
    EXPECT_FALSE(timerLeftIdle);
}

}  // namespace
}  // namespace qv::test

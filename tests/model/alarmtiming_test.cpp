#include <random>

#include "model/clsadvanceddate.h"
#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

TEST(AlarmTiming, OneOffWithCorrection) {
    auto a = ModelFixture::once(dt(2025, 1, 5, 8, 0));
    a->correctionAmount = -15;
    a->correctionUnit = kMinutes;
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5, 7, 44, 59)), dt(2025, 1, 5, 7, 45));
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5, 7, 45)), std::nullopt);
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5, 7, 50), true), dt(2025, 1, 5, 8, 0));
    EXPECT_EQ(a->getNextAlarmDateAfter(), dt(2025, 1, 5, 8, 0));
}

TEST(AlarmTiming, DailyAlarmIsStrictlyAfterTheQuery) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5, 7)), dt(2025, 1, 5, 8));
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5, 8)), dt(2025, 1, 6, 8));
    // The grid runs backwards through the anchor too.
    EXPECT_EQ(nextAfter(*a, dt(2024, 6, 1, 9)), dt(2024, 6, 2, 8));
}

TEST(AlarmTiming, DateRangeRestriction) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 2, kDays);
    a->activePeriod = Alarm::kRestrictDates;
    a->startDate = dt(2025, 1, 10);
    a->endDate = dt(2025, 1, 20, 8);
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5)), dt(2025, 1, 11, 8));
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 18, 9)), dt(2025, 1, 19, 8));
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 19, 8)), std::nullopt);  // 21st is past the end
    EXPECT_EQ(nextAfter(*a, dt(2025, 2, 1)), std::nullopt);
    a->endDate = dt(2025, 1, 21, 8);  // both ends inclusive
    a->invalidateCaches();
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 19, 8)), dt(2025, 1, 21, 8));
}

TEST(AlarmTiming, WeekdayRestriction) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8, 30), 1, kDays);
    a->activePeriod = Alarm::kRestrictWeekdays;
    a->weekDays = 2;  // Monday
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 4, 10)), dt(2025, 3, 10, 8, 30));  // a Tuesday
    a->weekDays = 0;  // no day at all: the search gives up
    a->correctionAmount = -1;
    a->correctionUnit = kHours;
    a->invalidateCaches();
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 4, 10)), addToDate(kGivenUp, -1, kHours));
    a->correctionAmount = 0;
    a->invalidateCaches();
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 4, 10)), kGivenUp);
}

TEST(AlarmTiming, MonthlyOnThe31stFollowsTheClampedPath) {
    auto a = ModelFixture::periodic(dt(2025, 1, 31, 8), 1, kMonths);
    EXPECT_EQ(nextAfter(*a, dt(2025, 1, 5)), dt(2025, 1, 30, 8));
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 1)), dt(2025, 3, 28, 8));
}

TEST(AlarmTiming, SnoozeComesFirstOrWhenNothingElseIsDue) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    a->snooze(dt(2025, 3, 5, 7, 30));
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7)), dt(2025, 3, 5, 7, 30));
    a->invalidateCaches();
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7, 30)), dt(2025, 3, 5, 8));  // snooze not after the query
    auto b = ModelFixture::once(kNever);
    b->momentKind = 7;  // no schedule of its own
    b->snooze(dt(2025, 3, 5, 7, 30));
    EXPECT_EQ(nextAfter(*b, dt(2025, 3, 5, 7)), dt(2025, 3, 5, 7, 30));
    b->invalidateCaches();
    EXPECT_EQ(nextAfter(*b, dt(2025, 3, 6)), std::nullopt);
}

TEST(AlarmTiming, CacheAnswersUntilChanged) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7)), dt(2025, 3, 5, 8));
    // Without setChanged an edit is not seen while the cached answer holds...
    a->nextDate = dt(2025, 1, 1, 7, 30);
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7, 10)), dt(2025, 3, 5, 8));
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7, 59, 59)), dt(2025, 3, 5, 8));
    // ...nor with the other calendar flag or an earlier query, which compute again.
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7, 10), true), dt(2025, 3, 5, 7, 30));
    a->nextDate = dt(2025, 1, 1, 8);
    a->setChanged();
    EXPECT_TRUE(a->changed);
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7, 10)), dt(2025, 3, 5, 8));
}

// A month correction that clamps the day must never give a moment on or
// before the query: the supervision would walk backwards and sound again.
TEST(AlarmTiming, MonthCorrectionNeverAnswersBeforeTheQuery) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    a->correctionAmount = 1;
    a->correctionUnit = kMonths;
    // Taken literally, 28 February 08:00 (the first grid point after the query
    // moved back by a month) would answer 28 March 08:00. February has no 29th
    // to 31st, so the next corrected moment is 1 April.
    const DateTime q = dt(2025, 3, 29);
    EXPECT_EQ(nextAfter(*a, q), dt(2025, 4, 1, 8));
    // Walking forward visits strictly increasing moments.
    DateTime from = dt(2025, 2, 20);
    for (int i = 0; i < 120; ++i) {
        a->invalidateCaches();
        const auto n = nextAfter(*a, from);
        ASSERT_TRUE(n);
        ASSERT_GT(*n, from);
        from = *n;
    }
}

TEST(AlarmTiming, NeverIsNoMoment) {
    auto once = ModelFixture::once(kNever);
    once->correctionAmount = -15;
    once->correctionUnit = kMinutes;
    EXPECT_EQ(nextAfter(*once, dt(2025, 3, 1)), std::nullopt);
    auto periodic = ModelFixture::periodic(kNever, 1, kDays);
    EXPECT_EQ(nextAfter(*periodic, dt(2025, 3, 1)), std::nullopt);
    // A record loaded without dates is never due.
    auto loaded = Alarm::createFromXML(*XMLNode::createFromXML("<alrm><name>x</name></alrm>"), nullptr);
    EXPECT_EQ(nextAfter(*loaded, dt(2025, 3, 1)), std::nullopt);
}

TEST(AlarmTiming, GivenUpAnswerIsComputedAgainLater) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1), 1, kSeconds);
    a->activePeriod = Alarm::kRestrictExpression;
    a->activeAdvanced = "MINUTE == 30";
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 1, 0, 0, 0)), kGivenUp);  // 1000 s reach 00:16:40
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 1, 0, 20, 0)), dt(2025, 3, 1, 0, 30, 0));
}

TEST(AlarmTiming, MalformedExpressionRaisesEveryTime) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    a->activePeriod = Alarm::kRestrictExpression;
    a->activeAdvanced = "MONTH == ";
    EXPECT_THROW(a->hasNextAlarmDateAfter(dt(2025, 3, 1), false), AdvancedDateError);
    EXPECT_THROW(a->hasNextAlarmDateAfter(dt(2025, 3, 1, 0, 0, 1), false), AdvancedDateError);
    EXPECT_EQ(a->getNextAlarmDateAfter(), kNever);
    a->activeAdvanced = "MONTH == 3 && DAYOFMONTH == 4";
    a->setChanged();
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 1)), dt(2025, 3, 4, 8));
}

TEST(AlarmTiming, DegeneratePeriodsEndWithoutAMoment) {
    auto zero = ModelFixture::periodic(dt(2025, 1, 1), 0, kDays);
    EXPECT_EQ(nextAfter(*zero, dt(2025, 3, 1)), std::nullopt);
    auto negative = ModelFixture::periodic(dt(2025, 1, 1), -3, kDays);
    EXPECT_EQ(nextAfter(*negative, dt(2025, 3, 1)), std::nullopt);
    auto badUnit = ModelFixture::periodic(dt(2025, 1, 1), 1, 9);
    EXPECT_EQ(nextAfter(*badUnit, dt(1800, 3, 1)), std::nullopt);
}

TEST(AlarmTiming, AlignRoundsHalvesToEven) {
    // Period of 2 days: 1 day away is half a period.
    EXPECT_EQ(alignToGrid(dt(2025, 1, 1), dt(2025, 1, 2), 2, kDays), dt(2025, 1, 1));
    EXPECT_EQ(alignToGrid(dt(2025, 1, 1), dt(2025, 1, 4), 2, kDays), dt(2025, 1, 5));
    EXPECT_EQ(alignToGrid(dt(2025, 1, 1), dt(2024, 12, 29), 2, kDays), dt(2024, 12, 28));
}

// The next moment of simple alarms (exact units, weekday and date range
// restrictions, exact corrections) computed by walking the grid one period at
// a time from far back, against the alarm's own search.
TEST(AlarmTiming, AgreesWithAPlainWalkOverTheGrid) {
    std::mt19937 rng(20251207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int units[] = {kMinutes, kHours, kDays, kWeeks};
    const std::int64_t unitSeconds[] = {60, 3600, 86400, 604800};
    for (int round = 0; round < 3000; ++round) {
        const int u = pick(0, 3);
        const std::int32_t amount = pick(1, u == 0 ? 900 : u == 1 ? 30 : u == 2 ? 5 : 2);
        const DateTime anchor = dt(pick(2000, 2030), pick(1, 12), pick(1, 28), pick(0, 23), pick(0, 59));
        auto a = ModelFixture::periodic(anchor, amount, units[u]);
        if (pick(0, 1)) {
            a->activePeriod |= Alarm::kRestrictWeekdays;
            a->weekDays = static_cast<std::int16_t>(pick(1, 127));
        }
        if (pick(0, 2) == 0) {
            a->activePeriod |= Alarm::kRestrictDates;
            a->startDate = dt(2024, pick(1, 12), pick(1, 28), pick(0, 23));
            a->endDate = addToDate(a->startDate, pick(0, 400), kDays);
        }
        if (pick(0, 1)) {
            a->correctionAmount = pick(-600, 600);
            a->correctionUnit = kMinutes;
        }
        const DateTime q = dt(2024, pick(1, 12), pick(1, 28), pick(0, 23), pick(0, 59), pick(0, 59));

        // Plain walk: every grid point within reach, in order.
        const std::int64_t period = amount * unitSeconds[u];
        const std::int64_t corr = a->correctionAmount * 60LL;
        std::optional<DateTime> expected;
        const std::int64_t k0 = (q.seconds() - corr - anchor.seconds()) / period - 2;
        for (std::int64_t k = k0; k < k0 + 50000; ++k) {
            const DateTime p(anchor.seconds() + k * period);
            if (p.seconds() + corr <= q.seconds()) continue;
            if ((a->activePeriod & Alarm::kRestrictDates) && p > a->endDate) break;
            if ((a->activePeriod & Alarm::kRestrictDates) && p < a->startDate) continue;
            if ((a->activePeriod & Alarm::kRestrictWeekdays) &&
                !((a->weekDays >> (p.weekday() - 1)) & 1))
                continue;
            expected = DateTime(p.seconds() + corr);
            break;
        }
        const auto got = nextAfter(*a, q);
        const std::string where = "round " + std::to_string(round) + " anchor " +
                                  toStoredText(anchor) + " query " + toStoredText(q);
        if (got && got->year() == 9999) {
            // The search gives up after 1000 periods; the walk must not have found
            // anything sooner than that.
            ASSERT_EQ(got, DateTime(kGivenUp.seconds() + corr)) << where;
            if (expected) {
                ASSERT_GT(expected->seconds() - q.seconds(), 990 * period) << where;
            }
        } else {
            ASSERT_EQ(got, expected) << where;
        }
    }
}

// A search that gives up inside a date range comes out as "no moment"; asked
// again later, when the restriction is within reach, the moment is found.
TEST(AlarmTimingCache, AGivenUpSearchIsNeverKeptAsTheAnswer) {
    for (const bool snoozing : {false, true}) {
        SCOPED_TRACE(snoozing ? "with a snooze after the range" : "plain");
        auto a = ModelFixture::periodic(dt(2025, 3, 1), 1, kMinutes);
        a->activePeriod = Alarm::kRestrictDates | Alarm::kRestrictExpression;
        a->startDate = dt(2025, 3, 1);
        a->endDate = dt(2025, 3, 20);
        a->activeAdvanced = "DAYOFMONTH >= 12";
        if (snoozing) {
            a->snoozing = true;
            a->nextSnoozeAlarmDate = dt(2025, 3, 25);
        }
        // 1000 minutes from the 9th do not reach the 12th.
        const auto early = nextAfter(*a, dt(2025, 3, 9));
        if (snoozing) {
            EXPECT_EQ(early, dt(2025, 3, 25));
        } else {
            EXPECT_FALSE(early);
        }
        EXPECT_EQ(nextAfter(*a, dt(2025, 3, 11, 23, 0)), dt(2025, 3, 12));
    }
}

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
    a->weekDays = 2;                                                       // Monday
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

namespace {

// The moments an alarm gives walking forward from `from`, each query starting
// at the moment found before.
std::vector<DateTime> walk(Alarm& a, DateTime from, int count) {
    std::vector<DateTime> out;
    for (int i = 0; i < count; ++i) {
        const auto n = nextAfter(a, from);
        if (!n) break;
        out.push_back(*n);
        from = *n;
    }
    return out;
}

}  // namespace

TEST(AlarmTiming, MonthsAndYearsKeepTheAnchorsDay) {
    auto monthly = ModelFixture::periodic(dt(2025, 1, 31, 8), 1, kMonths);
    EXPECT_EQ(walk(*monthly, dt(2025, 1, 5), 6),
              (std::vector<DateTime>{dt(2025, 1, 31, 8), dt(2025, 2, 28, 8), dt(2025, 3, 31, 8),
                                     dt(2025, 4, 30, 8), dt(2025, 5, 31, 8), dt(2025, 6, 30, 8)}));
    // Straight into a later month, and back before the anchor.
    EXPECT_EQ(nextAfter(*monthly, dt(2025, 3, 1)), dt(2025, 3, 31, 8));
    EXPECT_EQ(nextAfter(*monthly, dt(2024, 11, 30, 9)), dt(2024, 12, 31, 8));
    EXPECT_EQ(nextAfter(*monthly, dt(2024, 2, 1)), dt(2024, 2, 29, 8));

    auto everyTwo = ModelFixture::periodic(dt(2025, 1, 31, 8), 2, kMonths);
    EXPECT_EQ(walk(*everyTwo, dt(2025, 1, 1), 4),
              (std::vector<DateTime>{dt(2025, 1, 31, 8), dt(2025, 3, 31, 8), dt(2025, 5, 31, 8),
                                     dt(2025, 7, 31, 8)}));

    auto leapDay = ModelFixture::periodic(dt(2024, 2, 29, 7), 1, kYears);
    EXPECT_EQ(walk(*leapDay, dt(2024, 1, 1), 5),
              (std::vector<DateTime>{dt(2024, 2, 29, 7), dt(2025, 2, 28, 7), dt(2026, 2, 28, 7),
                                     dt(2027, 2, 28, 7), dt(2028, 2, 29, 7)}));

    // A date range that starts later aligns from the anchor, too.
    monthly->activePeriod = Alarm::kRestrictDates;
    monthly->startDate = dt(2025, 4, 1);
    monthly->endDate = dt(2025, 12, 31);
    monthly->invalidateCaches();
    EXPECT_EQ(walk(*monthly, dt(2025, 1, 5), 3),
              (std::vector<DateTime>{dt(2025, 4, 30, 8), dt(2025, 5, 31, 8), dt(2025, 6, 30, 8)}));
}

// A correction of nothing, or in a unit that does not exist, leaves the
// moments where they are.
TEST(AlarmTiming, UnknownOrZeroCorrectionIsNoCorrection) {
    for (const auto& [amount, unit] : {std::pair{0, 9}, std::pair{15, 9}, std::pair{0, -1},
                                       std::pair{0, int{kMonths}}, std::pair{5, 7}}) {
        SCOPED_TRACE(std::to_string(amount) + " in unit " + std::to_string(unit));
        auto once = ModelFixture::once(dt(2025, 4, 1, 8));
        once->correctionAmount = amount;
        once->correctionUnit = static_cast<std::int16_t>(unit);
        EXPECT_EQ(nextAfter(*once, dt(2025, 3, 1)), dt(2025, 4, 1, 8));
        auto daily = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
        daily->correctionAmount = amount;
        daily->correctionUnit = static_cast<std::int16_t>(unit);
        EXPECT_EQ(nextAfter(*daily, dt(2025, 3, 1, 9)), dt(2025, 3, 2, 8));
        ModelFixture f;
        EXPECT_EQ(once->getDateTimeDescriptionItems(f.ctx)[0], "once at 2025/04/01 08:00:00");
    }
}

TEST(AlarmTiming, SnoozeComesFirstOrWhenNothingElseIsDue) {
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    a->snooze(dt(2025, 3, 5, 7, 30));
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7)), dt(2025, 3, 5, 7, 30));
    a->invalidateCaches();
    EXPECT_EQ(nextAfter(*a, dt(2025, 3, 5, 7, 30)),
              dt(2025, 3, 5, 8));  // snooze not after the query
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
    auto loaded =
        Alarm::createFromXML(*XMLNode::createFromXML("<alrm><name>x</name></alrm>"), nullptr);
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

// The next moment of simple alarms (weekday and date range restrictions,
// exact corrections) computed by walking the grid one period at a time, each
// point counted from the anchor, against the alarm's own search.
TEST(AlarmTiming, AgreesWithAPlainWalkOverTheGrid) {
    std::mt19937 rng(20251207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int units[] = {kMinutes, kHours, kDays, kWeeks, kMonths, kYears};
    const int maxAmount[] = {900, 30, 5, 2, 3, 2};
    for (int round = 0; round < 4000; ++round) {
        const int u = pick(0, 5);
        const int unit = units[u];
        const std::int32_t amount = pick(1, maxAmount[u]);
        // Month ends and leap days are where months and years go wrong.
        const int day = pick(0, 1) ? pick(28, 31) : pick(1, 28);
        const int year = pick(2000, 2030);
        const int month = pick(1, 12);
        const DateTime anchor =
            dt(year, month, std::min(day, daysInMonth(year, month)), pick(0, 23), pick(0, 59));
        auto a = ModelFixture::periodic(anchor, amount, unit);
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
        const DateTime q =
            dt(2024, pick(1, 12), pick(1, 28), pick(0, 23), pick(0, 59), pick(0, 59));

        // Plain walk: every grid point within reach, in order.
        const std::int64_t corr = a->correctionAmount * 60LL;
        auto point = [&](std::int64_t k) { return addToDate(anchor, k * amount, unit); };
        std::optional<DateTime> expected;
        // Points before the query or the range's start do not count: begin there.
        DateTime from(q.seconds() - corr);
        if ((a->activePeriod & Alarm::kRestrictDates) && from < a->startDate) from = a->startDate;
        const std::int64_t k0 = dateDiff(anchor, from, unit) / amount - 2;
        for (std::int64_t k = k0; k < k0 + 50000; ++k) {
            const DateTime p = point(k);
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
        const std::string where = "round " + std::to_string(round) + " every " +
                                  std::to_string(amount) + " unit " + std::to_string(unit) +
                                  " anchor " + toStoredText(anchor) + " query " + toStoredText(q);
        if (got && got->year() == 9999) {
            // The search gives up after 1000 periods; the walk must not have found
            // anything sooner than that.
            ASSERT_EQ(got, DateTime(kGivenUp.seconds() + corr)) << where;
            if (expected) {
                ASSERT_GT(*expected, addToDate(q, 990LL * amount, unit)) << where;
            }
        } else if (!got && expected && (a->activePeriod & Alarm::kRestrictDates)) {
            // Given up within a date range: nothing to sound.
            ASSERT_GT(*expected, addToDate(from, 990LL * amount, unit)) << where;
        } else {
            ASSERT_EQ(got, expected) << where;
        }
    }
}

// Walking a month or year alarm forward from before its anchor: the anchor
// comes first, then one moment in every period, on the anchor's day where the
// month has it and on the month's last day where it has not.
TEST(AlarmTiming, MonthsAndYearsWalkOneMomentPerPeriod) {
    std::mt19937 rng(31012025);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 400; ++round) {
        const bool years = pick(0, 3) == 0;
        const int unit = years ? kYears : kMonths;
        const std::int32_t amount = pick(1, years ? 3 : 13);
        const int year = pick(1996, 2030);
        const int month = pick(1, 12);
        const int day = std::min(pick(26, 31), daysInMonth(year, month));
        const DateTime anchor = dt(year, month, day, pick(0, 23), pick(0, 59), pick(0, 59));
        auto a = ModelFixture::periodic(anchor, amount, unit);
        const std::string where = "every " + std::to_string(amount) + " unit " +
                                  std::to_string(unit) + " anchor " + toStoredText(anchor);

        const auto moments = walk(*a, addToDate(anchor, -pick(1, 20), kDays), 60);
        ASSERT_EQ(moments.size(), 60u) << where;
        ASSERT_EQ(moments[0], anchor) << where;
        const std::int64_t monthsPerPeriod = years ? 12LL * amount : amount;
        for (std::size_t i = 0; i < moments.size(); ++i) {
            const DateTime m = moments[i];
            const std::int64_t monthIndex = (year * 12LL + month - 1) + monthsPerPeriod * i;
            const std::int64_t y = monthIndex / 12;
            const int mo = static_cast<int>(monthIndex % 12) + 1;
            ASSERT_EQ(m.year(), y) << where << " moment " << i;
            ASSERT_EQ(m.month(), mo) << where << " moment " << i;
            ASSERT_EQ(m.day(), std::min(day, daysInMonth(y, mo))) << where << " moment " << i;
            ASSERT_EQ(m.secondsOfDay(), anchor.secondsOfDay()) << where;
        }
    }
}

namespace {

// The earlier search, which steps from one grid point to the next. For exact
// units it must give the same answers as counting every point from the anchor.
std::optional<DateTime> steppingSearch(const Alarm& al, DateTime da) {
    const std::int32_t corr = al.correctionAmount;
    const int unit = al.everyUnit;
    const std::int32_t amount = al.everyAmount;
    const bool byDates = al.activePeriod & Alarm::kRestrictDates;
    std::optional<AdvancedDateProgram> program;
    if (al.activePeriod & Alarm::kRestrictExpression) program.emplace(al.activeAdvanced);
    const DateTime a = addToDate(da, -corr, al.correctionUnit);
    DateTime cur = al.nextDate;
    auto alignAndStepBack = [&] {
        cur = alignToGrid(cur, a, amount, unit);
        for (int guard = 0; a < cur && guard < Alarm::kStepLimit; ++guard)
            cur = addToDate(cur, -amount, unit);
    };
    if (!byDates || (al.startDate < a && a < al.endDate))
        alignAndStepBack();
    else if (al.startDate < a)
        cur = a;
    else
        cur = alignToGrid(cur, al.startDate, amount, unit);
    cur = addToDate(cur, -amount, unit);
    int rounds = 0;
    bool again;
    do {
        ++rounds;
        cur = addToDate(cur, amount, unit);
        again = cur <= a;
        if (!again && corr != 0 && addToDate(cur, corr, al.correctionUnit) <= da) again = true;
        if ((al.activePeriod & Alarm::kRestrictWeekdays) &&
            ((al.weekDays >> (cur.weekday() - 1)) & 1) == 0)
            again = true;
        if (program && !program->evaluate(cur)) again = true;
        if (byDates) {
            if (cur < al.startDate) again = true;
            if (al.endDate < cur) again = false;
        }
        if (rounds > Alarm::kStepLimit) again = false;
    } while (again);
    if (rounds > Alarm::kStepLimit) cur = kGivenUp;
    if (byDates && (cur > al.endDate || cur < al.startDate)) return std::nullopt;
    cur = addToDate(cur, corr, al.correctionUnit);
    if (cur <= da) return std::nullopt;
    return cur;
}

}  // namespace

TEST(AlarmTiming, ExactUnitsGiveTheSameAnswersAsSteppingAlongTheGrid) {
    std::mt19937 rng(7122026);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int units[] = {kSeconds, kMinutes, kHours, kDays, kWeeks};
    const int maxAmount[] = {5000, 900, 50, 10, 3};
    const char* expressions[] = {"DAYOFMONTH <= 7", "HOUR >= 8 && HOUR < 18", "MONTH == 6",
                                 "MINUTE == 30"};
    for (int round = 0; round < 5000; ++round) {
        const int u = pick(0, 4);
        auto a = ModelFixture::periodic(
            dt(pick(1990, 2040), pick(1, 12), pick(1, 31), pick(0, 23), pick(0, 59), pick(0, 59)),
            pick(1, maxAmount[u]), units[u]);
        if (pick(0, 2) == 0) {
            a->activePeriod |= Alarm::kRestrictWeekdays;
            a->weekDays = static_cast<std::int16_t>(pick(0, 127));
        }
        if (pick(0, 2) == 0) {
            a->activePeriod |= Alarm::kRestrictDates;
            a->startDate = dt(pick(2020, 2028), pick(1, 12), pick(1, 31), pick(0, 23));
            a->endDate = addToDate(a->startDate, pick(-10, 800), kDays);
        }
        if (pick(0, 3) == 0) {
            a->activePeriod |= Alarm::kRestrictExpression;
            a->activeAdvanced = expressions[pick(0, 3)];
        }
        if (pick(0, 1)) {
            a->correctionAmount = pick(-40, 40);
            a->correctionUnit = static_cast<std::int16_t>(pick(0, 6));
        }
        const DateTime q =
            dt(pick(2020, 2028), pick(1, 12), pick(1, 31), pick(0, 23), pick(0, 59), pick(0, 59));
        ASSERT_EQ(nextAfter(*a, q), steppingSearch(*a, q))
            << "round " << round << " every " << a->everyAmount << " unit " << a->everyUnit
            << " anchor " << toStoredText(a->nextDate) << " query " << toStoredText(q);
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

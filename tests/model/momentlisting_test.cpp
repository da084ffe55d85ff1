// listMomentsAfter against the plain way it stands for: asking
// hasNextAlarmDateAfter again and again, each time after the moment found
// before. Thousands of alarms of every timing kind, from several query moments.

#include <gtest/gtest.h>

#include "base/random.h"
#include "modelfixture.h"

namespace qv::test {
namespace {

std::vector<DateTime> plainMoments(Alarm& a, DateTime da, DateTime before, bool calendar,
                                   int limit) {
    std::vector<DateTime> out;
    while (static_cast<int>(out.size()) < limit && a.hasNextAlarmDateAfter(da, calendar)) {
        const DateTime m = a.getNextAlarmDateAfter();
        if (m >= before) break;
        out.push_back(m);
        da = m;
    }
    return out;
}

DateTime onMinute(RandomSource& rnd, int year) {
    return dt(year, 1 + rnd.below(12), 1 + rnd.below(31 - 3), rnd.below(24), rnd.below(60), 0);
}

// One alarm of a kind the seeded source picks.
AlarmPtr randomAlarm(RandomSource& rnd) {
    static const int kUnits[] = {kMinutes, kHours, kDays, kWeeks, kMonths, kYears};
    const int unit = kUnits[rnd.below(6)];
    const int amount = unit == kMinutes ? 30 + rnd.below(200) : 1 + rnd.below(3);
    AlarmPtr a = ModelFixture::periodic(onMinute(rnd, 2023 + rnd.below(3)), amount, unit);
    if (unit == kMonths && rnd.below(2) == 0)
        a->nextDate = dt(2024, 1, 31, 7, 30, 0);  // clamped days
    const int pick = rnd.below(10);
    if (pick == 0) {
        a->activePeriod = Alarm::kRestrictWeekdays;
        a->weekDays = static_cast<std::int16_t>(1 + rnd.below(127));
    } else if (pick == 1) {
        a->activePeriod = Alarm::kRestrictExpression;
        static const char* kExpressions[] = {"DAYOFMONTH <= 7 && WEEKDAY == MONDAY",
                                             "(HOUR >= 8 && HOUR <= 17) && WEEKDAY != SUNDAY",
                                             "MONTH == 2 || MONTH == 8", "MONTH == 2"};
        a->activeAdvanced = kExpressions[rnd.below(4)];
    } else if (pick == 2) {
        a->activePeriod = Alarm::kRestrictDates;
        a->startDate = dt(2025, 1 + rnd.below(12), 1 + rnd.below(28));
        a->endDate = addToDate(a->startDate, 5 + rnd.below(90), kDays);
    }
    const int corr = rnd.below(6);
    if (corr == 1) {
        a->correctionAmount = -(5 + rnd.below(60));
        a->correctionUnit = kMinutes;
    } else if (corr == 2) {
        a->correctionAmount = rnd.below(2) == 0 ? -1 : 2;
        a->correctionUnit = kDays;
    } else if (corr == 3) {
        a->correctionAmount = rnd.below(2) == 0 ? -1 : 1;
        a->correctionUnit = kMonths;
    }
    if (rnd.below(15) == 0) {
        a->snoozing = true;
        a->nextSnoozeAlarmDate = dt(2025, 6, 1 + rnd.below(20), rnd.below(24), 0, 0);
    }
    return a;
}

TEST(MomentListing, GivesWhatRepeatedQueriesGive) {
    RandomSource rnd(20251207);
    int listed = 0;
    for (int i = 0; i < 3000; ++i) {
        AlarmPtr a = randomAlarm(rnd);
        const DateTime from = dt(2025, 5, 1 + rnd.below(28), rnd.below(24), rnd.below(60), 0);
        const DateTime before = addToDate(from, 10 + rnd.below(60), kDays);
        const bool calendar = rnd.below(4) == 0;
        const int limit = rnd.below(20) == 0 ? 3 : 100000;
        const std::vector<DateTime> plain = plainMoments(*a, from, before, calendar, limit);
        a->invalidateCaches();
        std::vector<DateTime> fast{dt(2000, 1, 1)};  // appended to, not replaced
        a->listMomentsAfter(from, before, calendar, fast, limit);
        ASSERT_EQ(fast.front(), dt(2000, 1, 1));
        fast.erase(fast.begin());
        ASSERT_EQ(fast, plain) << "alarm " << i << ": every " << a->everyAmount << " unit "
                               << a->everyUnit << ", restriction " << a->activePeriod << " "
                               << a->activeAdvanced << ", correction " << a->correctionAmount
                               << " unit " << a->correctionUnit;
        listed += static_cast<int>(plain.size());
    }
    // The mix is not empty: hourly and minute alarms give thousands of moments.
    EXPECT_GT(listed, 100000);
}

TEST(MomentListing, EdgesOfTheSearch) {
    auto same = [](const AlarmPtr& a, DateTime from, DateTime before) {
        const std::vector<DateTime> plain = plainMoments(*a, from, before, false, 100000);
        a->invalidateCaches();
        std::vector<DateTime> fast;
        a->listMomentsAfter(from, before, false, fast, 100000);
        EXPECT_EQ(fast, plain);
        return plain;
    };
    // Every minute up to a time of day: somewhere among these the gap to the
    // next day's first minute is just within or just beyond the rounds the
    // search takes before it gives up.
    for (int h = 6; h <= 23; ++h)
        for (int m = 0; m < 60; m += 3) {
            AlarmPtr a = ModelFixture::periodic(dt(2025, 1, 1), 1, kMinutes);
            a->activePeriod = Alarm::kRestrictExpression;
            a->activeAdvanced = "HOUR < " + std::to_string(h) +
                                " || (HOUR == " + std::to_string(h) +
                                " && MINUTE <= " + std::to_string(m) + ")";
            same(a, dt(2025, 3, 3, h, 0), dt(2025, 3, 5));
        }
    // A date range ending right on a moment keeps that moment.
    AlarmPtr ranged = ModelFixture::periodic(dt(2025, 1, 1), 1, kDays);
    ranged->activePeriod = Alarm::kRestrictDates;
    ranged->startDate = dt(2025, 3, 2);
    ranged->endDate = dt(2025, 3, 9);
    EXPECT_EQ(same(ranged, dt(2025, 2, 1), dt(2025, 4, 1)).size(), std::size_t{8});
}

TEST(MomentListing, StopsWhereTheSearchGivesUp) {
    // Hourly, only in February: from May the search gives up after 1000 hours
    // without a moment, and so does the listing.
    AlarmPtr a = ModelFixture::periodic(dt(2025, 1, 1, 0, 30), 1, kHours);
    a->activePeriod = Alarm::kRestrictExpression;
    a->activeAdvanced = "MONTH == 2";
    std::vector<DateTime> out;
    a->listMomentsAfter(dt(2025, 5, 1), dt(2026, 3, 1), false, out, 100000);
    EXPECT_TRUE(out.empty());
    // Within reach of February it lists every hour of it.
    a->listMomentsAfter(dt(2026, 1, 20), dt(2026, 3, 1), false, out, 100000);
    ASSERT_EQ(out.size(), std::size_t{28 * 24});
    EXPECT_EQ(out.front(), dt(2026, 2, 1, 0, 30));
    EXPECT_EQ(out.back(), dt(2026, 2, 28, 23, 30));
}

// The listing by cells as it stands for: the whole listing, each moment into
// the cell it falls in, listed while the cell has room, else counted.
void byCells(const std::vector<DateTime>& all, const std::vector<DateTime>& ends, int perCell,
             std::vector<DateTime>& out, std::vector<std::int64_t>& hidden) {
    std::size_t c = 0;
    int taken = 0;
    for (const DateTime m : all) {
        while (!(m < ends[c])) ++c, taken = 0;
        if (taken < perCell)
            out.push_back(m), ++taken;
        else
            ++hidden[c];
    }
}

TEST(MomentListing, CellsListTheirFirstMomentsAndCountTheRest) {
    RandomSource rnd(20261208);
    std::int64_t counted = 0;
    auto check = [&](const AlarmPtr& a, DateTime from, const std::vector<DateTime>& ends,
                     bool calendar, int perCell, int limit, const std::string& what) {
        std::vector<DateTime> all;
        a->listMomentsAfter(from, ends.back(), calendar, all, limit);
        std::vector<DateTime> want;
        std::vector<std::int64_t> wantHidden(ends.size(), 0);
        byCells(all, ends, perCell, want, wantHidden);
        a->invalidateCaches();
        std::vector<DateTime> got;
        std::vector<std::int64_t> gotHidden(ends.size(), 0);
        a->listMomentsInCells(from, ends, calendar, perCell, limit, got, gotHidden);
        ASSERT_EQ(got, want) << what;
        ASSERT_EQ(gotHidden, wantHidden) << what;
        for (const std::int64_t h : gotHidden) counted += h;
    };
    for (int i = 0; i < 2000; ++i) {
        AlarmPtr a = randomAlarm(rnd);
        if (rnd.below(4) == 0) {
            // Minute and hour grids under restrictions that repeat every week.
            a->everyUnit = static_cast<std::int16_t>(rnd.below(2) == 0 ? kMinutes : kHours);
            a->everyAmount = 1 + rnd.below(45);
            a->activePeriod = Alarm::kRestrictExpression;
            static const char* kWeekly[] = {"(HOUR >= 8 && HOUR <= 17) && WEEKDAY != SUNDAY",
                                            "WEEKDAY == FRIDAY", "MINUTE < 10", "HOUR == 3",
                                            "WEEKDAY == MONDAY && HOUR == 0 && MINUTE < 5"};
            a->activeAdvanced = kWeekly[rnd.below(5)];
            if (rnd.below(3) == 0) {
                a->activePeriod |= Alarm::kRestrictWeekdays;
                a->weekDays = static_cast<std::int16_t>(1 + rnd.below(127));
            }
        }
        // Cells of a day view, a month view, a year view.
        static const int kCellUnits[] = {kHours, kDays, kMonths};
        const int cellUnit = kCellUnits[rnd.below(3)];
        const int cells = cellUnit == kHours ? 96 : cellUnit == kDays ? 42 : 12;
        const DateTime first =
            cellUnit == kHours ? dt(2025, 5, 1 + rnd.below(28)) : dt(2025, 1 + rnd.below(12), 1);
        std::vector<DateTime> ends;
        for (int c = 1; c <= cells; ++c) ends.push_back(addToDate(first, c, cellUnit));
        const bool calendar = rnd.below(4) == 0;
        const int perCell = 1 + rnd.below(6);
        const int limit = rnd.below(20) == 0 ? 50 : 100000;
        check(a, DateTime(first.seconds() - 1), ends, calendar, perCell, limit,
              "alarm " + std::to_string(i) + ": every " + std::to_string(a->everyAmount) +
                  " unit " + std::to_string(a->everyUnit) + ", restriction " +
                  std::to_string(a->activePeriod) + " " + a->activeAdvanced + ", cells of unit " +
                  std::to_string(cellUnit) + ", " + std::to_string(perCell) + " per cell");
    }
    // Gaps just within and just beyond what the search looks at before it
    // gives up, inside full cells that are counted a week at a time.
    for (int h = 0; h <= 23; h += 1)
        for (int m = 0; m < 60; m += 13) {
            AlarmPtr a = ModelFixture::periodic(dt(2025, 1, 1), 1, kMinutes);
            a->activePeriod = Alarm::kRestrictExpression;
            a->activeAdvanced = "WEEKDAY == TUESDAY && (HOUR < " + std::to_string(h) +
                                " || (HOUR == " + std::to_string(h) +
                                " && MINUTE <= " + std::to_string(m) + "))";
            std::vector<DateTime> ends;
            for (int c = 1; c <= 12; ++c) ends.push_back(addToDate(dt(2025, 1, 1), c, kMonths));
            check(a, dt(2025, 1, 1), ends, false, 3, 100000,
                  "edge " + std::to_string(h) + ":" + std::to_string(m));
        }
    // The counting did count: many moments were full cells' rest.
    EXPECT_GT(counted, 100000);
}

}  // namespace
}  // namespace qv::test

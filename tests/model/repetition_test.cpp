#include "model/repetition.h"

#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// Writes `r` into a daily alarm anchored at `anchor` (with a date range that
// must survive) and gives the alarm.
AlarmPtr alarmWith(const Repetition& r, DateTime anchor) {
    auto a = ModelFixture::periodic(anchor, 3, kHours);
    a->activePeriod = Alarm::kRestrictDates | Alarm::kRestrictExpression;
    a->activeAdvanced = "HOUR >= 7";
    a->startDate = dt(2020, 1, 1);
    a->endDate = dt(2030, 1, 1);
    RepetitionTiming t{a->everyAmount, a->everyUnit,      a->activePeriod,
                       a->weekDays,    a->activeAdvanced, a->nextDate};
    EXPECT_TRUE(writeRepetition(r, t));
    a->everyAmount = t.everyAmount;
    a->everyUnit = t.everyUnit;
    a->activePeriod = t.activePeriod;
    a->weekDays = t.weekDays;
    a->activeAdvanced = t.activeAdvanced;
    a->nextDate = t.anchor;
    a->invalidateCaches();
    // The date range stays as it was; the same repetition reads back.
    EXPECT_TRUE(a->activePeriod & Alarm::kRestrictDates);
    EXPECT_EQ(readRepetition(t), r);
    return a;
}

std::vector<DateTime> moments(Alarm& a, DateTime from, int count) {
    std::vector<DateTime> out;
    a.listMomentsAfter(from, kNever, false, out, count);
    return out;
}

}  // namespace

// The kinds the dialog test does not walk through: several days every week,
// and an ordinal between the first and the last.
TEST(Repetition, SeveralDaysAWeekAndTheSecondMonday) {
    // 1 January 2025 was a Wednesday.
    auto a = alarmWith({RepetitionKind::kWeekly, 1, (1 << 2) | (1 << 4)}, dt(2025, 1, 1, 18, 0));
    EXPECT_EQ(moments(*a, dt(2025, 1, 1), 3),
              (std::vector<DateTime>{dt(2025, 1, 2, 18), dt(2025, 1, 7, 18), dt(2025, 1, 9, 18)}));
    a = alarmWith({RepetitionKind::kNthWeekday, 1, 0, 2, 2}, dt(2025, 1, 1, 8, 0));
    EXPECT_EQ(moments(*a, dt(2025, 1, 1), 2),
              (std::vector<DateTime>{dt(2025, 1, 13, 8), dt(2025, 2, 10, 8)}));
}

TEST(Repetition, TimingsItCannotShowStayCustom) {
    RepetitionTiming t;
    t.anchor = dt(2025, 1, 1, 8);
    t.activePeriod = Alarm::kRestrictExpression;
    // An expression written by hand that says more than the picker can.
    t.activeAdvanced = "weekday == monday && dayofmonth <= 7 && month == 3";
    EXPECT_EQ(readRepetition(t).kind, RepetitionKind::kCustom);
    // The same words in another case and spacing are still the picker's.
    t.activeAdvanced = "weekday==MONDAY&&dayOfMonth<=7";
    EXPECT_EQ(readRepetition(t), (Repetition{RepetitionKind::kNthWeekday, 1, 0, 1, 2}));
    // Weekdays on a grid of two days, or weekdays and an expression together.
    t.activePeriod = Alarm::kRestrictWeekdays;
    t.weekDays = kWorkingDays;
    t.everyAmount = 2;
    EXPECT_EQ(readRepetition(t).kind, RepetitionKind::kCustom);
    t.everyAmount = 1;
    t.activePeriod = Alarm::kRestrictWeekdays | Alarm::kRestrictExpression;
    EXPECT_EQ(readRepetition(t).kind, RepetitionKind::kCustom);
    // A weekly grid restricted to a day it never meets.
    t.activePeriod = Alarm::kRestrictWeekdays;
    t.everyUnit = kWeeks;
    t.weekDays = 1 << 1;  // Monday; the anchor is a Wednesday
    EXPECT_EQ(readRepetition(t).kind, RepetitionKind::kCustom);
    t.weekDays = 1 << 3;
    EXPECT_EQ(readRepetition(t), (Repetition{RepetitionKind::kWeekly, 1, 1 << 3}));
}

TEST(Repetition, WhatTheFieldsCannotHoldIsRefusedAndChangesNothing) {
    RepetitionTiming t;
    t.anchor = dt(2025, 1, 1, 8);
    t.activePeriod = Alarm::kRestrictDates | Alarm::kRestrictExpression;
    t.activeAdvanced = "HOUR >= 7";
    const RepetitionTiming before = t;
    auto same = [&] {
        return t.everyAmount == before.everyAmount && t.everyUnit == before.everyUnit &&
               t.activePeriod == before.activePeriod && t.weekDays == before.weekDays &&
               t.activeAdvanced == before.activeAdvanced && t.anchor == before.anchor;
    };
    EXPECT_FALSE(writeRepetition({RepetitionKind::kWeekly, 2, (1 << 1) | (1 << 3)}, t));
    EXPECT_TRUE(same());
    EXPECT_FALSE(writeRepetition({RepetitionKind::kWeekly, 1, 0}, t));
    EXPECT_TRUE(same());
    EXPECT_FALSE(writeRepetition({RepetitionKind::kNthWeekday, 1, 0, 6, 2}, t));
    EXPECT_FALSE(writeRepetition({RepetitionKind::kCustom}, t));
    EXPECT_TRUE(same());
}

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
    RepetitionTiming t{a->everyAmount, a->everyUnit, a->activePeriod, a->weekDays,
                       a->activeAdvanced, a->nextDate};
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

TEST(Repetition, EachKindSoundsWhenItSays) {
    // 1 January 2025 was a Wednesday.
    Repetition weekday{RepetitionKind::kEveryWeekday};
    auto a = alarmWith(weekday, dt(2025, 1, 1, 7, 30));
    EXPECT_EQ(moments(*a, dt(2025, 1, 3, 8), 2),
              (std::vector<DateTime>{dt(2025, 1, 6, 7, 30), dt(2025, 1, 7, 7, 30)}));

    // Every second week on Friday: the anchor moves onto the first Friday.
    Repetition fortnight{RepetitionKind::kWeekly, 2, 1 << 5};
    a = alarmWith(fortnight, dt(2025, 1, 1, 9, 0));
    EXPECT_EQ(a->nextDate, dt(2025, 1, 3, 9, 0));
    EXPECT_EQ(moments(*a, dt(2025, 1, 1), 3),
              (std::vector<DateTime>{dt(2025, 1, 3, 9), dt(2025, 1, 17, 9), dt(2025, 1, 31, 9)}));

    // Every week on Tuesday and Thursday.
    Repetition twice{RepetitionKind::kWeekly, 1, (1 << 2) | (1 << 4)};
    a = alarmWith(twice, dt(2025, 1, 1, 18, 0));
    EXPECT_EQ(moments(*a, dt(2025, 1, 1), 3),
              (std::vector<DateTime>{dt(2025, 1, 2, 18), dt(2025, 1, 7, 18), dt(2025, 1, 9, 18)}));

    // The second Monday, the last Friday.
    Repetition second{RepetitionKind::kNthWeekday, 1, 0, 2, 2};
    a = alarmWith(second, dt(2025, 1, 1, 8, 0));
    EXPECT_EQ(moments(*a, dt(2025, 1, 1), 2),
              (std::vector<DateTime>{dt(2025, 1, 13, 8), dt(2025, 2, 10, 8)}));
    Repetition lastFriday{RepetitionKind::kNthWeekday, 1, 0, Repetition::kLast, 6};
    a = alarmWith(lastFriday, dt(2025, 1, 1, 8, 0));
    EXPECT_EQ(moments(*a, dt(2025, 1, 1), 3),
              (std::vector<DateTime>{dt(2025, 1, 31, 8), dt(2025, 2, 28, 8), dt(2025, 3, 28, 8)}));

    Repetition lastDay{RepetitionKind::kLastDayOfMonth};
    a = alarmWith(lastDay, dt(2024, 1, 1, 20, 0));
    EXPECT_EQ(moments(*a, dt(2024, 1, 31, 21), 2),
              (std::vector<DateTime>{dt(2024, 2, 29, 20), dt(2024, 3, 31, 20)}));
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

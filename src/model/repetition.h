#pragma once
// The repetitions people ask for most ("every weekday", "every second week on
// Monday", "the last Friday of the month", "the last day of the month"),
// written with the timing fields every alarm already has: the period, the
// weekday restriction and the advanced expression. Nothing new is stored, so
// an alarm made this way reads back here and everywhere else alike.

#include <cstdint>
#include <string>

#include "base/datetime.h"

namespace qv {

// The timing fields a repetition decides. The date range (bit 2 of
// activePeriod, start and end) and the correction are never touched.
struct RepetitionTiming {
    std::int32_t everyAmount = 1;
    std::int16_t everyUnit = 3;
    std::int16_t activePeriod = 0;
    std::int16_t weekDays = 0;
    std::string activeAdvanced;
    DateTime anchor;  // the period grid's anchor (nextDate): its time of day is the alarm's
};

enum class RepetitionKind { kCustom = 0, kEveryWeekday, kWeekly, kNthWeekday, kLastDayOfMonth };

struct Repetition {
    static constexpr int kLast = 5;  // ordinal of "the last ..."
    RepetitionKind kind = RepetitionKind::kCustom;
    int weeks = 1;          // kWeekly: every this many weeks
    std::int16_t days = 0;  // kWeekly: weekday bits, bit 0 Sunday .. bit 6 Saturday
    int ordinal = 1;        // kNthWeekday: 1 to 4, or kLast
    int weekday = 2;        // kNthWeekday: 1 Sunday .. 7 Saturday
    bool operator==(const Repetition&) const = default;
};

// Monday to Friday as weekday bits.
constexpr std::int16_t kWorkingDays = 0b0111110;

// Which common repetition `t` is; kCustom when it is none of them (or one
// written in a way this does not recognise).
Repetition readRepetition(const RepetitionTiming& t);

// Writes `r` into `t`. False, leaving `t` as it was, for a repetition the
// timing fields cannot hold: no day at all, several days every two or more
// weeks (the period grid meets one weekday per period), or kCustom.
bool writeRepetition(const Repetition& r, RepetitionTiming& t);

// The expression of the n-th (or last) weekday of the month, as written.
std::string nthWeekdayExpression(int ordinal, int weekday);

}  // namespace qv

#include "model/repetition.h"

#include <array>
#include <bit>
#include <cctype>

#include "model/alarm.h"

namespace qv {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                                  "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr std::int16_t kDatesBit = Alarm::kRestrictDates;
constexpr std::int16_t kWeekdaysBit = Alarm::kRestrictWeekdays;
constexpr std::int16_t kExpressionBit = Alarm::kRestrictExpression;
constexpr const char* kLastDayExpression = "DAYSBEFORENEXTMONTH == 1";

// Spaces out, upper case: how the evaluator itself reads an expression.
std::string normalised(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool dailyGrid(const RepetitionTiming& t) { return t.everyUnit == kDays && t.everyAmount == 1; }

}  // namespace

std::string nthWeekdayExpression(int ordinal, int weekday) {
    const std::string day =
        std::string("WEEKDAY == ") + kDayNames[static_cast<std::size_t>((weekday + 6) % 7)];
    if (ordinal == Repetition::kLast) return day + " && DAYSBEFORENEXTMONTH <= 7";
    if (ordinal <= 1) return day + " && DAYOFMONTH <= 7";
    const int first = 7 * (ordinal - 1) + 1;
    return day + " && DAYOFMONTH >= " + std::to_string(first) +
           " && DAYOFMONTH <= " + std::to_string(first + 6);
}

Repetition readRepetition(const RepetitionTiming& t) {
    Repetition r;
    const bool days = (t.activePeriod & kWeekdaysBit) != 0;
    const bool expression = (t.activePeriod & kExpressionBit) != 0;
    if (dailyGrid(t) && days && !expression && t.weekDays != 0 && (t.weekDays & ~0x7f) == 0) {
        if (t.weekDays == kWorkingDays) {
            r.kind = RepetitionKind::kEveryWeekday;
        } else {
            r.kind = RepetitionKind::kWeekly;
            r.days = t.weekDays;
        }
        return r;
    }
    if (t.everyUnit == kWeeks && t.everyAmount >= 1 && !expression && t.anchor < kGivenUp) {
        // A grid of whole weeks meets the anchor's weekday only; a weekday
        // restriction that allows exactly that day changes nothing.
        const std::int16_t anchorDay = static_cast<std::int16_t>(1 << (t.anchor.weekday() - 1));
        if (!days || t.weekDays == anchorDay) {
            r.kind = RepetitionKind::kWeekly;
            r.weeks = t.everyAmount;
            r.days = anchorDay;
            return r;
        }
    }
    if (dailyGrid(t) && expression && !days) {
        const std::string text = normalised(t.activeAdvanced);
        if (text == normalised(kLastDayExpression)) {
            r.kind = RepetitionKind::kLastDayOfMonth;
            return r;
        }
        for (int ordinal = 1; ordinal <= Repetition::kLast; ++ordinal)
            for (int weekday = 1; weekday <= 7; ++weekday)
                if (text == normalised(nthWeekdayExpression(ordinal, weekday))) {
                    r.kind = RepetitionKind::kNthWeekday;
                    r.ordinal = ordinal;
                    r.weekday = weekday;
                    return r;
                }
    }
    return r;
}

bool writeRepetition(const Repetition& r, RepetitionTiming& t) {
    RepetitionTiming out = t;
    // Only the date range stays of the restrictions; each kind sets its own.
    out.activePeriod = static_cast<std::int16_t>(t.activePeriod & kDatesBit);
    switch (r.kind) {
        case RepetitionKind::kCustom:
            return false;
        case RepetitionKind::kEveryWeekday:
            out.everyAmount = 1;
            out.everyUnit = kDays;
            out.activePeriod |= kWeekdaysBit;
            out.weekDays = kWorkingDays;
            break;
        case RepetitionKind::kWeekly: {
            const std::int16_t days = static_cast<std::int16_t>(r.days & 0x7f);
            if (days == 0 || r.weeks < 1) return false;
            if (r.weeks == 1) {
                out.everyAmount = 1;
                out.everyUnit = kDays;
                out.activePeriod |= kWeekdaysBit;
                out.weekDays = days;
                break;
            }
            if (std::popcount(static_cast<unsigned>(days)) != 1) return false;
            if (!(t.anchor < kGivenUp)) return false;
            // The grid runs through the anchor: moved forward onto the day.
            const int day = std::countr_zero(static_cast<unsigned>(days)) + 1;
            out.anchor = addToDate(t.anchor, (day - t.anchor.weekday() + 7) % 7, kDays);
            out.everyAmount = r.weeks;
            out.everyUnit = kWeeks;
            break;
        }
        case RepetitionKind::kNthWeekday:
            if (r.ordinal < 1 || r.ordinal > Repetition::kLast || r.weekday < 1 || r.weekday > 7)
                return false;
            out.everyAmount = 1;
            out.everyUnit = kDays;
            out.activePeriod |= kExpressionBit;
            out.activeAdvanced = nthWeekdayExpression(r.ordinal, r.weekday);
            break;
        case RepetitionKind::kLastDayOfMonth:
            out.everyAmount = 1;
            out.everyUnit = kDays;
            out.activePeriod |= kExpressionBit;
            out.activeAdvanced = kLastDayExpression;
            break;
    }
    t = out;
    return true;
}

}  // namespace qv

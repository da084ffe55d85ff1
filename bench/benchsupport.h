#pragma once
// What the alarm benchmarks share: a fixed mix of 10 000 alarms in 10 groups,
// and a console reporter that keeps the best CPU time of every benchmark.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/random.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"

namespace qv::bench {

using qv::Alarm;
using qv::AlarmGroup;
using qv::AlarmPtr;
using qv::DateTime;

constexpr int kGroups = 10;
constexpr int kAlarmsPerGroup = 1000;
constexpr int kAlarms = kGroups * kAlarmsPerGroup;

// The scan's query moment. Every alarm moment built below falls on a whole
// minute, so queries from hh:mm:01 to hh:mm:59 all stay within the cached answers.
inline const DateTime kScanFrom = DateTime::fromParts(2025, 6, 15, 14, 37, 1);
constexpr int kWarmSpan = 59;

// ---- The alarm mix ------------------------------------------------------------------

struct AlarmMix {
    qv::Vector<AlarmGroup> groups;
    std::map<std::string, int> kinds;
};

inline DateTime onMinute(qv::RandomSource& rnd, int year, int month, int day) {
    return DateTime::fromParts(year, month, day, rnd.below(24), rnd.below(60), 0);
}

inline void setPeriodic(Alarm& a, DateTime anchor, std::int32_t amount, int unit) {
    a.momentKind = Alarm::kPeriodic;
    a.nextDate = anchor;
    a.everyAmount = amount;
    a.everyUnit = static_cast<std::int16_t>(unit);
}

// Fills one alarm of a kind chosen by the seeded source; returns the kind's name.
inline const char* fillAlarm(Alarm& a, qv::RandomSource& rnd) {
    a.onceDate = a.nextDate = a.startDate = a.endDate = qv::kNever;
    const int pick = rnd.below(100);
    // Anchors lie in 2023..2025, before and after the query.
    const int anchorYear = 2023 + rnd.below(3);
    const int anchorMonth = 1 + rnd.below(12);
    const int anchorDay = 1 + rnd.below(28);
    const char* kind;
    if (pick < 10) {
        a.momentKind = Alarm::kOnce;
        a.onceDate = qv::addToDate(kScanFrom, -(1 + rnd.below(400 * 24 * 60)), qv::kMinutes);
        a.onceDate = DateTime(a.onceDate.seconds() - a.onceDate.second());
        kind = "one-off, past";
    } else if (pick < 20) {
        a.momentKind = Alarm::kOnce;
        a.onceDate = qv::addToDate(kScanFrom, 1 + rnd.below(400 * 24 * 60), qv::kMinutes);
        a.onceDate = DateTime(a.onceDate.seconds() - a.onceDate.second() + 60);
        kind = "one-off, future";
    } else if (pick < 38) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1 + rnd.below(3),
                    qv::kDays);
        kind = "daily";
    } else if (pick < 52) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kDays);
        a.activePeriod = Alarm::kRestrictWeekdays;
        a.weekDays = static_cast<std::int16_t>(1 + rnd.below(127));
        kind = "daily, weekdays";
    } else if (pick < 60) {
        static const int kLongMonths[] = {1, 3, 5, 7, 8, 10, 12};
        setPeriodic(a, onMinute(rnd, anchorYear, kLongMonths[rnd.below(7)], 31), 1, qv::kMonths);
        kind = "monthly on the 31st";
    } else if (pick < 66) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kDays);
        a.activePeriod = Alarm::kRestrictExpression;
        a.activeAdvanced = "DAYOFMONTH <= 7 && WEEKDAY == MONDAY";
        kind = "daily, first Monday";
    } else if (pick < 72) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kDays);
        a.activePeriod = Alarm::kRestrictExpression;
        a.activeAdvanced = "MONTH == 2 || MONTH == 8";
        kind = "daily, February or August";
    } else if (pick < 80) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kHours);
        a.activePeriod = Alarm::kRestrictExpression;
        a.activeAdvanced = "(HOUR >= 8 && HOUR <= 17) && WEEKDAY != SUNDAY";
        kind = "hourly, working hours";
    } else if (pick < 86) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kDays);
        a.correctionAmount = -(5 + rnd.below(60));
        a.correctionUnit = qv::kMinutes;
        kind = "daily, minutes correction";
    } else if (pick < 91) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kWeeks);
        a.correctionAmount = rnd.below(2) == 0 ? -1 : -2;
        a.correctionUnit = qv::kDays;
        kind = "weekly, days correction";
    } else if (pick < 96) {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, 28 + rnd.below(4)), 1, qv::kMonths);
        a.correctionAmount = rnd.below(2) == 0 ? -1 : 1;
        a.correctionUnit = qv::kMonths;
        kind = "monthly, months correction";
    } else {
        setPeriodic(a, onMinute(rnd, anchorYear, anchorMonth, anchorDay), 1, qv::kDays);
        a.activePeriod = Alarm::kRestrictDates;
        // Ranges in the past, around the query and in the future.
        const int startOffset = -300 + rnd.below(500);
        a.startDate = qv::addToDate(kScanFrom.date(), startOffset, qv::kDays);
        a.endDate = qv::addToDate(a.startDate, 10 + rnd.below(120), qv::kDays);
        kind = "daily, date range";
    }
    return kind;
}

inline const AlarmMix& alarmMix() {
    static const AlarmMix mix = [] {
        AlarmMix m;
        qv::RandomSource rnd(20250615);
        for (int g = 0; g < kGroups; ++g) {
            auto group = std::make_shared<AlarmGroup>();
            group->name = "group " + std::to_string(g);
            for (int i = 0; i < kAlarmsPerGroup; ++i) {
                auto a = Alarm::createAlarm(group);
                a->soundAfterInactive = true;  // as stored alarms are by default
                a->name = "alarm " + std::to_string(g) + "." + std::to_string(i);
                ++m.kinds[fillAlarm(*a, rnd)];
                group->addAlarm(a);
            }
            m.groups.addElement(group);
        }
        return m;
    }();
    return mix;
}

inline void invalidateAll(const qv::Vector<AlarmGroup>& groups) {
    for (const auto& g : groups)
        for (const auto& a : g->alarms) a->invalidateCaches();
}

// Console output as usual, plus the best CPU time per iteration (seconds) of
// every benchmark, for the closing comparison.
class CapturingReporter : public benchmark::ConsoleReporter {
public:
    CapturingReporter()
        : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            const double perIteration = run.cpu_accumulated_time / run.iterations;
            const std::string name = run.run_name.str();
            auto found = best.find(name);
            if (found == best.end() || perIteration < found->second) best[name] = perIteration;
        }
    }
    std::map<std::string, double> best;
};

}  // namespace qv::bench

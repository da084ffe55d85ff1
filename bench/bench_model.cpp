// Alarm timing benchmarks: the supervision's scan over many alarms (cold and
// cached), and one restricted next-moment query against libical's recurrence
// iterator for the same rule.

#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/datetime.h"
#include "base/random.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/clsadvanceddate.h"
#include "benchsupport.h"

namespace {

using namespace qv::bench;
using qv::Alarm;
using qv::AlarmGroup;
using qv::AlarmPtr;
using qv::DateTime;

// Prints the mix once and checks the scan sees what the mix should give.
void describeMix() {
    const AlarmMix& mix = alarmMix();
    invalidateAll(mix.groups);
    const auto earliest = qv::getEarliestAlarmsAfter(mix.groups, kScanFrom, false);
    int withMoment = 0;
    int givenUp = 0;
    for (const auto& g : mix.groups)
        for (const auto& a : g->alarms) {
            if (!a->hasNextAlarmDateAfter(kScanFrom, false)) continue;
            ++withMoment;
            if (a->getNextAlarmDateAfter() >= qv::addToDate(qv::kGivenUp, -1, qv::kYears))
                ++givenUp;
        }
    std::printf("Alarm mix (%d alarms in %d groups, query %s):\n", kAlarms, kGroups,
                qv::toStoredText(kScanFrom).c_str());
    for (const auto& [kind, count] : mix.kinds) std::printf("  %-28s %5d\n", kind.c_str(), count);
    std::printf("  with a next moment: %d (given up: %d); earliest %s (%zu alarm(s))\n\n",
                withMoment, givenUp, qv::toStoredText(earliest.date).c_str(),
                earliest.alarms.size());
    if (earliest.alarms.empty() || earliest.date <= kScanFrom ||
        earliest.date.seconds() - kScanFrom.seconds() < kWarmSpan) {
        std::fprintf(stderr, "bench_model: the earliest moment lies inside the warm span\n");
        std::exit(1);
    }
}

// ---- (a) The supervision's scan ---------------------------------------------------

void scanCold(benchmark::State& state) {
    const auto& groups = alarmMix().groups;
    for (auto _ : state) {
        state.PauseTiming();
        invalidateAll(groups);
        state.ResumeTiming();
        auto r = qv::getEarliestAlarmsAfter(groups, kScanFrom, false);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * kAlarms);
}

void scanWarm(benchmark::State& state) {
    const auto& groups = alarmMix().groups;
    invalidateAll(groups);
    // Fills the caches at the start of the span; later queries in it reuse them.
    benchmark::DoNotOptimize(qv::getEarliestAlarmsAfter(groups, kScanFrom, false));
    int offset = 0;
    for (auto _ : state) {
        auto r = qv::getEarliestAlarmsAfter(groups, DateTime(kScanFrom.seconds() + offset), false);
        benchmark::DoNotOptimize(r);
        if (++offset == kWarmSpan) offset = 0;
    }
    state.SetItemsProcessed(state.iterations() * kAlarms);
}

// ---- (b) The second Tuesday of the month --------------------------------------------

constexpr int kQueryDays = 365;

// Query moments over 2025 at odd seconds, so none falls on an occurrence
// (ours answers strictly after, libical from the start on).
std::vector<DateTime> queryMoments() {
    std::vector<DateTime> q;
    for (int d = 0; d < kQueryDays; ++d)
        q.push_back(DateTime::fromParts(2025, 1, 1 + d, 0, 0, ((d * 7919) % 86400) | 1));
    return q;
}

AlarmPtr secondTuesdayAlarm() {
    auto a = Alarm::createAlarm(nullptr);
    a->onceDate = a->startDate = a->endDate = qv::kNever;
    setPeriodic(*a, DateTime::fromParts(2025, 1, 1, 9, 0, 0), 1, qv::kDays);
    a->activePeriod = Alarm::kRestrictWeekdays | Alarm::kRestrictExpression;
    a->weekDays = 1 << 2;
    a->activeAdvanced = "DAYOFMONTH >= 8 && DAYOFMONTH <= 14";
    return a;
}

icaltimetype toIcal(DateTime d) {
    icaltimetype t = icaltime_null_time();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    t.hour = d.hour();
    t.minute = d.minute();
    t.second = d.second();
    t.is_date = 0;
    t.zone = nullptr;  // floating time
    return t;
}

DateTime fromIcal(const icaltimetype& t) {
    if (icaltime_is_null_time(t)) return qv::kNever;
    return DateTime::fromParts(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

struct IcalRule {
    icalrecurrencetype rule;
    icaltimetype dtstart;
};

const IcalRule& icalRule() {
    static const IcalRule r = [] {
        IcalRule x;
        x.rule = icalrecurrencetype_from_string("FREQ=MONTHLY;BYDAY=2TU");
        if (x.rule.freq == ICAL_NO_RECURRENCE) {
            std::fprintf(stderr, "bench_model: libical rejected the rule\n");
            std::exit(1);
        }
        x.dtstart = toIcal(DateTime::fromParts(2025, 1, 14, 9, 0, 0));
        return x;
    }();
    return r;
}

DateTime icalNextAfter(const IcalRule& r, DateTime query) {
    icalrecur_iterator* it = icalrecur_iterator_new(r.rule, r.dtstart);
    if (query > fromIcal(r.dtstart)) icalrecur_iterator_set_start(it, toIcal(query));
    DateTime next = fromIcal(icalrecur_iterator_next(it));
    icalrecur_iterator_free(it);
    return next;
}

DateTime quorvaneNextAfter(Alarm& a, DateTime query) {
    a.invalidateCaches();
    return a.hasNextAlarmDateAfter(query, false) ? a.getNextAlarmDateAfter() : qv::kNever;
}

// The second Tuesday at 09:00 strictly after `query`, counted directly.
DateTime expectedSecondTuesday(DateTime query) {
    for (int m = 0; m < 3; ++m) {
        const DateTime first = DateTime::fromParts(query.year(), query.month() + m, 1);
        const int toTuesday = (3 - first.weekday() + 7) % 7;  // 1 Sunday .. 7 Saturday
        const DateTime t = DateTime::fromParts(first.year(), first.month(), 1 + toTuesday + 7, 9);
        if (t > query) return t;
    }
    return qv::kNever;
}

// Both sides must name the same moment for every query used in the timing.
void checkSecondTuesday() {
    auto alarm = secondTuesdayAlarm();
    const IcalRule& rule = icalRule();
    int bad = 0;
    for (DateTime q : queryMoments()) {
        const DateTime ours = quorvaneNextAfter(*alarm, q);
        const DateTime theirs = icalNextAfter(rule, q);
        const DateTime expected = expectedSecondTuesday(q);
        if (ours != theirs || ours != expected) {
            if (++bad <= 5)
                std::fprintf(stderr,
                             "bench_model: after %s quorvane gives %s, libical %s, expected %s\n",
                             qv::toStoredText(q).c_str(), qv::toStoredText(ours).c_str(),
                             qv::toStoredText(theirs).c_str(), qv::toStoredText(expected).c_str());
        }
    }
    if (bad > 0) {
        std::fprintf(stderr, "bench_model: %d of %d second-Tuesday queries disagree\n", bad,
                     kQueryDays);
        std::exit(1);
    }
    std::printf("Second Tuesday: quorvane and libical agree on all %d query moments\n\n",
                kQueryDays);
}

void nextSecondTuesdayQuorvane(benchmark::State& state) {
    auto alarm = secondTuesdayAlarm();
    const auto queries = queryMoments();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorvaneNextAfter(*alarm, queries[i]));
        if (++i == queries.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void nextSecondTuesdayLibical(benchmark::State& state) {
    const IcalRule& rule = icalRule();
    const auto queries = queryMoments();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(icalNextAfter(rule, queries[i]));
        if (++i == queries.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// ---- Summary --------------------------------------------------------------------------

void printSummary(const std::map<std::string, double>& best) {
    auto get = [&](const char* name) {
        auto f = best.find(name);
        return f == best.end() ? -1.0 : f->second;
    };
    std::printf("\nSummary (best CPU time per iteration):\n");
    const double cold = get("BM_EarliestScan/cold");
    const double warm = get("BM_EarliestScan/warm");
    if (cold >= 0)
        std::printf("  cold scan of %d alarms: %.3f ms (%.1f ns per alarm)\n", kAlarms, cold * 1e3,
                    cold * 1e9 / kAlarms);
    if (warm >= 0)
        std::printf("  warm scan of %d alarms: %.3f ms (%.1f ns per alarm): %s the 1 ms goal "
                    "(%.1f%% of it)\n",
                    kAlarms, warm * 1e3, warm * 1e9 / kAlarms, warm < 1e-3 ? "within" : "OVER",
                    warm / 1e-3 * 100);
    const double ours = get("BM_NextSecondTuesday/quorvane");
    const double theirs = get("BM_NextSecondTuesday/libical");
    if (ours >= 0 && theirs > 0)
        std::printf("  second Tuesday: quorvane %.0f ns, libical %.0f ns, ratio %.2fx: %s the 3x "
                    "goal\n",
                    ours * 1e9, theirs * 1e9, ours / theirs, ours <= 3 * theirs ? "within" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    describeMix();
    checkSecondTuesday();

    benchmark::RegisterBenchmark("BM_EarliestScan/cold", scanCold)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_EarliestScan/warm", scanWarm)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_NextSecondTuesday/quorvane", nextSecondTuesdayQuorvane);
    benchmark::RegisterBenchmark("BM_NextSecondTuesday/libical", nextSecondTuesdayLibical);

    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(reporter.best);
    benchmark::Shutdown();
    return 0;
}

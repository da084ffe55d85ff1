// Calendar benchmarks: the occurrences of the 10 000-alarm mix over a month
// view, the four days below it and a year view, listed and laid out on the
// calendar, and one repaint. As the program lists them (BM_Cells*: only what
// the cells can show, the rest counted into their "+N"), against listing and
// laying out every occurrence (the peers), and against the supervision's bare
// scan over the same alarms.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "base/datetime.h"
#include "benchsupport.h"
#include "controls/vcalendar.h"
#include "ui/calendarlisting.h"

namespace {

using namespace qv::bench;
using qv::DateTime;

// What the main window hands the view: every moment of every alarm overlapping
// the range, ordered by start (all importances).
qv::CalendarOccurrences listOccurrences(DateTime first, DateTime last) {
    return qv::listCalendarOccurrences(alarmMix().groups, first, last, -2, false);
}

struct View {
    int unit;
    const char* name;
};
constexpr View kMonth{qv::kMonths, "month"};
constexpr View kYear{qv::kYears, "year"};
// The lower view as the program starts it: four days, a line a day.
constexpr View kDays{qv::kDays, "days"};

std::unique_ptr<qv::VCalendar> makeCalendar(const View& v) {
    auto cal = std::make_unique<qv::VCalendar>();
    cal->resize(1000, 700);
    // Shown (off screen) so that the grid has its size: how much a cell shows
    // depends on it.
    cal->setAttribute(Qt::WA_DontShowOnScreen);
    cal->show();
    cal->setClock([] { return kScanFrom; });
    cal->setLockRefresh(true);
    cal->setScopeUnit(v.unit);
    cal->setFirstDate(kScanFrom);
    cal->setIntervalBarWidth(3);
    cal->setLockRefresh(false);
    cal->Refresh();
    return cal;
}

// As the view fills a calendar: one text, colour and object per alarm, shared by
// its occurrences, and one layout at the end.
void fill(qv::VCalendar& cal) {
    invalidateAll(alarmMix().groups);
    auto t0 = std::chrono::steady_clock::now();
    const auto occ = listOccurrences(cal.getFirstDateShown(), cal.getLastDateShown());
    auto t1 = std::chrono::steady_clock::now();
    cal.setLockRefresh(true);
    cal.clear();
    struct PerAlarm {
        QString name;
        std::int32_t colour = 0;
        std::shared_ptr<qv::VGridObject> obj;
    };
    std::vector<PerAlarm> per;
    for (const auto& a : occ.alarms) {
        auto g = a->parentGroup();
        per.push_back({QString::fromStdString(a->name), g ? g->Color : 0,
                       std::make_shared<qv::VGridObject>()});
    }
    cal.reserveEntries(static_cast<int>(occ.items.size()));
    for (const auto& o : occ.items) {
        const PerAlarm& a = per[o.alarm];
        cal.addEntry(o.start, o.end, a.name, QString(), a.colour, a.obj);
    }
    auto t2 = std::chrono::steady_clock::now();
    cal.setLockRefresh(false);
    cal.Refresh();
    auto t3 = std::chrono::steady_clock::now();
    // QUORVANE_BENCH_PHASES=1 prints where each filling's time went.
    if (qEnvironmentVariableIsSet("QUORVANE_BENCH_PHASES"))
        std::fprintf(stderr, "listing %.1f ms, adding %.1f ms, laying out %.1f ms\n",
                     std::chrono::duration<double, std::milli>(t1 - t0).count(),
                     std::chrono::duration<double, std::milli>(t2 - t1).count(),
                     std::chrono::duration<double, std::milli>(t3 - t2).count());
}

// As the program fills a view: only what its cells can show is listed.
void fillCells(qv::VCalendar& cal) {
    invalidateAll(alarmMix().groups);
    auto t0 = std::chrono::steady_clock::now();
    const auto occ =
        qv::listCalendarCells(alarmMix().groups, cal.cellBounds(), cal.cellCapacity(), -2, false);
    auto t1 = std::chrono::steady_clock::now();
    cal.setLockRefresh(true);
    cal.clear();
    struct PerAlarm {
        QString name;
        std::int32_t colour = 0;
        std::shared_ptr<qv::VGridObject> obj;
    };
    std::vector<PerAlarm> per;
    for (const auto& a : occ.alarms) {
        auto g = a->parentGroup();
        per.push_back({QString::fromStdString(a->name), g ? g->Color : 0,
                       std::make_shared<qv::VGridObject>()});
    }
    cal.reserveEntries(static_cast<int>(occ.items.size()));
    for (const auto& o : occ.items) {
        const PerAlarm& a = per[o.alarm];
        cal.addEntry(o.start, o.end, a.name, QString(), a.colour, a.obj);
    }
    cal.setListing(occ.cellBounds, occ.cellTotals, occ.perCell);
    auto t2 = std::chrono::steady_clock::now();
    cal.setLockRefresh(false);
    cal.Refresh();
    auto t3 = std::chrono::steady_clock::now();
    if (qEnvironmentVariableIsSet("QUORVANE_BENCH_PHASES"))
        std::fprintf(stderr, "cells: listing %.1f ms, adding %.1f ms, laying out %.1f ms\n",
                     std::chrono::duration<double, std::milli>(t1 - t0).count(),
                     std::chrono::duration<double, std::milli>(t2 - t1).count(),
                     std::chrono::duration<double, std::milli>(t3 - t2).count());
}

void cellsLayOut(benchmark::State& state, const View* v) {
    auto cal = makeCalendar(*v);
    std::size_t n = 0;
    for (auto _ : state) {
        fillCells(*cal);
        n = static_cast<std::size_t>(cal->NumberOfEntries());
    }
    state.counters["entries"] = static_cast<double>(n);
    state.counters["perCell"] = cal->cellCapacity();
}

void cellsRepaint(benchmark::State& state, const View* v) {
    auto cal = makeCalendar(*v);
    fillCells(*cal);
    QPixmap target(cal->size());
    for (auto _ : state) cal->render(&target);
}

void layOut(benchmark::State& state, const View* v) {
    auto cal = makeCalendar(*v);
    std::size_t n = 0;
    for (auto _ : state) {
        fill(*cal);
        n = static_cast<std::size_t>(cal->NumberOfEntries());
    }
    state.counters["entries"] = static_cast<double>(n);
}

void listOnly(benchmark::State& state, const View* v) {
    auto cal = makeCalendar(*v);
    for (auto _ : state) {
        invalidateAll(alarmMix().groups);
        benchmark::DoNotOptimize(
            listOccurrences(cal->getFirstDateShown(), cal->getLastDateShown()));
    }
}

void repaint(benchmark::State& state, const View* v) {
    auto cal = makeCalendar(*v);
    fill(*cal);
    QPixmap target(cal->size());
    for (auto _ : state) cal->render(&target);
}

void scanCold(benchmark::State& state) {
    const auto& groups = alarmMix().groups;
    for (auto _ : state) {
        state.PauseTiming();
        invalidateAll(groups);
        state.ResumeTiming();
        benchmark::DoNotOptimize(qv::getEarliestAlarmsAfter(groups, kScanFrom, false));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    benchmark::RegisterBenchmark("BM_Scan/cold", scanCold)->Unit(benchmark::kMillisecond);
    for (const View* v : {&kMonth, &kDays, &kYear}) {
        benchmark::RegisterBenchmark((std::string("BM_CellsListAndLayOut/") + v->name).c_str(),
                                     cellsLayOut, v)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
        benchmark::RegisterBenchmark((std::string("BM_CellsRepaint/") + v->name).c_str(),
                                     cellsRepaint, v)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
    }
    benchmark::RegisterBenchmark("BM_List/month", listOnly, &kMonth)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_ListAndLayOut/month", layOut, &kMonth)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_Repaint/month", repaint, &kMonth)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("BM_ListAndLayOut/days", layOut, &kDays)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_Repaint/days", repaint, &kDays)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("BM_List/year", listOnly, &kYear)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("BM_ListAndLayOut/year", layOut, &kYear)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("BM_Repaint/year", repaint, &kYear)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);

    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& best = reporter.best;
    auto get = [&](const char* name) {
        // Names carry the iteration count ("BM_Repaint/year/iterations:3").
        auto f = best.lower_bound(name);
        return f == best.end() || f->first.rfind(name, 0) != 0 ? -1.0 : f->second;
    };
    const double scan = get("BM_Scan/cold");
    std::printf(
        "\nSummary (best CPU time per iteration, ratio to the cold scan of %d alarms, "
        "%.3f ms):\n",
        kAlarms, scan * 1e3);
    for (const char* v : {"month", "days", "year"}) {
        const double list = get((std::string("BM_List/") + v).c_str());
        const double lay = get((std::string("BM_ListAndLayOut/") + v).c_str());
        const double paint = get((std::string("BM_Repaint/") + v).c_str());
        if (lay < 0 || paint < 0 || scan <= 0) continue;
        if (list >= 0)
            std::printf("  %-5s view: listing alone %.1f ms (%.0fx)\n", v, list * 1e3, list / scan);
        std::printf(
            "  %-5s view: list and lay out %.1f ms (%.0fx), repaint %.1f ms (%.0fx); "
            "switching %.1f ms: %s the 100 ms goal\n",
            v, lay * 1e3, lay / scan, paint * 1e3, paint / scan, (lay + paint) * 1e3,
            lay + paint < 0.1 ? "within" : "OVER");
    }
    // The calendar view shows a month above four days; with every importance
    // shown in both, switching to it lists, lays out and paints both.
    const double both = get("BM_ListAndLayOut/month") + get("BM_Repaint/month") +
                        get("BM_ListAndLayOut/days") + get("BM_Repaint/days");
    std::printf("  both views, every importance: switching %.1f ms: %s the 100 ms goal\n",
                both * 1e3, both < 0.1 ? "within" : "OVER");

    // As the program lists: what the cells can show, against listing everything.
    std::printf("\nListing only what the cells show, against listing every occurrence:\n");
    for (const char* v : {"month", "days", "year"}) {
        const double lay = get((std::string("BM_CellsListAndLayOut/") + v).c_str());
        const double paint = get((std::string("BM_CellsRepaint/") + v).c_str());
        const double allLay = get((std::string("BM_ListAndLayOut/") + v).c_str());
        const double allPaint = get((std::string("BM_Repaint/") + v).c_str());
        if (lay < 0 || paint < 0) continue;
        std::printf(
            "  %-5s view: list and lay out %.2f ms (%.3fx listing everything, %.1f ms), "
            "repaint %.2f ms (%.2fx, %.1f ms)\n",
            v, lay * 1e3, allLay > 0 ? lay / allLay : 0, allLay * 1e3, paint * 1e3,
            allPaint > 0 ? paint / allPaint : 0, allPaint * 1e3);
    }
    const double cellsBoth = get("BM_CellsListAndLayOut/month") + get("BM_CellsRepaint/month") +
                             get("BM_CellsListAndLayOut/days") + get("BM_CellsRepaint/days");
    const double cellsYear = get("BM_CellsListAndLayOut/year");
    std::printf(
        "  switching to the calendar view (month and four days, list, lay out, paint): "
        "%.1f ms: %s the 50 ms goal (%.3fx listing everything)\n",
        cellsBoth * 1e3, cellsBoth < 0.05 ? "within" : "OVER", both > 0 ? cellsBoth / both : 0);
    std::printf(
        "  year view (list and lay out): %.1f ms: %s the 100 ms goal (%.4fx listing "
        "everything)\n",
        cellsYear * 1e3, cellsYear < 0.1 ? "within" : "OVER",
        get("BM_ListAndLayOut/year") > 0 ? cellsYear / get("BM_ListAndLayOut/year") : 0);
    benchmark::Shutdown();
    return 0;
}

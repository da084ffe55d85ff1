// The cost of the supervision's tick with 10 000 alarms: an ordinary tick (no
// alarm due, warm caches) and the tick after a one-hour gap (the inactivity
// catch-up), next to the bare scan the tick is built around.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "base/colors.h"
#include "base/dateformat.h"
#include "benchsupport.h"
#include "core/program.h"

namespace {

using namespace qv;
using namespace qv::bench;

class BenchClock : public SupervisionClock {
public:
    DateTime current = kScanFrom;
    DateTime now() const override { return current; }
    double secondsSinceMidnight() const override { return current.secondsOfDay() + 0.25; }
    int utcOffsetSeconds() const override { return 0; }
};

class BenchTimer : public SupervisionTimer {
public:
    int ms = 0;
    bool active = false;
    void setInterval(int m) override { ms = m; }
    int interval() const override { return ms; }
    void start() override { active = true; }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
};

// Windows that do nothing: the benchmark measures the supervision alone.
class QuietUI : public UserInterface {
public:
    int messageBox(const std::string&, int, const std::string&) override { return mb::kAnswerYes; }
    void setBusy(bool) override {}
    void showBlocked(bool) override {}
    void updateLists() override {}
    void showSeeAlarms(int) override {}
    void showNextAlarm() override {}
    bool runFirstTimeSettings(SettingsValues&) override { return true; }
    void showNotice(const std::string&) override {}
    std::string toDoText() const override { return {}; }
    void setToDoText(const std::string&) override {}
    void runVersionCheck(bool) override {}
    MainWindowSettings mainWindowPlacement() const override { return {}; }
    void applyMainWindowPlacement(const MainWindowSettings&) override {}
    FontSettings listFont() const override { return {}; }
    void applyListFont(const FontSettings&) override {}
    XMLNodePtr calendarViewSettings() const override { return XMLNode::Create("calview"); }
    void applyCalendarViewSettings(const XMLNodePtr&) override {}
    XMLNodePtr activePlugInsSettings() const override { return XMLNode::Create("acpl"); }
    void applyActivePlugInsSettings(const XMLNodePtr&) override {}
    void updateColumnsToReal(XMLNode&) override {}
    void translateAll() override {}
    void resetLists(bool) override {}
    void unloadAllWindows() override {}
    void quit() override {}
};

class QuietPerformer : public ActionPerformer {
public:
    void showAlarmWindow(const AlarmPtr&, const clsAction&, DateTime, bool, const std::string&) override {}
    void playAlarmSound(const AlarmPtr&, const clsAction&, DateTime, bool, bool) override {}
    void speak(const std::string&) override {}
    void tellTime(const std::string&) override {}
    void soundAlarmClock() override {}
};

class QuietSession : public Session {
public:
    void startScreenSaver() override {}
    bool powerOff() override { return false; }
    bool reboot() override { return false; }
    bool logOff() override { return false; }
};

class QuietShell : public Shell {
public:
    bool open(const std::string&, const std::string&, const std::string&) override { return true; }
};

class OnlyInstance : public SingleInstance {
public:
    bool acquire() override { return true; }
};

struct Harness {
    BenchClock clock;
    BenchTimer timer;
    QuietUI ui;
    PlugInHost plugIns;
    QuietPerformer performer;
    QuietSession session;
    QuietShell shell;
    OnlyInstance instance;
    FixedSystemColors colours;
    EnglishDateNames names;
    Program program{Folders::forFolder("/nonexistent-quorvane-bench"),
                    CorePorts{clock, timer, ui, plugIns, performer, session, shell, instance,
                              colours, names}};

    Harness() {
        program.control.initSupervision();
        for (const auto& g : alarmMix().groups) program.alarmGroups.addElement(g);
        program.settings.wl = 32767;  // no question, however many sound at once
        program.settings.sa[0].shown = program.settings.sa[1].shown = 0;
        program.supervision.synchronizeMinute = -1;  // no synchronisation round in the run
        program.ctx.log = nullptr;
    }
};

Harness& harness() {
    static Harness h;
    return h;
}

void ordinaryTick(benchmark::State& state) {
    Harness& h = harness();
    Program& p = h.program;
    invalidateAll(p.alarmGroups);
    int offset = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Ticks within one minute, before the first alarm of the mix is due.
        p.supervision.lastSupervised = DateTime(kScanFrom.seconds() + offset);
        h.clock.current = DateTime(kScanFrom.seconds() + offset + 1);
        if (++offset == kWarmSpan - 1) offset = 0;
        state.ResumeTiming();
        p.control.onTimerTick();
    }
    state.counters["sounded"] = p.ctx.alarmsSounded;
}

void tickAfterAnHour(benchmark::State& state) {
    Harness& h = harness();
    Program& p = h.program;
    const int before = p.ctx.alarmsSounded;
    for (auto _ : state) {
        state.PauseTiming();
        p.supervision.lastSupervised = kScanFrom;
        p.supervision.inactivityDetected = false;
        h.clock.current = addToDate(kScanFrom, 1, kHours);
        state.ResumeTiming();
        p.control.onTimerTick();
    }
    state.counters["sounded per tick"] =
        static_cast<double>(p.ctx.alarmsSounded - before) / static_cast<double>(state.iterations());
}

void bareWarmScan(benchmark::State& state) {
    Harness& h = harness();
    invalidateAll(h.program.alarmGroups);
    int offset = 0;
    for (auto _ : state) {
        auto r = getEarliestAlarmsAfter(h.program.alarmGroups, DateTime(kScanFrom.seconds() + offset),
                                        false);
        benchmark::DoNotOptimize(r);
        if (++offset == kWarmSpan) offset = 0;
    }
}

// An alarm every second and a day of coming alarms (86 400 moments): the
// change notification's merge of an edited alarm's moments, against the
// listing of the same day from scratch.
struct EverySecond {
    Harness h;
    AlarmPtr alarm;
    EverySecond() {
        Program& p = h.program;
        p.alarmGroups.clear();
        auto group = std::make_shared<AlarmGroup>();
        group->name = "fast";
        alarm = Alarm::createAlarm(group);
        alarm->name = "every second";
        setPeriodic(*alarm, kScanFrom, 1, kSeconds);
        group->addAlarm(alarm);
        p.alarmGroups.addElement(group);
        p.settings.sa[1] = {1, 1, kDays};
        p.supervision.lastSupervised = kScanFrom;
        h.clock.current = kScanFrom;
    }
};

void seeAlarmsMerge(benchmark::State& state) {
    EverySecond e;
    for (auto _ : state) {
        state.PauseTiming();
        e.h.program.control.rebuildSeeAlarms(1);
        state.ResumeTiming();
        // An edit takes the alarm's moments out and merges them in again.
        e.h.program.control.alarmsChanged({e.alarm}, change::kEdited);
    }
    state.counters["listed"] = e.h.program.supervision.seeAlarms[1].dates.numberOfElements();
}

void seeAlarmsList(benchmark::State& state) {
    EverySecond e;
    for (auto _ : state) e.h.program.control.rebuildSeeAlarms(1);
    state.counters["listed"] = e.h.program.supervision.seeAlarms[1].dates.numberOfElements();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RegisterBenchmark("BM_Tick/ordinary", ordinaryTick)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_Tick/afterOneHourGap", tickAfterAnHour)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_EarliestScan/warm", bareWarmScan)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_SeeAlarms/everySecondEdited", seeAlarmsMerge)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_SeeAlarms/everySecondListed", seeAlarmsList)
        ->Unit(benchmark::kMillisecond);
    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto get = [&](const char* name) {
        auto f = reporter.best.find(name);
        return f == reporter.best.end() ? -1.0 : f->second;
    };
    const double tick = get("BM_Tick/ordinary");
    const double gap = get("BM_Tick/afterOneHourGap");
    const double scan = get("BM_EarliestScan/warm");
    std::printf("\nSummary (best CPU time per iteration, %d alarms):\n", kAlarms);
    if (tick >= 0)
        std::printf("  ordinary tick: %.3f ms: %s the 1 ms goal; %.2fx the bare warm scan\n",
                    tick * 1e3, tick < 1e-3 ? "within" : "OVER", scan > 0 ? tick / scan : 0.0);
    if (gap >= 0) std::printf("  tick after a one-hour gap: %.2f ms\n", gap * 1e3);
    const double merged = get("BM_SeeAlarms/everySecondEdited");
    const double listed = get("BM_SeeAlarms/everySecondListed");
    if (merged >= 0 && listed > 0)
        std::printf("  an alarm every second edited, a day of coming alarms: %.1f ms, %.2fx listing "
                    "the day from scratch (%.1f ms)\n",
                    merged * 1e3, merged / listed, listed * 1e3);
    benchmark::Shutdown();
    return 0;
}

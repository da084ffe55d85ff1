#include "core/alarmcontrol.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/program.h"
#include "model/clsadvanceddate.h"

namespace qv {
namespace {

constexpr double kOrdinaryTickMs = 30000;
constexpr double kShortTickLimitSeconds = 33;
constexpr int kModalRetryMs = 500;
// Occurrences listed per alarm at most (an alarm every second over a year
// would otherwise list 31 million).
constexpr int kOccurrenceLimit = 100000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Keeps `flag` set while a scope runs and restores it afterwards, so nested
// steps do not clear it early.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = old_; }

private:
    bool& flag_;
    bool old_;
};

}  // namespace

alarmControl::alarmControl(Program& program) : p_(program) {}

void alarmControl::initSupervision() {
    SupervisionState& s = p_.supervision;
    p_.alarmGroups.clear();
    s.nextAlarms.clear();
    for (SeeAlarmsList& list : s.seeAlarms) {
        list.alarms.clear();
        list.dates.clear();
        list.flags.clear();
        list.nextChange = kNever;
    }
    s.nextAlarmDate = kNever;
    s.pendingAttentionDate = kNever;
    s.inactivityDetected = false;
    p_.random.seed(static_cast<std::uint32_t>(p_.ports.clock.secondsSinceMidnight() * 1000));
    s.versionCheckMinute = p_.random.below(60);
    s.synchronizeMinute = p_.now().minute();
}

// ---- The tick ---------------------------------------------------------------------

void alarmControl::onTimerTick() {
    if (p_.modalOpen) {
        p_.ports.timer.setInterval(kModalRetryMs);
        p_.ports.timer.start();
        return;
    }
    SupervisionState& s = p_.supervision;

    getSupervisionNow(false);
    if (s.inactivityDetected) {
        s.inactivityDetected = false;
        catchUpAfterInactivity();
        s.inactivityDetected = false;
    }

    if (s.pendingWork & pending::kExactTick) {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kExactTick);
        // A timer that fires a moment early must not sound the alarms before
        // their second: the check below times a tick again for them.
        if (correctedNow() >= s.nextAlarmDate && !(s.nextAlarms.numberOfElements() == 0)) {
            const std::vector<AlarmPtr> alarms(s.nextAlarms.begin(), s.nextAlarms.end());
            const std::vector<DateTime> dates(alarms.size(), s.nextAlarmDate);
            soundAlarms(alarms, dates, true);
            if (!s.blocked) s.lastSupervised = std::max(s.lastSupervised, s.nextAlarmDate);
            alarmsChanged(alarms, change::kSounded);
        }
    }

    if (s.pendingWork & pending::kRefreshSeeAlarms0) {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kRefreshSeeAlarms0);
        refreshSeeAlarms(0);
    }
    if (s.pendingWork & pending::kRefreshSeeAlarms1) {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kRefreshSeeAlarms1);
        refreshSeeAlarms(1);
    }
    if ((s.pendingWork & pending::kSaveSettings) && p_.settingsStore.saveSettings())
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveSettings);
    if ((s.pendingWork & pending::kSaveGroups) && p_.settings.as && p_.main.saveChangedAlarmGroups())
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveGroups);
    if ((s.pendingWork & pending::kSaveToDo) && p_.settings.as && p_.main.saveToDoText())
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveToDo);
    if (s.pendingWork & pending::kAttention) soundPendingAttentionAlarm();

    checkAlarms();
}

DateTime alarmControl::correctedNow() const {
    // The timer correction is in milliseconds; whole seconds, rounded down.
    return DateTime(p_.now().seconds() - floorDiv(p_.settings.tc, 1000));
}

DateTime alarmControl::getSupervisionNow(bool ignoreInactivity) {
    SupervisionState& s = p_.supervision;
    const DateTime now = correctedNow();
    if (!ignoreInactivity && p_.settings.tiia > 0) {
        const std::int64_t gap = now.seconds() - s.lastSupervised.seconds();
        if (gap < static_cast<std::int64_t>(p_.settings.tiia) * 60 && !s.inactivityDetected)
            return now;
        // Time stands still until the catch-up has run.
        s.inactivityDetected = true;
        return s.lastSupervised;
    }
    return now;
}

EarliestAlarms alarmControl::getEarliestAlarmsAfter(DateTime from, bool onlyAfterInactive) {
    return qv::getEarliestAlarmsAfter(
        p_.alarmGroups, from, onlyAfterInactive,
        [this](const AlarmGroup& g, const Alarm& a, const std::string& message) {
            reportExpressionError(g, a, message);
        });
}

void alarmControl::reportExpressionError(const AlarmGroup& g, const Alarm& a,
                                         const std::string& message) {
    // Written to the log once per alarm and expression, not at every tick.
    const std::string key = g.name + '\x1f' + a.name + '\x1f' + a.activeAdvanced;
    if (!reportedErrors_.insert(key).second) return;
    if (p_.ctx.log)
        p_.ctx.log("alarm \"" + a.name + "\" of group \"" + g.name + "\": cannot evaluate \"" +
                   a.activeAdvanced + "\": " + message);
}

void alarmControl::collectDue(DateTime from, DateTime to, bool onlyAfterInactive,
                              std::vector<AlarmPtr>& due, std::vector<DateTime>& dates,
                              EarliestAlarms& last) {
    for (;;) {
        EarliestAlarms found = getEarliestAlarmsAfter(from, onlyAfterInactive);
        if (found.alarms.empty() || to < found.date) {
            last = std::move(found);
            return;
        }
        for (const AlarmPtr& a : found.alarms) {
            due.push_back(a);
            dates.push_back(found.date);
        }
        from = found.date;
    }
}

void alarmControl::checkAlarmsWithoutScheduling() {
    SupervisionState& s = p_.supervision;
    const DateTime now = getSupervisionNow(false);
    if (now < s.lastSupervised) {
        // The clock was set back.
        s.lastSupervised = now;
        rebuildSeeAlarms(0);
        rebuildSeeAlarms(1);
    }
    s.nextAlarms.clear();
    std::vector<AlarmPtr> due;
    std::vector<DateTime> dates;
    EarliestAlarms last;
    if (s.blocked) {
        // Nothing sounds while blocked: only the next alarms are wanted.
        last = getEarliestAlarmsAfter(now, false);
    } else {
        collectDue(s.lastSupervised, now, false, due, dates, last);
    }
    if (!due.empty()) soundAlarms(due, dates, true);
    for (const AlarmPtr& a : last.alarms) s.nextAlarms.addElement(a);
    s.nextAlarmDate = last.alarms.empty() ? kNever : last.date;
    p_.ports.ui.showNextAlarm();
    if (!s.blocked) s.lastSupervised = std::max(s.lastSupervised, now);
}

void alarmControl::checkAlarms() {
    checkAlarmsWithoutScheduling();
    scheduleNextTick();
}

void alarmControl::checkNow() {
    SupervisionState& s = p_.supervision;
    if (s.blocked) return;
    const DateTime now = correctedNow();
    if (now < s.nextAlarmDate) {
        s.lastSupervised = std::max(s.lastSupervised, now);
    } else {
        checkAlarms();
    }
}

// ---- Sounding ---------------------------------------------------------------------

void alarmControl::soundAlarms(const std::vector<AlarmPtr>& alarms,
                               const std::vector<DateTime>& dates, bool respectBlocked) {
    SupervisionState& s = p_.supervision;
    if (respectBlocked && s.blocked) return;
    if (static_cast<long>(alarms.size()) > p_.settings.wl) {
        const int answer = p_.main.showMessageBox(
            std::to_string(alarms.size()) + p_.translation.getMainText(208), 52);
        if (answer != mb::kAnswerYes) return;
    }
    for (std::size_t i = 0; i < alarms.size() && i < dates.size(); ++i) {
        const AlarmPtr& alarm = alarms[i];
        const DateTime date = dates[i];
        alarm->soundAlarm(p_.ctx, date, respectBlocked);
        const ExtraAlarm& secondary = p_.secondaryAlarm;
        if (secondary.enabled == 1 && secondary.alarm && alarm->importance >= secondary.threshold)
            secondary.alarm->soundAlarm(p_.ctx, date, respectBlocked);
        const ExtraAlarm& attention = p_.attentionAlarm;
        if (attention.enabled == 1 && attention.alarm && alarm->importance >= attention.threshold &&
            s.pendingAttentionDate == kNever) {
            s.pendingAttentionDate = addToDate(date, 10, kSeconds);
            s.pendingWork &= static_cast<std::uint8_t>(~pending::kAttention);
        }
    }
}

void alarmControl::soundPendingAttentionAlarm() {
    SupervisionState& s = p_.supervision;
    s.pendingWork &= static_cast<std::uint8_t>(~pending::kAttention);
    if (s.pendingAttentionDate == kNever || getSupervisionNow(false) < s.pendingAttentionDate) return;
    s.pendingAttentionDate = kNever;
    if (p_.attentionAlarm.alarm)
        soundAlarms({p_.attentionAlarm.alarm}, {p_.now()}, true);
}

void alarmControl::catchUpAfterInactivity() {
    SupervisionState& s = p_.supervision;
    const DateTime now = getSupervisionNow(true);
    if (!s.blocked) {
        std::vector<AlarmPtr> due;
        std::vector<DateTime> dates;
        EarliestAlarms last;
        collectDue(s.lastSupervised, now, true, due, dates, last);
        soundAlarms(due, dates, true);
        s.lastSupervised = std::max(s.lastSupervised, now);
    }
    if (p_.settings.epa) p_.secretary.runAssistant();
}

void alarmControl::setBlocked(bool value) {
    SupervisionState& s = p_.supervision;
    s.blocked = value;
    p_.ports.ui.showBlocked(value);
    if (p_.loading || value) return;
    // Alarms were just unblocked. The whole blocked stretch is handled by the
    // when-unblocked choice; it must not count as inactivity as well (the
    // supervision stands still while blocked, so any block longer than the
    // inactivity time would look like one).
    s.inactivityDetected = false;
    const DateTime now = getSupervisionNow(true);
    switch (p_.settings.wu) {
        case 0:
            s.lastSupervised = std::max(s.lastSupervised, now);
            break;
        case 1:
            catchUpAfterInactivity();
            break;
        default: {
            std::vector<AlarmPtr> due;
            std::vector<DateTime> dates;
            EarliestAlarms last;
            collectDue(s.lastSupervised, now, false, due, dates, last);
            soundAlarms(due, dates, true);
            s.lastSupervised = std::max(s.lastSupervised, now);
            break;
        }
    }
    s.inactivityDetected = false;
    checkAlarms();
}

// ---- Tick scheduling ----------------------------------------------------------------

void alarmControl::scheduleNextTick() {
    SupervisionState& s = p_.supervision;
    SupervisionTimer& timer = p_.ports.timer;
    timer.stop();
    double interval = kOrdinaryTickMs;
    p_.ports.performer.releaseFinishedSpeech();

    DateTime now = getSupervisionNow(false);
    const double t = p_.ports.clock.secondsSinceMidnight();
    const double fraction = t - std::floor(t);

    if (p_.settings.acv && now.minute() == s.versionCheckMinute) {
        p_.ports.ui.runVersionCheck(false);
        s.versionCheckMinute = p_.random.below(60);
    }
    if (!p_.ports.plugIns.keptPlugIns().empty()) pollActivePlugIns();
    if (now.minute() == s.synchronizeMinute) {
        synchronizeAll();
        s.synchronizeMinute = (s.synchronizeMinute + 30) % 60;
    }

    // The next alarm: a short tick that lands on its second.
    if (!(s.nextAlarms.numberOfElements() == 0)) {
        double remaining =
            static_cast<double>(s.nextAlarmDate.seconds() - now.seconds()) - fraction;
        for (int guard = 0; remaining <= 0 && guard < 1000; ++guard) {
            checkAlarmsWithoutScheduling();
            now = getSupervisionNow(false);
            if ((s.nextAlarms.numberOfElements() == 0)) break;
            remaining = static_cast<double>(s.nextAlarmDate.seconds() - now.seconds()) - fraction;
        }
        if (!(s.nextAlarms.numberOfElements() == 0) && remaining > 0 && remaining < kShortTickLimitSeconds) {
            interval = std::round(remaining * 1000);
            s.pendingWork |= pending::kExactTick;
        } else {
            s.pendingWork &= static_cast<std::uint8_t>(~pending::kExactTick);
        }
    } else {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kExactTick);
    }

    // A see-alarms list or the attention alarm may be the one reason for a
    // shorter tick. The save bits stay: a failed save is still retried.
    const std::uint8_t reasons = pending::kExactTick | pending::kRefreshSeeAlarms0 |
                                 pending::kRefreshSeeAlarms1 | pending::kAttention;
    for (int list = 0; list < 2; ++list) {
        const DateTime change = s.seeAlarms[static_cast<std::size_t>(list)].nextChange;
        const double remaining =
            static_cast<double>(change.seconds() - now.seconds()) - fraction;
        if (remaining <= 0) {
            refreshSeeAlarms(list);
        } else if (remaining < kShortTickLimitSeconds && remaining * 1000 <= interval) {
            interval = std::round(remaining * 1000);
            s.pendingWork &= static_cast<std::uint8_t>(~reasons);
            s.pendingWork |= list == 0 ? pending::kRefreshSeeAlarms0 : pending::kRefreshSeeAlarms1;
        }
    }
    {
        const double remaining =
            static_cast<double>(s.pendingAttentionDate.seconds() - now.seconds());
        if (remaining <= 0) {
            soundPendingAttentionAlarm();
        } else if (remaining < kShortTickLimitSeconds && remaining * 1000 <= interval) {
            interval = std::round(remaining * 1000);
            s.pendingWork &= static_cast<std::uint8_t>(~reasons);
            s.pendingWork |= pending::kAttention;
        }
        if (remaining >= kShortTickLimitSeconds)
            s.pendingWork &= static_cast<std::uint8_t>(~pending::kAttention);
    }

    if (interval < 1) interval = 1;
    timer.setInterval(static_cast<int>(interval));
    timer.start();
}

void alarmControl::pollActivePlugIns() {
    const std::vector<std::string> kept = p_.ports.plugIns.keptPlugIns();
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        const std::string answer = p_.ports.plugIns.callKept(*it, "GetStatus");
        auto reply = XMLNode::Create();
        const bool unreadable = reply->initializeFromXML(answer);
        if (unreadable || !reply->getBoolean("active", 0, false)) p_.ports.plugIns.releaseKept(*it);
    }
}

void alarmControl::synchronizeAll() {
    std::vector<AlarmGroupPtr> synchronised;
    for (const AlarmGroupPtr& g : p_.alarmGroups) {
        if (g->synchPlugin.empty()) continue;
        g->synchronize(p_.ctx);
        synchronised.push_back(g);
    }
    if (!synchronised.empty()) alarmGroupsChanged(synchronised, change::kEdited);
}

// ---- See-alarms lists ---------------------------------------------------------------

std::pair<DateTime, DateTime> alarmControl::seeAlarmsWindow(int list, DateTime now) const {
    const SeeAlarmsSettings& cfg = p_.settings.sa[list];
    return {addToDate(now, static_cast<std::int64_t>(list - 1) * cfg.amount, cfg.unit),
            addToDate(now, static_cast<std::int64_t>(list) * cfg.amount, cfg.unit)};
}

void alarmControl::appendFrom(int list, DateTime from, DateTime end) {
    SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
    for (int guard = 0; guard < kOccurrenceLimit; ++guard) {
        const EarliestAlarms found = getEarliestAlarmsAfter(from, false);
        if (found.alarms.empty() || end < found.date || found.date.year() >= 9999) break;
        for (const AlarmPtr& a : found.alarms) {
            l.alarms.addElement(a);
            l.dates.addDate(found.date);
            l.flags.addBoolean(false);
        }
        from = found.date;
    }
}

void alarmControl::rebuildSeeAlarms(int list) {
    FlagScope loading(p_.loading);
    SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
    l.alarms.clear();
    l.dates.clear();
    l.flags.clear();
    l.nextChange = kNever;
    if (p_.settings.sa[list].shown == 1) {
        const DateTime now = correctedNow();
        const auto [start, end] = seeAlarmsWindow(list, now);
        appendFrom(list, start, end);
        computeNextChange(list, now);
    }
    p_.ports.ui.showSeeAlarms(list);
}

void alarmControl::refreshSeeAlarms(int list) {
    if (p_.settings.sa[list].shown != 1) return;
    FlagScope loading(p_.loading);
    SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
    const DateTime now = correctedNow();
    const auto [start, end] = seeAlarmsWindow(list, now);
    while (l.dates.numberOfElements() > 0 && !(start < l.dates.dateAt(0))) {
        l.alarms.removeElementAt(0);
        l.dates.removeDateAt(0);
        l.flags.removeBooleanAt(0);
    }
    const std::int32_t n = l.dates.numberOfElements();
    appendFrom(list, n > 0 ? l.dates.dateAt(n - 1) : start, end);
    computeNextChange(list, now);
    p_.ports.ui.showSeeAlarms(list);
}

void alarmControl::computeNextChange(int list, DateTime now) {
    SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
    const SeeAlarmsSettings& cfg = p_.settings.sa[list];
    DateTime next = kNever;
    if (l.dates.numberOfElements() > 0)
        next = addToDate(l.dates.dateAt(0), static_cast<std::int64_t>(1 - list) * cfg.amount, cfg.unit);
    const DateTime e = addToDate(now, static_cast<std::int64_t>(list) * cfg.amount, cfg.unit);
    const EarliestAlarms found = getEarliestAlarmsAfter(e, false);
    if (!found.alarms.empty()) {
        const DateTime c =
            addToDate(found.date, -static_cast<std::int64_t>(list) * cfg.amount, cfg.unit);
        if (c < next) next = c;
    }
    l.nextChange = next;
}

void alarmControl::removeFromSeeAlarms(const std::set<const Alarm*>& alarms) {
    for (SeeAlarmsList& l : p_.supervision.seeAlarms) {
        for (std::int32_t i = l.alarms.numberOfElements() - 1; i >= 0; --i) {
            if (!alarms.count(l.alarms.elementAt(i).get())) continue;
            l.alarms.removeElementAt(i);
            l.dates.removeDateAt(i);
            l.flags.removeBooleanAt(i);
        }
    }
}

void alarmControl::addOccurrencesToSeeAlarms(const std::vector<AlarmPtr>& alarms) {
    const DateTime now = correctedNow();
    for (int list = 0; list < 2; ++list) {
        if (p_.settings.sa[list].shown != 1) continue;
        SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
        const auto [start, end] = seeAlarmsWindow(list, now);
        for (const AlarmPtr& alarm : alarms) {
            // Only alarms that are supervised: active, in an active group of the program.
            const AlarmGroupPtr g = alarm->parentGroup();
            if (!alarm->Active || !g || !g->Active || !p_.alarmGroups.contains(g)) continue;
            DateTime from = start;
            for (int guard = 0; guard < kOccurrenceLimit; ++guard) {
                bool has;
                try {
                    has = alarm->hasNextAlarmDateAfter(from, false);
                } catch (const AdvancedDateError& e) {
                    reportExpressionError(*g, *alarm, e.what());
                    break;
                }
                if (!has) break;
                const DateTime d = alarm->getNextAlarmDateAfter();
                if (end < d || d.year() >= 9999) break;
                // Insert in date order after the entries of the same date, unless
                // this occurrence is listed already.
                std::int32_t at = l.dates.numberOfElements();
                bool present = false;
                for (std::int32_t i = 0; i < l.dates.numberOfElements(); ++i) {
                    if (l.dates.dateAt(i) == d && l.alarms.elementAt(i) == alarm) present = true;
                    if (d < l.dates.dateAt(i)) {
                        at = i;
                        break;
                    }
                }
                if (!present) {
                    l.alarms.addElementAt(alarm, at);
                    l.dates.addDateAt(d, at);
                    l.flags.addBooleanAt(false, at);
                }
                from = d;
            }
        }
        computeNextChange(list, now);
    }
}

// ---- Change notification ----------------------------------------------------------

namespace {
constexpr int kMarksChanged = change::kEdited | change::kDeleted | change::kSwitched |
                              change::kSnoozed | change::kMessageStored;
constexpr int kRemoves = change::kEdited | change::kDeleted | change::kSwitched | change::kSnoozed;
constexpr int kAddsAgain = change::kLoaded | change::kEdited | change::kSwitched | change::kSnoozed;
constexpr int kShowsLists = change::kLoaded | change::kEdited | change::kDeleted |
                            change::kSwitched | change::kSnoozed | change::kMessageStored;
constexpr int kChecks =
    change::kLoaded | change::kEdited | change::kDeleted | change::kSwitched | change::kSnoozed;
}  // namespace

void alarmControl::alarmsChanged(const std::vector<AlarmPtr>& alarms, int kinds) {
    if (kinds == 0) return;
    FlagScope loading(p_.loading);
    UserInterface& ui = p_.ports.ui;
    ui.setBusy(true);
    checkNow();
    if (kinds & kMarksChanged) {
        for (const AlarmPtr& a : alarms) a->setChanged();
        p_.supervision.pendingWork |= pending::kSaveGroups;
    }
    ui.updateLists();
    // An edited alarm's old moments go too: they may no longer be its moments.
    if (kinds & kRemoves) {
        std::set<const Alarm*> affected;
        for (const AlarmPtr& a : alarms) affected.insert(a.get());
        removeFromSeeAlarms(affected);
    }
    if (kinds & kAddsAgain) addOccurrencesToSeeAlarms(alarms);
    if (kinds & kShowsLists) {
        ui.showSeeAlarms(0);
        ui.showSeeAlarms(1);
    }
    if (kinds & kChecks) checkAlarms();
    ui.setBusy(false);
}

void alarmControl::alarmGroupsChanged(const std::vector<AlarmGroupPtr>& groups, int kinds) {
    UserInterface& ui = p_.ports.ui;
    if (kinds == 0) {
        ui.updateLists();
        return;
    }
    FlagScope loading(p_.loading);
    ui.setBusy(true);
    if (kinds & change::kLoaded) catchUpAfterInactivity();
    checkNow();
    if (kinds & kMarksChanged) {
        for (const AlarmGroupPtr& g : groups) g->setChanged();
        p_.supervision.pendingWork |= pending::kSaveGroups;
    }
    ui.updateLists();
    std::set<const Alarm*> affected;
    std::vector<AlarmPtr> alarms;
    for (const AlarmGroupPtr& g : groups)
        for (const AlarmPtr& a : g->alarms) {
            affected.insert(a.get());
            alarms.push_back(a);
        }
    // Entries of alarms that left a group are dropped with the group's: any entry
    // whose alarm no longer belongs to a listed group goes.
    for (SeeAlarmsList& l : p_.supervision.seeAlarms)
        for (std::int32_t i = 0; i < l.alarms.numberOfElements(); ++i) {
            const AlarmPtr a = l.alarms.elementAt(i);
            const AlarmGroupPtr g = a->parentGroup();
            if (!g || std::find(groups.begin(), groups.end(), g) != groups.end() ||
                !p_.alarmGroups.contains(g))
                affected.insert(a.get());
        }
    removeFromSeeAlarms(affected);
    addOccurrencesToSeeAlarms(alarms);
    ui.showSeeAlarms(0);
    ui.showSeeAlarms(1);
    checkAlarms();
    ui.setBusy(false);
}

// ---- Occurrences and overlaps --------------------------------------------------------

std::vector<Occurrence> alarmControl::listOccurrences(DateTime from, DateTime to,
                                                      bool ignoreCorrection, int minImportance) {
    std::vector<Occurrence> out;
    for (const AlarmGroupPtr& g : p_.alarmGroups) {
        if (!g->Active) continue;
        for (const AlarmPtr& alarm : g->alarms) {
            if (!alarm->Active || alarm->importance < minImportance) continue;
            appendOccurrences(alarm, from, to, ignoreCorrection, out);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
    return out;
}

void alarmControl::appendOccurrences(const AlarmPtr& alarm, DateTime from, DateTime to,
                                     bool ignoreCorrection, std::vector<Occurrence>& out) {
    DateTime d = from;
    for (int guard = 0; guard < kOccurrenceLimit; ++guard) {
        bool has;
        try {
            has = alarm->hasNextAlarmDateAfter(d, ignoreCorrection);
        } catch (const AdvancedDateError& e) {
            if (const auto g = alarm->parentGroup()) reportExpressionError(*g, *alarm, e.what());
            return;
        }
        if (!has) return;
        const DateTime next = alarm->getNextAlarmDateAfter();
        if (to < next || next.year() >= 9999) return;
        out.push_back({alarm, next, addToDate(next, alarm->durationAmount, alarm->durationUnit)});
        d = next;
    }
}

std::vector<AlarmPtr> alarmControl::overlappingAlarms(const AlarmPtr& alarm, const AlarmPtr& original) {
    const SettingsValues& cfg = p_.settings;
    const DateTime now = correctedNow();
    const DateTime yearOn = addToDate(now, 1, kYears);
    std::vector<Occurrence> own;
    appendOccurrences(alarm, now, yearOn, cfg.igc, own);
    const std::vector<Occurrence> others = listOccurrences(now, yearOn, cfg.igc, cfg.olp);
    std::vector<AlarmPtr> result;
    for (const Occurrence& o : others) {
        if (o.alarm == alarm || (original && o.alarm == original)) continue;
        if (std::find(result.begin(), result.end(), o.alarm) != result.end()) continue;
        for (const Occurrence& mine : own) {
            // Within the distance: neither stretch ends that long before the other begins.
            if (!(addToDate(mine.end, cfg.ola, cfg.olu) < o.start) &&
                !(addToDate(o.end, cfg.ola, cfg.olu) < mine.start)) {
                result.push_back(o.alarm);
                break;
            }
        }
    }
    return result;
}

}  // namespace qv

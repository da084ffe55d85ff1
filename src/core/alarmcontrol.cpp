#include "core/alarmcontrol.h"
#include "core/alarmrequest.h"

#include "core/daysoffkeeper.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/program.h"
#include "model/clsadvanceddate.h"

namespace qv {
namespace {

constexpr std::int64_t kOrdinaryTickMs = 30000;
constexpr std::int64_t kShortTickLimitMs = 33000;
constexpr int kModalRetryMs = 500;
// How soon a change reaches the disk (with auto-save for groups and to-do text).
constexpr std::int64_t kSaveSoonMs = 1000;
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

alarmControl::alarmControl(Program& program) : p_(program) {
    p_.ctx.keepsGroup = [this](const AlarmGroup& g) {
        for (const AlarmGroupPtr& own : p_.alarmGroups)
            if (own.get() == &g) return true;
        return false;
    };
    p_.ctx.synchronized = [this](const AlarmGroupPtr& g, bool replaced, const std::string& error) {
        synchronizationEnded(g, replaced, error);
    };
}

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

// ---- Flows ----------------------------------------------------------------------

class alarmControl::Flow {
  public:
    explicit Flow(alarmControl& c) : c_(c) { ++c_.flowDepth_; }
    ~Flow() {
        if (--c_.flowDepth_ == 0) c_.persistSupervised();
    }
    Flow(const Flow&) = delete;
    Flow& operator=(const Flow&) = delete;

  private:
    alarmControl& c_;
};

void alarmControl::persistSupervised() {
    // The exit path writes the settings itself.
    if (!supervisedToSave_ || p_.exiting) return;
    supervisedToSave_ = false;
    // Without this, a crash or a power cut would sound again every alarm since
    // the settings were last written. A write that fails is retried (and
    // reported) by the tick like any other pending settings.
    if (p_.settingsStore.writeSettingsFile())
        p_.supervision.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveSettings);
    else
        p_.supervision.pendingWork |= pending::kSaveSettings;
}

// ---- The tick ---------------------------------------------------------------------

void alarmControl::onTimerTick() {
    // Only a step of the supervision itself that is still running (a plug-in
    // it called runs an event loop) keeps the tick out. A box or a dialog the
    // user has open does not: the alarms go on sounding behind it.
    if (flowDepth_ > 0) {
        p_.ports.timer.setInterval(kModalRetryMs);
        p_.ports.timer.start();
        return;
    }
    // This tick saves what is pending; a save that fails is retried at the
    // ordinary pace, not every second.
    saveSoon_ = false;
    Flow flow(*this);
    SupervisionState& s = p_.supervision;

    getSupervisionNow(false);
    if (s.inactivityDetected) {
        s.inactivityDetected = false;
        catchUpAfterInactivity();
        s.inactivityDetected = false;
        // A shut-down alarm among them has ended the program.
        if (p_.exiting) return;
    }

    if (s.pendingWork & pending::kExactTick) {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kExactTick);
        // A timer that fires a moment early must not sound the alarms before
        // their second: the check below times a tick again for them. Nor may
        // it sound what a catch-up in this tick (after sleep, or a message box
        // open across the alarm) has handled already.
        if (correctedNow() >= s.nextAlarmDate && !(s.nextAlarms.numberOfElements() == 0) &&
            s.lastSupervised < s.nextAlarmDate) {
            const std::vector<AlarmPtr> alarms(s.nextAlarms.begin(), s.nextAlarms.end());
            const std::vector<DateTime> dates(alarms.size(), s.nextAlarmDate);
            const DateTime due = s.nextAlarmDate;
            const DateTime remindFrom = s.lastSupervised;
            soundAlarms(alarms, dates, true);
            if (p_.exiting) return;
            // A reminder on the same second, of this or another alarm.
            if (!s.blocked) p_.reminders.check(remindFrom, due, false);
            if (!s.blocked) advanceSupervised(due);
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
    // What the user typed first: saving the settings asks the running
    // plug-ins for theirs, and one that crashes must not take the edits along.
    writeTypedChanges();
    if ((s.pendingWork & pending::kSaveSettings) && p_.settingsStore.saveSettings()) {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveSettings);
        supervisedToSave_ = false;
    }
    if (s.pendingWork & pending::kAttention) soundPendingAttentionAlarm();

    if (p_.exiting) return;
    checkAlarms();
}

void alarmControl::writeTypedChanges() {
    SupervisionState& s = p_.supervision;
    if (!p_.settings.as) return;
    if ((s.pendingWork & pending::kSaveGroups) && p_.main.saveChangedAlarmGroups())
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveGroups);
    if ((s.pendingWork & pending::kSaveToDo) && p_.main.saveToDoText())
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveToDo);
}

DateTime alarmControl::correctedNow() const {
    // The timer correction is in milliseconds; whole seconds, rounded down.
    return DateTime(p_.now().seconds() - floorDiv(p_.settings.tc, 1000));
}

std::int64_t alarmControl::realGapTo(DateTime now) const {
    const SupervisionState& s = p_.supervision;
    // In the repeated hour the clock runs while lastSupervised waits for it.
    if (s.heldForRepeatedHour && now < s.lastSupervised) return 0;
    return (now.seconds() - s.lastSupervised.seconds()) -
           (p_.ports.clock.utcOffsetSeconds() - s.lastSupervisedOffset);
}

void alarmControl::advanceSupervised(DateTime to) {
    SupervisionState& s = p_.supervision;
    if (s.lastSupervised < to) {
        s.lastSupervised = to;
        s.heldForRepeatedHour = false;
    }
    if (!s.heldForRepeatedHour) s.lastSupervisedOffset = p_.ports.clock.utcOffsetSeconds();
}

DateTime alarmControl::getSupervisionNow(bool ignoreInactivity) {
    SupervisionState& s = p_.supervision;
    const DateTime now = correctedNow();
    if (!ignoreInactivity && p_.settings.tiia > 0) {
        if (realGapTo(now) < static_cast<std::int64_t>(p_.settings.tiia) * 60 &&
            !s.inactivityDetected)
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
        if (due.size() >= static_cast<std::size_t>(kOccurrenceLimit)) {
            // An alarm every second over a week away would be hundreds of
            // thousands: the rest of the stretch is skipped, and said so.
            if (p_.ctx.log)
                p_.ctx.log("more than " + std::to_string(kOccurrenceLimit) +
                           " alarms were due at once; those after " + toStoredText(from) +
                           " up to " + toStoredText(to) + " are skipped");
            last = getEarliestAlarmsAfter(to, onlyAfterInactive);
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
    if (now < s.lastSupervised && !s.heldForRepeatedHour) {
        const int offset = p_.ports.clock.utcOffsetSeconds();
        if (offset < s.lastSupervisedOffset && realGapTo(now) >= 0) {
            // Daylight-saving time ended: the wall clock went back by exactly
            // the change of the offset. The repeated hour has sounded already.
            s.heldForRepeatedHour = true;
            s.lastSupervisedOffset = offset;
        } else {
            // The clock was set back.
            s.lastSupervised = now;
            s.lastSupervisedOffset = offset;
            rebuildSeeAlarms(0);
            rebuildSeeAlarms(1);
        }
    }
    s.nextAlarms.clear();
    // Sounding moves lastSupervised along: the reminders look at the stretch from here.
    const DateTime remindFrom = s.lastSupervised;
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
    if (p_.exiting) return;
    for (const AlarmPtr& a : last.alarms) s.nextAlarms.addElement(a);
    s.nextAlarmDate = last.alarms.empty() ? kNever : last.date;
    p_.ports.ui.showNextAlarm();
    // Reminders of the stretch just supervised; while blocked none is shown,
    // but the next one is still worked out.
    if (s.blocked)
        (void)p_.reminders.collect(now, now, false);
    else
        p_.reminders.check(remindFrom, now, false);
    if (!s.blocked) advanceSupervised(now);
}

void alarmControl::checkAlarms() {
    if (checksDeferred() || p_.exiting) return;
    if (housekeeping_) {
        // Reported from the tick's own housekeeping: the tick goes on and times
        // the next one itself.
        checkAlarmsWithoutScheduling();
        return;
    }
    Flow flow(*this);
    checkAlarmsWithoutScheduling();
    if (p_.exiting) return;
    scheduleNextTick();
}

void alarmControl::saveSoon(bool schedule) {
    // One write for a burst of changes: the first one times the tick. What
    // start-up itself changes waits for the ordinary tick.
    if (saveSoon_ || !p_.started || p_.exiting) return;
    const std::uint8_t saves = pending::kSaveSettings |
                               (p_.settings.as ? pending::kSaveGroups | pending::kSaveToDo : 0);
    if (!(p_.supervision.pendingWork & saves)) return;
    saveSoon_ = true;
    if (!schedule || housekeeping_ || checksDeferred()) return;
    Flow flow(*this);
    scheduleNextTick();
}

void alarmControl::checkNow() {
    SupervisionState& s = p_.supervision;
    if (s.blocked || checksDeferred()) return;
    Flow flow(*this);
    const DateTime now = correctedNow();
    if (now < s.nextAlarmDate) {
        if (!(now < s.lastSupervised)) advanceSupervised(now);
    } else {
        checkAlarms();
    }
}

// ---- Sounding ---------------------------------------------------------------------

void alarmControl::soundAlarms(const std::vector<AlarmPtr>& alarms,
                               const std::vector<DateTime>& dates, bool respectBlocked) {
    SupervisionState& s = p_.supervision;
    if (respectBlocked && s.blocked) return;
    if (alarms.empty()) return;
    if (static_cast<long>(alarms.size()) > p_.settings.wl) {
        // Asked without holding anything up: the supervision goes on (later
        // alarms sound on time) and these sound once the user agrees.
        const std::string text = std::to_string(alarms.size()) + p_.translation.getMainText(208);
        if (p_.speakMessages) p_.ports.performer.speak(text);
        const std::string title =
            p_.translation.readKey("frmQuorvaneMain", "frmQuorvaneMain", "Quorvane");
        p_.ports.ui.ask(text, 52, title,
                        [this, alarms, dates, respectBlocked](int answer) {
                            if (answer != mb::kAnswerYes || p_.exiting) return;
                            Flow flow(*this);
                            soundConfirmed(alarms, dates, respectBlocked);
                            alarmsChanged(alarms, change::kSounded);
                        });
        return;
    }
    soundConfirmed(alarms, dates, respectBlocked);
}

void alarmControl::soundConfirmed(const std::vector<AlarmPtr>& alarms,
                                  const std::vector<DateTime>& dates, bool respectBlocked) {
    SupervisionState& s = p_.supervision;
    if (respectBlocked && s.blocked) return;
    ++soundingDepth_;
    for (std::size_t i = 0; i < alarms.size() && i < dates.size() && !p_.exiting; ++i) {
        const AlarmPtr& alarm = alarms[i];
        const DateTime date = dates[i];
        // Handled from the moment its actions start: a shut-down, reboot or
        // log-off among them ends the program, and the next start must not
        // sound this alarm again.
        if (respectBlocked && !s.blocked && s.lastSupervised < date) {
            s.lastSupervised = date;
            supervisedToSave_ = true;
        }
        alarm->soundAlarm(p_.ctx, date, respectBlocked);
        if (p_.exiting) break;
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
    --soundingDepth_;
    // Their actions have started: recorded at once, not at the end of the
    // step, so a crash from here on does not sound them again.
    if (soundingDepth_ == 0 && supervisedToSave_ && !p_.exiting) persistSupervised();
}

void alarmControl::soundPendingAttentionAlarm() {
    SupervisionState& s = p_.supervision;
    s.pendingWork &= static_cast<std::uint8_t>(~pending::kAttention);
    if (s.pendingAttentionDate == kNever || getSupervisionNow(false) < s.pendingAttentionDate)
        return;
    s.pendingAttentionDate = kNever;
    // Sounded on its own: it follows an alarm once, and is never itself the
    // reason for another attention (or a secondary) alarm.
    if (!p_.attentionAlarm.alarm || s.blocked) return;
    ++soundingDepth_;
    p_.attentionAlarm.alarm->soundAlarm(p_.ctx, p_.now(), true);
    --soundingDepth_;
}

void alarmControl::catchUpAfterInactivity() {
    SupervisionState& s = p_.supervision;
    const DateTime now = getSupervisionNow(true);
    if (!s.blocked) {
        std::vector<AlarmPtr> due;
        std::vector<DateTime> dates;
        EarliestAlarms last;
        const DateTime remindFrom = s.lastSupervised;
        collectDue(s.lastSupervised, now, true, due, dates, last);
        soundAlarms(due, dates, true);
        if (p_.exiting) return;
        p_.reminders.check(remindFrom, now, true);
        advanceSupervised(now);
        // Reported like the exact-time tick's: the lists must not go on
        // showing their old next moments.
        if (!due.empty()) alarmsChanged(due, change::kSounded);
    }
    if (p_.settings.epa) p_.secretary.runAssistant();
}

void alarmControl::setBlocked(bool value) {
    SupervisionState& s = p_.supervision;
    const bool changed = s.blocked != value;
    s.blocked = value;
    p_.ports.ui.showBlocked(value);
    if (p_.loading) return;
    // Stored at once: after a crash the next start must not come up blocked
    // (or unblocked) against the user's last choice.
    if (changed) p_.settingsStore.settingsChanged();
    if (value) return;
    Flow flow(*this);
    // Alarms were just unblocked. The whole blocked stretch is handled by the
    // when-unblocked choice; it must not count as inactivity as well (the
    // supervision stands still while blocked, so any block longer than the
    // inactivity time would look like one).
    s.inactivityDetected = false;
    const DateTime now = getSupervisionNow(true);
    switch (p_.settings.wu) {
        case 0:
            advanceSupervised(now);
            break;
        case 1:
            catchUpAfterInactivity();
            break;
        default: {
            std::vector<AlarmPtr> due;
            std::vector<DateTime> dates;
            EarliestAlarms last;
            const DateTime remindFrom = s.lastSupervised;
            collectDue(s.lastSupervised, now, false, due, dates, last);
            soundAlarms(due, dates, true);
            if (p_.exiting) return;
            p_.reminders.check(remindFrom, now, false);
            advanceSupervised(now);
            if (!due.empty()) alarmsChanged(due, change::kSounded);
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
    // Whole milliseconds throughout: comparing the lengths as fractions of a
    // second lets a list boundary and an alarm in the same millisecond miss.
    std::int64_t interval = kOrdinaryTickMs;
    p_.ports.performer.releaseFinishedSpeech();

    DateTime now = getSupervisionNow(false);
    const double t = p_.ports.clock.secondsSinceMidnight();
    const std::int64_t fractionMs =
        std::clamp<std::int64_t>(std::llround((t - std::floor(t)) * 1000), 0, 999);
    auto remainingMs = [&](DateTime until) {
        return (until.seconds() - now.seconds()) * 1000 - fractionMs;
    };

    {
        // What the housekeeping reports as changed is checked here, without
        // starting another tick from inside this one.
        FlagScope busy(housekeeping_);
        if (p_.settings.acv && now.minute() == s.versionCheckMinute) {
            s.versionCheckMinute = p_.random.below(60);
            p_.ports.ui.runVersionCheck(false);
        }
        if (!p_.ports.plugIns.keptPlugIns().empty()) pollActivePlugIns();
        if (now.minute() == s.synchronizeMinute) {
            s.synchronizeMinute = (s.synchronizeMinute + 30) % 60;
            synchronizeAll();
        }
        // Rung quick alarms go on the tick there is anyway, not on a timer
        // of their own that would wake the idle program.
        (void)QuickAlarms(p_).removeRung();
    }
    if (p_.exiting) return;
    now = getSupervisionNow(false);

    // The next alarm: a short tick that lands on its second.
    if (!(s.nextAlarms.numberOfElements() == 0)) {
        std::int64_t remaining = remainingMs(s.nextAlarmDate);
        for (int guard = 0; remaining <= 0 && guard < 1000; ++guard) {
            checkAlarmsWithoutScheduling();
            if (p_.exiting) return;
            now = getSupervisionNow(false);
            if ((s.nextAlarms.numberOfElements() == 0)) break;
            remaining = remainingMs(s.nextAlarmDate);
        }
        if (!(s.nextAlarms.numberOfElements() == 0) && remaining > 0 &&
            remaining < kShortTickLimitMs) {
            interval = remaining;
            s.pendingWork |= pending::kExactTick;
        } else {
            s.pendingWork &= static_cast<std::uint8_t>(~pending::kExactTick);
        }
    } else {
        s.pendingWork &= static_cast<std::uint8_t>(~pending::kExactTick);
    }

    // A reminder due within the short-tick reach: the check that ends the
    // tick shows it on its second.
    if (p_.reminders.next() < kNever) {
        const std::int64_t remaining = remainingMs(p_.reminders.next());
        if (remaining < kShortTickLimitMs && remaining < interval)
            interval = std::max<std::int64_t>(remaining, 1);
    }

    // A see-alarms list or the attention alarm may be the one reason for a
    // shorter tick. The save bits stay: a failed save is still retried.
    const std::uint8_t reasons = pending::kExactTick | pending::kRefreshSeeAlarms0 |
                                 pending::kRefreshSeeAlarms1 | pending::kAttention;
    for (int list = 0; list < 2; ++list) {
        const std::int64_t remaining =
            remainingMs(s.seeAlarms[static_cast<std::size_t>(list)].nextChange);
        if (remaining <= 0) {
            refreshSeeAlarms(list);
        } else if (remaining < kShortTickLimitMs && remaining <= interval) {
            interval = remaining;
            s.pendingWork &= static_cast<std::uint8_t>(~reasons);
            s.pendingWork |= list == 0 ? pending::kRefreshSeeAlarms0 : pending::kRefreshSeeAlarms1;
        }
    }
    {
        const std::int64_t remaining = (s.pendingAttentionDate.seconds() - now.seconds()) * 1000;
        if (remaining <= 0) {
            soundPendingAttentionAlarm();
        } else if (remaining < kShortTickLimitMs && remaining <= interval) {
            interval = remaining;
            s.pendingWork &= static_cast<std::uint8_t>(~reasons);
            s.pendingWork |= pending::kAttention;
        }
        if (remaining >= kShortTickLimitMs)
            s.pendingWork &= static_cast<std::uint8_t>(~pending::kAttention);
    }

    // A change waits at most a second for the disk: a crash or a power cut
    // right after OK loses nothing. The tick that saves is an early one for
    // whatever else it was timed for, which each step allows for.
    if (saveSoon_ && interval > kSaveSoonMs) interval = kSaveSoonMs;
    if (interval < 1) interval = 1;
    timer.setInterval(static_cast<int>(interval));
    timer.start();
    // The next alarm may have moved: the computer wakes for the new one.
    p_.wake.update();
}

void alarmControl::pollActivePlugIns() {
    const std::vector<std::string> kept = p_.ports.plugIns.keptPlugIns();
    // A plug-in may crash or hang: what the user changed is on disk first.
    if (!kept.empty()) writeTypedChanges();
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        const std::string answer = p_.ports.plugIns.callKept(*it, "GetStatus");
        auto reply = XMLNode::Create();
        const bool unreadable = reply->initializeFromXML(answer);
        if (unreadable || !reply->getBoolean("active", 0, false)) p_.ports.plugIns.releaseKept(*it);
    }
}

void alarmControl::synchronizeAll() {
    // A copy: an answer that comes at once may change the program's groups.
    const auto groups = p_.alarmGroups.getCopy();
    bool written = false;
    for (const AlarmGroupPtr& g : *groups) {
        if (g->synchPlugin.empty()) continue;
        if (!written) writeTypedChanges();  // before any plug-in runs
        written = true;
        g->startSynchronization(p_.ctx);
    }
    daysOffKeeper::refreshAll(p_, false);
}

void alarmControl::synchronizationEnded(const AlarmGroupPtr& group, bool replaced,
                                        const std::string& error) {
    if (error.empty()) {
        synchronisationErrors_.erase(group);
    } else {
        p_.writeLog("synchronisation of alarm group \"" + group->name +
                    (replaced ? "\" replaced its alarms with a warning: " : "\" failed: ") + error);
        std::string& told = synchronisationErrors_[group];
        if (told != error) {
            told = error;
            // A note, not a box: nothing may wait for the user here.
            p_.ports.ui.showNotice(error);
        }
    }
    if (replaced && p_.alarmGroups.contains(group)) alarmGroupsChanged({group}, change::kEdited);
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
    // The entries that left the window go at once, not one by one (after a
    // night away an alarm every second has 86 400 of them).
    std::int32_t gone = 0;
    while (gone < l.dates.numberOfElements() && !(start < l.dates.dateAt(gone))) ++gone;
    if (gone == 1) {
        l.alarms.removeElementAt(0);
        l.dates.removeDateAt(0);
        l.flags.removeBooleanAt(0);
    } else if (gone > 1) {
        Vector<Alarm> alarms;
        DateVector dates;
        BooleanVector flags;
        for (std::int32_t i = gone; i < l.dates.numberOfElements(); ++i) {
            alarms.addElement(l.alarms.elementAt(i));
            dates.addDate(l.dates.dateAt(i));
            flags.addBoolean(l.flags.booleanAt(i));
        }
        l.alarms = std::move(alarms);
        l.dates = std::move(dates);
        l.flags = std::move(flags);
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
        next = addToDate(l.dates.dateAt(0), static_cast<std::int64_t>(1 - list) * cfg.amount,
                         cfg.unit);
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
        // The new occurrences of each alarm, in the alarms' order.
        std::vector<std::pair<DateTime, AlarmPtr>> found;
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
                found.emplace_back(d, alarm);
                from = d;
            }
        }
        if (found.empty()) {
            computeNextChange(list, now);
            continue;
        }
        // Merged in one pass (an alarm every second lists 86 400 moments a
        // day: inserting them one by one took seconds): in date order, after
        // the entries already there of the same date, the alarms in their
        // order; an occurrence listed already is not listed twice.
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        const std::int32_t n = l.dates.numberOfElements();
        std::set<std::pair<std::int64_t, const Alarm*>> listed;
        for (std::int32_t i = 0; i < n; ++i)
            listed.emplace(l.dates.dateAt(i).seconds(), l.alarms.elementAt(i).get());
        Vector<Alarm> alarmsOut;
        DateVector datesOut;
        BooleanVector flagsOut;
        std::int32_t i = 0;
        auto keepListed = [&](DateTime upTo) {
            for (; i < n && !(upTo < l.dates.dateAt(i)); ++i) {
                alarmsOut.addElement(l.alarms.elementAt(i));
                datesOut.addDate(l.dates.dateAt(i));
                flagsOut.addBoolean(l.flags.booleanAt(i));
            }
        };
        for (const auto& [d, alarm] : found) {
            keepListed(d);
            if (!listed.emplace(d.seconds(), alarm.get()).second) continue;
            alarmsOut.addElement(alarm);
            datesOut.addDate(d);
            flagsOut.addBoolean(false);
        }
        keepListed(kNever);
        l.alarms = std::move(alarmsOut);
        l.dates = std::move(datesOut);
        l.flags = std::move(flagsOut);
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
    Flow flow(*this);
    FlagScope loading(p_.loading);
    UserInterface& ui = p_.ports.ui;
    ui.setBusy(true);
    checkNow();
    if (kinds & kMarksChanged) {
        for (const AlarmPtr& a : alarms) a->setChanged();
        p_.supervision.pendingWork |= pending::kSaveGroups;
        // The check below times the next tick when there is one.
        saveSoon(!(kinds & kChecks));
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
    Flow flow(*this);
    FlagScope loading(p_.loading);
    ui.setBusy(true);
    if (kinds & change::kLoaded) catchUpAfterInactivity();
    checkNow();
    if (kinds & kMarksChanged) {
        for (const AlarmGroupPtr& g : groups) g->setChanged();
        p_.supervision.pendingWork |= pending::kSaveGroups;
        saveSoon(false);  // the check at the end times the next tick
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

std::vector<AlarmPtr> alarmControl::overlappingAlarms(const AlarmPtr& alarm,
                                                      const AlarmPtr& original) {
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

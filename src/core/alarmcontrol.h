#pragma once
// The alarm supervision: finds the due alarms on each tick and sounds them in
// time order, catches up after inactivity, keeps the see-alarms lists and the
// pending saves, and times the next tick to the millisecond.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"

namespace qv {

class Program;

// Kinds of change reported by alarmsChanged and alarmGroupsChanged.
namespace change {
inline constexpr int kLoaded = 1;
inline constexpr int kEdited = 4;
inline constexpr int kDeleted = 8;
inline constexpr int kSwitched = 16;
inline constexpr int kSnoozed = 32;
inline constexpr int kMessageStored = 64;
inline constexpr int kSounded = 128;
}  // namespace change

// One occurrence of an alarm: from its moment to the moment plus its duration.
struct Occurrence {
    AlarmPtr alarm;
    DateTime start;
    DateTime end;
};

class alarmControl {
  public:
    explicit alarmControl(Program& program);

    // Empty lists, far-future dates, the random version-check minute and the
    // current minute for synchronisation.
    void initSupervision();

    void onTimerTick();
    DateTime getSupervisionNow(bool ignoreInactivity);
    EarliestAlarms getEarliestAlarmsAfter(DateTime from, bool onlyAfterInactive);
    void checkAlarms();
    void checkNow();
    void soundAlarms(const std::vector<AlarmPtr>& alarms, const std::vector<DateTime>& dates,
                     bool respectBlocked);
    void soundPendingAttentionAlarm();
    void catchUpAfterInactivity();
    void setBlocked(bool value);
    void rebuildSeeAlarms(int list);
    void refreshSeeAlarms(int list);
    // Starts the synchronisation of every synchronised group that is not
    // already waiting for its plug-in; the answers come back one by one.
    void synchronizeAll();
    // Where a group's synchronisation ends: a group still in the list whose
    // alarms were replaced is reported edited; a failure the plug-in gave is
    // told once (again only after a success or with another text) and logged.
    void synchronizationEnded(const AlarmGroupPtr& group, bool replaced, const std::string& error);
    void pollActivePlugIns();

    void alarmGroupsChanged(const std::vector<AlarmGroupPtr>& groups, int kinds);
    void alarmsChanged(const std::vector<AlarmPtr>& alarms, int kinds);

    // The occurrences of the active alarms of the active groups whose importance
    // is at least `minImportance`, starting after `from` and not after `to`, in
    // order of their start; `ignoreCorrection` gives the nominal moments.
    std::vector<Occurrence> listOccurrences(DateTime from, DateTime to, bool ignoreCorrection,
                                            int minImportance);
    // The other alarms that come within the overlap distance ("ola" "olu") of
    // `alarm` over the coming year ("olp" and "igc" apply). `original` is the
    // alarm that `alarm` is an edited copy of; it does not count as another.
    std::vector<AlarmPtr> overlappingAlarms(const AlarmPtr& alarm,
                                            const AlarmPtr& original = nullptr);

    // Stops the timer, does the per-tick housekeeping and starts it again with
    // the length of the next tick.
    void scheduleNextTick();
    // Something to save has changed: the next tick comes within a second.
    // Without `schedule` the caller times the next tick itself.
    void saveSoon(bool schedule = true);

  private:
    // Runs on leaving the outermost of the public steps: a lastSupervised that
    // moved past a sounded alarm is written to disk, once.
    class Flow;
    friend class Flow;

    // The present moment less the timer correction, without the inactivity test.
    DateTime correctedNow() const;
    // Moves lastSupervised forward to `to` (the present), never back.
    void advanceSupervised(DateTime to);
    // Real seconds from lastSupervised to `now`: the wall-clock gap less any
    // change of the UTC offset in between.
    std::int64_t realGapTo(DateTime now) const;
    void persistSupervised();
    // With auto-save, the changed groups and the to-do text are written now.
    void writeTypedChanges();
    // soundAlarms once the warning limit is passed or agreed to.
    void soundConfirmed(const std::vector<AlarmPtr>& alarms, const std::vector<DateTime>& dates,
                        bool respectBlocked);
    bool checksDeferred() const { return soundingDepth_ > 0; }
    // The due alarms after `from` up to `to`, in time order; `last` gets the
    // first alarms after `to`.
    void collectDue(DateTime from, DateTime to, bool onlyAfterInactive, std::vector<AlarmPtr>& due,
                    std::vector<DateTime>& dates, EarliestAlarms& last);
    void checkAlarmsWithoutScheduling();
    std::pair<DateTime, DateTime> seeAlarmsWindow(int list, DateTime now) const;
    void appendFrom(int list, DateTime from, DateTime end);
    void computeNextChange(int list, DateTime now);
    void addOccurrencesToSeeAlarms(const std::vector<AlarmPtr>& alarms);
    void removeFromSeeAlarms(const std::set<const Alarm*>& alarms);
    void appendOccurrences(const AlarmPtr& alarm, DateTime from, DateTime to, bool ignoreCorrection,
                           std::vector<Occurrence>& out);
    void reportExpressionError(const AlarmGroup& g, const Alarm& a, const std::string& message);

    Program& p_;
    std::set<std::string> reportedErrors_;
    std::map<std::weak_ptr<AlarmGroup>, std::string, std::owner_less<>> synchronisationErrors_;
    int flowDepth_ = 0;
    // Alarms are being sounded: a check asked for by a window meanwhile would
    // see the batch as still due, so it waits for the step that sounds them.
    int soundingDepth_ = 0;
    // The tick's housekeeping runs: a change it reports must not start another tick.
    bool housekeeping_ = false;
    bool supervisedToSave_ = false;
    // A change is waiting for the disk: the next tick is at most a second away.
    bool saveSoon_ = false;
};

}  // namespace qv

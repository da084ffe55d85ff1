#pragma once
// One alarm: when it sounds, what it does then, and its bookkeeping.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/datetime.h"
#include "model/ports.h"
#include "model/reminder.h"
#include "xml/vector.h"
#include "xml/xmlnode.h"

namespace qv {

class AlarmGroup;
class clsAction;
class AdvancedDateProgram;
class DaysOffLookup;

class Alarm : public std::enable_shared_from_this<Alarm> {
  public:
    // Moment kinds.
    static constexpr std::int16_t kOnce = 0;
    static constexpr std::int16_t kPeriodic = 1;
    // Restriction bits of activePeriod.
    static constexpr std::int16_t kRestrictDates = 2;
    static constexpr std::int16_t kRestrictWeekdays = 4;
    static constexpr std::int16_t kRestrictExpression = 8;
    // Rounds of the forward search before it gives up.
    static constexpr int kStepLimit = 1000;

    std::string name;
    std::int16_t momentKind = 0;
    std::int32_t everyAmount = 0;
    std::int16_t everyUnit = 0;
    DateTime onceDate;
    DateTime nextDate;
    std::int16_t activePeriod = 0;
    DateTime startDate;
    DateTime endDate;
    std::int16_t weekDays = 0;
    std::string activeAdvanced;
    std::int32_t correctionAmount = 0;
    std::int16_t correctionUnit = 0;
    Vector<clsAction> actions;
    bool Active = false;
    bool soundAfterInactive = false;
    std::int16_t importance = 0;
    std::int32_t durationAmount = 0;
    std::int16_t durationUnit = 0;
    bool snoozing = false;
    DateTime nextSnoozeAlarmDate;
    bool lastSnoozeSet = false;
    std::int16_t lastSnoozeAmount = 0;
    std::int16_t lastSnoozeUnit = 0;
    std::int16_t lastSnoozeAddTo = 0;
    // Notes shown before each moment, earliest first; stored only when there is one.
    std::vector<Reminder> reminders;
    bool changed = false;
    // The owning group; does not keep it alive.
    std::weak_ptr<AlarmGroup> parent;
    bool hidden = false;
    bool readOnly = false;
    bool selected = false;
    // Not stored: the first whole number of the stored element that lies
    // outside what its field can hold, as "perl = 4294967297"; empty when
    // there is none. Such an alarm is loaded turned off and written back as
    // it was stored until it is edited (setChanged).
    std::string rangeFault;
    // Skips the grid points that fall on a day off of `daysOffCalendars`
    // (empty: the group's calendars). Never skips a one-off alarm.
    bool notOnDaysOff = false;
    std::vector<std::string> daysOffCalendars;

    // Constructors. Each returns a new alarm with cleared caches and a fresh,
    // empty action list.
    static std::shared_ptr<Alarm> createAlarm(const std::shared_ptr<AlarmGroup>& par);
    static std::shared_ptr<Alarm> createDefaultAlarm(ModelContext& ctx);
    static std::shared_ptr<Alarm> createDefaultHiddenAlarm(const std::shared_ptr<AlarmGroup>& par,
                                                           const std::string& name);
    static std::shared_ptr<Alarm> createFromXML(const XMLNode& node,
                                                const std::shared_ptr<AlarmGroup>& par);

    XMLNodePtr toXML(const std::string& elementName) const;

    // Whether the alarm has a moment strictly after `da`; remembers it for
    // getNextAlarmDateAfter. `calendarDate` asks for the nominal moment without
    // the correction. Throws AdvancedDateError when the alarm's advanced
    // expression is malformed (the cache is then left cleared).
    bool hasNextAlarmDateAfter(DateTime da, bool calendarDate);
    // The moment found by the last query; never when it answered false.
    DateTime getNextAlarmDateAfter() const { return cacheNext_; }
    // Whether the last query's search gave up (a restriction out of its reach):
    // asked from a later moment, it may then answer differently. Otherwise the
    // answer holds for every later moment before the one it found.
    bool lastQueryGaveUp() const { return cacheGivenUp_; }
    // The moments that asking hasNextAlarmDateAfter again and again from `da`
    // (each time after the moment found before) gives, as long as they come
    // before `before`, at most `limit` of them, appended to `out`. Stepping
    // along the period grid once instead of searching anew for each moment,
    // for listings of many moments (the calendar). Throws as the query does.
    void listMomentsAfter(DateTime da, DateTime before, bool calendarDate,
                          std::vector<DateTime>& out, int limit);
    // The same moments (after `da`, before the last of `cellEnds`, at most
    // `limit` of them) sorted into cells, cell c ending before cellEnds[c]
    // (ascending): the first `perCell` of each cell are appended to `out`, the
    // others only counted in hidden[c] (hidden has a place per cell). Past a
    // full cell the walk counts the rest of the cell without listing it, and
    // where the restrictions repeat every week it counts whole weeks at once.
    void listMomentsInCells(DateTime da, const std::vector<DateTime>& cellEnds, bool calendarDate,
                            int perCell, int limit, std::vector<DateTime>& out,
                            std::vector<std::int64_t>& hidden);

    // The first moment after `da` that the days off leave out, before the
    // next moment the alarm does ring: its grid point and the name of the day
    // off. False when none is left out (or the alarm does not skip days off).
    bool firstSkippedDayOff(DateTime da, DateTime& skipped, std::string& dayName);

    void setChanged();
    void invalidateCaches();
    void snooze(DateTime snoozeDate);

    // Counts a real sounding and carries out every action in order.
    void soundAlarm(ModelContext& ctx, DateTime soundingDate, bool real);
    bool showsMessage() const;

    // Seven texts followed by their seven colours (decimal colour values):
    // name, state, next date, date-time description, action description,
    // duration, importance.
    std::vector<std::string> getStringItems(ModelContext& ctx);
    // Description and colour.
    std::vector<std::string> getDateTimeDescriptionItems(ModelContext& ctx) const;
    std::vector<std::string> getActionDescriptionItems(ModelContext& ctx) const;
    std::string getToolTip(ModelContext& ctx);

    std::shared_ptr<AlarmGroup> parentGroup() const { return parent.lock(); }

    // Compiled advanced expressions by their text. Alarms read together share
    // one program per expression: a group of thousands of alarms often holds
    // only a handful of different expressions.
    using SharedPrograms =
        std::unordered_map<std::string, std::shared_ptr<const AdvancedDateProgram>>;
    // Takes this alarm's program from `programs`, compiling it there first if
    // needed; only for a periodic alarm restricted by its expression.
    void shareProgram(SharedPrograms& programs);

  private:
    void initialize();
    bool computeNext(DateTime da, bool calendarDate, DateTime& next, bool& givenUp);
    const AdvancedDateProgram& currentProgram();
    // The days off this alarm skips; null when it skips none.
    std::shared_ptr<const DaysOffLookup> daysOffForTiming() const;

    DateTime cacheAfter_ = kNever;
    DateTime cacheNext_ = kNever;
    bool cacheCalendar_ = false;
    bool cacheGivenUp_ = false;
    // The element an alarm with a range fault was read from, written back
    // unchanged until the alarm is edited.
    XMLNodePtr storedForm_;
    // The compiled advanced expression, kept while activeAdvanced is unchanged.
    std::shared_ptr<const AdvancedDateProgram> program_;
};

using AlarmPtr = std::shared_ptr<Alarm>;

// align of the period grid: the grid point through `base` (period `amount`
// `unit`s) nearest to `target`, halves to the even multiple.
DateTime alignToGrid(DateTime base, DateTime target, std::int32_t amount, int unit);
// The number of periods from `base` to that grid point.
std::int64_t alignedGridIndex(DateTime base, DateTime target, std::int32_t amount, int unit);

}  // namespace qv

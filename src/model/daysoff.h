#pragma once
// Days off: the holidays and vacations an alarm marked "not on days off"
// skips. They come from ordinary calendars (a file, an address, or one of the
// holiday calendars shipped with the program); the calendar plug-in reads
// them, and the group keeps the items they name, so the timing never touches
// a file or a plug-in and an offline start still knows last year's vacation.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "xml/xmlnode.h"

namespace qv {

struct ModelContext;
class AlarmGroup;

// One item of a days-off calendar. An all-day item covers the dates from
// `from` up to (not including) the date of `to`; a timed one the moments
// from `from` up to (not including) `to`.
struct DayOffItem {
    DateTime from;
    DateTime to;
    bool allDay = true;
    std::string name;
    bool operator==(const DayOffItem&) const = default;
};

// What one calendar named when it was last read.
struct DaysOffCalendar {
    std::vector<DayOffItem> items;
    // When it was read; kNever when it never was.
    DateTime readAt = kNever;
    bool operator==(const DaysOffCalendar&) const = default;
};

// Calendar sources in the form they are stored: one per line, blanks around
// them dropped, empty lines and repeats left out.
std::vector<std::string> splitDaysOffSources(const std::string& text);
std::string joinDaysOffSources(const std::vector<std::string>& sources);

// The days off of several calendars together, for the timing: which grid
// points fall on a day off, and which item makes them one.
class DaysOffLookup {
  public:
    // `byMoment`: a timed item covering the moment counts too, not only an
    // all-day item on its date.
    DaysOffLookup(const std::vector<const DaysOffCalendar*>& calendars, bool byMoment);
    // The item that makes `moment` a day off; null when it is none.
    const DayOffItem* find(DateTime moment) const;
    bool empty() const { return days_.empty() && timed_.empty(); }

  private:
    struct DayRange {
        std::int64_t first, end;  // whole days since day zero, end excluded
        const DayOffItem* item;
    };
    std::vector<DayRange> days_;          // sorted by first, not overlapping
    std::vector<const DayOffItem*> timed_;  // sorted by from
    std::vector<DateTime> timedReach_;      // the latest `to` up to each timed item
    std::vector<DayOffItem> owned_;
};

// The stored form of a group's days off: its own calendars and the items of
// every calendar the group or its alarms name, as read last.
//   <doff><src>holidays/DE.ics</src>...
//         <cach><src>...</src><read>date</read><item><f/><t/><a/><n/></item>...</cach>...</doff>
struct GroupDaysOff {
    std::vector<std::string> calendars;
    std::map<std::string, DaysOffCalendar> cache;
    bool empty() const { return calendars.empty() && cache.empty(); }
    XMLNodePtr toXML() const;
    // Reads what it can: items with a date that cannot be read are left out.
    static GroupDaysOff fromXML(const XMLNode& node);
    bool operator==(const GroupDaysOff&) const = default;
};

// Items of one calendar at most kept: a calendar with more is not a list of
// holidays, and the group file should not grow without end.
inline constexpr std::size_t kMaxDaysOffItems = 5000;

// The calendar plug-in method that reads a days-off calendar.
inline constexpr const char* kDaysOffPlugIn = "QuorvaneOutlook*OutlookAppointmentSynchronizer";
inline constexpr const char* kDaysOffMethod = "GetDaysOff";

// The items of a plug-in answer "<result><days><item>...</item>...</days></result>";
// false when it carries none (`error` then gets the plug-in's "error", if any).
bool readDaysOffAnswer(const std::string& answer, DaysOffCalendar& calendar, std::string& error);
XMLNodePtr dayOffItemToXML(const DayOffItem& item);
bool dayOffItemFromXML(const XMLNode& node, DayOffItem& item);

// A source as the user and the log may see it: an address only by its host
// (it may carry a secret in its path), anything else as it is.
std::string daysOffSourceShown(const std::string& source);

// Every calendar the group and its alarms name, in order, each once.
std::vector<std::string> daysOffSourcesOf(const AlarmGroup& group);

// Where a stored source is read from: an address or an absolute path as it is;
// any other name is one of the calendars shipped in `shippedFolder`.
std::string resolveDaysOffSource(const std::string& source, const std::string& shippedFolder);

// Reads every calendar the group and its alarms name through the calendar
// plug-in (off this thread where the plug-in caller can) and keeps what each
// gave in the group; a calendar that cannot be read keeps its last items.
// `done` hears of the end of each group's refresh: whether its days changed
// and the first failure. Calendars no one names any more are dropped.
void refreshDaysOff(ModelContext& ctx, const std::shared_ptr<AlarmGroup>& group,
                    const std::string& shippedFolder, DateTime now,
                    std::function<void(const std::shared_ptr<AlarmGroup>&, bool changed,
                                       const std::string& error)>
                        done);

}  // namespace qv

#pragma once
// A named, coloured list of alarms, stored as one alarm-group file (.agx);
// several groups can be written together as a collection (.agc).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/alarm.h"
#include "model/daysoff.h"
#include "model/ports.h"
#include "xml/vector.h"
#include "xml/xmlnode.h"

namespace qv {

class AlarmGroup : public std::enable_shared_from_this<AlarmGroup> {
public:
    std::string name;
    bool Active = true;
    bool changedSinceImport = true;
    Vector<Alarm> alarms;
    std::int32_t Color = 0;
    // XML text of the template alarm element (normally named "tmpl"); empty
    // means the program-wide default. ("template" itself is a C++ keyword.)
    std::string template_;
    std::string synchPlugin;
    XMLNodePtr synchSettings;
    // The group's file; "agPath/..." stands for the alarm-group folder.
    std::string path;
    bool changed = false;
    bool selected = false;
    bool hidden = false;
    // The group's days-off calendars and what they named when last read;
    // change it through setDaysOff, so the alarms search anew.
    GroupDaysOff daysOff;

    // Group files and collections larger than this are not read: a group of
    // ten thousand alarms takes some 5 MB, and every megabyte read costs
    // several more in memory. Such a file is left as it is and reported.
    static constexpr std::size_t kMaxFileBytes = std::size_t{32} << 20;
    // Whether the file at `path` is too large to be read (kMaxFileBytes).
    static bool isTooLarge(const std::string& path);

    static std::shared_ptr<AlarmGroup> createDefaultAlarmGroup(ModelContext& ctx);
    // Builds a group from the root element of `xml` (malformed text gives what
    // could be read; unreadable text a group with the defaults). A synchronised
    // group is synchronised at once.
    static std::shared_ptr<AlarmGroup> createFromXML(ModelContext& ctx, const std::string& xml);
    static std::shared_ptr<AlarmGroup> createFromNode(ModelContext& ctx, const XMLNode& root);
    // ".agx" (exact): read and parsed; a file that cannot be read or is not
    // well formed gives no group, so the caller leaves it alone. Any other
    // extension: imported through the file-import plug-ins. No extension: no group.
    static std::shared_ptr<AlarmGroup> createAlarmGroupFromFile(ModelContext& ctx,
                                                                const std::string& path);
    // An ".agx" file loaded in two steps, so that several files can be read at
    // once: readGroupFile uses nothing shared and may run on any thread;
    // finishGroupFile completes the group with the context (its settings, a
    // synchronisation, its path) on the context's thread. Together they give
    // what createAlarmGroupFromFile gives.
    struct GroupFileReading {
        std::shared_ptr<AlarmGroup> group;  // null: unreadable or not well formed
        XMLNode rest;                       // the document element without its alarms
    };
    static GroupFileReading readGroupFile(const std::string& path);
    // The same, reading the file into `buffer`: one kept across many files
    // saves fresh memory for each.
    static GroupFileReading readGroupFile(const std::string& path, std::string& buffer);
    static std::shared_ptr<AlarmGroup> finishGroupFile(ModelContext& ctx, GroupFileReading reading,
                                                       const std::string& path);
    static std::shared_ptr<AlarmGroup> createAlarmGroupFromImportedFile(ModelContext& ctx,
                                                                        const std::string& path);
    // Every group of an ".agc" collection, in order; empty when the file cannot
    // be read or is not well formed.
    static std::vector<std::shared_ptr<AlarmGroup>> createAlarmGroupsFromCollection(
        ModelContext& ctx, const std::string& path);
    [[nodiscard]] static bool saveCollection(const std::vector<std::shared_ptr<AlarmGroup>>& groups,
                                             const std::string& path);

    // "agPath/usg_<n>.agx" with the smallest n whose file does not exist in `folder`.
    static std::string newFilePath(const std::string& folder);
    // A stored path with "agPath" resolved against `folder` ("\" read as "/").
    static std::string resolvePath(const std::string& storedPath, const std::string& folder);

    XMLNodePtr toXML() const;

    // ".agx" (exact): writes the file, atomically; any other extension: exports
    // through the file-export plug-ins. True on success.
    [[nodiscard]] bool save(ModelContext& ctx, const std::string& path, bool manual);
    // Refreshes the group from its synchronisation plug-in at once; true when
    // the plug-in answered. `error` gets the failure the plug-in reported
    // (its "error" child), if any; the alarms then stay as they are. When the
    // alarms were replaced and the plug-in warned beside the group (its
    // "warning" child: say, they come from an older copy of the calendar),
    // `error` gets the warning.
    bool synchronize(ModelContext& ctx, std::string* error = nullptr);
    // The same with the plug-in's work off this thread: the alarms stay as
    // they are until the answer is applied, on this thread, and
    // ctx.synchronized is told (a warning beside a group is told as its
    // error, with the alarms replaced). An answer for calendar settings changed
    // meanwhile is dropped and the group asked for again; group fields the
    // user changed meanwhile keep the user's value. False when nothing was
    // started: no plug-in, or a synchronisation of this group still runs.
    bool startSynchronization(ModelContext& ctx);
    bool synchronizing() const { return synchronizing_; }

    std::int32_t numberOfAlarms() const { return alarms.numberOfElements(); }
    AlarmPtr elementAt(std::int32_t index) const { return alarms.elementAt(index); }
    // Appends an alarm and makes this group its parent.
    void addAlarm(const AlarmPtr& alarm);

    bool getChanged() const;
    // Whether the group differs from what was last imported or exported. A
    // group that was imported or exported but not saved yet is marked changed
    // only so that it gets saved: what counts then is its content.
    bool getChangedSinceImport() const;
    void setChanged() { changed = true; }

    AlarmPtr getTemplateAlarm(ModelContext& ctx);
    // Name, state and synchronisation texts, each followed by its colour.
    std::vector<std::string> getStringItems(ModelContext& ctx) const;

    // The days off of `calendars` (empty: the group's own) as the timing asks
    // them; null when neither names a calendar.
    std::shared_ptr<const DaysOffLookup> daysOffLookup(const std::vector<std::string>& calendars) const;
    void setDaysOff(GroupDaysOff d);
    // Whether a timed item covering an alarm's moment makes it a day off too
    // (a setting of the program, not of the group).
    void setDaysOffByMoment(bool byMoment);
    bool daysOffByMoment() const { return daysOffByMoment_; }

private:
    void daysOffChanged();
    bool daysOffByMoment_ = false;
    mutable std::map<std::string, std::shared_ptr<const DaysOffLookup>> daysOffLookups_;
    void initialize();
    void readFrom(ModelContext& ctx, const XMLNode& root);
    // Everything but the alarms.
    void readSettings(ModelContext& ctx, const XMLNode& root);
    // Appends the alarm an "alrm" element describes; false for other elements.
    bool readAlarm(const XMLNodePtr& node, Alarm::SharedPrograms& programs);
    XMLNodePtr buildXML(bool changedSinceImportValue) const;
    // The group's XML text as it was imported or exported, kept while the
    // group's changed marks are still set; empty otherwise.
    std::string importedForm_;

    // What a synchronisation request was made from.
    struct SynchronizationBase {
        std::string plugIn, settings, name, tmpl;
        bool active = true;
        bool changedSinceImport = true;
        std::int32_t colour = 0;
    };
    SynchronizationBase synchronizationBase() const;
    std::string synchronizationRequest(ModelContext& ctx) const;
    // True when the answer could be read. With `base`, a field the answer
    // carries replaces the group's only where the group still holds the
    // value the request was made from. `error`: the plug-in's "error" when
    // it sent no group; `warning`: its "warning" when it sent one.
    bool applySynchronization(const std::string& answer, const SynchronizationBase* base,
                              std::string* error, std::string* warning);
    bool synchronizing_ = false;
};

using AlarmGroupPtr = std::shared_ptr<AlarmGroup>;

// The alarms whose next moment after `from` is the earliest, over the active
// alarms of the active groups (group order, then alarm order), with that
// moment. An alarm whose expression cannot be evaluated is skipped and
// reported through `onError` (group, alarm, message).
struct EarliestAlarms {
    std::vector<AlarmPtr> alarms;
    DateTime date = kNever;
};
using ExpressionErrorHandler =
    std::function<void(const AlarmGroup&, const Alarm&, const std::string& message)>;
// The alarms of `groups` that were loaded turned off because a whole number of
// their element lay out of range (Alarm::rangeFault), one line each:
// group name, ": ", alarm name, " (", the field and its text, ")".
std::vector<std::string> describeRangeFaults(const std::vector<std::shared_ptr<AlarmGroup>>& groups);

EarliestAlarms getEarliestAlarmsAfter(const Vector<AlarmGroup>& groups, DateTime from,
                                      bool onlyAfterInactive,
                                      const ExpressionErrorHandler& onError = {},
                                      bool calendarDate = false);

}  // namespace qv

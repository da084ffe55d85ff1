#pragma once
// Alarms nobody answered: an alarm window that closed by itself (its sound
// ended) or was still open when the program ended. They are kept, across
// restarts, until the user snoozes them from now or marks them done.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "model/alarm.h"

namespace qv {

class Program;

struct MissedAlarm {
    // The alarm while this run knows it; found again by group file, place
    // and name after a restart.
    std::weak_ptr<Alarm> alarm;
    std::string groupPath;  // the group's file
    std::int32_t position = -1;  // the alarm's place in its group
    std::string groupName;
    std::string name;
    DateTime due;       // the moment it sounded for
    DateTime closedAt;  // when its window went without an answer
};

class MissedAlarms {
  public:
    // Entries kept at most; the oldest go first.
    static constexpr std::size_t kMaxEntries = 100;
    // A longer file is not read (it is left as it is).
    static constexpr std::size_t kMaxFileBytes = 1u << 20;
    // Names longer than this are cut when noted.
    static constexpr std::size_t kMaxNameBytes = 400;

    explicit MissedAlarms(Program& program) : p_(program) {}

    const std::vector<MissedAlarm>& entries() const { return entries_; }
    std::size_t count() const { return entries_.size(); }

    // An alarm window for `alarm` sounding at `due` went unanswered. Noted
    // once per alarm and moment (when the setting "uat" is on), and written.
    void add(const AlarmPtr& alarm, DateTime due);
    // Whether that sounding is noted (the recent-alarms list marks it).
    bool contains(const Alarm* alarm, DateTime due) const;
    // The alarm of an entry: the one noted, or the one at its place in its
    // group with its name, or the first of its name there; null when gone.
    AlarmPtr find(const MissedAlarm& entry) const;
    // Done: the entry is forgotten.
    void remove(std::size_t index);
    void clear();
    // Snoozes the entry's alarm to `amount` `unit`s from now and forgets the
    // entry. False (and nothing changes) when the alarm is gone, is read-only
    // or the moment would not lie in the future.
    bool snoozeFromNow(std::size_t index, int amount, int unit);

    // The file "missed" beside the run-state file. A missing, unreadable, too
    // large or malformed file gives an empty list and is left as it is;
    // malformed entries are skipped.
    void load();
    // Written atomically; false when it could not be.
    bool save();
    std::string path() const;
    // The stored text of the entries, and the entries of such a text.
    std::string toText() const;
    static std::vector<MissedAlarm> fromText(const std::string& text);

    // Told whenever the list changes (tray badge, the missed-alarms window).
    std::function<void()> changed;

  private:
    void changedNow();

    Program& p_;
    std::vector<MissedAlarm> entries_;
};

}  // namespace qv

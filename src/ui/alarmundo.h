#pragma once
// The main window's memory of its last delete, cut or paste, for Ctrl+Z.
// A delete keeps the very alarm objects with their group and place, so an
// undo puts them back exactly as they were (snooze, counters, actions and
// all); a paste keeps the alarms it made, so an undo takes them out again.
// It lives for the session only.

#include <cstdint>
#include <memory>
#include <vector>

#include "model/alarm.h"
#include "model/alarmgroup.h"

namespace qv {

class AlarmUndo {
  public:
    // Call before the alarms leave their groups.
    void removing(const std::vector<AlarmPtr>& alarms);
    // Call once the pasted alarms are in their group.
    void pasted(const std::vector<AlarmPtr>& alarms);
    bool canUndo() const { return kind_ != Kind::kNone; }
    void forget();

    struct Result {
        std::vector<AlarmPtr> restored;  // put back into their groups
        std::vector<AlarmPtr> removed;   // pasted alarms taken out again
        bool groupGone = false;          // some could not go back: their group is not loaded
    };
    // Undoes the last step among the groups loaded now (`groups`); marks the
    // groups it changes. Afterwards there is nothing to undo.
    Result undo(const std::vector<AlarmGroupPtr>& groups);

  private:
    enum class Kind { kNone, kRemoved, kPasted };
    struct Entry {
        AlarmPtr alarm;
        std::weak_ptr<AlarmGroup> group;
        std::int32_t index = 0;
    };
    Kind kind_ = Kind::kNone;
    std::vector<Entry> entries_;
};

}  // namespace qv

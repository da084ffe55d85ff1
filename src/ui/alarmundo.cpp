#include "ui/alarmundo.h"

#include <algorithm>

namespace qv {

void AlarmUndo::forget() {
    kind_ = Kind::kNone;
    entries_.clear();
}

void AlarmUndo::removing(const std::vector<AlarmPtr>& alarms) {
    forget();
    for (const AlarmPtr& a : alarms) {
        const AlarmGroupPtr g = a ? a->parentGroup() : nullptr;
        if (!g) continue;
        const std::int32_t at = g->alarms.indexOf(a);
        if (at < 0) continue;
        entries_.push_back({a, g, at});
    }
    if (!entries_.empty()) kind_ = Kind::kRemoved;
}

void AlarmUndo::pasted(const std::vector<AlarmPtr>& alarms) {
    forget();
    for (const AlarmPtr& a : alarms)
        if (a) entries_.push_back({a, a->parentGroup(), 0});
    if (!entries_.empty()) kind_ = Kind::kPasted;
}

AlarmUndo::Result AlarmUndo::undo(const std::vector<AlarmGroupPtr>& groups) {
    Result out;
    auto loaded = [&](const AlarmGroupPtr& g) {
        return g && std::find(groups.begin(), groups.end(), g) != groups.end();
    };
    if (kind_ == Kind::kRemoved) {
        // Put back in the order of their old places, so each lands where it was.
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const Entry& a, const Entry& b) { return a.index < b.index; });
        for (const Entry& e : entries_) {
            const AlarmGroupPtr g = e.group.lock();
            if (!loaded(g)) {
                out.groupGone = true;
                continue;
            }
            // Already back (pasted in again by hand as this very object): left be.
            if (g->alarms.indexOf(e.alarm) >= 0) continue;
            const std::int32_t at = std::min(e.index, g->alarms.numberOfElements());
            g->alarms.addElementAt(e.alarm, at);
            e.alarm->parent = g;
            g->setChanged();
            out.restored.push_back(e.alarm);
        }
    } else if (kind_ == Kind::kPasted) {
        for (const Entry& e : entries_) {
            const AlarmGroupPtr g = e.alarm->parentGroup();
            if (!g || g->alarms.indexOf(e.alarm) < 0) continue;
            g->alarms.remove(e.alarm);
            g->setChanged();
            out.removed.push_back(e.alarm);
        }
    }
    forget();
    return out;
}

}  // namespace qv

#include "core/daysoffkeeper.h"

#include "base/dateformat.h"
#include "core/program.h"
#include "model/texts.h"

namespace qv::daysOffKeeper {

void applySetting(Program& p) {
    for (const AlarmGroupPtr& g : p.alarmGroups) g->setDaysOffByMoment(p.settings.dofm);
}

void refresh(Program& p, const AlarmGroupPtr& group, bool tell) {
    if (!group) return;
    group->setDaysOffByMoment(p.settings.dofm);
    // Nothing named and nothing kept: no plug-in call at all.
    if (daysOffSourcesOf(*group).empty() && group->daysOff.cache.empty()) return;
    Program* program = &p;
    refreshDaysOff(p.ctx, group, p.folders.shippedFolder, p.now(),
                   [program, tell](const AlarmGroupPtr& g, bool changed, const std::string& error) {
                       Program& q = *program;
                       if (!q.alarmGroups.contains(g)) return;  // removed meanwhile
                       if (!error.empty()) {
                           q.writeLog("days off of alarm group \"" + g->name +
                                      "\": a calendar could not be read: " + error);
                           if (tell)
                               q.ports.ui.showNotice(
                                   texts::fill(q.translation.getMainText(301), {g->name, error}));
                       }
                       if (changed) q.control.alarmGroupsChanged({g}, change::kEdited);
                   });
}

void refreshAll(Program& p, bool tell) {
    // A copy: an answer that comes at once may change the program's groups.
    const auto groups = p.alarmGroups.getCopy();
    for (const AlarmGroupPtr& g : *groups) refresh(p, g, tell);
}

std::string skipNote(Program& p) {
    const DateTime now = p.now();
    const DateTime next = p.supervision.nextAlarmDate;
    DateTime earliest = kNever;
    std::string name;
    for (const AlarmGroupPtr& g : p.alarmGroups) {
        if (!g->Active) continue;
        for (const AlarmPtr& a : g->alarms) {
            if (!a->Active || !a->notOnDaysOff) continue;
            DateTime skipped;
            std::string dayName;
            if (a->firstSkippedDayOff(now, skipped, dayName) && skipped < earliest) {
                earliest = skipped;
                name = dayName;
            }
        }
    }
    if (earliest == kNever || !(earliest < next)) return {};
    // Within the coming week the weekday says it; beyond it the date does.
    std::string day = p.translation.getString(10 + earliest.weekday());
    if (earliest.days() - now.days() >= 7)
        day += " " + formatDate(earliest, p.settings.df.ot, p.ports.dateNames);
    return texts::fill(p.translation.getMainText(300), {day, name});
}

}  // namespace qv::daysOffKeeper

// The main window's Ctrl+Z: the last delete, cut or paste undone.

#include <QAction>

#include "core/program.h"
#include "ui/frmquorvanemain.h"

namespace qv {
namespace {

constexpr int kGroupGone = 450;

}  // namespace

void frmQuorvaneMain::rememberRemoval(const std::vector<AlarmPtr>& alarms) {
    undo_.removing(alarms);
    if (mnuAlUndo_) mnuAlUndo_->setEnabled(undo_.canUndo());
}

void frmQuorvaneMain::rememberPaste(const std::vector<AlarmPtr>& alarms) {
    undo_.pasted(alarms);
    if (mnuAlUndo_) mnuAlUndo_->setEnabled(undo_.canUndo());
}

void frmQuorvaneMain::undoLast() {
    if (!undo_.canUndo()) return;
    const std::vector<AlarmGroupPtr> groups(p_.alarmGroups.begin(), p_.alarmGroups.end());
    const AlarmUndo::Result r = undo_.undo(groups);
    if (mnuAlUndo_) mnuAlUndo_->setEnabled(false);
    if (!r.restored.empty()) {
        // The alarms come back selected, in their groups, as after a paste.
        for (const AlarmGroupPtr& g : groups)
            for (const AlarmPtr& x : g->alarms)
                x->selected =
                    std::find(r.restored.begin(), r.restored.end(), x) != r.restored.end();
        for (const AlarmPtr& a : r.restored)
            if (const AlarmGroupPtr g = a->parentGroup()) g->selected = true;
        p_.control.alarmsChanged(r.restored, change::kEdited);
    }
    if (!r.removed.empty()) p_.control.alarmsChanged(r.removed, change::kDeleted);
    if (r.groupGone)
        p_.main.showMessageBox(p_.translation.getMainText(kGroupGone), mb::kExclamation);
}

}  // namespace qv

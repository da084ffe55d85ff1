#include "core/groupfoldersync.h"

#include <functional>
#include <set>
#include <vector>

#include "base/files.h"
#include "base/folders.h"
#include "core/program.h"
#include "model/texts.h"

namespace qv {

namespace {

// The main window's texts: the note about a group changed on both sides, and
// the name its other version is saved under.
constexpr int kBothChangedText = 140;
constexpr int kOtherComputerName = 141;

std::size_t hashOf(const std::string& content) { return std::hash<std::string>{}(content); }

}  // namespace

GroupFolderSync::GroupFolderSync(Program& program) : p_(program) {}

void GroupFolderSync::attach(FolderWatcher* watcher) {
    if (watcher_) watcher_->changed = nullptr;
    watcher_ = watcher;
    if (watcher_) watcher_->changed = [this] { rescan(); };
}

std::string GroupFolderSync::resolved(const std::string& storedPath) const {
    return AlarmGroup::resolvePath(storedPath, folder_);
}

void GroupFolderSync::restart(bool takeWhatIsThere) {
    seen_.clear();
    const std::string folder = p_.alarmGroupFolder();
    const bool on = watcher_ && p_.settings.wfld && !p_.safeMode && folderExists(folder);
    folder_ = on ? folder : std::string();
    if (watcher_) watcher_->watch(folder_);
    if (!on || !takeWhatIsThere) return;
    // What is there now is what the program has loaded (or left alone as
    // unreadable): only what changes from here on comes from elsewhere.
    for (const std::string& file : listMatchingFiles(folder_ + "/usg_*.agx"))
        if (const auto content = tryReadFile(file)) seen_[file] = {hashOf(*content), true};
}

void GroupFolderSync::noteSaved(const std::string& storedPath) {
    if (folder_.empty()) return;
    const std::string file = resolved(storedPath);
    if (const auto content = tryReadFile(file)) seen_[file] = {hashOf(*content), true};
}

bool GroupFolderSync::mayOverwrite(const std::string& storedPath) {
    if (folder_.empty() || storedPath.empty()) return true;
    const std::string file = resolved(storedPath);
    const auto it = seen_.find(file);
    if (it == seen_.end()) return true;
    if (!it->second.wellFormed) return false;
    // Changed there a moment ago, before the watcher's call came: looked at
    // first, so a change on both sides is kept on both.
    const auto content = tryReadFile(file);
    if (!content || hashOf(*content) == it->second.hash) return true;
    if (watcher_) watcher_->recheckIn(0);
    return false;
}

void GroupFolderSync::rescan() {
    if (folder_.empty() || !p_.started || p_.exiting) return;
    if (p_.modalOpen || p_.loading) {
        // A dialog may be editing one of these groups: look when it is closed.
        if (watcher_) watcher_->recheckIn(kBusyRetryMs);
        return;
    }
    if (folder_ != p_.alarmGroupFolder() || !folderExists(folder_)) {
        restart();
        return;
    }

    std::map<std::string, AlarmGroupPtr> byFile;
    for (const AlarmGroupPtr& g : p_.alarmGroups)
        if (!g->path.empty()) byFile[resolved(g->path)] = g;

    std::vector<AlarmGroupPtr> loaded, removed;
    std::set<std::string> present;
    bool retry = false;
    for (const std::string& file : listMatchingFiles(folder_ + "/usg_*.agx")) {
        present.insert(file);
        const auto content = tryReadFile(file);
        if (!content) {
            retry = true;
            continue;
        }
        const std::size_t hash = hashOf(*content);
        const auto seen = seen_.find(file);
        if (seen != seen_.end() && seen->second.hash == hash) continue;
        const auto held = byFile.find(file);
        const AlarmGroupPtr ours = held == byFile.end() ? nullptr : held->second;
        // Our own save (or the same group written elsewhere): nothing to take over.
        if (ours && *content == ours->toXML()->toString()) {
            seen_[file] = {hash, true};
            continue;
        }
        // Half-written by the other side: never loaded, never saved over.
        AlarmGroupPtr theirs;
        if (!XMLNode::Create()->initializeFromXML(*content))
            theirs = AlarmGroup::createAlarmGroupFromFile(p_.ctx, file);
        if (!theirs) {
            if (seen == seen_.end() || seen->second.wellFormed)
                p_.writeLog("alarm group file not complete yet, looked at again shortly: " + file);
            seen_[file] = {hash, false};
            retry = true;
            continue;
        }
        seen_[file] = {hash, true};
        if (!ours) {
            p_.alarmGroups.addElement(theirs);
            loaded.push_back(theirs);
        } else if (!ours->getChanged()) {
            p_.alarmGroups.setElementAt(theirs, p_.alarmGroups.indexOf(ours));
            loaded.push_back(theirs);
        } else {
            conflict(ours, theirs);
            loaded.push_back(theirs);
        }
    }
    for (auto it = seen_.begin(); it != seen_.end();) {
        if (present.count(it->first) || fileExists(it->first)) {
            ++it;
            continue;
        }
        // Removed elsewhere: unloaded here, unless we changed it since (then
        // our next save puts it back).
        const auto held = byFile.find(it->first);
        if (held != byFile.end() && !held->second->getChanged() &&
            p_.alarmGroups.contains(held->second)) {
            p_.alarmGroups.remove(held->second);
            removed.push_back(held->second);
        }
        it = seen_.erase(it);
    }

    if (!removed.empty()) p_.control.alarmGroupsChanged(removed, change::kDeleted);
    if (!loaded.empty()) p_.control.alarmGroupsChanged(loaded, change::kLoaded);
    if (retry && watcher_) watcher_->recheckIn(kRetryMs);
}

void GroupFolderSync::conflict(const AlarmGroupPtr& ours, const AlarmGroupPtr& theirs) {
    // Both sides changed the group: ours stays (and replaces the file at the
    // next save); theirs becomes a group of its own, so nothing is lost.
    theirs->name = texts::fill(p_.translation.getMainText(kOtherComputerName), {theirs->name});
    const std::string path = AlarmGroup::newFilePath(folder_);
    theirs->path.clear();
    if (theirs->save(p_.ctx, path, false)) {
        theirs->path = path;
        noteSaved(path);
    } else {
        theirs->setChanged();
    }
    p_.alarmGroups.addElement(theirs);
    ours->setChanged();
    p_.supervision.pendingWork |= pending::kSaveGroups;
    p_.control.saveSoon();
    p_.ports.ui.showNotice(
        texts::fill(p_.translation.getMainText(kBothChangedText), {ours->name, theirs->name}));
}

}  // namespace qv

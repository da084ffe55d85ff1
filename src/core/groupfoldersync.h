#pragma once
// One alarm folder on several computers: a synchronisation service (Syncthing,
// Nextcloud and the like) keeps the folder equal everywhere, and this takes
// over what the other side changed while the program runs. A group file
// changed, added or removed there is reloaded, added or unloaded, unless this
// program holds an unsaved change of that group: then ours is kept and theirs
// is saved as a group of its own. A file that is not well formed (still being
// written) is looked at again a few seconds later, and never loaded.

#include <cstddef>
#include <map>
#include <string>

#include "model/alarmgroup.h"

namespace qv {

class FolderWatcher;
class Program;

class GroupFolderSync {
  public:
    // How long a file that is not well formed is given to be finished.
    static constexpr int kRetryMs = 3000;
    // How long a look is put off while a dialog or a question is open.
    static constexpr int kBusyRetryMs = 2000;

    explicit GroupFolderSync(Program& program);

    // The watcher to use (none: nothing is watched).
    void attach(FolderWatcher* watcher);
    // Watches the alarm-group folder when the setting asks for it, and takes
    // what the folder holds now as known (unless `takeWhatIsThere` is false:
    // then the next look takes over every group file there that is not ours).
    // Called after the groups were loaded and when the settings changed.
    void restart(bool takeWhatIsThere = true);
    // Our own save of a group file: what it holds now is known.
    void noteSaved(const std::string& storedPath);
    // Looks at every group file of the folder and takes over what others changed.
    void rescan();
    // False while the group's file holds something of the other side's that
    // has not been looked at yet (or is half-written): saving over it now
    // would lose their version. The look is then asked for at once.
    bool mayOverwrite(const std::string& storedPath);

    bool watching() const { return !folder_.empty(); }

  private:
    struct Seen {
        std::size_t hash = 0;
        bool wellFormed = true;
    };
    std::string resolved(const std::string& storedPath) const;
    void conflict(const AlarmGroupPtr& ours, const AlarmGroupPtr& theirs);

    Program& p_;
    FolderWatcher* watcher_ = nullptr;
    std::string folder_;  // empty: not watching
    // What each group file of the folder held when we last read or wrote it.
    std::map<std::string, Seen> seen_;
};

}  // namespace qv

#include "core/modmain.h"

#include "core/daysoffkeeper.h"

#include <cerrno>
#include <cstdlib>

#include "base/files.h"
#include "base/folders.h"
#include "core/program.h"
#include "model/texts.h"

namespace qv {
namespace {

// Where a user finds help when the program cannot be loaded.
// There is no web site or mail address of the project to send people to
// (and an address that is not ours must not be given): the help that ships
// with the program stands in for both.
constexpr const char* kSupportMail = "the address given in the help";

constexpr const char* kShortRunQuestion =
    "Quorvane ran very short the last time, which may be caused by a wrongly set alarm. Do you "
    "want "
    "to start Quorvane in safe mode? (this will block the alarms and plug-ins and requires "
    "restarting Quorvane after you fix the problem)";
constexpr const char* kCrashQuestion =
    "Quorvane has not properly exited last time, which may indicate a system crash. If this is "
    "caused by the program, you may not want to start it again. Do you want to continue starting "
    "Quorvane?";
constexpr const char* kSafeModeQuestion =
    "Quorvane is being started. Do you want to start Quorvane in safe mode? (this will block the "
    "alarms and plug-ins and requires restarting Quorvane after you fix the problem)";

}  // namespace

modMain::modMain(Program& program) : p_(program) {}

// ---- Messages ------------------------------------------------------------------------

int modMain::showMessageBox(const std::string& text, int buttons) {
    const bool wasOpen = p_.modalOpen;
    p_.modalOpen = true;
    if (p_.speakMessages) p_.ports.performer.speak(text);
    const std::string title =
        p_.translation.readKey("frmQuorvaneMain", "frmQuorvaneMain", "Quorvane");
    const int answer = p_.ports.ui.messageBox(text, buttons, title);
    p_.modalOpen = wasOpen;
    return answer;
}

void modMain::showErrorBox(const std::string& text) { showMessageBox(text, mb::kCritical); }

// ---- Run state -------------------------------------------------------------------------

std::string modMain::readRunState() const { return readFile(p_.programFile("state")); }

bool modMain::writeRunState(const std::string& state) const {
    return writeFile(p_.programFile("state"), state);
}

// ---- Start-up ------------------------------------------------------------------------

std::string modMain::lastLanguage() const {
    // The settings file names it; read on its own, as the settings are not
    // read yet, and only as far as a language element goes.
    const auto text = tryReadFile(p_.settingsStore.settingsFilePath(), 4u * 1024 * 1024, nullptr);
    if (text) {
        const std::string lng = XMLNode::createFromXML(*text)->getString("lng");
        if (!lng.empty() && lng.find('/') == std::string::npos &&
            lng.find('\\') == std::string::npos && lng.find("..") == std::string::npos)
            return lng;
    }
    // A first run or a settings file without one: the system's language.
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v) continue;
        return std::string(v).rfind("de", 0) == 0 ? "Deutsch" : "English";
    }
    return "English";
}

bool modMain::start(const WindowLoader& loadWindows) {
    if (!p_.ports.instance.acquire()) return false;

    const std::string previous = readRunState();
    p_.runState = "2";
    bool safeMode = false;
    // The questions before the settings are read speak the last run's language.
    if (previous == "1" || previous == "2") p_.translation.setLanguage(lastLanguage());
    auto question = [&](int number, const char* english) {
        return p_.translation.languageFileExists() ? p_.translation.getMainText(number)
                                                   : std::string(english);
    };
    if (previous == "1") {
        safeMode = showMessageBox(question(144, kShortRunQuestion), 308) == mb::kAnswerYes;
        if (abandoned_) return false;
    } else if (previous == "2") {
        if (showMessageBox(question(145, kCrashQuestion), 52) != mb::kAnswerYes || abandoned_)
            return false;
        safeMode = showMessageBox(question(146, kSafeModeQuestion), 308) == mb::kAnswerYes;
        if (abandoned_) return false;
    } else if (previous == "3") {
        p_.runState = "3";
    }
    if (!writeRunState(p_.runState) && p_.ctx.log)
        p_.ctx.log("the run-state file cannot be written: " + p_.programFile("state"));

    p_.safeMode = safeMode;
    p_.ctx.safeMode = safeMode;
    p_.ports.plugIns.loadPlugins();
    p_.colours.resetColours();
    p_.control.initSupervision();

    int errorNumber = 0;
    std::string description;
    const bool windowsLoaded = !loadWindows || loadWindows(errorNumber, description);
    if (abandoned_) return false;
    if (!windowsLoaded) {
        const std::string number = (errorNumber >= 0 ? " " : "") + std::to_string(errorNumber);
        showMessageBox(
            std::string("Quorvane cannot be loaded. This is probably because one or more "
                        "files are not available. Please go to ") +
                p_.folders.shippedFile(helpPageName(p_.folders, p_.translation.readKey("Language", "id", "en"), "index.html")) +
                " to download the complete installation version. Please mail to " + kSupportMail +
                " if this doesn't help. The error message is: error" + number + ": " + description,
            mb::kExclamation);
        return false;
    }
    return startProgram(safeMode);
}

bool modMain::startProgram(bool safeMode) {
    resetAll(true);
    const bool settingsLoaded = p_.settingsStore.loadSettings(safeMode);
    if (abandoned_) return false;
    if (!settingsLoaded) {
        p_.ports.ui.quit();
        return false;
    }
    p_.ctx.alarmGroupFolder = p_.alarmGroupFolder();
    p_.missed.load();
    unreadableReported_ = false;
    rangeFaultsReported_ = false;
    loadAllAlarmGroups();
    if (abandoned_) return false;
    loadToDoText();
    p_.started = true;
    p_.ports.ui.showNextAlarm();
    return true;
}

void modMain::loadAllAlarmGroups() {
    UserInterface& ui = p_.ports.ui;
    ui.setBusy(true);
    const bool wasLoading = p_.loading;
    p_.loading = true;
    const std::string folder = p_.alarmGroupFolder();
    p_.ctx.alarmGroupFolder = folder;
    std::vector<AlarmGroupPtr> loaded;
    std::vector<std::string> unreadable;
    if (!folderExists(folder)) {
        showMessageBox(p_.translation.getMainText(102), mb::kExclamation);
    } else {
        // What a crash left half-written is not a group (nor a second copy of one).
        if (const int stale = removeStaleTempFiles(folder); stale > 0 && p_.ctx.log)
            p_.ctx.log("removed " + std::to_string(stale) + " unfinished file(s) from " + folder);
        for (const std::string& file : listMatchingFiles(folder + "/usg_*.*")) {
            if (AlarmGroupPtr g = loadGroupFile(file, folder))
                loaded.push_back(g);
            else
                unreadable.push_back(file);
        }
    }
    for (const AlarmGroupPtr& g : loaded) p_.alarmGroups.addElement(g);
    // Also with no folder: the supervision starts, and nothing of the groups
    // that were there before a reload stays armed.
    daysOffKeeper::applySetting(p_);
    const std::vector<AlarmGroupPtr> all(p_.alarmGroups.begin(), p_.alarmGroups.end());
    p_.control.alarmGroupsChanged(all, change::kLoaded);
    p_.loading = wasLoading;
    ui.setBusy(false);
    // From here on, what changes in the folder comes from elsewhere.
    p_.folderSync.restart();
    reportUnreadableGroups(unreadable);
    reportRangeFaults(loaded);
    // The days off the groups keep stand until their calendars are read again.
    daysOffKeeper::refreshAll(p_, true);
}

AlarmGroupPtr modMain::loadGroupFile(const std::string& file, const std::string& folder) {
    AlarmGroupPtr g = AlarmGroup::createAlarmGroupFromFile(p_.ctx, file);
    if (!g) {
        // Left where it is: a file we cannot read may still be mended by hand.
        if (p_.ctx.log)
            p_.ctx.log("alarm group file not loaded: " + file +
                       (AlarmGroup::isTooLarge(file)
                            ? " (larger than " + std::to_string(AlarmGroup::kMaxFileBytes >> 20) +
                                  " MB)"
                            : std::string()));
        return nullptr;
    }
    if (!file.ends_with(".agx")) {
        // A file in another format was imported. It is only removed once the
        // group is safe in a file of its own, so nothing is lost.
        const std::string path = AlarmGroup::newFilePath(folder);
        if (g->save(p_.ctx, path, false)) {
            g->path = path;
            if (!deleteFile(file) && p_.ctx.log) p_.ctx.log("cannot delete " + file);
        } else if (p_.ctx.log) {
            p_.ctx.log("imported alarm group not saved; " + file + " is kept");
        }
    }
    return g;
}

void modMain::reportUnreadableGroups(const std::vector<std::string>& files) {
    if (files.empty() || unreadableReported_) return;
    unreadableReported_ = true;
    std::string list;
    for (const std::string& f : files) {
        list += "\n" + f;
        // Too large to be read, and said so: the file itself is fine.
        if (AlarmGroup::isTooLarge(f))
            list += " " + texts::fill(p_.translation.getMainText(143),
                                      {std::to_string(AlarmGroup::kMaxFileBytes >> 20)});
    }
    showMessageBox(texts::fill(p_.translation.getMainText(120), {list}), mb::kExclamation);
}

void modMain::reportRangeFaults(const std::vector<AlarmGroupPtr>& groups) {
    const std::vector<std::string> faults = describeRangeFaults(groups);
    if (faults.empty()) return;
    std::string list;
    for (const std::string& f : faults) {
        if (p_.ctx.log) p_.ctx.log("alarm turned off, a number is out of range: " + f);
        list += "\n" + f;
    }
    // Like the unreadable files: told once a run, logged at every load.
    if (rangeFaultsReported_) return;
    rangeFaultsReported_ = true;
    showMessageBox(texts::fill(p_.translation.getMainText(142), {list}), mb::kExclamation);
}

void modMain::loadToDoText() {
    UserInterface& ui = p_.ports.ui;
    ui.setBusy(true);
    ui.setToDoText("");
    const std::string folder = p_.alarmGroupFolder();
    const std::string path = folder + "/todo.txt";
    toDoLoaded_ = false;
    if (const auto text = tryReadFile(path)) {
        ui.setToDoText(*text);
        p_.supervision.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveToDo);
        toDoLoaded_ = true;
    } else {
        // No file where the folder is: nothing to lose. A missing folder or a
        // file that cannot be read keeps its text until it is read.
        toDoLoaded_ = folderExists(folder) && !fileExists(path);
    }
    ui.setBusy(false);
}

void modMain::resetAll(bool resetClipboard) {
    p_.ports.ui.resetLists(resetClipboard);
    p_.alarmGroups.clear();
}

// ---- Saving and the exit path ----------------------------------------------------------

bool modMain::saveAlarmGroup(const AlarmGroupPtr& g) {
    const std::string folder = p_.alarmGroupFolder();
    p_.ctx.alarmGroupFolder = folder;
    const bool isNew = g->path.empty();
    const std::string path = isNew ? AlarmGroup::newFilePath(folder) : g->path;
    if (!g->save(p_.ctx, path, false)) {
        if (p_.ctx.log) p_.ctx.log("alarm group \"" + g->name + "\" not saved to " + path);
        return false;
    }
    if (isNew) g->path = path;
    // Our own file: the folder watch must not take it for one from elsewhere.
    p_.folderSync.noteSaved(path);
    return true;
}

bool modMain::saveChangedAlarmGroups() {
    bool all = true;
    std::string cause;
    for (const AlarmGroupPtr& g : p_.alarmGroups) {
        if (!g->getChanged()) continue;
        // Its file is being written on another computer: saved once that is done.
        if (!p_.folderSync.mayOverwrite(g->path)) {
            all = false;
            continue;
        }
        if (!saveAlarmGroup(g)) {
            all = false;
            if (cause.empty()) cause = "\"" + g->name + "\": " + writeFailureText();
        }
    }
    // A group held back for the other computer is no failure to tell.
    noteWrite(Written::kAlarmGroups, cause.empty(), cause);
    return all;
}

bool modMain::saveToDoText() {
    const std::string path = p_.alarmGroupFolder() + "/todo.txt";
    const std::string text = p_.ports.ui.toDoText();
    if (!toDoLoaded_) {
        // The file there was never shown: it is not replaced. What was typed
        // meanwhile is written only where no file is.
        if (fileExists(path) || text.empty()) return true;
    }
    const bool ok = writeFile(path, text);
    noteWrite(Written::kToDoText, ok, ok ? std::string() : writeFailureText());
    if (ok) toDoLoaded_ = true;
    return ok;
}

void modMain::noteWrite(Written what, bool ok, const std::string& cause) {
    std::string& told = writeProblems_[static_cast<std::size_t>(what)];
    const std::string name = writtenName(what);
    if (ok) {
        if (told.empty()) return;
        told.clear();
        if (p_.ctx.log) p_.ctx.log("written again: " + name);
    } else {
        const std::string now = cause.empty() ? "unknown error" : cause;
        if (told == now) return;
        told = now;
        if (p_.ctx.log) p_.ctx.log("cannot write: " + name + " (" + now + ")");
    }
    p_.ports.ui.showWriteProblem(writeProblems());
}

std::string modMain::writeFailureText() const {
    // The common causes in the user's language, the system's own words after
    // them for whoever needs the detail.
    static constexpr std::pair<int, std::pair<const char*, const char*>> kCauses[] = {
        {ENOSPC, {"s147", "the disk is full"}},
        {EDQUOT, {"s148", "your disk quota is used up"}},
        {EROFS, {"s149", "the disk is read-only"}},
        {EACCES, {"s150", "you may not write there"}},
        {EPERM, {"s150", "you may not write there"}},
        {ENOENT, {"s151", "the folder does not exist"}},
        {EIO, {"s152", "the disk reports an error"}},
    };
    const int error = lastWriteErrno();
    for (const auto& [number, text] : kCauses)
        if (number == error)
            return p_.translation.readKey("frmQuorvaneMain", text.first, text.second) + " - " +
                   lastWriteFailure();
    return lastWriteFailure();
}

std::string modMain::writtenName(Written what) const {
    // An older language file of the user's own may lack these texts.
    static constexpr std::pair<const char*, const char*> kNames[] = {
        {"s124", "settings"}, {"s125", "alarm groups"}, {"s126", "to-do text"}};
    const auto& [key, english] = kNames[static_cast<std::size_t>(what)];
    return p_.translation.readKey("frmQuorvaneMain", key, english);
}

std::string modMain::writeProblems() const {
    const std::string line = p_.translation.readKey(
        "frmQuorvaneMain", "s127",
        "Not saved: #1 (#2). Your alarms go on sounding; Quorvane tries again at every check.");
    std::string lines;
    for (std::size_t i = 0; i < writeProblems_.size(); ++i) {
        if (writeProblems_[i].empty()) continue;
        if (!lines.empty()) lines += '\n';
        lines += texts::fill(line, {writtenName(static_cast<Written>(i)), writeProblems_[i]});
    }
    return lines;
}

bool modMain::saveBeforeExit(bool ask) {
    // Each question only when the user is there to answer it: a signal or the
    // end of the session ends the program whatever could not be written.
    auto goOn = [&](int text) {
        return !ask || showMessageBox(p_.translation.getMainText(text), 52) == mb::kAnswerYes;
    };
    // What the user typed first: saving the settings asks the running
    // plug-ins for theirs, and one that crashes must not take the edits along.
    bool ok = true;
    if (p_.settings.as) {
        // Changed alarm groups that cannot be written would be lost: ask first.
        if (!saveChangedAlarmGroups()) ok = goOn(104);
        if (!saveToDoText()) ok = goOn(106) && ok;
    }
    if (!p_.settingsStore.saveSettings()) ok = goOn(103) && ok;
    return ok;
}

void modMain::endRequested() {
    if (p_.exiting) return;
    if (!p_.started) {
        abandonStart();
        return;
    }
    // Nobody is there to answer a question: whatever box is open, the program
    // ends through the exit path (every event loop is left, open boxes too).
    exitProgram(true, false);
}

void modMain::abandonStart() {
    // Nothing is written: not the settings (not read yet, or not complete),
    // not the to-do text, not the run-state file, which keeps telling the
    // next start how this one ended.
    if (abandoned_) return;
    abandoned_ = true;
    p_.exiting = true;
    p_.ports.ui.quit();
}

bool modMain::exitProgram(bool endProcess, bool ask) {
    if (!p_.started) {
        abandonStart();
        return true;
    }
    if (!saveBeforeExit(ask)) return false;
    p_.exiting = true;
    std::string state = "3";
    if (p_.runState != "3") {
        const DateTime now = p_.now();
        if (dateDiff(p_.startTime, now, kDays) > 1 || dateDiff(p_.startTime, now, kSeconds) > 30)
            state = "0";
        else
            state = "1";
    }
    if (!writeRunState(state) && p_.ctx.log) p_.ctx.log("the run-state file cannot be written");
    // Alarm windows still waiting for an answer are not lost with the program.
    for (const auto& [alarm, due] : p_.ports.performer.openSoundings()) p_.missed.add(alarm, due);
    p_.ports.performer.stopAllSounds();
    p_.ports.ui.unloadAllWindows();
    p_.ports.plugIns.releaseAll();
    if (endProcess) p_.ports.ui.quit();
    return true;
}

}  // namespace qv

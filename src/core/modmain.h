#pragma once
// Start-up and the orderly end: single instance, the run-state file and safe
// mode, loading the settings, the alarm groups and the to-do text; saving and
// the exit path; the program's message boxes.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "model/alarmgroup.h"

namespace qv {

class Program;

class modMain {
  public:
    explicit modMain(Program& program);

    // The start-up procedure. `loadWindows` loads the About window and the main
    // window and returns false (with an error number and description) when they
    // cannot be loaded. False when the program is to end at once.
    using WindowLoader = std::function<bool(int& errorNumber, std::string& description)>;
    bool start(const WindowLoader& loadWindows);
    // False when the settings could not be read (the program ends).
    bool startProgram(bool safeMode);
    void loadAllAlarmGroups();
    void loadToDoText();
    void resetAll(bool resetClipboard);

    // Saves the settings and, with auto-save, the changed groups and the to-do
    // text; false when the exit must not go on. With `ask` a failed write asks
    // whether to go on; without it (a signal, the end of the session) the exit
    // goes on and what could not be written is logged.
    bool saveBeforeExit(bool ask = true);
    // The exit path; false when it stopped because saving failed. Before
    // start-up has finished it saves nothing: what would be saved is not the
    // user's yet (defaults, an empty to-do text).
    bool exitProgram(bool endProcess, bool ask = true);
    // A signal or the end of the desktop session asks the program to end: the
    // exit path once running, at once and without writing anything before.
    void endRequested();
    // True when start-up was broken off by endRequested.
    bool startAbandoned() const { return abandoned_; }
    // The group to its file in the alarm-group folder (a new "usg_<n>.agx" when
    // it has none), known from then on as our own to the folder watch; false
    // when it could not be written.
    bool saveAlarmGroup(const AlarmGroupPtr& g);
    // Every changed group to its file; true when all were saved.
    bool saveChangedAlarmGroups();
    // The to-do text to "todo.txt" of the alarm-group folder; false when it
    // could not be written (told through noteWrite, never asked).
    bool saveToDoText();

    // What the program writes on its own. A write that fails is told without a
    // question (the main window, a desktop notification, the log), once per
    // cause and again when the cause changes; the alarms go on meanwhile and the
    // next tick tries again. A write that works again clears it.
    enum class Written { kSettings, kAlarmGroups, kToDoText };
    // Why the last write failed, in the user's language where the cause is a common one.
    std::string writeFailureText() const;
    void noteWrite(Written what, bool ok, const std::string& cause = {});
    // The problems told and not cleared yet, one line each; empty when none.
    std::string writeProblems() const;
    std::string writtenName(Written what) const;

    int showMessageBox(const std::string& text, int buttons);
    void showErrorBox(const std::string& text);

    // The run-state file "state" of the program folder.
    std::string readRunState() const;
    bool writeRunState(const std::string& state) const;

  private:
    // The language of the last run (the settings file's), else the system's.
    std::string lastLanguage() const;
    void abandonStart();
    // One group file of the folder; null when it cannot be read.
    AlarmGroupPtr loadGroupFile(const std::string& file, const std::string& folder);
    // Names the group files that could not be read, once per start.
    void reportUnreadableGroups(const std::vector<std::string>& files);
    // Alarms loaded turned off for a number out of range: logged one by one,
    // then told in one message.
    void reportRangeFaults(const std::vector<AlarmGroupPtr>& groups);

    Program& p_;
    bool abandoned_ = false;
    // The to-do text shown is the file's (or there was no file to lose): only
    // then may it replace the file.
    bool toDoLoaded_ = false;
    bool unreadableReported_ = false;
    // The cause last told for each kind of write; empty while writing works.
    std::array<std::string, 3> writeProblems_;
    bool rangeFaultsReported_ = false;
};

}  // namespace qv

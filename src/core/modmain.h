#pragma once
// Start-up and the orderly end: single instance, the run-state file and safe
// mode, loading the settings, the alarm groups and the to-do text; saving and
// the exit path; the program's message boxes.

#include <functional>
#include <string>

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
    // text; false when the exit must not go on.
    bool saveBeforeExit();
    // The exit path; false when it stopped because saving failed.
    bool exitProgram(bool endProcess);
    // Every changed group to its file (a new "usg_<n>.agx" when it has none);
    // true when all were saved.
    bool saveChangedAlarmGroups();
    // The to-do text to "todo.txt" of the alarm-group folder; asks language text
    // 106 on failure like the settings do.
    bool saveToDoText();

    int showMessageBox(const std::string& text, int buttons);
    void showErrorBox(const std::string& text);

    // The run-state file "state" of the program folder.
    std::string readRunState() const;
    bool writeRunState(const std::string& state) const;

private:
    Program& p_;
};

}  // namespace qv

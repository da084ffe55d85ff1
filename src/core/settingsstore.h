#pragma once
// The settings file "usr.cfx": read once at start into the program's settings
// values, written again whenever a setting changed and at exit.

#include <string>

#include "xml/xmlnode.h"

namespace qv {

class Program;

class SettingsStore {
public:
    explicit SettingsStore(Program& program);

    // Reads the file and applies it, in the file's order of keys. A missing or
    // empty file first opens the first-time settings; values that are missing or
    // do not convert keep their defaults. False when an error stopped the reading
    // (the user has been told "Error while loading settings: ..."; the program
    // must end).
    bool loadSettings(bool safeMode);
    // Writes the file (atomically); false when it failed. Nothing is asked: a
    // failure is told through modMain::noteWrite and tried again later.
    bool saveSettings();
    // The same; kept for the callers that write the supervision's state.
    [[nodiscard]] bool writeSettingsFile();
    // A setting changed: the file is written at the next tick.
    void settingsChanged();

    // The tree saveSettings writes, from the current values.
    XMLNodePtr toXML();
    // Applies a tree as loadSettings does (steps 1 to 11).
    void applyXML(const XMLNode& root, bool safeMode);

    std::string settingsFilePath() const;
    // The built-in layouts of the four lists ("ag", "al", "sa0", "sa1") under "lst".
    static XMLNodePtr builtInColumnLayouts();

private:
    Program& p_;
    int step_ = 0;  // the section being read, for the error message
};

}  // namespace qv

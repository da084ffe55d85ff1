#pragma once
// Usage figures kept across runs, and the diagnostic snapshot of the supervision.

#include <string>
#include <string_view>

#include "xml/xmlnode.h"

namespace qv {

class Program;

// The program's version comes from the build (the project's version), so the
// About window, the statistics and the version check all name the same one.
inline constexpr int kVersionMajor = QUORVANE_VERSION_MAJOR;
inline constexpr int kVersionMinor = QUORVANE_VERSION_MINOR;
inline constexpr int kVersionRevision = QUORVANE_VERSION_PATCH;
// "major.minor.revision".
std::string versionText();

class Statistics {
public:
    explicit Statistics(Program& program);

    // Seconds run in earlier runs plus this run's.
    std::int64_t totalRunSeconds() const;
    // "Stats since v<version>. Starting: ..." as the About window shows it.
    std::string statisticsText() const;
    // The "debuglog" element of the supervision state.
    XMLNodePtr debugSnapshot() const;
    // Writes the snapshot to the program folder; the file's path, or "" on failure.
    std::string writeDebugLog();
    // Drops \ / : * ? " < > |.
    static std::string removeFileNameChars(std::string_view text);

private:
    Program& p_;
};

}  // namespace qv

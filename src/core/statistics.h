#pragma once
// Usage figures kept across runs, and the diagnostic snapshot of the supervision.

#include <string>
#include <string_view>

#include "xml/xmlnode.h"

namespace qv {

class Program;

inline constexpr int kVersionMajor = 0;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;

class Statistics {
public:
    explicit Statistics(Program& program);

    // Seconds run in earlier runs plus this run's.
    std::int64_t totalRunSeconds() const;
    // "Stats since v2.0.0. Starting: ..." as the About window shows it.
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

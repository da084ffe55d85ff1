#include "core/statistics.h"

#include <algorithm>

#include "base/dateformat.h"
#include "core/program.h"

namespace qv {

std::string versionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

Statistics::Statistics(Program& program) : p_(program) {}

std::int64_t Statistics::totalRunSeconds() const {
    // A clock set back during the run must not take time off the earlier runs.
    const std::int64_t thisRun =
        std::max<std::int64_t>(0, p_.now().seconds() - p_.startTime.seconds());
    return static_cast<std::int64_t>(p_.settings.staS1) + thisRun;
}

std::string Statistics::statisticsText() const {
    return "Stats since v" + versionText() +
           ". Starting: " + formatDate(p_.settings.staS3, p_.settings.df.ot, p_.ports.dateNames) +
           ". Time running:" + std::to_string(totalRunSeconds()) +
           " seconds. Alarms sounded:" + std::to_string(p_.ctx.alarmsSounded);
}

XMLNodePtr Statistics::debugSnapshot() const {
    const SupervisionState& s = p_.supervision;
    auto log = XMLNode::Create("debuglog");
    log->addString("s", std::to_string(kVersionMajor));
    log->addString("s", std::to_string(kVersionMinor));
    log->addString("s", std::to_string(kVersionRevision));
    log->addDate("s", s.nextAlarmDate);
    log->addLong("s", s.nextAlarms.numberOfElements());
    log->addDate("s", s.lastSupervised);
    log->addLong("s", p_.ports.timer.interval());
    log->addBoolean("s", p_.ports.timer.isActive());
    log->addBoolean("s", p_.modalOpen);
    log->addBoolean("s", p_.loading);
    log->addInteger("s", s.pendingWork);
    log->addDate("s", p_.control.getSupervisionNow(false));
    log->addDate("s", p_.now());
    return log;
}

std::string Statistics::writeDebugLog() {
    const std::string path =
        p_.programFile(removeFileNameChars(toStoredText(p_.now())) + "debug.log");
    return debugSnapshot()->toXMLFile(path) ? std::string() : path;
}

std::string Statistics::removeFileNameChars(std::string_view text) {
    constexpr std::string_view kForbidden = "\\/:*?\"<>|";
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (kForbidden.find(c) == std::string_view::npos) out += c;
    return out;
}

}  // namespace qv

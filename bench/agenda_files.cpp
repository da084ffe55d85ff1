// Writes the model benchmarks' 10 000 alarms twice into a folder: as ten
// alarm-group files (groups/usg_<n>.agx) for quorvane-agenda, and as one
// Remind file (alarms.rem) for `remind -n`, so bench/agenda_vs_remind can time
// both on the same alarms.
//
// Remind has no hourly repetition and no "monthly on the 31st, else the last
// day"; those alarms are written as the nearest Remind line (the hourly
// working-hours alarm as its first ringing of each working day, the 31st as
// Remind's day 31, which skips shorter months). Everything else is the same
// schedule, corrections included.
#include <cstdio>
#include <fstream>
#include <string>

#include "base/datetime.h"
#include "base/files.h"
#include "benchsupport.h"

namespace {

using qv::Alarm;
using qv::DateTime;

std::string isoDate(DateTime d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    return buf;
}

std::string clock(DateTime d) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", d.hour(), d.minute());
    return buf;
}

// The alarm's moments with its correction applied to the anchor: the same
// points as correcting each one, for the whole-day and minute corrections of
// the mix. Month corrections move the anchor's month.
DateTime correctedAnchor(const Alarm& a, DateTime anchor) {
    if (a.correctionAmount == 0) return anchor;
    return qv::addToDate(anchor, a.correctionAmount, a.correctionUnit);
}

std::string weekdayList(int bits) {
    static const char* const kNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string out;
    for (int d = 0; d < 7; ++d)
        if ((bits >> d) & 1) out += std::string(kNames[d]) + " ";
    return out;
}

// One Remind line for the alarm.
std::string remindLine(const Alarm& a) {
    const std::string msg = " MSG " + a.name + "\n";
    if (a.momentKind == Alarm::kOnce)
        return "REM " + isoDate(a.onceDate) + " AT " + clock(a.onceDate) + msg;
    const DateTime anchor = correctedAnchor(a, a.nextDate);
    const std::string at = " AT " + clock(anchor);
    const std::string from = " FROM " + isoDate(anchor);
    if (a.activePeriod & Alarm::kRestrictWeekdays)
        return "REM " + weekdayList(a.weekDays) + from.substr(1) + at + msg;
    if (a.activePeriod & Alarm::kRestrictDates)
        return "REM FROM " + isoDate(a.startDate) + " UNTIL " + isoDate(a.endDate) + at + msg;
    if (a.activePeriod & Alarm::kRestrictExpression) {
        if (a.activeAdvanced.find("DAYOFMONTH <= 7") != std::string::npos)
            return "REM Mon 1" + from + at + msg;  // the first Monday of the month
        if (a.activeAdvanced.find("MONTH == 2") != std::string::npos)
            return "REM" + from + at + " SATISFY [monnum($T) == 2 || monnum($T) == 8]" + msg;
        return "REM Mon Tue Wed Thu Fri Sat" + from + " AT 08:" + clock(anchor).substr(3) + msg;
    }
    switch (a.everyUnit) {
        case qv::kMonths:
            return "REM " + std::to_string(anchor.day()) + from + at + msg;
        case qv::kWeeks:
            return "REM " + isoDate(anchor) + " *" + std::to_string(7 * a.everyAmount) + at + msg;
        default:
            return "REM " + isoDate(anchor) + " *" + std::to_string(a.everyAmount) + at + msg;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: agenda_files FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const auto& mix = qv::bench::alarmMix();
    std::string remind =
        "# " + std::to_string(qv::bench::kAlarms) + " alarms, written by agenda_files\n";
    int n = 0;
    for (const auto& group : mix.groups) {
        const std::string path = folder + "/groups/usg_" + std::to_string(n++) + ".agx";
        if (group->toXML()->toXMLFile(path)) {
            std::fprintf(stderr, "agenda_files: cannot write %s\n", path.c_str());
            return 1;
        }
        for (const auto& alarm : group->alarms) remind += remindLine(*alarm);
    }
    if (!qv::writeFile(folder + "/alarms.rem", remind)) {
        std::fprintf(stderr, "agenda_files: cannot write %s/alarms.rem\n", folder.c_str());
        return 1;
    }
    return 0;
}

// A group file as the program reads it: the text is written to a file, read
// alarm by alarm while it is parsed, and every alarm is asked its first
// moments after a fixed moment, nominal and corrected. Whatever the text, no
// crash, no hang; an answer is always after the question; an alarm holding a
// number out of range is off; and the group written and read again keeps its
// alarms, their faults and its written form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/files.h"
#include "model/alarmgroup.h"
#include "model/clsadvanceddate.h"
#include "model/modelfixture.h"

namespace {

qv::test::ModelFixture& fixture() {
    static auto* f = new qv::test::ModelFixture;
    return *f;
}

const qv::DateTime kAsked = qv::DateTime::fromParts(2025, 3, 31, 7, 59, 30);

void ask(const qv::AlarmPtr& alarm) {
    for (const bool calendar : {false, true}) {
        try {
            if (alarm->hasNextAlarmDateAfter(kAsked, calendar) &&
                !(alarm->getNextAlarmDateAfter() > kAsked))
                std::abort();
            std::vector<qv::DateTime> moments;
            alarm->listMomentsAfter(kAsked, qv::DateTime::fromParts(2026, 1, 1), calendar, moments,
                                    8);
            for (std::size_t i = 0; i < moments.size(); ++i)
                if (!(moments[i] > (i == 0 ? kAsked : moments[i - 1]))) std::abort();
        } catch (const qv::AdvancedDateError&) {
            // A malformed expression: the alarm is simply not due.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::test::ModelFixture& f = fixture();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = f.folder.file("groups/usg_0.agx");
    if (!qv::writeFile(path, text)) std::abort();
    const qv::AlarmGroupPtr g = qv::AlarmGroup::createAlarmGroupFromFile(f.ctx, path);
    if (!g) return 0;  // not well formed: left alone
    for (const qv::AlarmPtr& alarm : g->alarms) {
        if (!alarm->rangeFault.empty() && alarm->Active) std::abort();
        ask(alarm);
    }
    // Written and read again: the same alarms, the same faults, the same text.
    const std::string written = g->toXML()->toString();
    const qv::AlarmGroupPtr again = qv::AlarmGroup::createFromXML(f.ctx, written);
    if (again->numberOfAlarms() != g->numberOfAlarms()) std::abort();
    for (std::int32_t i = 0; i < g->numberOfAlarms(); ++i)
        if (again->elementAt(i)->rangeFault != g->elementAt(i)->rangeFault) std::abort();
    if (again->toXML()->toString() != written) std::abort();
    return 0;
}

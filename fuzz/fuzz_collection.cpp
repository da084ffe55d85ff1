// An alarm group collection (.agc): every child element of the document is a
// group. Whatever the text, no crash, no hang; the groups' alarms answer
// their first moments; and the collection saved and read again gives the
// same groups.
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

std::vector<std::string> forms(const std::vector<qv::AlarmGroupPtr>& groups) {
    std::vector<std::string> out;
    for (const auto& g : groups) out.push_back(g->toXML()->toString());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::test::ModelFixture& f = fixture();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = f.folder.file("in.agc");
    if (!qv::writeFile(path, text)) std::abort();
    const auto groups = qv::AlarmGroup::createAlarmGroupsFromCollection(f.ctx, path);
    const qv::DateTime asked = qv::DateTime::fromParts(2025, 3, 31, 7, 59, 30);
    for (const auto& g : groups) {
        for (const qv::AlarmPtr& alarm : g->alarms) {
            if (!alarm->rangeFault.empty() && alarm->Active) std::abort();
            try {
                if (alarm->hasNextAlarmDateAfter(asked, false) &&
                    !(alarm->getNextAlarmDateAfter() > asked))
                    std::abort();
            } catch (const qv::AdvancedDateError&) {
            }
        }
    }
    if (groups.empty()) return 0;
    const std::string out = f.folder.file("out.agc");
    if (!qv::AlarmGroup::saveCollection(groups, out)) std::abort();
    const auto again = qv::AlarmGroup::createAlarmGroupsFromCollection(f.ctx, out);
    if (forms(again) != forms(groups)) std::abort();
    return 0;
}

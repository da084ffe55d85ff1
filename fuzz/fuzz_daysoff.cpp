// Days off from untrusted text: the fuzzer's bytes as a days-off calendar
// (read between two fixed moments) and as the days-off element of a group
// file. Neither may crash, hang or keep more items than allowed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/daysoff.h"
#include "outlook/daysoffread.h"
#include "xml/xmlnode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto reading = qv::outlook::readDaysOff(text, qv::DateTime::fromParts(2024, 1, 1),
                                                  qv::DateTime::fromParts(2036, 1, 1));
    if (reading.items.size() > qv::kMaxDaysOffItems) std::abort();
    const auto node = qv::XMLNode::createFromXML(text);
    const qv::GroupDaysOff d = qv::GroupDaysOff::fromXML(*node);
    for (const auto& [source, calendar] : d.cache) {
        if (calendar.items.size() > qv::kMaxDaysOffItems) std::abort();
        const qv::DaysOffLookup lookup({&calendar}, true);
        for (const qv::DayOffItem& i : calendar.items) (void)lookup.find(i.from);
    }
    return 0;
}

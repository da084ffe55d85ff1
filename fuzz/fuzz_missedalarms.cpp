// The list of alarms nobody answered as start-up reads it: whatever the file
// holds, reading never crashes, keeps at most the entries and name lengths it
// allows, and what it then writes reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/files.h"
#include "core/corefixture.h"

namespace {

qv::test::CoreFixture& fixture() {
    static auto* f = new qv::test::CoreFixture;
    return *f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::test::CoreFixture& f = fixture();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!qv::writeFile(f.p().missed.path(), text)) std::abort();
    f.p().missed.load();
    const auto& entries = f.p().missed.entries();
    if (entries.size() > qv::MissedAlarms::kMaxEntries) std::abort();
    for (const auto& e : entries)
        if (e.name.size() > qv::MissedAlarms::kMaxNameBytes ||
            e.groupName.size() > qv::MissedAlarms::kMaxNameBytes || !(e.due < qv::kNever))
            std::abort();
    // Reading leaves the file alone.
    if (qv::readFile(f.p().missed.path()) != text) std::abort();
    const std::string written = f.p().missed.toText();
    const auto again = qv::MissedAlarms::fromText(written);
    if (again.size() != entries.size()) std::abort();
    return 0;
}

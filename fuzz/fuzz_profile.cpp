// Profile text, colour texts and date formats come from files the user can edit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const qv::ProfileText profile(text);
    // Look up the first line's words so found keys get exercised too.
    const std::size_t eol = text.find('\n');
    const std::string_view first = text.substr(0, eol);
    const std::size_t eq = first.find('=');
    const auto found = profile.find(first.substr(0, eq == std::string_view::npos ? 0 : eq),
                                    first.substr(eq == std::string_view::npos ? 0 : eq + 1));
    if (found && found->size() > qv::kProfileValueLimit) __builtin_trap();

    (void)qv::modColors::parseColour(text);
    if (size < 4096) {
        const qv::EnglishDateNames names;
        (void)qv::formatDate(qv::DateTime::fromParts(2024, 2, 29, 23, 59, 59), text, names);
        (void)qv::formatDate(qv::kNever, text, names);
    }
    return 0;
}

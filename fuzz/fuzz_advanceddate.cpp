// Differential fuzzing of advanced date expressions: the rewriting evaluator and
// the compiled form must give the same value, or both raise, for every input.
// Input: 8 bytes choosing the date-time, then the expression text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "model/clsadvanceddate.h"

namespace {

template <typename F>
std::optional<bool> outcome(F&& f) {
    try {
        return f();
    } catch (const qv::AdvancedDateError&) {
        return std::nullopt;
    }
}

// Mostly the years an alarm sees; now and then far before or after them, where
// YEAR turns negative or outgrows 16 bits.
qv::DateTime pickDate(std::uint64_t v) {
    const bool wide = (v >> 63) != 0;
    const std::int64_t lo = qv::DateTime::fromParts(wide ? -100 : 1900, 1, 1).seconds();
    const std::int64_t hi = qv::DateTime::fromParts(wide ? 50000 : 10000, 1, 1).seconds();
    const auto span = static_cast<std::uint64_t>(hi - lo);
    return qv::DateTime(lo + static_cast<std::int64_t>((v & ~(1ULL << 63)) % span));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::uint64_t v;
    std::memcpy(&v, data, 8);
    const qv::DateTime date = pickDate(v);
    const std::string_view expression(reinterpret_cast<const char*>(data + 8), size - 8);

    qv::clsAdvancedDate plain;
    const qv::AdvancedDateProgram program(expression);
    const auto a = outcome([&] { return plain.getDateEval(date, expression); });
    const auto b = outcome([&] { return program.evaluate(date); });
    if (a != b) std::abort();
    // Asked again, and at another time of the same day (the program keeps its
    // answers by day when it reads no time of day).
    if (outcome([&] { return program.evaluate(date); }) != a) std::abort();
    const qv::DateTime other(date.seconds() + (date.seconds() % 86400 < 43200 ? 43200 : -43200));
    if (outcome([&] { return program.evaluate(other); }) !=
        outcome([&] { return plain.getDateEval(other, expression); }))
        std::abort();
    return 0;
}

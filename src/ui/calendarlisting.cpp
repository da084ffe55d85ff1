#include "ui/calendarlisting.h"

#include <algorithm>
#include <array>
#include <exception>

namespace qv {
namespace {

// Moments listed per alarm at most (an alarm every second over a year would
// otherwise fill the memory).
constexpr int kOccurrenceLimit = 100000;

// Moments in the year 9999 are the timing's "never" and "given up".
const DateTime kYear9999 = DateTime::fromParts(9999, 1, 1);

// Orders the occurrences by start, keeping the listing's order among equal
// starts: a stable radix sort on the start's seconds from the earliest one,
// eleven bits a pass. Hundreds of thousands of occurrences sort in a few
// milliseconds, where a comparison sort takes several times as long.
void sortByStart(std::vector<CalendarOccurrences::Item>& items) {
    if (items.size() < 2) return;
    std::int64_t lo = items[0].start.seconds(), hi = lo;
    for (const auto& it : items) {
        lo = std::min(lo, it.start.seconds());
        hi = std::max(hi, it.start.seconds());
    }
    const auto span = static_cast<std::uint64_t>(hi - lo);
    constexpr int kBits = 11;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    std::vector<CalendarOccurrences::Item> other(items.size());
    for (int shift = 0; shift < 64 && (span >> shift) != 0; shift += kBits) {
        std::array<std::size_t, kBuckets + 1> start{};
        auto digit = [&](const CalendarOccurrences::Item& it) {
            return static_cast<std::size_t>(
                (static_cast<std::uint64_t>(it.start.seconds() - lo) >> shift) & (kBuckets - 1));
        };
        for (const auto& it : items) ++start[digit(it) + 1];
        for (std::size_t b = 1; b <= kBuckets; ++b) start[b] += start[b - 1];
        for (const auto& it : items) other[start[digit(it)]++] = it;
        items.swap(other);
    }
}

}  // namespace

CalendarOccurrences listCalendarOccurrences(const Vector<AlarmGroup>& groups, DateTime first,
                                            DateTime last, int minImportance,
                                            bool ignoreCorrection) {
    CalendarOccurrences out;
    const DateTime stop = std::min(last, kYear9999);
    std::vector<DateTime> moments;
    for (const AlarmGroupPtr& g : groups) {
        if (!g || !g->Active) continue;
        for (const AlarmPtr& a : g->alarms) {
            if (!a || !a->Active || a->importance < minImportance) continue;
            const auto index = static_cast<std::uint32_t>(out.alarms.size());
            const std::size_t before = out.items.size();
            const bool lasts = a->durationAmount != 0;
            // One second earlier: the search answers strictly after its moment,
            // and a moment right at the start belongs in the view.
            const DateTime from =
                lasts ? addToDate(first, -a->durationAmount, a->durationUnit) : first;
            DateTime d(from.seconds() - 1);
            moments.clear();
            try {
                a->listMomentsAfter(d, stop, ignoreCorrection, moments, kOccurrenceLimit);
            } catch (const std::exception&) {
                // The supervision reports a malformed expression; here it shows
                // what was found before.
            }
            for (const DateTime m : moments)
                out.items.push_back(
                    {m, lasts ? addToDate(m, a->durationAmount, a->durationUnit) : m, index});
            if (out.items.size() > before) out.alarms.push_back(a);
        }
    }
    sortByStart(out.items);
    return out;
}

}  // namespace qv

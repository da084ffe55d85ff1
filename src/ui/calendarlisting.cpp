#include "ui/calendarlisting.h"

#include <algorithm>
#include <cstdint>
#include <exception>

namespace qv {
namespace {

// Moments listed per alarm at most (an alarm every second over a year would
// otherwise fill the memory).
constexpr int kOccurrenceLimit = 100000;

struct Found {
    DateTime start;
    std::uint32_t index;  // into the listing's alarm order, keeps equal starts stable
};

}  // namespace

CalendarOccurrences listCalendarOccurrences(const Vector<AlarmGroup>& groups, DateTime first,
                                            DateTime last, int minImportance) {
    std::vector<Found> found;
    std::vector<const AlarmPtr*> owner;
    std::vector<DateTime> ends;
    for (const AlarmGroupPtr& g : groups) {
        if (!g || !g->Active) continue;
        for (const AlarmPtr& a : g->alarms) {
            if (!a || !a->Active || a->importance < minImportance) continue;
            // One second earlier: the search answers strictly after its moment,
            // and a moment right at the start belongs in the view.
            const DateTime from = addToDate(first, -a->durationAmount, a->durationUnit);
            DateTime d(from.seconds() - 1);
            try {
                for (int n = 0; n < kOccurrenceLimit && a->hasNextAlarmDateAfter(d, false); ++n) {
                    const DateTime m = a->getNextAlarmDateAfter();
                    if (m >= last || m.year() >= 9999) break;
                    found.push_back({m, static_cast<std::uint32_t>(owner.size())});
                    owner.push_back(&a);
                    ends.push_back(addToDate(m, a->durationAmount, a->durationUnit));
                    d = m;
                }
            } catch (const std::exception&) {
                // The supervision reports a malformed expression; here it shows nothing.
            }
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) {
        return x.start < y.start || (x.start == y.start && x.index < y.index);
    });
    CalendarOccurrences out;
    out.alarms.reserve(found.size());
    out.startDates.reserve(found.size());
    out.endDates.reserve(found.size());
    for (const Found& f : found) {
        out.alarms.push_back(*owner[f.index]);
        out.startDates.push_back(f.start);
        out.endDates.push_back(ends[f.index]);
    }
    return out;
}

}  // namespace qv

#include "ui/calendarlisting.h"

#include <algorithm>
#include <exception>

namespace qv {
namespace {

// Moments listed per alarm at most (an alarm every second over a year would
// otherwise fill the memory).
constexpr int kOccurrenceLimit = 100000;

}  // namespace

CalendarOccurrences listCalendarOccurrences(const Vector<AlarmGroup>& groups, DateTime first,
                                            DateTime last, int minImportance) {
    CalendarOccurrences out;
    for (const AlarmGroupPtr& g : groups) {
        if (!g || !g->Active) continue;
        for (const AlarmPtr& a : g->alarms) {
            if (!a || !a->Active || a->importance < minImportance) continue;
            const auto index = static_cast<std::uint32_t>(out.alarms.size());
            const std::size_t before = out.items.size();
            // One second earlier: the search answers strictly after its moment,
            // and a moment right at the start belongs in the view.
            const DateTime from = addToDate(first, -a->durationAmount, a->durationUnit);
            DateTime d(from.seconds() - 1);
            try {
                for (int n = 0; n < kOccurrenceLimit && a->hasNextAlarmDateAfter(d, false); ++n) {
                    const DateTime m = a->getNextAlarmDateAfter();
                    if (m >= last || m.year() >= 9999) break;
                    out.items.push_back(
                        {m, addToDate(m, a->durationAmount, a->durationUnit), index});
                    d = m;
                }
            } catch (const std::exception&) {
                // The supervision reports a malformed expression; here it shows nothing.
            }
            if (out.items.size() > before) out.alarms.push_back(a);
        }
    }
    // Each alarm's moments come in order already; the alarm's place breaks ties.
    std::sort(out.items.begin(), out.items.end(),
              [](const CalendarOccurrences::Item& x, const CalendarOccurrences::Item& y) {
                  return x.start < y.start || (x.start == y.start && x.alarm < y.alarm);
              });
    return out;
}

}  // namespace qv

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

CalendarOccurrences listCalendarCells(const Vector<AlarmGroup>& groups,
                                      const std::vector<DateTime>& cellBounds, int perCell,
                                      int minImportance, bool ignoreCorrection) {
    CalendarOccurrences out;
    if (cellBounds.size() < 2 || perCell < 1) return out;
    const std::size_t cells = cellBounds.size() - 1;
    const DateTime first = cellBounds.front();
    out.cellBounds = cellBounds;
    out.perCell = perCell;
    // Cells end where the calendar's do, and nothing lies past the year 9999.
    std::vector<DateTime> ends(cellBounds.begin() + 1, cellBounds.end());
    for (DateTime& e : ends) e = std::min(e, kYear9999);
    std::vector<std::int64_t> hidden(cells, 0);
    // The cells an entry overlaps, as the calendar lays it out: cell ends are
    // exclusive, an entry without length belongs to the cell it starts in.
    auto overlapped = [&](DateTime s, DateTime e, auto&& visit) {
        e = std::max(s, e);
        auto it = std::upper_bound(cellBounds.begin() + 1, cellBounds.end(), s);
        for (auto c = static_cast<std::size_t>(it - (cellBounds.begin() + 1)); c < cells; ++c) {
            const DateTime start = cellBounds[c];
            if (s == e ? start > s : start >= e) break;
            visit(c);
        }
    };
    // Each cell keeps the first perCell entries offered to it in the order of
    // the full listing: by start, then in the order they were listed (`seq`).
    // What it drops or turns away is counted.
    struct Candidate {
        CalendarOccurrences::Item item;
        std::uint64_t seq;
    };
    std::vector<std::vector<Candidate>> tops(cells);
    std::uint64_t seq = 0;
    auto offer = [&](std::size_t c, const Candidate& cand) {
        std::vector<Candidate>& t = tops[c];
        if (static_cast<int>(t.size()) == perCell) {
            // Later in the listing than an equal start: it comes after.
            if (!(cand.item.start < t.back().item.start)) {
                ++hidden[c];
                return;
            }
            t.pop_back();
            ++hidden[c];
        }
        auto at =
            std::upper_bound(t.begin(), t.end(), cand, [](const Candidate& x, const Candidate& y) {
                return x.item.start < y.item.start ||
                       (x.item.start == y.item.start && x.seq < y.seq);
            });
        t.insert(at, cand);
    };
    std::vector<DateTime> moments;
    std::vector<int> taken(cells, 0);
    for (const AlarmGroupPtr& g : groups) {
        if (!g || !g->Active) continue;
        for (const AlarmPtr& a : g->alarms) {
            if (!a || !a->Active || a->importance < minImportance) continue;
            const auto index = static_cast<std::uint32_t>(out.alarms.size());
            const bool lasts = a->durationAmount != 0;
            moments.clear();
            try {
                if (!lasts) {
                    // The walk itself stops listing at a full cell and counts the rest.
                    a->listMomentsInCells(DateTime(first.seconds() - 1), ends, ignoreCorrection,
                                          perCell, kOccurrenceLimit, moments, hidden);
                } else {
                    const DateTime from = addToDate(first, -a->durationAmount, a->durationUnit);
                    a->listMomentsAfter(DateTime(from.seconds() - 1), ends.back(), ignoreCorrection,
                                        moments, kOccurrenceLimit);
                }
            } catch (const std::exception&) {
                // As in the full listing: what was found before stays.
            }
            if (moments.empty()) continue;
            out.alarms.push_back(a);
            if (!lasts) {
                std::size_t c = 0;
                for (const DateTime m : moments) {
                    while (c + 1 < cells && !(m < ends[c])) ++c;
                    offer(c, {{m, m, index}, seq++});
                }
            } else {
                // An entry over several cells is offered while one of them
                // has room for this alarm.
                std::fill(taken.begin(), taken.end(), 0);
                for (const DateTime m : moments) {
                    const Candidate cand{
                        {m, addToDate(m, a->durationAmount, a->durationUnit), index}, seq++};
                    bool room = false;
                    overlapped(cand.item.start, cand.item.end, [&](std::size_t c) {
                        if (taken[c] < perCell) room = true;
                    });
                    overlapped(cand.item.start, cand.item.end, [&](std::size_t c) {
                        if (!room) {
                            ++hidden[c];
                            return;
                        }
                        ++taken[c];
                        offer(c, cand);
                    });
                }
            }
        }
    }
    // The entries some cell keeps, once each, in the order of the full listing.
    std::vector<Candidate> kept;
    for (const auto& t : tops) kept.insert(kept.end(), t.begin(), t.end());
    std::sort(kept.begin(), kept.end(), [](const Candidate& x, const Candidate& y) {
        return x.item.start < y.item.start || (x.item.start == y.item.start && x.seq < y.seq);
    });
    kept.erase(std::unique(kept.begin(), kept.end(),
                           [](const Candidate& x, const Candidate& y) { return x.seq == y.seq; }),
               kept.end());
    out.cellTotals.resize(cells);
    for (std::size_t c = 0; c < cells; ++c)
        out.cellTotals[c] = static_cast<std::int64_t>(tops[c].size()) + hidden[c];
    // An entry kept for one cell is in the listing, and so in the calendar's
    // count, of every cell it overlaps: one that another cell turned away was
    // counted there already. Only the alarms with an entry left stay.
    constexpr auto kNone = static_cast<std::uint32_t>(-1);
    std::vector<std::uint32_t> place(out.alarms.size(), kNone);
    for (const Candidate& k : kept) place[k.item.alarm] = 0;
    std::uint32_t used = 0;
    for (std::size_t i = 0; i < out.alarms.size(); ++i) {
        if (place[i] == kNone) continue;
        place[i] = used;
        out.alarms[used++] = std::move(out.alarms[i]);
    }
    out.alarms.resize(used);
    out.items.reserve(kept.size());
    for (const Candidate& k : kept)
        out.items.push_back({k.item.start, k.item.end, place[k.item.alarm]});
    return out;
}

}  // namespace qv

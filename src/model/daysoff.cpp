#include "model/daysoff.h"

#include <algorithm>
#include <cctype>

#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/ports.h"

namespace qv {

// ---- Sources ------------------------------------------------------------------------

std::vector<std::string> splitDaysOffSources(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        const std::size_t first = line.find_first_not_of(" \t");
        const std::size_t last = line.find_last_not_of(" \t");
        line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
        if (!line.empty() && std::find(out.begin(), out.end(), line) == out.end())
            out.push_back(std::move(line));
        at = end + 1;
    }
    return out;
}

std::string joinDaysOffSources(const std::vector<std::string>& sources) {
    std::string text;
    for (const std::string& s : sources) text += (text.empty() ? "" : "\n") + s;
    return text;
}

std::string resolveDaysOffSource(const std::string& source, const std::string& shippedFolder) {
    const auto starts = [&](std::string_view p) {
        if (source.size() < p.size()) return false;
        for (std::size_t i = 0; i < p.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(source[i])) != p[i]) return false;
        return true;
    };
    if (starts("https://") || starts("webcal://") || starts("http://") || starts("/") ||
        starts("~"))
        return source;
    // A shipped name never leaves the shipped folder.
    if (source.find("..") != std::string::npos) return {};
    return shippedFolder.empty() ? source : shippedFolder + "/" + source;
}

std::string daysOffSourceShown(const std::string& source) {
    const std::size_t scheme = source.find("://");
    if (scheme == std::string::npos || source[0] == '/') return source;
    std::size_t hostAt = scheme + 3;
    std::size_t end = source.find_first_of("/?#", hostAt);
    if (end == std::string::npos) end = source.size();
    const std::size_t at = source.rfind('@', end);
    if (at != std::string::npos && at >= hostAt) hostAt = at + 1;
    return source.substr(hostAt, end - hostAt) + (end < source.size() ? "/…" : "");
}

std::vector<std::string> daysOffSourcesOf(const AlarmGroup& group) {
    std::vector<std::string> out;
    const auto add = [&](const std::vector<std::string>& list) {
        for (const std::string& s : list)
            if (std::find(out.begin(), out.end(), s) == out.end()) out.push_back(s);
    };
    add(group.daysOff.calendars);
    for (const AlarmPtr& a : group.alarms)
        if (a->notOnDaysOff) add(a->daysOffCalendars);
    return out;
}

// ---- Lookup ---------------------------------------------------------------------------

DaysOffLookup::DaysOffLookup(const std::vector<const DaysOffCalendar*>& calendars, bool byMoment) {
    std::size_t count = 0;
    for (const DaysOffCalendar* c : calendars) count += c ? c->items.size() : 0;
    owned_.reserve(count);  // the ranges point into it
    for (const DaysOffCalendar* c : calendars)
        if (c) owned_.insert(owned_.end(), c->items.begin(), c->items.end());
    std::vector<DayRange> ranges;
    for (const DayOffItem& item : owned_) {
        if (item.allDay) {
            const std::int64_t first = item.from.days();
            // An all-day item always covers its first date.
            const std::int64_t end = std::max(first + 1, item.to.days());
            ranges.push_back({first, end, &item});
        } else if (byMoment && item.from < item.to) {
            timed_.push_back(&item);
        }
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const DayRange& a, const DayRange& b) { return a.first < b.first; });
    // Overlapping ranges become one; the earlier item names the shared days.
    for (const DayRange& r : ranges) {
        if (!days_.empty() && r.first < days_.back().end) {
            if (r.end > days_.back().end) days_.push_back({days_.back().end, r.end, r.item});
            continue;
        }
        days_.push_back(r);
    }
    std::stable_sort(timed_.begin(), timed_.end(),
                     [](const DayOffItem* a, const DayOffItem* b) { return a->from < b->from; });
    DateTime reach = kDayZero;
    for (const DayOffItem* t : timed_) {
        reach = std::max(reach, t->to);
        timedReach_.push_back(reach);
    }
}

const DayOffItem* DaysOffLookup::find(DateTime moment) const {
    const std::int64_t day = moment.days();
    auto it = std::upper_bound(days_.begin(), days_.end(), day,
                               [](std::int64_t d, const DayRange& r) { return d < r.first; });
    if (it != days_.begin() && day < std::prev(it)->end) return std::prev(it)->item;
    // Timed items starting at or before the moment, the latest first, while
    // one of them can still reach it.
    auto t = std::upper_bound(timed_.begin(), timed_.end(), moment,
                              [](DateTime m, const DayOffItem* i) { return m < i->from; });
    for (std::size_t i = static_cast<std::size_t>(t - timed_.begin()); i-- > 0;) {
        if (timedReach_[i] <= moment) break;
        if (moment < timed_[i]->to) return timed_[i];
    }
    return nullptr;
}

// ---- Stored form ----------------------------------------------------------------------

XMLNodePtr dayOffItemToXML(const DayOffItem& item) {
    auto n = XMLNode::Create("item");
    n->addDate("f", item.from);
    n->addDate("t", item.to);
    n->addBoolean("a", item.allDay);
    n->addString("n", item.name);
    return n;
}

bool dayOffItemFromXML(const XMLNode& node, DayOffItem& item) {
    const XMLNodePtr f = node.findNode("f");
    const XMLNodePtr t = node.findNode("t");
    if (!f || !t) return false;
    const auto from = parseStoredText(f->Value.str());
    const auto to = parseStoredText(t->Value.str());
    if (!from || !to || *to < *from) return false;
    item.from = *from;
    item.to = *to;
    item.allDay = node.getBoolean("a", 0, true);
    item.name = node.getString("n");
    return true;
}

XMLNodePtr GroupDaysOff::toXML() const {
    auto n = XMLNode::Create("doff");
    for (const std::string& s : calendars) n->addString("src", s);
    for (const auto& [source, calendar] : cache) {
        auto c = XMLNode::Create("cach");
        c->addString("src", source);
        c->addDate("read", calendar.readAt);
        for (const DayOffItem& item : calendar.items) c->addNode(dayOffItemToXML(item));
        n->addNode(std::move(c));
    }
    return n;
}

GroupDaysOff GroupDaysOff::fromXML(const XMLNode& node) {
    GroupDaysOff d;
    for (const XMLNodePtr& child : node.children()) {
        if (!child) continue;
        if (child->name == "src") {
            const std::string s = child->Value.str();
            if (!s.empty() && std::find(d.calendars.begin(), d.calendars.end(), s) ==
                                  d.calendars.end())
                d.calendars.push_back(s);
        } else if (child->name == "cach") {
            const std::string source = child->getString("src");
            if (source.empty()) continue;
            DaysOffCalendar c;
            c.readAt = child->getDate("read", 0, kNever);
            for (const XMLNodePtr& i : child->children()) {
                DayOffItem item;
                if (i && i->name == "item" && c.items.size() < kMaxDaysOffItems &&
                    dayOffItemFromXML(*i, item))
                    c.items.push_back(std::move(item));
            }
            d.cache[source] = std::move(c);
        }
    }
    return d;
}

bool readDaysOffAnswer(const std::string& answer, DaysOffCalendar& calendar, std::string& error) {
    auto reply = XMLNode::Create();
    if (answer.empty() || reply->initializeFromXML(answer)) return false;
    const XMLNodePtr days = reply->findNode("days");
    if (!days) {
        error = reply->getString("error");
        return false;
    }
    calendar.items.clear();
    for (const XMLNodePtr& i : days->children()) {
        DayOffItem item;
        if (i && i->name == "item" && calendar.items.size() < kMaxDaysOffItems &&
            dayOffItemFromXML(*i, item))
            calendar.items.push_back(std::move(item));
    }
    return true;
}

// ---- The group's part -----------------------------------------------------------------

std::shared_ptr<const DaysOffLookup> AlarmGroup::daysOffLookup(
    const std::vector<std::string>& calendars) const {
    const std::vector<std::string>& use = calendars.empty() ? daysOff.calendars : calendars;
    if (use.empty()) return nullptr;
    const std::string key = joinDaysOffSources(use);
    auto found = daysOffLookups_.find(key);
    if (found != daysOffLookups_.end()) return found->second;
    std::vector<const DaysOffCalendar*> parts;
    for (const std::string& s : use) {
        auto c = daysOff.cache.find(s);
        if (c != daysOff.cache.end()) parts.push_back(&c->second);
    }
    auto lookup = std::make_shared<const DaysOffLookup>(parts, daysOffByMoment_);
    daysOffLookups_[key] = lookup;
    return lookup;
}

void AlarmGroup::setDaysOff(GroupDaysOff d) {
    daysOff = std::move(d);
    daysOffChanged();
}

void AlarmGroup::setDaysOffByMoment(bool byMoment) {
    if (byMoment == daysOffByMoment_) return;
    daysOffByMoment_ = byMoment;
    daysOffChanged();
}

void AlarmGroup::daysOffChanged() {
    daysOffLookups_.clear();
    for (const AlarmPtr& a : alarms) a->invalidateCaches();
}

// ---- Refreshing ---------------------------------------------------------------------

void refreshDaysOff(ModelContext& ctx, const std::shared_ptr<AlarmGroup>& group,
                    const std::string& shippedFolder, DateTime now,
                    std::function<void(const std::shared_ptr<AlarmGroup>&, bool changed,
                                       const std::string& error)>
                        done) {
    const std::vector<std::string> sources = daysOffSourcesOf(*group);
    // What the group keeps after the refresh: only what someone still names.
    struct State {
        GroupDaysOff next;
        std::size_t waiting = 0;
        std::string error;
    };
    auto state = std::make_shared<State>();
    state->next.calendars = group->daysOff.calendars;
    for (const std::string& s : sources) {
        auto c = group->daysOff.cache.find(s);
        if (c != group->daysOff.cache.end()) state->next.cache[s] = c->second;
    }
    state->waiting = sources.size() + 1;
    const std::weak_ptr<AlarmGroup> weak = group;
    auto finishOne = [weak, state, done]() {
        if (--state->waiting > 0) return;
        const auto g = weak.lock();
        if (!g) return;
        // The user may have changed the calendars meanwhile: only the items go in.
        GroupDaysOff result = g->daysOff;
        const std::vector<std::string> named = daysOffSourcesOf(*g);
        result.cache.clear();
        for (const std::string& s : named) {
            auto c = state->next.cache.find(s);
            if (c != state->next.cache.end()) {
                result.cache[s] = c->second;
            } else {
                auto old = g->daysOff.cache.find(s);
                if (old != g->daysOff.cache.end()) result.cache[s] = old->second;
            }
        }
        // Only the items count: a calendar read again with the same days
        // leaves the group's file alone.
        bool changed = result.calendars != g->daysOff.calendars ||
                       result.cache.size() != g->daysOff.cache.size();
        for (const auto& [s, c] : result.cache) {
            auto old = g->daysOff.cache.find(s);
            if (old == g->daysOff.cache.end() || old->second.items != c.items) changed = true;
        }
        if (changed) {
            g->setDaysOff(std::move(result));
            g->setChanged();
        }
        if (done) done(g, changed, state->error);
    };
    // Two years back (a vacation just ended still explains a past skip) and
    // ten ahead (the shipped calendars' reach).
    const DateTime from = DateTime::fromParts(now.year() - 2, 1, 1);
    const DateTime to = DateTime::fromParts(now.year() + 11, 1, 1);
    for (const std::string& source : sources) {
        const std::string path = resolveDaysOffSource(source, shippedFolder);
        if (path.empty()) {
            if (state->error.empty()) state->error = source;
            finishOne();
            continue;
        }
        auto params = XMLNode::Create("dofr");
        params->addString("src", path);
        params->addDate("from", from);
        params->addDate("to", to);
        std::string request = ctx.plugIns.lang();
        for (const XMLNodePtr& c : params->children()) request += c->toString();
        ctx.plugIns.methodCallInBackground(
            kDaysOffPlugIn, kDaysOffMethod, request,
            [state, source, now, finishOne](const std::string& answer) {
                DaysOffCalendar c;
                std::string error;
                if (readDaysOffAnswer(answer, c, error)) {
                    c.readAt = now;
                    state->next.cache[source] = std::move(c);
                } else if (state->error.empty()) {
                    // The plug-in names an address by its host alone; the
                    // address itself may carry a secret.
                    const std::string shown = daysOffSourceShown(source);
                    state->error = error.empty() ? shown
                                   : shown != source ? error
                                                     : source + ": " + error;
                }
                finishOne();
            });
    }
    finishOne();
}

}  // namespace qv

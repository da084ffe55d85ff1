#include "core/missedalarms.h"

#include <algorithm>

#include "base/files.h"
#include "core/alarmcontrol.h"
#include "core/program.h"
#include "xml/xmlparser.h"

namespace qv {

namespace {

constexpr const char* kFileName = "missed";

std::string cut(const std::string& s, std::size_t max) {
    if (s.size() <= max) return s;
    std::size_t n = max;
    // Not inside a UTF-8 sequence.
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

bool sameFile(const std::string& a, const std::string& b) {
    auto base = [](const std::string& s) {
        const auto at = s.find_last_of('/');
        return at == std::string::npos ? s : s.substr(at + 1);
    };
    return !a.empty() && base(a) == base(b);
}

}  // namespace

std::string MissedAlarms::path() const { return p_.programFile(kFileName); }

void MissedAlarms::add(const AlarmPtr& alarm, DateTime due) {
    if (!alarm || !p_.settings.uat) return;
    if (contains(alarm.get(), due)) return;
    MissedAlarm m;
    m.alarm = alarm;
    m.name = cut(alarm->name, kMaxNameBytes);
    m.due = due;
    m.closedAt = p_.now();
    if (const AlarmGroupPtr g = alarm->parentGroup()) {
        m.groupPath = cut(g->path, kMaxNameBytes);
        m.groupName = cut(g->name, kMaxNameBytes);
        m.position = g->alarms.indexOf(alarm);
    }
    entries_.push_back(std::move(m));
    if (entries_.size() > kMaxEntries)
        entries_.erase(entries_.begin(),
                       entries_.begin() + static_cast<std::ptrdiff_t>(entries_.size() - kMaxEntries));
    if (p_.ctx.log)
        p_.ctx.log("alarm \"" + alarm->name + "\" of " + toStoredText(due) + " was not answered");
    changedNow();
}

bool MissedAlarms::contains(const Alarm* alarm, DateTime due) const {
    if (!alarm) return false;
    for (const MissedAlarm& m : entries_)
        if (m.due == due && find(m).get() == alarm) return true;
    return false;
}

AlarmPtr MissedAlarms::find(const MissedAlarm& entry) const {
    if (AlarmPtr a = entry.alarm.lock()) {
        // Still one of the program's alarms (not deleted or reloaded away)?
        const AlarmGroupPtr g = a->parentGroup();
        if (g && g->alarms.indexOf(a) >= 0 && p_.alarmGroups.indexOf(g) >= 0) return a;
    }
    for (const AlarmGroupPtr& g : p_.alarmGroups) {
        if (!g || !sameFile(entry.groupPath, g->path)) continue;
        if (entry.position >= 0 && entry.position < g->alarms.numberOfElements()) {
            AlarmPtr a = g->alarms.elementAt(entry.position);
            if (a && a->name == entry.name) return a;
        }
        for (const AlarmPtr& a : g->alarms)
            if (a && a->name == entry.name) return a;
    }
    return nullptr;
}

void MissedAlarms::remove(std::size_t index) {
    if (index >= entries_.size()) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    changedNow();
}

void MissedAlarms::clear() {
    if (entries_.empty()) return;
    entries_.clear();
    changedNow();
}

bool MissedAlarms::snoozeFromNow(std::size_t index, int amount, int unit) {
    if (index >= entries_.size()) return false;
    const AlarmPtr a = find(entries_[index]);
    if (!a || a->readOnly) return false;
    const DateTime now = p_.now();
    const DateTime moment = addToDate(now, amount, unit);
    if (!(now < moment) || !(moment < kNever)) return false;
    a->snooze(moment);
    a->lastSnoozeSet = true;
    a->lastSnoozeAmount = static_cast<std::int16_t>(std::clamp(amount, 0, 32767));
    a->lastSnoozeUnit = static_cast<std::int16_t>(unit);
    a->lastSnoozeAddTo = 1;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    changedNow();
    p_.control.alarmsChanged({a}, change::kSnoozed);
    return true;
}

void MissedAlarms::changedNow() {
    if (!save() && p_.ctx.log) p_.ctx.log("the list of alarms not answered cannot be written: " + path());
    if (changed) changed();
}

std::string MissedAlarms::toText() const {
    auto root = XMLNode::Create("missed");
    for (const MissedAlarm& m : entries_) {
        auto e = XMLNode::Create("ms");
        e->addString("gp", m.groupPath);
        e->addLong("ps", m.position);
        e->addString("gn", m.groupName);
        e->addString("name", m.name);
        e->addDate("due", m.due);
        e->addDate("at", m.closedAt);
        root->addNode(e);
    }
    return root->toString();
}

std::vector<MissedAlarm> MissedAlarms::fromText(const std::string& text) {
    std::vector<MissedAlarm> out;
    XMLNode root;
    // What was read before a fault in the text still counts; the rest is skipped.
    (void)XMLParser::parse(text, root);
    if (root.name != "missed") return out;
    for (const XMLNodePtr& e : root.children()) {
        if (!e || e->name != "ms") continue;
        MissedAlarm m;
        m.groupPath = cut(e->getString("gp"), kMaxNameBytes);
        m.position = e->getLong("ps", 0, -1);
        m.groupName = cut(e->getString("gn"), kMaxNameBytes);
        m.name = cut(e->getString("name"), kMaxNameBytes);
        m.due = e->getDate("due", 0, kNever);
        m.closedAt = e->getDate("at", 0, kNever);
        // An entry without its moment names nothing that can be snoozed or told.
        if (!(m.due < kNever) || m.due < kDayZero) continue;
        out.push_back(std::move(m));
    }
    if (out.size() > kMaxEntries)
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(out.size() - kMaxEntries));
    return out;
}

void MissedAlarms::load() {
    bool tooLarge = false;
    const auto text = tryReadFile(path(), kMaxFileBytes, &tooLarge);
    entries_.clear();
    if (tooLarge && p_.ctx.log)
        p_.ctx.log("the list of alarms not answered is too large and is not read: " + path());
    if (text) entries_ = fromText(*text);
    if (changed) changed();
}

bool MissedAlarms::save() {
    if (entries_.empty() && !fileExists(path())) return true;
    return writeFile(path(), toText());
}

}  // namespace qv

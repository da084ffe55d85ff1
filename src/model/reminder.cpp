#include "model/reminder.h"

#include <algorithm>
#include <charconv>

#include "base/translation.h"
#include "model/texts.h"

namespace qv {

namespace {

// A whole number of the stored text, or false: no partial numbers, nothing
// beyond the 64-bit range.
bool wholeNumber(const XMLNodePtr& n, std::int64_t& out) {
    if (!n) return false;
    const std::string_view t = n->Value.view();
    if (t.empty() || t.size() > 18) return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

// The length of a reminder in seconds, measured from a fixed day so months
// and years compare in a steady way.
std::int64_t offsetSeconds(const Reminder& r) {
    const DateTime base{kNever.seconds() / 2};
    return base.seconds() - addToDate(base, -static_cast<std::int64_t>(r.amount), r.unit).seconds();
}

}  // namespace

std::vector<Reminder> readReminders(const XMLNode& rmds) {
    std::vector<Reminder> out;
    for (const XMLNodePtr& child : rmds.children()) {
        if (!child || child->name != "rmd") continue;
        // A hostile file may hold millions: only a few more than are kept are looked at.
        if (out.size() >= static_cast<std::size_t>(kMaxReminders) * 4) break;
        std::int64_t amount = 0, unit = 0;
        if (!wholeNumber(child->getNode("a"), amount) || !wholeNumber(child->getNode("u"), unit))
            continue;
        if (amount < 1 || amount > kMaxReminderAmount || unit < kSeconds || unit > kWeeks) continue;
        out.push_back({static_cast<std::int32_t>(amount), static_cast<std::int16_t>(unit)});
    }
    return normaliseReminders(std::move(out));
}

XMLNodePtr remindersToXML(const std::vector<Reminder>& reminders) {
    auto n = XMLNode::Create(kRemindersElement);
    for (const Reminder& r : reminders) {
        auto c = XMLNode::Create("rmd");
        c->addLong("a", r.amount);
        c->addInteger("u", r.unit);
        n->addNode(c);
    }
    return n;
}

std::vector<Reminder> normaliseReminders(std::vector<Reminder> reminders) {
    std::erase_if(reminders, [](const Reminder& r) {
        return r.amount < 1 || r.amount > kMaxReminderAmount || r.unit < kSeconds || r.unit > kWeeks;
    });
    std::stable_sort(reminders.begin(), reminders.end(), [](const Reminder& a, const Reminder& b) {
        return offsetSeconds(a) > offsetSeconds(b);
    });
    // "60 minutes" and "1 hour" are one reminder: the first spelling stays.
    std::vector<Reminder> out;
    for (const Reminder& r : reminders) {
        if (!out.empty() && offsetSeconds(out.back()) == offsetSeconds(r)) continue;
        out.push_back(r);
        if (out.size() >= static_cast<std::size_t>(kMaxReminders)) break;
    }
    return out;
}

DateTime reminderMoment(DateTime alarmMoment, const Reminder& r) {
    return addToDate(alarmMoment, -static_cast<std::int64_t>(r.amount), r.unit);
}

DateTime reminderHorizon(DateTime from, const std::vector<Reminder>& reminders) {
    DateTime end = from;
    for (const Reminder& r : reminders) {
        DateTime e = addToDate(from, r.amount, r.unit);
        // Months and years clamp the day: 31 March less a month is 28 February,
        // so an occurrence a few days past the plain sum still counts.
        if (r.unit == kMonths || r.unit == kYears) e = addToDate(e, 4, kDays);
        if (end < e) end = e;
    }
    return end < kNever ? end : kNever;
}

std::string describeReminder(const modTranslation& translation, const Reminder& r) {
    return texts::fill(translation.getText(texts::kAlarm, 401),
                       {std::to_string(r.amount), translation.getUnitName(r.unit, r.amount)});
}

std::string describeReminders(const modTranslation& translation,
                              const std::vector<Reminder>& reminders) {
    std::string out;
    for (const Reminder& r : reminders) {
        if (!out.empty()) out += ", ";
        out += describeReminder(translation, r);
    }
    return out;
}

}  // namespace qv

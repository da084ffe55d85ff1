#include "core/alarmrequest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "core/alarmcontrol.h"
#include "core/program.h"
#include "model/clsaction.h"

namespace qv {
namespace {

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Reads digits at the front of `s`; false when there are none or too many.
bool takeNumber(std::string_view& s, std::int64_t& value) {
    std::size_t n = 0;
    while (n < s.size() && std::isdigit(static_cast<unsigned char>(s[n]))) ++n;
    if (n == 0 || n > 9) return false;
    std::from_chars(s.data(), s.data() + n, value);
    s.remove_prefix(n);
    return true;
}

std::string_view takeWord(std::string_view& s) {
    std::size_t n = 0;
    while (n < s.size() && std::isalpha(static_cast<unsigned char>(s[n]))) ++n;
    const std::string_view word = s.substr(0, n);
    s.remove_prefix(n);
    return word;
}

void skipBlanks(std::string_view& s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
}

// A unit word of a delay or repetition as a time-unit code; -1 when unknown.
int unitOfWord(std::string_view word) {
    const std::string w = lower(word);
    static const std::array<std::pair<const char*, int>, 40> kWords{{
        {"s", kSeconds},       {"sec", kSeconds},     {"secs", kSeconds},    {"second", kSeconds},
        {"seconds", kSeconds}, {"sek", kSeconds},     {"sekunde", kSeconds}, {"sekunden", kSeconds},
        {"m", kMinutes},       {"min", kMinutes},     {"mins", kMinutes},    {"minute", kMinutes},
        {"minutes", kMinutes}, {"minuten", kMinutes}, {"h", kHours},         {"hr", kHours},
        {"hrs", kHours},       {"hour", kHours},      {"hours", kHours},     {"std", kHours},
        {"stunde", kHours},    {"stunden", kHours},   {"d", kDays},          {"day", kDays},
        {"days", kDays},       {"t", kDays},          {"tag", kDays},        {"tage", kDays},
        {"w", kWeeks},         {"week", kWeeks},      {"weeks", kWeeks},     {"woche", kWeeks},
        {"wochen", kWeeks},    {"month", kMonths},    {"months", kMonths},   {"monat", kMonths},
        {"monate", kMonths},   {"year", kYears},      {"years", kYears},     {"jahr", kYears},
    }};
    for (const auto& [name, unit] : kWords)
        if (w == name) return unit;
    if (w == "jahre") return kYears;
    return -1;
}

std::int64_t secondsOfUnit(int unit) {
    switch (unit) {
        case kSeconds:
            return 1;
        case kMinutes:
            return 60;
        case kHours:
            return 3600;
        case kDays:
            return 86400;
        case kWeeks:
            return 7 * 86400;
        default:
            return -1;  // months and years are no fixed delay
    }
}

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        std::uint32_t code = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (s.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            code = (code << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and code points past Unicode's end.
        if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        i += extra + 1;
    }
    return true;
}

bool cleanText(std::string_view s, std::size_t max, bool lineBreaks) {
    if (s.size() > max || !validUtf8(s)) return false;
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == 0x7F) return false;
        if (c < 0x20 && !(lineBreaks && (c == '\n' || c == '\t' || c == '\r'))) return false;
    }
    return true;
}

bool isCommandOrSession(std::int16_t type) {
    return type == clsAction::kCommandLine1 || type == clsAction::kCommandLine2 ||
           type == clsAction::kCommandLine3 || type == clsAction::kShutDown ||
           type == clsAction::kReboot || type == clsAction::kLogOff;
}

}  // namespace

std::string describeRequestError(RequestError error) {
    switch (error) {
        case RequestError::kNone:
            return "";
        case RequestError::kBadWhen:
            return "the time is neither a delay (25m, 1h30m, 90s) nor a clock time (07:30, "
                   "\"2027/01/04 07:30\")";
        case RequestError::kBadEvery:
            return "the repetition is not understood (day, 2 days, week, hour, 30 minutes, month, "
                   "year)";
        case RequestError::kBadWeekdays:
            return "the weekdays are not understood (mo-fr, sa,su, mo,we,fr)";
        case RequestError::kWeekdaysAlone:
            return "weekdays need a repetition of a day or less (--every day)";
        case RequestError::kPast:
            return "that moment has passed";
        case RequestError::kTooFar:
            return "that moment is too far ahead";
        case RequestError::kBadText:
            return "the message or group name is too long, not UTF-8 or holds control characters";
        case RequestError::kSynchronized:
            return "the group is filled by a synchronisation plug-in; its alarms are replaced "
                   "at each synchronisation";
        case RequestError::kNotSaved:
            return "the alarm group file could not be written";
    }
    return "";
}

std::optional<std::int64_t> parseDelay(std::string_view text) {
    std::string_view s = trim(text);
    if (s.empty()) return std::nullopt;
    std::int64_t total = 0;
    bool any = false;
    while (!s.empty()) {
        std::int64_t n = 0;
        if (!takeNumber(s, n)) return std::nullopt;
        skipBlanks(s);
        const std::string_view word = takeWord(s);
        int unit = kMinutes;  // a bare number counts minutes
        if (!word.empty()) {
            unit = unitOfWord(word);
            if (unit < 0 || secondsOfUnit(unit) < 0) return std::nullopt;
        } else if (!s.empty()) {
            return std::nullopt;  // "1 2": a number without its unit in the middle
        }
        total += n * secondsOfUnit(unit);
        if (total > kMaxDelaySeconds) return std::nullopt;
        any = true;
        skipBlanks(s);
    }
    if (!any || total <= 0) return std::nullopt;
    return total;
}

std::optional<ParsedMoment> parseMoment(std::string_view text) {
    std::string_view s = trim(text);
    ParsedMoment result;
    std::int64_t year = 0, month = 0, day = 0;
    if (s.find('/') != std::string_view::npos || s.find('-') != std::string_view::npos) {
        const char sep = s.find('/') != std::string_view::npos ? '/' : '-';
        if (!takeNumber(s, year) || s.empty() || s.front() != sep) return std::nullopt;
        s.remove_prefix(1);
        if (!takeNumber(s, month) || s.empty() || s.front() != sep) return std::nullopt;
        s.remove_prefix(1);
        if (!takeNumber(s, day)) return std::nullopt;
        if (year < 1900 || year > 9998 || month < 1 || month > 12 || day < 1 ||
            day > daysInMonth(year, static_cast<int>(month)))
            return std::nullopt;
        if (s.empty() || !std::isspace(static_cast<unsigned char>(s.front()))) return std::nullopt;
        skipBlanks(s);
        result.hasDate = true;
    }
    std::int64_t hour = 0, minute = 0, second = 0;
    if (!takeNumber(s, hour) || s.empty() || s.front() != ':') return std::nullopt;
    s.remove_prefix(1);
    if (s.size() < 2 || !takeNumber(s, minute)) return std::nullopt;
    if (!s.empty()) {
        if (s.front() != ':') return std::nullopt;
        s.remove_prefix(1);
        if (s.size() != 2 || !takeNumber(s, second)) return std::nullopt;
    }
    if (!s.empty() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    result.moment = result.hasDate ? DateTime::fromParts(year, month, day, hour, minute, second)
                                   : DateTime(hour * 3600 + minute * 60 + second);
    return result;
}

RequestError parseWhen(std::string_view text, AlarmRequest& request) {
    std::string_view s = trim(text);
    request.hasDelay = request.hasMoment = false;
    bool delay = false;
    const std::string head = lower(s.substr(0, 3));
    if (head == "in ") {
        s.remove_prefix(3);
        delay = true;
    } else if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        delay = true;
    }
    if (!delay &&
        (s.find(':') != std::string_view::npos || s.find('/') != std::string_view::npos)) {
        const auto m = parseMoment(s);
        if (!m) return RequestError::kBadWhen;
        request.hasMoment = true;
        request.momentHasDate = m->hasDate;
        request.moment = m->moment;
        return RequestError::kNone;
    }
    const auto d = parseDelay(s);
    if (!d) return RequestError::kBadWhen;
    request.hasDelay = true;
    request.delaySeconds = *d;
    return RequestError::kNone;
}

RequestError parseEvery(std::string_view text, AlarmRequest& request) {
    std::string_view s = trim(text);
    request.everyAmount = 0;
    if (s.empty()) return RequestError::kNone;
    std::int64_t n = 1;
    if (std::isdigit(static_cast<unsigned char>(s.front()))) {
        if (!takeNumber(s, n) || n < 1 || n > 32767) return RequestError::kBadEvery;
        skipBlanks(s);
    }
    const std::string_view word = takeWord(s);
    skipBlanks(s);
    const int unit = word.empty() ? -1 : unitOfWord(word);
    if (unit < 0 || !s.empty()) return RequestError::kBadEvery;
    // Alarms that ring every few seconds are no wake-up call; the alarm
    // dialog asks about them, from outside they are refused.
    if (unit == kSeconds && n < 60) return RequestError::kBadEvery;
    request.everyAmount = static_cast<std::int32_t>(n);
    request.everyUnit = static_cast<std::int16_t>(unit);
    return RequestError::kNone;
}

RequestError parseWeekdays(std::string_view text, AlarmRequest& request) {
    request.weekDays = 0;
    std::string s = lower(trim(text));
    if (s.empty()) return RequestError::kNone;
    // Sunday first, as the alarm counts them.
    auto dayOf = [](std::string_view w) -> int {
        static const std::array<std::array<const char*, 4>, 7> kNames{{
            {"su", "so", "sun", "sunday"},
            {"mo", "mo", "mon", "monday"},
            {"tu", "di", "tue", "tuesday"},
            {"we", "mi", "wed", "wednesday"},
            {"th", "do", "thu", "thursday"},
            {"fr", "fr", "fri", "friday"},
            {"sa", "sa", "sat", "saturday"},
        }};
        for (int d = 0; d < 7; ++d)
            for (const char* name : kNames[static_cast<std::size_t>(d)])
                if (w == name) return d;
        return -1;
    };
    std::string_view rest = s;
    while (true) {
        skipBlanks(rest);
        const int from = dayOf(takeWord(rest));
        if (from < 0) return RequestError::kBadWeekdays;
        int to = from;
        skipBlanks(rest);
        if (!rest.empty() && rest.front() == '-') {
            rest.remove_prefix(1);
            skipBlanks(rest);
            to = dayOf(takeWord(rest));
            if (to < 0) return RequestError::kBadWeekdays;
        }
        // A range may wrap over the week's end: "fr-mo".
        for (int d = from;; d = (d + 1) % 7) {
            request.weekDays = static_cast<std::int16_t>(request.weekDays | (1 << d));
            if (d == to) break;
        }
        skipBlanks(rest);
        if (rest.empty()) break;
        if (rest.front() != ',') return RequestError::kBadWeekdays;
        rest.remove_prefix(1);
    }
    return RequestError::kNone;
}

RequestError checkTexts(const AlarmRequest& request) {
    // An empty group name asks for the quick alarms group.
    if (!cleanText(request.message, kMaxRequestMessage, true) ||
        (!request.group.empty() && !groupNameAllowed(request.group)))
        return RequestError::kBadText;
    return RequestError::kNone;
}

bool groupNameAllowed(std::string_view name) {
    return !name.empty() && cleanText(name, kMaxRequestGroupName, false);
}

std::optional<DateTime> firstMoment(const AlarmRequest& request, DateTime now,
                                    RequestError& error) {
    error = RequestError::kNone;
    if (request.weekDays != 0 && (request.everyAmount == 0 ||
                                  (request.everyUnit != kSeconds && request.everyUnit != kMinutes &&
                                   request.everyUnit != kHours &&
                                   !(request.everyUnit == kDays && request.everyAmount == 1)))) {
        error = RequestError::kWeekdaysAlone;
        return std::nullopt;
    }
    DateTime at;
    if (request.hasDelay) {
        if (request.delaySeconds <= 0 || request.delaySeconds > kMaxDelaySeconds) {
            error = RequestError::kTooFar;
            return std::nullopt;
        }
        at = DateTime(now.seconds() + request.delaySeconds);
    } else if (request.hasMoment) {
        if (request.momentHasDate) {
            at = request.moment;
        } else {
            at = DateTime(now.date().seconds() + request.moment.secondsOfDay());
            if (!(now < at)) at = addToDate(at, 1, kDays);
        }
    } else {
        error = RequestError::kBadWhen;
        return std::nullopt;
    }
    if (!(at < kGivenUp)) {
        error = RequestError::kTooFar;
        return std::nullopt;
    }
    if (request.everyAmount == 0 && !(now < at)) {
        error = RequestError::kPast;
        return std::nullopt;
    }
    return at;
}

AlarmPtr makeRequestedAlarm(ModelContext& ctx, const AlarmGroupPtr& group,
                            const AlarmRequest& request, DateTime first, bool fromOutside) {
    AlarmPtr a = group->getTemplateAlarm(ctx);
    a->name = request.message.empty()
                  ? ctx.translation.getText("frmQuorvaneMain", quicktexts::kDefaultMessage)
                  : request.message;
    // Only the moment asked for: none of the template's restrictions or its correction.
    a->activePeriod = 0;
    a->activeAdvanced.clear();
    a->correctionAmount = 0;
    a->startDate = a->endDate = kNever;
    a->snoozing = false;
    a->nextSnoozeAlarmDate = kNever;
    if (request.everyAmount == 0) {
        a->momentKind = Alarm::kOnce;
        a->onceDate = first;
        a->nextDate = first;
    } else {
        a->momentKind = Alarm::kPeriodic;
        a->nextDate = first;
        a->onceDate = first;
        a->everyAmount = request.everyAmount;
        a->everyUnit = request.everyUnit;
        // The grid reaches back before its anchor; the alarm did not exist
        // then, and a start after a long pause must not catch those moments up.
        a->activePeriod = Alarm::kRestrictDates;
        a->startDate = first;
        if (request.weekDays != 0) {
            a->activePeriod |= Alarm::kRestrictWeekdays;
            a->weekDays = request.weekDays;
        }
    }
    a->Active = true;
    a->hidden = false;
    a->readOnly = false;

    Vector<clsAction> kept;
    bool shows = false;
    for (const ActionPtr& action : a->actions) {
        if (fromOutside && isCommandOrSession(action->action)) continue;
        if (action->showsMessage() && action->settings) {
            action->settings->setString("s", a->name);
            shows = true;
        }
        kept.addElement(action);
    }
    if (!shows) {
        const ActionPtr message = clsAction::Create(ctx, a, clsAction::kShowMessage);
        if (message->settings) message->settings->setString("s", a->name);
        Vector<clsAction> withMessage;
        withMessage.addElement(message);
        for (const ActionPtr& action : kept) withMessage.addElement(action);
        kept = std::move(withMessage);
    }
    a->actions = std::move(kept);
    for (const ActionPtr& action : a->actions) action->al = a;
    a->invalidateCaches();
    return a;
}

std::string quickGroupName(const std::string& setting, const std::string& languageName) {
    return setting.empty() ? languageName : setting;
}

AlarmGroupPtr findGroupByName(const Vector<AlarmGroup>& groups, const std::string& name) {
    for (const AlarmGroupPtr& g : groups)
        if (g->name == name) return g;
    return nullptr;
}

std::vector<AlarmPtr> rungAlarms(const AlarmGroup& group, DateTime now, int keepHours) {
    std::vector<AlarmPtr> out;
    if (keepHours <= 0) return out;
    const DateTime limit = DateTime(now.seconds() - static_cast<std::int64_t>(keepHours) * 3600);
    for (const AlarmPtr& a : group.alarms) {
        if (a->momentKind != Alarm::kOnce || a->onceDate == kNever) continue;
        if (a->snoozing && now < a->nextSnoozeAlarmDate) continue;
        if (!(limit < a->onceDate)) out.push_back(a);
    }
    return out;
}

std::vector<ComingAlarm> comingAlarms(const Vector<AlarmGroup>& groups, DateTime from, int count) {
    std::vector<ComingAlarm> out;
    while (static_cast<int>(out.size()) < count) {
        const EarliestAlarms next = getEarliestAlarmsAfter(groups, from, false);
        if (next.alarms.empty() || next.date.year() >= 9999) break;
        for (const AlarmPtr& a : next.alarms) {
            if (static_cast<int>(out.size()) >= count) break;
            out.push_back({next.date, a});
        }
        from = next.date;
    }
    return out;
}

// ---- The running program's side ---------------------------------------------------------

std::string QuickAlarms::quickName() const {
    return quickGroupName(p_.settings.qgn,
                          p_.translation.getText("frmQuorvaneMain", quicktexts::kGroupName));
}

AlarmGroupPtr QuickAlarms::quickGroup() const {
    return findGroupByName(p_.alarmGroups, quickName());
}

AddedAlarm QuickAlarms::add(const AlarmRequest& request, bool fromOutside) {
    AddedAlarm result;
    if ((result.error = checkTexts(request)) != RequestError::kNone) return result;
    const auto first = firstMoment(request, p_.now(), result.error);
    if (!first) return result;
    const std::string name = request.group.empty() ? quickName() : request.group;
    AlarmGroupPtr g = findGroupByName(p_.alarmGroups, name);
    if (g && !g->synchPlugin.empty()) {
        result.error = RequestError::kSynchronized;
        return result;
    }
    if (!g) {
        g = AlarmGroup::createDefaultAlarmGroup(p_.ctx);
        g->name = name;
        p_.alarmGroups.addElement(g);
        // Its file at once, as a group made in the main window gets one.
        if (!p_.main.saveAlarmGroup(g)) {
            p_.alarmGroups.remove(g);
            result.error = RequestError::kNotSaved;
            return result;
        }
        p_.control.alarmGroupsChanged({g}, 0);
    } else if (request.group.empty() && !g->Active) {
        // A timer just set must ring: the quick alarms group comes back on.
        g->Active = true;
        p_.control.alarmGroupsChanged({g}, change::kSwitched);
    }
    // The quick alarms group keeps its name once it has one, so a change of
    // language does not start a second group beside it.
    if (request.group.empty() && p_.settings.qgn.empty()) p_.settings.qgn = g->name;
    const AlarmPtr a = makeRequestedAlarm(p_.ctx, g, request, *first, fromOutside);
    g->addAlarm(a);
    g->setChanged();
    p_.control.alarmsChanged({a}, change::kEdited);
    result.alarm = a;
    result.group = g;
    // Its real first moment: a repetition restricted to weekdays may start later.
    result.first = a->hasNextAlarmDateAfter(DateTime(p_.now().seconds()), false)
                       ? a->getNextAlarmDateAfter()
                       : *first;
    if (p_.ctx.log)
        p_.ctx.log("alarm added to \"" + g->name + "\"" + (fromOutside ? " from outside" : "") +
                   ", first at " + toStoredText(result.first));
    return result;
}

int QuickAlarms::removeRung() {
    // Asked at every tick: kept for good, nothing to look for.
    if (p_.settings.qgk <= 0) return 0;
    const AlarmGroupPtr g = quickGroup();
    if (!g) return 0;
    const std::vector<AlarmPtr> rung = rungAlarms(*g, p_.now(), p_.settings.qgk);
    if (rung.empty()) return 0;
    for (const AlarmPtr& a : rung) g->alarms.remove(a);
    g->setChanged();
    p_.control.alarmsChanged(rung, change::kDeleted);
    return static_cast<int>(rung.size());
}

}  // namespace qv

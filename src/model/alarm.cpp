#include "model/alarm.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/alarmgroup.h"
#include "model/clsaction.h"
#include "model/clsadvanceddate.h"
#include "model/daysoff.h"
#include "model/texts.h"

namespace qv {
namespace {

// The special next dates the lists show with their own words.
const DateTime kDecember1st9999 = DateTime::fromParts(9999, 12, 1);
const DateTime kDecember2nd9999 = DateTime::fromParts(9999, 12, 2);

bool validUnit(int unit) { return unit >= kSeconds && unit <= kWeeks; }

std::int64_t roundHalfEvenDiv(std::int64_t k, std::int64_t d) {
    std::int64_t q = k / d;
    std::int64_t r = k % d;
    if (r < 0) {
        r += d;
        --q;
    }
    if (2 * r > d || (2 * r == d && (q % 2 != 0))) ++q;
    return q;
}

// The children an alarm element is read from, found in one pass instead of a
// lookup by name for each (a group of thousands of alarms spends most of its
// reading time there otherwise).
enum AlarmField : int {
    kName,
    kDatk,
    kPerl,
    kPeru,
    kOncd,
    kNexd,
    kActp,
    kStad,
    kEndd,
    kWkds,
    kAdva,
    kAdda,
    kAddu,
    kSaia,
    kStat,
    kSnoz,
    kSnod,
    kRdon,
    kImpr,
    kDura,
    kDuru,
    kLsa,
    kLsu,
    kLsat,
    kFieldCount,
    kActi = kFieldCount
};

constexpr std::uint32_t tag(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// The field a child's name stands for, or -1 for any other name.
int fieldOf(std::string_view n) {
    if (n.size() == 3) {
        if (n[0] != 'l' || n[1] != 's') return -1;
        return n[2] == 'a' ? kLsa : n[2] == 'u' ? kLsu : -1;
    }
    if (n.size() != 4) return -1;
    switch (tag(n[0], n[1], n[2], n[3])) {
        case tag('n', 'a', 'm', 'e'):
            return kName;
        case tag('d', 'a', 't', 'k'):
            return kDatk;
        case tag('p', 'e', 'r', 'l'):
            return kPerl;
        case tag('p', 'e', 'r', 'u'):
            return kPeru;
        case tag('o', 'n', 'c', 'd'):
            return kOncd;
        case tag('n', 'e', 'x', 'd'):
            return kNexd;
        case tag('a', 'c', 't', 'p'):
            return kActp;
        case tag('s', 't', 'a', 'd'):
            return kStad;
        case tag('e', 'n', 'd', 'd'):
            return kEndd;
        case tag('w', 'k', 'd', 's'):
            return kWkds;
        case tag('a', 'd', 'v', 'a'):
            return kAdva;
        case tag('a', 'd', 'd', 'a'):
            return kAdda;
        case tag('a', 'd', 'd', 'u'):
            return kAddu;
        case tag('a', 'c', 't', 'i'):
            return kActi;
        case tag('s', 'a', 'i', 'a'):
            return kSaia;
        case tag('s', 't', 'a', 't'):
            return kStat;
        case tag('s', 'n', 'o', 'z'):
            return kSnoz;
        case tag('s', 'n', 'o', 'd'):
            return kSnod;
        case tag('r', 'd', 'o', 'n'):
            return kRdon;
        case tag('i', 'm', 'p', 'r'):
            return kImpr;
        case tag('d', 'u', 'r', 'a'):
            return kDura;
        case tag('d', 'u', 'r', 'u'):
            return kDuru;
        case tag('l', 's', 'a', 't'):
            return kLsat;
        default:
            return -1;
    }
}

// Reads the found children as XMLNode's typed getters read them: the default
// when the child is missing or its text is no number. A number beyond what
// the field holds is not taken for the default (a period of 4294967297 seconds
// is no period of one second): it is clamped, and the first such field is
// noted, which turns the alarm off.
struct FieldReader {
    const std::array<const XMLNode*, kFieldCount>& found;
    std::string& fault;

    std::string text(int f) const { return found[f] ? found[f]->Value.str() : std::string(); }
    std::int64_t whole(int f, std::int64_t fallback, std::int64_t min, std::int64_t max) const {
        if (!found[f]) return fallback;
        return readWhole(*found[f], fallback, min, max, fault);
    }
    std::int16_t integer(int f, std::int16_t fallback) const {
        return static_cast<std::int16_t>(whole(f, fallback, INT16_MIN, INT16_MAX));
    }
    std::int32_t longValue(int f, std::int32_t fallback) const {
        return static_cast<std::int32_t>(whole(f, fallback, INT32_MIN, INT32_MAX));
    }
    // A code from a short list (a time unit, the importance): one outside it
    // takes the default.
    std::int16_t code(int f, std::int16_t fallback, int min, int max) const {
        const std::string before = fault;
        const std::int16_t v = integer(f, fallback);
        if (v >= min && v <= max && fault == before) return v;
        if (fault.empty()) fault = found[f]->name + " = " + shortText(found[f]->Value);
        return fallback;
    }
    bool boolean(int f, bool fallback) const {
        bool v;
        return found[f] && XMLNode::textToBoolean(found[f]->Value, v) ? v : fallback;
    }
    DateTime date(int f, DateTime fallback) const {
        return found[f] ? parseStoredText(found[f]->Value).value_or(fallback) : fallback;
    }

    static std::string shortText(std::string_view t) {
        return t.size() <= 40 ? std::string(t) : std::string(t.substr(0, 40)) + "...";
    }
    static std::int64_t readWhole(const XMLNode& child, std::int64_t fallback, std::int64_t min,
                                  std::int64_t max, std::string& fault) {
        std::int64_t v = 0;
        switch (XMLNode::readWholeNumber(child.Value, min, max, v)) {
            case XMLNode::WholeNumber::kInRange:
                return v;
            case XMLNode::WholeNumber::kOutOfRange:
                if (fault.empty()) fault = child.name + " = " + shortText(child.Value);
                return v;
            default:
                return fallback;
        }
    }
};

// The whole numbers of an action the program itself reads: its type and, for
// the message and sound types, the settings "i" (16 bits) and "l" (32 bits).
// A plug-in's settings are its own business.
void checkActionRange(const XMLNode& element, std::string& fault) {
    std::int64_t type = 0;
    for (const XMLNodePtr& child : element.children()) {
        if (!child || child->name != "acid") continue;
        type = FieldReader::readWhole(*child, 0, INT16_MIN, INT16_MAX, fault);
        break;
    }
    if (type != clsAction::kShowMessage && type != clsAction::kShowMessageAndSpeak &&
        type != clsAction::kPlaySound && type != clsAction::kPlaySoundRepeatedly)
        return;
    for (const XMLNodePtr& sett : element.children()) {
        if (!sett || sett->name != "sett") continue;
        for (const XMLNodePtr& c : sett->children()) {
            if (!c) continue;
            if (c->name == "i") (void)FieldReader::readWhole(*c, 0, INT16_MIN, INT16_MAX, fault);
            if (c->name == "l") (void)FieldReader::readWhole(*c, 0, INT32_MIN, INT32_MAX, fault);
        }
        break;
    }
}

}  // namespace

std::int64_t alignedGridIndex(DateTime base, DateTime target, std::int32_t amount, int unit) {
    return roundHalfEvenDiv(dateDiff(base, target, unit), amount);
}

DateTime alignToGrid(DateTime base, DateTime target, std::int32_t amount, int unit) {
    const std::int64_t n = alignedGridIndex(base, target, amount, unit);
    return addToDate(base, static_cast<std::int64_t>(amount) * n, unit);
}

// ---- Constructors --------------------------------------------------------------

void Alarm::initialize() { actions.clear(); }

AlarmPtr Alarm::createAlarm(const std::shared_ptr<AlarmGroup>& par) {
    auto a = std::make_shared<Alarm>();
    a->initialize();
    a->Active = true;
    a->parent = par;
    a->changed = true;
    a->invalidateCaches();
    return a;
}

AlarmPtr Alarm::createDefaultAlarm(ModelContext& ctx) {
    auto a = createAlarm(nullptr);
    a->name = ctx.translation.getText(texts::kAlarm, 101);
    a->momentKind = kOnce;
    a->everyAmount = 1;
    a->everyUnit = kDays;
    a->correctionAmount = 0;
    a->onceDate = a->nextDate = a->startDate = a->endDate = kNever;
    a->actions.addElement(clsAction::Create(ctx, a, clsAction::kShowMessage));
    a->soundAfterInactive = true;
    return a;
}

AlarmPtr Alarm::createDefaultHiddenAlarm(const std::shared_ptr<AlarmGroup>& par,
                                         const std::string& name) {
    auto a = createAlarm(par);
    a->name = name;
    a->momentKind = kOnce;
    a->onceDate = kNever;
    a->everyAmount = 1;
    a->hidden = true;
    return a;
}

AlarmPtr Alarm::createFromXML(const XMLNode& node, const std::shared_ptr<AlarmGroup>& par) {
    auto a = std::make_shared<Alarm>();
    a->initialize();
    // One pass over the children: the first child of each name is the one read,
    // as a lookup by name would find it; actions are taken in their order.
    std::array<const XMLNode*, kFieldCount> found{};
    std::string fault;
    bool remindersSeen = false;
    for (const XMLNodePtr& child : node.children()) {
        if (!child) continue;
        if (child->name == kRemindersElement) {
            if (!remindersSeen) a->reminders = readReminders(*child);
            remindersSeen = true;
            continue;
        }
        const int f = fieldOf(child->name);
        if (f == kActi) {
            if (fault.empty()) checkActionRange(*child, fault);
            auto action = clsAction::createFromXML(*child);
            action->al = a;
            a->actions.addElement(std::move(action));
        } else if (f >= 0 && !found[f]) {
            found[f] = child.get();
        } else if (f < 0 && child->name == "ndof") {
            bool v = false;
            a->notOnDaysOff = XMLNode::textToBoolean(child->Value, v) && v;
        } else if (f < 0 && child->name == "dofs") {
            for (const XMLNodePtr& src : child->children())
                if (src && src->name == "src" && !src->Value.str().empty())
                    a->daysOffCalendars.push_back(src->Value.str());
        }
    }
    const FieldReader r{found, fault};
    a->name = r.text(kName);
    a->momentKind = r.integer(kDatk, 0);
    a->everyAmount = r.longValue(kPerl, 1);
    a->everyUnit = r.code(kPeru, kDays, kSeconds, kWeeks);
    a->onceDate = r.date(kOncd, kNever);
    a->nextDate = r.date(kNexd, kNever);
    a->activePeriod = r.integer(kActp, 0);
    a->startDate = r.date(kStad, kNever);
    a->endDate = r.date(kEndd, kNever);
    a->weekDays = r.integer(kWkds, 0);
    a->activeAdvanced = r.text(kAdva);
    a->correctionAmount = r.longValue(kAdda, 0);
    a->correctionUnit = r.code(kAddu, 0, kSeconds, kWeeks);
    a->soundAfterInactive = r.boolean(kSaia, true);
    a->Active = r.boolean(kStat, true);
    a->snoozing = r.boolean(kSnoz, false);
    a->nextSnoozeAlarmDate = r.date(kSnod, kNever);
    a->readOnly = r.boolean(kRdon, false);
    a->importance = r.code(kImpr, 0, -2, 2);
    a->durationAmount = r.longValue(kDura, 0);
    a->durationUnit = r.code(kDuru, 1, kSeconds, kWeeks);
    a->lastSnoozeSet = found[kLsa] != nullptr;
    a->lastSnoozeAmount = r.integer(kLsa, 0);
    a->lastSnoozeUnit = r.code(kLsu, 0, kSeconds, kWeeks);
    a->lastSnoozeAddTo = r.integer(kLsat, 0);
    if (!fault.empty()) {
        // Whatever the file meant, it is not what we would make of it: the
        // alarm stays off until someone looks at it, and its file keeps it
        // as it was.
        a->rangeFault = std::move(fault);
        a->Active = false;
        a->storedForm_ = node.getCopy();
    }
    a->parent = par;
    a->changed = false;
    a->invalidateCaches();
    return a;
}

XMLNodePtr Alarm::toXML(const std::string& elementName) const {
    if (storedForm_ && !changed) {
        auto kept = storedForm_->getCopy();
        kept->name = elementName;
        return kept;
    }
    auto n = XMLNode::Create(elementName);
    n->addString("name", name);
    n->addInteger("datk", momentKind);
    n->addLong("perl", everyAmount);
    n->addInteger("peru", everyUnit);
    n->addDate("oncd", onceDate);
    n->addDate("nexd", nextDate);
    n->addInteger("actp", activePeriod);
    n->addDate("stad", startDate);
    n->addDate("endd", endDate);
    n->addInteger("wkds", weekDays);
    n->addString("adva", activeAdvanced);
    n->addLong("adda", correctionAmount);
    n->addInteger("addu", correctionUnit);
    for (const ActionPtr& action : actions) n->addNode(action->toXML("acti"));
    n->addBoolean("saia", soundAfterInactive);
    n->addBoolean("stat", Active);
    n->addBoolean("snoz", snoozing);
    n->addDate("snod", nextSnoozeAlarmDate);
    n->addBoolean("rdon", readOnly);
    if (importance != 0) n->addInteger("impr", importance);
    if (durationAmount != 0) n->addLong("dura", durationAmount);
    if (durationUnit != 1) n->addInteger("duru", durationUnit);
    if (lastSnoozeSet) {
        n->addInteger("lsa", lastSnoozeAmount);
        n->addInteger("lsu", lastSnoozeUnit);
        n->addInteger("lsat", lastSnoozeAddTo);
    }
    if (notOnDaysOff) n->addBoolean("ndof", true);
    if (!daysOffCalendars.empty()) {
        auto list = XMLNode::Create("dofs");
        for (const std::string& c : daysOffCalendars) list->addString("src", c);
        n->addNode(std::move(list));
    }
    if (!reminders.empty()) n->addNode(remindersToXML(reminders));
    return n;
}

// ---- Small operations ------------------------------------------------------------

void Alarm::setChanged() {
    changed = true;
    // Edited: what it holds now is what gets written.
    storedForm_.reset();
    rangeFault.clear();
    invalidateCaches();
}

void Alarm::invalidateCaches() {
    cacheAfter_ = kNever;
    cacheNext_ = kNever;
    cacheCalendar_ = false;
    cacheGivenUp_ = false;
}

void Alarm::snooze(DateTime snoozeDate) {
    snoozing = true;
    nextSnoozeAlarmDate = snoozeDate;
}

void Alarm::soundAlarm(ModelContext& ctx, DateTime soundingDate, bool real) {
    if (real && ctx.alarmsSounded < INT32_MAX) ++ctx.alarmsSounded;
    // A copy, so an action that edits the list (a plug-in, a window) cannot
    // pull it from under the loop.
    const auto todo = actions.getCopy();
    for (const ActionPtr& action : *todo) action->doAction(ctx, soundingDate, real);
}

bool Alarm::showsMessage() const {
    for (const ActionPtr& action : actions)
        if (action->showsMessage()) return true;
    return false;
}

// ---- Timing ----------------------------------------------------------------------

bool Alarm::hasNextAlarmDateAfter(DateTime da, bool calendarDate) {
    // A given-up answer is computed again: a restriction that comes within
    // reach later must still be found.
    if (cacheAfter_ <= da && da < cacheNext_ && calendarDate == cacheCalendar_ && !cacheGivenUp_)
        return cacheNext_ < kNever;
    cacheAfter_ = da;
    cacheCalendar_ = calendarDate;
    DateTime next;
    bool givenUp = false;
    bool found;
    try {
        found = computeNext(da, calendarDate, next, givenUp);
    } catch (...) {
        invalidateCaches();
        throw;
    }
    cacheNext_ = found ? next : kNever;
    // Whatever the date range or a snooze made of a search that gave up, it
    // is not an answer to keep: the restriction may come within reach later.
    cacheGivenUp_ = givenUp;
    return found;
}

void Alarm::listMomentsAfter(DateTime da, DateTime before, bool calendarDate,
                             std::vector<DateTime>& out, int limit) {
    int n = 0;
    auto plain = [&](DateTime from) {
        for (; n < limit && hasNextAlarmDateAfter(from, calendarDate); ++n) {
            const DateTime m = getNextAlarmDateAfter();
            if (m >= before) return;
            out.push_back(m);
            from = m;
        }
    };
    const std::int32_t corr = calendarDate || !validUnit(correctionUnit) ? 0 : correctionAmount;
    // A correction in months or years clamps days and a snooze brings a moment
    // of its own: those take the plain way, one query per moment.
    const bool exactCorrection =
        corr == 0 || (correctionUnit != kMonths && correctionUnit != kYears);
    if (momentKind != kPeriodic || snoozing || !exactCorrection) {
        plain(da);
        return;
    }
    if (limit <= 0 || !hasNextAlarmDateAfter(da, calendarDate)) return;
    const DateTime firstMoment = getNextAlarmDateAfter();
    if (cacheGivenUp_ || firstMoment >= before) return;
    out.push_back(firstMoment);
    ++n;

    // The grid point of that moment; from there on each next moment is the
    // next grid point that passes the restrictions, as the query would find it.
    const std::int32_t amount = everyAmount;
    const int unit = everyUnit;
    auto gridPoint = [&](std::int64_t k) {
        return addToDate(nextDate, k * static_cast<std::int64_t>(amount), unit);
    };
    const DateTime g0 = corr == 0 ? firstMoment : addToDate(firstMoment, -corr, correctionUnit);
    std::int64_t k = alignedGridIndex(nextDate, g0, amount, unit);
    if (gridPoint(k) != g0) {
        plain(firstMoment);
        return;
    }
    const bool byDates = (activePeriod & kRestrictDates) != 0;
    const bool byWeekdays = (activePeriod & kRestrictWeekdays) != 0;
    const AdvancedDateProgram* program =
        (activePeriod & kRestrictExpression) != 0 ? &currentProgram() : nullptr;
    const auto daysOff = daysOffForTiming();
    while (n < limit) {
        // The query's first round looks at the grid point of the moment itself.
        int rounds = 1;
        DateTime cur;
        bool again;
        do {
            ++rounds;
            cur = gridPoint(++k);
            again = false;
            if (byWeekdays && ((weekDays >> (cur.weekday() - 1)) & 1) == 0) again = true;
            if (program && !program->evaluate(cur)) again = true;
            if (daysOff && !again && daysOff->find(cur)) again = true;
            if (byDates) {
                if (cur < startDate) again = true;
                if (endDate < cur) return;
            }
        } while (again && rounds <= kStepLimit);
        // Given up: the query answers a moment in the year 9999.
        if (rounds > kStepLimit) return;
        const DateTime m = corr == 0 ? cur : addToDate(cur, corr, correctionUnit);
        if (m >= before) return;
        out.push_back(m);
        ++n;
    }
}

void Alarm::listMomentsInCells(DateTime da, const std::vector<DateTime>& cellEnds,
                               bool calendarDate, int perCell, int limit,
                               std::vector<DateTime>& out, std::vector<std::int64_t>& hidden) {
    if (cellEnds.empty() || hidden.size() < cellEnds.size() || limit <= 0) return;
    const DateTime stop = cellEnds.back();
    std::size_t cell = 0;
    int inCell = 0;
    // Into its cell: listed while the cell has room, else counted.
    auto place = [&](DateTime m) {
        while (cell + 1 < cellEnds.size() && !(m < cellEnds[cell])) {
            ++cell;
            inCell = 0;
        }
        if (inCell < perCell) {
            out.push_back(m);
            ++inCell;
        } else {
            ++hidden[cell];
        }
    };
    auto placeAll = [&](const std::vector<DateTime>& moments) {
        for (const DateTime m : moments) place(m);
    };

    const std::int32_t corr = calendarDate || !validUnit(correctionUnit) ? 0 : correctionAmount;
    const bool exactCorrection =
        corr == 0 || (correctionUnit != kMonths && correctionUnit != kYears);
    std::vector<DateTime> moments;
    if (momentKind != kPeriodic || snoozing || !exactCorrection) {
        listMomentsAfter(da, stop, calendarDate, moments, limit);
        placeAll(moments);
        return;
    }
    if (!hasNextAlarmDateAfter(da, calendarDate)) return;
    const DateTime firstMoment = getNextAlarmDateAfter();
    if (cacheGivenUp_ || firstMoment >= stop) return;
    const std::int32_t amount = everyAmount;
    const int unit = everyUnit;
    auto gridPoint = [&](std::int64_t k) {
        return addToDate(nextDate, k * static_cast<std::int64_t>(amount), unit);
    };
    auto momentOf = [&](DateTime g) { return corr == 0 ? g : addToDate(g, corr, correctionUnit); };
    const DateTime g0 = corr == 0 ? firstMoment : addToDate(firstMoment, -corr, correctionUnit);
    std::int64_t k = alignedGridIndex(nextDate, g0, amount, unit);
    if (gridPoint(k) != g0) {
        listMomentsAfter(da, stop, calendarDate, moments, limit);
        placeAll(moments);
        return;
    }
    int n = 1;
    place(firstMoment);

    const bool byDates = (activePeriod & kRestrictDates) != 0;
    const bool byWeekdays = (activePeriod & kRestrictWeekdays) != 0;
    const AdvancedDateProgram* program =
        (activePeriod & kRestrictExpression) != 0 ? &currentProgram() : nullptr;
    const auto daysOff = daysOffForTiming();
    // As the query looks at a grid point: every restriction is asked (an
    // expression that raises does so whatever the weekday).
    auto passes = [&](DateTime g) {
        bool ok = !(byWeekdays && ((weekDays >> (g.weekday() - 1)) & 1) == 0);
        if (program && !program->evaluate(g)) ok = false;
        if (daysOff && ok && daysOff->find(g)) ok = false;
        return ok && !(byDates && g < startDate);
    };
    // A grid of fixed steps whose restrictions read only the weekday and the
    // time of day gives the same answers every `period` grid points.
    std::int64_t stepSeconds = 0;
    switch (unit) {
        case kSeconds:
            stepSeconds = 1;
            break;
        case kMinutes:
            stepSeconds = 60;
            break;
        case kHours:
            stepSeconds = 3600;
            break;
        case kDays:
            stepSeconds = 86400;
            break;
        case kWeeks:
            stepSeconds = 7 * 86400;
            break;
        default:
            break;
    }
    constexpr std::int64_t kWeek = 7 * 86400;
    std::int64_t period = 0;
    if (stepSeconds > 0 && amount > 0 && !byDates && !daysOff &&
        (!program || program->repeatsWeekly())) {
        const std::int64_t step = stepSeconds * amount;
        period = kWeek / std::gcd(step, kWeek);
        if (period > 20000) period = 0;
    }
    // The answers of one period of grid points from `base` on, made when a
    // full cell is first counted and used for every later one.
    struct Pattern {
        bool built = false;
        std::int64_t base = 0, period = 1, perPeriod = 0, longest = 0;
        std::vector<std::int32_t> prefix;  // passes before each position
        std::vector<std::int32_t> back;    // points since the last pass, at each position
        // Passing grid points from `base` up to (not including) index x >= base.
        std::int64_t before(std::int64_t x) const {
            const std::int64_t d = x - base;
            return d / period * perPeriod + prefix[static_cast<std::size_t>(d % period)];
        }
        // Failing points after the last pass up to index x (a pass at x gives 0).
        std::int64_t sinceLast(std::int64_t x) const {
            return back[static_cast<std::size_t>((x - base) % period)];
        }
    } pattern;
    auto buildPattern = [&](std::int64_t base) {
        pattern.built = true;
        pattern.base = base;
        pattern.period = period;
        const auto n = static_cast<std::size_t>(period);
        std::vector<char> pass(n);
        pattern.prefix.assign(n + 1, 0);
        for (std::size_t i = 0; i < n; ++i) {
            pass[i] = passes(gridPoint(base + static_cast<std::int64_t>(i))) ? 1 : 0;
            pattern.prefix[i + 1] = pattern.prefix[i] + pass[i];
        }
        pattern.perPeriod = pattern.prefix[n];
        pattern.back.assign(n, 0);
        if (pattern.perPeriod == 0) return;
        // Runs of failing points, also across the period's end.
        std::size_t last = n - 1;
        while (!pass[last]) --last;
        std::int64_t run = static_cast<std::int64_t>(n - 1 - last);
        for (std::size_t i = 0; i < n; ++i) {
            run = pass[i] ? 0 : run + 1;
            pattern.back[i] = static_cast<std::int32_t>(run);
            pattern.longest = std::max(pattern.longest, run);
        }
    };
    // Failing grid points since the last moment found: the search gives up
    // once it has looked at kStepLimit points, as the query does.
    std::int64_t fails = 0;

    // Counts the grid points after k that pass and come before `end`, at most
    // `room` of them, and leaves k on the last point looked at. False when the
    // search gives up or the date range ends on the way.
    auto countRest = [&](DateTime end, std::int64_t room, std::int64_t& counted) {
        counted = 0;
        // The first grid index whose moment is not before `end`.
        const DateTime gEnd = corr == 0 ? end : addToDate(end, -corr, correctionUnit);
        std::int64_t kEnd = std::max(k + 1, alignedGridIndex(nextDate, gEnd, amount, unit));
        while (kEnd > k + 1 && !(momentOf(gridPoint(kEnd - 1)) < end)) --kEnd;
        while (momentOf(gridPoint(kEnd)) < end) ++kEnd;
        const std::int64_t points = kEnd - (k + 1);
        if (points <= 0) return true;
        if (!byDates && !byWeekdays && !program && !daysOff) {
            // Every grid point is a moment.
            if (fails + 1 >= kStepLimit) return false;
            counted = std::min(points, room);
            k += counted;
            fails = 0;
            return counted == points;
        }
        if (period > 0 && !pattern.built && points > period / 4) {
            // An expression that raises does so where the walk below meets it.
            try {
                buildPattern(k + 1);
            } catch (const std::exception&) {
                period = 0;
            }
        }
        if (period > 0 && pattern.built) {
            // With a moment in every stretch shorter than the search's reach
            // the search never gives up: the count is the pattern's.
            if (pattern.perPeriod > 0 && pattern.longest + 1 < kStepLimit) {
                const std::int64_t total = pattern.before(kEnd) - pattern.before(k + 1);
                if (total <= room) {
                    counted = total;
                    fails = total == 0 ? fails + points : pattern.sinceLast(kEnd - 1);
                    k = kEnd - 1;
                    return true;
                }
            }
        }
        for (; k + 1 < kEnd;) {
            const DateTime g = gridPoint(++k);
            if (fails + 1 >= kStepLimit) return false;
            const bool ok = passes(g);
            if (byDates && endDate < g) return false;
            if (ok) {
                if (counted == room) return false;
                ++counted;
                fails = 0;
            } else {
                ++fails;
            }
        }
        return true;
    };

    while (n < limit) {
        if (inCell >= perCell) {
            // The cell is full: the rest of it is only counted.
            std::int64_t counted = 0;
            const bool goOn = countRest(cellEnds[cell], limit - n, counted);
            hidden[cell] += counted;
            n += static_cast<int>(counted);
            if (!goOn || cell + 1 >= cellEnds.size()) return;
            ++cell;
            inCell = 0;
            continue;
        }
        DateTime cur;
        bool again;
        do {
            cur = gridPoint(++k);
            if (fails + 1 >= kStepLimit) return;
            again = !passes(cur);
            if (byDates && endDate < cur) return;
            if (again) ++fails;
        } while (again);
        fails = 0;
        const DateTime m = momentOf(cur);
        if (m >= stop) return;
        place(m);
        ++n;
    }
}

std::shared_ptr<const DaysOffLookup> Alarm::daysOffForTiming() const {
    if (!notOnDaysOff || momentKind != kPeriodic) return nullptr;
    const auto group = parentGroup();
    if (!group) return nullptr;
    auto lookup = group->daysOffLookup(daysOffCalendars);
    return lookup && !lookup->empty() ? lookup : nullptr;
}

bool Alarm::firstSkippedDayOff(DateTime da, DateTime& skipped, std::string& dayName) {
    const auto daysOff = daysOffForTiming();
    if (!daysOff) return false;
    const std::int32_t corr = validUnit(correctionUnit) ? correctionAmount : 0;
    DateTime with, without;
    bool givenUpWith = false, givenUpWithout = false;
    try {
        const bool foundWith = computeNext(da, false, with, givenUpWith);
        notOnDaysOff = false;
        const bool foundWithout = computeNext(da, false, without, givenUpWithout);
        notOnDaysOff = true;
        if (!foundWithout || givenUpWithout || (foundWith && !(without < with))) return false;
    } catch (...) {
        notOnDaysOff = true;
        return false;
    }
    // The moment the alarm would have rung is a grid point moved by the
    // correction; the day off is a matter of the grid point.
    const DateTime grid = corr == 0 ? without : addToDate(without, -corr, correctionUnit);
    const DayOffItem* item = daysOff->find(grid);
    if (!item) return false;  // a snooze or a clamped correction, not a day off
    skipped = without;
    dayName = item->name;
    return true;
}

void Alarm::shareProgram(SharedPrograms& programs) {
    if (momentKind != kPeriodic || (activePeriod & kRestrictExpression) == 0) return;
    // A program never changes once compiled, so sharing it is safe; an alarm whose
    // expression is edited later compiles its own (currentProgram).
    std::shared_ptr<const AdvancedDateProgram>& shared = programs[activeAdvanced];
    if (!shared) shared = std::make_shared<const AdvancedDateProgram>(activeAdvanced);
    program_ = shared;
}

const AdvancedDateProgram& Alarm::currentProgram() {
    if (!program_ || program_->expression() != activeAdvanced)
        program_ = std::make_shared<const AdvancedDateProgram>(activeAdvanced);
    return *program_;
}

bool Alarm::computeNext(DateTime da, bool calendarDate, DateTime& next, bool& givenUp) {
    // A correction in a unit we do not know is no correction: adding it would
    // give day zero and silence the alarm for good.
    const std::int32_t corr = calendarDate || !validUnit(correctionUnit) ? 0 : correctionAmount;
    auto corrected = [&](DateTime d, std::int64_t n) {
        return n == 0 ? d : addToDate(d, n, correctionUnit);
    };
    bool found = false;
    DateTime cur = kDayZero;

    if (momentKind == kOnce) {
        // A one-off alarm at "never" has no moment at all, whatever its correction.
        if (onceDate != kNever) {
            cur = corrected(onceDate, corr);
            found = da < cur;
        }
    } else if (momentKind == kPeriodic && nextDate != kNever && everyAmount >= 1 &&
               validUnit(everyUnit)) {
        const bool byDates = (activePeriod & kRestrictDates) != 0;
        const bool byWeekdays = (activePeriod & kRestrictWeekdays) != 0;
        const bool byExpression = (activePeriod & kRestrictExpression) != 0;
        const std::int32_t amount = everyAmount;
        const int unit = everyUnit;

        // Grid point k lies k periods from the anchor and is always counted from
        // the anchor itself. Stepping from one point to the next would carry a
        // clamped day along: a monthly alarm on the 31st would ring on the 28th
        // from February on. For exact units both ways give the same points.
        auto gridPoint = [&](std::int64_t k) {
            return addToDate(nextDate, k * static_cast<std::int64_t>(amount), unit);
        };

        // The query moved onto the uncorrected grid.
        const DateTime a = corrected(da, -static_cast<std::int64_t>(corr));
        const AdvancedDateProgram* program = byExpression ? &currentProgram() : nullptr;
        const auto daysOff = daysOffForTiming();

        // A grid point not after the query. Stepping back is bounded: after the
        // alignment it takes a step or two at most. Past the end of a date range
        // nothing after the query counts, so any point not after it will do.
        std::int64_t k;
        if (!byDates || startDate < a) {
            k = alignedGridIndex(nextDate, a, amount, unit);
            for (int guard = 0; a < gridPoint(k) && guard < kStepLimit; ++guard) --k;
        } else {
            k = alignedGridIndex(nextDate, startDate, amount, unit);
        }
        --k;

        int rounds = 0;
        bool again;
        do {
            ++rounds;
            cur = gridPoint(++k);
            again = cur <= a;
            // Where a month or year correction clamps the day, the corrected
            // moment can fall on or before the query although the grid point
            // does not: such a point does not count either.
            if (!again && corr != 0 && corrected(cur, corr) <= da) again = true;
            if (byWeekdays && ((weekDays >> (cur.weekday() - 1)) & 1) == 0) again = true;
            if (program && !program->evaluate(cur)) again = true;
            if (daysOff && !again && daysOff->find(cur)) again = true;
            if (byDates) {
                if (cur < startDate) again = true;
                if (endDate < cur) again = false;
            }
            if (rounds > kStepLimit) again = false;
        } while (again);

        found = true;
        if (rounds > kStepLimit) {
            cur = kGivenUp;
            givenUp = true;
        }
        if (byDates && (cur > endDate || cur < startDate)) found = false;
        cur = corrected(cur, corr);
    }

    // A pending snooze wins when it comes first or when nothing else is due.
    if (snoozing && da < nextSnoozeAlarmDate) {
        if (!found || nextSnoozeAlarmDate < cur) cur = nextSnoozeAlarmDate;
        found = true;
    }
    // The answer always lies strictly after the query.
    if (found && cur <= da) found = false;
    next = cur;
    return found;
}

// ---- Display ----------------------------------------------------------------------

namespace {

std::string colourText(std::int32_t c) { return std::to_string(c); }

// The unit's name for `amount` of it: "1 minute", "2 minutes".
std::string unitName(ModelContext& ctx, int unit, long amount) {
    return ctx.translation.getUnitName(unit, amount);
}

}  // namespace

std::vector<std::string> Alarm::getDateTimeDescriptionItems(ModelContext& ctx) const {
    const std::string& fmt = ctx.settings.df.ot;
    auto date = [&](DateTime d) { return formatDate(d, fmt, ctx.dateNames); };
    std::string text;
    std::string colour = colourText(kWindowTextColour);
    if (momentKind == kOnce) {
        text = texts::fill(ctx.translation.getText(texts::kAlarm, 21), {date(onceDate)});
        colour = colourText(ctx.colours.getColour(23, kWindowTextColour));
    } else if (momentKind == kPeriodic) {
        // "every day" rather than "every 1 day", where the language file says it
        // (texts 41 to 47 by unit code; the article differs by unit in German).
        const std::string single =
            everyAmount == 1 && validUnit(everyUnit)
                ? ctx.translation.readKey(texts::kAlarm, "s" + std::to_string(41 + everyUnit), "")
                : std::string();
        text = texts::fill(
            single.empty() ? ctx.translation.getText(texts::kAlarm, 22) : single,
            {std::to_string(everyAmount), unitName(ctx, everyUnit, everyAmount), date(nextDate)});
        if (activePeriod & kRestrictDates)
            text += texts::fill(ctx.translation.getText(texts::kAlarm, 31),
                                {date(startDate), date(endDate)});
        if (activePeriod & kRestrictWeekdays) {
            std::string days;
            for (int d = 0; d < 7; ++d)
                if ((weekDays >> d) & 1) days += " " + ctx.translation.getString(11 + d);
            text += texts::fill(ctx.translation.getText(texts::kAlarm, 32), {days});
        }
        if (activePeriod & kRestrictExpression)
            text += texts::fill(ctx.translation.getText(texts::kAlarm, 33), {activeAdvanced});
        if (notOnDaysOff) text += ctx.translation.getText(texts::kAlarm, 300);
        const DateTime now = ctx.clock.now();
        colour = ctx.colours.gradientColour(now, addToDate(now, everyAmount, everyUnit), 24, 25,
                                            kWindowTextColour);
    }
    // The timing leaves out a correction in a unit it does not know, so does the text.
    if (correctionAmount != 0 && validUnit(correctionUnit)) {
        const std::string amount =
            (correctionAmount >= 0 ? "+" : "") + std::to_string(correctionAmount);
        text += texts::fill(ctx.translation.getText(texts::kAlarm, 34),
                            {amount, unitName(ctx, correctionUnit, correctionAmount)});
    }
    return {text, colour};
}

std::vector<std::string> Alarm::getActionDescriptionItems(ModelContext& ctx) const {
    std::string text;
    for (const ActionPtr& action : actions) text += action->getDescription(ctx) + "; ";
    std::string colour = "0";
    if (actions.numberOfElements() > 0) colour = actions.elementAt(0)->getActionColorString(ctx);
    return {text, colour};
}

std::vector<std::string> Alarm::getStringItems(ModelContext& ctx) {
    const std::int32_t wt = kWindowTextColour;
    const DateTime now = ctx.clock.now();
    std::vector<std::string> items(14);

    items[0] = name;
    items[1] = ctx.translation.getText(texts::kAlarm, Active ? 1 : 2);

    bool has = false;
    try {
        has = hasNextAlarmDateAfter(now, false);
    } catch (const AdvancedDateError& e) {
        if (ctx.log) ctx.log("alarm \"" + name + "\": " + e.what());
    }
    const DateTime next = getNextAlarmDateAfter();
    std::int32_t nextColour;
    if (!has) {
        items[2] = ctx.translation.getText(texts::kAlarm, 11);
        nextColour = ctx.colours.getColour(20, wt);
    } else if (cacheGivenUp_) {
        // Given up, whatever the correction did to the date.
        items[2] = ctx.translation.getText(texts::kAlarm, 12);
        nextColour = ctx.colours.getColour(17, wt);
    } else if (next == kDecember1st9999) {
        items[2] = ctx.translation.getText(texts::kAlarm, 13);
        nextColour = ctx.colours.getColour(18, wt);
    } else if (next == kDecember2nd9999) {
        items[2] = ctx.translation.getText(texts::kAlarm, 14);
        nextColour = ctx.colours.getColour(19, wt);
    } else {
        items[2] = formatDate(next, ctx.settings.df.al, ctx.dateNames);
        nextColour = 0;
    }

    const auto when = getDateTimeDescriptionItems(ctx);
    const auto what = getActionDescriptionItems(ctx);
    items[3] = when[0];
    items[4] = what[0];
    items[5] = std::to_string(durationAmount) + " " + unitName(ctx, durationUnit, durationAmount);
    items[6] = ctx.translation.getText(texts::kAlarm, 63 - importance);

    const auto group = parentGroup();
    items[7] = colourText(ctx.colours.schemeActive() && group ? group->Color : wt);
    items[8] = colourText(ctx.colours.getColour(Active ? 15 : 16, wt));
    items[9] = has && !cacheGivenUp_ && next != kDecember1st9999 && next != kDecember2nd9999
                   ? ctx.colours.gradientColour(now, next, 21, 22, wt)
                   : colourText(nextColour);
    items[10] = when[1];
    items[11] = what[1];
    items[12] = colourText(wt);
    items[13] = colourText(wt);
    return items;
}

std::string Alarm::getToolTip(ModelContext& ctx) {
    const auto items = getStringItems(ctx);
    std::string tip;
    for (int i = 0; i < 7; ++i)
        tip += ctx.translation.getText(texts::kAlarm, texts::kAlarmToolTipCaptions + i) + ": " +
               items[static_cast<std::size_t>(i)] + "\r\n";
    if (!reminders.empty())
        tip += ctx.translation.getText(texts::kAlarm, 400) + ": " +
               describeReminders(ctx.translation, reminders) + "\r\n";
    return tip;
}

}  // namespace qv

#include "model/alarm.h"

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/alarmgroup.h"
#include "model/clsaction.h"
#include "model/clsadvanceddate.h"
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
    a->name = node.getString("name", 0, "");
    a->momentKind = node.getInteger("datk", 0, 0);
    a->everyAmount = node.getLong("perl", 0, 1);
    a->everyUnit = node.getInteger("peru", 0, kDays);
    a->onceDate = node.getDate("oncd", 0, kNever);
    a->nextDate = node.getDate("nexd", 0, kNever);
    a->activePeriod = node.getInteger("actp", 0, 0);
    a->startDate = node.getDate("stad", 0, kNever);
    a->endDate = node.getDate("endd", 0, kNever);
    a->weekDays = node.getInteger("wkds", 0, 0);
    a->activeAdvanced = node.getString("adva", 0, "");
    a->correctionAmount = node.getLong("adda", 0, 0);
    a->correctionUnit = node.getInteger("addu", 0, 0);
    for (const XMLNodePtr& child : node.children()) {
        if (child->name != "acti") continue;
        auto action = clsAction::createFromXML(*child);
        action->al = a;
        a->actions.addElement(std::move(action));
    }
    a->soundAfterInactive = node.getBoolean("saia", 0, true);
    a->Active = node.getBoolean("stat", 0, true);
    a->snoozing = node.getBoolean("snoz", 0, false);
    a->nextSnoozeAlarmDate = node.getDate("snod", 0, kNever);
    a->readOnly = node.getBoolean("rdon", 0, false);
    a->importance = node.getInteger("impr", 0, 0);
    a->durationAmount = node.getLong("dura", 0, 0);
    a->durationUnit = node.getInteger("duru", 0, 1);
    a->lastSnoozeSet = node.getNodeIndex("lsa", 0) >= 0;
    a->lastSnoozeAmount = node.getInteger("lsa", 0, 0);
    a->lastSnoozeUnit = node.getInteger("lsu", 0, 0);
    a->lastSnoozeAddTo = node.getInteger("lsat", 0, 0);
    a->parent = par;
    a->changed = false;
    a->invalidateCaches();
    return a;
}

XMLNodePtr Alarm::toXML(const std::string& elementName) const {
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
    return n;
}

// ---- Small operations ------------------------------------------------------------

void Alarm::setChanged() {
    changed = true;
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
        text = texts::fill(
            ctx.translation.getText(texts::kAlarm, 22),
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
    return tip;
}

}  // namespace qv

#include "controls/vcalendar.h"

#include <QFontMetrics>
#include <QLocale>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace qv {
namespace {

constexpr std::int32_t kSysWindow = static_cast<std::int32_t>(0x80000005);
constexpr std::int32_t kSysWindowText = static_cast<std::int32_t>(0x80000008);
// A day view away from the present opens at the start of the working hours.
constexpr int kWorkdayStartHour = 8;

struct Units {
    int line = -1, sub = -1, subsPerLine = 0;
};

Units unitsOf(int scopeUnit) {
    switch (scopeUnit) {
        case kHours:
            return {kHours, kMinutes, 60};
        case kDays:
            return {kDays, kHours, 24};
        case kMonths:
            return {kWeeks, kDays, 7};
        case kYears:
            return {kYears, kMonths, 12};
        case kWeeks:
            return {kWeeks, kDays, 7};
        default:
            return {};
    }
}

// Each of red, green and blue times (1 - fraction); 1 or more gives black.
std::int32_t darken(const QColor& c, double fraction) {
    const double f = fraction >= 1 ? 0 : 1 - fraction;
    const int r = static_cast<int>(c.red() * f), g = static_cast<int>(c.green() * f),
              b = static_cast<int>(c.blue() * f);
    return r + 256 * g + 65536 * b;
}

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

const QString& VCalendarEntry::defaultDateFormat() {
    static const QString f = QStringLiteral("yyyy/mm/dd hh:nn:ss");
    return f;
}

namespace {
const DateNames& namesOf(const VCalendarEntry::Context* c) {
    static const EnglishDateNames english;
    return c && c->names ? *c->names : english;
}
}  // namespace

QString VCalendarEntry::getText() const {
    if (!context || context->prefixFormat.empty()) return text;
    const std::string prefix = formatDate(startDate, context->prefixFormat, namesOf(context));
    QString shown;
    shown.reserve(static_cast<qsizetype>(prefix.size()) + 1 + text.size());
    shown += QString::fromStdString(prefix);
    shown += QLatin1Char(' ');
    shown += text;
    return shown;
}

QString VCalendarEntry::getToolTip() const {
    if (context && !context->showToolTip) return {};
    const DateNames& n = namesOf(context);
    const std::string dateFormat = this->dateFormat.toStdString();
    QString t;
    if (startDate < endDate)
        t = fromStd(formatDate(startDate, dateFormat, n)) + QStringLiteral(" --- ") +
            fromStd(formatDate(endDate, dateFormat, n));
    else
        t = fromStd(formatDate(endDate, dateFormat, n));
    t += QLatin1Char('\n');
    if (obj) t += obj->getToolTip();
    return t;
}

VCalendar::VCalendar(QWidget* parent)
    : QWidget(parent),
      vgr_(new VGrid(this)),
      names_(std::make_shared<EnglishDateNames>()),
      clock_(&currentLocalTime) {
    vgr_->setObjectName(QStringLiteral("vgr"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(vgr_);
    firstDate_ = clock_();
    context_ = std::make_shared<VCalendarEntry::Context>();
    context_->names = names_;
    pool_ = std::make_shared<Pool>();
    pool_->context = context_;
    connect(vgr_, &VGrid::Click, this, &VCalendar::Click);
    connect(vgr_, &VGrid::DblClick, this, &VCalendar::DblClick);
    vgr_->setOverflowMark(true);
    connect(vgr_, &VGrid::OverflowDblClick, this, [this](int col, int row) {
        const VGridCell* c = vgr_->cell(col, row);
        if (!c || !c->HeaderEntry()) return;
        if (auto* p = dynamic_cast<VPeriod*>(c->HeaderEntry()->obj.get()))
            emit OverflowDblClick(*p);
    });
    connect(vgr_, &VGrid::SelectionChange, this, [this] {
        presentSub_ = -1;
        if (auto p = getSelectedPeriod()) emit SelectionChange(*p);
    });
    // Scrolled by the user: the grid stays where it is put.
    for (QScrollBar* s : {vgr_->horizontalScrollBar(), vgr_->verticalScrollBar()})
        connect(s, &QScrollBar::valueChanged, this, [this] { presentSub_ = -1; });
    rebuild();
}

VCalendar::~VCalendar() = default;

// ---------------------------------------------------------------- properties

void VCalendar::setFirstDate(DateTime d) {
    firstDate_ = d;
    rebuild();
}

void VCalendar::setFirstDayOfWeek(int d) {
    firstDayOfWeek_ = std::clamp(d, 0, 7);
    rebuild();
}

void VCalendar::setUnitLineDirection(int d) {
    unitLineDirection_ = d == 0 ? 0 : 1;
    rebuild();
}

void VCalendar::setScopeLength(int n) {
    scopeLength_ = std::max(1, n);
    rebuild();
}

void VCalendar::setShownScopeLength(int n) {
    shownScopeLength_ = std::max(1, n);
    rebuild();
}

void VCalendar::setShownScopeBreadth(int n) {
    shownScopeBreadth_ = std::max(1, n);
    rebuild();
}

void VCalendar::setLineHeaderFormat(const std::string& f) {
    lineHeaderFormat_ = f;
    rebuild();
}

void VCalendar::setSecondaryHeaderFormat(const std::string& f) {
    secondaryHeaderFormat_ = f;
    rebuild();
}

void VCalendar::setCellHeaderFormat(const std::string& f) {
    cellHeaderFormat_ = f;
    rebuild();
}

void VCalendar::setEntryPrefixFormat(const std::string& f) {
    entryPrefixFormat_ = f;
    context_->prefixFormat = f;
    rebuild();
}

void VCalendar::setIntervalBarWidth(int w) {
    intervalBarWidth_ = std::max(0, w);
    rebuild();
}

void VCalendar::setShowToolTips(bool on) {
    showToolTips_ = on;
    context_->showToolTip = on;
}

void VCalendar::setDateNames(std::shared_ptr<const DateNames> names) {
    names_ = names ? std::move(names) : std::make_shared<EnglishDateNames>();
    context_->names = names_;
    rebuild();
}

void VCalendar::setScopeUnit(int unit) {
    scopeUnit_ = unit;
    struct Layout {
        int length, shownLength, shownBreadth;
        const char *line, *secondary, *cell, *prefix;
    };
    Layout l;
    switch (unit) {
        case kHours:
            l = {4, 4, 15, "hh", "nn", "", "ss"};
            break;
        case kDays:
            l = {4, 4, 8, "ddd d mmm", "hh", "", "h:nn"};
            break;
        case kMonths:
            l = {1, 1, 7, "mmm", "dddd", "d", "h"};
            break;
        case kYears:
            l = {1, 1, 6, "yyyy", "mmmm", "", "d"};
            break;
        case kWeeks:
            l = {4, 4, 7, "\"wk\" ww (mmm)", "dddd", "d", "h"};
            break;
        default:
            rebuild();
            return;
    }
    scopeLength_ = l.length;
    shownScopeLength_ = l.shownLength;
    shownScopeBreadth_ = l.shownBreadth;
    lineHeaderFormat_ = l.line;
    secondaryHeaderFormat_ = l.secondary;
    cellHeaderFormat_ = l.cell;
    entryPrefixFormat_ = l.prefix;
    context_->prefixFormat = entryPrefixFormat_;
    vgr_->setLockRefresh(true);
    vgr_->setColOffset(0);
    vgr_->setRowOffset(0);
    vgr_->setLockRefresh(false);
    presentPending_ = true;
    rebuild();
}

QVariantMap VCalendar::saveProperties() const {
    return {
        {QStringLiteral("FirstDate"), fromStd(toStoredText(firstDate_))},
        {QStringLiteral("FirstDayOfWeek"), firstDayOfWeek_},
        {QStringLiteral("UnitLineDirection"), unitLineDirection_},
        {QStringLiteral("ScopeLength"), scopeLength_},
        {QStringLiteral("ScopeUnit"), scopeUnit_},
        {QStringLiteral("ShownScopeLength"), shownScopeLength_},
        {QStringLiteral("ShownScopeBreadth"), shownScopeBreadth_},
        {QStringLiteral("LockRefresh"), lockRefresh_},
        {QStringLiteral("LineHeaderFormat"), fromStd(lineHeaderFormat_)},
        {QStringLiteral("SecondaryHeaderFormat"), fromStd(secondaryHeaderFormat_)},
        {QStringLiteral("CellHeaderFormat"), fromStd(cellHeaderFormat_)},
        {QStringLiteral("EntryPrefixFormat"), fromStd(entryPrefixFormat_)},
        {QStringLiteral("IntervalBarWidth"), intervalBarWidth_},
    };
}

void VCalendar::loadProperties(const QVariantMap& props) {
    auto integer = [&](const char* name, int& field, int lo, int hi) {
        auto it = props.find(QLatin1String(name));
        bool ok = false;
        if (it != props.end()) {
            const int v = it->toInt(&ok);
            if (ok) field = std::clamp(v, lo, hi);
        }
    };
    auto text = [&](const char* name, std::string& field) {
        auto it = props.find(QLatin1String(name));
        if (it != props.end()) field = it->toString().toStdString();
    };
    if (auto it = props.find(QStringLiteral("FirstDate")); it != props.end())
        if (auto d = parseStoredText(it->toString().toStdString())) firstDate_ = *d;
    integer("FirstDayOfWeek", firstDayOfWeek_, 0, 7);
    integer("UnitLineDirection", unitLineDirection_, 0, 1);
    integer("ScopeLength", scopeLength_, 1, 32767);
    integer("ScopeUnit", scopeUnit_, 0, 6);
    integer("ShownScopeLength", shownScopeLength_, 1, 32767);
    integer("ShownScopeBreadth", shownScopeBreadth_, 1, 32767);
    if (auto it = props.find(QStringLiteral("LockRefresh")); it != props.end())
        lockRefresh_ = it->toBool();
    text("LineHeaderFormat", lineHeaderFormat_);
    text("SecondaryHeaderFormat", secondaryHeaderFormat_);
    text("CellHeaderFormat", cellHeaderFormat_);
    text("EntryPrefixFormat", entryPrefixFormat_);
    integer("IntervalBarWidth", intervalBarWidth_, 0, 32767);
    context_->prefixFormat = entryPrefixFormat_;
    rebuild();
}

// ---------------------------------------------------------------- dates

int VCalendar::effectiveFirstDayOfWeek() const {
    if (firstDayOfWeek_ >= 1 && firstDayOfWeek_ <= 7) return firstDayOfWeek_;
    // Qt counts Monday 1 .. Sunday 7.
    return static_cast<int>(QLocale::system().firstDayOfWeek()) % 7 + 1;
}

DateTime VCalendar::getBaseDate(DateTime date) const {
    auto weekStart = [&](DateTime d) {
        const int back = (d.weekday() - effectiveFirstDayOfWeek() + 7) % 7;
        return addToDate(d.date(), -back, kDays);
    };
    switch (scopeUnit_) {
        case kHours:
            return DateTime::fromParts(date.year(), date.month(), date.day(), date.hour());
        case kDays:
            return date.date();
        case kMonths:
            return weekStart(DateTime::fromParts(date.year(), date.month(), 1));
        case kYears:
            return DateTime::fromParts(date.year(), 1, 1);
        case kWeeks:
            return weekStart(date);
        default:
            return date;
    }
}

// Lines of a scope of `scopeLength` units. A month scope runs from the week
// start on or before the first of the month to the last day of the last month,
// so every day of the months is in a line.
int VCalendar::linesFor(int scopeLength) const {
    if (scopeUnit_ != kMonths) return scopeLength;
    const DateTime base = getBaseDate(firstDate_);
    const DateTime firstOfMonth = DateTime::fromParts(firstDate_.year(), firstDate_.month(), 1);
    const DateTime lastDay = addToDate(addToDate(firstOfMonth, scopeLength, kMonths), -1, kDays);
    return static_cast<int>((lastDay.days() - base.days()) / 7) + 1;
}

QPoint VCalendar::cellOf(int line, int sub) const {
    return unitLineDirection_ == 1 ? QPoint(line + 1, sub + 1) : QPoint(sub + 1, line + 1);
}

DateTime VCalendar::getFirstDateShown() const {
    const VGridCell* c = vgr_->cell(1, 1);
    if (c && c->HeaderEntry())
        if (auto* p = dynamic_cast<VPeriod*>(c->HeaderEntry()->obj.get())) return p->startDate;
    return getBaseDate(firstDate_);
}

DateTime VCalendar::getLastDateShown() const {
    const VGridCell* c = vgr_->cell(vgr_->NrOfCols() - 1, vgr_->NrOfRows() - 1);
    if (c && c->HeaderEntry())
        if (auto* p = dynamic_cast<VPeriod*>(c->HeaderEntry()->obj.get())) return p->endDate;
    return getBaseDate(firstDate_);
}

void VCalendar::moveFirstDate(int units) {
    if (unitsOf(scopeUnit_).line < 0) return;
    setFirstDate(addToDate(firstDate_, units, scopeUnit_));
}

QString VCalendar::format(DateTime d, const std::string& f) const {
    if (f.empty()) return {};
    return fromStd(formatDate(d, f, *names_));
}

std::int32_t VCalendar::background(DateTime start, DateTime end, DateTime now) const {
    bool alternate = false;
    switch (scopeUnit_) {
        case kHours:
            alternate = start.minute() % 30 >= 15;
            break;
        case kDays:
            alternate = start.hour() % 12 >= 6;
            break;
        case kMonths:
            alternate = start.month() % 2 == 1;
            break;
        case kYears:
            alternate = (start.month() - 1) % 6 >= 3;
            break;
        case kWeeks:
            alternate = start.weekday() == 1 || start.weekday() == 7;
            break;
        default:
            break;
    }
    const QColor window = vgr_->toQColor(kSysWindow);
    if (start <= now && now < end) return darken(window, 0.2);
    return darken(window, alternate ? 0.1 : 0);
}

// ---------------------------------------------------------------- entries

void VCalendar::releaseCellEntries() {
    if (!cellsReferToEntries_) return;
    cellsReferToEntries_ = false;
    vgr_->clearCellEntries();
}

void VCalendar::setListing(std::vector<DateTime> bounds, std::vector<std::int64_t> totals,
                           int perCell) {
    listedBounds_ = std::move(bounds);
    listedTotals_ = std::move(totals);
    listedPerCell_ = std::max(0, perCell);
    if (listedTotals_.size() + 1 != listedBounds_.size()) {
        listedBounds_.clear();
        listedTotals_.clear();
    }
    rebuild();
}

void VCalendar::clear() {
    releaseCellEntries();
    entries_.clear();
    listedBounds_.clear();
    listedTotals_.clear();
    listedPerCell_ = 0;
    // Entries still held elsewhere keep their old pool.
    pool_ = std::make_shared<Pool>();
    pool_->context = context_;
    rebuild();
}

void VCalendar::reserveEntries(int n) {
    if (n <= 0) return;
    releaseCellEntries();
    entries_.reserve(entries_.size() + static_cast<std::size_t>(n));
}

void VCalendar::addEntry(DateTime startDate, DateTime endDate, const QString& text,
                         const QString& key, std::int32_t color, std::shared_ptr<VGridObject> obj) {
    if (entries_.size() == entries_.capacity()) releaseCellEntries();
    VCalendarEntry& e = pool_->add();
    e.startDate = startDate;
    e.endDate = endDate;
    e.obj = std::move(obj);
    e.text = text;
    e.context = context_.get();
    // The shown text (prefix and text) is made when the entry is drawn: a
    // month of many alarms has far more entries than cells show.
    entries_.push_back(
        VGridCellEntry{key, QString(), color, std::shared_ptr<VGridObject>(pool_, &e)});
    rebuild();
}

std::shared_ptr<VCalendarEntry> VCalendar::getSelectedEntry() const {
    const VGridCellEntry* e = vgr_->getSelectedCellEntry();
    return e ? std::dynamic_pointer_cast<VCalendarEntry>(e->obj) : nullptr;
}

std::shared_ptr<VPeriod> VCalendar::getSelectedEntryPeriod() const {
    auto e = getSelectedEntry();
    return e ? VPeriod::createPeriod(e->startDate, e->endDate) : nullptr;
}

std::shared_ptr<VPeriod> VCalendar::getSelectedPeriod() const {
    const VGridCell* c = const_cast<VGrid*>(vgr_)->getSelectedCell();
    if (!c || !c->HeaderEntry()) return nullptr;
    return std::dynamic_pointer_cast<VPeriod>(c->HeaderEntry()->obj);
}

void VCalendar::Refresh() { rebuild(); }

// ---------------------------------------------------------------- scrolling

int VCalendar::presentSubUnit() const {
    const Units u = unitsOf(scopeUnit_);
    if (u.line < 0) return 0;
    const DateTime now = clock_();
    const DateTime base = getBaseDate(firstDate_);
    if (now >= base && now < addToDate(base, lines_, u.line)) {
        DateTime lineStart = base;
        for (int i = 1; i < lines_ && addToDate(base, i, u.line) <= now; ++i)
            lineStart = addToDate(base, i, u.line);
        for (int j = 1; j < subs_; ++j)
            if (addToDate(lineStart, j, u.sub) > now) return j - 1;
        return subs_ - 1;
    }
    return scopeUnit_ == kDays ? kWorkdayStartHour : 0;
}

void VCalendar::scrollToPresent() {
    presentPending_ = false;
    presentSub_ = presentSubUnit();
    applyPresentScroll();
}

void VCalendar::applyPresentScroll() {
    if (presentSub_ < 0 || lockRefresh_ || subs_ <= 0) return;
    const int inView = unitLineDirection_ == 1 ? vgr_->rowsInView() : vgr_->NrOfColsShown();
    // The hours of a day and the minutes of an hour start at the present; days
    // and months scroll only as far as needed to show it. Never further than
    // the last sub-units filling the view.
    const bool timeOfDay = scopeUnit_ == kDays || scopeUnit_ == kHours;
    int first = timeOfDay ? presentSub_ : std::max(0, presentSub_ - inView + 1);
    first = std::min(first, std::max(0, subs_ - inView));
    if (unitLineDirection_ == 1)
        vgr_->setRowOffset(first);
    else
        vgr_->setColOffset(first);
}

void VCalendar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Cells that now show more than was listed for them.
    if (listedPerCell_ > 0 && cellCapacity() > listedPerCell_) emit CapacityGrown();
    // The grid has its new size already: as many rows in view as fit now.
    applyPresentScroll();
}

void VCalendar::rebuild() {
    if (lockRefresh_) return;
    const Units u = unitsOf(scopeUnit_);
    vgr_->setLockRefresh(true);
    vgr_->clearCells();
    cellsReferToEntries_ = false;
    vgr_->setIntervalBarBreadth(intervalBarWidth_);
    if (u.line < 0) {
        lines_ = subs_ = 0;
        bounds_.clear();
        vgr_->setNrOfCols(1);
        vgr_->setNrOfRows(1);
        vgr_->setLockRefresh(false);
        return;
    }
    const DateTime base = getBaseDate(firstDate_);
    lines_ = std::max(1, linesFor(scopeLength_));
    subs_ = u.subsPerLine;
    const int shownLines = std::clamp(linesFor(shownScopeLength_), 1, lines_);
    const int shownSubs = std::min(shownScopeBreadth_, subs_);

    // Captions first: they decide the header sizes.
    std::vector<QString> lineCaptions, subCaptions;
    for (int i = 0; i < lines_; ++i)
        lineCaptions.push_back(format(addToDate(base, i, u.line), lineHeaderFormat_));
    for (int j = 0; j < subs_; ++j)
        subCaptions.push_back(format(addToDate(base, j, u.sub), secondaryHeaderFormat_));
    const QFontMetrics fm = vgr_->fontMetrics();
    int leftWidth = 0;
    for (const QString& s : unitLineDirection_ == 1 ? subCaptions : lineCaptions)
        leftWidth = std::max(leftWidth, fm.horizontalAdvance(s));
    vgr_->setTopHeaderHeight(fm.height() + 6);
    vgr_->setLeftHeaderWidth(leftWidth + 10);

    if (unitLineDirection_ == 1) {
        vgr_->setNrOfCols(lines_ + 1);
        vgr_->setNrOfRows(subs_ + 1);
        vgr_->setNrOfColsShown(shownLines);
        vgr_->setNrOfRowsShown(shownSubs);
        vgr_->setIntervalBarVertical(false);
    } else {
        vgr_->setNrOfRows(lines_ + 1);
        vgr_->setNrOfCols(subs_ + 1);
        vgr_->setNrOfRowsShown(shownLines);
        vgr_->setNrOfColsShown(shownSubs);
        vgr_->setIntervalBarVertical(true);
    }
    for (int i = 0; i < lines_; ++i) {
        const QPoint p = unitLineDirection_ == 1 ? QPoint(i + 1, 0) : QPoint(0, i + 1);
        vgr_->setHeader(p.x(), p.y(), lineCaptions[static_cast<size_t>(i)], kSysWindowText);
    }
    for (int j = 0; j < subs_; ++j) {
        const QPoint p = unitLineDirection_ == 1 ? QPoint(0, j + 1) : QPoint(j + 1, 0);
        vgr_->setHeader(p.x(), p.y(), subCaptions[static_cast<size_t>(j)], kSysWindowText);
    }

    // Cells in time order: line by line, sub-unit by sub-unit.
    const DateTime now = clock_();
    std::vector<VPeriod> periods;
    periods.reserve(static_cast<size_t>(lines_) * subs_);
    bounds_.clear();
    for (int i = 0; i < lines_; ++i) {
        const DateTime lineStart = addToDate(base, i, u.line);
        for (int j = 0; j < subs_; ++j) {
            const DateTime s = addToDate(lineStart, j, u.sub);
            const DateTime e = addToDate(s, 1, u.sub);
            periods.emplace_back(s, e);
            const QPoint p = cellOf(i, j);
            VGridCell* c = vgr_->cell(p.x(), p.y());
            c->setHeader(QString(), format(s, cellHeaderFormat_), kSysWindowText,
                         VPeriod::createPeriod(s, e));
            c->BackColor = background(s, e, now);
        }
    }

    // Each entry into every cell it overlaps (cell ends exclusive; an entry
    // without length belongs to the cell it starts in). The cells are counted
    // out first so each cell's lists grow once.
    auto overlapped = [&](const VGridCellEntry& ge, auto&& visit) {
        const auto& ce = static_cast<const VCalendarEntry&>(*ge.obj);
        const DateTime s = ce.startDate;
        const DateTime e = std::max(ce.startDate, ce.endDate);
        auto it = std::upper_bound(periods.begin(), periods.end(), s,
                                   [](DateTime t, const VPeriod& p) { return t < p.endDate; });
        for (; it != periods.end(); ++it) {
            if (s == e ? it->startDate > s : it->startDate >= e) break;
            visit(it, s, e);
        }
    };
    bounds_.reserve(periods.size() + 1);
    for (const VPeriod& p : periods) bounds_.push_back(p.startDate);
    if (!periods.empty()) bounds_.push_back(periods.back().endDate);
    // Listed for these very cells: a cell holds what it can show and counts
    // the rest; else it holds every entry that overlaps it.
    const bool listedHere = listedPerCell_ > 0 && listedBounds_ == bounds_;
    const int perCell = listedHere ? listedPerCell_ : 0;
    std::vector<int> counts(periods.size(), 0);
    for (const VGridCellEntry& ge : entries_)
        overlapped(ge, [&](auto it, DateTime, DateTime) { ++counts[it - periods.begin()]; });
    std::vector<int> held(periods.size(), 0);
    for (size_t k = 0; k < periods.size(); ++k) {
        const QPoint p = cellOf(static_cast<int>(k) / subs_, static_cast<int>(k) % subs_);
        vgr_->cell(p.x(), p.y())->reserve(perCell > 0 ? std::min(counts[k], perCell) : counts[k]);
    }
    for (const VGridCellEntry& ge : entries_) {
        overlapped(ge, [&](auto it, DateTime s, DateTime e) {
            const auto k = static_cast<int>(it - periods.begin());
            if (perCell > 0 && held[static_cast<size_t>(k)] >= perCell) return;
            ++held[static_cast<size_t>(k)];
            const QPoint p = cellOf(k / subs_, k % subs_);
            VGridCell* c = vgr_->cell(p.x(), p.y());
            c->addEntryRef(ge);
            const double len = static_cast<double>(it->endDate.seconds() - it->startDate.seconds());
            const double a = (s.seconds() - it->startDate.seconds()) / len;
            const double b = (e.seconds() - it->startDate.seconds()) / len;
            c->addNewInterval(static_cast<float>(std::clamp(a, 0.0, 1.0)),
                              static_cast<float>(std::clamp(b, 0.0, 1.0)), ge.Color);
        });
    }
    for (size_t k = 0; k < periods.size(); ++k) {
        const std::int64_t all =
            listedHere ? std::max<std::int64_t>(listedTotals_[k], counts[k]) : counts[k];
        const QPoint p = cellOf(static_cast<int>(k) / subs_, static_cast<int>(k) % subs_);
        vgr_->cell(p.x(), p.y())->setHiddenCount(all - held[k]);
    }
    cellsReferToEntries_ = !entries_.empty();
    // A cell with a date caption needs its line above the first entry.
    vgr_->setMinimumCellLines(cellHeaderFormat_.empty() ? 1 : 2);
    vgr_->setLockRefresh(false);
    if (presentPending_)
        scrollToPresent();
    else
        applyPresentScroll();
}

}  // namespace qv

#include "ui/quorvanecalendar.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "base/dateformat.h"
#include "base/files.h"
#include "core/program.h"
#include "model/texts.h"
#include "presentation/qtstrings.h"
#include "ui/frmdatetime.h"

namespace qv {
namespace {

constexpr const char* kSection = "QuorvaneCalendar";

// Numbered texts of this control.
enum Text {
    kImportanceTip = 51,
    kButtonTipBase = 60,  // + the button's key number
    kUnitItemBase = 80,   // + the scope-unit menu item (1 hours .. 5 years)
    kLabelMinutes = 31,   // formats of the selected-date label by cell length
    kLabelHours = 32,
    kLabelDays = 33,
    kLabelMonths = 34,
    kExportFailed = 41,
    kNoBrowser = 42,
    kMoreToolTip = 91,  // the "+N" line of a full cell
};

// The scope-unit menu's items, in order.
constexpr std::array<int, 5> kMenuUnits{kHours, kDays, kWeeks, kMonths, kYears};

// What the calendar keeps behind an entry: the alarm, which gives its tooltip.
class AlarmEntryObject : public VGridObject {
  public:
    AlarmEntryObject(AlarmPtr a, ModelContext& ctx) : alarm(std::move(a)), ctx_(ctx) {}
    QString getToolTip() const override { return alarm ? qs(alarm->getToolTip(ctx_)) : QString(); }
    AlarmPtr alarm;

  private:
    ModelContext& ctx_;
};

// The sub-unit of a scope unit: the length of one cell.
int subUnitOf(int scopeUnit) {
    switch (scopeUnit) {
        case kHours:
            return kMinutes;
        case kDays:
            return kHours;
        case kYears:
            return kMonths;
        default:
            return kDays;
    }
}

int subUnitsPerLine(int scopeUnit) {
    switch (scopeUnit) {
        case kHours:
            return 60;
        case kDays:
            return 24;
        case kYears:
            return 12;
        default:
            return 7;
    }
}

// The first sub-unit boundary after `now`.
DateTime nextBoundary(DateTime now, int subUnit) {
    DateTime start;
    switch (subUnit) {
        case kMinutes:
            start = DateTime(now.seconds() - now.second());
            break;
        case kHours:
            start = DateTime::fromParts(now.year(), now.month(), now.day(), now.hour());
            break;
        case kMonths:
            start = DateTime::fromParts(now.year(), now.month(), 1);
            break;
        default:
            start = now.date();
            break;
    }
    return addToDate(start, 1, subUnit);
}

}  // namespace

QuorvaneCalendar::QuorvaneCalendar(Program& program, QWidget* parent)
    : QWidget(parent), p_(program), clock_([&program] { return program.now(); }) {
    setObjectName(QStringLiteral("calview"));
    // The program's day and month names; they live as long as the program.
    names_ = std::shared_ptr<const DateNames>(&p_.ports.dateNames, [](const DateNames*) {});
    lblHorDiv_ = new QSplitter(Qt::Vertical, this);
    lblHorDiv_->setObjectName(QStringLiteral("lblHorDiv"));
    lblHorDiv_->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblHorDiv_);
    for (int view = 0; view < 2; ++view) buildView(view);
    connect(lblHorDiv_, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = lblHorDiv_->sizes();
        if (!sizes.isEmpty()) horDivY_ = static_cast<float>(std::round(sizes[0] / pixelsPerTwip()));
    });

    // The upper view shows a month, the lower four days, until the settings say otherwise.
    const DateTime now = clock_();
    vcal_[0]->setLockRefresh(true);
    vcal_[0]->setScopeUnit(kMonths);
    vcal_[0]->setFirstDate(now);
    vcal_[1]->setLockRefresh(true);
    vcal_[1]->setScopeUnit(kDays);
    vcal_[1]->setFirstDate(now);
    for (int view = 0; view < 2; ++view) {
        cmbImportance_[idx(view)]->setCurrentIndex(view + 2);
        vcal_[idx(view)]->setLockRefresh(false);
        vcal_[idx(view)]->Refresh();
        updateDirectionIcons(view);
    }

    // Wakes the automatic update when something can have changed: a view left
    // alone long enough, or the present moving into the next cell.
    autoTimer_ = new QTimer(this);
    autoTimer_->setSingleShot(true);
    connect(autoTimer_, &QTimer::timeout, this, [this] { autoUpdate(); });
    translate();
}

QuorvaneCalendar::~QuorvaneCalendar() {
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

void QuorvaneCalendar::buildView(int view) {
    const std::size_t i = idx(view);
    auto* frame = new QFrame(lblHorDiv_);
    frame->setObjectName(QStringLiteral("fraCal(%1)").arg(view));
    fraCal_[i] = frame;

    auto* tlb = new QToolBar(frame);
    tlb->setObjectName(QStringLiteral("tlbCal(%1)").arg(view));
    tlb->setIconSize(QSize(20, 20));
    tlbCal_[i] = tlb;
    auto add = [&](int key, const char* iconName) {
        QAction* a = tlb->addAction(icon(iconName), QString());
        a->setObjectName(QStringLiteral("k%1").arg(key));
        connect(a, &QAction::triggered, this, [this, view, key] { toolbarAction(view, key); });
        return a;
    };
    add(1, "cal-previous");
    add(2, "cal-choose-date");
    add(3, "cal-next");
    tlb->addSeparator();
    // The scope unit: a button with its menu.
    auto* unitMenu = new QMenu(tlb);
    unitMenu->setObjectName(QStringLiteral("mnuScopeUnit(%1)").arg(view));
    for (int item = 1; item <= 5; ++item) {
        QAction* a = unitMenu->addAction(QString());
        a->setObjectName(QStringLiteral("mnuScopeUnitItem(%1)").arg(item));
        const int unit = kMenuUnits[static_cast<std::size_t>(item - 1)];
        connect(a, &QAction::triggered, this, [this, view, unit] {
            touch(view);
            setScopeUnit(view, unit);
            changed(view);
        });
    }
    QAction* unitAction = add(11, "cal-scope-unit");
    unitAction->setMenu(unitMenu);
    scopeUnitButton_[i] = qobject_cast<QToolButton*>(tlb->widgetForAction(unitAction));
    if (scopeUnitButton_[i]) scopeUnitButton_[i]->setPopupMode(QToolButton::InstantPopup);
    add(4, "cal-scope-shorter");
    add(5, "cal-scope-longer");
    add(6, "cal-shown-fewer");
    add(7, "cal-shown-more");
    add(8, "cal-breadth-fewer");
    add(9, "cal-breadth-more");
    add(10, "cal-lines-as-columns");
    tlb->addSeparator();
    add(12, "cal-export");

    auto* lblImp = new QLabel(frame);
    lblImp->setObjectName(QStringLiteral("lblImportance(%1)").arg(view));
    lblImp->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    lblImportance_[i] = lblImp;
    auto* cmb = new QComboBox(frame);
    cmb->setObjectName(QStringLiteral("cmbImportance(%1)").arg(view));
    for (int k = 0; k < 6; ++k) cmb->addItem(QString());
    // As wide as its longest item in either language: the filter is never cut.
    cmb->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmb->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    lblImp->setBuddy(cmb);
    cmbImportance_[i] = cmb;
    connect(cmb, &QComboBox::activated, this, [this, view] {
        touch(view);
        changed(view);
    });
    auto* lblDate = new QLabel(frame);
    lblDate->setObjectName(QStringLiteral("lblSelectedDate(%1)").arg(view));
    lblDate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Its own line when the toolbar row has no room for it; only a window
    // narrower than the date cuts it.
    lblDate->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    lblDate->setMinimumWidth(40);
    lblSelectedDate_[i] = lblDate;
    // The toolbar shrinks before the filter does, its last buttons going to
    // its extension menu.
    tlb->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    auto* cal = new VCalendar(frame);
    cal->setObjectName(QStringLiteral("vcal(%1)").arg(view));
    cal->setDateNames(names_);
    cal->setClock([this] { return clock_(); });
    vcal_[i] = cal;
    connect(cal, &VCalendar::Click, this, [this, view] {
        touch(view);
        emit Click(view);
    });
    connect(cal, &VCalendar::DblClick, this, [this, view] {
        touch(view);
        emit DblClick(view);
    });
    connect(cal, &VCalendar::OverflowDblClick, this, [this, view](const VPeriod& period) {
        touch(view);
        showPeriodBelow(period);
    });
    // Larger cells show more than was listed for them: listed again.
    connect(cal, &VCalendar::CapacityGrown, this, [this, view] { emit ScopeChanged(view); });
    connect(cal, &VCalendar::SelectionChange, this, [this, view] {
        touch(view);
        updateSelectedDateLabel(view);
    });
    cal->Grid()->installEventFilter(this);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(tlb);
    bar->addSpacing(6);
    bar->addWidget(lblImp);
    bar->addWidget(cmb);
    bar->addSpacing(12);
    bar->addWidget(lblDate, 1);
    barRow_[i] = bar;
    auto* dateRow = new QHBoxLayout;
    dateRow->setContentsMargins(4, 0, 0, 0);
    dateRow_[i] = dateRow;
    auto* v = new QVBoxLayout(frame);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    v->addLayout(bar);
    v->addLayout(dateRow);
    v->addWidget(cal, 1);
    lblHorDiv_->addWidget(frame);
}

QIcon QuorvaneCalendar::icon(const char* name) const {
    const QString path = qs(p_.folders.shippedFile(std::string("icons/") + name + ".svg"));
    return QFileInfo(path).isFile() ? QIcon(path) : QIcon();
}

QString QuorvaneCalendar::text(int number) const {
    return qs(p_.translation.getText(kSection, number));
}

QAction* QuorvaneCalendar::button(int view, const char* key) const {
    return tlbCal_[idx(view)]->findChild<QAction*>(QString::fromLatin1(key),
                                                   Qt::FindDirectChildrenOnly);
}

// ---- The views' properties ----------------------------------------------------------

DateTime QuorvaneCalendar::getFirstDate(int view) const {
    return vcal_[idx(view)]->getFirstDateShown();
}

DateTime QuorvaneCalendar::getLastDate(int view) const {
    return vcal_[idx(view)]->getLastDateShown();
}

int QuorvaneCalendar::getMinImportance(int view) const {
    return 3 - std::max(0, cmbImportance_[idx(view)]->currentIndex());
}

std::vector<DateTime> QuorvaneCalendar::cellBounds(int view) const {
    return vcal_[idx(view)]->cellBounds();
}

int QuorvaneCalendar::cellCapacity(int view) const { return vcal_[idx(view)]->cellCapacity(); }

void QuorvaneCalendar::clear(int view) { vcal_[idx(view)]->clear(); }

void QuorvaneCalendar::addAlarms(int view, const std::vector<AlarmPtr>& alarms,
                                 const std::vector<DateTime>& startDates,
                                 const std::vector<DateTime>& endDates) {
    CalendarOccurrences occ;
    std::unordered_map<const Alarm*, std::uint32_t> place;
    const std::size_t n = std::min({alarms.size(), startDates.size(), endDates.size()});
    for (std::size_t k = 0; k < n; ++k) {
        if (!alarms[k]) continue;
        auto [it, added] = place.try_emplace(alarms[k].get(), occ.alarms.size());
        if (added) occ.alarms.push_back(alarms[k]);
        occ.items.push_back({startDates[k], endDates[k], it->second});
    }
    addAlarms(view, occ);
}

void QuorvaneCalendar::addAlarms(int view, const CalendarOccurrences& occurrences) {
    VCalendar* cal = vcal_[idx(view)];
    cal->setLockRefresh(true);
    // An alarm's occurrences share one object, one text and one colour.
    struct PerAlarm {
        std::shared_ptr<AlarmEntryObject> obj;
        QString name;
        std::int32_t colour = 0;
    };
    std::vector<PerAlarm> per;
    per.reserve(occurrences.alarms.size());
    for (const AlarmPtr& a : occurrences.alarms) {
        const auto g = a->parentGroup();
        per.push_back(
            {std::make_shared<AlarmEntryObject>(a, p_.ctx), qs(a->name), g ? g->Color : 0});
    }
    cal->reserveEntries(static_cast<int>(occurrences.items.size()));
    for (const CalendarOccurrences::Item& o : occurrences.items) {
        if (o.alarm >= per.size()) continue;
        const PerAlarm& a = per[o.alarm];
        cal->addEntry(o.start, o.end, a.name, QString(), a.colour, a.obj);
    }
    if (!occurrences.cellBounds.empty())
        cal->setListing(occurrences.cellBounds, occurrences.cellTotals, occurrences.perCell);
    updateSelectedDateLabel(view);
    cal->setLockRefresh(false);
    cal->Refresh();
}

std::shared_ptr<VPeriod> QuorvaneCalendar::getSelectedPeriod(int view) const {
    return vcal_[idx(view)]->getSelectedPeriod();
}

std::shared_ptr<VPeriod> QuorvaneCalendar::getSelectedEntryPeriod(int view) const {
    return vcal_[idx(view)]->getSelectedEntryPeriod();
}

bool QuorvaneCalendar::isAlarmSelected(int view) const { return !getSelectedAlarms(view).empty(); }

std::vector<AlarmPtr> QuorvaneCalendar::getSelectedAlarms(int view) const {
    const auto entry = vcal_[idx(view)]->getSelectedEntry();
    if (!entry) return {};
    const auto* o = dynamic_cast<const AlarmEntryObject*>(entry->obj.get());
    if (!o || !o->alarm) return {};
    return {o->alarm};
}

// ---- The toolbar ------------------------------------------------------------------------

void QuorvaneCalendar::toolbarAction(int view, int key) {
    VCalendar* cal = vcal_[idx(view)];
    touch(view);
    const int subs = subUnitsPerLine(cal->ScopeUnit());
    switch (key) {
        case 1:
            cal->moveFirstDate(-1);
            break;
        case 2: {
            DateTime moment = cal->FirstDate();
            QWidget* at = tlbCal_[idx(view)]->widgetForAction(button(view, "k2"));
            const QPoint near = at ? at->mapToGlobal(QPoint(0, at->height())) : QCursor::pos();
            if (!frmDateTime::pick(this, p_.translation, p_.ports.dateNames, near, moment,
                                   p_.settings.df.ti == 1))
                return;
            cal->setFirstDate(moment);
            break;
        }
        case 3:
            cal->moveFirstDate(1);
            break;
        case 4:
        case 5:
            cal->setScopeLength(std::clamp(cal->ScopeLength() + (key == 4 ? -1 : 1), 1, 12));
            break;
        case 6:
        case 7:
            cal->setShownScopeLength(
                std::clamp(cal->ShownScopeLength() + (key == 6 ? -1 : 1), 1, 12));
            break;
        case 8:
        case 9:
            cal->setShownScopeBreadth(
                std::clamp(cal->ShownScopeBreadth() + (key == 8 ? -1 : 1), 1, subs));
            break;
        case 10:
            cal->setUnitLineDirection(cal->UnitLineDirection() == 1 ? 0 : 1);
            updateDirectionIcons(view);
            break;
        case 11:
            // The button only opens its menu.
            if (scopeUnitButton_[idx(view)]) scopeUnitButton_[idx(view)]->showMenu();
            return;
        case 12:
            exportView(view);
            break;
        default:
            return;
    }
    changed(view);
}

void QuorvaneCalendar::setScopeUnit(int view, int unit) {
    VCalendar* cal = vcal_[idx(view)];
    cal->setLockRefresh(true);
    cal->setScopeUnit(unit);
    cal->setLockRefresh(false);
    cal->Refresh();
}

void QuorvaneCalendar::showPeriodBelow(const VPeriod& period) {
    constexpr int kLower = 1;
    const std::int64_t length = period.endDate.seconds() - period.startDate.seconds();
    const int unit = length > 3600 ? kDays : kHours;
    VCalendar* cal = vcal_[idx(kLower)];
    touch(kLower);
    if (cal->ScopeUnit() != unit) setScopeUnit(kLower, unit);
    cal->setFirstDate(period.startDate);
    cal->scrollToPresent();
    changed(kLower);
}

void QuorvaneCalendar::updateDirectionIcons(int view) {
    // The button shows the direction the next press gives.
    QAction* a = button(view, "k10");
    if (!a) return;
    a->setIcon(icon(vcal_[idx(view)]->UnitLineDirection() == 1 ? "cal-lines-as-rows"
                                                               : "cal-lines-as-columns"));
}

void QuorvaneCalendar::updateSelectedDateLabel(int view) {
    QLabel* label = lblSelectedDate_[idx(view)];
    const VCalendar* cal = vcal_[idx(view)];
    const auto period = cal->getSelectedPeriod();
    const int sub = subUnitOf(cal->ScopeUnit());
    if (!period) {
        // Nothing chosen yet: the days the view covers.
        std::string f = p_.translation.getText(kSection, kLabelDays);
        if (f.empty()) f = "dddd d mmmm yyyy";
        const DateTime last(cal->getLastDateShown().seconds() - 1);
        label->setText(qs(formatDate(cal->getFirstDateShown(), f, *names_)) +
                       QStringLiteral(" - ") + qs(formatDate(last, f, *names_)));
        arrangeBar(view);
        return;
    }
    const int format = sub == kMinutes  ? kLabelMinutes
                       : sub == kHours  ? kLabelHours
                       : sub == kMonths ? kLabelMonths
                                        : kLabelDays;
    std::string f = p_.translation.getText(kSection, format);
    if (f.empty()) f = "dddd d mmmm yyyy";
    QString t = qs(formatDate(period->startDate, f, *names_));
    if (sub == kHours)
        t += QStringLiteral(" - ") + qs(formatDate(period->endDate, "hh:nn", *names_));
    label->setText(t);
    arrangeBar(view);
}

void QuorvaneCalendar::arrangeBar(int view) {
    const std::size_t i = idx(view);
    QLabel* date = lblSelectedDate_[i];
    QHBoxLayout* bar = barRow_[i];
    if (!date || !bar) return;
    const int room = fraCal_[i]->width() > 0 ? fraCal_[i]->width() : width();
    const int gaps = bar->spacing() > 0 ? bar->spacing() : 6;
    const int needed = tlbCal_[i]->sizeHint().width() + 6 + lblImportance_[i]->sizeHint().width() +
                       cmbImportance_[i]->sizeHint().width() + 12 + date->sizeHint().width() +
                       4 * gaps;
    const bool inBar = bar->indexOf(date) >= 0;
    const bool fits = needed <= room;
    if (fits == inBar) return;
    if (fits) {
        dateRow_[i]->removeWidget(date);
        bar->addWidget(date, 1);
    } else {
        bar->removeWidget(date);
        dateRow_[i]->addWidget(date, 1);
    }
}

void QuorvaneCalendar::touch(int view) { lastUse_[idx(view)] = clock_(); }

void QuorvaneCalendar::changed(int view) {
    updateSelectedDateLabel(view);
    emit ScopeChanged(view);
    scheduleAutoUpdate();
}

// ---- Settings ----------------------------------------------------------------------------

XMLNodePtr QuorvaneCalendar::getSettings() const {
    XMLNodePtr node = XMLNode::Create("calview");
    for (int view = 0; view < 2; ++view) {
        const VCalendar* cal = vcal_[idx(view)];
        XMLNodePtr v = XMLNode::Create("view");
        v->addDate("firstdate", cal->FirstDate());
        v->addLong("scopeunit", cal->ScopeUnit());
        v->addLong("scopelength", cal->ScopeLength());
        v->addLong("shownscopelength", cal->ShownScopeLength());
        v->addLong("shownscopebreadth", cal->ShownScopeBreadth());
        v->addLong("linedirection", cal->UnitLineDirection());
        v->addInteger("minimportance",
                      static_cast<std::int16_t>(cmbImportance_[idx(view)]->currentIndex()));
        v->addInteger("coloffset", static_cast<std::int16_t>(cal->Grid()->ColOffset()));
        v->addInteger("rowoffset", static_cast<std::int16_t>(cal->Grid()->RowOffset()));
        node->addNode(v);
    }
    node->addSingle("hordivy", horDivY());
    return node;
}

void QuorvaneCalendar::setSettings(const XMLNode& node) {
    const DateTime now = clock_();
    for (int view = 0; view < 2; ++view) {
        VCalendar* cal = vcal_[idx(view)];
        const XMLNodePtr v = node.getNode("view", view, "<view></view>");
        cal->setLockRefresh(true);
        // Values from the file are taken only within what a view can show.
        const int unit = v->getLong("scopeunit", 0, cal->ScopeUnit());
        if (unit >= kHours && unit <= kWeeks) cal->setScopeUnit(unit);
        const int subs = subUnitsPerLine(cal->ScopeUnit());
        cal->setFirstDate(v->getDate("firstdate", 0, now));
        cal->setScopeLength(
            std::clamp<int>(v->getLong("scopelength", 0, cal->ScopeLength()), 1, 12));
        cal->setShownScopeLength(
            std::clamp<int>(v->getLong("shownscopelength", 0, cal->ShownScopeLength()), 1, 12));
        cal->setShownScopeBreadth(
            std::clamp<int>(v->getLong("shownscopebreadth", 0, cal->ShownScopeBreadth()), 1, subs));
        cal->setUnitLineDirection(
            v->getLong("linedirection", 0, cal->UnitLineDirection()) == 0 ? 0 : 1);
        const int position = v->getInteger("minimportance", 0, static_cast<std::int16_t>(view + 2));
        cmbImportance_[idx(view)]->setCurrentIndex(std::clamp(position, 0, 5));
        cal->setLockRefresh(false);
        cal->Refresh();
        // The stored scroll places are not taken: a view opens at the present.
        cal->scrollToPresent();
        updateDirectionIcons(view);
        updateSelectedDateLabel(view);
    }
    const float y = node.getSingle("hordivy", 0, kDefaultHorDivY);
    horDivY_ = std::isfinite(y) && y >= 0 ? std::min(y, 1.0e6f) : kDefaultHorDivY;
    applyHorDivY();
    emit ScopeChanged(0);
    emit ScopeChanged(1);
    scheduleAutoUpdate();
}

void QuorvaneCalendar::resetWindowSize() {
    horDivY_ = kDefaultHorDivY;
    applyHorDivY();
    emit ScopeChanged(0);
    emit ScopeChanged(1);
}

float QuorvaneCalendar::horDivY() const { return horDivY_; }

double QuorvaneCalendar::pixelsPerTwip() const {
    const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return dpi / 1440.0;
}

void QuorvaneCalendar::applyHorDivY() {
    const QList<int> sizes = lblHorDiv_->sizes();
    int total = 0;
    for (int s : sizes) total += s;
    const int want = static_cast<int>(std::round(horDivY_ * pixelsPerTwip()));
    if (total <= 0) total = std::max(height(), want + 100);
    // Each view keeps room for its toolbar, its headers and a line of cells,
    // wherever the stored divider lies and however small the window is.
    constexpr int kRoom = 110;
    // The lower view (four days, the hours of a day) keeps room for eight rows
    // as long as the upper one keeps half: a small window shows working hours.
    const int lowerRoom = std::max(kRoom, 80 + 8 * (fontMetrics().height() + 2));
    const int first =
        std::clamp(want, std::min(kRoom, total / 2), std::max(total - lowerRoom, total / 2));
    const QSignalBlocker block(lblHorDiv_);
    lblHorDiv_->setSizes({first, total - first});
}

void QuorvaneCalendar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyHorDivY();
    for (int view = 0; view < 2; ++view) arrangeBar(view);
}

// ---- Look and language -------------------------------------------------------------------

void QuorvaneCalendar::translate() {
    const std::string section = kSection;
    auto key = [&](const QString& k, const QString& current) {
        return qs(p_.translation.readKey(section, ss(k), ss(current)));
    };
    for (int view = 0; view < 2; ++view) {
        const std::size_t i = idx(view);
        lblImportance_[i]->setText(
            key(QStringLiteral("lblImportance"), QStringLiteral("&Importance:")));
        const QString tip = text(kImportanceTip);
        lblImportance_[i]->setToolTip(tip);
        cmbImportance_[i]->setToolTip(tip);
        for (int k = 0; k < 6; ++k) cmbImportance_[i]->setItemText(k, text(k));
        for (int b = 1; b <= 12; ++b) {
            if (QAction* a = button(view, ("k" + std::to_string(b)).c_str())) {
                a->setToolTip(text(kButtonTipBase + b));
                a->setText(text(kButtonTipBase + b));
            }
        }
        if (QAction* unit = button(view, "k11"))
            if (QMenu* m = unit->menu())
                for (int item = 1; item <= 5; ++item)
                    if (auto* a = m->findChild<QAction*>(
                            QStringLiteral("mnuScopeUnitItem(%1)").arg(item)))
                        a->setText(text(kUnitItemBase + item));
        // The grid's tooltip for "+N" keeps its count as %1.
        vcal_[i]->Grid()->setOverflowToolTip(
            qs(texts::fill(p_.translation.getText(kSection, kMoreToolTip), {"%1"})));
        updateSelectedDateLabel(view);
    }
    applyProgramSettings();
}

void QuorvaneCalendar::applyProgramSettings() {
    for (VCalendar* cal : vcal_) {
        cal->setShowToolTips(p_.settings.stt);
        cal->setIntervalBarWidth(std::clamp<int>(p_.settings.ibw, 1, kMaxIntervalBarWidth));
    }
}

void QuorvaneCalendar::Refresh() {
    for (VCalendar* cal : vcal_) cal->Refresh();
}

void QuorvaneCalendar::setClock(std::function<DateTime()> clock) {
    clock_ = std::move(clock);
    for (VCalendar* cal : vcal_) cal->setClock([this] { return clock_(); });
}

// ---- Export ------------------------------------------------------------------------------

bool QuorvaneCalendar::exportView(int view) {
    const std::string folder = p_.folders.programFolder;
    const std::string page = folder + "/temp.html";
    // The page refers to the stylesheet beside it: one of the user's own in the
    // program folder wins, else the shipped one is put there.
    const std::string css = folder + "/vgrstyle.css";
    if (!fileExists(css)) {
        const std::string shipped = p_.folders.shippedFile("vgrstyle.css");
        if (shipped != css && fileExists(shipped)) (void)writeFile(css, readFile(shipped));
    }
    if (!writeFile(page, ss(vcal_[idx(view)]->toHtml()))) {
        p_.main.showMessageBox(texts::fill(p_.translation.getText(kSection, kExportFailed), {page}),
                               mb::kExclamation);
        return false;
    }
    if (!p_.commands.shellOpen(page, "", folder)) {
        // Written, but nothing on this desktop shows web pages: say where it is.
        p_.main.showMessageBox(texts::fill(p_.translation.getText(kSection, kNoBrowser), {page}),
                               mb::kExclamation);
        return false;
    }
    return true;
}

// ---- Automatic update ----------------------------------------------------------------------

bool QuorvaneCalendar::autoUpdate() {
    const DateTime now = clock_();
    bool moved = false;
    for (int view = 0; view < 2; ++view) {
        VCalendar* cal = vcal_[idx(view)];
        const int unit = cal->ScopeUnit();
        if (unit < kHours || unit > kWeeks) continue;
        const std::int64_t idle = now.seconds() - lastUse_[idx(view)].seconds();
        if (p_.settings.auc && (idle >= 180 || idle < 0)) {
            // The present, with the chosen share of the scope before it.
            const auto back = static_cast<std::int64_t>(
                std::floor(cal->ScopeLength() * static_cast<double>(p_.settings.cao) / 100.0));
            const DateTime first = addToDate(now, -back, unit);
            if (cal->getBaseDate(first) != cal->getBaseDate(cal->FirstDate())) {
                cal->setFirstDate(first);
                cal->scrollToPresent();
                moved = true;
                changed(view);
                continue;
            }
        }
        // The present moved on into another cell: its shading follows (the
        // entries are laid out again, not listed again).
        if (presentCell_[idx(view)] != presentCellOf(view, now)) cal->Refresh();
        presentCell_[idx(view)] = presentCellOf(view, now);
    }
    scheduleAutoUpdate();
    return moved;
}

void QuorvaneCalendar::scheduleAutoUpdate() {
    if (!isVisible()) {
        autoTimer_->stop();
        nextCheck_ = kNever;
        return;
    }
    const DateTime now = clock_();
    DateTime next = kNever;
    for (int view = 0; view < 2; ++view) {
        const VCalendar* cal = vcal_[idx(view)];
        const int unit = cal->ScopeUnit();
        if (unit < kHours || unit > kWeeks) continue;
        presentCell_[idx(view)] = presentCellOf(view, now);
        // A view can only move, and the present only change cells, at a cell boundary.
        next = std::min(next, nextBoundary(now, subUnitOf(unit)));
        const DateTime idleFrom = DateTime(lastUse_[idx(view)].seconds() + 180);
        if (p_.settings.auc && now < idleFrom) next = std::min(next, idleFrom);
    }
    nextCheck_ = next;
    if (next == kNever) {
        autoTimer_->stop();
        return;
    }
    // At most an hour at a time: the wall clock may be set meanwhile.
    const std::int64_t ms =
        std::clamp<std::int64_t>((next.seconds() - now.seconds()) * 1000, 0, 3600 * 1000);
    autoTimer_->start(static_cast<int>(ms));
}

DateTime QuorvaneCalendar::presentCellOf(int view, DateTime now) const {
    // The start of the cell that holds the present (whether or not it is shown).
    const int sub = subUnitOf(vcal_[idx(view)]->ScopeUnit());
    return addToDate(nextBoundary(now, sub), -1, sub);
}

void QuorvaneCalendar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    applyHorDivY();
    autoUpdate();
}

void QuorvaneCalendar::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    autoTimer_->stop();
    nextCheck_ = kNever;
}

bool QuorvaneCalendar::eventFilter(QObject* watched, QEvent* event) {
    for (int view = 0; view < 2; ++view) {
        if (!vcal_[idx(view)] || watched != vcal_[idx(view)]->Grid()) continue;
        if (event->type() == QEvent::KeyPress) {
            const auto* k = static_cast<QKeyEvent*>(event);
            touch(view);
            emit KeyDown(view, k->key(), static_cast<int>(k->modifiers()));
        } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel) {
            touch(view);
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace qv

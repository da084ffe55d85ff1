// The alarm dialog's quick choice of the common repetitions, the help on
// expressions and the preview of the next moments under the expression.

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/dateformat.h"
#include "base/files.h"
#include "base/folders.h"
#include "controls/vnumberbox.h"
#include "core/program.h"
#include "model/clsadvanceddate.h"
#include "model/texts.h"
#include "presentation/qtstrings.h"
#include "ui/frmalarmproperties.h"
#include "ui/repetitionpicker.h"

namespace qv {
namespace {

constexpr int kKindTexts = 450;     // 450-454: the kinds of the list
constexpr int kOrdinalTexts = 455;  // 455-459: first to fourth, last
constexpr int kOneDayOnly = 460;
constexpr int kWeeksCaption = 461;
constexpr int kNextMoments = 462;
constexpr int kNoneMeets = 463;
constexpr int kNoMoment = 464;
constexpr int kUnreadable = 465;
constexpr int kHelpTip = 466;
constexpr int kRowUnreadable = 467;
constexpr int kHelpMissing = 39;  // of the main window
// How many coming moments the dialog shows.
constexpr int kPreviewMoments = 3;

}  // namespace

void frmAlarmProperties::buildRepetition() {
    repetitionPicker_ = new RepetitionPicker(this);
    connect(repetitionPicker_, &RepetitionPicker::edited, this, [this] { pickRepetition(); });
    cmdAdvancedHelp_ = new QPushButton(QStringLiteral("?"), this);
    cmdAdvancedHelp_->setObjectName(QStringLiteral("cmdAdvancedHelp"));
    cmdAdvancedHelp_->setAutoDefault(false);
    cmdAdvancedHelp_->setMaximumWidth(
        cmdAdvancedHelp_->fontMetrics().horizontalAdvance(QStringLiteral("???")) + 16);
    connect(cmdAdvancedHelp_, &QPushButton::clicked, this, [this] { openExpressionHelp(); });
    lblNextMoments_ = new QLabel(this);
    lblNextMoments_->setObjectName(QStringLiteral("lblNextMoments"));
    lblNextMoments_->setWordWrap(true);
    lblNextMoments_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void frmAlarmProperties::translateRepetition() {
    auto texts = [this](int first, int count) {
        QStringList out;
        for (int n = first; n < first + count; ++n) out << text(n);
        return out;
    };
    QStringList days, shortDays;
    for (int i = 0; i < 7; ++i) {
        days << qs(p_.translation.getString(11 + i));
        // 5 January 2003 was a Sunday.
        shortDays << qs(
            formatDate(DateTime::fromParts(2003, 1, 5 + i, 0, 0, 0), "ddd", p_.ports.dateNames));
    }
    repetitionPicker_->setTexts(texts(kKindTexts, 5), texts(kOrdinalTexts, 5), days, shortDays);
    cmdAdvancedHelp_->setToolTip(text(kHelpTip));
    // "1 week on", "3 weeks on": the unit follows the number.
    repetitionPicker_->setWeeksCaption([this](int n) {
        return text(kWeeksCaption)
            .replace(QStringLiteral("#1"), qs(p_.translation.getUnitName(kWeeks, n)));
    });
}

RepetitionTiming frmAlarmProperties::timingOfFields() const {
    RepetitionTiming t;
    t.everyAmount = std::max<std::int32_t>(1, vnbPeriodAmount_->value());
    t.everyUnit = static_cast<std::int16_t>(unitCodeAt(cmbPeriodUnit_->currentIndex()));
    const std::int16_t bits[3] = {Alarm::kRestrictDates, Alarm::kRestrictWeekdays,
                                  Alarm::kRestrictExpression};
    for (int i = 0; i < 3; ++i)
        if (chkActive_[static_cast<std::size_t>(i)]->checkState() == Qt::Checked)
            t.activePeriod = static_cast<std::int16_t>(t.activePeriod | bits[i]);
    for (int i = 0; i < 7; ++i)
        if (chkWeekday_[static_cast<std::size_t>(i)]->checkState() == Qt::Checked)
            t.weekDays = static_cast<std::int16_t>(t.weekDays | (1 << i));
    t.activeAdvanced = ss(txtAdvanced_->text());
    t.anchor = readRow(0).value_or(kNever);
    return t;
}

void frmAlarmProperties::showRepetition() {
    // Several alarms show a repetition only when they all have the same one.
    std::optional<Repetition> shared;
    bool same = true;
    for (const AlarmPtr& a : alarms_) {
        const Repetition r = readRepetition({a->everyAmount, a->everyUnit, a->activePeriod,
                                             a->weekDays, a->activeAdvanced, a->nextDate});
        if (shared && !(*shared == r)) same = false;
        shared = r;
    }
    if (alarms_.size() == 1 || !shared) {
        repetitionPicker_->setRepetition(readRepetition(timingOfFields()));
    } else {
        repetitionPicker_->setRepetition(same ? *shared : Repetition{}, !same);
    }
    showNextMoments();
}

void frmAlarmProperties::timingEdited() {
    if (picking_) return;
    // A field changed by hand: the list follows what the fields now say.
    repetitionPicker_->setRepetition(readRepetition(timingOfFields()));
    showNextMoments();
}

void frmAlarmProperties::pickRepetition() {
    Repetition r = repetitionPicker_->repetition();
    if (r.kind == RepetitionKind::kCustom) {
        showNextMoments();
        return;
    }
    RepetitionTiming t = timingOfFields();
    const Repetition held = readRepetition(t);
    const bool anchored = t.anchor < kGivenUp;
    if (r.kind == RepetitionKind::kNthWeekday && held.kind != RepetitionKind::kNthWeekday &&
        anchored) {
        // Just chosen: the anchor's weekday and its place in its month.
        r.weekday = t.anchor.weekday();
        r.ordinal = std::min<int>(Repetition::kLast, (t.anchor.day() - 1) / 7 + 1);
        repetitionPicker_->setRepetition(r);
    }
    if (r.kind == RepetitionKind::kWeekly && r.days == 0) {
        // Just chosen (or every day unticked): the days of a weekly
        // repetition the fields hold already, else the anchor's day.
        r.days = held.kind == RepetitionKind::kWeekly
                     ? held.days
                     : static_cast<std::int16_t>(anchored ? 1 << (t.anchor.weekday() - 1) : 1 << 1);
        if (r.weeks > 1 && (r.days & (r.days - 1)))
            r.days = static_cast<std::int16_t>(r.days & -r.days);
        repetitionPicker_->setRepetition(r);
    }
    if (!writeRepetition(r, t)) {
        // The fields keep the repetition they had; the line under them says why.
        lblNextMoments_->setText(text(kOneDayOnly));
        return;
    }
    picking_ = true;
    const bool wasFilling = filling_;
    filling_ = true;
    vnbPeriodAmount_->setValue(t.everyAmount);
    cmbPeriodUnit_->setCurrentIndex(positionOfUnit(t.everyUnit));
    auto check = [](QCheckBox* box, bool on) {
        box->setTristate(false);
        box->setChecked(on);
    };
    check(chkActive_[1], t.activePeriod & Alarm::kRestrictWeekdays);
    check(chkActive_[2], t.activePeriod & Alarm::kRestrictExpression);
    for (int i = 0; i < 7; ++i)
        check(chkWeekday_[static_cast<std::size_t>(i)], (t.weekDays >> i) & 1);
    if (ss(txtAdvanced_->text()) != t.activeAdvanced) txtAdvanced_->setText(qs(t.activeAdvanced));
    const bool anchorMoved = readRow(0) && *readRow(0) != t.anchor;
    if (anchorMoved) writeRow(0, t.anchor);
    filling_ = wasFilling;
    std::uint32_t fields =
        kPeriodAmount | kPeriodUnit | kInclude1 | kWeekdays | kInclude2 | kAdvanced;
    if (anchorMoved) fields |= kRow0;
    touch(fields);
    picking_ = false;
    updateVisibility();
    showNextMoments();
}

void frmAlarmProperties::showNextMoments() {
    if (alarms_.empty() || cmbAlarmMoment_->currentIndex() != 1) {
        lblNextMoments_->clear();
        return;
    }
    if (!readRow(0)) {
        lblNextMoments_->setText(text(kRowUnreadable));
        return;
    }
    // The first alarm as OK would leave it; a copy of it alone, as this runs
    // on every key typed.
    const AlarmPtr& first = alarms_.front();
    const AlarmPtr a = Alarm::createFromXML(*first->toXML("alrm"), first->parentGroup());
    applyFields(*a, fieldsToApply());
    std::vector<DateTime> moments;
    try {
        // A search that gives up (a restriction no checked moment meets) is
        // told apart from a repetition that has simply ended.
        if (a->hasNextAlarmDateAfter(p_.now(), false) && a->getNextAlarmDateAfter() >= kGivenUp) {
            lblNextMoments_->setText(text(kNoneMeets));
            return;
        }
        a->listMomentsAfter(p_.now(), kNever, false, moments, kPreviewMoments);
    } catch (const AdvancedDateError& e) {
        lblNextMoments_->setText(
            text(kUnreadable)
                .replace(QStringLiteral("#1"), text(100 + static_cast<int>(e.fault()))));
        return;
    }
    if (moments.empty()) {
        lblNextMoments_->setText(text(kNoMoment));
        return;
    }
    QStringList shown;
    for (const DateTime d : moments) {
        if (!(d < kGivenUp)) break;
        shown << qs(formatDate(d, "ddd ", p_.ports.dateNames) +
                    formatDate(d, p_.settings.df.ot, p_.ports.dateNames));
    }
    lblNextMoments_->setText(
        shown.isEmpty()
            ? text(kNoneMeets)
            : text(kNextMoments).replace(QStringLiteral("#1"), shown.join(QStringLiteral("; "))));
}

void frmAlarmProperties::openExpressionHelp() {
    const std::string file = p_.folders.shippedFile(helpPageName(
        p_.folders, p_.translation.readKey("Language", "id", "en"), "expressions.html"));
    if (fileExists(file) && p_.commands.shellOpen(file, "", "")) return;
    p_.main.showMessageBox(texts::fill(p_.translation.getMainText(kHelpMissing), {file}),
                           mb::kExclamation);
}

}  // namespace qv

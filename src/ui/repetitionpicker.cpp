#include "ui/repetitionpicker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>

#include "controls/vnumberbox.h"

namespace qv {

RepetitionPicker::RepetitionPicker(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraRepeatPattern"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    lblRepeatPattern_ = new QLabel(QStringLiteral("&How often:"), this);
    lblRepeatPattern_->setObjectName(QStringLiteral("lblRepeatPattern"));
    cmbRepeatPattern_ = new QComboBox(this);
    cmbRepeatPattern_->setObjectName(QStringLiteral("cmbRepeatPattern"));
    lblRepeatPattern_->setBuddy(cmbRepeatPattern_);
    row->addWidget(lblRepeatPattern_);
    row->addWidget(cmbRepeatPattern_);

    // Every n weeks on these days.
    fraWeekly_ = new QWidget(this);
    fraWeekly_->setObjectName(QStringLiteral("fraRepeatWeekly"));
    auto* weekly = new QHBoxLayout(fraWeekly_);
    weekly->setContentsMargins(0, 0, 0, 0);
    vnbRepeatWeeks_ = new VNumberBox(fraWeekly_);
    vnbRepeatWeeks_->setObjectName(QStringLiteral("vnbRepeatWeeks"));
    vnbRepeatWeeks_->setMinValue(1);
    vnbRepeatWeeks_->setMaxValue(52);
    vnbRepeatWeeks_->setValue(1);
    vnbRepeatWeeks_->setMaximumWidth(60);
    lblRepeatWeeks_ = new QLabel(fraWeekly_);
    lblRepeatWeeks_->setObjectName(QStringLiteral("lblRepeatWeeks"));
    weekly->addWidget(vnbRepeatWeeks_);
    weekly->addWidget(lblRepeatWeeks_);
    for (int i = 0; i < 7; ++i) {
        // Named like the dialog's other day boxes: a row reached with Tab.
        auto* c = new QCheckBox(fraWeekly_);
        c->setObjectName(QStringLiteral("chkWeekdayRepeat(%1)").arg(i));
        chkDay_[static_cast<std::size_t>(i)] = c;
        weekly->addWidget(c);
        connect(c, &QCheckBox::clicked, this, [this] { report(); });
    }
    connect(vnbRepeatWeeks_, &VNumberBox::changed, this, [this] {
        nameWeeks();
        report();
    });
    row->addWidget(fraWeekly_);

    // The n-th weekday of the month.
    fraMonthly_ = new QWidget(this);
    fraMonthly_->setObjectName(QStringLiteral("fraRepeatMonthly"));
    auto* monthly = new QHBoxLayout(fraMonthly_);
    monthly->setContentsMargins(0, 0, 0, 0);
    cmbRepeatOrdinal_ = new QComboBox(fraMonthly_);
    cmbRepeatOrdinal_->setObjectName(QStringLiteral("cmbRepeatOrdinal"));
    cmbRepeatWeekday_ = new QComboBox(fraMonthly_);
    cmbRepeatWeekday_->setObjectName(QStringLiteral("cmbRepeatWeekday"));
    monthly->addWidget(cmbRepeatOrdinal_);
    monthly->addWidget(cmbRepeatWeekday_);
    connect(cmbRepeatOrdinal_, &QComboBox::activated, this, [this] { report(); });
    connect(cmbRepeatWeekday_, &QComboBox::activated, this, [this] { report(); });
    row->addWidget(fraMonthly_);
    row->addStretch(1);

    connect(cmbRepeatPattern_, &QComboBox::activated, this, [this] {
        showParts();
        report();
    });
    setTexts(
        {QStringLiteral("as set below"), QStringLiteral("every weekday"),
         QStringLiteral("every n weeks on"), QStringLiteral("the n-th weekday of the month"),
         QStringLiteral("the last day of the month")},
        {QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"),
         QStringLiteral("fourth"), QStringLiteral("last")},
        {QStringLiteral("Sunday"), QStringLiteral("Monday"), QStringLiteral("Tuesday"),
         QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"),
         QStringLiteral("Saturday")},
        {QStringLiteral("Sun"), QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
         QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat")});
    setRepetition(Repetition{});
    nameWeeks();
}

void RepetitionPicker::setTexts(const QStringList& kinds, const QStringList& ordinals,
                                const QStringList& weekdays, const QStringList& shortWeekdays) {
    const bool wasFilling = filling_;
    filling_ = true;
    auto refill = [this](QComboBox* c, const QStringList& items) {
        const int at = c->currentIndex();
        const bool keepEmpty = c == cmbRepeatPattern_ && at < 0 && c->count() > 0;
        c->clear();
        c->addItems(items);
        c->setCurrentIndex(keepEmpty ? -1
                           : at < 0  ? 0
                                     : std::clamp(at, 0, static_cast<int>(items.size()) - 1));
    };
    refill(cmbRepeatPattern_, kinds);
    refill(cmbRepeatOrdinal_, ordinals);
    refill(cmbRepeatWeekday_, weekdays);
    for (int i = 0; i < 7 && i < shortWeekdays.size(); ++i)
        chkDay_[static_cast<std::size_t>(i)]->setText(shortWeekdays[i]);
    filling_ = wasFilling;
}

void RepetitionPicker::setWeeksCaption(std::function<QString(int)> caption) {
    weeksCaption_ = std::move(caption);
    nameWeeks();
}

void RepetitionPicker::nameWeeks() {
    const int n = std::max(1, vnbRepeatWeeks_->value());
    lblRepeatWeeks_->setText(
        weeksCaption_ ? weeksCaption_(n)
                      : (n == 1 ? QStringLiteral("week on") : QStringLiteral("weeks on")));
}

void RepetitionPicker::setRepetition(const Repetition& r, bool nothing) {
    const bool wasFilling = filling_;
    filling_ = true;
    cmbRepeatPattern_->setCurrentIndex(nothing ? -1 : static_cast<int>(r.kind));
    if (r.kind == RepetitionKind::kWeekly) {
        vnbRepeatWeeks_->setValue(r.weeks);
        for (int i = 0; i < 7; ++i)
            chkDay_[static_cast<std::size_t>(i)]->setChecked((r.days >> i) & 1);
    }
    if (r.kind == RepetitionKind::kNthWeekday) {
        cmbRepeatOrdinal_->setCurrentIndex(std::clamp(r.ordinal, 1, Repetition::kLast) - 1);
        cmbRepeatWeekday_->setCurrentIndex(std::clamp(r.weekday, 1, 7) - 1);
    }
    showParts();
    filling_ = wasFilling;
}

Repetition RepetitionPicker::repetition() const {
    Repetition r;
    const int at = cmbRepeatPattern_->currentIndex();
    r.kind = at < 0 || at > static_cast<int>(RepetitionKind::kLastDayOfMonth)
                 ? RepetitionKind::kCustom
                 : static_cast<RepetitionKind>(at);
    // Only what the kind uses; the rest keeps its defaults, so two equal
    // choices compare equal.
    if (r.kind == RepetitionKind::kWeekly) {
        r.weeks = std::max(1, vnbRepeatWeeks_->value());
        for (int i = 0; i < 7; ++i)
            if (chkDay_[static_cast<std::size_t>(i)]->isChecked())
                r.days = static_cast<std::int16_t>(r.days | (1 << i));
    }
    if (r.kind == RepetitionKind::kNthWeekday) {
        r.ordinal = std::max(0, cmbRepeatOrdinal_->currentIndex()) + 1;
        r.weekday = std::max(0, cmbRepeatWeekday_->currentIndex()) + 1;
    }
    return r;
}

void RepetitionPicker::showParts() {
    const int at = cmbRepeatPattern_->currentIndex();
    fraWeekly_->setVisible(at == static_cast<int>(RepetitionKind::kWeekly));
    fraMonthly_->setVisible(at == static_cast<int>(RepetitionKind::kNthWeekday));
}

void RepetitionPicker::report() {
    if (!filling_) emit edited();
}

}  // namespace qv

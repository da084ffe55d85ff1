#include "ui/frmreminders.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/vnumberbox.h"
#include "core/program.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {

namespace {
constexpr const char* kSection = "frmReminders";
// The unit list in the order people think of them.
constexpr int kUnits[] = {kMinutes, kHours, kDays, kWeeks, kMonths, kSeconds, kYears};
}  // namespace

frmReminders::frmReminders(Program& program, std::vector<Reminder> reminders, QWidget* parent)
    : QDialog(parent), p_(program), reminders_(normaliseReminders(std::move(reminders))) {
    setObjectName(kSection);
    lstReminders = new QListWidget(this);
    lstReminders->setObjectName("lstReminders");
    lstReminders->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* lblNew = new QLabel("&New:", this);
    lblNew->setObjectName("lblNewReminder");
    vnbReminderAmount = new VNumberBox(this);
    vnbReminderAmount->setObjectName("vnbReminderAmount");
    vnbReminderAmount->setMinValue(1);
    vnbReminderAmount->setMaxValue(kMaxReminderAmount);
    vnbReminderAmount->setValue(15);
    lblNew->setBuddy(vnbReminderAmount);
    cmbReminderUnit = new QComboBox(this);
    cmbReminderUnit->setObjectName("cmbReminderUnit");
    auto* lblBefore = new QLabel("before", this);
    lblBefore->setObjectName("lblBefore");
    cmdAddReminder = new QPushButton("&Add", this);
    cmdAddReminder->setObjectName("cmdAddReminder");
    cmdAddReminder->setAutoDefault(false);
    cmdRemoveReminder = new QPushButton("&Remove", this);
    cmdRemoveReminder->setObjectName("cmdRemoveReminder");
    cmdRemoveReminder->setAutoDefault(false);
    cmdOk = new QPushButton("OK", this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);

    auto* add = new QHBoxLayout;
    add->addWidget(lblNew);
    add->addWidget(vnbReminderAmount);
    add->addWidget(cmbReminderUnit);
    add->addWidget(lblBefore);
    add->addWidget(cmdAddReminder);
    add->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRemoveReminder);
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstReminders, 1);
    layout->addLayout(add);
    layout->addLayout(buttons);

    connect(cmdAddReminder, &QPushButton::clicked, this, [this] { addReminder(); });
    connect(cmdRemoveReminder, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lstReminders, &QListWidget::itemSelectionChanged, this, [this] {
        cmdRemoveReminder->setEnabled(!lstReminders->selectedItems().isEmpty());
    });
    connect(vnbReminderAmount, &VNumberBox::changed, this, [this] { translate(); });
    translate();
    cmdRemoveReminder->setEnabled(false);
    resize(sizeHint().expandedTo(QSize(360, 260)));
}

void frmReminders::translate() {
    translateForm(this, p_.translation);
    const int unit = cmbReminderUnit->currentIndex();
    const int amount = vnbReminderAmount->value();
    if (cmbReminderUnit->count() == 0)
        for (std::size_t i = 0; i < std::size(kUnits); ++i) cmbReminderUnit->addItem(QString());
    for (std::size_t i = 0; i < std::size(kUnits); ++i)
        cmbReminderUnit->setItemText(static_cast<int>(i),
                                     qs(p_.translation.getUnitName(kUnits[i], amount)));
    cmbReminderUnit->setCurrentIndex(unit >= 0 ? unit : 0);
    showList();
}

void frmReminders::showList() {
    lstReminders->clear();
    for (const Reminder& r : reminders_)
        lstReminders->addItem(qs(describeReminder(p_.translation, r)));
}

void frmReminders::addReminder() {
    const int index = cmbReminderUnit->currentIndex();
    if (index < 0 || index >= static_cast<int>(std::size(kUnits))) return;
    const Reminder r{vnbReminderAmount->value(), static_cast<std::int16_t>(kUnits[index])};
    // A full list takes no more; an equal one ("60 minutes", "1 hour") is there already.
    if (reminders_.size() >= static_cast<std::size_t>(kMaxReminders)) return;
    auto more = reminders_;
    more.push_back(r);
    reminders_ = normaliseReminders(std::move(more));
    showList();
}

void frmReminders::removeSelected() {
    std::vector<Reminder> kept;
    for (int i = 0; i < lstReminders->count(); ++i)
        if (!lstReminders->item(i)->isSelected() && i < static_cast<int>(reminders_.size()))
            kept.push_back(reminders_[static_cast<std::size_t>(i)]);
    reminders_ = std::move(kept);
    showList();
    cmdRemoveReminder->setEnabled(false);
}

// ---- The row ---------------------------------------------------------------------

RemindersRow::RemindersRow(Program& program, QWidget* parent) : QWidget(parent), p_(program) {
    setObjectName("fraReminders");
    lblReminders = new QLabel("Re&minders:", this);
    lblReminders->setObjectName("lblReminders");
    txtReminders = new QLineEdit(this);
    txtReminders->setObjectName("txtReminders");
    txtReminders->setReadOnly(true);
    txtReminders->setFocusPolicy(Qt::NoFocus);
    cmdReminders = new QPushButton("...", this);
    cmdReminders->setObjectName("cmdReminders");
    cmdReminders->setAutoDefault(false);
    cmdReminders->setFixedWidth(cmdReminders->fontMetrics().horizontalAdvance("...") + 24);
    lblReminders->setBuddy(cmdReminders);
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(lblReminders);
    h->addWidget(txtReminders, 1);
    h->addWidget(cmdReminders);
    connect(cmdReminders, &QPushButton::clicked, this, [this] { edit(); });
    showText();
}

void RemindersRow::setReminders(const std::vector<Reminder>& reminders) {
    reminders_ = reminders;
    mixed_ = false;
    showText();
}

void RemindersRow::showMixed(const QString& placeholder) {
    mixed_ = true;
    txtReminders->clear();
    txtReminders->setPlaceholderText(placeholder);
}

void RemindersRow::translate() {
    // The row's own captions come with the alarm dialog's section.
    if (!mixed_) showText();
}

void RemindersRow::showText() {
    const QString text = qs(describeReminders(p_.translation, reminders_));
    txtReminders->setPlaceholderText(qs(p_.translation.getText("frmAlarmProperties", 400)));
    txtReminders->setText(text);
    txtReminders->setToolTip(text);
}

void RemindersRow::edit() {
    frmReminders dialog(p_, mixed_ ? std::vector<Reminder>{} : reminders_, window());
    if (dialog.exec() != QDialog::Accepted) return;
    reminders_ = dialog.reminders();
    mixed_ = false;
    showText();
    emit edited();
}

}  // namespace qv

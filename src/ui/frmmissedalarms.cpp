#include "ui/frmmissedalarms.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/dateformat.h"
#include "controls/vnumberbox.h"
#include "core/program.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {

namespace {
constexpr const char* kSection = "frmMissedAlarms";
constexpr int kUnits[] = {kMinutes, kHours, kDays, kSeconds, kWeeks, kMonths, kYears};
// Names longer than this are cut in the list (a file may hold long ones).
constexpr int kMaxShown = 200;

QString shown(const std::string& text) {
    QString s = qs(text);
    return s.size() > kMaxShown ? s.left(kMaxShown) + QChar(0x2026) : s;
}
}  // namespace

frmMissedAlarms::frmMissedAlarms(Program& program, QWidget* parent) : QWidget(parent), p_(program) {
    setObjectName(kSection);
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_QuitOnClose, false);
    lblMissed = new QLabel("Alarms that sounded while nobody answered:", this);
    lblMissed->setObjectName("lblMissed");
    lstMissed = new QTreeWidget(this);
    lstMissed->setObjectName("lstMissed");
    lstMissed->setRootIsDecorated(false);
    lstMissed->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstMissed->setColumnCount(3);
    lblMissed->setBuddy(lstMissed);
    auto* lblSnoozeFor = new QLabel("Snooze &for:", this);
    lblSnoozeFor->setObjectName("lblSnoozeFor");
    vnbSnoozeAmount = new VNumberBox(this);
    vnbSnoozeAmount->setObjectName("vnbSnoozeAmount");
    vnbSnoozeAmount->setMinValue(1);
    vnbSnoozeAmount->setMaxValue(32767);
    vnbSnoozeAmount->setValue(std::max<int>(1, p_.settings.dsa));
    lblSnoozeFor->setBuddy(vnbSnoozeAmount);
    cmbSnoozeUnit = new QComboBox(this);
    cmbSnoozeUnit->setObjectName("cmbSnoozeUnit");
    for (std::size_t i = 0; i < std::size(kUnits); ++i) cmbSnoozeUnit->addItem(QString());
    const auto* unit = std::find(std::begin(kUnits), std::end(kUnits), p_.settings.dsu);
    cmbSnoozeUnit->setCurrentIndex(unit == std::end(kUnits) ? 0 : static_cast<int>(unit - kUnits));
    cmdSnooze = new QPushButton("&Snooze from now", this);
    cmdSnooze->setObjectName("cmdSnooze");
    cmdDone = new QPushButton("&Done", this);
    cmdDone->setObjectName("cmdDone");
    cmdAllDone = new QPushButton("&All done", this);
    cmdAllDone->setObjectName("cmdAllDone");
    cmdClose = new QPushButton("&Close", this);
    cmdClose->setObjectName("cmdClose");

    auto* snooze = new QHBoxLayout;
    snooze->addWidget(lblSnoozeFor);
    snooze->addWidget(vnbSnoozeAmount);
    snooze->addWidget(cmbSnoozeUnit);
    snooze->addWidget(cmdSnooze);
    snooze->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdDone);
    buttons->addWidget(cmdAllDone);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMissed);
    layout->addWidget(lstMissed, 1);
    layout->addLayout(snooze);
    layout->addLayout(buttons);

    connect(cmdSnooze, &QPushButton::clicked, this, [this] { snoozeSelected(); });
    connect(cmdDone, &QPushButton::clicked, this, [this] { doneSelected(); });
    connect(cmdAllDone, &QPushButton::clicked, this, [this] { allDone(); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(lstMissed, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(vnbSnoozeAmount, &VNumberBox::changed, this, [this] { nameUnits(); });
    translate();
    resize(560, 320);
}

void frmMissedAlarms::translate() {
    translateForm(this, p_.translation);
    lstMissed->setHeaderLabels({qs(p_.translation.getText(kSection, 401)),
                                qs(p_.translation.getText(kSection, 402)),
                                qs(p_.translation.getText(kSection, 403))});
    nameUnits();
    refresh();
}

void frmMissedAlarms::nameUnits() {
    for (int i = 0; i < cmbSnoozeUnit->count() && i < static_cast<int>(std::size(kUnits)); ++i)
        cmbSnoozeUnit->setItemText(
            i, qs(p_.translation.getUnitName(kUnits[i], vnbSnoozeAmount->value())));
}

void frmMissedAlarms::refresh() {
    // The selection survives a refresh by position (entries only go away at the front or
    // where the user acted).
    const auto before = selectedEntries();
    lstMissed->clear();
    const auto& entries = p_.missed.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const MissedAlarm& m = entries[i];
        const AlarmPtr a = p_.missed.find(m);
        auto* item = new QTreeWidgetItem(lstMissed);
        QString name = shown(a ? a->name : m.name);
        if (!a) name += QLatin1Char(' ') + qs(p_.translation.getText(kSection, 404));
        const AlarmGroupPtr g = a ? a->parentGroup() : nullptr;
        item->setText(0, name);
        item->setText(1, qs(formatDate(m.due, p_.settings.df.sa, p_.ports.dateNames)));
        item->setText(2, shown(g ? g->name : m.groupName));
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
        if (std::find(before.begin(), before.end(), i) != before.end()) item->setSelected(true);
    }
    for (int c = 0; c < 3; ++c) lstMissed->resizeColumnToContents(c);
    if (!lstMissed->selectedItems().isEmpty() || lstMissed->topLevelItemCount() == 0) {
        updateButtons();
        return;
    }
    lstMissed->topLevelItem(0)->setSelected(true);
    lstMissed->setCurrentItem(lstMissed->topLevelItem(0));
    updateButtons();
}

std::vector<std::size_t> frmMissedAlarms::selectedEntries() const {
    std::vector<std::size_t> out;
    for (QTreeWidgetItem* item : lstMissed->selectedItems())
        out.push_back(static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong()));
    std::sort(out.begin(), out.end());
    return out;
}

void frmMissedAlarms::updateButtons() {
    const bool any = !lstMissed->selectedItems().isEmpty();
    cmdSnooze->setEnabled(any);
    cmdDone->setEnabled(any);
    cmdAllDone->setEnabled(lstMissed->topLevelItemCount() > 0);
}

void frmMissedAlarms::snoozeSelected() {
    const int index = cmbSnoozeUnit->currentIndex();
    if (index < 0 || index >= static_cast<int>(std::size(kUnits))) return;
    auto chosen = selectedEntries();
    bool refused = false;
    // From the last, so the places of the others stay.
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it)
        if (!p_.missed.snoozeFromNow(*it, vnbSnoozeAmount->value(), kUnits[index])) refused = true;
    refresh();
    if (refused) p_.main.showMessageBox(p_.translation.getText(kSection, 405), mb::kExclamation);
}

void frmMissedAlarms::doneSelected() {
    auto chosen = selectedEntries();
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) p_.missed.remove(*it);
    lstMissed->clearSelection();
    refresh();
}

void frmMissedAlarms::allDone() {
    p_.missed.clear();
    refresh();
}

void frmMissedAlarms::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        doneSelected();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace qv

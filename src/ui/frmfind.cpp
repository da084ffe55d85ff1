#include "ui/frmfind.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "core/program.h"
#include "model/texts.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmFind";
// The result's index in results_, kept with its row whatever the sorting.
constexpr int kIndexRole = Qt::UserRole;

}  // namespace

frmFind::frmFind(Program& program, QWidget* parent) : QWidget(parent, Qt::Window), p_(program) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Find alarms"));
    lblFind_ = new QLabel(QStringLiteral("&Find:"), this);
    lblFind_->setObjectName(QStringLiteral("lblFind"));
    txtFind_ = new QLineEdit(this);
    txtFind_->setObjectName(QStringLiteral("txtFind"));
    lblFind_->setBuddy(txtFind_);
    txtFind_->installEventFilter(this);
    cmdFind_ = new QPushButton(QStringLiteral("&Search"), this);
    cmdFind_->setObjectName(QStringLiteral("cmdFind"));
    chkMatchCase_ = new QCheckBox(QStringLiteral("Match &case"), this);
    chkMatchCase_->setObjectName(QStringLiteral("chkMatchCase"));
    chkSearchWithinResults_ = new QCheckBox(QStringLiteral("Search &within the results"), this);
    chkSearchWithinResults_->setObjectName(QStringLiteral("chkSearchWithinResults"));
    chkSearchWithinResults_->setEnabled(false);
    lblResults_ = new QLabel(QStringLiteral("&Results:"), this);
    lblResults_->setObjectName(QStringLiteral("lblResults"));
    lvwResults_ = new QTreeWidget(this);
    lvwResults_->setObjectName(QStringLiteral("lvwResults"));
    lvwResults_->setRootIsDecorated(false);
    lvwResults_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwResults_->setColumnCount(2);
    lvwResults_->installEventFilter(this);
    lvwResults_->header()->setSectionsClickable(true);
    lblResults_->setBuddy(lvwResults_);
    lblSummary_ = new QLabel(this);
    lblSummary_->setObjectName(QStringLiteral("lblSummary"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblFind_, 0, 0);
    grid->addWidget(txtFind_, 0, 1);
    grid->addWidget(cmdFind_, 0, 2);
    grid->addWidget(chkMatchCase_, 1, 1);
    grid->addWidget(chkSearchWithinResults_, 2, 1);
    grid->addWidget(lblResults_, 3, 0, 1, 3);
    grid->addWidget(lvwResults_, 4, 0, 1, 3);
    grid->addWidget(lblSummary_, 5, 0, 1, 3);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    resize(480, 360);

    connect(cmdFind_, &QPushButton::clicked, this, [this] { search(); });
    connect(lvwResults_, &QTreeWidget::itemDoubleClicked, this, [this] { openSelected(); });
    connect(lvwResults_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        // A second click on the same column turns the order round.
        sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                               : Qt::AscendingOrder;
        sortColumn_ = column;
        lvwResults_->sortItems(column, sortOrder_);
    });
    translate();
}

void frmFind::translate() {
    translateForm(this, p_.translation);
    lvwResults_->setHeaderLabels(
        {qs(p_.translation.getText(kSection, 11)), qs(p_.translation.getText(kSection, 12))});
    showSummary();
}

void frmFind::search() {
    const bool within =
        chkSearchWithinResults_->isChecked() && chkSearchWithinResults_->isEnabled();
    std::vector<AlarmPtr> searched;
    if (within) {
        searched = results_;
    } else {
        for (const AlarmGroupPtr& g : p_.alarmGroups)
            for (const AlarmPtr& a : g->alarms) searched.push_back(a);
    }
    const bool matchCase = chkMatchCase_->isChecked();
    const QString wanted = matchCase ? txtFind_->text() : txtFind_->text().toLower();
    results_.clear();
    searched_ = true;
    for (const AlarmPtr& a : searched) {
        const QString stored = qs(a->toXML("alrm")->toString());
        if ((matchCase ? stored : stored.toLower()).contains(wanted)) results_.push_back(a);
    }
    showResults({});
}

void frmFind::showResults(const std::vector<AlarmPtr>& selected) {
    lvwResults_->clear();
    for (std::size_t i = 0; i < results_.size(); ++i) {
        const AlarmPtr& a = results_[i];
        const AlarmGroupPtr g = a->parentGroup();
        auto* item = new QTreeWidgetItem({qs(a->name), g ? qs(g->name) : QString()});
        item->setData(0, kIndexRole, static_cast<int>(i));
        lvwResults_->addTopLevelItem(item);
        if (std::find(selected.begin(), selected.end(), a) != selected.end())
            item->setSelected(true);
    }
    if (sortColumn_ >= 0) lvwResults_->sortItems(sortColumn_, sortOrder_);
    chkSearchWithinResults_->setEnabled(!results_.empty());
    if (results_.empty()) chkSearchWithinResults_->setChecked(false);
    showSummary();
}

bool frmFind::isLoaded(const AlarmPtr& alarm) const {
    const AlarmGroupPtr g = alarm ? alarm->parentGroup() : nullptr;
    return g && p_.alarmGroups.contains(g) && g->alarms.contains(alarm);
}

void frmFind::followAlarms() {
    const std::vector<AlarmPtr> selected = selectedResults();
    std::erase_if(results_, [this](const AlarmPtr& a) { return !isLoaded(a); });
    showResults(selected);
}

void frmFind::showSummary() {
    // Nothing to say before the first search.
    if (!searched_) {
        lblSummary_->clear();
        return;
    }
    const std::size_t n = results_.size();
    const std::string text = p_.translation.getText(kSection, n == 0 ? 1 : n == 1 ? 2 : 3);
    lblSummary_->setText(qs(texts::fill(text, {std::to_string(n)})));
}

std::vector<AlarmPtr> frmFind::selectedResults() const {
    std::vector<AlarmPtr> out;
    for (int i = 0; i < lvwResults_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = lvwResults_->topLevelItem(i);
        if (!item->isSelected()) continue;
        const int k = item->data(0, kIndexRole).toInt();
        if (k >= 0 && k < static_cast<int>(results_.size()))
            out.push_back(results_[static_cast<std::size_t>(k)]);
    }
    return out;
}

void frmFind::openSelected() {
    // Nothing opened from here edits an alarm that is gone.
    followAlarms();
    const std::vector<AlarmPtr> alarms = selectedResults();
    if (!alarms.empty() && openAlarms) openAlarms(alarms);
}

void frmFind::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool frmFind::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == txtFind_)
                search();
            else if (watched == lvwResults_)
                openSelected();
            return watched == txtFind_ || watched == lvwResults_;
        }
    }
    if (event->type() == QEvent::FocusIn && watched == txtFind_)
        QTimer::singleShot(0, txtFind_, [t = txtFind_] { t->selectAll(); });
    return QWidget::eventFilter(watched, event);
}

}  // namespace qv

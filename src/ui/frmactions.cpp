#include "ui/frmactions.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "core/program.h"
#include "model/texts.h"
#include "plugins/clsplugin.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/pluginmenus.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmActions";
constexpr int kKeyRole = Qt::UserRole;
// Built-in types offered. Type 16 is missing on purpose: a plug-in action
// without its plug-in does nothing, so plug-in actions come only through
// the entries of the action plug-ins themselves.
constexpr std::int16_t kBuiltInTypes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17};

XMLNodePtr parsed(const std::string& answer) {
    if (answer.empty()) return nullptr;
    auto root = XMLNode::Create();
    if (root->initializeFromXML(answer)) return nullptr;
    return root;
}

}  // namespace

frmActions::frmActions(Program& program, QWidget* parent) : QDialog(parent), p_(program) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Custom actions"));
    lblAction_ = new QLabel(QStringLiteral("&Find:"), this);
    lblAction_->setObjectName(QStringLiteral("lblAction"));
    txtAction_ = new QLineEdit(this);
    txtAction_->setObjectName(QStringLiteral("txtAction"));
    txtAction_->installEventFilter(this);
    lblAction_->setBuddy(txtAction_);
    lvwActions_ = new QTreeWidget(this);
    lvwActions_->setObjectName(QStringLiteral("lvwActions"));
    lvwActions_->setRootIsDecorated(false);
    lvwActions_->setColumnCount(3);
    lvwActions_->header()->setSectionsClickable(true);
    lvwActions_->setTextElideMode(Qt::ElideRight);
    cmdOk_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOk_->setObjectName(QStringLiteral("cmdOk"));
    cmdOk_->setDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblAction_, 0, 0);
    grid->addWidget(txtAction_, 0, 1);
    grid->addWidget(lvwActions_, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk_);
    buttons->addWidget(cmdCancel_);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setRowStretch(1, 1);
    resize(680, 400);

    connect(cmdOk_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvwActions_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(txtAction_, &QLineEdit::textChanged, this, [this] { fill(); });
    connect(lvwActions_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                               : Qt::AscendingOrder;
        sortColumn_ = column;
        lvwActions_->sortItems(column, sortOrder_);
    });

    for (const std::int16_t type : kBuiltInTypes) {
        const std::string n = std::to_string(type);
        names_.push_back(p_.translation.getText(texts::kAction, type));
        categories_.push_back(p_.translation.readKey(texts::kAction, "c" + n, ""));
        descriptions_.push_back(p_.translation.readKey(texts::kAction, "d" + n, ""));
        keys_.push_back("b" + n);
    }
    if (clsPlugIn* host = plugInHostOf(p_)) {
        const StringVector& ids = host->plugIns(clsPlugIn::kAction);
        for (int i = 0; i < ids.numberOfElements(); ++i) {
            const std::string& id = ids.stringAt(i);
            const XMLNodePtr info =
                parsed(host->methodCall(id, "GetActionInfo", host->lang(), false));
            const std::string name = info ? info->getString("shortdescription") : std::string();
            // A plug-in that cannot name its action is listed under its identifier.
            names_.push_back(name.empty() ? id : name);
            categories_.push_back(info ? info->getString("category") : std::string());
            descriptions_.push_back(info ? info->getString("description") : std::string());
            keys_.push_back("p" + std::to_string(i));
        }
    }
    translate();
    if (parent) setWindowIcon(parent->window()->windowIcon());
    fill();
}

void frmActions::translate() {
    translateForm(this, p_.translation);
    lvwActions_->setHeaderLabels({qs(p_.translation.getText(kSection, 1)),
                                  qs(p_.translation.getText(kSection, 2)),
                                  qs(p_.translation.getText(kSection, 3))});
}

void frmActions::fill() {
    lvwActions_->clear();
    const QString wanted = txtAction_->text().toLower();
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const QString name = qs(names_[i]);
        if (!name.toLower().contains(wanted)) continue;
        // Item texts are never markup: plug-in texts show as they are.
        auto* item = new QTreeWidgetItem({name, qs(categories_[i]), qs(descriptions_[i])});
        item->setData(0, kKeyRole, qs(keys_[i]));
        lvwActions_->addTopLevelItem(item);
    }
    fitColumns(lvwActions_);
    if (sortColumn_ >= 0) lvwActions_->sortItems(sortColumn_, sortOrder_);
    if (lvwActions_->topLevelItemCount() > 0)
        lvwActions_->setCurrentItem(lvwActions_->topLevelItem(0));
}

ActionPtr frmActions::getAction(const AlarmPtr& owner) const {
    if (result() != QDialog::Accepted) return nullptr;
    const QTreeWidgetItem* item = lvwActions_->currentItem();
    if (!item || !item->isSelected()) return nullptr;
    const QString key = item->data(0, kKeyRole).toString();
    bool ok = false;
    const int n = key.mid(1).toInt(&ok);
    if (!ok || key.isEmpty()) return nullptr;
    if (key.front() == QLatin1Char('b')) {
        return clsAction::Create(p_.ctx, owner, static_cast<std::int16_t>(n));
    }
    clsPlugIn* host = plugInHostOf(p_);
    if (!host || n < 0 || n >= host->plugIns(clsPlugIn::kAction).numberOfElements()) return nullptr;
    ActionPtr action = clsAction::Create(p_.ctx, owner, clsAction::kPlugIn);
    action->plugin = host->plugIns(clsPlugIn::kAction).stringAt(n);
    return action;
}

bool frmActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtAction_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            // The filter box keeps the focus; the selection moves in the list.
            const int count = lvwActions_->topLevelItemCount();
            if (count == 0) return true;
            QTreeWidgetItem* current = lvwActions_->currentItem();
            int row = current ? lvwActions_->indexOfTopLevelItem(current) : -1;
            row = key == Qt::Key_Up ? std::max(0, row - 1) : std::min(count - 1, row + 1);
            lvwActions_->setCurrentItem(lvwActions_->topLevelItem(row));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qv

#include "ui/frmplugins.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

#include "core/program.h"
#include "plugins/clsplugin.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/pluginmenus.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmPlugIns";
// The type box's entries 1 to 7, in the host's types.
constexpr int kTypeOfEntry[] = {clsPlugIn::kImport,          clsPlugIn::kExport,
                                clsPlugIn::kFileImport,      clsPlugIn::kFileExport,
                                clsPlugIn::kSynchronization, clsPlugIn::kAction,
                                clsPlugIn::kGeneralPurpose};

}  // namespace

frmPlugIns::frmPlugIns(Program& program, QWidget* parent) : QDialog(parent), p_(program) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Plug-ins"));
    cmbPlugInTypes_ = new QComboBox(this);
    cmbPlugInTypes_->setObjectName(QStringLiteral("cmbPlugInTypes"));
    lstPlugIns_ = new QTreeWidget(this);
    lstPlugIns_->setObjectName(QStringLiteral("lstPlugIns"));
    lstPlugIns_->setRootIsDecorated(false);
    lstPlugIns_->setColumnCount(3);
    lblErrors_ = new QLabel(QStringLiteral("Not loaded:"), this);
    lblErrors_->setObjectName(QStringLiteral("lblErrors"));
    lstErrors_ = new QListWidget(this);
    lstErrors_->setObjectName(QStringLiteral("lstErrors"));
    lblErrors_->setBuddy(lstErrors_);
    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdSettings_ = button("cmdSettings", "&Settings");
    cmdAbout_ = button("cmdAbout", "&About");
    cmdHelp_ = button("cmdHelp", "&Help");
    cmdClose_ = button("cmdClose", "&Close");
    // Where to read about plug-ins: the shipped help page, shown as a link.
    helpPage_ = QString::fromStdString(p_.folders.shippedFile(
        helpPageName(p_.folders, p_.translation.readKey("Language", "id", "en"), "plugins.html")));
    txtWebsite_ = new QLabel(this);
    txtWebsite_->setObjectName(QStringLiteral("txtWebsite"));
    txtWebsite_->setTextFormat(Qt::RichText);
    txtWebsite_->setText("<a href=\"page\">" + helpPage_.toHtmlEscaped() + "</a>");
    txtWebsite_->setCursor(Qt::PointingHandCursor);
    connect(txtWebsite_, &QLabel::linkActivated, this,
            [this] { p_.commands.shellOpen(ss(helpPage_), "", ""); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(cmbPlugInTypes_, 0, 0);
    grid->addWidget(lstPlugIns_, 1, 0);
    auto* side = new QVBoxLayout;
    side->addWidget(cmdSettings_);
    side->addWidget(cmdAbout_);
    side->addWidget(cmdHelp_);
    side->addStretch(1);
    side->addWidget(cmdClose_);
    grid->addLayout(side, 0, 1, 2, 1);
    grid->addWidget(lblErrors_, 2, 0, 1, 2);
    grid->addWidget(lstErrors_, 3, 0, 1, 2);
    grid->addWidget(txtWebsite_, 4, 0, 1, 2);
    grid->setRowStretch(1, 1);
    resize(620, 400);

    connect(cmbPlugInTypes_, &QComboBox::currentIndexChanged, this,
            [this](int index) { showType(index); });
    connect(cmdSettings_, &QPushButton::clicked, this, [this] { callSelected("ShowSettings"); });
    connect(cmdAbout_, &QPushButton::clicked, this, [this] { callSelected("ShowAbout"); });
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { callSelected("ShowHelp"); });
    connect(lstPlugIns_, &QTreeWidget::itemDoubleClicked, this,
            [this] { callSelected("ShowSettings"); });
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::reject);

    // The components that could not be used, with the loader's reason.
    if (clsPlugIn* host = plugInHostOf(p_)) {
        for (const clsPlugIn::LoadError& e : host->loadErrors())
            lstErrors_->addItem(qs(e.file) + QStringLiteral(": ") + qs(e.error));
    }
    lblErrors_->setVisible(lstErrors_->count() > 0);
    lstErrors_->setVisible(lstErrors_->count() > 0);

    translate();
    if (parent) setWindowIcon(parent->window()->windowIcon());
}

void frmPlugIns::translate() {
    translateForm(this, p_.translation);
    const int current = std::max(0, cmbPlugInTypes_->currentIndex());
    {
        const QSignalBlocker block(cmbPlugInTypes_);
        cmbPlugInTypes_->clear();
        for (int i = 1; i <= 8; ++i)
            cmbPlugInTypes_->addItem(qs(p_.translation.getText(kSection, i)));
        cmbPlugInTypes_->setCurrentIndex(current);
    }
    lstPlugIns_->setHeaderLabels({qs(p_.translation.getText(kSection, 11)),
                                  qs(p_.translation.getText(kSection, 12)),
                                  qs(p_.translation.getText(kSection, 13))});
    showType(current);
}

void frmPlugIns::showType(int index) {
    lstPlugIns_->clear();
    shown_.clear();
    clsPlugIn* host = plugInHostOf(p_);
    for (int entry = 1; host && entry <= 7; ++entry) {
        if (index != 0 && index != entry) continue;
        const int type = kTypeOfEntry[entry - 1];
        const StringVector& ids = host->plugIns(type);
        for (int i = 0; i < ids.numberOfElements(); ++i) {
            const std::string id = ids.stringAt(i);
            // A plug-in of several types is listed once, under the first.
            if (std::find(shown_.begin(), shown_.end(), id) != shown_.end()) continue;
            std::string description;
            if (type == clsPlugIn::kAction) description = host->actionDescription(id);
            if (type == clsPlugIn::kSynchronization) description = host->synchDescription(id);
            // Tree items show their text as it is, never as markup.
            lstPlugIns_->addTopLevelItem(new QTreeWidgetItem(
                {qs(plugInName(*host, id)), cmbPlugInTypes_->itemText(entry), qs(description)}));
            shown_.push_back(id);
        }
    }
    fitColumns(lstPlugIns_);
    const bool any = !shown_.empty();
    cmdSettings_->setEnabled(any);
    cmdAbout_->setEnabled(any);
    cmdHelp_->setEnabled(any);
    if (any) lstPlugIns_->setCurrentItem(lstPlugIns_->topLevelItem(0));
}

void frmPlugIns::callSelected(const char* method) {
    clsPlugIn* host = plugInHostOf(p_);
    const int row = lstPlugIns_->indexOfTopLevelItem(lstPlugIns_->currentItem());
    if (!host || row < 0 || row >= static_cast<int>(shown_.size())) return;
    host->methodCall(shown_[static_cast<std::size_t>(row)], method, host->lang(), false);
    // A general-purpose plug-in's settings are saved with the program's.
    if (std::string_view(method) == "ShowSettings") p_.settingsStore.settingsChanged();
}

}  // namespace qv

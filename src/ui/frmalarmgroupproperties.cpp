#include "ui/frmalarmgroupproperties.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "base/colors.h"
#include "base/translation.h"
#include "core/alarmrequest.h"
#include "core/daysoffkeeper.h"
#include "core/program.h"
#include "model/texts.h"
#include "plugins/clsplugin.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/daysoffwidgets.h"
#include "ui/pluginmenus.h"
#include "ui/qtuserinterface.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmAlarmGroupProperties";

// Numbered texts of the dialog.
enum Text {
    kTemplateReset = 1,
    kOwnTemplate = 2,
    kProgramTemplate = 3,
    kSeveralGroups = 4,
    kNameMissing = 5,
    kAlarmsReplaced = 6,
    kSettingsUnusable = 7,
    kOrdinaryGroup = 11,
    kPlugInMissing = 202,
};

}  // namespace

frmAlarmGroupProperties::frmAlarmGroupProperties(Program& program, AlarmEditor editAlarm,
                                                 QWidget* parent)
    : QDialog(parent), p_(program), editAlarm_(std::move(editAlarm)) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Alarm group properties"));

    auto named = [this](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    txtAlarmGroupName_ = named(new QLineEdit(this), "txtAlarmGroupName");
    auto* lblName = named(new QLabel(QStringLiteral("&Name:"), this), "lblAlarmGroupName");
    lblName->setBuddy(txtAlarmGroupName_);
    chkActive_ = named(new QCheckBox(QStringLiteral("&Active"), this), "chkActive");
    auto* lblColor = named(new QLabel(QStringLiteral("Colour:"), this), "lblColor");
    lblColorValue_ = named(new QLabel(this), "lblColorValue");
    lblColorValue_->setMinimumSize(48, 20);
    lblColorValue_->setAutoFillBackground(true);
    lblColorValue_->setFrameShape(QFrame::Box);
    lblColorValue_->setCursor(Qt::PointingHandCursor);
    lblColorValue_->installEventFilter(this);
    cmdColor_ = named(new QPushButton(QStringLiteral("C&hoose..."), this), "cmdColor");
    cmbType_ = named(new QComboBox(this), "cmbType");
    auto* lblType = named(new QLabel(QStringLiteral("&Type:"), this), "lblType");
    lblType->setBuddy(cmbType_);
    fraSynchSettings_ =
        named(new QGroupBox(QStringLiteral("Synchronisation"), this), "fraSynchSettings");
    fraSynchControl_ = named(new QWidget(fraSynchSettings_), "fraSynchControl");
    (new QVBoxLayout(fraSynchSettings_))->addWidget(fraSynchControl_);
    fraSynchSettings_->setVisible(false);
    auto* fraTemplate = named(new QGroupBox(QStringLiteral("Template alarm"), this), "fraTemplate");
    lblTemplateAlarm_ = named(new QLabel(fraTemplate), "lblTemplateAlarm");
    lblTemplateAlarm_->setWordWrap(true);
    cmdSetTemplate_ =
        named(new QPushButton(QStringLiteral("&Edit..."), fraTemplate), "cmdSetTemplate");
    cmdResetTemplate_ =
        named(new QPushButton(QStringLiteral("&Reset"), fraTemplate), "cmdResetTemplate");
    auto* fraDaysOff = named(new QGroupBox(QStringLiteral("Days off"), this), "fraDaysOff");
    auto* lblDaysOff = named(
        new QLabel(QStringLiteral("Alarms marked \"Not on days off\" skip the days these "
                                  "calendars name (one per line: an .ics file, an https:// address "
                                  "or a shipped calendar):"),
                   fraDaysOff),
        "lblDaysOff");
    lblDaysOff->setWordWrap(true);
    daysOffEditor_ = new DaysOffEditor(p_, kSection, fraDaysOff);
    auto* daysOffLayout = new QVBoxLayout(fraDaysOff);
    daysOffLayout->addWidget(lblDaysOff);
    daysOffLayout->addWidget(daysOffEditor_);
    cmdOk_ = named(new QPushButton(QStringLiteral("OK"), this), "cmdOk");
    cmdCancel_ = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");
    cmdOk_->setDefault(true);
    cmdOk_->setAutoDefault(true);

    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(lblColorValue_);
    colourRow->addWidget(cmdColor_);
    colourRow->addStretch();
    auto* form = new QFormLayout;
    form->addRow(lblName, txtAlarmGroupName_);
    form->addRow(QString(), chkActive_);
    form->addRow(lblColor, colourRow);
    form->addRow(lblType, cmbType_);
    auto* templateLayout = new QVBoxLayout(fraTemplate);
    templateLayout->addWidget(lblTemplateAlarm_);
    auto* templateButtons = new QHBoxLayout;
    templateButtons->addWidget(cmdSetTemplate_);
    templateButtons->addWidget(cmdResetTemplate_);
    templateButtons->addStretch();
    templateLayout->addLayout(templateButtons);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(fraSynchSettings_);
    layout->addWidget(fraTemplate);
    layout->addWidget(fraDaysOff);
    layout->addStretch();
    layout->addLayout(buttons);

    setTabOrder(txtAlarmGroupName_, chkActive_);
    setTabOrder(chkActive_, cmdColor_);
    setTabOrder(cmdColor_, cmbType_);
    setTabOrder(cmbType_, cmdSetTemplate_);
    setTabOrder(cmdSetTemplate_, cmdResetTemplate_);
    setTabOrder(cmdResetTemplate_, cmdOk_);
    setTabOrder(cmdOk_, cmdCancel_);

    chooseColour = [this](const QColor& initial) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, this);
        if (!c.isValid()) return std::nullopt;
        return c;
    };

    connect(txtAlarmGroupName_, &QLineEdit::textEdited, this, [this] {
        flags_ |= kName;
        updateCaption();
    });
    connect(chkActive_, &QCheckBox::clicked, this, [this] { flags_ |= kActive; });
    connect(cmdColor_, &QPushButton::clicked, this, &frmAlarmGroupProperties::pickColour);
    // A type the user chose, even the one shown: choosing "ordinary" for a group
    // whose plug-in is missing drops that plug-in.
    connect(cmbType_, &QComboBox::activated, this, &frmAlarmGroupProperties::typeChanged);
    connect(cmdSetTemplate_, &QPushButton::clicked, this, &frmAlarmGroupProperties::setTemplate);
    connect(cmdResetTemplate_, &QPushButton::clicked, this,
            &frmAlarmGroupProperties::resetTemplate);
    connect(cmdOk_, &QPushButton::clicked, this, &frmAlarmGroupProperties::accept);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

    cmdSetTemplate_->setEnabled(static_cast<bool>(editAlarm_));
    translate();
}

QString frmAlarmGroupProperties::text(int number) const {
    return qs(p_.translation.getText(kSection, number));
}

QColor frmAlarmGroupProperties::toQColor(std::int32_t stored) {
    const auto rgb = static_cast<std::uint32_t>(stored);
    return QColor(static_cast<int>(rgb & 0xff), static_cast<int>((rgb >> 8) & 0xff),
                  static_cast<int>((rgb >> 16) & 0xff));
}

std::int32_t frmAlarmGroupProperties::fromQColor(const QColor& colour) {
    return colour.red() + 256 * colour.green() + 65536 * colour.blue();
}

void frmAlarmGroupProperties::setSynchPlugIns(std::vector<SynchPlugIn> plugIns) {
    plugIns_ = std::move(plugIns);
    translate();
}

void frmAlarmGroupProperties::setAlarmGroups(std::vector<AlarmGroupPtr> groups) {
    groups_ = std::move(groups);
    flags_ = 0;
    missingPlugIn_.clear();
    filling_ = true;
    const QSignalBlocker block(cmbType_);
    if (groups_.size() == 1) {
        const AlarmGroupPtr& g = groups_.front();
        txtAlarmGroupName_->setText(qs(g->name));
        chkActive_->setTristate(false);
        chkActive_->setChecked(g->Active);
        // A negative colour is a system colour: nothing to show or edit.
        colour_ = g->Color >= 0 ? g->Color : -1;
        template_ = g->template_;
        int item = 0;
        if (!g->synchPlugin.empty()) {
            for (std::size_t k = 0; k < plugIns_.size(); ++k)
                if (plugIns_[k].identifier == g->synchPlugin) item = static_cast<int>(k) + 1;
            if (item == 0) {
                missingPlugIn_ = g->synchPlugin;
                p_.main.showMessageBox(texts::fill(ss(text(kPlugInMissing)), {g->synchPlugin}),
                                       mb::kExclamation);
            }
        }
        cmbType_->setCurrentIndex(item);
    } else {
        txtAlarmGroupName_->clear();
        // Several groups: the box says nothing until it is clicked.
        chkActive_->setTristate(true);
        chkActive_->setCheckState(Qt::PartiallyChecked);
        colour_ = -1;
        template_ = groups_.empty() ? std::string() : groups_.front()->template_;
        cmbType_->setCurrentIndex(0);
    }
    fraSynchSettings_->setVisible(cmbType_->currentIndex() > 0);
    showSynchControl();
    const bool sameDaysOff =
        std::all_of(groups_.begin(), groups_.end(), [&](const AlarmGroupPtr& g) {
            return g->daysOff.calendars == groups_.front()->daysOff.calendars;
        });
    if (!groups_.empty() && sameDaysOff)
        daysOffEditor_->setSources(groups_.front()->daysOff.calendars);
    else
        daysOffEditor_->setMixed(text(kSeveralGroups));
    filling_ = false;
    showColour();
    showTemplateState();
    updateCaption();
}

void frmAlarmGroupProperties::translate() {
    translateForm(this, p_.translation);
    for (auto* box : findChildren<QGroupBox*>())
        box->setTitle(
            qs(p_.translation.readKey(kSection, ss(box->objectName()), ss(box->title()))));
    {
        const QSignalBlocker block(cmbType_);
        const int keep = std::max(0, cmbType_->currentIndex());
        cmbType_->clear();
        cmbType_->addItem(text(kOrdinaryGroup));
        for (const SynchPlugIn& s : plugIns_) cmbType_->addItem(qs(s.description));
        cmbType_->setCurrentIndex(std::min(keep, cmbType_->count() - 1));
    }
    showTemplateState();
    updateCaption();
}

void frmAlarmGroupProperties::updateCaption() {
    const QString base = qs(p_.translation.readKey(kSection, kSection, "Alarm group properties"));
    const QString name = txtAlarmGroupName_->text();
    setWindowTitle(name.isEmpty() ? base : base + QStringLiteral(" - ") + name);
    // Wide enough for the title, so the German "Eigenschaften der
    // Alarmgruppe - ..." is not cut short; a very long name may still be.
    widenForTitle(this);
}

void frmAlarmGroupProperties::showColour() {
    QPalette pal = lblColorValue_->palette();
    pal.setColor(QPalette::Window,
                 colour_ >= 0 ? toQColor(colour_) : palette().color(QPalette::Window));
    lblColorValue_->setPalette(pal);
}

void frmAlarmGroupProperties::pickColour() {
    if (!chooseColour) return;
    const std::optional<QColor> c =
        chooseColour(colour_ >= 0 ? toQColor(colour_) : QColor(Qt::white));
    if (!c || !c->isValid()) return;
    colour_ = fromQColor(*c);
    flags_ |= kColour;
    showColour();
}

void frmAlarmGroupProperties::showTemplateState() {
    if (!lblTemplateAlarm_) return;
    int n = template_.empty() ? kProgramTemplate : kOwnTemplate;
    if (groups_.size() > 1 && !(flags_ & kTemplate)) n = kSeveralGroups;
    lblTemplateAlarm_->setText(text(n));
}

void frmAlarmGroupProperties::setTemplate() {
    if (!editAlarm_) return;
    AlarmPtr working;
    if (!template_.empty())
        working = Alarm::createFromXML(*XMLNode::createFromXML(template_), nullptr);
    else if (!groups_.empty())
        working = groups_.front()->getTemplateAlarm(p_.ctx);
    else
        working = Alarm::createDefaultAlarm(p_.ctx);
    if (!editAlarm_(working)) return;
    template_ = working->toXML("tmpl")->toString();
    flags_ |= kTemplate;
    showTemplateState();
}

void frmAlarmGroupProperties::resetTemplate() {
    // The group goes back to the program's template alarm.
    template_.clear();
    flags_ |= kTemplate;
    showTemplateState();
    p_.main.showMessageBox(ss(text(kTemplateReset)), mb::kInformation);
}

void frmAlarmGroupProperties::typeChanged(int index) {
    if (filling_) return;
    flags_ |= kType;
    missingPlugIn_.clear();
    fraSynchSettings_->setVisible(index > 0);
    showSynchControl();
}

void frmAlarmGroupProperties::showSynchControl() {
    delete synchSettingsControl_;
    synchSettingsControl_ = nullptr;
    synchControlPlugIn_.clear();
    clsPlugIn* host = plugInHostOf(p_);
    const int type = cmbType_->currentIndex();
    if (!host || type <= 0 || type > static_cast<int>(plugIns_.size())) return;
    const std::string& id = plugIns_[static_cast<std::size_t>(type - 1)].identifier;
    const std::string name = host->commonMethodCall(id, "GetSynchSettingsControlName", "name");
    if (name.empty()) return;
    QObject* object = host->createObject(id.substr(0, id.find('*')), name);
    auto* control = qobject_cast<QWidget*>(object);
    if (!control) {
        delete object;
        return;
    }
    control->setObjectName(QStringLiteral("synchSettingsControl"));
    if (!fraSynchControl_->layout()) new QVBoxLayout(fraSynchControl_);
    fraSynchControl_->layout()->addWidget(control);
    synchSettingsControl_ = control;
    synchControlPlugIn_ = id;
    // The settings of the one group that already uses this plug-in; fresh ones otherwise.
    XMLNodePtr settings = XMLNode::Create("syst");
    if (groups_.size() == 1 && groups_.front()->synchPlugin == id && groups_.front()->synchSettings)
        settings = groups_.front()->synchSettings;
    host->plugInMethodCall(control, host->controlRequest(id, "SetSettings", settings));
}

bool frmAlarmGroupProperties::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblColorValue_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        pickColour();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAlarmGroupProperties::accept() {
    const std::string name = ss(txtAlarmGroupName_->text().trimmed());
    if ((flags_ & kName) && name.empty()) {
        p_.main.showMessageBox(ss(text(kNameMissing)), mb::kExclamation);
        txtAlarmGroupName_->setFocus();
        return;
    }
    const int type = cmbType_->currentIndex();
    const bool synchronised = type > 0 && type <= static_cast<int>(plugIns_.size());
    if ((flags_ & kType) && synchronised) {
        // Its first synchronisation replaces the alarms of an ordinary group:
        // the ones the user made there would go without a word.
        const bool own = std::any_of(groups_.begin(), groups_.end(), [](const AlarmGroupPtr& g) {
            return g->synchPlugin.empty() && g->numberOfAlarms() > 0;
        });
        if (own && p_.main.showMessageBox(ss(text(kAlarmsReplaced)),
                                          mb::kYesNo | mb::kExclamation) != mb::kAnswerYes) {
            cmbType_->setFocus();
            return;
        }
    }
    // What the plug-in's control holds replaces the settings of the groups it
    // is for; an answer that cannot be used leaves them as they were.
    XMLNodePtr syst;
    clsPlugIn* host = plugInHostOf(p_);
    if (host && synchSettingsControl_) {
        const XMLNodePtr root = XMLNode::createFromXML(host->plugInMethodCall(
            synchSettingsControl_,
            host->controlRequest(synchControlPlugIn_, "GetSettings", nullptr)));
        syst = root->findNode("syst");
        if (!syst && p_.main.showMessageBox(ss(text(kSettingsUnusable)),
                                            mb::kYesNo | mb::kExclamation) != mb::kAnswerYes) {
            cmbType_->setFocus();
            return;
        }
    }
    // The quick alarms group renamed here: its setting follows, so the next
    // quick alarm does not start a second group under the old name.
    const AlarmGroupPtr quick = (flags_ & kName) ? QuickAlarms(p_).quickGroup() : nullptr;
    if (quick && quick->name != name &&
        std::find(groups_.begin(), groups_.end(), quick) != groups_.end()) {
        p_.settings.qgn = name;
        p_.settingsStore.settingsChanged();
    }
    std::vector<AlarmGroupPtr> toSynchronise;
    for (const AlarmGroupPtr& g : groups_) {
        const std::string plugInBefore = g->synchPlugin;
        const std::string settingsBefore = g->synchSettings ? g->synchSettings->toString() : "";
        if (flags_ & kName) g->name = name;
        if ((flags_ & kActive) && chkActive_->checkState() != Qt::PartiallyChecked)
            g->Active = chkActive_->isChecked();
        if ((flags_ & kColour) && colour_ >= 0) g->Color = colour_;
        if (flags_ & kTemplate) g->template_ = template_;
        if (flags_ & kType) {
            if (!synchronised) {
                g->synchPlugin.clear();
                g->synchSettings = XMLNode::Create("syst");
            } else {
                const std::string& id = plugIns_[static_cast<std::size_t>(type - 1)].identifier;
                if (g->synchPlugin != id) g->synchSettings = XMLNode::Create("syst");
                g->synchPlugin = id;
            }
        }
        if (syst && g->synchPlugin == synchControlPlugIn_) g->synchSettings = syst->getCopy();
        // A group that is synchronised in another way now gets its alarms at once.
        if (!g->synchPlugin.empty() &&
            (g->synchPlugin != plugInBefore ||
             (g->synchSettings ? g->synchSettings->toString() : "") != settingsBefore)) {
            flags_ |= kType;
            toSynchronise.push_back(g);
        }
    }
    if (daysOffEditor_->edited()) {
        for (const AlarmGroupPtr& g : groups_) {
            GroupDaysOff d = g->daysOff;
            d.calendars = daysOffEditor_->sources();
            g->setDaysOff(std::move(d));
        }
    }
    if ((flags_ != 0 || daysOffEditor_->edited()) && !groups_.empty())
        p_.control.alarmGroupsChanged(groups_, change::kEdited);
    if (daysOffEditor_->edited())
        for (const AlarmGroupPtr& g : groups_)
            if (p_.alarmGroups.contains(g)) daysOffKeeper::refresh(p_, g, true);
    for (const AlarmGroupPtr& g : toSynchronise)
        if (p_.alarmGroups.contains(g)) g->startSynchronization(p_.ctx);
    QDialog::accept();
}

bool frmAlarmGroupProperties::run(Program& program, QtUserInterface& ui, QWidget* parent,
                                  std::vector<AlarmGroupPtr> groups, AlarmEditor editAlarm) {
    if (groups.empty()) return false;
    // On the heap: the exit path may unload every window while this one is open.
    QPointer<frmAlarmGroupProperties> dialog =
        new frmAlarmGroupProperties(program, std::move(editAlarm), parent);
    ui.registerWindow(dialog);
    // The synchronisation plug-ins the host found, before the groups: a group
    // whose plug-in is not among them is told so.
    if (clsPlugIn* host = plugInHostOf(program)) {
        std::vector<SynchPlugIn> synch;
        const StringVector& ids = host->plugIns(clsPlugIn::kSynchronization);
        for (std::int32_t i = 0; i < ids.numberOfElements(); ++i)
            synch.push_back({ids.stringAt(i), host->synchDescription(ids.stringAt(i))});
        dialog->setSynchPlugIns(std::move(synch));
    }
    dialog->setAlarmGroups(std::move(groups));
    // Alarms go on sounding on time while it is open: nothing it shows is
    // applied before OK, and a held supervision would treat a long visit as
    // the computer being away.
    const int result = dialog->exec();
    const bool ok = dialog && result == QDialog::Accepted;
    delete dialog.data();
    return ok;
}

}  // namespace qv

#include "ui/frmalarmproperties.h"
#include "ui/frmreminders.h"

#include "ui/daysoffwidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "base/dateformat.h"
#include "base/folders.h"
#include "controls/vnumberbox.h"
#include "core/program.h"
#include "model/clsadvanceddate.h"
#include "model/texts.h"
#include "plugins/clsplugin.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/frmactions.h"
#include "ui/frmdatetime.h"
#include "ui/pluginmenus.h"
#include "ui/repetitionpicker.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmAlarmProperties";
// The first of the texts that say what is wrong with an expression.
constexpr int kFaultTexts = 100;
constexpr int kIntoSynchronisedGroup = 15;
constexpr int kSoundFileMissing = 16;
constexpr int kNoFutureMoment = 11;
constexpr int kExpressionNeverMet = 12;
constexpr int kNameEmpty = 13;
constexpr int kPlugInSettingsUnusable = 17;
constexpr int kSeveralAlarms = 18;
constexpr int kDiffers = 19;
// List position -> unit code: seconds, minutes, hours, days, weeks, months, years.
constexpr int kUnitCodes[7] = {0, 1, 2, 3, 6, 4, 5};
// The built-in action types "New" offers, in the order they are listed.
constexpr std::int16_t kBuiltInTypes[] = {1, 3, 2, 7, 8, 9, 10, 11, 4, 5, 6, 12, 13, 14, 15, 17};

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

}  // namespace

int frmAlarmProperties::unitCodeAt(int position) {
    return position >= 0 && position < 7 ? kUnitCodes[position] : 0;
}

int frmAlarmProperties::positionOfUnit(int code) {
    for (int i = 0; i < 7; ++i)
        if (kUnitCodes[i] == code) return i;
    return 0;
}

frmAlarmProperties::frmAlarmProperties(Program& program, QWidget* parent)
    : QDialog(parent), p_(program) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Alarm properties"));
    build();
    translate();
    cmbAlarmMoment_->setCurrentIndex(0);
    updateVisibility();
}

QString frmAlarmProperties::text(int number) const {
    return qs(p_.translation.getText(kSection, number));
}

int frmAlarmProperties::ask(int textNumber, int buttons, const std::string& suffix) {
    return p_.main.showMessageBox(p_.translation.getText(kSection, textNumber) + suffix, buttons);
}

// ---- Building the controls -------------------------------------------------------------

QComboBox* frmAlarmProperties::unitList(const char* name) {
    auto* c = new QComboBox(this);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QHBoxLayout* frmAlarmProperties::amountRow(QWidget* parent, const char* labelName,
                                           const char* caption, const char* boxName,
                                           const char* unitListName, std::uint32_t amountField,
                                           std::uint32_t unitField, VNumberBox*& box,
                                           QComboBox*& units) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(labelName));
    box = new VNumberBox(parent);
    box->setObjectName(QString::fromLatin1(boxName));
    label->setBuddy(box);
    connect(box, &VNumberBox::changed, this, [this, amountField] { touch(amountField); });
    units = unitList(unitListName);
    connect(units, &QComboBox::activated, this, [this, unitField] { touch(unitField); });
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(box);
    row->addWidget(units);
    row->addStretch(1);
    return row;
}

QWidget* frmAlarmProperties::buildDateRow(int row) {
    auto* w = new QWidget(this);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(2);
    for (int i = 0; i < 6; ++i) {
        const int index = 6 * row + i;
        auto* f = new QLineEdit(w);
        f->setObjectName(QStringLiteral("txtDateUnit(%1)").arg(index));
        f->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), f));
        f->setMaxLength(i == 2 ? 4 : 2);
        f->setAlignment(Qt::AlignCenter);
        f->setFixedWidth(f->fontMetrics().horizontalAdvance(i == 2 ? QStringLiteral("00000")
                                                                   : QStringLiteral("000")) +
                         10);
        f->installEventFilter(this);
        txtDateUnit_[static_cast<std::size_t>(index)] = f;
        connect(f, &QLineEdit::textEdited, this,
                [this, row] { touch(kRow0 << (row == 0 ? 0 : row + 3)); });
    }
    // The fields in the order the user writes dates; seconds only when shown.
    const int da = p_.settings.df.da;
    const int order[4][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}, {2, 0, 1}};
    const int* o = order[std::clamp(da, 0, 3)];
    for (int k = 0; k < 3; ++k) {
        if (k > 0) h->addWidget(new QLabel(QStringLiteral("/"), w));
        h->addWidget(txtDateUnit_[static_cast<std::size_t>(6 * row + o[k])]);
    }
    h->addSpacing(8);
    for (int k = 3; k < 6; ++k) {
        if (k > 3) h->addWidget(new QLabel(QStringLiteral(":"), w));
        h->addWidget(txtDateUnit_[static_cast<std::size_t>(6 * row + k)]);
    }
    // Tab goes along the row as it reads.
    const int visual[6] = {o[0], o[1], o[2], 3, 4, 5};
    for (int k = 0; k + 1 < 6; ++k)
        QWidget::setTabOrder(txtDateUnit_[static_cast<std::size_t>(6 * row + visual[k])],
                             txtDateUnit_[static_cast<std::size_t>(6 * row + visual[k + 1])]);
    auto* ampm = new QComboBox(w);
    ampm->setObjectName(QStringLiteral("cmbAmPm(%1)").arg(row));
    cmbAmPm_[static_cast<std::size_t>(row)] = ampm;
    h->addWidget(ampm);
    connect(ampm, &QComboBox::activated, this,
            [this, row] { touch(kRow0 << (row == 0 ? 0 : row + 3)); });
    auto* now = new QPushButton(QStringLiteral("Now"), w);
    now->setObjectName(QStringLiteral("cmdNow(%1)").arg(row));
    now->setAutoDefault(false);
    now->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    h->addWidget(now);
    connect(now, &QPushButton::clicked, this, [this, row] {
        writeRow(row, p_.now());
        touch(kRow0 << (row == 0 ? 0 : row + 3));
    });
    auto* pick = new QPushButton(QStringLiteral("..."), w);
    pick->setObjectName(QStringLiteral("cmdDateWindow(%1)").arg(row));
    pick->setAutoDefault(false);
    pick->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    pick->setFixedWidth(pick->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
    h->addWidget(pick);
    connect(pick, &QPushButton::clicked, this, [this, row, pick] {
        DateTime moment = readRow(row).value_or(p_.now());
        if (frmDateTime::pick(this, p_.translation, p_.ports.dateNames,
                              pick->mapToGlobal(QPoint(0, pick->height())), moment)) {
            writeRow(row, moment);
            touch(kRow0 << (row == 0 ? 0 : row + 3));
        }
    });
    h->addStretch(1);
    dateRow_[static_cast<std::size_t>(row)] = w;
    return w;
}

void frmAlarmProperties::build() {
    auto* top = new QGridLayout;
    lblAlarmName_ = new QLabel(QStringLiteral("&Name:"), this);
    lblAlarmName_->setObjectName(QStringLiteral("lblAlarmName"));
    txtAlarmName_ = new QLineEdit(this);
    txtAlarmName_->setObjectName(QStringLiteral("txtAlarmName"));
    lblAlarmName_->setBuddy(txtAlarmName_);
    connect(txtAlarmName_, &QLineEdit::textEdited, this, [this] { touch(kName); });
    lblAlarmgroup_ = new QLabel(QStringLiteral("Alarm &group:"), this);
    lblAlarmgroup_->setObjectName(QStringLiteral("lblAlarmgroup"));
    cmbAlarmgroup_ = new QComboBox(this);
    cmbAlarmgroup_->setObjectName(QStringLiteral("cmbAlarmgroup"));
    lblAlarmgroup_->setBuddy(cmbAlarmgroup_);
    connect(cmbAlarmgroup_, &QComboBox::activated, this, [this] { touch(kGroup); });
    connect(cmbAlarmgroup_, &QComboBox::activated, this, [this](int at) {
        if (at >= 0 && at < static_cast<int>(groups_.size()))
            daysOffRow_->showGroup(groups_[static_cast<std::size_t>(at)]);
    });
    top->addWidget(lblAlarmName_, 0, 0);
    top->addWidget(txtAlarmName_, 0, 1);
    top->addWidget(lblAlarmgroup_, 0, 2);
    top->addWidget(cmbAlarmgroup_, 0, 3);
    top->setColumnStretch(1, 3);
    top->setColumnStretch(3, 2);

    auto* moment = new QHBoxLayout;
    auto* lblMoment = new QLabel(QStringLiteral("&When:"), this);
    lblMoment->setObjectName(QStringLiteral("lblAlarmMoment"));
    cmbAlarmMoment_ = new QComboBox(this);
    cmbAlarmMoment_->setObjectName(QStringLiteral("cmbAlarmMoment"));
    lblMoment->setBuddy(cmbAlarmMoment_);
    connect(cmbAlarmMoment_, &QComboBox::currentIndexChanged, this, [this] {
        touch(kMoment);
        updateVisibility();
    });
    moment->addWidget(lblMoment);
    moment->addWidget(cmbAlarmMoment_);
    moment->addWidget(buildDateRow(0), 1);

    // The repeating part: period, restrictions.
    fraRepeat_ = new QWidget(this);
    fraRepeat_->setObjectName(QStringLiteral("fraRepeat"));
    auto* rep = new QGridLayout(fraRepeat_);
    rep->setContentsMargins(0, 0, 0, 0);
    rep->addLayout(amountRow(fraRepeat_, "lblPeriod", "e&very", "vnbPeriodAmount", "cmbPeriodUnit",
                             kPeriodAmount, kPeriodUnit, vnbPeriodAmount_, cmbPeriodUnit_),
                   0, 0, 1, 3);
    vnbPeriodAmount_->setMinValue(1);
    auto* lblInclude = new QLabel(QStringLiteral("Only:"), fraRepeat_);
    lblInclude->setObjectName(QStringLiteral("lblInclude"));
    rep->addWidget(lblInclude, 1, 0);
    const char* includeCaptions[3] = {"&between", "on these da&ys", "when the e&xpression holds:"};
    for (int i = 0; i < 3; ++i) {
        auto* c = new QCheckBox(QString::fromLatin1(includeCaptions[i]), fraRepeat_);
        c->setObjectName(QStringLiteral("chkActive(%1)").arg(i));
        chkActive_[static_cast<std::size_t>(i)] = c;
        connect(c, &QCheckBox::clicked, this, [this, i] {
            touch(i == 0 ? kInclude0 : i == 1 ? kInclude1 : kInclude2);
            updateVisibility();
        });
    }
    // The end of the range under its start, so the dialog stays narrow.
    rep->addWidget(chkActive_[0], 1, 1);
    rep->addWidget(buildDateRow(1), 1, 2);
    auto* lblAnd = new QLabel(QStringLiteral("and"), fraRepeat_);
    lblAnd->setObjectName(QStringLiteral("lblAnd"));
    lblAnd->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rep->addWidget(lblAnd, 2, 1);
    rep->addWidget(buildDateRow(2), 2, 2);
    auto* days = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        auto* c = new QCheckBox(fraRepeat_);
        c->setObjectName(QStringLiteral("chkWeekday(%1)").arg(i));
        chkWeekday_[static_cast<std::size_t>(i)] = c;
        days->addWidget(c);
        connect(c, &QCheckBox::clicked, this, [this] { touch(kWeekdays); });
    }
    days->addStretch(1);
    daysOffRow_ = new DaysOffAlarmRow(p_, kSection, fraRepeat_);
    days->addWidget(daysOffRow_->checkBox());
    rep->addWidget(chkActive_[1], 3, 1);
    rep->addLayout(days, 3, 2);
    txtAdvanced_ = new QLineEdit(fraRepeat_);
    txtAdvanced_->setObjectName(QStringLiteral("txtAdvanced"));
    connect(txtAdvanced_, &QLineEdit::textEdited, this, [this] { touch(kAdvanced); });
    rep->addWidget(chkActive_[2], 4, 1);
    buildRepetition();
    auto* advancedRow = new QHBoxLayout;
    advancedRow->addWidget(txtAdvanced_, 1);
    advancedRow->addWidget(cmdAdvancedHelp_);
    rep->addLayout(advancedRow, 4, 2);
    rep->addWidget(lblNextMoments_, 5, 2);
    rep->addWidget(daysOffRow_, 6, 2);
    rep->setColumnStretch(2, 1);

    QHBoxLayout* correction =
        amountRow(this, "lblCorrection", "Co&rrection:", "vnbCorrection", "cmbCorrectionUnit",
                  kCorrectionAmount, kCorrectionUnit, vnbCorrection_, cmbCorrectionUnit_);

    // Actions.
    auto* fraActions = new QGroupBox(QStringLiteral("Actions"), this);
    fraActions->setObjectName(QStringLiteral("fraActions"));
    auto* act = new QGridLayout(fraActions);
    lstActions_ = new QListWidget(fraActions);
    lstActions_->setObjectName(QStringLiteral("lstActions"));
    lstActions_->installEventFilter(this);
    act->addWidget(lstActions_, 0, 0, 6, 1);
    auto button = [&](const char* name, const char* caption, int row) {
        auto* b = new QPushButton(QString::fromLatin1(caption), fraActions);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        act->addWidget(b, row, 1);
        return b;
    };
    cmdNewAction_ = button("cmdNewAction", "&Add...", 0);
    cmdRemoveAction_ = button("cmdRemoveAction", "R&emove", 1);
    cmdUp_ = button("cmdUp", "&Up", 2);
    cmdDown_ = button("cmdDown", "D&own", 3);
    cmdTestAction_ = button("cmdTestAction", "&Test", 4);
    cmdRemoveAllActions_ = button("cmdRemoveAllActions", "Remove a&ll", 5);

    fraActionSettings_ = new QWidget(fraActions);
    fraActionSettings_->setObjectName(QStringLiteral("fraActionSettings"));
    auto* set = new QGridLayout(fraActionSettings_);
    set->setContentsMargins(0, 0, 0, 0);
    lblActionSetting_ = new QLabel(fraActionSettings_);
    lblActionSetting_->setObjectName(QStringLiteral("lblActionSetting"));
    lblActionSetting_->setWordWrap(true);
    set->addWidget(lblActionSetting_, 0, 0, 1, 4);
    txtMessage_ = new QPlainTextEdit(fraActionSettings_);
    txtMessage_->setObjectName(QStringLiteral("txtMessage"));
    txtMessage_->setTabChangesFocus(true);
    txtMessage_->setMinimumHeight(60);
    set->addWidget(txtMessage_, 1, 0, 1, 4);
    chkSnoozeOption_ = new QCheckBox(QStringLiteral("Show the snoo&ze row"), fraActionSettings_);
    chkSnoozeOption_->setObjectName(QStringLiteral("chkSnoozeOption"));
    set->addWidget(chkSnoozeOption_, 2, 0, 1, 4);
    txtLine_ = new QLineEdit(fraActionSettings_);
    txtLine_->setObjectName(QStringLiteral("txtLine"));
    set->addWidget(txtLine_, 3, 0, 1, 3);
    cmdBrowse_ = new QPushButton(QStringLiteral("..."), fraActionSettings_);
    cmdBrowse_->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse_->setAutoDefault(false);
    set->addWidget(cmdBrowse_, 3, 3);
    chkSoundWindow_ = new QCheckBox(QStringLiteral("Show the &player"), fraActionSettings_);
    chkSoundWindow_->setObjectName(QStringLiteral("chkSoundWindow"));
    set->addWidget(chkSoundWindow_, 4, 0, 1, 4);
    const char* loops[3] = {"times:", "for ever", "as often as the clock strikes"};
    for (int i = 0; i < 3; ++i) {
        auto* o = new QRadioButton(QString::fromLatin1(loops[i]), fraActionSettings_);
        o->setObjectName(QStringLiteral("optSoundLoop(%1)").arg(i));
        optSoundLoop_[static_cast<std::size_t>(i)] = o;
        connect(o, &QRadioButton::clicked, this, [this] { storeActionSetting(); });
    }
    vnbSoundLoop_ = new VNumberBox(fraActionSettings_);
    vnbSoundLoop_->setObjectName(QStringLiteral("vnbSoundLoop"));
    vnbSoundLoop_->setMinValue(1);
    vnbSoundLoop_->setMaxValue(32767);
    set->addWidget(optSoundLoop_[0], 5, 0);
    set->addWidget(vnbSoundLoop_, 5, 1);
    set->addWidget(optSoundLoop_[1], 5, 2);
    set->addWidget(optSoundLoop_[2], 5, 3);
    auto* intervalGroup = new QWidget(fraActionSettings_);
    auto* ih = new QHBoxLayout(intervalGroup);
    ih->setContentsMargins(0, 0, 0, 0);
    const char* intervals[2] = {"one after the other", "one every (ms):"};
    for (int i = 0; i < 2; ++i) {
        auto* o = new QRadioButton(QString::fromLatin1(intervals[i]), intervalGroup);
        o->setObjectName(QStringLiteral("optSoundLoopInterval(%1)").arg(i));
        optSoundLoopInterval_[static_cast<std::size_t>(i)] = o;
        ih->addWidget(o);
        connect(o, &QRadioButton::clicked, this, [this] { storeActionSetting(); });
    }
    vnbSoundLoopInterval_ = new VNumberBox(intervalGroup);
    vnbSoundLoopInterval_->setObjectName(QStringLiteral("vnbSoundLoopInterval"));
    vnbSoundLoopInterval_->setMinValue(1);
    vnbSoundLoopInterval_->setStepSize(500);
    ih->addWidget(vnbSoundLoopInterval_);
    ih->addStretch(1);
    set->addWidget(intervalGroup, 6, 0, 1, 4);
    lblActionSetting2_ = new QLabel(fraActionSettings_);
    lblActionSetting2_->setObjectName(QStringLiteral("lblActionSetting2"));
    txtDate_ = new QLineEdit(fraActionSettings_);
    txtDate_->setObjectName(QStringLiteral("txtDate"));
    cmdRefDateSelect_ = new QPushButton(QStringLiteral("..."), fraActionSettings_);
    cmdRefDateSelect_->setObjectName(QStringLiteral("cmdRefDateSelect"));
    cmdRefDateSelect_->setAutoDefault(false);
    cmdRefDateNow_ = new QPushButton(QStringLiteral("Now"), fraActionSettings_);
    cmdRefDateNow_->setObjectName(QStringLiteral("cmdRefDateNow"));
    cmdRefDateNow_->setAutoDefault(false);
    set->addWidget(lblActionSetting2_, 7, 0);
    set->addWidget(txtDate_, 7, 1);
    set->addWidget(cmdRefDateSelect_, 7, 2);
    set->addWidget(cmdRefDateNow_, 7, 3);
    set->setRowStretch(8, 1);
    act->addWidget(fraActionSettings_, 0, 2, 7, 1);
    act->setColumnStretch(0, 2);
    act->setColumnStretch(2, 3);

    // Other options.
    auto* fraOther = new QWidget(this);
    fraOther->setObjectName(QStringLiteral("fraOtherOptions"));
    auto* other = new QHBoxLayout(fraOther);
    other->setContentsMargins(0, 0, 0, 0);
    chkSoundAfterInactive_ =
        new QCheckBox(QStringLiteral("&Sound also after the computer was off"), fraOther);
    chkSoundAfterInactive_->setObjectName(QStringLiteral("chkSoundAfterInactive"));
    connect(chkSoundAfterInactive_, &QCheckBox::clicked, this,
            [this] { touch(kSoundAfterInactive); });
    other->addWidget(chkSoundAfterInactive_);
    other->addStretch(1);
    auto* lblImportance = new QLabel(QStringLiteral("&Importance:"), fraOther);
    lblImportance->setObjectName(QStringLiteral("lblImportance"));
    cmbImportance_ = new QComboBox(fraOther);
    cmbImportance_->setObjectName(QStringLiteral("cmbImportance"));
    lblImportance->setBuddy(cmbImportance_);
    connect(cmbImportance_, &QComboBox::activated, this, [this] { touch(kImportance); });
    other->addWidget(lblImportance);
    other->addWidget(cmbImportance_);
    QHBoxLayout* duration =
        amountRow(fraOther, "lblDuration", "&Duration:", "vnbDurationAmount", "cmbDurationUnit",
                  kDurationAmount, kDurationUnit, vnbDurationAmount_, cmbDurationUnit_);
    delete duration->takeAt(duration->count() - 1);  // no stretch at the end
    vnbDurationAmount_->setMinValue(0);
    other->addLayout(duration);

    cmdOk_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOk_->setObjectName(QStringLiteral("cmdOk"));
    cmdOk_->setDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    reminderRow_ = new RemindersRow(p_, this);
    connect(reminderRow_, &RemindersRow::edited, this, [this] { touch(kReminders); });
    buttons->addWidget(reminderRow_, 3);
    buttons->addStretch(1);
    buttons->addWidget(cmdOk_);
    buttons->addWidget(cmdCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(moment);
    layout->addWidget(repetitionPicker_);
    layout->addWidget(fraRepeat_);
    layout->addLayout(correction);
    layout->addWidget(fraActions, 1);
    layout->addWidget(fraOther);
    layout->addLayout(buttons);

    // Action list and settings.
    connect(lstActions_, &QListWidget::currentRowChanged, this, [this](int row) {
        storeActionSetting();
        currentAction_ = row >= 0 && row < static_cast<int>(actions_.size())
                             ? actions_[static_cast<std::size_t>(row)]
                             : nullptr;
        showActionSettings();
        updateVisibility();
    });
    auto* newMenu = new QMenu(cmdNewAction_);
    cmdNewAction_->setMenu(newMenu);
    connect(newMenu, &QMenu::aboutToShow, this, [this, newMenu] {
        newMenu->clear();
        for (const std::int16_t type : kBuiltInTypes) {
            QAction* a = newMenu->addAction(qs(p_.translation.getText(texts::kAction, type)));
            a->setToolTip(
                qs(p_.translation.readKey(texts::kAction, "d" + std::to_string(type), "")));
            connect(a, &QAction::triggered, this, [this, type] { addAction(type); });
        }
        // The actions of the plug-ins; their texts are plain, never access keys.
        clsPlugIn* host = plugInHostOf(p_);
        const StringVector none;
        const StringVector& ids = host ? host->plugIns(clsPlugIn::kAction) : none;
        if (ids.numberOfElements() > 0) newMenu->addSeparator();
        for (int i = 0; i < ids.numberOfElements(); ++i) {
            const std::string id = ids.stringAt(i);
            const std::string text = host->actionDescription(id);
            QAction* a = newMenu->addAction(
                qs(text.empty() ? id : text).replace(QLatin1Char('&'), QStringLiteral("&&")));
            connect(a, &QAction::triggered, this,
                    [this, id] { addAction(clsAction::kPlugIn, id); });
        }
        newMenu->addSeparator();
        QAction* more = newMenu->addAction(qs(p_.translation.getText("frmActions", 4)));
        connect(more, &QAction::triggered, this, [this] {
            frmActions w(p_, this);
            if (w.exec() != QDialog::Accepted) return;
            const ActionPtr a = w.getAction(alarms_.size() == 1 ? alarms_.front() : nullptr);
            if (a) addAction(a);
        });
    });
    connect(cmdRemoveAction_, &QPushButton::clicked, this, [this] {
        const int row = lstActions_->currentRow();
        if (row < 0 || row >= static_cast<int>(actions_.size())) return;
        currentAction_ = nullptr;
        actions_.erase(actions_.begin() + row);
        actionsChanged_ = true;
        showActions();
        lstActions_->setCurrentRow(std::min(row, static_cast<int>(actions_.size()) - 1));
    });
    connect(cmdUp_, &QPushButton::clicked, this, [this] { moveAction(-1); });
    connect(cmdDown_, &QPushButton::clicked, this, [this] { moveAction(1); });
    connect(cmdTestAction_, &QPushButton::clicked, this, [this] {
        storeActionSetting();
        if (!currentAction_) return;
        // A working copy belongs to no alarm yet, and a window shows an
        // alarm: it is tried as the (first) alarm is typed in the dialog, on
        // a copy, so its window shows the name typed and nothing reaches the alarm.
        if (!alarms_.empty()) {
            testAlarm_ = previewAlarms().front();
            currentAction_->al = testAlarm_;
        }
        currentAction_->doAction(p_.ctx, p_.now(), false);
    });
    connect(cmdRemoveAllActions_, &QPushButton::clicked, this, [this] {
        // With several alarms: their actions are replaced by this (empty) list.
        actions_.clear();
        currentAction_ = nullptr;
        actionsChanged_ = true;
        showActions();
        updateVisibility();
    });
    connect(txtMessage_, &QPlainTextEdit::textChanged, this, [this] { storeActionSetting(); });
    connect(txtLine_, &QLineEdit::textEdited, this, [this] { storeActionSetting(); });
    connect(txtDate_, &QLineEdit::textEdited, this, [this] { storeActionSetting(); });
    connect(chkSnoozeOption_, &QCheckBox::clicked, this, [this] { storeActionSetting(); });
    connect(chkSoundWindow_, &QCheckBox::clicked, this, [this] { storeActionSetting(); });
    connect(vnbSoundLoop_, &VNumberBox::changed, this, [this] { storeActionSetting(); });
    connect(vnbSoundLoopInterval_, &VNumberBox::changed, this, [this] { storeActionSetting(); });
    connect(cmdBrowse_, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QString(), txtLine_->text());
        if (file.isEmpty()) return;
        txtLine_->setText(file);
        storeActionSetting();
    });
    connect(cmdRefDateNow_, &QPushButton::clicked, this, [this] {
        txtDate_->setText(qs(formatDate(p_.now(), "dd/mm/yyyy hh:nn:ss", p_.ports.dateNames)));
        storeActionSetting();
    });
    connect(cmdRefDateSelect_, &QPushButton::clicked, this, [this] {
        DateTime moment = p_.now();
        if (!frmDateTime::pick(
                this, p_.translation, p_.ports.dateNames,
                cmdRefDateSelect_->mapToGlobal(QPoint(0, cmdRefDateSelect_->height())), moment))
            return;
        txtDate_->setText(qs(formatDate(moment, "dd-mm-yyyy hh:nn:ss", p_.ports.dateNames)));
        storeActionSetting();
    });
    connect(cmdOk_, &QPushButton::clicked, this, [this] {
        // Synchronised alarms are only shown: OK writes nothing.
        if (readOnly_) {
            accept();
            return;
        }
        // The alarms as OK would leave them, once for every check.
        const std::vector<AlarmPtr> previews = previewAlarms();
        if (!validate(previews) || !soundFilesFound()) return;
        if (currentAction_ && currentAction_->action == clsAction::kPlugIn &&
            !storePlugInSettings(currentAction_) &&
            ask(kPlugInSettingsUnusable, mb::kYesNo | mb::kExclamation) != mb::kAnswerYes)
            return;
        if (!mayNeverSound(previews)) return;
        commit();
        accept();
    });
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

    // Every text field selects its whole text when it gets the focus.
    for (QLineEdit* e : findChildren<QLineEdit*>()) e->installEventFilter(this);
    txtMessage_->installEventFilter(this);
}

// ---- Filling and reading ----------------------------------------------------------------

void frmAlarmProperties::translate() {
    const bool wasFilling = filling_;
    filling_ = true;
    auto refill = [](QComboBox* c, const QStringList& items) {
        const int at = c->currentIndex();
        c->clear();
        c->addItems(items);
        // A list left empty (several alarms that differ) stays empty.
        c->setCurrentIndex(at < 0 ? -1 : std::clamp(at, 0, static_cast<int>(items.size()) - 1));
    };
    refill(cmbAlarmMoment_, {text(31), text(32)});
    QStringList units;
    for (int i = 0; i < 7; ++i) units << qs(p_.translation.getString(unitCodeAt(i) + 1));
    refill(cmbPeriodUnit_, units);
    refill(cmbCorrectionUnit_, units);
    refill(cmbDurationUnit_, units);
    for (auto* c : cmbAmPm_) refill(c, {text(61), text(62)});
    QStringList importance;
    for (int n = 81; n <= 85; ++n) importance << text(n);
    refill(cmbImportance_, importance);
    // 5 January 2003 was a Sunday.
    for (int i = 0; i < 7; ++i)
        chkWeekday_[static_cast<std::size_t>(i)]->setText(qs(
            formatDate(DateTime::fromParts(2003, 1, 5 + i, 0, 0, 0), "ddd", p_.ports.dateNames)));
    translateRepetition();
    translateForm(this, p_.translation);
    reminderRow_->translate();
    updateTitle();
    if (currentAction_) showActionSettings();
    filling_ = wasFilling;
    updateVisibility();
}

void frmAlarmProperties::setAlarms(const std::vector<AlarmPtr>& alarms, int mode, bool readOnly) {
    alarms_ = alarms;
    mode_ = mode;
    readOnly_ = readOnly;
    filling_ = true;
    groups_.assign(p_.alarmGroups.begin(), p_.alarmGroups.end());
    cmbAlarmgroup_->clear();
    for (const AlarmGroupPtr& g : groups_) cmbAlarmgroup_->addItem(qs(g->name));
    lblAlarmgroup_->setVisible(mode != kTemplate);
    cmbAlarmgroup_->setVisible(mode != kTemplate);
    actions_.clear();
    currentAction_ = nullptr;
    if (!alarms.empty()) {
        loadAlarm(*alarms.front());
        if (mode == kNew &&
            readRow(0).value_or(kNever) >= DateTime::fromParts(9999, 1, 1, 0, 0, 0)) {
            // A new alarm starts at the next full hour, not at "never".
            const DateTime soon = addToDate(p_.now(), 1, kHours);
            writeRow(0,
                     DateTime::fromParts(soon.year(), soon.month(), soon.day(), soon.hour(), 0, 0));
        }
        const AlarmGroupPtr g = alarms.front()->parentGroup();
        const auto at = std::find(groups_.begin(), groups_.end(), g);
        cmbAlarmgroup_->setCurrentIndex(
            at == groups_.end() ? -1 : static_cast<int>(at - groups_.begin()));
        if (alarms.size() > 1) showMixed();
    }
    daysOffRow_->load(alarms);
    updateTitle();
    if (alarms.size() == 1) {
        // Working copies: nothing reaches the alarm before OK.
        for (const ActionPtr& a : alarms.front()->actions)
            actions_.push_back(clsAction::createFromXML(*a->toXML("action")));
        actionsChanged_ = true;
    } else {
        actionsChanged_ = false;
    }
    cmdRemoveAllActions_->setVisible(alarms.size() != 1);
    showActions();
    if (!actions_.empty()) lstActions_->setCurrentRow(0);
    changedFields_ = 0;
    filling_ = false;
    showRepetition();
    updateVisibility();
}

void frmAlarmProperties::loadAlarm(const Alarm& a) {
    const bool wasFilling = filling_;
    filling_ = true;
    txtAlarmName_->setText(qs(a.name));
    cmbAlarmMoment_->setCurrentIndex(a.momentKind == Alarm::kPeriodic ? 1 : 0);
    writeRow(0, a.momentKind == Alarm::kPeriodic ? a.nextDate : a.onceDate);
    vnbPeriodAmount_->setValue(std::max<std::int32_t>(1, a.everyAmount));
    cmbPeriodUnit_->setCurrentIndex(positionOfUnit(a.everyUnit));
    chkActive_[0]->setChecked(a.activePeriod & Alarm::kRestrictDates);
    chkActive_[1]->setChecked(a.activePeriod & Alarm::kRestrictWeekdays);
    chkActive_[2]->setChecked(a.activePeriod & Alarm::kRestrictExpression);
    writeRow(1, a.startDate);
    writeRow(2, a.endDate);
    for (int i = 0; i < 7; ++i)
        chkWeekday_[static_cast<std::size_t>(i)]->setChecked((a.weekDays >> i) & 1);
    txtAdvanced_->setText(qs(a.activeAdvanced));
    vnbCorrection_->setValue(a.correctionAmount);
    cmbCorrectionUnit_->setCurrentIndex(positionOfUnit(a.correctionUnit));
    chkSoundAfterInactive_->setChecked(a.soundAfterInactive);
    cmbImportance_->setCurrentIndex(std::clamp(2 - a.importance, 0, 4));
    vnbDurationAmount_->setValue(a.durationAmount);
    cmbDurationUnit_->setCurrentIndex(positionOfUnit(a.durationUnit));
    reminderRow_->setReminders(a.reminders);
    filling_ = wasFilling;
}

void frmAlarmProperties::updateTitle() {
    QString title = qs(p_.translation.readKey(kSection, kSection, "Alarm properties"));
    // Several alarms: the title says how many.
    if (alarms_.size() > 1)
        title += QStringLiteral(" - ") +
                 text(kSeveralAlarms).replace(QStringLiteral("#1"), QString::number(alarms_.size()));
    setWindowTitle(title);
}

void frmAlarmProperties::showMixed() {
    // Where the alarms differ the field shows nothing (a box half checked):
    // left so, each alarm keeps its own value.
    const Alarm& first = *alarms_.front();
    auto differs = [&](auto value) {
        return std::any_of(alarms_.begin(), alarms_.end(),
                           [&](const AlarmPtr& a) { return value(*a) != value(first); });
    };
    auto blank = [this](QLineEdit* field) {
        field->clear();
        field->setPlaceholderText(text(kDiffers));
    };
    auto halfChecked = [](QCheckBox* box) {
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
        // Once clicked, it is on or off for all of them.
        connect(
            box, &QCheckBox::clicked, box, [box] { box->setTristate(false); },
            Qt::SingleShotConnection);
    };
    if (differs([](const Alarm& a) { return a.name; })) blank(txtAlarmName_);
    if (differs([](const Alarm& a) { return a.momentKind; })) cmbAlarmMoment_->setCurrentIndex(-1);
    const DateTime Alarm::* rows[3] = {nullptr, &Alarm::startDate, &Alarm::endDate};
    for (int row = 0; row < 3; ++row) {
        const bool mixed =
            row == 0 ? differs([](const Alarm& a) {
                return a.momentKind == Alarm::kPeriodic ? a.nextDate : a.onceDate;
            })
                     : differs([&](const Alarm& a) { return a.*rows[row]; });
        if (!mixed) continue;
        for (int i = 0; i < 6; ++i) txtDateUnit_[static_cast<std::size_t>(6 * row + i)]->clear();
    }
    if (differs([](const Alarm& a) { return a.everyAmount; }))
        blank(vnbPeriodAmount_->textField());
    if (differs([](const Alarm& a) { return a.everyUnit; })) cmbPeriodUnit_->setCurrentIndex(-1);
    const std::int16_t includeBits[3] = {Alarm::kRestrictDates, Alarm::kRestrictWeekdays,
                                         Alarm::kRestrictExpression};
    for (int i = 0; i < 3; ++i)
        if (differs([&](const Alarm& a) { return (a.activePeriod & includeBits[i]) != 0; }))
            halfChecked(chkActive_[static_cast<std::size_t>(i)]);
    for (int i = 0; i < 7; ++i)
        if (differs([&](const Alarm& a) { return (a.weekDays >> i) & 1; }))
            halfChecked(chkWeekday_[static_cast<std::size_t>(i)]);
    if (differs([](const Alarm& a) { return a.activeAdvanced; })) blank(txtAdvanced_);
    if (differs([](const Alarm& a) { return a.correctionAmount; }))
        blank(vnbCorrection_->textField());
    if (differs([](const Alarm& a) { return a.correctionUnit; }))
        cmbCorrectionUnit_->setCurrentIndex(-1);
    if (differs([](const Alarm& a) { return a.soundAfterInactive; }))
        halfChecked(chkSoundAfterInactive_);
    if (differs([](const Alarm& a) { return a.importance; })) cmbImportance_->setCurrentIndex(-1);
    if (differs([](const Alarm& a) { return a.durationAmount; }))
        blank(vnbDurationAmount_->textField());
    if (differs([](const Alarm& a) { return a.durationUnit; }))
        cmbDurationUnit_->setCurrentIndex(-1);
    if (differs([](const Alarm& a) { return a.reminders; })) reminderRow_->showMixed(text(kDiffers));
    if (differs([](const Alarm& a) { return a.parentGroup(); }))
        cmbAlarmgroup_->setCurrentIndex(-1);
}

void frmAlarmProperties::touch(std::uint32_t field) {
    if (!filling_) changedFields_ |= field;
    if (!filling_ && (field & kTiming)) timingEdited();
}

std::optional<DateTime> frmAlarmProperties::readRow(int row) const {
    auto field = [&](int i) {
        bool ok = false;
        const int v = txtDateUnit_[static_cast<std::size_t>(6 * row + i)]->text().toInt(&ok);
        return ok ? v : -1;
    };
    const int day = field(0), month = field(1);
    int year = field(2), hour = field(3);
    const int minute = field(4);
    const int second = p_.settings.df.sc == 1 ? field(5) : 0;
    if (year >= 0 && year < 100) year += 2000;
    if (p_.settings.df.ti == 1) {
        // 12 AM is midnight, 12 PM noon.
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (cmbAmPm_[static_cast<std::size_t>(row)]->currentIndex() == 1 ? 12 : 0);
    }
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > QDate(year, month, 1).daysInMonth() || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return DateTime::fromParts(year, month, day, hour, minute, second);
}

void frmAlarmProperties::writeRow(int row, DateTime d) {
    const bool wasFilling = filling_;
    filling_ = true;
    int hour = d.hour();
    if (p_.settings.df.ti == 1) {
        cmbAmPm_[static_cast<std::size_t>(row)]->setCurrentIndex(hour >= 12 ? 1 : 0);
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }
    const int parts[6] = {d.day(), d.month(), d.year(), hour, d.minute(), d.second()};
    for (int i = 0; i < 6; ++i)
        txtDateUnit_[static_cast<std::size_t>(6 * row + i)]->setText(
            i == 2 ? QString::number(parts[i]) : twoDigits(parts[i]));
    filling_ = wasFilling;
}

void frmAlarmProperties::rowFromClipboard(int row) {
    const std::string clip = ss(QApplication::clipboard()->text()).substr(0, 64);
    std::optional<DateTime> d = parseStoredText(clip);
    if (!d) {
        // The row's own form: "d/m/y h:n[:s]", or a time alone.
        const QString t = qs(clip).trimmed();
        for (const char* f : {"d/M/yyyy H:m:s", "d/M/yyyy H:m", "d/M/yyyy"}) {
            const QDateTime q = QDateTime::fromString(t, QString::fromLatin1(f));
            if (q.isValid()) {
                d = fromQDateTime(q);
                break;
            }
        }
        // A time alone: read as a time, not as a moment on 1 January 1900.
        for (const char* f : {"H:m:s", "H:m"}) {
            const QTime time = QTime::fromString(t, QString::fromLatin1(f));
            if (d || !time.isValid()) continue;
            d = DateTime::fromParts(1899, 12, 30, time.hour(), time.minute(), time.second());
        }
    }
    if (!d) return;
    if (d->seconds() >= 0 && d->seconds() < 86400) {
        // A time alone keeps the row's date.
        const DateTime base = readRow(row).value_or(p_.now());
        d = DateTime::fromParts(base.year(), base.month(), base.day(), d->hour(), d->minute(),
                                d->second());
    }
    writeRow(row, *d);
    touch(kRow0 << (row == 0 ? 0 : row + 3));
}

// ---- Visibility --------------------------------------------------------------------------

void frmAlarmProperties::updateVisibility() {
    const bool repeating = cmbAlarmMoment_->currentIndex() == 1;
    fraRepeat_->setVisible(repeating);
    repetitionPicker_->setVisible(repeating);
    // The start and end rows only where a date range is asked for.
    const bool range = chkActive_[0]->checkState() != Qt::Unchecked;
    dateRow_[1]->setVisible(range);
    dateRow_[2]->setVisible(range);
    if (auto* lblAnd = findChild<QLabel*>(QStringLiteral("lblAnd"))) lblAnd->setVisible(range);
    for (QCheckBox* c : chkWeekday_) c->setEnabled(chkActive_[1]->checkState() != Qt::Unchecked);
    txtAdvanced_->setEnabled(chkActive_[2]->checkState() != Qt::Unchecked);
    const bool selected = currentAction_ != nullptr;
    cmdRemoveAction_->setEnabled(selected);
    cmdTestAction_->setEnabled(selected);
    cmdUp_->setEnabled(selected && lstActions_->currentRow() > 0);
    cmdDown_->setEnabled(selected &&
                         lstActions_->currentRow() + 1 < static_cast<int>(actions_.size()));
    const bool ampm = p_.settings.df.ti == 1;
    const bool seconds = p_.settings.df.sc == 1;
    for (int r = 0; r < 3; ++r) {
        cmbAmPm_[static_cast<std::size_t>(r)]->setVisible(ampm);
        txtDateUnit_[static_cast<std::size_t>(6 * r + 5)]->setVisible(seconds);
    }
    if (readOnly_) {
        for (QWidget* w : findChildren<QWidget*>()) {
            if (qobject_cast<QPushButton*>(w) || w == this) continue;
            if (qobject_cast<QLineEdit*>(w) || qobject_cast<QCheckBox*>(w) ||
                qobject_cast<QComboBox*>(w) || qobject_cast<QRadioButton*>(w) ||
                qobject_cast<QPlainTextEdit*>(w) || qobject_cast<VNumberBox*>(w))
                w->setEnabled(false);
        }
        cmdNewAction_->setEnabled(false);
        cmdRemoveAction_->setEnabled(false);
        cmdRemoveAllActions_->setEnabled(false);
        cmdUp_->setEnabled(false);
        cmdDown_->setEnabled(false);
    }
}

// ---- Actions -------------------------------------------------------------------------------

void frmAlarmProperties::showActions() {
    const QSignalBlocker block(lstActions_);
    lstActions_->clear();
    for (const ActionPtr& a : actions_) lstActions_->addItem(qs(a->getDescription(p_.ctx)));
    const auto at = std::find(actions_.begin(), actions_.end(), currentAction_);
    lstActions_->setCurrentRow(at == actions_.end() ? -1 : static_cast<int>(at - actions_.begin()));
    showActionSettings();
}

void frmAlarmProperties::addAction(std::int16_t type, const std::string& plugin) {
    const AlarmPtr owner = alarms_.size() == 1 ? alarms_.front() : nullptr;
    ActionPtr a = clsAction::Create(p_.ctx, owner, type);
    a->plugin = plugin;
    addAction(a);
}

void frmAlarmProperties::addAction(const ActionPtr& action) {
    storeActionSetting();
    actions_.push_back(action);
    actionsChanged_ = true;
    currentAction_ = actions_.back();
    showActions();
    updateVisibility();
}

void frmAlarmProperties::moveAction(int by) {
    const int row = lstActions_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= static_cast<int>(actions_.size())) return;
    std::swap(actions_[static_cast<std::size_t>(row)], actions_[static_cast<std::size_t>(to)]);
    actionsChanged_ = true;
    showActions();
    updateVisibility();
}

void frmAlarmProperties::showActionSettings() {
    const bool wasFilling = filling_;
    filling_ = true;
    const ActionPtr a = currentAction_;
    const int type = a ? a->action : 0;
    const XMLNodePtr s = a && a->settings ? a->settings : XMLNode::Create("sett");
    const bool message = type >= 1 && type <= 3;
    const bool sound = type == 7 || type == 8;
    const bool line = sound || (type >= 9 && type <= 15);
    const bool reference = type == 10 || type == 11;
    int label = 0;
    if (message)
        label = 201;
    else if (type >= 4 && type <= 7)
        label = 198 + type;  // 202..205
    else if (type == 8)
        label = 205;
    else if (type >= 9 && type <= 11)
        label = 206;
    else if (type >= 12 && type <= 15)
        label = 207;
    lblActionSetting_->setText(label ? text(label) : QString());
    lblActionSetting_->setVisible(label != 0);
    txtMessage_->setVisible(message);
    chkSnoozeOption_->setVisible(type == 1 || type == 3);
    txtLine_->setVisible(line);
    cmdBrowse_->setVisible(sound);
    chkSoundWindow_->setVisible(sound);
    for (QRadioButton* o : optSoundLoop_) o->setVisible(type == 8);
    vnbSoundLoop_->setVisible(type == 8);
    for (QRadioButton* o : optSoundLoopInterval_) o->parentWidget()->setVisible(type == 8);
    lblActionSetting2_->setVisible(reference);
    lblActionSetting2_->setText(text(221));
    txtDate_->setVisible(reference);
    cmdRefDateSelect_->setVisible(reference);
    cmdRefDateNow_->setVisible(reference);
    if (message) {
        if (txtMessage_->toPlainText() != qs(s->getString("s")))
            txtMessage_->setPlainText(qs(s->getString("s")));
        chkSnoozeOption_->setChecked(s->getInteger("i", 0) != 0);
    }
    if (line) txtLine_->setText(qs(s->getString("s")));
    if (sound) chkSoundWindow_->setChecked(s->getInteger("i", 0) != 0);
    if (type == 8) {
        optSoundLoop_[static_cast<std::size_t>(std::clamp<int>(s->getInteger("i", 1), 0, 2))]
            ->setChecked(true);
        vnbSoundLoop_->setValue(s->getInteger("i", 2, 1));
        optSoundLoopInterval_[s->getInteger("i", 3) == 1 ? 1 : 0]->setChecked(true);
        vnbSoundLoopInterval_->setValue(s->getLong("l", 0, 1000));
    }
    if (reference) txtDate_->setText(qs(s->getString("d")));
    showPlugInControl(type == clsAction::kPlugIn ? a : nullptr);
    filling_ = wasFilling;
}

void frmAlarmProperties::showPlugInControl(const ActionPtr& action) {
    if (action && action == controlAction_) return;
    delete actionSettingsControl_;
    actionSettingsControl_ = nullptr;
    controlAction_ = nullptr;
    clsPlugIn* host = plugInHostOf(p_);
    if (!action || !host || action->plugin.find('*') == std::string::npos) return;
    const std::string name =
        host->commonMethodCall(action->plugin, "GetSettingsControlName", "name");
    if (name.empty()) return;
    QObject* object = host->createObject(action->plugin.substr(0, action->plugin.find('*')), name);
    auto* control = qobject_cast<QWidget*>(object);
    if (!control) {
        delete object;
        return;
    }
    control->setObjectName(QStringLiteral("actionSettingsControl"));
    control->setParent(fraActionSettings_);
    auto* grid = static_cast<QGridLayout*>(fraActionSettings_->layout());
    grid->addWidget(control, grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
    control->show();
    actionSettingsControl_ = control;
    controlAction_ = action;
    host->plugInMethodCall(
        control,
        host->controlRequest(action->plugin, "SetSettings",
                             action->settings ? action->settings : XMLNode::Create("sett")));
}

bool frmAlarmProperties::storePlugInSettings(const ActionPtr& action) {
    clsPlugIn* host = plugInHostOf(p_);
    if (!host || !actionSettingsControl_ || action != controlAction_) return true;
    const XMLNodePtr root = XMLNode::createFromXML(host->plugInMethodCall(
        actionSettingsControl_, host->controlRequest(action->plugin, "GetSettings", nullptr)));
    const XMLNodePtr sett = root->findNode("sett");
    if (!sett) return false;
    if (!action->settings || action->settings->toString() != sett->toString()) {
        action->settings = sett->getCopy();
        actionsChanged_ = true;
    }
    return true;
}

void frmAlarmProperties::storeActionSetting() {
    if (filling_ || !currentAction_) return;
    const ActionPtr a = currentAction_;
    if (a->action == clsAction::kPlugIn) {
        (void)storePlugInSettings(a);  // OK asks when they cannot be read
        return;
    }
    if (!a->settings) a->settings = XMLNode::Create("sett");
    XMLNode& s = *a->settings;
    const int type = a->action;
    if (type >= 1 && type <= 3) s.setString("s", ss(txtMessage_->toPlainText()));
    if (type == 1 || type == 3) s.setInteger("i", chkSnoozeOption_->isChecked() ? 1 : 0, 0);
    if (type >= 7 && type <= 15) s.setString("s", ss(txtLine_->text()));
    if (type == 7 || type == 8) s.setInteger("i", chkSoundWindow_->isChecked() ? 1 : 0, 0);
    if (type == 8) {
        int loop = 0;
        for (int i = 0; i < 3; ++i)
            if (optSoundLoop_[static_cast<std::size_t>(i)]->isChecked()) loop = i;
        s.setInteger("i", static_cast<std::int16_t>(loop), 1);
        s.setInteger("i", static_cast<std::int16_t>(std::clamp(vnbSoundLoop_->value(), 1, 32767)),
                     2);
        s.setInteger("i", optSoundLoopInterval_[1]->isChecked() ? 1 : 0, 3);
        s.setLong("l", vnbSoundLoopInterval_->value(), 0);
    }
    if (type == 10 || type == 11) s.setString("d", ss(txtDate_->text()));
    // The list shows what the action does now.
    const auto at = std::find(actions_.begin(), actions_.end(), a);
    if (at != actions_.end())
        if (QListWidgetItem* item = lstActions_->item(static_cast<int>(at - actions_.begin())))
            item->setText(qs(a->getDescription(p_.ctx)));
}

// ---- OK ------------------------------------------------------------------------------------

bool frmAlarmProperties::validate(const std::vector<AlarmPtr>& previews) {
    const std::uint32_t fields = fieldsToApply();
    for (int row = 0; row < 3; ++row) {
        if (!(fields & (kRow0 << (row == 0 ? 0 : row + 3))) || readRow(row)) continue;
        ask(1, mb::kExclamation);
        QLineEdit* year = txtDateUnit_[static_cast<std::size_t>(6 * row + 2)];
        year->setFocus();
        year->selectAll();
        return false;
    }
    for (QLineEdit* e : {txtAlarmName_, txtAdvanced_}) {
        const QString t = e->text();
        if (t.contains(QChar(0)) || t.contains(QChar(1)) || t.contains(QChar(2))) {
            ask(2, mb::kExclamation);
            e->setFocus();
            return false;
        }
    }
    // An expression that cannot be read would silence the alarm for good,
    // however many alarms get it.
    if (fields & (kAdvanced | kInclude2)) {
        for (const AlarmPtr& a : previews) {
            if (a->momentKind != Alarm::kPeriodic || !(a->activePeriod & Alarm::kRestrictExpression))
                continue;
            try {
                AdvancedDateProgram check(a->activeAdvanced);
                (void)check.evaluate(p_.now());
            } catch (const AdvancedDateError& e) {
                // Its fault in the program's language (texts 100 onwards).
                ask(3, mb::kExclamation,
                    "\n" + p_.translation.getText(kSection, kFaultTexts + static_cast<int>(e.fault())));
                txtAdvanced_->setFocus();
                return false;
            }
        }
    }
    if (cmbAlarmMoment_->currentIndex() == 1 &&
        (fields & (kMoment | kPeriodAmount | kPeriodUnit | kSoundAfterInactive))) {
        const DateTime now = p_.now();
        const DateTime next =
            addToDate(now, vnbPeriodAmount_->value(), unitCodeAt(cmbPeriodUnit_->currentIndex()));
        const std::int64_t period = next.seconds() - now.seconds();
        if (period < 60 && ask(4, mb::kYesNo | mb::kExclamation) != mb::kAnswerYes) return false;
        if (chkSoundAfterInactive_->isChecked() && period < 86400 &&
            ask(5, mb::kYesNo | mb::kExclamation) != mb::kAnswerYes)
            return false;
    }
    const int groupAt = cmbAlarmgroup_->currentIndex();
    if (mode_ != kTemplate && (fields & kGroup) && groupAt >= 0 &&
        groupAt < static_cast<int>(groups_.size())) {
        // One question for the whole move.
        const AlarmGroupPtr& g = groups_[static_cast<std::size_t>(groupAt)];
        const bool arrives = std::any_of(alarms_.begin(), alarms_.end(), [&](const AlarmPtr& a) {
            return mode_ == kNew || a->parentGroup() != g;
        });
        if (arrives && !mayPutAlarmsInto(p_, g)) {
            cmbAlarmgroup_->setFocus();
            return false;
        }
    }
    return true;
}

std::vector<AlarmPtr> frmAlarmProperties::previewAlarms() const {
    std::vector<AlarmPtr> out;
    for (const AlarmPtr& a : alarms_) {
        const AlarmPtr copy = Alarm::createFromXML(*a->toXML("alrm"), a->parentGroup());
        applyFields(*copy, fieldsToApply());
        out.push_back(copy);
    }
    return out;
}

bool frmAlarmProperties::mayNeverSound(const std::vector<AlarmPtr>& previews) {
    // A template is no alarm; several alarms are asked about only when their
    // timing or their name was edited.
    if (mode_ == kTemplate) return true;
    const std::uint32_t fields = fieldsToApply();
    auto back = [](QWidget* field) {
        field->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(field)) line->selectAll();
        return false;
    };
    if ((fields & kName) && txtAlarmName_->text().trimmed().isEmpty() &&
        ask(kNameEmpty, mb::kYesNo | mb::kExclamation) != mb::kAnswerYes)
        return back(txtAlarmName_);
    if (!(fields & kTiming)) return true;
    const DateTime now = p_.now();
    for (const AlarmPtr& a : previews) {
        bool sounds = false;
        try {
            // A search that gave up found no moment its restrictions allow.
            sounds = a->hasNextAlarmDateAfter(now, false) && !a->lastQueryGaveUp();
        } catch (const AdvancedDateError&) {
            sounds = false;
        }
        if (sounds) continue;
        const bool expression = a->momentKind == Alarm::kPeriodic &&
                                (a->activePeriod & Alarm::kRestrictExpression);
        if (ask(expression ? kExpressionNeverMet : kNoFutureMoment,
                mb::kYesNo | mb::kExclamation) == mb::kAnswerYes)
            return true;
        if (expression) return back(txtAdvanced_);
        // A range that has ended is mended at its end, anything else at the moment.
        const bool ended = a->momentKind == Alarm::kPeriodic &&
                           (a->activePeriod & Alarm::kRestrictDates) && a->endDate <= now;
        return back(txtDateUnit_[ended ? 6 * 2 + 2 : 2]);
    }
    return true;
}

bool frmAlarmProperties::soundFilesFound() {
    if (!actionsChanged_) return true;
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        const ActionPtr& a = actions_[i];
        if (a->action != clsAction::kPlaySound && a->action != clsAction::kPlaySoundRepeatedly)
            continue;
        // No file at all means the default sound; a file that is not there
        // would leave the alarm to the default sound (or a beep) unnoticed.
        const std::string pattern = a->settings->getString("s", 0, "");
        if (pattern.empty() || !listMatchingFiles(pattern).empty()) continue;
        if (p_.main.showMessageBox(
                texts::fill(p_.translation.getText(kSection, kSoundFileMissing), {pattern}),
                mb::kYesNo | mb::kQuestion) == mb::kAnswerYes)
            continue;
        lstActions_->setCurrentRow(static_cast<int>(i));
        txtLine_->setFocus();
        txtLine_->selectAll();
        return false;
    }
    return true;
}

bool frmAlarmProperties::mayPutAlarmsInto(Program& program, const AlarmGroupPtr& group) {
    // A synchronised group gets its alarms from its synchronisation, which
    // replaces them: an alarm put there by hand would be gone after the next one.
    if (!group || group->synchPlugin.empty()) return true;
    return program.main.showMessageBox(
               texts::fill(program.translation.getText(kSection, kIntoSynchronisedGroup),
                           {group->name}),
               mb::kYesNo | mb::kExclamation) == mb::kAnswerYes;
}

void frmAlarmProperties::applyFields(Alarm& alarm, std::uint32_t fields) const {
    Alarm* const a = &alarm;
    if (fields & kName) a->name = ss(txtAlarmName_->text());
    if (fields & kMoment)
        a->momentKind = cmbAlarmMoment_->currentIndex() == 1 ? Alarm::kPeriodic : Alarm::kOnce;
    if (fields & kRow0) {
        if (const auto d = readRow(0)) {
            a->onceDate = *d;
            a->nextDate = *d;
        }
    }
    if (fields & kPeriodAmount)
        a->everyAmount = std::max<std::int32_t>(1, vnbPeriodAmount_->value());
    if (fields & kPeriodUnit)
        a->everyUnit = static_cast<std::int16_t>(unitCodeAt(cmbPeriodUnit_->currentIndex()));
    auto setBit = [&](std::int16_t bit, bool on) {
        a->activePeriod =
            static_cast<std::int16_t>(on ? (a->activePeriod | bit) : (a->activePeriod & ~bit));
    };
    if (fields & kInclude0) setBit(Alarm::kRestrictDates, chkActive_[0]->isChecked());
    if (fields & kRow1)
        if (const auto d = readRow(1)) a->startDate = *d;
    if (fields & kRow2)
        if (const auto d = readRow(2)) a->endDate = *d;
    if (fields & kInclude1) setBit(Alarm::kRestrictWeekdays, chkActive_[1]->isChecked());
    if (fields & kWeekdays) {
        // A day still half checked keeps each alarm's own.
        std::int16_t days = 0;
        for (int i = 0; i < 7; ++i) {
            const Qt::CheckState state = chkWeekday_[static_cast<std::size_t>(i)]->checkState();
            const bool on = state == Qt::PartiallyChecked ? ((a->weekDays >> i) & 1) != 0
                                                           : state == Qt::Checked;
            if (on) days = static_cast<std::int16_t>(days | (1 << i));
        }
        a->weekDays = days;
    }
    if (fields & kInclude2) setBit(Alarm::kRestrictExpression, chkActive_[2]->isChecked());
    if (fields & kAdvanced) a->activeAdvanced = ss(txtAdvanced_->text());
    if (fields & kCorrectionAmount) a->correctionAmount = vnbCorrection_->value();
    if (fields & kCorrectionUnit)
        a->correctionUnit =
            static_cast<std::int16_t>(unitCodeAt(cmbCorrectionUnit_->currentIndex()));
    if (fields & kSoundAfterInactive)
        a->soundAfterInactive = chkSoundAfterInactive_->isChecked();
    if (fields & kImportance)
        a->importance = static_cast<std::int16_t>(2 - cmbImportance_->currentIndex());
    if (fields & kDurationAmount) a->durationAmount = vnbDurationAmount_->value();
    if (fields & kDurationUnit)
        a->durationUnit =
            static_cast<std::int16_t>(unitCodeAt(cmbDurationUnit_->currentIndex()));
    if (fields & kReminders) a->reminders = reminderRow_->reminders();
    if (a->endDate < a->startDate) std::swap(a->startDate, a->endDate);
}

void frmAlarmProperties::commit() {
    storeActionSetting();
    const std::uint32_t fields = fieldsToApply();
    const int groupAt = cmbAlarmgroup_->currentIndex();
    // The group changes only when the user chose one: several alarms of
    // several groups otherwise stay where they are.
    const AlarmGroupPtr chosen =
        mode_ != kTemplate && (fields & kGroup) && groupAt >= 0 &&
                groupAt < static_cast<int>(groups_.size())
            ? groups_[static_cast<std::size_t>(groupAt)]
            : nullptr;
    for (const AlarmPtr& a : alarms_) {
        const AlarmGroupPtr old = a->parentGroup();
        if (chosen && chosen != old) {
            if (mode_ == kEdit) {
                if (old) {
                    old->alarms.remove(a);
                    old->setChanged();
                }
                chosen->addAlarm(a);
                chosen->setChanged();
            }
            a->parent = chosen;
        }
        applyFields(*a, fields);
        daysOffRow_->apply(*a);
        if (actionsChanged_) {
            // Every alarm owns its own copies.
            a->actions.clear();
            for (const ActionPtr& x : actions_) {
                const ActionPtr copy = clsAction::createFromXML(*x->toXML("action"));
                copy->al = a;
                a->actions.addElement(copy);
            }
        }
        a->invalidateCaches();
        if (mode_ != kTemplate && alarms_.size() == 1) postCommitChecks(a);
    }
    if (mode_ != kTemplate && daysOffRow_->touched()) refreshDaysOffSoon(p_, alarms_);
}

void frmAlarmProperties::postCommitChecks(const AlarmPtr& alarm) {
    alarm->setChanged();
    const AlarmGroupPtr g = alarm->parentGroup();
    if (g && !g->Active && ask(9, mb::kYesNo | mb::kQuestion) == mb::kAnswerYes) {
        g->Active = true;
        g->setChanged();
    }
    if (!alarm->Active && ask(10, mb::kYesNo | mb::kQuestion) == mb::kAnswerYes)
        alarm->Active = true;
    if (p_.settings.odt) {
        // A new alarm is not in its group yet: it is compared with all the others.
        const std::vector<AlarmPtr> others = p_.control.overlappingAlarms(alarm);
        if (!others.empty()) {
            std::string names;
            for (const AlarmPtr& o : others) names += "\n" + o->name;
            ask(14, mb::kInformation, names);
        }
    }
}

// ---- Keys ------------------------------------------------------------------------------------

void frmAlarmProperties::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !txtMessage_->hasFocus()) {
        cmdOk_->click();
        return;
    }
    if (event->key() == Qt::Key_T && (event->modifiers() & Qt::ControlModifier) &&
        mode_ != kTemplate) {
        const int at = cmbAlarmgroup_->currentIndex();
        if (at >= 0 && at < static_cast<int>(groups_.size())) {
            const AlarmGroupPtr& group = groups_[static_cast<std::size_t>(at)];
            const AlarmPtr t = group->getTemplateAlarm(p_.ctx);
            loadAlarm(*t);
            daysOffRow_->takeFrom(*t, group);
            changedFields_ = kAll;
            actions_.clear();
            for (const ActionPtr& a : t->actions)
                actions_.push_back(clsAction::createFromXML(*a->toXML("action")));
            actionsChanged_ = true;
            currentAction_ = actions_.empty() ? nullptr : actions_.front();
            showActions();
            showRepetition();
            updateVisibility();
        }
        return;
    }
    if (event->key() == Qt::Key_F1) {
        openExpressionHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool frmAlarmProperties::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto* e = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, e, [e] { e->selectAll(); });
        if (watched == txtMessage_)
            QTimer::singleShot(0, txtMessage_, [t = txtMessage_] { t->selectAll(); });
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == lstActions_ && key->key() == Qt::Key_Delete) {
            cmdRemoveAction_->click();
            return true;
        }
        for (int i = 0; i < 18; ++i) {
            if (watched != txtDateUnit_[static_cast<std::size_t>(i)]) continue;
            const int row = i / 6;
            if (key->key() == Qt::Key_N && (key->modifiers() & Qt::ShiftModifier)) {
                writeRow(row, p_.now());
                touch(kRow0 << (row == 0 ? 0 : row + 3));
                return true;
            }
            if (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier)) {
                if (const auto d = readRow(row))
                    QApplication::clipboard()->setText(
                        qs(formatDate(*d, "d/m/yyyy h:nn:ss", p_.ports.dateNames)));
                return true;
            }
            if (key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier)) {
                rowFromClipboard(row);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- The shared opener ---------------------------------------------------------------------

bool frmAlarmProperties::editAlarms(Program& program, QWidget* parent,
                                    const std::vector<AlarmPtr>& alarms, int mode) {
    if (alarms.empty()) return false;
    frmAlarmProperties dialog(program, parent);
    bool readOnly = false;
    for (const AlarmPtr& a : alarms) readOnly = readOnly || a->readOnly;
    dialog.setAlarms(alarms, mode, readOnly);
    // Alarms go on sounding while the dialog is open: it works on copies.
    return dialog.exec() == QDialog::Accepted && !readOnly;
}

}  // namespace qv

#include "ui/frmsettings.h"

#include <QScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/dateformat.h"
#include "base/files.h"
#include "base/translation.h"
#include "core/alarmrequest.h"
#include "core/daysoffkeeper.h"
#include "controls/vnumberbox.h"
#include "core/program.h"
#include "model/clsaction.h"
#include "model/clsadvanceddate.h"
#include "model/texts.h"
#include "plugins/clsplugin.h"
#include "presentation/frmalarm.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "presentation/speech.h"
#include "presentation/translateform.h"
#include "ui/frmfirsttimesettings.h"
#include "ui/frmquorvanemain.h"
#include "ui/pluginmenus.h"
#include "ui/qtdesktop.h"
#include "ui/qtuserinterface.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmSettings";

// Numbered texts of the dialog.
enum Text {
    kFolderMissing = 1,
    kAutoSaveOff = 2,
    kTemplateReset = 3,
    kAlarmsDeleted = 4,
    kDeleteExpired = 5,
    kAutostartFailed = 6,
    kVoiceTestText = 7,
    kNoPlugIns = 8,
    kSoundFileTitle = 9,
    kDefaultVoice = 10,
    kPageNames = 11,      // 11 to 20
    kRestrictions = 21,   // 21 to 25: importance 2 down to -2
    kWhenUnblocked = 31,  // 31 to 33
    kSnoozeAddTo = 35,    // 35, 36
    kDateOrders = 41,     // 41 to 44
    kTimeFormats = 45,    // 45, 46
    kBuiltInFont = 47,
    kNoScheme = 48,
    kTemplateSet = 49,
    kNoTemplate = 50,
    kOneDeleted = 51,
    kNoneDeleted = 52,
    kWakeNoCapability = 61,
    kWakeNotSupported = 62,
    kQuickGroupUnusable = 63,
    kQuickGroupSynchronised = 64,  // #1 the group
};

// The fields each list offers beyond its first (the name, always shown).
constexpr int kGroupFields = 3;
constexpr int kAlarmFields = 7;
constexpr int kSeeAlarmsFields = 3;

template <typename W>
W* named(W* w, const QString& name) {
    w->setObjectName(name);
    return w;
}
QString indexed(const char* name, int i) {
    return QString::fromLatin1(name) + QLatin1Char('(') + QString::number(i) + QLatin1Char(')');
}

VNumberBox* numberBox(QWidget* parent, const char* name, std::int32_t min, std::int32_t max) {
    auto* b = named(new VNumberBox(parent), QString::fromLatin1(name));
    b->setMinValue(min);
    b->setMaxValue(max);
    b->setMaximumWidth(140);
    return b;
}

int restrictionIndex(int importance) { return 2 - std::clamp(importance, -2, 2); }
std::int16_t restrictionOf(int index) {
    return static_cast<std::int16_t>(2 - std::clamp(index, 0, 4));
}

AlarmPtr copyOf(const AlarmPtr& alarm) {
    if (!alarm) return Alarm::createDefaultHiddenAlarm(nullptr, "");
    return Alarm::createFromXML(*alarm->toXML("al"), nullptr);
}

// Drops the seconds from a format ("hh:nn:ss" -> "hh:nn").
std::string withoutSeconds(std::string f) {
    for (std::size_t at; (at = f.find(":ss")) != std::string::npos;) f.erase(at, 3);
    return f;
}

}  // namespace

// ---- Building ------------------------------------------------------------------------

frmSettings::frmSettings(Program& program, QtUserInterface& ui, AlarmEditor editAlarm,
                         Services services, QWidget* parent)
    : QDialog(parent),
      p_(program),
      ui_(ui),
      editAlarm_(std::move(editAlarm)),
      services_(std::move(services)) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Settings"));
    if (!services_.chooseFont)
        services_.chooseFont = [this](const QFont& current) -> std::optional<QFont> {
            bool ok = false;
            const QFont f = QFontDialog::getFont(&ok, current, this);
            if (!ok) return std::nullopt;
            return f;
        };
    if (!services_.chooseSoundFile)
        services_.chooseSoundFile = [this](const QString& current) {
            QString filter = qs(p_.translation.readKey("Filters", "s5", ""));
            const int bar = filter.indexOf(QLatin1Char('|'));
            if (bar > 0) filter = filter.left(bar);
            return QFileDialog::getOpenFileName(this, text(kSoundFileTitle), current, filter);
        };

    buildPages();
    fillLists();
    translate();
    loadFromSettings();
    showPage(0);
}

void frmSettings::buildPages() {
    lstTab_ = named(new QListWidget(this), QStringLiteral("lstTab"));
    lstTab_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pages_ = new QStackedWidget(this);
    for (int i = 0; i < kPages; ++i) {
        // Each page scrolls, so the dialog fits a small screen in any language.
        auto* scroll = new QScrollArea(pages_);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        fraTab_[static_cast<std::size_t>(i)] = named(new QGroupBox(scroll), indexed("fraTab", i));
        scroll->setWidget(fraTab_[static_cast<std::size_t>(i)]);
        pages_->addWidget(scroll);
        lstTab_->addItem(QString::number(i));
    }
    auto label = [](QWidget* parent, const char* name, const char* caption, QWidget* buddy) {
        auto* l =
            named(new QLabel(QString::fromLatin1(caption), parent), QString::fromLatin1(name));
        if (buddy) l->setBuddy(buddy);
        return l;
    };
    auto check = [](QWidget* parent, const char* name, const char* caption) {
        return named(new QCheckBox(QString::fromLatin1(caption), parent),
                     QString::fromLatin1(name));
    };
    auto button = [](QWidget* parent, const char* name, const char* caption) {
        return named(new QPushButton(QString::fromLatin1(caption), parent),
                     QString::fromLatin1(name));
    };
    auto combo = [](QWidget* parent, const char* name) {
        return named(new QComboBox(parent), QString::fromLatin1(name));
    };
    auto slider = [](QWidget* parent, const char* name, int min, int max) {
        auto* s = named(new QSlider(Qt::Horizontal, parent), QString::fromLatin1(name));
        s->setRange(min, max);
        return s;
    };
    auto row = [](std::initializer_list<QWidget*> widgets) {
        auto* h = new QHBoxLayout;
        for (QWidget* w : widgets) h->addWidget(w);
        h->addStretch();
        return h;
    };

    // 0: language, colours, font, autostart
    {
        QGroupBox* f = fraTab_[0];
        cmbLanguage_ = combo(f, "cmbLanguage");
        cmbColorscheme_ = combo(f, "cmbColorscheme");
        lblFontName_ = named(new QLabel(f), QStringLiteral("lblFontName"));
        cmdFont_ = button(f, "cmdFont", "&Font...");
        cmdDefaultFont_ = button(f, "cmdDefaultFont", "&Built-in font");
        chkAutostart_ = check(f, "chkAutostart", "&Start Quorvane when I log in");
        auto* form = new QFormLayout(f);
        form->addRow(label(f, "lblLanguage", "&Language:", cmbLanguage_), cmbLanguage_);
        form->addRow(label(f, "lblColorscheme", "&Colour scheme:", cmbColorscheme_),
                     cmbColorscheme_);
        form->addRow(label(f, "lblFont", "List font:", nullptr), lblFontName_);
        form->addRow(QString(), row({cmdFont_, cmdDefaultFont_}));
        form->addRow(QString(), chkAutostart_);
        connect(cmdFont_, &QPushButton::clicked, this, [this] {
            QFont current = QApplication::font();
            if (!font_.nm.empty()) current.setFamily(qs(font_.nm));
            if (font_.sz >= 1) current.setPointSizeF(font_.sz);
            current.setBold(font_.bd);
            current.setItalic(font_.it);
            current.setStrikeOut(font_.st);
            current.setUnderline(font_.ul);
            const std::optional<QFont> chosen = services_.chooseFont(current);
            if (!chosen) return;
            font_.nm = ss(chosen->family());
            font_.sz = static_cast<float>(chosen->pointSizeF());
            font_.bd = chosen->bold();
            font_.it = chosen->italic();
            font_.st = chosen->strikeOut();
            font_.ul = chosen->underline();
            showFontName();
        });
        connect(cmdDefaultFont_, &QPushButton::clicked, this, [this] {
            font_ = FontSettings{};
            showFontName();
        });
    }
    // 1: alarm groups, template, overlap warning, expired alarms
    {
        QGroupBox* f = fraTab_[1];
        txtAlarmGroupLocation_ = named(new QLineEdit(f), QStringLiteral("txtAlarmGroupLocation"));
        cmdDefaultPath_ = button(f, "cmdDefaultPath", "&Program folder");
        chkAutoSave_ = check(f, "chkAutoSave", "Save changes &automatically");
        chkWatchAlarmFolder_ =
            check(f, "chkWatchAlarmFolder", "Take over alarm groups changed on another &computer");
        chkDaysOffByMoment_ = check(f, "chkDaysOffByMoment",
                                    "Days off: an appoint&ment at an alarm's time skips it too");
        lblTemplateAlarm_ = named(new QLabel(f), QStringLiteral("lblTemplateAlarm"));
        lblTemplateAlarm_->setWordWrap(true);
        cmdSetTemplateAlarm_ = button(f, "cmdSetTemplateAlarm", "&Template alarm...");
        cmdResetTemplateAlarm_ = button(f, "cmdResetTemplateAlarm", "&Reset template");
        chkOverlapWarning_ = check(f, "chkOverlapWarning", "&Warn of alarms closer than");
        vnbOverlapWarning_ = numberBox(f, "vnbOverlapWarning", 0, 2147483647);
        cmbOverlapWarning_ = combo(f, "cmbOverlapWarning");
        cmbOverlapWarningRestriction_ = combo(f, "cmbOverlapWarningRestriction");
        lblOverlapWarningRestriction_ =
            label(f, "lblOverlapWarningRestriction", "Only &for:", cmbOverlapWarningRestriction_);
        txtQuickAlarmsGroup_ = named(new QLineEdit(f), QStringLiteral("txtQuickAlarmsGroup"));
        // Up to the longest delay a quick alarm takes (366 days), as the file keeps it.
        vnbQuickAlarmsKeep_ = numberBox(f, "vnbQuickAlarmsKeep", 0, 8784);
        auto* keepNote = named(new QLabel(QStringLiteral("0: until deleted by hand"), f),
                               QStringLiteral("lblQuickAlarmsKeepNote"));
        cmdDeleteAlarms_ = button(f, "cmdDeleteAlarms", "&Delete expired alarms...");
        auto* form = new QFormLayout(f);
        form->addRow(
            label(f, "lblAlarmGroupLocation", "Alarm group &folder:", txtAlarmGroupLocation_),
            txtAlarmGroupLocation_);
        form->addRow(QString(), row({cmdDefaultPath_}));
        form->addRow(QString(), chkAutoSave_);
        form->addRow(QString(), chkWatchAlarmFolder_);
        form->addRow(QString(), chkDaysOffByMoment_);
        form->addRow(label(f, "lblTemplate", "Template alarm:", nullptr), lblTemplateAlarm_);
        form->addRow(QString(), row({cmdSetTemplateAlarm_, cmdResetTemplateAlarm_}));
        form->addRow(chkOverlapWarning_, row({vnbOverlapWarning_, cmbOverlapWarning_}));
        form->addRow(lblOverlapWarningRestriction_, cmbOverlapWarningRestriction_);
        form->addRow(label(f, "lblQuickAlarmsGroup",
                           "&Quick alarms go into the group:", txtQuickAlarmsGroup_),
                     txtQuickAlarmsGroup_);
        form->addRow(label(f, "lblQuickAlarmsKeep",
                           "Keep rung quick alarms (&hours):", vnbQuickAlarmsKeep_->textField()),
                     row({vnbQuickAlarmsKeep_, keepNote}));
        form->addRow(QString(), row({cmdDeleteAlarms_}));
        connect(cmdDefaultPath_, &QPushButton::clicked, this,
                [this] { txtAlarmGroupLocation_->setText(qs(p_.folders.programFolder)); });
        connect(cmdSetTemplateAlarm_, &QPushButton::clicked, this, &frmSettings::setTemplateAlarm);
        connect(cmdResetTemplateAlarm_, &QPushButton::clicked, this,
                &frmSettings::resetTemplateAlarm);
        connect(chkOverlapWarning_, &QCheckBox::toggled, this, &frmSettings::updateEnabled);
        connect(cmdDeleteAlarms_, &QPushButton::clicked, this, &frmSettings::deleteExpiredAlarms);
    }
    // 2: supervision and the alarm window
    {
        QGroupBox* f = fraTab_[2];
        vnbWarning_ = numberBox(f, "vnbWarning", 0, 32767);
        cmbWhenUnblocked_ = combo(f, "cmbWhenUnblocked");
        vnbTimerCorrection_ = numberBox(f, "vnbTimerCorrection", -60000, 60000);
        vnbSnoozeAmount_ = numberBox(f, "vnbSnoozeAmount", 0, 32767);
        cmbSnoozeUnit_ = combo(f, "cmbSnoozeUnit");
        cmbSnoozeAddTo_ = combo(f, "cmbSnoozeAddTo");
        // Created in the order of the rows: Tab follows the page as it reads.
        chkForceForeground_ = check(f, "chkForceForeground", "Keep alarm windows in &front");
        chkUseOneAlarmWindow_ =
            check(f, "chkUseOneAlarmWindow", "&One alarm window for all alarms");
        chkDesktopNotifications_ = check(f, "chkDesktopNotifications",
                                         "Show a desktop &notification with every alarm window");
        chkWakeFromSleep_ =
            check(f, "chkWakeFromSleep", "Wake the computer from s&leep for the next alarm");
        chkKeepUnanswered_ =
            check(f, "chkKeepUnanswered", "Keep alarms nobody answered as &missed alarms");
        chkRemindersByTray_ = check(f, "chkRemindersByTray",
                                    "Show &reminders as a message of the notification-area icon");
        lblWakeFromSleep_ = named(new QLabel(f), QStringLiteral("lblWakeFromSleep"));
        lblWakeFromSleep_->setWordWrap(true);
        lblWakeFromSleep_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        lblWakeFromSleep_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* form = new QFormLayout(f);
        form->addRow(label(f, "lblWarning",
                           "&Ask first when more alarms are due than:", vnbWarning_->textField()),
                     vnbWarning_);
        form->addRow(label(f, "lblWhenUnblocked", "&When alarms are unblocked:", cmbWhenUnblocked_),
                     cmbWhenUnblocked_);
        form->addRow(label(f, "lblTimerCorrection",
                           "Timer &correction (ms):", vnbTimerCorrection_->textField()),
                     vnbTimerCorrection_);
        form->addRow(label(f, "lblSnooze", "Default &snooze:", vnbSnoozeAmount_->textField()),
                     row({vnbSnoozeAmount_, cmbSnoozeUnit_, cmbSnoozeAddTo_}));
        form->addRow(QString(), chkForceForeground_);
        form->addRow(QString(), chkUseOneAlarmWindow_);
        form->addRow(QString(), chkDesktopNotifications_);
        form->addRow(QString(), chkWakeFromSleep_);
        form->addRow(lblWakeFromSleep_);
        form->addRow(QString(), chkKeepUnanswered_);
        form->addRow(QString(), chkRemindersByTray_);
    }
    // 3: secondary and attention alarm
    {
        QGroupBox* f = fraTab_[3];
        auto* grid = new QGridLayout(f);
        const char* checks[2] = {"chkSecondaryAlarm", "chkAttentionAlarm"};
        const char* checkText[2] = {"&Secondary alarm beside alarms of",
                                    "&Attention alarm after alarms of"};
        const char* labels[2] = {"lblSecondaryAlarmRestriction", "lblAttentionAlarmRestriction"};
        const char* combos[2] = {"cmbSecondaryAlarmRestriction", "cmbAttentionAlarmRestriction"};
        const char* buttons[2] = {"cmdSecondaryAlarm", "cmdAttentionAlarm"};
        const char* buttonText[2] = {"Secondary alarm...", "Attention alarm..."};
        for (int k = 0; k < 2; ++k) {
            const auto ku = static_cast<std::size_t>(k);
            chkExtra_[ku] = check(f, checks[k], checkText[k]);
            cmbExtraRestriction_[ku] = combo(f, combos[k]);
            lblExtraRestriction_[ku] = label(f, labels[k], "importance:", cmbExtraRestriction_[ku]);
            cmdExtra_[ku] = button(f, buttons[k], buttonText[k]);
            grid->addWidget(chkExtra_[ku], 2 * k, 0, 1, 3);
            grid->addWidget(lblExtraRestriction_[ku], 2 * k + 1, 0);
            grid->addWidget(cmbExtraRestriction_[ku], 2 * k + 1, 1);
            grid->addWidget(cmdExtra_[ku], 2 * k + 1, 2);
            connect(chkExtra_[ku], &QCheckBox::toggled, this, &frmSettings::updateEnabled);
            connect(cmdExtra_[ku], &QPushButton::clicked, this, [this, k] { editExtraAlarm(k); });
        }
        grid->setRowStretch(4, 1);
    }
    // 4: sound and speech
    {
        QGroupBox* f = fraTab_[4];
        txtDefaultSound_ = named(new QLineEdit(f), QStringLiteral("txtDefaultSound"));
        cmdDefaultSound_ = button(f, "cmdDefaultSound", "&Browse...");
        cmdSoundTest_ = button(f, "cmdSoundTest", "&Play");
        chkSoundVolume_ = check(f, "chkSoundVolume", "Sound &volume:");
        sldSoundVolume_ = slider(f, "sldSoundVolume", 0, 100);
        cmbVoice_ = combo(f, "cmbVoice");
        cmdVoiceTest_ = button(f, "cmdVoiceTest", "&Speak");
        chkVoiceVolume_ = check(f, "chkVoiceVolume", "Voice v&olume:");
        sldVoiceVolume_ = slider(f, "sldVoiceVolume", 0, 100);
        chkVoiceSpeed_ = check(f, "chkVoiceSpeed", "Voice spee&d:");
        sldVoiceSpeed_ = slider(f, "sldVoiceSpeed", -10, 10);
        auto* form = new QFormLayout(f);
        auto* soundRow = new QHBoxLayout;
        soundRow->addWidget(txtDefaultSound_, 1);
        soundRow->addWidget(cmdDefaultSound_);
        soundRow->addWidget(cmdSoundTest_);
        form->addRow(label(f, "lblDefaultSound", "Default so&und:", txtDefaultSound_), soundRow);
        form->addRow(chkSoundVolume_, sldSoundVolume_);
        auto* voiceRow = new QHBoxLayout;
        voiceRow->addWidget(cmbVoice_, 1);
        voiceRow->addWidget(cmdVoiceTest_);
        form->addRow(label(f, "lblVoice", "Vo&ice:", cmbVoice_), voiceRow);
        form->addRow(chkVoiceVolume_, sldVoiceVolume_);
        form->addRow(chkVoiceSpeed_, sldVoiceSpeed_);
        for (QCheckBox* c : {chkSoundVolume_, chkVoiceVolume_, chkVoiceSpeed_})
            connect(c, &QCheckBox::toggled, this, &frmSettings::updateEnabled);
        connect(cmdDefaultSound_, &QPushButton::clicked, this, [this] {
            const QString file = services_.chooseSoundFile(txtDefaultSound_->text());
            if (!file.isEmpty()) txtDefaultSound_->setText(file);
        });
        connect(cmdSoundTest_, &QPushButton::clicked, this, &frmSettings::testSound);
        connect(cmdVoiceTest_, &QPushButton::clicked, this, &frmSettings::testVoice);
        cmbVoice_->installEventFilter(this);
        voiceLister_.setInterval(10);
        connect(&voiceLister_, &QTimer::timeout, this, &frmSettings::fillVoices);
    }
    // 5: display formats
    {
        QGroupBox* f = fraTab_[5];
        cmbDateFormat_ = combo(f, "cmbDateFormat");
        cmbTimeFormat_ = combo(f, "cmbTimeFormat");
        chkShowSeconds_ = check(f, "chkShowSeconds", "Show s&econds");
        auto* form = new QFormLayout(f);
        form->addRow(label(f, "lblDateFormat", "&Date order:", cmbDateFormat_), cmbDateFormat_);
        form->addRow(label(f, "lblTimeFormat", "&Time format:", cmbTimeFormat_), cmbTimeFormat_);
        form->addRow(QString(), chkShowSeconds_);
        const char* captions[4] = {
            "Alarm &list:", "See-&alarms lists:", "&Next alarm:", "Every&where else:"};
        for (int i = 0; i < 4; ++i) {
            auto* t = named(new QLineEdit(f), indexed("txtFormat", i));
            txtFormat_[static_cast<std::size_t>(i)] = t;
            auto* l =
                named(new QLabel(QString::fromLatin1(captions[i]), f), indexed("lblFormat", i));
            l->setBuddy(t);
            form->addRow(l, t);
            t->installEventFilter(this);
            connect(t, &QLineEdit::textEdited, this, [this, i] { showFormatExample(i); });
        }
        lblFormatExample2_ =
            named(new QLabel(QStringLiteral("Example:"), f), QStringLiteral("lblFormatExample2"));
        lblFormatExample_ = named(new QLabel(f), QStringLiteral("lblFormatExample"));
        form->addRow(lblFormatExample2_, lblFormatExample_);
        lblFormatExample_->hide();
        lblFormatExample2_->hide();
        connect(cmbDateFormat_, &QComboBox::currentIndexChanged, this,
                &frmSettings::rebuildFormats);
        connect(cmbTimeFormat_, &QComboBox::currentIndexChanged, this,
                &frmSettings::rebuildFormats);
        connect(chkShowSeconds_, &QCheckBox::toggled, this, &frmSettings::rebuildFormats);
    }
    // 6: the columns of the main window's lists
    {
        QGroupBox* f = fraTab_[6];
        auto* layout = new QVBoxLayout(f);
        auto group = [&](const char* frame, const char* caption, const char* name, int fields,
                         std::vector<QCheckBox*>& boxes) {
            auto* g =
                named(new QGroupBox(QString::fromLatin1(caption), f), QString::fromLatin1(frame));
            auto* v = new QVBoxLayout(g);
            for (int i = 0; i + 1 < fields; ++i) {
                auto* c = named(new QCheckBox(g), indexed(name, i));
                boxes.push_back(c);
                v->addWidget(c);
            }
            layout->addWidget(g);
        };
        group("fraShowInAlarmgroups", "Alarm groups", "chkShowInAlarmgroups", kGroupFields,
              chkShowInAlarmgroups_);
        group("fraShowInAlarms", "Alarms", "chkShowInAlarms", kAlarmFields, chkShowInAlarms_);
        group("fraShowInSeeAlarms", "See-alarms lists", "chkShowInSeeAlarms", kSeeAlarmsFields,
              chkShowInSeeAlarms_);
        layout->addStretch();
    }
    // 7: calendar view
    {
        QGroupBox* f = fraTab_[7];
        chkShowTooltips_ = check(f, "chkShowTooltips", "Show &tool tips");
        chkAutoUpdateCalendar_ =
            check(f, "chkAutoUpdateCalendar", "&Update the calendar by itself");
        vnbCalendarOffset_ = numberBox(f, "vnbCalendarOffset", 0, 32767);
        vnbIntervalBarWidth_ = numberBox(f, "vnbIntervalBarWidth", 1, kMaxIntervalBarWidth);
        chkIgnoreCorrection_ = check(f, "chkIgnoreCorrection", "&Ignore the alarms' correction");
        auto* form = new QFormLayout(f);
        form->addRow(QString(), chkShowTooltips_);
        form->addRow(QString(), chkAutoUpdateCalendar_);
        form->addRow(
            label(f, "lblCalendarOffset", "Calendar &offset:", vnbCalendarOffset_->textField()),
            vnbCalendarOffset_);
        form->addRow(label(f, "lblIntervalBarWidth",
                           "Interval &bar width:", vnbIntervalBarWidth_->textField()),
                     vnbIntervalBarWidth_);
        form->addRow(QString(), chkIgnoreCorrection_);
    }
    // 8: alarm clock window
    {
        QGroupBox* f = fraTab_[8];
        vnbAlarmClockMaxMinutes_ = numberBox(f, "vnbAlarmClockMaxMinutes", 1, 32767);
        vnbAlarmClockSnoozeTime_ = numberBox(f, "vnbAlarmClockSnoozeTime", 1, 32767);
        auto* form = new QFormLayout(f);
        form->addRow(label(f, "lblAlarmClockMaxMinutes",
                           "Ring at &most (minutes):", vnbAlarmClockMaxMinutes_->textField()),
                     vnbAlarmClockMaxMinutes_);
        form->addRow(label(f, "lblAlarmClockSnoozeTime",
                           "&Snooze time (minutes):", vnbAlarmClockSnoozeTime_->textField()),
                     vnbAlarmClockSnoozeTime_);
    }
    // 9: start-up, grid, assistant, inactivity, plug-ins
    {
        QGroupBox* f = fraTab_[9];
        chkSafetyCheckAtStartup_ = check(f, "chkSafetyCheckAtStartup",
                                         "&Check at start-up whether the last run ended well");
        chkUseOldFontRotationMethod_ =
            check(f, "chkUseOldFontRotationMethod", "&Old font rotation in the calendar");
        chkPersonalAssistant_ = check(f, "chkPersonalAssistant", "&Personal assistant");
        chkTimeInactive_ = check(f, "chkTimeInactive", "&Inactive after (minutes):");
        vnbTimeInactive_ = numberBox(f, "vnbTimeInactive", 1, 2147483647);
        chkScriptingInterface_ =
            check(f, "chkScriptingInterface",
                  "Offer the &scripting interface to other programs (session bus)");
        lstPlugIns_ = named(new QListWidget(f), QStringLiteral("lstPlugIns"));
        cmdRegPlugins_ = button(f, "cmdRegPlugins", "&Register plug-ins");
        auto* form = new QFormLayout(f);
        form->addRow(QString(), chkSafetyCheckAtStartup_);
        form->addRow(QString(), chkUseOldFontRotationMethod_);
        form->addRow(QString(), chkPersonalAssistant_);
        form->addRow(chkTimeInactive_, vnbTimeInactive_);
        form->addRow(QString(), chkScriptingInterface_);
        form->addRow(label(f, "lblPlugIns", "Plug-ins:", lstPlugIns_), lstPlugIns_);
        form->addRow(QString(), row({cmdRegPlugins_}));
        connect(chkTimeInactive_, &QCheckBox::toggled, this, &frmSettings::updateEnabled);
        // Nothing is registered here: the button reads the plug-in folder again,
        // so plug-ins added or removed since the start are found.
        connect(cmdRegPlugins_, &QPushButton::clicked, this, [this] {
            if (clsPlugIn* host = plugInHostOf(p_)) host->loadPlugins();
            showPlugIns();
        });
    }

    cmdOk_ = named(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOk"));
    cmdApply_ = named(new QPushButton(QStringLiteral("&Apply"), this), QStringLiteral("cmdApply"));
    cmdCancel_ =
        named(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"));
    cmdOk_->setDefault(true);
    connect(cmdOk_, &QPushButton::clicked, this, &frmSettings::accept);
    connect(cmdApply_, &QPushButton::clicked, this, [this] { apply(); });
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
    // Push buttons inside the pages must not take Enter away from OK.
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b != cmdOk_) b->setAutoDefault(false);

    connect(lstTab_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        pages_->setCurrentIndex(row);
        if (row == 4) fillVoices();
    });

    auto* body = new QHBoxLayout;
    body->addWidget(lstTab_);
    body->addWidget(pages_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk_);
    buttons->addWidget(cmdApply_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    // On a narrow screen a long label puts its field on the next line.
    for (QFormLayout* form : findChildren<QFormLayout*>())
        form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    resize(760, 480);
}

void frmSettings::fillLists() {
    languages_ = modTranslation::availableLanguages(p_.folders);
    schemes_.clear();
    for (const std::string& file : p_.folders.listShipped("*.csc"))
        schemes_.push_back(baseNameOf(file));
    const QSignalBlocker b1(cmbLanguage_);
    const QSignalBlocker b2(cmbColorscheme_);
    cmbLanguage_->clear();
    for (const std::string& l : languages_) cmbLanguage_->addItem(qs(l));
}

QString frmSettings::text(int number) const { return qs(p_.translation.getText(kSection, number)); }

void frmSettings::translate() {
    filling_ = true;
    translateForm(this, p_.translation);
    for (QGroupBox* box : findChildren<QGroupBox*>())
        box->setTitle(
            qs(p_.translation.readKey(kSection, ss(box->objectName()), ss(box->title()))));
    for (int i = 0; i < kPages; ++i) {
        lstTab_->item(i)->setText(text(kPageNames + i));
        fraTab_[static_cast<std::size_t>(i)]->setTitle(text(kPageNames + i));
    }
    // The page list as wide as its longest name in this language.
    lstTab_->setFixedWidth(lstTab_->sizeHintForColumn(0) + 2 * lstTab_->frameWidth() + 12);
    auto refill = [](QComboBox* box, const std::vector<QString>& items) {
        const int keep = box->currentIndex();
        const QSignalBlocker block(box);
        box->clear();
        for (const QString& s : items) box->addItem(s);
        box->setCurrentIndex(keep < 0 ? 0 : std::min(keep, box->count() - 1));
    };
    std::vector<QString> units, restrictions, unblocked, addTo, orders, times;
    for (int i = 0; i < 7; ++i)
        units.push_back(qs(p_.translation.getString(frmAlarm::unitCodeOfIndex(i) + 1)));
    for (int i = 0; i < 5; ++i) restrictions.push_back(text(kRestrictions + i));
    for (int i = 0; i < 3; ++i) unblocked.push_back(text(kWhenUnblocked + i));
    for (int i = 0; i < 2; ++i) addTo.push_back(text(kSnoozeAddTo + i));
    for (int i = 0; i < 4; ++i) orders.push_back(text(kDateOrders + i));
    for (int i = 0; i < 2; ++i) times.push_back(text(kTimeFormats + i));
    refill(cmbOverlapWarning_, units);
    refill(cmbSnoozeUnit_, units);
    refill(cmbOverlapWarningRestriction_, restrictions);
    for (QComboBox* c : cmbExtraRestriction_) refill(c, restrictions);
    refill(cmbWhenUnblocked_, unblocked);
    refill(cmbSnoozeAddTo_, addTo);
    refill(cmbDateFormat_, orders);
    refill(cmbTimeFormat_, times);
    {
        std::vector<QString> schemes;
        for (const std::string& s : schemes_)
            schemes.push_back(s.empty() ? text(kNoScheme) : qs(s));
        refill(cmbColorscheme_, schemes);
    }
    if (cmbVoice_->count() > 0) cmbVoice_->setItemText(0, text(kDefaultVoice));
    // The column boxes carry the lists' own column captions.
    auto captions = [&](std::vector<QCheckBox*>& boxes, int base) {
        for (std::size_t i = 0; i < boxes.size(); ++i)
            boxes[i]->setText(qs(p_.translation.getMainText(base + static_cast<int>(i) + 1)));
    };
    captions(chkShowInAlarmgroups_, 1);
    captions(chkShowInAlarms_, 11);
    captions(chkShowInSeeAlarms_, 21);
    showPlugIns();
    lblTemplateAlarm_->setText(text(template_.empty() ? kNoTemplate : kTemplateSet));
    showWakeAvailability();
    showFontName();
    filling_ = false;
}

void frmSettings::showPlugIns() {
    // Each plug-in once, whatever its types, in the host's order.
    lstPlugIns_->clear();
    clsPlugIn* host = plugInHostOf(p_);
    std::vector<std::string> listed;
    for (int type = 0; host && type < clsPlugIn::kTypeCount; ++type) {
        for (const std::string& id : host->plugIns(type)) {
            if (std::find(listed.begin(), listed.end(), id) != listed.end()) continue;
            listed.push_back(id);
            lstPlugIns_->addItem(qs(plugInName(*host, id)));
        }
    }
    if (listed.empty()) lstPlugIns_->addItem(text(kNoPlugIns));
    lstPlugIns_->setEnabled(!listed.empty());
    // Safe mode loads no plug-in at all.
    cmdRegPlugins_->setEnabled(host && !p_.safeMode);
}

void frmSettings::showWakeAvailability() {
    // Offered only where it can work; elsewhere the dialog says why, and how
    // to mend it when that is in the user's hands.
    wakeAvailability_ = services_.wakeAvailability
                            ? services_.wakeAvailability()
                            : static_cast<int>(LinuxWakeTimer::availability());
    // Whole rows, so the hidden one leaves no gap.
    if (auto* form = qobject_cast<QFormLayout*>(fraTab_[2]->layout())) {
        form->setRowVisible(chkWakeFromSleep_, wakeAvailability_ == 0);
        form->setRowVisible(lblWakeFromSleep_, wakeAvailability_ != 0);
    }
    if (wakeAvailability_ == 1)
        lblWakeFromSleep_->setText(qs(texts::fill(
            ss(text(kWakeNoCapability)),
            {ss(QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath())})));
    else if (wakeAvailability_ != 0)
        lblWakeFromSleep_->setText(text(kWakeNotSupported));
}

// ---- Loading -------------------------------------------------------------------------

std::vector<int> frmSettings::layoutFields(const char* layout) const {
    std::vector<int> out;
    if (!p_.columnLayouts || p_.columnLayouts->getNodeIndex(layout) < 0) return out;
    for (const XMLNodePtr& clm : p_.columnLayouts->getNode(layout)->children())
        if (clm->name == "clm") out.push_back(clm->getInteger("i", 0, -1));
    return out;
}

void frmSettings::loadFromSettings() {
    filling_ = true;
    const SettingsValues& s = p_.settings;
    // Page 0
    {
        const QSignalBlocker block(cmbLanguage_);
        const auto it = std::find(languages_.begin(), languages_.end(), s.lng);
        if (it == languages_.end()) {
            languages_.push_back(s.lng);
            cmbLanguage_->addItem(qs(s.lng));
        }
        cmbLanguage_->setCurrentIndex(static_cast<int>(
            std::find(languages_.begin(), languages_.end(), s.lng) - languages_.begin()));
    }
    {
        const QSignalBlocker block(cmbColorscheme_);
        if (std::find(schemes_.begin(), schemes_.end(), s.cls) == schemes_.end()) {
            schemes_.push_back(s.cls);
            cmbColorscheme_->addItem(s.cls.empty() ? text(kNoScheme) : qs(s.cls));
        }
        cmbColorscheme_->setCurrentIndex(static_cast<int>(
            std::find(schemes_.begin(), schemes_.end(), s.cls) - schemes_.begin()));
    }
    font_ = s.font;
    showFontName();
    chkAutostart_->setChecked(autostartEnabled());
    // Page 1
    // The real folder, not the "<app_path>" the settings may keep for it.
    txtAlarmGroupLocation_->setText(qs(shownFolder(s.agp)));
    chkAutoSave_->setChecked(s.as);
    chkWatchAlarmFolder_->setChecked(s.wfld);
    chkDaysOffByMoment_->setChecked(s.dofm);
    template_ = s.tmpl;
    lblTemplateAlarm_->setText(text(template_.empty() ? kNoTemplate : kTemplateSet));
    chkOverlapWarning_->setChecked(s.odt);
    vnbOverlapWarning_->setValue(s.ola);
    cmbOverlapWarning_->setCurrentIndex(frmAlarm::indexOfUnitCode(s.olu));
    cmbOverlapWarningRestriction_->setCurrentIndex(restrictionIndex(s.olp));
    // The name quick alarms go under now, also before the first one made the group.
    txtQuickAlarmsGroup_->setText(qs(QuickAlarms(p_).quickName()));
    vnbQuickAlarmsKeep_->setValue(s.qgk);
    // Page 2
    vnbWarning_->setValue(s.wl);
    cmbWhenUnblocked_->setCurrentIndex(std::clamp<int>(s.wu, 0, 2));
    chkForceForeground_->setChecked(s.ftf);
    vnbTimerCorrection_->setValue(s.tc);
    vnbSnoozeAmount_->setValue(s.dsa);
    cmbSnoozeUnit_->setCurrentIndex(frmAlarm::indexOfUnitCode(s.dsu));
    cmbSnoozeAddTo_->setCurrentIndex(std::clamp<int>(s.dsat, 0, 1));
    chkUseOneAlarmWindow_->setChecked(s.uoaw);
    chkDesktopNotifications_->setChecked(s.dntf);
    chkWakeFromSleep_->setChecked(s.wake);
    chkKeepUnanswered_->setChecked(s.uat);
    chkRemindersByTray_->setChecked(s.rmwn == 1);
    // Page 3
    const ExtraAlarm* extras[2] = {&p_.secondaryAlarm, &p_.attentionAlarm};
    for (std::size_t k = 0; k < 2; ++k) {
        chkExtra_[k]->setChecked(extras[k]->enabled == 1);
        cmbExtraRestriction_[k]->setCurrentIndex(restrictionIndex(extras[k]->threshold));
        extraAlarms_[k] = copyOf(extras[k]->alarm);
    }
    // Page 4
    txtDefaultSound_->setText(qs(s.ds));
    chkSoundVolume_->setChecked(s.osvol);
    sldSoundVolume_->setValue(std::clamp<int>(s.svol, 0, 100));
    {
        const QSignalBlocker block(cmbVoice_);
        cmbVoice_->clear();
        cmbVoice_->addItem(text(kDefaultVoice));
        if (!s.vd.empty()) cmbVoice_->addItem(qs(s.vd));
        cmbVoice_->setCurrentIndex(s.vd.empty() ? 0 : 1);
        voicesFilled_ = false;
    }
    chkVoiceVolume_->setChecked(s.ovvol);
    sldVoiceVolume_->setValue(std::clamp<int>(s.vvol, 0, 100));
    chkVoiceSpeed_->setChecked(s.ovspd);
    sldVoiceSpeed_->setValue(std::clamp<int>(s.vspd, -10, 10));
    // Page 5: the stored formats, not rebuilt ones
    {
        const QSignalBlocker b1(cmbDateFormat_);
        const QSignalBlocker b2(cmbTimeFormat_);
        const QSignalBlocker b3(chkShowSeconds_);
        cmbDateFormat_->setCurrentIndex(std::clamp<int>(s.df.da, 0, 3));
        cmbTimeFormat_->setCurrentIndex(s.df.ti == 1 ? 1 : 0);
        chkShowSeconds_->setChecked(s.df.sc == 1);
        txtFormat_[0]->setText(qs(s.df.al));
        txtFormat_[1]->setText(qs(s.df.sa));
        txtFormat_[2]->setText(qs(s.df.na));
        txtFormat_[3]->setText(qs(s.df.ot));
    }
    // Page 6
    auto tick = [](std::vector<QCheckBox*>& boxes, const std::vector<int>& fields) {
        for (std::size_t i = 0; i < boxes.size(); ++i)
            boxes[i]->setChecked(std::find(fields.begin(), fields.end(), static_cast<int>(i) + 1) !=
                                 fields.end());
    };
    if (QWidget* m = ui_.mainWindow()) {
        (void)m;
        if (p_.columnLayouts) ui_.updateColumnsToReal(*p_.columnLayouts);
    }
    tick(chkShowInAlarmgroups_, layoutFields("ag"));
    tick(chkShowInAlarms_, layoutFields("al"));
    tick(chkShowInSeeAlarms_, layoutFields("sa1"));
    // Page 7
    chkShowTooltips_->setChecked(s.stt);
    chkAutoUpdateCalendar_->setChecked(s.auc);
    vnbCalendarOffset_->setValue(s.cao);
    vnbIntervalBarWidth_->setValue(s.ibw);
    chkIgnoreCorrection_->setChecked(s.igc);
    // Page 8
    vnbAlarmClockMaxMinutes_->setValue(s.acmm);
    vnbAlarmClockSnoozeTime_->setValue(s.acst);
    // Page 9
    chkSafetyCheckAtStartup_->setChecked(p_.runState != "3");
    chkUseOldFontRotationMethod_->setChecked(s.ofrm);
    chkPersonalAssistant_->setChecked(s.epa);
    chkTimeInactive_->setChecked(s.tiia > 0);
    vnbTimeInactive_->setValue(s.tiia > 0 ? s.tiia : 10);
    chkScriptingInterface_->setChecked(s.sdbu);

    filling_ = false;
    updateEnabled();
}

void frmSettings::updateEnabled() {
    const bool overlap = chkOverlapWarning_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{vnbOverlapWarning_, cmbOverlapWarning_,
                                                      cmbOverlapWarningRestriction_,
                                                      lblOverlapWarningRestriction_})
        w->setEnabled(overlap);
    for (std::size_t k = 0; k < 2; ++k) {
        const bool on = chkExtra_[k]->isChecked();
        lblExtraRestriction_[k]->setEnabled(on);
        cmbExtraRestriction_[k]->setEnabled(on);
        cmdExtra_[k]->setEnabled(on && static_cast<bool>(editAlarm_));
    }
    sldSoundVolume_->setEnabled(chkSoundVolume_->isChecked());
    sldVoiceVolume_->setEnabled(chkVoiceVolume_->isChecked());
    sldVoiceSpeed_->setEnabled(chkVoiceSpeed_->isChecked());
    vnbTimeInactive_->setEnabled(chkTimeInactive_->isChecked());
    cmdSetTemplateAlarm_->setEnabled(static_cast<bool>(editAlarm_));
    cmdSoundTest_->setEnabled(static_cast<bool>(services_.playSound));
    cmdVoiceTest_->setEnabled(static_cast<bool>(services_.speak));
}

void frmSettings::showPage(int page) { lstTab_->setCurrentRow(std::clamp(page, 0, kPages - 1)); }

int frmSettings::currentPage() const { return pages_->currentIndex(); }

void frmSettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    keepOnScreen(this);
}

void frmSettings::showFontName() {
    if (!lblFontName_) return;
    if (font_.nm.empty()) {
        lblFontName_->setText(text(kBuiltInFont));
        return;
    }
    QString name = qs(font_.nm);
    if (font_.sz >= 1)
        name += QStringLiteral(", ") + QString::number(font_.sz) + QStringLiteral(" pt");
    lblFontName_->setText(name);
}

void frmSettings::fillVoices() {
    if (voicesFilled_ || !services_.voices) return;
    // The engines take seconds to list their voices: they do it in slices
    // from the event loop, so the dialog keeps answering meanwhile.
    if (services_.listSomeVoices && !services_.listSomeVoices()) {
        if (!voiceLister_.isActive()) voiceLister_.start();
        return;
    }
    voiceLister_.stop();
    voicesFilled_ = true;
    const QString current = cmbVoice_->currentIndex() > 0 ? cmbVoice_->currentText() : QString();
    const QStringList voices = services_.voices();
    const QSignalBlocker block(cmbVoice_);
    cmbVoice_->clear();
    cmbVoice_->addItem(text(kDefaultVoice));
    for (const QString& v : voices) cmbVoice_->addItem(v);
    // A stored voice the engines do not offer now is kept, not lost.
    if (!current.isEmpty() && !voices.contains(current)) cmbVoice_->addItem(current);
    cmbVoice_->setCurrentIndex(current.isEmpty() ? 0 : cmbVoice_->findText(current));
}

// ---- Display formats -------------------------------------------------------------------

void frmSettings::rebuildFormats() {
    if (filling_) return;
    DisplayFormats f = frmFirstTimeSettings::formatsFor(cmbDateFormat_->currentIndex(),
                                                        cmbTimeFormat_->currentIndex());
    std::array<std::string, 4> formats{f.al, f.sa, f.na, f.ot};
    for (std::size_t i = 0; i < 4; ++i) {
        if (!chkShowSeconds_->isChecked()) formats[i] = withoutSeconds(formats[i]);
        txtFormat_[i]->setText(qs(formats[i]));
    }
}

void frmSettings::showFormatExample(int field) {
    const QString format = txtFormat_[static_cast<std::size_t>(field)]->text();
    lblFormatExample_->setText(qs(formatDate(p_.now(), ss(format), p_.ports.dateNames)));
    lblFormatExample_->show();
    lblFormatExample2_->show();
}

bool frmSettings::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < 4; ++i) {
        if (watched != txtFormat_[static_cast<std::size_t>(i)]) continue;
        if (event->type() == QEvent::FocusIn) showFormatExample(i);
        if (event->type() == QEvent::FocusOut) {
            lblFormatExample_->hide();
            lblFormatExample2_->hide();
        }
    }
    if (watched == cmbVoice_ &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress))
        fillVoices();
    return QDialog::eventFilter(watched, event);
}

// ---- Alarms edited from here -------------------------------------------------------------

void frmSettings::setTemplateAlarm() {
    if (!editAlarm_) return;
    AlarmPtr working = template_.empty()
                           ? Alarm::createDefaultAlarm(p_.ctx)
                           : Alarm::createFromXML(*XMLNode::createFromXML(template_), nullptr);
    if (!editAlarm_(working)) return;
    template_ = working->toXML("tmpl")->toString();
    lblTemplateAlarm_->setText(text(kTemplateSet));
}

void frmSettings::resetTemplateAlarm() {
    template_.clear();
    lblTemplateAlarm_->setText(text(kNoTemplate));
    p_.main.showMessageBox(ss(text(kTemplateReset)), mb::kInformation);
}

void frmSettings::editExtraAlarm(int which) {
    if (!editAlarm_) return;
    const auto k = static_cast<std::size_t>(which);
    // The editor works on a copy of the working copy: a cancelled edit leaves nothing behind.
    AlarmPtr working = copyOf(extraAlarms_[k]);
    if (editAlarm_(working)) extraAlarms_[k] = working;
}

void frmSettings::deleteExpiredAlarms() {
    const DateTime now = p_.now();
    const std::string question = texts::fill(
        ss(text(kDeleteExpired)), {formatDate(now, p_.settings.df.ot, p_.ports.dateNames)});
    if (p_.main.showMessageBox(question, mb::kYesNo | mb::kQuestion) != mb::kAnswerYes) return;
    std::vector<AlarmGroupPtr> touched;
    int deleted = 0;
    for (const AlarmGroupPtr& g : p_.alarmGroups) {
        std::vector<AlarmPtr> expired;
        for (const AlarmPtr& a : g->alarms) {
            bool has = true;
            try {
                has = a->hasNextAlarmDateAfter(now, false);
            } catch (const AdvancedDateError&) {
                // An expression that cannot be read says nothing about expiry: keep it.
            }
            if (!has) expired.push_back(a);
        }
        if (expired.empty()) continue;
        for (const AlarmPtr& a : expired) g->alarms.remove(a);
        deleted += static_cast<int>(expired.size());
        touched.push_back(g);
    }
    if (!touched.empty()) p_.control.alarmGroupsChanged(touched, change::kDeleted);
    const int message = deleted == 0 ? kNoneDeleted : deleted == 1 ? kOneDeleted : kAlarmsDeleted;
    p_.main.showMessageBox(texts::fill(ss(text(message)), {std::to_string(deleted)}),
                           mb::kInformation);
}

void frmSettings::testSound() {
    if (services_.playSound)
        services_.playSound(txtDefaultSound_->text(), chkSoundVolume_->isChecked(),
                            sldSoundVolume_->value());
}

void frmSettings::testVoice() {
    if (!services_.speak) return;
    const QString voice = cmbVoice_->currentIndex() > 0 ? cmbVoice_->currentText() : QString();
    services_.speak(text(kVoiceTestText), voice, chkVoiceVolume_->isChecked(),
                    sldVoiceVolume_->value(), chkVoiceSpeed_->isChecked(), sldVoiceSpeed_->value());
}

// ---- Applying --------------------------------------------------------------------------

std::string frmSettings::normalizedFolder(const std::string& typed,
                                          const std::string& programFolder, std::string& resolved) {
    std::string folder = typed;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    resolved = folder;
    const std::string key = "<app_path>";
    for (std::size_t at; (at = resolved.find(key)) != std::string::npos;)
        resolved.replace(at, key.size(), programFolder);
    resolved = toSlashPath(resolved);
    return folder;
}

std::string frmSettings::shownFolder(const std::string& stored) const {
    std::string resolved;
    (void)normalizedFolder(stored, p_.folders.programFolder, resolved);
    return resolved;
}

std::vector<int> frmSettings::chosenFields(const std::vector<int>& shown,
                                           const std::vector<bool>& ticked) {
    auto wanted = [&](int field) {
        return field == 0 || (field > 0 && static_cast<std::size_t>(field) <= ticked.size() &&
                              ticked[static_cast<std::size_t>(field - 1)]);
    };
    std::vector<int> out;
    for (int f : shown)
        if (wanted(f) && std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
    if (std::find(out.begin(), out.end(), 0) == out.end()) out.insert(out.begin(), 0);
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        const int f = static_cast<int>(i) + 1;
        if (ticked[i] && std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
    }
    return out;
}

void frmSettings::applyColumns() {
    if (!p_.columnLayouts) p_.columnLayouts = SettingsStore::builtInColumnLayouts();
    // The widths and order the user gave the columns in the lists themselves.
    ui_.updateColumnsToReal(*p_.columnLayouts);
    auto ticked = [](const std::vector<QCheckBox*>& boxes) {
        std::vector<bool> out;
        for (QCheckBox* c : boxes) out.push_back(c->isChecked());
        return out;
    };
    bool changed = false;
    auto apply = [&](const char* name, const std::vector<bool>& choice) {
        XMLNodePtr layout;
        if (p_.columnLayouts->getNodeIndex(name) >= 0) {
            layout = p_.columnLayouts->getNode(name);
        } else {
            layout = SettingsStore::builtInColumnLayouts()->getNode(name)->getCopy();
            p_.columnLayouts->addNode(layout);
        }
        std::vector<int> shown;
        std::vector<std::int16_t> widths;
        for (const XMLNodePtr& clm : layout->children()) {
            if (clm->name != "clm") continue;
            shown.push_back(clm->getInteger("i", 0, -1));
            widths.push_back(clm->getInteger("w", 0, 100));
        }
        const std::vector<int> fields = chosenFields(shown, choice);
        if (fields == shown) return;
        changed = true;
        layout->clear();
        for (int f : fields) {
            auto clm = XMLNode::Create("clm");
            clm->addInteger("i", static_cast<std::int16_t>(f));
            const auto at = std::find(shown.begin(), shown.end(), f);
            clm->addInteger("w", at != shown.end()
                                     ? widths[static_cast<std::size_t>(at - shown.begin())]
                                     : std::int16_t(100));
            layout->addNode(clm);
        }
    };
    apply("ag", ticked(chkShowInAlarmgroups_));
    apply("al", ticked(chkShowInAlarms_));
    apply("sa0", ticked(chkShowInSeeAlarms_));
    apply("sa1", ticked(chkShowInSeeAlarms_));
    if (changed && ui_.mainWindow()) ui_.mainWindow()->initializeLists();
}

bool frmSettings::apply() {
    SettingsValues& s = p_.settings;

    // 1: the alarm-group folder must exist.
    std::string resolved;
    std::string folder = normalizedFolder(ss(txtAlarmGroupLocation_->text().trimmed()),
                                          p_.folders.programFolder, resolved);
    // The folder shown for the stored one is stored as before: "<app_path>"
    // keeps a portable folder portable.
    std::string shown;
    if (folder == normalizedFolder(shownFolder(s.agp), p_.folders.programFolder, shown))
        folder = s.agp;
    if (folder.empty() || !folderExists(resolved)) {
        p_.main.showMessageBox(ss(text(kFolderMissing)), mb::kExclamation);
        showPage(1);
        txtAlarmGroupLocation_->setFocus();
        txtAlarmGroupLocation_->selectAll();
        return false;
    }
    // The quick alarms group's name, checked as a name asked for from outside
    // when it was changed (one the file or the group dialog gave it stays
    // and blocks nothing else). The name before this apply: a language
    // switch below changes the language's name for the group.
    const std::string quickBefore = QuickAlarms(p_).quickName();
    const std::string quickName = ss(txtQuickAlarmsGroup_->text().trimmed());
    if (quickName != quickBefore) {
        // A group a plug-in fills would refuse every quick alarm.
        const AlarmGroupPtr existing = findGroupByName(p_.alarmGroups, quickName);
        const bool synchronised = existing && !existing->synchPlugin.empty();
        if (!groupNameAllowed(quickName) || synchronised) {
            QString message = text(kQuickGroupUnusable);
            if (synchronised)
                message = text(kQuickGroupSynchronised).replace(QStringLiteral("#1"), qs(quickName));
            p_.main.showMessageBox(ss(message), mb::kExclamation);
            showPage(1);
            txtQuickAlarmsGroup_->setFocus();
            txtQuickAlarmsGroup_->selectAll();
            return false;
        }
    }
    // 2: switching auto-save off is asked about.
    if (!chkAutoSave_->isChecked() && s.as &&
        p_.main.showMessageBox(ss(text(kAutoSaveOff)), mb::kYesNo | mb::kExclamation) !=
            mb::kAnswerYes)
        chkAutoSave_->setChecked(true);

    // 3: language and colour scheme.
    const int li = cmbLanguage_->currentIndex();
    const std::string lng = li >= 0 && li < static_cast<int>(languages_.size())
                                ? languages_[static_cast<std::size_t>(li)]
                                : s.lng;
    const int ci = cmbColorscheme_->currentIndex();
    const std::string cls = ci >= 0 && ci < static_cast<int>(schemes_.size())
                                ? schemes_[static_cast<std::size_t>(ci)]
                                : s.cls;
    const bool languageChanged = lng != s.lng;
    const bool schemeChanged = cls != s.cls;
    s.lng = lng;
    s.cls = cls;
    if (schemeChanged || languageChanged) {
        p_.colours.setSchemeName(s.cls);
        p_.colours.loadColourScheme();
    }
    if (languageChanged) {
        p_.translation.setLanguage(s.lng);
        p_.ports.plugIns.loadDescriptions();
    }

    // 4: everything else.
    bool folderMoved = false;
    if (folder != s.agp) {
        const QString before = QFileInfo(qs(p_.alarmGroupFolder())).canonicalFilePath();
        s.agp = folder;
        p_.ctx.alarmGroupFolder = p_.alarmGroupFolder();
        if (before != QFileInfo(qs(resolved)).canonicalFilePath()) {
            // Another folder: every group is written there at the next save, not
            // only those that happen to change, each under a file name that is
            // free there, so no file of that folder is overwritten. The old
            // files stay where they are.
            for (const AlarmGroupPtr& g : p_.alarmGroups) {
                g->path.clear();
                g->setChanged();
            }
            p_.supervision.pendingWork |= pending::kSaveGroups;
            folderMoved = true;
        }
    }
    txtAlarmGroupLocation_->setText(qs(shownFolder(folder)));
    s.as = chkAutoSave_->isChecked();
    s.tmpl = template_;
    s.odt = chkOverlapWarning_->isChecked();
    s.ola = vnbOverlapWarning_->value();
    s.olu =
        static_cast<std::int16_t>(frmAlarm::unitCodeOfIndex(cmbOverlapWarning_->currentIndex()));
    s.olp = restrictionOf(cmbOverlapWarningRestriction_->currentIndex());

    s.wl = static_cast<std::int16_t>(std::clamp(vnbWarning_->value(), 0, 32767));
    s.wu = static_cast<std::int16_t>(std::max(0, cmbWhenUnblocked_->currentIndex()));
    s.ftf = chkForceForeground_->isChecked();
    s.tc = vnbTimerCorrection_->value();
    s.dsa = static_cast<std::int16_t>(std::clamp(vnbSnoozeAmount_->value(), 0, 32767));
    s.dsu = static_cast<std::int16_t>(frmAlarm::unitCodeOfIndex(cmbSnoozeUnit_->currentIndex()));
    s.dsat = static_cast<std::int16_t>(std::max(0, cmbSnoozeAddTo_->currentIndex()));
    s.uoaw = chkUseOneAlarmWindow_->isChecked();
    s.dntf = chkDesktopNotifications_->isChecked();
    // Where waking cannot work, the setting stays as it was (for a later
    // start with the capability).
    if (wakeAvailability_ == 0) s.wake = chkWakeFromSleep_->isChecked();
    s.uat = chkKeepUnanswered_->isChecked();
    s.rmwn = chkRemindersByTray_->isChecked() ? 1 : 0;
    const bool watchChanged = s.wfld != chkWatchAlarmFolder_->isChecked();
    s.wfld = chkWatchAlarmFolder_->isChecked();
    if (quickName != quickBefore) {
        // The group goes on under the new name, so quick alarms keep going to
        // it; a group of that name already there takes them from now on.
        const AlarmGroupPtr old = findGroupByName(p_.alarmGroups, quickBefore);
        if (old && !findGroupByName(p_.alarmGroups, quickName)) {
            old->name = quickName;
            p_.control.alarmGroupsChanged({old}, change::kEdited);
        }
        s.qgn = quickName;
    }
    // After a language switch an unset name is the new language's.
    txtQuickAlarmsGroup_->setText(qs(QuickAlarms(p_).quickName()));
    s.qgk = static_cast<std::int16_t>(std::clamp(vnbQuickAlarmsKeep_->value(), 0, 8784));
    const bool scriptingChanged = s.sdbu != chkScriptingInterface_->isChecked();
    s.sdbu = chkScriptingInterface_->isChecked();
    if (s.dofm != chkDaysOffByMoment_->isChecked()) {
        s.dofm = chkDaysOffByMoment_->isChecked();
        daysOffKeeper::applySetting(p_);
        p_.control.alarmGroupsChanged({}, change::kEdited);
    }

    ExtraAlarm* extras[2] = {&p_.secondaryAlarm, &p_.attentionAlarm};
    for (std::size_t k = 0; k < 2; ++k) {
        extras[k]->enabled = chkExtra_[k]->isChecked() ? 1 : 0;
        extras[k]->threshold = restrictionOf(cmbExtraRestriction_[k]->currentIndex());
        // The program keeps its own copy; the dialog's stays free for the next edit.
        extras[k]->alarm = copyOf(extraAlarms_[k]);
    }

    s.ds = ss(txtDefaultSound_->text());
    s.osvol = chkSoundVolume_->isChecked();
    s.svol = sldSoundVolume_->value();
    s.vd = cmbVoice_->currentIndex() > 0 ? ss(cmbVoice_->currentText()) : std::string();
    s.ovvol = chkVoiceVolume_->isChecked();
    s.vvol = sldVoiceVolume_->value();
    s.ovspd = chkVoiceSpeed_->isChecked();
    s.vspd = sldVoiceSpeed_->value();

    s.df.da = static_cast<std::int16_t>(std::max(0, cmbDateFormat_->currentIndex()));
    s.df.ti = static_cast<std::int16_t>(cmbTimeFormat_->currentIndex() == 1 ? 1 : 0);
    s.df.sc = chkShowSeconds_->isChecked() ? 1 : 0;
    s.df.al = ss(txtFormat_[0]->text());
    s.df.sa = ss(txtFormat_[1]->text());
    s.df.na = ss(txtFormat_[2]->text());
    s.df.ot = ss(txtFormat_[3]->text());

    s.stt = chkShowTooltips_->isChecked();
    s.auc = chkAutoUpdateCalendar_->isChecked();
    s.cao = static_cast<std::int16_t>(std::clamp(vnbCalendarOffset_->value(), 0, 32767));
    s.ibw = static_cast<std::int16_t>(std::clamp(vnbIntervalBarWidth_->value(), 1, kMaxIntervalBarWidth));
    s.igc = chkIgnoreCorrection_->isChecked();
    s.acmm = static_cast<std::int16_t>(std::clamp(vnbAlarmClockMaxMinutes_->value(), 1, 32767));
    s.acst = static_cast<std::int16_t>(std::clamp(vnbAlarmClockSnoozeTime_->value(), 1, 32767));
    s.ofrm = chkUseOldFontRotationMethod_->isChecked();
    s.epa = chkPersonalAssistant_->isChecked();
    s.tiia = chkTimeInactive_->isChecked() ? std::max(1, vnbTimeInactive_->value()) : 0;

    // The safety check: the run-state file and the state written at exit together.
    const std::string runState = chkSafetyCheckAtStartup_->isChecked() ? "2" : "3";
    if ((runState == "3") != (p_.runState == "3")) {
        p_.runState = runState;
        if (!p_.main.writeRunState(runState))
            p_.writeLog("the run-state file cannot be written: " + p_.programFile("state"));
    }

    if (chkAutostart_->isChecked() != autostartEnabled() &&
        !setAutostart(chkAutostart_->isChecked(), QCoreApplication::applicationFilePath())) {
        p_.main.showMessageBox(texts::fill(ss(text(kAutostartFailed)), {ss(autostartFilePath())}),
                               mb::kExclamation);
        chkAutostart_->setChecked(autostartEnabled());
    }

    s.font = font_;
    ui_.applyListFont(s.font);
    applyColumns();
    p_.settingsStore.settingsChanged();
    p_.wake.update();
    if (scriptingChanged && ui_.scriptingSettingChanged) ui_.scriptingSettingChanged();
    if (folderMoved) {
        // The groups already in the new folder are taken over like any that
        // arrive there later.
        p_.folderSync.restart(false);
        p_.folderSync.rescan();
    } else if (watchChanged) {
        p_.folderSync.restart();
    }

    // Every open window in the new language; the lists in the new formats.
    if (languageChanged || schemeChanged) ui_.translateAll();
    if (ui_.mainWindow()) ui_.mainWindow()->fillSeeAlarmsControls();
    ui_.updateLists();
    ui_.showSeeAlarms(0);
    ui_.showSeeAlarms(1);
    ui_.showNextAlarm();
    return true;
}

void frmSettings::accept() {
    if (apply()) QDialog::accept();
}

// ---- Autostart ---------------------------------------------------------------------------

QString frmSettings::autostartFilePath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/quorvane.desktop");
}

bool frmSettings::autostartEnabled() { return QFileInfo::exists(autostartFilePath()); }

QString frmSettings::desktopExec(const QString& executable) {
    // Reserved characters need the argument quoted, with ", `, $ and \ escaped
    // inside the quotes; a literal % is written twice.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString exec = executable;
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    bool quote = false;
    for (QChar c : exec) quote = quote || reserved.contains(c);
    if (!quote) return exec;
    QString out = QStringLiteral("\"");
    for (QChar c : exec) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    // The value itself is a desktop-file string: its backslashes are escaped once more.
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}

bool frmSettings::setAutostart(bool enabled, const QString& executable) {
    const QString path = autostartFilePath();
    if (!enabled) return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    const QString entry = QStringLiteral(
                              "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Quorvane\n"
                              "Comment=Alarm clock\n"
                              "Exec=%1\n"
                              "Icon=quorvane\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                              .arg(desktopExec(executable));
    return writeFile(ss(path), ss(entry));
}

// ---- Opening -------------------------------------------------------------------------------

frmSettings::Services frmSettings::programServices(Program& program) {
    Services s;
    auto* performer = dynamic_cast<QtActionPerformer*>(&program.ports.performer);
    if (!performer) return s;
    Program* p = &program;
    s.voices = [performer] { return performer->speech().voices().getVoices(); };
    s.listSomeVoices = [performer] { return performer->speech().voices().listSomeVoices(); };
    s.speak = [performer](const QString& text, const QString& voice, bool ovvol, int vvol,
                          bool ovspd, int vspd) {
        performer->speech().voices().speak(text, voice, ovvol, vvol, ovspd, vspd);
    };
    s.playSound = [p, performer](const QString& file, bool overrideVolume, int volume) {
        // A sound action of a hidden alarm, played the way an alarm plays it,
        // in a window whose Stop ends it.
        AlarmPtr alarm = Alarm::createDefaultHiddenAlarm(nullptr, "");
        alarm->name = p->translation.getText(kSection, kPageNames + 4);
        auto action = clsAction::Create(p->ctx, alarm, clsAction::kPlaySound);
        action->settings = XMLNode::Create("sett");
        action->settings->addString("s", ss(file));
        action->settings->addInteger("i", 1);
        alarm->actions.addElement(action);
        const std::string pattern = file.isEmpty() ? performer->defaultSoundPattern() : ss(file);
        auto* w = new frmAlarm(*p, *performer);
        w->playSound(alarm, action, p->now(), false, true, overrideVolume, volume, pattern);
        w->showWindow();
    };
    return s;
}

bool frmSettings::run(Program& program, QtUserInterface& ui, QWidget* parent, AlarmEditor editAlarm,
                      const Services* services) {
    // On the heap: the exit path may unload every window while this one is open.
    QPointer<frmSettings> dialog = new frmSettings(
        program, ui, std::move(editAlarm), services ? *services : programServices(program), parent);
    ui.registerWindow(dialog);
    // Alarms go on sounding on time while it is open: nothing it shows is
    // applied before OK, and a held supervision would treat a long visit as
    // the computer being away.
    const int result = dialog->exec();
    const bool ok = dialog && result == QDialog::Accepted;
    delete dialog.data();
    return ok;
}

}  // namespace qv

#include "ui/frmquorvanemain.h"

#include "core/daysoffkeeper.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <set>

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/files.h"
#include "controls/elidedlabel.h"
#include "core/program.h"
#include "model/clsadvanceddate.h"
#include "model/texts.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/calendarlisting.h"
#include "ui/frmabout.h"
#include "ui/frmquickalarm.h"
#include "ui/frmactions.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmfind.h"
#include "ui/frmplugins.h"
#include "ui/frmsettings.h"
#include "ui/pluginmenus.h"
#include "ui/programicons.h"
#include "ui/qtuserinterface.h"
#include "ui/quorvanecalendar.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmQuorvaneMain";

// Layout node names and the number of fields of each list.
constexpr std::array<const char*, 4> kLayoutNames{"ag", "al", "sa0", "sa1"};
constexpr std::array<int, 4> kFieldCount{3, 7, 3, 3};
// First numbered text of each list's column captions (field 0).
constexpr std::array<int, 4> kCaptionBase{1, 11, 21, 21};

// Numbered texts of this window beyond the column captions.
enum Text {
    kAskUnload = 31,
    kAskReload = 32,
    kAskDelete = 33,
    kAskDeleteSounded = 34,
    kNoVersionChecker = 35,
    kImportFailed = 36,
    kExportFailed = 37,
    kCollectionName = 38,
    kHelpMissing = 39,
    kSnoozed = 41,
    kBlocked = 42,
    kAskDeleteOne = 43,
    kAskDeleteOneSounded = 44,
    kMoreRows = 45,
};

// The most rows a see-alarms list shows.
constexpr std::int32_t kSeeAlarmsRows = 500;

QString mainText(const Program& p, int number) { return qs(p.translation.getMainText(number)); }

QAction* namedAction(QMenu* menu, const char* name, const char* text, bool enabled = true) {
    QAction* a = menu->addAction(QString::fromLatin1(text));
    a->setObjectName(QString::fromLatin1(name));
    a->setEnabled(enabled);
    return a;
}

// How far apart two colours are for the eye: 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// Below this a coloured text is hard to read (large text needs 3:1).
constexpr double kMinimumContrast = 2.5;

// A key of the whole main window, shown in the menu: the desktop's usual one,
// else `fallback`.
void withShortcut(QAction* a, QKeySequence::StandardKey key, const QKeySequence& fallback = {}) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (keys.isEmpty() && !fallback.isEmpty()) keys = {fallback};
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
}
void withShortcut(QAction* a, const QKeySequence& key) {
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
}

// A key the lists handle themselves (Delete means something else in the
// group list): shown in the menu, active only while the menu is open.
void listKey(QAction* a, QKeySequence::StandardKey key) {
    a->setShortcut(QKeySequence(key));
    a->setShortcutContext(Qt::WidgetShortcut);
}

QMenu* namedMenu(QWidget* parent, const char* name, const char* title) {
    auto* m = new QMenu(QString::fromLatin1(title), parent);
    m->setObjectName(QString::fromLatin1(name));
    return m;
}

bool hasNextAfter(const AlarmPtr& a, DateTime d) {
    try {
        return a->hasNextAlarmDateAfter(d, false);
    } catch (const std::exception&) {
        // An alarm whose moment cannot be worked out is not taken for an old one.
        return true;
    }
}

int compareText(const std::string& a, const std::string& b) {
    return QString::localeAwareCompare(qs(a).toCaseFolded(), qs(b).toCaseFolded());
}

bool endsWithCI(const QString& s, const char* suffix) {
    return s.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

}  // namespace

frmQuorvaneMain::frmQuorvaneMain(Program& program, QtUserInterface& ui, QWidget* parent)
    : QMainWindow(parent), p_(program), ui_(ui) {
    setObjectName(QStringLiteral("frmQuorvaneMain"));
    setWindowTitle(QStringLiteral("Quorvane"));
    ClipboardAlarms = XMLNode::Create("cb");
    setWindowIcon(ProgramIcons::load(p_.folders).window);
    buildWidgets();
    buildMenus();
    initializeLists();
    fillSeeAlarmsControls();
    resize(759, 563);
    normalRect_ = appliedRect_ = QRect(40, 27, 759, 563);
}

frmQuorvaneMain::~frmQuorvaneMain() {
    // The child widgets go after this object's members (and perhaps after the
    // program state): nothing they signal on the way out may reach us.
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

// ---- Building -----------------------------------------------------------------------

void frmQuorvaneMain::buildWidgets() {
    auto makeList = [this](int id, const char* name) {
        auto* t = new QTreeWidget(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setRootIsDecorated(false);
        t->setUniformRowHeights(true);
        t->setSelectionMode(QAbstractItemView::ExtendedSelection);
        t->setSortingEnabled(false);
        t->setContextMenuPolicy(Qt::CustomContextMenu);
        t->header()->setSectionsMovable(true);
        t->header()->setSectionsClickable(true);
        t->header()->setStretchLastSection(false);
        t->installEventFilter(this);
        lists_[static_cast<std::size_t>(id)] = t;
        return t;
    };
    makeList(kGroups, "lstAlarmGroups");
    makeList(kAlarms, "lstAlarms");
    makeList(kSeeAlarms0, "lstSeeAlarms(0)");
    makeList(kSeeAlarms1, "lstSeeAlarms(1)");

    lblAlarmGroups_ = new QLabel(QStringLiteral("Alarm groups"), this);
    lblAlarmGroups_->setObjectName(QStringLiteral("lblAlarmGroups"));
    lblAlarms_ = new QLabel(QStringLiteral("Alarms"), this);
    lblAlarms_->setObjectName(QStringLiteral("lblAlarms"));
    // One line however many alarms it names: cut short with "…", the whole
    // text in its tool tip, rather than widening the window past the screen.
    lblNextAlarm_ = new ElidedLabel(this);
    lblNextAlarm_->setObjectName(QStringLiteral("lblNextAlarm"));
    // Holds an alarm's name: text as typed or imported, never markup.
    lblNextAlarm_->setTextFormat(Qt::PlainText);
    lblWriteProblem_ = new QLabel(this);
    lblWriteProblem_->setObjectName(QStringLiteral("lblWriteProblem"));
    lblWriteProblem_->setTextFormat(Qt::PlainText);
    lblWriteProblem_->setWordWrap(true);
    lblWriteProblem_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    lblWriteProblem_->hide();
    txtToDo_ = new QPlainTextEdit(this);
    txtToDo_->setObjectName(QStringLiteral("txtToDo"));
    connect(txtToDo_, &QPlainTextEdit::textChanged, this, [this] {
        if (settingToDo_) return;
        p_.supervision.pendingWork |= pending::kSaveToDo;
        p_.control.saveSoon();
    });

    // The see-alarms lists, each with its switch, amount and unit above it.
    std::array<QWidget*, 2> seeAlarmsPanes{};
    for (int k = 0; k < 2; ++k) {
        const auto ku = static_cast<std::size_t>(k);
        auto* pane = new QWidget(this);
        auto* chk = new QCheckBox(
            k == 0 ? QStringLiteral("Recent alarms, last") : QStringLiteral("Coming alarms, next"),
            pane);
        chk->setObjectName(QStringLiteral("chkSeeAlarms(%1)").arg(k));
        auto* txt = new QLineEdit(pane);
        txt->setObjectName(QStringLiteral("txtSeeAlarms(%1)").arg(k));
        txt->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), txt));
        txt->setMaximumWidth(60);
        auto* cmb = new QComboBox(pane);
        cmb->setObjectName(QStringLiteral("cmbSeeAlarms(%1)").arg(k));
        // The pane may get narrow: the caption gives way before the window does.
        chk->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        chk->setMinimumWidth(40);
        cmb->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        cmb->setMinimumContentsLength(5);
        chkSeeAlarms_[ku] = chk;
        txtSeeAlarms_[ku] = txt;
        cmbSeeAlarms_[ku] = cmb;
        auto* controls = new QHBoxLayout;
        controls->setContentsMargins(0, 0, 0, 0);
        controls->addWidget(txt);
        controls->addWidget(cmb, 1);
        auto* v = new QVBoxLayout(pane);
        v->setContentsMargins(0, 0, 0, 0);
        v->addWidget(chk);
        v->addLayout(controls);
        v->addWidget(lists_[static_cast<std::size_t>(kSeeAlarms0 + k)]);
        seeAlarmsPanes[ku] = pane;

        connect(chk, &QCheckBox::toggled, this, [this, k](bool on) {
            p_.settings.sa[k].shown = on ? 1 : 0;
            seeAlarmsChanged(k);
        });
        connect(cmb, &QComboBox::activated, this, [this, k](int index) {
            if (index < 0 || index > 6 || index == p_.settings.sa[k].unit) return;
            p_.settings.sa[k].unit = static_cast<std::int16_t>(index);
            seeAlarmsChanged(k);
        });
        connect(txt, &QLineEdit::editingFinished, this, [this, k] { seeAlarmsAmountEdited(k); });
        connect(txt, &QLineEdit::textChanged, this, [this, k] { nameSeeAlarmsUnits(k); });
    }

    auto* groupsPane = new QWidget(this);
    auto* gv = new QVBoxLayout(groupsPane);
    gv->setContentsMargins(0, 0, 0, 0);
    gv->addWidget(lblAlarmGroups_);
    gv->addWidget(lists_[kGroups]);
    auto* alarmsPane = new QWidget(this);
    auto* av = new QVBoxLayout(alarmsPane);
    av->setContentsMargins(0, 0, 0, 0);
    av->addWidget(lblAlarms_);
    av->addWidget(lists_[kAlarms]);

    // Four dividers: dv1 the height of the upper lists, dv2 the width of the
    // group list, dv3 the width of see-alarms list 0, dv4 the width of both
    // see-alarms lists beside the to-do text.
    auto makeSplitter = [this](int n, const char* name, Qt::Orientation o) {
        auto* s = new QSplitter(o, this);
        s->setObjectName(QString::fromLatin1(name));
        s->setChildrenCollapsible(false);
        dividers_[static_cast<std::size_t>(n - 1)] = s;
        connect(s, &QSplitter::splitterMoved, this, [this] {
            rememberDividers();
            p_.settingsStore.settingsChanged();
        });
        return s;
    };
    QSplitter* dv1 = makeSplitter(1, "lblHorDiv", Qt::Vertical);
    QSplitter* dv2 = makeSplitter(2, "lblVerDiv1", Qt::Horizontal);
    QSplitter* dv3 = makeSplitter(3, "lblHorDiv2", Qt::Horizontal);
    QSplitter* dv4 = makeSplitter(4, "lblVerDiv2", Qt::Horizontal);
    // The right-hand pane shows the alarm list or, as view 1, the calendar.
    calview_ = new QuorvaneCalendar(p_, this);
    rightPane_ = new QStackedWidget(this);
    rightPane_->addWidget(alarmsPane);
    rightPane_->addWidget(calview_);
    connect(calview_, &QuorvaneCalendar::ScopeChanged, this, [this](int v) { showCalendars(v); });
    connect(calview_, &QuorvaneCalendar::DblClick, this, [this](int v) {
        if (calview_->isAlarmSelected(v)) editAlarms(calview_->getSelectedAlarms(v));
    });
    connect(calview_, &QuorvaneCalendar::KeyDown, this, &frmQuorvaneMain::calendarKey);
    dv2->addWidget(groupsPane);
    dv2->addWidget(rightPane_);
    dv3->addWidget(seeAlarmsPanes[0]);
    dv3->addWidget(seeAlarmsPanes[1]);
    dv4->addWidget(dv3);
    dv4->addWidget(txtToDo_);
    dv1->addWidget(dv2);
    dv1->addWidget(dv4);
    for (QSplitter* s : dividers_) {
        s->setStretchFactor(0, 0);
        s->setStretchFactor(1, 1);
    }

    auto* central = new QWidget(this);
    auto* cv = new QVBoxLayout(central);
    cv->addWidget(dv1, 1);
    cv->addWidget(lblNextAlarm_);
    cv->addWidget(lblWriteProblem_);
    setCentralWidget(central);

    connect(lists_[kGroups], &QTreeWidget::itemSelectionChanged, this, [this] {
        if (filling_) return;
        updateSelectedAlarmGroups();
        showAlarms();
    });
    connect(lists_[kAlarms], &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!filling_) updateSelectedAlarms();
    });
    connect(lists_[kGroups], &QTreeWidget::itemDoubleClicked, this,
            [this] { editGroups(selectedGroups()); });
    for (int id = kAlarms; id < 4; ++id) {
        connect(lists_[static_cast<std::size_t>(id)], &QTreeWidget::itemDoubleClicked, this,
                [this, id] {
                    contextSeeAlarms_ = id == kSeeAlarms1 ? 1 : 0;
                    editAlarms(commandAlarms(id != kAlarms));
                });
    }
    for (int id = 0; id < 4; ++id) {
        QTreeWidget* t = lists_[static_cast<std::size_t>(id)];
        connect(t->header(), &QHeaderView::sectionClicked, this, [this, id](int logical) {
            const auto& f = fields_[static_cast<std::size_t>(id)];
            if (logical >= 0 && logical < static_cast<int>(f.size()))
                sortBy(id, f[static_cast<std::size_t>(logical)]);
        });
        connect(t, &QTreeWidget::customContextMenuRequested, this, [this, id, t](const QPoint& at) {
            updateMenus();
            QMenu* m = id == kGroups ? mnuAg_ : id == kAlarms ? mnuAl_ : mnuSA_;
            contextSeeAlarms_ = id == kSeeAlarms1 ? 1 : 0;
            m->popup(t->viewport()->mapToGlobal(at));
        });
    }
}

void frmQuorvaneMain::buildMenus() {
    QMenuBar* bar = menuBar();

    mnuAg_ = namedMenu(this, "mnuAg", "Alarm &groups");
    QAction* newGroup = namedAction(mnuAg_, "mnuAgAddNew", "New alarm group");
    withShortcut(newGroup, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    connect(newGroup, &QAction::triggered, this,
            [this] {
                // Named and set up at once; cancelled, nothing is left of it.
                if (const AlarmGroupPtr g = addNewAlarmGroup(); g && !editGroups({g}))
                    discardNewAlarmGroup(g);
            });
    connect(namedAction(mnuAg_, "mnuAgProperties", "Properties..."), &QAction::triggered, this,
            [this] { editGroups(selectedGroups()); });
    mnuAg_->addSeparator();
    connect(namedAction(mnuAg_, "mnuAgToggleOnOff", "Switch on or off"), &QAction::triggered, this,
            [this] { switchGroups(0); });
    connect(namedAction(mnuAg_, "mnuAgTurnOn", "Switch on"), &QAction::triggered, this,
            [this] { switchGroups(1); });
    connect(namedAction(mnuAg_, "mnuAgTurnOff", "Switch off"), &QAction::triggered, this,
            [this] { switchGroups(2); });
    mnuAg_->addSeparator();
    connect(namedAction(mnuAg_, "mnuAgUnload", "Unload"), &QAction::triggered, this,
            [this] { unloadAlarmGroups(); });
    connect(namedAction(mnuAg_, "mnuAgReloadAll", "Reload all"), &QAction::triggered, this,
            [this] { reloadAllAlarmGroups(); });
    connect(namedAction(mnuAg_, "mnuAgSaveAll", "Save all"), &QAction::triggered, this,
            [this] { saveAll(); });
    QAction* synchronise = namedAction(mnuAg_, "mnuAgSynchronize", "Synchronise");
    withShortcut(synchronise, QKeySequence::Refresh, QKeySequence(Qt::Key_F5));
    connect(synchronise, &QAction::triggered, this,
            [this] { p_.control.synchronizeAll(); });
    mnuAg_->addSeparator();
    connect(namedAction(mnuAg_, "mnuAgImportFile", "Import from file..."), &QAction::triggered,
            this, [this] {
                const QStringList files =
                    QFileDialog::getOpenFileNames(this, QString(), qs(p_.folders.programFolder),
                                                  withPlugInFilters(filters({3, 1, 2, 4}), true));
                importFiles(files);
            });
    QMenu* importPlugIn = namedMenu(this, "mnuAgImportPlugin", "Import through a plug-in");
    mnuAg_->addMenu(importPlugIn);
    connect(namedAction(mnuAg_, "mnuAgExportFile", "Export to file..."), &QAction::triggered, this,
            [this] {
                for (const AlarmGroupPtr& g : selectedGroups()) {
                    const QString path = QFileDialog::getSaveFileName(
                        this, QString(), qs(p_.folders.programFolder + "/" + g->name + ".agx"),
                        withPlugInFilters(filters({1, 4}), false));
                    if (!path.isEmpty()) exportGroupToFile(g, path);
                }
            });
    auto exportAs = [this](bool all) {
        std::vector<AlarmGroupPtr> groups =
            all ? std::vector<AlarmGroupPtr>(p_.alarmGroups.begin(), p_.alarmGroups.end())
                : selectedGroups();
        if (groups.empty()) return;
        const QString path = QFileDialog::getSaveFileName(
            this, QString(), qs(p_.folders.programFolder) + "/" + suggestedCollectionName(),
            filters({2, 4}));
        if (!path.isEmpty()) exportCollection(groups, path);
    };
    connect(namedAction(mnuAg_, "mnuAgExportSel", "Export selection as collection..."),
            &QAction::triggered, this, [exportAs] { exportAs(false); });
    connect(namedAction(mnuAg_, "mnuAgExportCol", "Export all as collection..."),
            &QAction::triggered, this, [exportAs] { exportAs(true); });
    QMenu* exportPlugIn = namedMenu(this, "mnuAgExportPlugIn", "Export through a plug-in");
    mnuAg_->addMenu(exportPlugIn);
    bar->addMenu(mnuAg_);

    mnuAl_ = namedMenu(this, "mnuAl", "&Alarms");
    QAction* newAlarm = namedAction(mnuAl_, "mnuAlAddNew", "New alarm");
    withShortcut(newAlarm, QKeySequence::New);
    connect(newAlarm, &QAction::triggered, this, [this] { addNewAlarm(); });
    // Quick alarms: presets and "Other time...".
    addQuickAlarmMenu(mnuAl_, p_, QStringLiteral("mnuAlQuick"), {},
                      [this] { runQuickAlarmDialog(p_, this); });
    connect(namedAction(mnuAl_, "mnuAlProperties", "Properties..."), &QAction::triggered, this,
            [this] { editAlarms(selectedAlarms()); });
    QAction* deleteAction = namedAction(mnuAl_, "mnuAlDelete", "Delete");
    listKey(deleteAction, QKeySequence::Delete);
    connect(deleteAction, &QAction::triggered, this, [this] { deleteAlarms(false); });
    connect(namedAction(mnuAl_, "mnuAlDeleteSounded", "Delete sounded"), &QAction::triggered, this,
            [this] { deleteAlarms(true); });
    mnuAl_->addSeparator();
    mnuAlTest_ = namedAction(mnuAl_, "mnuAlTest", "Test");
    connect(mnuAlTest_, &QAction::triggered, this, [this] { testAlarms(); });
    connect(namedAction(mnuAl_, "mnuAlToggleActive", "Switch on or off"), &QAction::triggered, this,
            [this] { switchAlarms(0); });
    connect(namedAction(mnuAl_, "mnuAlTurnOn", "Switch on"), &QAction::triggered, this,
            [this] { switchAlarms(1); });
    connect(namedAction(mnuAl_, "mnuAlTurnOff", "Switch off"), &QAction::triggered, this,
            [this] { switchAlarms(2); });
    connect(namedAction(mnuAl_, "mnuAlTurnOffSnoozing", "Stop snoozing"), &QAction::triggered, this,
            [this] { stopSnoozing(); });
    mnuAl_->addSeparator();
    QAction* cut = namedAction(mnuAl_, "mnuAlCut", "Cut");
    listKey(cut, QKeySequence::Cut);
    connect(cut, &QAction::triggered, this, [this] { cutAlarms(); });
    QAction* copy = namedAction(mnuAl_, "mnuAlCopy", "Copy");
    listKey(copy, QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { copyAlarms(); });
    mnuAlPaste_ = namedAction(mnuAl_, "mnuAlPaste", "Paste");
    listKey(mnuAlPaste_, QKeySequence::Paste);
    connect(mnuAlPaste_, &QAction::triggered, this, [this] { pasteAlarms(); });
    mnuAlUndo_ = namedAction(mnuAl_, "mnuAlUndo", "Undo", false);
    withShortcut(mnuAlUndo_, QKeySequence::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(mnuAlUndo_, &QAction::triggered, this, [this] { undoLast(); });
    bar->addMenu(mnuAl_);

    mnuGeneral_ = namedMenu(this, "mnuGeneral", "G&eneral");
    // Opened with the keyboard, a menu highlights its first entry: that is
    // Find, not the switch that silences every alarm.
    QAction* find = namedAction(mnuGeneral_, "mnuGeneralFind", "Find...");
    withShortcut(find, QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] { showFind(); });
    QAction* settings = namedAction(mnuGeneral_, "mnuGeneralSettings", "Settings...");
    withShortcut(settings, QKeySequence::Preferences, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, [this] { editSettings(); });
    connect(namedAction(mnuGeneral_, "mnuGeneralPlugIns", "Plug-ins..."), &QAction::triggered, this,
            [this] {
                frmPlugIns w(p_, this);
                w.exec();
            });
    connect(namedAction(mnuGeneral_, "mnuGeneralCustAct", "Custom actions..."), &QAction::triggered,
            this, [this] {
                frmActions w(p_, this);
                w.exec();
            });
    QMenu* generalPlugIns = namedMenu(this, "mnuGeneralGPP", "General-purpose plug-ins");
    mnuGeneral_->addMenu(generalPlugIns);
    mnuGeneral_->addSeparator();
    mnuGeneralBlocked_ = namedAction(mnuGeneral_, "mnuGeneralBlocked", "Alarms blocked");
    mnuGeneralBlocked_->setCheckable(true);
    connect(mnuGeneralBlocked_, &QAction::triggered, this,
            [this] { p_.control.setBlocked(!p_.supervision.blocked); });
    mnuGeneralStopSounds_ = namedAction(mnuGeneral_, "mnuGeneralStopSounds", "Stop all sounds");
    connect(mnuGeneralStopSounds_, &QAction::triggered, this, [this] {
        if (ui_.hooks.stopAllSounds) ui_.hooks.stopAllSounds();
    });
    plugInMenus_ = new PlugInMenus(p_, importPlugIn, exportPlugIn, generalPlugIns);
    plugInMenus_->selectedGroups = [this] { return selectedGroups(); };
    plugInMenus_->addGroups = [this](const std::vector<AlarmGroupPtr>& groups) {
        for (const AlarmGroupPtr& g : groups) {
            g->path.clear();
            g->setChanged();
            p_.alarmGroups.addElement(g);
        }
        p_.control.alarmGroupsChanged(groups, change::kEdited);
    };
    mnuGeneral_->addSeparator();
    // Exit lives here as well as in the tray's menu: a desktop without a
    // notification area must still let the user end the program.
    QAction* exitAction = namedAction(mnuGeneral_, "mnuGeneralExit", "Exit");
    withShortcut(exitAction, QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exitAction, &QAction::triggered, this, [this] { askAndExit(); });
    bar->addMenu(mnuGeneral_);

    mnuWindow_ = namedMenu(this, "mnuWindow", "&Window");
    QMenu* view = namedMenu(this, "mnuWindowView", "View");
    mnuWindowViewB_[0] = namedAction(view, "mnuWindowViewB(0)", "Alarm list");
    mnuWindowViewB_[1] = namedAction(view, "mnuWindowViewB(1)", "Calendar");
    for (int n = 0; n < 2; ++n) {
        mnuWindowViewB_[static_cast<std::size_t>(n)]->setCheckable(true);
        connect(mnuWindowViewB_[static_cast<std::size_t>(n)], &QAction::triggered, this,
                [this, n] { setView(n); });
    }
    mnuWindowViewB_[0]->setChecked(true);
    mnuWindow_->addMenu(view);
    connect(namedAction(mnuWindow_, "mnuWindowDefault", "Default layout"), &QAction::triggered,
            this, [this] {
                const MainWindowSettings def;
                MainWindowSettings mw = placement();
                mw.dv1 = def.dv1;
                mw.dv2 = def.dv2;
                mw.dv3 = def.dv3;
                mw.dv4 = def.dv4;
                mw.w = def.w;
                mw.h = def.h;
                mw.state = 0;
                applyPlacement(mw);
                calview_->resetWindowSize();
                p_.settingsStore.settingsChanged();
            });
    mnuWindowShowAC_ = namedAction(mnuWindow_, "mnuWindowShowAC", "Show the alarm clock");
    connect(mnuWindowShowAC_, &QAction::triggered, this, [this] {
        if (ui_.hooks.showAlarmClock) ui_.hooks.showAlarmClock();
    });
    connect(namedAction(mnuWindow_, "mnuWindowMissed", "Missed alarms..."), &QAction::triggered,
            this, [this] { ui_.showMissedAlarms(); });
    mnuWindow_->addSeparator();
    connect(namedAction(mnuWindow_, "mnuWindowClose", "Close"), &QAction::triggered, this,
            [this] { putAway(); });
    bar->addMenu(mnuWindow_);

    mnuHelp_ = namedMenu(this, "mnuHelp", "&Help");
    QAction* help = namedAction(mnuHelp_, "mnuHelpHelp", "Help");
    withShortcut(help, QKeySequence::HelpContents, QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this,
            [this] { runHelp(); });
    connect(namedAction(mnuHelp_, "mnuHelpAbout", "About Quorvane"), &QAction::triggered, this,
            [this] {
                if (frmAbout* a = ui_.about()) {
                    a->show();
                    a->raise();
                    a->activateWindow();
                }
            });
    mnuHelp_->addSeparator();
    connect(namedAction(mnuHelp_, "mnuHelpCheckVersion", "Check for a new version now"),
            &QAction::triggered, this, [this] { p_.ports.ui.runVersionCheck(true); });
    mnuHelpAutoCheckVersion_ =
        namedAction(mnuHelp_, "mnuHelpAutoCheckVersion", "Check for new versions automatically");
    mnuHelpAutoCheckVersion_->setCheckable(true);
    connect(mnuHelpAutoCheckVersion_, &QAction::triggered, this, [this] {
        p_.settings.acv = !p_.settings.acv;
        p_.settingsStore.settingsChanged();
        updateMenus();
    });
    bar->addMenu(mnuHelp_);

    // The see-alarms lists' own menu (right mouse button only).
    mnuSA_ = namedMenu(this, "mnuSA", "See alarms");
    connect(namedAction(mnuSA_, "mnuSAProperties", "Properties..."), &QAction::triggered, this,
            [this] { editAlarms(commandAlarms(true)); });
    QAction* deleteSeen = namedAction(mnuSA_, "mnuSADelete", "Delete");
    listKey(deleteSeen, QKeySequence::Delete);
    connect(deleteSeen, &QAction::triggered, this,
            [this] { deleteAlarms(false, true); });
    connect(namedAction(mnuSA_, "mnuSADeleteSounded", "Delete sounded"), &QAction::triggered, this,
            [this] { deleteAlarms(true, true); });
    mnuSATest_ = namedAction(mnuSA_, "mnuSATest", "Test");
    connect(mnuSATest_, &QAction::triggered, this, [this] { testAlarms(true); });
    connect(namedAction(mnuSA_, "mnuSATurnOff", "Switch off"), &QAction::triggered, this,
            [this] { switchAlarms(2, true); });
    connect(namedAction(mnuSA_, "mnuSAStopSnoozing", "Stop snoozing"), &QAction::triggered, this,
            [this] { stopSnoozing(true); });

    for (QMenu* m : {mnuAg_, mnuAl_, mnuGeneral_, mnuWindow_, mnuHelp_})
        connect(m, &QMenu::aboutToShow, this, &frmQuorvaneMain::updateMenus);
    updateMenus();
}

void frmQuorvaneMain::updateMenus() {
    mnuGeneralBlocked_->setChecked(p_.supervision.blocked);
    mnuGeneralStopSounds_->setEnabled(static_cast<bool>(ui_.hooks.stopAllSounds));
    mnuWindowShowAC_->setEnabled(static_cast<bool>(ui_.hooks.showAlarmClock));
    mnuHelpAutoCheckVersion_->setChecked(p_.settings.acv);
    mnuWindowViewB_[0]->setChecked(view_ != 1);
    mnuWindowViewB_[1]->setChecked(view_ == 1);
    mnuAlPaste_->setEnabled(ClipboardAlarms && ClipboardAlarms->getNumberOfNodes() > 0);
    mnuAlUndo_->setEnabled(undo_.canUndo());
}

QString frmQuorvaneMain::withPlugInFilters(const QString& own, bool import) const {
    const QString more = plugInMenus_ ? plugInMenus_->fileFilters(import) : QString();
    return more.isEmpty() ? own : own + QStringLiteral(";;") + more;
}

QString frmQuorvaneMain::filters(std::initializer_list<int> numbers) const {
    // Each filter reads "description|pattern;pattern" in the language file.
    QStringList out;
    for (int n : numbers) {
        const QString text = qs(p_.translation.getText("Filters", n));
        const int bar = text.indexOf(QLatin1Char('|'));
        if (bar < 0) continue;
        QString patterns = text.mid(bar + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString description = text.left(bar).trimmed();
        // The description may name its patterns itself, as "Alarm groups (*.agx)".
        out << (description.endsWith(QLatin1Char(')'))
                    ? description
                    : description + QStringLiteral(" (") + patterns + QStringLiteral(")"));
    }
    return out.join(QStringLiteral(";;"));
}

// ---- Translation --------------------------------------------------------------------

void frmQuorvaneMain::translate() {
    translateForm(this, p_.translation);
    for (int k = 0; k < 2; ++k) {
        QComboBox* cmb = cmbSeeAlarms_[static_cast<std::size_t>(k)];
        const QSignalBlocker block(cmb);
        cmb->clear();
        for (int unit = 0; unit < 7; ++unit) cmb->addItem(QString());
        nameSeeAlarmsUnits(k);
    }
    fillSeeAlarmsControls();
    for (int id = 0; id < 4; ++id) {
        QTreeWidget* t = lists_[static_cast<std::size_t>(id)];
        const auto& f = fields_[static_cast<std::size_t>(id)];
        for (std::size_t c = 0; c < f.size(); ++c)
            t->headerItem()->setText(static_cast<int>(c), columnCaption(id, f[c]));
        widenColumns(id);
    }
    lastNextAlarmText_.clear();
    showNextAlarm();
    calview_->translate();
    updateMenus();
}

// ---- The calendar view ----------------------------------------------------------------

void frmQuorvaneMain::setView(int view) {
    view = view == 1 ? 1 : 0;
    const bool changed = view_ != view;
    view_ = static_cast<std::int16_t>(view);
    rightPane_->setCurrentIndex(view);
    applyDividers();
    updateMenus();
    if (changed) p_.settingsStore.settingsChanged();
    if (view == 1) {
        // Listed now rather than after the next event: the view shows its
        // alarms as it appears.
        listCalendars();
    }
}

void frmQuorvaneMain::showCalendars(int view) {
    calendarsDue_ |= view < 0 ? 3 : 1 << (view == 0 ? 0 : 1);
    if (view_ != 1 || calendarListingPosted_) return;
    calendarListingPosted_ = true;
    QTimer::singleShot(0, this, [this] { listCalendars(); });
}

void frmQuorvaneMain::listCalendars() {
    calendarListingPosted_ = false;
    if (view_ != 1 || calendarsDue_ == 0) return;
    const int due = calendarsDue_;
    calendarsDue_ = 0;
    for (int v = 0; v < calview_->getNumberOfViews(); ++v) {
        if (!(due & (1 << v))) continue;
        // Only what the cells can show is listed; the rest is counted into their "+N".
        const CalendarOccurrences occ =
            listCalendarCells(p_.alarmGroups, calview_->cellBounds(v), calview_->cellCapacity(v),
                              calview_->getMinImportance(v), p_.settings.igc);
        ++calendarListings_;
        calview_->clear(v);
        calview_->addAlarms(v, occ);
    }
}

void frmQuorvaneMain::calendarKey(int view, int key, int modifiers) {
    if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !calview_->isAlarmSelected(view)) return;
    const std::vector<AlarmPtr> alarms = calview_->getSelectedAlarms(view);
    // As in the lists: Enter opens the properties, Ctrl+Enter tests.
    if (!(modifiers & Qt::ControlModifier)) {
        editAlarms(alarms);
        return;
    }
    for (const AlarmPtr& a : alarms) {
        if (ui_.hooks.testAlarm)
            ui_.hooks.testAlarm(a);
        else
            a->soundAlarm(p_.ctx, p_.now(), false);
    }
}

QString frmQuorvaneMain::columnCaption(int list, int field) const {
    return qs(p_.translation.getMainText(kCaptionBase[static_cast<std::size_t>(list)] + field));
}

// ---- Lists --------------------------------------------------------------------------

void frmQuorvaneMain::buildColumns(int id) {
    const auto idu = static_cast<std::size_t>(id);
    QTreeWidget* t = lists_[idu];
    if (!p_.columnLayouts) p_.columnLayouts = SettingsStore::builtInColumnLayouts();
    const char* name = kLayoutNames[idu];
    auto readLayout = [&](const XMLNode& layout, std::vector<int>& fields,
                          std::vector<int>& widths) {
        for (const XMLNodePtr& clm : layout.children()) {
            if (clm->name != "clm") continue;
            const int field = clm->getInteger("i", 0, -1);
            // A field this list does not have, or one shown twice, is left out.
            if (field < 0 || field >= kFieldCount[idu] ||
                std::find(fields.begin(), fields.end(), field) != fields.end())
                continue;
            fields.push_back(field);
            widths.push_back(std::clamp<int>(clm->getInteger("w", 0, 100), 0, 4000));
        }
    };
    std::vector<int> fields, widths;
    if (p_.columnLayouts->getNodeIndex(name) >= 0)
        readLayout(*p_.columnLayouts->getNode(name), fields, widths);
    if (fields.empty())
        readLayout(*SettingsStore::builtInColumnLayouts()->getNode(name), fields, widths);

    fields_[idu] = fields;
    t->clear();
    // A fresh header, so columns the user dragged around start in the layout's order.
    t->setHeaderItem(new QTreeWidgetItem);
    t->setColumnCount(static_cast<int>(fields.size()));
    for (std::size_t c = 0; c < fields.size(); ++c) {
        t->headerItem()->setText(static_cast<int>(c), columnCaption(id, fields[c]));
        t->setColumnWidth(static_cast<int>(c), widths[c]);
    }
    widenColumns(id);
}

int frmQuorvaneMain::minimumColumnWidth(int id, int field) const {
    const QTreeWidget* t = lists_[static_cast<std::size_t>(id)];
    QStringList words;
    auto dates = [&](const std::string& format) {
        // A week of late September: the longest day and month names.
        for (int day = 21; day <= 27; ++day)
            words << qs(formatDate(DateTime::fromParts(2025, 9, day, 23, 58, 58), format,
                                   p_.ports.dateNames));
    };
    if (id == kGroups && field == 1) {
        words << qs(p_.translation.getText(texts::kAlarmGroup, 1))
              << qs(p_.translation.getText(texts::kAlarmGroup, 2));
    } else if (id == kAlarms && field == 1) {
        words << qs(p_.translation.getText(texts::kAlarm, 1))
              << qs(p_.translation.getText(texts::kAlarm, 2)) << mainText(p_, kSnoozed);
    } else if (id == kAlarms && field == 2) {
        words << qs(p_.translation.getText(texts::kAlarm, 11));
        dates(p_.settings.df.al);
    } else if ((id == kSeeAlarms0 || id == kSeeAlarms1) && field == 1) {
        dates(p_.settings.df.sa);
    }
    int width = t->header()->fontMetrics().horizontalAdvance(columnCaption(id, field)) + 24;
    for (const QString& w : words)
        width = std::max(width, t->fontMetrics().horizontalAdvance(w) + 16);
    return width;
}

void frmQuorvaneMain::widenColumns(int id) {
    QTreeWidget* t = lists_[static_cast<std::size_t>(id)];
    const auto& f = fields_[static_cast<std::size_t>(id)];
    for (std::size_t c = 0; c < f.size(); ++c) {
        const int need = minimumColumnWidth(id, f[c]);
        if (t->columnWidth(static_cast<int>(c)) < need)
            t->setColumnWidth(static_cast<int>(c), need);
    }
}

std::vector<int> frmQuorvaneMain::columnFields(int id) const {
    const auto idu = static_cast<std::size_t>(id);
    const QHeaderView* h = lists_[idu]->header();
    std::vector<int> out;
    for (int v = 0; v < h->count(); ++v) {
        const int logical = h->logicalIndex(v);
        if (logical >= 0 && logical < static_cast<int>(fields_[idu].size()))
            out.push_back(fields_[idu][static_cast<std::size_t>(logical)]);
    }
    return out;
}

void frmQuorvaneMain::updateColumnsToReal(XMLNode& layouts) {
    for (int id = 0; id < 4; ++id) {
        const auto idu = static_cast<std::size_t>(id);
        const QHeaderView* h = lists_[idu]->header();
        if (fields_[idu].empty() || h->count() == 0) continue;
        XMLNodePtr node;
        if (layouts.getNodeIndex(kLayoutNames[idu]) >= 0) {
            node = layouts.getNode(kLayoutNames[idu]);
            node->clear();
        } else {
            node = XMLNode::Create(kLayoutNames[idu]);
            layouts.addNode(node);
        }
        for (int v = 0; v < h->count(); ++v) {
            const int logical = h->logicalIndex(v);
            if (logical < 0 || logical >= static_cast<int>(fields_[idu].size())) continue;
            auto clm = XMLNode::Create("clm");
            clm->addInteger(
                "i", static_cast<std::int16_t>(fields_[idu][static_cast<std::size_t>(logical)]));
            clm->addInteger("w",
                            static_cast<std::int16_t>(std::min(h->sectionSize(logical), 32767)));
            node->addNode(clm);
        }
    }
}

void frmQuorvaneMain::initializeLists() {
    for (int id = 0; id < 4; ++id) buildColumns(id);
    showAlarmGroups();
    showSeeAlarms(0);
    showSeeAlarms(1);
}

void frmQuorvaneMain::clearLists() {
    filling_ = true;
    for (QTreeWidget* t : lists_) t->clear();
    shownGroups_.clear();
    shownAlarms_.clear();
    filling_ = false;
}

// A list cell shows one line of a few hundred characters at most; laying out a
// name of megabytes (a damaged or hostile file) took gigabytes of glyph runs.
QString frmQuorvaneMain::cellText(const std::string& text, std::size_t shown) {
    if (text.size() <= shown) return qs(text);
    std::size_t cut = shown;
    // Not in the middle of a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return qs(text.substr(0, cut)) + QChar(0x2026);
}

void frmQuorvaneMain::fillRow(QTreeWidgetItem* item, const std::vector<std::string>& texts,
                              const std::vector<std::string>& colours, int id) {
    const auto& f = fields_[static_cast<std::size_t>(id)];
    const QColor base = lists_[static_cast<std::size_t>(id)]->palette().color(QPalette::Base);
    for (std::size_t c = 0; c < f.size(); ++c) {
        const auto field = static_cast<std::size_t>(f[c]);
        if (field < texts.size()) item->setText(static_cast<int>(c), cellText(texts[field]));
        if (field >= colours.size()) continue;
        // The model gives colours as decimal numbers (red in the low byte, or a
        // system colour). Plain window text is left to the style, so a dark
        // desktop theme keeps readable lists.
        bool ok = false;
        const qlonglong value = qs(colours[field]).trimmed().toLongLong(&ok);
        if (!ok || value < INT32_MIN || value > UINT32_MAX) continue;
        const auto colour = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        if (colour == kWindowTextColour || colour == kNoColour) continue;
        const std::int32_t rgb = resolveColour(colour, p_.ports.systemColours);
        if (rgb < 0) continue;
        const QColor wanted(rgb & 0xff, (rgb >> 8) & 0xff, (rgb >> 16) & 0xff);
        // A colour too close to the list's background (a dark scheme on a
        // light theme, a group's own pale colour) gives way to the style's text.
        if (contrastRatio(wanted, base) < kMinimumContrast) continue;
        item->setForeground(static_cast<int>(c), wanted);
    }
}

void frmQuorvaneMain::sortBy(int id, int field) {
    SortSettings& so = p_.settings.so;
    if (id == kGroups) {
        const int code = groupSortCode(field);
        if (code == 0) return;
        if (so.ag == code)
            so.agd = !so.agd;
        else {
            so.ag = static_cast<std::int16_t>(code);
            so.agd = false;
        }
    } else if (id == kAlarms) {
        const int code = alarmSortCode(field);
        if (code == 0) return;
        if (so.al == code)
            so.ald = !so.ald;
        else {
            so.al = static_cast<std::int16_t>(code);
            so.ald = false;
        }
    } else {
        return;  // the see-alarms lists are always in date order
    }
    p_.settingsStore.settingsChanged();
    showAlarmGroups();
}

int frmQuorvaneMain::groupSortCode(int field) {
    static constexpr int kCodes[] = {1, 3, 4};
    return field >= 0 && field < 3 ? kCodes[field] : 0;
}

int frmQuorvaneMain::alarmSortCode(int field) {
    static constexpr int kCodes[] = {1, 3, 2, 5, 6};
    return field >= 0 && field < 5 ? kCodes[field] : 0;
}

std::vector<AlarmGroupPtr> frmQuorvaneMain::sortedGroups() const {
    std::vector<AlarmGroupPtr> groups(p_.alarmGroups.begin(), p_.alarmGroups.end());
    const int code = p_.settings.so.ag;
    const int field = code == 1 ? 0 : code == 3 ? 1 : code == 4 ? 2 : -1;
    if (field < 0) return groups;
    std::vector<std::pair<std::string, AlarmGroupPtr>> keyed;
    for (const AlarmGroupPtr& g : groups) {
        const auto items = g->getStringItems(p_.ctx);
        const auto at = static_cast<std::size_t>(field * 2);
        keyed.emplace_back(at < items.size() ? items[at] : std::string(), g);
    }
    const bool desc = p_.settings.so.agd;
    std::stable_sort(keyed.begin(), keyed.end(), [desc](const auto& a, const auto& b) {
        const int c = compareText(a.first, b.first);
        return desc ? c > 0 : c < 0;
    });
    groups.clear();
    for (auto& k : keyed) groups.push_back(k.second);
    return groups;
}

void frmQuorvaneMain::showAlarmGroups() {
    // The group list's sort order is the groups' own order: sorting rearranges
    // them, and Ctrl+Up/Down go on from there.
    if (p_.settings.so.ag != 0) {
        const std::vector<AlarmGroupPtr> sorted = sortedGroups();
        p_.alarmGroups.clear();
        for (const AlarmGroupPtr& g : sorted) p_.alarmGroups.addElement(g);
    }
    QTreeWidget* t = lists_[kGroups];
    // A list with groups has one chosen (after a start, after the settings),
    // so the alarm list shows something.
    const bool anySelected = std::any_of(p_.alarmGroups.begin(), p_.alarmGroups.end(),
                                         [](const AlarmGroupPtr& g) { return !g->hidden && g->selected; });
    if (!anySelected)
        for (const AlarmGroupPtr& g : p_.alarmGroups)
            if (!g->hidden) {
                g->selected = true;
                break;
            }
    filling_ = true;
    {
        const QSignalBlocker block(t);
        t->clear();
        shownGroups_.clear();
        for (const AlarmGroupPtr& g : p_.alarmGroups) {
            if (g->hidden) continue;
            const auto items = g->getStringItems(p_.ctx);
            std::vector<std::string> texts, colours;
            for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
                texts.push_back(items[i]);
                colours.push_back(items[i + 1]);
            }
            auto* item = new QTreeWidgetItem(t);
            fillRow(item, texts, colours, kGroups);
            shownGroups_.push_back(g);
            if (g->selected) item->setSelected(true);
        }
    }
    filling_ = false;
    showAlarms();
    if (find_) find_->followAlarms();
}

std::vector<AlarmPtr> frmQuorvaneMain::sortedAlarms(
    const std::vector<AlarmGroupPtr>& groups) const {
    std::vector<AlarmPtr> out;
    for (const AlarmGroupPtr& g : groups)
        for (const AlarmPtr& a : g->alarms)
            if (!a->hidden) out.push_back(a);
    return out;
}

void frmQuorvaneMain::showAlarms() {
    std::vector<AlarmGroupPtr> groups;
    for (const AlarmGroupPtr& g : shownGroups_)
        if (g->selected) groups.push_back(g);
    struct Row {
        AlarmPtr alarm;
        std::vector<std::string> items;
        DateTime next;
    };
    std::vector<Row> rows;
    for (const AlarmPtr& a : sortedAlarms(groups)) {
        Row r{a, a->getStringItems(p_.ctx), kNever};
        r.next = a->getNextAlarmDateAfter();
        // The state says what the alarm will do: an alarm of a switched-off
        // group does not sound, and a snoozing one comes back on its own.
        const AlarmGroupPtr g = a->parentGroup();
        if (!a->Active || (g && !g->Active)) {
            r.items[1] = p_.translation.getText(texts::kAlarm, 2);
            r.items[8] = std::to_string(p_.colours.getColour(16, kWindowTextColour));
        } else if (a->snoozing)
            r.items[1] = p_.translation.getMainText(kSnoozed);
        rows.push_back(std::move(r));
    }
    const int code = p_.settings.so.al;
    const bool desc = p_.settings.so.ald;
    if (code == 2) {
        std::stable_sort(rows.begin(), rows.end(), [desc](const Row& a, const Row& b) {
            return desc ? b.next < a.next : a.next < b.next;
        });
    } else if (code == 1 || code == 3 || code == 5 || code == 6) {
        const std::size_t field = code == 1 ? 0 : code == 3 ? 1 : code == 5 ? 3 : 4;
        std::stable_sort(rows.begin(), rows.end(), [desc, field](const Row& a, const Row& b) {
            const int c = compareText(a.items[field], b.items[field]);
            return desc ? c > 0 : c < 0;
        });
    }

    QTreeWidget* t = lists_[kAlarms];
    filling_ = true;
    {
        const QSignalBlocker block(t);
        t->clear();
        shownAlarms_.clear();
        for (const Row& r : rows) {
            std::vector<std::string> texts(r.items.begin(), r.items.begin() + 7);
            std::vector<std::string> colours(r.items.begin() + 7, r.items.end());
            auto* item = new QTreeWidgetItem(t);
            fillRow(item, texts, colours, kAlarms);
            shownAlarms_.push_back(r.alarm);
            if (r.alarm->selected) item->setSelected(true);
        }
    }
    filling_ = false;
}

void frmQuorvaneMain::showSeeAlarms(int list) {
    if (list < 0 || list > 1) return;
    const int id = kSeeAlarms0 + list;
    QTreeWidget* t = lists_[static_cast<std::size_t>(id)];
    const SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
    // The selection survives a refresh: it is remembered by alarm and date.
    std::set<std::pair<const Alarm*, std::int64_t>> selected;
    for (QTreeWidgetItem* item : t->selectedItems()) {
        const int row = item->data(0, Qt::UserRole).toInt();
        if (row >= 0 && row < l.alarms.numberOfElements())
            selected.insert({item->data(0, Qt::UserRole + 1).value<quintptr>() != 0
                                 ? reinterpret_cast<const Alarm*>(
                                       item->data(0, Qt::UserRole + 1).value<quintptr>())
                                 : nullptr,
                             item->data(0, Qt::UserRole + 2).toLongLong()});
    }
    filling_ = true;
    {
        const QSignalBlocker block(t);
        t->clear();
        const std::int32_t all =
            std::min(l.alarms.numberOfElements(), l.dates.numberOfElements());
        // An alarm every second fills a day's list with 86 400 moments: a list
        // to read shows the first ones and says how many more there are.
        const std::int32_t n = std::min(all, kSeeAlarmsRows);
        for (std::int32_t i = 0; i < n; ++i) {
            const AlarmPtr a = l.alarms.elementAt(i);
            const DateTime d = l.dates.dateAt(i);
            const AlarmGroupPtr g = a->parentGroup();
            std::vector<std::string> texts{
                a->name, formatDate(d, p_.settings.df.sa, p_.ports.dateNames), g ? g->name : ""};
            // A recent alarm whose window nobody answered says so.
            if (list == 0 && p_.missed.contains(a.get(), d))
                texts[1] += " (" + p_.translation.getMainText(400) + ")";
            auto* item = new QTreeWidgetItem(t);
            fillRow(item, texts, {}, id);
            item->setData(0, Qt::UserRole, i);
            item->setData(0, Qt::UserRole + 1,
                          QVariant::fromValue(reinterpret_cast<quintptr>(a.get())));
            item->setData(0, Qt::UserRole + 2, static_cast<qlonglong>(d.seconds()));
            if (selected.count({a.get(), d.seconds()})) item->setSelected(true);
        }
        if (all > n) {
            auto* more = new QTreeWidgetItem(t);
            more->setText(0, qs(texts::fill(p_.translation.getMainText(kMoreRows),
                                            {std::to_string(all - n)})));
            more->setData(0, Qt::UserRole, -1);
            more->setFlags(Qt::ItemIsEnabled);
        }
    }
    filling_ = false;
}

void frmQuorvaneMain::showWriteProblem(const QString& text) {
    lblWriteProblem_->setText(text);
    lblWriteProblem_->setVisible(!text.isEmpty());
}

QString frmQuorvaneMain::writeProblemText() const { return lblWriteProblem_->text(); }

void frmQuorvaneMain::updateSelected() {
    updateSelectedAlarmGroups();
    updateSelectedAlarms();
}

void frmQuorvaneMain::updateSelectedAlarmGroups() {
    QTreeWidget* t = lists_[kGroups];
    for (int i = 0; i < t->topLevelItemCount() && i < static_cast<int>(shownGroups_.size()); ++i)
        shownGroups_[static_cast<std::size_t>(i)]->selected = t->topLevelItem(i)->isSelected();
}

void frmQuorvaneMain::updateSelectedAlarms() {
    QTreeWidget* t = lists_[kAlarms];
    for (int i = 0; i < t->topLevelItemCount() && i < static_cast<int>(shownAlarms_.size()); ++i)
        shownAlarms_[static_cast<std::size_t>(i)]->selected = t->topLevelItem(i)->isSelected();
}

std::vector<AlarmGroupPtr> frmQuorvaneMain::selectedGroups() const {
    std::vector<AlarmGroupPtr> out;
    QTreeWidget* t = lists_[kGroups];
    for (int i = 0; i < t->topLevelItemCount() && i < static_cast<int>(shownGroups_.size()); ++i)
        if (t->topLevelItem(i)->isSelected())
            out.push_back(shownGroups_[static_cast<std::size_t>(i)]);
    return out;
}

std::vector<AlarmPtr> frmQuorvaneMain::selectedAlarms() const {
    std::vector<AlarmPtr> out;
    QTreeWidget* t = lists_[kAlarms];
    for (int i = 0; i < t->topLevelItemCount() && i < static_cast<int>(shownAlarms_.size()); ++i)
        if (t->topLevelItem(i)->isSelected())
            out.push_back(shownAlarms_[static_cast<std::size_t>(i)]);
    return out;
}

std::vector<AlarmPtr> frmQuorvaneMain::selectedSeeAlarms(int list) const {
    std::vector<AlarmPtr> out;
    if (list < 0 || list > 1) return out;
    const SeeAlarmsList& l = p_.supervision.seeAlarms[static_cast<std::size_t>(list)];
    for (QTreeWidgetItem* item :
         lists_[static_cast<std::size_t>(kSeeAlarms0 + list)]->selectedItems()) {
        const int row = item->data(0, Qt::UserRole).toInt();
        if (row < 0 || row >= l.alarms.numberOfElements()) continue;
        const AlarmPtr a = l.alarms.elementAt(row);
        // One alarm may be listed at several dates; commands act on it once.
        if (std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
    }
    return out;
}

// ---- Next alarm, blocked, font ---------------------------------------------------------

void frmQuorvaneMain::showNextAlarm() {
    QString text;
    const SupervisionState& s = p_.supervision;
    if (!p_.started) {
        text = mainText(p_, 217);
    } else if (s.blocked) {
        // Nothing sounds while blocked; a moment the supervision is not
        // looking at would only mislead.
        text = mainText(p_, 209) + QLatin1Char(' ') + mainText(p_, kBlocked);
    } else if (s.nextAlarms.numberOfElements() == 0 || s.nextAlarmDate == kNever) {
        text = mainText(p_, 209) + QLatin1Char(' ') + mainText(p_, 210);
    } else {
        // One line: laying out megabytes of names in a label took gigabytes.
        QStringList names;
        for (const AlarmPtr& a : s.nextAlarms) {
            if (names.size() == 20) {
                names << QString(QChar(0x2026));
                break;
            }
            names << cellText(a->name, 200);
        }
        text = mainText(p_, 209) + QLatin1Char(' ') +
               qs(formatDate(s.nextAlarmDate, p_.settings.df.na, p_.ports.dateNames)) +
               QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    // A day off the next alarms skip before then is told, so the skip can be trusted.
    const QString skipped = p_.started && !s.blocked ? qs(daysOffKeeper::skipNote(p_)) : QString();
    if (!skipped.isEmpty()) text += QStringLiteral(" \u2014 ") + skipped;
    lblNextAlarm_->setText(text);
    lblNextAlarm_->setToolTip(text);
    // The tray icon's tool tip names the next alarm too (the skip first: the tip is short).
    if (frmAbout* about = ui_.about())
        about->setToolTip(QStringLiteral("Quorvane\n") +
                          (skipped.isEmpty() ? text : skipped + QLatin1Char('\n') + text));
    if (text != lastNextAlarmText_) {
        const bool first = lastNextAlarmText_.isEmpty();
        lastNextAlarmText_ = text;
        if (!first && p_.speakMessages) p_.ports.performer.speak(ss(text));
    }
}

void frmQuorvaneMain::showBlocked(bool blocked) {
    mnuGeneralBlocked_->setChecked(blocked);
    showNextAlarm();
}

void frmQuorvaneMain::showFont(const QFont& font) {
    for (QTreeWidget* t : lists_) t->setFont(font);
    for (int id = 0; id < 4; ++id) widenColumns(id);
}

// ---- See-alarms controls -----------------------------------------------------------

void frmQuorvaneMain::fillSeeAlarmsControls() {
    for (int k = 0; k < 2; ++k) {
        const auto ku = static_cast<std::size_t>(k);
        const SeeAlarmsSettings& sa = p_.settings.sa[k];
        const QSignalBlocker b1(chkSeeAlarms_[ku]);
        const QSignalBlocker b2(txtSeeAlarms_[ku]);
        const QSignalBlocker b3(cmbSeeAlarms_[ku]);
        chkSeeAlarms_[ku]->setChecked(sa.shown == 1);
        txtSeeAlarms_[ku]->setText(QString::number(std::max<int>(sa.amount, 0)));
        if (sa.unit >= 0 && sa.unit < cmbSeeAlarms_[ku]->count())
            cmbSeeAlarms_[ku]->setCurrentIndex(sa.unit);
    }
}

void frmQuorvaneMain::nameSeeAlarmsUnits(int k) {
    // "1 day", "2 days": the units follow the amount typed beside them.
    QComboBox* cmb = cmbSeeAlarms_[static_cast<std::size_t>(k)];
    const long amount = txtSeeAlarms_[static_cast<std::size_t>(k)]->text().toLong();
    for (int unit = 0; unit < cmb->count() && unit < 7; ++unit)
        cmb->setItemText(unit, qs(p_.translation.getUnitName(unit, amount)));
}

void frmQuorvaneMain::seeAlarmsAmountEdited(int k) {
    QLineEdit* txt = txtSeeAlarms_[static_cast<std::size_t>(k)];
    bool ok = false;
    const int value = txt->text().toInt(&ok);
    if (!ok || value < 0 || value > 32767) {
        // Nothing usable typed: show the amount in force again.
        txt->setText(QString::number(p_.settings.sa[k].amount));
        return;
    }
    if (value == p_.settings.sa[k].amount) return;
    p_.settings.sa[k].amount = static_cast<std::int16_t>(value);
    seeAlarmsChanged(k);
}

void frmQuorvaneMain::seeAlarmsChanged(int k) {
    p_.settingsStore.settingsChanged();
    p_.control.rebuildSeeAlarms(k);
}

// ---- To-do text ---------------------------------------------------------------------

QString frmQuorvaneMain::toDoText() const { return txtToDo_->toPlainText(); }

void frmQuorvaneMain::setToDoText(const QString& text) {
    settingToDo_ = true;
    txtToDo_->setPlainText(text);
    settingToDo_ = false;
}

// ---- Keyboard -----------------------------------------------------------------------

bool frmQuorvaneMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (int id = 0; id < 4; ++id)
            if (watched == lists_[static_cast<std::size_t>(id)])
                return handleListKey(id, static_cast<QKeyEvent*>(event)) ||
                       QMainWindow::eventFilter(watched, event);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmQuorvaneMain::handleListKey(int id, QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool seeAlarms = id == kSeeAlarms0 || id == kSeeAlarms1;
    contextSeeAlarms_ = id == kSeeAlarms1 ? 1 : 0;
    QTreeWidget* t = lists_[static_cast<std::size_t>(id)];

    if (ctrl && key == Qt::Key_A) {
        t->selectAll();
        return true;
    }
    if (enter && !ctrl) {
        if (id == kGroups)
            editGroups(selectedGroups());
        else
            editAlarms(commandAlarms(seeAlarms));
        return true;
    }
    if (key == Qt::Key_Delete && !ctrl) {
        if (id == kGroups)
            unloadAlarmGroups();
        else
            deleteAlarms(false, seeAlarms);
        return true;
    }
    if (id == kGroups) {
        if (ctrl && (key == Qt::Key_Up || key == Qt::Key_Down)) {
            moveGroup(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
        return false;
    }
    if (ctrl && enter) {
        testAlarms(seeAlarms);
        return true;
    }
    if (id != kAlarms) return false;
    if (ctrl && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        moveAlarm(key == Qt::Key_Up ? -1 : 1);
        return true;
    }
    if (ctrl && key == Qt::Key_X) {
        cutAlarms();
        return true;
    }
    if (ctrl && key == Qt::Key_C) {
        copyAlarms();
        return true;
    }
    if (ctrl && key == Qt::Key_V) {
        pasteAlarms();
        return true;
    }
    return false;
}

// ---- Group commands ---------------------------------------------------------------

AlarmGroupPtr frmQuorvaneMain::addNewAlarmGroup() {
    AlarmGroupPtr g = AlarmGroup::createDefaultAlarmGroup(p_.ctx);
    p_.alarmGroups.addElement(g);
    for (const AlarmGroupPtr& other : p_.alarmGroups) other->selected = other == g;
    // Saved at once, so the new group has its file even without auto-save.
    (void)p_.main.saveAlarmGroup(g);
    p_.control.alarmGroupsChanged({g}, g->path.empty() ? change::kEdited : 0);
    return g;
}

void frmQuorvaneMain::discardNewAlarmGroup(const AlarmGroupPtr& g) {
    if (!p_.alarmGroups.contains(g)) return;
    p_.alarmGroups.remove(g);
    if (!g->path.empty()) {
        const std::string file = AlarmGroup::resolvePath(g->path, p_.alarmGroupFolder());
        if (fileExists(file) && !deleteFile(file)) p_.writeLog("cannot delete " + file);
    }
    p_.control.alarmGroupsChanged({g}, change::kDeleted);
}

void frmQuorvaneMain::switchGroups(int how) {
    std::vector<AlarmGroupPtr> groups = selectedGroups();
    if (groups.empty()) return;
    for (const AlarmGroupPtr& g : groups) g->Active = how == 0 ? !g->Active : how == 1;
    p_.control.alarmGroupsChanged(groups, change::kSwitched);
}

void frmQuorvaneMain::unloadAlarmGroups() {
    std::vector<AlarmGroupPtr> removed;
    const std::string folder = p_.alarmGroupFolder();
    for (const AlarmGroupPtr& g : selectedGroups()) {
        if (g->getChangedSinceImport()) {
            const std::string q = texts::fill(p_.translation.getMainText(kAskUnload), {g->name});
            if (p_.main.showMessageBox(q, mb::kYesNo | mb::kQuestion) != mb::kAnswerYes) continue;
        }
        p_.alarmGroups.remove(g);
        if (!g->path.empty()) {
            const std::string file = AlarmGroup::resolvePath(g->path, folder);
            if (fileExists(file) && !deleteFile(file)) p_.writeLog("cannot delete " + file);
        }
        removed.push_back(g);
    }
    if (!removed.empty()) p_.control.alarmGroupsChanged(removed, change::kDeleted);
}

void frmQuorvaneMain::reloadAllAlarmGroups() {
    if (p_.main.showMessageBox(p_.translation.getMainText(kAskReload),
                               mb::kYesNo | mb::kQuestion) != mb::kAnswerYes)
        return;
    p_.main.resetAll(false);
    p_.main.loadAllAlarmGroups();
}

void frmQuorvaneMain::saveAll() {
    if (p_.main.saveChangedAlarmGroups())
        p_.supervision.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveGroups);
    if (p_.settingsStore.saveSettings())
        p_.supervision.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveSettings);
    if (p_.main.saveToDoText())
        p_.supervision.pendingWork &= static_cast<std::uint8_t>(~pending::kSaveToDo);
}

int frmQuorvaneMain::importFiles(const QStringList& files) {
    p_.ctx.alarmGroupFolder = p_.alarmGroupFolder();
    std::vector<AlarmGroupPtr> added;
    for (const QString& file : files) {
        std::vector<AlarmGroupPtr> groups;
        if (endsWithCI(file, ".agc")) {
            groups = AlarmGroup::createAlarmGroupsFromCollection(p_.ctx, ss(file));
        } else if (AlarmGroupPtr g =
                       AlarmGroup::createAlarmGroupFromImportedFile(p_.ctx, ss(file))) {
            groups.push_back(g);
        }
        if (groups.empty()) {
            p_.main.showMessageBox(
                texts::fill(p_.translation.getMainText(kImportFailed), {ss(file)}),
                mb::kExclamation);
            continue;
        }
        for (const AlarmGroupPtr& g : groups) {
            // The imported group gets a file of its own in the alarm-group folder.
            g->path.clear();
            g->setChanged();
            p_.alarmGroups.addElement(g);
            added.push_back(g);
        }
    }
    if (!added.empty()) p_.control.alarmGroupsChanged(added, change::kEdited);
    return static_cast<int>(added.size());
}

bool frmQuorvaneMain::exportGroupToFile(const AlarmGroupPtr& group, const QString& path) {
    p_.ctx.alarmGroupFolder = p_.alarmGroupFolder();
    if (group->save(p_.ctx, ss(path), true)) return true;
    p_.main.showMessageBox(texts::fill(p_.translation.getMainText(kExportFailed), {ss(path)}),
                           mb::kExclamation);
    return false;
}

bool frmQuorvaneMain::exportCollection(const std::vector<AlarmGroupPtr>& groups,
                                       const QString& path) {
    if (AlarmGroup::saveCollection(groups, ss(path))) return true;
    p_.main.showMessageBox(texts::fill(p_.translation.getMainText(kExportFailed), {ss(path)}),
                           mb::kExclamation);
    return false;
}

QString frmQuorvaneMain::suggestedCollectionName() const {
    return mainText(p_, kCollectionName) + QLatin1Char(' ') +
           qs(formatDate(p_.now(), "yyyy-mm-dd", p_.ports.dateNames)) + QStringLiteral(".agc");
}

void frmQuorvaneMain::moveGroup(int delta) {
    const std::vector<AlarmGroupPtr> sel = selectedGroups();
    if (sel.empty()) return;
    const AlarmGroupPtr g = sel.front();
    Vector<AlarmGroup>& v = p_.alarmGroups;
    const std::int32_t at = v.indexOf(g);
    std::int32_t to = at + delta;
    while (to >= 0 && to < v.numberOfElements() && v.elementAt(to)->hidden) to += delta;
    if (at < 0 || to < 0 || to >= v.numberOfElements()) return;
    v.swap(at, to);
    // The groups are in a hand-made order from now on.
    if (p_.settings.so.ag != 0) {
        p_.settings.so.ag = 0;
        p_.settingsStore.settingsChanged();
    }
    for (const AlarmGroupPtr& other : v) other->selected = other == g;
    p_.control.alarmGroupsChanged({}, 0);
}

// ---- Alarm commands ---------------------------------------------------------------

AlarmGroupPtr frmQuorvaneMain::targetGroup() const {
    const std::vector<AlarmGroupPtr> sel = selectedGroups();
    if (!sel.empty()) return sel.front();
    if (!shownGroups_.empty()) return shownGroups_.front();
    return nullptr;
}

std::vector<AlarmPtr> frmQuorvaneMain::commandAlarms(bool fromSeeAlarms) const {
    return fromSeeAlarms ? selectedSeeAlarms(contextSeeAlarms_) : selectedAlarms();
}

bool frmQuorvaneMain::runAlarmDialog(const std::vector<AlarmPtr>& alarms, int mode) {
    if (ui_.hooks.editAlarms) return ui_.hooks.editAlarms(alarms, mode);
    return frmAlarmProperties::editAlarms(p_, this, alarms, mode);
}

std::function<bool(const AlarmPtr&)> frmQuorvaneMain::templateEditor() {
    return [this](const AlarmPtr& alarm) {
        return runAlarmDialog({alarm}, frmAlarmProperties::kTemplate);
    };
}

bool frmQuorvaneMain::editGroups(const std::vector<AlarmGroupPtr>& groups) {
    if (groups.empty()) return false;
    if (ui_.hooks.editGroups) return ui_.hooks.editGroups(groups);
    return frmAlarmGroupProperties::run(p_, ui_, this, groups, templateEditor());
}

bool frmQuorvaneMain::editSettings() {
    if (ui_.hooks.editSettings) return ui_.hooks.editSettings();
    const bool applied = frmSettings::run(p_, ui_, this, templateEditor());
    // The plug-in folder may have been read again there.
    if (plugInMenus_) plugInMenus_->refresh();
    return applied;
}

frmFind* frmQuorvaneMain::showFind() {
    if (!find_) {
        find_ = new frmFind(p_);
        find_->openAlarms = [this](const std::vector<AlarmPtr>& alarms) { editAlarms(alarms); };
        ui_.registerWindow(find_);
    }
    find_->show();
    find_->raise();
    find_->activateWindow();
    return find_;
}

bool frmQuorvaneMain::editAlarms(const std::vector<AlarmPtr>& alarms) {
    if (alarms.empty() || !runAlarmDialog(alarms, frmAlarmProperties::kEdit)) return false;
    // An alarm moved to another group leaves its old group changed too.
    std::vector<AlarmGroupPtr> groups;
    for (const AlarmGroupPtr& g : p_.alarmGroups)
        if (g->getChanged()) groups.push_back(g);
    p_.control.alarmsChanged(alarms, change::kEdited);
    if (!groups.empty()) p_.control.alarmGroupsChanged(groups, change::kEdited);
    return true;
}

AlarmPtr frmQuorvaneMain::addNewAlarm() {
    AlarmGroupPtr g = targetGroup();
    if (!g) g = addNewAlarmGroup();
    if (!g) return nullptr;
    const AlarmPtr a = g->getTemplateAlarm(p_.ctx);
    a->parent = g;
    if (!runAlarmDialog({a}, frmAlarmProperties::kNew)) return nullptr;
    // The dialog may have chosen another group.
    if (const AlarmGroupPtr chosen = a->parentGroup(); chosen && p_.alarmGroups.contains(chosen))
        g = chosen;
    g->addAlarm(a);
    g->selected = true;
    for (const AlarmGroupPtr& other : p_.alarmGroups)
        for (const AlarmPtr& x : other->alarms) x->selected = x == a;
    p_.control.alarmsChanged({a}, change::kEdited);
    return a;
}

void frmQuorvaneMain::deleteAlarms(bool onlySounded, bool fromSeeAlarms) {
    std::vector<AlarmPtr> alarms = commandAlarms(fromSeeAlarms);
    if (onlySounded) {
        const DateTime now = p_.now();
        std::erase_if(alarms, [now](const AlarmPtr& a) { return hasNextAfter(a, now); });
    }
    if (alarms.empty()) return;
    // One alarm is named; several are counted.
    const std::string q =
        alarms.size() == 1
            ? texts::fill(
                  p_.translation.getMainText(onlySounded ? kAskDeleteOneSounded : kAskDeleteOne),
                  {alarms.front()->name})
            : texts::fill(p_.translation.getMainText(onlySounded ? kAskDeleteSounded : kAskDelete),
                          {std::to_string(alarms.size())});
    if (p_.main.showMessageBox(q, mb::kYesNo | mb::kQuestion) != mb::kAnswerYes) return;
    removeAlarms(alarms);
}

void frmQuorvaneMain::removeAlarms(const std::vector<AlarmPtr>& alarms) {
    if (alarms.empty()) return;
    rememberRemoval(alarms);
    for (const AlarmPtr& a : alarms) {
        if (const AlarmGroupPtr g = a->parentGroup()) {
            g->alarms.remove(a);
            g->setChanged();
        }
    }
    p_.control.alarmsChanged(alarms, change::kDeleted);
}

void frmQuorvaneMain::testAlarms(bool fromSeeAlarms) {
    for (const AlarmPtr& a : commandAlarms(fromSeeAlarms)) {
        if (ui_.hooks.testAlarm)
            ui_.hooks.testAlarm(a);
        else
            a->soundAlarm(p_.ctx, p_.now(), false);
    }
}

void frmQuorvaneMain::switchAlarms(int how, bool fromSeeAlarms) {
    const std::vector<AlarmPtr> alarms = commandAlarms(fromSeeAlarms);
    if (alarms.empty()) return;
    for (const AlarmPtr& a : alarms) a->Active = how == 0 ? !a->Active : how == 1;
    p_.control.alarmsChanged(alarms, change::kSwitched);
}

void frmQuorvaneMain::stopSnoozing(bool fromSeeAlarms) {
    std::vector<AlarmPtr> alarms = commandAlarms(fromSeeAlarms);
    std::erase_if(alarms, [](const AlarmPtr& a) { return !a->snoozing; });
    if (alarms.empty()) return;
    for (const AlarmPtr& a : alarms) {
        a->snoozing = false;
        a->nextSnoozeAlarmDate = kNever;
        a->invalidateCaches();
    }
    p_.control.alarmsChanged(alarms, change::kSnoozed);
}

void frmQuorvaneMain::moveAlarm(int delta) {
    // Only the hand-made order can be changed by hand.
    if (p_.settings.so.al != 0) return;
    const std::vector<AlarmPtr> sel = selectedAlarms();
    if (sel.empty()) return;
    const AlarmPtr a = sel.front();
    const AlarmGroupPtr g = a->parentGroup();
    if (!g) return;
    Vector<Alarm>& v = g->alarms;
    const std::int32_t at = v.indexOf(a);
    std::int32_t to = at + delta;
    while (to >= 0 && to < v.numberOfElements() && v.elementAt(to)->hidden) to += delta;
    if (at < 0 || to < 0 || to >= v.numberOfElements()) return;
    v.swap(at, to);
    g->setChanged();
    p_.control.alarmsChanged({a}, change::kEdited);
}

void frmQuorvaneMain::copyAlarms() {
    const std::vector<AlarmPtr> alarms = selectedAlarms();
    if (alarms.empty()) return;
    ClipboardAlarms = XMLNode::Create("cb");
    for (const AlarmPtr& a : alarms) ClipboardAlarms->addNode(a->toXML("alrm"));
    ClipboardParentAg = nullptr;
    updateMenus();
}

void frmQuorvaneMain::cutAlarms() {
    const std::vector<AlarmPtr> alarms = selectedAlarms();
    if (alarms.empty()) return;
    copyAlarms();
    ClipboardParentAg = alarms.front()->parentGroup();
    rememberRemoval(alarms);
    for (const AlarmPtr& a : alarms) {
        if (const AlarmGroupPtr g = a->parentGroup()) {
            g->alarms.remove(a);
            g->setChanged();
        }
    }
    p_.control.alarmsChanged(alarms, change::kDeleted);
}

void frmQuorvaneMain::pasteAlarms() {
    if (!ClipboardAlarms || ClipboardAlarms->getNumberOfNodes() == 0) return;
    AlarmGroupPtr g = targetGroup();
    if (!g) g = addNewAlarmGroup();
    if (!g || !frmAlarmProperties::mayPutAlarmsInto(p_, g)) return;
    std::vector<AlarmPtr> pasted;
    for (const XMLNodePtr& node : ClipboardAlarms->children()) {
        const AlarmPtr a = Alarm::createFromXML(*node, g);
        g->addAlarm(a);
        pasted.push_back(a);
    }
    for (const AlarmGroupPtr& other : p_.alarmGroups)
        for (const AlarmPtr& x : other->alarms)
            x->selected = std::find(pasted.begin(), pasted.end(), x) != pasted.end();
    g->selected = true;
    g->setChanged();
    rememberPaste(pasted);
    p_.control.alarmsChanged(pasted, change::kEdited);
}

// ---- Help ---------------------------------------------------------------------------

void frmQuorvaneMain::runHelp() {
    const std::string file = p_.folders.shippedFile(
        helpPageName(p_.folders, p_.translation.readKey("Language", "id", "en"), "index.html"));
    if (fileExists(file) && p_.commands.shellOpen(file, "", "")) return;
    p_.main.showMessageBox(texts::fill(p_.translation.getMainText(kHelpMissing), {file}),
                           mb::kExclamation);
}

void frmQuorvaneMain::askAndExit() {
    if (p_.exiting) return;
    if (p_.main.showMessageBox(p_.translation.getMainText(220), mb::kYesNo | mb::kQuestion) !=
        mb::kAnswerYes)
        return;
    p_.main.exitProgram(true);
}

// ---- Window -------------------------------------------------------------------------

void frmQuorvaneMain::putAway() {
    // Hidden only where the tray icon can bring it back; minimised otherwise,
    // so the window can always be reached.
    if (ui_.trayIconShown())
        hide();
    else
        showMinimized();
}

void frmQuorvaneMain::toggleWindowVisibility() {
    if (isVisible() && !isMinimized()) {
        putAway();
    } else {
        if (isMinimized()) showNormal();
        show();
        raise();
        activateWindow();
    }
}

void frmQuorvaneMain::closeEvent(QCloseEvent* event) {
    if (p_.exiting) {
        QMainWindow::closeEvent(event);
        return;
    }
    // Closing only puts the window away; the program goes on.
    event->ignore();
    putAway();
}

double frmQuorvaneMain::dpi() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double d = s ? s->logicalDotsPerInch() : 96.0;
    return d > 0 ? d : 96.0;
}

void frmQuorvaneMain::rememberNormalGeometry() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    normalRect_ = QRect(pos(), size());
}

void frmQuorvaneMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    rememberNormalGeometry();
}

void frmQuorvaneMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    rememberNormalGeometry();
    // The lists are laid out anew for the new size; the dividers stay where
    // the user put them.
    applyDividers();
}

void frmQuorvaneMain::rememberDividers() {
    for (std::size_t n = 0; n < dividers_.size(); ++n) {
        const QList<int> sizes = dividers_[n]->sizes();
        if (n == 0 && view_ == 1) continue;  // dv1 is the lists' divider
        if (sizes.size() >= 2 && sizes[0] + sizes[1] > 0) dv_[n] = sizes[0];
    }
}

void frmQuorvaneMain::applyDividers() {
    for (std::size_t n = 0; n < dividers_.size(); ++n) {
        QSplitter* s = dividers_[n];
        if (!s) continue;
        const QList<int> sizes = s->sizes();
        int total = 0;
        for (int v : sizes) total += v;
        if (total <= 0) total = dv_[n] + 200;
        // The calendar takes most of the height; the lists below give way.
        const int want = n == 0 && view_ == 1 ? std::max<int>(dv_[n], total * 3 / 4) : dv_[n];
        const int first = std::min(want, std::max(total - 20, 0));
        s->setSizes({first, total - first});
    }
}

MainWindowSettings frmQuorvaneMain::placement() const {
    MainWindowSettings mw;
    mw.view = view_;
    mw.visible = isVisible();
    mw.state = static_cast<std::int16_t>(isMinimized() ? 1 : isMaximized() ? 2 : 0);
    if (normalRect_ == appliedRect_) {
        mw.x = appliedTwips_[0];
        mw.y = appliedTwips_[1];
        mw.w = appliedTwips_[2];
        mw.h = appliedTwips_[3];
    } else {
        const double k = 1440.0 / dpi();
        mw.x = static_cast<float>(std::round(normalRect_.x() * k));
        mw.y = static_cast<float>(std::round(normalRect_.y() * k));
        mw.w = static_cast<float>(std::round(normalRect_.width() * k));
        mw.h = static_cast<float>(std::round(normalRect_.height() * k));
    }
    mw.dv1 = static_cast<std::int16_t>(dv_[0]);
    mw.dv2 = static_cast<std::int16_t>(dv_[1]);
    mw.dv3 = static_cast<std::int16_t>(dv_[2]);
    mw.dv4 = static_cast<std::int16_t>(dv_[3]);
    return mw;
}

void frmQuorvaneMain::applyPlacement(const MainWindowSettings& mw) {
    // A view this window does not have is shown as the list and kept as stored.
    view_ = mw.view;
    rightPane_->setCurrentIndex(view_ == 1 ? 1 : 0);
    if (view_ == 1) showCalendars();
    updateMenus();
    const double k = dpi() / 1440.0;
    auto px = [k](float twips, int lo, int hi) {
        const double v = std::isfinite(twips) ? std::round(twips * k) : 0.0;
        return static_cast<int>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
    };
    // Values from the file are trusted only as far as the desktop reaches: a
    // window larger than the screens only holds memory for pixels nobody sees
    // (10^9 twips wide took gigabytes), and one beyond them cannot be reached.
    QRect desk(0, 0, 1920, 1080);
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        desk = s->availableVirtualGeometry();
    const int w = std::max(200, std::min(px(mw.w, 200, 1000000), desk.width()));
    const int h = std::max(150, std::min(px(mw.h, 150, 1000000), desk.height()));
    // At least a corner of the window, and its title bar, stay on the desktop.
    constexpr int kReach = 100;
    const int x = std::clamp(px(mw.x, -1000000, 1000000), desk.left() - w + kReach,
                             std::max(desk.left(), desk.right() + 1 - kReach));
    const int y = std::clamp(px(mw.y, -1000000, 1000000), desk.top(),
                             std::max(desk.top(), desk.bottom() + 1 - kReach));
    const QRect r(x, y, w, h);
    const MainWindowSettings def;
    const std::array<std::int16_t, 4> dv{mw.dv1, mw.dv2, mw.dv3, mw.dv4};
    const std::array<std::int16_t, 4> dvDefault{def.dv1, def.dv2, def.dv3, def.dv4};
    for (std::size_t n = 0; n < 4; ++n) dv_[n] = dv[n] >= 0 ? dv[n] : dvDefault[n];

    if (isMaximized() || isMinimized()) showNormal();
    resize(r.size());
    move(r.topLeft());
    normalRect_ = appliedRect_ = r;
    appliedTwips_ = {mw.x, mw.y, mw.w, mw.h};
    if (r.x() != px(mw.x, -1000000, 1000000) || r.y() != px(mw.y, -1000000, 1000000) ||
        r.width() != px(mw.w, 0, 1000000) || r.height() != px(mw.h, 0, 1000000)) {
        // Clamped: what is shown is what gets stored.
        appliedRect_ = QRect();
    }
    applyDividers();

    if (!mw.visible || mw.state == 1) {
        putAway();
    } else if (mw.state == 2) {
        showMaximized();
    } else {
        show();
    }
    applyDividers();
    fillSeeAlarmsControls();
}

}  // namespace qv

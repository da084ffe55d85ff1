// The main window and the About window on a real program state: lists and
// column layouts, sorting, the hand-made order, the keyboard, the alarm
// clipboard, unloading, the see-alarms controls, the next-alarm text, both
// languages, the placement in twips, and the About window's keys.

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>

#include "base/dateformat.h"
#include "presentation/frmalarm.h"
#include "presentation/frmalarmclock.h"
#include "presentation/qtactionperformer.h"
#include "ui/calendarlisting.h"
#include "ui/frmabout.h"
#include "ui/frmalarmproperties.h"
#include "ui/programicons.h"
#include "ui/qtdesktop.h"
#include "ui/uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

QStringList column(QTreeWidget* t, int c) {
    QStringList out;
    for (int i = 0; i < t->topLevelItemCount(); ++i) out << t->topLevelItem(i)->text(c);
    return out;
}

// What a click on a column header reports (real clicks in quick succession
// would be taken for double clicks).
void clickHeader(QTreeWidget* t, int logical) { emit t->header()->sectionClicked(logical); }

QAction* action(QWidget* w, const char* name) {
    QAction* a = w->findChild<QAction*>(QString::fromLatin1(name));
    if (!a) qFatal("no action %s", name);
    return a;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void columnLayoutsShowTheirFieldsInOrder();
    void groupSortingFlipsOnTheSecondClickAndCodeZeroKeepsTheOrder();
    void alarmSortingByNextDateLeavesTheGroupAlone();
    void ctrlUpAndDownMoveInTheHandMadeOrderOnly();
    void keyboardTable();
    void cutCopyAndPasteAcrossGroups();
    void unloadingAGroupDeletesItsFileAfterTheQuestion();
    void newAlarmWithoutGroupsMakesAndSavesAGroup();
    void thePropertiesDialogOpensFromEveryPlaceAndCancelAddsNothing();
    void seeAlarmsControlsRefuseLettersAndRebuildTheList();
    void anAlarmEverySecondShowsABoundedListAndWriteProblemsStayInSight();
    void toDoEditsMarkTheTextForSaving();
    void nextAlarmText();
    void everyWindowTranslatesIntoBothLanguages();
    void placementRoundTripInTwips();
    void settingsFileLaysOutTheWindow();
    void blockedStateShowsInMenus();
    void versionCheck();
    void aboutWindowKeys();
    void trayExitAsksFirst();
    void windowsMayOutliveTheProgram();
    void iconFilesOfTheProgramFolderWin();
    void theUsualKeysAreInTheMenusAndWork();
    void withoutATrayTheWindowStaysReachable();
    void accessKeysNeverClashInEitherLanguage();
    void alarmWindowDeletionIsAskedOnceAndSaved();
    void listsSayWhatTheAlarmsWillDo();
    void columnsFitTheirTextsInBothLanguages();
    void openAlarmWindowsAreTranslatedAndCarryTheIcon();
    void datesAndCountsReadNaturally();
    void theCalendarFollowsTheCorrectionSetting();
    void aGroupIsChosenWhenNoneIs();
    void coloursTooPaleForTheBackgroundGiveWay();
    void messageBoxButtonsSpeakTheProgramsLanguage();
};

void TestMainWindow::columnLayoutsShowTheirFieldsInOrder() {
    UiFixture f;
    f.p().columnLayouts->removeNode("ag");
    f.p().columnLayouts->addXMLString(
        "<ag><clm><i>1</i><w>160</w></clm><clm><i>0</i><w>90</w></clm><clm><i>7</i><w>5</w></clm>"
        "<clm><i>1</i><w>5</w></clm></ag>");
    f.addGroup("Work");
    f.main().initializeLists();
    QTreeWidget* t = f.main().list(frmQuorvaneMain::kGroups);
    // The second field (the state) first; an unknown field and a repeated one are left out.
    QCOMPARE(t->columnCount(), 2);
    QCOMPARE(t->topLevelItem(0)->text(0), QStringLiteral("active"));
    QCOMPARE(t->topLevelItem(0)->text(1), QStringLiteral("Work"));
    QCOMPARE(t->columnWidth(0), 160);
    QCOMPARE(t->headerItem()->text(1), QString::fromStdString(f.p().translation.getMainText(1)));

    // The user drags the name column to the front and widens it: the layout follows.
    t->header()->moveSection(1, 0);
    t->header()->resizeSection(1, 140);
    f.ui.updateColumnsToReal(*f.p().columnLayouts);
    const XMLNodePtr ag = f.p().columnLayouts->getNode("ag");
    QCOMPARE(QString::fromStdString(ag->toString()),
             QStringLiteral("<ag><clm><i>0</i><w>140</w></clm><clm><i>1</i><w>160</w></clm></ag>"));
    // The others stay as they were built.
    QCOMPARE(f.p().columnLayouts->getNode("al")->getNumberOfNodes(), 3);

    // A layout with nothing usable falls back to the built-in one.
    f.p().columnLayouts->removeNode("sa0");
    f.p().columnLayouts->addXMLString("<sa0><clm><i>x</i></clm></sa0>");
    f.main().initializeLists();
    QCOMPARE(f.main().columnFields(frmQuorvaneMain::kSeeAlarms0), (std::vector<int>{0, 1}));
}

void TestMainWindow::groupSortingFlipsOnTheSecondClickAndCodeZeroKeepsTheOrder() {
    UiFixture f;
    f.addGroup("beta");
    f.addGroup("Alpha");
    f.addGroup("gamma");
    f.main().show();
    f.main().showAlarmGroups();
    QTreeWidget* t = f.main().list(frmQuorvaneMain::kGroups);
    // A stored code 0 shows the groups as they are.
    QCOMPARE(column(t, 0), (QStringList{"beta", "Alpha", "gamma"}));

    clickHeader(t, 0);
    QCOMPARE(f.p().settings.so.ag, std::int16_t(1));
    QVERIFY(!f.p().settings.so.agd);
    QCOMPARE(column(t, 0), (QStringList{"Alpha", "beta", "gamma"}));
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveSettings);

    clickHeader(t, 0);
    QVERIFY(f.p().settings.so.agd);
    QCOMPARE(column(t, 0), (QStringList{"gamma", "beta", "Alpha"}));

    // The state column sorts by code 3; inactive ("inactive") after active.
    f.p().alarmGroups.elementAt(1)->Active = false;  // beta
    clickHeader(t, 1);
    QCOMPARE(f.p().settings.so.ag, std::int16_t(3));
    QCOMPARE(column(t, 1), (QStringList{"active", "active", "inactive"}));
}

void TestMainWindow::alarmSortingByNextDateLeavesTheGroupAlone() {
    UiFixture f;
    auto g = f.addGroup("G", {{"late", dt(2025, 4, 3, 9, 0, 0)},
                              {"soon", dt(2025, 3, 30, 9, 0, 0)},
                              {"mid", dt(2025, 4, 1, 9, 0, 0)}});
    f.main().show();
    f.selectGroups({g});
    QTreeWidget* t = f.main().list(frmQuorvaneMain::kAlarms);
    QCOMPARE(column(t, 0), (QStringList{"late", "soon", "mid"}));
    // The built-in alarm layout shows name, state, next date: field 2 sorts by code 2.
    clickHeader(t, 2);
    QCOMPARE(f.p().settings.so.al, std::int16_t(2));
    QCOMPARE(column(t, 0), (QStringList{"soon", "mid", "late"}));
    clickHeader(t, 2);
    QCOMPARE(column(t, 0), (QStringList{"late", "mid", "soon"}));
    // Only the display is sorted; the group keeps its own order.
    QCOMPARE(f.names(std::vector<AlarmPtr>(g->alarms.begin(), g->alarms.end())),
             (std::vector<std::string>{"late", "soon", "mid"}));
}

void TestMainWindow::ctrlUpAndDownMoveInTheHandMadeOrderOnly() {
    UiFixture f;
    auto g1 = f.addGroup("one", {{"a", dt(2025, 4, 1)}, {"b", dt(2025, 4, 2)}});
    f.addGroup("two");
    f.addGroup("three");
    f.main().show();
    f.selectGroups({g1});
    QTreeWidget* groups = f.main().list(frmQuorvaneMain::kGroups);

    QTest::keyClick(groups, Qt::Key_Up, Qt::ControlModifier);  // already first: nothing
    QCOMPARE(f.groupOrder(), (std::vector<std::string>{"one", "two", "three"}));
    QTest::keyClick(groups, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(f.groupOrder(), (std::vector<std::string>{"two", "one", "three"}));
    QCOMPARE(f.names(f.main().selectedGroups()), (std::vector<std::string>{"one"}));
    QCOMPARE(column(groups, 0), (QStringList{"two", "one", "three"}));

    // After sorting, a move goes on from the sorted order, which becomes the hand-made one.
    f.main().sortBy(frmQuorvaneMain::kGroups, 0);  // one, three, two
    QTest::keyClick(groups, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(f.groupOrder(), (std::vector<std::string>{"three", "one", "two"}));
    QCOMPARE(f.p().settings.so.ag, std::int16_t(0));

    QTreeWidget* alarms = f.main().list(frmQuorvaneMain::kAlarms);
    f.selectAlarms({g1->alarms.elementAt(1)});
    QTest::keyClick(alarms, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(f.names(std::vector<AlarmPtr>(g1->alarms.begin(), g1->alarms.end())),
             (std::vector<std::string>{"b", "a"}));
    QVERIFY(g1->getChanged());
    // A sorted alarm list is not the hand-made order: nothing moves.
    f.p().settings.so.al = 1;
    QTest::keyClick(alarms, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(f.names(std::vector<AlarmPtr>(g1->alarms.begin(), g1->alarms.end())),
             (std::vector<std::string>{"b", "a"}));
}

void TestMainWindow::keyboardTable() {
    UiFixture f;
    auto g1 =
        f.addGroup("one", {{"a", dt(2025, 4, 1)}, {"b", dt(2025, 4, 2)}, {"c", dt(2025, 4, 3)}});
    auto g2 = f.addGroup("two");
    f.main().show();
    std::vector<std::string> tested;
    f.ui.hooks.testAlarm = [&](const AlarmPtr& a) { tested.push_back(a->name); };
    f.main().showAlarmGroups();

    QTreeWidget* groups = f.main().list(frmQuorvaneMain::kGroups);
    QTreeWidget* alarms = f.main().list(frmQuorvaneMain::kAlarms);
    QTest::keyClick(groups, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.main().selectedGroups().size(), std::size_t(2));
    // Selecting groups shows their alarms.
    QCOMPARE(alarms->topLevelItemCount(), 3);

    QTest::keyClick(alarms, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.main().selectedAlarms().size(), std::size_t(3));
    QTest::keyClick(alarms, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(tested, (std::vector<std::string>{"a", "b", "c"}));
    QTest::keyClick(alarms, Qt::Key_Return);  // properties: nothing yet, and no harm
    QCOMPARE(g1->numberOfAlarms(), 3);

    f.selectAlarms({g1->alarms.elementAt(0)});
    f.answers = {mb::kAnswerNo};
    QTest::keyClick(alarms, Qt::Key_Delete);
    QCOMPARE(g1->numberOfAlarms(), 3);
    QCOMPARE(f.boxes.back().buttons, mb::kYesNo | mb::kQuestion);
    QTest::keyClick(alarms, Qt::Key_Delete);  // Yes
    QCOMPARE(f.names(std::vector<AlarmPtr>(g1->alarms.begin(), g1->alarms.end())),
             (std::vector<std::string>{"b", "c"}));
    QVERIFY(g1->getChanged());
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveGroups);

    // Delete in the group list unloads the selected groups.
    f.selectGroups({g2});
    QTest::keyClick(groups, Qt::Key_Delete);
    QCOMPARE(f.groupOrder(), (std::vector<std::string>{"one"}));
}

void TestMainWindow::cutCopyAndPasteAcrossGroups() {
    UiFixture f;
    auto g1 = f.addGroup("one", {{"a", dt(2025, 4, 1)}, {"b", dt(2025, 4, 2)}});
    auto g2 = f.addGroup("two");
    f.main().show();
    QTreeWidget* alarms = f.main().list(frmQuorvaneMain::kAlarms);

    f.selectGroups({g1});
    const AlarmPtr a = g1->alarms.elementAt(0);
    f.selectAlarms({a});
    QTest::keyClick(alarms, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(g1->numberOfAlarms(), 1);
    QCOMPARE(f.main().ClipboardParentAg, g1);
    QCOMPARE(f.main().ClipboardAlarms->name, std::string("cb"));
    QCOMPARE(f.main().ClipboardAlarms->getNumberOfNodes(), 1);

    f.selectGroups({g2});
    QTest::keyClick(alarms, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(g2->numberOfAlarms(), 1);
    const AlarmPtr pasted = g2->alarms.elementAt(0);
    QVERIFY(pasted != a);
    QCOMPARE(pasted->name, std::string("a"));
    QCOMPARE(pasted->onceDate, a->onceDate);
    QCOMPARE(pasted->parentGroup(), g2);
    QVERIFY(g2->getChanged());
    QCOMPARE(column(alarms, 0), (QStringList{"a"}));
    QCOMPARE(f.names(f.main().selectedAlarms()), (std::vector<std::string>{"a"}));

    // Copy leaves the original; pasting twice gives two copies.
    f.selectGroups({g1});
    f.selectAlarms({g1->alarms.elementAt(0)});
    QTest::keyClick(alarms, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(g1->numberOfAlarms(), 1);
    QVERIFY(!f.main().ClipboardParentAg);
    f.selectGroups({g2});
    QTest::keyClick(alarms, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(alarms, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f.names(std::vector<AlarmPtr>(g2->alarms.begin(), g2->alarms.end())),
             (std::vector<std::string>{"a", "b", "b"}));

    // Into a synchronised group only after the question: No pastes nothing.
    g2->synchPlugin = "QuorvaneCalendar*Appointments";
    f.answers = {mb::kAnswerNo};
    QTest::keyClick(alarms, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(g2->numberOfAlarms(), 3);
    QVERIFY(f.boxes.back().text.contains("\"two\" is synchronised"));
}

void TestMainWindow::unloadingAGroupDeletesItsFileAfterTheQuestion() {
    UiFixture f;
    auto g = f.addGroup("keep me", {{"a", dt(2025, 4, 1)}});
    const std::string path = AlarmGroup::newFilePath(f.p().alarmGroupFolder());
    QVERIFY(g->save(f.p().ctx, path, false));
    g->path = path;
    const std::string file = AlarmGroup::resolvePath(path, f.p().alarmGroupFolder());
    QVERIFY(fileExists(file));
    f.selectGroups({g});

    f.answers = {mb::kAnswerNo};
    action(&f.main(), "mnuAgUnload")->trigger();
    QCOMPARE(f.boxes.size(), std::size_t(1));
    QVERIFY(f.boxes[0].text.contains(QStringLiteral("keep me")));
    QCOMPARE(f.p().alarmGroups.numberOfElements(), 1);
    QVERIFY(fileExists(file));

    action(&f.main(), "mnuAgUnload")->trigger();
    QCOMPARE(f.p().alarmGroups.numberOfElements(), 0);
    QVERIFY(!fileExists(file));
    QCOMPARE(f.main().list(frmQuorvaneMain::kGroups)->topLevelItemCount(), 0);
    QCOMPARE(f.main().list(frmQuorvaneMain::kAlarms)->topLevelItemCount(), 0);

    // A group unchanged since its import goes without a question.
    auto quiet = f.addGroup("imported");
    quiet->changedSinceImport = false;
    f.selectGroups({quiet});
    const std::size_t asked = f.boxes.size();
    action(&f.main(), "mnuAgUnload")->trigger();
    QCOMPARE(f.boxes.size(), asked);
    QCOMPARE(f.p().alarmGroups.numberOfElements(), 0);

    // So does a group just imported from a file, though it is not saved yet.
    const std::string foreign = f.core.folder.file("from a friend.agx");
    QVERIFY(writeFile(foreign, "<algr><name>friend</name><chsi>-1</chsi></algr>"));
    QCOMPARE(f.main().importFiles({QString::fromStdString(foreign)}), 1);
    const AlarmGroupPtr imported = f.p().alarmGroups.elementAt(0);
    QVERIFY(imported->getChanged());
    f.selectGroups({imported});
    action(&f.main(), "mnuAgUnload")->trigger();
    QCOMPARE(f.boxes.size(), asked);
    QCOMPARE(f.p().alarmGroups.numberOfElements(), 0);
}

void TestMainWindow::thePropertiesDialogOpensFromEveryPlaceAndCancelAddsNothing() {
    UiFixture f;
    auto g = f.addGroup("G", {{"tea", dt(2025, 3, 29, 16, 0)}, {"walk", dt(2025, 3, 29, 18, 0)}});
    f.p().control.rebuildSeeAlarms(1);
    f.selectGroups({g});
    f.selectAlarms({g->elementAt(1)});
    f.main().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main()));
    // Enter in the alarm list, the menu, a double click.
    QTreeWidget* alarms = f.main().list(frmQuorvaneMain::kAlarms);
    alarms->setFocus();
    QTest::keyClick(alarms, Qt::Key_Return);
    QCOMPARE(f.dialogCalls.size(), std::size_t(1));
    action(&f.main(), "mnuAlProperties")->trigger();
    QCOMPARE(f.dialogCalls.size(), std::size_t(2));
    QTreeWidgetItem* first = alarms->topLevelItem(0);
    const QPoint at = alarms->visualItemRect(first).center();
    QTest::mousePress(alarms->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(alarms->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(alarms->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(f.dialogCalls.size(), std::size_t(3));
    QCOMPARE(f.dialogCalls[0].alarms, std::vector<AlarmPtr>{g->elementAt(1)});
    QCOMPARE(f.dialogCalls[0].mode, int(frmAlarmProperties::kEdit));
    QVERIFY(g->elementAt(1)->changed);
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveGroups);
    // Enter in the coming-alarms list.
    QTreeWidget* coming = f.main().list(frmQuorvaneMain::kSeeAlarms1);
    coming->setFocus();
    coming->setCurrentItem(coming->topLevelItem(0));
    QTest::keyClick(coming, Qt::Key_Return);
    QCOMPARE(f.dialogCalls.size(), std::size_t(4));
    QCOMPARE(f.dialogCalls[3].alarms, std::vector<AlarmPtr>{g->elementAt(0)});

    // The group dialog: Enter in the group list, the menu, a new group.
    QTreeWidget* groups = f.main().list(frmQuorvaneMain::kGroups);
    groups->setFocus();
    QTest::keyClick(groups, Qt::Key_Return);
    action(&f.main(), "mnuAgProperties")->trigger();
    QCOMPARE(f.groupDialogCalls.size(), std::size_t(2));
    QCOMPARE(f.groupDialogCalls[0], std::vector<AlarmGroupPtr>{g});
    action(&f.main(), "mnuAgAddNew")->trigger();
    QCOMPARE(f.groupDialogCalls.size(), std::size_t(3));
    QCOMPARE(f.groupDialogCalls[2].front(), f.p().alarmGroups.elementAt(1));
    action(&f.main(), "mnuGeneralSettings")->trigger();
    QCOMPARE(f.settingsDialogCalls, 1);

    // A new alarm the user cancels is not added.
    f.dialogAnswer = false;
    action(&f.main(), "mnuAlAddNew")->trigger();
    QCOMPARE(f.dialogCalls.back().mode, int(frmAlarmProperties::kNew));
    QCOMPARE(g->numberOfAlarms(), 2);

    // Nor is a new group: neither in the list nor as a file.
    const auto filesBefore = listMatchingFiles(f.p().alarmGroupFolder() + "/usg_*.agx");
    const std::int32_t groupsBefore = f.p().alarmGroups.numberOfElements();
    action(&f.main(), "mnuAgAddNew")->trigger();
    QCOMPARE(f.groupDialogCalls.size(), std::size_t(4));
    QCOMPARE(f.p().alarmGroups.numberOfElements(), groupsBefore);
    QCOMPARE(listMatchingFiles(f.p().alarmGroupFolder() + "/usg_*.agx"), filesBefore);
    QCOMPARE(groups->topLevelItemCount(), int(groupsBefore));
}

void TestMainWindow::newAlarmWithoutGroupsMakesAndSavesAGroup() {
    struct Watcher : FolderWatcher {
        void watch(const std::string&) override {}
        void recheckIn(int) override {}
    } watcher;
    UiFixture f;
    // The folder is watched for groups changed on other computers.
    f.p().settings.wfld = true;
    f.p().folderSync.attach(&watcher);
    f.p().folderSync.restart();
    f.p().started = true;
    action(&f.main(), "mnuAlAddNew")->trigger();
    QCOMPARE(f.p().alarmGroups.numberOfElements(), 1);
    const AlarmGroupPtr g = f.p().alarmGroups.elementAt(0);
    QCOMPARE(g->numberOfAlarms(), 1);
    QVERIFY(!g->path.empty());
    QVERIFY(fileExists(AlarmGroup::resolvePath(g->path, f.p().alarmGroupFolder())));
    // The new alarm is shown and selected.
    QCOMPARE(f.main().selectedAlarms().size(), std::size_t(1));
    QCOMPARE(f.main().selectedAlarms()[0], g->alarms.elementAt(0));
    // The new group's file is our own, not a change from elsewhere: no second
    // group "from the other computer", no notice.
    watcher.changed();
    QCOMPARE(f.p().alarmGroups.numberOfElements(), 1);
    QVERIFY(f.boxes.empty());
}

// An alarm every second puts 3 600 moments into an hour's coming alarms: the
// list shows the first 500 and says how many more; a file that cannot be
// written is told below the next alarm until it can.
void TestMainWindow::anAlarmEverySecondShowsABoundedListAndWriteProblemsStayInSight() {
    UiFixture f;
    auto g = f.addGroup("G");
    auto a = ModelFixture::periodic(f.p().now(), 1, kSeconds);
    a->name = "tick";
    a->Active = true;
    g->addAlarm(a);
    f.p().settings.sa[1] = {1, 1, kHours};
    f.p().control.rebuildSeeAlarms(1);
    QTreeWidget* coming = f.main().list(frmQuorvaneMain::kSeeAlarms1);
    QCOMPARE(coming->topLevelItemCount(), 501);
    QCOMPARE(coming->topLevelItem(500)->text(0), QStringLiteral("… and 3100 more"));
    QVERIFY(!(coming->topLevelItem(500)->flags() & Qt::ItemIsSelectable));

    f.main().show();
    f.ui.showWriteProblem("Not saved: settings (No space left on device).");
    auto* line = f.main().findChild<QLabel*>(QStringLiteral("lblWriteProblem"));
    QVERIFY(line && line->isVisible());
    QVERIFY(line->text().contains(QLatin1String("No space left")));
    f.ui.showWriteProblem("");
    QVERIFY(!line->isVisible());
}

void TestMainWindow::seeAlarmsControlsRefuseLettersAndRebuildTheList() {
    UiFixture f;
    f.addGroup("G", {{"tomorrow", dt(2025, 3, 30, 9, 0, 0)}, {"in two days", dt(2025, 3, 31, 15)}});
    f.p().control.rebuildSeeAlarms(1);
    f.main().show();
    QTreeWidget* coming = f.main().list(frmQuorvaneMain::kSeeAlarms1);
    QCOMPARE(column(coming, 0), (QStringList{"tomorrow"}));
    // The built-in layout's second column is the date in the "sa" format.
    QCOMPARE(coming->topLevelItem(0)->text(1),
             QString::fromStdString(
                 formatDate(dt(2025, 3, 30, 9, 0, 0), f.p().settings.df.sa, f.dateNames)));

    QLineEdit* amount = f.main().seeAlarmsAmount(1);
    amount->setFocus();
    amount->selectAll();
    QTest::keyClicks(amount, "x3b");
    QCOMPARE(amount->text(), QStringLiteral("3"));
    f.p().supervision.pendingWork = 0;
    QTest::keyClick(amount, Qt::Key_Return);
    QCOMPARE(f.p().settings.sa[1].amount, std::int16_t(3));
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveSettings);
    QCOMPARE(column(coming, 0), (QStringList{"tomorrow", "in two days"}));

    // The unit: hours, 3 of them, leave nothing in the window.
    QComboBox* unit = f.main().seeAlarmsUnit(1);
    QCOMPARE(unit->count(), 7);
    QCOMPARE(unit->itemText(kHours), QString::fromStdString(f.p().translation.getString(3)));
    f.p().supervision.pendingWork = 0;
    unit->activated(kHours);
    QCOMPARE(f.p().settings.sa[1].unit, std::int16_t(kHours));
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveSettings);
    QCOMPARE(coming->topLevelItemCount(), 0);

    // Switching a list off empties it and is stored.
    unit->activated(kDays);
    QCOMPARE(coming->topLevelItemCount(), 2);
    f.main().seeAlarmsShown(1)->setChecked(false);
    QCOMPARE(f.p().settings.sa[1].shown, std::int16_t(0));
    QCOMPARE(coming->topLevelItemCount(), 0);
}

void TestMainWindow::toDoEditsMarkTheTextForSaving() {
    UiFixture f;
    f.ui.setToDoText("buy milk");
    QCOMPARE(f.p().supervision.pendingWork & pending::kSaveToDo, 0);
    QTest::keyClicks(f.main().toDoBox(), "!");
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveToDo);
    QCOMPARE(f.ui.toDoText(), std::string("!buy milk"));
}

void TestMainWindow::nextAlarmText() {
    UiFixture f;
    f.p().started = false;
    QLabel* label = f.main().nextAlarmLabel();
    f.main().showNextAlarm();
    QCOMPARE(label->text(), QStringLiteral("Quorvane is starting..."));
    f.p().started = true;
    f.p().control.checkAlarms();
    QCOMPARE(label->text(), QStringLiteral("Next alarm: none"));

    f.addGroup("G", {{"Tea", dt(2025, 3, 30, 8, 5, 0)}, {"Dentist", dt(2025, 3, 31, 8, 0, 0)}});
    f.addGroup("H", {{"<b>Walk</b>", dt(2025, 3, 30, 8, 5, 0)}});
    f.core.performer.calls.clear();
    f.p().speakMessages = true;
    f.p().control.checkAlarms();
    // Names as typed or imported: shown as they are, never as markup.
    QCOMPARE(label->text(),
             QStringLiteral("Next alarm: Sunday 2025/03/30 08:05:00 (Tea, <b>Walk</b>)"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(f.ui.about()->trayToolTip(),
             QStringLiteral("Quorvane\nNext alarm: Sunday 2025/03/30 08:05:00 (Tea, <b>Walk</b>)")
                 .left(63));
    // A changed text is spoken while message speaking is on.
    bool spoken = false;
    for (const auto& c : f.core.performer.calls) spoken = spoken || c.what == "speak";
    QVERIFY(spoken);

    // Names of megabytes, and many of them at once, are cut short: laid out
    // whole, ten names of 3 MB took gigabytes.
    std::vector<std::pair<std::string, DateTime>> many;
    for (int i = 0; i < 30; ++i) many.push_back({std::string(100000, 'x'), dt(2025, 3, 30, 8, 1)});
    f.addGroup("Big", many);
    f.p().control.checkAlarms();
    QVERIFY(label->text().startsWith(QStringLiteral("Next alarm: Sunday 2025/03/30 08:01:00 (xxx")));
    QVERIFY(label->text().size() < 20 * 202 + 100);
    // Nor does the line widen the window past the screen: it is cut short
    // with "…", and its tool tip has it whole.
    QVERIFY2(f.main().minimumSizeHint().width() < 1000,
             qPrintable(QString::number(f.main().minimumSizeHint().width())));
    QCOMPARE(label->toolTip(), label->text());
}

void TestMainWindow::everyWindowTranslatesIntoBothLanguages() {
    UiFixture f;
    f.addGroup("G", {{"a", dt(2025, 3, 30, 9)}});
    f.p().control.rebuildSeeAlarms(1);
    f.selectGroups({f.p().alarmGroups.elementAt(0)});
    QString englishCaption;
    for (const char* lng : {"English", "Deutsch"}) {
        f.p().translation.setLanguage(lng);
        f.ui.translateAll();
        for (QWidget* w : f.ui.loadedWindows()) {
            const std::string section = w->objectName().toStdString();
            QStringList shown{w->windowTitle()};
            QStringList named;
            for (auto* b : w->findChildren<QAbstractButton*>()) {
                shown << b->text();
                named << b->objectName();
            }
            for (auto* l : w->findChildren<QLabel*>()) {
                shown << l->text();
                // The status lines show texts the program fills in.
                if (l->objectName() != QLatin1String("lblNextAlarm") &&
                    l->objectName() != QLatin1String("lblWriteProblem"))
                    named << l->objectName();
            }
            for (auto* m : w->findChildren<QMenu*>()) {
                shown << m->title();
                named << m->objectName();
            }
            for (auto* a : w->findChildren<QAction*>()) {
                if (a->menu() || a->isSeparator()) continue;
                shown << a->text();
                named << a->objectName();
            }
            for (auto* t : w->findChildren<QTreeWidget*>()) {
                for (int c = 0; c < t->columnCount(); ++c) shown << t->headerItem()->text(c);
                for (int i = 0; i < t->topLevelItemCount(); ++i)
                    for (int c = 0; c < t->columnCount(); ++c) shown << t->topLevelItem(i)->text(c);
            }
            for (auto* c : w->findChildren<QComboBox*>())
                for (int i = 0; i < c->count(); ++i) shown << c->itemText(i);
            for (const QString& s : shown)
                QVERIFY2(!s.contains(QLatin1String("not found")), qPrintable(s));
            // Every captioned control has its own key, so no caption stays in English.
            // (The calendar view has a section of its own, checked with the view.)
            QStringList ownSection;
            for (auto* o : w->findChildren<QObject*>()) {
                const bool inCalendar = [o] {
                    for (QObject* p = o; p; p = p->parent())
                        if (p->objectName() == QLatin1String("calview")) return true;
                    return false;
                }();
                if (inCalendar) ownSection << o->objectName();
            }
            for (const QString& name : named) {
                if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) continue;
                if (ownSection.contains(name)) continue;
                QVERIFY2(f.p().translation.readKey(section, name.toStdString(), "\x01") != "\x01",
                         qPrintable(QStringLiteral("%1 [%2] %3").arg(lng, w->objectName(), name)));
            }
        }
        const QString caption = action(&f.main(), "mnuAgAddNew")->text();
        if (englishCaption.isEmpty())
            englishCaption = caption;
        else
            QVERIFY(caption != englishCaption);
    }
}

void TestMainWindow::placementRoundTripInTwips() {
    UiFixture f;
    MainWindowSettings mw;
    mw.x = 1507;  // not a whole number of pixels: kept exactly while unchanged
    mw.y = 900;
    mw.w = 12000;
    mw.h = 8100;
    mw.dv1 = 300;
    mw.dv2 = 180;
    mw.dv3 = 120;
    mw.dv4 = 400;
    f.ui.applyMainWindowPlacement(mw);
    QVERIFY(f.main().isVisible());
    MainWindowSettings back = f.ui.mainWindowPlacement();
    QCOMPARE(back.x, mw.x);
    QCOMPARE(back.y, mw.y);
    QCOMPARE(back.w, mw.w);
    QCOMPARE(back.h, mw.h);
    QCOMPARE(back.dv1, mw.dv1);
    QCOMPARE(back.dv4, mw.dv4);
    QCOMPARE(back.state, std::int16_t(0));
    QVERIFY(back.visible);
    // The dividers really stand there, and a resize leaves them alone.
    QCOMPARE(f.main().divider(2)->sizes().value(0), 180);
    QCOMPARE(f.main().divider(1)->sizes().value(0), 300);

    const double dpi = f.main().screen()->logicalDotsPerInch();
    QCOMPARE(f.main().width(), static_cast<int>(std::round(12000 * dpi / 1440)));
    f.main().resize(640, 480);
    back = f.ui.mainWindowPlacement();
    QCOMPARE(back.w, static_cast<float>(std::round(640 * 1440 / dpi)));
    QCOMPARE(back.h, static_cast<float>(std::round(480 * 1440 / dpi)));

    // Hidden, as a stored minimised window starts where the tray icon can bring it back.
    f.ui.systemTrayAvailable = [] { return true; };
    f.ui.about()->lookForTray();
    mw.visible = false;
    f.ui.applyMainWindowPlacement(mw);
    QVERIFY(!f.main().isVisible());
    QVERIFY(!f.ui.mainWindowPlacement().visible);
    // Nonsense sizes from a damaged file give a usable window.
    mw.visible = true;
    mw.w = -5;
    mw.h = 1e9f;
    f.ui.applyMainWindowPlacement(mw);
    QVERIFY(f.main().width() >= 100);
    // No larger than the desktop (10^9 twips took 1.6 GB of window pixels).
    const QRect desk = f.main().screen()->availableVirtualGeometry();
    QVERIFY(f.main().height() <= desk.height());
    mw.w = 1e9f;
    mw.x = -1e9f;
    f.ui.applyMainWindowPlacement(mw);
    QVERIFY(f.main().width() <= desk.width());
    QVERIFY(f.main().geometry().intersects(desk));
}

void TestMainWindow::settingsFileLaysOutTheWindow() {
    UiFixture f;
    QVERIFY(
        writeFile(f.core.folder.file("usr.cfx"),
                  "<settings><mw><v>-1</v><s>0</s><x>600</x><y>450</y><w>9000</w><h>7500</h>"
                  "<dv2>150</dv2></mw><so><ag>1</ag><agd>-1</agd></so><lng>Deutsch</lng>"
                  "<lst><ag><clm><i>1</i><w>50</w></clm><clm><i>0</i><w>130</w></clm></ag></lst>"
                  "</settings>"));
    QVERIFY(f.p().settingsStore.loadSettings(false));
    QCOMPARE(f.main().columnFields(frmQuorvaneMain::kGroups), (std::vector<int>{1, 0}));
    QCOMPARE(f.main().list(frmQuorvaneMain::kGroups)->headerItem()->text(1),
             QStringLiteral("Alarmgruppe"));
    QVERIFY(f.main().isVisible());
    QCOMPARE(f.ui.mainWindowPlacement().w, 9000.0f);
    QCOMPARE(f.ui.mainWindowPlacement().dv2, std::int16_t(150));
    f.addGroup("a");
    f.addGroup("b");
    f.ui.updateLists();
    QCOMPARE(column(f.main().list(frmQuorvaneMain::kGroups), 1), (QStringList{"b", "a"}));

    // What is saved comes back from the window as it is.
    f.main().list(frmQuorvaneMain::kGroups)->header()->resizeSection(0, 90);
    QVERIFY(f.p().settingsStore.saveSettings());
    const std::string saved = readFile(f.core.folder.file("usr.cfx"));
    QVERIFY(saved.find("<ag><clm><i>1</i><w>90</w></clm><clm><i>0</i><w>130</w></clm></ag>") !=
            std::string::npos);
    QVERIFY(saved.find("<x>600</x><y>450</y><w>9000</w><h>7500</h>") != std::string::npos);
}

void TestMainWindow::blockedStateShowsInMenus() {
    UiFixture f;
    QAction* general = action(&f.main(), "mnuGeneralBlocked");
    QAction* tray = action(f.ui.about(), "mnuTrayBlocked");
    general->trigger();
    QVERIFY(f.p().supervision.blocked);
    QVERIFY(general->isChecked());
    QVERIFY(tray->isChecked());
    tray->trigger();
    QVERIFY(!f.p().supervision.blocked);
    QVERIFY(!general->isChecked());
    // The plug-ins and custom actions entries open their windows.
    for (const char* name : {"mnuGeneralPlugIns", "mnuGeneralCustAct"}) {
        QString opened;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            QVERIFY(w);
            opened = w->objectName();
            w->close();
        });
        action(&f.main(), name)->trigger();
        QCOMPARE(opened, QString(name) == "mnuGeneralPlugIns" ? QString("frmPlugIns")
                                                              : QString("frmActions"));
    }
    // Items of empty hooks are there but disabled.
    QVERIFY(!action(&f.main(), "mnuGeneralStopSounds")->isEnabled());
    f.ui.hooks.stopAllSounds = [] {};
    f.main().translate();
    QVERIFY(action(&f.main(), "mnuGeneralStopSounds")->isEnabled());
}

void TestMainWindow::versionCheck() {
    UiFixture f;
    action(&f.main(), "mnuHelpCheckVersion")->trigger();
    QCOMPARE(f.boxes.size(), std::size_t(1));
    QCOMPARE(f.boxes[0].text, QString::fromStdString(f.p().translation.getMainText(35)));
    // The automatic check says nothing when there is no checker.
    f.ui.runVersionCheck(false);
    QCOMPARE(f.boxes.size(), std::size_t(1));

    QVERIFY(writeFile(f.core.folder.file("qvc"), "#!/bin/sh\n"));
    f.p().settings.lng = "Deutsch";
    f.ui.runVersionCheck(false);
    QCOMPARE(f.core.shell.opened.size(), std::size_t(1));
    QCOMPARE(f.core.shell.opened[0].file, f.core.folder.file("qvc"));
    QCOMPARE(
        f.core.shell.opened[0].parameters,
        std::string("\"<args><silent>-1</silent><reldat>2005/05/18 00:00:00</reldat><version>") +
            std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
            std::to_string(kVersionRevision) + "</version><lanfil>Deutsch</lanfil></args>\"");
}

void TestMainWindow::aboutWindowKeys() {
    UiFixture f;
    frmAbout* about = f.ui.about();
    QVERIFY(about && !about->isVisible());
    QTest::keyClick(about, Qt::Key_P);  // without Ctrl and Shift: nothing
    QVERIFY(f.boxes.empty());
    QTest::keyClick(about, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f.boxes.size(), std::size_t(1));
    // One version: the About window's is the one the statistics name.
    QString version;
    for (QLabel* l : f.ui.about()->findChildren<QLabel*>())
        if (l->objectName().isEmpty()) version = l->text();
    QVERIFY(!version.isEmpty());
    QVERIFY2(f.boxes[0].text.startsWith(QStringLiteral("Stats since v") + version +
                                        QStringLiteral(". Starting: ")),
             qPrintable(f.boxes[0].text + " / " + version));
    QTest::keyClick(about, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(f.p().speakMessages);
    QTest::keyClick(about, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(f.boxes.back().text.contains(QStringLiteral("frmAbout; ")));
    QVERIFY(f.boxes.back().text.contains(QStringLiteral("frmQuorvaneMain; Quorvane")));
    QTest::keyClick(about, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f.boxes.back().text, QString::fromStdString(f.core.folder.path()));
    QTest::keyClick(about, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!listMatchingFiles(f.core.folder.path() + "/*debug.log").empty());
}

void TestMainWindow::trayExitAsksFirst() {
    UiFixture f;
    f.answers = {mb::kAnswerNo};
    action(f.ui.about(), "mnuTrayExit")->trigger();
    QCOMPARE(f.boxes.size(), std::size_t(1));
    QCOMPARE(f.boxes[0].buttons, 36);
    QCOMPARE(f.boxes[0].text, QString::fromStdString(f.p().translation.getMainText(220)));
    QVERIFY(!f.p().exiting);

    action(f.ui.about(), "mnuTrayExit")->trigger();
    QVERIFY(f.p().exiting);
    QVERIFY(fileExists(f.core.folder.file("usr.cfx")));
    QCOMPARE(readFile(f.core.folder.file("state")), std::string("1"));
    // The windows are gone once the event loop has had its turn.
    QVERIFY(!f.ui.mainWindow());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.ui.loadedWindows().empty());
}

void TestMainWindow::windowsMayOutliveTheProgram() {
    // main() ends with the program state gone before the windows of a run
    // that never reached the exit path.
    UiFixture f;
    auto g = f.addGroup("G", {{"a", dt(2025, 3, 30)}});
    f.selectGroups({g});
    f.selectAlarms({g->alarms.elementAt(0)});
    f.ui.setToDoText("note");
    f.main().show();
    f.program.reset();
    delete f.ui.mainWindow();
    delete f.ui.about();
    QVERIFY(f.ui.loadedWindows().empty());
}

namespace {
// The colour in the middle of an icon.
QColor middle(const QIcon& icon) { return icon.pixmap(16, 16).toImage().pixelColor(8, 8); }

void writeIcon(const std::string& path, Qt::GlobalColor colour) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    QVERIFY(image.save(QString::fromStdString(path), "ICO"));
}
}  // namespace

void TestMainWindow::iconFilesOfTheProgramFolderWin() {
    TempFolder folder;
    const Folders folders = Folders::forFolder(folder.path());
    // Nothing there: never an empty icon.
    ProgramIcons none = ProgramIcons::load(folders);
    QVERIFY(!none.window.isNull() && !none.tray.isNull() && !none.blocked.isNull());

    writeIcon(folder.file("trayicon.ico"), Qt::blue);
    writeIcon(folder.file("blockicon.ico"), Qt::red);
    ProgramIcons some = ProgramIcons::load(folders);
    QCOMPARE(middle(some.tray), QColor(Qt::blue));
    QCOMPARE(middle(some.blocked), QColor(Qt::red));
    QVERIFY(middle(some.window) != QColor(Qt::blue));

    // "icon.ico" stands for all three.
    writeIcon(folder.file("icon.ico"), Qt::green);
    ProgramIcons all = ProgramIcons::load(folders);
    QCOMPARE(middle(all.window), QColor(Qt::green));
    QCOMPARE(middle(all.tray), QColor(Qt::green));
    QCOMPARE(middle(all.blocked), QColor(Qt::green));

    // A damaged file counts as missing.
    QVERIFY(writeFile(folder.file("icon.ico"), "not an icon"));
    QCOMPARE(middle(ProgramIcons::load(folders).tray), QColor(Qt::blue));
}

namespace {

frmAlarm* openAlarmWindow(QtActionPerformer& perf, const AlarmPtr& a, DateTime due) {
    perf.showAlarmWindow(a, *a->actions.elementAt(0), due, true, "");
    const auto windows = perf.alarmWindows();
    return windows.empty() ? nullptr : windows.back();
}

// Every pair of entries of one menu (or menu bar) that share an access key.
QStringList clashes(const QString& where, const QList<QAction*>& actions) {
    QMap<QChar, QString> seen;
    QStringList out;
    for (QAction* a : actions) {
        if (a->isSeparator()) continue;
        const QChar key = accessKey(a->text());
        if (key.isNull()) continue;
        if (seen.contains(key))
            out << QStringLiteral("%1: \"%2\" and \"%3\"").arg(where, seen[key], a->text());
        else
            seen[key] = a->text();
    }
    return out;
}

QString plain(QString text) {
    text.remove(QLatin1Char('&'));
    return text;
}

}  // namespace

void TestMainWindow::theUsualKeysAreInTheMenusAndWork() {
    UiFixture f;
    QAction* exit = action(&f.main(), "mnuGeneralExit");
    QVERIFY(f.main().findChild<QMenu*>(QStringLiteral("mnuGeneral"))->actions().contains(exit));
    QCOMPARE(exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    f.main().show();
    QApplication::setActiveWindow(&f.main());
    QVERIFY(QTest::qWaitForWindowActive(&f.main()));

    // Ctrl+Q asks the tray's question; No keeps the program.
    f.answers = {mb::kAnswerNo};
    QTest::keyClick(&f.main(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(f.boxes.size(), std::size_t(1));
    QCOMPARE(f.boxes[0].buttons, 36);
    QCOMPARE(f.boxes[0].text, QString::fromStdString(f.p().translation.getMainText(220)));
    QVERIFY(!f.p().exiting);

    // The usual keys, shown in the menus. Opened with the keyboard, the
    // General menu highlights Find, not the switch that blocks the alarms.
    f.addGroup("Home");
    f.main().showAlarmGroups();
    QTest::keyClick(&f.main(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(f.dialogCalls.size(), std::size_t(1));
    QCOMPARE(f.dialogCalls[0].mode, int(frmAlarmProperties::kNew));
    f.dialogAnswer = false;
    QTest::keyClick(&f.main(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f.groupDialogCalls.size(), std::size_t(1));
    QTest::keyClick(&f.main(), Qt::Key_F, Qt::ControlModifier);
    QPointer<QWidget> find = f.main().findChild<QWidget*>(QStringLiteral("frmFind"));
    if (!find)
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("frmFind")) find = w;
    QVERIFY(find && find->isVisible());
    QTest::keyClick(find->findChild<QLineEdit*>(QStringLiteral("txtFind")), Qt::Key_Escape);
    QVERIFY(!find->isVisible());
    QCOMPARE(action(&f.main(), "mnuAlDelete")->shortcut(), QKeySequence(QKeySequence::Delete));
    QCOMPARE(action(&f.main(), "mnuAlCopy")->shortcut(), QKeySequence(QKeySequence::Copy));
    QCOMPARE(action(&f.main(), "mnuAgSynchronize")->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(action(&f.main(), "mnuHelpHelp")->shortcut(), QKeySequence(Qt::Key_F1));
    QVERIFY(!action(&f.main(), "mnuGeneralSettings")->shortcut().isEmpty());
    QCOMPARE(f.main().findChild<QMenu*>(QStringLiteral("mnuGeneral"))->actions().first(),
             action(&f.main(), "mnuGeneralFind"));

    exit->trigger();  // Yes
    QCOMPARE(f.boxes.size(), std::size_t(2));
    QVERIFY(f.p().exiting);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMainWindow::withoutATrayTheWindowStaysReachable() {
    UiFixture f;
    bool tray = false;
    f.ui.systemTrayAvailable = [&tray] { return tray; };
    QVERIFY(!f.ui.trayIconShown());
    f.main().show();

    // Window > Close and a stored hidden state minimise, as the close box does.
    action(&f.main(), "mnuWindowClose")->trigger();
    QVERIFY(f.main().isVisible());
    QVERIFY(f.main().isMinimized());
    MainWindowSettings mw;
    mw.visible = false;
    f.ui.applyMainWindowPlacement(mw);
    QVERIFY(f.main().isVisible());
    QVERIFY(f.main().isMinimized());

    // The panel comes up later. Meanwhile nothing wakes the program to look
    // for it (an idle alarm clock wakes for its tick and its alarms only);
    // the desktop's announcement of the new tray adds the icon.
    for (const QTimer* t : f.ui.about()->findChildren<QTimer*>()) QVERIFY(!t->isActive());
    tray = true;
    emit f.ui.about()->trayAppearanceWatcher()->mayHaveAppeared();
    QVERIFY(f.ui.trayIconShown());
    // From now on putting the window away hides it.
    f.main().showNormal();
    action(&f.main(), "mnuWindowClose")->trigger();
    QVERIFY(!f.main().isVisible());
}

void TestMainWindow::accessKeysNeverClashInEitherLanguage() {
    UiFixture f;
    QtActionPerformer perf;
    perf.attach(f.p());
    auto g = f.addGroup("G");
    QVERIFY(
        openAlarmWindow(perf, messageAlarm(f, g, "Tea", dt(2025, 3, 29, 12)), dt(2025, 3, 29, 12)));
    for (const char* lng : {"English", "Deutsch"}) {
        f.p().translation.setLanguage(lng);
        f.ui.translateAll();
        std::vector<QWidget*> windows = f.ui.loadedWindows();
        for (frmAlarm* w : perf.alarmWindows()) windows.push_back(w);
        QStringList found;
        int menus = 0;
        for (QWidget* w : windows) {
            for (QMenuBar* bar : w->findChildren<QMenuBar*>())
                found << clashes(QStringLiteral("%1 %2 menu bar").arg(lng, w->objectName()),
                                 bar->actions());
            for (QMenu* m : w->findChildren<QMenu*>()) {
                ++menus;
                found << clashes(QStringLiteral("%1 %2").arg(lng, m->objectName()), m->actions());
            }
        }
        QVERIFY(menus >= 9);
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));

        // One word for switching alarms and groups on, one for off, everywhere.
        QSet<QString> on, off;
        for (QWidget* w : windows) {
            for (QAction* a : w->findChildren<QAction*>()) {
                const QString name = a->objectName();
                if (name.endsWith(QLatin1String("TurnOn"))) on << plain(a->text());
                if (name.endsWith(QLatin1String("TurnOff"))) off << plain(a->text());
            }
        }
        QCOMPARE(on.size(), 1);
        QCOMPARE(off.size(), 1);
    }
}

void TestMainWindow::alarmWindowDeletionIsAskedOnceAndSaved() {
    UiFixture f;
    QtActionPerformer perf;
    perf.attach(f.p());
    f.ui.linkPerformer(perf);
    auto g = f.addGroup("Saved");
    const DateTime now = f.core.clock.now();
    const AlarmPtr gone = messageAlarm(f, g, "gone", now);
    const AlarmPtr done = messageAlarm(f, g, "done", dt(2025, 3, 28, 9));
    const AlarmPtr stays = messageAlarm(f, g, "stays", dt(2025, 4, 1, 9));
    const std::string path = AlarmGroup::newFilePath(f.p().alarmGroupFolder());
    QVERIFY(g->save(f.p().ctx, path, false));
    g->path = path;
    QVERIFY(!g->getChanged());

    frmAlarm* w = openAlarmWindow(perf, gone, now);
    w->mnuDelete->trigger();  // Yes
    QCOMPARE(f.boxes.size(), std::size_t(1));
    QCOMPARE(f.boxes[0].text, QString::fromStdString(f.p().translation.getText("frmAlarm", 101)));
    QCOMPARE(g->numberOfAlarms(), 2);
    QVERIFY(g->getChanged());
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveGroups);

    // "Delete if it will not sound again": kept while it will, gone when not.
    w = openAlarmWindow(perf, stays, now);
    w->mnuDeleteNotSounding->trigger();
    QCOMPARE(f.boxes.size(), std::size_t(2));
    w = openAlarmWindow(perf, done, now);
    w->mnuDeleteNotSounding->trigger();
    QCOMPARE(f.boxes.size(), std::size_t(3));
    QCOMPARE(f.names(std::vector<AlarmPtr>(g->alarms.begin(), g->alarms.end())),
             (std::vector<std::string>{"stays"}));

    // Saved as any deletion: the next start does not bring the alarms back.
    QVERIFY(f.p().main.saveChangedAlarmGroups());
    const AlarmGroupPtr again = AlarmGroup::createAlarmGroupFromFile(
        f.p().ctx, AlarmGroup::resolvePath(path, f.p().alarmGroupFolder()));
    QVERIFY(again);
    QCOMPARE(f.names(std::vector<AlarmPtr>(again->alarms.begin(), again->alarms.end())),
             (std::vector<std::string>{"stays"}));
}

void TestMainWindow::listsSayWhatTheAlarmsWillDo() {
    UiFixture f;
    auto on = f.addGroup("On", {{"plain", dt(2025, 3, 30, 9)}, {"sleepy", dt(2025, 3, 30, 10)}});
    auto off = f.addGroup("Off", {{"muted", dt(2025, 3, 30, 11)}});
    off->Active = false;
    on->alarms.elementAt(1)->snooze(dt(2025, 3, 29, 23, 0, 0));
    f.main().show();
    f.selectGroups({on, off});
    QTreeWidget* t = f.main().list(frmQuorvaneMain::kAlarms);
    const std::vector<int> fields = f.main().columnFields(frmQuorvaneMain::kAlarms);
    const int state = static_cast<int>(std::find(fields.begin(), fields.end(), 1) - fields.begin());
    QCOMPARE(column(t, 0), (QStringList{"plain", "sleepy", "muted"}));
    QCOMPARE(column(t, state), (QStringList{"active", "snoozed", "inactive"}));
    f.p().translation.setLanguage("Deutsch");
    f.ui.translateAll();
    f.main().showAlarms();
    QCOMPARE(column(t, state), (QStringList{"aktiv", "schlummert", "inaktiv"}));
    f.p().translation.setLanguage("English");
    f.ui.translateAll();

    // Blocked: the next-alarm line says so instead of naming a moment.
    f.p().started = true;
    f.p().control.checkAlarms();
    QLabel* label = f.main().nextAlarmLabel();
    QVERIFY2(label->text().contains(QStringLiteral("(sleepy)")), qPrintable(label->text()));
    f.p().control.setBlocked(true);
    QCOMPARE(label->text(), QStringLiteral("Next alarm: none, alarms are blocked"));
    f.p().control.setBlocked(false);
    f.p().control.checkAlarms();
    QVERIFY2(label->text().contains(QStringLiteral("(sleepy)")), qPrintable(label->text()));
}

void TestMainWindow::columnsFitTheirTextsInBothLanguages() {
    UiFixture f;
    auto on = f.addGroup("On", {{"a", dt(2025, 3, 30, 9)}, {"b", dt(2025, 9, 24, 22, 58, 0)}});
    auto off = f.addGroup("Off", {{"c", dt(2025, 3, 30, 11)}});
    off->Active = false;
    on->alarms.elementAt(1)->snooze(dt(2025, 3, 29, 23, 0, 0));
    f.p().settings.sa[1].amount = 365;
    f.p().control.rebuildSeeAlarms(1);
    f.main().show();
    f.selectGroups({on, off});
    for (const char* lng : {"English", "Deutsch"}) {
        f.p().translation.setLanguage(lng);
        f.ui.translateAll();
        f.ui.updateLists();
        f.main().showSeeAlarms(1);
        for (int id = 0; id < 4; ++id) {
            QTreeWidget* t = f.main().list(id);
            const std::vector<int> fields = f.main().columnFields(id);
            const QFontMetrics header = t->header()->fontMetrics();
            for (int c = 0; c < t->columnCount(); ++c) {
                const QString caption = t->headerItem()->text(c);
                QVERIFY2(t->columnWidth(c) >= header.horizontalAdvance(caption) + 10,
                         qPrintable(QStringLiteral("%1: %2").arg(lng, caption)));
                // Names are the user's; states and dates are the program's.
                if (fields[static_cast<std::size_t>(c)] == 0) continue;
                for (int i = 0; i < t->topLevelItemCount(); ++i) {
                    const QString text = t->topLevelItem(i)->text(c);
                    QVERIFY2(t->columnWidth(c) >= t->fontMetrics().horizontalAdvance(text) + 6,
                             qPrintable(QStringLiteral("%1: %2 %3").arg(lng, caption, text)));
                }
            }
        }
    }
}

void TestMainWindow::openAlarmWindowsAreTranslatedAndCarryTheIcon() {
    UiFixture f;
    QtActionPerformer perf;
    perf.attach(f.p());
    auto g = f.addGroup("G");
    frmAlarm* w =
        openAlarmWindow(perf, messageAlarm(f, g, "Tea", dt(2025, 3, 29, 12)), dt(2025, 3, 29, 12));
    QVERIFY(w);
    frmAlarmClock* clock = perf.alarmClock(true);
    // The program's icon, as the main window's.
    const QImage icon = f.main().windowIcon().pixmap(16, 16).toImage();
    QVERIFY(!w->windowIcon().isNull());
    QCOMPARE(w->windowIcon().pixmap(16, 16).toImage(), icon);
    QCOMPARE(clock->windowIcon().pixmap(16, 16).toImage(), icon);

    const QString title = w->windowTitle();
    QVERIFY(title.startsWith(QStringLiteral("Tea - ")));
    QCOMPARE(w->cmdSnooze->text(), QStringLiteral("Snooze"));
    f.p().translation.setLanguage("Deutsch");
    f.ui.translateAll();
    QCOMPARE(w->cmdSnooze->text(), QStringLiteral("Schlummern"));
    QCOMPARE(w->cmbSnoozeAddTo->itemText(1), QStringLiteral("ab jetzt"));
    QCOMPARE(w->cmbSnoozeUnit->itemText(1), QStringLiteral("Minuten"));
    w->vnbSnoozeAmount->setValue(1);
    QCOMPARE(w->cmbSnoozeUnit->itemText(1), QStringLiteral("Minute"));
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(clock->windowTitle(), QStringLiteral("Wecker"));
}

void TestMainWindow::datesAndCountsReadNaturally() {
    UiFixture f;
    const DateTime d = dt(2025, 3, 30, 14, 5, 0);  // a Sunday afternoon
    const std::string format = "dddd, d mmmm yyyy (ddd d mmm) h:nn AM/PM, h:nn a/p";
    QCOMPARE(formatDate(d, format, f.dateNames),
             std::string("Sunday, 30 March 2025 (Sun 30 Mar) 2:05 PM, 2:05 p"));
    f.p().translation.setLanguage("Deutsch");
    QCOMPARE(formatDate(d, format, f.dateNames),
             std::string("Sonntag, 30 März 2025 (So 30 Mär) 2:05 nachm., 2:05 n"));
    QCOMPARE(formatDate(dt(2025, 12, 4, 9, 0, 0), "dddd mmmm h AM/PM", f.dateNames),
             std::string("Donnerstag Dezember 9 vorm."));
    f.p().translation.setLanguage("English");

    // One of a unit is the unit's singular; the delete question names one alarm.
    auto g = f.addGroup("G");
    auto one = ModelFixture::periodic(dt(2025, 3, 29, 12), 1, kMinutes);
    one->name = "one";
    one->durationAmount = 1;
    one->durationUnit = kHours;
    one->correctionAmount = 1;
    one->correctionUnit = kDays;
    auto two = ModelFixture::periodic(dt(2025, 3, 29, 12), 2, kMinutes);
    two->name = "two";
    two->durationAmount = 2;
    two->durationUnit = kHours;
    g->addAlarm(one);
    g->addAlarm(two);
    const auto items = one->getStringItems(f.p().ctx);
    QVERIFY2(QString::fromStdString(items[3]).startsWith(QStringLiteral("every minute,")),
             items[3].c_str());
    QVERIFY2(QString::fromStdString(two->getStringItems(f.p().ctx)[3])
                 .startsWith(QStringLiteral("every 2 minutes,")),
             two->getStringItems(f.p().ctx)[3].c_str());
    QVERIFY2(QString::fromStdString(items[3]).endsWith(QStringLiteral("+1 day")), items[3].c_str());
    QCOMPARE(items[5], std::string("1 hour"));
    QCOMPARE(two->getStringItems(f.p().ctx)[5], std::string("2 hours"));
    f.p().translation.setLanguage("Deutsch");
    QCOMPARE(one->getStringItems(f.p().ctx)[5], std::string("1 Stunde"));
    QVERIFY(QString::fromStdString(one->getStringItems(f.p().ctx)[3])
                .startsWith(QStringLiteral("jede Minute, ab ")));
    f.p().translation.setLanguage("English");

    // The see-alarms units follow the amount typed beside them.
    QLineEdit* amount = f.main().seeAlarmsAmount(0);
    amount->setText(QStringLiteral("1"));
    QCOMPARE(f.main().seeAlarmsUnit(0)->itemText(kDays), QStringLiteral("day"));
    amount->setText(QStringLiteral("12"));
    QCOMPARE(f.main().seeAlarmsUnit(0)->itemText(kDays), QStringLiteral("days"));

    f.main().show();
    f.selectGroups({g});
    f.selectAlarms({one});
    f.answers = {mb::kAnswerNo, mb::kAnswerNo};
    action(&f.main(), "mnuAlDelete")->trigger();
    QCOMPARE(f.boxes.back().text,
             QStringLiteral("Do you really want to delete the alarm \"one\"?"));
    f.selectAlarms({one, two});
    action(&f.main(), "mnuAlDelete")->trigger();
    QCOMPARE(f.boxes.back().text, QStringLiteral("Do you really want to delete these 2 alarms?"));
}

// "Ignore the alarms' correction in overviews": the calendar shows an alarm at
// its own moment; switched off, at the moment it rings.
void TestMainWindow::theCalendarFollowsTheCorrectionSetting() {
    UiFixture f;
    auto g = f.addGroup("G", {{"Train", dt(2025, 4, 1, 8, 0)}});
    g->elementAt(0)->correctionAmount = -15;
    g->elementAt(0)->correctionUnit = kMinutes;
    const DateTime from = dt(2025, 4, 1, 0, 0), to = dt(2025, 4, 2, 0, 0);
    QCOMPARE(listCalendarOccurrences(f.p().alarmGroups, from, to, -2, true).items.at(0).start,
             dt(2025, 4, 1, 8, 0));
    QCOMPARE(listCalendarOccurrences(f.p().alarmGroups, from, to, -2, false).items.at(0).start,
             dt(2025, 4, 1, 7, 45));
}

// After a start no group was chosen: the first one is, so its alarms show.
void TestMainWindow::aGroupIsChosenWhenNoneIs() {
    UiFixture f;
    f.addGroup("Home", {{"Tea", dt(2025, 4, 1, 16, 0)}});
    f.addGroup("Work", {{"Report", dt(2025, 4, 2, 9, 0)}});
    f.main().showAlarmGroups();
    QCOMPARE(f.names(f.main().selectedGroups()), std::vector<std::string>{"Home"});
    QCOMPARE(f.main().list(frmQuorvaneMain::kAlarms)->topLevelItemCount(), 1);
}

// A colour too close to the list's background gives way to the style's text:
// a dark scheme on a light theme, or a group's own pale colour, stays readable.
void TestMainWindow::coloursTooPaleForTheBackgroundGiveWay() {
    UiFixture f;
    auto pale = f.addGroup("Pale");
    pale->Color = 0xF0F0F0;
    auto dark = f.addGroup("Dark");
    dark->Color = 0x000080;  // red in the low byte
    QTreeWidget* t = f.main().list(frmQuorvaneMain::kGroups);
    QPalette light = t->palette();
    light.setColor(QPalette::Base, Qt::white);
    t->setPalette(light);
    f.main().showAlarmGroups();
    QCOMPARE(t->topLevelItem(0)->foreground(0).style(), Qt::NoBrush);
    QCOMPARE(t->topLevelItem(1)->foreground(0).color(), QColor(0x80, 0, 0));
    // On a dark background the pale one is the readable one.
    QPalette night = t->palette();
    night.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    t->setPalette(night);
    f.main().showAlarmGroups();
    QCOMPARE(t->topLevelItem(0)->foreground(0).color(), QColor(0xF0, 0xF0, 0xF0));
    QCOMPARE(t->topLevelItem(1)->foreground(0).style(), Qt::NoBrush);
}

void TestMainWindow::messageBoxButtonsSpeakTheProgramsLanguage() {
    UiFixture f;
    f.p().translation.setLanguage("Deutsch");
    std::unique_ptr<QMessageBox> box(
        f.ui.buildMessageBox("Weiter?", mb::kYesNoCancel | mb::kQuestion, "Quorvane"));
    QStringList captions;
    for (QAbstractButton* b : box->buttons()) captions << b->text();
    captions.sort();
    QCOMPARE(captions, (QStringList{"&Ja", "&Nein", "Abbre&chen"}));

    // Qt's own texts (file dialogs, standard buttons) follow the language.
    f.ui.translateAll();
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    f.p().translation.setLanguage("English");
    f.ui.translateAll();
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

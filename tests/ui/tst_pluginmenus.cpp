// The main window's plug-in menus and the saved running plug-ins, against
// real components through the real host.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "plugins/hostfixture.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/pluginmenus.h"
#include "ui/qtuserinterface.h"

using namespace qv;
using namespace qv::test;

class TestPlugInMenus : public QObject {
    Q_OBJECT

    static void open(QMenu& menu) { QMetaObject::invokeMethod(&menu, "aboutToShow"); }
    static QAction* item(QMenu& menu, const QString& text) {
        for (QAction* a : menu.actions())
            if (a->text() == text) return a;
        return nullptr;
    }

  private slots:
    void importExportAndGeneralPurposeMenus() {
        HostFixture f({"QuorvaneTestGood.so", "bin:QuorvaneExample.so"});
        f.host.loadPlugins();
        QMenu importMenu, exportMenu, generalMenu;
        PlugInMenus menus(f.p(), &importMenu, &exportMenu, &generalMenu);
        std::vector<AlarmGroupPtr> imported;
        menus.addGroups = [&](const std::vector<AlarmGroupPtr>& g) { imported = g; };
        auto selected = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
        selected->name = "Chosen";
        menus.selectedGroups = [&] { return std::vector<AlarmGroupPtr>{selected}; };
        QVERIFY(importMenu.isEnabled() && exportMenu.isEnabled() && generalMenu.isEnabled());
        QVERIFY(exportMenu.menuAction()->isVisible());
        {
            // Without plug-ins of a type its menu is left out, not greyed.
            HostFixture none({});
            none.host.loadPlugins();
            QMenu i, e, g;
            PlugInMenus empty(none.p(), &i, &e, &g);
            QVERIFY(!i.menuAction()->isVisible() && !e.menuAction()->isVisible() &&
                    !g.menuAction()->isVisible());
        }

        // The plug-in's caption is plain text: its "&" stays an ampersand.
        open(importMenu);
        QAction* importItem = item(importMenu, "Import && <b>more</b>");
        QVERIFY(importItem);
        importItem->trigger();
        QCOMPARE(imported.size(), std::size_t{2});
        QCOMPARE(imported[1]->name, std::string("Second"));
        QCOMPARE(imported[1]->alarms.numberOfElements(), 1);

        // Without a caption the identifier stands in.
        open(exportMenu);
        QAction* exportItem = item(exportMenu, "QuorvaneTestGood*Groups");
        QVERIFY(exportItem);
        exportItem->trigger();
        QCOMPARE(f.host.commonMethodCall("QuorvaneTestGood*Groups", "LastExport", "name"),
                 std::string("Chosen"));

        // General-purpose: the check mark follows the plug-in's status.
        open(generalMenu);
        QAction* keeper = item(generalMenu, "QuorvaneTestGood*Keeper");
        QVERIFY(keeper && item(generalMenu, "Greeter"));
        QVERIFY(!keeper->isChecked());
        keeper->trigger();
        QVERIFY(keeper->isChecked());
        QCOMPARE(f.host.keptPlugIns(), std::vector<std::string>{"QuorvaneTestGood*Keeper"});
        XMLNodePtr acpl = PlugInMenus::activePlugIns(f.p());
        QCOMPARE(acpl->getNumberOfNodes(), 1);
        QCOMPARE(acpl->getString("plin"), std::string("QuorvaneTestGood*Keeper"));
        keeper->trigger();
        QVERIFY(!keeper->isChecked());
        QCOMPARE(PlugInMenus::activePlugIns(f.p())->getNumberOfNodes(), 0);

        // The file plug-ins' formats for the file dialogs.
        QCOMPARE(menus.fileFilters(false), QString("Test groups (*.tqx)"));
    }

    void savedRunningPlugInsStartAndSafeModeKeepsTheList() {
        HostFixture f({"QuorvaneTestGood.so"});
        f.host.loadPlugins();
        QtUserInterface ui;
        ui.attach(f.p());
        auto acpl = XMLNode::Create("acpl");
        acpl->addString("plin", "QuorvaneTestGood*Keeper");
        acpl->addString("plin", "QuorvaneGone*Away");

        // One message for the one that did not start; the other runs, kept.
        ui.applyActivePlugInsSettings(acpl);
        QCOMPARE(f.ui.boxes.size(), std::size_t{1});
        QCOMPARE(f.host.keptPlugIns(), std::vector<std::string>{"QuorvaneTestGood*Keeper"});
        QCOMPARE(ui.activePlugInsSettings()->getNumberOfNodes(), 1);

        // Safe mode: nothing started, and saving keeps the user's list as it was.
        HostFixture safe({"QuorvaneTestGood.so"});
        safe.p().safeMode = true;
        safe.host.loadPlugins();
        QtUserInterface safeUi;
        safeUi.attach(safe.p());
        safeUi.applyActivePlugInsSettings(acpl);
        QVERIFY(safe.ui.boxes.empty());
        QVERIFY(safe.host.keptPlugIns().empty());
        QCOMPARE(safeUi.activePlugInsSettings()->getNumberOfNodes(), 2);
    }

    void groupPropertiesOfferTheHostsSynchronisationPlugIns() {
        HostFixture f({"QuorvaneTestGood.so"});
        f.host.loadPlugins();
        QtUserInterface ui;
        ui.attach(f.p());
        auto g = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
        g->synchPlugin = "QuorvaneTestGood*Sync";
        QString shown;
        QTimer::singleShot(0, [&] {
            QWidget* d = QApplication::activeModalWidget();
            QVERIFY(d);
            shown = d->findChild<QComboBox*>("cmbType")->currentText();
            qobject_cast<QDialog*>(d)->reject();
        });
        QVERIFY(!frmAlarmGroupProperties::run(f.p(), ui, nullptr, {g}, {}));
        // The group's plug-in is there: chosen, and no "plug-in missing" message.
        QCOMPARE(shown, QString("Sync"));
        QVERIFY(f.ui.boxes.empty());
        QCOMPARE(g->synchPlugin, std::string("QuorvaneTestGood*Sync"));

        // The plug-in's settings control shows the group's settings and gives
        // back what the user changed.
        g->synchSettings = XMLNode::createFromXML("<syst><file>/home/me/a.ics</file></syst>");
        QString before;
        QTimer::singleShot(0, [&] {
            QWidget* d = QApplication::activeModalWidget();
            QVERIFY(d);
            auto* control = d->findChild<QWidget*>("synchSettingsControl");
            QVERIFY(control);
            auto* file = control->findChild<QLineEdit*>("txtField");
            before = file->text();
            file->setText("/home/me/b.ics");
            QTest::mouseClick(d->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), ui, nullptr, {g}, {}));
        QCOMPARE(before, QString("/home/me/a.ics"));
        QCOMPARE(g->synchSettings->getString("file"), std::string("/home/me/b.ics"));
    }

    void aGroupWithAlarmsOfItsOwnIsMadeSynchronisedOnlyAfterAsking() {
        HostFixture f({"QuorvaneTestGood.so"});
        f.host.loadPlugins();
        QtUserInterface ui;
        ui.attach(f.p());
        auto g = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
        g->addAlarm(ModelFixture::once(dt(2026, 5, 1, 8, 0, 0)));
        // Chooses the synchronisation plug-in and presses OK; a dialog still
        // open after that is cancelled.
        auto synchroniseIt = [&] {
            QTimer::singleShot(0, [&] {
                QWidget* d = QApplication::activeModalWidget();
                QVERIFY(d);
                auto* type = d->findChild<QComboBox*>("cmbType");
                // As the user picks it: the list tells only its user's choices.
                QTest::keyClick(type, Qt::Key_Home);
                while (type->currentText() != "Sync" && type->currentIndex() + 1 < type->count())
                    QTest::keyClick(type, Qt::Key_Down);
                QTest::mouseClick(d->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
                if (QWidget* still = QApplication::activeModalWidget())
                    qobject_cast<QDialog*>(still)->reject();
            });
            return frmAlarmGroupProperties::run(f.p(), ui, nullptr, {g}, {});
        };
        f.ui.answers = {mb::kAnswerNo};
        QVERIFY(!synchroniseIt());
        QCOMPARE(f.ui.boxes.size(), std::size_t(1));
        QVERIFY(g->synchPlugin.empty());
        QCOMPARE(g->numberOfAlarms(), 1);

        f.ui.answers = {mb::kAnswerYes};
        QVERIFY(synchroniseIt());
        QCOMPARE(f.ui.boxes.size(), std::size_t(2));
        QCOMPARE(g->synchPlugin, std::string("QuorvaneTestGood*Sync"));
    }

    void anActionPlugInsSettingsControlEditsTheActionsSettings() {
        HostFixture f({"QuorvaneTestGood.so"});
        f.host.loadPlugins();
        QtUserInterface ui;
        ui.attach(f.p());
        auto alarm = ModelFixture::once(dt(2026, 5, 1, 8, 0, 0));
        auto act = clsAction::Create(f.p().ctx, alarm, clsAction::kPlugIn);
        act->plugin = "QuorvaneTestGood*Act";
        act->settings = XMLNode::createFromXML("<sett><s>first</s></sett>");
        alarm->actions.addElement(act);
        auto note = clsAction::Create(f.p().ctx, alarm, clsAction::kShowMessage);
        alarm->actions.addElement(note);

        frmAlarmProperties d(f.p());
        d.setAlarms({alarm}, frmAlarmProperties::kEdit, false);
        d.actionList()->setCurrentRow(0);
        auto* control = d.findChild<QWidget*>("actionSettingsControl");
        QVERIFY(control);
        auto* field = control->findChild<QLineEdit*>("txtField");
        QCOMPARE(field->text(), QString("first"));
        field->setText("second");
        // Another action: the control goes, its settings stay with the action.
        d.actionList()->setCurrentRow(1);
        QVERIFY(!d.findChild<QWidget*>("actionSettingsControl"));
        d.actionList()->setCurrentRow(0);
        QCOMPARE(d.findChild<QWidget*>("actionSettingsControl")
                     ->findChild<QLineEdit*>("txtField")
                     ->text(),
                 QString("second"));
        d.findChild<QPushButton*>("cmdOk")->click();
        QCOMPARE(alarm->actions.elementAt(0)->settings->getString("s"), std::string("second"));
    }
};

QTEST_MAIN(TestPlugInMenus)
#include "tst_pluginmenus.moc"

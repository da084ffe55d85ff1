// The plug-ins window and the custom actions window against real components
// through the real host, with the shipped language file.

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>

#include "plugins/hostfixture.h"
#include "ui/frmactions.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmplugins.h"
#include "ui/frmsettings.h"
#include "ui/qtuserinterface.h"

using namespace qv;
using namespace qv::test;

class TestPlugInWindows : public QObject {
    Q_OBJECT

    // The program's own English texts instead of the fixture's short ones.
    static void useShippedLanguage(HostFixture& f) {
        const auto lng = f.folder.file("English.lng");
        std::filesystem::copy_file(std::filesystem::path(QUORVANE_SOURCE_DIR) / "data/English.lng",
                                   lng, std::filesystem::copy_options::overwrite_existing);
        f.p().translation.setLanguage("English");
    }
    static QStringList column(QTreeWidget* list, int c) {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(c);
        return out;
    }
    static void clickRow(QTreeWidget* list, int row, bool twice = false) {
        const QRect r = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    static void whenGroupDialogOpen(std::function<void(frmAlarmGroupProperties&)> drive) {
        QTimer::singleShot(0, [drive] {
            auto* d = qobject_cast<frmAlarmGroupProperties*>(QApplication::activeModalWidget());
            QVERIFY(d);
            drive(*d);
        });
    }
    static std::string lastShown(HostFixture& f) {
        return f.host.commonMethodCall("QuorvaneTestGood*Act", "LastShown", "name");
    }

  private slots:
    void plugInsWindowListsByTypeShowsLoadErrorsAndCallsThePlugIn() {
        HostFixture f({"QuorvaneTestGood.so", "QuorvaneTestNotAPlugIn.so"});
        useShippedLanguage(f);
        f.host.loadPlugins();
        frmPlugIns w(f.p());
        w.show();
        auto* types = w.findChild<QComboBox*>("cmbPlugInTypes");
        auto* list = w.findChild<QTreeWidget*>("lstPlugIns");
        auto* settings = w.findChild<QPushButton*>("cmdSettings");
        QCOMPARE(types->count(), 8);
        QCOMPARE(types->currentText(), QString("All plug-ins"));

        // All: each identifier once, by type; the plug-in's name as plain text,
        // the identifier where it gives none.
        QCOMPARE(w.shown(),
                 (std::vector<std::string>{"QuorvaneTestGood*Groups", "QuorvaneTestGood*Files",
                                           "QuorvaneTestGood*Sync", "QuorvaneTestGood*Act",
                                           "QuorvaneTestGood*Keeper"}));
        QCOMPARE(list->topLevelItem(3)->text(0), QString("Acting <i>"));
        QCOMPARE(list->topLevelItem(3)->text(1), QString("Action plug-ins"));
        QCOMPARE(list->topLevelItem(3)->text(2), QString("Act in English"));
        QCOMPARE(list->topLevelItem(0)->text(0), QString("QuorvaneTestGood*Groups"));
        QVERIFY(settings->isEnabled());

        // The component that did not load is listed with the loader's reason.
        auto* errors = w.findChild<QListWidget*>("lstErrors");
        QVERIFY(errors->isVisible());
        QCOMPARE(errors->count(), 1);
        QVERIFY(errors->item(0)->text().contains("QuorvaneTestNotAPlugIn"));

        // One type; the buttons call the selected plug-in with the language.
        types->setCurrentIndex(6);
        QCOMPARE(w.shown(), std::vector<std::string>{"QuorvaneTestGood*Act"});
        QTest::mouseClick(w.findChild<QPushButton*>("cmdAbout"), Qt::LeftButton);
        QCOMPARE(lastShown(f), std::string("Act ShowAbout English"));
        QTest::mouseClick(w.findChild<QPushButton*>("cmdHelp"), Qt::LeftButton);
        QCOMPARE(lastShown(f), std::string("Act ShowHelp English"));
        types->setCurrentIndex(0);
        clickRow(list, 4, true);
        QCOMPARE(lastShown(f), std::string("Keeper ShowSettings English"));

        // Without plug-ins: nothing listed, the three buttons off, no error list.
        HostFixture empty({});
        empty.host.loadPlugins();
        frmPlugIns none(empty.p());
        none.show();
        QVERIFY(none.shown().empty());
        QVERIFY(!none.findChild<QPushButton*>("cmdSettings")->isEnabled());
        QVERIFY(!none.findChild<QPushButton*>("cmdAbout")->isEnabled());
        QVERIFY(!none.findChild<QPushButton*>("cmdHelp")->isEnabled());
        QVERIFY(!none.findChild<QListWidget*>("lstErrors")->isVisible());
    }

    void settingsListThePlugInsFoundAndReadTheirFolderAgain() {
        HostFixture f({"QuorvaneTestGood.so"});
        useShippedLanguage(f);
        f.host.loadPlugins();
        QtUserInterface ui;
        frmSettings d(f.p(), ui, {}, {});
        auto* list = d.findChild<QListWidget*>("lstPlugIns");
        auto* again = d.findChild<QPushButton*>("cmdRegPlugins");
        // Each plug-in once, by the name it gives itself, whatever its types.
        QStringList names;
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        names.sort();
        QCOMPARE(names, (QStringList{"Acting <i>", "QuorvaneTestGood*Files",
                                     "QuorvaneTestGood*Groups", "QuorvaneTestGood*Keeper",
                                     "QuorvaneTestGood*Sync"}));
        QVERIFY(list->isEnabled());
        QVERIFY(again->isEnabled());

        // Removed from the folder: reading it again finds none.
        std::filesystem::remove(f.folder.file("PlugIns/QuorvaneTestGood.so"));
        again->click();
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QString("No plug-ins are installed."));
        QVERIFY(!list->isEnabled());
        QCOMPARE(f.host.plugIns(clsPlugIn::kAction).numberOfElements(), 0);
    }

    void customActionsWindowFiltersSortsAndGivesTheChosenAction() {
        HostFixture f({"QuorvaneTestGood.so"});
        useShippedLanguage(f);
        f.host.loadPlugins();
        auto alarm = ModelFixture::once(dt(2026, 5, 1, 8, 0, 0));

        // Built-in types with category and description, then the plug-in's action.
        {
            frmActions w(f.p());
            w.show();
            QTreeWidget* list = w.list();
            QCOMPARE(list->topLevelItemCount(), 17);
            QCOMPARE(list->topLevelItem(6)->text(0), QString("Play sound"));
            QCOMPARE(list->topLevelItem(6)->text(1), QString("Sounds"));
            QCOMPARE(list->topLevelItem(16)->text(0), QString("Act in English"));
            QCOMPARE(list->topLevelItem(16)->text(2), QString("Acts <b>boldly</b>"));
            QVERIFY(!column(list, 0).contains("Plug-in action"));

            // A second click on a column turns the order round.
            auto* header = list->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
            const QStringList up = column(list, 0);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
            QStringList down = column(list, 0);
            std::reverse(down.begin(), down.end());
            QCOMPARE(down, up);

            // Typing filters by name; Down moves in the list, the box keeps the
            // focus; Enter is OK.
            w.filterBox()->setFocus();
            QTest::keyClicks(w.filterBox(), "SOUND");
            QCOMPARE(list->topLevelItemCount(), 2);
            const QString first = list->currentItem()->text(0);
            QTest::keyClick(w.filterBox(), Qt::Key_Down);
            QVERIFY(list->currentItem()->text(0) != first);
            QTest::keyClick(w.filterBox(), Qt::Key_Down);
            QCOMPARE(list->topLevelItemCount(), 2);
            QCOMPARE(w.filterBox()->text(), QString("SOUND"));
            const QString chosen = list->currentItem()->text(0);
            QTest::keyClick(w.filterBox(), Qt::Key_Return);
            QCOMPARE(w.result(), int(QDialog::Accepted));
            ActionPtr a = w.getAction(alarm);
            QVERIFY(a);
            QCOMPARE(int(a->action), chosen == "Play sound" ? 7 : 8);
            QCOMPARE(a->al.lock(), alarm);
        }
        // A filter that matches nothing: OK gives no action.
        {
            frmActions w(f.p());
            w.show();
            QTest::keyClicks(w.filterBox(), "zzz");
            QCOMPARE(w.list()->topLevelItemCount(), 0);
            QTest::mouseClick(w.findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
            QVERIFY(!w.getAction(alarm));
        }
        // A plug-in's action by double click; cancelled gives none.
        {
            frmActions w(f.p());
            w.show();
            QTest::keyClicks(w.filterBox(), "act in");
            QCOMPARE(w.list()->topLevelItemCount(), 1);
            clickRow(w.list(), 0, true);
            ActionPtr a = w.getAction(alarm);
            QVERIFY(a);
            QCOMPARE(a->action, clsAction::kPlugIn);
            QCOMPARE(a->plugin, std::string("QuorvaneTestGood*Act"));

            frmActions cancelled(f.p());
            cancelled.show();
            QTest::keyClick(cancelled.filterBox(), Qt::Key_Escape);
            QVERIFY(!cancelled.getAction(alarm));
        }
    }

    void alarmDialogAddsPlugInActionsFromItsMenuAndTheWindow() {
        HostFixture f({"QuorvaneTestGood.so"});
        useShippedLanguage(f);
        f.host.loadPlugins();
        auto alarm = ModelFixture::once(dt(2026, 5, 1, 8, 0, 0));
        frmAlarmProperties d(f.p());
        d.setAlarms({alarm}, frmAlarmProperties::kEdit, false);
        QMenu* menu = d.findChild<QPushButton*>("cmdNewAction")->menu();
        QVERIFY(menu);
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QAction* plugIn = nullptr;
        QAction* more = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text() == "Act in English") plugIn = a;
            if (a->text() == "More actions...") more = a;
        }
        QVERIFY(plugIn && more);

        // The plug-in's entry adds its action, with its settings control.
        plugIn->trigger();
        QCOMPARE(d.actionList()->count(), 1);
        QVERIFY(d.findChild<QWidget*>("actionSettingsControl"));

        // The window's choice is added too.
        QTimer::singleShot(0, [] {
            auto* w = qobject_cast<frmActions*>(QApplication::activeModalWidget());
            QVERIFY(w);
            QTest::keyClicks(w->filterBox(), "screen saver");
            QTest::keyClick(w->filterBox(), Qt::Key_Return);
        });
        more->trigger();
        QCOMPARE(d.actionList()->count(), 2);
        d.findChild<QPushButton*>("cmdOk")->click();
        QCOMPARE(alarm->actions.numberOfElements(), 2);
        QCOMPARE(alarm->actions.elementAt(0)->plugin, std::string("QuorvaneTestGood*Act"));
        QCOMPARE(alarm->actions.elementAt(1)->action, std::int16_t{12});
    }

    // A group made synchronised in its dialog gets its alarms on OK.
    void aGroupMadeSynchronisedIsSynchronisedOnOk() {
        HostFixture f({"QuorvaneTestGood.so"});
        useShippedLanguage(f);
        f.host.loadPlugins();
        auto g = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
        g->name = "Trips";
        f.p().alarmGroups.addElement(g);
        QtUserInterface ui;
        whenGroupDialogOpen([](frmAlarmGroupProperties& d) {
            auto* type = d.findChild<QComboBox*>("cmbType");
            type->setFocus();
            QTest::keyClick(type, Qt::Key_Down);
            auto* file = d.findChild<QLineEdit*>("txtField");
            QVERIFY(file);
            QTest::keyClicks(file, "trips.ics");
            d.findChild<QPushButton*>("cmdOk")->click();
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), ui, nullptr, {g}, {}));
        QCOMPARE(g->synchPlugin, std::string("QuorvaneTestGood*Sync"));
        QCOMPARE(g->synchSettings->getString("file"), std::string("trips.ics"));
        QTRY_COMPARE(g->alarms.numberOfElements(), 1);
        QCOMPARE(g->alarms.elementAt(0)->name, std::string("From the plug-in"));
    }

    // A settings control that gives nothing usable leaves the stored settings
    // exactly as they were, and the user is asked whether to save the rest.
    void aSettingsControlWithoutAUsableAnswerKeepsTheStoredSettings() {
        HostFixture f({"QuorvaneTestGood.so"});
        useShippedLanguage(f);
        f.host.loadPlugins();
        auto g = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
        g->name = "Diary";
        g->synchPlugin = "QuorvaneTestGood*Sync";
        g->synchSettings = XMLNode::createFromXML("<syst><file>diary.ics</file></syst>");
        f.p().alarmGroups.addElement(g);
        QtUserInterface ui;
        auto breakControl = [](QDialog& d) {
            auto* field = d.findChild<QLineEdit*>("txtField");
            QVERIFY(field);
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, "no answer");
            d.findChild<QPushButton*>("cmdOk")->click();
        };
        f.ui.answers = {mb::kAnswerNo};
        whenGroupDialogOpen([&](frmAlarmGroupProperties& d) {
            breakControl(d);
            QVERIFY(d.isVisible());  // No: back to the dialog
            d.reject();
        });
        QVERIFY(!frmAlarmGroupProperties::run(f.p(), ui, nullptr, {g}, {}));
        f.ui.answers = {mb::kAnswerYes};
        whenGroupDialogOpen([&](frmAlarmGroupProperties& d) {
            QTest::keyClicks(d.findChild<QLineEdit*>("txtAlarmGroupName"), " 2027");
            breakControl(d);
        });
        QVERIFY(frmAlarmGroupProperties::run(f.p(), ui, nullptr, {g}, {}));
        QCOMPARE(f.ui.boxes.size(), std::size_t(2));
        QCOMPARE(g->name, std::string("Diary 2027"));
        QCOMPARE(g->synchSettings->toString(), std::string("<syst><file>diary.ics</file></syst>"));

        // The same for a plug-in action's settings in the alarm dialog.
        auto alarm = ModelFixture::once(dt(2026, 5, 1, 8, 0, 0));
        alarm->name = "Bell";
        auto action = clsAction::Create(f.p().ctx, alarm, clsAction::kPlugIn);
        action->plugin = "QuorvaneTestGood*Act";
        action->settings = XMLNode::createFromXML("<sett><s>ring twice</s></sett>");
        alarm->actions.addElement(action);
        frmAlarmProperties d(f.p());
        d.setAlarms({alarm}, frmAlarmProperties::kEdit, false);
        d.show();
        f.ui.answers = {mb::kAnswerNo};
        breakControl(d);
        QVERIFY(d.isVisible());
        QCOMPARE(f.ui.boxes.size(), std::size_t(3));
        f.ui.answers = {mb::kAnswerYes};
        d.findChild<QPushButton*>("cmdOk")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(alarm->actions.elementAt(0)->settings->toString(),
                 std::string("<sett><s>ring twice</s></sett>"));
    }
};

QTEST_MAIN(TestPlugInWindows)
#include "tst_pluginwindows.moc"

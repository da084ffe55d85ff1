// Ctrl+Z in the main window: the last delete, cut or paste undone. A delete
// comes back exactly as it was, in its place, and is saved like any edit.

#include <QAction>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QtTest>

#include "ui/frmquorvanemain.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

std::vector<std::string> namesIn(UiFixture& f, const AlarmGroupPtr& g) {
    return f.names(std::vector<AlarmPtr>(g->alarms.begin(), g->alarms.end()));
}

void undoKey(QWidget* w) { QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier); }

}  // namespace

class TestUndo : public QObject {
    Q_OBJECT
  private slots:
    void anUndoneDeleteIsSavedAsItWas() {
        UiFixture f;
        auto g = f.addGroup("one", {{"a", dt(2025, 4, 1, 8)},
                                    {"b", dt(2025, 4, 2, 8)},
                                    {"c", dt(2025, 4, 3, 8)},
                                    {"d", dt(2025, 4, 4, 8)}});
        const AlarmPtr a = g->alarms.elementAt(0), c = g->alarms.elementAt(2);
        c->snooze(dt(2025, 4, 3, 8, 10));
        c->importance = -2;
        const std::string path = AlarmGroup::newFilePath(f.p().alarmGroupFolder());
        QVERIFY(g->save(f.p().ctx, path, false));
        g->path = path;
        const std::string file = AlarmGroup::resolvePath(path, f.p().alarmGroupFolder());
        const std::string before = readFile(file);
        QVERIFY(before.find("<alrm>") != std::string::npos);
        f.main().show();
        f.main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.main()));
        QTreeWidget* alarms = f.main().list(frmQuorvaneMain::kAlarms);
        f.selectGroups({g});
        QVERIFY(!f.main().canUndo());
        undoKey(alarms);  // nothing to undo: no harm
        QCOMPARE(namesIn(f, g), (std::vector<std::string>{"a", "b", "c", "d"}));

        f.selectAlarms({a, c});
        alarms->setFocus();
        QTest::keyClick(alarms, Qt::Key_Delete);  // Yes
        QCOMPARE(namesIn(f, g), (std::vector<std::string>{"b", "d"}));
        QVERIFY(f.main().canUndo());
        QVERIFY(f.p().main.saveChangedAlarmGroups());
        QVERIFY(readFile(file) != before);

        f.p().supervision.pendingWork = 0;
        undoKey(alarms);
        // The very alarms, in their places, snooze and all.
        QCOMPARE(g->alarms.elementAt(0), a);
        QCOMPARE(g->alarms.elementAt(2), c);
        QVERIFY(c->snoozing);
        QCOMPARE(c->nextSnoozeAlarmDate, dt(2025, 4, 3, 8, 10));
        QCOMPARE(f.names(f.main().selectedAlarms()), (std::vector<std::string>{"a", "c"}));
        QVERIFY(f.p().supervision.pendingWork & pending::kSaveGroups);
        QVERIFY(!f.main().canUndo());
        QVERIFY(f.p().main.saveChangedAlarmGroups());
        QCOMPARE(readFile(file), before);
        // Only the last step: a second Ctrl+Z changes nothing.
        undoKey(alarms);
        QCOMPARE(namesIn(f, g), (std::vector<std::string>{"a", "b", "c", "d"}));
    }

    void cutAndPasteAreUndoneAndTheToDoTextKeepsItsOwnUndo() {
        UiFixture f;
        auto g1 = f.addGroup("one", {{"a", dt(2025, 4, 1)}, {"b", dt(2025, 4, 2)}});
        auto g2 = f.addGroup("two", {{"x", dt(2025, 4, 9)}});
        f.main().show();
        f.main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.main()));
        QTreeWidget* alarms = f.main().list(frmQuorvaneMain::kAlarms);
        f.selectGroups({g1});
        const AlarmPtr b = g1->alarms.elementAt(1);
        f.selectAlarms({b});
        alarms->setFocus();
        QTest::keyClick(alarms, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(namesIn(f, g1), (std::vector<std::string>{"a"}));
        undoKey(alarms);
        QCOMPARE(g1->alarms.elementAt(1), b);
        // The clipboard keeps what was cut: it can still be pasted elsewhere.
        f.selectGroups({g2});
        QTest::keyClick(alarms, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(namesIn(f, g2), (std::vector<std::string>{"x", "b"}));
        undoKey(alarms);
        QCOMPARE(namesIn(f, g2), (std::vector<std::string>{"x"}));
        QCOMPARE(namesIn(f, g1), (std::vector<std::string>{"a", "b"}));

        // Ctrl+Z in the to-do text undoes typing, not alarms.
        f.selectGroups({g1});
        f.selectAlarms({b});
        alarms->setFocus();
        QTest::keyClick(alarms, Qt::Key_Delete);
        QPlainTextEdit* todo = f.main().toDoBox();
        todo->setFocus();
        QTest::keyClicks(todo, "milk");
        undoKey(todo);
        QVERIFY(!todo->toPlainText().contains(QStringLiteral("milk")));
        QCOMPARE(namesIn(f, g1), (std::vector<std::string>{"a"}));
        QVERIFY(f.main().canUndo());

        // A group no longer loaded cannot take its alarms back: said, not done.
        f.p().alarmGroups.remove(g1);
        f.main().showAlarmGroups();
        const std::size_t boxes = f.boxes.size();
        alarms->setFocus();
        undoKey(alarms);
        QCOMPARE(f.boxes.size(), boxes + 1);
        QVERIFY(f.boxes.back().text.contains(QStringLiteral("no longer there")));
        QCOMPARE(namesIn(f, g1), (std::vector<std::string>{"a"}));
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"

// The find window, driven with real key events: what matches, searching
// within the results, sorting, and opening what was found.

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

#include "ui/frmalarmproperties.h"
#include "ui/frmfind.h"
#include "ui/frmquorvanemain.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

void find(frmFind& w, const QString& text) {
    auto* field = w.findChild<QLineEdit*>("txtFind");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

QStringList shown(const frmFind& w, int column = 0) {
    QStringList out;
    for (int i = 0; i < w.resultList()->topLevelItemCount(); ++i)
        out << w.resultList()->topLevelItem(i)->text(column);
    return out;
}

}  // namespace

class TestFind : public QObject {
    Q_OBJECT
  private slots:
    void findsInTheStoredTextAndWithinTheResults() {
        UiFixture f;
        f.addGroup("Work", {{"Lunch", dt(2025, 4, 1, 12, 0)}, {"Stand-up", dt(2025, 4, 1, 9, 30)}});
        f.addGroup("Home", {{"lunch with Ann", dt(2025, 4, 2, 13, 0)}});
        frmFind w(f.p());
        w.show();
        auto* within = w.findChild<QCheckBox*>("chkSearchWithinResults");
        QVERIFY(!within->isEnabled());
        QVERIFY(w.findChild<QLabel*>("lblSummary")->text().isEmpty());  // nothing searched yet
        find(w, "LUNCH");
        QCOMPARE(shown(w), (QStringList{"Lunch", "lunch with Ann"}));
        QCOMPARE(shown(w, 1), (QStringList{"Work", "Home"}));
        QCOMPARE(w.findChild<QLabel*>("lblSummary")->text(), QStringLiteral("2 alarms found."));
        // An element name of the stored form matches every alarm.
        find(w, "oncd");
        QCOMPARE(w.results().size(), std::size_t(3));

        w.findChild<QCheckBox*>("chkMatchCase")->setChecked(true);
        find(w, "lunch");
        QCOMPARE(shown(w), QStringList{"lunch with Ann"});
        w.findChild<QCheckBox*>("chkMatchCase")->setChecked(false);

        find(w, "lunch");
        QVERIFY(within->isEnabled());
        within->setChecked(true);
        find(w, "2025/04/02");
        QCOMPARE(shown(w), QStringList{"lunch with Ann"});
        find(w, "nothing like it");
        QVERIFY(w.results().empty());
        QVERIFY(!within->isEnabled() && !within->isChecked());
        QCOMPARE(w.findChild<QLabel*>("lblSummary")->text(), QStringLiteral("No alarm found."));
    }

    void sortsByAColumnAndOpensTheSelectedAlarms() {
        UiFixture f;
        auto g = f.addGroup("G", {{"b", dt(2025, 4, 1, 12, 0)},
                                  {"a", dt(2025, 4, 1, 9, 30)},
                                  {"c", dt(2025, 4, 1, 8, 0)}});
        // Through the main window, which opens the alarm dialog on them.
        frmFind* w = f.main().showFind();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        find(*w, "<alrm>");
        QHeaderView* header = w->resultList()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QCOMPARE(shown(*w), (QStringList{"a", "b", "c"}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QCOMPARE(shown(*w), (QStringList{"c", "b", "a"}));
        QTreeWidget* list = w->resultList();
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(f.dialogCalls.size(), std::size_t(1));
        QCOMPARE(f.dialogCalls[0].alarms, std::vector<AlarmPtr>{g->elementAt(2)});
        QCOMPARE(f.dialogCalls[0].mode, int(frmAlarmProperties::kEdit));
    }

    // Deleted alarms leave the results and edited ones show what they are now:
    // nothing opened from here edits an alarm that is gone.
    void theResultsFollowTheAlarms() {
        UiFixture f;
        auto g = f.addGroup("G", {{"tea", dt(2025, 4, 1, 16, 0)}, {"tee off", dt(2025, 4, 2, 9, 0)}});
        const AlarmPtr tea = g->elementAt(0), golf = g->elementAt(1);
        frmFind* w = f.main().showFind();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        find(*w, "te");
        QCOMPARE(shown(*w), (QStringList{"tea", "tee off"}));
        w->resultList()->topLevelItem(0)->setSelected(true);

        f.main().removeAlarms({tea});
        golf->name = "golf";
        f.p().control.alarmsChanged({golf}, change::kEdited);
        QCOMPARE(shown(*w), QStringList{"golf"});
        QCOMPARE(w->findChild<QLabel*>("lblSummary")->text(), QStringLiteral("1 alarm found."));

        // The row still selected in a window that missed a change opens nothing gone.
        w->resultList()->topLevelItem(0)->setSelected(true);
        g->alarms.remove(golf);
        QTest::keyClick(w->resultList(), Qt::Key_Return);
        QVERIFY(f.dialogCalls.empty());
        QVERIFY(w->results().empty());
    }
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"

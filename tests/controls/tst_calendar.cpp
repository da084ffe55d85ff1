// The calendar over the grid: scopes and their layout, entries over the cells
// they overlap with their interval bars, the persisted properties, selection
// and tooltips, driven with real key and mouse events where the user acts.

#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>

#include "controls/vcalendar.h"

using namespace qv;

namespace {

// A tooltip as the grid shows it: the entry's text as plain text.
QString shownTip(const QString& text) {
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

DateTime at(int y, int mo, int d, int h = 0, int mi = 0) {
    return DateTime::fromParts(y, mo, d, h, mi);
}

class Owner : public VGridObject {
  public:
    QString getToolTip() const override { return QStringLiteral("owner says hi"); }
};

// The interval bars of a cell as "start-end" pairs.
QStringList bars(const VGridCell* c) {
    QStringList out;
    for (int i = 0; i < c->NumberOfIntervals(); ++i)
        out << QStringLiteral("%1-%2").arg(c->Interval(i).IntStart).arg(c->Interval(i).IntEnd);
    return out;
}

const VPeriod& periodOf(const VGridCell* c) {
    return static_cast<const VPeriod&>(*c->HeaderEntry()->obj);
}

}  // namespace

class TestCalendar : public QObject {
    Q_OBJECT
  private slots:
    void monthScopeStartsOnTheWeekStartAndCoversEveryDayOfTheMonth() {
        VCalendar cal;
        cal.setClock([] { return at(2000, 1, 1); });
        cal.setLockRefresh(true);
        cal.setFirstDayOfWeek(2);  // Monday
        cal.setScopeUnit(kMonths);
        cal.setFirstDate(at(2026, 4, 15, 13, 5));  // April 2026 starts on a Wednesday
        cal.setLockRefresh(false);
        cal.Refresh();
        QCOMPARE(cal.getBaseDate(cal.FirstDate()), at(2026, 3, 30));
        QCOMPARE(cal.getFirstDateShown(), at(2026, 3, 30));
        QCOMPARE(cal.getLastDateShown(), at(2026, 5, 4));  // five weeks
        QCOMPARE(cal.Grid()->NrOfCols(), 6);
        QCOMPARE(cal.Grid()->NrOfRows(), 8);
        QCOMPARE(cal.Grid()->cell(1, 0)->HeaderEntry()->text, QStringLiteral("Mar"));
        QCOMPARE(cal.Grid()->cell(0, 1)->HeaderEntry()->text, QStringLiteral("Monday"));
        QCOMPARE(cal.Grid()->cell(1, 3)->HeaderEntry()->text, QStringLiteral("1"));

        // March 2026 starts on a Sunday: with Monday weeks the scope starts on
        // 23 February and must still reach 31 March.
        cal.setFirstDate(at(2026, 3, 10));
        QCOMPARE(cal.getFirstDateShown(), at(2026, 2, 23));
        QCOMPARE(cal.getLastDateShown(), at(2026, 4, 6));
        QCOMPARE(cal.lineCount(), 6);

        // Moving on by one scope unit is one month.
        cal.moveFirstDate(1);
        QCOMPARE(cal.FirstDate(), at(2026, 4, 10));
        cal.moveFirstDate(-2);
        QCOMPARE(cal.FirstDate(), at(2026, 2, 10));
    }

    void anEntryOverMidnightAppearsInBothDaysWithItsBars() {
        VCalendar cal;
        cal.setClock([] { return at(2000, 1, 1); });
        cal.setLockRefresh(true);
        cal.setScopeUnit(kDays);
        cal.setFirstDate(at(2026, 5, 10, 8));
        cal.setIntervalBarWidth(3);
        cal.setLockRefresh(false);
        cal.addEntry(at(2026, 5, 10, 23, 30), at(2026, 5, 11, 0, 30), "night", "n", 255);
        cal.addEntry(at(2026, 5, 11, 10, 15), at(2026, 5, 11, 10, 45), "short", "s", 0);
        cal.addEntry(at(2026, 5, 11, 12), at(2026, 5, 11, 13), "ends at one", "e", 0);
        QCOMPARE(cal.Grid()->IntervalBarBreadth(), 3);

        // Lines are days (columns), hours are rows.
        const VGrid* g = cal.Grid();
        const VGridCell* before = g->cell(1, 24);  // 10 May, 23:00
        const VGridCell* after = g->cell(2, 1);    // 11 May, 00:00
        QCOMPARE(periodOf(before).startDate, at(2026, 5, 10, 23));
        QCOMPARE(before->NumberOfEntries(), 1);
        QCOMPARE(before->Entry(0).shownText(), QStringLiteral("23:30 night"));
        QCOMPARE(bars(before), QStringList{"0.5-1"});
        QCOMPARE(after->NumberOfEntries(), 1);
        QCOMPARE(bars(after), QStringList{"0-0.5"});
        QCOMPARE(g->cell(2, 2)->NumberOfEntries(), 0);

        QCOMPARE(bars(g->cell(2, 11)), QStringList{"0.25-0.75"});
        // A cell's end is exclusive: an entry ending at 13:00 is not in the 13:00 cell.
        QCOMPARE(g->cell(2, 13)->NumberOfEntries(), 1);
        QCOMPARE(g->cell(2, 14)->NumberOfEntries(), 0);

        // The same entry in a week of day cells.
        cal.setScopeUnit(kWeeks);
        cal.setFirstDayOfWeek(1);  // Sunday; 10 May 2026 is a Sunday
        QCOMPARE(cal.getFirstDateShown(), at(2026, 5, 10));
        const VGridCell* sun = g->cell(1, 1);
        const VGridCell* mon = g->cell(1, 2);
        QCOMPARE(sun->NumberOfEntries(), 1);
        QCOMPARE(mon->NumberOfEntries(), 3);
        QCOMPARE(bars(sun).first().section('-', 1), QStringLiteral("1"));
        QVERIFY(sun->Interval(0).IntStart > 0.97f);
        QCOMPARE(mon->Interval(0).IntStart, 0.0f);
        QVERIFY(mon->Interval(0).IntEnd > 0.02f && mon->Interval(0).IntEnd < 0.022f);

        cal.clear();
        QCOMPARE(cal.NumberOfEntries(), 0);
        QCOMPARE(g->cell(1, 2)->NumberOfEntries(), 0);
    }

    // The cells show the calendar's own entries without copies: while the
    // calendar is locked and its entries change, the cells let go of them
    // first (a paint meanwhile shows empty cells, never freed ones), and
    // the next layout shows them again.
    void cellsLetGoOfEntriesThatChangeWhileLocked() {
        VCalendar cal;
        cal.resize(600, 400);
        cal.setClock([] { return at(2000, 1, 1); });
        cal.setLockRefresh(true);
        cal.setScopeUnit(kDays);
        cal.setFirstDate(at(2026, 5, 10));
        cal.setLockRefresh(false);
        cal.addEntry(at(2026, 5, 10, 1, 15), at(2026, 5, 10, 1, 45), "first", "f", 0);
        VGrid* g = cal.Grid();
        QCOMPARE(g->cell(1, 2)->NumberOfEntries(), 1);

        cal.setLockRefresh(true);
        for (int i = 0; i < 100; ++i)  // the entries' storage grows
            cal.addEntry(at(2026, 5, 10, 2), at(2026, 5, 10, 3), QString::number(i), "n", 0);
        QCOMPARE(g->cell(1, 2)->NumberOfEntries(), 0);
        QPixmap target(cal.size());
        cal.render(&target);
        cal.setLockRefresh(false);
        cal.Refresh();
        QCOMPARE(g->cell(1, 2)->Entry(0).shownText(), QStringLiteral("1:15 first"));
        QCOMPARE(g->cell(1, 3)->NumberOfEntries(), 100);

        cal.setLockRefresh(true);
        cal.clear();
        QCOMPARE(g->cell(1, 3)->NumberOfEntries(), 0);
        // The cells' periods stay for the range the owner asks about.
        QCOMPARE(cal.getFirstDateShown(), at(2026, 5, 10));
        cal.setLockRefresh(false);
        cal.Refresh();
        QCOMPARE(g->cell(1, 3)->NumberOfEntries(), 0);
    }

    void scopeUnitSetsTheLayoutAndDirectionSwapsRowsAndColumns() {
        VCalendar cal;
        cal.setClock([] { return at(2026, 6, 3, 9, 20); });  // a Wednesday
        cal.setFirstDate(at(2026, 6, 3, 9, 20));
        VGrid* g = cal.Grid();
        cal.setScopeUnit(kDays);
        g->setColOffset(2);
        cal.setScopeUnit(kHours);
        QCOMPARE(cal.ScopeLength(), 4);
        QCOMPARE(cal.ShownScopeBreadth(), 15);
        QCOMPARE(cal.EntryPrefixFormat(), std::string("ss"));
        QCOMPARE(g->ColOffset(), 0);
        QCOMPARE(g->NrOfCols(), 5);
        QCOMPARE(g->NrOfRows(), 61);
        QCOMPARE(g->NrOfRowsShown(), 15);
        QCOMPARE(g->cell(1, 0)->HeaderEntry()->text, QStringLiteral("09"));
        QVERIFY(!g->IntervalBarVertical());

        cal.setScopeUnit(kYears);
        QCOMPARE(cal.LineHeaderFormat(), std::string("yyyy"));
        QCOMPARE(g->NrOfRowsShown(), 6);
        QCOMPARE(cal.getLastDateShown(), at(2027, 1, 1));

        cal.setScopeUnit(kWeeks);
        cal.setFirstDayOfWeek(2);
        cal.setUnitLineDirection(0);  // weeks are rows, days columns
        QCOMPARE(g->NrOfRows(), 5);
        QCOMPARE(g->NrOfCols(), 8);
        QVERIFY(g->IntervalBarVertical());
        QCOMPARE(g->cell(0, 1)->HeaderEntry()->text, QStringLiteral("wk 23 (Jun)"));
        // Weekend cells are 10 % darker, the present day 20 %.
        const QColor w = g->toQColor(static_cast<std::int32_t>(0x80000005));
        auto red = [](std::int32_t c) { return c & 0xFF; };
        QCOMPARE(red(g->cell(1, 1)->BackColor), w.red());                          // Monday
        QCOMPARE(red(g->cell(6, 1)->BackColor), static_cast<int>(w.red() * 0.9));  // Saturday
        QCOMPARE(red(g->cell(3, 1)->BackColor), static_cast<int>(w.red() * 0.8));  // today
    }

    void propertiesRoundTripUnderTheirStoredNames() {
        VCalendar a;
        a.setLockRefresh(true);
        a.setScopeUnit(kWeeks);
        a.setFirstDate(at(2026, 7, 1, 12));
        a.setFirstDayOfWeek(2);
        a.setUnitLineDirection(0);
        a.setScopeLength(6);
        a.setShownScopeBreadth(5);
        a.setIntervalBarWidth(4);
        a.setLockRefresh(false);
        a.Refresh();
        const QVariantMap saved = a.saveProperties();
        QCOMPARE(saved.value("FirstDate").toString(), QStringLiteral("2026/07/01 12:00:00"));
        QCOMPARE(saved.value("LineHeaderFormat").toString(), QStringLiteral("\"wk\" ww (mmm)"));
        for (const char* name :
             {"FirstDayOfWeek", "UnitLineDirection", "ScopeLength", "ScopeUnit", "ShownScopeLength",
              "ShownScopeBreadth", "LockRefresh", "SecondaryHeaderFormat", "CellHeaderFormat",
              "EntryPrefixFormat", "IntervalBarWidth"})
            QVERIFY2(saved.contains(name), name);

        VCalendar b;
        b.loadProperties(saved);
        QCOMPARE(b.saveProperties(), saved);
        QCOMPARE(b.getFirstDateShown(), a.getFirstDateShown());
        QCOMPARE(b.Grid()->NrOfRows(), 7);
        QCOMPARE(b.Grid()->NrOfColsShown(), 5);
    }

    void selectionAndTooltipsComeFromTheEntryUnderTheUser() {
        VCalendar cal;
        cal.setClock([] { return at(2000, 1, 1); });
        cal.resize(600, 400);
        cal.setLockRefresh(true);
        cal.setScopeUnit(kWeeks);
        cal.setFirstDayOfWeek(1);
        cal.setShownScopeLength(1);
        cal.setFirstDate(at(2026, 5, 10));
        cal.setLockRefresh(false);
        cal.addEntry(at(2026, 5, 11, 7), at(2026, 5, 11, 7), "wake", "w", 0,
                     std::make_shared<Owner>());
        cal.addEntry(at(2026, 5, 11, 9), at(2026, 5, 11, 10), "meet", "m", 0,
                     std::make_shared<Owner>());
        cal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cal));

        QSignalSpy changed(&cal, &VCalendar::SelectionChange);
        VGrid* g = cal.Grid();
        const QRect r = g->cellRect(1, 2);
        const int lh = g->fontMetrics().height();
        QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(r.left() + 8, r.top() + 2 + lh + lh / 2));
        QVERIFY(cal.isPeriodSelected());
        QCOMPARE(cal.getSelectedPeriod()->startDate, at(2026, 5, 11));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(0).value<VPeriod>().endDate, at(2026, 5, 12));
        QVERIFY(cal.isEntrySelected());
        QCOMPARE(cal.getSelectedEntry()->startDate, at(2026, 5, 11, 7));

        QTest::keyClick(g, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(cal.getSelectedEntryPeriod()->endDate, at(2026, 5, 11, 10));
        QTest::keyClick(g, Qt::Key_Down);
        QCOMPARE(cal.getSelectedPeriod()->startDate, at(2026, 5, 12));
        QVERIFY(!cal.isEntrySelected());

        // Start equal to end: one date only, then the owner's own text.
        QTest::mouseMove(g, QPoint(r.left() + 8, r.top() + 2 + lh + lh / 2));
        QTRY_COMPARE(g->toolTip(), shownTip(QStringLiteral("2026/05/11 07:00:00\nowner says hi")));
        QTest::mouseMove(g, QPoint(r.left() + 8, r.top() + 2 + 2 * lh + lh / 2));
        QTRY_COMPARE(
            g->toolTip(),
            shownTip(QStringLiteral("2026/05/11 09:00:00 --- 2026/05/11 10:00:00\nowner says hi")));
        cal.setShowToolTips(false);
        QCOMPARE(cal.getSelectedEntry(), nullptr);
        QCOMPARE(static_cast<const VCalendarEntry&>(*g->cell(1, 2)->Entry(0).obj).getToolTip(),
                 QString());
        QVERIFY(cal.toHtml().contains("7 wake</font>"));
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"

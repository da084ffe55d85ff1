// The alarm calendar view in the main window on a real program state: the
// view switch and its listing of occurrences, the update after changes (one
// listing per change, none per repaint), the properties opened from an entry
// with the mouse and the keyboard, the toolbar's limits, the layout in the
// settings and back, the automatic move to the present, the export to the
// browser, and the tray's calendar.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QXmlStreamReader>

#include "base/files.h"
#include "controls/vcalendar.h"
#include "core/settingsstore.h"
#include "ui/frmdatetime.h"
#include "ui/quorvanecalendar.h"
#include "ui/uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

QAction* action(QWidget* w, const char* name) {
    QAction* a = w->findChild<QAction*>(QString::fromLatin1(name));
    if (!a) qFatal("no action %s", name);
    return a;
}

// The point of entry `index` of a cell, where a click lands on it.
QPoint entryPoint(VGrid* g, int col, int row, int index) {
    const QRect r = g->cellRect(col, row);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        int c = -1, rw = -1, i = -1;
        const QPoint p(r.left() + r.width() / 2, y);
        if (g->cellAt(p, &c, &rw, &i) && c == col && rw == row && i == index) return p;
    }
    return {};
}

// The first cell of a calendar holding an entry, as (col, row).
QPoint firstCellWithEntries(VGrid* g) {
    for (int c = 1; c < g->NrOfCols(); ++c)
        for (int r = 1; r < g->NrOfRows(); ++r)
            if (g->cell(c, r)->NumberOfEntries() > 0) return {c, r};
    return {-1, -1};
}

}  // namespace

class TestCalendarView : public QObject {
    Q_OBJECT
  private slots:
    void switchingListsOnceAndLaterChangesListOncePerChange();
    void anEntryOpensItsAlarmByMouseAndByKey();
    void toolbarKeepsItsLimitsAndReportsEachChange();
    void layoutGoesToTheSettingsAndComesBack();
    void automaticUpdateMovesOnlyAnIdleViewAndOnlyWhenTheScopeChanges();
    void exportWritesAnEscapedPageAndOpensIt();
    void trayCalendarSitsAgainstTheTaskbar();
    void calendarFillsTheWindowReadablyInBothLanguages();
    void everyTextComesFromBothLanguages();
    void aFullCellShowsHowManyMoreAndOpensItsDayBelow();
};

void TestCalendarView::switchingListsOnceAndLaterChangesListOncePerChange() {
    UiFixture f;
    // Saturday 29 March 2025, noon.
    f.addGroup("Work",
               {{"Review", dt(2025, 3, 31, 9, 0, 0)}, {"Lunch", dt(2025, 3, 29, 12, 30, 0)}});
    f.main().show();
    QuorvaneCalendar* cv = f.main().calendarView();
    // Both views show every importance from here on.
    for (int v = 0; v < 2; ++v) cv->importanceList(v)->setCurrentIndex(5);

    // In the list view nothing is listed, however often the alarms change.
    f.p().control.alarmsChanged({f.p().alarmGroups.elementAt(0)->alarms.elementAt(0)},
                                change::kEdited);
    QCoreApplication::processEvents();
    QCOMPARE(f.main().calendarListings(), 0);

    action(&f.main(), "mnuWindowViewB(1)")->trigger();
    QCOMPARE(f.main().view(), 1);
    QVERIFY(cv->isVisible());
    QVERIFY(action(&f.main(), "mnuWindowViewB(1)")->isChecked());
    QVERIFY(!action(&f.main(), "mnuWindowViewB(0)")->isChecked());
    QCOMPARE(f.main().calendarListings(), 2);  // each view once
    QCOMPARE(cv->calendar(0)->NumberOfEntries(), 2);
    // The lower view (four days from today) has both as well.
    QCOMPARE(cv->calendar(1)->NumberOfEntries(), 2);

    // Repaints list nothing.
    cv->repaint();
    cv->calendar(0)->Grid()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(f.main().calendarListings(), 2);

    // Editing an alarm reports the change twice (alarms and groups): one listing per view.
    QVERIFY(f.main().editAlarms({f.p().alarmGroups.elementAt(0)->alarms.elementAt(1)}));
    QCoreApplication::processEvents();
    QCOMPARE(f.main().calendarListings(), 4);

    // A new alarm shows up; an alarm switched off goes.
    auto extra = ModelFixture::once(dt(2025, 4, 1, 8, 0, 0));
    extra->name = "Dentist";
    extra->Active = true;
    f.p().alarmGroups.elementAt(0)->addAlarm(extra);
    f.p().control.alarmsChanged({extra}, change::kEdited);
    QCoreApplication::processEvents();
    QCOMPARE(cv->calendar(0)->NumberOfEntries(), 3);
    f.p().alarmGroups.elementAt(0)->alarms.elementAt(0)->Active = false;
    f.p().control.alarmsChanged({f.p().alarmGroups.elementAt(0)->alarms.elementAt(0)},
                                change::kSwitched);
    QCoreApplication::processEvents();
    QCOMPARE(cv->calendar(0)->NumberOfEntries(), 2);
    QCOMPARE(f.main().calendarListings(), 8);

    // A filter change lists only its own view.
    cv->importanceList(1)->setCurrentIndex(1);
    emit cv->importanceList(1)->activated(1);
    QCoreApplication::processEvents();
    QCOMPARE(f.main().calendarListings(), 9);
    QCOMPARE(cv->calendar(1)->NumberOfEntries(), 0);

    // Back to the list: the view is stored as 0.
    action(&f.main(), "mnuWindowViewB(0)")->trigger();
    QCOMPARE(f.main().placement().view, 0);
    QVERIFY(!cv->isVisible());
}

void TestCalendarView::anEntryOpensItsAlarmByMouseAndByKey() {
    UiFixture f;
    f.addGroup("Home", {{"Bins", dt(2025, 3, 31, 19, 0, 0)}});
    f.main().resize(1000, 700);
    f.main().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main()));
    f.main().setView(1);
    QuorvaneCalendar* cv = f.main().calendarView();
    cv->importanceList(0)->setCurrentIndex(5);
    emit cv->importanceList(0)->activated(5);
    QCoreApplication::processEvents();

    VGrid* g = cv->calendar(0)->Grid();
    const QPoint cell = firstCellWithEntries(g);
    QVERIFY(cell.x() > 0);
    // Its day may lie below the rows in view: chosen, it scrolls into view.
    g->select(cell.x(), cell.y(), 0);
    const QPoint at = entryPoint(g, cell.x(), cell.y(), 0);
    QVERIFY(!at.isNull());
    QTest::mouseDClick(g, Qt::LeftButton, {}, at);
    QCOMPARE(f.dialogCalls.size(), std::size_t{1});
    QCOMPARE(f.dialogCalls[0].alarms.size(), std::size_t{1});
    QCOMPARE(f.dialogCalls[0].alarms[0]->name, std::string("Bins"));
    // The selection tells the period of the entry and of its cell.
    QVERIFY(cv->isAlarmSelected(0));
    QCOMPARE(cv->getSelectedEntryPeriod(0)->startDate, dt(2025, 3, 31, 19, 0, 0));
    QCOMPARE(cv->getSelectedPeriod(0)->startDate, dt(2025, 3, 31, 0, 0, 0));
    QVERIFY(cv->selectedDateLabel(0)->text().contains(QStringLiteral("31 March 2025")));

    // The dialog's OK listed the view anew; the entry is found again by key.
    QCoreApplication::processEvents();
    g->setFocus();
    g->select(cell.x(), cell.y(), 0);
    QTest::keyClick(g, Qt::Key_Return);
    QCOMPARE(f.dialogCalls.size(), std::size_t{2});
    // An empty cell opens nothing.
    g->select(cell.x(), cell.y() == 1 ? 2 : 1, 0);
    QVERIFY(!cv->isAlarmSelected(0));
    QTest::keyClick(g, Qt::Key_Return);
    QCOMPARE(f.dialogCalls.size(), std::size_t{2});
}

void TestCalendarView::toolbarKeepsItsLimitsAndReportsEachChange() {
    UiFixture f;
    QuorvaneCalendar* cv = f.main().calendarView();
    int reported = 0;
    QObject::connect(cv, &QuorvaneCalendar::ScopeChanged,
                     [&](int v) { reported += v == 1 ? 1 : 0; });
    VCalendar* cal = cv->calendar(1);
    QCOMPARE(cal->ScopeUnit(), static_cast<int>(kDays));
    for (int k = 0; k < 15; ++k) cv->button(1, "k5")->trigger();
    QCOMPARE(cal->ScopeLength(), 12);
    for (int k = 0; k < 15; ++k) cv->button(1, "k4")->trigger();
    QCOMPARE(cal->ScopeLength(), 1);
    for (int k = 0; k < 30; ++k) cv->button(1, "k9")->trigger();
    QCOMPARE(cal->ShownScopeBreadth(), 24);  // the hours of a day
    QCOMPARE(reported, 60);

    // Forward and back by a scope unit; the unit menu sets the whole layout.
    const DateTime first = cal->FirstDate();
    cv->button(1, "k3")->trigger();
    QCOMPARE(cal->FirstDate(), addToDate(first, 1, kDays));
    cv->button(1, "k1")->trigger();
    QCOMPARE(cal->FirstDate(), first);
    QMenu* units = cv->button(1, "k11")->menu();
    QVERIFY(units);
    units->actions().at(2)->trigger();  // weeks
    QCOMPARE(cal->ScopeUnit(), static_cast<int>(kWeeks));
    QCOMPARE(cal->ScopeLength(), 4);
    cv->button(1, "k10")->trigger();
    QCOMPARE(cal->UnitLineDirection(), 0);
    QCOMPARE(reported, 64);
}

void TestCalendarView::layoutGoesToTheSettingsAndComesBack() {
    XMLNodePtr stored;
    float divider = 0;
    {
        UiFixture f;
        QuorvaneCalendar* cv = f.main().calendarView();
        cv->button(0, "k11")->menu()->actions().at(2)->trigger();  // weeks
        cv->button(0, "k5")->trigger();
        cv->button(0, "k10")->trigger();
        cv->importanceList(0)->setCurrentIndex(4);
        cv->calendar(0)->setFirstDate(dt(2025, 5, 14, 10, 0, 0));
        cv->button(1, "k7")->trigger();
        cv->button(1, "k8")->trigger();
        f.main().resize(900, 800);
        f.main().setView(1);
        f.main().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.main()));
        cv->divider()->setSizes({150, 400});
        emit cv->divider()->splitterMoved(cv->divider()->sizes()[0], 1);
        divider = cv->divider()->sizes()[0] * 15.0f;  // twips at 96 DPI
        QVERIFY(divider > 0);
        // Saved with the settings and read back by a fresh program.
        f.p().settingsStore.saveSettings();
        stored = XMLNode::createFromFile(f.p().folders.programFolder + "/usr.cfx");
        QVERIFY(stored);
    }
    const XMLNodePtr calview = stored->getNode("mw")->getNode("calview");
    QCOMPARE(calview->getNumberOfNodesWithName("view"), 2);
    QCOMPARE(calview->getNode("view", 0)->getLong("scopeunit"), static_cast<int>(kWeeks));
    QCOMPARE(calview->getSingle("hordivy"), divider);

    UiFixture g;
    g.ui.applyCalendarViewSettings(calview);
    QuorvaneCalendar* cv = g.main().calendarView();
    VCalendar* c0 = cv->calendar(0);
    QCOMPARE(c0->ScopeUnit(), static_cast<int>(kWeeks));
    QCOMPARE(c0->ScopeLength(), 5);
    QCOMPARE(c0->UnitLineDirection(), 0);
    QCOMPARE(c0->FirstDate(), dt(2025, 5, 14, 10, 0, 0));
    QCOMPARE(cv->getMinImportance(0), -1);
    QCOMPARE(cv->calendar(1)->ScopeUnit(), static_cast<int>(kDays));
    QCOMPARE(cv->calendar(1)->ShownScopeLength(), 5);
    QCOMPARE(cv->calendar(1)->ShownScopeBreadth(), 7);
    QCOMPARE(cv->horDivY(), divider);
    QCOMPARE(g.ui.calendarViewSettings()->toString(), calview->toString());

    // No view data: the upper view from importance 1, the lower from 0, the
    // present as first date; nonsense values are not taken.
    g.ui.applyCalendarViewSettings(XMLNode::createFromXML(
        "<calview><view><scopeunit>77</scopeunit><scopelength>400</scopelength></view>"
        "<hordivy>-5</hordivy></calview>"));
    QCOMPARE(cv->getMinImportance(0), 1);
    QCOMPARE(cv->getMinImportance(1), 0);
    QCOMPARE(c0->ScopeUnit(), static_cast<int>(kWeeks));
    QCOMPARE(c0->ScopeLength(), 12);
    QCOMPARE(c0->FirstDate(), g.core.clock.now());
    QCOMPARE(cv->horDivY(), QuorvaneCalendar::kDefaultHorDivY);
}

void TestCalendarView::automaticUpdateMovesOnlyAnIdleViewAndOnlyWhenTheScopeChanges() {
    UiFixture f;
    f.addGroup("Work", {{"Review", dt(2025, 3, 30, 9, 0, 0)}});
    f.p().settings.auc = true;
    f.p().settings.cao = 35;
    QuorvaneCalendar* cv = f.main().calendarView();
    VCalendar* days = cv->calendar(1);  // four days
    days->setFirstDate(dt(2025, 3, 1, 0, 0, 0));
    f.main().setView(1);
    f.main().show();
    QCoreApplication::processEvents();
    const int listed = f.main().calendarListings();

    // Used a minute ago: it stays where the user put it.
    cv->button(1, "k3")->trigger();
    QCoreApplication::processEvents();
    const int afterUse = f.main().calendarListings();
    QCOMPARE(afterUse, listed + 1);
    const DateTime chosen = days->FirstDate();
    f.core.clock.advance(60);
    QVERIFY(!cv->autoUpdate());
    QCOMPARE(days->FirstDate(), chosen);
    // The next check is due when the view has been left alone for three
    // minutes, or earlier when the present moves into the next cell.
    QVERIFY(cv->nextAutoUpdateCheck() <= dt(2025, 3, 29, 12, 3, 0));

    // Three minutes after the last use it goes to the present, 35 % of the
    // scope (4 days: one whole day) before it.
    f.core.clock.advance(120);
    QVERIFY(cv->autoUpdate());
    QCoreApplication::processEvents();
    QCOMPARE(days->getFirstDateShown(), dt(2025, 3, 28, 0, 0, 0));
    QCOMPARE(f.main().calendarListings(), afterUse + 1);
    QCOMPARE(days->NumberOfEntries(), 1);

    // Later checks within the same day change nothing and list nothing.
    f.core.clock.advance(3600);
    QVERIFY(!cv->autoUpdate());
    QCoreApplication::processEvents();
    QCOMPARE(f.main().calendarListings(), afterUse + 1);

    // Switched off, an idle view stays.
    f.p().settings.auc = false;
    f.core.clock.advance(3 * 86400);
    QVERIFY(!cv->autoUpdate());
    QCOMPARE(days->getFirstDateShown(), dt(2025, 3, 28, 0, 0, 0));
}

void TestCalendarView::exportWritesAnEscapedPageAndOpensIt() {
    UiFixture f;
    const char* hostile = "<img src=x onerror=alert(1)> & \"friends\"";
    f.addGroup("Imported", {{hostile, dt(2025, 3, 31, 9, 0, 0)}});
    (void)writeFile(f.p().folders.programFolder + "/vgrstyle.css", "td { color: red; }");
    f.main().setView(1);
    QuorvaneCalendar* cv = f.main().calendarView();
    cv->importanceList(0)->setCurrentIndex(5);
    emit cv->importanceList(0)->activated(5);
    QCoreApplication::processEvents();

    cv->button(0, "k12")->trigger();
    const std::string page = f.p().folders.programFolder + "/temp.html";
    QCOMPARE(f.core.shell.opened.size(), std::size_t{1});
    QCOMPARE(f.core.shell.opened[0].file, page);
    const QString html = QString::fromStdString(readFile(page));
    QVERIFY(!html.contains(QStringLiteral("<img")));
    QVERIFY(html.contains(
        QStringLiteral("&lt;img src=x onerror=alert(1)&gt; &amp; &quot;friends&quot;")));
    // One well-formed document whose texts read back as the names were
    // ("&nbsp;" is HTML's own entity; XML knows only numeric ones).
    QXmlStreamReader xml(QString(html).replace(QStringLiteral("&nbsp;"), QStringLiteral("&#160;")));
    QString texts;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::Characters) texts += xml.text();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(texts.contains(QString::fromUtf8(hostile)));
    // The user's own stylesheet is kept.
    QCOMPARE(readFile(f.p().folders.programFolder + "/vgrstyle.css"),
             std::string("td { color: red; }"));

    QVERIFY(html.contains(QStringLiteral("<meta charset=\"utf-8\"/>")));

    // An existing page is replaced.
    cv->button(0, "k12")->trigger();
    QCOMPARE(QString::fromStdString(readFile(page)), html);
    QVERIFY(f.boxes.empty());

    // Without a program to show it, the user learns where the page is.
    f.core.shell.result = false;
    cv->button(0, "k12")->trigger();
    QCOMPARE(f.boxes.size(), std::size_t{1});
    QVERIFY(f.boxes[0].text.contains(QString::fromStdString(page)));
}

void TestCalendarView::trayCalendarSitsAgainstTheTaskbar() {
    const QRect screen(0, 0, 1000, 800);
    const QSize size(300, 200);
    // Taskbar on the left, at the top, at the bottom.
    QCOMPARE(frmAbout::calendarPlace(screen, QRect(50, 0, 950, 800), size), QPoint(50, 600));
    QCOMPARE(frmAbout::calendarPlace(screen, QRect(0, 40, 1000, 760), size), QPoint(700, 40));
    QCOMPARE(frmAbout::calendarPlace(screen, QRect(0, 0, 1000, 760), size), QPoint(700, 560));

    UiFixture f;
    QAction* show = action(f.ui.about(), "mnuTrayShowCalendar");
    QVERIFY(show->isEnabled());
    // Shown whole within the screen's free area, in both time formats: the
    // AM/PM box only with AM/PM times.
    for (const int ti : {0, 1}) {
        f.p().settings.df.ti = static_cast<std::int16_t>(ti);
        bool seen = false, inside = false, pmShown = false;
        QRect placed;
        QTimer::singleShot(0, [&] {
            auto* picker = qobject_cast<frmDateTime*>(f.ui.about()->calendarPicker());
            seen = picker && picker->isVisible();
            if (!picker) return;
            placed = picker->frameGeometry();
            inside = picker->screen()->availableGeometry().contains(placed);
            pmShown = picker->pmBox()->isVisible();
            QTest::keyClick(picker, Qt::Key_Escape);
        });
        show->trigger();
        QVERIFY(seen);
        QVERIFY2(inside, qPrintable(QStringLiteral("%1,%2 %3x%4")
                                        .arg(placed.x())
                                        .arg(placed.y())
                                        .arg(placed.width())
                                        .arg(placed.height())));
        QCOMPARE(pmShown, ti == 1);
    }
}

void TestCalendarView::everyTextComesFromBothLanguages() {
    UiFixture f;
    QuorvaneCalendar* cv = f.main().calendarView();
    auto texts = [&] {
        QStringList out;
        for (int v = 0; v < 2; ++v) {
            for (QAction* a : cv->toolBar(v)->actions())
                if (!a->isSeparator()) out << a->toolTip();
            for (QAction* a : cv->button(v, "k11")->menu()->actions()) out << a->text();
            for (int i = 0; i < 6; ++i) out << cv->importanceList(v)->itemText(i);
            out << cv->importanceList(v)->toolTip();
            out << cv->findChild<QLabel*>(QStringLiteral("lblImportance(%1)").arg(v))->text();
            out << cv->selectedDateLabel(v)->text();
        }
        return out;
    };
    const QStringList english = texts();
    f.p().translation.setLanguage("Deutsch");
    f.ui.translateAll();
    const QStringList german = texts();
    QCOMPARE(german.size(), english.size());
    for (int i = 0; i < english.size(); ++i) {
        QVERIFY2(!english[i].isEmpty() && !english[i].contains(QLatin1String("not found")),
                 qPrintable(QString::number(i)));
        QVERIFY2(german[i] != english[i], qPrintable(english[i]));
    }
}

void TestCalendarView::calendarFillsTheWindowReadablyInBothLanguages() {
    UiFixture f;
    // Saturday 29 March 2025, noon; an alarm at 13:00 in the day view.
    f.addGroup("Work", {{"Review", dt(2025, 3, 29, 13, 0, 0)}});
    QuorvaneCalendar* cv = f.main().calendarView();
    f.main().applyPlacement(MainWindowSettings{});  // the default size
    f.main().setView(1);
    for (int v = 0; v < 2; ++v) {
        cv->importanceList(v)->setCurrentIndex(5);
        emit cv->importanceList(v)->activated(5);
    }
    QVERIFY(QTest::qWaitForWindowExposed(&f.main()));
    for (const char* language : {"English", "Deutsch"}) {
        f.p().translation.setLanguage(language);
        f.ui.translateAll();
        QCoreApplication::processEvents();
        // The filter and the date are shown whole.
        for (int v = 0; v < 2; ++v)
            for (QWidget* w : std::initializer_list<QWidget*>{
                     cv->findChild<QLabel*>(QStringLiteral("lblImportance(%1)").arg(v)),
                     cv->importanceList(v), cv->selectedDateLabel(v)})
                QVERIFY2(w->width() >= w->sizeHint().width(),
                         qPrintable(QStringLiteral("%1 %2: %3 < %4")
                                        .arg(QLatin1String(language), w->objectName())
                                        .arg(w->width())
                                        .arg(w->sizeHint().width())));
    }

    // On a small screen the day view still shows a few hours, not one.
    f.main().resize(800, 560);
    QCoreApplication::processEvents();
    QVERIFY2(cv->calendar(1)->Grid()->rowsInView() >= 4,
             qPrintable(QString::number(cv->calendar(1)->Grid()->rowsInView())));

    f.main().resize(1400, 900);
    QCoreApplication::processEvents();
    // Most of the height is the calendar's.
    QVERIFY2(cv->height() * 3 >= f.main().centralWidget()->height() * 2,
             qPrintable(QString::number(cv->height())));
    // The day view: from the present hour, at least eight hours in view.
    VGrid* days = cv->calendar(1)->Grid();
    QCOMPARE(days->RowOffset(), 12);
    QVERIFY2(days->rowsInView() >= 8, qPrintable(QString::number(days->rowsInView())));
    // Every entry at full text height, in the day and the month view.
    const int line = days->fontMetrics().height();
    for (VGrid* g : {days, cv->calendar(0)->Grid()}) {
        int drawn = 0;
        for (int c = 1; c < g->NrOfCols(); ++c)
            for (int r = 1; r < g->NrOfRows(); ++r)
                for (int i = 0; i < g->cell(c, r)->NumberOfEntries(); ++i)
                    if (const QRect e = g->entryRect(c, r, i); !e.isEmpty()) {
                        ++drawn;
                        QVERIFY2(e.height() >= line, qPrintable(QStringLiteral("%1 %2,%3 %4 cell %5 rows %6").arg(g == days).arg(c).arg(r).arg(e.height()).arg(g->cellRect(c, r).height()).arg(g->rowsInView())));
                    }
        QVERIFY(drawn > 0);
    }
}

void TestCalendarView::aFullCellShowsHowManyMoreAndOpensItsDayBelow() {
    UiFixture f;
    std::vector<std::pair<std::string, DateTime>> busy;
    for (int i = 0; i < 30; ++i)
        busy.push_back({"Call " + std::to_string(i), dt(2025, 3, 31, 9, i, 0)});
    f.addGroup("Busy", busy);
    f.main().show();
    QuorvaneCalendar* cv = f.main().calendarView();
    for (int v = 0; v < 2; ++v) cv->importanceList(v)->setCurrentIndex(5);
    action(&f.main(), "mnuWindowViewB(1)")->trigger();
    QCoreApplication::processEvents();
    VGrid* g = cv->calendar(0)->Grid();
    QPoint cell(-1, -1);
    for (int c = 1; c < g->NrOfCols(); ++c)
        for (int r = 1; r < g->NrOfRows(); ++r)
            if (g->overflowCount(c, r) > 0) cell = {c, r};
    QVERIFY(cell.x() > 0);
    g->select(cell.x(), cell.y(), 0);  // scrolled into view
    QVERIFY(!g->overflowRect(cell.x(), cell.y()).isEmpty());
    // Only what the cell shows was listed; "+N" counts the rest.
    const int drawn = g->entriesDrawn(cell.x(), cell.y());
    QCOMPARE(g->overflowCount(cell.x(), cell.y()), 30 - drawn);
    QVERIFY(cv->calendar(0)->NumberOfEntries() < 30);
    // Its tooltip comes from the language file with the count in it.
    QVERIFY(g->OverflowToolTip().contains(QStringLiteral("%1")));
    // A double click on it shows that day in the lower view, listed anew.
    cv->calendar(1)->setFirstDate(dt(2025, 6, 1, 0, 0, 0));
    QTest::mouseDClick(g, Qt::LeftButton, {}, g->overflowRect(cell.x(), cell.y()).center());
    QCoreApplication::processEvents();
    QCOMPARE(cv->calendar(1)->ScopeUnit(), static_cast<int>(kDays));
    QCOMPARE(QString::fromStdString(toStoredText(cv->calendar(1)->getFirstDateShown())),
             QStringLiteral("2025/03/31 00:00:00"));
    QVERIFY(cv->calendar(1)->NumberOfEntries() > 0);
    // It opens no alarm.
    QVERIFY(f.dialogCalls.empty());
}

QTEST_MAIN(TestCalendarView)
#include "tst_calendarview.moc"

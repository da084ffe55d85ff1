// The calendar as the program fills it, listing only what its cells can show,
// against the full listing of every occurrence: every cell that is not full
// shows the same entries in the same order in the same places, and a full
// cell shows the same first ones and counts all the others in its "+N".

#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

#include "base/random.h"
#include "controls/vcalendar.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "ui/calendarlisting.h"

using namespace qv;

namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0) {
    return DateTime::fromParts(y, mo, d, h, mi);
}

// Some hundreds of alarms: sparse and dense, with and without a length.
Vector<AlarmGroup> alarmMix(int seed) {
    RandomSource rnd(static_cast<std::uint64_t>(seed));
    Vector<AlarmGroup> groups;
    for (int g = 0; g < 3; ++g) {
        auto group = std::make_shared<AlarmGroup>();
        group->name = "group " + std::to_string(g);
        for (int i = 0; i < 15; ++i) {
            auto a = Alarm::createAlarm(group);
            a->name = "alarm " + std::to_string(g) + "." + std::to_string(i);
            const DateTime anchor =
                at(2025, 1 + rnd.below(12), 1 + rnd.below(28), rnd.below(24), rnd.below(4) * 15);
            a->momentKind = Alarm::kPeriodic;
            a->nextDate = anchor;
            a->everyAmount = 1;
            switch (rnd.below(8)) {
                case 0:
                    a->momentKind = Alarm::kOnce;
                    a->onceDate = at(2026, 3, 1 + rnd.below(28), rnd.below(24));
                    break;
                case 1:
                case 2:
                    a->everyUnit = kDays;
                    break;
                case 3:
                    a->everyUnit = kHours;
                    a->activePeriod = Alarm::kRestrictExpression;
                    a->activeAdvanced = "(HOUR >= 8 && HOUR <= 17) && WEEKDAY != SUNDAY";
                    break;
                case 4:
                    a->everyUnit = kMinutes;
                    a->everyAmount = 300 + rnd.below(1200);
                    break;
                case 5:
                    a->everyUnit = kDays;
                    a->activePeriod = Alarm::kRestrictWeekdays;
                    a->weekDays = static_cast<std::int16_t>(1 + rnd.below(127));
                    break;
                case 6:
                    a->everyUnit = kWeeks;
                    break;
                default:
                    a->everyUnit = kMonths;
                    break;
            }
            if (rnd.below(6) == 0) {
                static const int kLengths[][2] = {{30, kMinutes}, {2, kHours}, {1, kDays}};
                const auto& l = kLengths[rnd.below(3)];
                a->durationAmount = l[0];
                a->durationUnit = static_cast<std::int16_t>(l[1]);
            }
            group->addAlarm(a);
        }
        groups.addElement(group);
    }
    return groups;
}

// Fills a calendar as the main window does, from either listing.
void fill(VCalendar& cal, const CalendarOccurrences& occ) {
    cal.setLockRefresh(true);
    cal.clear();
    std::vector<std::shared_ptr<VGridObject>> objs;
    for (std::size_t i = 0; i < occ.alarms.size(); ++i)
        objs.push_back(std::make_shared<VGridObject>());
    for (const auto& o : occ.items)
        cal.addEntry(o.start, o.end, QString::fromStdString(occ.alarms[o.alarm]->name), QString(),
                     0, objs[o.alarm]);
    if (!occ.cellBounds.empty()) cal.setListing(occ.cellBounds, occ.cellTotals, occ.perCell);
    cal.setLockRefresh(false);
    cal.Refresh();
}

std::unique_ptr<VCalendar> makeCalendar(int unit, QSize size) {
    auto cal = std::make_unique<VCalendar>();
    cal->resize(size);
    cal->show();
    cal->setClock([] { return at(2026, 3, 10, 9); });
    cal->setLockRefresh(true);
    cal->setScopeUnit(unit);
    cal->setFirstDate(at(2026, 3, 10));
    cal->setIntervalBarWidth(3);
    cal->setLockRefresh(false);
    cal->Refresh();
    return cal;
}

const VCalendarEntry& entryOf(const VGridCell* c, int i) {
    return static_cast<const VCalendarEntry&>(*c->Entry(i).obj);
}

}  // namespace

class TestCalendarCells : public QObject {
    Q_OBJECT
  private slots:
    void cellsShowWhatTheFullListingShowsAndCountTheRest() {
        int full = 0, notFull = 0, compared = 0;
        for (int seed : {1, 2}) {
            const Vector<AlarmGroup> groups = alarmMix(seed);
            for (int unit : {kMonths, kDays, kYears, kWeeks}) {
                for (QSize size : {QSize(1000, 700), QSize(640, 420)}) {
                    auto everything = makeCalendar(unit, size);
                    auto cells = makeCalendar(unit, size);
                    fill(*everything,
                         listCalendarOccurrences(groups, everything->getFirstDateShown(),
                                                 everything->getLastDateShown(), -2, false));
                    const CalendarOccurrences listed = listCalendarCells(
                        groups, cells->cellBounds(), cells->cellCapacity(), -2, false);
                    QCOMPARE(listed.cellBounds, everything->cellBounds());
                    fill(*cells, listed);
                    VGrid* a = everything->Grid();
                    VGrid* b = cells->Grid();
                    for (int col = 1; col < a->NrOfCols(); ++col) {
                        for (int row = 1; row < a->NrOfRows(); ++row) {
                            const VGridCell* ca = a->cell(col, row);
                            const VGridCell* cb = b->cell(col, row);
                            const QString where = QStringLiteral("unit %1, %2x%3, cell %4,%5")
                                                      .arg(unit)
                                                      .arg(size.width())
                                                      .arg(size.height())
                                                      .arg(col)
                                                      .arg(row);
                            const int drawn = a->entriesDrawn(col, row);
                            QVERIFY2(b->entriesDrawn(col, row) == drawn, qPrintable(where));
                            QVERIFY2(b->overflowCount(col, row) == a->overflowCount(col, row),
                                     qPrintable(where));
                            if (a->overflowCount(col, row) > 0) {
                                ++full;
                                // All the others are behind its "+N".
                                QVERIFY2(
                                    a->overflowCount(col, row) == ca->NumberOfEntries() - drawn,
                                    qPrintable(where));
                            } else {
                                ++notFull;
                                QVERIFY2(cb->NumberOfEntries() == ca->NumberOfEntries(),
                                         qPrintable(where));
                                QVERIFY2(cb->NumberOfIntervals() == ca->NumberOfIntervals(),
                                         qPrintable(where));
                            }
                            for (int i = 0; i < drawn; ++i) {
                                const VCalendarEntry& ea = entryOf(ca, i);
                                const VCalendarEntry& eb = entryOf(cb, i);
                                QVERIFY2(ea.startDate == eb.startDate && ea.endDate == eb.endDate &&
                                             ea.text == eb.text,
                                         qPrintable(where + QStringLiteral(" entry %1").arg(i)));
                                QCOMPARE(b->entryRect(col, row, i), a->entryRect(col, row, i));
                                ++compared;
                            }
                            QCOMPARE(b->overflowRect(col, row), a->overflowRect(col, row));
                        }
                    }
                    // Far fewer entries were made than the full listing made.
                    QVERIFY(cells->NumberOfEntries() <= everything->NumberOfEntries());
                }
            }
        }
        // Both kinds of cells were met, and many entries compared.
        QVERIFY(full > 20);
        QVERIFY(notFull > 20);
        QVERIFY(compared > 1000);
    }

    void aFullCellSaysHowManyMoreAndOpensThemOnADoubleClick() {
        // Forty alarms at nine o'clock of one day: a month cell shows a few
        // of them and "+N" for the rest.
        Vector<AlarmGroup> groups;
        auto group = std::make_shared<AlarmGroup>();
        for (int i = 0; i < 40; ++i) {
            auto a = Alarm::createAlarm(group);
            a->name = "alarm " + std::to_string(i);
            a->momentKind = Alarm::kOnce;
            a->onceDate = at(2026, 3, 12, 9, i);
            group->addAlarm(a);
        }
        groups.addElement(group);
        auto cal = makeCalendar(kMonths, QSize(800, 600));
        cal->Grid()->setOverflowToolTip(QStringLiteral("%1 more"));
        const CalendarOccurrences occ =
            listCalendarCells(groups, cal->cellBounds(), cal->cellCapacity(), -2, false);
        QVERIFY(static_cast<int>(occ.items.size()) <= cal->cellCapacity());
        fill(*cal, occ);
        VGrid* g = cal->Grid();
        QPoint cell(-1, -1);
        for (int c = 1; c < g->NrOfCols(); ++c)
            for (int r = 1; r < g->NrOfRows(); ++r)
                if (g->overflowCount(c, r) > 0) cell = {c, r};
        QVERIFY(cell.x() > 0);
        const int drawn = g->entriesDrawn(cell.x(), cell.y());
        QCOMPARE(g->overflowCount(cell.x(), cell.y()), 40 - drawn);
        // The exported page counts what the cell does not hold.
        const int held = g->cell(cell.x(), cell.y())->NumberOfEntries();
        QVERIFY(cal->toHtml().contains(QStringLiteral("+%1<br />").arg(40 - held)));
        const QRect more = g->overflowRect(cell.x(), cell.y());
        QVERIFY(!more.isEmpty());

        // The tooltip over "+N" says how many.
        QTest::mouseMove(g, more.center());
        QTRY_COMPARE(g->toolTip(),
                     Qt::convertFromPlainText(QStringLiteral("%1 more").arg(40 - drawn),
                                              Qt::WhiteSpaceNormal));
        // A double click on it reports the cell's day, and opens no entry.
        QSignalSpy more1(cal.get(), &VCalendar::OverflowDblClick);
        QSignalSpy open(cal.get(), &VCalendar::DblClick);
        QTest::mouseDClick(g, Qt::LeftButton, {}, more.center());
        QCOMPARE(more1.size(), 1);
        QCOMPARE(open.size(), 0);
        const auto period = more1.at(0).at(0).value<VPeriod>();
        QCOMPARE(period.startDate, at(2026, 3, 12));
        QCOMPARE(period.endDate, at(2026, 3, 13));
    }
};

QTEST_MAIN(TestCalendarCells)
#include "tst_calendarcells.moc"

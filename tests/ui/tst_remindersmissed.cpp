// Reminders in the alarm dialog, and what shows the alarms nobody answered:
// the recent-alarms list, the notification-area icon and the missed-alarms
// window with Snooze from now and Done.

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "controls/vnumberbox.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmmissedalarms.h"
#include "ui/frmreminders.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// Works the reminders dialog once it is open: each pair is added (amount,
// place in the unit list), then `removeFirst` entries go, then OK.
void whenRemindersOpen(std::vector<std::pair<int, int>> add, int removeFirst) {
    QTimer::singleShot(0, [add, removeFirst] {
        auto* d = qobject_cast<frmReminders*>(QApplication::activeModalWidget());
        if (!d) qFatal("the reminders dialog did not open");
        for (const auto& [amount, unit] : add) {
            d->vnbReminderAmount->setValue(amount);
            d->cmbReminderUnit->setCurrentIndex(unit);
            d->cmdAddReminder->click();
        }
        for (int i = 0; i < removeFirst; ++i) {
            d->lstReminders->clearSelection();
            d->lstReminders->item(0)->setSelected(true);
            d->cmdRemoveReminder->click();
        }
        d->cmdOk->click();
    });
}

}  // namespace

class TestRemindersMissed : public QObject {
    Q_OBJECT
  private slots:
    void theAlarmDialogEditsRemindersAndSeveralAlarmsKeepTheirOwn() {
        UiFixture f;
        auto g = f.addGroup("G", {{"tea", dt(2025, 4, 1, 16, 0)}, {"walk", dt(2025, 4, 2, 9, 30)}});
        const AlarmPtr tea = g->elementAt(0), walk = g->elementAt(1);
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({tea}, frmAlarmProperties::kEdit, false);
            d.show();
            auto* row = d.findChild<RemindersRow*>();
            QVERIFY(row);
            QVERIFY(row->txtReminders->text().isEmpty());
            QCOMPARE(row->txtReminders->placeholderText(), QStringLiteral("none"));
            // 1 day, 15 minutes, 60 minutes and 1 hour (the same again), then
            // the earliest (the day) goes.
            whenRemindersOpen({{1, 2}, {15, 0}, {60, 0}, {1, 1}, {3, 2}}, 1);
            row->cmdReminders->click();
            QCOMPARE(row->txtReminders->text(),
                     QStringLiteral("1 day before, 60 minutes before, 15 minutes before"));
            d.findChild<QPushButton*>("cmdOk")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(tea->reminders,
                 (std::vector<Reminder>{{1, kDays}, {60, kMinutes}, {15, kMinutes}}));

        // Two alarms that differ: the row says so, and OK without touching it
        // leaves each its own.
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({tea, walk}, frmAlarmProperties::kEdit, false);
            d.show();
            auto* row = d.findChild<RemindersRow*>();
            QVERIFY(row->txtReminders->text().isEmpty());
            QCOMPARE(row->txtReminders->placeholderText(), QStringLiteral("(differs)"));
            d.findChild<QPushButton*>("cmdOk")->click();
        }
        QCOMPARE(tea->reminders.size(), std::size_t(3));
        QVERIFY(walk->reminders.empty());
        // Set for both at once.
        {
            frmAlarmProperties d(f.p());
            d.setAlarms({tea, walk}, frmAlarmProperties::kEdit, false);
            d.show();
            whenRemindersOpen({{2, 1}}, 0);
            d.findChild<RemindersRow*>()->cmdReminders->click();
            d.findChild<QPushButton*>("cmdOk")->click();
        }
        QCOMPARE(tea->reminders, (std::vector<Reminder>{{2, kHours}}));
        QCOMPARE(walk->reminders, (std::vector<Reminder>{{2, kHours}}));
    }

    void missedAlarmsShowInTheRecentListTheIconAndTheirWindow() {
        UiFixture f;
        auto g = f.addGroup("Home", {{"tea", dt(2025, 3, 29, 11, 0)}, {"bins", dt(2025, 3, 29, 11, 30)}});
        const AlarmPtr tea = g->elementAt(0), bins = g->elementAt(1);
        SeeAlarmsList& recent = f.p().supervision.seeAlarms[0];
        recent.alarms.addElement(tea);
        recent.dates.addDate(dt(2025, 3, 29, 11, 0));
        recent.flags.addBoolean(false);
        recent.alarms.addElement(bins);
        recent.dates.addDate(dt(2025, 3, 29, 11, 30));
        recent.flags.addBoolean(false);
        f.main().showSeeAlarms(0);
        QTreeWidget* list = f.main().list(frmQuorvaneMain::kSeeAlarms0);
        QVERIFY(!list->topLevelItem(0)->text(1).contains("not answered"));
        QCOMPARE(f.ui.about()->missedCount(), 0);

        f.p().missed.add(bins, dt(2025, 3, 29, 11, 30));
        QCOMPARE(f.ui.about()->missedCount(), 1);
        QVERIFY2(f.ui.about()->trayToolTip().startsWith("Quorvane\n1 alarm not answered"),
                 qPrintable(f.ui.about()->trayToolTip()));
        list = f.main().list(frmQuorvaneMain::kSeeAlarms0);
        QVERIFY(!list->topLevelItem(0)->text(1).contains("not answered"));
        QVERIFY2(list->topLevelItem(1)->text(1).endsWith("(not answered)"),
                 qPrintable(list->topLevelItem(1)->text(1)));
        f.p().missed.add(tea, dt(2025, 3, 29, 11, 0));
        QVERIFY(f.ui.about()->trayToolTip().contains("2 alarms not answered"));

        f.ui.showMissedAlarms();
        frmMissedAlarms* w = f.ui.missedAlarmsWindow();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->lstMissed->topLevelItemCount(), 2);
        QCOMPARE(w->lstMissed->topLevelItem(0)->text(0), QStringLiteral("bins"));
        QCOMPARE(w->lstMissed->topLevelItem(0)->text(2), QStringLiteral("Home"));
        // Snooze from now: 10 minutes for the first.
        w->lstMissed->clearSelection();
        w->lstMissed->topLevelItem(0)->setSelected(true);
        w->vnbSnoozeAmount->setValue(10);
        w->cmbSnoozeUnit->setCurrentIndex(0);
        w->cmdSnooze->click();
        QVERIFY(bins->snoozing);
        QCOMPARE(bins->nextSnoozeAlarmDate, addToDate(f.core.clock.now(), 10, kMinutes));
        QCOMPARE(w->lstMissed->topLevelItemCount(), 1);
        QCOMPARE(f.ui.about()->missedCount(), 1);
        // Done: the badge and the line go.
        w->lstMissed->topLevelItem(0)->setSelected(true);
        w->cmdDone->click();
        QCOMPARE(w->lstMissed->topLevelItemCount(), 0);
        QCOMPARE(f.ui.about()->missedCount(), 0);
        QVERIFY(!f.ui.about()->trayToolTip().contains("not answered"));
        QVERIFY(!w->cmdAllDone->isEnabled());
        // The alarm of an entry that is gone can only be marked done.
        f.p().missed.add(tea, dt(2025, 3, 29, 11, 0));
        g->alarms.remove(tea);
        w->refresh();
        QVERIFY(w->lstMissed->topLevelItem(0)->text(0).endsWith("(no longer there)"));
        w->lstMissed->topLevelItem(0)->setSelected(true);
        w->cmdSnooze->click();
        QCOMPARE(f.boxes.size(), std::size_t(1));
        QCOMPARE(f.p().missed.count(), std::size_t(1));
        w->cmdAllDone->click();
        QCOMPARE(f.p().missed.count(), std::size_t(0));
    }
};

QTEST_MAIN(TestRemindersMissed)
#include "tst_remindersmissed.moc"

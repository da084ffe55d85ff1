// The alarm window's snooze presets: a click snoozes for the preset from now,
// "Tomorrow" keeps the alarm's time of day even when the alarm was late, and
// the presets come and go with the snooze row.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "alarmwindowfixture.h"
#include "presentation/snoozepresets.h"

using namespace qv;
using namespace qv::test;

class TestSnoozePresets : public QObject {
    Q_OBJECT
  private slots:
    void eachPresetSnoozesWhereItSays() {
        const DateTime due = dt(2025, 3, 29, 7, 0, 0);
        struct Case {
            int preset;
            int waited;  // seconds the window was open
            DateTime expected;
        };
        const Case cases[] = {
            {0, 20, dt(2025, 3, 29, 7, 5, 20)},
            {1, 20, dt(2025, 3, 29, 7, 10, 20)},
            {2, 20, dt(2025, 3, 29, 7, 30, 20)},
            {3, 20, dt(2025, 3, 29, 8, 0, 20)},
            {4, 20, dt(2025, 3, 30, 7, 0, 0)},
            // Answered only after more than a day (the computer slept): still
            // the alarm's time, on the first day ahead.
            {4, 2 * 86400 + 3600, dt(2025, 4, 1, 7, 0, 0)},
        };
        for (const Case& c : cases) {
            AlarmWindowFixture f;
            f.clock.set(due);
            auto a = f.messageAlarm("Wake");
            frmAlarm* w = f.show(a, due);
            QVERIFY(w);
            QVERIFY(w->fraSnoozePresets->isVisibleTo(w));
            f.wait(c.waited);
            w->fraSnoozePresets->button(c.preset)->click();
            QVERIFY2(a->snoozing, qPrintable(QString::number(c.preset)));
            QCOMPARE(QString::fromStdString(toStoredText(a->nextSnoozeAlarmDate)),
                     QString::fromStdString(toStoredText(c.expected)));
            QVERIFY(a->changed);
            QVERIFY(f.actions.alarmWindows().empty());
        }
    }

    void presetsFollowTheSnoozeRowAndItsGuard() {
        AlarmWindowFixture f;
        const DateTime due = dt(2025, 3, 29, 12, 0, 0);
        f.clock.set(due);
        // Within the first second a click does nothing, as on the row.
        auto a = f.messageAlarm("Guarded");
        frmAlarm* w = f.show(a, due);
        w->fraSnoozePresets->button(0)->click();
        QVERIFY(!a->snoozing);
        QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));
        // A trial run snoozes nothing, by the row or by a preset.
        auto t = f.messageAlarm("Trial");
        w = f.show(t, due, false);
        f.wait(2);
        QVERIFY(!w->fraSnoozePresets->isEnabled());
        w->fraSnoozePresets->button(SnoozePresets::kTomorrow)->click();
        QVERIFY(!t->snoozing);
        // No snooze row, no presets; a read-only alarm shows them unusable.
        auto c = f.messageAlarm("No row");
        c->actions.elementAt(0)->settings->setInteger("i", 0);
        w = f.show(c, due);
        QVERIFY(!w->fraSnoozePresets->isVisibleTo(w));
        const int messageHeight = w->txtAlarmMessage->height();
        // The same window shown again with a message of the program brings
        // the row and its presets, above the row and below the message.
        f.p().settings.uoaw = true;
        QCOMPARE(f.show(c, due, true, "Plug-in failed"), w);
        QVERIFY(w->fraSnoozePresets->isVisibleTo(w));
        QVERIFY(w->fraSnoozePresets->height() > 0);
        QVERIFY(w->txtAlarmMessage->height() < messageHeight);
        auto r = f.messageAlarm("Read only");
        r->readOnly = true;
        w = f.show(r, due);
        f.wait(2);
        QVERIFY(!w->fraSnoozePresets->isEnabled());
        w->fraSnoozePresets->button(1)->click();
        QVERIFY(!r->snoozing);
        // The presets do not cover the message: they sit above the row.
        w->resize(500, 300);
        QVERIFY(w->fraSnoozePresets->geometry().bottom() < w->cmdSnooze->geometry().top());
        QVERIFY(w->txtAlarmMessage->geometry().bottom() < w->fraSnoozePresets->geometry().top());
    }
};

QTEST_MAIN(TestSnoozePresets)
#include "tst_snoozepresets.moc"

// The reminder window and alarm windows nobody answered: a reminder names
// its alarm and time, one window per alarm; a sound window that runs out by
// itself, or is still open when the program ends, leaves the alarm in the
// list of missed alarms, and one the user answers does not.

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "alarmwindowfixture.h"
#include "presentation/frmreminder.h"

using namespace qv;
using namespace qv::test;

namespace {

struct ReminderFixture : AlarmWindowFixture {
    ReminderFixture() {
        const std::string lng = std::string(kAlarmWindowLanguage) +
                                "[frmReminder]\nfrmReminder=Reminder\ns401=Coming soon: #1\n"
                                "s402=It sounds at #1 (#2 #3 from now).\ns403=It sounds at #1.\n";
        EXPECT_TRUE(writeFile(folder.file("AlarmTest.lng"), lng));
        p().translation.setLanguage("AlarmTest");
        p().settings.df.ot = "yyyy/mm/dd hh:nn";
    }
    ~ReminderFixture() {
        for (frmReminder* r : actions.reminderWindows()) r->close();
        flush();
    }
    std::string sounds() {
        const std::string dir = folder.file("snd");
        QDir().mkpath(QString::fromStdString(dir));
        EXPECT_TRUE(writeFile(dir + "/a.wav", "RIFF"));
        return dir + "/a.wav";
    }
};

}  // namespace

class TestReminderWindow : public QObject {
    Q_OBJECT
  private slots:
    void aReminderNamesItsAlarmAndTimeInOneWindowPerAlarm() {
        ReminderFixture f;
        auto tea = f.messageAlarm("Tea");
        auto call = f.messageAlarm("Call");
        f.clock.set(dt(2025, 3, 29, 11, 45, 0));
        f.actions.showReminder(tea, dt(2025, 3, 29, 12, 0, 0), dt(2025, 3, 29, 11, 45, 0));
        auto windows = f.actions.reminderWindows();
        QCOMPARE(windows.size(), std::size_t(1));
        QCOMPARE(windows[0]->lblReminder->text(), QStringLiteral("Coming soon: Tea"));
        QCOMPARE(windows[0]->lblWhen->text(),
                 QStringLiteral("It sounds at 2025/03/29 12:00 (15 minutes from now)."));
        // A later reminder of the same alarm brings the same window up again.
        f.clock.set(dt(2025, 3, 29, 11, 59, 30));
        f.actions.showReminder(tea, dt(2025, 3, 29, 12, 0, 0), dt(2025, 3, 29, 11, 59, 30));
        QCOMPARE(f.actions.reminderWindows().size(), std::size_t(1));
        QCOMPARE(windows[0]->lblWhen->text(), QStringLiteral("It sounds at 2025/03/29 12:00."));
        // A day ahead reads in hours, then days.
        QCOMPARE(frmReminder::whenText(f.p(), dt(2025, 3, 30, 12, 0, 0), dt(2025, 3, 29, 12, 0, 0)),
                 QStringLiteral("It sounds at 2025/03/30 12:00 (24 hours from now)."));
        QCOMPARE(frmReminder::whenText(f.p(), dt(2025, 4, 5, 12, 0, 0), dt(2025, 3, 29, 12, 0, 0)),
                 QStringLiteral("It sounds at 2025/04/05 12:00 (7 days from now)."));
        f.actions.showReminder(call, dt(2025, 3, 29, 13, 0, 0), dt(2025, 3, 29, 12, 0, 0));
        QCOMPARE(f.actions.reminderWindows().size(), std::size_t(2));
        // Enter answers it.
        QTest::keyClick(windows[0], Qt::Key_Return);
        QCOMPARE(f.actions.reminderWindows().size(), std::size_t(1));

        // As a message of the notification-area icon where there is one; the
        // window where there is none.
        f.p().settings.rmwn = 1;
        std::vector<QString> messages;
        bool trayThere = true;
        f.actions.notifyByTray = [&](const QString& title, const QString& text) {
            if (trayThere) messages.push_back(title + "|" + text);
            return trayThere;
        };
        f.actions.showReminder(tea, dt(2025, 3, 29, 14, 0, 0), dt(2025, 3, 29, 13, 0, 0));
        QCOMPARE(messages.size(), std::size_t(1));
        QVERIFY(messages[0].startsWith(QStringLiteral("Coming soon: Tea|It sounds at")));
        QCOMPARE(f.actions.reminderWindows().size(), std::size_t(1));
        trayThere = false;
        f.actions.showReminder(tea, dt(2025, 3, 29, 14, 0, 0), dt(2025, 3, 29, 13, 0, 0));
        QCOMPARE(f.actions.reminderWindows().size(), std::size_t(2));
    }

    void aSoundWindowThatRunsOutIsKeptAsMissedAnAnsweredOneIsNot() {
        ReminderFixture f;
        const std::string file = f.sounds();
        auto alone = f.soundAlarm("Alone", file);
        auto answered = f.soundAlarm("Answered", file);
        auto test = f.soundAlarm("Test", file);
        int told = 0;
        f.p().missed.changed = [&] { ++told; };

        QPointer<frmAlarm> w = f.play(alone, dt(2025, 3, 29, 12, 0, 0));
        QVERIFY(w);
        f.sound.current()->finish();
        QVERIFY(!w || w->closing());
        QCOMPARE(f.p().missed.count(), std::size_t(1));
        QCOMPARE(f.p().missed.entries()[0].name, std::string("Alone"));
        QVERIFY(f.p().missed.contains(alone.get(), dt(2025, 3, 29, 12, 0, 0)));
        QCOMPARE(told, 1);

        // Answered with OK before it ran out (after the one-second guard).
        w = f.play(answered, dt(2025, 3, 29, 12, 0, 0));
        QVERIFY(w);
        f.wait(2);
        w->cmdOk_Click();
        QCOMPARE(f.p().missed.count(), std::size_t(1));
        // A trial run from the dialog is nobody's missed alarm.
        f.actions.playAlarmSound(test, f.actionOf(test), dt(2025, 3, 29, 12, 0, 0), false, false);
        f.sound.current()->finish();
        QCOMPARE(f.p().missed.count(), std::size_t(1));
    }

    void windowsStillOpenAtTheEndAreTheOnesTheProgramNames() {
        ReminderFixture f;
        const std::string file = f.sounds();
        auto msg = f.messageAlarm("Message");
        auto snd = f.soundAlarm("Sound", file);
        auto tried = f.messageAlarm("Tried");
        f.show(msg, dt(2025, 3, 29, 12, 0, 0));
        f.play(snd, dt(2025, 3, 29, 12, 1, 0));
        f.show(tried, dt(2025, 3, 29, 12, 2, 0), false);
        auto open = f.actions.openSoundings();
        QCOMPARE(open.size(), std::size_t(2));
        QCOMPARE(open[0].first, msg);
        QCOMPARE(open[0].second, dt(2025, 3, 29, 12, 0, 0));
        QCOMPARE(open[1].first, snd);
        QCOMPARE(open[1].second, dt(2025, 3, 29, 12, 1, 0));
        // Stopping every sound answers nothing: the window goes, the alarm is not missed.
        f.actions.stopAllSounds();
        QCOMPARE(f.p().missed.count(), std::size_t(0));
        QCOMPARE(f.actions.openSoundings().size(), std::size_t(1));
    }
};

QTEST_MAIN(TestReminderWindow)
#include "tst_reminderwindow.moc"

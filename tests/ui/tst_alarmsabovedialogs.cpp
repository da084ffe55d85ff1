// Alarm windows that open while a modal dialog is open: they take the keys and
// the mouse at once, and the dialog stays as the user left it.

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "presentation/frmalarm.h"
#include "presentation/qtactionperformer.h"
#include "ui/frmalarmproperties.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

frmAlarm* windowOf(QtActionPerformer& perf, const AlarmPtr& a) {
    for (frmAlarm* w : perf.alarmWindows())
        if (w->alrt == a && !w->closing()) return w;
    return nullptr;
}

// Runs `scenario` while `dialog` is open modally (exec), then closes it.
void whileOpen(QDialog& dialog, const std::function<void()>& scenario, bool& ran) {
    QTimer::singleShot(0, &dialog, [&] {
        // A failed check returns early: the dialog is closed either way.
        struct Closer {
            QDialog& d;
            ~Closer() { d.reject(); }
        } closer{dialog};
        scenario();
    });
    dialog.exec();
    QVERIFY(ran);
}

}  // namespace

class TestAlarmsAboveDialogs : public QObject {
    Q_OBJECT
  private slots:
    void alarmWindowsAnswerWhileTheAlarmDialogIsOpen() {
        QtActionPerformer perf;
        UiFixture f(&perf);
        perf.attach(f.p());
        f.ui.linkPerformer(perf);
        f.main().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.main()));

        const DateTime due(f.core.clock.now().seconds() + 60);
        auto g = f.addGroup("G");
        const AlarmPtr tea = messageAlarm(f, g, "Tea", due, true);
        const AlarmPtr post = messageAlarm(f, g, "Post", due, true);
        const AlarmPtr early =
            messageAlarm(f, g, "Early", DateTime(f.core.clock.now().seconds() + 1), true);
        f.p().control.checkAlarms();
        f.core.clock.advance(1);
        f.p().control.onTimerTick();
        // Open already when the dialog comes.
        QPointer<frmAlarm> earlyWindow = windowOf(perf, early);
        QVERIFY(earlyWindow);

        frmAlarmProperties d(f.p(), &f.main());
        d.setAlarms({tea}, frmAlarmProperties::kEdit, false);
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("txtAlarmName"));
        QVERIFY(name);
        bool ran = false;
        whileOpen(
            d,
            [&] {
                QTRY_COMPARE(QGuiApplication::focusWindow(), d.windowHandle());
                QTest::keyClicks(name, QStringLiteral(" soon"));
                const QString typed = name->text();

                // Both alarms come due while the dialog is open.
                f.core.clock.advance(60);
                f.p().control.onTimerTick();
                QPointer<frmAlarm> teaWindow = windowOf(perf, tea);
                QPointer<frmAlarm> postWindow = windowOf(perf, post);
                QVERIFY(teaWindow && postWindow);
                QVERIFY(teaWindow->isVisible() && postWindow->isVisible());
                f.core.clock.advance(2);  // past the one-second guard

                // Post, shown last, has the focus: Enter is OK.
                QWindow* pw = postWindow->windowHandle();
                QTRY_COMPARE(QGuiApplication::focusWindow(), pw);
                // On X11 (with a window manager) nothing of the program covers it.
                if (QGuiApplication::platformName() == QLatin1String("xcb"))
                    QCOMPARE(QGuiApplication::topLevelAt(postWindow->geometry().center()), pw);
                QTest::keyClick(pw, Qt::Key_Return);
                QVERIFY(!postWindow || postWindow->closing());
                QVERIFY(!post->snoozing);

                // Tea: taken to the front and snoozed through its snooze row by keys.
                QWindow* tw = teaWindow->windowHandle();
                teaWindow->activateWindow();
                QTRY_COMPARE(QGuiApplication::focusWindow(), tw);
                QTest::keyClick(tw, Qt::Key_Tab);  // OK -> snooze button
                QTest::keyClick(tw, Qt::Key_Tab);  // -> amount
                QCOMPARE(QApplication::focusWidget(), teaWindow->vnbSnoozeAmount);
                QTest::keyClick(tw, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(tw, '1');
                QTest::keyClick(tw, '5');
                QCOMPARE(teaWindow->vnbSnoozeAmount->value(), 15);
                QTest::keyClick(tw, Qt::Key_Backtab, Qt::ShiftModifier);
                QCOMPARE(QApplication::focusWidget(), teaWindow->cmdSnooze);
                const int unit =
                    frmAlarm::unitCodeOfIndex(teaWindow->cmbSnoozeUnit->currentIndex());
                const DateTime base =
                    teaWindow->cmbSnoozeAddTo->currentIndex() == 0 ? due : f.core.clock.now();
                QTest::keyClick(tw, Qt::Key_Space);
                QVERIFY(tea->snoozing);
                QCOMPARE(tea->nextSnoozeAlarmDate, addToDate(base, 15, unit));
                QVERIFY(!teaWindow || teaWindow->closing());

                // The window that was open before the dialog came answers too.
                QVERIFY(earlyWindow);
                QWindow* ew = earlyWindow->windowHandle();
                earlyWindow->activateWindow();
                QTRY_COMPARE(QGuiApplication::focusWindow(), ew);
                QTest::keyClick(ew, Qt::Key_Return);
                QVERIFY(!earlyWindow || earlyWindow->closing());

                // The dialog's Test button shows its window above the dialog too.
                d.actionList()->setCurrentRow(0);
                auto* test = d.findChild<QPushButton*>(QStringLiteral("cmdTestAction"));
                QVERIFY(test && test->isEnabled());
                QTest::mouseClick(test, Qt::LeftButton);
                QVERIFY(!perf.alarmWindows().empty());
                QPointer<frmAlarm> tested = perf.alarmWindows().back();
                QVERIFY(!tested->closing() && !tested->timed);
                // It shows the alarm as typed in the dialog.
                QVERIFY2(tested->windowTitle().contains(typed), qPrintable(tested->windowTitle()));
                f.core.clock.advance(2);
                QTest::mouseClick(tested->cmdOk, Qt::LeftButton);
                QVERIFY(!tested || tested->closing());

                // The dialog is still open, with what was typed into it.
                QVERIFY(d.isVisible());
                QCOMPARE(d.result(), int(QDialog::Rejected));
                QCOMPARE(name->text(), typed);
                ran = true;
            },
            ran);
        QCOMPARE(tea->name, std::string("Tea"));  // Cancel kept the alarm as it was
    }
};

QTEST_MAIN(TestAlarmsAboveDialogs)
#include "tst_alarmsabovedialogs.moc"

// The alarm window: snooze, its refusals and question, the one-second guard,
// reuse, titles, keys, the read-only alarm, the close routine and frmMessage.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "alarmwindowfixture.h"
#include "presentation/frmmessage.h"

using namespace qv;
using namespace qv::test;

class TestAlarmWindow : public QObject {
    Q_OBJECT

  private slots:
    void snoozeAddsToTheChosenBase_data();
    void snoozeAddsToTheChosenBase();
    void snoozeInThePastIsRefused();
    void answerNoKeepsThePendingSnooze();
    void oneSecondGuard();
    void guardLetsAClockSetBackThrough();
    void reuseWithOneAlarmWindow();
    void titleSuffixes();
    void ctrlDigitSnoozesMinutes();
    void readOnlyAlarm();
    void snoozeRowPresets();
    void closeRoutineAsksToStoreTheEditedMessage();
    void menuCommandsKeepTheWindowOpen();
    void placementAndForeground();
    void messageWindow();
    void enterInANewWindowPressesOk();
    void messageAndSoundShowOneWindow();
    void rightClickAnywhereOpensTheAlarmMenu();
    void lateAlarmSnoozesFromNow();
};

void TestAlarmWindow::snoozeAddsToTheChosenBase_data() {
    QTest::addColumn<int>("addTo");
    QTest::addColumn<int>("unitIndex");
    QTest::addColumn<int>("unitCode");
    QTest::addColumn<QString>("expected");
    // Due 2025/01/31 12:00:00, snoozed 5 s later by 10 units.
    const char* fromDue[] = {"2025/01/31 12:00:10", "2025/01/31 12:10:00", "2025/01/31 22:00:00",
                             "2025/02/10 12:00:00", "2025/04/11 12:00:00", "2025/11/30 12:00:00",
                             "2035/01/31 12:00:00"};
    const char* fromNow[] = {"2025/01/31 12:00:15", "2025/01/31 12:10:05", "2025/01/31 22:00:05",
                             "2025/02/10 12:00:05", "2025/04/11 12:00:05", "2025/11/30 12:00:05",
                             "2035/01/31 12:00:05"};
    // The list shows weeks before months and years.
    const int codes[] = {0, 1, 2, 3, 6, 4, 5};
    for (int i = 0; i < 7; ++i) {
        QTest::addRow("due-%d", i) << 0 << i << codes[i] << QString(fromDue[i]);
        QTest::addRow("now-%d", i) << 1 << i << codes[i] << QString(fromNow[i]);
    }
}

void TestAlarmWindow::snoozeAddsToTheChosenBase() {
    QFETCH(int, addTo);
    QFETCH(int, unitIndex);
    QFETCH(int, unitCode);
    QFETCH(QString, expected);
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 1, 31, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Wake");
    QPointer<frmAlarm> w = f.show(a, due);
    QVERIFY(w);
    QCOMPARE(w->cmbSnoozeUnit->itemText(4), QString("weeks"));
    QCOMPARE(w->cmbSnoozeUnit->itemText(5), QString("months"));
    f.wait(5);
    w->vnbSnoozeAmount->setValue(10);
    w->cmbSnoozeUnit->setCurrentIndex(unitIndex);
    w->cmbSnoozeAddTo->setCurrentIndex(addTo);
    w->cmdSnooze->click();

    QVERIFY(a->snoozing);
    QCOMPARE(QString::fromStdString(toStoredText(a->nextSnoozeAlarmDate)), expected);
    QVERIFY(a->lastSnoozeSet);
    QCOMPARE(int(a->lastSnoozeAmount), 10);
    QCOMPARE(int(a->lastSnoozeUnit), unitCode);
    QCOMPARE(int(a->lastSnoozeAddTo), addTo);
    QVERIFY(a->changed);  // reported with kind 32
    QVERIFY(f.ui.boxes.empty());
    QVERIFY(f.actions.alarmWindows().empty());
}

void TestAlarmWindow::snoozeInThePastIsRefused() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Wake");
    frmAlarm* w = f.show(a, due);
    // Open for ten minutes, then five minutes added to the due date.
    f.wait(600);
    w->vnbSnoozeAmount->setValue(5);
    w->cmbSnoozeUnit->setCurrentIndex(1);
    w->cmbSnoozeAddTo->setCurrentIndex(0);
    w->cmdSnooze->click();

    QCOMPARE(f.ui.boxes.size(), std::size_t(1));
    QCOMPARE(f.ui.boxes[0].text, std::string("Not in the future."));
    QCOMPARE(f.ui.boxes[0].buttons, mb::kExclamation);
    QVERIFY(!a->snoozing);
    QVERIFY(!a->lastSnoozeSet);
    QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));
}

void TestAlarmWindow::answerNoKeepsThePendingSnooze() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Wake");
    a->snooze(dt(2025, 3, 29, 13, 0, 0));
    // Sounding for another moment while the snooze is pending.
    frmAlarm* w = f.show(a, due);
    f.wait(3);
    f.ui.answers = {mb::kAnswerNo};
    w->vnbSnoozeAmount->setValue(7);
    w->cmbSnoozeUnit->setCurrentIndex(1);
    w->cmbSnoozeAddTo->setCurrentIndex(1);
    w->cmdSnooze->click();

    QCOMPARE(f.ui.boxes.size(), std::size_t(1));
    QCOMPARE(f.ui.boxes[0].text, std::string("Already snoozing until 2025/03/29 13:00:00"));
    QCOMPARE(f.ui.boxes[0].buttons, mb::kYesNo | mb::kExclamation);
    QVERIFY(a->snoozing);
    QCOMPARE(a->nextSnoozeAlarmDate, dt(2025, 3, 29, 13, 0, 0));
    QVERIFY(a->lastSnoozeSet);
    QCOMPARE(int(a->lastSnoozeAmount), 7);
    QVERIFY(f.actions.alarmWindows().empty());
}

void TestAlarmWindow::oneSecondGuard() {
    AlarmWindowFixture f;
    f.clock.set(dt(2025, 3, 29, 12, 0, 0), 200);
    auto a = f.messageAlarm("Wake");
    QPointer<frmAlarm> w = f.show(a, dt(2025, 3, 29, 12, 0, 0));
    f.wait(0, 900);
    QTest::keyClick(w, Qt::Key_Escape);
    w->cmdOk->click();
    QTest::keyClick(w, Qt::Key_5, Qt::ControlModifier);
    QVERIFY(w->isVisible());
    QVERIFY(!a->snoozing);
    QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));

    f.wait(0, 600);  // 1.5 s after it appeared
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(f.actions.alarmWindows().empty());
    f.flush();
    QVERIFY(!w);
    QVERIFY(f.ui.boxes.empty());
    QVERIFY(!a->changed);  // Escape reports nothing
}

void TestAlarmWindow::guardLetsAClockSetBackThrough() {
    AlarmWindowFixture f;
    f.clock.set(dt(2025, 3, 29, 12, 0, 0));
    auto a = f.messageAlarm("Wake");
    frmAlarm* w = f.show(a, dt(2025, 3, 29, 12, 0, 0));
    f.clock.set(dt(2025, 3, 29, 11, 0, 0));
    QTest::keyClick(w, Qt::Key_Return);
    QVERIFY(f.actions.alarmWindows().empty());
}

void TestAlarmWindow::reuseWithOneAlarmWindow() {
    for (bool one : {true, false}) {
        AlarmWindowFixture f;
        f.p().settings.uoaw = one;
        f.clock.set(dt(2025, 3, 29, 12, 0, 0));
        auto a = f.messageAlarm("Wake");
        frmAlarm* w = f.show(a, dt(2025, 3, 29, 12, 0, 0));
        w->txtAlarmMessage->setPlainText("edited");
        w->vnbSnoozeAmount->setValue(9);
        // The alarm was snoozed elsewhere and its snooze comes due.
        a->snooze(dt(2025, 3, 29, 12, 10, 0));
        f.clock.set(dt(2025, 3, 29, 12, 10, 0));
        f.show(a, dt(2025, 3, 29, 12, 10, 0));

        if (one) {
            QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));
            QCOMPARE(w->windowTitle(), QString("Wake - 2025/03/29 12:10:00 (snooze)"));
            QCOMPARE(w->txtAlarmMessage->toPlainText(), QString("edited"));
            QCOMPARE(w->vnbSnoozeAmount->value(), 9);
            QVERIFY(!a->snoozing);
        } else {
            QCOMPARE(f.actions.alarmWindows().size(), std::size_t(2));
            QCOMPARE(w->windowTitle(), QString("Wake - 2025/03/29 12:00:00"));
        }
    }
}

void TestAlarmWindow::titleSuffixes() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    struct Case {
        DateTime snoozeAt;
        QString suffix;
        bool stillSnoozing;
    } cases[] = {
        {due, " (snooze)", false},                          // its snooze came due
        {dt(2025, 3, 29, 13, 0, 0), " (snoozing)", true},   // snoozing beyond this sounding
        {dt(2025, 3, 29, 11, 0, 0), " (snoozing)", false},  // a snooze left behind
    };
    for (const Case& c : cases) {
        auto a = f.messageAlarm("Wake");
        a->snooze(c.snoozeAt);
        frmAlarm* w = f.show(a, due);
        QCOMPARE(w->windowTitle(), "Wake - 2025/03/29 12:00:00" + c.suffix);
        QCOMPARE(a->snoozing, c.stillSnoozing);
        QCOMPARE(bool(w->changeFlags & change::kSnoozed), !c.stillSnoozing);
        w->closeWindow();
        // However the window went, the cleared snooze was reported.
        QCOMPARE(a->changed, !c.stillSnoozing);
    }
    auto a = f.messageAlarm("Trial");
    frmAlarm* w = f.show(a, due, false);
    QCOMPARE(w->windowTitle(), QString("Trial - test"));
    QVERIFY(!w->cmdSnooze->isEnabled());
    QVERIFY(w->cmdSnooze->isVisibleTo(w));
}

void TestAlarmWindow::ctrlDigitSnoozesMinutes() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Wake");
    frmAlarm* w = f.show(a, due);
    w->vnbSnoozeAmount->setValue(2);
    w->cmbSnoozeUnit->setCurrentIndex(2);  // hours shown
    w->cmbSnoozeAddTo->setCurrentIndex(1);
    f.wait(2);
    QTest::keyClick(w->txtAlarmMessage, Qt::Key_5, Qt::ControlModifier);
    QVERIFY(a->snoozing);
    QCOMPARE(a->nextSnoozeAlarmDate, dt(2025, 3, 29, 12, 5, 2));
    QCOMPARE(int(a->lastSnoozeUnit), int(kMinutes));
    QCOMPARE(int(a->lastSnoozeAmount), 5);
}

void TestAlarmWindow::readOnlyAlarm() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Imported");
    a->readOnly = true;
    a->Active = true;
    frmAlarm* w = f.show(a, due);
    QVERIFY(!w->cmdSnooze->isEnabled());
    QVERIFY(!w->vnbSnoozeAmount->isEnabled());
    f.wait(3);
    QTest::keyClick(w, Qt::Key_5, Qt::ControlModifier);
    QVERIFY(!a->snoozing);
    QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));

    w->refreshMenu();
    for (QAction* m :
         {w->mnuDelete, w->mnuDeleteNotSounding, w->mnuTurnOn, w->mnuTurnOff, w->mnuStopSnoozing})
        QVERIFY(!m->isEnabled());
    // Properties stays available for a read-only alarm, once there is a dialog.
    QVERIFY(!w->mnuProperties->isEnabled());
    AlarmPtr opened;
    f.actions.showAlarmProperties = [&opened](const AlarmPtr& x) { opened = x; };
    w->refreshMenu();
    QVERIFY(w->mnuProperties->isEnabled());
    w->mnuProperties->trigger();
    QCOMPARE(opened, a);
    w->mnuTurnOff->trigger();
    QVERIFY(a->Active);
    QVERIFY(!a->changed);
}

void TestAlarmWindow::snoozeRowPresets() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    f.p().settings.dsa = 15;
    f.p().settings.dsu = kWeeks;
    f.p().settings.dsat = 1;
    auto a = f.messageAlarm("Defaults");
    frmAlarm* w = f.show(a, due);
    QCOMPARE(w->vnbSnoozeAmount->value(), 15);
    QCOMPARE(w->cmbSnoozeUnit->currentIndex(), 4);
    QCOMPARE(w->cmbSnoozeAddTo->currentIndex(), 1);

    auto b = f.messageAlarm("Remembered");
    b->lastSnoozeSet = true;
    b->lastSnoozeAmount = 3;
    b->lastSnoozeUnit = kMonths;
    b->lastSnoozeAddTo = 0;
    w = f.show(b, due);
    QCOMPARE(w->vnbSnoozeAmount->value(), 3);
    QCOMPARE(w->cmbSnoozeUnit->currentIndex(), 5);
    QCOMPARE(w->cmbSnoozeAddTo->currentIndex(), 0);

    // "i" 0 hides the row of a window without an explicit message...
    auto c = f.messageAlarm("No row");
    c->actions.elementAt(0)->settings->setInteger("i", 0);
    w = f.show(c, due);
    QVERIFY(!w->cmdSnooze->isVisibleTo(w));
    // ...but not of one with a message, which shows it in the template.
    w = f.show(c, due, true, "Plug-in failed");
    QVERIFY(w->cmdSnooze->isVisibleTo(w));
    QCOMPARE(w->txtAlarmMessage->toPlainText(), QString("Message: Plug-in failed"));
}

void TestAlarmWindow::closeRoutineAsksToStoreTheEditedMessage() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    for (int answer : {mb::kAnswerNo, mb::kAnswerYes}) {
        auto a = f.messageAlarm("Note", "Buy milk");
        frmAlarm* w = f.show(a, due);
        QCOMPARE(w->txtAlarmMessage->toPlainText(), QString("Buy milk"));
        w->txtAlarmMessage->setPlainText("Buy oat milk");
        f.wait(2);
        f.ui.boxes.clear();
        f.ui.answers = {answer};
        w->cmdOk->click();
        QCOMPARE(f.ui.boxes.size(), std::size_t(1));
        QCOMPARE(f.ui.boxes[0].buttons, mb::kYesNo | mb::kQuestion);
        const bool stored = answer == mb::kAnswerYes;
        QCOMPARE(a->actions.elementAt(0)->settings->getString("s", 0, ""),
                 std::string(stored ? "Buy oat milk" : "Buy milk"));
        QCOMPARE(a->changed, stored);  // reported with kind 64
        QVERIFY(f.actions.alarmWindows().empty());
    }
    // An explicit message is never offered for storing.
    auto a = f.messageAlarm("Note", "Buy milk");
    frmAlarm* w = f.show(a, due, true, "error text");
    f.wait(2);
    f.ui.boxes.clear();
    QTest::keyClick(w->cmdOk, Qt::Key_Return);
    QVERIFY(f.ui.boxes.empty());
    QVERIFY(f.actions.alarmWindows().empty());
}

void TestAlarmWindow::menuCommandsKeepTheWindowOpen() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Wake");
    a->Active = true;
    a->snooze(dt(2025, 3, 29, 13, 0, 0));
    frmAlarm* w = f.show(a, due);
    QTest::keyClick(w, Qt::Key_X, Qt::AltModifier);
    QVERIFY(w->mnuAlarm->isVisible());
    QVERIFY(w->mnuTurnOff->isEnabled());
    w->mnuAlarm->hide();
    w->mnuTurnOff->trigger();
    QVERIFY(!a->Active);
    QVERIFY(a->changed);
    w->mnuStopSnoozing->trigger();
    QVERIFY(!a->snoozing);

    f.ui.answers = {mb::kAnswerNo};
    w->mnuDelete->trigger();
    QCOMPARE(f.group()->numberOfAlarms(), 1);
    f.ui.answers = {mb::kAnswerYes};
    w->mnuDelete->trigger();
    QCOMPARE(f.group()->numberOfAlarms(), 0);
    QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));
}

void TestAlarmWindow::placementAndForeground() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    f.p().settings.awW = 12000;
    f.p().settings.awH = 3000;
    auto a = f.messageAlarm("Wake");
    frmAlarm* w = f.show(a, due);
    const double twipsPerPixel = 1440.0 / w->screen()->logicalDotsPerInch();
    QCOMPARE(w->width(), qRound(12000 / twipsPerPixel));
    QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));

    // OK remembers the place and the new size (in twips, saved with the settings).
    w->move(40, 30);
    w->resize(qRound(9600 / twipsPerPixel), w->height());
    f.wait(2);
    w->cmdOk->click();
    QCOMPARE(f.actions.alarmWindowPosition, QPoint(40, 30));
    QCOMPARE(f.p().settings.awW, qRound(qRound(9600 / twipsPerPixel) * twipsPerPixel));
    QVERIFY(f.p().supervision.pendingWork & pending::kSaveSettings);

    // A place off the screen is pulled back onto it; "ftf" keeps the window on top.
    f.actions.alarmWindowPosition = QPoint(100000, -50);
    f.p().settings.ftf = true;
    w = f.show(a, due);
    const QRect screen = w->screen()->availableGeometry();
    QCOMPARE(w->x() + w->width(), screen.right() + 1);
    QCOMPARE(w->y(), screen.top());
    QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
}

void TestAlarmWindow::messageWindow() {
    AlarmWindowFixture f;
    QPointer<frmMessage> m = new frmMessage(f.p());
    m->showMessage("Backup done", 1);
    QCOMPARE(m->windowTitle(), QString("Note - Quorvane"));
    QCOMPARE(m->getMessage(), QString("Backup done"));
    QTest::keyClick(m, Qt::Key_Return);
    f.flush();
    QVERIFY(!m);
}

void TestAlarmWindow::enterInANewWindowPressesOk() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Enter", "Buy milk");
    QPointer<frmAlarm> w = f.show(a, due);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cmdOk));
    f.wait(2);
    f.ui.boxes.clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // Answered: no line break in the message, no question about storing it.
    QVERIFY(f.ui.boxes.empty());
    QCOMPARE(a->actions.elementAt(0)->settings->getString("s", 0, ""), std::string("Buy milk"));
    QVERIFY(f.actions.alarmWindows().empty());
}

void TestAlarmWindow::messageAndSoundShowOneWindow() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    const std::string file = f.folder.file("ring.wav");
    QVERIFY(writeFile(file, "RIFF"));
    // Runs an alarm with a message action (index 0) and a sound action playing
    // forever (index 1), in the order given, as the supervision does.
    auto sound = [&](const std::string& name, bool soundFirst, int showSoundWindow,
                     DateTime soundDue) {
        auto a = f.messageAlarm(name, "Take the cake out");
        auto act = clsAction::Create(f.p().ctx, a, clsAction::kPlaySoundRepeatedly);
        act->settings->setString("s", file);
        act->settings->setInteger("i", static_cast<std::int16_t>(showSoundWindow), 0);
        act->settings->setInteger("i", 1, 1);
        a->actions.addElement(act);
        if (!soundFirst) f.actions.showAlarmWindow(a, *a->actions.elementAt(0), due, true, "");
        f.actions.playAlarmSound(a, *act, soundDue, true, false);
        if (soundFirst) f.actions.showAlarmWindow(a, *a->actions.elementAt(0), due, true, "");
        return a;
    };

    for (bool soundFirst : {false, true}) {
        for (int shown : {1, 0}) {
            auto a = sound("Cake", soundFirst, shown, due);
            QCOMPARE(f.actions.alarmWindows().size(), std::size_t(1));
            QPointer<frmAlarm> w = f.actions.alarmWindows().front();
            QVERIFY(w->isVisible());
            QCOMPARE(w->txtAlarmMessage->toPlainText(), QString("Take the cake out"));
            QVERIFY(w->txtAlarmMessage->isEnabled() && w->cmdSnooze->isVisible());
            QCOMPARE(f.actions.soundPlayers().size(), std::size_t(1));
            QCOMPARE(f.actions.soundPlayers().front()->parentWindow.data(), w.data());
            // Stopping the sound leaves the message to be answered, like any message.
            f.actions.stopAllSounds();
            QVERIFY(w && !w->closing());
            f.wait(2);
            w->txtAlarmMessage->setPlainText("Take both cakes out");
            f.ui.answers = {mb::kAnswerYes};
            w->cmdOk->click();
            QVERIFY(f.actions.alarmWindows().empty());
            QCOMPARE(a->actions.elementAt(0)->settings->getString("s", 0, ""),
                     std::string("Take both cakes out"));
        }
    }
    // Closing the window stops its sound.
    sound("Closed", false, 1, due);
    f.wait(2);
    f.actions.alarmWindows().front()->cmdOk->click();
    QVERIFY(!f.sound.current());

    // The sound of another sounding, or of another alarm, has a window of its own.
    sound("Twice", false, 1, dt(2025, 3, 29, 12, 5, 0));
    auto c = f.soundAlarm("Other", file);
    f.actions.playAlarmSound(c, f.actionOf(c), due, true, false);
    QCOMPARE(f.actions.alarmWindows().size(), std::size_t(3));
}

void TestAlarmWindow::rightClickAnywhereOpensTheAlarmMenu() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    frmAlarm* w = f.show(f.messageAlarm("Wake"), due);
    QVERIFY(w);
    // A control's own menu would wait for an answer: close whatever pops up.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    guard.start(100);
    QWidget* spinEdit = w->vnbSnoozeAmount->findChild<QLineEdit*>();
    QVERIFY(spinEdit);
    for (QWidget* target :
         {w->txtAlarmMessage->viewport(), spinEdit, static_cast<QWidget*>(w->cmdOk),
          static_cast<QWidget*>(w->cmbSnoozeUnit), static_cast<QWidget*>(w)}) {
        w->mnuAlarm->hide();
        const QPoint at(3, 3);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &click);
        QVERIFY2(w->mnuAlarm->isVisible(), qPrintable(target->metaObject()->className()));
    }
    w->mnuAlarm->hide();
}

void TestAlarmWindow::lateAlarmSnoozesFromNow() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.p().settings.dsa = 10;
    f.p().settings.dsu = kMinutes;
    f.p().settings.dsat = 0;
    // On time: the snooze counts from the alarm's moment, as set.
    f.clock.set(due);
    frmAlarm* w = f.show(f.messageAlarm("On time"), due);
    QCOMPARE(w->cmbSnoozeAddTo->currentIndex(), 0);

    // Half an hour late (the computer slept): ten minutes from the alarm's
    // moment lie in the past, so the row offers "from now" and snoozing works.
    f.clock.set(dt(2025, 3, 29, 12, 30, 0));
    auto late = f.messageAlarm("Late");
    w = f.show(late, due);
    QCOMPARE(w->cmbSnoozeAddTo->currentIndex(), 1);
    f.wait(2);
    w->cmdSnooze->click();
    QVERIFY(f.ui.boxes.empty());
    QVERIFY(late->snoozing);
    QCOMPARE(late->nextSnoozeAlarmDate, dt(2025, 3, 29, 12, 40, 2));
}

QTEST_MAIN(TestAlarmWindow)
#include "tst_alarmwindow.moc"

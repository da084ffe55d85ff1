// Quick alarms in the real windows (the tray menu's two keys, the "Alarm in"
// dialog) and the scripting interface on a private session bus, called from
// a second connection as another program would, and switched off and on in
// the settings.

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "core/alarmrequest.h"
#include "presentation/frmalarm.h"
#include "presentation/qtactionperformer.h"
#include "ui/frmquickalarm.h"
#include "ui/frmsettings.h"
#include "ui/scriptingservice.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

const QString kService = QString::fromLatin1(ScriptingService::kService);
const QString kPath = QString::fromLatin1(ScriptingService::kPath);
const QString kInterface = QString::fromLatin1(ScriptingService::kInterface);

// Waits for the answer while this thread's event loop lets the service answer.
// (The watcher's signal wakes the loop; a bare pending call may not.)
QDBusMessage callAndWait(QDBusConnection& bus, QDBusMessage call) {
    QDBusPendingCallWatcher watcher(bus.asyncCall(call));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished()) loop.exec();
    return watcher.reply();
}

// Runs the event loop until `done` holds.
template <typename F>
void waitUntil(F done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QDBusMessage method(const QString& name, const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kInterface, name);
    m.setArguments(args);
    return m;
}

AlarmGroupPtr groupNamed(Program& p, const std::string& name) {
    return findGroupByName(p.alarmGroups, name);
}

}  // namespace

// Hears the interface's signals on the caller's connection.
class SignalListener : public QObject {
    Q_OBJECT
  public:
    QList<QPair<QString, QStringList>> changes;
    QList<bool> blocked;
  public slots:
    void onNextAlarmChanged(const QString& moment, const QStringList& alarms) {
        changes.append({moment, alarms});
    }
    void onBlockedChanged(bool b) { blocked.append(b); }
};

class TestQuickAlarms : public QObject {
    Q_OBJECT
  private slots:
    void twoKeysFromTheTrayMenuSetATimer() {
        UiFixture f;
        QMenu* tray = f.ui.about()->trayMenu();
        tray->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(tray));
        QTest::keyClick(tray, Qt::Key_I);
        auto* quick = tray->findChild<QMenu*>(QStringLiteral("mnuTrayQuick"));
        QVERIFY(quick);
        QVERIFY(QTest::qWaitForWindowExposed(quick));
        QTest::keyClick(quick, Qt::Key_5);
        const AlarmGroupPtr g = groupNamed(f.p(), "Quick alarms");
        QVERIFY(g);
        QCOMPARE(g->numberOfAlarms(), 1);
        const AlarmPtr a = g->elementAt(0);
        QCOMPARE(a->name, std::string("Quick alarm: 5 minutes"));
        QCOMPARE(a->onceDate, DateTime(f.core.clock.current.seconds() + 5 * 60));
        QVERIFY(a->Active);
        // The group has its file, and the next alarm line names the alarm.
        QVERIFY(!g->path.empty());
        QCOMPARE(f.p().supervision.nextAlarmDate, a->onceDate);

        // The main window's Alarms menu has the same list; "1 hour" joins the group.
        auto* mainQuick = f.main().findChild<QMenu*>(QStringLiteral("mnuAlQuick"));
        QVERIFY(mainQuick);
        auto* hour = mainQuick->findChild<QAction*>(QStringLiteral("mnuAlQuick(4)"));
        QVERIFY(hour);
        hour->trigger();
        QCOMPARE(g->numberOfAlarms(), 2);
        QCOMPARE(g->elementAt(1)->onceDate, DateTime(f.core.clock.current.seconds() + 3600));
        QCOMPARE(f.p().alarmGroups.numberOfElements(), 1);
    }

    void theDialogTakesATypedTimeAndRefusesNonsense() {
        UiFixture f;
        f.p().translation.setLanguage("Deutsch");
        frmQuickAlarm w(f.p());
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Alarm in"));
        QCOMPARE(w.cmbQuickWhen->itemText(4), QStringLiteral("1 Stunde"));
        w.cmbQuickWhen->setFocus();
        w.cmbQuickWhen->lineEdit()->selectAll();
        QTest::keyClicks(w.cmbQuickWhen->lineEdit(), QStringLiteral("bald"));
        QVERIFY(w.lblQuickMoment->text().contains(QStringLiteral("Dauer")));
        QTest::mouseClick(w.cmdOk, Qt::LeftButton);
        QVERIFY(w.isVisible());
        QVERIFY(!w.added().alarm);
        QCOMPARE(f.p().alarmGroups.numberOfElements(), 0);

        w.cmbQuickWhen->lineEdit()->selectAll();
        QTest::keyClicks(w.cmbQuickWhen->lineEdit(), QStringLiteral("13:15"));
        QCOMPARE(w.lblQuickMoment->text(), QStringLiteral("Ertönt am 2025/03/29 13:15:00."));
        QTest::keyClicks(w.txtQuickMessage, QStringLiteral("Tee"));
        QTest::keyClick(w.txtQuickMessage, Qt::Key_Return);
        QVERIFY(!w.isVisible());
        QVERIFY(w.added().alarm);
        QCOMPARE(w.added().alarm->name, std::string("Tee"));
        QCOMPARE(w.added().group->name, std::string("Schnellalarme"));
        QCOMPARE(w.added().alarm->onceDate, dt(2025, 3, 29, 13, 15));
    }

    void rungQuickAlarmsAreTidiedAway() {
        UiFixture f;
        ScriptingService service(f.p(), f.ui, nullptr);
        RequestError e;
        QVERIFY(!service.addAlarm("in 5m", "", "", "Tea", "", e).isEmpty());
        const AlarmGroupPtr g = groupNamed(f.p(), "Quick alarms");
        QVERIFY(g);
        f.core.clock.advance(24 * 3600);
        QCOMPARE(service.tidyQuickAlarms(), 0);  // a day after it was set, not after it rang
        f.core.clock.advance(5 * 60);
        QCOMPARE(service.tidyQuickAlarms(), 1);
        QCOMPARE(g->numberOfAlarms(), 0);
    }

    void theInterfaceOnTheSessionBus() {
        if (!qEnvironmentVariableIsSet("QUORVANE_PRIVATE_BUS"))
            QSKIP("needs the private bus of CTest's tst_quickalarms_dbus (dbus-run-session)");
        UiFixture f;
        QtActionPerformer performer;
        performer.attach(f.p());
        ScriptingService service(f.p(), f.ui, &performer);
        QVERIFY(service.registerOn(QDBusConnection::sessionBus()));
        // Another program: its own connection.
        QDBusConnection client = QDBusConnection::connectToBus(
            QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("client"));
        QVERIFY(client.isConnected());
        SignalListener listener;
        QVERIFY(client.connect(kService, kPath, kInterface, QStringLiteral("NextAlarmChanged"),
                               &listener, SLOT(onNextAlarmChanged(QString, QStringList))));
        QVERIFY(client.connect(kService, kPath, kInterface, QStringLiteral("BlockedChanged"),
                               &listener, SLOT(onBlockedChanged(bool))));

        // Introspectable, with the whole interface.
        QDBusMessage reply = callAndWait(
            client, QDBusMessage::createMethodCall(
                        kService, kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                        QStringLiteral("Introspect")));
        const QString xml = reply.arguments().value(0).toString();
        for (const char* name : {"AddAlarm", "NextAlarms", "Snooze", "Stop", "Block", "Unblock",
                                 "NextAlarmChanged", "a(sss)"})
            QVERIFY2(xml.contains(QLatin1String(name)), name);

        // A template that would run a command line: an alarm from outside has none.
        auto tmpl = Alarm::createDefaultAlarm(f.p().ctx);
        auto command = clsAction::Create(f.p().ctx, tmpl, clsAction::kCommandLine1);
        tmpl->actions.addElement(command);
        const AlarmGroupPtr work = f.addGroup("Work");
        work->template_ = tmpl->toXML("tmpl")->toString();

        reply = callAndWait(client, method("AddAlarm", {"in 25m", "", "", "Tea", "Work"}));
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments().value(0).toString(), QStringLiteral("2025/03/29 12:25:00"));
        QCOMPARE(work->numberOfAlarms(), 1);
        for (const ActionPtr& a : work->elementAt(0)->actions)
            QVERIFY(a->action != clsAction::kCommandLine1);
        waitUntil([&] { return !listener.changes.isEmpty(); });
        QCOMPARE(listener.changes.last().first, QStringLiteral("2025/03/29 12:25:00"));
        QCOMPARE(listener.changes.last().second, QStringList{"Tea"});

        // Untrusted input is refused with a reason; nothing is added.
        for (const QVariantList& args :
             {QVariantList{"soon", "", "", "Tea", ""}, QVariantList{"in 5m", "", "", "a\x01", ""},
              QVariantList{"07:00", "", "mo-fr", "x", ""},
              QVariantList{"in 5m", "", "", QString(5000, 'a'), ""}}) {
            reply = callAndWait(client, method("AddAlarm", args));
            QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
            QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
        }
        reply = callAndWait(client, method("AddAlarm", {"in 5m", "", ""}));  // too few
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(f.p().alarmGroups.numberOfElements(), 1);

        // The coming alarms, as a(sss).
        callAndWait(client, method("AddAlarm", {"12:10", "day", "", "Lunch", "Work"}));
        reply = callAndWait(client, method("NextAlarms", {QVariant::fromValue(3u)}));
        QCOMPARE(reply.signature(), QStringLiteral("a(sss)"));
        const QList<BusComingAlarm> coming =
            qdbus_cast<QList<BusComingAlarm>>(reply.arguments().value(0));
        QCOMPARE(coming.size(), 3);
        QCOMPARE(coming[0].alarm, QStringLiteral("Lunch"));
        QCOMPARE(coming[0].moment, QStringLiteral("2025/03/29 12:10:00"));
        QCOMPARE(coming[1].alarm, QStringLiteral("Tea"));
        QCOMPARE(coming[1].group, QStringLiteral("Work"));
        QCOMPARE(coming[2].moment, QStringLiteral("2025/03/30 12:10:00"));

        // Block and unblock, and the signal that follows.
        callAndWait(client, method("Block"));
        QVERIFY(f.p().supervision.blocked);
        waitUntil([&] { return listener.blocked.contains(true); });
        callAndWait(client, method("Unblock"));
        QVERIFY(!f.p().supervision.blocked);

        // Stop answers the ringing alarm windows as their OK button does.
        const AlarmPtr tea = work->elementAt(0);
        performer.showAlarmWindow(tea, *tea->actions.elementAt(0), tea->onceDate, true, "");
        QCOMPARE(performer.alarmWindows().size(), std::size_t(1));
        f.core.clock.advance(2);  // past the window's guard against a stray click
        reply = callAndWait(client, method("Stop"));
        QCOMPARE(reply.arguments().value(0).toUInt(), 1u);
        waitUntil([&] {
            return performer.alarmWindows().empty() || performer.alarmWindows().front()->closing();
        });

        // A second program cannot take the name.
        ScriptingService second(f.p(), f.ui, nullptr);
        QDBusConnection other = QDBusConnection::connectToBus(
            QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("second"));
        QVERIFY(!second.registerOn(other));
        service.unregister();
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }

    // The settings' switch takes the interface off the bus and back at once.
    void theSettingsSwitchTheInterfaceOffAndOn() {
        if (!qEnvironmentVariableIsSet("QUORVANE_PRIVATE_BUS"))
            QSKIP("needs the private bus of CTest's tst_quickalarms_dbus (dbus-run-session)");
        UiFixture f;
        ScriptingService service(f.p(), f.ui, nullptr);
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(service.registerOn(bus));
        frmSettings d(f.p(), f.ui, {}, {});
        for (bool on : {false, true}) {
            d.findChild<QCheckBox*>(QStringLiteral("chkScriptingInterface"))->setChecked(on);
            QVERIFY(d.apply());
            QCOMPARE(bus.interface()->isServiceRegistered(kService).value(), on);
        }
        service.unregister();
    }
};

QTEST_MAIN(TestQuickAlarms)
#include "tst_quickalarms.moc"

// The desktop notification of alarm windows against a fake notification
// service on a private session bus (CTest's tst_notifications_dbus runs it
// under dbus-run-session; the plain registration skips itself). The fake lives
// on its own connection in its own thread, as a real service lives in another
// process.

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDialog>
#include <QMutex>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "presentation/alarmwindowfixture.h"
#include "presentation/desktopnotifier.h"
#include "privatebus.h"

using namespace qv;
using namespace qv::test;

namespace {

const QString kFakeConnection = QStringLiteral("qv-fake-notifications");
const QString kName = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

struct Notification {
    QString app;
    uint replaces = 0;
    QString icon, summary, body;
    QStringList actions;
    QVariantMap hints;
    int timeout = -1;
};

// What the fake was asked; shared with the fake's thread.
struct Record {
    QMutex mutex;
    QList<Notification> shown;
    QList<uint> closed;
    uint lastId = 0;
    QString actOnNotify;  // an action the service sends before it answers Notify
    void clear() {
        QMutexLocker lock(&mutex);
        shown.clear();
        closed.clear();
    }
    int shownCount() {
        QMutexLocker lock(&mutex);
        return int(shown.size());
    }
    Notification last() {
        QMutexLocker lock(&mutex);
        return shown.isEmpty() ? Notification{} : shown.last();
    }
    QList<uint> closedIds() {
        QMutexLocker lock(&mutex);
        return closed;
    }
};
Record record;

}  // namespace

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public slots:
    QStringList GetCapabilities() {
        return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup"),
                QStringLiteral("persistence")};
    }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        QMutexLocker lock(&record.mutex);
        record.shown.append({app, replaces, icon, summary, body, actions, hints, timeout});
        const uint id = replaces != 0 ? replaces : ++record.lastId;
        if (!record.actOnNotify.isEmpty()) {
            QDBusMessage s =
                QDBusMessage::createSignal(kPath, kName, QStringLiteral("ActionInvoked"));
            s << id << std::exchange(record.actOnNotify, QString());
            QDBusConnection(kFakeConnection).send(s);
        }
        return id;
    }
    void CloseNotification(uint id) {
        QMutexLocker lock(&record.mutex);
        record.closed.append(id);
    }
};

class FakeService : public QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE bool start(const QString& address) {
        bus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, kFakeConnection));
        if (!bus_->isConnected()) return false;
        auto* fake = new FakeNotifications;
        fake->setParent(this);
        return bus_->registerObject(kPath, fake, QDBusConnection::ExportAllSlots);
    }
    Q_INVOKABLE bool offer(bool on) {
        return on ? bus_->registerService(kName) : bus_->unregisterService(kName);
    }
    Q_INVOKABLE bool invokeAction(uint id, const QString& action) {
        QDBusMessage s = QDBusMessage::createSignal(kPath, kName, QStringLiteral("ActionInvoked"));
        s << id << action;
        return bus_->send(s);
    }
    Q_INVOKABLE void stop() {
        bus_.reset();
        QDBusConnection::disconnectFromBus(kFakeConnection);
    }

  private:
    std::unique_ptr<QDBusConnection> bus_;
};

class TestNotifications : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void alarmWindowShowsACriticalNotificationThatStopsIt();
    void snoozeAndShowActionsAnswerTheWindow();
    void showActionReachesTheWindowWhileADialogIsOpen();
    void withoutServiceOrSettingNothingIsShown();
    void anActionBeforeTheAnswerIsNotLost();

  private:
    bool offer(bool on) {
        return fake_.invoke([&] { return fake_->offer(on); });
    }
    bool action(uint id, const char* key) {
        return fake_.invoke([&] { return fake_->invokeAction(id, QString::fromLatin1(key)); });
    }

    FakeServicesThread<FakeService> fake_;
};

void TestNotifications::initTestCase() {
    if (!qEnvironmentVariableIsSet("QUORVANE_PRIVATE_BUS"))
        QSKIP("needs the private bus of CTest's tst_notifications_dbus (dbus-run-session)");
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY(!address.isEmpty());
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    QVERIFY2(!bus.interface()->activatableServiceNames().value().contains(kName),
             "the bus would start a real notification service");
    QVERIFY(fake_.start(address));
}

void TestNotifications::cleanupTestCase() { fake_.stop(); }

void TestNotifications::init() {
    QVERIFY(offer(true));
    record.clear();
}

void TestNotifications::alarmWindowShowsACriticalNotificationThatStopsIt() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Dentist", "Call <Bob> & go");
    QPointer<frmAlarm> w = f.show(a, due);
    QVERIFY(w);
    QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 1, 10000);
    const Notification n = record.last();
    QCOMPARE(n.app, QStringLiteral("Quorvane"));
    QCOMPARE(n.summary, QStringLiteral("Dentist"));
    // The service reads markup: the message keeps its words.
    QCOMPARE(n.body, QStringLiteral("Call &lt;Bob&gt; &amp; go"));
    QCOMPARE(n.hints.value(QStringLiteral("urgency")).toInt(), 2);
    QCOMPARE(n.hints.value(QStringLiteral("resident")).toBool(), true);
    QCOMPARE(n.timeout, 0);
    QVERIFY(!n.icon.isEmpty());
    QCOMPARE(n.actions, (QStringList{"default", "Show", "snooze", "Snooze", "stop", "Stop"}));
    QVERIFY(f.actions.notifier().notifies(w));

    // "Stop" is the window's OK: after the one-second guard it closes the
    // window, and with it the notification.
    f.wait(2);
    const uint id = record.lastId;
    QVERIFY(action(id, DesktopNotifier::kStopAction));
    QTRY_VERIFY_WITH_TIMEOUT(!w || w->closing(), 10000);
    QVERIFY(!a->snoozing);
    QTRY_COMPARE_WITH_TIMEOUT(record.closedIds(), QList<uint>{id}, 10000);
    QVERIFY(!f.actions.notifier().notifies(w));

    // Closed by its own OK, the window takes its notification along too.
    auto b = f.messageAlarm("Bus");
    QPointer<frmAlarm> w2 = f.show(b, due);
    QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 2, 10000);
    const uint id2 = record.lastId;
    f.wait(2);
    w2->cmdOk->click();
    QTRY_COMPARE_WITH_TIMEOUT(record.closedIds(), (QList<uint>{id, id2}), 10000);
}

void TestNotifications::snoozeAndShowActionsAnswerTheWindow() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Tea");
    QPointer<frmAlarm> w = f.show(a, due);
    QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 1, 10000);
    const uint id = record.lastId;
    f.wait(2);

    // The notification itself brings the window up; it stays open.
    w->hide();
    QVERIFY(action(id, DesktopNotifier::kDefaultAction));
    QTRY_VERIFY_WITH_TIMEOUT(w && w->isVisible(), 10000);
    QVERIFY(!w->closing());
    QCOMPARE(record.closedIds(), QList<uint>{});

    // "Snooze" takes the window's snooze row as it stands.
    w->vnbSnoozeAmount->setValue(7);
    w->cmbSnoozeUnit->setCurrentIndex(frmAlarm::indexOfUnitCode(kMinutes));
    w->cmbSnoozeAddTo->setCurrentIndex(1);
    QVERIFY(action(id, DesktopNotifier::kSnoozeAction));
    QTRY_VERIFY_WITH_TIMEOUT(a->snoozing, 10000);
    QCOMPARE(a->nextSnoozeAlarmDate, dt(2025, 3, 29, 12, 7, 2));
    QTRY_VERIFY_WITH_TIMEOUT(!w || w->closing(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(record.closedIds(), QList<uint>{id}, 10000);

    // A read-only alarm cannot be snoozed: its notification does not offer it.
    auto r = f.messageAlarm("Fixed");
    r->readOnly = true;
    f.show(r, due);
    QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 2, 10000);
    QCOMPARE(record.last().actions, (QStringList{"default", "Show", "stop", "Stop"}));
}

void TestNotifications::showActionReachesTheWindowWhileADialogIsOpen() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    auto a = f.messageAlarm("Tea");
    QDialog dialog;
    bool ran = false;
    QTimer::singleShot(0, &dialog, [&] {
        struct Closer {
            QDialog& d;
            ~Closer() { d.reject(); }
        } closer{dialog};
        QPointer<frmAlarm> w = f.show(a, due);
        QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 1, 10000);
        const uint id = record.lastId;
        f.wait(2);
        // The dialog has the keys; the notification hands them to the window.
        dialog.activateWindow();
        QTRY_COMPARE(QGuiApplication::focusWindow(), dialog.windowHandle());
        QVERIFY(action(id, DesktopNotifier::kDefaultAction));
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), w->windowHandle(), 10000);
        QTest::keyClick(w->windowHandle(), Qt::Key_Return);
        QVERIFY(!w || w->closing());
        QVERIFY(dialog.isVisible());
        ran = true;
    });
    dialog.exec();
    QVERIFY(ran);
}

void TestNotifications::withoutServiceOrSettingNothingIsShown() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    std::vector<std::string> logged;
    f.actions.notifier().log = [&](const std::string& line) { logged.push_back(line); };

    // Switched off: the window alone.
    f.p().settings.dntf = false;
    QPointer<frmAlarm> off = f.show(f.messageAlarm("Quiet"), due);
    QVERIFY(off && off->isVisible());
    QTest::qWait(300);
    QCOMPARE(record.shownCount(), 0);

    // No service: the windows work as ever, and the log says so once.
    f.p().settings.dntf = true;
    QVERIFY(offer(false));
    QPointer<frmAlarm> w1 = f.show(f.messageAlarm("One"), due);
    QTRY_COMPARE_WITH_TIMEOUT(logged.size(), std::size_t{1}, 10000);
    QPointer<frmAlarm> w2 = f.show(f.messageAlarm("Two"), due);
    QTRY_VERIFY_WITH_TIMEOUT(!f.actions.notifier().notifies(w2), 10000);
    QCOMPARE(logged.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(logged[0]).contains(QLatin1String("ServiceUnknown")));
    QVERIFY(w1 && w1->isVisible() && w2 && w2->isVisible());
    QCOMPARE(record.shownCount(), 0);

    // A service that starts later is used for the next alarm.
    QVERIFY(offer(true));
    f.show(f.messageAlarm("Three"), due);
    QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 1, 10000);
    QCOMPARE(record.last().summary, QStringLiteral("Three"));
}

// The service's signal may come before its answer to Notify: the action waits
// for the number instead of being dropped.
void TestNotifications::anActionBeforeTheAnswerIsNotLost() {
    AlarmWindowFixture f;
    const DateTime due = dt(2025, 3, 29, 12, 0, 0);
    f.clock.set(due);
    {
        QMutexLocker lock(&record.mutex);
        record.actOnNotify = QString::fromLatin1(DesktopNotifier::kDefaultAction);
    }
    QPointer<frmAlarm> w = f.show(f.messageAlarm("Early"), due);
    QVERIFY(w);
    w->hide();
    QTRY_COMPARE_WITH_TIMEOUT(record.shownCount(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(w && w->isVisible(), 10000);
}

QTEST_MAIN(TestNotifications)
#include "tst_notifications.moc"

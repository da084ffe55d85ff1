// Session commands and the wake-up signal against fake desktop services.
//
// Runs only on a private bus (CTest's tst_qtsession_dbus starts it under
// dbus-run-session with a configuration that activates no services); the
// system bus is pointed at the same private bus so a fake logind stands in.
// The fakes live on their own connection in their own thread, as the real
// services live in other processes.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

#include "privatebus.h"
#include "ui/qtdesktop.h"
#include "ui/qtplatform.h"

using namespace qv;
using qv::test::FakeServicesThread;

namespace {

const QString kFakeConnection = QStringLiteral("qv-fake-services");
const QStringList kDesktopServices = {
    QStringLiteral("org.freedesktop.ScreenSaver"),
    QStringLiteral("org.gnome.ScreenSaver"),
    QStringLiteral("org.freedesktop.login1"),
    QStringLiteral("org.gnome.SessionManager"),
    QStringLiteral("org.kde.Shutdown"),
    QStringLiteral("org.xfce.SessionManager"),
};

// What the fakes were asked, in order; shared with the fakes' thread.
struct Calls {
    QMutex mutex;
    QStringList list;
    void add(const QString& call) {
        QMutexLocker lock(&mutex);
        list << call;
    }
    QStringList take() {
        QMutexLocker lock(&mutex);
        return std::exchange(list, {});
    }
};
Calls calls;
std::atomic<bool> gnomeSessionRefuses{false};
std::atomic<bool> commonScreenSaverDeclines{false};
std::atomic<bool> noSessionForPid{false};

QString yesNo(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

class FdoScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public slots:
    bool SetActive(bool on) {
        calls.add("org.freedesktop.ScreenSaver.SetActive " + yesNo(on));
        return !commonScreenSaverDeclines;
    }
};

class GnomeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.ScreenSaver")
  public slots:
    void SetActive(bool on) { calls.add("org.gnome.ScreenSaver.SetActive " + yesNo(on)); }
};

class Login1Manager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public slots:
    void PowerOff(bool interactive) { calls.add("login1.PowerOff " + yesNo(interactive)); }
    void Reboot(bool interactive) { calls.add("login1.Reboot " + yesNo(interactive)); }
    void TerminateSession(const QString& id) { calls.add("login1.TerminateSession " + id); }
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        calls.add("login1.Inhibit " + what + " " + who + " " + mode +
                  (why.isEmpty() ? "" : " +why"));
        // The inhibitor lasts while the caller holds the descriptor: a pipe's end.
        int fds[2];
        if (::pipe(fds) != 0) return {};
        QDBusUnixFileDescriptor fd(fds[1]);
        ::close(fds[0]);
        ::close(fds[1]);
        return fd;
    }
    QDBusObjectPath GetSessionByPID(uint pid) {
        if (noSessionForPid) {
            sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSessionForPID"),
                           QStringLiteral("no session"));
            return {};
        }
        calls.add("login1.GetSessionByPID " + QString::number(pid));
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/login1/session/c7"));
    }
};

class Login1Session : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(QString Id READ id)
  public:
    QString id() const { return QStringLiteral("c7"); }
};

class GnomeSessionManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")
  public slots:
    void Logout(uint mode) {
        calls.add("org.gnome.SessionManager.Logout " + QString::number(mode));
        if (gnomeSessionRefuses) {
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                           QStringLiteral("inhibited"));
        }
    }
};

class KdeShutdown : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.Shutdown")
  public slots:
    void logout() { calls.add(QStringLiteral("org.kde.Shutdown.logout")); }
};

class XfceSessionManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.xfce.Session.Manager")
  public slots:
    void Logout(bool showDialog, bool allowSave) {
        calls.add("org.xfce.Session.Manager.Logout " + yesNo(showDialog) + " " + yesNo(allowSave));
    }
};

// Lives in the fakes' thread; every call comes in through invoke().
class FakeServices : public QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE bool start(const QString& address) {
        bus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, kFakeConnection));
        if (!bus_->isConnected()) return false;
        const auto flags = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;
        bool ok = true;
        auto add = [&](const char* path, QObject* object) {
            object->setParent(this);
            ok = ok && bus_->registerObject(QString::fromLatin1(path), object, flags);
        };
        add("/org/freedesktop/ScreenSaver", new FdoScreenSaver);
        add("/org/gnome/ScreenSaver", new GnomeScreenSaver);
        add("/org/freedesktop/login1", new Login1Manager);
        add("/org/freedesktop/login1/session/c7", new Login1Session);
        add("/org/gnome/SessionManager", new GnomeSessionManager);
        add("/Shutdown", new KdeShutdown);
        add("/org/xfce/SessionManager", new XfceSessionManager);
        return ok;
    }
    // Exactly these services are present afterwards.
    Q_INVOKABLE bool offerOnly(const QStringList& services) {
        for (const QString& name : std::as_const(offered_)) bus_->unregisterService(name);
        offered_.clear();
        for (const QString& name : services) {
            if (!bus_->registerService(name)) return false;
            offered_ << name;
        }
        return true;
    }
    Q_INVOKABLE bool prepareForSleep(bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        return bus_->send(signal);
    }
    Q_INVOKABLE void stop() {
        bus_.reset();
        QDBusConnection::disconnectFromBus(kFakeConnection);
    }

  private:
    std::unique_ptr<QDBusConnection> bus_;
    QStringList offered_;
};

class TestQtSession : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void screenSaverFallsBackToGnome();
    void screenSaverPrefersTheCommonService();
    void screenSaverLastResortIsXdgScreensaver();
    void powerOffAndRebootGoToLogind();
    void logOffAsksTheSessionManagersInTurn_data();
    void logOffAsksTheSessionManagersInTurn();
    void logOffEndsTheOwnLoginSessionWithoutAManager();
    void refusedLogOffIsNotForced();
    void wakingUpIsReported();
    void sleepWaitsForTheStateToBeRecorded();

  private:
    template <typename F>
    auto invoke(F f) {
        return fakes_.invoke(f);
    }
    bool offerOnly(const QStringList& services) {
        return invoke([&] { return fakes_->offerOnly(services); });
    }

    FakeServicesThread<FakeServices> fakes_;
};

void TestQtSession::initTestCase() {
    if (!qEnvironmentVariableIsSet("QUORVANE_PRIVATE_BUS")) {
        QSKIP("needs the private bus of CTest's tst_qtsession_dbus (dbus-run-session)");
    }
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY2(!address.isEmpty(), "no session bus: dbus-run-session did not start one");
    // Before the first use of the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);

    // Session commands must never reach a real desktop or a real logind.
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    for (const QString& name : bus.interface()->registeredServiceNames().value()) {
        QVERIFY2(name.startsWith(QLatin1Char(':')) || name == QLatin1String("org.freedesktop.DBus"),
                 qPrintable("the bus is not private: " + name));
    }
    const QStringList activatable = bus.interface()->activatableServiceNames().value();
    for (const QString& name : kDesktopServices) {
        QVERIFY2(!activatable.contains(name), qPrintable("the bus would start a real " + name));
    }

    QVERIFY(fakes_.start(address));
}

void TestQtSession::cleanupTestCase() { fakes_.stop(); }

void TestQtSession::init() {
    gnomeSessionRefuses = false;
    commonScreenSaverDeclines = false;
    noSessionForPid = false;
    calls.take();
}

void TestQtSession::screenSaverFallsBackToGnome() {
    QVERIFY(offerOnly({QStringLiteral("org.gnome.ScreenSaver")}));
    QtSession().startScreenSaver();
    QCOMPARE(calls.take(), QStringList{QStringLiteral("org.gnome.ScreenSaver.SetActive true")});
}

void TestQtSession::screenSaverPrefersTheCommonService() {
    QVERIFY(offerOnly(
        {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver")}));
    QtSession().startScreenSaver();
    QCOMPARE(calls.take(),
             QStringList{QStringLiteral("org.freedesktop.ScreenSaver.SetActive true")});

    // It may answer that it did not start the screen saver: then the next one.
    commonScreenSaverDeclines = true;
    QtSession().startScreenSaver();
    QCOMPARE(calls.take(),
             (QStringList{QStringLiteral("org.freedesktop.ScreenSaver.SetActive true"),
                          QStringLiteral("org.gnome.ScreenSaver.SetActive true")}));
}

void TestQtSession::screenSaverLastResortIsXdgScreensaver() {
    QVERIFY(offerOnly({}));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString marker = dir.filePath(QStringLiteral("marker"));
    const QString script = dir.filePath(QStringLiteral("xdg-screensaver"));
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$@\" > '" + marker.toUtf8() + ".tmp'\nmv '" + marker.toUtf8() +
                ".tmp' '" + marker.toUtf8() + "'\n");
        f.close();
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
    }
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8() + ':' + savedPath);
    QtSession().startScreenSaver();
    qputenv("PATH", savedPath);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
    QFile f(marker);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().trimmed(), QByteArray("activate"));
    QVERIFY(calls.take().isEmpty());
}

void TestQtSession::powerOffAndRebootGoToLogind() {
    QVERIFY(offerOnly({QStringLiteral("org.freedesktop.login1")}));
    QtSession session;
    session.powerOff();
    QCOMPARE(calls.take(), QStringList{QStringLiteral("login1.PowerOff false")});
    session.reboot();
    QCOMPARE(calls.take(), QStringList{QStringLiteral("login1.Reboot false")});

    // Without logind nothing happens, and nothing hangs or crashes.
    QVERIFY(offerOnly({}));
    std::vector<std::string> logged;
    session.log = [&](const std::string& line) { logged.push_back(line); };
    session.powerOff();
    QVERIFY(calls.take().isEmpty());
    QCOMPARE(logged.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(logged[0]).contains(QLatin1String("ServiceUnknown")));
}

void TestQtSession::logOffAsksTheSessionManagersInTurn_data() {
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("expected");
    const QString gnome = QStringLiteral("org.gnome.SessionManager");
    const QString kde = QStringLiteral("org.kde.Shutdown");
    const QString xfce = QStringLiteral("org.xfce.SessionManager");
    const QString login1 = QStringLiteral("org.freedesktop.login1");
    QTest::newRow("GNOME first") << QStringList{gnome, kde, xfce, login1}
                                 << "org.gnome.SessionManager.Logout 1";
    QTest::newRow("then KDE") << QStringList{kde, xfce, login1} << "org.kde.Shutdown.logout";
    QTest::newRow("then Xfce") << QStringList{xfce, login1}
                               << "org.xfce.Session.Manager.Logout false false";
}

void TestQtSession::logOffAsksTheSessionManagersInTurn() {
    QFETCH(QStringList, offered);
    QFETCH(QString, expected);
    QVERIFY(offerOnly(offered));
    QtSession().logOff();
    QCOMPARE(calls.take(), QStringList{expected});
}

void TestQtSession::logOffEndsTheOwnLoginSessionWithoutAManager() {
    QVERIFY(offerOnly({QStringLiteral("org.freedesktop.login1")}));
    const QByteArray savedId = qgetenv("XDG_SESSION_ID");
    qputenv("XDG_SESSION_ID", "42");
    QtSession().logOff();
    // The session of this process, asked from logind, wins over an inherited variable.
    QCOMPARE(calls.take(), (QStringList{"login1.GetSessionByPID " +
                                            QString::number(QCoreApplication::applicationPid()),
                                        QStringLiteral("login1.TerminateSession c7")}));

    noSessionForPid = true;
    QtSession().logOff();
    QCOMPARE(calls.take(), QStringList{QStringLiteral("login1.TerminateSession 42")});

    qunsetenv("XDG_SESSION_ID");
    QtSession().logOff();
    QVERIFY(calls.take().isEmpty());
    if (!savedId.isNull()) qputenv("XDG_SESSION_ID", savedId);
}

void TestQtSession::refusedLogOffIsNotForced() {
    gnomeSessionRefuses = true;
    QVERIFY(offerOnly(
        {QStringLiteral("org.gnome.SessionManager"), QStringLiteral("org.freedesktop.login1")}));
    QtSession().logOff();
    QCOMPARE(calls.take(), QStringList{QStringLiteral("org.gnome.SessionManager.Logout 1")});
}

void TestQtSession::wakingUpIsReported() {
    QVERIFY(offerOnly({QStringLiteral("org.freedesktop.login1")}));
    SystemEvents events;
    QSignalSpy resumed(&events, &SystemEvents::resumed);
    // A round trip on the listening connection: its match rule is in place.
    QVERIFY(QDBusConnection::systemBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.login1")));
    QVERIFY(invoke([&] { return fakes_->prepareForSleep(true); }));
    QVERIFY(invoke([&] { return fakes_->prepareForSleep(false); }));
    QTRY_COMPARE_WITH_TIMEOUT(resumed.count(), 1, 20000);
    // Going to sleep is not waking up.
    QTest::qWait(200);
    QCOMPARE(resumed.count(), 1);
}

void TestQtSession::sleepWaitsForTheStateToBeRecorded() {
    {
        QVERIFY(offerOnly({}));
        SleepInhibitor absent;
        QVERIFY(!absent.take());
        QVERIFY(!absent.held());
    }

    QVERIFY(offerOnly({QStringLiteral("org.freedesktop.login1")}));
    SleepInhibitor inhibitor;
    int recorded = 0;
    inhibitor.beforeSleep = [&] {
        // Still held while the state is written.
        QVERIFY(inhibitor.held());
        ++recorded;
    };
    QVERIFY(inhibitor.take());
    QVERIFY(inhibitor.held());
    QCOMPARE(calls.take(), QStringList{QStringLiteral("login1.Inhibit sleep Quorvane delay +why")});

    // Going to sleep: recorded, then let go; awake again: taken again.
    QVERIFY(invoke([&] { return fakes_->prepareForSleep(true); }));
    QTRY_COMPARE_WITH_TIMEOUT(recorded, 1, 20000);
    QVERIFY(!inhibitor.held());
    QVERIFY(invoke([&] { return fakes_->prepareForSleep(false); }));
    QTRY_VERIFY_WITH_TIMEOUT(inhibitor.held(), 20000);
    QCOMPARE(recorded, 1);
    QCOMPARE(calls.take(), QStringList{QStringLiteral("login1.Inhibit sleep Quorvane delay +why")});
}

QTEST_MAIN(TestQtSession)
#include "tst_qtsession.moc"

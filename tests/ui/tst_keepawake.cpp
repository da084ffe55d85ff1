// The shipped "Keep awake" plug-in through the real host, against a fake
// logind and a fake screen saver on a private bus (CTest's tst_keepawake_dbus;
// the system bus is pointed at the same private bus).

#include <fcntl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QMenu>
#include <QMutex>
#include <QtTest>

#include "plugins/hostfixture.h"
#include "privatebus.h"
#include "ui/pluginmenus.h"

using namespace qv;
using namespace qv::test;

namespace {

const QString kId = QStringLiteral("QuorvaneKeepAwake*KeepAwake");
const QString kConnection = QStringLiteral("qv-fake-keepawake");

QMutex mutex;
QStringList calls;
int lockReadEnd = -1;  // the other end of the descriptor logind handed out

void record(const QString& call) {
    QMutexLocker lock(&mutex);
    calls << call;
}
QStringList takeCalls() {
    QMutexLocker lock(&mutex);
    return std::exchange(calls, {});
}

// 1: the descriptor is still held open; 0: closed; -1: nothing was handed out.
int lockHeld() {
    if (lockReadEnd < 0) return -1;
    char c;
    const ssize_t n = read(lockReadEnd, &c, 1);
    if (n == 0) {
        close(lockReadEnd);
        lockReadEnd = -1;
        return 0;
    }
    return n < 0 && errno == EAGAIN ? 1 : -1;
}

}  // namespace

class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString&,
                                    const QString& mode) {
        record("Inhibit " + what + " " + who + " " + mode);
        int ends[2];
        if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return {};
        if (lockReadEnd >= 0) close(lockReadEnd);
        lockReadEnd = ends[0];
        QDBusUnixFileDescriptor fd(ends[1]);  // a copy goes to the caller
        close(ends[1]);
        return fd;
    }
};

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public slots:
    uint Inhibit(const QString& who, const QString&) {
        record("ScreenSaver.Inhibit " + who);
        return 42;
    }
    void UnInhibit(uint cookie) { record("ScreenSaver.UnInhibit " + QString::number(cookie)); }
};

class Services : public QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE bool start(const QString& address) {
        bus_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, kConnection));
        auto* logind = new FakeLogind;
        auto* saver = new FakeScreenSaver;
        logind->setParent(this);
        saver->setParent(this);
        return bus_->isConnected() &&
               bus_->registerObject(QStringLiteral("/org/freedesktop/login1"), logind,
                                    QDBusConnection::ExportAllSlots) &&
               bus_->registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), saver,
                                    QDBusConnection::ExportAllSlots);
    }
    Q_INVOKABLE bool offer(bool logind) {
        bus_->unregisterService(QStringLiteral("org.freedesktop.login1"));
        bus_->unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        return (!logind || bus_->registerService(QStringLiteral("org.freedesktop.login1"))) &&
               bus_->registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }
    Q_INVOKABLE void stop() {
        bus_.reset();
        QDBusConnection::disconnectFromBus(kConnection);
    }

  private:
    std::unique_ptr<QDBusConnection> bus_;
};

class TestKeepAwake : public QObject {
    Q_OBJECT

    bool offer(bool logind) {
        return services_.invoke([&] { return services_->offer(logind); });
    }
    static std::unique_ptr<HostFixture> fixture() {
        auto f = std::make_unique<HostFixture>(std::vector<std::string>{
            "bin:QuorvaneKeepAwake.so", "bin:QuorvaneKeepAwake_English.lng"});
        f->host.loadPlugins();
        return f;
    }
    static std::string call(HostFixture& f, const char* method) {
        return f.host.methodCall(kId.toStdString(), method, f.host.lang(), false);
    }

  private slots:
    void initTestCase() {
        if (!qEnvironmentVariableIsSet("QUORVANE_PRIVATE_BUS"))
            QSKIP("needs the private bus of CTest's tst_keepawake_dbus (dbus-run-session)");
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        for (const QString& name :
             QDBusConnection::sessionBus().interface()->registeredServiceNames().value()) {
            QVERIFY2(
                name.startsWith(QLatin1Char(':')) || name == QLatin1String("org.freedesktop.DBus"),
                qPrintable("the bus is not private: " + name));
        }
        QVERIFY(services_.start(address));
    }
    void cleanupTestCase() { services_.stop(); }

    // Saved running with "keep the screen on": both locks are taken at start,
    // the settings and the running state are saved again, Quit lets both go.
    void startsFromTheSavedStateAndLetsGoOnQuit() {
        QVERIFY(offer(true));
        auto f = fixture();
        takeCalls();
        auto acpl = XMLNode::createFromXML("<acpl><plst><plin>" + kId.toStdString() +
                                           "</plin><sett><scr>1</scr></sett></plst><plin>" +
                                           kId.toStdString() + "</plin></acpl>");
        QVERIFY(acpl);
        QVERIFY(PlugInMenus::startPlugIns(f->p(), *acpl));
        QCOMPARE(takeCalls(), (QStringList{"Inhibit sleep:idle Quorvane block",
                                           "ScreenSaver.Inhibit Quorvane"}));
        QCOMPARE(lockHeld(), 1);

        const XMLNodePtr saved = PlugInMenus::activePlugIns(f->p());
        QCOMPARE(saved->getString("plin"), kId.toStdString());
        const XMLNodePtr entry = saved->getNode("plst");
        QVERIFY(entry);
        QCOMPARE(entry->getString("plin"), kId.toStdString());
        QCOMPARE(entry->getNode("sett")->getString("scr"), std::string("1"));

        QVERIFY(call(*f, "Quit").find("success") != std::string::npos);
        QCOMPARE(takeCalls(), QStringList{"ScreenSaver.UnInhibit 42"});
        QCOMPARE(lockHeld(), 0);
        QVERIFY(call(*f, "GetStatus").find("<active>0</active>") != std::string::npos);
        QCOMPARE(PlugInMenus::activePlugIns(f->p())->getNodeIndex("plin"), -1);
    }

    // Without logind nothing is held and the start is reported as failed,
    // with the reason in the plug-in's own words.
    void withoutLogindItDoesNotStart() {
        QVERIFY(offer(false));
        auto f = fixture();
        auto acpl = XMLNode::createFromXML("<acpl><plin>" + kId.toStdString() + "</plin></acpl>");
        QVERIFY(!PlugInMenus::startPlugIns(f->p(), *acpl));
        // From the menu: the mark stays off and the user reads why.
        QMenu importMenu, exportMenu, generalMenu;
        PlugInMenus menus(f->p(), &importMenu, &exportMenu, &generalMenu);
        QMetaObject::invokeMethod(&generalMenu, "aboutToShow");
        QCOMPARE(generalMenu.actions().size(), 1);
        QAction* item = generalMenu.actions().front();
        QCOMPARE(item->text(), QStringLiteral("Keep the computer awake"));
        item->trigger();
        QVERIFY(!item->isChecked());
        QCOMPARE(f->ui.boxes.size(), std::size_t{1});
        QVERIFY(f->ui.boxes[0].text.find("The computer cannot be kept awake") == 0);
        QVERIFY(call(*f, "GetStatus").find("<active>0</active>") != std::string::npos);
        QVERIFY(!takeCalls().contains("ScreenSaver.Inhibit Quorvane"));
    }

    // The settings control, as a dialog holds it: settings in, a click, settings out.
    void settingsControlRoundTrip() {
        auto f = fixture();
        std::unique_ptr<QObject> object(
            f->host.createObject("QuorvaneKeepAwake", "KeepAwakeSettingsControl"));
        auto* control = qobject_cast<QWidget*>(object.get());
        QVERIFY(control);
        const std::string id = kId.toStdString();
        f->host.plugInMethodCall(
            control, f->host.controlRequest(id, "SetSettings",
                                            XMLNode::createFromXML("<sett><scr>1</scr></sett>")));
        auto* box = control->findChild<QCheckBox*>(QStringLiteral("chkScreen"));
        QVERIFY(box && box->isChecked());
        QCOMPARE(box->text(), QStringLiteral("Also keep the screen on (no screen saver)"));
        control->show();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        const std::string answer =
            f->host.plugInMethodCall(control, f->host.controlRequest(id, "GetSettings", nullptr));
        QVERIFY2(answer.find("<scr>0</scr>") != std::string::npos, answer.c_str());
    }

  private:
    FakeServicesThread<Services> services_;
};

QTEST_MAIN(TestKeepAwake)
#include "tst_keepawake.moc"

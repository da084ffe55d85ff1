// The Linux side of waking for alarms and of the shared alarm folder, on the
// real system: the wake timer against the process's real capabilities, and the
// folder watcher against files this test changes.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "presentation/qtstrings.h"
#include "ui/qtdesktop.h"

using namespace qv;

namespace {

// CAP_WAKE_ALARM (35) in the effective set, as the kernel reports it.
bool capabilityFromProc() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("CapEff:")) continue;
        bool ok = false;
        const qulonglong bits = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (bits & (1ull << 35)) != 0;
    }
    return false;
}

bool write(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT

  private slots:
    void wakeTimerFollowsTheRealCapability() {
        const bool capable = capabilityFromProc();
        QCOMPARE(LinuxWakeTimer::hasWakeCapability(), capable);
        const bool clock = QDir(QStringLiteral("/sys/class/rtc"))
                                   .entryList({QStringLiteral("rtc*")}, QDir::Dirs)
                                   .size() > 0 &&
                           LinuxWakeTimer::hasWakeClock();
        LinuxWakeTimer timer;
        const DateTime inAnHour(fromQDateTime(QDateTime::currentDateTime()).seconds() + 3600);
        if (capable) {
            QCOMPARE(LinuxWakeTimer::availability(),
                     clock ? LinuxWakeTimer::Availability::kAvailable
                           : LinuxWakeTimer::Availability::kNotSupported);
            QCOMPARE(timer.unavailableReason().empty(), clock);
            QVERIFY(timer.arm(inAnHour));
            timer.disarm();
        } else {
            QCOMPARE(LinuxWakeTimer::availability(), LinuxWakeTimer::Availability::kNoCapability);
            QVERIFY(QString::fromStdString(timer.unavailableReason())
                        .contains(QLatin1String("CAP_WAKE_ALARM")));
            QVERIFY(!timer.arm(inAnHour));
            timer.disarm();  // harmless without a timer
        }

        // A process without the capability (dropped here, in a child) is told so.
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
            int result = 1;
            if (::syscall(SYS_capget, &header, data) == 0) {
                data[CAP_WAKE_ALARM / 32].effective &= ~(1u << (CAP_WAKE_ALARM % 32));
                if (::syscall(SYS_capset, &header, data) == 0 && !capabilityFromProc() &&
                    !LinuxWakeTimer::hasWakeCapability() &&
                    LinuxWakeTimer::availability() == LinuxWakeTimer::Availability::kNoCapability &&
                    !LinuxWakeTimer().arm(inAnHour))
                    result = 0;
            }
            ::_exit(result);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void folderWatcherReportsChangesOnceABurst() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("usg_0.agx"));
        QVERIFY(write(file, "<algr/>"));
        QtFolderWatcher watcher;
        int calls = 0;
        watcher.changed = [&] { ++calls; };
        watcher.watch(qv::ss(dir.path()));

        // Written in place (only the file's own watch sees that).
        QVERIFY(write(file, "<algr><name>A</name></algr>"));
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
        // Replaced by a rename, as synchronisation services and our own saves do,
        // and then written in place again: the new file is watched too.
        const QString temp = dir.filePath(QStringLiteral(".usg_0.agx.part"));
        QVERIFY(write(temp, "<algr><name>B</name></algr>"));
        QVERIFY(::rename(QFile::encodeName(temp).constData(),
                         QFile::encodeName(file).constData()) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 2, 5000);
        QVERIFY(write(file, "<algr><name>C</name></algr>"));
        QTRY_COMPARE_WITH_TIMEOUT(calls, 3, 5000);
        // Several changes at once are one look.
        QVERIFY(write(dir.filePath(QStringLiteral("usg_1.agx")), "<algr/>"));
        QVERIFY(write(dir.filePath(QStringLiteral("usg_2.agx")), "<algr/>"));
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("usg_1.agx"))));
        QTRY_COMPARE_WITH_TIMEOUT(calls, 4, 5000);
        QTest::qWait(QtFolderWatcher::kSettleMs * 2);
        QCOMPARE(calls, 4);

        // Asked to look again later.
        watcher.recheckIn(50);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 5, 5000);

        // While a modal dialog is open (it may be editing the very group), the
        // look waits until it is closed.
        QDialog dialog;
        int callsWhileOpen = -1;
        QTimer::singleShot(0, &dialog, [&] {
            if (write(file, "<algr><name>Modal</name></algr>"))
                QTest::qWait(QtFolderWatcher::kSettleMs * 3);
            callsWhileOpen = calls;
            dialog.accept();
        });
        dialog.exec();
        QCOMPARE(callsWhileOpen, 5);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 6, 5000);

        // Watching nothing: quiet.
        watcher.watch(std::string());
        QVERIFY(write(file, "<algr><name>D</name></algr>"));
        watcher.recheckIn(10);
        QTest::qWait(QtFolderWatcher::kSettleMs * 2);
        QCOMPARE(calls, 6);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"

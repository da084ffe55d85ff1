// quorvane-add: sets an alarm from the command line (see app/quickadd.h).

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QLockFile>
#include <QThread>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/quickadd.h"
#include "base/folders.h"

namespace {

constexpr const char* kService = "org.quorvane.Quorvane";
constexpr const char* kPath = "/Alarms";
constexpr const char* kInterface = "org.quorvane.Quorvane";

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

qv::HandOver handToProgram(const qv::AddArguments& a) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return {};
    const QDBusReply<bool> there =
        bus.interface()->isServiceRegistered(QString::fromLatin1(kService));
    if (!there.isValid() || !there.value()) return {};
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("AddAlarm"));
    call << qs(a.when) << qs(a.every) << qs(a.weekdays) << qs(a.message) << qs(a.group);
    const QDBusMessage reply = bus.call(call);
    qv::HandOver h;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
        h.result = qv::HandOver::kAdded;
        h.first = reply.arguments().constFirst().toString().toStdString();
        return h;
    }
    const QString name = reply.errorName();
    // Gone between the look and the call: as if it had never run.
    if (name == QDBusError::errorString(QDBusError::ServiceUnknown) ||
        name == QDBusError::errorString(QDBusError::UnknownObject))
        return {};
    h.result = name == QDBusError::errorString(QDBusError::InvalidArgs) ? qv::HandOver::kRefused
                                                                        : qv::HandOver::kFailed;
    h.error = (reply.errorMessage().isEmpty() ? name : reply.errorMessage()).toStdString();
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::error_code ec;
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    qv::AddEnvironment env;
    env.folders = qv::Folders::detect(exe, qv::Folders::installedShareDir(exe),
                                      qv::Folders::dataHomeFromEnvironment());
    env.now = [] { return qv::currentLocalTime(); };
    env.handToProgram = handToProgram;
    env.pause = [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); };
    // The running program's own lock: while it is held here the program
    // cannot start, and a program that runs holds it.
    std::unique_ptr<QLockFile> lock;
    env.lockProgramFolder = [&] {
        if (env.folders.programFolder.empty()) return 2;
        lock = std::make_unique<QLockFile>(
            QDir(qs(env.folders.programFolder)).filePath(QStringLiteral("quorvane.lock")));
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) return 0;
        return lock->error() == QLockFile::LockFailedError ? 1 : 2;
    };
    env.unlockProgramFolder = [&] {
        if (lock) lock->unlock();
    };
    const std::vector<std::string> args(argv + 1, argv + argc);
    return qv::runAdd(args, env, std::cout, std::cerr);
}

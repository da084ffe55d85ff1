#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <memory>

#include "presentation/qtstrings.h"
#include "ui/qtplatform.h"

namespace qv {

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
// A knocking instance says no more than this; anything longer is not ours.
constexpr qint64 kMaxRequest = 64;
constexpr int kKnockWaitMs = 3000;

QString lockPath(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("quorvane.lock"));
}

}  // namespace

QtSingleInstance::QtSingleInstance(const QString& programFolder, QObject* parent)
    : QObject(parent), folder_(programFolder), lock_(lockPath(programFolder)) {
    // Only a dead owner makes the lock stale, never its age: the program runs for weeks.
    lock_.setStaleLockTime(0);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &QtSingleInstance::onNewConnection);
}

QtSingleInstance::~QtSingleInstance() {
    server_.close();
    if (lock_.isLocked()) lock_.unlock();
}

QString QtSingleInstance::serverName(const QString& programFolder) {
    // The folder may be long or hold any character; the user id keeps two
    // users of one portable copy apart (the sockets share one temp folder).
    const QString folder = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
    const QByteArray key = folder.toUtf8() + '\n' + QByteArray::number(::getuid());
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("quorvane-") + QString::fromLatin1(hash.left(24));
}

void QtSingleInstance::note(const std::string& text) const {
    if (log) log(text);
}

bool QtSingleInstance::acquire() {
    if (lock_.isLocked()) return true;
    const QString name = serverName(folder_);
    if (lock_.tryLock(0)) {
        // Like every file of the program folder: the user's alone.
        QFile::setPermissions(lockPath(folder_), QFile::ReadOwner | QFile::WriteOwner);
        // A crashed run leaves its socket file behind; the lock proves it is ours now.
        QLocalServer::removeServer(name);
        if (!server_.listen(name)) {
            note("SingleInstance: cannot listen on " + ss(name) + ": " + ss(server_.errorString()));
        }
        return true;
    }
    if (lock_.error() != QLockFile::LockFailedError) {
        // The folder cannot hold a lock (read-only, full): one instance
        // cannot be guaranteed, but refusing to start would be worse.
        note("SingleInstance: no lock file in " + ss(folder_) + "; running without one");
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(kKnockWaitMs)) {
        socket.write(kShowRequest);
        socket.waitForBytesWritten(kKnockWaitMs);
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(kKnockWaitMs);
    } else {
        note("SingleInstance: the running instance does not answer: " + ss(socket.errorString()));
    }
    return false;
}

void QtSingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto seen = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, seen] {
            // The request may come in pieces; only a whole "show" line counts.
            *seen += socket->read(kMaxRequest - seen->size());
            if (!seen->contains('\n') && seen->size() < kMaxRequest) return;
            const bool show = seen->startsWith(kShowRequest);
            seen->clear();
            socket->disconnectFromServer();
            if (show) emit showRequested();
        });
    }
}

}  // namespace qv

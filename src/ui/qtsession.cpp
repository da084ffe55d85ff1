#include <unistd.h>

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QVariant>
#include <functional>
#include <vector>

#include "presentation/qtstrings.h"
#include "ui/qtplatform.h"

namespace qv {

namespace {

const QString kLogin1 = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
const QString kLogin1Manager = QStringLiteral("org.freedesktop.login1.Manager");

struct Call {
    bool systemBus;
    QString service;
    QString path;
    QString interface;
    QString method;
    QVariantList arguments;
};

// The error names that say "this desktop does not offer that": try the next one.
bool notOffered(const QString& errorName) {
    static const QStringList names = {
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
    };
    return names.contains(errorName);
}

// One blocking call with its own timeout: never the default 25 s, and no
// nested event loop that could run the supervision in the middle of a command.
QDBusMessage callOnce(const Call& c, int timeoutMs) {
    QDBusConnection bus =
        c.systemBus ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
                                         QStringLiteral("no bus"));
    }
    QDBusMessage message = QDBusMessage::createMethodCall(c.service, c.path, c.interface, c.method);
    message.setArguments(c.arguments);
    return bus.call(message, QDBus::Block, timeoutMs);
}

enum class Outcome { Answered, Refused, NoneOffered };

// Calls each in turn until one answers, or one that is there fails.
Outcome callFirstOffered(const std::vector<Call>& calls, int timeoutMs,
                         const std::function<void(const std::string&)>& log) {
    for (const Call& c : calls) {
        const QDBusMessage reply = callOnce(c, timeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage) return Outcome::Answered;
        if (log) {
            log("Session: " + ss(c.service) + " " + ss(c.method) + ": " + ss(reply.errorName()) +
                " " + ss(reply.errorMessage()));
        }
        if (!notOffered(reply.errorName())) return Outcome::Refused;
    }
    return Outcome::NoneOffered;
}

Call login1(const QString& method, QVariantList arguments = {}) {
    return {true, kLogin1, kLogin1Path, kLogin1Manager, method, std::move(arguments)};
}

}  // namespace

void QtSession::startScreenSaver() {
    // Whatever stopped one service, the next may still work: try them all.
    const std::vector<Call> calls = {
        {false,
         QStringLiteral("org.freedesktop.ScreenSaver"),
         QStringLiteral("/org/freedesktop/ScreenSaver"),
         QStringLiteral("org.freedesktop.ScreenSaver"),
         QStringLiteral("SetActive"),
         {true}},
        {false,
         QStringLiteral("org.gnome.ScreenSaver"),
         QStringLiteral("/org/gnome/ScreenSaver"),
         QStringLiteral("org.gnome.ScreenSaver"),
         QStringLiteral("SetActive"),
         {true}},
    };
    for (const Call& c : calls) {
        const QDBusMessage reply = callOnce(c, callTimeoutMs);
        // The common service answers whether it did start the screen saver.
        const bool declined = reply.type() == QDBusMessage::ReplyMessage &&
                              !reply.arguments().isEmpty() &&
                              reply.arguments().first().typeId() == QMetaType::Bool &&
                              !reply.arguments().first().toBool();
        if (reply.type() == QDBusMessage::ReplyMessage && !declined) return;
        if (log) {
            log("Session: " + ss(c.service) +
                " SetActive: " + (declined ? std::string("declined") : ss(reply.errorName())));
        }
    }
    if (!QProcess::startDetached(QStringLiteral("xdg-screensaver"), {QStringLiteral("activate")})) {
        if (log) log("Session: xdg-screensaver cannot be started");
    }
}

bool QtSession::powerOff() {
    return callFirstOffered({login1(QStringLiteral("PowerOff"), {false})}, callTimeoutMs, log) ==
           Outcome::Answered;
}

bool QtSession::reboot() {
    return callFirstOffered({login1(QStringLiteral("Reboot"), {false})}, callTimeoutMs, log) ==
           Outcome::Answered;
}

bool QtSession::logOff() {
    const std::vector<Call> managers = {
        {false,
         QStringLiteral("org.gnome.SessionManager"),
         QStringLiteral("/org/gnome/SessionManager"),
         QStringLiteral("org.gnome.SessionManager"),
         QStringLiteral("Logout"),
         {QVariant::fromValue(1u)}},
        {false,
         QStringLiteral("org.kde.Shutdown"),
         QStringLiteral("/Shutdown"),
         QStringLiteral("org.kde.Shutdown"),
         QStringLiteral("logout"),
         {}},
        {false,
         QStringLiteral("org.xfce.SessionManager"),
         QStringLiteral("/org/xfce/SessionManager"),
         QStringLiteral("org.xfce.Session.Manager"),
         QStringLiteral("Logout"),
         {false, false}},
    };
    // A session manager that is there but refused (or is still busy logging
    // out) must not be overtaken by ending the session hard.
    const Outcome byManager = callFirstOffered(managers, callTimeoutMs, log);
    if (byManager != Outcome::NoneOffered) return byManager == Outcome::Answered;

    // No session manager: end the own login session through logind.
    QString id;
    const QDBusMessage byPid =
        callOnce(login1(QStringLiteral("GetSessionByPID"),
                        {QVariant::fromValue(static_cast<uint>(::getpid()))}),
                 callTimeoutMs);
    if (byPid.type() == QDBusMessage::ReplyMessage && !byPid.arguments().isEmpty()) {
        const QString path = byPid.arguments().first().value<QDBusObjectPath>().path();
        if (!path.isEmpty()) {
            const QDBusMessage property =
                callOnce({true,
                          kLogin1,
                          path,
                          QStringLiteral("org.freedesktop.DBus.Properties"),
                          QStringLiteral("Get"),
                          {QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Id")}},
                         callTimeoutMs);
            if (property.type() == QDBusMessage::ReplyMessage && !property.arguments().isEmpty()) {
                id = property.arguments().first().value<QDBusVariant>().variant().toString();
            }
        }
    }
    if (id.isEmpty()) id = qEnvironmentVariable("XDG_SESSION_ID");
    if (id.isEmpty()) {
        if (log) log("Session: no session manager and no login session to end");
        return false;
    }
    return callFirstOffered({login1(QStringLiteral("TerminateSession"), {id})}, callTimeoutMs,
                            log) == Outcome::Answered;
}

}  // namespace qv

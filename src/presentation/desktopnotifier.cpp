#include "presentation/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVariantMap>
#include <algorithm>

#include "presentation/bringtofront.h"
#include "presentation/frmalarm.h"
#include "presentation/qtstrings.h"

namespace qv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
constexpr uchar kCriticalUrgency = 2;
// Never expire: an alarm stays until it is answered.
constexpr int kNoTimeout = 0;

QDBusMessage call(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    m.setArguments(arguments);
    return m;
}

// Servers with body markup read the body as a small subset of HTML: a message
// such as "Call <Bob>" would lose its words without this.
QString escaped(const QString& text) { return text.toHtmlEscaped(); }

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

DesktopNotifier::~DesktopNotifier() {
    // Notifications of windows still open must not outlive the program.
    for (const Entry& e : entries_)
        if (e.id != 0) close(e.id);
}

DesktopNotifier::Entries::iterator DesktopNotifier::find(const frmAlarm* window) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->key == window && !it->withdrawn) return it;
    return entries_.end();
}

DesktopNotifier::Entries::iterator DesktopNotifier::findId(uint id) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (id != 0 && it->id == id) return it;
    return entries_.end();
}

DesktopNotifier::Entries::iterator DesktopNotifier::findSerial(quint64 serial) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->serial == serial) return it;
    return entries_.end();
}

bool DesktopNotifier::notifies(const frmAlarm* window) const {
    for (const Entry& e : entries_)
        if (e.key == window && !e.withdrawn) return true;
    return false;
}

void DesktopNotifier::failed(const QString& step, const QString& error) {
    // Said once: without a notification service every alarm would say it again.
    if (reported_) return;
    reported_ = true;
    if (log)
        log("Notifications: " + ss(step) + ": " + ss(error) + "; alarms show their window only");
}

void DesktopNotifier::listen() {
    if (listening_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // The matches follow the name's owner, so a service started later is heard too.
    const bool actions = bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"),
                                     this, SLOT(onActionInvoked(uint, QString)));
    const bool closed =
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(onClosed(uint, uint)));
    // On Wayland a window may come to the front only with the token that came
    // with the click.
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                SLOT(onActivationToken(uint, QString)));
    listening_ = actions && closed;
}

void DesktopNotifier::notify(frmAlarm* window) {
    if (!window || !window->alrt) return;
    auto it = find(window);
    if (it == entries_.end()) {
        Entry e;
        e.window = window;
        e.key = window;
        e.serial = nextSerial_++;
        it = entries_.insert(entries_.end(), e);
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        failed(QStringLiteral("session bus"), QStringLiteral("not connected"));
        entries_.erase(it);
        return;
    }
    listen();
    if (!capabilitiesKnown_) {
        it->waiting = true;
        askCapabilities();
        return;
    }
    send(it);
}

void DesktopNotifier::askCapabilities() {
    if (askingCapabilities_) return;
    askingCapabilities_ = true;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        askingCapabilities_ = false;
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            // No service: nothing to show now. The next alarm asks again, so a
            // service that starts later is used.
            failed(QStringLiteral("no notification service"), reply.error().name());
            for (auto it = entries_.begin(); it != entries_.end();)
                it = it->waiting ? entries_.erase(it) : std::next(it);
            return;
        }
        const QStringList caps = reply.value();
        markup_ = caps.contains(QStringLiteral("body-markup"));
        actions_ = caps.contains(QStringLiteral("actions"));
        capabilitiesKnown_ = true;
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (!it->waiting) continue;
            it->waiting = false;
            send(it);
        }
    });
}

void DesktopNotifier::send(Entries::iterator it) {
    frmAlarm* w = it->window;
    if (!w || !w->alrt) {
        entries_.erase(it);
        return;
    }
    if (it->sending) {
        it->resend = true;
        return;
    }
    auto text = [this](const char* action, const char* fallback) {
        const QString c = caption ? caption(action) : QString();
        return c.isEmpty() ? QString::fromLatin1(fallback) : c;
    };
    QStringList actions;
    if (actions_) {
        actions << QString::fromLatin1(kDefaultAction) << text(kDefaultAction, "Show");
        // Only what the window itself offers now.
        if (w->cmdSnooze->isEnabled() && !w->cmdSnooze->isHidden())
            actions << QString::fromLatin1(kSnoozeAction) << text(kSnoozeAction, "Snooze");
        actions << QString::fromLatin1(kStopAction) << text(kStopAction, "Stop");
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kCriticalUrgency));
    hints.insert(QStringLiteral("resident"), true);
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quorvane"));
    hints.insert(QStringLiteral("category"), QStringLiteral("x-quorvane.alarm"));
    const QString summary = qs(w->alrt->name);
    QString body = w->txtAlarmMessage->toPlainText();
    if (markup_) body = escaped(body);

    it->sending = true;
    const quint64 serial = it->serial;
    const QDBusMessage m = call(QStringLiteral("Notify"),
                                {QStringLiteral("Quorvane"), QVariant::fromValue(it->id), icon,
                                 summary, body, actions, hints, QVariant::fromValue(kNoTimeout)});
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(m), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, serial](QDBusPendingCallWatcher* pending) {
                pending->deleteLater();
                const QDBusPendingReply<uint> reply = *pending;
                auto e = findSerial(serial);
                if (reply.isError()) {
                    failed(QStringLiteral("Notify"), reply.error().name());
                    // The service went (or another took its place): asked afresh next time.
                    capabilitiesKnown_ = false;
                    if (e != entries_.end()) entries_.erase(e);
                    return;
                }
                const uint id = reply.value();
                if (e == entries_.end()) {
                    close(id);
                    return;
                }
                e->sending = false;
                e->id = id;
                if (e->withdrawn || !e->window) {
                    close(id);
                    entries_.erase(e);
                    earlyActions_.erase(id);
                    return;
                }
                if (e->resend) {
                    e->resend = false;
                    send(e);
                }
                const auto early = earlyActions_.find(id);
                if (early != earlyActions_.end()) {
                    const QString action = early->second;
                    earlyActions_.erase(early);
                    onActionInvoked(id, action);
                }
                if (std::none_of(entries_.begin(), entries_.end(),
                                 [](const Entry& x) { return x.sending; }))
                    earlyActions_.clear();
            });
}

void DesktopNotifier::close(uint id) {
    if (id == 0) return;
    QDBusConnection::sessionBus().asyncCall(
        call(QStringLiteral("CloseNotification"), {QVariant::fromValue(id)}));
}

void DesktopNotifier::withdraw(frmAlarm* window) {
    auto it = find(window);
    if (it == entries_.end()) return;
    if (it->sending) {
        // Closed as soon as the service names it.
        it->withdrawn = true;
        it->window = nullptr;
        return;
    }
    close(it->id);
    entries_.erase(it);
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    const auto it = findId(id);
    if (it == entries_.end()) {
        // Possibly one of ours whose number is still on its way.
        const bool waiting =
            std::any_of(entries_.begin(), entries_.end(), [](const Entry& e) { return e.sending; });
        if (waiting && earlyActions_.size() < 16) earlyActions_[id] = action;
        return;
    }
    QPointer<frmAlarm> w = it->window;
    if (!w || w->closing()) return;
    if (action == QLatin1String(kSnoozeAction)) {
        w->cmdSnooze_Click();
    } else if (action == QLatin1String(kStopAction)) {
        w->cmdOk_Click();
    } else if (action == QLatin1String(kDefaultAction)) {
        w->show();
        bringToFront(w);
    }
}

void DesktopNotifier::onActivationToken(uint id, const QString& token) {
    // Read by the Wayland platform when the window asks to be activated next.
    if (findId(id) != entries_.end() && !token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

void DesktopNotifier::onClosed(uint id, uint reason) {
    (void)reason;
    // Dismissed (or expired): the window stays, and answers for itself.
    const auto it = findId(id);
    if (it != entries_.end() && !it->sending) entries_.erase(it);
}

}  // namespace qv

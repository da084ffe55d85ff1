#pragma once
// A desktop notification beside every alarm window (org.freedesktop.Notifications
// on the session bus). On desktops where a new window cannot take the focus the
// alarm window may open unseen behind others; the notification cannot be missed.
// Its actions answer the window: "Snooze" snoozes with the window's snooze row,
// "Stop" is the window's OK, and the notification itself brings the window to
// the front. Every call is asynchronous: a slow or missing notification service
// never holds up an alarm.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <list>
#include <map>
#include <string>

class QDBusPendingCallWatcher;

namespace qv {

class frmAlarm;

class DesktopNotifier : public QObject {
    Q_OBJECT
  public:
    // The action keys the notification offers.
    static constexpr const char* kSnoozeAction = "snooze";
    static constexpr const char* kStopAction = "stop";
    static constexpr const char* kDefaultAction = "default";

    explicit DesktopNotifier(QObject* parent = nullptr);
    ~DesktopNotifier() override;

    // Shows (or brings up to date) the notification of `window`.
    void notify(frmAlarm* window);
    // The window goes: so does its notification.
    void withdraw(frmAlarm* window);
    // Whether `window` has a notification shown or on its way.
    bool notifies(const frmAlarm* window) const;

    // Where a missing service is reported (once); may be empty.
    std::function<void(const std::string&)> log;
    // The program icon: an icon name or a file:// address.
    QString icon;
    // The captions of the actions (Snooze, Stop, Show), in the user's language.
    std::function<QString(const char* action)> caption;

  private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);
    void onActivationToken(uint id, const QString& token);

  private:
    struct Entry {
        QPointer<frmAlarm> window;
        const frmAlarm* key = nullptr;  // stays when the window is gone
        quint64 serial = 0;             // finds the entry again in answers
        uint id = 0;                    // 0 until the service answered
        bool waiting = false;           // for the service's capabilities
        bool sending = false;
        bool resend = false;     // changed while the last one was on its way
        bool withdrawn = false;  // closed before the service answered
    };
    using Entries = std::list<Entry>;
    Entries::iterator find(const frmAlarm* window);
    Entries::iterator findId(uint id);
    Entries::iterator findSerial(quint64 serial);
    void listen();
    void send(Entries::iterator entry);
    void close(uint id);
    void askCapabilities();
    void failed(const QString& step, const QString& error);

    Entries entries_;
    quint64 nextSerial_ = 1;
    // Actions that came before the answer naming their notification (the
    // answer and the service's signal travel separately); a few at most.
    std::map<uint, QString> earlyActions_;
    bool listening_ = false;
    bool capabilitiesKnown_ = false;
    bool askingCapabilities_ = false;
    bool markup_ = false;
    bool actions_ = true;
    bool reported_ = false;
};

}  // namespace qv

#pragma once
// The scripting interface on the user's session bus: org.quorvane.Quorvane at
// /Alarms, for status bars, desktop widgets and scripts (quorvane-add hands
// its alarms to the running program through it). It adds alarms, lists the
// coming ones, snoozes or stops the ringing ones, blocks and unblocks, and
// tells of a new next alarm. Nothing it offers runs a command line: an alarm
// added here carries none, and every argument is checked as coming from a
// stranger. Callers of another user are refused.

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "core/alarmrequest.h"

namespace qv {

class Program;
class QtActionPerformer;
class QtUserInterface;

// One coming alarm as the bus sees it: (moment, group, alarm).
struct BusComingAlarm {
    QString moment;
    QString group;
    QString alarm;
};

// The D-Bus context of a call (who called, the reply) is the adaptor's parent's,
// so it is here.
class ScriptingService : public QObject, public QDBusContext {
    Q_OBJECT
  public:
    static constexpr const char* kService = "org.quorvane.Quorvane";
    static constexpr const char* kPath = "/Alarms";
    static constexpr const char* kInterface = "org.quorvane.Quorvane";
    // NextAlarms answers at most this many.
    static constexpr uint kMaxListed = 100;

    ScriptingService(Program& program, QtUserInterface& ui, QtActionPerformer* performer,
                     QObject* parent = nullptr);
    ~ScriptingService() override;

    // Offers the interface on `bus` (the setting allowing); false when there
    // is no bus or the name belongs to another program.
    bool registerOn(QDBusConnection bus);
    void unregister();
    // The setting changed: the interface goes at once, or comes on the bus
    // registerOn was given (nothing before that).
    void followSetting();
    bool registered() const { return registered_; }

    // The interface's work, for the adaptor and for tests. AddAlarm answers the
    // first moment ("yyyy/mm/dd hh:nn:ss"), or sets `error`.
    QString addAlarm(const QString& when, const QString& every, const QString& weekdays,
                     const QString& message, const QString& group, RequestError& error);
    QList<BusComingAlarm> nextAlarms(uint count) const;
    // The alarm windows answered (later, on the event loop: a question they ask
    // must not hold the caller); how many there are.
    int snoozeRinging();
    int stopRinging();
    void setBlocked(bool blocked);
    bool blocked() const;

    // The next alarm was shown: the signal follows when it differs.
    void nextAlarmShown();
    // Takes the rung quick alarms out now (the supervision's tick does it
    // too, after the hours the settings give).
    int tidyQuickAlarms();

  signals:
    void nextAlarmChanged(const QString& moment, const QStringList& alarms);
    void blockedChanged(bool blocked);

  private:
    Program& p_;
    QtUserInterface& ui_;
    QtActionPerformer* performer_;
    QDBusConnection bus_{QString()};
    bool registered_ = false;
    // The bus the program offers the interface on, also while it is off.
    QDBusConnection offeredBus_{QString()};
    bool offered_ = false;
    QString lastMoment_;
    QStringList lastAlarms_;
    bool lastBlocked_ = false;
    bool announced_ = false;
};

// The adaptor: the interface's methods, the checks on the caller, the errors.
class ScriptingAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quorvane.Quorvane")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.quorvane.Quorvane\">\n"
                "    <method name=\"AddAlarm\">\n"
                "      <arg name=\"when\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"every\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"weekdays\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"message\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"group\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"first\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"NextAlarms\">\n"
                "      <arg name=\"count\" type=\"u\" direction=\"in\"/>\n"
                "      <arg name=\"alarms\" type=\"a(sss)\" direction=\"out\"/>\n"
                "      <annotation name=\"org.qtproject.QtDBus.QtTypeName.Out0\" "
                "value=\"QList&lt;qv::BusComingAlarm&gt;\"/>\n"
                "    </method>\n"
                "    <method name=\"Snooze\">\n"
                "      <arg name=\"windows\" type=\"u\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"Stop\">\n"
                "      <arg name=\"windows\" type=\"u\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"Block\"/>\n"
                "    <method name=\"Unblock\"/>\n"
                "    <property name=\"Blocked\" type=\"b\" access=\"read\"/>\n"
                "    <signal name=\"NextAlarmChanged\">\n"
                "      <arg name=\"moment\" type=\"s\"/>\n"
                "      <arg name=\"alarms\" type=\"as\"/>\n"
                "    </signal>\n"
                "    <signal name=\"BlockedChanged\">\n"
                "      <arg name=\"blocked\" type=\"b\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
    Q_PROPERTY(bool Blocked READ blocked)
  public:
    explicit ScriptingAdaptor(ScriptingService* service);
    bool blocked() const;

  public slots:
    QString AddAlarm(const QString& when, const QString& every, const QString& weekdays,
                     const QString& message, const QString& group);
    QList<qv::BusComingAlarm> NextAlarms(uint count);
    uint Snooze();
    uint Stop();
    void Block();
    void Unblock();

  signals:
    void NextAlarmChanged(const QString& moment, const QStringList& alarms);
    void BlockedChanged(bool blocked);

  private:
    // False (with the error sent) when the caller is not this user.
    bool callerAllowed();
    ScriptingService* service_;
};

QDBusArgument& operator<<(QDBusArgument& arg, const BusComingAlarm& a);
const QDBusArgument& operator>>(const QDBusArgument& arg, BusComingAlarm& a);

}  // namespace qv

Q_DECLARE_METATYPE(qv::BusComingAlarm)

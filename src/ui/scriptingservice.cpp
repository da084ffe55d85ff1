#include "ui/scriptingservice.h"

#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QPointer>
#include <QPushButton>

#include "core/program.h"
#include "presentation/frmalarm.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "ui/qtuserinterface.h"

namespace qv {

QDBusArgument& operator<<(QDBusArgument& arg, const BusComingAlarm& a) {
    arg.beginStructure();
    arg << a.moment << a.group << a.alarm;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, BusComingAlarm& a) {
    arg.beginStructure();
    arg >> a.moment >> a.group >> a.alarm;
    arg.endStructure();
    return arg;
}

ScriptingService::ScriptingService(Program& program, QtUserInterface& ui,
                                   QtActionPerformer* performer, QObject* parent)
    : QObject(parent), p_(program), ui_(ui), performer_(performer) {
    qDBusRegisterMetaType<BusComingAlarm>();
    qDBusRegisterMetaType<QList<BusComingAlarm>>();
    new ScriptingAdaptor(this);
    ui_.nextAlarmShown = [this] { nextAlarmShown(); };
    ui_.scriptingSettingChanged = [this] { followSetting(); };
}

ScriptingService::~ScriptingService() {
    ui_.nextAlarmShown = nullptr;
    ui_.scriptingSettingChanged = nullptr;
    unregister();
}

bool ScriptingService::registerOn(QDBusConnection bus) {
    if (registered_) return true;
    offeredBus_ = bus;
    offered_ = true;
    if (!p_.settings.sdbu) return false;
    if (!bus.isConnected()) {
        p_.writeLog("scripting interface: no session bus");
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportAdaptors)) {
        p_.writeLog("scripting interface: cannot offer " + std::string(kPath));
        return false;
    }
    // Never taken from another program: a second copy (another program
    // folder) simply goes without.
    if (!bus.registerService(QString::fromLatin1(kService))) {
        p_.writeLog("scripting interface: the name " + std::string(kService) +
                    " is taken: " + ss(bus.lastError().message()));
        bus.unregisterObject(QString::fromLatin1(kPath));
        return false;
    }
    bus_ = bus;
    registered_ = true;
    return true;
}

void ScriptingService::unregister() {
    if (!registered_) return;
    bus_.unregisterObject(QString::fromLatin1(kPath));
    bus_.unregisterService(QString::fromLatin1(kService));
    registered_ = false;
}

void ScriptingService::followSetting() {
    if (!p_.settings.sdbu) {
        if (registered_) p_.writeLog("scripting interface: switched off");
        unregister();
    } else if (offered_ && !registered_ && registerOn(offeredBus_)) {
        p_.writeLog("scripting interface: switched on");
    }
}

QString ScriptingService::addAlarm(const QString& when, const QString& every,
                                   const QString& weekdays, const QString& message,
                                   const QString& group, RequestError& error) {
    AlarmRequest r;
    r.message = ss(message);
    r.group = ss(group);
    error = parseWhen(ss(when), r);
    if (error == RequestError::kNone) error = parseEvery(ss(every), r);
    if (error == RequestError::kNone) error = parseWeekdays(ss(weekdays), r);
    if (error != RequestError::kNone) return {};
    const AddedAlarm added = QuickAlarms(p_).add(r, /*fromOutside=*/true);
    error = added.error;
    if (error != RequestError::kNone) return {};
    return qs(toStoredText(added.first));
}

QList<BusComingAlarm> ScriptingService::nextAlarms(uint count) const {
    QList<BusComingAlarm> out;
    const int n = static_cast<int>(std::min<uint>(count, kMaxListed));
    for (const ComingAlarm& c : comingAlarms(p_.alarmGroups, p_.now(), n)) {
        const AlarmGroupPtr g = c.alarm->parentGroup();
        out.append({qs(toStoredText(c.moment)), g ? qs(g->name) : QString(), qs(c.alarm->name)});
    }
    return out;
}

int ScriptingService::snoozeRinging() {
    if (!performer_) return 0;
    int n = 0;
    for (frmAlarm* w : performer_->alarmWindows()) {
        if (!w || w->closing() || !w->alrt || !w->cmdSnooze || !w->cmdSnooze->isEnabled()) continue;
        ++n;
        QPointer<frmAlarm> window = w;
        QTimer::singleShot(0, this, [window] {
            if (window && !window->closing()) window->cmdSnooze_Click();
        });
    }
    return n;
}

int ScriptingService::stopRinging() {
    if (!performer_) return 0;
    int n = 0;
    for (frmAlarm* w : performer_->alarmWindows()) {
        if (!w || w->closing()) continue;
        ++n;
        QPointer<frmAlarm> window = w;
        QTimer::singleShot(0, this, [window] {
            if (window && !window->closing()) window->cmdOk_Click();
        });
    }
    return n;
}

void ScriptingService::setBlocked(bool blocked) {
    if (p_.supervision.blocked != blocked) p_.control.setBlocked(blocked);
}

bool ScriptingService::blocked() const { return p_.supervision.blocked; }

void ScriptingService::nextAlarmShown() {
    const SupervisionState& s = p_.supervision;
    const QString moment = s.nextAlarms.numberOfElements() > 0 && s.nextAlarmDate < kGivenUp
                               ? qs(toStoredText(s.nextAlarmDate))
                               : QString();
    QStringList alarms;
    if (!moment.isEmpty())
        for (const AlarmPtr& a : s.nextAlarms) {
            // As many as the next-alarm line names.
            if (alarms.size() >= 20) break;
            alarms.append(qs(a->name));
        }
    if (!announced_ || moment != lastMoment_ || alarms != lastAlarms_) {
        lastMoment_ = moment;
        lastAlarms_ = alarms;
        emit nextAlarmChanged(moment, alarms);
    }
    if (!announced_ || s.blocked != lastBlocked_) {
        lastBlocked_ = s.blocked;
        emit blockedChanged(s.blocked);
    }
    announced_ = true;
}

int ScriptingService::tidyQuickAlarms() {
    if (!p_.started || p_.exiting) return 0;
    return QuickAlarms(p_).removeRung();
}

// ---- The adaptor -----------------------------------------------------------------------

ScriptingAdaptor::ScriptingAdaptor(ScriptingService* service)
    : QDBusAbstractAdaptor(service), service_(service) {
    connect(service, &ScriptingService::nextAlarmChanged, this,
            &ScriptingAdaptor::NextAlarmChanged);
    connect(service, &ScriptingService::blockedChanged, this, &ScriptingAdaptor::BlockedChanged);
}

bool ScriptingAdaptor::callerAllowed() {
    if (!service_->calledFromDBus()) return true;
    // The session bus is the user's own; a bus opened to others (a shared
    // address, a loose policy) still reaches no alarm of this user.
    QDBusConnectionInterface* bus = service_->connection().interface();
    const QDBusReply<uint> uid =
        bus ? bus->serviceUid(service_->message().service()) : QDBusReply<uint>(QDBusError());
    if (uid.isValid() && uid.value() == static_cast<uint>(::getuid())) return true;
    service_->sendErrorReply(QDBusError::AccessDenied,
                             QStringLiteral("Quorvane answers only the user it runs for"));
    return false;
}

bool ScriptingAdaptor::blocked() const { return service_->blocked(); }

QString ScriptingAdaptor::AddAlarm(const QString& when, const QString& every,
                                   const QString& weekdays, const QString& message,
                                   const QString& group) {
    if (!callerAllowed()) return {};
    RequestError error = RequestError::kNone;
    const QString first = service_->addAlarm(when, every, weekdays, message, group, error);
    if (error != RequestError::kNone) {
        const bool invalid = error != RequestError::kNotSaved;
        service_->sendErrorReply(invalid ? QDBusError::InvalidArgs : QDBusError::Failed,
                                 qs(describeRequestError(error)));
        return {};
    }
    return first;
}

QList<BusComingAlarm> ScriptingAdaptor::NextAlarms(uint count) {
    if (!callerAllowed()) return {};
    return service_->nextAlarms(count);
}

uint ScriptingAdaptor::Snooze() {
    if (!callerAllowed()) return 0;
    return static_cast<uint>(service_->snoozeRinging());
}

uint ScriptingAdaptor::Stop() {
    if (!callerAllowed()) return 0;
    return static_cast<uint>(service_->stopRinging());
}

void ScriptingAdaptor::Block() {
    if (callerAllowed()) service_->setBlocked(true);
}

void ScriptingAdaptor::Unblock() {
    if (callerAllowed()) service_->setBlocked(false);
}

}  // namespace qv

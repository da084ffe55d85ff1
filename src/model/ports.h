#pragma once
// The ways the alarm model reaches beyond itself, and the context every model
// operation that shows, sounds or imports something is given. The windows,
// sound and plug-in host implement the ports; tests and tools fake them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/datetime.h"

namespace qv {

class Alarm;
class AlarmGroup;
class clsAction;
class modTranslation;
class modColors;
struct DateNames;
struct SettingsValues;

// The present moment.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
};

// Carries the calls to plug-ins. The null caller (the default) answers every
// call with the empty text, which every caller treats as failure.
class PlugInCaller {
public:
    virtual ~PlugInCaller() = default;
    // The answer of `method` of the plug-in `identifier` ("component*name"); empty on failure.
    virtual std::string methodCall(const std::string& identifier, const std::string& method,
                                   const std::string& parameters, bool keep) {
        (void)identifier, (void)method, (void)parameters, (void)keep;
        return {};
    }
    // `method` run where it cannot hold up the calling thread (in the program:
    // on a worker thread, the plug-in given only the request text). `done`
    // gets the answer (empty on failure) later, on the calling thread. This
    // default runs the call at once and calls `done` before returning.
    virtual void methodCallInBackground(const std::string& identifier, const std::string& method,
                                        const std::string& parameters,
                                        std::function<void(const std::string&)> done) {
        done(methodCall(identifier, method, parameters, false));
    }
    // The language element, "<language>...</language>".
    virtual std::string lang() const { return "<language></language>"; }
    // The first file-import (file-export) plug-in whose file patterns contain
    // "*" + extension; empty when none does.
    virtual std::string fileImportPlugInFor(const std::string& extension) const {
        (void)extension;
        return {};
    }
    virtual std::string fileExportPlugInFor(const std::string& extension) const {
        (void)extension;
        return {};
    }
    // The short descriptions given by action and synchronisation plug-ins when they
    // were loaded; empty for a name no plug-in registered.
    virtual std::string actionDescription(const std::string& identifier) const {
        (void)identifier;
        return {};
    }
    virtual std::string synchDescription(const std::string& identifier) const {
        (void)identifier;
        return {};
    }
};

// Shows and sounds what an alarm's actions ask for.
class ActionPerformer {
public:
    virtual ~ActionPerformer() = default;
    // Opens (or reuses) the alarm window; an empty message shows the alarm's own text.
    virtual void showAlarmWindow(const std::shared_ptr<Alarm>& alarm, const clsAction& action,
                                 DateTime dueDate, bool timed, const std::string& message) = 0;
    virtual void playAlarmSound(const std::shared_ptr<Alarm>& alarm, const clsAction& action,
                                DateTime dueDate, bool timed, bool useOwnOptions) = 0;
    // Speaks with the stored voice, volume and speed.
    virtual void speak(const std::string& text) = 0;
    // A time-teller command: keyword, blank, quoted format[, blank, quoted date].
    virtual void tellTime(const std::string& command) = 0;
    virtual void soundAlarmClock() = 0;
    // A reminder before `alarm`, which sounds at `alarmMoment`; `reminderMoment`
    // is when the reminder was due (earlier than now after a sleep).
    virtual void showReminder(const std::shared_ptr<Alarm>& alarm, DateTime alarmMoment,
                              DateTime reminderMoment) {
        (void)alarm, (void)alarmMoment, (void)reminderMoment;
    }
    // The alarms whose windows are open for a real sounding, unanswered, with
    // the moment each sounded for.
    virtual std::vector<std::pair<std::shared_ptr<Alarm>, DateTime>> openSoundings() const {
        return {};
    }
    // Lets the speech output drop finished utterances (called on every tick).
    virtual void releaseFinishedSpeech() {}
    // Silences every sound, ringing and speech, putting back the volume they raised.
    virtual void stopAllSounds() {}
};

// Command lines and session commands.
class SystemCommands {
public:
    virtual ~SystemCommands() = default;
    virtual void runCommand(const std::string& commandLine) = 0;
    virtual void startScreenSaver() = 0;
    virtual void shutDown() = 0;
    virtual void reboot() = 0;
    virtual void logOff() = 0;
};

// For tools that only read and list alarms (the agenda, quorvane-add): nothing
// is shown or sounded, and nothing is run.
class SilentPerformer : public ActionPerformer {
public:
    void showAlarmWindow(const std::shared_ptr<Alarm>&, const clsAction&, DateTime, bool,
                         const std::string&) override {}
    void playAlarmSound(const std::shared_ptr<Alarm>&, const clsAction&, DateTime, bool,
                        bool) override {}
    void speak(const std::string&) override {}
    void tellTime(const std::string&) override {}
    void soundAlarmClock() override {}
};
class NoSystemCommands : public SystemCommands {
public:
    void runCommand(const std::string&) override {}
    void startScreenSaver() override {}
    void shutDown() override {}
    void reboot() override {}
    void logOff() override {}
};

// Everything the model needs from the running program. Owned by the program
// state (or by a test); the model only borrows it.
struct ModelContext {
    modTranslation& translation;
    const modColors& colours;
    const SettingsValues& settings;
    const DateNames& dateNames;
    const Clock& clock;
    PlugInCaller& plugIns;
    ActionPerformer& performer;
    SystemCommands& commands;
    // The resolved alarm-group folder ("agPath" in stored paths).
    std::string alarmGroupFolder;
    bool safeMode = false;
    // Alarms really sounded since the start; stops at the 32-bit maximum.
    std::int32_t alarmsSounded = 0;
    // Where failures nobody must be bothered with at once are written (the debug
    // log in the program); may be empty.
    std::function<void(const std::string&)> log;
    // Synchronisations started with AlarmGroup::startSynchronization end on
    // the model's thread. An answer that comes after the start returned is
    // applied only while `keepsGroup` says the group is still the program's
    // (empty: always). `synchronized` hears of every end, also at once: the
    // group, whether its alarms were replaced, and the error the plug-in gave.
    std::function<bool(const AlarmGroup&)> keepsGroup;
    std::function<void(const std::shared_ptr<AlarmGroup>&, bool replaced, const std::string& error)>
        synchronized;
};

}  // namespace qv

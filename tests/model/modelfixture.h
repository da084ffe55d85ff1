#pragma once
// A complete model context in a temporary folder, with ports that record what
// they are asked to do.

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/files.h"
#include "base/folders.h"
#include "base/random.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/clsaction.h"
#include "model/ports.h"

namespace qv {
// Dates in test failures as "yyyy/mm/dd hh:nn:ss".
inline void PrintTo(const DateTime& d, std::ostream* os) { *os << toStoredText(d); }
}  // namespace qv

namespace qv::test {

inline DateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromParts(y, mo, d, h, mi, s);
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

class FixedClock : public Clock {
public:
    DateTime current = dt(2025, 3, 29, 12, 0, 0);
    DateTime now() const override { return current; }
};

struct PerformedCall {
    std::string what;  // "window", "sound", "speak", "tell", "clock"
    std::string text;  // message, spoken text or time-teller command
    DateTime due;
    bool timed = false;
    const Alarm* alarm = nullptr;
};

class RecordingPerformer : public ActionPerformer {
public:
    std::vector<PerformedCall> calls;
    std::function<void(const std::shared_ptr<Alarm>&)> onWindow;  // runs while the window "opens"
    void showAlarmWindow(const std::shared_ptr<Alarm>& alarm, const clsAction&, DateTime due,
                         bool timed, const std::string& message) override {
        calls.push_back({"window", message, due, timed, alarm.get()});
        if (onWindow) onWindow(alarm);
    }
    void playAlarmSound(const std::shared_ptr<Alarm>& alarm, const clsAction&, DateTime due,
                        bool timed, bool useOwnOptions) override {
        calls.push_back({"sound", useOwnOptions ? "own" : "settings", due, timed, alarm.get()});
    }
    void speak(const std::string& text) override { calls.push_back({"speak", text, {}, false, nullptr}); }
    void tellTime(const std::string& command) override {
        calls.push_back({"tell", command, {}, false, nullptr});
    }
    void soundAlarmClock() override { calls.push_back({"clock", "", {}, false, nullptr}); }
    void stopAllSounds() override {
        calls.push_back({"stop", "", {}, false, nullptr});
        if (onStopAllSounds) onStopAllSounds();
    }
    std::function<void()> onStopAllSounds;
    // Reminders: the alarm's moment goes into `due`, the reminder's into `text`.
    void showReminder(const std::shared_ptr<Alarm>& alarm, DateTime alarmMoment,
                      DateTime reminderMoment) override {
        calls.push_back({"reminder", toStoredText(reminderMoment), alarmMoment, true, alarm.get()});
    }
    std::vector<std::pair<std::shared_ptr<Alarm>, DateTime>> open;  // windows still unanswered
    std::vector<std::pair<std::shared_ptr<Alarm>, DateTime>> openSoundings() const override {
        return open;
    }
};

class RecordingCommands : public SystemCommands {
public:
    std::vector<std::string> calls;
    void runCommand(const std::string& commandLine) override { calls.push_back("run:" + commandLine); }
    void startScreenSaver() override { calls.push_back("screensaver"); }
    void shutDown() override { calls.push_back("shutdown"); }
    void reboot() override { calls.push_back("reboot"); }
    void logOff() override { calls.push_back("logoff"); }
};

// Answers plug-in calls from a script: method -> answer.
class ScriptedPlugIns : public PlugInCaller {
public:
    struct Call {
        std::string identifier, method, parameters;
    };
    std::vector<Call> calls;
    std::map<std::string, std::string> answers;
    std::map<std::string, std::string> importers, exporters;  // extension -> identifier
    std::string methodCall(const std::string& identifier, const std::string& method,
                           const std::string& parameters, bool) override {
        calls.push_back({identifier, method, parameters});
        auto it = answers.find(method);
        return it == answers.end() ? std::string() : it->second;
    }
    std::string lang() const override { return "<language>English</language>"; }
    std::string fileImportPlugInFor(const std::string& ext) const override {
        auto it = importers.find(ext);
        return it == importers.end() ? std::string() : it->second;
    }
    std::string fileExportPlugInFor(const std::string& ext) const override {
        auto it = exporters.find(ext);
        return it == exporters.end() ? std::string() : it->second;
    }
    std::string actionDescription(const std::string& id) const override {
        return id == "QuorvaneX*Lamp" ? "Switch the lamp" : "";
    }
    std::string synchDescription(const std::string& id) const override {
        return id == "QuorvaneCal*Calendar" ? "Calendar file" : "";
    }
};

// The texts the model shows, as a language file would give them.
inline const char* kTestLanguage = R"([Language]
id=en-us
[Strings]
s1=seconds
s2=minutes
s3=hours
s4=days
s5=months
s6=years
s7=weeks
s11=Sunday
s12=Monday
s13=Tuesday
s14=Wednesday
s15=Thursday
s16=Friday
s17=Saturday
[Alarm]
s1=active
s2=inactive
s11=none
s12=given up
s13=special 1
s14=special 2
s21=once at #1
s22=every #1 #2 from #3
s31=, between #1 and #2
s32=, on#1
s33=, when #1
s34=, corrected by #1 #2
s61=highest
s62=high
s63=normal
s64=low
s65=lowest
s71=Name
s72=State
s73=Next
s74=When
s75=Actions
s76=Duration
s77=Importance
s101=New alarm
[AlarmGroup]
s1=active
s2=inactive
s11=plain
s101=New group
[Action]
s1=Show message
s2=Speak text
s7=Play sound
s9=Tell the time
s16=Plug-in action
e1=<sett><s></s><i>1</i></sett>
e7=<sett><s>*.wav</s><i>0</i></sett>
e9=<sett><s>It is <h> o'clock</s></sett>
s901=Unknown action
s902=Plug-ins are off in safe mode
)";

struct ModelFixture {
    TempFolder folder;
    Folders folders = Folders::forFolder(folder.path());
    RandomSource random{7};
    modTranslation translation{folders, random};
    FixedSystemColors systemColours;
    modColors colours{folders, systemColours};
    SettingsValues settings;
    EnglishDateNames names;
    FixedClock clock;
    ScriptedPlugIns plugIns;
    RecordingPerformer performer;
    RecordingCommands commands;
    ModelContext ctx{translation, colours, settings, names, clock, plugIns, performer,
                     commands,    "",      false,    0,     {},    {},      {}};

    ModelFixture() {
        EXPECT_TRUE(writeFile(folder.file("English.lng"), kTestLanguage));
        translation.setLanguage("English");
        std::filesystem::create_directory(folder.file("groups"));
        ctx.alarmGroupFolder = folder.file("groups");
        settings.df.ot = "yyyy/mm/dd hh:nn:ss";
        settings.df.al = "yyyy/mm/dd hh:nn:ss";
    }

    // A periodic alarm anchored at `anchor`, every `amount` `unit`s.
    static AlarmPtr periodic(DateTime anchor, std::int32_t amount, int unit) {
        auto a = Alarm::createAlarm(nullptr);
        a->momentKind = Alarm::kPeriodic;
        a->nextDate = anchor;
        a->everyAmount = amount;
        a->everyUnit = static_cast<std::int16_t>(unit);
        a->onceDate = a->startDate = a->endDate = kNever;
        a->nextSnoozeAlarmDate = kNever;
        return a;
    }
    static AlarmPtr once(DateTime when) {
        auto a = Alarm::createAlarm(nullptr);
        a->momentKind = Alarm::kOnce;
        a->onceDate = when;
        a->nextDate = a->startDate = a->endDate = a->nextSnoozeAlarmDate = kNever;
        return a;
    }
};

// The names of a node's children, in order.
inline std::vector<std::string> childNames(const XMLNode& n) {
    std::vector<std::string> names;
    for (const auto& c : n.children()) names.push_back(c->name.str());
    return names;
}

// The moment of the next alarm after `da`, or nothing.
inline std::optional<DateTime> nextAfter(Alarm& a, DateTime da, bool calendar = false) {
    if (!a.hasNextAlarmDateAfter(da, calendar)) return std::nullopt;
    return a.getNextAlarmDateAfter();
}

}  // namespace qv::test

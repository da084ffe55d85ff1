#pragma once
// A complete program state in a temporary folder, driven by a fake clock and
// timer, with fake windows, plug-ins, session and shell that record what they
// are asked.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/program.h"
#include "model/modelfixture.h"

namespace qv::test {

class FakeClock : public SupervisionClock {
  public:
    DateTime current = dt(2025, 3, 29, 12, 0, 0);
    int millis = 0;  // fraction of the current second
    int offset = 0;  // seconds ahead of UTC
    DateTime now() const override { return current; }
    double secondsSinceMidnight() const override {
        return current.secondsOfDay() + millis / 1000.0;
    }
    int utcOffsetSeconds() const override { return offset; }
    void set(DateTime d, int ms = 0) {
        current = d;
        millis = ms;
    }
    void advance(std::int64_t seconds) { current = DateTime(current.seconds() + seconds); }
};

class FakeTimer : public SupervisionTimer {
  public:
    int intervalMs = 0;
    bool active = false;
    int starts = 0;
    void setInterval(int ms) override { intervalMs = ms; }
    int interval() const override { return intervalMs; }
    void start() override {
        active = true;
        ++starts;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
};

class FakeUI : public UserInterface {
  public:
    struct Box {
        std::string text;
        int buttons;
        std::string title;
    };
    std::vector<Box> boxes;
    std::deque<int> answers;  // answers to the next boxes; Yes (or OK) when empty
    int defaultAnswer = mb::kAnswerYes;
    bool busy = false;
    bool blockedShown = false;
    int listUpdates = 0;
    int seeAlarmsShown[2] = {0, 0};
    int nextAlarmShown = 0;
    int firstTimeRuns = 0;
    bool firstTimeResult = true;
    std::string firstTimeLanguage = "English";
    std::string todo;
    int versionChecks = 0;
    MainWindowSettings placement;
    FontSettings font;
    XMLNodePtr calview = XMLNode::Create("calview");
    XMLNodePtr acpl = XMLNode::Create("acpl");
    int translations = 0;
    int resets = 0;
    bool clipboardReset = false;
    int unloads = 0;
    int quits = 0;
    std::function<void()> onMessageBox;  // runs while a box is "open"

    int messageBox(const std::string& text, int buttons, const std::string& title) override {
        boxes.push_back({text, buttons, title});
        if (onMessageBox) onMessageBox();
        if (answers.empty()) return (buttons & 7) == mb::kOk ? mb::kAnswerOk : defaultAnswer;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    void setBusy(bool b) override { busy = b; }
    void showBlocked(bool b) override { blockedShown = b; }
    void updateLists() override { ++listUpdates; }
    void showSeeAlarms(int list) override { ++seeAlarmsShown[list]; }
    void showNextAlarm() override { ++nextAlarmShown; }
    std::function<void()> onFirstTime;  // runs while the dialog is "open"
    bool runFirstTimeSettings(SettingsValues& s) override {
        ++firstTimeRuns;
        if (onFirstTime) onFirstTime();
        if (firstTimeResult) s.lng = firstTimeLanguage;
        return firstTimeResult;
    }
    std::vector<std::string> notices;
    void showNotice(const std::string& text) override { notices.push_back(text); }
    // Questions that hold nothing up: answered at once like a box, or, with
    // askLater, kept until the test answers them.
    struct Question {
        std::string text;
        std::function<void(int)> answered;
    };
    bool askLater = false;
    std::vector<Question> questions;
    void ask(const std::string& text, int buttons, const std::string& title,
             std::function<void(int)> answered) override {
        if (!askLater) {
            answered(messageBox(text, buttons, title));
            return;
        }
        questions.push_back({text, std::move(answered)});
    }
    std::vector<std::string> writeProblems;  // every change of what is shown
    void showWriteProblem(const std::string& text) override { writeProblems.push_back(text); }
    std::string toDoText() const override { return todo; }
    void setToDoText(const std::string& t) override { todo = t; }
    void runVersionCheck(bool) override { ++versionChecks; }
    MainWindowSettings mainWindowPlacement() const override { return placement; }
    void applyMainWindowPlacement(const MainWindowSettings& p) override { placement = p; }
    FontSettings listFont() const override { return font; }
    void applyListFont(const FontSettings& f) override { font = f; }
    XMLNodePtr calendarViewSettings() const override { return calview; }
    void applyCalendarViewSettings(const XMLNodePtr& n) override { calview = n; }
    std::function<void()> onActivePlugIns;  // the plug-ins are asked for their settings
    XMLNodePtr activePlugInsSettings() const override {
        if (onActivePlugIns) onActivePlugIns();
        return acpl;
    }
    void applyActivePlugInsSettings(const XMLNodePtr& n) override { acpl = n; }
    void updateColumnsToReal(XMLNode&) override {}
    void translateAll() override { ++translations; }
    void resetLists(bool resetClipboard) override {
        ++resets;
        clipboardReset = clipboardReset || resetClipboard;
    }
    void unloadAllWindows() override { ++unloads; }
    void quit() override { ++quits; }
};

class FakePlugInHost : public PlugInHost {
  public:
    struct Call {
        std::string identifier, method, parameters;
    };
    std::vector<Call> calls;
    std::map<std::string, std::string> answers;  // method -> answer
    std::vector<std::string> kept;
    std::map<std::string, bool> keptActive;
    std::vector<std::string> released;
    int loads = 0;

    std::string methodCall(const std::string& id, const std::string& method,
                           const std::string& params, bool) override {
        calls.push_back({id, method, params});
        auto it = answers.find(method);
        return it == answers.end() ? std::string() : it->second;
    }
    std::string lang() const override { return "<language>English</language>"; }
    void loadPlugins() override { ++loads; }
    std::vector<std::string> keptPlugIns() const override { return kept; }
    std::function<void()> onCallKept;
    std::string callKept(const std::string& id, const std::string& method) override {
        calls.push_back({id, method, ""});
        if (onCallKept) onCallKept();
        if (method != "GetStatus") return {};
        return keptActive[id] ? "<xml><active>-1</active></xml>" : "<xml><active>0</active></xml>";
    }
    void releaseKept(const std::string& id) override {
        released.push_back(id);
        kept.erase(std::remove(kept.begin(), kept.end(), id), kept.end());
    }
    void releaseAll() override {
        for (auto& k : kept) released.push_back(k);
        kept.clear();
    }
};

class FakeSession : public Session {
  public:
    std::vector<std::string> calls;
    void startScreenSaver() override { calls.push_back("screensaver"); }
    bool accepts = true;  // whether the system takes the session commands
    bool powerOff() override {
        calls.push_back("poweroff");
        return accepts;
    }
    bool reboot() override {
        calls.push_back("reboot");
        return accepts;
    }
    bool logOff() override {
        calls.push_back("logoff");
        return accepts;
    }
};

class FakeShell : public Shell {
  public:
    struct Open {
        std::string file, parameters, folder;
    };
    std::vector<Open> opened;
    bool result = true;
    bool open(const std::string& file, const std::string& parameters,
              const std::string& folder) override {
        opened.push_back({file, parameters, folder});
        return result;
    }
};

class FakeInstance : public SingleInstance {
  public:
    bool first = true;
    bool acquire() override { return first; }
};

struct CoreFixture {
    TempFolder folder;
    FakeClock clock;
    FakeTimer timer;
    FakeUI ui;
    FakePlugInHost plugIns;
    RecordingPerformer performer;
    FakeSession session;
    FakeShell shell;
    FakeInstance instance;
    FixedSystemColors systemColours;
    EnglishDateNames names;
    std::unique_ptr<Program> program;

    CoreFixture() {
        EXPECT_TRUE(writeFile(folder.file("English.lng"), kTestLanguage));
        program = std::make_unique<Program>(Folders::forFolder(folder.path()),
                                            CorePorts{clock, timer, ui, plugIns, performer, session,
                                                      shell, instance, systemColours, names});
    }
    Program& p() { return *program; }

    // A group in the program's list (not on disk), with the alarms given.
    AlarmGroupPtr addGroup(const std::string& name, std::vector<AlarmPtr> alarms = {}) {
        auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
        g->name = name;
        g->changed = false;
        for (auto& a : alarms) g->addAlarm(a);
        p().alarmGroups.addElement(g);
        return g;
    }
    // An active one-off alarm with a show-message action, marked to sound after inactivity.
    AlarmPtr onceAt(DateTime when, const std::string& name, std::int16_t importance = 0) {
        auto a = ModelFixture::once(when);
        a->name = name;
        a->importance = importance;
        a->soundAfterInactive = true;
        a->changed = false;
        a->actions.addElement(clsAction::Create(p().ctx, a, clsAction::kShowMessage));
        return a;
    }
    AlarmPtr dailyAt(DateTime anchor, const std::string& name) {
        auto a = ModelFixture::periodic(anchor, 1, kDays);
        a->name = name;
        a->soundAfterInactive = true;
        a->changed = false;
        a->actions.addElement(clsAction::Create(p().ctx, a, clsAction::kShowMessage));
        return a;
    }
    // Alarm names in the order their windows were opened, with the due date.
    std::vector<std::string> sounded() const {
        std::vector<std::string> out;
        for (const auto& c : performer.calls)
            if (c.what == "window" && c.alarm)
                out.push_back(c.alarm->name + "@" + toStoredText(c.due));
        return out;
    }
};

}  // namespace qv::test

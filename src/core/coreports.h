#pragma once
// What the application core asks of the desktop: the clock and the supervision
// timer, the windows, the plug-in host, the desktop session and the shell.
// The Qt program implements these; tests fake them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/settingsvalues.h"
#include "model/ports.h"
#include "xml/xmlnode.h"

namespace qv {

struct SystemColors;
struct DateNames;

// Message-box buttons and answers (the classic codes).
namespace mb {
inline constexpr int kOk = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton2 = 256;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
}  // namespace mb

// The present moment, and the time of day with its fraction of a second.
class SupervisionClock : public Clock {
  public:
    // Seconds since local midnight, with milliseconds.
    virtual double secondsSinceMidnight() const = 0;
    // How far local wall-clock time is ahead of UTC now, in seconds (3600 in
    // Berlin in winter, 7200 in summer). A jump of the wall clock by exactly a
    // change of this offset is daylight-saving time, not a clock being set.
    virtual int utcOffsetSeconds() const = 0;
};

// The supervision's one-shot timer: started with an interval, it calls back
// once (the program's timer calls alarmControl::onTimerTick).
class SupervisionTimer {
  public:
    virtual ~SupervisionTimer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The windows as the core needs them.
class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // A modal message box; buttons and answers as in mb::.
    virtual int messageBox(const std::string& text, int buttons, const std::string& title) = 0;
    virtual void setBusy(bool busy) = 0;
    virtual void showBlocked(bool blocked) = 0;
    // The group and alarm lists of the main window.
    virtual void updateLists() = 0;
    // See-alarms list 0 or 1 from the supervision's entries.
    virtual void showSeeAlarms(int list) = 0;
    virtual void showNextAlarm() = 0;
    // The first-time settings dialog: fills in the language and the display
    // formats of `settings`. False when there is no language to choose.
    virtual bool runFirstTimeSettings(SettingsValues& settings) = 0;
    // A note that needs no answer: shown without holding anything up.
    virtual void showNotice(const std::string& text) = 0;
    // A question that holds nothing up: `answered` gets the answer (as in mb::)
    // whenever the user gives it, later. Without a way to wait, at once.
    virtual void ask(const std::string& text, int buttons, const std::string& title,
                     std::function<void(int)> answered) {
        answered(messageBox(text, buttons, title));
    }
    // What the program could not write, one line each; empty once it can
    // again. Shown where it stays visible without a question.
    virtual void showWriteProblem(const std::string& text) { (void)text; }
    virtual std::string toDoText() const = 0;
    virtual void setToDoText(const std::string& text) = 0;
    virtual void runVersionCheck(bool userAsked) = 0;
    // The main window's placement, state and visibility, and the list font,
    // read before saving and applied after loading.
    virtual MainWindowSettings mainWindowPlacement() const = 0;
    virtual void applyMainWindowPlacement(const MainWindowSettings& placement) = 0;
    virtual FontSettings listFont() const = 0;
    virtual void applyListFont(const FontSettings& font) = 0;
    // Opaque settings of the calendar view ("calview") and the active
    // general-purpose plug-ins ("acpl").
    virtual XMLNodePtr calendarViewSettings() const = 0;
    virtual void applyCalendarViewSettings(const XMLNodePtr& node) = 0;
    virtual XMLNodePtr activePlugInsSettings() const = 0;
    virtual void applyActivePlugInsSettings(const XMLNodePtr& node) = 0;
    // Brings the column layouts ("lst": ag, al, sa0, sa1) up to date from the
    // lists' real columns before they are saved.
    virtual void updateColumnsToReal(XMLNode& layouts) = 0;
    // Translates every loaded window after a language was loaded.
    virtual void translateAll() = 0;
    // Empties the main window's lists; with resetClipboard also its alarm clipboard.
    virtual void resetLists(bool resetClipboard) = 0;
    // Unloads every window, most recently loaded first.
    virtual void unloadAllWindows() = 0;
    // Ends the event loop: the process ends once the caller returns.
    virtual void quit() = 0;
};

// The plug-in host as the core needs it, beyond the calls of the model.
class PlugInHost : public PlugInCaller {
  public:
    virtual void loadPlugins() {}
    virtual void loadDescriptions() {}
    // Identifiers of the kept (running) plug-ins, in the order they were kept.
    virtual std::vector<std::string> keptPlugIns() const { return {}; }
    // A call on a kept plug-in's object; empty on failure.
    virtual std::string callKept(const std::string& identifier, const std::string& method) {
        (void)identifier, (void)method;
        return {};
    }
    virtual void releaseKept(const std::string& identifier) { (void)identifier; }
    virtual void releaseAll() {}
};

// The desktop session. The three session commands are true when the system
// or the session manager took the request (false when refused or not offered).
class Session {
  public:
    virtual ~Session() = default;
    virtual void startScreenSaver() = 0;
    virtual bool powerOff() = 0;
    virtual bool reboot() = 0;
    virtual bool logOff() = 0;
};

// Opening programs, documents, folders and web addresses.
class Shell {
  public:
    virtual ~Shell() = default;
    // True when the program or document was started.
    virtual bool open(const std::string& file, const std::string& parameters,
                      const std::string& folder) = 0;
};

// Only one instance of the program runs at a time.
class SingleInstance {
  public:
    virtual ~SingleInstance() = default;
    // True when this is the only running instance (and stays so until exit).
    virtual bool acquire() = 0;
};

// Watches the alarm-group folder for group files that someone else changed
// (a synchronisation service keeping the folder equal on several computers).
// Set up after the program state, so it is not one of the CorePorts.
class FolderWatcher {
  public:
    virtual ~FolderWatcher() = default;
    // Watches `folder` and the files in it from now on; empty: watches nothing.
    virtual void watch(const std::string& folder) = 0;
    // Calls `changed` once more after `milliseconds`, whatever happens meanwhile.
    virtual void recheckIn(int milliseconds) = 0;
    // Called a moment after something in the folder changed (once for a burst).
    std::function<void()> changed;
};

// A timer that wakes the computer from sleep at a moment of the wall clock.
class WakeTimer {
  public:
    virtual ~WakeTimer() = default;
    // Empty when waking can work here, else why not (a sentence for the log).
    virtual std::string unavailableReason() const = 0;
    // Wakes the computer at `moment` (local wall-clock time); false when it
    // cannot be armed.
    virtual bool arm(DateTime moment) = 0;
    virtual void disarm() = 0;
};

struct CorePorts {
    SupervisionClock& clock;
    SupervisionTimer& timer;
    UserInterface& ui;
    PlugInHost& plugIns;
    ActionPerformer& performer;
    Session& session;
    Shell& shell;
    SingleInstance& instance;
    const SystemColors& systemColours;
    const DateNames& dateNames;
};

}  // namespace qv

#pragma once
// The core's user-interface port on top of the program's windows: the main
// window, the hidden About window with the notification-area icon, and the
// first-time settings dialog.

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "core/coreports.h"
#include "model/alarm.h"
#include "ui/frmabout.h"
#include "ui/frmmissedalarms.h"
#include "ui/frmquorvanemain.h"

class QMessageBox;
class QWidget;

class QTranslator;

namespace qv {

class Program;
class QtActionPerformer;

// What the main window asks of the alarm presentation; main() fills these in.
// A menu item whose hook is empty is shown disabled.
struct MainWindowHooks {
    std::function<void()> stopAllSounds;
    std::function<void()> showAlarmClock;
    std::function<void(const AlarmPtr&)> testAlarm;
    // Opens the alarm properties dialog (mode as the dialog's); true on OK.
    // Empty: the dialog itself. Tests answer in its place.
    std::function<bool(const std::vector<AlarmPtr>& alarms, int mode)> editAlarms;
    // The same for the alarm group properties and the settings dialogs.
    std::function<bool(const std::vector<AlarmGroupPtr>& groups)> editGroups;
    std::function<bool()> editSettings;
};

class QtUserInterface : public UserInterface {
  public:
    QtUserInterface();
    ~QtUserInterface() override;

    void attach(Program& program);
    // Lets the main window's menus reach the alarm presentation and the alarm
    // windows' commands reach the main window (its common alarm deletion).
    void linkPerformer(QtActionPerformer& performer);
    Program* program() const { return p_; }
    // Loads the About window and the main window; false when that fails.
    bool createWindows();
    frmQuorvaneMain* mainWindow() const { return main_; }
    frmAbout* about() const { return about_; }
    // Every loaded window, in the order they were loaded.
    std::vector<QWidget*> loadedWindows() const;
    // Adds a window to the loaded ones (translated and unloaded with them).
    void registerWindow(QWidget* window);
    // The window of the alarms nobody answered, shown (made on first use).
    void showMissedAlarms();
    frmMissedAlarms* missedAlarmsWindow() const { return missedWindow_; }
    // The list of missed alarms changed: the icon's badge, the recent-alarms
    // list and the missed-alarms window follow.
    void missedAlarmsChanged();

    MainWindowHooks hooks;
    // Whether the desktop has a notification area now (asked again later: a
    // panel may come up after the program).
    std::function<bool()> systemTrayAvailable;
    // Whether the program's icon is in the notification area.
    bool trayIconShown() const;
    // Answers message boxes instead of showing them (tests, scripted runs).
    std::function<int(const QString& text, int buttons)> answerMessageBox;
    // Told after the next alarm or the blocked state was shown (the scripting
    // interface's signal follows it).
    std::function<void()> nextAlarmShown;
    // Told when the settings switched the scripting interface on or off.
    std::function<void()> scriptingSettingChanged;

    // The box messageBox shows, its buttons in the program's language.
    QMessageBox* buildMessageBox(const std::string& text, int buttons,
                                 const std::string& title) const;

    // ---- UserInterface ----
    int messageBox(const std::string& text, int buttons, const std::string& title) override;
    void showNotice(const std::string& text) override;
    void ask(const std::string& text, int buttons, const std::string& title,
             std::function<void(int)> answered) override;
    void showWriteProblem(const std::string& text) override;
    void setBusy(bool busy) override;
    void showBlocked(bool blocked) override;
    void updateLists() override;
    void showSeeAlarms(int list) override;
    void showNextAlarm() override;
    bool runFirstTimeSettings(SettingsValues& settings) override;
    std::string toDoText() const override;
    void setToDoText(const std::string& text) override;
    void runVersionCheck(bool userAsked) override;
    MainWindowSettings mainWindowPlacement() const override;
    void applyMainWindowPlacement(const MainWindowSettings& placement) override;
    FontSettings listFont() const override;
    void applyListFont(const FontSettings& font) override;
    XMLNodePtr calendarViewSettings() const override;
    void applyCalendarViewSettings(const XMLNodePtr& node) override;
    XMLNodePtr activePlugInsSettings() const override;
    void applyActivePlugInsSettings(const XMLNodePtr& node) override;
    void updateColumnsToReal(XMLNode& layouts) override;
    void translateAll() override;
    void resetLists(bool resetClipboard) override;
    void unloadAllWindows() override;
    void quit() override;

    // The "args" element handed to the version checker.
    XMLNodePtr versionCheckArgs(bool silent) const;

    // Qt's own texts (standard buttons, file dialogs) follow the program's
    // language; done when the language changed since the last time.
    void followLanguage();

  private:
    std::unique_ptr<QTranslator> qtTranslator_;
    std::string qtLanguage_;
    Program* p_ = nullptr;
    QPointer<frmAbout> about_;
    QPointer<frmQuorvaneMain> main_;
    QPointer<frmMissedAlarms> missedWindow_;
    std::vector<QPointer<QWidget>> windows_;
    int busyDepth_ = 0;
    std::string pendingToDo_;
    FontSettings font_;
    XMLNodePtr calview_;
    XMLNodePtr acpl_;
};

}  // namespace qv

#pragma once
// The settings dialog: a list of pages on the left, each page a frame of the
// settings it edits. OK and Apply write the controls into the program's
// settings (and mark them for saving); Cancel leaves everything as it was.

#include <QDialog>
#include <QFont>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/settingsvalues.h"
#include "model/alarm.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QStackedWidget;

namespace qv {

class Program;
class QtUserInterface;
class VNumberBox;

class frmSettings : public QDialog {
    Q_OBJECT
  public:
    // Edits an alarm in the alarm dialog's template mode; true when confirmed.
    using AlarmEditor = std::function<bool(const AlarmPtr& alarm)>;

    // What the dialog reaches beyond the settings: the speech and sound of the
    // running program, and the font and file choosers. Empty members fall back
    // to plain Qt dialogs, or to nothing for voices, sound and speech.
    struct Services {
        std::function<QStringList()> voices;
        // Lists some more voices; true once voices() answers at once.
        std::function<bool()> listSomeVoices;
        std::function<void(const QString& file, bool overrideVolume, int volume)> playSound;
        std::function<void(const QString& text, const QString& voice, bool overrideVolume,
                           int volume, bool overrideSpeed, int speed)>
            speak;
        std::function<std::optional<QFont>(const QFont& current)> chooseFont;
        std::function<QString(const QString& current)> chooseSoundFile;
        // Whether the computer can be woken for alarms here: 0 yes, 1 the
        // program lacks the capability, 2 the system offers no wake-up alarm.
        // Empty: asks the system.
        std::function<int()> wakeAvailability;
    };

    static constexpr int kPages = 10;

    frmSettings(Program& program, QtUserInterface& ui, AlarmEditor editAlarm, Services services,
                QWidget* parent = nullptr);

    Q_INVOKABLE void translate();
    // Sets every control from the program's settings.
    void loadFromSettings();
    // OK and Apply: false when a check stopped it (nothing was applied then).
    bool apply();
    void showPage(int page);
    int currentPage() const;

    // Opens the dialog modally; true when OK applied the settings. The
    // settings it changed are applied to the running program already.
    static bool run(Program& program, QtUserInterface& ui, QWidget* parent, AlarmEditor editAlarm,
                    const Services* services = nullptr);
    // The services of the running desktop program (speech, sound players).
    static Services programServices(Program& program);

    // The freedesktop autostart entry: $XDG_CONFIG_HOME/autostart/quorvane.desktop
    // (~/.config when the variable is unset or relative).
    static QString autostartFilePath();
    static bool autostartEnabled();
    // Writes the entry starting `executable`, or removes it; true on success.
    static bool setAutostart(bool enabled, const QString& executable);
    // The Exec value of a desktop entry for a program file (quoted the way
    // desktop entries want it where needed).
    static QString desktopExec(const QString& executable);

    // The alarm-group folder as typed, made ready to store: no trailing
    // separator. `resolved` is the folder it names ("<app_path>" replaced).
    static std::string normalizedFolder(const std::string& typed, const std::string& programFolder,
                                        std::string& resolved);
    // The folder a stored one names, as the user sees it.
    std::string shownFolder(const std::string& stored) const;
    // The fields a list shows, after the column choices of page 6: `shown`
    // keeps its order (unticked fields go), ticked fields it lacks are added at
    // the end; field 0 always stays.
    static std::vector<int> chosenFields(const std::vector<int>& shown,
                                         const std::vector<bool>& ticked);

  public slots:
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QString text(int number) const;
    void showWakeAvailability();
    // The plug-ins the host found; the button to read their folder again.
    void showPlugIns();
    void buildPages();
    void fillLists();
    void updateEnabled();
    void rebuildFormats();
    void showFormatExample(int field);
    void showFontName();
    void fillVoices();
    void setTemplateAlarm();
    void resetTemplateAlarm();
    void editExtraAlarm(int which);
    void deleteExpiredAlarms();
    void testSound();
    void testVoice();
    void applyColumns();
    // Current layout fields of a list (0 groups, 1 alarms, 2 see-alarms).
    std::vector<int> layoutFields(const char* layout) const;

    Program& p_;
    QtUserInterface& ui_;
    AlarmEditor editAlarm_;
    Services services_;

    // Working copies: written to the program on apply.
    std::string template_;
    std::array<AlarmPtr, 2> extraAlarms_;  // 0 secondary, 1 attention
    FontSettings font_;
    std::vector<std::string> languages_;
    std::vector<std::string> schemes_;
    bool voicesFilled_ = false;
    QTimer voiceLister_;
    bool filling_ = false;

    QListWidget* lstTab_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    std::array<QGroupBox*, kPages> fraTab_{};

    // Page 0
    QComboBox* cmbLanguage_ = nullptr;
    QComboBox* cmbColorscheme_ = nullptr;
    QLabel* lblFontName_ = nullptr;
    QPushButton* cmdFont_ = nullptr;
    QPushButton* cmdDefaultFont_ = nullptr;
    QCheckBox* chkAutostart_ = nullptr;
    // Page 1
    QLineEdit* txtAlarmGroupLocation_ = nullptr;
    QPushButton* cmdDefaultPath_ = nullptr;
    QCheckBox* chkAutoSave_ = nullptr;
    QCheckBox* chkWatchAlarmFolder_ = nullptr;
    QCheckBox* chkDaysOffByMoment_ = nullptr;
    QLabel* lblTemplateAlarm_ = nullptr;
    QPushButton* cmdSetTemplateAlarm_ = nullptr;
    QPushButton* cmdResetTemplateAlarm_ = nullptr;
    QCheckBox* chkOverlapWarning_ = nullptr;
    VNumberBox* vnbOverlapWarning_ = nullptr;
    QComboBox* cmbOverlapWarning_ = nullptr;
    QLabel* lblOverlapWarningRestriction_ = nullptr;
    QComboBox* cmbOverlapWarningRestriction_ = nullptr;
    QLineEdit* txtQuickAlarmsGroup_ = nullptr;
    VNumberBox* vnbQuickAlarmsKeep_ = nullptr;
    QPushButton* cmdDeleteAlarms_ = nullptr;
    // Page 2
    VNumberBox* vnbWarning_ = nullptr;
    QComboBox* cmbWhenUnblocked_ = nullptr;
    QCheckBox* chkForceForeground_ = nullptr;
    VNumberBox* vnbTimerCorrection_ = nullptr;
    VNumberBox* vnbSnoozeAmount_ = nullptr;
    QComboBox* cmbSnoozeUnit_ = nullptr;
    QComboBox* cmbSnoozeAddTo_ = nullptr;
    QCheckBox* chkUseOneAlarmWindow_ = nullptr;
    QCheckBox* chkDesktopNotifications_ = nullptr;
    QCheckBox* chkWakeFromSleep_ = nullptr;
    QCheckBox* chkKeepUnanswered_ = nullptr;
    QCheckBox* chkRemindersByTray_ = nullptr;
    QLabel* lblWakeFromSleep_ = nullptr;
    int wakeAvailability_ = 0;
    // Page 3: 0 secondary, 1 attention
    std::array<QCheckBox*, 2> chkExtra_{};
    std::array<QLabel*, 2> lblExtraRestriction_{};
    std::array<QComboBox*, 2> cmbExtraRestriction_{};
    std::array<QPushButton*, 2> cmdExtra_{};
    // Page 4
    QLineEdit* txtDefaultSound_ = nullptr;
    QPushButton* cmdDefaultSound_ = nullptr;
    QPushButton* cmdSoundTest_ = nullptr;
    QCheckBox* chkSoundVolume_ = nullptr;
    QSlider* sldSoundVolume_ = nullptr;
    QComboBox* cmbVoice_ = nullptr;
    QPushButton* cmdVoiceTest_ = nullptr;
    QCheckBox* chkVoiceVolume_ = nullptr;
    QSlider* sldVoiceVolume_ = nullptr;
    QCheckBox* chkVoiceSpeed_ = nullptr;
    QSlider* sldVoiceSpeed_ = nullptr;
    // Page 5
    QComboBox* cmbDateFormat_ = nullptr;
    QComboBox* cmbTimeFormat_ = nullptr;
    QCheckBox* chkShowSeconds_ = nullptr;
    std::array<QLineEdit*, 4> txtFormat_{};
    QLabel* lblFormatExample_ = nullptr;
    QLabel* lblFormatExample2_ = nullptr;
    // Page 6
    std::vector<QCheckBox*> chkShowInAlarmgroups_;
    std::vector<QCheckBox*> chkShowInAlarms_;
    std::vector<QCheckBox*> chkShowInSeeAlarms_;
    // Page 7
    QCheckBox* chkShowTooltips_ = nullptr;
    QCheckBox* chkAutoUpdateCalendar_ = nullptr;
    VNumberBox* vnbCalendarOffset_ = nullptr;
    VNumberBox* vnbIntervalBarWidth_ = nullptr;
    QCheckBox* chkIgnoreCorrection_ = nullptr;
    // Page 8
    VNumberBox* vnbAlarmClockMaxMinutes_ = nullptr;
    VNumberBox* vnbAlarmClockSnoozeTime_ = nullptr;
    // Page 9
    QCheckBox* chkSafetyCheckAtStartup_ = nullptr;
    QCheckBox* chkUseOldFontRotationMethod_ = nullptr;
    QCheckBox* chkPersonalAssistant_ = nullptr;
    QCheckBox* chkTimeInactive_ = nullptr;
    VNumberBox* vnbTimeInactive_ = nullptr;
    QCheckBox* chkScriptingInterface_ = nullptr;
    QListWidget* lstPlugIns_ = nullptr;
    QPushButton* cmdRegPlugins_ = nullptr;

    QPushButton* cmdOk_ = nullptr;
    QPushButton* cmdApply_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

}  // namespace qv

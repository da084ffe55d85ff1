#pragma once
// The program-wide state: one object, owned by main() (or by a test), handed
// by reference to everything that needs it. It owns the core's services, which
// reach each other through it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/colors.h"
#include "base/datetime.h"
#include "base/folders.h"
#include "base/random.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "core/alarmcontrol.h"
#include "core/coreports.h"
#include "core/groupfoldersync.h"
#include "core/modmain.h"
#include "core/missedalarms.h"
#include "core/modsecretary.h"
#include "core/reminderwatch.h"
#include "core/systemcommands.h"
#include "core/settingsstore.h"
#include "core/statistics.h"
#include "core/wakescheduler.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "model/ports.h"
#include "xml/vector.h"
#include "xml/xmlnode.h"

namespace qv {

// The secondary and the attention alarm ("sca", "ata").
struct ExtraAlarm {
    std::int16_t enabled = 0;    // 1 = on
    std::int16_t threshold = 0;  // an importance level
    AlarmPtr alarm;
};

// One see-alarms list: the entries in date order as three parallel vectors.
struct SeeAlarmsList {
    Vector<Alarm> alarms;
    DateVector dates;
    BooleanVector flags;
    DateTime nextChange = kNever;
};

// Bits of the supervision's pending work.
namespace pending {
inline constexpr std::uint8_t kSaveSettings = 1;
inline constexpr std::uint8_t kSaveGroups = 2;
inline constexpr std::uint8_t kExactTick = 8;
inline constexpr std::uint8_t kSaveToDo = 16;
inline constexpr std::uint8_t kRefreshSeeAlarms0 = 32;
inline constexpr std::uint8_t kRefreshSeeAlarms1 = 64;
inline constexpr std::uint8_t kAttention = 128;
}  // namespace pending

struct SupervisionState {
    DateTime lastSupervised;
    // The UTC offset in effect when lastSupervised was last moved to the present,
    // and whether it waits for the wall clock to come round again (the hour
    // that is repeated when daylight-saving time ends).
    int lastSupervisedOffset = 0;
    bool heldForRepeatedHour = false;
    bool blocked = false;
    Vector<Alarm> nextAlarms;
    DateTime nextAlarmDate = kNever;
    std::uint8_t pendingWork = 0;
    bool inactivityDetected = false;
    DateTime pendingAttentionDate = kNever;
    std::array<SeeAlarmsList, 2> seeAlarms;
    int versionCheckMinute = 0;
    int synchronizeMinute = 0;
};

class Program {
public:
    Program(const Folders& folders, const CorePorts& ports);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // ---- Where things are and what they say ----
    Folders folders;
    CorePorts ports;
    RandomSource random;
    modTranslation translation;
    modColors colours;

    // ---- Settings ----
    SettingsValues settings;
    ExtraAlarm secondaryAlarm;
    ExtraAlarm attentionAlarm;
    // Column layouts of the main window's lists ("lst": children ag, al, sa0, sa1).
    XMLNodePtr columnLayouts;
    // Speak message boxes aloud (switched in the About window).
    bool speakMessages = false;

    // ---- Run state ----
    std::string runState;
    bool safeMode = false;
    DateTime startTime;
    bool loading = false;
    bool started = false;
    bool exiting = false;
    bool modalOpen = false;
    Vector<AlarmGroup> alarmGroups;
    SupervisionState supervision;

    // ---- Services ----
    ModelContext ctx;
    modSpecialCommands commands;
    SettingsStore settingsStore;
    alarmControl control;
    modMain main;
    Statistics statistics;
    modSecretary secretary;
    GroupFolderSync folderSync;
    WakeScheduler wake;
    ReminderWatch reminders{*this};
    MissedAlarms missed{*this};

    // The alarm-group folder: the "agp" setting with "<app_path>" replaced by
    // the program folder (and "\" read as "/").
    std::string alarmGroupFolder() const;
    // The program folder plus a file name.
    std::string programFile(const std::string& name) const;
    DateTime now() const { return ports.clock.now(); }
    // Appends a line to the program's log file.
    void writeLog(const std::string& line);
};

}  // namespace qv

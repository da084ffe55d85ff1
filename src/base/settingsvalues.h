#pragma once
// The user's settings as plain values, one field per key of the settings file,
// each with its built-in default. Loading and saving them is the application
// core's business; everything below it only reads them.

#include <cstdint>
#include <string>

#include "base/datetime.h"

namespace qv {

struct SeeAlarmsSettings {
    std::int16_t shown = 1;   // "c0"/"c1": 1 = the list is shown
    std::int16_t amount = 1;  // "a0"/"a1"
    std::int16_t unit = kDays;  // "u0"/"u1"
};

struct MainWindowSettings {
    std::int16_t view = 0;
    bool visible = true;
    std::int16_t state = 0;  // 0 normal, 1 minimised, 2 maximised
    float x = 600, y = 400, w = 11385, h = 8445;  // twips
    std::int16_t dv1 = 337, dv2 = 206, dv3 = 155, dv4 = 463;
};

struct SortSettings {
    std::int16_t ag = 0;
    bool agd = false;
    std::int16_t al = 0;
    bool ald = false;
};

struct FontSettings {
    std::string nm;
    float sz = 0;
    bool bd = false, it = false, st = false, ul = false;
};

// Display formats ("df").
struct DisplayFormats {
    std::string al = "ddd yyyy/mm/dd hh:nn:ss";  // alarm list
    std::string sa = "ddd yyyy/mm/dd hh:nn:ss";  // see-alarms lists
    std::string na = "dddd yyyy/mm/dd hh:nn:ss";  // next-alarm label
    std::string ot = "yyyy/mm/dd hh:nn:ss";      // everything else
    std::int16_t da = 2;  // date order: 0 d/m/y, 1 m/d/y, 2 y/m/d, 3 y/d/m
    std::int16_t ti = 0;  // 0 24-hour, 1 AM/PM
    std::int16_t sc = 1;  // show seconds
};

// The widest interval bar the calendar draws, in the settings dialog as in the view.
constexpr int kMaxIntervalBarWidth = 50;

struct SettingsValues {
    bool bl = false;
    DateTime lsd;
    SeeAlarmsSettings sa[2];
    MainWindowSettings mw;
    bool ftf = false;
    std::int16_t wl = 10;
    std::int16_t wu = 1;
    SortSettings so;
    std::string agp = "<app_path>";
    bool as = true;
    std::int32_t tc = 0;
    std::string vd;
    std::int32_t awW = 6960, awH = 2655;
    std::int32_t staS1 = 0, staS2 = 0;
    DateTime staS3;
    FontSettings font;
    std::string ds;
    std::string lng = "English";
    // XML text of the template alarm element (root "tmpl"); empty: none.
    std::string tmpl;
    DisplayFormats df;
    std::string cls = "default";
    bool acv = false;
    bool igc = true;
    std::int16_t ibw = 8;  // the calendar's interval bars, 1 to kMaxIntervalBarWidth pixels
    bool osvol = false;
    std::int32_t svol = 100;
    bool ovvol = false;
    std::int32_t vvol = 100;
    bool ovspd = false;
    std::int32_t vspd = 0;
    std::int32_t tiia = 10;
    std::int16_t acmm = 3;
    std::int16_t acst = 5;
    bool auc = true;
    std::int16_t cao = 35;
    bool stt = true;
    bool odt = false;
    std::int32_t ola = 30;
    std::int16_t olu = kMinutes;
    std::int16_t olp = 1;
    bool epa = false;
    bool ofrm = false;
    std::int16_t dsa = 5;
    std::int16_t dsu = kMinutes;
    std::int16_t dsat = 0;
    bool uoaw = false;
    // Beyond the classic keys: a desktop notification beside every alarm window,
    // reloading group files another computer changed in a shared alarm folder,
    // and waking the computer from sleep for the next alarm.
    bool dntf = true;
    bool wfld = true;
    bool wake = false;
    // Days off: an item of a days-off calendar that is not all-day makes a
    // day off of the alarm moments it covers.
    bool dofm = false;
    // How a reminder before an alarm shows: 0 a small window, 1 a message of
    // the notification-area icon (the window where there is no icon).
    std::int16_t rmwn = 0;
    // Alarm windows nobody answered are kept in the list of missed alarms.
    bool uat = true;
    // Quick alarms: the group's name (empty: the language's name), how many
    // hours a rung quick alarm is kept (0: until deleted by hand), and the
    // scripting interface on the session bus.
    std::string qgn;
    std::int16_t qgk = 24;
    bool sdbu = true;
};

}  // namespace qv

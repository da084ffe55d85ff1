#pragma once
// Moments handed to libical by the calendar plug-ins: local wall-clock times
// without a zone ("floating"), as the alarms keep them.

#include <libical/ical.h>

#include "base/datetime.h"

namespace qv {

inline icaltimetype floatingTime(DateTime d) {
    icaltimetype t = icaltime_null_time();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    t.hour = d.hour();
    t.minute = d.minute();
    t.second = d.second();
    t.is_date = 0;
    return t;
}

}  // namespace qv

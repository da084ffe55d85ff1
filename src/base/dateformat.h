#pragma once
// The date-format language of display formats and of time telling.

#include <string>
#include <string_view>

#include "base/datetime.h"

namespace qv {

// Names of weekdays and months; the language file supplies them for display,
// the built-in English ones serve tools, tests and a missing language file.
struct DateNames {
    virtual ~DateNames();
    // weekday 1 = Sunday .. 7 = Saturday; anything else gives "".
    virtual std::string dayName(int weekday, bool abbreviated) const = 0;
    // month 1..12; anything else gives "".
    virtual std::string monthName(int month, bool abbreviated) const = 0;
    // The word for before or after noon; empty keeps the letters the format
    // itself gives ("AM/PM" writes "AM" or "PM", "am/pm" writes "am").
    virtual std::string amPmWord(bool pm) const;
};

class EnglishDateNames : public DateNames {
  public:
    std::string dayName(int weekday, bool abbreviated) const override;
    std::string monthName(int month, bool abbreviated) const override;
};

// Formats `d` by `format`. Tokens (letters case-insensitive):
//   d dd ddd dddd     day, two-digit day, abbreviated and full weekday name
//   m mm mmm mmmm     month, two-digit month, abbreviated and full month name;
//                     m and mm are minutes when the previous date/time token
//                     was h or hh (literal text in between does not matter)
//   yy yyyy           two- and four-digit year;  y  day of the year
//   h hh              hour; 12-hour (12, 1..11) when an AM/PM token occurs
//                     anywhere in the format, else 24-hour
//   n nn  s ss        minutes, seconds (one or two digits)
//   AM/PM A/P         "AM"/"PM" or "A"/"P", each letter written in the case the
//                     format gives it ("am/pm" writes "am" or "pm"); with a
//                     word from `names`, that word (lower case for "am/pm"),
//                     or its first letter for "A/P"
//   w  ww  q          weekday 1..7 (Sunday 1), week of the year (weeks start on
//                     Sunday, 1 January is in week 1), quarter 1..4
// "text" in double quotes and the character after a backslash are literal;
// every other character is copied as is. Longer runs of a letter split into
// the longest tokens ("ddddd" = "dddd" + "d"). An empty format gives the
// stored form "yyyy/mm/dd hh:nn:ss".
std::string formatDate(DateTime d, std::string_view format, const DateNames& names);

// Week of the year as the "ww" token counts it (1..54).
int weekOfYear(DateTime d);

}  // namespace qv

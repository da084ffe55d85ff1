#pragma once
// The program's date-time value and the calendar arithmetic shared by the alarm
// timing, the supervision and the snooze.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Whole seconds since 30 December 1899 00:00:00 (day zero), local wall-clock
// time without a time zone. Dates before day zero are negative.
class DateTime {
  public:
    constexpr DateTime() = default;
    constexpr explicit DateTime(std::int64_t secondsSinceDayZero) : secs_(secondsSinceDayZero) {}

    // Builds a moment from its parts with calendar carry: month 13 is January of
    // the next year, day 0 the last day of the previous month, hour 24 the next
    // day, and so on for every part (negative parts borrow).
    static DateTime fromParts(std::int64_t year, std::int64_t month, std::int64_t day,
                              std::int64_t hour = 0, std::int64_t minute = 0,
                              std::int64_t second = 0);
    static DateTime fromDays(std::int64_t daysSinceDayZero) {
        return DateTime(daysSinceDayZero * 86400);
    }

    constexpr std::int64_t seconds() const { return secs_; }
    // Whole days since day zero (floored), i.e. the calendar date.
    std::int64_t days() const;
    // Seconds since midnight, 0..86399.
    int secondsOfDay() const;

    int year() const;
    int month() const;  // 1..12
    int day() const;    // 1..31
    int hour() const;
    int minute() const;
    int second() const;
    int weekday() const;    // 1 Sunday .. 7 Saturday
    int dayOfYear() const;  // 1..366

    // Year, month and day worked out together: asking year(), month() and day()
    // one by one does the calendar conversion three times.
    struct YearMonthDay {
        int year;
        int month;
        int day;
    };
    YearMonthDay ymd() const;

    // The date at midnight.
    DateTime date() const { return fromDays(days()); }

    constexpr auto operator<=>(const DateTime&) const = default;

  private:
    std::int64_t secs_ = 0;
};

inline constexpr DateTime kDayZero{0};
// 31 December 9999 00:00:00: "never", the default of every missing date.
inline constexpr DateTime kNever{2958465LL * 86400};
// 30 December 9999 00:00:00: a next-date search given up after 1000 periods.
inline constexpr DateTime kGivenUp{2958464LL * 86400};

bool isLeapYear(std::int64_t year);
int daysInMonth(std::int64_t year, int month);

// Time-unit codes shared by every amount-and-unit pair.
enum TimeUnit : int {
    kSeconds = 0,
    kMinutes = 1,
    kHours = 2,
    kDays = 3,
    kMonths = 4,
    kYears = 5,
    kWeeks = 6,
};

// Adds n units. Seconds to weeks are exact; months and years keep the time of
// day and the day of the month, clamped to the last day of the resulting month.
// Any other unit gives day zero.
DateTime addToDate(DateTime date, std::int64_t n, int unit);

// Unit boundaries crossed going from `from` to `to` (negative when `to` is
// earlier). Weeks start on Sunday. Any other unit gives 0. The result saturates
// at the 32-bit range.
std::int32_t dateDiff(DateTime from, DateTime to, int unit);

// "yyyy/mm/dd hh:nn:ss". Years outside 0..9999 are written with as many digits
// as they need.
std::string toStoredText(DateTime date);

// Reads the stored form by its fixed positions (1-4 year, 6-7 month, 9-10 day,
// 12-13 hour, 15-16 minute, 18-19 second); the separators are not examined and
// the parts are combined with calendar carry. Text that is too short or not
// numeric at those places gives nothing.
std::optional<DateTime> parseStoredText(std::string_view text);

// The present local wall-clock time, to the second.
DateTime currentLocalTime();

}  // namespace qv

#include "datetime.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

namespace qv {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Offset of day zero (1899-12-30) from 1970-01-01 in days.
constexpr std::int64_t kDayZeroFromEpoch = -25569;
// Keeps arithmetic on absurd amounts (a corrupt file's 2^31 years) far from
// 64-bit overflow: roughly ±300 million years.
constexpr std::int64_t kSecondsLimit = 10'000'000'000'000'000LL;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::int64_t floorMod(std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t y;
    int m;
    int d;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {y + (m <= 2), m, d};
}

DateTime clampedSeconds(__int128 s) {
    if (s > kSecondsLimit) s = kSecondsLimit;
    if (s < -kSecondsLimit) s = -kSecondsLimit;
    return DateTime(static_cast<std::int64_t>(s));
}

std::int32_t saturate32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

DateTime DateTime::fromParts(std::int64_t year, std::int64_t month, std::int64_t day,
                             std::int64_t hour, std::int64_t minute, std::int64_t second) {
    const std::int64_t m0 = month - 1;
    const std::int64_t y = year + floorDiv(m0, 12);
    const std::int64_t m = floorMod(m0, 12) + 1;
    const __int128 days = static_cast<__int128>(daysFromCivil(y, m, 1) - kDayZeroFromEpoch) +
                          (static_cast<__int128>(day) - 1);
    const __int128 secs = days * kSecondsPerDay + static_cast<__int128>(hour) * 3600 +
                          static_cast<__int128>(minute) * 60 + second;
    return clampedSeconds(secs);
}

std::int64_t DateTime::days() const { return floorDiv(secs_, kSecondsPerDay); }

int DateTime::secondsOfDay() const { return static_cast<int>(floorMod(secs_, kSecondsPerDay)); }

int DateTime::year() const { return static_cast<int>(civilFromDays(days() + kDayZeroFromEpoch).y); }
DateTime::YearMonthDay DateTime::ymd() const {
    const Civil c = civilFromDays(days() + kDayZeroFromEpoch);
    return {static_cast<int>(c.y), c.m, c.d};
}
int DateTime::month() const { return civilFromDays(days() + kDayZeroFromEpoch).m; }
int DateTime::day() const { return civilFromDays(days() + kDayZeroFromEpoch).d; }
int DateTime::hour() const { return secondsOfDay() / 3600; }
int DateTime::minute() const { return secondsOfDay() / 60 % 60; }
int DateTime::second() const { return secondsOfDay() % 60; }

int DateTime::weekday() const {
    // Day zero was a Saturday.
    return static_cast<int>(floorMod(days() + 6, 7)) + 1;
}

int DateTime::dayOfYear() const {
    const std::int64_t d = days() + kDayZeroFromEpoch;
    const Civil c = civilFromDays(d);
    return static_cast<int>(d - daysFromCivil(c.y, 1, 1)) + 1;
}

bool isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

DateTime addToDate(DateTime date, std::int64_t n, int unit) {
    const __int128 s = date.seconds();
    switch (unit) {
        case kSeconds:
            return clampedSeconds(s + n);
        case kMinutes:
            return clampedSeconds(s + static_cast<__int128>(n) * 60);
        case kHours:
            return clampedSeconds(s + static_cast<__int128>(n) * 3600);
        case kDays:
            return clampedSeconds(s + static_cast<__int128>(n) * kSecondsPerDay);
        case kWeeks:
            return clampedSeconds(s + static_cast<__int128>(n) * 7 * kSecondsPerDay);
        case kMonths:
        case kYears: {
            // Far beyond any calendar we can represent; avoid overflowing the month count.
            const std::int64_t limit = 12LL * 400'000'000;
            std::int64_t months = std::clamp<std::int64_t>(n, -limit, limit);
            if (unit == kYears) months = std::clamp<std::int64_t>(months * 12, -limit, limit);
            const Civil c = civilFromDays(date.days() + kDayZeroFromEpoch);
            const std::int64_t total = c.y * 12 + (c.m - 1) + months;
            const std::int64_t y = floorDiv(total, 12);
            const int m = static_cast<int>(floorMod(total, 12)) + 1;
            const int d = std::min(c.d, daysInMonth(y, m));
            const __int128 dayNumber = daysFromCivil(y, m, d) - kDayZeroFromEpoch;
            return clampedSeconds(dayNumber * kSecondsPerDay + date.secondsOfDay());
        }
        default:
            return kDayZero;
    }
}

std::int32_t dateDiff(DateTime from, DateTime to, int unit) {
    const std::int64_t a = from.seconds();
    const std::int64_t b = to.seconds();
    switch (unit) {
        case kSeconds:
            return saturate32(b - a);
        case kMinutes:
            return saturate32(floorDiv(b, 60) - floorDiv(a, 60));
        case kHours:
            return saturate32(floorDiv(b, 3600) - floorDiv(a, 3600));
        case kDays:
            return saturate32(to.days() - from.days());
        case kWeeks:
            // Day 1 (31 December 1899) was a Sunday: weeks are counted from there.
            return saturate32(floorDiv(to.days() - 1, 7) - floorDiv(from.days() - 1, 7));
        case kMonths: {
            const DateTime::YearMonthDay t = to.ymd(), f = from.ymd();
            return saturate32((static_cast<std::int64_t>(t.year) * 12 + t.month) -
                              (static_cast<std::int64_t>(f.year) * 12 + f.month));
        }
        case kYears:
            return saturate32(static_cast<std::int64_t>(to.year()) - from.year());
        default:
            return 0;
    }
}

std::string toStoredText(DateTime date) {
    const Civil c = civilFromDays(date.days() + kDayZeroFromEpoch);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld/%02d/%02d %02d:%02d:%02d", static_cast<long long>(c.y),
                  c.m, c.d, date.hour(), date.minute(), date.second());
    return buf;
}

std::optional<DateTime> parseStoredText(std::string_view text) {
    if (text.size() < 19) return std::nullopt;
    // Every date of every alarm file comes through here: the digits are read
    // without a branch each, and any that is not a digit shows in `bad`.
    unsigned bad = 0;
    auto two = [&](std::size_t i) {
        const unsigned a = static_cast<unsigned char>(text[i]) - unsigned{'0'};
        const unsigned b = static_cast<unsigned char>(text[i + 1]) - unsigned{'0'};
        bad |= static_cast<unsigned>(a > 9) | static_cast<unsigned>(b > 9);
        return static_cast<int>(a * 10 + b);
    };
    const int y = two(0) * 100 + two(2), mo = two(5), d = two(8), h = two(11), mi = two(14),
              s = two(17);
    if (bad) return std::nullopt;
    // A month of the calendar needs no carry: the parts add up directly (a
    // four-digit year keeps this far from any overflow or clamping).
    const DateTime read =
        mo >= 1 && mo <= 12
            ? DateTime((daysFromCivil(y, mo, d) - kDayZeroFromEpoch) * kSecondsPerDay +
                       h * 3600LL + mi * 60LL + s)
            : DateTime::fromParts(y, mo, d, h, mi, s);
    // Only what the stored form can write again: a text that carries past the
    // year 9999 ("9999/12/73") is never, one that carries before the year 0
    // ("0000/00/00") its first moment. Written back otherwise as a five-digit
    // or negative year, it would not read again.
    static const DateTime kLastWritable = DateTime::fromParts(9999, 12, 31, 23, 59, 59);
    static const DateTime kFirstWritable = DateTime::fromParts(0, 1, 1);
    if (kLastWritable < read) return kNever;
    if (read < kFirstWritable) return kFirstWritable;
    return read;
}

DateTime currentLocalTime() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return DateTime::fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                               tm.tm_sec);
}

}  // namespace qv

#include "base/datetime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>

using namespace qv;

namespace {
DateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromParts(y, mo, d, h, mi, s);
}
}  // namespace

TEST(DateTime, DayZeroAndNamedMomentsLieOnTheirDates) {
    EXPECT_EQ(toStoredText(kDayZero), "1899/12/30 00:00:00");
    EXPECT_EQ(toStoredText(kNever), "9999/12/31 00:00:00");
    EXPECT_EQ(toStoredText(kGivenUp), "9999/12/30 00:00:00");
    EXPECT_EQ(kDayZero.weekday(), 7);  // a Saturday
    EXPECT_EQ(dt(2025, 3, 29).weekday(), 7);
    EXPECT_EQ(dt(1899, 12, 29, 23, 59, 59).seconds(), -1);
    EXPECT_EQ(dt(1899, 12, 29).day(), 29);
    EXPECT_EQ(dt(2024, 12, 31).dayOfYear(), 366);
}

TEST(DateTime, PartsCarryLikeTheCalendar) {
    EXPECT_EQ(dt(2005, 13, 1), dt(2006, 1, 1));
    EXPECT_EQ(dt(2005, 3, 0), dt(2005, 2, 28));
    EXPECT_EQ(dt(2005, 2, 30), dt(2005, 3, 2));
    EXPECT_EQ(dt(2005, 1, 1, 24, 0, 60), dt(2005, 1, 2, 0, 1, 0));
    EXPECT_EQ(dt(2005, 0, 1), dt(2004, 12, 1));
}

TEST(DateTime, StoredTextIsReadByFixedPositions) {
    EXPECT_EQ(parseStoredText("2005/06/01 07:30:00"), dt(2005, 6, 1, 7, 30));
    EXPECT_EQ(parseStoredText("2005-06-01 07:30:00"), dt(2005, 6, 1, 7, 30));
    EXPECT_EQ(parseStoredText("2005.13.01T07-30-00 and more"), dt(2006, 1, 1, 7, 30));
    EXPECT_FALSE(parseStoredText("2005/06/01 07:30"));
    EXPECT_FALSE(parseStoredText("2005/06/0x 07:30:00"));
    EXPECT_FALSE(parseStoredText(""));
    EXPECT_EQ(toStoredText(dt(2005, 6, 1, 7, 30)), "2005/06/01 07:30:00");
    // Every digit in every place reads back as written.
    for (int i = 0; i < 100000; ++i) {
        const DateTime d = dt(1900 + i % 200, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i / 7) % 60);
        ASSERT_EQ(parseStoredText(toStoredText(d)), d) << toStoredText(d);
    }
    for (const char bad : {'/', ':', 'a', ' ', '\xff'}) {
        for (std::size_t at : {0, 3, 5, 9, 11, 15, 18}) {
            std::string text = "1999/12/31 23:59:59";
            text[at] = bad;
            EXPECT_FALSE(parseStoredText(text)) << text;
        }
    }
}

TEST(AddToDate, MonthsAndYearsClampToTheMonthEnd) {
    EXPECT_EQ(addToDate(dt(2025, 1, 31, 8), 1, kMonths), dt(2025, 2, 28, 8));
    EXPECT_EQ(addToDate(dt(2024, 1, 31, 8), 1, kMonths), dt(2024, 2, 29, 8));
    EXPECT_EQ(addToDate(dt(2024, 2, 29), 1, kYears), dt(2025, 2, 28));
    EXPECT_EQ(addToDate(dt(2024, 3, 31), -1, kMonths), dt(2024, 2, 29));
    EXPECT_EQ(addToDate(dt(2024, 12, 31, 23, 59, 59), 13, kMonths), dt(2026, 1, 31, 23, 59, 59));
    EXPECT_EQ(addToDate(dt(2025, 3, 29), -25, kMonths), dt(2023, 2, 28));
}

TEST(AddToDate, ExactUnitsAndUnknownUnit) {
    const DateTime d = dt(2025, 3, 29, 12);
    EXPECT_EQ(addToDate(d, 90, kSeconds), dt(2025, 3, 29, 12, 1, 30));
    EXPECT_EQ(addToDate(d, -15, kMinutes), dt(2025, 3, 29, 11, 45));
    EXPECT_EQ(addToDate(d, 13, kHours), dt(2025, 3, 30, 1));
    EXPECT_EQ(addToDate(d, 3, kDays), dt(2025, 4, 1, 12));
    EXPECT_EQ(addToDate(d, -2, kWeeks), dt(2025, 3, 15, 12));
    EXPECT_EQ(addToDate(d, 1, 7), kDayZero);
    EXPECT_EQ(addToDate(d, 1, -1), kDayZero);
}

TEST(DateDiff, CountsBoundariesCrossedPerUnit) {
    const DateTime a = dt(2025, 3, 29, 23, 59, 59);  // Saturday
    const DateTime b = dt(2025, 3, 30, 0, 0, 0);     // Sunday
    EXPECT_EQ(dateDiff(a, b, kSeconds), 1);
    EXPECT_EQ(dateDiff(a, b, kMinutes), 1);
    EXPECT_EQ(dateDiff(a, b, kHours), 1);
    EXPECT_EQ(dateDiff(a, b, kDays), 1);
    EXPECT_EQ(dateDiff(a, b, kWeeks), 1);
    EXPECT_EQ(dateDiff(b, a, kWeeks), -1);
    EXPECT_EQ(dateDiff(b, dt(2025, 4, 5, 23), kWeeks), 0);  // Sunday to the Saturday after
    EXPECT_EQ(dateDiff(a, b, kMonths), 0);
    EXPECT_EQ(dateDiff(dt(2025, 1, 31), dt(2025, 2, 1), kMonths), 1);
    EXPECT_EQ(dateDiff(dt(2024, 12, 31), dt(2025, 1, 1), kYears), 1);
    EXPECT_EQ(dateDiff(dt(2025, 1, 1, 0, 0, 30), dt(2025, 1, 1, 0, 1, 29), kMinutes), 1);
    EXPECT_EQ(dateDiff(dt(2025, 1, 1, 0, 0, 30), dt(2025, 1, 1, 0, 0, 59), kMinutes), 0);
    EXPECT_EQ(dateDiff(a, b, 9), 0);
    EXPECT_EQ(dateDiff(kDayZero, kNever, kSeconds), 2147483647);
}

// Month and year arithmetic works the calendar date out once; it must give what
// the date's parts, built again with calendar carry, give.
TEST(DateTime, CalendarArithmeticAgreesWithThePartsOverRandomMoments) {
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::int64_t> moment(-800'000LL * 86400, 3'000'000LL * 86400);
    std::uniform_int_distribution<std::int64_t> amount(-30'000, 30'000);
    for (int i = 0; i < 20'000; ++i) {
        const DateTime d(moment(rng));
        const DateTime e(moment(rng));
        const DateTime::YearMonthDay c = d.ymd();
        ASSERT_EQ(c.year, d.year());
        ASSERT_EQ(c.month, d.month());
        ASSERT_EQ(c.day, d.day());
        const std::int64_t n = amount(rng);
        const std::int64_t months = d.year() * 12LL + (d.month() - 1) + n;
        const std::int64_t y = months >= 0 ? months / 12 : -((-months + 11) / 12);
        const int m = static_cast<int>(months - y * 12) + 1;
        const DateTime expected = DateTime::fromParts(y, m, std::min(d.day(), daysInMonth(y, m)),
                                                      d.hour(), d.minute(), d.second());
        ASSERT_EQ(addToDate(d, n, kMonths), expected) << d.seconds() << " + " << n;
        ASSERT_EQ(dateDiff(d, e, kMonths),
                  (e.year() * 12LL + e.month()) - (d.year() * 12LL + d.month()));
    }
}

// Stored text is read directly when the month needs no carry; every text must
// give what building the moment from its parts gives.
TEST(DateTime, StoredTextAgreesWithThePartsOverRandomTexts) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> digit(0, 9);
    for (int i = 0; i < 50'000; ++i) {
        std::string t = "0000/00/00 00:00:00";
        for (char& ch : t)
            if (ch == '0') ch = static_cast<char>('0' + digit(rng));
        // Mostly real months, now and then one that carries.
        if (i % 4 != 0) {
            const int month = 1 + static_cast<int>(rng() % 12);
            t[5] = static_cast<char>('0' + month / 10);
            t[6] = static_cast<char>('0' + month % 10);
        }
        auto part = [&](int pos, int len) { return std::stoi(t.substr(pos, len)); };
        DateTime expected = DateTime::fromParts(part(0, 4), part(5, 2), part(8, 2),
                                                part(11, 2), part(14, 2), part(17, 2));
        // Beyond what the stored form can write: never, or the year 0's first moment.
        if (expected.year() > 9999) expected = kNever;
        if (expected.year() < 0) expected = DateTime::fromParts(0, 1, 1);
        ASSERT_EQ(parseStoredText(t), std::optional<DateTime>(expected)) << t;
        ASSERT_EQ(parseStoredText(toStoredText(*parseStoredText(t))), parseStoredText(t)) << t;
    }
}

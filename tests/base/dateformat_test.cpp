#include "base/dateformat.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromParts(y, mo, d, h, mi, s);
}

std::string fmt(DateTime d, std::string_view f) { return formatDate(d, f, EnglishDateNames()); }

// Tuesday 5 March 2024, 14:07:09; the 65th day, week 10, quarter 1.
const DateTime kSample = at(2024, 3, 5, 14, 7, 9);

}  // namespace

TEST(DateFormat, EveryToken) {
    EXPECT_EQ(fmt(kSample, "d dd ddd dddd"), "5 05 Tue Tuesday");
    EXPECT_EQ(fmt(kSample, "m mm mmm mmmm"), "3 03 Mar March");
    EXPECT_EQ(fmt(kSample, "yy yyyy y"), "24 2024 65");
    EXPECT_EQ(fmt(kSample, "h hh n nn s ss"), "14 14 7 07 9 09");
    EXPECT_EQ(fmt(kSample, "w ww q"), "3 10 1");
    EXPECT_EQ(fmt(kSample, "DDDD D MMMM YYYY, HH:NN:SS"), "Tuesday 5 March 2024, 14:07:09");
    EXPECT_EQ(fmt(at(2005, 11, 20), "dd.mm.yy"), "20.11.05");
    EXPECT_EQ(fmt(at(2024, 3, 5), "ddddd"), "Tuesday5");  // longest token first
    EXPECT_EQ(fmt(kSample, ""), "2024/03/05 14:07:09");
}

TEST(DateFormat, MinutesAfterTheHour) {
    EXPECT_EQ(fmt(kSample, "hh:mm"), "14:07");
    EXPECT_EQ(fmt(kSample, "h.m"), "14.7");
    EXPECT_EQ(fmt(kSample, "hh \"o'clock and\" mm"), "14 o'clock and 07");
    EXPECT_EQ(fmt(kSample, "hh:mm dd/mm"), "14:07 05/03");  // minutes, then a month again
    EXPECT_EQ(fmt(kSample, "dd/mm hh:nn"), "05/03 14:07");
    EXPECT_EQ(fmt(kSample, "hh mmm"), "14 Mar");  // names stay months
    EXPECT_EQ(fmt(kSample, "hh dd mm"), "14 05 03");
}

TEST(DateFormat, LiteralsAndPlainCharacters) {
    EXPECT_EQ(fmt(kSample, "\"Today is\" dddd"), "Today is Tuesday");
    EXPECT_EQ(fmt(kSample, "\\d\\a\\y d"), "day 5");
    EXPECT_EQ(fmt(kSample, "\"dd"), "dd");  // an unclosed quote runs to the end
    EXPECT_EQ(fmt(kSample, "d\\"), "5");
    EXPECT_EQ(fmt(kSample, "[d] - x, t!"), "[5] - x, t!");
    EXPECT_EQ(fmt(kSample, "\"\""), "");
}

TEST(DateFormat, TwelveHourClock) {
    EXPECT_EQ(fmt(kSample, "hh:nn AM/PM"), "02:07 PM");
    EXPECT_EQ(fmt(kSample, "h:nn am/pm"), "2:07 pm");
    EXPECT_EQ(fmt(kSample, "h A/P"), "2 P");
    EXPECT_EQ(fmt(kSample, "h a/p"), "2 p");
    EXPECT_EQ(fmt(at(2024, 3, 5, 0, 30), "h:nn AM/PM"), "12:30 AM");
    EXPECT_EQ(fmt(at(2024, 3, 5, 12, 0), "h:nn AM/PM"), "12:00 PM");
    EXPECT_EQ(fmt(at(2024, 3, 5, 11, 59), "h:nn AM/PM"), "11:59 AM");
    // The marker may come first, and quoted text does not count as one.
    EXPECT_EQ(fmt(kSample, "AM/PM h"), "PM 2");
    EXPECT_EQ(fmt(kSample, "h \"AM/PM\""), "14 AM/PM");
}

TEST(DateFormat, WeekAndQuarterAtYearBoundaries) {
    // 1 January 2022 is a Saturday: week 1 is one day long.
    EXPECT_EQ(fmt(at(2022, 1, 1), "ww q w"), "1 1 7");
    EXPECT_EQ(fmt(at(2022, 1, 2), "ww"), "2");
    EXPECT_EQ(fmt(at(2022, 12, 31), "ww q y"), "53 4 365");
    // 1 January 2023 is a Sunday.
    EXPECT_EQ(fmt(at(2023, 1, 1), "ww q w"), "1 1 1");
    EXPECT_EQ(fmt(at(2023, 1, 7), "ww"), "1");
    EXPECT_EQ(fmt(at(2023, 1, 8), "ww"), "2");
    // A leap year starting on Saturday reaches week 54.
    EXPECT_EQ(fmt(at(2000, 12, 31), "ww y"), "54 366");
    EXPECT_EQ(fmt(at(2024, 3, 31), "q"), "1");
    EXPECT_EQ(fmt(at(2024, 4, 1), "q"), "2");
    EXPECT_EQ(fmt(at(2024, 9, 30), "q"), "3");
    EXPECT_EQ(fmt(at(2024, 10, 1), "q"), "4");
}

TEST(DateFormat, OtherNamesAndOddYears) {
    struct Numbered : DateNames {
        std::string dayName(int w, bool a) const override {
            return (a ? "d" : "D") + std::to_string(w);
        }
        std::string monthName(int m, bool a) const override {
            return (a ? "m" : "M") + std::to_string(m);
        }
    };
    EXPECT_EQ(formatDate(kSample, "ddd dddd mmm mmmm", Numbered()), "d3 D3 m3 M3");
    EXPECT_EQ(fmt(at(5, 6, 7), "yyyy yy"), "0005 05");
    EXPECT_EQ(fmt(kDayZero, "dddd d mmmm yyyy"), "Saturday 30 December 1899");
    EXPECT_EQ(EnglishDateNames().dayName(0, false), "");
    EXPECT_EQ(EnglishDateNames().monthName(13, true), "");
}

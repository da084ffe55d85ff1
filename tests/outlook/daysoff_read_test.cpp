// Days off read from calendars: the shipped holiday calendars' known dates,
// the items a hand-written calendar gives, and a group's days refreshed
// through the real calendar plug-in.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/files.h"
#include "model/alarmgroup.h"
#include "outlook/daysoffread.h"
#include "plugins/hostfixture.h"

namespace qv::test {
namespace {

const std::string kShipped = std::string(QUORVANE_BUILD_PLUGINS) + "/..";

std::string shipped(const std::string& code) {
    auto text = tryReadFile(kShipped + "/holidays/" + code + ".ics", 1 << 20, nullptr);
    EXPECT_TRUE(text.has_value()) << code;
    return text.value_or("");
}

// The names of the all-day items on `day`.
std::vector<std::string> namesOn(const outlook::DaysOffReading& r, DateTime day) {
    std::vector<std::string> out;
    for (const DayOffItem& i : r.items)
        if (i.allDay && i.from.days() <= day.days() && day.days() < i.to.days())
            out.push_back(i.name);
    return out;
}

using Names = std::vector<std::string>;

TEST(DaysOffCalendars, TheShippedHolidaysHaveTheirKnownDates) {
    const DateTime from = dt(2020, 1, 1), to = dt(2040, 1, 1);
    const auto de = outlook::readDaysOff(shipped("DE"), from, to);
    ASSERT_EQ(de.error, outlook::BuildError::None);
    EXPECT_EQ(namesOn(de, dt(2027, 3, 29)), Names{"Ostermontag"});
    EXPECT_EQ(namesOn(de, dt(2026, 4, 6)), Names{"Ostermontag"});
    EXPECT_EQ(namesOn(de, dt(2027, 10, 3)), Names{"Tag der Deutschen Einheit"});
    EXPECT_TRUE(namesOn(de, dt(2027, 5, 27)).empty());  // Corpus Christi is not nationwide
    EXPECT_TRUE(namesOn(de, dt(2027, 3, 30)).empty());
    // Every item is one whole day; the years are the ones the file states.
    for (const DayOffItem& i : de.items) {
        EXPECT_TRUE(i.allDay);
        EXPECT_EQ(i.to.days() - i.from.days(), 1);
    }
    EXPECT_EQ(de.items.front().from, dt(2024, 1, 1));
    EXPECT_EQ(de.items.back().from, dt(2035, 12, 26));
    EXPECT_NE(shipped("DE").find("2024 to 2035"), std::string::npos);

    const auto by = outlook::readDaysOff(shipped("DE-BY"), from, to);
    EXPECT_EQ(namesOn(by, dt(2027, 5, 27)), Names{"Fronleichnam"});
    EXPECT_EQ(namesOn(by, dt(2027, 1, 6)), Names{"Heilige Drei Könige"});

    const auto eng = outlook::readDaysOff(shipped("GB-ENG"), from, to);
    EXPECT_EQ(namesOn(eng, dt(2027, 3, 29)), Names{"Easter Monday"});
    EXPECT_EQ(namesOn(eng, dt(2027, 8, 30)), Names{"Late Summer Bank Holiday"});
    const auto sct = outlook::readDaysOff(shipped("GB-SCT"), from, to);
    EXPECT_TRUE(namesOn(sct, dt(2027, 3, 29)).empty());
    EXPECT_EQ(namesOn(sct, dt(2027, 11, 30)), Names{"St. Andrew's Day"});
}

TEST(DaysOffCalendars, AHandWrittenCalendarGivesItsItemsInTheRange) {
    const std::string ics =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
        // A yearly holiday with one year left out.
        "BEGIN:VEVENT\r\nUID:1\r\nSUMMARY:Founders\\, day\r\nDTSTART;VALUE=DATE:20200505\r\n"
        "RRULE:FREQ=YEARLY\r\nEXDATE;VALUE=DATE:20270505\r\nEND:VEVENT\r\n"
        // A vacation of two weeks.
        "BEGIN:VEVENT\r\nUID:2\r\nSUMMARY:Vacation\r\nDTSTART;VALUE=DATE:20270719\r\n"
        "DTEND;VALUE=DATE:20270802\r\nEND:VEVENT\r\n"
        // A timed item in UTC, one given by its duration, one cancelled.
        "BEGIN:VEVENT\r\nUID:3\r\nSUMMARY:Flight\r\nDTSTART:20270301T050000Z\r\n"
        "DTEND:20270301T090000Z\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:4\r\nSUMMARY:Course\r\nDTSTART;VALUE=DATE:20270901\r\n"
        "DURATION:P3D\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:5\r\nSUMMARY:Off\r\nDTSTART;VALUE=DATE:20270902\r\n"
        "STATUS:CANCELLED\r\nEND:VEVENT\r\n"
        // A rule every minute is bounded, not expanded for hours.
        "BEGIN:VEVENT\r\nUID:6\r\nSUMMARY:Noise\r\nDTSTART:20270101T000000\r\n"
        "RRULE:FREQ=MINUTELY\r\nEND:VEVENT\r\n"
        // No start at all.
        "BEGIN:VEVENT\r\nUID:7\r\nSUMMARY:Broken\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n";
    const auto r = outlook::readDaysOff(ics, dt(2026, 1, 1), dt(2029, 1, 1));
    ASSERT_EQ(r.error, outlook::BuildError::None);
    EXPECT_EQ(r.skipped, 2);  // no start; repeated every minute
    EXPECT_EQ(namesOn(r, dt(2026, 5, 5)), Names{"Founders, day"});
    EXPECT_TRUE(namesOn(r, dt(2027, 5, 5)).empty());
    EXPECT_EQ(namesOn(r, dt(2028, 5, 5)), Names{"Founders, day"});
    EXPECT_TRUE(namesOn(r, dt(2025, 5, 5)).empty());  // before the range
    EXPECT_EQ(namesOn(r, dt(2027, 8, 1)), Names{"Vacation"});
    EXPECT_TRUE(namesOn(r, dt(2027, 8, 2)).empty());
    EXPECT_EQ(namesOn(r, dt(2027, 9, 3)), Names{"Course"});
    EXPECT_TRUE(namesOn(r, dt(2027, 9, 4)).empty());
    int flights = 0, noise = 0;
    for (const DayOffItem& i : r.items) {
        if (i.name == "Flight") {
            ++flights;
            EXPECT_FALSE(i.allDay);
            EXPECT_EQ(i.to.seconds() - i.from.seconds(), 4 * 3600);
        }
        noise += i.name == "Noise";
    }
    EXPECT_EQ(flights, 1);
    EXPECT_EQ(noise, 0);
    EXPECT_LE(r.items.size(), kMaxDaysOffItems);

    // What is not a whole calendar gives no days at all.
    EXPECT_EQ(outlook::readDaysOff(ics.substr(0, ics.size() / 2), dt(2026, 1, 1), dt(2029, 1, 1)).error,
              outlook::BuildError::Truncated);
    EXPECT_EQ(outlook::readDaysOff(std::string("\x7f" "ELF\0", 5), dt(2026, 1, 1), dt(2029, 1, 1)).error,
              outlook::BuildError::NotICalendar);
    EXPECT_EQ(outlook::readDaysOff("", dt(2026, 1, 1), dt(2029, 1, 1)).error,
              outlook::BuildError::NotICalendar);
}

TEST(DaysOffCalendars, AGroupRefreshesItsDaysThroughTheCalendarPlugIn) {
    HostFixture f({"bin:QuorvaneOutlook.so"});
    for (const char* lng : {"QuorvaneOutlook_English.lng", "QuorvaneOutlook_Deutsch.lng"})
        std::filesystem::copy_file(std::string(QUORVANE_BUILD_PLUGINS) + "/" + lng,
                                   f.folder.file(std::string("PlugIns/") + lng));
    f.host.loadPlugins();
    const std::string vacation = f.folder.file("vacation.ics");
    ASSERT_TRUE(writeFile(vacation,
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                          "SUMMARY:Alps\r\nDTSTART;VALUE=DATE:20270201\r\n"
                          "DTEND;VALUE=DATE:20270206\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));

    auto group = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    GroupDaysOff d;
    d.calendars = {"holidays/DE.ics", vacation};
    group->setDaysOff(d);
    auto alarm = Alarm::createAlarm(group);
    alarm->momentKind = Alarm::kPeriodic;
    alarm->nextDate = dt(2026, 1, 5, 7);
    alarm->everyAmount = 1;
    alarm->everyUnit = kDays;
    alarm->activePeriod = Alarm::kRestrictWeekdays;
    alarm->weekDays = 0b0111110;
    alarm->startDate = alarm->endDate = alarm->onceDate = alarm->nextSnoozeAlarmDate = kNever;
    alarm->notOnDaysOff = true;
    group->addAlarm(alarm);

    std::string error = "not called";
    bool changed = false;
    auto done = [&](const AlarmGroupPtr&, bool c, const std::string& e) {
        changed = c;
        error = e;
    };
    refreshDaysOff(f.p().ctx, group, kShipped, dt(2026, 12, 8), done);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(changed);
    ASSERT_EQ(group->daysOff.cache.size(), 2u);
    EXPECT_EQ(group->daysOff.cache[vacation].items.size(), 1u);
    // Easter Monday and the vacation are skipped.
    ASSERT_TRUE(alarm->hasNextAlarmDateAfter(dt(2027, 3, 26, 8), false));
    EXPECT_EQ(alarm->getNextAlarmDateAfter(), dt(2027, 3, 30, 7));
    ASSERT_TRUE(alarm->hasNextAlarmDateAfter(dt(2027, 1, 31, 8), false));
    EXPECT_EQ(alarm->getNextAlarmDateAfter(), dt(2027, 2, 8, 7));

    // The vacation file goes bad: its last days stay, and the failure is told.
    ASSERT_TRUE(writeFile(vacation, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\n"));
    refreshDaysOff(f.p().ctx, group, kShipped, dt(2026, 12, 9), done);
    EXPECT_FALSE(changed);
    EXPECT_NE(error.find(vacation), std::string::npos);
    EXPECT_EQ(group->daysOff.cache[vacation].items.size(), 1u);
    // The calendar file itself is left as it was.
    EXPECT_EQ(tryReadFile(vacation, 1000, nullptr).value_or(""),
              "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\n");
}

}  // namespace
}  // namespace qv::test

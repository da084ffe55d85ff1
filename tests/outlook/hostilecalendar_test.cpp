// Calendars that cost too much: a repetition rule whose moments lie decades
// apart, and a file far larger than any calendar. The real host runs the real
// calendar plug-in in the background while the supervision goes on over a
// fake clock; the answer is applied only when the event loop hands it back.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <filesystem>
#include <fstream>

#include "model/alarmgroup.h"
#include "model/clsaction.h"
#include "outlook/icalimport.h"
#include "plugins/hostfixture.h"

namespace qv::test {
namespace {

const std::string kAppointmentSync = "QuorvaneOutlook*OutlookAppointmentSynchronizer";

// 300 bytes whose one rule (every minute, seconds 0 to 10, on a Monday that is
// 29 February) has its next moment in 2044: libical walks there minute by minute.
const char* const kHostile =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:leap@example.org\r\n"
    "SUMMARY:Leap\r\nDTSTART:20240101T100000\r\n"
    "RRULE:FREQ=MINUTELY;BYSECOND=0,1,2,3,4,5,6,7,8,9,10;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO\r\n"
    "END:VEVENT\r\nEND:VCALENDAR\r\n";

struct CalendarScenario : HostFixture {
    int argc = 1;
    char name[16] = "test_outlook";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};

    CalendarScenario() : HostFixture({"bin:QuorvaneOutlook.so"}) {
        for (const char* lng : {"QuorvaneOutlook_English.lng", "QuorvaneOutlook_Deutsch.lng"})
            std::filesystem::copy_file(std::string(QUORVANE_BUILD_PLUGINS) + "/" + lng,
                                       folder.file(std::string("PlugIns/") + lng));
        host.loadPlugins();
    }

    AlarmPtr onceAt(DateTime when, const std::string& alarmName) {
        auto a = ModelFixture::once(when);
        a->name = alarmName;
        a->changed = false;
        a->actions.addElement(clsAction::Create(p().ctx, a, clsAction::kShowMessage));
        return a;
    }
    AlarmGroupPtr addGroup(const std::string& groupName, std::vector<AlarmPtr> alarms) {
        auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
        g->name = groupName;
        for (auto& a : alarms) g->addAlarm(a);
        g->changed = false;
        p().alarmGroups.addElement(g);
        return g;
    }
    AlarmGroupPtr calendarGroup(const std::string& file) {
        auto g = addGroup("Calendar", {onceAt(dt(2030, 1, 1, 9, 0), "old reminder")});
        g->synchPlugin = kAppointmentSync;
        g->synchSettings = XMLNode::Create("syst");
        g->synchSettings->setInteger("i", 0, 1);
        g->synchSettings->addString("path", file);
        return g;
    }

    // The supervision as start-up leaves it: the first tick synchronises.
    void start(DateTime now) {
        clock.set(now, 0);
        const auto groups = p().alarmGroups.getCopy();
        p().control.initSupervision();
        for (const auto& g : *groups) p().alarmGroups.addElement(g);
        p().supervision.lastSupervised = now;
    }
    std::int64_t clockMs() const { return clock.current.seconds() * 1000 + clock.millis; }
    // Lets the armed interval run out and ticks, as the desktop's timer does.
    void fire() {
        const std::int64_t ms = clockMs() + std::max(1, timer.interval());
        clock.set(DateTime(ms / 1000), static_cast<int>(ms % 1000));
        timer.active = false;
        p().control.onTimerTick();
    }
    // Brings the plug-in's answer back, as the program's event loop does.
    void waitFor(const AlarmGroupPtr& g) {
        while (g->synchronizing()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

TEST(HostileCalendar, IsGivenUpInTheBackgroundWhileAnotherGroupsAlarmSoundsOnTime) {
    CalendarScenario f;
    const std::string ics = f.folder.file("leap.ics");
    ASSERT_TRUE(writeFile(ics, kHostile));
    auto calendar = f.calendarGroup(ics);
    const std::string before = calendar->toXML()->toString();
    const DateTime now = dt(2026, 12, 7, 22, 0);
    f.addGroup("Kitchen", {f.onceAt(dt(2026, 12, 7, 22, 10), "tea")});
    f.start(now);

    // The first tick starts the synchronisation; the supervision goes on
    // while the answer is out, and the tea sounds at its second.
    f.fire();
    EXPECT_TRUE(calendar->synchronizing());
    EXPECT_FALSE(calendar->startSynchronization(f.p().ctx));  // not twice at once
    std::int64_t soundedAtMs = -1;
    while (f.clock.current < dt(2026, 12, 7, 22, 15)) {
        f.fire();
        if (soundedAtMs < 0 && !f.performer.calls.empty()) soundedAtMs = f.clockMs();
    }
    ASSERT_EQ(f.performer.calls.size(), 1u);
    EXPECT_EQ(f.performer.calls[0].alarm->name, "tea");
    EXPECT_EQ(soundedAtMs, dt(2026, 12, 7, 22, 10).seconds() * 1000);
    EXPECT_FALSE(f.p().modalOpen);
    EXPECT_EQ(calendar->toXML()->toString(), before);  // untouched while it runs

    // The calendar is given up: the group keeps its alarms, the user is told
    // (once, however often it is synchronised again) and the item is named.
    f.waitFor(calendar);
    EXPECT_EQ(calendar->toXML()->toString(), before);
    ASSERT_EQ(f.ui.notices.size(), 1u);
    EXPECT_NE(f.ui.notices[0].find("\"Leap\" would take too long"), std::string::npos)
        << f.ui.notices[0];
    f.p().control.synchronizeAll();
    f.waitFor(calendar);
    EXPECT_EQ(f.ui.notices.size(), 1u);
    EXPECT_EQ(calendar->toXML()->toString(), before);

    // Once the file is a calendar again, its answer replaces the alarms.
    ASSERT_TRUE(writeFile(ics,
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                          "SUMMARY:Review\r\nDTSTART:20270105T100000\r\nEND:VEVENT\r\n"
                          "END:VCALENDAR\r\n"));
    f.p().control.synchronizeAll();
    f.waitFor(calendar);
    ASSERT_EQ(calendar->numberOfAlarms(), 1);
    EXPECT_EQ(calendar->elementAt(0)->name, "Review");
}

TEST(HostileCalendar, AnAnswerForADeletedOrRepointedGroupIsNotApplied) {
    CalendarScenario f;
    const std::string ics = f.folder.file("work.ics");
    ASSERT_TRUE(writeFile(ics,
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\n"
                          "SUMMARY:Review\r\nDTSTART:20270105T100000\r\nEND:VEVENT\r\n"
                          "END:VCALENDAR\r\n"));
    const std::string other = f.folder.file("home.ics");
    ASSERT_TRUE(writeFile(other,
                          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:2\r\n"
                          "SUMMARY:Dentist\r\nDTSTART:20270106T100000\r\nEND:VEVENT\r\n"
                          "END:VCALENDAR\r\n"));

    // Deleted while its plug-in works: the answer goes nowhere.
    auto gone = f.calendarGroup(ics);
    ASSERT_TRUE(gone->startSynchronization(f.p().ctx));
    f.p().alarmGroups.remove(gone);
    f.waitFor(gone);
    EXPECT_EQ(gone->elementAt(0)->name, "old reminder");

    // Pointed at another file and renamed meanwhile: the old file's answer is
    // dropped, the new file is asked for, and the user's name stays.
    auto moved = f.calendarGroup(ics);
    ASSERT_TRUE(moved->startSynchronization(f.p().ctx));
    moved->synchSettings->setString("path", other);
    moved->name = "Home";
    f.waitFor(moved);  // through the dropped answer and the second call
    ASSERT_EQ(moved->numberOfAlarms(), 1);
    EXPECT_EQ(moved->elementAt(0)->name, "Dentist");
    EXPECT_EQ(moved->name, "Home");
}

TEST(HostileCalendar, AFileLargerThanACalendarIsRefusedWithAMessage) {
    CalendarScenario f;
    const std::string big = f.folder.file("big.ics");
    {
        std::ofstream out(big, std::ios::binary);
        out << "BEGIN:VCALENDAR\r\nX-JUNK:";
        out << std::string(outlook::kMaxCalendarBytes, 'x');
        out << "\r\nEND:VCALENDAR\r\n";
    }
    auto calendar = f.calendarGroup(big);
    const std::string before = calendar->toXML()->toString();
    f.p().control.synchronizeAll();
    f.waitFor(calendar);
    EXPECT_EQ(calendar->toXML()->toString(), before);
    ASSERT_EQ(f.ui.notices.size(), 1u);
    EXPECT_NE(f.ui.notices[0].find("larger than 16 MB"), std::string::npos) << f.ui.notices[0];
}

}  // namespace
}  // namespace qv::test

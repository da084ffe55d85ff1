// Alarms asked for outside the alarm dialog: the shared text forms, the alarm
// made from its group's template, the quick alarms group, its tidying, and the
// listing of the coming alarms.

#include <gtest/gtest.h>

#include "core/alarmrequest.h"
#include "core/supervisionharness.h"

namespace qv::test {
namespace {

DateTime on(int h, int mi, int s = 0) { return dt(2025, 3, 31, h, mi, s); }  // a Monday

AlarmRequest read(const std::string& when, const std::string& every = "",
                  const std::string& weekdays = "") {
    AlarmRequest r;
    EXPECT_EQ(parseWhen(when, r), RequestError::kNone) << when;
    EXPECT_EQ(parseEvery(every, r), RequestError::kNone) << every;
    EXPECT_EQ(parseWeekdays(weekdays, r), RequestError::kNone) << weekdays;
    return r;
}

TEST(AlarmRequestText, DelaysInEveryFormTheyAreTyped) {
    EXPECT_EQ(parseDelay("25m"), 25 * 60);
    EXPECT_EQ(parseDelay("25"), 25 * 60);  // a bare number counts minutes
    EXPECT_EQ(parseDelay(" 1h30m "), 90 * 60);
    EXPECT_EQ(parseDelay("1 hour 5 min"), 65 * 60);
    EXPECT_EQ(parseDelay("90s"), 90);
    EXPECT_EQ(parseDelay("2 Std"), 2 * 3600);
    EXPECT_EQ(parseDelay("1d"), 86400);
    for (const char* bad : {"", "m", "0", "0m", "25x", "1 2", "-5m", "1 month", "99999999999m",
                            "400d", "5m!", "1:30"})
        EXPECT_FALSE(parseDelay(bad)) << bad;
}

TEST(AlarmRequestText, MomentsWithAndWithoutDate) {
    auto m = parseMoment("07:30");
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->hasDate);
    EXPECT_EQ(m->moment.secondsOfDay(), 7 * 3600 + 30 * 60);
    m = parseMoment("2027/01/04 07:30");
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->hasDate);
    EXPECT_EQ(m->moment, dt(2027, 1, 4, 7, 30));
    m = parseMoment("2027-01-04 7:30:15");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->moment, dt(2027, 1, 4, 7, 30, 15));
    for (const char* bad :
         {"", "7", "24:00", "7:60", "7:3", "7:30:5", "2027/02/30 07:30", "2027/13/01 07:30",
          "2027/01/04", "2027/01/0407:30", "07:30 pm", "99999/01/01 07:30"})
        EXPECT_FALSE(parseMoment(bad)) << bad;
    // Which of the two a text is.
    AlarmRequest r;
    EXPECT_EQ(parseWhen("in 1:30", r), RequestError::kBadWhen);
    EXPECT_EQ(parseWhen("+25m", r), RequestError::kNone);
    EXPECT_TRUE(r.hasDelay);
    EXPECT_EQ(parseWhen("7:30", r), RequestError::kNone);
    EXPECT_TRUE(r.hasMoment && !r.hasDelay);
}

TEST(AlarmRequestText, WeekdaysAndRepetitions) {
    AlarmRequest r;
    ASSERT_EQ(parseWeekdays("mo-fr", r), RequestError::kNone);
    EXPECT_EQ(r.weekDays, 0b0111110);
    ASSERT_EQ(parseWeekdays("Sa, su", r), RequestError::kNone);
    EXPECT_EQ(r.weekDays, 0b1000001);
    ASSERT_EQ(parseWeekdays("fr-mo", r), RequestError::kNone);  // over the week's end
    EXPECT_EQ(r.weekDays, 0b1100011);
    ASSERT_EQ(parseWeekdays("so,di,mi,do", r), RequestError::kNone);  // German names
    EXPECT_EQ(r.weekDays, 0b0011101);
    for (const char* bad : {"mo-", "xx", "mo,,fr", "mo fr", "1-5"})
        EXPECT_EQ(parseWeekdays(bad, r), RequestError::kBadWeekdays) << bad;

    ASSERT_EQ(parseEvery("2 days", r), RequestError::kNone);
    EXPECT_EQ(r.everyAmount, 2);
    EXPECT_EQ(r.everyUnit, kDays);
    ASSERT_EQ(parseEvery("week", r), RequestError::kNone);
    EXPECT_EQ(r.everyAmount, 1);
    EXPECT_EQ(r.everyUnit, kWeeks);
    for (const char* bad : {"30 seconds", "0 days", "days 2", "fortnight", "99999 days"})
        EXPECT_EQ(parseEvery(bad, r), RequestError::kBadEvery) << bad;
}

TEST(AlarmRequestText, MessagesFromOutsideAreChecked) {
    AlarmRequest r;
    r.message = "Tea\nand biscuits\t\xc3\xa4";
    EXPECT_EQ(checkTexts(r), RequestError::kNone);
    for (const std::string& bad :
         {std::string("a\x01"), std::string("\xc3"), std::string("\xc0\xaf"),
          std::string("\xed\xa0\x80"), std::string("x\x7f"), std::string(5000, 'a')}) {
        r.message = bad;
        EXPECT_EQ(checkTexts(r), RequestError::kBadText);
    }
    r.message = "fine";
    r.group = "two\nlines";
    EXPECT_EQ(checkTexts(r), RequestError::kBadText);
}

TEST(AlarmRequestText, FirstMoments) {
    RequestError e;
    const DateTime now = on(8, 0);
    EXPECT_EQ(firstMoment(read("25m"), now, e), on(8, 25));
    EXPECT_EQ(firstMoment(read("09:00"), now, e), on(9, 0));
    EXPECT_EQ(firstMoment(read("08:00"), now, e), dt(2025, 4, 1, 8, 0));  // now is not next
    EXPECT_FALSE(firstMoment(read("2025/03/31 07:00"), now, e));
    EXPECT_EQ(e, RequestError::kPast);
    // A repetition may start in the past: its grid goes on.
    EXPECT_EQ(firstMoment(read("2025/03/01 07:00", "day"), now, e), dt(2025, 3, 1, 7, 0));
    EXPECT_FALSE(firstMoment(read("07:00", "week", "mo-fr"), now, e));
    EXPECT_EQ(e, RequestError::kWeekdaysAlone);
    EXPECT_FALSE(firstMoment(read("07:00", "", "mo-fr"), now, e));
    EXPECT_EQ(e, RequestError::kWeekdaysAlone);
}

struct QuickAlarmsTest : ::testing::Test, SupervisionHarness {
    QuickAlarmsTest() {
        p().settings.qgn = "Quick";
        start(on(8, 0), on(8, 0));
    }
    QuickAlarms quick{p()};
};

TEST_F(QuickAlarmsTest, AQuickAlarmRingsWithItsMessageFromAGroupOfItsOwn) {
    AlarmRequest r = read("25m");
    r.message = "Tea";
    const AddedAlarm added = quick.add(r, false);
    ASSERT_EQ(added.error, RequestError::kNone);
    EXPECT_EQ(added.first, on(8, 25));
    ASSERT_TRUE(added.group);
    EXPECT_EQ(added.group->name, "Quick");
    // The group has its file at once, and the new alarm is to be saved.
    EXPECT_FALSE(added.group->path.empty());
    EXPECT_TRUE(fileExists(AlarmGroup::resolvePath(added.group->path, p().alarmGroupFolder())));
    EXPECT_TRUE(added.alarm->changed);
    // A second one joins the same group.
    r.message = "Eggs";
    r.delaySeconds = 5 * 60;
    added.group->Active = false;  // switched off by hand: a new timer switches it on
    const AddedAlarm second = quick.add(r, false);
    EXPECT_EQ(second.group, added.group);
    EXPECT_TRUE(added.group->Active);
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 1);

    runUntil(on(8, 30));
    EXPECT_EQ(names(), (std::vector<std::string>{at("Eggs", on(8, 5)), at("Tea", on(8, 25))}));
    EXPECT_EQ(performer.calls.front().alarm->actions.elementAt(0)->settings->getString("s"),
              "Eggs");
}

TEST_F(QuickAlarmsTest, TheQuickGroupKeepsItsNameWhenTheLanguageChanges) {
    p().settings.qgn.clear();
    const AddedAlarm added = quick.add(read("5m"), false);
    ASSERT_EQ(added.error, RequestError::kNone);
    // Its name is kept, so another language's name for quick alarms still finds it.
    EXPECT_EQ(p().settings.qgn, added.group->name);
    EXPECT_EQ(quick.quickGroup(), added.group);
}

TEST_F(QuickAlarmsTest, FromOutsideNoCommandLineNorShutDownComesFromTheTemplate) {
    const AlarmGroupPtr g = addGroup("Scripts");
    auto tmpl = Alarm::createDefaultAlarm(p().ctx);
    tmpl->actions.clear();
    auto command = clsAction::Create(p().ctx, tmpl, clsAction::kCommandLine1);
    command->settings->setString("s", "rm -rf ~");
    tmpl->actions.addElement(command);
    tmpl->actions.addElement(clsAction::Create(p().ctx, tmpl, clsAction::kShutDown));
    tmpl->actions.addElement(clsAction::Create(p().ctx, tmpl, clsAction::kPlaySound));
    tmpl->correctionAmount = 10;  // nor its correction
    g->template_ = tmpl->toXML("tmpl")->toString();

    AlarmRequest r = read("10m");
    r.group = "Scripts";
    r.message = "Stand up";
    const AddedAlarm outside = quick.add(r, true);
    ASSERT_TRUE(outside.alarm);
    std::vector<int> types;
    for (const ActionPtr& a : outside.alarm->actions) types.push_back(a->action);
    // The message is shown, the sound kept.
    EXPECT_EQ(types, (std::vector<int>{clsAction::kShowMessage, clsAction::kPlaySound}));
    EXPECT_EQ(outside.first, on(8, 10));
    runUntil(on(8, 11));
    EXPECT_TRUE(session.calls.empty());

    // The user's own quick alarm keeps what the template does.
    const AddedAlarm own = quick.add(r, false);
    EXPECT_EQ(own.alarm->actions.numberOfElements(), 4);
}

TEST_F(QuickAlarmsTest, RepeatingOnWeekdaysStartsOnTheNextOne) {
    ASSERT_EQ(p().now().weekday(), 2);  // Monday
    clock.set(dt(2025, 4, 5, 9, 0));    // Saturday
    AlarmRequest r = read("07:30", "day", "mo-fr");
    const AddedAlarm added = quick.add(r, true);
    ASSERT_EQ(added.error, RequestError::kNone);
    EXPECT_EQ(added.first, dt(2025, 4, 7, 7, 30));
    EXPECT_EQ(added.alarm->momentKind, Alarm::kPeriodic);
    // Nothing before it was set: a start after a week away catches nothing up
    // from before its first moment.
    ASSERT_TRUE(added.alarm->hasNextAlarmDateAfter(dt(2025, 3, 28), false));
    EXPECT_EQ(added.alarm->getNextAlarmDateAfter(), dt(2025, 4, 7, 7, 30));
}

TEST_F(QuickAlarmsTest, RefusedRequestsChangeNothing) {
    auto synced = addGroup("Calendar");
    synced->synchPlugin = "QuorvaneOutlook*Calendar";
    AlarmRequest r = read("10m");
    r.group = "Calendar";
    EXPECT_EQ(quick.add(r, true).error, RequestError::kSynchronized);
    r.group = "bad\x01name";
    EXPECT_EQ(quick.add(r, true).error, RequestError::kBadText);
    r.group.clear();
    r = read("2025/01/01 07:00");
    EXPECT_EQ(quick.add(r, true).error, RequestError::kPast);
    EXPECT_EQ(synced->numberOfAlarms(), 0);
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 1);
}

TEST_F(QuickAlarmsTest, RungQuickAlarmsGoAfterTheSetHours) {
    AlarmRequest r = read("10m");
    const AlarmPtr rung = quick.add(r, false).alarm;
    const AlarmPtr snoozing = quick.add(r, false).alarm;
    r = read("09:00", "day");
    const AlarmPtr daily = quick.add(r, false).alarm;
    r = read("20h");
    const AlarmPtr later = quick.add(r, false).alarm;
    const AlarmGroupPtr other = addGroup("Other", {onceAt(on(7, 0), "kept")});
    const AlarmGroupPtr g = quick.quickGroup();
    ASSERT_TRUE(g);

    clock.set(DateTime(on(8, 10).seconds() + 23 * 3600));  // 23 hours after it rang
    snoozing->snooze(DateTime(clock.current.seconds() + 2 * 3600));
    EXPECT_EQ(quick.removeRung(), 0);
    clock.advance(3600);  // a day
    EXPECT_EQ(quick.removeRung(), 1);
    EXPECT_FALSE(g->alarms.contains(rung));
    EXPECT_TRUE(g->alarms.contains(snoozing));  // its snooze is still to come
    EXPECT_TRUE(g->alarms.contains(daily));
    EXPECT_TRUE(g->alarms.contains(later));
    EXPECT_EQ(other->numberOfAlarms(), 1);
    EXPECT_TRUE(g->getChanged());

    p().settings.qgk = 0;  // kept until deleted by hand
    clock.advance(30 * 86400);
    EXPECT_EQ(quick.removeRung(), 0);
}

// No timer of its own: the supervision's ordinary tick does it.
TEST_F(QuickAlarmsTest, TheTickTakesRungQuickAlarmsOut) {
    const AlarmPtr rung = quick.add(read("10m"), false).alarm;
    const AlarmGroupPtr g = quick.quickGroup();
    ASSERT_TRUE(g);
    runUntil(DateTime(on(8, 10).seconds() + 24 * 3600 - 60));
    EXPECT_TRUE(g->alarms.contains(rung));
    runUntil(DateTime(on(8, 10).seconds() + 24 * 3600 + 60));
    EXPECT_FALSE(g->alarms.contains(rung));
}

TEST_F(QuickAlarmsTest, ComingAlarmsInTheSupervisionsOrder) {
    addGroup("A", {onceAt(on(9, 0), "a9"), onceAt(on(10, 0), "a10")});
    addGroup("B", {onceAt(on(9, 0), "b9"), dailyAt(on(7, 0), "b7")});
    std::vector<std::string> got;
    for (const ComingAlarm& c : comingAlarms(p().alarmGroups, on(8, 0), 5))
        got.push_back(c.alarm->name + "@" + toStoredText(c.moment));
    EXPECT_EQ(got, (std::vector<std::string>{"a9@2025/03/31 09:00:00", "b9@2025/03/31 09:00:00",
                                             "a10@2025/03/31 10:00:00", "b7@2025/04/01 07:00:00",
                                             "b7@2025/04/02 07:00:00"}));
    EXPECT_TRUE(comingAlarms(p().alarmGroups, on(8, 0), 0).empty());
}

}  // namespace
}  // namespace qv::test

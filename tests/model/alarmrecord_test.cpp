#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

TEST(AlarmRecord, ElementWithOnlyANameLoadsWithDefaults) {
    auto a =
        Alarm::createFromXML(*XMLNode::createFromXML("<alrm><name>Tea</name></alrm>"), nullptr);
    EXPECT_EQ(a->name, "Tea");
    EXPECT_EQ(a->momentKind, Alarm::kOnce);
    EXPECT_EQ(a->onceDate, kNever);
    EXPECT_EQ(a->everyAmount, 1);
    EXPECT_EQ(a->everyUnit, kDays);
    EXPECT_EQ(a->durationUnit, 1);
    EXPECT_TRUE(a->Active);
    EXPECT_TRUE(a->soundAfterInactive);
    EXPECT_FALSE(a->changed);
    EXPECT_FALSE(a->lastSnoozeSet);
    EXPECT_EQ(a->actions.numberOfElements(), 0);
    EXPECT_FALSE(a->showsMessage());
}

TEST(AlarmRecord, WritesChildrenInOrderWithOptionalOnesOnlyWhenSet) {
    ModelFixture f;
    auto a = Alarm::createDefaultAlarm(f.ctx);
    auto x = a->toXML("alrm");
    EXPECT_EQ(x->name, "alrm");
    const std::vector<std::string> base = {"name", "datk", "perl", "peru", "oncd", "nexd", "actp",
                                           "stad", "endd", "wkds", "adva", "adda", "addu", "acti",
                                           "saia", "stat", "snoz", "snod", "rdon"};
    // A default alarm's duration unit is 0 (minutes are only the file default), so duru is written.
    auto expected = base;
    expected.push_back("duru");
    EXPECT_EQ(childNames(*x), expected);

    a->durationUnit = 1;
    EXPECT_EQ(childNames(*a->toXML("alrm")), base);

    a->importance = -2;
    a->durationAmount = 30;
    a->durationUnit = kMinutes;
    a->lastSnoozeSet = true;
    a->lastSnoozeAmount = 10;
    a->lastSnoozeUnit = kMinutes;
    auto all = base;
    for (const char* n : {"impr", "dura", "lsa", "lsu", "lsat"}) all.push_back(n);
    EXPECT_EQ(childNames(*a->toXML("alrm")), all);
}

TEST(AlarmRecord, RoundTripKeepsEveryField) {
    ModelFixture f;
    auto a = ModelFixture::periodic(dt(2025, 1, 31, 8, 15, 5), 3, kWeeks);
    a->name = "Bins <out> & \"back\" 'in'";
    a->activePeriod = Alarm::kRestrictDates | Alarm::kRestrictWeekdays | Alarm::kRestrictExpression;
    a->startDate = dt(2025, 1, 1);
    a->endDate = dt(2026, 1, 1);
    a->weekDays = 0x55;
    a->activeAdvanced = "DAYOFMONTH <= 7 && WEEKDAY == MONDAY";
    a->correctionAmount = -15;
    a->correctionUnit = kMinutes;
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kPlaySound));
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kTellTime));
    a->soundAfterInactive = false;
    a->Active = false;
    a->snooze(dt(2025, 2, 1, 9));
    a->readOnly = true;
    a->importance = 2;
    a->durationAmount = 90;
    a->durationUnit = kMinutes;
    a->lastSnoozeSet = true;
    a->lastSnoozeAmount = 5;
    a->lastSnoozeUnit = kHours;
    a->lastSnoozeAddTo = 1;

    const std::string text = a->toXML("alrm")->toString();
    auto b = Alarm::createFromXML(*XMLNode::createFromXML(text), nullptr);
    EXPECT_FALSE(b->changed);
    EXPECT_EQ(b->toXML("alrm")->toString(), text);
    EXPECT_EQ(b->name, a->name);
    EXPECT_EQ(b->actions.numberOfElements(), 2);
    EXPECT_EQ(b->actions.elementAt(1)->action, clsAction::kTellTime);
    EXPECT_EQ(b->actions.elementAt(0)->al.lock(), b);
    EXPECT_EQ(b->nextSnoozeAlarmDate, dt(2025, 2, 1, 9));
    EXPECT_TRUE(b->snoozing);
}

TEST(AlarmRecord, LastSnoozeIsSetByThePresenceOfLsa) {
    auto a = Alarm::createFromXML(*XMLNode::createFromXML("<alrm><lsa>7</lsa></alrm>"), nullptr);
    EXPECT_TRUE(a->lastSnoozeSet);
    EXPECT_EQ(a->lastSnoozeAmount, 7);
    EXPECT_EQ(a->lastSnoozeUnit, 0);
}

TEST(AlarmRecord, UnreadableValuesTakeTheirDefaults) {
    auto a = Alarm::createFromXML(
        *XMLNode::createFromXML("<alrm><datk>x</datk><perl>often</perl><oncd>soon</oncd>"
                                "<stat>maybe</stat><impr>high</impr><zzz>1</zzz></alrm>"),
        nullptr);
    EXPECT_EQ(a->momentKind, 0);
    EXPECT_EQ(a->everyAmount, 1);
    EXPECT_EQ(a->onceDate, kNever);
    EXPECT_TRUE(a->Active);
    EXPECT_EQ(a->importance, 0);
    EXPECT_EQ(a->rangeFault, "");
}

TEST(AlarmRecord, ConstructorsSetUpTheirAlarms) {
    ModelFixture f;
    auto d = Alarm::createDefaultAlarm(f.ctx);
    EXPECT_EQ(d->name, "New alarm");
    EXPECT_TRUE(d->changed);
    EXPECT_TRUE(d->Active);
    EXPECT_EQ(d->nextDate, kNever);
    ASSERT_EQ(d->actions.numberOfElements(), 1);
    EXPECT_EQ(d->actions.elementAt(0)->action, clsAction::kShowMessage);
    EXPECT_TRUE(d->showsMessage());

    auto g = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    auto h = Alarm::createDefaultHiddenAlarm(g, "attention");
    EXPECT_TRUE(h->hidden);
    EXPECT_EQ(h->parentGroup(), g);
    EXPECT_EQ(nextAfter(*h, dt(2025, 1, 1)), std::nullopt);
}

TEST(AlarmRecord, SoundAlarmCountsRealSoundingsAndRunsActionsInOrder) {
    ModelFixture f;
    auto a = ModelFixture::once(dt(2025, 3, 1, 8));
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kShowMessage));
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kPlaySound));
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kAlarmClock));
    a->soundAlarm(f.ctx, dt(2025, 3, 1, 8), true);
    a->soundAlarm(f.ctx, dt(2025, 3, 1, 8), false);
    EXPECT_EQ(f.ctx.alarmsSounded, 1);
    ASSERT_EQ(f.performer.calls.size(), 6u);
    EXPECT_EQ(f.performer.calls[0].what, "window");
    EXPECT_EQ(f.performer.calls[1].what, "sound");
    EXPECT_EQ(f.performer.calls[2].what, "clock");
    EXPECT_TRUE(f.performer.calls[0].timed);
    EXPECT_FALSE(f.performer.calls[3].timed);
    EXPECT_EQ(f.performer.calls[0].alarm, a.get());

    f.ctx.alarmsSounded = INT32_MAX;
    a->soundAlarm(f.ctx, dt(2025, 3, 1, 8), true);
    EXPECT_EQ(f.ctx.alarmsSounded, INT32_MAX);
}

TEST(AlarmRecord, DisplayItemsComeFromTheLanguageFile) {
    ModelFixture f;
    auto g = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 2, kDays);
    g->addAlarm(a);
    a->name = "Water the plants";
    a->activePeriod = Alarm::kRestrictWeekdays | Alarm::kRestrictExpression;
    a->weekDays = 2 | 32;
    a->activeAdvanced = "MONTH >= 4";
    a->correctionAmount = 10;
    a->correctionUnit = kMinutes;
    a->durationAmount = 15;
    a->durationUnit = kMinutes;
    a->importance = 1;
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kShowMessage));
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kTellTime));

    const auto items = a->getStringItems(f.ctx);
    ASSERT_EQ(items.size(), 14u);
    EXPECT_EQ(items[0], "Water the plants");
    EXPECT_EQ(items[1], "active");
    EXPECT_EQ(items[2], "2025/04/07 08:10:00");  // first Monday or Friday of April on the grid
    EXPECT_EQ(items[3],
              "every 2 days from 2025/01/01 08:00:00, on Monday Friday, when MONTH >= 4"
              ", corrected by +10 minutes");
    EXPECT_EQ(items[4], "Show message; Tell the time; ");
    EXPECT_EQ(items[5], "15 minutes");
    EXPECT_EQ(items[6], "high");
    for (std::size_t i = 7; i < 14; ++i) EXPECT_FALSE(items[i].empty()) << i;
    EXPECT_EQ(items[7], std::to_string(kWindowTextColour));  // no colour scheme

    const std::string tip = a->getToolTip(f.ctx);
    EXPECT_EQ(tip.substr(0, 24), "Name: Water the plants\r\n");
    EXPECT_NE(tip.find("Importance: high\r\n"), std::string::npos);

    auto once = ModelFixture::once(dt(2025, 3, 1, 8));
    EXPECT_EQ(once->getDateTimeDescriptionItems(f.ctx)[0], "once at 2025/03/01 08:00:00");
    EXPECT_EQ(once->getStringItems(f.ctx)[2], "none");  // the clock says 29 March
    EXPECT_EQ(once->getActionDescriptionItems(f.ctx)[1], "0");

    auto broken = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
    broken->activePeriod = Alarm::kRestrictExpression;
    broken->activeAdvanced = "((";
    std::vector<std::string> logged;
    f.ctx.log = [&](const std::string& m) { logged.push_back(m); };
    EXPECT_EQ(broken->getStringItems(f.ctx)[2], "none");
    EXPECT_EQ(logged.size(), 1u);
}

// A search that gave up says so in the lists, whichever way the correction
// moved the given-up date.
TEST(AlarmRecord, GivenUpSearchShowsItsOwnTextWithACorrection) {
    ModelFixture f;
    for (const auto& [amount, unit] :
         {std::pair{0, int{kMinutes}}, std::pair{-1, int{kHours}}, std::pair{2, int{kDays}}}) {
        auto a = ModelFixture::periodic(dt(2025, 1, 1, 8), 1, kDays);
        a->activePeriod = Alarm::kRestrictWeekdays;
        a->weekDays = 0;
        a->correctionAmount = amount;
        a->correctionUnit = static_cast<std::int16_t>(unit);
        const auto items = a->getStringItems(f.ctx);
        EXPECT_EQ(items[2], "given up") << amount << " in unit " << unit;
        EXPECT_EQ(items[9], std::to_string(kWindowTextColour)) << amount << " in unit " << unit;
    }
}

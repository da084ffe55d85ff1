// Reminders before an alarm: their stored form, what a hostile file makes of
// them, and the moments they come at.

#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

AlarmPtr readAlarm(const std::string& xml) {
    return Alarm::createFromXML(*XMLNode::createFromXML(xml), nullptr);
}

}  // namespace

TEST(Reminders, AreWrittenLastOnlyWhenSetAndReadBackUnchanged) {
    ModelFixture f;
    auto a = Alarm::createDefaultAlarm(f.ctx);
    EXPECT_EQ(a->toXML("alrm")->findNode(kRemindersElement), nullptr);

    a->reminders = {{1, kDays}, {15, kMinutes}};
    const auto x = a->toXML("alrm");
    EXPECT_EQ(childNames(*x).back(), kRemindersElement);
    const std::string text = x->toString();
    EXPECT_NE(text.find("<rmds><rmd><a>1</a><u>3</u></rmd><rmd><a>15</a><u>1</u></rmd></rmds>"),
              std::string::npos)
        << text;
    auto b = readAlarm(text);
    EXPECT_EQ(b->reminders, a->reminders);
    EXPECT_EQ(b->toXML("alrm")->toString(), text);
    // An edited copy, as the alarm dialog makes it, keeps them too.
    EXPECT_EQ(Alarm::createFromXML(*b->toXML("alrm"), nullptr)->reminders, a->reminders);
}

TEST(Reminders, HostileEntriesAreSkippedAndTheRestPutInOrder) {
    std::string many;
    for (int i = 0; i < 50; ++i)
        many += "<rmd><a>" + std::to_string(i + 1) + "</a><u>0</u></rmd>";
    const std::string xml =
        "<alrm><name>x</name><rmds>"
        "<rmd><a>0</a><u>1</u></rmd>"                     // nothing before
        "<rmd><a>-5</a><u>1</u></rmd>"                    // after the alarm
        "<rmd><a>99999999999999999999</a><u>1</u></rmd>"  // beyond every range
        "<rmd><a>10000</a><u>1</u></rmd>"                 // beyond the largest amount
        "<rmd><a>5x</a><u>1</u></rmd>"                    // no number
        "<rmd><a>5</a><u>7</u></rmd>"                     // no unit
        "<rmd><a>5</a></rmd>"                             // no unit at all
        "<rmd><a>60</a><u>1</u></rmd>"                    // an hour ...
        "<rmd><a>1</a><u>2</u></rmd>"                     // ... twice
        "<rmd><a>2</a><u>3</u></rmd>"
        "<rmd><a>10</a><u>1</u></rmd>"
        "</rmds><rmds><rmd><a>3</a><u>3</u></rmd></rmds><name>y</name></alrm>";
    auto a = readAlarm(xml);
    EXPECT_EQ(a->name, "x");
    EXPECT_EQ(a->reminders, (std::vector<Reminder>{{2, kDays}, {60, kMinutes}, {10, kMinutes}}));
    EXPECT_TRUE(a->Active);
    EXPECT_TRUE(a->rangeFault.empty());

    // Thousands of them keep only the most an alarm holds.
    auto b = readAlarm("<alrm><rmds>" + many + "</rmds></alrm>");
    ASSERT_EQ(b->reminders.size(), static_cast<std::size_t>(kMaxReminders));
    EXPECT_EQ(b->reminders.front().amount, 32);  // the longest of those looked at first
}

TEST(Reminders, MomentsAndTheStretchWorthLookingAt) {
    EXPECT_EQ(reminderMoment(dt(2025, 3, 31, 9), {1, kMonths}), dt(2025, 2, 28, 9));
    EXPECT_EQ(reminderMoment(dt(2025, 3, 31, 9), {90, kMinutes}), dt(2025, 3, 31, 7, 30));
    EXPECT_EQ(reminderMoment(dt(2025, 3, 10, 9), {1, kWeeks}), dt(2025, 3, 3, 9));
    // The latest alarm a reminder at `from` can stand for lies within the horizon,
    // also where the month clamps the day.
    const DateTime from = dt(2025, 2, 28, 9);
    EXPECT_LE(dt(2025, 3, 31, 9), reminderHorizon(from, {{1, kMonths}, {5, kMinutes}}));
    EXPECT_EQ(reminderHorizon(from, {{5, kMinutes}, {2, kHours}}), dt(2025, 2, 28, 11));
}

TEST(Reminders, TheToolTipNamesThem) {
    ModelFixture f;
    std::string lng = kTestLanguage;
    lng.replace(lng.find("[Alarm]\n"), 8, "[Alarm]\ns400=Reminders\ns401=#1 #2 before\n");
    lng.replace(lng.find("[Strings]\n"), 10, "[Strings]\ns34=day\n");
    ASSERT_TRUE(writeFile(f.folder.file("English.lng"), lng));
    f.translation.setLanguage("English");
    auto a = ModelFixture::once(dt(2025, 4, 1, 9));
    EXPECT_EQ(a->getToolTip(f.ctx).find("Reminders"), std::string::npos);
    a->reminders = {{1, kDays}, {15, kMinutes}};
    const std::string tip = a->getToolTip(f.ctx);
    EXPECT_NE(tip.find("Reminders: 1 day before, 15 minutes before"), std::string::npos) << tip;
}

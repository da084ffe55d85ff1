// The personal assistant: greeting by the time of day, the two blocks that
// count the alarms ahead, the two-hour pause and silence while blocked; and
// the shipped language file's assistant texts.

#include <charconv>
#include <set>

#include "base/inifile.h"
#include "core/corefixture.h"

using namespace qv;
using namespace qv::test;

namespace {

const char* kAssistantTexts = R"(
[Strings]
s21=seconds
s22=minutes
s23=hours
s24=days
s25=months
s26=years
s27=weeks
[assistant]
s0=greeting 0
s1=greeting 1
s2=greeting 2
s3=greeting 3
s101=none in #2
s102=one in #2
s103=#1 in #2, #1 in all
s104=12
s105=2
s106=-2
s107=busy: #1
s108=3
s201=nothing important this week
s202=one important in #2
s203=#1 important in #2
s204=7
s205=3
s206=1
s300=bye
s401= 7 
s402=-2
s403=12abc
s404=99999999999
s405=+4
s406=
s601=none
s602=one
s603=#1
s604=7
s605=12
s701=none
s702=one
s703=#1
s704=2000000000
s705=5
s706=-2
)";

struct Secretary : ::testing::Test, CoreFixture {
    Secretary() {
        EXPECT_TRUE(
            writeFile(folder.file("Assist.lng"), std::string(kTestLanguage) + kAssistantTexts));
        p().translation.setLanguage("Assist");
        clock.set(dt(2025, 3, 29, 10, 0, 0));
    }
    modSecretary& secretary() { return p().secretary; }
    std::vector<std::string> spoken() const {
        std::vector<std::string> out;
        for (const auto& c : performer.calls)
            if (c.what == "speak") out.push_back(c.text);
        return out;
    }
    void runAt(DateTime when) {
        clock.set(when);
        secretary().runAssistant();
    }
};

TEST_F(Secretary, GreetingByTheQuarterOfTheDay) {
    const std::pair<int, const char*> cases[] = {{5 * 60 + 59, "greeting 0"},
                                                 {6 * 60, "greeting 1"},
                                                 {12 * 60, "greeting 2"},
                                                 {23 * 60 + 59, "greeting 3"}};
    for (const auto& [minute, greeting] : cases) {
        performer.calls.clear();
        secretary().lastAssistantRun = kDayZero;
        runAt(dt(2025, 3, 29, 0, minute, 0));
        ASSERT_FALSE(spoken().empty());
        EXPECT_EQ(spoken().front(), greeting) << minute;
    }
}

TEST_F(Secretary, TellsBothBlocksAndCloses) {
    const DateTime now = dt(2025, 3, 29, 10, 0, 0);
    addGroup("g", {onceAt(dt(2025, 3, 29, 10, 30, 0), "soon", -2),
                   onceAt(dt(2025, 3, 29, 21, 0, 0), "evening", 0),
                   onceAt(dt(2025, 3, 30, 9, 0, 0), "tomorrow", 0),
                   onceAt(dt(2025, 4, 2, 9, 0, 0), "important", 1)});
    runAt(now);
    EXPECT_EQ(spoken(), (std::vector<std::string>{"greeting 1", "2 in hours, 2 in all",
                                                  "one important in days", "bye"}));
    EXPECT_EQ(secretary().lastAssistantRun, now);
}

TEST_F(Secretary, BlockSentenceByTheNumberFound) {
    const DateTime now = dt(2025, 3, 29, 10, 0, 0);
    secretary().tellBlock(now, 100);
    auto group = addGroup("g", {onceAt(dt(2025, 3, 29, 11, 0, 0), "a")});
    secretary().tellBlock(now, 100);
    for (int h : {12, 13}) group->addAlarm(onceAt(dt(2025, 3, 29, h, 0, 0), "x"));
    secretary().tellBlock(now, 100);  // three reach the count for "busy"
    group->addAlarm(onceAt(dt(2025, 3, 29, 22, 0, 1), "beyond twelve hours"));
    secretary().tellBlock(now, 100);
    secretary().tellBlock(now, 200);  // none of them is important
    EXPECT_EQ(spoken(), (std::vector<std::string>{"none in hours", "one in hours", "busy: 3",
                                                  "busy: 3", "nothing important this week"}));
}

TEST_F(Secretary, LookAheadFromTheLanguageFileIsChecked) {
    addGroup("g", {dailyAt(dt(2025, 3, 1, 9, 0, 0), "daily")});
    const DateTime now = dt(2025, 3, 29, 10, 0, 0);
    secretary().tellBlock(now, 500);  // no keys at all
    secretary().tellBlock(now, 400);  // no amount (s404 is too large to be one)
    secretary().tellBlock(now, 600);  // unit 12 is no unit
    EXPECT_TRUE(spoken().empty());
    secretary().tellBlock(now, 700);  // two billion years are counted over one
    EXPECT_EQ(spoken(), std::vector<std::string>{"365"});
}

TEST_F(Secretary, RunsAtMostOnceWithinTwoHourBoundaries) {
    runAt(dt(2025, 3, 29, 10, 0, 0));
    runAt(dt(2025, 3, 29, 11, 59, 59));
    EXPECT_EQ(spoken().size(), 4u);
    // Hour boundaries count, not elapsed time: 10:59 to 12:00 crosses two.
    performer.calls.clear();
    secretary().lastAssistantRun = kDayZero;
    runAt(dt(2025, 3, 29, 10, 59, 0));
    runAt(dt(2025, 3, 29, 12, 0, 0));
    EXPECT_EQ(spoken().size(), 8u);
    EXPECT_EQ(secretary().lastAssistantRun, dt(2025, 3, 29, 12, 0, 0));
    // A clock set back by a day does not silence the assistant for a day.
    runAt(dt(2025, 3, 28, 12, 0, 0));
    EXPECT_EQ(spoken().size(), 12u);
}

TEST_F(Secretary, SilentWhileBlocked) {
    p().supervision.blocked = true;
    runAt(dt(2025, 3, 29, 10, 0, 0));
    EXPECT_TRUE(spoken().empty());
    EXPECT_EQ(secretary().lastAssistantRun, kDayZero);
    p().supervision.blocked = false;
    runAt(dt(2025, 3, 29, 10, 5, 0));
    EXPECT_EQ(spoken().size(), 4u);
}

TEST_F(Secretary, RunsFromTheInactivityCatchUpWhenSwitchedOn) {
    p().supervision.lastSupervised = dt(2025, 3, 29, 9, 0, 0);
    p().control.catchUpAfterInactivity();
    EXPECT_TRUE(spoken().empty());
    p().settings.epa = true;
    p().control.catchUpAfterInactivity();
    EXPECT_EQ(spoken().size(), 4u);
}

TEST_F(Secretary, NumbersFromTheLanguageFile) {
    const std::pair<int, int> cases[] = {{401, 7}, {402, -2}, {405, 4}, {403, 0},
                                         {404, 0}, {406, 0},  {101, 0}, {999, 0}};
    for (const auto& [key, value] : cases)
        EXPECT_EQ(secretary().getAssistantNumber(key), value) << key;
}

TEST_F(Secretary, VariantsArePickedFromTheClock) {
    ASSERT_TRUE(writeFile(folder.file("Assist.lng"),
                          std::string(kTestLanguage) + kAssistantTexts +
                              "s1r0=morning A\ns1r1=morning B\ns1r2=morning C\n"));
    clearProfileCache();
    std::set<std::string> greetings;
    std::string atSeven;
    for (int second = 0; second < 20; ++second) {
        performer.calls.clear();
        secretary().lastAssistantRun = kDayZero;
        runAt(dt(2025, 3, 29, 8, 0, second));
        greetings.insert(spoken().front());
        if (second == 7) atSeven = spoken().front();
    }
    EXPECT_EQ(greetings, (std::set<std::string>{"morning A", "morning B", "morning C"}));
    performer.calls.clear();
    secretary().lastAssistantRun = kDayZero;
    runAt(dt(2025, 3, 29, 8, 0, 7));
    EXPECT_EQ(spoken().front(), atSeven);
}

TEST(ShippedAssistant, EnglishGivesEveryTextTheAssistantUses) {
    const Folders shipped = Folders::forFolder(std::string(QUORVANE_SOURCE_DIR) + "/data");
    RandomSource random(1);
    modTranslation t(shipped, random);
    t.setLanguage("English");
    ASSERT_TRUE(t.languageFileExists());
    auto has = [&](const std::string& key) {
        return !t.readKey("assistant", key, "\x01missing").starts_with("\x01");
    };
    auto number = [&](int n, int& value) {
        const std::string text = t.readKey("assistant", "s" + std::to_string(n), "");
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    };
    for (int g = 0; g <= 3; ++g)
        EXPECT_TRUE(has("s" + std::to_string(g)) || has("s" + std::to_string(g) + "r0")) << g;
    for (int block : {100, 200}) {
        for (int sentence : {1, 2, 3})
            EXPECT_TRUE(has("s" + std::to_string(block + sentence))) << block + sentence;
        int amount = 0, unit = -1, importance = 0, manyFrom = 0;
        EXPECT_TRUE(number(block + 4, amount) && amount > 0) << block;
        EXPECT_TRUE(number(block + 5, unit) && unit >= kSeconds && unit <= kWeeks) << block;
        EXPECT_TRUE(number(block + 6, importance)) << block;
        EXPECT_TRUE(number(block + 8, manyFrom)) << block;
        if (manyFrom > 0) {
            EXPECT_TRUE(has("s" + std::to_string(block + 7))) << block;
        }
    }
    EXPECT_TRUE(has("s300"));
    for (int n = 21; n <= 27; ++n)
        EXPECT_EQ(t.getString(n).find("not found"), std::string::npos) << n;
}

}  // namespace

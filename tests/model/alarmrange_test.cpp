// Whole numbers of an alarm element beyond what their fields hold: the alarm is
// loaded turned off with the field named, the number clamped rather than taken
// for the default, and the element written back unchanged until it is edited.
// What the dialogs or older versions store stays as it was.

#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// A daily alarm with one message action; `extra` children are added, and an
// `acti` element replaces the plain one when given.
std::string element(const std::string& extra, const std::string& action = {}) {
    // The extra children come first: of two children of a name, the first counts.
    return "<alrm><name>Tea</name>" + extra + "<datk>1</datk><nexd>2025/03/31 08:00:00</nexd>" +
           (action.empty() ? std::string("<acti><acid>1</acid><plug></plug><sett></sett></acti>")
                           : action) +
           "<stat>-1</stat></alrm>";
}

AlarmPtr load(const std::string& xml) {
    return Alarm::createFromXML(*XMLNode::createFromXML(xml), nullptr);
}

}  // namespace

TEST(AlarmRange, NumbersBeyondTheirFieldTurnTheAlarmOffAndAreNamed) {
    struct Case {
        std::string extra, action, fault;
    };
    const std::vector<Case> cases = {
        {"<perl>4294967297</perl><peru>0</peru>", "", "perl = 4294967297"},
        {"<perl>-2147483649</perl>", "", "perl = -2147483649"},
        {"<perl>1e10</perl>", "", "perl = 1e10"},
        {"<perl>1e400</perl>", "", "perl = 1e400"},
        {"<datk>70000</datk>", "", "datk = 70000"},
        {"<peru>7</peru>", "", "peru = 7"},
        {"<peru>-1</peru>", "", "peru = -1"},
        {"<actp>32768</actp>", "", "actp = 32768"},
        {"<wkds>99999</wkds>", "", "wkds = 99999"},
        {"<adda>2147483648</adda>", "", "adda = 2147483648"},
        {"<addu>9</addu>", "", "addu = 9"},
        {"<impr>3</impr>", "", "impr = 3"},
        {"<impr>-3</impr>", "", "impr = -3"},
        {"<dura>99999999999</dura>", "", "dura = 99999999999"},
        {"<duru>40000</duru>", "", "duru = 40000"},
        {"<lsa>32768</lsa>", "", "lsa = 32768"},
        {"<lsa>1</lsa><lsu>12</lsu>", "", "lsu = 12"},
        {"<lsa>1</lsa><lsat>-40000</lsat>", "", "lsat = -40000"},
        {"", "<acti><acid>65537</acid></acti>", "acid = 65537"},
        {"", "<acti><acid>8</acid><sett><i>1</i><i>0</i><i>100000</i></sett></acti>", "i = 100000"},
        {"", "<acti><acid>8</acid><sett><l>4294967296</l></sett></acti>", "l = 4294967296"},
        {"", "<acti><acid>1</acid><sett><i>-32769</i></sett></acti>", "i = -32769"},
    };
    for (const Case& c : cases) {
        const std::string xml = element(c.extra, c.action);
        const AlarmPtr a = load(xml);
        EXPECT_FALSE(a->Active) << xml;
        EXPECT_EQ(a->rangeFault, c.fault) << xml;
        // Written back as stored, however many times.
        EXPECT_EQ(a->toXML("alrm")->toString(), XMLNode::createFromXML(xml)->toString()) << xml;
        EXPECT_FALSE(a->changed);
    }
    // Clamped, not the default: no period of one second comes out of a huge one.
    EXPECT_EQ(load(element("<perl>4294967297</perl>"))->everyAmount, INT32_MAX);
    EXPECT_EQ(load(element("<perl>-1e12</perl>"))->everyAmount, INT32_MIN);
    EXPECT_EQ(load(element("<lsa>32768</lsa>"))->lastSnoozeAmount, 32767);
    // A code outside its list takes the field's default.
    EXPECT_EQ(load(element("<peru>7</peru>"))->everyUnit, kDays);
    EXPECT_EQ(load(element("<impr>3</impr>"))->importance, 0);
    // Only the first is named.
    EXPECT_EQ(load(element("<perl>1e10</perl><impr>9</impr>"))->rangeFault, "perl = 1e10");
}

TEST(AlarmRange, WhatTheDialogsAndEarlierVersionsStoreStaysValid) {
    const std::vector<std::string> extras = {
        "<perl>2147483647</perl><peru>5</peru>",  // the largest period the dialog takes
        "<perl>0</perl><datk>0</datk>",           // new alarms keep a period of 0
        "<perl>-5</perl>",                        // never due, but no harm
        "<datk>-32768</datk><actp>32767</actp><wkds>-1</wkds>",
        "<adda>-2147483648</adda><addu>6</addu>",
        "<impr>-2</impr><dura>2147483647</dura><duru>0</duru>",
        "<lsa>-32768</lsa><lsu>6</lsu><lsat>32767</lsat>",
        "<perl> 12 </perl><dura>1.5</dura><impr>2.4</impr>",
        "<perl>often</perl><impr></impr>",  // no number at all: the defaults, as ever
        "<perl>1e-400</perl>",
    };
    for (const std::string& extra : extras) {
        const std::string xml = element(extra);
        const AlarmPtr a = load(xml);
        EXPECT_TRUE(a->Active) << xml;
        EXPECT_EQ(a->rangeFault, "") << xml;
    }
    // A plug-in's settings and an unknown action type are not ours to judge.
    EXPECT_TRUE(load(element("", "<acti><acid>16</acid><sett><i>99999</i><l>1e20</l></sett></acti>"))
                    ->Active);
    EXPECT_TRUE(load(element("", "<acti><acid>99</acid><sett><i>99999</i></sett></acti>"))->Active);
}

TEST(AlarmRange, AnEditedAlarmIsWrittenAsItIsNow) {
    const AlarmPtr a = load(element("<perl>4294967297</perl><peru>0</peru>"));
    ASSERT_FALSE(a->Active);
    a->everyAmount = 30;
    a->Active = true;
    a->setChanged();
    EXPECT_EQ(a->rangeFault, "");
    const XMLNodePtr written = a->toXML("alrm");
    EXPECT_EQ(written->getLong("perl", 0, 0), 30);
    EXPECT_TRUE(written->getBoolean("stat", 0, false));
    const AlarmPtr again = Alarm::createFromXML(*written, nullptr);
    EXPECT_TRUE(again->Active);
    EXPECT_EQ(again->rangeFault, "");
}

TEST(AlarmRange, GroupsNameTheirTurnedOffAlarms) {
    ModelFixture f;
    const auto g = AlarmGroup::createFromXML(
        f.ctx, "<algr><name>Work</name>" + element("<perl>4294967297</perl>") +
                   "<alrm><name>Fine</name></alrm></algr>");
    EXPECT_EQ(describeRangeFaults({g}),
              (std::vector<std::string>{"Work: Tea (perl = 4294967297)"}));
    // A turned-off alarm has no next moment for the supervision.
    Vector<AlarmGroup> groups;
    groups.addElement(g);
    EXPECT_TRUE(getEarliestAlarmsAfter(groups, dt(2025, 3, 31, 7, 0), false).alarms.empty());
}

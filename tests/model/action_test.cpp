#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

ActionPtr fromXML(const std::string& xml, const AlarmPtr& owner) {
    auto a = clsAction::createFromXML(*XMLNode::createFromXML(xml));
    a->al = owner;
    return a;
}

}  // namespace

TEST(Action, MissingChildrenLoadAsTypeZeroWhichShowsText901) {
    ModelFixture f;
    auto alarm = ModelFixture::once(dt(2025, 3, 1));
    auto a = fromXML("<acti><sett><s>x</s></sett></acti>", alarm);
    EXPECT_EQ(a->action, 0);
    EXPECT_EQ(a->plugin, "");
    EXPECT_EQ(a->settings->getString("s"), "x");
    a->doAction(f.ctx, dt(2025, 3, 1), true);
    ASSERT_EQ(f.performer.calls.size(), 1u);
    EXPECT_EQ(f.performer.calls[0].what, "window");
    EXPECT_EQ(f.performer.calls[0].text, "Unknown action");
    // Without a "sett" child the settings are an empty element, written back as such.
    auto bare = fromXML("<acti><acid>2</acid></acti>", alarm);
    EXPECT_EQ(bare->toXML("acti")->toString(), "<acti><acid>2</acid><plug></plug><sett></sett></acti>");
}

TEST(Action, DefaultsComeFromTheLanguageFile) {
    ModelFixture f;
    auto alarm = ModelFixture::once(dt(2025, 3, 1));
    auto sound = clsAction::Create(f.ctx, alarm, clsAction::kPlaySound);
    EXPECT_EQ(sound->settings->toString(), "<sett><s>*.wav</s><i>0</i></sett>");
    EXPECT_EQ(sound->al.lock(), alarm);
    auto speak = clsAction::Create(f.ctx, alarm, clsAction::kSpeak);  // no e2 key
    EXPECT_EQ(speak->settings->toString(), "<sett></sett>");
    auto plugin = clsAction::Create(f.ctx, alarm, clsAction::kPlugIn);
    EXPECT_EQ(plugin->settings->toString(), "<sett></sett>");
    EXPECT_EQ(sound->getDescription(f.ctx), "Play sound");
}

TEST(Action, EachTypeReachesItsPerformer) {
    ModelFixture f;
    auto alarm = ModelFixture::once(dt(2025, 3, 1));
    const DateTime due = dt(2025, 3, 1, 8);
    auto run = [&](int type, const std::string& sett) {
        f.performer.calls.clear();
        f.commands.calls.clear();
        fromXML("<acti><acid>" + std::to_string(type) + "</acid><sett>" + sett + "</sett></acti>", alarm)
            ->doAction(f.ctx, due, true);
    };
    run(3, "<s>Wake up</s><i>1</i>");
    ASSERT_EQ(f.performer.calls.size(), 2u);
    EXPECT_EQ(f.performer.calls[0].what, "window");
    EXPECT_EQ(f.performer.calls[0].text, "");
    EXPECT_EQ(f.performer.calls[0].due, due);
    EXPECT_EQ(f.performer.calls[1].text, "Wake up");
    for (int type : {4, 5, 6}) {
        run(type, "<s>notepad.exe|readme.txt|/tmp</s>");
        EXPECT_EQ(f.commands.calls, std::vector<std::string>{"run:notepad.exe|readme.txt|/tmp"});
    }
    run(8, "<s>*.ogg</s>");
    EXPECT_EQ(f.performer.calls[0].what, "sound");
    EXPECT_EQ(f.performer.calls[0].text, "settings");  // the settings' sound options apply
    run(9, "<s>It is &lt;h&gt;</s>");
    EXPECT_EQ(f.performer.calls[0].text, "now \"It is <h>\"");
    run(10, "<s>&lt;d&gt; days</s><d>2025/12/24 00:00:00</d>");
    EXPECT_EQ(f.performer.calls[0].text, "unt \"<d> days\" \"2025/12/24 00:00:00\"");
    run(11, "<s>since</s><d>2025/01/01 00:00:00</d>");
    EXPECT_EQ(f.performer.calls[0].text, "sin \"since\" \"2025/01/01 00:00:00\"");
    run(12, "");
    run(13, "");
    run(14, "");
    run(15, "");
    EXPECT_EQ(f.commands.calls, std::vector<std::string>{"logoff"});
    run(17, "");
    EXPECT_EQ(f.performer.calls[0].what, "clock");
    run(18, "");
    EXPECT_EQ(f.performer.calls[0].text, "Unknown action");
}

TEST(Action, PlugInActionShowsItsErrorInTheAlarmWindow) {
    ModelFixture f;
    auto alarm = ModelFixture::once(dt(2025, 3, 1));
    alarm->name = "lamp";
    auto a = fromXML("<acti><acid>16</acid><plug>QuorvaneX*Lamp</plug><sett><on>1</on></sett></acti>",
                     alarm);
    EXPECT_EQ(a->getDescription(f.ctx), "Switch the lamp");

    f.plugIns.answers["Execute"] = "<xml><success></success></xml>";
    a->doAction(f.ctx, dt(2025, 3, 1), true);
    EXPECT_TRUE(f.performer.calls.empty());
    ASSERT_EQ(f.plugIns.calls.size(), 1u);
    EXPECT_EQ(f.plugIns.calls[0].identifier, "QuorvaneX*Lamp");
    EXPECT_EQ(f.plugIns.calls[0].method, "Execute");
    EXPECT_EQ(f.plugIns.calls[0].parameters.rfind(
                  "<language>English</language><sett><on>1</on></sett><alrm><name>lamp</name>", 0),
              0u);

    f.plugIns.answers["Execute"] = "<xml><error>bulb broken</error></xml>";
    a->doAction(f.ctx, dt(2025, 3, 1), true);
    f.plugIns.answers["Execute"] = "<xml><error></error></xml>";
    a->doAction(f.ctx, dt(2025, 3, 1), true);
    f.plugIns.answers.clear();  // no plug-in at all: empty answer
    a->doAction(f.ctx, dt(2025, 3, 1), true);
    f.ctx.safeMode = true;
    a->doAction(f.ctx, dt(2025, 3, 1), true);
    ASSERT_EQ(f.performer.calls.size(), 4u);
    EXPECT_EQ(f.performer.calls[0].text, "bulb broken");
    EXPECT_EQ(f.performer.calls[1].text, " ");
    EXPECT_EQ(f.performer.calls[2].text, " ");
    EXPECT_EQ(f.performer.calls[3].text, "Plug-ins are off in safe mode");
}

TEST(Action, ColoursComeFromTheScheme) {
    ModelFixture f;
    auto alarm = ModelFixture::once(dt(2025, 3, 1));
    auto speak = clsAction::Create(f.ctx, alarm, clsAction::kSpeak);
    auto plugin = fromXML("<acti><acid>16</acid><plug>QuorvaneX*Lamp</plug></acti>", alarm);
    EXPECT_EQ(speak->getActionColorString(f.ctx), "0");  // no scheme
    ASSERT_TRUE(writeFile(f.folder.file("test.csc"),
                          "[Colors]\ns30=#010000\ns32=#00FF00\nQuorvaneX*Lamp=#0000FF\n"));
    f.colours.setSchemeName("test");
    f.colours.loadColourScheme();
    EXPECT_EQ(speak->getActionColorString(f.ctx), "65280");
    EXPECT_EQ(clsAction::Create(f.ctx, alarm, 7)->getActionColorString(f.ctx), "1");  // base colour
    EXPECT_EQ(plugin->getActionColorString(f.ctx), "16711680");
    EXPECT_EQ(fromXML("<acti><acid>16</acid><plug>Other*X</plug></acti>", alarm)
                  ->getActionColorString(f.ctx),
              "1");
    EXPECT_EQ(fromXML("<acti><acid>99</acid></acti>", alarm)->getActionColorString(f.ctx), "1");
}

// The plug-in host against real components: the shipped example and test
// components built for these tests, good and broken.

#include <gtest/gtest.h>

#include "base/files.h"
#include "plugins/hostfixture.h"
#include "xml/xmlnode.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using Ids = std::vector<std::string>;

TEST(PlugInHost, DiscoveryFillsTheTypeListsInOrderAndSkipsFilesThatDoNotLoad) {
    HostFixture f({"QuorvaneTestGood.so", "QuorvaneTestWrongIid.so", "QuorvaneTestNotAPlugIn.so",
                   "bin:QuorvaneExample.so"});
    f.host.loadPlugins();

    // Files in name order: Example, then TestGood; a name listed twice under
    // one type is entered once, an unknown type not at all.
    EXPECT_EQ(f.list(clsPlugIn::kAction), (Ids{"QuorvaneExample*Note", "QuorvaneTestGood*Act"}));
    EXPECT_EQ(f.list(clsPlugIn::kGeneralPurpose),
              (Ids{"QuorvaneExample*Greeter", "QuorvaneTestGood*Keeper"}));
    EXPECT_EQ(f.list(clsPlugIn::kFileExport), (Ids{"QuorvaneTestGood*Files"}));
    EXPECT_EQ(f.list(clsPlugIn::kFileImport), (Ids{"QuorvaneTestGood*Files"}));
    EXPECT_EQ(f.list(clsPlugIn::kSynchronization), (Ids{"QuorvaneTestGood*Sync"}));
    EXPECT_EQ(f.list(clsPlugIn::kImport), (Ids{"QuorvaneTestGood*Groups"}));

    // The two broken files are recorded with the reason and never called.
    ASSERT_EQ(f.host.loadErrors().size(), 2u);
    EXPECT_NE(f.host.loadErrors()[0].file.find("QuorvaneTestNotAPlugIn.so"), std::string::npos);
    EXPECT_NE(f.host.loadErrors()[0].error.find("not a Qt plugin"), std::string::npos);
    EXPECT_NE(f.host.loadErrors()[1].file.find("QuorvaneTestWrongIid.so"), std::string::npos);
    EXPECT_NE(f.host.loadErrors()[1].error.find("org.example.SomethingElse/1"), std::string::npos);
    // Until someone opens the plug-ins window, the log says why.
    const std::string log = readFile(f.folder.file("quorvane.log"));
    EXPECT_NE(log.find("QuorvaneTestWrongIid.so"), std::string::npos) << log;
    EXPECT_NE(log.find("QuorvaneTestNotAPlugIn.so"), std::string::npos) << log;
    // A stored identifier of a broken component fails at once, without new reports.
    EXPECT_EQ(f.host.methodCall("QuorvaneTestWrongIid*Files", "GetExpFileFormats", "", false), "");
    EXPECT_EQ(f.host.methodCall("QuorvaneTestNotAPlugIn*X", "Run", "", false), "");
    EXPECT_EQ(f.host.loadErrors().size(), 2u);

    // Descriptions were asked in the current language; formats serve the lookups.
    EXPECT_EQ(f.host.actionDescription("QuorvaneTestGood*Act"), "Act in English");
    EXPECT_EQ(f.host.actionDescription("QuorvaneExample*Note"), "Example note");
    EXPECT_EQ(f.host.synchDescription("QuorvaneTestGood*Sync"), "Sync");
    EXPECT_EQ(f.host.fileExportPlugInFor(".TQX"), "QuorvaneTestGood*Files");
    EXPECT_EQ(f.host.fileImportPlugInFor(".tqx"), "QuorvaneTestGood*Files");
    EXPECT_EQ(f.host.fileExportPlugInFor(".tq"), "");
    EXPECT_EQ(f.host.importFilters().stringAt(0), "Test groups (*.tqx)");

    // The envelope: plug-in name, method, the parameters as given.
    auto echo = XMLNode::createFromXML(
        f.host.methodCall("QuorvaneTestGood*Echo", "Probe", f.host.lang() + "<x>1</x>", false));
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->getString("request"),
              "<xml><plugin>Echo</plugin><method>Probe</method><params><language>English"
              "</language><x>1</x></params></xml>");
    // Split at the first "*"; no "*" at all means no call.
    EXPECT_EQ(f.host.methodCall("QuorvaneTestGood", "Probe", "", false), "");
    EXPECT_EQ(f.host.methodCall("QuorvaneMissing*Echo", "Probe", "", false), "");
}

TEST(PlugInHost, DescriptionsFollowTheLanguageTheSettingsBring) {
    HostFixture f({"QuorvaneTestGood.so"});
    // As at start-up: the plug-ins are read before the settings.
    f.host.loadPlugins();
    EXPECT_EQ(f.host.actionDescription("QuorvaneTestGood*Act"), "Act in English");
    ASSERT_TRUE(writeFile(f.folder.file("Settings.lng"), kTestLanguage));
    ASSERT_TRUE(writeFile(f.p().settingsStore.settingsFilePath(),
                          "<settings><lng>Settings</lng></settings>"));
    ASSERT_TRUE(f.p().settingsStore.loadSettings(false));
    EXPECT_EQ(f.host.actionDescription("QuorvaneTestGood*Act"), "Act in Settings");
}

TEST(PlugInHost, ModelCallsRoundTripThroughRealComponents) {
    HostFixture f({"QuorvaneTestGood.so"});
    f.host.loadPlugins();
    ModelContext& ctx = f.p().ctx;

    // File export and import through the plug-in that owns the extension.
    auto group = AlarmGroup::createDefaultAlarmGroup(ctx);
    group->name = "Trip";
    auto alarm = ModelFixture::once(dt(2026, 5, 1, 8, 0, 0));
    alarm->name = "Wake";
    group->addAlarm(alarm);
    const std::string path = f.folder.file("trip.tqx");
    ASSERT_TRUE(group->save(ctx, path, true));
    ASSERT_TRUE(fs::exists(path));
    auto back = AlarmGroup::createAlarmGroupFromFile(ctx, path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, "Trip");
    ASSERT_EQ(back->alarms.numberOfElements(), 1);
    EXPECT_EQ(back->alarms.elementAt(0)->name, "Wake");

    // Synchronisation replaces the group's alarms with the plug-in's.
    group->synchPlugin = "QuorvaneTestGood*Sync";
    group->synchSettings = XMLNode::Create("syst");
    EXPECT_TRUE(group->synchronize(ctx));
    EXPECT_EQ(group->name, "Synced");
    ASSERT_EQ(group->alarms.numberOfElements(), 1);
    EXPECT_EQ(group->alarms.elementAt(0)->name, "From the plug-in");

    // An action plug-in's Execute gets the alarm and succeeds: no alarm window.
    auto action = clsAction::Create(ctx, alarm, clsAction::kPlugIn);
    action->plugin = "QuorvaneTestGood*Act";
    action->doAction(ctx, dt(2026, 5, 1, 8, 0, 0), true);
    EXPECT_TRUE(f.performer.calls.empty());
}

TEST(PlugInHost, SynchronisationReplacesTheGroupsAlarmsAndSavesThemAndAMissingPlugInKeepsThem) {
    HostFixture f({"QuorvaneTestGood.so"});
    f.host.loadPlugins();
    auto synced = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    synced->name = "Diary";
    synced->synchPlugin = "QuorvaneTestGood*Sync";
    synced->addAlarm(ModelFixture::once(dt(2026, 5, 1, 8, 0, 0)));
    auto orphan = AlarmGroup::createDefaultAlarmGroup(f.p().ctx);
    orphan->name = "Orphan";
    orphan->synchPlugin = "QuorvaneGone*Calendar";
    auto kept = ModelFixture::once(dt(2026, 5, 2, 8, 0, 0));
    kept->name = "Mine";
    orphan->addAlarm(kept);
    orphan->changed = false;
    kept->changed = false;
    f.p().alarmGroups.addElement(synced);
    f.p().alarmGroups.addElement(orphan);

    f.p().control.synchronizeAll();
    EXPECT_EQ(synced->name, "Synced");
    ASSERT_EQ(synced->alarms.numberOfElements(), 1);
    EXPECT_EQ(synced->alarms.elementAt(0)->name, "From the plug-in");
    ASSERT_EQ(orphan->alarms.numberOfElements(), 1);
    EXPECT_EQ(orphan->alarms.elementAt(0)->name, "Mine");
    EXPECT_FALSE(orphan->getChanged());

    // The replaced alarms reach the group's file.
    EXPECT_TRUE(f.p().supervision.pendingWork & pending::kSaveGroups);
    EXPECT_TRUE(f.p().main.saveChangedAlarmGroups());
    ASSERT_FALSE(synced->path.empty());
    const std::string file =
        readFile(AlarmGroup::resolvePath(synced->path, f.p().alarmGroupFolder()));
    EXPECT_NE(file.find("From the plug-in"), std::string::npos) << synced->path;
}

TEST(PlugInHost, KeptPlugInsArePolledAndReleasedWhenInactive) {
    HostFixture f({"QuorvaneTestGood.so"});
    f.host.loadPlugins();
    const std::string keeper = "QuorvaneTestGood*Keeper";

    auto run = XMLNode::createFromXML(f.host.methodCall(keeper, "Run", f.host.lang(), true));
    ASSERT_TRUE(run);
    EXPECT_GE(run->getNodeIndex("success"), 0);
    EXPECT_EQ(f.host.keptPlugIns(), (Ids{keeper}));

    // The supervision's timer polls the kept plug-ins on each of its ticks.
    auto tick = [&f] {
        f.clock.advance(1);
        f.p().control.onTimerTick();
    };
    tick();
    EXPECT_EQ(f.host.keptPlugIns(), (Ids{keeper}));

    // Quit through a fresh object; the next tick finds it inactive and lets go.
    EXPECT_NE(f.host.methodCall(keeper, "Quit", f.host.lang(), false), "");
    tick();
    EXPECT_TRUE(f.host.keptPlugIns().empty());
    EXPECT_EQ(f.host.callKept(keeper, "GetStatus"), "");

    f.host.methodCall(keeper, "Run", f.host.lang(), true);
    f.host.methodCall(keeper, "Run", f.host.lang(), true);
    EXPECT_EQ(f.host.keptPlugIns().size(), 2u);
    f.host.releaseAll();
    EXPECT_TRUE(f.host.keptPlugIns().empty());
}

TEST(PlugInHost, BrokenAnswersAndExceptionsAreEmptyAnswersAndTheCallFlagComesDown) {
    HostFixture f({"QuorvaneTestBadXml.so", "QuorvaneTestThrows.so"});
    f.p().modalOpen = false;
    f.host.loadPlugins();
    EXPECT_EQ(f.list(clsPlugIn::kAction),
              (Ids{"QuorvaneTestBadXml*BadAct", "QuorvaneTestThrows*Thrower"}));
    // The descriptions were asked of both and came back empty.
    EXPECT_EQ(f.host.actionDescriptions().numberOfElements(), 2);
    EXPECT_EQ(f.host.actionDescription("QuorvaneTestBadXml*BadAct"), "");

    f.ui.busyCalls.clear();
    EXPECT_EQ(f.host.methodCall("QuorvaneTestBadXml*Bad", "GetStatus", f.host.lang(), false), "");
    EXPECT_EQ(f.host.methodCall("QuorvaneTestThrows*Thrower", "Execute", f.host.lang(), false), "");
    // Each call: busy with the flag up, then not busy; the flag is down after
    // the throw too.
    const std::vector<std::pair<bool, bool>> expected = {
        {true, true}, {false, true}, {true, true}, {false, true}};
    EXPECT_EQ(f.ui.busyCalls, expected);
    EXPECT_FALSE(f.p().modalOpen);
    EXPECT_FALSE(f.ui.busy);

    // A throwing action plug-in is a failed action, shown as such, not a crash.
    auto alarm = ModelFixture::once(dt(2026, 5, 1, 8, 0, 0));
    auto action = clsAction::Create(f.p().ctx, alarm, clsAction::kPlugIn);
    action->plugin = "QuorvaneTestThrows*Thrower";
    action->doAction(f.p().ctx, dt(2026, 5, 1, 8, 0, 0), true);
    EXPECT_EQ(f.performer.calls.size(), 1u);

    // Kept objects answer through the same boundary.
    f.host.methodCall("QuorvaneTestThrows*Thrower", "Run", "", true);
    EXPECT_EQ(f.host.callKept("QuorvaneTestThrows*Thrower", "GetStatus"), "");
}

TEST(PlugInHost, SafeModeCreatesNoPlugInObjects) {
    HostFixture f({"QuorvaneTestGood.so", "QuorvaneTestNotAPlugIn.so"});
    f.p().safeMode = true;
    f.host.loadPlugins();
    for (int t = 0; t < clsPlugIn::kTypeCount; ++t) EXPECT_TRUE(f.list(t).empty());
    EXPECT_TRUE(f.host.loadErrors().empty());  // not even opened
    EXPECT_EQ(f.host.methodCall("QuorvaneTestGood*Keeper", "Run", "", true), "");
    EXPECT_TRUE(f.host.keptPlugIns().empty());
    EXPECT_EQ(f.host.createObject("QuorvaneTestGood", "PlugIn"), nullptr);
}

}  // namespace
}  // namespace qv::test

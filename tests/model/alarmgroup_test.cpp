#include <filesystem>
#include <functional>

#include "base/files.h"
#include "model/clsadvanceddate.h"
#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

const char* kTwoAlarms =
    "<algr><name>Home</name><stat>-1</stat><chsi>0</chsi><colr>255</colr><sync></sync>"
    "<syst></syst><alrm><name>a</name><datk>0</datk><oncd>2025/04/01 08:00:00</oncd></alrm>"
    "<alrm><name>b</name><datk>1</datk><nexd>2025/01/01 09:00:00</nexd></alrm></algr>";

}  // namespace

TEST(AlarmGroup, RootWithOnlyANameLoadsAsAnEmptyActiveGroup) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(f.ctx, "<algr><name>A</name></algr>");
    EXPECT_EQ(g->name, "A");
    EXPECT_TRUE(g->Active);
    EXPECT_TRUE(g->changedSinceImport);
    EXPECT_EQ(g->Color, kWindowTextColour);
    EXPECT_EQ(g->numberOfAlarms(), 0);
    EXPECT_EQ(g->synchSettings->name, "syst");
    auto unnamed = AlarmGroup::createFromXML(f.ctx, "<algr></algr>");
    EXPECT_EQ(unnamed->name, "New group");
}

TEST(AlarmGroup, TemplateIsWrittenBetweenColourAndSync) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(f.ctx, kTwoAlarms);
    EXPECT_EQ(childNames(*g->toXML()), (std::vector<std::string>{"name", "stat", "chsi", "colr",
                                                                 "sync", "syst", "alrm", "alrm"}));
    g->template_ = "<tmpl><name>x</name></tmpl>";
    auto x = g->toXML();
    EXPECT_EQ(childNames(*x), (std::vector<std::string>{"name", "stat", "chsi", "colr", "tmpl",
                                                        "sync", "syst", "alrm", "alrm"}));
    auto again = AlarmGroup::createFromXML(f.ctx, x->toString());
    EXPECT_EQ(again->template_, "<tmpl><name>x</name></tmpl>");
    auto t = again->getTemplateAlarm(f.ctx);
    EXPECT_EQ(t->name, "x");
    EXPECT_EQ(t->parentGroup(), again);
}

TEST(AlarmGroup, TemplateAlarmFallsBackToTheSettingThenTheDefault) {
    ModelFixture f;
    auto g = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    EXPECT_EQ(g->getTemplateAlarm(f.ctx)->name, "New alarm");
    f.settings.tmpl = "<tmpl><name>from settings</name><datk>1</datk></tmpl>";
    auto t = g->getTemplateAlarm(f.ctx);
    EXPECT_EQ(t->name, "from settings");
    EXPECT_EQ(t->momentKind, 1);
    EXPECT_EQ(t->parentGroup(), g);
}

TEST(AlarmGroup, OlderLayoutTemplateSurvivesASaveAndLoad) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(
        f.ctx, "<algr><name>old</name><type>0</type><syst><al><name>tpl</name></al></syst></algr>");
    ASSERT_FALSE(g->template_.empty());
    EXPECT_EQ(g->getTemplateAlarm(f.ctx)->name, "tpl");
    auto reloaded = AlarmGroup::createFromXML(f.ctx, g->toXML()->toString());
    EXPECT_EQ(reloaded->getTemplateAlarm(f.ctx)->name, "tpl");
    // A "tmpl" with children wins over the old place; a negative type is the new layout.
    auto both = AlarmGroup::createFromXML(f.ctx,
                                          "<algr><type>1</type><syst><al><name>old</name></al></"
                                          "syst><tmpl><name>new</name></tmpl></algr>");
    EXPECT_EQ(both->getTemplateAlarm(f.ctx)->name, "new");
    auto modern = AlarmGroup::createFromXML(
        f.ctx, "<algr><type>-1</type><syst><al><name>old</name></al></syst></algr>");
    EXPECT_TRUE(modern->template_.empty());
}

TEST(AlarmGroup, FilesInTheGroupFolderGetAnAgPath) {
    ModelFixture f;
    const std::string inside = f.ctx.alarmGroupFolder + "/usg_3.agx";
    ASSERT_TRUE(writeFile(inside, kTwoAlarms));
    auto g = AlarmGroup::createAlarmGroupFromFile(f.ctx, inside);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->path, "agPath/usg_3.agx");
    EXPECT_EQ(AlarmGroup::resolvePath(g->path, f.ctx.alarmGroupFolder), inside);
    EXPECT_EQ(AlarmGroup::resolvePath("agPath\\usg_3.agx", f.ctx.alarmGroupFolder), inside);
    EXPECT_EQ(g->numberOfAlarms(), 2);
    EXPECT_FALSE(g->getChanged());

    std::filesystem::create_directory(f.ctx.alarmGroupFolder + "2");
    const std::string beside = f.ctx.alarmGroupFolder + "2/usg_1.agx";
    ASSERT_TRUE(writeFile(beside, kTwoAlarms));
    EXPECT_EQ(AlarmGroup::createAlarmGroupFromFile(f.ctx, beside)->path, beside);
}

TEST(AlarmGroup, ForeignOrBrokenFilesGiveNoGroupAndStayUntouched) {
    ModelFixture f;
    const std::string upper = f.folder.file("x.AGX");
    ASSERT_TRUE(writeFile(upper, kTwoAlarms));
    EXPECT_FALSE(AlarmGroup::createAlarmGroupFromFile(f.ctx, upper));  // no import plug-in for it
    EXPECT_FALSE(AlarmGroup::createAlarmGroupFromFile(f.ctx, f.folder.file("noextension")));
    EXPECT_FALSE(AlarmGroup::createAlarmGroupFromFile(f.ctx, f.folder.file("missing.agx")));

    const std::string broken = f.folder.file("broken.agx");
    const std::string text = "<algr><name>half</name><alrm><name>lost?</name>";
    ASSERT_TRUE(writeFile(broken, text));
    EXPECT_FALSE(AlarmGroup::createAlarmGroupFromFile(f.ctx, broken));
    EXPECT_EQ(readFile(broken), text);
}

TEST(AlarmGroup, SaveWritesTheFileAndClearsTheFlags) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(f.ctx, kTwoAlarms);
    g->elementAt(0)->setChanged();
    EXPECT_TRUE(g->getChanged());
    const std::string path = AlarmGroup::newFilePath(f.ctx.alarmGroupFolder);
    EXPECT_EQ(path, "agPath/usg_0.agx");
    ASSERT_TRUE(g->save(f.ctx, path, false));
    EXPECT_FALSE(g->getChanged());
    EXPECT_EQ(AlarmGroup::newFilePath(f.ctx.alarmGroupFolder), "agPath/usg_1.agx");
    auto back = AlarmGroup::createAlarmGroupFromFile(f.ctx, f.ctx.alarmGroupFolder + "/usg_0.agx");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toXML()->toString(), g->toXML()->toString());

    // A manual save (an export) clears only the changed-since-import mark.
    g->changedSinceImport = true;
    g->setChanged();
    ASSERT_TRUE(g->save(f.ctx, f.folder.file("copy.agx"), true));
    EXPECT_FALSE(g->changedSinceImport);
    EXPECT_TRUE(g->changed);

    // Failures keep every flag.
    EXPECT_FALSE(g->save(f.ctx, f.folder.file("no/such/folder/x.agx"), false));
    EXPECT_FALSE(g->save(f.ctx, f.folder.file("x.ics"), false));
    EXPECT_FALSE(g->save(f.ctx, f.folder.file("noextension"), false));
    EXPECT_TRUE(g->changed);
}

TEST(AlarmGroup, ChangedSinceImportFollowsAnyChangedAlarm) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(f.ctx, kTwoAlarms);
    EXPECT_FALSE(g->getChangedSinceImport());
    g->elementAt(1)->setChanged();
    EXPECT_TRUE(g->getChangedSinceImport());
    EXPECT_EQ(g->toXML()->getString("chsi"), "-1");
}

TEST(AlarmGroup, ImportsAndExportsThroughFilePlugIns) {
    ModelFixture f;
    f.plugIns.importers[".ics"] = "QuorvaneCal*Importer";
    f.plugIns.exporters[".ics"] = "QuorvaneCal*Exporter";
    f.plugIns.answers["GetAlarmgroupFromFile"] =
        "<xml><algr><name>Imported</name><alrm><name>x</name></alrm></algr></xml>";
    auto g = AlarmGroup::createAlarmGroupFromImportedFile(f.ctx, "/tmp/a & b.ics");
    ASSERT_TRUE(g);
    ASSERT_EQ(f.plugIns.calls.size(), 1u);
    EXPECT_EQ(f.plugIns.calls[0].identifier, "QuorvaneCal*Importer");
    EXPECT_EQ(f.plugIns.calls[0].parameters,
              "<language>English</language><path>/tmp/a &amp; b.ics</path>");
    EXPECT_EQ(g->name, "Imported");
    EXPECT_FALSE(g->changedSinceImport);
    EXPECT_TRUE(g->changed);
    EXPECT_TRUE(g->path.empty());

    f.plugIns.answers["SaveAlarmgroupToFile"] = "<xml><error>disk full</error></xml>";
    EXPECT_FALSE(g->save(f.ctx, "/tmp/out.ics", true));
    f.plugIns.answers["SaveAlarmgroupToFile"] = "<xml><success></success></xml>";
    EXPECT_TRUE(g->save(f.ctx, "/tmp/out.ics", true));
    EXPECT_EQ(f.plugIns.calls.back().parameters.rfind(
                  "<language>English</language><path>/tmp/out.ics</path><algr>", 0),
              0u);

    f.plugIns.answers["GetAlarmgroupFromFile"] = "<xml><nothing></nothing></xml>";
    EXPECT_FALSE(AlarmGroup::createAlarmGroupFromFile(f.ctx, "/tmp/b.ics"));
}

// Holds each answer back until the test hands it over, as the program's
// worker thread and event loop do.
struct DeferredCaller : PlugInCaller {
    std::string answer;
    int calls = 0;
    std::vector<std::function<void(const std::string&)>> pending;
    void methodCallInBackground(const std::string&, const std::string&, const std::string&,
                                std::function<void(const std::string&)> done) override {
        ++calls;
        pending.push_back(std::move(done));
    }
    void deliver() {
        auto now = std::move(pending);
        pending.clear();
        for (auto& done : now) done(answer);
    }
};

TEST(AlarmGroup, ABackgroundSynchronisationKeepsTheUsersChangesAndTellsHowItEnded) {
    ModelFixture f;
    DeferredCaller caller;
    ModelContext ctx{f.translation, f.colours, f.settings, f.names, f.clock, caller, f.performer,
                     f.commands,    "",        false,      0,       {},      {},     {}};
    std::vector<std::string> ended;
    ctx.synchronized = [&](const AlarmGroupPtr&, bool replaced, const std::string& error) {
        ended.push_back((replaced ? "replaced" : "kept") + std::string(error.empty() ? "" : ": ") +
                        error);
    };
    auto g = AlarmGroup::createFromXML(ctx, kTwoAlarms);
    g->synchPlugin = "QuorvaneCal*Calendar";
    caller.answer =
        "<xml><algr><name>Calendar</name><colr>99</colr><alrm><name>meeting</name></alrm>"
        "</algr></xml>";
    ASSERT_TRUE(g->startSynchronization(ctx));
    EXPECT_FALSE(g->startSynchronization(ctx));  // one at a time
    EXPECT_EQ(caller.calls, 1);
    g->name = "Mine";  // renamed while the plug-in works
    EXPECT_EQ(g->numberOfAlarms(), 2);
    caller.deliver();
    EXPECT_EQ(g->name, "Mine");
    EXPECT_EQ(g->Color, 99);  // the user left the colour alone
    ASSERT_EQ(g->numberOfAlarms(), 1);
    EXPECT_EQ(g->elementAt(0)->name, "meeting");
    EXPECT_FALSE(g->synchronizing());

    // A failure the plug-in reports leaves the alarms and is passed on.
    caller.answer = "<result><error>The file is gone.</error></result>";
    ASSERT_TRUE(g->startSynchronization(ctx));
    caller.deliver();
    EXPECT_EQ(g->numberOfAlarms(), 1);
    EXPECT_EQ(ended, (std::vector<std::string>{"replaced", "kept: The file is gone."}));

    // Replaced from an older copy: the plug-in's warning is passed on with it.
    caller.answer =
        "<result><algr><alrm><name>old</name></alrm></algr><warning>Offline.</warning></result>";
    ASSERT_TRUE(g->startSynchronization(ctx));
    caller.deliver();
    ASSERT_EQ(g->numberOfAlarms(), 1);
    EXPECT_EQ(g->elementAt(0)->name, "old");
    EXPECT_EQ(ended.back(), "replaced: Offline.");
    ended.pop_back();

    // A group no longer the program's takes no answer.
    ctx.keepsGroup = [](const AlarmGroup&) { return false; };
    caller.answer = "<xml><algr></algr></xml>";
    ASSERT_TRUE(g->startSynchronization(ctx));
    caller.deliver();
    EXPECT_EQ(g->numberOfAlarms(), 1);
    EXPECT_EQ(ended.size(), 2u);
}

TEST(AlarmGroup, SynchronisationReplacesTheContentOrLeavesItAlone) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(f.ctx, kTwoAlarms);
    g->synchPlugin = "QuorvaneCal*Calendar";
    const std::string before = g->toXML()->toString();

    EXPECT_FALSE(g->synchronize(f.ctx));  // no answer
    f.plugIns.answers["Synchronize"] = "<xml><nothing></nothing></xml>";
    EXPECT_TRUE(g->synchronize(f.ctx));
    EXPECT_EQ(g->toXML()->toString(), before);
    EXPECT_FALSE(g->changed);

    f.plugIns.answers["Synchronize"] =
        "<xml><algr><name>Calendar</name><syst><file>a.ics</file></syst>"
        "<alrm><name>meeting</name></alrm></algr></xml>";
    EXPECT_TRUE(g->synchronize(f.ctx));
    EXPECT_EQ(g->name, "Calendar");
    EXPECT_EQ(g->Color, 255);  // kept
    EXPECT_EQ(g->synchSettings->getString("file"), "a.ics");
    ASSERT_EQ(g->numberOfAlarms(), 1);
    EXPECT_EQ(g->elementAt(0)->name, "meeting");
    EXPECT_EQ(g->elementAt(0)->parentGroup(), g);
    EXPECT_TRUE(g->changed);

    // Loading a synchronised group synchronises it at once.
    f.plugIns.calls.clear();
    auto loaded = AlarmGroup::createFromXML(f.ctx, g->toXML()->toString());
    EXPECT_EQ(f.plugIns.calls.size(), 1u);
    EXPECT_EQ(loaded->getStringItems(f.ctx)[4], "Calendar file");
}

TEST(AlarmGroup, CollectionsHoldSeveralGroups) {
    ModelFixture f;
    auto a = AlarmGroup::createFromXML(f.ctx, kTwoAlarms);
    auto b = AlarmGroup::createFromXML(f.ctx, "<algr><name>B</name></algr>");
    const std::string path = f.folder.file("all.agc");
    ASSERT_TRUE(AlarmGroup::saveCollection({a, b}, path));
    auto groups = AlarmGroup::createAlarmGroupsFromCollection(f.ctx, path);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]->numberOfAlarms(), 2);
    EXPECT_EQ(groups[1]->name, "B");
    ASSERT_TRUE(writeFile(path, "<alarmgroupcollection><algr>"));
    EXPECT_TRUE(AlarmGroup::createAlarmGroupsFromCollection(f.ctx, path).empty());
}

TEST(AlarmGroup, EarliestAlarmsKeepGroupThenAlarmOrder) {
    ModelFixture f;
    Vector<AlarmGroup> groups;
    auto g1 = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    auto g2 = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    auto off = AlarmGroup::createDefaultAlarmGroup(f.ctx);
    off->Active = false;
    for (auto& g : {g1, g2, off}) groups.addElement(g);
    auto at = [](DateTime d, const char* name) {
        auto a = ModelFixture::once(d);
        a->name = name;
        a->soundAfterInactive = true;
        return a;
    };
    g1->addAlarm(at(dt(2025, 4, 1, 8), "later"));
    g2->addAlarm(at(dt(2025, 3, 30, 8), "first"));
    g1->addAlarm(at(dt(2025, 3, 30, 8), "tie"));
    auto inactive = at(dt(2025, 3, 29, 18), "inactive");
    inactive->Active = false;
    g1->addAlarm(inactive);
    off->addAlarm(at(dt(2025, 3, 29, 13), "group off"));
    auto quiet = at(dt(2025, 3, 29, 20), "not after inactivity");
    quiet->soundAfterInactive = false;
    g2->addAlarm(quiet);
    auto broken = ModelFixture::periodic(dt(2025, 1, 1), 1, kDays);
    broken->activePeriod = Alarm::kRestrictExpression;
    broken->activeAdvanced = "NONSENSE";
    broken->soundAfterInactive = true;
    g2->addAlarm(broken);

    int errors = 0;
    auto onError = [&](const AlarmGroup&, const Alarm&, const std::string&) { ++errors; };
    auto r = getEarliestAlarmsAfter(groups, dt(2025, 3, 29, 12), false, onError);
    ASSERT_EQ(r.alarms.size(), 1u);
    EXPECT_EQ(r.alarms[0]->name, "not after inactivity");
    r = getEarliestAlarmsAfter(groups, dt(2025, 3, 29, 12), true, onError);
    ASSERT_EQ(r.alarms.size(), 2u);
    EXPECT_EQ(r.alarms[0]->name, "tie");  // group order first
    EXPECT_EQ(r.alarms[1]->name, "first");
    EXPECT_EQ(r.date, dt(2025, 3, 30, 8));
    EXPECT_EQ(errors, 2);
    r = getEarliestAlarmsAfter(groups, dt(2025, 5, 1), false);
    EXPECT_TRUE(r.alarms.empty());
    EXPECT_EQ(r.date, kNever);
}

// What toXML gives away and what createFromXML or a synchronisation takes in
// are copies: a pasted alarm or a changed XML form never reaches the original.
TEST(AlarmGroup, XMLFormsShareNoLiveSettings) {
    ModelFixture f;
    auto g = AlarmGroup::createFromXML(f.ctx, kTwoAlarms);
    g->synchSettings->addString("file", "a.ics");
    auto original = g->elementAt(0);
    original->actions.addElement(clsAction::Create(f.ctx, original, clsAction::kShowMessage));
    original->actions.elementAt(0)->settings->setString("s", "Take the cake out");

    // Copy once, paste twice.
    const XMLNodePtr clipboard = original->toXML("alrm");
    auto first = Alarm::createFromXML(*clipboard, g);
    auto second = Alarm::createFromXML(*clipboard, g);
    first->actions.elementAt(0)->settings->setString("s", "Feed the cat");
    EXPECT_EQ(original->actions.elementAt(0)->settings->getString("s"), "Take the cake out");
    EXPECT_EQ(second->actions.elementAt(0)->settings->getString("s"), "Take the cake out");
    EXPECT_EQ(clipboard->getNode("acti")->getNode("sett")->getString("s"), "Take the cake out");
    // An XML form made earlier keeps what it had.
    original->actions.elementAt(0)->settings->setString("s", "Later");
    EXPECT_EQ(clipboard->getNode("acti")->getNode("sett")->getString("s"), "Take the cake out");

    const XMLNodePtr form = g->toXML();
    form->getNode("syst")->setString("file", "b.ics");
    EXPECT_EQ(g->synchSettings->getString("file"), "a.ics");

    g->synchPlugin = "QuorvaneCal*Calendar";
    f.plugIns.answers["Synchronize"] =
        "<xml><algr><name>Calendar</name><syst><file>c.ics</file></syst></algr></xml>";
    ASSERT_TRUE(g->synchronize(f.ctx));
    const XMLNodePtr after = g->toXML();
    after->getNode("syst")->setString("file", "d.ics");
    EXPECT_EQ(g->synchSettings->getString("file"), "c.ics");
}

// An imported group is saved as a new file, but it still is what was
// imported until something in it changes.
TEST(AlarmGroup, ImportedGroupIsNotChangedSinceImportUntilEdited) {
    ModelFixture f;
    f.plugIns.importers[".ics"] = "QuorvaneCal*Importer";
    f.plugIns.exporters[".ics"] = "QuorvaneCal*Exporter";
    f.plugIns.answers["GetAlarmgroupFromFile"] =
        "<xml><algr><name>Imported</name><alrm><name>x</name></alrm></algr></xml>";
    f.plugIns.answers["SaveAlarmgroupToFile"] = "<xml><success></success></xml>";

    auto g = AlarmGroup::createAlarmGroupFromImportedFile(f.ctx, "/tmp/a.ics");
    ASSERT_TRUE(g);
    EXPECT_TRUE(g->getChanged());  // it must still be saved
    EXPECT_FALSE(g->getChangedSinceImport());
    EXPECT_EQ(g->toXML()->getString("chsi"), "0");
    // The first save keeps the mark, in the group and in its file.
    ASSERT_TRUE(g->save(f.ctx, AlarmGroup::newFilePath(f.ctx.alarmGroupFolder), false));
    EXPECT_FALSE(g->getChangedSinceImport());
    auto back = AlarmGroup::createAlarmGroupFromFile(f.ctx, f.ctx.alarmGroupFolder + "/usg_0.agx");
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->getChangedSinceImport());

    // An edit of an alarm or of the group itself is a change, saved or not.
    auto edited = AlarmGroup::createAlarmGroupFromImportedFile(f.ctx, "/tmp/a.ics");
    edited->elementAt(0)->name = "y";
    edited->elementAt(0)->setChanged();
    EXPECT_TRUE(edited->getChangedSinceImport());
    auto renamed = AlarmGroup::createAlarmGroupFromImportedFile(f.ctx, "/tmp/a.ics");
    renamed->name = "Mine";
    renamed->setChanged();
    EXPECT_TRUE(renamed->getChangedSinceImport());
    ASSERT_TRUE(renamed->save(f.ctx, f.folder.file("renamed.agx"), false));
    EXPECT_TRUE(renamed->getChangedSinceImport());

    // An export before the first save clears it until the next edit.
    edited->changedSinceImport = true;
    ASSERT_TRUE(edited->save(f.ctx, "/tmp/out.ics", true));
    EXPECT_FALSE(edited->getChangedSinceImport());
    edited->Active = false;
    edited->setChanged();
    EXPECT_TRUE(edited->getChangedSinceImport());
}

// Alarms read together share one compiled program per expression; editing one
// alarm's expression must not reach the others, and a malformed expression
// still fails for every alarm that holds it.
TEST(AlarmGroup, AlarmsWithTheSameExpressionKeepTheirOwnAnswers) {
    ModelFixture f;
    auto periodic = [](const char* name, const char* expression) {
        return std::string("<alrm><name>") + name +
               "</name><datk>1</datk><nexd>2025/01/01 09:00:00</nexd><actp>8</actp><adva>" +
               expression + "</adva></alrm>";
    };
    auto g = AlarmGroup::createFromXML(
        f.ctx, "<algr><name>G</name>" + periodic("a", "DAYOFMONTH == 8") +
                   periodic("b", "DAYOFMONTH == 8") + periodic("c", "DAYOFMONTH ==") +
                   periodic("d", "DAYOFMONTH ==") + "</algr>");
    ASSERT_EQ(g->numberOfAlarms(), 4);
    const AlarmPtr a = g->alarms.elementAt(0), b = g->alarms.elementAt(1);
    const DateTime from = dt(2025, 1, 1);
    ASSERT_TRUE(a->hasNextAlarmDateAfter(from, false));
    EXPECT_EQ(a->getNextAlarmDateAfter(), dt(2025, 1, 8, 9));

    a->activeAdvanced = "DAYOFMONTH == 9";
    a->setChanged();
    ASSERT_TRUE(a->hasNextAlarmDateAfter(from, false));
    EXPECT_EQ(a->getNextAlarmDateAfter(), dt(2025, 1, 9, 9));
    ASSERT_TRUE(b->hasNextAlarmDateAfter(from, false));
    EXPECT_EQ(b->getNextAlarmDateAfter(), dt(2025, 1, 8, 9));

    for (int i : {2, 3})
        EXPECT_THROW(g->alarms.elementAt(i)->hasNextAlarmDateAfter(from, false), AdvancedDateError);
}

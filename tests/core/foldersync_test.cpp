// One alarm folder on several computers: group files changed by "the other
// computer" (this test) while the program state runs.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/files.h"
#include "base/folders.h"
#include "core/corefixture.h"

namespace qv::test {
namespace {

class FakeFolderWatcher : public FolderWatcher {
  public:
    std::vector<std::string> watched;  // every watch() in order
    std::vector<int> rechecks;         // every recheckIn() in order
    void watch(const std::string& folder) override { watched.push_back(folder); }
    void recheckIn(int ms) override { rechecks.push_back(ms); }
};

struct FolderSyncTest : CoreFixture, ::testing::Test {
    FakeFolderWatcher watcher;

    FolderSyncTest() {
        p().ctx.alarmGroupFolder = p().alarmGroupFolder();
        p().folderSync.attach(&watcher);
    }
    std::string file(const std::string& name) { return folder.file(name); }
    // The XML text of a group with one alarm, as another computer writes it.
    std::string groupText(const std::string& name, const std::string& alarm) {
        auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
        g->name = name;
        g->addAlarm(onceAt(dt(2025, 3, 30, 8, 0, 0), alarm));
        return g->toXML()->toString();
    }
    // Two groups on disk, loaded as at start-up.
    void start() {
        ASSERT_TRUE(writeFile(file("usg_0.agx"), groupText("Work", "Standup")));
        ASSERT_TRUE(writeFile(file("usg_1.agx"), groupText("Home", "Bins")));
        p().main.loadAllAlarmGroups();
        p().started = true;
        ASSERT_EQ(p().alarmGroups.numberOfElements(), 2);
    }
    AlarmGroupPtr named(const std::string& name) {
        for (const AlarmGroupPtr& g : p().alarmGroups)
            if (g->name == name) return g;
        return nullptr;
    }
    // Something changed in the folder: the watcher calls back.
    void changed() { watcher.changed(); }
};

TEST_F(FolderSyncTest, ReloadsAddsAndUnloadsWhatTheOtherComputerChanged) {
    start();
    ASSERT_EQ(watcher.watched.back(), p().alarmGroupFolder());
    const AlarmGroupPtr work = named("Work");

    // Nothing changed: nothing happens (a burst of events for our own files).
    changed();
    EXPECT_EQ(named("Work"), work);

    // Changed there: reloaded in its place, without being marked changed.
    ASSERT_TRUE(writeFile(file("usg_0.agx"), groupText("Work", "Standup moved")));
    changed();
    const AlarmGroupPtr reloaded = p().alarmGroups.elementAt(0);
    EXPECT_NE(reloaded, work);
    EXPECT_EQ(reloaded->name, "Work");
    EXPECT_EQ(reloaded->elementAt(0)->name, "Standup moved");
    EXPECT_FALSE(reloaded->getChanged());
    EXPECT_EQ(p().supervision.nextAlarms.numberOfElements(), 2);

    // Added there: added here; removed there: unloaded here.
    ASSERT_TRUE(writeFile(file("usg_5.agx"), groupText("Club", "Training")));
    ASSERT_TRUE(deleteFile(file("usg_1.agx")));
    changed();
    EXPECT_TRUE(named("Club"));
    EXPECT_FALSE(named("Home"));
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 2);
    EXPECT_TRUE(ui.notices.empty());
    EXPECT_TRUE(watcher.rechecks.empty());

    // Our own save is no change from elsewhere.
    const AlarmGroupPtr club = named("Club");
    club->elementAt(0)->name = "Training at six";
    club->setChanged();
    ASSERT_TRUE(p().main.saveChangedAlarmGroups());
    changed();
    EXPECT_EQ(named("Club"), club);
    EXPECT_NE(readFile(file("usg_5.agx")).find("Training at six"), std::string::npos);
}

TEST_F(FolderSyncTest, ChangedOnBothSidesKeepsOursAndSavesTheirsAsAGroupOfItsOwn) {
    ASSERT_TRUE(writeFile(
        folder.file("English.lng"),
        std::string(kTestLanguage) + "\n[frmQuorvaneMain]\ns140=both #1 #2\ns141=#1 (other)\n"));
    p().translation.setLanguage("English");
    start();
    const AlarmGroupPtr home = named("Home");
    home->elementAt(0)->name = "Bins tonight";  // our unsaved change
    home->setChanged();

    ASSERT_TRUE(writeFile(file("usg_1.agx"), groupText("Home", "Bins on Friday")));
    changed();
    EXPECT_EQ(named("Home"), home);
    EXPECT_EQ(home->elementAt(0)->name, "Bins tonight");
    const AlarmGroupPtr theirs = named("Home (other)");
    ASSERT_TRUE(theirs);
    EXPECT_EQ(theirs->elementAt(0)->name, "Bins on Friday");
    // Saved at once in a file of its own, so nothing of theirs is lost.
    EXPECT_FALSE(theirs->getChanged());
    const std::string copy = AlarmGroup::resolvePath(theirs->path, p().alarmGroupFolder());
    EXPECT_NE(copy, file("usg_1.agx"));
    EXPECT_NE(readFile(copy).find("Bins on Friday"), std::string::npos);
    ASSERT_EQ(ui.notices.size(), 1u);
    EXPECT_EQ(ui.notices[0], "both Home Home (other)");

    // Ours replaces their file at the next save; the copy is no new change.
    EXPECT_TRUE(p().supervision.pendingWork & pending::kSaveGroups);
    ASSERT_TRUE(p().main.saveChangedAlarmGroups());
    EXPECT_NE(readFile(file("usg_1.agx")).find("Bins tonight"), std::string::npos);
    changed();
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 3);
    EXPECT_EQ(ui.notices.size(), 1u);

    // Their change lands just before our save, ahead of the watcher's call:
    // our save waits for the look, which keeps theirs too.
    home->elementAt(0)->name = "Bins at seven";
    home->setChanged();
    ASSERT_TRUE(writeFile(file("usg_1.agx"), groupText("Home", "Bins on Monday")));
    EXPECT_FALSE(p().main.saveChangedAlarmGroups());
    EXPECT_NE(readFile(file("usg_1.agx")).find("Bins on Monday"), std::string::npos);
    EXPECT_EQ(watcher.rechecks, std::vector<int>{0});
    changed();
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 4);
    EXPECT_EQ(ui.notices.size(), 2u);
    ASSERT_TRUE(p().main.saveChangedAlarmGroups());
    EXPECT_NE(readFile(file("usg_1.agx")).find("Bins at seven"), std::string::npos);
}

TEST_F(FolderSyncTest, HalfWrittenFileIsLookedAtAgainNeverLoadedNorSavedOver) {
    start();
    const AlarmGroupPtr work = named("Work");
    work->setChanged();  // an unsaved change of ours
    const std::string half = groupText("Work", "Standup moved").substr(0, 60);
    ASSERT_TRUE(writeFile(file("usg_0.agx"), half));
    ASSERT_TRUE(writeFile(file("usg_6.agx"), "<algr><name>New"));
    changed();
    EXPECT_EQ(named("Work"), work);
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 2);
    EXPECT_EQ(watcher.rechecks, std::vector<int>{GroupFolderSync::kRetryMs});
    // Our save waits for theirs to be complete.
    EXPECT_FALSE(p().main.saveChangedAlarmGroups());
    EXPECT_EQ(readFile(file("usg_0.agx")), half);

    // Still the same when looked at again: no new retry, no load.
    changed();
    EXPECT_EQ(watcher.rechecks.size(), 1u);

    // Complete now: taken over (ours is kept beside it) and added.
    ASSERT_TRUE(writeFile(file("usg_0.agx"), groupText("Work", "Standup moved")));
    ASSERT_TRUE(writeFile(file("usg_6.agx"), groupText("New", "Call")));
    changed();
    EXPECT_TRUE(named("New"));
    EXPECT_EQ(named("Work"), work);
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 4);
    EXPECT_TRUE(p().main.saveChangedAlarmGroups());
}

TEST_F(FolderSyncTest, WatchesOnlyWhenSwitchedOnAndWaitsForOpenDialogs) {
    p().settings.wfld = false;
    start();
    EXPECT_EQ(watcher.watched, std::vector<std::string>{""});
    ASSERT_TRUE(writeFile(file("usg_0.agx"), groupText("Work", "Changed")));
    p().folderSync.rescan();
    EXPECT_EQ(named("Work")->elementAt(0)->name, "Standup");

    p().settings.wfld = true;
    p().folderSync.restart();
    EXPECT_EQ(watcher.watched.back(), p().alarmGroupFolder());
    // A question is open: looked at once it is answered.
    ASSERT_TRUE(writeFile(file("usg_0.agx"), groupText("Work", "Changed again")));
    p().modalOpen = true;
    changed();
    EXPECT_EQ(named("Work")->elementAt(0)->name, "Standup");
    EXPECT_EQ(watcher.rechecks, std::vector<int>{GroupFolderSync::kBusyRetryMs});
    p().modalOpen = false;
    changed();
    EXPECT_EQ(named("Work")->elementAt(0)->name, "Changed again");
}

TEST_F(FolderSyncTest, AnotherFolderChosenTakesOverTheGroupsAlreadyThere) {
    start();
    const std::string shared = folder.file("shared");
    ASSERT_TRUE(std::filesystem::create_directory(shared));
    ASSERT_TRUE(writeFile(shared + "/usg_0.agx", groupText("Laptop", "Backup")));
    // As the settings dialog does: our groups go to free names there at the next save.
    p().settings.agp = shared;
    p().ctx.alarmGroupFolder = p().alarmGroupFolder();
    for (const AlarmGroupPtr& g : p().alarmGroups) {
        g->path.clear();
        g->setChanged();
    }
    p().folderSync.restart(false);
    EXPECT_EQ(watcher.watched.back(), shared);
    changed();
    ASSERT_TRUE(named("Laptop"));
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 3);
    ASSERT_TRUE(p().main.saveChangedAlarmGroups());
    changed();
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 3);
    EXPECT_EQ(listMatchingFiles(shared + "/usg_*.agx").size(), 3u);
}

}  // namespace
}  // namespace qv::test

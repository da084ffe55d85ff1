// Start-up and the exit path: the run-state questions, signals while start-up
// is still asking, the group folder with files that cannot be read or no
// folder at all, and what the exit path writes and what it must leave alone.

#include <filesystem>

#include "core/corefixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct StartExitState : CoreFixture {
    std::string file(const std::string& name) const { return folder.file(name); }
    std::string read(const std::string& name) const { return readFile(file(name)); }

    // A group file "usg_<n>.agx" in the program folder (the default group folder).
    void writeGroup(const std::string& fileName, const std::string& groupName, AlarmPtr alarm) {
        auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
        g->name = groupName;
        if (alarm) g->addAlarm(alarm);
        ASSERT_TRUE(g->save(p().ctx, file(fileName), false));
    }
    bool start() { return p().main.start(nullptr); }
};

struct StartExit : ::testing::Test, StartExitState {};

TEST_F(StartExit, TheRunStateFileDecidesTheQuestions) {
    struct Case {
        const char* before;
        std::deque<int> answers;
        std::size_t questions;
        bool starts;
        bool safeMode;
        const char* after;
    };
    const int yes = mb::kAnswerYes, no = mb::kAnswerNo;
    for (const Case& c :
         {Case{"1", {yes}, 1, true, true, "2"}, Case{"1", {no}, 1, true, false, "2"},
          Case{"2", {yes, no}, 2, true, false, "2"}, Case{"2", {yes, yes}, 2, true, true, "2"},
          // No to the first question ends at once and leaves the file as it was.
          Case{"2", {no}, 1, false, false, "2"}, Case{"3", {}, 0, true, false, "3"},
          Case{"", {}, 0, true, false, "2"}, Case{"x", {}, 0, true, false, "2"}}) {
        SCOPED_TRACE(std::string("state \"") + c.before + "\"");
        StartExitState f;
        ASSERT_TRUE(writeFile(f.file("state"), c.before));
        f.ui.answers = c.answers;
        EXPECT_EQ(f.start(), c.starts);
        EXPECT_EQ(f.ui.boxes.size(), c.questions);
        EXPECT_EQ(f.p().safeMode, c.safeMode);
        EXPECT_EQ(f.p().supervision.blocked, c.safeMode);
        EXPECT_EQ(f.read("state"), c.after);
        EXPECT_EQ(f.p().started, c.starts);
    }
}

// The questions before the settings are read speak the last run's language,
// or the system's when there was none.
TEST_F(StartExit, StartUpQuestionsSpeakTheLastRunsLanguage) {
    struct Case {
        const char* settings;  // the settings file, or null for none
        const char* lang;      // LANG
        bool german;
    };
    for (const Case& c : {Case{"<settings><lng>Deutsch</lng></settings>", "C", true},
                          Case{"<settings><lng>English</lng></settings>", "de_DE.UTF-8", false},
                          Case{nullptr, "de_DE.UTF-8", true}, Case{nullptr, "en_GB.UTF-8", false},
                          Case{"<settings><lng>../../etc/x</lng></settings>", "C", false}}) {
        SCOPED_TRACE(std::string(c.settings ? c.settings : "no settings") + " " + c.lang);
        StartExitState f;
        for (const char* lng : {"English", "Deutsch"})
            ASSERT_TRUE(writeFile(f.file(std::string(lng) + ".lng"),
                                  readFile(std::string(QUORVANE_SOURCE_DIR) + "/data/" + lng +
                                           ".lng")));
        if (c.settings) ASSERT_TRUE(writeFile(f.p().settingsStore.settingsFilePath(), c.settings));
        ASSERT_TRUE(writeFile(f.file("state"), "2"));
        const char* saved[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES"};
        for (const char* v : saved) unsetenv(v);
        setenv("LANG", c.lang, 1);
        f.ui.answers = {mb::kAnswerNo};
        EXPECT_FALSE(f.start());
        ASSERT_EQ(f.ui.boxes.size(), 1u);
        EXPECT_EQ(f.ui.boxes[0].text.rfind(c.german ? "Quorvane wurde beim letzten Mal"
                                                    : "Quorvane has not properly exited",
                                           0),
                  0u)
            << f.ui.boxes[0].text;
    }
    setenv("LANG", "C", 1);
}

// The common causes of a failed write are told in the user's language, the
// system's words after them.
TEST_F(StartExit, AWriteProblemIsToldInTheUsersLanguage) {
    StartExitState f;
    ASSERT_TRUE(writeFile(f.file("Deutsch.lng"),
                          readFile(std::string(QUORVANE_SOURCE_DIR) + "/data/Deutsch.lng")));
    ASSERT_TRUE(f.start());
    f.p().translation.setLanguage("Deutsch");
    f.p().settings.agp = f.file("gone/away");
    f.ui.todo = "Milch kaufen";
    EXPECT_FALSE(f.p().main.saveToDoText());
    ASSERT_FALSE(f.ui.writeProblems.empty());
    EXPECT_NE(f.ui.writeProblems.back().find("der Ordner existiert nicht - "), std::string::npos)
        << f.ui.writeProblems.back();
}

TEST_F(StartExit, TheExitStateTellsAShortRunFromANormalOne) {
    struct Case {
        const char* runState;
        std::int64_t seconds;
        const char* written;
    };
    for (const Case& c :
         {Case{"2", 30, "1"}, Case{"2", 31, "0"}, Case{"3", 5, "3"}, Case{"3", 3600, "3"}}) {
        SCOPED_TRACE(std::to_string(c.seconds) + " s with run state " + c.runState);
        StartExitState f;
        ASSERT_TRUE(writeFile(f.file("state"), c.runState));
        ASSERT_TRUE(f.start());
        f.clock.advance(c.seconds);
        EXPECT_TRUE(f.p().main.exitProgram(true));
        EXPECT_EQ(f.read("state"), c.written);
        EXPECT_TRUE(f.p().exiting);
        EXPECT_EQ(f.ui.unloads, 1);
        EXPECT_EQ(f.ui.quits, 1);
    }
}

// SIGTERM, SIGINT, SIGHUP or the end of the desktop session while start-up is
// still asking: the program leaves without writing the settings (they would
// be defaults), the to-do text (it was never loaded) or the run-state file.
TEST_F(StartExit, AnEndRequestDuringStartUpWritesNothing) {
    enum Moment { kShortRunQuestion, kCrashQuestion, kSafeModeQuestion, kFirstTimeSettings };
    for (const Moment moment :
         {kShortRunQuestion, kCrashQuestion, kSafeModeQuestion, kFirstTimeSettings}) {
        SCOPED_TRACE(moment);
        StartExitState f;
        const char* state = moment == kShortRunQuestion    ? "1"
                            : moment == kFirstTimeSettings ? ""
                                                           : "2";
        ASSERT_TRUE(writeFile(f.file("state"), state));
        ASSERT_TRUE(writeFile(f.file("todo.txt"), "buy milk"));
        int boxes = 0;
        const int endAtBox = moment == kSafeModeQuestion ? 2 : 1;
        f.ui.onMessageBox = [&] {
            if (++boxes == endAtBox && moment != kFirstTimeSettings) f.p().main.endRequested();
        };
        f.ui.onFirstTime = [&] {
            if (moment == kFirstTimeSettings) f.p().main.endRequested();
        };
        EXPECT_FALSE(f.start());
        EXPECT_TRUE(f.p().main.startAbandoned());
        EXPECT_FALSE(f.p().started);
        EXPECT_EQ(f.ui.quits, 1);
        // The start-up already wrote "2" before the first-time settings: it
        // stays, so the next start knows this one did not end normally.
        EXPECT_EQ(f.read("state"), moment == kFirstTimeSettings ? "2" : state);
        EXPECT_FALSE(fileExists(f.p().settingsStore.settingsFilePath()));
        EXPECT_EQ(f.read("todo.txt"), "buy milk");
        // The session's own exit signal that follows does nothing more.
        f.p().main.endRequested();
        f.p().main.exitProgram(true);
        EXPECT_FALSE(fileExists(f.p().settingsStore.settingsFilePath()));
        EXPECT_EQ(f.ui.quits, 1);
    }
}

TEST_F(StartExit, AGroupFileThatCannotBeReadIsNamedOnceAndLeftUntouched) {
    // The shipped English texts.
    ASSERT_TRUE(writeFile(file("English.lng"), readFile(QUORVANE_SOURCE_DIR "/data/English.lng")));
    writeGroup("usg_1.agx", "Work", onceAt(dt(2025, 3, 29, 13, 0), "lunch"));
    const std::string broken = "<algr><name>Caf&eacute;</name></algr>";
    ASSERT_TRUE(writeFile(file("usg_2.agx"), broken));
    ASSERT_TRUE(writeFile(file("notes.txt"), "not a group"));
    ASSERT_TRUE(start());
    ASSERT_EQ(p().alarmGroups.numberOfElements(), 1);
    EXPECT_EQ(p().alarmGroups.elementAt(0)->name, "Work");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("usg_2.agx"), std::string::npos) << ui.boxes[0].text;
    EXPECT_NE(ui.boxes[0].text.find("untouched"), std::string::npos) << ui.boxes[0].text;
    EXPECT_EQ(read("usg_2.agx"), broken);
    EXPECT_EQ(read("notes.txt"), "not a group");
    // Reloading the groups does not say it again; exiting keeps the file.
    p().main.resetAll(false);
    p().main.loadAllAlarmGroups();
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_TRUE(p().main.exitProgram(true));
    EXPECT_EQ(read("usg_2.agx"), broken);
}

TEST_F(StartExit, WhatAnInterruptedSaveLeftIsRemovedNotLoaded) {
    writeGroup("usg_1.agx", "Work", onceAt(dt(2025, 3, 29, 13, 0), "lunch"));
    // A complete copy from before the rename, as earlier versions named it, and one of today's.
    ASSERT_TRUE(writeFile(file("usg_1.agx.0123456789abcdef.tmp"), read("usg_1.agx")));
    ASSERT_TRUE(writeFile(file(".usg_1.agx.fedcba9876543210.qvtmp"), read("usg_1.agx")));
    ASSERT_TRUE(start());
    EXPECT_EQ(p().alarmGroups.numberOfElements(), 1);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(fileExists(file("usg_1.agx.0123456789abcdef.tmp")));
    EXPECT_FALSE(fileExists(file(".usg_1.agx.fedcba9876543210.qvtmp")));
    // Saving leaves nothing that looks like a group file behind.
    p().alarmGroups.elementAt(0)->setChanged();
    ASSERT_TRUE(p().main.saveChangedAlarmGroups());
    EXPECT_EQ(listMatchingFiles(folder.path() + "/usg_*.*").size(), 1u);
}

TEST_F(StartExit, WithoutTheGroupFolderTheSupervisionStillRunsAndNothingUnloadedStaysArmed) {
    const std::string groups = file("groups");
    std::filesystem::create_directory(groups);
    ASSERT_TRUE(writeFile(file("usr.cfx"),
                          "<settings><agp>" + groups + "</agp><lng>English</lng></settings>"));
    auto soon = onceAt(dt(2025, 3, 29, 12, 0, 20), "soon");
    auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
    g->addAlarm(soon);
    ASSERT_TRUE(g->save(p().ctx, groups + "/usg_1.agx", false));
    ASSERT_TRUE(start());
    ASSERT_EQ(p().supervision.nextAlarms.numberOfElements(), 1);
    EXPECT_EQ(timer.interval(), 20000);

    // The folder goes away and the groups are loaded again.
    std::filesystem::rename(groups, file("elsewhere"));
    p().main.resetAll(false);
    timer.active = false;
    p().main.loadAllAlarmGroups();
    EXPECT_EQ(ui.boxes.back().text, p().translation.getMainText(102));
    EXPECT_EQ(p().supervision.nextAlarms.numberOfElements(), 0);
    EXPECT_EQ(p().supervision.nextAlarmDate, kNever);
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(timer.interval(), 30000);
}

TEST_F(StartExit, AToDoTextThatWasNeverLoadedIsNeverWritten) {
    const std::string groups = file("groups");
    ASSERT_TRUE(writeFile(file("usr.cfx"),
                          "<settings><agp>" + groups + "</agp><lng>English</lng></settings>"));
    ASSERT_TRUE(start());  // the folder is missing
    std::filesystem::create_directory(groups);
    ASSERT_TRUE(writeFile(groups + "/todo.txt", "call the plumber"));
    EXPECT_TRUE(p().main.exitProgram(true));
    EXPECT_EQ(readFile(groups + "/todo.txt"), "call the plumber");
}

// A signal or the end of the session while a box is open and nothing can be
// written: the program still ends through the exit path, asking nothing.
TEST_F(StartExit, AnEndRequestWhileABoxIsOpenEndsTheProgramWhateverCannotBeWritten) {
    writeGroup("usg_1.agx", "Home", onceAt(dt(2025, 3, 30, 8, 0), "wake"));
    ASSERT_TRUE(start());
    p().alarmGroups.elementAt(0)->setChanged();
    std::filesystem::remove(p().settingsStore.settingsFilePath());
    std::filesystem::create_directory(p().settingsStore.settingsFilePath());
    std::filesystem::create_directory(file("todo.txt"));
    ui.todo = "typed";
    p().supervision.pendingWork |= pending::kSaveToDo;
    ui.onMessageBox = [&] {
        ui.onMessageBox = nullptr;
        p().main.endRequested();
    };
    ui.answers = {mb::kAnswerNo};
    p().main.showMessageBox("Do you really want to delete it?", mb::kYesNo);
    EXPECT_TRUE(p().exiting);
    EXPECT_EQ(ui.boxes.size(), 1u);  // no question about what could not be saved
    EXPECT_EQ(ui.quits, 1);
    EXPECT_EQ(ui.unloads, 1);
    EXPECT_NE(read("state"), "2");  // an orderly end, not a crash
}

TEST_F(StartExit, SavingBeforeExitFollowsAutoSave) {
    for (const bool autoSave : {true, false}) {
        SCOPED_TRACE(autoSave ? "auto-save on" : "auto-save off");
        StartExitState f;
        f.writeGroup("usg_1.agx", "Home", f.onceAt(dt(2025, 3, 30, 8, 0), "wake"));
        ASSERT_TRUE(writeFile(f.file("todo.txt"), "old"));
        ASSERT_TRUE(f.start());
        f.p().settings.as = autoSave;
        f.p().alarmGroups.elementAt(0)->name = "Home and garden";
        f.p().alarmGroups.elementAt(0)->setChanged();
        f.ui.todo = "new";
        // The running plug-ins are asked for their settings after the edits are
        // on disk: one that crashes then takes nothing typed with it.
        bool editsWrittenFirst = false;
        f.ui.onActivePlugIns = [&] {
            editsWrittenFirst = f.read("usg_1.agx").find("Home and garden") != std::string::npos &&
                                f.read("todo.txt") == "new";
        };
        EXPECT_TRUE(f.p().main.saveBeforeExit());
        EXPECT_EQ(editsWrittenFirst, autoSave);
        EXPECT_TRUE(fileExists(f.p().settingsStore.settingsFilePath()));
        EXPECT_EQ(f.read("todo.txt"), autoSave ? "new" : "old");
        EXPECT_EQ(f.read("usg_1.agx").find("Home and garden") != std::string::npos, autoSave);
    }
}

}  // namespace

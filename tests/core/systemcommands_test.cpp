// Command lines of alarms: the keywords, the session commands after the exit
// path, and opening through the shell with a random pick among pattern matches.

#include <filesystem>
#include <set>

#include "core/corefixture.h"

using namespace qv;
using namespace qv::test;

namespace {

struct SpecialCommands : ::testing::Test, CoreFixture {
    SpecialCommands() { p().started = true; }
    modSpecialCommands& commands() { return p().commands; }
};

TEST(SplitCommandLine, FieldsAtBars) {
    using A = std::array<std::string, 3>;
    EXPECT_EQ(modSpecialCommands::splitCommandLine("notepad.exe"), (A{"notepad.exe", "", ""}));
    EXPECT_EQ(modSpecialCommands::splitCommandLine("a|b"), (A{"a", "b", ""}));
    EXPECT_EQ(modSpecialCommands::splitCommandLine("|b|"), (A{"", "b", ""}));
    // The third field ends at a third bar; anything after it is dropped.
    EXPECT_EQ(modSpecialCommands::splitCommandLine("a|b|c|d|e"), (A{"a", "b", "c"}));
    EXPECT_EQ(modSpecialCommands::splitCommandLine(""), (A{"", "", ""}));
}

TEST(SessionCommands, KeywordsInAnyCaseEndTheProgramOnceTheSessionAgreed) {
    struct Case {
        const char* line;
        const char* session;
    };
    for (const Case& c : {Case{"Shutdown", "poweroff"}, Case{"SHUTDOWN|ignored", "poweroff"},
                          Case{"reBoot", "reboot"}, Case{"LogOff", "logoff"}}) {
        SCOPED_TRACE(c.line);
        CoreFixture f;
        f.p().started = true;
        f.p().startTime = f.clock.now();
        f.clock.advance(120);
        f.p().commands.runCommand(c.line);
        EXPECT_EQ(f.session.calls, std::vector<std::string>{c.session});
        // The exit path ran (state written as a normal run, windows unloaded)
        // and the program ends afterwards.
        EXPECT_TRUE(f.p().exiting);
        EXPECT_EQ(readFile(f.p().programFile("state")), "0");
        EXPECT_EQ(f.ui.unloads, 1);
        EXPECT_EQ(f.ui.quits, 1);
    }
}

// Notes whether the exit path had run when the session was asked to end.
struct OrderSession : FakeSession {
    const Program* program = nullptr;
    std::vector<bool> exitingAtCall;
    bool powerOff() override {
        exitingAtCall.push_back(program->exiting);
        return FakeSession::powerOff();
    }
};

TEST_F(SpecialCommands, TheSystemIsAskedFirstAndARefusalKeepsTheProgramRunning) {
    OrderSession ordered;
    Program own(Folders::forFolder(folder.path()),
                CorePorts{clock, timer, ui, plugIns, performer, ordered, shell, instance,
                          systemColours, names});
    own.started = true;
    ordered.program = &own;
    ordered.accepts = false;
    own.commands.runCommand("sHuTdOwN");
    EXPECT_EQ(ordered.exitingAtCall, std::vector<bool>{false});
    EXPECT_FALSE(own.exiting);
    EXPECT_EQ(ui.quits, 0);
    EXPECT_EQ(ui.unloads, 0);
    ASSERT_EQ(ui.notices.size(), 1u);

    ordered.accepts = true;
    own.commands.runCommand("shutdown");
    EXPECT_EQ(ordered.exitingAtCall, (std::vector<bool>{false, false}));
    EXPECT_TRUE(own.exiting);
    EXPECT_EQ(ui.quits, 1);
}

TEST_F(SpecialCommands, SessionCommandEndsTheProgramWhateverCannotBeWritten) {
    // The settings cannot be written: nothing is asked while the computer goes
    // down, and the program ends through the exit path all the same.
    std::filesystem::create_directory(p().settingsStore.settingsFilePath());
    commands().runCommand("shutdown");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(p().exiting);
    EXPECT_EQ(session.calls, std::vector<std::string>{"poweroff"});
    EXPECT_GE(ui.quits, 1);
}

TEST_F(SpecialCommands, ScreenSaverLeavesTheProgramRunning) {
    commands().runCommand("ScreenSaver");
    EXPECT_EQ(session.calls, std::vector<std::string>{"screensaver"});
    EXPECT_FALSE(p().exiting);
    EXPECT_EQ(ui.quits, 0);
}

TEST_F(SpecialCommands, SpeakAndTellTime) {
    commands().runCommand("Speak|Time for a cup of tea|unused");
    commands().runCommand("tt|It is <h:nn>.");
    commands().runCommand("tt");
    // A complete time-teller command goes through as written.
    commands().runCommand("TT|unt \"<d> days to go\" \"2025/12/24 00:00:00\"");
    ASSERT_EQ(performer.calls.size(), 4u);
    EXPECT_EQ(performer.calls[0].what, "speak");
    EXPECT_EQ(performer.calls[0].text, "Time for a cup of tea");
    EXPECT_EQ(performer.calls[1].what, "tell");
    EXPECT_EQ(performer.calls[1].text, "now \"It is <h:nn>.\"");
    EXPECT_EQ(performer.calls[2].text, "now \"\"");
    EXPECT_EQ(performer.calls[3].text, "unt \"<d> days to go\" \"2025/12/24 00:00:00\"");
    EXPECT_TRUE(shell.opened.empty());
    EXPECT_TRUE(session.calls.empty());
}

TEST_F(SpecialCommands, OtherLinesOpenThroughTheShell) {
    commands().runCommand("notepad.exe|readme.txt|C:\\Temp");
    commands().runCommand("https://example.org/help?a=1");
    commands().runCommand("speaker.exe||/tmp");
    shell.result = false;  // a failed open is not reported anywhere
    commands().runCommand("missing.exe|-x");
    ASSERT_EQ(shell.opened.size(), 4u);
    EXPECT_EQ(shell.opened[0].file, "notepad.exe");
    EXPECT_EQ(shell.opened[0].parameters, "readme.txt");
    EXPECT_EQ(shell.opened[0].folder, "C:\\Temp");  // only patterns are read with "/"
    EXPECT_EQ(shell.opened[1].file, "https://example.org/help?a=1");
    EXPECT_EQ(shell.opened[1].parameters, "");
    EXPECT_EQ(shell.opened[1].folder, "");
    EXPECT_EQ(shell.opened[2].parameters, "");
    EXPECT_EQ(shell.opened[2].folder, "/tmp");
    EXPECT_EQ(shell.opened[3].file, "missing.exe");
    EXPECT_TRUE(performer.calls.empty());
    EXPECT_TRUE(session.calls.empty());
}

TEST_F(SpecialCommands, PatternOpensOneMatchChosenAtRandom) {
    const std::string sounds = folder.file("Sounds");
    std::filesystem::create_directory(sounds);
    for (const char* name : {"c.wav", "a.wav", "b.wav", "notes.txt"})
        ASSERT_TRUE(writeFile(sounds + "/" + name, "x"));
    const StringVector listed = modSpecialCommands::listMatchingFiles(sounds + "\\*.wav");
    ASSERT_EQ(listed.numberOfElements(), 3);
    EXPECT_EQ(listed.stringAt(0), sounds + "/a.wav");
    EXPECT_EQ(listed.stringAt(2), sounds + "/c.wav");
    EXPECT_EQ(modSpecialCommands::listMatchingFiles("").numberOfElements(), 0);

    std::set<std::string> picked;
    for (int second = 0; second < 40; ++second) {
        clock.set(dt(2025, 3, 29, 9, 0, second), 250);
        commands().runCommand(sounds + "\\*.wav|/play|" + sounds);
        ASSERT_EQ(shell.opened.size(), static_cast<std::size_t>(second + 1));
        const auto& opened = shell.opened.back();
        EXPECT_GE(listed.indexOf(opened.file), 0) << opened.file;
        EXPECT_EQ(opened.parameters, "/play");
        EXPECT_EQ(opened.folder, sounds);
        picked.insert(opened.file);
    }
    EXPECT_GT(picked.size(), 1u);

    // The pick is seeded from the time of day, so the same moment picks the same file.
    clock.set(dt(2025, 3, 29, 9, 0, 7), 250);
    commands().runCommand(sounds + "/*.wav");
    EXPECT_EQ(shell.opened.back().file, shell.opened[7].file);
}

TEST_F(SpecialCommands, ARelativePatternIsNeverMatchedInTheFolderTheProgramStartedFrom) {
    const std::string here = folder.file("here");
    std::filesystem::create_directory(here);
    ASSERT_TRUE(writeFile(here + "/date", "x"));
    ASSERT_TRUE(writeFile(here + "/tool1", "x"));
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(here);
    commands().runCommand("date|+%s");
    commands().runCommand("tool*");
    commands().runCommand("tool*||" + here);  // a folder the action names is searched
    std::filesystem::current_path(before);
    ASSERT_EQ(shell.opened.size(), 3u);
    EXPECT_EQ(shell.opened[0].file, "date");
    EXPECT_EQ(shell.opened[1].file, "tool*");
    EXPECT_EQ(shell.opened[2].file, here + "/tool1");
}

TEST_F(SpecialCommands, PatternWithoutMatchGoesToTheShellUnchanged) {
    commands().runCommand("C:\\Sounds\\*.wav");
    commands().runCommand(folder.file("*.none") + "|p|f");
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0].file, "C:\\Sounds\\*.wav");
    EXPECT_EQ(shell.opened[1].file, folder.file("*.none"));
    EXPECT_EQ(shell.opened[1].parameters, "p");
    EXPECT_EQ(shell.opened[1].folder, "f");
}

}  // namespace

#include "base/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/files.h"

#include "base/tempfolder.h"

using namespace qv;
using qv::testing::TempFolder;
using Paths = std::vector<std::string>;

TEST(Folders, PortableWhenAMarkerStandsBesideTheProgram) {
    TempFolder tmp;
    tmp.write("app/portable", "");
    const Folders f = Folders::detect(tmp / "app/quorvane", tmp / "share", tmp / "data");
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.programFolder, tmp / "app");
    EXPECT_EQ(f.shippedFolder, tmp / "app");
    EXPECT_FALSE(std::filesystem::exists(tmp / "data"));
}

TEST(Folders, InstalledUsesTheDataFolderAndCreatesIt) {
    TempFolder tmp;
    tmp.mkdir("app/portable");  // a folder of that name is no marker
    const Folders f = Folders::detect(tmp / "app/quorvane", tmp / "share/", tmp / "data/");
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.programFolder, tmp / "data/quorvane");
    EXPECT_EQ(f.shippedFolder, tmp / "share");
    EXPECT_TRUE(std::filesystem::is_directory(f.programFolder));
}

// What the program writes is the user's alone, whatever the umask; without a
// home there is no program folder at all (never the current folder).
TEST(Folders, TheProgramFolderAndItsFilesAreTheUsersAloneAndNeedAHome) {
    TempFolder tmp;
    const mode_t old = ::umask(0);
    const Folders f = Folders::detect(tmp / "bin/quorvane", tmp / "share", tmp / "data");
    const bool written = writeFile(f.programFolder + "/usr.cfx", "<settings></settings>");
    const bool appended = appendToFile(f.programFolder + "/quorvane.log", "x\n");
    ::umask(old);
    ASSERT_TRUE(written && appended);
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(f.programFolder).permissions(), fs::perms::owner_all);
    const auto rw = fs::perms::owner_read | fs::perms::owner_write;
    EXPECT_EQ(fs::status(f.programFolder + "/usr.cfx").permissions(), rw);
    EXPECT_EQ(fs::status(f.programFolder + "/quorvane.log").permissions(), rw);
    // A file the user opened up stays as it is when it is replaced.
    fs::permissions(f.programFolder + "/usr.cfx", rw | fs::perms::group_read);
    ASSERT_TRUE(writeFile(f.programFolder + "/usr.cfx", "<settings></settings>"));
    EXPECT_EQ(fs::status(f.programFolder + "/usr.cfx").permissions(), rw | fs::perms::group_read);

    for (const char* home : {"", "relative/home"}) {
        const Folders none = Folders::detect(tmp / "bin/quorvane", tmp / "share", home);
        EXPECT_EQ(none.programFolder, "") << home;
        EXPECT_EQ(none.shippedFile("English.lng"), tmp / "share/English.lng");
    }
}

TEST(Folders, ShippedFilesPreferTheProgramFolder) {
    TempFolder tmp;
    tmp.write("share/English.lng", "shipped");
    tmp.write("share/default.csc", "shipped");
    tmp.write("share/PlugIns/QuorvaneOutlook.so", "");
    tmp.write("data/quorvane/English.lng", "own");
    const Folders f = Folders::detect(tmp / "bin/quorvane", tmp / "share", tmp / "data");
    EXPECT_EQ(f.shippedFile("English.lng"), tmp / "data/quorvane/English.lng");
    EXPECT_EQ(f.shippedFile("default.csc"), tmp / "share/default.csc");
    EXPECT_EQ(f.shippedFile("PlugIns\\QuorvaneOutlook.so"),
              tmp / "share/PlugIns/QuorvaneOutlook.so");
    EXPECT_EQ(f.shippedFile("missing.csc"), tmp / "data/quorvane/missing.csc");
    EXPECT_EQ(f.shippedFile("/etc/x"), "/etc/x");
    EXPECT_EQ(Folders::forFolder(tmp / "share/").shippedFile("nothing"), tmp / "share/nothing");
}

TEST(Folders, ListingsJoinBothFoldersInNameOrder) {
    TempFolder tmp;
    tmp.write("share/English.lng", "");
    tmp.write("share/Dutch.lng", "");
    tmp.write("share/French.lng.txt", "");
    tmp.mkdir("share/Folder.lng");
    tmp.write("data/quorvane/English.lng", "");
    tmp.write("data/quorvane/German.lng", "");
    const Folders f = Folders::detect(tmp / "bin/quorvane", tmp / "share", tmp / "data");
    EXPECT_EQ(f.listShipped("*.lng"),
              (Paths{tmp / "share/Dutch.lng", tmp / "data/quorvane/English.lng",
                     tmp / "data/quorvane/German.lng"}));
    EXPECT_EQ(f.listShipped("*.csc"), Paths{});
    EXPECT_EQ(baseNameOf(tmp / "share/Dutch.lng"), "Dutch");
    EXPECT_EQ(baseNameOf("a\\b.c.lng"), "b.c");
    EXPECT_EQ(baseNameOf(".hidden"), ".hidden");
}

// Installed, the shipped plug-ins live under lib (shared libraries have no
// place in share); the user's own PlugIns/ in the data folder still counts,
// and its copy of a component hides the shipped one.
TEST(Folders, PlugInsComeFromTheLibFolderAndTheUsersOwn) {
    TempFolder tmp;
    tmp.write("lib/quorvane/PlugIns/QuorvaneOutlook.so", "");
    tmp.write("lib/quorvane/PlugIns/QuorvaneKeepAwake.so", "");
    tmp.write("lib/quorvane/PlugIns/QuorvaneOutlook_English.lng", "");
    tmp.write("share/PlugIns/QuorvaneStale.so", "");
    tmp.write("data/quorvane/PlugIns/QuorvaneKeepAwake.so", "");
    tmp.write("data/quorvane/PlugIns/QuorvaneMine.so", "");
    const Folders f = Folders::detect(tmp / "bin/quorvane", tmp / "share", tmp / "data",
                                      tmp / "lib/quorvane/PlugIns/");
    EXPECT_EQ(f.plugInFolder, tmp / "lib/quorvane/PlugIns");
    EXPECT_EQ(f.listPlugIns(), (Paths{tmp / "data/quorvane/PlugIns/QuorvaneKeepAwake.so",
                                      tmp / "data/quorvane/PlugIns/QuorvaneMine.so",
                                      tmp / "lib/quorvane/PlugIns/QuorvaneOutlook.so"}));
    // Portable: the PlugIns/ folder beside the program, once.
    tmp.write("app/portable", "");
    tmp.write("app/PlugIns/QuorvaneOutlook.so", "");
    EXPECT_EQ(Folders::detect(tmp / "app/quorvane", tmp / "share", tmp / "data").listPlugIns(),
              Paths{tmp / "app/PlugIns/QuorvaneOutlook.so"});
}

TEST(Folders, WildcardListing) {
    TempFolder tmp;
    for (const char* name : {"usg_10.agx", "usg_2.agx", "usg_1.agx", "usg_1.agx.bak", "usg.agx",
                             "Usg_3.agx", "notes.txt"}) {
        tmp.write(name, "");
    }
    tmp.mkdir("usg_9.agx");
    std::filesystem::create_symlink(tmp / "usg_1.agx", tmp / "usg_5.agx");
    std::filesystem::create_symlink(tmp / "nowhere", tmp / "usg_6.agx");

    EXPECT_EQ(listMatchingFiles(tmp / "usg_*.agx"),
              (Paths{tmp / "usg_1.agx", tmp / "usg_10.agx", tmp / "usg_2.agx", tmp / "usg_5.agx"}));
    EXPECT_EQ(listMatchingFiles(tmp / "usg_?.agx"),
              (Paths{tmp / "usg_1.agx", tmp / "usg_2.agx", tmp / "usg_5.agx"}));
    EXPECT_EQ(listMatchingFiles(tmp.path() + "\\*.txt"), Paths{tmp / "notes.txt"});
    EXPECT_EQ(listMatchingFiles(tmp / "*").size(), 8u);
    EXPECT_EQ(listMatchingFiles(tmp / "missing/*"), Paths{});
    EXPECT_EQ(listMatchingFiles(tmp / "notes.txt"), Paths{tmp / "notes.txt"});
}

TEST(Folders, WildcardMatching) {
    EXPECT_TRUE(wildcardMatch("*", ""));
    EXPECT_TRUE(wildcardMatch("*.lng", ".lng"));
    EXPECT_TRUE(wildcardMatch("a*b*c", "aXbYbZc"));
    EXPECT_TRUE(wildcardMatch("??", "ab"));
    EXPECT_FALSE(wildcardMatch("??", "abc"));
    EXPECT_FALSE(wildcardMatch("*.lng", "x.LNG"));
    EXPECT_FALSE(wildcardMatch("a*b", "aXbY"));
    EXPECT_FALSE(wildcardMatch("", "a"));
    // Many stars against a long near miss: must finish quickly, not explode.
    EXPECT_FALSE(wildcardMatch("*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

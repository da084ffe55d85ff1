#include "base/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tempfolder.h"

using namespace qv;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// People keep their alarm folder somewhere synced and link the files in: a
// save goes to the linked file and the link stays a link.
TEST(Files, WritingThroughASymbolicLinkReplacesItsTarget) {
    qv::testing::TempFolder t;
    fs::create_directories(t / "synced");
    fs::create_directories(t / "alarms");
    ASSERT_TRUE(writeFile(t / "synced/home.agx", "old"));
    fs::create_symlink("../synced/home.agx", t / "alarms/home.agx");  // relative

    ASSERT_TRUE(writeFile(t / "alarms/home.agx", "new"));
    EXPECT_TRUE(fs::is_symlink(t / "alarms/home.agx"));
    EXPECT_EQ(readFile(t / "synced/home.agx"), "new");
    EXPECT_EQ(readFile(t / "alarms/home.agx"), "new");
    // No temporary file is left beside the link or the target.
    EXPECT_EQ(namesIn(t / "alarms"), std::vector<std::string>{"home.agx"});
    EXPECT_EQ(namesIn(t / "synced"), std::vector<std::string>{"home.agx"});

    // A chain of links, the last one absolute, ends at the same file.
    fs::create_symlink(t / "alarms/home.agx", t / "chain.agx");
    ASSERT_TRUE(writeFile(t / "chain.agx", "newer"));
    EXPECT_TRUE(fs::is_symlink(t / "chain.agx"));
    EXPECT_EQ(readFile(t / "synced/home.agx"), "newer");

    // A dangling link gets its file; a loop is refused and left as it is.
    fs::create_symlink("synced/later.agx", t / "later.agx");
    ASSERT_TRUE(writeFile(t / "later.agx", "made"));
    EXPECT_TRUE(fs::is_symlink(t / "later.agx"));
    EXPECT_EQ(readFile(t / "synced/later.agx"), "made");
    fs::create_symlink("loop-b", t / "loop-a");
    fs::create_symlink("loop-a", t / "loop-b");
    EXPECT_FALSE(writeFile(t / "loop-a", "x"));
    EXPECT_TRUE(fs::is_symlink(t / "loop-a"));
}

// Files are read whole by their length: what comes back must be every byte,
// whatever the length says (none for the kernel's own files) and whatever the
// bytes are.
TEST(Files, ReadingGivesEveryByte) {
    qv::testing::TempFolder folder;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535},
                                   std::size_t{65536}, std::size_t{200001}}) {
        std::string text(size, '\0');
        for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i * 7 % 256);
        const std::string path = folder / ("f" + std::to_string(size));
        ASSERT_TRUE(writeFile(path, text));
        EXPECT_EQ(tryReadFile(path), text) << size;
    }
    // One buffer reused for many files, the largest first, holds each file's
    // bytes and nothing of the one before.
    std::string buffer;
    for (const char* name : {"f200001", "f65536", "f1", "f0", "f65535"}) {
        ASSERT_TRUE(readFileInto(folder / name, 1u << 20, buffer, nullptr)) << name;
        EXPECT_EQ(buffer, readFile(folder / name)) << name;
    }
    bool tooLarge = false;
    EXPECT_FALSE(readFileInto(folder / "f200001", 1000, buffer, &tooLarge));
    EXPECT_TRUE(tooLarge);
    const auto status = tryReadFile("/proc/self/status");
    ASSERT_TRUE(status);
    EXPECT_NE(status->find("Name:"), std::string::npos);
    EXPECT_FALSE(tryReadFile(folder.path()));
    EXPECT_FALSE(tryReadFile(folder / "missing"));
}

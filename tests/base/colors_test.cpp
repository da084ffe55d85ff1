#include "base/colors.h"

#include <gtest/gtest.h>

#include "base/tempfolder.h"

using namespace qv;
using qv::testing::TempFolder;

namespace {

constexpr std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromParts(y, mo, d, h, mi, s);
}

}  // namespace

TEST(Colours, ColourTexts) {
    EXPECT_EQ(modColors::parseColour("#FF0000"), 255);
    EXPECT_EQ(modColors::parseColour("#00ff00"), 65280);
    EXPECT_EQ(modColors::parseColour("#0000FF"), 16711680);
    EXPECT_EQ(modColors::parseColour("#123456"), rgb(0x12, 0x34, 0x56));
    EXPECT_EQ(modColors::parseColour("&HFF0000"), 16711680);
    EXPECT_EQ(modColors::parseColour("&hff&"), 255);
    EXPECT_EQ(modColors::parseColour("&H80000008"), kWindowTextColour);
    EXPECT_EQ(modColors::parseColour("&O377"), 255);
    EXPECT_EQ(modColors::parseColour("&65280"), 65280);
    EXPECT_EQ(modColors::parseColour(" #FF0000 "), 255);

    for (const char* bad : {"", "-1", "red", "255", "#FF00", "#GG0000", "&", "&H", "&HXYZ",
                            "&H100000000", "&2147483648", "&O8", "&12a", "#"}) {
        EXPECT_EQ(modColors::parseColour(bad), -1) << bad;
    }
}

TEST(Colours, SchemeDefiningOnlyOneColour) {
    TempFolder tmp;
    tmp.write("mine.csc",
              "[Colors]\n"
              "s3=#FF0000\n"
              "s4=nonsense\n"
              "s60=#00FF00\n"
              "QuorvaneOutlook=&HFF0000\n");
    const Folders folders = Folders::forFolder(tmp.path());
    FixedSystemColors sys;
    modColors colours(folders, sys);
    colours.setSchemeName("mine");
    colours.loadColourScheme();
    ASSERT_EQ(colours.schemeName(), "mine");
    EXPECT_EQ(colours.getColour(3, 77), 255);
    for (int i : {0, 1, 2, 4, 5, 49, 50, -1, 60}) EXPECT_EQ(colours.getColour(i, 77), 77) << i;
    EXPECT_EQ(colours.getColourText(3, 77), "255");
    EXPECT_EQ(colours.getColourText(2, kWindowTextColour), "-2147483640");
    EXPECT_EQ(colours.getNamedColour("quorvaneoutlook", 5), "16711680");
    EXPECT_EQ(colours.getNamedColour("Other", 5), "5");

    colours.resetColours();
    EXPECT_EQ(colours.getColour(3, 77), 77);
}

TEST(Colours, MissingSchemeFileMeansNoScheme) {
    TempFolder tmp;
    const Folders folders = Folders::forFolder(tmp.path());
    FixedSystemColors sys;
    modColors colours(folders, sys);
    tmp.write("a.csc", "[Colors]\ns1=#FF0000\n");
    colours.setSchemeName("a");
    colours.loadColourScheme();
    EXPECT_EQ(colours.getColour(1, 0), 255);

    colours.setSchemeName("gone");
    colours.loadColourScheme();
    EXPECT_EQ(colours.schemeName(), "");
    EXPECT_FALSE(colours.schemeActive());
    EXPECT_EQ(colours.getColour(1, 9), 9);  // the old table does not leak through
    EXPECT_EQ(colours.getNamedColour("s1", 9), "9");
    EXPECT_EQ(colours.gradientColour(at(2024, 1, 1), at(2034, 1, 1), 1, 2, 9), "9");
}

TEST(Colours, GradientByDistance) {
    TempFolder tmp;
    tmp.write("g.csc", "[Colors]\ns21=#000000\ns22=#FFFFFF\ns24=#FF0000\n");
    const Folders folders = Folders::forFolder(tmp.path());
    FixedSystemColors sys;
    modColors colours(folders, sys);
    colours.setSchemeName("g");
    colours.loadColourScheme();

    const DateTime now = at(2024, 3, 5, 12);
    EXPECT_EQ(colours.gradientColour(now, now, 21, 22, 1), "0");
    EXPECT_EQ(colours.gradientColour(now, at(2024, 3, 5, 12, 0, 10), 21, 22, 1), "0");
    // Ten years of 365 days: t = log10(31536000) / 7.5 = 0.99984.
    const std::string tenYears = std::to_string(rgb(255, 255, 255));
    EXPECT_EQ(colours.gradientColour(now, DateTime(now.seconds() + 315360000), 21, 22, 1),
              tenYears);
    EXPECT_EQ(colours.gradientColour(DateTime(now.seconds() + 315360000), now, 21, 22, 1),
              tenYears);
    EXPECT_EQ(colours.gradientColour(now, kNever, 21, 22, 1), tenYears);
    // 1000 s: s = 100, t = 2 / 7.5; each channel 255 * 0.2667 = 68.
    EXPECT_EQ(colours.gradientColour(now, DateTime(now.seconds() + 1000), 21, 22, 1),
              std::to_string(rgb(68, 68, 68)));

    // An undefined end takes the default; a system colour is resolved first.
    EXPECT_EQ(colours.gradientColour(now, now, 23, 22, rgb(0, 0, 200)),
              std::to_string(rgb(0, 0, 200)));
    sys.set(8, rgb(10, 20, 30));
    EXPECT_EQ(colours.gradientColour(now, now, 23, 22, kWindowTextColour),
              std::to_string(rgb(10, 20, 30)));
    // Nothing to blend from: the default as it is.
    EXPECT_EQ(colours.gradientColour(now, now, 23, 24, -1), "-1");
}

TEST(Colours, Shading) {
    TempFolder tmp;
    const Folders folders = Folders::forFolder(tmp.path());
    FixedSystemColors sys;
    modColors colours(folders, sys);
    const std::int32_t c = rgb(100, 200, 0);
    EXPECT_EQ(colours.shadeColour(c, 0.5, true), rgb(178, 228, 128));
    EXPECT_EQ(colours.shadeColour(c, 0.5, false), rgb(50, 100, 0));
    EXPECT_EQ(colours.shadeColour(c, 0.0, true), c);
    EXPECT_EQ(colours.shadeColour(c, 1.0, true), rgb(255, 255, 255));
    EXPECT_EQ(colours.shadeColour(c, 3.0, false), 0);
    EXPECT_EQ(colours.shadeColour(c, -2.0, false), c);
    sys.set(5, rgb(200, 100, 0));
    EXPECT_EQ(colours.shadeColour(static_cast<std::int32_t>(0x80000005), 0.5, false),
              rgb(100, 50, 0));
    EXPECT_EQ(colours.shadeColour(-1, 0.5, true), -1);
}

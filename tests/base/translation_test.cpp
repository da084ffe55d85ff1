#include "base/translation.h"

#include <gtest/gtest.h>

#include <map>

#include "base/tempfolder.h"

using namespace qv;
using qv::testing::TempFolder;

namespace {

const char* kEnglish =
    "[Language]\n"
    "id=en-gb\n"
    "msid=2057\n"
    "[Strings]\n"
    "s1=Seconds\n"
    "s7r0=Good morning\n"
    "s7r1=Morning!\n"
    "s7r2=Rise and shine\n"
    "s7r4=never reached: r3 is missing\n"
    "s8=Only one wording\n"
    "[frmQuorvaneMain]\n"
    "s102=The alarm-group folder is missing.\n"
    "cmdTab(2)=Coming alarms\n";

}  // namespace

TEST(Translation, NumberedTextsAndTheirDefaults) {
    TempFolder tmp;
    tmp.write("English.lng", kEnglish);
    const Folders folders = Folders::forFolder(tmp.path());
    RandomSource random(1);
    modTranslation t(folders, random);
    t.setLanguage("English");
    EXPECT_TRUE(t.languageFileExists());
    EXPECT_EQ(t.languageFilePath(), tmp / "English.lng");
    EXPECT_EQ(t.getString(1), "Seconds");
    EXPECT_EQ(t.getString(5), "String [Strings] s5 not found");
    EXPECT_EQ(t.getMainText(102), "The alarm-group folder is missing.");
    EXPECT_EQ(t.getMainText(103), "String [frmQuorvaneMain] s103 not found");
    EXPECT_EQ(t.getText("frmFind", 1), "String [frmFind] s1 not found");
    EXPECT_EQ(t.readKey("frmQuorvaneMain", "cmdTab(2)", "Tab"), "Coming alarms");
    EXPECT_EQ(t.readKey("frmQuorvaneMain", "cmdTab(1)", "Tab"), "Tab");
    EXPECT_EQ(t.languageId(), "en-gb");
    EXPECT_EQ(t.languageMsid(), 2057);
}

TEST(Translation, MissingLanguageFile) {
    TempFolder tmp;
    const Folders folders = Folders::forFolder(tmp.path());
    RandomSource random(1);
    modTranslation t(folders, random);
    t.setLanguage("Klingon");
    EXPECT_FALSE(t.languageFileExists());
    EXPECT_EQ(t.getString(1), "String [Strings] s1 not found");
    EXPECT_EQ(t.getRandomText("Strings", 7), "String [Strings] s7 not found");
    EXPECT_EQ(t.languageId(), "en-us");
    EXPECT_EQ(t.languageMsid(), -1);

    tmp.write("Klingon.lng", "[Language]\nmsid=not a number\n");
    EXPECT_TRUE(t.languageFileExists());
    EXPECT_EQ(t.languageMsid(), -1);
}

TEST(Translation, RandomVariantsAreChosenEvenly) {
    TempFolder tmp;
    tmp.write("English.lng", kEnglish);
    const Folders folders = Folders::forFolder(tmp.path());
    RandomSource random(20240305);
    modTranslation t(folders, random);
    t.setLanguage("English");

    std::map<std::string, int> counts;
    const int picks = 3000;
    for (int i = 0; i < picks; ++i) ++counts[t.getRandomText("Strings", 7)];
    ASSERT_EQ(counts.size(), 3u);  // r4 lies beyond the missing r3
    for (const auto& [text, n] : counts) {
        EXPECT_NEAR(n, picks / 3, 150) << text;
    }
    EXPECT_EQ(t.getRandomText("Strings", 8), "Only one wording");
    EXPECT_EQ(t.getRandomText("Strings", 9), "String [Strings] s9 not found");
}

TEST(Translation, LanguageFilesFromBothFolders) {
    TempFolder tmp;
    tmp.write("share/English.lng", kEnglish);
    tmp.write("share/German.lng", "[Strings]\ns1=Sekunden\n");
    tmp.write("data/quorvane/German.lng", "[Strings]\ns1=Eigene Sekunden\n");
    tmp.write("data/quorvane/Dutch.lng", "[Strings]\ns1=Seconden\n");
    const Folders folders = Folders::detect(tmp / "bin/quorvane", tmp / "share", tmp / "data");
    ASSERT_FALSE(folders.portable);
    RandomSource random(1);
    modTranslation t(folders, random);
    t.setLanguage("English");
    EXPECT_EQ(t.languageFilePath(), tmp / "share/English.lng");
    EXPECT_EQ(t.getString(1), "Seconds");
    t.setLanguage("German");
    EXPECT_EQ(t.getString(1), "Eigene Sekunden");
    EXPECT_EQ(modTranslation::availableLanguages(folders),
              (std::vector<std::string>{"Dutch", "English", "German"}));
}

TEST(RandomSource, RangeAndSeeding) {
    RandomSource r(7);
    const double first = r.next();
    for (int i = 0; i < 10000; ++i) {
        const double x = r.next();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
        const int k = r.below(3);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 3);
    }
    EXPECT_EQ(r.below(0), 0);
    EXPECT_EQ(r.below(-4), 0);
    r.seed(7);
    EXPECT_EQ(r.next(), first);
}

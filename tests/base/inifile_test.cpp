#include "base/inifile.h"

#include <gtest/gtest.h>

#include "base/tempfolder.h"

using namespace qv;
using qv::testing::TempFolder;

namespace {

std::string get(const std::string& file, const std::string& section, const std::string& key) {
    return getPrivateProfileString(section, key, "<def>", file);
}

}  // namespace

TEST(ProfileFile, NamesMatchWithoutCaseAndBlanksAreTrimmed) {
    TempFolder tmp;
    const auto f = tmp.write("a.lng",
                             "[Strings]\n"
                             "s1=Hello\n"
                             "  S2  =   spaced out \t\n"
                             "\t[ frmMain ]  \n"
                             "cmdTab(2)=Second tab\n"
                             "Caption = Main window\n");
    EXPECT_EQ(get(f, "strings", "S1"), "Hello");
    EXPECT_EQ(get(f, "STRINGS", "s2"), "spaced out");
    EXPECT_EQ(get(f, "FrmMain", "cmdtab(2)"), "Second tab");
    EXPECT_EQ(get(f, "frmMain", "caption"), "Main window");
    EXPECT_EQ(get(f, "frmMain", "cmdTab(1)"), "<def>");
}

TEST(ProfileFile, QuotesCommentsAndOddLines) {
    TempFolder tmp;
    const auto f = tmp.write("a.ini",
                             "key=before any section\n"
                             "[S]\n"
                             "q1=\"  kept blanks  \"\n"
                             "q2=\"\"twice\"\"\n"
                             "q3=\"only opening\n"
                             "q4=\"\n"
                             ";c1=commented\n"
                             "  ;c2=commented too\n"
                             "c3=value ; not a comment\n"
                             "no equals sign\n"
                             "empty=\n"
                             "eq=a=b\n");
    EXPECT_EQ(get(f, "S", "q1"), "  kept blanks  ");
    EXPECT_EQ(get(f, "S", "q2"), "\"twice\"");
    EXPECT_EQ(get(f, "S", "q3"), "\"only opening");
    EXPECT_EQ(get(f, "S", "q4"), "\"");
    EXPECT_EQ(get(f, "S", "c1"), "<def>");
    EXPECT_EQ(get(f, "S", "c2"), "<def>");
    EXPECT_EQ(get(f, "S", ";c1"), "<def>");
    EXPECT_EQ(get(f, "S", "c3"), "value ; not a comment");
    EXPECT_EQ(get(f, "S", "no equals sign"), "<def>");
    EXPECT_EQ(get(f, "S", "empty"), "");
    EXPECT_EQ(get(f, "S", "eq"), "a=b");
    EXPECT_EQ(get(f, "", "key"), "<def>");
}

TEST(ProfileFile, FirstMatchWinsAcrossRepeatedKeysAndSections) {
    TempFolder tmp;
    const auto f = tmp.write("a.ini",
                             "[A]\nk=first\nK=second\n"
                             "[B]\nk=other section\n"
                             "[a]\nk=third\nonlyLater=found in the repeated section\n");
    EXPECT_EQ(get(f, "A", "k"), "first");
    EXPECT_EQ(get(f, "B", "k"), "other section");
    EXPECT_EQ(get(f, "A", "onlylater"), "found in the repeated section");
}

TEST(ProfileFile, LineEndsByteOrderMarkAndLastLine) {
    TempFolder tmp;
    const auto crlf = tmp.write("crlf.ini", "\xEF\xBB\xBF[S]\r\na=1\r\nb=2\r\n");
    const auto cr = tmp.write("cr.ini", "[S]\ra=1\rb=2");
    const auto noNewline = tmp.write("last.ini", "[S]\na=1\nb=2");
    for (const auto& f : {crlf, cr, noNewline}) {
        EXPECT_EQ(get(f, "S", "a"), "1") << f;
        EXPECT_EQ(get(f, "S", "b"), "2") << f;
    }
}

TEST(ProfileFile, ValuesAreCutAtTheBufferSize) {
    TempFolder tmp;
    const std::string longValue(3000, 'x');
    // "é" is two bytes; the 1023rd byte is the first half of one.
    const std::string accents = std::string(1022, 'a') + "\xC3\xA9\xC3\xA9";
    const auto f =
        tmp.write("a.ini", "[S]\nlong=" + longValue + "\nexact=" + std::string(1023, 'y') +
                               "\nutf8=" + accents + "\n");
    EXPECT_EQ(get(f, "S", "long"), std::string(1023, 'x'));
    EXPECT_EQ(get(f, "S", "exact"), std::string(1023, 'y'));
    EXPECT_EQ(get(f, "S", "utf8"), std::string(1022, 'a'));
}

TEST(ProfileFile, MissingFileSectionOrKeyGiveTheDefault) {
    TempFolder tmp;
    const auto f = tmp.write("a.ini", "[S]\nk=v\n");
    EXPECT_EQ(get(tmp / "missing.ini", "S", "k"), "<def>");
    EXPECT_EQ(get(tmp.path(), "S", "k"), "<def>");  // a folder
    EXPECT_EQ(get("", "S", "k"), "<def>");
    EXPECT_EQ(get(f, "T", "k"), "<def>");
    EXPECT_EQ(get(f, "S", "x"), "<def>");
    EXPECT_FALSE(findProfileString("S", "x", f).has_value());
    EXPECT_EQ(findProfileString("S", "k", f), "v");
}

TEST(ProfileFile, AChangedFileIsReadAgain) {
    TempFolder tmp;
    const auto f = tmp.write("a.ini", "[S]\nk=old\n");
    EXPECT_EQ(get(f, "S", "k"), "old");
    tmp.write("a.ini", "[S]\nk=newer\n");
    EXPECT_EQ(get(f, "S", "k"), "newer");
    std::filesystem::remove(f);
    EXPECT_EQ(get(f, "S", "k"), "<def>");
}

TEST(ProfileFile, BinaryGarbageNeverBreaksTheReader) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text.push_back(static_cast<char>((i * 7919) % 256));
    text += "\n[S]\nk=v";
    ProfileText parsed(text);
    EXPECT_EQ(parsed.find("s", "K"), "v");
    EXPECT_FALSE(ProfileText("[").find("", "").has_value());
    EXPECT_FALSE(ProfileText("=").find("", "").has_value());
    EXPECT_EQ(ProfileText("[]\n=x").find("", ""), "x");
}

TEST(ProfileFileHandling, CurrentFileAndSection) {
    TempFolder tmp;
    const auto f = tmp.write("a.lng", "[Strings]\ns1=one\n[frmMain]\nfrmMain=Caption\n");
    modIniFileHandling ini;
    ini.setProfileFile(f);
    EXPECT_TRUE(ini.usable());
    ini.setProfileSection("frmMain");
    EXPECT_EQ(ini.readProfileValue("frmMain", "d"), "Caption");
    EXPECT_EQ(ini.readProfileSectionValue("Strings", "s1", "d"), "one");

    ini.setProfileFile(tmp / "missing.lng");
    EXPECT_FALSE(ini.usable());
    EXPECT_EQ(ini.readProfileValue("frmMain", "d"), "d");
    EXPECT_EQ(ini.readProfileSectionValue("Strings", "s1", "d"), "d");
    EXPECT_EQ(modIniFileHandling::readProfileFileValue(f, "strings", "S1", "d"), "one");

    ini.setProfileFile("");
    EXPECT_FALSE(ini.usable());
}

// The files that ship beside the program (data/): both language files carry the
// same texts, action defaults and filters; the colour schemes, the desktop
// entry, the metainfo, the icons and the help are well formed.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/colors.h"
#include "base/files.h"
#include "base/folders.h"
#include "base/inifile.h"
#include "xml/xmlnode.h"

using namespace qv;

namespace {

const std::string kData = std::string(QUORVANE_SOURCE_DIR) + "/data";

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// One key of a profile file as the reader sees it: section and key in lower
// case (lookups ignore case), the raw text after "=" for length checks.
struct ProfileKey {
    std::string section, key, raw;
};

// Every key of a profile file in file order, repeated sections merged; a key
// repeated within a section keeps its first occurrence, as lookups do.
std::vector<ProfileKey> profileKeys(const std::string& path) {
    std::vector<ProfileKey> keys;
    std::set<std::pair<std::string, std::string>> seen;
    std::istringstream in(readFile(path));
    std::string line, section;
    while (std::getline(in, line)) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t.front() == '[') {
            const auto close = t.find(']');
            section = lower(
                trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        ProfileKey k{section, lower(trim(t.substr(0, eq))), t.substr(eq + 1)};
        if (seen.insert({k.section, k.key}).second) keys.push_back(std::move(k));
    }
    return keys;
}

std::string value(const std::string& file, const std::string& section, const std::string& key) {
    return findProfileString(section, key, file).value_or("");
}

// The "#1", "#2", ... a text expects the program to fill in.
std::set<std::string> placeholders(const std::string& text) {
    std::set<std::string> found;
    static const std::regex marker("#[0-9]+");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), marker);
         it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + n >= s.size()) return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n + 1;
    }
    return true;
}

std::vector<std::string> filesWithExtension(const std::string& folder, const std::string& ext) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

const std::vector<std::string> kLanguages = {"English", "Deutsch"};

std::string languageFile(const std::string& name) { return kData + "/" + name + ".lng"; }

}  // namespace

// Every text one language has, the other has too: a window or message would
// otherwise show "not found" in one language only.
TEST(ShippedLanguages, BothHaveTheSameSectionsAndKeys) {
    std::map<std::string, std::set<std::string>> keysOf;
    for (const auto& lng : kLanguages) {
        ASSERT_TRUE(fileExists(languageFile(lng))) << languageFile(lng);
        for (const auto& k : profileKeys(languageFile(lng)))
            keysOf[lng].insert("[" + k.section + "] " + k.key);
        EXPECT_GT(keysOf[lng].size(), 100u) << lng;
    }
    for (const auto& a : kLanguages) {
        for (const auto& b : kLanguages) {
            if (a == b) continue;
            std::string missing;
            for (const auto& k : keysOf[a])
                if (!keysOf[b].count(k)) missing += "\n  " + k;
            EXPECT_TRUE(missing.empty())
                << b << ".lng lacks keys that " << a << ".lng has:" << missing;
        }
    }
}

// A translation keeps the values the program fills in and the blanks that
// join a text to a number; nothing is cut by the reader's limit; the bytes are
// UTF-8, the code page of this platform.
TEST(ShippedLanguages, TranslationsKeepPlaceholdersAndEdgesWithinLimits) {
    const std::string en = languageFile("English"), de = languageFile("Deutsch");
    for (const auto& lng : kLanguages) {
        EXPECT_TRUE(validUtf8(readFile(languageFile(lng)))) << lng << ".lng is not UTF-8";
        for (const auto& k : profileKeys(languageFile(lng)))
            EXPECT_LE(trim(k.raw).size(), kProfileValueLimit)
                << lng << " [" << k.section << "] " << k.key;
    }
    for (const auto& k : profileKeys(en)) {
        if (k.section == "language") continue;
        const auto theirs = findProfileString(k.section, k.key, de);
        if (!theirs) continue;  // reported by the test above
        const std::string ours = value(en, k.section, k.key);
        EXPECT_EQ(placeholders(ours), placeholders(*theirs)) << "[" << k.section << "] " << k.key;
        if (!ours.empty() && !theirs->empty()) {
            EXPECT_EQ(ours.front() == ' ', theirs->front() == ' ')
                << "leading blank of [" << k.section << "] " << k.key;
            EXPECT_EQ(ours.back() == ' ', theirs->back() == ' ')
                << "trailing blank of [" << k.section << "] " << k.key;
        }
    }
}

// Counts read naturally: a text says "1 alarm" or "3 alarms" by choosing
// between two texts, never "alarm(s)" or "Alarm(e)".
TEST(ShippedLanguages, NoTextHedgesItsPlural) {
    for (const auto& lng : kLanguages)
        for (const auto& k : profileKeys(languageFile(lng)))
            for (const char* hedge : {"(s)", "(e)", "(n)", "(en)"})
                EXPECT_EQ(k.raw.find(hedge), std::string::npos)
                    << lng << " [" << k.section << "] " << k.key << ": " << k.raw;
}

TEST(ShippedLanguages, LanguageIdsActionDefaultsAndFilters) {
    const std::map<std::string, std::pair<std::string, std::string>> ids = {
        {"English", {"en-us", "1033"}}, {"Deutsch", {"de-de", "1031"}}};
    for (const auto& lng : kLanguages) {
        SCOPED_TRACE(lng);
        const std::string file = languageFile(lng);
        EXPECT_EQ(value(file, "Language", "id"), ids.at(lng).first);
        EXPECT_EQ(value(file, "Language", "msid"), ids.at(lng).second);

        for (int type = 1; type <= 17; ++type) {
            const std::string key = "e" + std::to_string(type);
            const auto xml = findProfileString("Action", key, file);
            ASSERT_TRUE(xml.has_value()) << key;
            auto node = XMLNode::Create();
            EXPECT_FALSE(node->initializeFromXML(*xml)) << key << ": " << *xml;
            EXPECT_EQ(node->name, "sett") << key;
            for (const char* part : {"s", "c", "d"})
                EXPECT_FALSE(value(file, "Action", part + std::to_string(type)).empty())
                    << part << type;
        }

        // "description|patterns", each side filled.
        for (int n = 1; n <= 5; ++n) {
            const std::string filter = value(file, "Filters", "s" + std::to_string(n));
            const auto bar = filter.find('|');
            ASSERT_NE(bar, std::string::npos) << "Filters s" << n << ": " << filter;
            EXPECT_GT(bar, 0u) << filter;
            EXPECT_LT(bar + 1, filter.size()) << filter;
            EXPECT_EQ(filter.find('|', bar + 1), std::string::npos) << filter;
        }
    }
}

// Every scheme defines each colour the lists and actions ask for, and every
// value is a colour (a typo would silently fall back to the default).
TEST(ShippedColourSchemes, EveryValueIsAColourAndTheUsedEntriesAreDefined) {
    const auto schemes = filesWithExtension(kData, ".csc");
    ASSERT_GE(schemes.size(), 2u);
    EXPECT_TRUE(fileExists(kData + "/default.csc"));
    std::vector<int> used = {1, 2};
    for (int i = 11; i <= 25; ++i) used.push_back(i);
    for (int i = 30; i <= 47; ++i) used.push_back(i);
    static const std::regex rgb("#[0-9A-Fa-f]{6}");
    for (const auto& scheme : schemes) {
        SCOPED_TRACE(scheme);
        const auto keys = profileKeys(scheme);
        for (const auto& k : keys) {
            EXPECT_EQ(k.section, "colors") << k.key;
            const std::string v = value(scheme, k.section, k.key);
            EXPECT_TRUE(std::regex_match(v, rgb)) << k.key << "=" << v;
            EXPECT_NE(modColors::parseColour(v), kNoColour) << k.key << "=" << v;
        }
        std::string missing;
        for (int i : used)
            if (!findProfileString("Colors", "s" + std::to_string(i), scheme))
                missing += " s" + std::to_string(i);
        EXPECT_TRUE(missing.empty()) << "undefined:" << missing;
    }
}

TEST(ShippedDesktopFiles, DesktopEntryMetainfoIconsAndHelp) {
    const std::string desktop = kData + "/quorvane.desktop";
    ASSERT_TRUE(fileExists(desktop));
    EXPECT_EQ(value(desktop, "Desktop Entry", "Type"), "Application");
    EXPECT_EQ(value(desktop, "Desktop Entry", "Exec"), "quorvane");
    EXPECT_EQ(value(desktop, "Desktop Entry", "Icon"), "quorvane");
    EXPECT_NE(value(desktop, "Desktop Entry", "Categories").find("Utility;"), std::string::npos);
    EXPECT_FALSE(value(desktop, "Desktop Entry", "Name").empty());

    auto meta = XMLNode::Create();
    ASSERT_FALSE(meta->initializeFromFile(kData + "/org.quorvane.Quorvane.metainfo.xml"));
    EXPECT_EQ(meta->name, "component");
    EXPECT_EQ(meta->getString("id"), "org.quorvane.Quorvane");
    EXPECT_EQ(meta->getString("launchable"), "quorvane.desktop");
    EXPECT_EQ(meta->getNode("provides")->getString("binary"), "quorvane");
    EXPECT_FALSE(meta->getString("summary").empty());

    for (const char* icon : {"quorvane", "tray", "tray-blocked"}) {
        auto svg = XMLNode::Create();
        EXPECT_FALSE(svg->initializeFromFile(kData + "/icons/" + icon + ".svg")) << icon;
        EXPECT_EQ(svg->name, "svg") << icon;
    }

    // The help exists and its table of contents leads somewhere.
    const std::string help = readFile(kData + "/help/index.html");
    ASSERT_FALSE(help.empty());
    EXPECT_NE(help.find("<html"), std::string::npos);
    static const std::regex anchor("href=\"#([^\"]+)\"");
    int anchors = 0;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), anchor);
         it != std::sregex_iterator(); ++it) {
        ++anchors;
        EXPECT_NE(help.find("id=\"" + (*it)[1].str() + "\""), std::string::npos) << (*it)[1].str();
    }
    EXPECT_GT(anchors, 0);
}

namespace {

// The targets of the page's links: `href="..."` values.
std::vector<std::string> linkTargets(const std::string& html) {
    static const std::regex href("<a\\s[^>]*href=\"([^\"]*)\"");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), href);
         it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1].str());
    return out;
}

std::set<std::string> ids(const std::string& html) {
    static const std::regex id("\\sid=\"([^\"]+)\"");
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), id);
         it != std::sregex_iterator(); ++it)
        out.insert((*it)[1].str());
    return out;
}

}  // namespace

// Every page of the help, English and German: links stay inside the help
// folder and reach a page and an anchor that exist; the German page has the
// same anchors as the English one, so links into it work in both languages.
TEST(ShippedHelp, GermanPagesMirrorTheEnglishOnesAndEveryLinkArrives) {
    const std::string helpDir = kData + "/help";
    for (const char* page : {"index.html", "plugins.html", "expressions.html"}) {
        const std::string english = readFile(helpDir + "/" + page);
        const std::string german = readFile(helpDir + "/de/" + page);
        ASSERT_FALSE(german.empty()) << page;
        EXPECT_NE(german.find("<html lang=\"de\">"), std::string::npos) << page;
        EXPECT_NE(german.find("<meta charset=\"utf-8\">"), std::string::npos) << page;
        EXPECT_NE(german.find("href=\"../help.css\""), std::string::npos) << page;
        EXPECT_NE(german.find("</html>"), std::string::npos) << page;
        EXPECT_EQ(ids(german), ids(english)) << page;
        EXPECT_EQ(linkTargets(german).size(), linkTargets(english).size()) << page;

        for (const auto& [folder, html] : {std::pair{helpDir, english},
                                           std::pair{helpDir + "/de", german}}) {
            for (const std::string& target : linkTargets(html)) {
                const auto hash = target.find('#');
                const std::string file = target.substr(0, hash);
                ASSERT_EQ(file.find(".."), std::string::npos) << folder << ": " << target;
                ASSERT_EQ(file.find(':'), std::string::npos) << folder << ": " << target;
                const std::string linked = file.empty() ? html : readFile(folder + "/" + file);
                EXPECT_FALSE(linked.empty()) << folder << ": " << target;
                if (hash != std::string::npos) {
                    EXPECT_TRUE(ids(linked).count(target.substr(hash + 1)))
                        << folder << ": " << target;
                }
            }
        }
    }
}

// The help opens in the language file's language when it is shipped in it.
TEST(ShippedHelp, PageInTheLanguageOfTheLanguageFile) {
    const Folders folders = Folders::forFolder(kData);
    EXPECT_EQ(helpPageName(folders, "de-de", "index.html"), "help/de/index.html");
    EXPECT_EQ(helpPageName(folders, "DE-AT", "plugins.html"), "help/de/plugins.html");
    EXPECT_EQ(helpPageName(folders, "en-gb", "index.html"), "help/index.html");
    EXPECT_EQ(helpPageName(folders, "fr-fr", "plugins.html"), "help/plugins.html");
    EXPECT_EQ(helpPageName(folders, "", "index.html"), "help/index.html");
    // A page the language lacks falls back to English; an id cannot climb out.
    EXPECT_EQ(helpPageName(folders, "de-de", "missing.html"), "help/missing.html");
    EXPECT_EQ(helpPageName(folders, "../de", "index.html"), "help/index.html");

    // Installed: the shipped folder's German page is found, the user's own
    // folder without one does not hide it.
    Folders installed;
    installed.programFolder = kData + "/icons";
    installed.shippedFolder = kData;
    EXPECT_EQ(installed.shippedFile(helpPageName(installed, "de-de", "index.html")),
              kData + "/help/de/index.html");
}

// The language files that ship with the program give every text the alarm
// model shows, and their action defaults are well formed.

#include "modelfixture.h"
#include "model/texts.h"

using namespace qv;
using namespace qv::test;

namespace {

bool missing(const std::string& text) { return text.find("not found") != std::string::npos; }

}  // namespace

TEST(ShippedLanguage, EnglishHasEveryModelText) {
    const Folders shipped = Folders::forFolder(std::string(QUORVANE_SOURCE_DIR) + "/data");
    RandomSource random(1);
    modTranslation t(shipped, random);
    t.setLanguage("English");
    ASSERT_TRUE(t.languageFileExists());
    for (int n : {1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14, 15, 16, 17}) EXPECT_FALSE(missing(t.getString(n))) << n;
    for (int n : {1, 2, 11, 12, 13, 14, 21, 22, 31, 32, 33, 34, 61, 62, 63, 64, 65, 101})
        EXPECT_FALSE(missing(t.getText(texts::kAlarm, n))) << n;
    for (int n = 0; n < 7; ++n)
        EXPECT_FALSE(missing(t.getText(texts::kAlarm, texts::kAlarmToolTipCaptions + n))) << n;
    for (int n : {1, 2, 11, 101}) EXPECT_FALSE(missing(t.getText(texts::kAlarmGroup, n))) << n;
    for (int n = 1; n <= 17; ++n) EXPECT_FALSE(missing(t.getText(texts::kAction, n))) << n;
    for (int n : {901, 902}) EXPECT_FALSE(missing(t.getText(texts::kAction, n))) << n;
    EXPECT_EQ(t.languageId(), "en-us");
    EXPECT_EQ(t.languageMsid(), 1033);

    for (int type = 1; type <= 17; ++type) {
        const std::string xml = t.readKey(texts::kAction, "e" + std::to_string(type), "");
        if (xml.empty()) continue;
        auto node = XMLNode::Create();
        EXPECT_FALSE(node->initializeFromXML(xml)) << "e" << type;
        EXPECT_EQ(node->name, "sett") << "e" << type;
    }
    EXPECT_EQ(XMLNode::createFromXML(t.readKey(texts::kAction, "e9", ""))->getString("s"),
              "It's <h:mm am/pm> on <dddd, mmmm d>.");
}

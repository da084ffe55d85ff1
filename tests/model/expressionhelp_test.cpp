// The examples of the help page on expressions, English and German: the same
// ones in both, each one readable by the evaluator and met on some day.

#include <regex>

#include "base/files.h"
#include "model/clsadvanceddate.h"
#include "modelfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

std::vector<std::string> examples(const std::string& page) {
    const std::string html = readFile(std::string(QUORVANE_SOURCE_DIR) + "/data/help/" + page);
    std::vector<std::string> out;
    const std::regex code("<code class=\"example\">([^<]*)</code>");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), code);
         it != std::sregex_iterator(); ++it) {
        std::string text = (*it)[1].str();
        for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
            for (auto at = text.find(entity); at != std::string::npos; at = text.find(entity, at))
                text.replace(at, std::string(entity).size(), c);
        out.push_back(text);
    }
    return out;
}

}  // namespace

TEST(ExpressionHelp, EveryExampleReadsAndIsMetSomewhere) {
    const std::vector<std::string> english = examples("expressions.html");
    ASSERT_GE(english.size(), 5u);
    EXPECT_EQ(examples("de/expressions.html"), english);
    for (const std::string& e : english) {
        const AdvancedDateProgram program(e);
        int met = 0;
        for (int day = 0; day < 366; ++day)
            EXPECT_NO_THROW(met += program.evaluate(addToDate(dt(2024, 1, 1, 9), day, kDays))) << e;
        EXPECT_GT(met, 0) << e;
    }
    // The one the page says is the last Friday: 31 January, not 24 January.
    const AdvancedDateProgram lastFriday(english[2]);
    EXPECT_TRUE(lastFriday.evaluate(dt(2025, 1, 31, 9)));
    EXPECT_FALSE(lastFriday.evaluate(dt(2025, 1, 24, 9)));
}

// The node text against std::string: the same edits must leave the same
// bytes, across the change from inline to heap storage, on texts a parse put
// into its blocks, and when a text is edited with a part of itself.
#include "xml/xmltext.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "xml/xmlnode.h"
#include "xml/xmlparser.h"

using namespace qv;

namespace {

::testing::AssertionResult same(const XMLText& text, const std::string& expected) {
    if (text.view() != expected || text.size() != expected.size())
        return ::testing::AssertionFailure() << "\"" << text << "\" against \"" << expected << "\"";
    if (text.c_str()[text.size()] != '\0')
        return ::testing::AssertionFailure() << "no terminating zero after \"" << expected << "\"";
    return ::testing::AssertionSuccess();
}

// Random edits on both; `text` may start in a parse's blocks.
void editAlike(XMLText& text, std::string& expected, std::mt19937& random) {
    std::uniform_int_distribution<int> op(0, 7);
    std::uniform_int_distribution<std::size_t> len(0, 40);
    for (int step = 0; step < 200; ++step) {
        const std::string piece(len(random), static_cast<char>('a' + step % 26));
        switch (op(random)) {
            case 0:
                text = piece;
                expected = piece;
                break;
            case 1:
            case 2:
                text += piece;
                expected += piece;
                break;
            case 3: {
                // A part of itself, appended and assigned.
                const std::size_t from = expected.empty() ? 0 : len(random) % expected.size();
                const std::string part = expected.substr(from, len(random));
                text.append(text.view().substr(from, part.size()));
                expected += part;
                break;
            }
            case 4: {
                const std::size_t from = expected.empty() ? 0 : len(random) % expected.size();
                text = text.view().substr(from);
                expected = expected.substr(from);
                break;
            }
            case 5: {
                XMLText copy(text);
                XMLText moved(std::move(copy));
                text = moved;
                break;
            }
            case 6:
                text.push_back('#');
                expected.push_back('#');
                break;
            default:
                if (step % 5 == 0) {
                    text.clear();
                    expected.clear();
                }
                break;
        }
        ASSERT_TRUE(same(text, expected)) << "step " << step;
    }
}

}  // namespace

TEST(XMLText, EditsGiveTheSameBytesAsStdString) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 200; ++round) {
        XMLText text;
        std::string expected;
        editAlike(text, expected, random);
        if (::testing::Test::HasFailure()) return;
    }
    // Exactly at the inline limit and one past it.
    const std::string limit(XMLText::kInline, 'x');
    XMLText t(limit);
    EXPECT_TRUE(same(t, limit));
    t += "y";
    EXPECT_TRUE(same(t, limit + "y"));
    t = limit;
    EXPECT_TRUE(same(t, limit));
    EXPECT_TRUE(t == limit && limit == t && !(t < limit) && t < limit + "y");
}

TEST(XMLText, TextsOfAParseCanBeEditedAfterIt) {
    // Names and values past the inline length live in the parse's blocks, as
    // do child lists; after the document is gone they still take every edit.
    std::string xml = "<r>";
    for (int i = 0; i < 3000; ++i)
        xml += "<element_name_longer_than_inline_" + std::to_string(i) + ">value of element " +
               std::to_string(i) + ", past the inline length<c/><d/>" +
               "</element_name_longer_than_inline_" + std::to_string(i) + ">";
    xml += "</r>";
    std::vector<XMLNodePtr> kept;
    {
        XMLNode root;
        ASSERT_FALSE(XMLParser::parse(xml, root));
        for (int i : {0, 1499, 2999}) kept.push_back(root.getNodeAt(i));
    }
    std::mt19937 random(7);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const XMLNodePtr& node = kept[k];
        std::string name = node->name.str();
        std::string value = node->Value.str();
        ASSERT_EQ(node->getNumberOfNodes(), 2);
        editAlike(node->name, name, random);
        editAlike(node->Value, value, random);
        // The list from the blocks grows, shrinks and takes insertions.
        node->addString("e", "1");
        node->addNodeAt(0, XMLNode::Create("first"));
        EXPECT_EQ(node->removeNodeAt(1)->name, "c");
        EXPECT_EQ(node->toString(), "<" + name + ">" + XMLNode::stringToXMLString(value) +
                                        "<first></first><d></d><e>1</e></" + name + ">");
    }
}

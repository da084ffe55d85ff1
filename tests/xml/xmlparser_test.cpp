#include "xml/xmlparser.h"

#include <gtest/gtest.h>

#include <string>

#include "xml/xmlnode.h"

using namespace qv;

namespace {

struct Parsed {
    XMLNodePtr node = std::make_shared<XMLNode>();
    bool failed = true;
};

Parsed parse(std::string_view text) {
    Parsed p;
    p.failed = XMLParser::parse(text, *p.node);
    return p;
}

}  // namespace

TEST(XMLParser, ReadsElementsAndKeepsTextExactly) {
    auto p = parse("<a>x</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->name, "a");
    EXPECT_EQ(p.node->Value, "x");
    EXPECT_EQ(p.node->getNumberOfNodes(), 0);

    p = parse("<a>\n  <b>2</b>\n</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "\n  \n");
    ASSERT_EQ(p.node->getNumberOfNodes(), 1);
    EXPECT_EQ(p.node->getNodeAt(0)->name, "b");
    EXPECT_EQ(p.node->getNodeAt(0)->Value, "2");

    // Text around children is gathered in document order.
    p = parse("<a>1<b/>2<c>x</c>3</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "123");
    EXPECT_EQ(p.node->getNumberOfNodes(), 2);
}

TEST(XMLParser, SkipsPrologCommentsAndDoctype) {
    auto p = parse("<?xml version=\"1.0\"?><!DOCTYPE a><!-- c --><a>1</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->name, "a");
    EXPECT_EQ(p.node->Value, "1");

    p = parse("<!-- c -->\n<a>1</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "1");

    // A comment inside an element adds nothing, dashes and ">" included.
    p = parse("<a>x<!-- y > - -- z -->w</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "xw");
    EXPECT_EQ(p.node->getNumberOfNodes(), 0);
}

TEST(XMLParser, CDataIsTakenRaw) {
    auto p = parse("<a><![CDATA[<x>&amp;]]></a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "<x>&amp;");

    p = parse("<a>1<![CDATA[a]>b]]]>2</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "1a]>b]2");
}

TEST(XMLParser, EntitiesAndCharacterReferences) {
    auto p = parse("<a>&lt;&amp;&gt;&quot;&apos;</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "<&>\"'");

    p = parse("<a>&#65;&#x41;&#X42;&#;&#x20AC;&#128512;</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "AAB\xE2\x82\xAC\xF0\x9F\x98\x80");

    // Invalid code points append nothing and do not fail the parse.
    p = parse("<a>1&#xD800;&#x110000;&#99999999999999999999999;&#12a;&#x;&#0;&#-5;2</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "12");

    // An unknown entity is dropped and fails the parse, but reading goes on.
    p = parse("<a>&foo;x<b/></a>");
    EXPECT_TRUE(p.failed);
    EXPECT_EQ(p.node->Value, "x");
    EXPECT_EQ(p.node->getNumberOfNodes(), 1);
    EXPECT_TRUE(parse("<a>&LT;</a>").failed);  // case-sensitive
}

TEST(XMLParser, AttributesAreReadAndDropped) {
    auto p = parse("<a k=\"v\" m='w'><b/></a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->name, "a");
    ASSERT_EQ(p.node->getNumberOfNodes(), 1);
    EXPECT_EQ(p.node->getNodeAt(0)->name, "b");

    p = parse("<a><b x=\"1\"/></a>");
    EXPECT_FALSE(p.failed);
    ASSERT_EQ(p.node->getNumberOfNodes(), 1);
    EXPECT_EQ(p.node->getNodeAt(0)->name, "b");
    EXPECT_EQ(p.node->getNodeAt(0)->Value, "");

    p = parse("<a\tk = 'x&amp;>\"y' \n m\r=\"'\">t</a>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->Value, "t");
}

TEST(XMLParser, EndTagNamesAreNotCompared) {
    auto p = parse("<a><b></c></d>");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->name, "a");
    ASSERT_EQ(p.node->getNumberOfNodes(), 1);
    EXPECT_EQ(p.node->getNodeAt(0)->name, "b");
}

TEST(XMLParser, TrailingTextIsIgnored) {
    auto p = parse("<a></a>trailing");
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.node->name, "a");
    EXPECT_EQ(p.node->Value, "");
    EXPECT_FALSE(parse("<a/><b>").failed);
    EXPECT_FALSE(parse("<a></a><<<&&&").failed);
}

TEST(XMLParser, AppendsToAnExistingNode) {
    auto node = XMLNode::Create("old", "v");
    node->addString("k", "1");
    EXPECT_FALSE(XMLParser::parse("<new>w<c>2</c></new>", *node));
    EXPECT_EQ(node->name, "new");
    EXPECT_EQ(node->Value, "vw");
    EXPECT_EQ(node->getNumberOfNodes(), 2);
}

TEST(XMLParser, MalformedTextFailsKeepingWhatWasBuilt) {
    auto p = parse("<a><b></a>");
    EXPECT_TRUE(p.failed);
    EXPECT_EQ(p.node->name, "a");
    ASSERT_EQ(p.node->getNumberOfNodes(), 1);
    EXPECT_EQ(p.node->getNodeAt(0)->name, "b");

    EXPECT_TRUE(parse("<a k=v></a>").failed);      // unquoted attribute value
    EXPECT_TRUE(parse("<a k v='1'></a>").failed);  // attribute without "="
    EXPECT_TRUE(parse("<a b></a>").failed);        // attribute name runs to the end

    // Running out of text in every state but Done fails.
    for (const char* text : {"",
                             "   ",
                             "text only",
                             "<",
                             "<a",
                             "<a>",
                             "<a>text",
                             "<a>&amp",
                             "<a><",
                             "<a></a",
                             "<a k",
                             "<a k=",
                             "<a k='v",
                             "<a k='&amp",
                             "<a/",
                             "<!-- x",
                             "<!-- x --",
                             "<a><!-- x",
                             "<a><![CDATA[x]]",
                             "<?pi",
                             "<!DOCTYPE a",
                             "<a><b/>"}) {
        EXPECT_TRUE(parse(text).failed) << text;
    }
}

TEST(XMLParser, RejectsTagsThatCannotBeWrittenBack) {
    // "<>" and "<a/x>" are not tags; a stray end tag before any element has
    // nothing to close.
    EXPECT_TRUE(parse("<>a></>a>").failed);
    EXPECT_TRUE(parse("<a><b/x></a>").failed);
    EXPECT_TRUE(parse("<a/x>").failed);
    EXPECT_TRUE(parse("</a><a></a>").failed);
}

TEST(XMLParser, WriterOutputReadsBackToTheSameTree) {
    auto root = XMLNode::Create("algr", "r&<>\"'\n\t ");
    root->addString("name", "Tom & Jerry <3> \"q\" 'a'");
    root->addString("empty", "");
    auto child = XMLNode::Create("acti", "]]>");
    child->addString("s", "&amp;");
    child->addString("s", "<![CDATA[x]]>");
    root->addNode(child);
    root->addString("!-", "comment-like name");

    const std::string text = root->toString();
    auto back = std::make_shared<XMLNode>();
    EXPECT_FALSE(back->initializeFromXML(text));
    EXPECT_EQ(back->toString(), text);
    EXPECT_EQ(back->Value, root->Value);
    EXPECT_EQ(back->getNode("acti")->getString("s", 1), "<![CDATA[x]]>");

    // What the parser reads from foreign text, it writes so it reads back the same.
    auto foreign = parse(
        "<?xml version='1.0'?><r a='1'>\n <x><![CDATA[a<b&c]]></x>&#65;<y/><!-- c -->"
        "< z>1</ z></r>");
    EXPECT_FALSE(foreign.failed);
    auto again = parse(foreign.node->toString());
    EXPECT_FALSE(again.failed);
    EXPECT_EQ(again.node->toString(), foreign.node->toString());
}

TEST(XMLParser, DeepDocumentsNeedNoRecursion) {
    constexpr int kDepth = 100000;
    std::string text;
    for (int i = 0; i < kDepth; ++i) text += "<a>";
    text += "x";
    for (int i = 0; i < kDepth; ++i) text += "</a>";

    auto node = std::make_shared<XMLNode>();
    EXPECT_FALSE(node->initializeFromXML(text));
    EXPECT_EQ(node->toString(), text);

    auto copy = node->getCopy();
    const XMLNode* deepest = copy.get();
    int depth = 1;
    while (deepest->getNumberOfNodes() > 0) {
        deepest = deepest->getNodeAt(0).get();
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(deepest->Value, "x");

    node.reset();
    copy.reset();

    // Unclosed, and detached from the middle.
    auto open = parse(text.substr(0, kDepth * 3));
    EXPECT_TRUE(open.failed);
    XMLNodePtr middle = open.node;
    for (int i = 0; i < kDepth / 2; ++i) middle = middle->getNodeAt(0);
    open.node.reset();
    middle.reset();
}

TEST(XMLParser, NodesKeptOutliveTheirDocument) {
    // Nodes of one parse share memory blocks; a node kept after its document
    // is dropped must keep what it needs, wherever in the document it was.
    std::string text = "<r>";
    for (int i = 0; i < 5000; ++i)
        text += "<a><n>node " + std::to_string(i) + " with a text past the short form</n><b/></a>";
    text += "</r>";
    std::vector<XMLNodePtr> kept;
    {
        auto p = parse(text);
        ASSERT_FALSE(p.failed);
        for (int i : {0, 1, 2500, 4999}) kept.push_back(p.node->getNodeAt(i));
        auto other = XMLNode::Create("other");
        other->addNode(p.node->getNodeAt(10)->getNodeAt(0));  // moved into a tree of its own
        kept.push_back(other);
    }
    // Whatever the freed blocks are used for next must not reach the kept nodes.
    for (int round = 0; round < 3; ++round) {
        auto again = parse(text);
        ASSERT_FALSE(again.failed);
    }
    EXPECT_EQ(kept[0]->getString("n"), "node 0 with a text past the short form");
    EXPECT_EQ(kept[1]->getString("n"), "node 1 with a text past the short form");
    EXPECT_EQ(kept[2]->getString("n"), "node 2500 with a text past the short form");
    EXPECT_EQ(kept[3]->getNodeAt(1)->name, "b");
    EXPECT_EQ(kept[4]->toString(), "<other><n>node 10 with a text past the short form</n></other>");
    kept.clear();
}

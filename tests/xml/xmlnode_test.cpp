#include "xml/xmlnode.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <random>
#include <stdexcept>
#include <string>

#include "base/files.h"

using namespace qv;

namespace {

XMLNodePtr withChild(const std::string& name, const std::string& text) {
    auto node = XMLNode::Create("n");
    node->addString(name, text);
    return node;
}

struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

std::string tempPath(const std::string& leaf) {
    auto dir =
        std::filesystem::temp_directory_path() / ("qv_xmlnode_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / leaf).string();
}

}  // namespace

TEST(XMLNode, WritesCompactEscapedText) {
    auto r = XMLNode::Create("r", "x<y & 'z'");
    r->addString("c", "1");
    EXPECT_EQ(r->toString(), "<r>x&lt;y &amp; &apos;z&apos;<c>1</c></r>");
    EXPECT_EQ(XMLNode::stringToXMLString("&lt;\">"), "&amp;lt;&quot;&gt;");

    r->clear();
    EXPECT_EQ(r->name, "r");
    EXPECT_EQ(r->toString(), "<r></r>");
}

TEST(XMLNode, NamedAccessByOccurrence) {
    auto n = XMLNode::Create("n");
    n->addString("a", "1");
    n->addString("b", "2");
    n->addString("a", "3");
    EXPECT_EQ(n->getNodeIndex("a", 1), 2);
    EXPECT_EQ(n->getNodeIndex("a", 2), -1);
    EXPECT_EQ(n->getNodeIndex("A"), -1);
    EXPECT_EQ(n->getNumberOfNodesWithName("a"), 2);
    EXPECT_EQ(n->getString("a", 1), "3");

    // The returned child is the child itself.
    n->getNode("b")->Value = "changed";
    EXPECT_EQ(n->getString("b"), "changed");

    auto e = XMLNode::Create("e");
    e->setString("a", "v", 1);
    ASSERT_EQ(e->getNumberOfNodes(), 2);
    EXPECT_EQ(e->getString("a", 0, "d"), "");
    EXPECT_EQ(e->getString("a", 1), "v");
    e->setString("a", "w", 1);
    EXPECT_EQ(e->getNumberOfNodes(), 2);
    EXPECT_THROW(e->setString("a", "w", -1), std::out_of_range);

    auto src = XMLNode::Create("a", "from node");
    src->addString("ignored", "1");
    e->setNode(src, 0);
    EXPECT_EQ(e->getString("a"), "from node");
    EXPECT_EQ(e->getNode("a")->getNumberOfNodes(), 0);
    e->setNode(*e->getNode("a", 1), 0);  // a child set from its sibling
    EXPECT_EQ(e->getString("a"), "w");
}

TEST(XMLNode, MissingChildrenGiveDefaults) {
    auto n = withChild("x", "");
    EXPECT_EQ(n->getString("y", 0, "d"), "d");
    EXPECT_EQ(n->getString("x", 0, "d"), "");  // present but empty is not missing

    auto detached = n->getNode("missing", 0, "<x><y>1</y></x>");
    EXPECT_EQ(detached->name, "x");
    EXPECT_EQ(detached->getString("y"), "1");
    EXPECT_EQ(n->getNumberOfNodes(), 1);
    EXPECT_EQ(n->getNode("missing")->toString(), "<></>");  // empty default: empty node
}

TEST(XMLNode, IntegerAndLongConversions) {
    struct Case {
        const char* text;
        std::int16_t expected;
    };
    for (const Case& c : {Case{"12", 12}, Case{" -7 ", -7}, Case{"+9", 9}, Case{"2.5", 2},
                          Case{"3.5", 4}, Case{"-2.5", -2}, Case{"2.51", 3}, Case{"1e3", 1000},
                          Case{"-32768", -32768}, Case{"32767.4", 32767}, Case{"0", 0}}) {
        EXPECT_EQ(withChild("v", c.text)->getInteger("v", 0, 5), c.expected) << c.text;
    }
    for (const char* bad : {"abc", "70000", "32767.5", "-32769", "", " ", "1,5", "12abc", "inf",
                            "nan", "0x10", "--1", "+-1", "1e400"}) {
        EXPECT_EQ(withChild("v", bad)->getInteger("v", 0, 5), 5) << bad;
    }
    EXPECT_EQ(withChild("v", "2147483647")->getLong("v", 0, 5), 2147483647);
    EXPECT_EQ(withChild("v", "-2147483648")->getLong("v", 0, 5), INT32_MIN);
    EXPECT_EQ(withChild("v", "2147483648")->getLong("v", 0, 5), 5);
    EXPECT_EQ(withChild("v", "70000")->getLong("v"), 70000);
    EXPECT_EQ(XMLNode::Create("n")->getLong("v", 0, 8), 8);

    auto n = XMLNode::Create("n");
    n->addInteger("i", -32768);
    n->addLong("l", -123456789);
    EXPECT_EQ(n->toString(), "<n><i>-32768</i><l>-123456789</l></n>");
}

TEST(XMLNode, WholeNumbersReadDirectlyAgreeWithTheGeneralRoute) {
    // Integers and booleans. A trailing blank sends the same text down the general route (blanks
    // trimmed, read as a decimal number): both must agree on every range.
    std::mt19937 random(16);
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> length(1, 20);
    const std::pair<std::int64_t, std::int64_t> ranges[] = {
        {INT16_MIN, INT16_MAX}, {INT32_MIN, INT32_MAX}, {INT64_MIN, INT64_MAX}, {0, 1}};
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "-",
                                      "00012",
                                      "-32768",
                                      "32768",
                                      "-2147483649",
                                      "999999999999999",
                                      "9999999999999999",
                                      "-9007199254740993"};
    for (int k = 0; k < 2000; ++k) {
        std::string t = k % 3 == 0 ? "-" : "";
        for (int d = length(random); d > 0; --d) t += static_cast<char>('0' + digit(random));
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        for (const auto& [min, max] : ranges) {
            std::int64_t direct = 7, general = 7;
            const bool directOk = XMLNode::textToInteger(t, min, max, direct);
            const bool generalOk = XMLNode::textToInteger(t + " ", min, max, general);
            EXPECT_EQ(directOk, generalOk) << t;
            EXPECT_EQ(direct, general) << t;
        }
        bool direct = false, general = false;
        EXPECT_EQ(XMLNode::textToBoolean(t, direct), XMLNode::textToBoolean(t + " ", general)) << t;
        EXPECT_EQ(direct, general) << t;
    }
}

TEST(XMLNode, BooleanConversions) {
    auto n = XMLNode::Create("n");
    n->addBoolean("t", true);
    n->addBoolean("f", false);
    EXPECT_EQ(n->getString("t"), "-1");
    EXPECT_EQ(n->getString("f"), "0");
    for (const char* yes : {"-1", "True", "true", "TRUE", "2", "0.5"})
        EXPECT_TRUE(withChild("b", yes)->getBoolean("b", 0, false)) << yes;
    for (const char* no : {"0", "False", "false", " 0 "})
        EXPECT_FALSE(withChild("b", no)->getBoolean("b", 0, true)) << no;
    for (const char* bad : {"yes", "", "truex"}) {
        EXPECT_TRUE(withChild("b", bad)->getBoolean("b", 0, true)) << bad;
        EXPECT_FALSE(withChild("b", bad)->getBoolean("b", 0, false)) << bad;
    }
}

TEST(XMLNode, FloatingValuesUseAPointWhateverTheLocale) {
    auto n = XMLNode::Create("n");
    n->addSingle("s", 1.5f);
    n->addSingle("q", 0.25f);
    n->addSingle("t", 0.1f);
    n->addDouble("d", 0.5);
    n->addDouble("third", 1.0 / 3.0);
    EXPECT_EQ(n->getString("s"), "1.5");
    EXPECT_EQ(n->getString("q"), "0.25");
    EXPECT_EQ(n->getString("t"), "0.1");
    EXPECT_EQ(n->getString("d"), "0.5");
    EXPECT_EQ(n->getString("third"), "0.333333333333333");
    EXPECT_EQ(withChild("v", "1,5")->getDouble("v", 0, 9.0), 9.0);
    EXPECT_EQ(withChild("v", "x")->getSingle("v", 0, 2.0f), 2.0f);
    EXPECT_EQ(withChild("v", " -2.5e1 ")->getDouble("v"), -25.0);

    auto checkPointDecimals = [] {
        auto m = XMLNode::Create("m");
        m->setDouble("d", 0.5);
        m->setSingle("s", 1.25f);
        EXPECT_EQ(m->getString("d"), "0.5");
        EXPECT_EQ(m->getString("s"), "1.25");
        EXPECT_EQ(m->getDouble("d"), 0.5);
        EXPECT_EQ(m->getSingle("s"), 1.25f);
    };

    // A C++ global locale with a decimal comma (always available).
    const std::locale previousGlobal =
        std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
    checkPointDecimals();
    std::locale::global(previousGlobal);

    // A C locale with a decimal comma, when one is installed.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
        if ((comma = std::setlocale(LC_ALL, name)) != nullptr) break;
    }
    // Where none is installed, build one for this test alone (glibc reads LOCPATH).
    std::string generated;
    if (!comma) {
        char dir[] = "/tmp/quorvane-locale-XXXXXX";
        if (::mkdtemp(dir)) {
            generated = dir;
            const std::string cmd =
                "localedef -i de_DE -f UTF-8 '" + generated + "/de_DE.UTF-8' >/dev/null 2>&1";
            (void)std::system(cmd.c_str());
            ::setenv("LOCPATH", generated.c_str(), 1);
            comma = std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
    }
    if (comma) {
        EXPECT_STREQ(std::localeconv()->decimal_point, ",");
        checkPointDecimals();
    }
    std::setlocale(LC_ALL, previous.c_str());
    if (!generated.empty()) {
        ::unsetenv("LOCPATH");
        std::error_code ec;
        std::filesystem::remove_all(generated, ec);
    }
    if (!comma) GTEST_SKIP() << "no comma-decimal C locale installed or buildable";
}

TEST(XMLNode, DatesReadByFixedPositions) {
    const DateTime expected = DateTime::fromParts(2005, 6, 1, 7, 30, 0);
    EXPECT_EQ(withChild("d", "2005-06-01 07:30:00")->getDate("d"), expected);
    EXPECT_EQ(withChild("d", "2005/06/01 07:30:00")->getDate("d"), expected);
    EXPECT_EQ(withChild("d", "2005/06/01")->getDate("d", 0, kNever), kNever);
    EXPECT_EQ(XMLNode::Create("n")->getDate("d", 0, kNever), kNever);

    auto n = XMLNode::Create("n");
    n->addDate("d", expected);
    EXPECT_EQ(n->getString("d"), "2005/06/01 07:30:00");
}

TEST(XMLNode, RemoveReturnsTheValueAndTheChild) {
    auto n = XMLNode::Create("n");
    n->addString("a", "x");
    n->addInteger("i", 7);
    n->addString("a", "y");
    EXPECT_EQ(n->removeString("a", 1, "d"), "y");
    EXPECT_EQ(n->removeString("a", 1, "d"), "d");
    EXPECT_EQ(n->removeInteger("i", 0, 3), 7);
    EXPECT_EQ(n->removeNode("i"), nullptr);
    ASSERT_EQ(n->getNumberOfNodes(), 1);
    auto a = n->removeNodeAt(0);
    EXPECT_EQ(a->Value, "x");
    EXPECT_EQ(n->getNumberOfNodes(), 0);
}

TEST(XMLNode, PositionsOutsideTheChildrenThrow) {
    auto n = XMLNode::Create("n");
    n->addNodeAt(0, XMLNode::Create("b"));
    n->addNodeAt(0, XMLNode::Create("a"));
    n->addNodeAt(2, XMLNode::Create("c"));
    EXPECT_EQ(n->toString(), "<n><a></a><b></b><c></c></n>");
    EXPECT_THROW(n->getNodeAt(3), std::out_of_range);
    EXPECT_THROW(n->getNodeAt(-1), std::out_of_range);
    EXPECT_THROW(n->addNodeAt(4, XMLNode::Create("x")), std::out_of_range);
    EXPECT_THROW(n->setNodeAt(3, XMLNode::Create("x")), std::out_of_range);
    EXPECT_THROW(n->removeNodeAt(3), std::out_of_range);
    n->setNodeAt(1, XMLNode::Create("z"));
    EXPECT_EQ(n->Nodes(1)->name, "z");
}

TEST(XMLNode, CopiesAreDeepAndSharedChildrenSurvive) {
    auto n = XMLNode::createFromXML("<g><a>1<b>2</b></a><c/></g>", "h");
    EXPECT_EQ(n->name, "h");
    n->addString("", "nameless");  // not readable as text, still copied
    auto copy = n->getCopy();
    EXPECT_EQ(copy->toString(), n->toString());
    copy->getNode("a")->getNode("b")->Value = "changed";
    EXPECT_EQ(n->getNode("a")->getString("b"), "2");
    EXPECT_EQ(copy->getString("", 0, "d"), "nameless");

    // A node held by two parents keeps its subtree when one parent goes.
    auto shared = n->getNode("a");
    auto other = XMLNode::Create("o");
    other->addNode(shared);
    n.reset();
    shared.reset();
    EXPECT_EQ(other->toString(), "<o><a>1<b>2</b></a></o>");
}

TEST(XMLNode, FilesAreReadAndReplacedWhole) {
    const std::string path = tempPath("group.agx");
    ASSERT_FALSE(XMLNode::putFile(path, std::string(1000, 'x')));
    auto n = XMLNode::Create("algr");
    n->addString("name", "A & B");
    ASSERT_FALSE(n->toXMLFile(path));
    std::string content;
    ASSERT_FALSE(XMLNode::getFile(path, content));
    EXPECT_EQ(content, "<algr><name>A &amp; B</name></algr>");  // no trailing old bytes

    auto back = XMLNode::createFromFile(path);
    EXPECT_EQ(back->getString("name"), "A & B");
    auto into = std::make_shared<XMLNode>();
    EXPECT_FALSE(into->initializeFromFile(path));

    const std::string missing = tempPath("missing.agx");
    content = "kept";
    EXPECT_TRUE(XMLNode::getFile(missing, content));
    EXPECT_EQ(content, "kept");
    EXPECT_TRUE(into->initializeFromFile(missing));
    EXPECT_EQ(XMLNode::createFromFile(missing)->toString(), "<></>");
    EXPECT_TRUE(XMLNode::putFile(tempPath("no/such/folder/f"), "x"));

    ASSERT_FALSE(XMLNode::putFile(path, "<a>"));
    EXPECT_TRUE(into->initializeFromFile(path));  // unreadable XML fails too
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

// The parser against the one it replaced, kept here as it was: on the fuzz
// seeds, on the parser tests' own texts and on many texts made of the pieces
// its states react to, both must build the same tree and give the same answer.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "xml/xmlnode.h"
#include "xml/xmlparser.h"

using namespace qv;

namespace {

enum class State : std::uint8_t {
    Prolog,
    Content,
    TagStart,
    TagName,
    InTag,
    AttributeName,
    AfterAttributeName,
    BeforeAttributeValue,
    AttributeValue,
    Reference,
    EndTag,
    EmptyTagEnd,
    Skip,
    Comment,
    CData,
    Done,
};

// Character classes, looked up by byte.
enum : std::uint8_t {
    kTagSpace = 1,    // codes 9-13 and 28-32 end a tag name or separate attributes
    kNameStop = 2,    // a character the tag-name state must look at itself
    kValueSpace = 4,  // whitespace that becomes a space inside attribute values
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> t{};
    for (int c : {9, 10, 11, 12, 13, 28, 29, 30, 31, 32}) t[c] |= kTagSpace | kNameStop;
    for (int c : {'>', '/', '-', '[', 'E'}) t[c] |= kNameStop;
    for (int c : {' ', '\r', '\n', '\t'}) t[c] |= kValueSpace;
    return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

inline bool is(char c, std::uint8_t cls) {
    return (kClasses[static_cast<unsigned char>(c)] & cls) != 0;
}

inline bool endsWith(const std::string& s, char a, char b) {
    const std::size_t n = s.size();
    return n >= 2 && s[n - 2] == a && s[n - 1] == b;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// "#65" or "#x41": appends the character as UTF-8. Empty, malformed, too large
// or surrogate references append nothing; none of them fails the parse.
void appendCharacterReference(std::string_view ref, std::string& out) {
    ref.remove_prefix(1);  // '#'
    unsigned base = 10;
    if (!ref.empty() && (ref[0] == 'x' || ref[0] == 'X')) {
        base = 16;
        ref.remove_prefix(1);
    }
    if (ref.empty()) return;
    std::uint32_t cp = 0;
    for (char c : ref) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return;
        }
        cp = cp * base + digit;
        if (cp > 0x10FFFF) return;  // also stops any overflow
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return;
    appendUtf8(out, cp);
}

// The parser as it was before its nodes came from blocks: the reference the
// current one must answer exactly like.
bool referenceParse(std::string_view xml, XMLNode& root) {
    const char* const s = xml.data();
    const std::size_t n = xml.size();

    bool failed = false;
    State state = State::Prolog;
    std::vector<State> returns;
    returns.reserve(8);
    // The open elements, innermost last; the document element is root. The
    // children of open elements wait in one shared list and move into their
    // parent, in one exact allocation, when it closes (or the parse ends).
    std::vector<XMLNode*> open;
    std::vector<std::size_t> firstChild;
    std::vector<XMLNodePtr> children;
    open.reserve(64);
    firstChild.reserve(64);
    children.reserve(256);
    open.push_back(&root);
    firstChild.push_back(0);
    std::int64_t openCount = 0;

    std::string buffer;
    buffer.reserve(256);
    std::string reference;
    std::string tagName;
    char quote = '"';

    auto push = [&](State st) { returns.push_back(st); };
    auto pop = [&]() {
        if (returns.empty()) return State::Prolog;
        const State st = returns.back();
        returns.pop_back();
        return st;
    };
    auto startElement = [&](const std::string& elementName) {
        ++openCount;
        if (openCount == 1) {
            root.name = elementName;
            return;
        }
        auto node = std::make_shared<XMLNode>();
        node->name = elementName;
        open.push_back(node.get());
        children.push_back(std::move(node));
        firstChild.push_back(children.size());
    };
    auto closeInnermost = [&]() {
        XMLNode* node = open.back();
        const std::size_t first = firstChild.back();
        for (std::size_t k = first; k < children.size(); ++k) node->addNode(std::move(children[k]));
        children.resize(first);
        open.pop_back();
        firstChild.pop_back();
    };
    // False when there is no open element to end.
    auto endElement = [&]() {
        if (openCount <= 0) return false;
        --openCount;
        if (openCount > 0) closeInnermost();
        return true;
    };
    // Every exit hands the waiting children to their parents, root last.
    auto finish = [&](bool result) {
        while (!open.empty()) closeInnermost();
        return result;
    };
    auto appendText = [&](std::string_view text) {
        if (openCount > 0) open.back()->Value.append(text);  // text outside is dropped
    };

    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[i];
        switch (state) {
            case State::Prolog: {
                const void* lt = std::memchr(s + i, '<', n - i);
                if (!lt) {
                    i = n;
                    break;
                }
                i = static_cast<std::size_t>(static_cast<const char*>(lt) - s);
                push(State::Content);
                state = State::TagStart;
                break;
            }
            case State::Content:
                if (c == '<') {
                    push(State::Content);
                    state = State::TagStart;
                    if (!buffer.empty()) {
                        appendText(buffer);
                        buffer.clear();
                    }
                } else if (c == '&') {
                    push(State::Content);
                    reference.clear();
                    state = State::Reference;
                } else {
                    std::size_t j = i + 1;
                    while (j < n && s[j] != '<' && s[j] != '&') ++j;
                    buffer.append(s + i, j - i);
                    i = j - 1;
                }
                break;
            case State::TagStart: {
                const State back = pop();
                if (c == '/') {
                    push(back);
                    state = State::EndTag;
                } else if (c == '?') {
                    state = State::Skip;
                } else if (c == '>') {
                    // "<>" is no tag; reading it as a name starting with ">" would
                    // give a tree whose end tag cannot be read back.
                    return finish(true);
                } else {
                    push(back);
                    tagName.clear();
                    buffer += c;
                    state = State::TagName;
                }
                break;
            }
            case State::TagName:
                if (c == '>') {
                    if (tagName.empty()) tagName.swap(buffer);
                    buffer.clear();
                    startElement(tagName);
                    tagName.clear();
                    state = pop();
                } else if (c == '/') {
                    state = State::EmptyTagEnd;
                } else if (c == '-' && buffer == "!-") {
                    state = State::Comment;  // the buffer keeps "!-"
                } else if (c == '[' && buffer == "![CDATA") {
                    buffer.clear();
                    state = State::CData;
                } else if (c == 'E' && buffer == "!DOCTYP") {
                    buffer.clear();
                    state = State::Skip;
                } else if (is(c, kTagSpace)) {
                    tagName = buffer;
                    buffer.clear();
                    state = State::InTag;
                } else {
                    std::size_t j = i + 1;
                    while (j < n && !is(s[j], kNameStop)) ++j;
                    buffer.append(s + i, j - i);
                    i = j - 1;
                }
                break;
            case State::InTag:
                if (c == '>') {
                    state = pop();
                    startElement(tagName);
                    tagName.clear();
                } else if (c == '/') {
                    state = State::EmptyTagEnd;
                } else if (!is(c, kTagSpace)) {
                    buffer += c;
                    state = State::AttributeName;
                }
                break;
            case State::AttributeName:
                if (is(c, kTagSpace)) {
                    buffer.clear();  // attribute names are dropped
                    state = State::AfterAttributeName;
                } else if (c == '=') {
                    buffer.clear();
                    state = State::BeforeAttributeValue;
                } else {
                    buffer += c;
                }
                break;
            case State::AfterAttributeName:
                if (c == '=') {
                    state = State::BeforeAttributeValue;
                } else if (!is(c, kTagSpace)) {
                    return finish(true);
                }
                break;
            case State::BeforeAttributeValue:
                if (c == '\'' || c == '"') {
                    quote = c;
                    state = State::AttributeValue;
                } else if (!is(c, kTagSpace)) {
                    return finish(true);
                }
                break;
            case State::AttributeValue:
                if (c == quote) {
                    buffer.clear();  // attribute values are dropped
                    state = State::InTag;
                } else if (is(c, kValueSpace)) {
                    buffer += ' ';
                } else if (c == '&') {
                    push(State::AttributeValue);
                    reference.clear();
                    state = State::Reference;
                } else {
                    buffer += c;
                }
                break;
            case State::Reference:
                if (c == ';') {
                    state = pop();
                    if (reference == "lt") {
                        buffer += '<';
                    } else if (reference == "gt") {
                        buffer += '>';
                    } else if (reference == "amp") {
                        buffer += '&';
                    } else if (reference == "quot") {
                        buffer += '"';
                    } else if (reference == "apos") {
                        buffer += '\'';
                    } else if (!reference.empty() && reference[0] == '#') {
                        appendCharacterReference(reference, buffer);
                    } else {
                        failed = true;  // unknown entity: noted, reading goes on
                    }
                    reference.clear();
                } else {
                    reference += c;
                }
                break;
            case State::EndTag: {
                // End-tag names are not compared with the start tag, so they are
                // not kept either.
                const void* gt = std::memchr(s + i, '>', n - i);
                if (!gt) {
                    i = n;
                    break;
                }
                i = static_cast<std::size_t>(static_cast<const char*>(gt) - s);
                state = pop();
                buffer.clear();
                if (!endElement()) return finish(true);
                if (openCount == 0) state = State::Done;
                break;
            }
            case State::EmptyTagEnd:
                if (tagName.empty()) tagName = buffer;
                if (c != '>') return finish(true);  // "<a/x": a malformed tag is a failure
                startElement(tagName);
                endElement();
                if (openCount == 0) return finish(failed);
                buffer.clear();
                tagName.clear();
                state = pop();
                break;
            case State::Skip: {
                const void* gt = std::memchr(s + i, '>', n - i);
                if (!gt) {
                    i = n;
                    break;
                }
                i = static_cast<std::size_t>(static_cast<const char*>(gt) - s);
                const State back = pop();
                state = back == State::Content ? State::Prolog : back;
                break;
            }
            case State::Comment: {
                if (c == '>' && endsWith(buffer, '-', '-')) {
                    buffer.clear();
                    state = pop();
                    break;
                }
                // Only the last two characters matter; keep no more than those.
                const void* gt = std::memchr(s + i + 1, '>', n - i - 1);
                const std::size_t j =
                    gt ? static_cast<std::size_t>(static_cast<const char*>(gt) - s) : n;
                buffer.append(s + i, std::min<std::size_t>(j - i, 2));
                if (j - i > 2) buffer.assign(s + j - 2, 2);
                if (buffer.size() > 2) buffer.erase(0, buffer.size() - 2);
                i = j - 1;
                break;
            }
            case State::CData: {
                if (c == '>' && endsWith(buffer, ']', ']')) {
                    appendText(std::string_view(buffer).substr(0, buffer.size() - 2));
                    buffer.clear();
                    state = pop();
                    break;
                }
                const void* gt = std::memchr(s + i + 1, '>', n - i - 1);
                const std::size_t j =
                    gt ? static_cast<std::size_t>(static_cast<const char*>(gt) - s) : n;
                buffer.append(s + i, j - i);
                i = j - 1;
                break;
            }
            case State::Done:
                return finish(failed);
        }
    }
    return finish(failed || state != State::Done);
}

// Name, text and children of both trees, compared node by node.
::testing::AssertionResult sameTree(const XMLNode& a, const XMLNode& b) {
    std::vector<std::pair<const XMLNode*, const XMLNode*>> todo{{&a, &b}};
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (x->name != y->name || x->Value != y->Value ||
            x->getNumberOfNodes() != y->getNumberOfNodes())
            return ::testing::AssertionFailure()
                   << "<" << x->name << "> \"" << x->Value << "\" (" << x->getNumberOfNodes()
                   << " children) against <" << y->name << "> \"" << y->Value << "\" ("
                   << y->getNumberOfNodes() << " children)";
        for (std::size_t k = 0; k < x->children().size(); ++k)
            todo.emplace_back(x->children()[k].get(), y->children()[k].get());
    }
    return ::testing::AssertionSuccess();
}

void expectSameAnswer(const std::string& text) {
    XMLNode ours;
    XMLNode reference;
    const bool oursFailed = XMLParser::parse(text, ours);
    const bool referenceFailed = referenceParse(text, reference);
    EXPECT_EQ(oursFailed, referenceFailed) << text;
    EXPECT_TRUE(sameTree(ours, reference)) << text;

    // Appending to a node that already has text and children.
    auto oursFilled = XMLNode::Create("old", "v");
    oursFilled->addString("k", "1");
    auto referenceFilled = oursFilled->getCopy();
    EXPECT_EQ(XMLParser::parse(text, *oursFilled), referenceParse(text, *referenceFilled)) << text;
    EXPECT_TRUE(sameTree(*oursFilled, *referenceFilled)) << text;
}

std::vector<std::string> seedTexts() {
    std::vector<std::string> texts;
    const std::filesystem::path seeds =
        std::filesystem::path(QUORVANE_SOURCE_DIR) / "fuzz" / "seeds" / "fuzz_xmlparser";
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        texts.push_back(content.str());
    }
    return texts;
}

}  // namespace

TEST(XMLParserDifferential, SeedsAndEveryPrefixOfThem) {
    const auto seeds = seedTexts();
    ASSERT_FALSE(seeds.empty());
    for (const std::string& seed : seeds) {
        for (std::size_t length = 0; length <= seed.size(); ++length)
            expectSameAnswer(seed.substr(0, length));
    }
}

TEST(XMLParserDifferential, TextsBuiltFromWhatTheStatesReactTo) {
    static const std::vector<std::string> kPieces = {"<a>",
                                                     "</a>",
                                                     "<b>",
                                                     "</b>",
                                                     "<c/>",
                                                     "<ab-E[>",
                                                     "</>",
                                                     "< z>",
                                                     "<a/x>",
                                                     "<>",
                                                     "<a ",
                                                     " k='v'",
                                                     " k=\"v&amp;w\"",
                                                     "k",
                                                     "=",
                                                     "'",
                                                     "\"",
                                                     "/",
                                                     ">",
                                                     "<",
                                                     "/>",
                                                     "&",
                                                     ";",
                                                     "&amp;",
                                                     "&lt;",
                                                     "&gt;",
                                                     "&quot;",
                                                     "&apos;",
                                                     "&#65;",
                                                     "&#x20AC;",
                                                     "&#;",
                                                     "&foo;",
                                                     "&LT;",
                                                     "<!--",
                                                     "-->",
                                                     "--",
                                                     "-",
                                                     "<!-",
                                                     "<![CDATA[",
                                                     "]]>",
                                                     "]",
                                                     "[",
                                                     "<?xml version='1.0'?>",
                                                     "<?",
                                                     "?>",
                                                     "<!DOCTYPE a>",
                                                     "<!DOCTYP",
                                                     "E",
                                                     "!",
                                                     "text",
                                                     "Smith & Jones",
                                                     " ",
                                                     "\n",
                                                     "\t",
                                                     "\r",
                                                     std::string(1, '\0'),
                                                     "\x1c",
                                                     "\xc3\xa9"};
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 24);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int pieces = length(random);
        for (int k = 0; k < pieces; ++k) {
            // Now and then a stray byte between the pieces.
            if (byte(random) < 16) text += static_cast<char>(byte(random));
            text += kPieces[pick(random)];
        }
        expectSameAnswer(text);
        if (::testing::Test::HasFailure()) break;  // one bad text is enough to read
    }
}

TEST(XMLParserDifferential, WellFormedDocumentsAreReadAlike) {
    // A whole alarm group as written, so the common path meets the other states.
    auto group = XMLNode::Create("algr");
    group->addString("name", "Work & home <main>");
    for (int i = 0; i < 50; ++i) {
        auto alarm = XMLNode::Create("alrm");
        alarm->addString("name", "Call #" + std::to_string(i) + ": \"Smith\" & 'Jones'");
        alarm->addString("datk", "2024/01/01 07:30:00");
        alarm->addString("empty", "");
        auto action = XMLNode::Create("acti", "text beside children");
        action->addNode(XMLNode::Create("sett"));
        alarm->addNode(action);
        group->addNode(alarm);
    }
    const std::string text = group->toString();
    expectSameAnswer(text);
    expectSameAnswer("<?xml version=\"1.0\"?>\n<!-- saved -->\n" + text + "\n");
    // Cut anywhere, the broken document still reads alike.
    for (std::size_t length = 0; length < 2000; length += 7)
        expectSameAnswer(text.substr(0, length));
}

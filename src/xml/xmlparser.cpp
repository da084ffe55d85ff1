#include "xml/xmlparser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "xml/nodeblocks.h"

namespace qv {
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
    kNameEnd = 8,     // ends the name of a tag that does not start with "!"
    kTextEnd = 16,    // ends a run of plain text
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> t{};
    for (int c : {9, 10, 11, 12, 13, 28, 29, 30, 31, 32}) t[c] |= kTagSpace | kNameStop;
    for (int c : {'>', '/', '-', '[', 'E'}) t[c] |= kNameStop;
    for (int c : {' ', '\r', '\n', '\t'}) t[c] |= kValueSpace;
    for (int c : {9, 10, 11, 12, 13, 28, 29, 30, 31, 32, int{'>'}, int{'/'}}) t[c] |= kNameEnd;
    for (int c : {'<', '&'}) t[c] |= kTextEnd;
    return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

inline bool is(char c, std::uint8_t cls) {
    return (kClasses[static_cast<unsigned char>(c)] & cls) != 0;
}

// The first position from `at` whose character is of the class, or n. Short
// runs end within the first four tests; longer ones are looked at eight
// characters per test, which saves a branch per character.
inline std::size_t skipUntil(const char* s, std::size_t at, std::size_t n, std::uint8_t cls) {
    auto c = [s](std::size_t k) { return kClasses[static_cast<unsigned char>(s[k])]; };
    if (at + 4 <= n) {
        if (c(at) & cls) return at;
        if (c(at + 1) & cls) return at + 1;
        if (c(at + 2) & cls) return at + 2;
        if (c(at + 3) & cls) return at + 3;
        at += 4;
    }
    while (at + 8 <= n) {
        const std::uint8_t any = c(at) | c(at + 1) | c(at + 2) | c(at + 3) | c(at + 4) | c(at + 5) |
                                 c(at + 6) | c(at + 7);
        if (any & cls) break;
        at += 8;
    }
    while (at < n && !(c(at) & cls)) ++at;
    return at;
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

// Hands allocate_shared its memory from the blocks. The copy kept inside each
// node's control block only frees, which needs the slot, never the blocks
// object, so it may outlive the parse.
template <class T>
struct BlockAllocator {
    using value_type = T;
    NodeBlocks* blocks;
    explicit BlockAllocator(NodeBlocks* b) noexcept : blocks(b) {}
    template <class U>
    BlockAllocator(const BlockAllocator<U>& other) noexcept : blocks(other.blocks) {}
    T* allocate(std::size_t n) {
        return static_cast<T*>(blocks->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { NodeBlocks::release(p); }
    // Default-initialised: value-initialising a node would zero all of it
    // before its members are built.
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U>
    bool operator==(const BlockAllocator<U>& other) const noexcept {
        return blocks == other.blocks;
    }
};

// The text between "&" and ";": appends what it stands for. False for an
// unknown entity name.
bool appendReference(std::string_view ref, std::string& out) {
    if (ref == "lt") {
        out += '<';
    } else if (ref == "gt") {
        out += '>';
    } else if (ref == "amp") {
        out += '&';
    } else if (ref == "quot") {
        out += '"';
    } else if (ref == "apos") {
        out += '\'';
    } else if (!ref.empty() && ref[0] == '#') {
        appendCharacterReference(ref, out);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool XMLParser::parse(std::string_view xml, XMLNode& root) { return parse(xml, root, nullptr); }

bool XMLParser::parse(std::string_view xml, XMLNode& root, const ChildHandler& takeChild) {
    const char* const s = xml.data();
    const std::size_t n = xml.size();

    NodeBlocks blocks;
    bool failed = false;
    State state = State::Prolog;
    std::vector<State> returns;
    returns.reserve(8);
    // The open elements, innermost last; the document element is root. The
    // children of open elements wait in one shared list and move into their
    // parent, in one exact allocation, when it closes (or the parse ends).
    struct Open {
        XMLNode* node;
        std::size_t firstChild;
    };
    // A plain array with its own depth: pushing a struct through push_back
    // cost a stalled copy per element.
    std::vector<Open> open(64);
    std::size_t depth = 1;
    std::vector<XMLNodePtr> children;
    children.reserve(256);
    open[0] = {&root, 0};
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
    auto startElement = [&](std::string_view elementName) __attribute__((always_inline)) {
        ++openCount;
        if (openCount == 1) {
            root.name = elementName;
            return;
        }
        auto node = std::allocate_shared<XMLNode>(BlockAllocator<XMLNode>(&blocks));
        // A name read piecewise lies in `tagName`, which may be read only to its end.
        const bool inDocument = elementName.data() >= s && elementName.data() < s + n;
        node->name.appendInBlocks(elementName, blocks,
                                  inDocument ? s + n : elementName.data() + elementName.size());
        if (depth == open.size()) open.resize(2 * depth);
        open[depth].node = node.get();
        open[depth].firstChild = children.size() + 1;
        ++depth;
        children.push_back(std::move(node));
    };
    auto closeInnermost = [&]() {
        const Open top = open[--depth];
        const std::size_t count = children.size() - top.firstChild;
        if (count == 0) return;
        XMLChildren& own = top.node->children_;
        const auto first = children.begin() + static_cast<std::ptrdiff_t>(top.firstChild);
        if (depth == 0) {
            // The root is the caller's node, which may have children already:
            // its list stays on the heap.
            own.reserve(own.size() + count);
            for (auto it = first; it != children.end(); ++it) own.push_back(std::move(*it));
        } else {
            // A node of this parse: its list, exactly as long as it is, goes
            // into the blocks beside it.
            if (count > 0x7FFFFFFFu) throw std::length_error("XMLNode has too many children");
            auto* storage = static_cast<XMLNodePtr*>(
                blocks.allocate(count * sizeof(XMLNodePtr), alignof(XMLNodePtr)));
            for (std::size_t k = 0; k < count; ++k)
                ::new (static_cast<void*>(storage + k)) XMLNodePtr(std::move(first[k]));
            own.data_ = storage;
            own.size_ = own.capacity_ = static_cast<std::uint32_t>(count);
            own.capacity_ |= XMLChildren::kInBlock;
        }
        children.erase(first, children.end());
    };
    // After an element has closed: a child of the document element is
    // offered to the caller (it is the last of the waiting children).
    auto offer = [&]() {
        if (depth == 1 && takeChild && takeChild(children.back())) children.pop_back();
    };
    // False when there is no open element to end.
    auto endElement = [&]() {
        if (openCount <= 0) return false;
        --openCount;
        if (openCount > 0) {
            closeInnermost();
            offer();
        }
        return true;
    };
    // Every exit hands the waiting children to their parents, root last.
    auto finish = [&](bool result) {
        while (depth > 0) closeInnermost();
        return result;
    };
    // `readableEnd`: how far the memory the text lies in may be read.
    auto appendText = [&](std::string_view text, const char* readableEnd) {
        // Text outside the document element is dropped.
        if (openCount == 1) {
            root.Value.append(text);
        } else if (openCount > 1) {
            open[depth - 1].node->Value.appendInBlocks(text, blocks, readableEnd);
        }
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
            case State::Content: {
                // Plain text, start tags without attributes, empty-element tags
                // and end tags are read here in one go; each does exactly what
                // the general states below would do with it, and anything else
                // ("<!", "<?", attributes, references, running out of text) is
                // handed to them at its first character.
                std::size_t at = i;
                for (;;) {
                    // Between tags there is mostly no text at all.
                    const std::size_t j =
                        at < n && s[at] == '<' ? at : skipUntil(s, at, n, kTextEnd);
                    if (j < n && s[j] == '&') {
                        const void* semicolon = std::memchr(s + j + 1, ';', n - j - 1);
                        if (semicolon) {
                            const auto end = static_cast<const char*>(semicolon);
                            buffer.append(s + at, j - at);
                            const std::string_view name(
                                s + j + 1, static_cast<std::size_t>(end - (s + j + 1)));
                            if (!appendReference(name, buffer)) failed = true;  // as below
                            at = static_cast<std::size_t>(end - s) + 1;
                            continue;
                        }
                    }
                    if (j == n || s[j] == '&') {
                        buffer.append(s + at, j - at);
                        if (j < n) {
                            push(State::Content);
                            reference.clear();
                            state = State::Reference;
                        }
                        i = j;
                        break;
                    }
                    if (buffer.empty()) {
                        if (j > at) appendText(std::string_view(s + at, j - at), s + n);
                    } else {
                        buffer.append(s + at, j - at);
                        appendText(buffer, buffer.data() + buffer.capacity());
                        buffer.clear();
                    }
                    i = j;  // the '<', should the general states have to take it
                    std::size_t k = j + 1;
                    if (k < n && s[k] == '/') {
                        // End-tag names are short: a plain loop beats a call.
                        std::size_t gt = k + 1;
                        while (gt < n && s[gt] != '>') ++gt;
                        if (gt == n) break;
                        if (openCount > 1 && open[depth - 1].firstChild == children.size()) {
                            // A childless element has nothing to hand over.
                            --openCount;
                            --depth;
                            offer();
                        } else {
                            if (!endElement()) return finish(true);
                            if (openCount == 0) return finish(failed);
                        }
                        at = gt + 1;
                        continue;
                    }
                    if (k >= n || s[k] == '?' || s[k] == '>' || s[k] == '!') break;
                    const std::size_t nameStart = k;
                    ++k;
                    while (k < n && !is(s[k], kNameEnd)) ++k;  // names are short
                    if (k == n) break;
                    const std::string_view elementName(s + nameStart, k - nameStart);
                    if (s[k] == '>') {
                        startElement(elementName);
                        at = k + 1;
                        continue;
                    }
                    if (s[k] != '/' || k + 1 >= n || s[k + 1] != '>') break;
                    startElement(elementName);
                    endElement();
                    if (openCount == 0) return finish(failed);
                    at = k + 2;
                }
                if (state == State::Content && i < n) {
                    push(State::Content);
                    state = State::TagStart;
                }
                break;
            }
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
                    if (!appendReference(reference, buffer))
                        failed = true;  // unknown entity: noted, reading goes on
                    reference.clear();
                } else {
                    const void* semicolon = std::memchr(s + i, ';', n - i);
                    const std::size_t j =
                        semicolon
                            ? static_cast<std::size_t>(static_cast<const char*>(semicolon) - s)
                            : n;
                    reference.append(s + i, j - i);
                    i = j - 1;
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
                    appendText(std::string_view(buffer).substr(0, buffer.size() - 2),
                               buffer.data() + buffer.capacity());
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

}  // namespace qv

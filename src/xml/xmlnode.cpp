#include "xml/xmlnode.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "base/files.h"
#include "xml/nodeblocks.h"
#include "xml/xmlparser.h"

namespace qv {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Prepares decimal text for std::from_chars: blanks trimmed, a leading "+"
// dropped. Only plain decimal numbers pass (no "inf", "nan" or hex).
bool prepareNumber(std::string_view& text) {
    text = trimBlanks(text);
    std::size_t k = 0;
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);  // from_chars knows no plus sign
    } else if (!text.empty() && text.front() == '-') {
        k = 1;
    }
    if (k >= text.size()) return false;
    const char c = text[k];
    return (c >= '0' && c <= '9') || c == '.';
}

template <class F>
bool parseFloating(std::string_view text, F& out) {
    if (!prepareNumber(text)) return false;
    F value{};
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || p != end || !std::isfinite(value)) return false;
    out = value;
    return true;
}

template <class F>
std::string floatingToText(F value, int digits) {
    char buf[64];
    const auto [p, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    if (ec != std::errc()) return "0";
    return std::string(buf, p);
}

}  // namespace

// ---- The child list ----------------------------------------------------------

void XMLChildren::reserve(std::size_t n) {
    if (n <= capacity()) return;
    if (n > 0x7FFFFFFFu) throw std::length_error("XMLNode has too many children");
    auto* storage = static_cast<XMLNodePtr*>(::operator new(n * sizeof(XMLNodePtr)));
    for (std::uint32_t i = 0; i < size_; ++i) {
        ::new (static_cast<void*>(storage + i)) XMLNodePtr(std::move(data_[i]));
        data_[i].~XMLNodePtr();
    }
    const std::uint32_t count = size_;
    size_ = 0;
    reset();
    data_ = storage;
    size_ = count;
    capacity_ = static_cast<std::uint32_t>(n);
}

void XMLChildren::push_back(XMLNodePtr node) {
    if (size_ == capacity()) reserve(std::max<std::size_t>(4, 2 * std::size_t{size_}));
    ::new (static_cast<void*>(data_ + size_)) XMLNodePtr(std::move(node));
    ++size_;
}

void XMLChildren::insert(std::size_t position, XMLNodePtr node) {
    push_back(std::move(node));
    std::rotate(data_ + position, data_ + size_ - 1, data_ + size_);
}

XMLNodePtr XMLChildren::take(std::size_t position) {
    XMLNodePtr node = std::move(data_[position]);
    std::move(data_ + position + 1, data_ + size_, data_ + position);
    data_[--size_].~XMLNodePtr();
    return node;
}

void XMLChildren::reset() noexcept {
    if (!data_) return;
    for (std::uint32_t i = 0; i < size_; ++i) data_[i].~XMLNodePtr();
    if (capacity_ & kInBlock) {
        NodeBlocks::release(data_);
    } else {
        ::operator delete(data_);
    }
    data_ = nullptr;
    size_ = capacity_ = 0;
}

// ---- The node -------------------------------------------------------------------

XMLNode::XMLNode(std::string_view nodeName, std::string_view value)
    : name(nodeName), Value(value) {}

namespace {

// The nodes still to be torn down: a stack that needs no allocation for the
// usual depth and breadth of a document.
class PendingNodes {
  public:
    PendingNodes() = default;
    PendingNodes(const PendingNodes&) = delete;
    PendingNodes& operator=(const PendingNodes&) = delete;
    ~PendingNodes() {
        while (!empty()) (void)pop();
    }
    bool empty() const { return size_ == 0 && more_.empty(); }
    void push(XMLNodePtr&& node) {
        if (more_.empty() && size_ < kLocal) {
            ::new (static_cast<void*>(local() + size_)) XMLNodePtr(std::move(node));
            ++size_;
        } else {
            more_.push_back(std::move(node));
        }
    }
    XMLNodePtr pop() {
        if (!more_.empty()) {
            XMLNodePtr node = std::move(more_.back());
            more_.pop_back();
            return node;
        }
        --size_;
        XMLNodePtr node = std::move(local()[size_]);
        local()[size_].~XMLNodePtr();
        return node;
    }

  private:
    static constexpr std::size_t kLocal = 64;
    XMLNodePtr* local() { return reinterpret_cast<XMLNodePtr*>(storage_); }
    alignas(XMLNodePtr) unsigned char storage_[kLocal * sizeof(XMLNodePtr)];
    std::size_t size_ = 0;
    std::vector<XMLNodePtr> more_;
};

}  // namespace

XMLNode::~XMLNode() {
    // Children that die with this node and have children of their own wait on
    // the pending stack, so no destructor ever recurses more than one level;
    // the others go at once. Nodes so go roughly in the order a parse laid
    // them out in its blocks, whose pieces the batch counts off a block at a
    // time.
    if (children_.empty()) return;
    NodeBlocks::Batch batch;
    PendingNodes pending;
    auto sweep = [&pending](XMLChildren& list) {
        const std::size_t count = list.size();
        for (std::size_t i = 0; i < count; ++i) {
            XMLNodePtr& child = list.at(i);
            if (child && child.use_count() == 1 && !child->children_.empty()) {
                pending.push(std::move(child));
            } else {
                child.reset();
            }
        }
        list.reset();
    };
    sweep(children_);
    while (!pending.empty()) {
        XMLNodePtr node = pending.pop();
        sweep(node->children_);
    }
}

// ---- Construction and whole-tree operations ---------------------------------

XMLNodePtr XMLNode::Create(std::string_view nodeName, std::string_view value) {
    return std::make_shared<XMLNode>(nodeName, value);
}

XMLNodePtr XMLNode::createFromXML(std::string_view xmlString, std::string_view overrideRootName) {
    auto node = std::make_shared<XMLNode>();
    (void)node->initializeFromXML(xmlString);  // malformed text gives what was built
    if (!overrideRootName.empty()) node->name = overrideRootName;
    return node;
}

XMLNodePtr XMLNode::createFromFile(const std::string& path) {
    std::string content;
    if (getFile(path, content)) return std::make_shared<XMLNode>();
    return createFromXML(content);
}

bool XMLNode::initializeFromXML(std::string_view xmlString) {
    return XMLParser::parse(xmlString, *this);
}

bool XMLNode::initializeFromFile(const std::string& path) {
    std::string content;
    if (getFile(path, content)) return true;
    return initializeFromXML(content);
}

XMLNodePtr XMLNode::getCopy() const {
    // Copied node by node rather than through text, so every name survives,
    // and with an explicit stack, so depth does not matter.
    auto copy = std::make_shared<XMLNode>(name, Value);
    std::vector<std::pair<const XMLNode*, XMLNode*>> todo;
    todo.emplace_back(this, copy.get());
    while (!todo.empty()) {
        const auto [from, to] = todo.back();
        todo.pop_back();
        to->children_.reserve(from->children_.size());
        for (const XMLNodePtr& child : from->children_) {
            auto c = std::make_shared<XMLNode>(child->name, child->Value);
            todo.emplace_back(child.get(), c.get());
            to->children_.push_back(std::move(c));
        }
    }
    return copy;
}

std::string XMLNode::toString() const {
    struct Frame {
        const XMLNode* node;
        std::size_t next;
    };
    std::vector<Frame> stack;
    // A first walk sizes the text (escapes aside), so the output grows at most once.
    std::size_t size = 0;
    std::vector<const XMLNode*> walk{this};
    while (!walk.empty()) {
        const XMLNode* node = walk.back();
        walk.pop_back();
        size += 2 * node->name.size() + 5 + node->Value.size();
        for (const auto& child : node->children_) walk.push_back(child.get());
    }
    std::string out;
    out.reserve(size + size / 16);
    auto open = [&](const XMLNode* node) {
        out += '<';
        out += node->name;
        out += '>';
        appendXMLString(out, node->Value);
        stack.push_back({node, 0});
    };
    open(this);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.node->children_.size()) {
            const XMLNode* child = top.node->children_[top.next++].get();
            open(child);  // may reallocate the stack: `top` is not used after this
        } else {
            out += "</";
            out += top.node->name;
            out += '>';
            stack.pop_back();
        }
    }
    return out;
}

bool XMLNode::toXMLFile(const std::string& path) const { return putFile(path, toString()); }

void XMLNode::clear() {
    Value.clear();
    XMLChildren old(std::move(children_));
}

// ---- Children by position ----------------------------------------------------

void XMLNode::checkPosition(std::int32_t position, bool allowEnd) const {
    const std::size_t limit = children_.size() + (allowEnd ? 1 : 0);
    if (position < 0 || static_cast<std::size_t>(position) >= limit)
        throw std::out_of_range("XMLNode child position out of range");
}

XMLNodePtr XMLNode::getNodeAt(std::int32_t position) const {
    checkPosition(position, false);
    return children_[static_cast<std::size_t>(position)];
}

void XMLNode::setNodeAt(std::int32_t position, XMLNodePtr node) {
    checkPosition(position, false);
    children_.at(static_cast<std::size_t>(position)) = std::move(node);
}

void XMLNode::addNodeAt(std::int32_t position, XMLNodePtr node) {
    checkPosition(position, true);
    children_.insert(static_cast<std::size_t>(position), std::move(node));
}

void XMLNode::addNode(XMLNodePtr node) { children_.push_back(std::move(node)); }

XMLNodePtr XMLNode::removeNodeAt(std::int32_t position) {
    checkPosition(position, false);
    return children_.take(static_cast<std::size_t>(position));
}

// ---- Children by name and occurrence -----------------------------------------

namespace {

// Whether the child has that name. Stored element names are short and mostly
// differ in their first or last character, so those are looked at before
// memcmp is called: reading an alarm looks up some thirty names among as many
// children.
inline bool hasName(const XMLNodePtr& child, std::string_view wanted) {
    if (!child) return false;
    const std::string_view name = child->name.view();
    const std::size_t n = wanted.size();
    if (name.size() != n) return false;
    if (n == 0) return true;
    return name[0] == wanted[0] && name[n - 1] == wanted[n - 1] &&
           std::memcmp(name.data(), wanted.data(), n) == 0;
}

}  // namespace

std::int32_t XMLNode::getNumberOfNodesWithName(std::string_view nodeName) const {
    std::int32_t count = 0;
    for (const auto& child : children_)
        if (hasName(child, nodeName)) ++count;
    return count;
}

std::int32_t XMLNode::getNodeIndex(std::string_view nodeName, std::int32_t Index) const {
    if (Index < 0) return -1;
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (hasName(children_[i], nodeName) && Index-- == 0) return static_cast<std::int32_t>(i);
    }
    return -1;
}

XMLNode* XMLNode::findChild(std::string_view nodeName, std::int32_t Index) const {
    const std::int32_t position = getNodeIndex(nodeName, Index);
    return position < 0 ? nullptr : children_[static_cast<std::size_t>(position)].get();
}

XMLNodePtr XMLNode::findNode(std::string_view nodeName, std::int32_t Index) const {
    const std::int32_t position = getNodeIndex(nodeName, Index);
    return position >= 0 ? children_[static_cast<std::size_t>(position)] : nullptr;
}

XMLNodePtr XMLNode::getNode(std::string_view nodeName, std::int32_t Index,
                            std::string_view defaultXMLString) const {
    const std::int32_t position = getNodeIndex(nodeName, Index);
    if (position >= 0) return children_[static_cast<std::size_t>(position)];
    return createFromXML(defaultXMLString);
}

std::string XMLNode::getString(std::string_view nodeName, std::int32_t Index,
                               std::string_view defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    return child ? child->Value.str() : std::string(defaultValue);
}

std::int16_t XMLNode::getInteger(std::string_view nodeName, std::int32_t Index,
                                 std::int16_t defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    std::int64_t v;
    if (!child || !textToInteger(child->Value, INT16_MIN, INT16_MAX, v)) return defaultValue;
    return static_cast<std::int16_t>(v);
}

std::int32_t XMLNode::getLong(std::string_view nodeName, std::int32_t Index,
                              std::int32_t defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    std::int64_t v;
    if (!child || !textToInteger(child->Value, INT32_MIN, INT32_MAX, v)) return defaultValue;
    return static_cast<std::int32_t>(v);
}

bool XMLNode::getBoolean(std::string_view nodeName, std::int32_t Index, bool defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    bool v;
    return child && textToBoolean(child->Value, v) ? v : defaultValue;
}

DateTime XMLNode::getDate(std::string_view nodeName, std::int32_t Index,
                          DateTime defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    if (!child) return defaultValue;
    return parseStoredText(child->Value).value_or(defaultValue);
}

float XMLNode::getSingle(std::string_view nodeName, std::int32_t Index, float defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    float v;
    return child && textToSingle(child->Value, v) ? v : defaultValue;
}

double XMLNode::getDouble(std::string_view nodeName, std::int32_t Index,
                          double defaultValue) const {
    const XMLNode* child = findChild(nodeName, Index);
    double v;
    return child && textToDouble(child->Value, v) ? v : defaultValue;
}

void XMLNode::addXMLString(std::string_view xmlString) { addNode(createFromXML(xmlString)); }

void XMLNode::addString(std::string_view nodeName, std::string_view value) {
    addNode(Create(nodeName, value));
}
void XMLNode::addInteger(std::string_view nodeName, std::int16_t value) {
    addString(nodeName, integerToText(value));
}
void XMLNode::addLong(std::string_view nodeName, std::int32_t value) {
    addString(nodeName, integerToText(value));
}
void XMLNode::addBoolean(std::string_view nodeName, bool value) {
    addString(nodeName, booleanToText(value));
}
void XMLNode::addDate(std::string_view nodeName, DateTime value) {
    addString(nodeName, toStoredText(value));
}
void XMLNode::addSingle(std::string_view nodeName, float value) {
    addString(nodeName, singleToText(value));
}
void XMLNode::addDouble(std::string_view nodeName, double value) {
    addString(nodeName, doubleToText(value));
}

void XMLNode::setString(std::string_view nodeName, std::string_view value, std::int32_t Index) {
    if (Index < 0) throw std::out_of_range("XMLNode occurrence number is negative");
    for (std::int32_t have = getNumberOfNodesWithName(nodeName); have <= Index; ++have)
        addString(nodeName, {});
    findChild(nodeName, Index)->Value = value;
}
void XMLNode::setInteger(std::string_view nodeName, std::int16_t value, std::int32_t Index) {
    setString(nodeName, integerToText(value), Index);
}
void XMLNode::setLong(std::string_view nodeName, std::int32_t value, std::int32_t Index) {
    setString(nodeName, integerToText(value), Index);
}
void XMLNode::setBoolean(std::string_view nodeName, bool value, std::int32_t Index) {
    setString(nodeName, booleanToText(value), Index);
}
void XMLNode::setDate(std::string_view nodeName, DateTime value, std::int32_t Index) {
    setString(nodeName, toStoredText(value), Index);
}
void XMLNode::setSingle(std::string_view nodeName, float value, std::int32_t Index) {
    setString(nodeName, singleToText(value), Index);
}
void XMLNode::setDouble(std::string_view nodeName, double value, std::int32_t Index) {
    setString(nodeName, doubleToText(value), Index);
}
void XMLNode::setNode(const XMLNode& node, std::int32_t Index) {
    // Copies first: `node` may be the very child that is set.
    const std::string nodeName = node.name.str(), value = node.Value.str();
    setString(nodeName, value, Index);
}
void XMLNode::setNode(const XMLNodePtr& node, std::int32_t Index) {
    if (node) setNode(*node, Index);
}

XMLNodePtr XMLNode::removeNode(std::string_view nodeName, std::int32_t Index) {
    const std::int32_t position = getNodeIndex(nodeName, Index);
    return position < 0 ? nullptr : removeNodeAt(position);
}
std::string XMLNode::removeString(std::string_view nodeName, std::int32_t Index,
                                  std::string_view defaultValue) {
    std::string v = getString(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}
std::int16_t XMLNode::removeInteger(std::string_view nodeName, std::int32_t Index,
                                    std::int16_t defaultValue) {
    const auto v = getInteger(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}
std::int32_t XMLNode::removeLong(std::string_view nodeName, std::int32_t Index,
                                 std::int32_t defaultValue) {
    const auto v = getLong(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}
bool XMLNode::removeBoolean(std::string_view nodeName, std::int32_t Index, bool defaultValue) {
    const auto v = getBoolean(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}
DateTime XMLNode::removeDate(std::string_view nodeName, std::int32_t Index, DateTime defaultValue) {
    const auto v = getDate(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}
float XMLNode::removeSingle(std::string_view nodeName, std::int32_t Index, float defaultValue) {
    const auto v = getSingle(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}
double XMLNode::removeDouble(std::string_view nodeName, std::int32_t Index, double defaultValue) {
    const auto v = getDouble(nodeName, Index, defaultValue);
    removeNode(nodeName, Index);
    return v;
}

// ---- Text and file helpers ---------------------------------------------------

void XMLNode::appendXMLString(std::string& out, std::string_view text) {
    static constexpr auto kSpecial = [] {
        std::array<bool, 256> t{};
        for (unsigned char c : {'&', '<', '>', '"', '\''}) t[c] = true;
        return t;
    }();
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* q = p;
        while (q < end && !kSpecial[static_cast<unsigned char>(*q)]) ++q;
        out.append(p, q);
        if (q == end) break;
        switch (*q) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += "&apos;";
                break;
        }
        p = q + 1;
    }
}

std::string XMLNode::stringToXMLString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendXMLString(out, text);
    return out;
}

bool XMLNode::getFile(const std::string& path, std::string& content) {
    auto text = tryReadFile(path);
    if (!text) return true;
    content = std::move(*text);
    return false;
}

bool XMLNode::putFile(const std::string& path, const std::string& content) {
    return !writeFile(path, content);
}

// ---- Stored text forms -------------------------------------------------------

std::string XMLNode::integerToText(std::int64_t value) {
    char buf[24];
    const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, p);
}

std::string XMLNode::singleToText(float value) { return floatingToText(value, 7); }
std::string XMLNode::doubleToText(double value) { return floatingToText(value, 15); }

bool XMLNode::textToInteger(std::string_view text, std::int64_t min, std::int64_t max,
                            std::int64_t& out) {
    // Most stored numbers are plain whole numbers: read those directly. Up to
    // 15 digits the general route below (through double) is exact, so both
    // give the same answer.
    if (!text.empty()) {
        const bool negative = text[0] == '-';
        const std::size_t first = negative ? 1 : 0;
        if (text.size() > first && text.size() - first <= 15) {
            std::int64_t value = 0;
            std::size_t k = first;
            for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k)
                value = value * 10 + (text[k] - '0');
            if (k == text.size()) {
                if (negative) value = -value;
                if (value < min || value > max) return false;
                out = value;
                return true;
            }
        }
    }
    double d;
    if (!parseFloating(text, d)) return false;
    // Halves go to the even neighbour.
    double r = std::floor(d);
    const double frac = d - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    if (r < static_cast<double>(min) || r > static_cast<double>(max)) return false;
    out = static_cast<std::int64_t>(r);
    return true;
}

XMLNode::WholeNumber XMLNode::readWholeNumber(std::string_view text, std::int64_t min,
                                              std::int64_t max, std::int64_t& out) {
    if (textToInteger(text, min, max, out)) return WholeNumber::kInRange;
    if (!prepareNumber(text)) return WholeNumber::kNotANumber;
    double d = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, d, std::chars_format::general);
    if (p != end) return WholeNumber::kNotANumber;
    const bool negative = text.front() == '-';
    if (ec == std::errc::result_out_of_range) {
        // Too far from zero for a double, or too close to it: which of the two
        // the exponent's sign tells.
        const std::size_t e = text.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
        if (tiny) {
            if (0 < min || 0 > max) {
                out = 0 < min ? min : max;
                return WholeNumber::kOutOfRange;
            }
            out = 0;
            return WholeNumber::kInRange;
        }
        out = negative ? min : max;
        return WholeNumber::kOutOfRange;
    }
    if (ec != std::errc() || !std::isfinite(d)) return WholeNumber::kNotANumber;
    // textToInteger turned it down, so it lies outside (after rounding).
    out = d < static_cast<double>(min) + 0.5 ? min : max;
    return WholeNumber::kOutOfRange;
}

bool XMLNode::textToBoolean(std::string_view text, bool& out) {
    // The stored forms are "-1" and "0": plain whole numbers are read directly,
    // any digit but zero making them true, as the general route reads them.
    if (!text.empty()) {
        const std::size_t first = text[0] == '-' ? 1 : 0;
        if (text.size() > first && text.size() - first <= 15) {
            bool nonZero = false;
            std::size_t k = first;
            for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k)
                nonZero = nonZero || text[k] != '0';
            if (k == text.size()) {
                out = nonZero;
                return true;
            }
        }
    }
    const std::string_view t = trimBlanks(text);
    auto equalsNoCase = [t](std::string_view word) {
        if (t.size() != word.size()) return false;
        for (std::size_t i = 0; i < t.size(); ++i) {
            char c = t[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != word[i]) return false;
        }
        return true;
    };
    if (equalsNoCase("true")) {
        out = true;
        return true;
    }
    if (equalsNoCase("false")) {
        out = false;
        return true;
    }
    double d;
    if (!parseFloating(text, d)) return false;
    out = d != 0.0;
    return true;
}

bool XMLNode::textToSingle(std::string_view text, float& out) { return parseFloating(text, out); }
bool XMLNode::textToDouble(std::string_view text, double& out) { return parseFloating(text, out); }

}  // namespace qv

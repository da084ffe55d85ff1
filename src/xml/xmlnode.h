#pragma once
// The element tree every file and plug-in message is held in: a name, a text
// value and ordered child elements held by reference. Typed values live as the
// text of a named child; children of the same name are told apart by their
// occurrence number `Index` (0 = the first of that name).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "xml/xmltext.h"

namespace qv {

class XMLNode;
using XMLNodePtr = std::shared_ptr<XMLNode>;

// A node's children in order: read like a vector (size, [], range-for), changed
// only through the node. A parse puts the list in its node blocks.
class XMLChildren {
  public:
    using value_type = XMLNodePtr;
    using const_iterator = const XMLNodePtr*;
    using iterator = const_iterator;

    XMLChildren() noexcept = default;
    XMLChildren(const XMLChildren&) = delete;
    XMLChildren& operator=(const XMLChildren&) = delete;
    XMLChildren(XMLChildren&& other) noexcept
        : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    XMLChildren& operator=(XMLChildren&& other) noexcept {
        if (this != &other) {
            XMLChildren old(std::move(*this));
            data_ = other.data_;
            size_ = other.size_;
            capacity_ = other.capacity_;
            other.data_ = nullptr;
            other.size_ = other.capacity_ = 0;
        }
        return *this;
    }
    ~XMLChildren() { reset(); }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const XMLNodePtr& operator[](std::size_t i) const noexcept { return data_[i]; }
    const XMLNodePtr& front() const noexcept { return data_[0]; }
    const XMLNodePtr& back() const noexcept { return data_[size_ - 1]; }
    const_iterator begin() const noexcept { return data_; }
    const_iterator end() const noexcept { return data_ + size_; }

  private:
    friend class XMLNode;
    friend class XMLParser;
    static constexpr std::uint32_t kInBlock = 0x80000000u;

    std::uint32_t capacity() const noexcept { return capacity_ & ~kInBlock; }
    XMLNodePtr& at(std::size_t i) noexcept { return data_[i]; }
    void push_back(XMLNodePtr node);
    void insert(std::size_t position, XMLNodePtr node);
    XMLNodePtr take(std::size_t position);
    void reserve(std::size_t n);
    // Drops every child and the storage.
    void reset() noexcept;
    // Hands the children over in document order (the storage stays empty).
    template <class F>
    void drain(F&& f) {
        for (std::uint32_t i = 0; i < size_; ++i) f(std::move(data_[i]));
        reset();
    }

    XMLNodePtr* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;  // kInBlock: the storage is in a parse's blocks
};

class XMLNode {
  public:
    XMLText name;
    XMLText Value;

    XMLNode() = default;
    XMLNode(std::string_view name, std::string_view value);
    // Tears the subtree down without recursion, so a chain of any depth can go.
    ~XMLNode();
    XMLNode(const XMLNode&) = delete;
    XMLNode& operator=(const XMLNode&) = delete;
    XMLNode(XMLNode&&) noexcept = default;
    XMLNode& operator=(XMLNode&&) noexcept = default;

    // ---- Construction and whole-tree operations -------------------------------

    // A childless node with that name and value.
    static XMLNodePtr Create(std::string_view name = {}, std::string_view value = {});
    // Parses the text into a new node; the parse result is dropped, so malformed
    // text gives whatever was built. A non-empty override replaces the root's name.
    static XMLNodePtr createFromXML(std::string_view xmlString,
                                    std::string_view overrideRootName = {});
    // A file that cannot be read gives an empty node.
    static XMLNodePtr createFromFile(const std::string& path);

    // Parses into this node without clearing it first: the document element's name
    // becomes this node's name, its text and children are appended. True on failure.
    [[nodiscard]] bool initializeFromXML(std::string_view xmlString);
    // True when the file cannot be read or does not parse.
    [[nodiscard]] bool initializeFromFile(const std::string& path);

    // Deep copy of the whole subtree (a node placed twice is copied twice).
    XMLNodePtr getCopy() const;
    // "<name>" + escaped value + children + "</name>"; no declaration, no
    // whitespace, no attributes, no self-closing form.
    std::string toString() const;
    // Writes toString() to the file, atomically. True on failure.
    bool toXMLFile(const std::string& path) const;
    // Empties the value and drops all children; the name stays.
    void clear();

    // ---- Children by position (0-based; std::out_of_range outside) ------------

    std::int32_t getNumberOfNodes() const { return static_cast<std::int32_t>(children_.size()); }
    XMLNodePtr getNodeAt(std::int32_t position) const;
    XMLNodePtr Nodes(std::int32_t position) const { return getNodeAt(position); }
    void setNodeAt(std::int32_t position, XMLNodePtr node);
    // 0 to count; later children move up.
    void addNodeAt(std::int32_t position, XMLNodePtr node);
    void addNode(XMLNodePtr node);
    XMLNodePtr removeNodeAt(std::int32_t position);
    // All children in order, for range-for loops.
    const XMLChildren& children() const { return children_; }

    // ---- Children by name and occurrence --------------------------------------

    std::int32_t getNumberOfNodesWithName(std::string_view name) const;
    // Position of the Index-th child of that name, or -1.
    std::int32_t getNodeIndex(std::string_view name, std::int32_t Index = 0) const;
    // The child itself, or null when there is none.
    XMLNodePtr findNode(std::string_view name, std::int32_t Index = 0) const;
    // The child itself; if missing, a detached node parsed from the default text.
    XMLNodePtr getNode(std::string_view name, std::int32_t Index = 0,
                       std::string_view defaultXMLString = {}) const;

    // Typed getters: the default when the child is missing or its text does not
    // convert. A child with empty text gives "" from getString, not the default.
    std::string getString(std::string_view name, std::int32_t Index = 0,
                          std::string_view defaultValue = {}) const;
    std::int16_t getInteger(std::string_view name, std::int32_t Index = 0,
                            std::int16_t defaultValue = 0) const;
    std::int32_t getLong(std::string_view name, std::int32_t Index = 0,
                         std::int32_t defaultValue = 0) const;
    bool getBoolean(std::string_view name, std::int32_t Index = 0, bool defaultValue = false) const;
    DateTime getDate(std::string_view name, std::int32_t Index = 0,
                     DateTime defaultValue = DateTime()) const;
    float getSingle(std::string_view name, std::int32_t Index = 0, float defaultValue = 0.0f) const;
    double getDouble(std::string_view name, std::int32_t Index = 0,
                     double defaultValue = 0.0) const;

    // Appending children.
    void addXMLString(std::string_view xmlString);
    void addString(std::string_view name, std::string_view value);
    void addInteger(std::string_view name, std::int16_t value);
    void addLong(std::string_view name, std::int32_t value);
    void addBoolean(std::string_view name, bool value);
    void addDate(std::string_view name, DateTime value);
    void addSingle(std::string_view name, float value);
    void addDouble(std::string_view name, double value);

    // Setting: empty children of that name are appended until the Index-th
    // exists, then its value is set. A negative Index throws std::out_of_range.
    void setString(std::string_view name, std::string_view value, std::int32_t Index = 0);
    void setInteger(std::string_view name, std::int16_t value, std::int32_t Index = 0);
    void setLong(std::string_view name, std::int32_t value, std::int32_t Index = 0);
    void setBoolean(std::string_view name, bool value, std::int32_t Index = 0);
    void setDate(std::string_view name, DateTime value, std::int32_t Index = 0);
    void setSingle(std::string_view name, float value, std::int32_t Index = 0);
    void setDouble(std::string_view name, double value, std::int32_t Index = 0);
    // setString with the node's name and value; its children are not used.
    void setNode(const XMLNode& node, std::int32_t Index = 0);
    void setNode(const XMLNodePtr& node, std::int32_t Index = 0);

    // Removing: the child is taken out; the typed forms return its value as the
    // matching getter reads it. removeNode gives nullptr when the child is missing.
    XMLNodePtr removeNode(std::string_view name, std::int32_t Index = 0);
    std::string removeString(std::string_view name, std::int32_t Index = 0,
                             std::string_view defaultValue = {});
    std::int16_t removeInteger(std::string_view name, std::int32_t Index = 0,
                               std::int16_t defaultValue = 0);
    std::int32_t removeLong(std::string_view name, std::int32_t Index = 0,
                            std::int32_t defaultValue = 0);
    bool removeBoolean(std::string_view name, std::int32_t Index = 0, bool defaultValue = false);
    DateTime removeDate(std::string_view name, std::int32_t Index = 0,
                        DateTime defaultValue = DateTime());
    float removeSingle(std::string_view name, std::int32_t Index = 0, float defaultValue = 0.0f);
    double removeDouble(std::string_view name, std::int32_t Index = 0, double defaultValue = 0.0);

    // ---- Text and file helpers ------------------------------------------------

    // Escapes "&" (first), "<", ">", double quote and "'" as the five entities.
    static std::string stringToXMLString(std::string_view text);
    // Appends the escaped text to `out`.
    static void appendXMLString(std::string& out, std::string_view text);
    // Reads the whole file into `content`. True on failure (content left unchanged).
    static bool getFile(const std::string& path, std::string& content);
    // Replaces the file with `content` atomically (temporary file, then rename),
    // so a crash never leaves it half written or missing. True on failure.
    static bool putFile(const std::string& path, const std::string& content);

    // ---- Stored text forms (shared with the vectors and the model) -----------

    static std::string integerToText(std::int64_t value);
    static std::string booleanToText(bool value) { return value ? "-1" : "0"; }
    static std::string singleToText(float value);
    static std::string doubleToText(double value);
    // Decimal text, optional blanks, sign, fraction (rounded half to even) and
    // exponent; nothing when it is not a number or lies outside [min, max].
    static bool textToInteger(std::string_view text, std::int64_t min, std::int64_t max,
                              std::int64_t& out);
    // The same reading that also tells a number too large or too small for
    // [min, max] from text that is no number at all: a number outside gives
    // kOutOfRange with `out` clamped into [min, max] (the nearest end).
    enum class WholeNumber { kNotANumber, kInRange, kOutOfRange };
    static WholeNumber readWholeNumber(std::string_view text, std::int64_t min, std::int64_t max,
                                       std::int64_t& out);
    static bool textToBoolean(std::string_view text, bool& out);
    static bool textToSingle(std::string_view text, float& out);
    static bool textToDouble(std::string_view text, double& out);

  private:
    // The Index-th child of that name, or nullptr.
    XMLNode* findChild(std::string_view name, std::int32_t Index) const;
    void checkPosition(std::int32_t position, bool allowEnd) const;

    XMLChildren children_;

    friend class XMLParser;
};

}  // namespace qv

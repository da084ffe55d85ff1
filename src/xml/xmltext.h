#pragma once
// The text of a node's name or value: UTF-8 bytes like std::string, but up to
// 23 of them are held inside the 24-byte object itself, so element names,
// numbers and stored dates ("yyyy/mm/dd hh:nn:ss", 19 characters) take no
// allocation of their own. Longer texts live on the heap, or, when a parse
// made them, in the parse's node blocks. Reads go through std::string_view.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <string_view>

namespace qv {

class NodeBlocks;

class XMLText {
  public:
    static constexpr std::size_t kInline = 23;

    XMLText() noexcept { setInlineSize(0); }
    explicit XMLText(std::string_view text) {
        setInlineSize(0);
        assign(text);
    }
    XMLText(const XMLText& other) : XMLText(other.view()) {}
    XMLText(XMLText&& other) noexcept {
        std::memcpy(raw_, other.raw_, sizeof raw_);
        other.setInlineSize(0);
    }
    XMLText& operator=(const XMLText& other) {
        if (this != &other) assign(other.view());
        return *this;
    }
    XMLText& operator=(XMLText&& other) noexcept {
        if (this != &other) {
            freeStorage();
            std::memcpy(raw_, other.raw_, sizeof raw_);
            other.setInlineSize(0);
        }
        return *this;
    }
    XMLText& operator=(std::string_view text) { return assign(text); }
    XMLText& operator=(const std::string& text) { return assign(text); }
    XMLText& operator=(const char* text) { return assign(std::string_view(text)); }
    ~XMLText() { freeStorage(); }

    bool empty() const noexcept { return size() == 0; }
    std::size_t size() const noexcept {
        return isInline() ? kInline - static_cast<unsigned char>(raw_[kInline]) : heap().size;
    }
    std::size_t length() const noexcept { return size(); }
    const char* data() const noexcept { return isInline() ? raw_ : heap().ptr; }
    // Always followed by a '\0'.
    const char* c_str() const noexcept { return data(); }
    std::string_view view() const noexcept {
        if (isInline()) return {raw_, kInline - static_cast<unsigned char>(raw_[kInline])};
        return {heap().ptr, heap().size};
    }
    operator std::string_view() const noexcept { return view(); }
    std::string str() const { return std::string(view()); }
    explicit operator std::string() const { return str(); }

    char operator[](std::size_t i) const noexcept { return data()[i]; }
    char front() const noexcept { return data()[0]; }
    char back() const noexcept { return data()[size() - 1]; }
    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + size(); }

    XMLText& assign(std::string_view text);
    XMLText& append(std::string_view text);
    XMLText& append(const char* text, std::size_t n) { return append(std::string_view(text, n)); }
    XMLText& operator+=(std::string_view text) { return append(text); }
    XMLText& operator+=(const std::string& text) { return append(text); }
    XMLText& operator+=(const char* text) { return append(std::string_view(text)); }
    XMLText& operator+=(char c) { return append(std::string_view(&c, 1)); }
    void push_back(char c) { append(std::string_view(&c, 1)); }
    void clear() noexcept;
    void swap(XMLText& other) noexcept {
        char t[sizeof raw_];
        std::memcpy(t, raw_, sizeof raw_);
        std::memcpy(raw_, other.raw_, sizeof raw_);
        std::memcpy(other.raw_, t, sizeof raw_);
    }

    // The parser's append: a text that does not fit inline goes into the
    // parse's blocks rather than onto the heap. The bytes up to `readableEnd`
    // (the end of the document) may be read beyond the text: a short text is
    // then copied in one fixed-size move.
    void appendInBlocks(std::string_view text, NodeBlocks& blocks, const char* readableEnd) {
        if (raw_[kInline] == static_cast<char>(kInline) && text.size() <= kInline) {
            // Inline and empty, as a new node's texts are.
            if (readableEnd - text.data() >= static_cast<std::ptrdiff_t>(kInline)) {
                std::memcpy(raw_, text.data(), kInline);
            } else if (!text.empty()) {
                std::memcpy(raw_, text.data(), text.size());
            }
            setInlineSize(text.size());
            return;
        }
        appendInBlocks(text, blocks);
    }
    void appendInBlocks(std::string_view text, NodeBlocks& blocks);

    friend bool operator==(const XMLText& a, const XMLText& b) noexcept {
        return a.view() == b.view();
    }
    friend bool operator==(const XMLText& a, std::string_view b) noexcept { return a.view() == b; }
    friend std::strong_ordering operator<=>(const XMLText& a, const XMLText& b) noexcept {
        return a.view() <=> b.view();
    }
    friend std::strong_ordering operator<=>(const XMLText& a, std::string_view b) noexcept {
        return a.view() <=> b;
    }
    friend std::string operator+(const XMLText& a, std::string_view b) {
        std::string out;
        out.reserve(a.size() + b.size());
        out.append(a.view()).append(b);
        return out;
    }
    friend std::string operator+(std::string_view a, const XMLText& b) {
        std::string out;
        out.reserve(a.size() + b.size());
        out.append(a).append(b.view());
        return out;
    }

  private:
    // Inline: the bytes, a '\0', and in the last byte 23 minus the length (so
    // that a full 23 bytes end in the '\0' they need). Otherwise pointer,
    // length and capacity, the last byte of the capacity carrying the flags;
    // an inline length never reaches them. x86-64 and other little-endian
    // 64-bit targets only.
    struct Heap {
        char* ptr;
        std::size_t size;
        std::size_t capacityAndFlags;
    };
    static constexpr std::size_t kHeapFlag = std::size_t{0x80} << 56;
    static constexpr std::size_t kBlockFlag = std::size_t{0x40} << 56;
    static constexpr std::size_t kFlags = kHeapFlag | kBlockFlag;

    bool isInline() const noexcept {
        return (static_cast<unsigned char>(raw_[kInline]) & 0x80) == 0;
    }
    const Heap& heap() const noexcept { return *reinterpret_cast<const Heap*>(raw_); }
    Heap& heap() noexcept { return *reinterpret_cast<Heap*>(raw_); }
    void setInlineSize(std::size_t n) noexcept {
        raw_[n] = '\0';
        raw_[kInline] = static_cast<char>(kInline - n);
    }
    std::size_t capacity() const noexcept {
        return isInline() ? kInline : heap().capacityAndFlags & ~kFlags;
    }
    void freeStorage() noexcept {
        if (!isInline()) releaseHeap();
    }
    void releaseHeap() noexcept;
    // Room for at least `n` bytes, the present ones kept; from the blocks when given.
    void grow(std::size_t n, NodeBlocks* blocks);

    alignas(8) char raw_[24];
};

std::ostream& operator<<(std::ostream& out, const XMLText& text);

}  // namespace qv

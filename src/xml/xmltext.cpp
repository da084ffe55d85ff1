#include "xml/xmltext.h"

#include <algorithm>
#include <new>
#include <ostream>
#include <stdexcept>

#include "xml/nodeblocks.h"

namespace qv {

static_assert(sizeof(XMLText) == 24);
static_assert(sizeof(std::size_t) == 8, "the flags live in the capacity's top byte");

void XMLText::releaseHeap() noexcept {
    Heap& h = heap();
    if (h.capacityAndFlags & kBlockFlag) {
        NodeBlocks::release(h.ptr);
    } else {
        ::operator delete(h.ptr);
    }
}

void XMLText::grow(std::size_t n, NodeBlocks* blocks) {
    if (n <= capacity()) return;
    if (n > (std::size_t{1} << 48)) throw std::length_error("XMLText too long");
    // A text's first storage is exactly what it needs (most are never appended
    // to); growing again takes half as much again, so appends stay linear.
    std::size_t cap = n;
    if (!isInline()) cap = std::max(n, capacity() + capacity() / 2);
    char* storage =
        static_cast<char*>(blocks ? blocks->allocate(cap + 1, 1) : ::operator new(cap + 1));
    const std::size_t have = size();
    std::memcpy(storage, data(), have + 1);
    freeStorage();
    Heap& h = heap();
    h.ptr = storage;
    h.size = have;
    h.capacityAndFlags = cap | kHeapFlag | (blocks ? kBlockFlag : 0);
}

XMLText& XMLText::assign(std::string_view text) {
    // An empty view may have no data at all, which memcpy must not be given.
    if (text.empty()) {
        clear();
        return *this;
    }
    if (text.size() <= kInline && isInline()) {
        std::memmove(raw_, text.data(), text.size());
        setInlineSize(text.size());
        return *this;
    }
    if (!isInline() && text.data() >= data() && text.data() <= data() + size()) {
        // A part of itself: move it down in place.
        std::memmove(heap().ptr, text.data(), text.size());
        heap().size = text.size();
        heap().ptr[text.size()] = '\0';
        return *this;
    }
    if (text.size() <= kInline) {
        freeStorage();
        std::memcpy(raw_, text.data(), text.size());
        setInlineSize(text.size());
        return *this;
    }
    if (text.size() > capacity()) {
        XMLText fresh;
        fresh.grow(text.size(), nullptr);
        swap(fresh);
    }
    std::memcpy(heap().ptr, text.data(), text.size());
    heap().size = text.size();
    heap().ptr[text.size()] = '\0';
    return *this;
}

XMLText& XMLText::append(std::string_view text) {
    if (text.empty()) return *this;
    const std::size_t have = size();
    const std::size_t total = have + text.size();
    if (isInline() && total <= kInline) {
        std::memmove(raw_ + have, text.data(), text.size());
        setInlineSize(total);
        return *this;
    }
    if (total > capacity()) {
        // The text may be a part of this one: copy it before the old storage goes.
        if (text.data() >= data() && text.data() <= data() + have) {
            const std::string copy(text);
            return append(copy);
        }
        grow(total, nullptr);
    }
    Heap& h = heap();
    std::memmove(h.ptr + have, text.data(), text.size());
    h.size = total;
    h.ptr[total] = '\0';
    return *this;
}

void XMLText::appendInBlocks(std::string_view text, NodeBlocks& blocks) {
    if (text.empty()) return;
    const std::size_t have = size();
    const std::size_t total = have + text.size();
    if (isInline() && total <= kInline) {
        std::memcpy(raw_ + have, text.data(), text.size());
        setInlineSize(total);
        return;
    }
    if (total > capacity()) grow(total, &blocks);
    Heap& h = heap();
    std::memcpy(h.ptr + have, text.data(), text.size());
    h.size = total;
    h.ptr[total] = '\0';
}

void XMLText::clear() noexcept {
    freeStorage();
    setInlineSize(0);
}

std::ostream& operator<<(std::ostream& out, const XMLText& text) { return out << text.view(); }

}  // namespace qv

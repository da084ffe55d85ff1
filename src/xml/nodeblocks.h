#pragma once
// The memory a parse builds its tree in: nodes, child lists and long texts
// are carved out of 64 KiB blocks instead of taking a heap allocation each.
// Each piece starts with a pointer to its block; a block counts its living
// pieces and goes back to the heap with the last of them, so a node kept after
// its document is dropped keeps only its own blocks alive. Used by the parser
// and by the node's own text and child list; nothing outside src/xml needs it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qv {

class NodeBlocks {
  public:
    NodeBlocks() = default;
    NodeBlocks(const NodeBlocks&) = delete;
    NodeBlocks& operator=(const NodeBlocks&) = delete;
    ~NodeBlocks() { retire(); }

    // Memory for one piece, aligned to `align` (at most 16).
    void* allocate(std::size_t bytes, std::size_t align) {
        char* p = place(next_, align);
        if (p + bytes > end_ || !block_) return allocateInNewBlock(bytes, align);
        std::memcpy(p - kSlotHeader, &block_, sizeof block_);
        next_ = p + bytes;
        ++handedOut_;
        return p;
    }

    // Gives a piece back; its block goes with its last piece. Any thread may
    // do this, at any time after the parse.
    static void release(void* p) noexcept;

    // While one lives on a thread, the pieces that thread gives back are
    // counted off their block in one step per run of pieces of the same block
    // instead of one atomic step each: tearing a parsed tree down gives its
    // pieces back in the order they were carved. Nested ones leave the work
    // to the outermost.
    class Batch {
      public:
        Batch() noexcept;
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        friend class NodeBlocks;
        void* block_ = nullptr;  // the block whose pieces are being counted
        std::uint64_t count_ = 0;
        bool active_ = false;
    };
    // The batch open on this thread, if any.
    static constinit thread_local Batch* current;

  private:
    struct Block;
    static constexpr std::size_t kBlockSize = 64 * 1024 - 64;  // below malloc's mmap threshold
    static constexpr std::size_t kSlotHeader = 8;
    static constexpr std::uint64_t kHeld = std::uint64_t{1} << 62;

    static char* place(char* at, std::size_t align) noexcept {
        const auto a = reinterpret_cast<std::uintptr_t>(at) + kSlotHeader;
        return reinterpret_cast<char*>((a + align - 1) & ~(std::uintptr_t{align} - 1));
    }
    void* allocateInNewBlock(std::size_t bytes, std::size_t align);
    static void drop(Block* block, std::uint64_t count) noexcept;
    // The block stops being filled; from now on only its pieces keep it.
    void retire() noexcept;

    Block* block_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
    std::uint64_t handedOut_ = 0;
};

inline void NodeBlocks::release(void* p) noexcept {
    Block* block;
    std::memcpy(&block, static_cast<char*>(p) - kSlotHeader, sizeof block);
    Batch* batch = current;
    if (!batch) {
        drop(block, 1);
    } else if (batch->block_ == block) {
        ++batch->count_;
    } else {
        if (batch->block_) drop(static_cast<Block*>(batch->block_), batch->count_);
        batch->block_ = block;
        batch->count_ = 1;
    }
}

}  // namespace qv

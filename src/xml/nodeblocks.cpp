#include "xml/nodeblocks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qv {

struct NodeBlocks::Block {
    // While the block is being filled, its count holds kHeld on top of the
    // living pieces, so giving a piece back early never frees it.
    std::atomic<std::uint64_t> living;
};

constinit thread_local NodeBlocks::Batch* NodeBlocks::current = nullptr;

void NodeBlocks::drop(Block* block, std::uint64_t count) noexcept {
    if (block->living.fetch_sub(count, std::memory_order_acq_rel) == count) {
        block->~Block();
        std::free(block);
    }
}

void NodeBlocks::retire() noexcept {
    if (!block_) return;
    drop(block_, kHeld - handedOut_);
    block_ = nullptr;
    next_ = end_ = nullptr;
    handedOut_ = 0;
}

void* NodeBlocks::allocateInNewBlock(std::size_t bytes, std::size_t align) {
    retire();
    const std::size_t size = std::max(kBlockSize, sizeof(Block) + kSlotHeader + align + bytes);
    void* memory = std::malloc(size);
    if (!memory) throw std::bad_alloc();
    block_ = ::new (memory) Block{kHeld};
    next_ = static_cast<char*>(memory) + sizeof(Block);
    end_ = static_cast<char*>(memory) + size;
    char* p = place(next_, align);
    std::memcpy(p - kSlotHeader, &block_, sizeof block_);
    next_ = p + bytes;
    ++handedOut_;
    return p;
}

NodeBlocks::Batch::Batch() noexcept {
    if (current) return;
    current = this;
    active_ = true;
}

NodeBlocks::Batch::~Batch() {
    if (!active_) return;
    current = nullptr;
    if (block_) drop(static_cast<Block*>(block_), count_);
}

}  // namespace qv

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

namespace {
// The batch of this thread, if one is open.
thread_local NodeBlocks::Batch* currentBatch = nullptr;
}  // namespace

char* NodeBlocks::place(char* at, std::size_t align) noexcept {
    const auto a = reinterpret_cast<std::uintptr_t>(at) + kSlotHeader;
    return reinterpret_cast<char*>((a + align - 1) & ~(std::uintptr_t{align} - 1));
}

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

void* NodeBlocks::allocate(std::size_t bytes, std::size_t align) {
    char* p = place(next_, align);
    if (!block_ || p + bytes > end_) {
        retire();
        const std::size_t size = std::max(kBlockSize, sizeof(Block) + kSlotHeader + align + bytes);
        void* memory = std::malloc(size);
        if (!memory) throw std::bad_alloc();
        block_ = ::new (memory) Block{kHeld};
        next_ = static_cast<char*>(memory) + sizeof(Block);
        end_ = static_cast<char*>(memory) + size;
        p = place(next_, align);
    }
    std::memcpy(p - kSlotHeader, &block_, sizeof block_);
    next_ = p + bytes;
    ++handedOut_;
    return p;
}

void NodeBlocks::release(void* p) noexcept {
    Block* block;
    std::memcpy(&block, static_cast<char*>(p) - kSlotHeader, sizeof block);
    Batch* batch = currentBatch;
    if (!batch) {
        drop(block, 1);
        return;
    }
    if (batch->block_ != block) {
        if (batch->block_) drop(static_cast<Block*>(batch->block_), batch->count_);
        batch->block_ = block;
        batch->count_ = 0;
    }
    ++batch->count_;
}

NodeBlocks::Batch::Batch() noexcept {
    if (currentBatch) return;
    currentBatch = this;
    active_ = true;
}

NodeBlocks::Batch::~Batch() {
    if (!active_) return;
    currentBatch = nullptr;
    if (block_) drop(static_cast<Block*>(block_), count_);
}

}  // namespace qv

#include "base/largepages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qv {

namespace {

constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

// The mapping that holds `address`, from /proc/self/maps; false when it is not
// found (no /proc, say).
bool mappingOf(std::uintptr_t address, std::uintptr_t& start, std::uintptr_t& end) {
    std::FILE* maps = std::fopen("/proc/self/maps", "re");
    if (!maps) return false;
    bool found = false;
    bool atLineStart = true;
    char line[512];
    while (!found && std::fgets(line, sizeof line, maps)) {
        unsigned long long from = 0, to = 0;
        // Only a line's start is a range: the rest of a long path read in
        // pieces is not.
        if (atLineStart && std::sscanf(line, "%llx-%llx", &from, &to) == 2 && from <= address &&
            address < to) {
            start = static_cast<std::uintptr_t>(from);
            end = static_cast<std::uintptr_t>(to);
            found = true;
        }
        const std::size_t length = std::strlen(line);
        atLineStart = length > 0 && line[length - 1] == '\n';
    }
    std::fclose(maps);
    return found;
}

std::atomic<bool> largeSteps{false};

}  // namespace

bool heapsGrowInLargeSteps() { return largeSteps.load(std::memory_order_relaxed); }

void growHeapsInLargeSteps(std::size_t bytes) {
    // Under a limit on address space or data, larger steps reach it sooner:
    // the heaps are left as they are.
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return;
    }
    largeSteps.store(true, std::memory_order_relaxed);
    const int value = static_cast<int>(std::min<std::size_t>(bytes, INT_MAX));
#ifdef M_TOP_PAD
    (void)mallopt(M_TOP_PAD, value);
#endif
#ifdef M_MMAP_THRESHOLD
    (void)mallopt(M_MMAP_THRESHOLD, value);
#endif
}

LargePageHeap::LargePageHeap() {
#ifdef MADV_HUGEPAGE
    void* probe = std::malloc(1);
    if (!probe) return;
    const auto address = reinterpret_cast<std::uintptr_t>(probe);
    std::free(probe);
    std::uintptr_t start = 0, end = 0;
    if (!mappingOf(address, start, end)) return;
    const std::uintptr_t from = (address + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t to = end & ~(kLargePage - 1);
    if (to <= from) return;
    if (madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) != 0) return;
    // The heap hands out its free end in order, so a block reaching from here
    // to just past the boundary puts what comes next into the advised part.
    // Its pages are never touched, so it takes no memory.
    skipped_ = std::malloc(from - address);
#endif
}

LargePageHeap::~LargePageHeap() { std::free(skipped_); }

}  // namespace qv

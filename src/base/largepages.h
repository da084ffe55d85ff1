#pragma once
// Heaps in large pages. A process that builds megabytes of objects at once
// pays a page fault for every 4 KiB it touches first; on a virtual machine one
// such fault can cost ten microseconds, more than the work done in the page.
// With the kernel's transparent huge pages (advised per range) one fault
// brings in 2 MiB. These are hints: where the kernel or the C library does
// not take them, nothing changes but the speed.

#include <cstddef>

namespace qv {

// From now on, a heap grows by at least `bytes` of address space at a time,
// a thread's first heap starts with that much, and blocks of up to `bytes`
// come from the heaps rather than from mappings of their own (glibc's
// M_TOP_PAD and M_MMAP_THRESHOLD). Address space only: untouched pages take
// no memory. For a short-lived process that loads much at once; call it
// before starting the threads that use LargePageHeap. Nothing changes for a
// process with a limit on its address space or data.
void growHeapsInLargeSteps(std::size_t bytes);
// Whether growHeapsInLargeSteps took effect.
bool heapsGrowInLargeSteps();

// While one lives on a thread, the rest of that thread's heap is advised for
// huge pages, and the thread allocates from the first 2 MiB boundary on (the
// heap's start already has its small pages, the heap's own header). Meant for
// a thread started to build much, created at its start; not for the main
// thread, whose heap grows by brk into pieces that the advice does not cover.
class LargePageHeap {
  public:
    LargePageHeap();
    ~LargePageHeap();
    LargePageHeap(const LargePageHeap&) = delete;
    LargePageHeap& operator=(const LargePageHeap&) = delete;

  private:
    void* skipped_ = nullptr;  // the heap up to the boundary, held unused
};

}  // namespace qv

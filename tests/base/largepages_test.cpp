#include "base/largepages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/files.h"

using namespace qv;

namespace {

constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

// The "THPeligible" line of the mapping that starts at `start`, or "" when no
// mapping starts there.
std::string eligibilityOfMappingAt(std::uintptr_t start) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool in = false;
    while (std::getline(smaps, line)) {
        unsigned long long from = 0, to = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> from >> dash >> to && dash == '-') {
            in = from == start;
            continue;
        }
        if (in && line.rfind("THPeligible:", 0) == 0) return line;
    }
    return "";
}

}  // namespace

// A loading thread's heap is advised for huge pages from its first 2 MiB
// boundary, and what the thread allocates goes there rather than into the
// small pages before it.
TEST(LargePages, ALoadingThreadAllocatesInTheAdvisedPartOfItsHeap) {
    const auto mode = tryReadFile("/sys/kernel/mm/transparent_hugepage/enabled");
    if (!mode || mode->find("[never]") != std::string::npos)
        GTEST_SKIP() << "this kernel gives no transparent huge pages";
    growHeapsInLargeSteps(std::size_t{16} << 20);
    if (!heapsGrowInLargeSteps()) GTEST_SKIP() << "this process has a limit on its memory";
    std::uintptr_t probe = 0, block = 0;
    std::string eligibility;
    std::thread([&] {
        LargePageHeap heap;
        void* p = std::malloc(1);
        probe = reinterpret_cast<std::uintptr_t>(p);
        void* b = std::malloc(64 * 1024);
        block = reinterpret_cast<std::uintptr_t>(b);
        eligibility = eligibilityOfMappingAt(block & ~(kLargePage - 1));
        std::free(b);
        std::free(p);
    }).join();
    EXPECT_GE(block, (probe + kLargePage - 1) & ~(kLargePage - 1));
    EXPECT_NE(eligibility.find('1'), std::string::npos) << eligibility;
}

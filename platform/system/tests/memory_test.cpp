// The heap's give-back: memory that threads freed goes back to the system on request.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "platform/system/memory.h"

namespace {

// The resident size of this process, in bytes.
std::size_t residentBytes() {
    std::ifstream in("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    in >> size >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Blocks below the mapping threshold, taken and freed by a worker thread (as page pictures are
// decoded and printed), are given back once the program asks: none stays with the thread's heap.
TEST(FreedMemory, BlocksFreedByAWorkerThreadGoBackOnRequest) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in its own quarantine";
#endif
    constexpr std::size_t kBlock = 8u << 20, kBlocks = 12;
    platform::system::keepFreedMemory(32u << 20, 128u << 20);
    platform::system::releaseFreeMemory();
    const std::size_t before = residentBytes();
    std::thread worker([] {
        std::vector<std::unique_ptr<char[]>> blocks;
        for (std::size_t i = 0; i < kBlocks; ++i) {
            blocks.emplace_back(new char[kBlock]);
            std::memset(blocks.back().get(), 1, kBlock);
        }
    });
    worker.join();
    EXPECT_TRUE(platform::system::releaseFreeMemory());
    const std::size_t after = residentBytes();
    EXPECT_LT(after, before + kBlock) << "before " << before << ", after " << after;
}

}  // namespace

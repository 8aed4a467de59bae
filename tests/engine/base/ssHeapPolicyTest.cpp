// Freed heap memory goes back to the system also when it is freed just after the release that
// asked for it, on another thread.
#include "engine/base/ssHeapPolicy.h"
#include "tests/support/Instrumented.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

double residentMb()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

} // namespace

TEST(ssHeapPolicy, MemoryAnotherThreadFreesJustAfterTheReleaseStillGoesBack)
{
    if (testsupport::kInstrumented)
        GTEST_SKIP() << "the sanitizers' allocators keep freed memory themselves";
    ssMapPictureSizedBlocks();
    constexpr int kBlocks = 48;
    constexpr size_t kBlockBytes = 512 * 1024; // below the mapping threshold: kept in the arena
    double before = 0;
    double whileFreed = 0;
    std::thread([&] {
        std::vector<void*> blocks;
        for (int i = 0; i < kBlocks; ++i) {
            blocks.push_back(std::malloc(kBlockBytes));
            std::memset(blocks.back(), 0x5a, kBlockBytes);
        }
        // Keeps the freed blocks from joining the arena's top, which the C library trims by itself.
        void* fence = std::malloc(4096);
        before = residentMb();
        ssReturnFreedMemory();
        for (void* block : blocks)
            std::free(block);
        whileFreed = residentMb();
        std::free(fence);
    }).join();
    const double freedMb = double(kBlocks) * double(kBlockBytes) / (1024.0 * 1024.0);
    if (before - whileFreed > freedMb / 2)
        GTEST_SKIP() << "this C library gave the blocks back as they were freed";

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ssLateTrimMilliseconds) * 4;
    double now = residentMb();
    while (whileFreed - now < freedMb / 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        now = residentMb();
    }
    EXPECT_GT(whileFreed - now, freedMb / 2) << "resident " << before << " MB with the blocks, " << whileFreed
                                            << " MB once freed, " << now << " MB after the late pass";
}

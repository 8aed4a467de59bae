// Freed heap memory goes back to the system: packets a reader thread allocated and another thread
// freed, however their small companions were freed, and memory let go of just after a request.
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

class ssHeapPolicy : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testsupport::kInstrumented)
            GTEST_SKIP() << "the sanitizers' allocators keep freed memory themselves";
        ssApplyHeapPolicy();
    }
};

} // namespace

TEST_F(ssHeapPolicy, PacketsOfAnEndedReaderThreadGoBackWhenTheHeapIsTrimmed)
{
    // A reader's queue: compressed frames below the mapping threshold, each with the small
    // records that describe it, all in the reader thread's own arena.
    constexpr int kPackets = 40;
    constexpr size_t kPacketBytes = 900 * 1024;
    constexpr size_t kRecordBytes = 64;
    // The closing thread's cache of small blocks is full, as after any busy stretch: the records
    // it frees go to the reader's arena.
    std::vector<void*> cached;
    for (int i = 0; i < 16; ++i)
        cached.push_back(std::malloc(kRecordBytes));
    for (void* block : cached)
        std::free(block);
    std::vector<void*> packets;
    std::vector<void*> records;
    std::thread([&] {
        for (int i = 0; i < kPackets; ++i) {
            packets.push_back(std::malloc(kPacketBytes));
            std::memset(packets.back(), 0x5a, kPacketBytes);
            records.push_back(std::malloc(kRecordBytes));
        }
    }).join();
    const double held = residentMb();

    // Released by the thread that closed the file, after the reader ended, then trimmed.
    for (int i = 0; i < kPackets; ++i) {
        std::free(packets[size_t(i)]);
        std::free(records[size_t(i)]);
    }
    ssReturnFreedMemory();
    const double released = residentMb();

    const double packetMb = double(kPackets) * double(kPacketBytes) / (1024.0 * 1024.0);
    EXPECT_GT(held - released, packetMb * 0.9)
        << "resident " << held << " MB with the packets, " << released << " MB after the trim";
}

TEST_F(ssHeapPolicy, MemoryFreedJustAfterARequestGoesBackSoonAfter)
{
    constexpr int kBlocks = 48;
    constexpr size_t kBlockBytes = 512 * 1024;
    double held = 0;
    double whileFreed = 0;
    std::thread([&] {
        std::vector<void*> blocks;
        for (int i = 0; i < kBlocks; ++i) {
            blocks.push_back(std::malloc(kBlockBytes));
            std::memset(blocks.back(), 0x5a, kBlockBytes);
        }
        // Keeps the freed blocks from the arena's end, which is cut back as they are freed.
        void* fence = std::malloc(4096);
        held = residentMb();
        ssReturnFreedMemorySoon();
        for (void* block : blocks)
            std::free(block);
        whileFreed = residentMb();
        std::free(fence);
    }).join();
    const double freedMb = double(kBlocks) * double(kBlockBytes) / (1024.0 * 1024.0);
    ASSERT_LT(held - whileFreed, freedMb / 2) << "the blocks went back as they were freed: nothing to show";

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ssSoonTrimMilliseconds) * 20;
    double now = residentMb();
    while (whileFreed - now < freedMb * 0.9 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        now = residentMb();
    }
    EXPECT_GT(whileFreed - now, freedMb * 0.9)
        << "resident " << held << " MB with the blocks, " << whileFreed << " MB once freed, " << now << " MB later";
}

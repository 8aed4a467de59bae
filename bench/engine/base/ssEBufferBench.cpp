#include "bench/support/BenchRun.h"
#include "engine/base/ssEBuffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// One producer thread and one consumer (the benchmark thread) pass a batch of numbered items
// through preallocated slots, as the engine's queues do; the ring capacity is the argument. Small
// rings are bound by the 600 µs pause before an empty wait, so their batch is smaller.
void ProducerConsumer(benchmark::State& state)
{
    const int capacity = static_cast<int>(state.range(0));
    const int64_t batch = std::min<int64_t>(100000, 500 * int64_t{capacity});
    std::vector<int64_t> cells(static_cast<size_t>(capacity));
    ssEBuffer ring(capacity);
    for (int i = 0; i < capacity; ++i)
        ring.SetSlot(&cells[static_cast<size_t>(i)], i);

    int64_t checksum = 0;
    for (auto _ : state) {
        std::thread producer([&] {
            for (int64_t i = 0; i < batch; ++i) {
                int64_t* slot = nullptr;
                while (ring.GetWriteSlot(&slot, 100) != 0) {
                }
                *slot = i;
                ring.CommitWrite(0);
            }
        });
        for (int64_t received = 0; received < batch;) {
            int64_t* slot = nullptr;
            if (ring.Read(&slot, 100) == 0) {
                checksum += *slot;
                ++received;
            }
        }
        producer.join();
    }
    benchmark::DoNotOptimize(checksum);
    state.SetItemsProcessed(state.iterations() * batch);
}

// The uncontended cost of one write and one read on the same thread.
void WriteReadSameThread(benchmark::State& state)
{
    std::vector<int64_t> cells(8);
    ssEBuffer ring(8);
    for (int i = 0; i < 8; ++i)
        ring.SetSlot(&cells[static_cast<size_t>(i)], i);
    for (auto _ : state) {
        int64_t* slot = nullptr;
        ring.GetWriteSlot(&slot, 0);
        ring.CommitWrite(0);
        ring.Read(&slot, 0);
        benchmark::DoNotOptimize(slot);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(ProducerConsumer)
    ->Arg(8)
    ->Arg(48)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(WriteReadSameThread);

KLV_BENCHMARK_MAIN()

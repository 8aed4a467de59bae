#pragma once

#include <cstdint>
#include <string>

namespace benchsupport {

// Sets what the programs and tests see before anything else runs: no real-time scheduling, Qt on the
// offscreen platform unless a display was chosen, and where the build and its generated media are.
// Values already in the environment win.
void setEnvironment();

// Runs the selected benchmarks and returns the process exit code: 1 when a flag is unknown or any
// benchmark reported an error (a benchmark that cannot run is a failure, not a quiet skip).
int runBenchmarks(int argc, char** argv);

// The base folder engines read "<base>/Contents/Resources" from: the build folder, as for the
// programs built beside the benchmarks.
std::string resourceBase();

// A short run to prove every benchmark still works (KLV_BENCH_SMOKE=1): lengths shrink to a token.
bool smokeRun();
double minTime(double seconds);
int64_t iterations(int64_t count);

} // namespace benchsupport

// The main() of a benchmark that needs nothing before its run.
#define KLV_BENCHMARK_MAIN()                                                                                 \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        return benchsupport::runBenchmarks(argc, argv);                                                      \
    }

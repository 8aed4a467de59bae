#include "bench/support/BenchRun.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace benchsupport {
namespace {

// Forwards to the usual console output and remembers whether any run failed.
class ErrorWatchingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.error_occurred) {
                failed_ = true;
                std::fprintf(stderr, "benchmark %s failed: %s\n", run.benchmark_name().c_str(), run.error_message.c_str());
            }
        ConsoleReporter::ReportRuns(runs);
    }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

} // namespace

void setEnvironment()
{
    setenv("KLV_NO_RT", "1", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KLV_TEST_DATA", KLV_BENCH_TEST_DATA, 0);
    setenv("KLV_SOURCE_DIR", KLV_BENCH_SOURCE_DIR, 0);
    setenv("KLV_BINARY_DIR", KLV_BENCH_BINARY_DIR, 0);
}

int runBenchmarks(int argc, char** argv)
{
    setEnvironment();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ErrorWatchingReporter reporter;
    const size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (ran == 0) {
        std::fprintf(stderr, "no benchmark matched\n");
        return 1;
    }
    return reporter.failed() ? 1 : 0;
}

std::string resourceBase()
{
    setEnvironment();
    return std::getenv("KLV_BINARY_DIR");
}

bool smokeRun()
{
    const char* smoke = std::getenv("KLV_BENCH_SMOKE");
    return smoke && *smoke && std::strcmp(smoke, "0") != 0;
}

double minTime(double seconds)
{
    return smokeRun() ? 0.01 : seconds;
}

int64_t iterations(int64_t count)
{
    return smokeRun() ? 1 : count;
}

} // namespace benchsupport

// A line that repeats is written once and summed up at most once a minute; no count is lost.
#include "platform/log/Log.h"
#include "platform/log/LogRepeats.h"
#include "tests/platform/reporting/support/ChildProcess.h"
#include "tests/support/ManualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;
using testsupport::ManualClock;

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kMinute = 60'000 * kMs;

LogRecord line(std::string message, LogLevel level = LogLevel::Default, std::string category = "comm")
{
    return LogRecord{"com.quenmark.kalvanto", std::move(category), level, std::move(message)};
}

// What the sink writes, call by call.
struct Sink {
    ManualClock clock;
    LogRepeats repeats{clock};
    std::vector<LogRecord> out;
    std::vector<std::string> written;

    void pass(const LogRecord& record, std::string_view key = {})
    {
        repeats.pass(record, key, out);
        for (const LogRecord& r : out)
            written.push_back(r.message);
    }
    void flush()
    {
        repeats.flush(out);
        for (const LogRecord& r : out)
            written.push_back(r.message);
    }
};

} // namespace

TEST(LogRepeats, AThousandIdenticalLinesAreOneLineAndTheirCountOnceTheMinuteHasPassed)
{
    Sink sink;
    for (int i = 0; i < 1000; ++i) {
        sink.pass(line("Unknown Application Command Seek"));
        sink.clock.advance(30 * kMs);
    }
    EXPECT_EQ(sink.written, std::vector<std::string>{"Unknown Application Command Seek"});
    // 30 s in: not due yet, whatever else is logged.
    sink.pass(line("serial port connected"));
    ASSERT_EQ(sink.written.size(), 2u);
    sink.clock.advanceTo(kMinute);
    sink.pass(line("Unknown Application Command Seek"));
    ASSERT_EQ(sink.written.size(), 3u);
    EXPECT_EQ(sink.written[2], "Unknown Application Command Seek ... repeated 999 times");
    // The line that made it due counts towards the next summary, which the end writes.
    sink.flush();
    ASSERT_EQ(sink.written.size(), 4u);
    EXPECT_EQ(sink.written[3], "Unknown Application Command Seek ... repeated 1 time");
    sink.flush();
    EXPECT_EQ(sink.written.size(), 4u);
}

TEST(LogRepeats, ADecksTimeCodesForAnHourAreAboutALineAMinuteAndEveryOneIsCounted)
{
    // 33 a second, each with its own time code, all saying the same thing.
    Sink sink;
    const std::string key = "Unknown Application Command TransportTimecode";
    const int calls = 33 * 3600;
    for (int i = 0; i < calls; ++i) {
        sink.pass(line(key + " params: { timecode = " + std::to_string(i) + "; }"), key);
        sink.clock.advance(30 * kMs);
    }
    sink.flush();
    EXPECT_LE(sink.written.size(), 62u);
    EXPECT_GE(sink.written.size(), 55u);
    EXPECT_EQ(sink.written.front(), key + " params: { timecode = 0; }");
    std::uint64_t counted = 1;
    for (size_t i = 1; i < sink.written.size(); ++i) {
        const std::string& summary = sink.written[i];
        const size_t at = summary.find(" ... repeated ");
        ASSERT_NE(at, std::string::npos) << summary;
        counted += std::stoull(summary.substr(at + 14));
    }
    EXPECT_EQ(counted, std::uint64_t(calls));
    // A summary carries the latest text.
    EXPECT_EQ(sink.written.back().rfind(key + " params: { timecode = " + std::to_string(calls - 1) + "; }", 0), 0u);
}

TEST(LogRepeats, ADifferentLineIsWrittenAtOnceAndTheFirstLinesCountWaitsForItsMinute)
{
    Sink sink;
    for (int i = 0; i < 5; ++i)
        sink.pass(line("A"));
    sink.clock.advance(kMs);
    sink.pass(line("B"));
    EXPECT_EQ(sink.written, (std::vector<std::string>{"A", "B"}));
    sink.clock.advanceTo(kMinute);
    sink.pass(line("C"));
    // Due summaries come before the line that found them due.
    EXPECT_EQ(sink.written, (std::vector<std::string>{"A", "B", "A ... repeated 4 times", "C"}));
}

TEST(LogRepeats, ALineQuietForAMinuteIsWrittenWholeAgain)
{
    Sink sink;
    sink.pass(line("card lost its reference"));
    sink.clock.advance(kMinute);
    sink.pass(line("card lost its reference"));
    sink.clock.advance(kMinute + 1);
    sink.pass(line("card lost its reference"));
    sink.pass(line("card lost its reference"));
    sink.flush();
    EXPECT_EQ(sink.written, (std::vector<std::string>{"card lost its reference", "card lost its reference",
                                                      "card lost its reference", "card lost its reference ... repeated 1 time"}));
}

TEST(LogRepeats, LevelCategoryAndKeyTellLinesApart)
{
    Sink sink;
    sink.pass(line("x"));
    sink.pass(line("x", LogLevel::Error));
    sink.pass(line("x", LogLevel::Default, "document"));
    sink.pass(line("x params 1"), "k1");
    sink.pass(line("x params 2"), "k2");
    sink.pass(line("x params 3"), "k1");
    EXPECT_EQ(sink.written, (std::vector<std::string>{"x", "x", "x", "x params 1", "x params 2"}));
    sink.flush();
    EXPECT_EQ(sink.written.back(), "x params 3 ... repeated 1 time");
}

TEST(LogRepeats, ALinePushedOutOfAFullTableHasItsCountWrittenFirst)
{
    ManualClock clock;
    LogRepeats repeats(clock, kMinute, 2);
    std::vector<LogRecord> out;
    repeats.pass(line("A"), {}, out);
    repeats.pass(line("A"), {}, out);
    EXPECT_TRUE(out.empty());
    clock.advance(kMs);
    repeats.pass(line("B"), {}, out);
    clock.advance(kMs);
    repeats.pass(line("C"), {}, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].message, "A ... repeated 1 time");
    EXPECT_EQ(out[1].message, "C");
    // A is forgotten: it is written whole again.
    repeats.pass(line("A"), {}, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].message, "A");
}

TEST(LogRepeats, TheSinkWritesWhatTheRuleLetsThroughWhileCapturesSeeEveryCall)
{
    ManualClock clock;
    const testsupport::LogClockScope counting(clock);
    {
        LogCapture calls;
        LogCapture written(LogCapture::Sees::Written);
        for (int i = 0; i < 1000; ++i) {
            logRepeating("sub", "cat", LogLevel::Default, "poll", "poll " + std::to_string(i));
            clock.advance(10 * kMs);
        }
        // Below the minimum level nothing is written, nor counted.
        log("sub", "cat", LogLevel::Debug, "detail");
        log("sub", "cat", LogLevel::Error, "other");
        EXPECT_EQ(calls.count(), 1002u);
        EXPECT_EQ(written.lines(), (std::vector<std::string>{"[sub:cat] default: poll 0", "[sub:cat] error: other"}));
        flushLogRepeats();
        ASSERT_EQ(written.count(), 3u);
        EXPECT_EQ(written.records().back().message, "poll 999 ... repeated 999 times");
        // Nothing is remembered after a flush; a new clock writes what was counted and starts
        // afresh.
        log("sub", "cat", LogLevel::Error, "other");
        log("sub", "cat", LogLevel::Error, "other");
        setLogClock(nullptr);
        log("sub", "cat", LogLevel::Error, "other");
        const auto records = written.records();
        ASSERT_EQ(records.size(), 6u);
        EXPECT_EQ(records[3].message, "other");
        EXPECT_EQ(records[4].message, "other ... repeated 1 time");
        EXPECT_EQ(records[5].message, "other");
    }
}

TEST(LogRepeats, WhatIsCountedIsWrittenWhenTheProcessEnds)
{
    testsupport::useFreshChildProcesses();
    EXPECT_EXIT(
        {
            for (int i = 0; i < 3; ++i)
                log("sub", "cat", LogLevel::Error, "deck went away");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "deck went away\n.*deck went away \\.\\.\\. repeated 2 times");
}

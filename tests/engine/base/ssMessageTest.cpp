// Engine lines go to the product's log as whole lines, carry the engine their thread works for,
// and a line repeated every card period is summed up there like the application's.
#include "engine/base/ssMessage.h"

#include "DescriptorCapture.h"
#include "platform/log/Log.h"
#include "tests/support/ManualClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using platform::LogCapture;
using platform::LogLevel;
using platform::LogRecord;
using testsupport::LogClockScope;
using testsupport::ManualClock;

namespace {

// The sink writes to standard error, whatever that is, so the lines can be read back there.
const bool kSinkOnStandardError = [] {
    setenv("KLV_LOG_SINK", "stderr", 1);
    return true;
}();

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kSecond = 1000 * kMs;
constexpr int64_t kCardPeriod = 20 * kMs; // the card's audio callback: 960 samples at 48 kHz
constexpr const char* kRepeated = " ... repeated ";

// Calls a line stands for: 1 when written whole, N for "... repeated N times".
uint64_t callsIn(const LogRecord& record)
{
    const std::size_t at = record.message.find(kRepeated);
    return at == std::string::npos ? 1 : std::stoull(record.message.substr(at + std::strlen(kRepeated)));
}

std::vector<LogRecord> recordsNamed(const std::vector<LogRecord>& records, const std::string& category)
{
    std::vector<LogRecord> out;
    for (const LogRecord& record : records)
        if (record.category == category)
            out.push_back(record);
    return out;
}

} // namespace

TEST(ssMessage, WritesTheTextAsOneLineOfTheLogUnderTheEngine)
{
    ManualClock clock;
    const LogClockScope counting(clock);
    DescriptorCapture standardError(STDERR_FILENO);
    ssMessage(2, "Couldn't open %s (%d)", "clip.mov", -1);
    const std::string written = standardError.Finish();
    const std::string line = "[com.quenmark.engine:general] default: Couldn't open clip.mov (-1)\n";
    ASSERT_GE(written.size(), line.size());
    EXPECT_EQ(written.substr(written.size() - line.size()), line) << written;
    EXPECT_EQ(written.find('\n'), written.size() - 1) << written;
}

TEST(ssMessage, CutsLongTextAt1023Characters)
{
    ManualClock clock;
    const LogClockScope counting(clock);
    LogCapture calls;
    const std::string longText(5000, 'x');
    ssMessage(2, "%s", longText.c_str());
    ssMessage(2, "%s", std::string(1023, 'y').c_str());
    const auto records = calls.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, std::string(1023, 'x'));
    EXPECT_EQ(records[1].message, std::string(1023, 'y'));
}

TEST(ssMessage, LinesFromManyThreadsStayWhole)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    ManualClock clock;
    const LogClockScope counting(clock);
    DescriptorCapture standardError(STDERR_FILENO);
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                const std::string body(600, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i)
                    ssMessage(2, "%d:%03d:%s", t, i, body.c_str());
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    std::istringstream lines(standardError.Finish());
    const std::string tag = "[com.quenmark.engine:general] default: ";
    std::map<int, int> perThread;
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t at = line.find(tag);
        ASSERT_NE(at, std::string::npos) << line;
        const std::string text = line.substr(at + tag.size());
        ASSERT_GE(text.size(), 6u);
        const int t = text[0] - '0';
        ASSERT_EQ(text, std::to_string(t) + ":" + text.substr(2, 3) + ":" + std::string(600, static_cast<char>('a' + t)));
        ++perThread[t];
    }
    ASSERT_EQ(perThread.size(), static_cast<size_t>(kThreads));
    for (const auto& [t, count] : perThread)
        EXPECT_EQ(count, kLines) << "thread " << t;
}

TEST(ssMessage, LinesCarryTheNameOfTheScopeTheirThreadIsInAndNoneOutsideAny)
{
    ManualClock clock;
    const LogClockScope counting(clock);
    LogCapture calls;
    ssMessage(2, "before");
    {
        const ssMessageScope channel("channel 1");
        ssMessage(2, "in channel 1");
        {
            const ssMessageScope card("channel 2");
            EXPECT_STREQ(ssMessageScope::Current(), "channel 2");
            ssMessage(2, "in channel 2");
        }
        ssMessage(2, "back in channel 1");
        const ssMessageScope unnamed("");
        EXPECT_EQ(ssMessageScope::Current(), nullptr);
        ssMessage(2, "in an unnamed engine");
    }
    ssMessage(2, "after");
    EXPECT_EQ(ssMessageScope::Current(), nullptr);

    std::vector<std::string> seen;
    for (const LogRecord& record : calls.records()) {
        EXPECT_EQ(record.subsystem, ssMessageSubsystem);
        EXPECT_EQ(record.level, LogLevel::Default);
        seen.push_back(record.category + ": " + record.message);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"general: before", "channel 1: in channel 1", "channel 2: in channel 2",
                                              "channel 1: back in channel 1", "general: in an unnamed engine",
                                              "general: after"}));
}

// A channel whose card runs out of sound says so every card period for as long as it lasts.
TEST(ssMessage, AChannelStarvingForAnHourWritesAboutALineAMinuteNamingItAndOtherLinesAtOnce)
{
    ManualClock clock;
    const LogClockScope counting(clock);
    LogCapture written(LogCapture::Sees::Written);
    const ssMessageScope channel("channel 2");
    const int64_t periods = 3600 * kSecond / kCardPeriod;
    for (int64_t k = 0; k < periods; ++k) {
        ssMessage(2, "Audio out of data");
        if (k == periods / 2) {
            // Another line in the middle of the flood is written with its call.
            const std::size_t before = written.count();
            ssMessage(0, "Uh oh, mode not supported");
            ASSERT_EQ(written.count(), before + 1);
            EXPECT_EQ(written.records().back().message, "Uh oh, mode not supported");
        }
        clock.advance(kCardPeriod);
    }
    platform::flushLogRepeats();

    std::vector<LogRecord> starving;
    for (const LogRecord& record : written.records()) {
        EXPECT_EQ(record.subsystem, ssMessageSubsystem);
        EXPECT_EQ(record.category, "channel 2");
        if (record.message.rfind("Audio out of data", 0) == 0)
            starving.push_back(record);
    }
    // The first at once, then one summary for each minute, the last at the end.
    ASSERT_EQ(starving.size(), 61u);
    EXPECT_EQ(starving.front().message, "Audio out of data");
    uint64_t calls = 0;
    for (const LogRecord& record : starving)
        calls += callsIn(record);
    EXPECT_EQ(calls, uint64_t(periods)) << "every call is counted";
    EXPECT_EQ(starving[1].message, "Audio out of data ... repeated 2999 times");
}

TEST(ssMessage, TwoChannelsStarvingAreSummedUpEachUnderItsOwnName)
{
    constexpr int kCalls = 1000;
    ManualClock clock;
    const LogClockScope counting(clock);
    LogCapture written(LogCapture::Sees::Written);
    {
        std::vector<std::thread> cards;
        for (const char* name : {"channel 1", "channel 2"}) {
            cards.emplace_back([name] {
                const ssMessageScope channel(name);
                for (int i = 0; i < kCalls; ++i)
                    ssMessage(2, "Audio out of data");
            });
        }
        for (auto& card : cards)
            card.join();
    }
    platform::flushLogRepeats();
    const auto records = written.records();
    ASSERT_EQ(records.size(), 4u);
    for (const char* name : {"channel 1", "channel 2"}) {
        const auto own = recordsNamed(records, name);
        ASSERT_EQ(own.size(), 2u) << name;
        EXPECT_EQ(own[0].message, "Audio out of data") << name;
        EXPECT_EQ(own[1].message, "Audio out of data ... repeated 999 times") << name;
    }
}

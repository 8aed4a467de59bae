#include "platform/reporting/CrashCapture.h"
#include "platform/reporting/Notifier.h"
#include "tests/platform/reporting/support/ChildProcess.h"
#include "tests/platform/reporting/support/ReportingFixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

using namespace platform::reporting;
using testsupport::eventually;
using testsupport::diedOf;

namespace {

class CrashCaptureTest : public testsupport::ReportingFixture {
protected:
    NotifierConfiguration configuration() const
    {
        NotifierConfiguration c = notifierConfiguration();
        c.captureCrashes = true;
        return c;
    }

    void SetUp() override
    {
        testsupport::useFreshChildProcesses();
        ReportingFixture::SetUp();
    }

    // In a child: starts a notifier, leaves a breadcrumb and then does what crash() does.
    void startAndCrash(const std::function<void()>& crash)
    {
        auto queue = openQueue();
        Notifier notifier(queue);
        notifier.start(configuration());
        notifier.leaveBreadcrumb("just before the end", nullptr, BreadcrumbType::State);
        crash();
        std::_Exit(0);
    }

    // Starts the next run's notifier with delivery on; answers the reports the server got.
    std::vector<nlohmann::json> reportsOfNextStart()
    {
        auto queue = openQueue();
        Notifier notifier(queue);
        notifier.start(configuration());
        notifier.setDeliveryEnabled(true);
        eventually([&] { return queue->store().count() == 0; });
        return bodiesTo("/notify");
    }

    std::uintmax_t crashFileSize() const
    {
        std::error_code ec;
        const auto size = std::filesystem::file_size(dir_ / kCrashFileName, ec);
        return ec ? 0 : size;
    }
};

// An unmapped address near zero (not null itself, so the undefined-behaviour checker of the
// sanitizer builds lets the store reach the hardware).
[[gnu::noinline]] void writeToUnmappedAddress()
{
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

} // namespace

TEST_F(CrashCaptureTest, SegmentationFaultIsReportedAtTheNextStart)
{
    // The process still dies of its signal.
    EXPECT_EXIT(startAndCrash(writeToUnmappedAddress), diedOf(SIGSEGV), "");
    ASSERT_GT(crashFileSize(), 0u);
    const auto record = readCrashFile((dir_ / kCrashFileName).string());
    ASSERT_TRUE(record);
    EXPECT_EQ(record->signal, SIGSEGV);
    EXPECT_EQ(record->signalName, "SIGSEGV");
    EXPECT_EQ(record->address, 16u);
    ASSERT_FALSE(record->frames.empty());
    EXPECT_FALSE(record->frames[0].module.empty()); // placed in a module through the saved map

    const auto reports = reportsOfNextStart();
    ASSERT_EQ(reports.size(), 1u);
    const auto& e = reports[0]["events"][0];
    EXPECT_EQ(e["exceptions"][0]["errorClass"], "SIGSEGV");
    EXPECT_EQ(e["unhandled"], true);
    EXPECT_EQ(e["severity"], "error");
    EXPECT_EQ(e["severityReason"]["type"], "signal");
    EXPECT_GE(e["exceptions"][0]["stacktrace"].size(), 1u);
    EXPECT_TRUE(e["exceptions"][0]["stacktrace"][0].contains("module"));
    EXPECT_EQ(e["metaData"]["signal"]["name"], "SIGSEGV");
    ASSERT_FALSE(e["breadcrumbs"].empty());
    EXPECT_EQ(e["breadcrumbs"].back()["name"], "just before the end");
    EXPECT_EQ(e["session"]["events"]["unhandled"], 1);

    EXPECT_EQ(crashFileSize(), 0u); // read once: a third start reports nothing
    EXPECT_EQ(reportsOfNextStart().size(), 1u);
}

// One death test per test: a child runs the test body again up to its own death statement.
TEST_F(CrashCaptureTest, CrashIsReportedOnceEvenWhenTheNextRunCapturesNone)
{
    EXPECT_EXIT(startAndCrash(writeToUnmappedAddress), diedOf(SIGSEGV), "");
    {
        auto queue = openQueue();
        Notifier notifier(queue);
        NotifierConfiguration c = configuration();
        c.captureCrashes = false;
        notifier.start(c);
        EXPECT_EQ(queue->store().count(Channel::Notify), 1u);
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / kCrashFileName));
}

TEST_F(CrashCaptureTest, UncaughtExceptionIsReported)
{
    EXPECT_EXIT(startAndCrash([] { std::thread([] { throw std::runtime_error("decoder state lost"); }).join(); }),
                diedOf(SIGABRT), "decoder state lost");
    const auto reports = reportsOfNextStart();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["events"][0]["exceptions"][0]["errorClass"], "std::runtime_error");
    EXPECT_EQ(reports[0]["events"][0]["exceptions"][0]["message"], "decoder state lost");
    EXPECT_EQ(reports[0]["events"][0]["severityReason"]["type"], "unhandledException");
}

TEST_F(CrashCaptureTest, AbortIsReported)
{
    EXPECT_EXIT(startAndCrash([] { std::abort(); }), diedOf(SIGABRT), "");
    const auto reports = reportsOfNextStart();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["events"][0]["exceptions"][0]["errorClass"], "SIGABRT");
}

TEST_F(CrashCaptureTest, StopAfterAStoredReportAddsNoCrashReport)
{
    EXPECT_EXIT(startAndCrash([] {
                    CrashCapture::suppressNextCrash();
                    std::abort();
                }),
                diedOf(SIGABRT), "");
    EXPECT_EQ(crashFileSize(), 0u);
    EXPECT_TRUE(reportsOfNextStart().empty());
}

TEST_F(CrashCaptureTest, DamagedCrashFilesAreIgnored)
{
    const std::string path = (dir_ / "damaged").string();
    const std::string good = "crash 1\nkind signal\nsignal 11\ncode 1\naddress 0x10\ntime 5\nframe 0x1234\n"
                             "snapshot 2\n{}\nmaps\n00001000-00002000 r-xp 00000000 08:01 42 /usr/bin/x\n";
    const std::vector<std::string> bad = {
        "",
        "garbage",
        "crash 2\nkind signal\nsignal 11\n",
        "crash 1\nkind signal\n",                        // no signal
        "crash 1\nkind signal\nsignal 11\nsnapshot 999999\n{}", // block longer than the file
        "crash 1\nkind signal\nsignal 11\nsnapshot -1\n",
        "crash 1\nkind signal\nsignal zz\n",
    };
    for (const std::string& text : bad) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        EXPECT_FALSE(readCrashFile(path).has_value()) << text;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << good;
    const auto record = readCrashFile(path);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->address, 0x10u);
    ASSERT_EQ(record->frames.size(), 1u);
    EXPECT_EQ(record->frames[0].module, "/usr/bin/x");
    EXPECT_EQ(record->frames[0].offset, 0x234u);
    EXPECT_FALSE(readCrashFile((dir_ / "missing").string()).has_value());

    // A damaged crash file at start-up gives no report and no trouble.
    std::ofstream((dir_ / kCrashFileName).string(), std::ios::binary) << "crash 1\nkind signal\nsignal 11\nsnapshot 80\n{";
    EXPECT_TRUE(reportsOfNextStart().empty());
}

TEST_F(CrashCaptureTest, ProgramKilledWhileHungIsReportedAsAFatalHang)
{
    // The child hangs until its marker is written, then is killed as a user would kill it.
    EXPECT_EXIT(
        {
            auto queue = openQueue();
            Notifier notifier(queue);
            NotifierConfiguration c = configuration();
            c.appHangThresholdMillis = 100;
            c.appHangPollMillis = 10;
            c.mainThreadDispatcher = [](std::function<void()>) {}; // a main thread that never answers
            notifier.start(c);
            notifier.leaveBreadcrumb("stuck", nullptr, BreadcrumbType::Process);
            eventually([&] { return std::filesystem::exists(dir_ / kHangMarkerFileName); });
            ::raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    ASSERT_TRUE(std::filesystem::exists(dir_ / kHangMarkerFileName));

    const auto reports = reportsOfNextStart();
    ASSERT_EQ(reports.size(), 1u);
    const auto& e = reports[0]["events"][0];
    EXPECT_EQ(e["exceptions"][0]["errorClass"], kAppHangErrorClass);
    EXPECT_EQ(e["unhandled"], true);
    EXPECT_EQ(e["severityReason"]["type"], "appHang");
    EXPECT_EQ(e["breadcrumbs"].back()["name"], "stuck");
    EXPECT_FALSE(std::filesystem::exists(dir_ / kHangMarkerFileName));
}

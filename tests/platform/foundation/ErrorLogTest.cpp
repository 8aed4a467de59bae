#include "platform/foundation/Error.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

TEST(Error, DescribesItselfWithItsCauses)
{
    Error none;
    EXPECT_TRUE(none.isNull());
    auto cause = std::make_shared<Error>(QStringLiteral("POSIX"), 13, QStringLiteral("Permission denied"));
    Error e(QStringLiteral("HelperErrorDomain"), 4, QStringLiteral("The file could not be moved."),
            QStringLiteral("The folder is read-only."), cause);
    EXPECT_FALSE(e.isNull());
    EXPECT_EQ(e.toString(), QStringLiteral("HelperErrorDomain 4: The file could not be moved. (The folder is "
                                           "read-only.) <- POSIX 13: Permission denied"));
    Error copy = e;
    EXPECT_EQ(copy, e);
    copy.underlying = std::make_shared<Error>(QStringLiteral("POSIX"), 2, QStringLiteral("No such file"));
    EXPECT_FALSE(copy == e);
    Error* nowhere = nullptr;
    setError(nowhere, e); // tolerated
    Error out;
    setError(&out, e);
    EXPECT_EQ(out.code, 4);
}

TEST(Exception, CarriesNameAndFormattedReason)
{
    try {
        Exception::raise(QStringLiteral("KLVBadDocument"), QStringLiteral("line %1: %2 (%3, %4)"), 12,
                         QStringLiteral("tag %1 unknown"), "raw", std::string("std"));
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "line 12: tag %1 unknown (raw, std)");
        const auto* ex = dynamic_cast<const Exception*>(&e);
        ASSERT_NE(ex, nullptr);
        EXPECT_EQ(ex->name(), QStringLiteral("KLVBadDocument"));
    }
    EXPECT_THROW(Exception::raise(QString::fromLatin1(kRangeException), QStringLiteral("plain")), Exception);
}

TEST(Log, CaptureCollectsOneEscapedLinePerCallFromAnyThread)
{
    LogCapture capture;
    log("com.quenmark.kalvanto", "document", LogLevel::Error, "two\nlines");
    log("com.quenmark.kalvanto", "document", LogLevel::Debug, QStringLiteral("caf\u00e9"));
    logf("com.quenmark.kalvanto", "comm", LogLevel::Info, "port %d opened at %s", 5250, "127.0.0.1");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i)
                logf("sub", "cat", LogLevel::Default, "thread %d line %d", t, i);
        });
    for (auto& t : threads)
        t.join();
    ASSERT_EQ(capture.count(), 403u);
    const auto lines = capture.lines();
    EXPECT_EQ(lines[0], "[com.quenmark.kalvanto:document] error: two\\nlines");
    EXPECT_EQ(lines[1], "[com.quenmark.kalvanto:document] debug: caf\xc3\xa9");
    EXPECT_EQ(capture.records()[2].message, "port 5250 opened at 127.0.0.1");
    EXPECT_TRUE(capture.contains("thread 3 line 99"));
    EXPECT_TRUE(capture.contains("two", LogLevel::Error));
    EXPECT_FALSE(capture.contains("port", LogLevel::Error));
    {
        LogCapture inner;
        log("a", "b", LogLevel::Fault, "both see it");
        EXPECT_EQ(inner.count(), 1u);
    }
    EXPECT_TRUE(capture.contains("both see it", LogLevel::Fault));
    capture.clear();
    EXPECT_EQ(capture.count(), 0u);
}

#include "platform/reporting/Gzip.h"
#include "platform/reporting/ReportStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace platform::reporting;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path()
            / ("klv-store-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path() const { return (dir_ / "reports.sqlite").string(); }

    std::filesystem::path dir_;
};

} // namespace

TEST(Gzip, RoundTripsAndRefusesDamagedOrOversizedStreams)
{
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "event " + std::to_string(i) + "\n";
    const std::string packed = gzipCompress(text);
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1f); // gzip magic
    EXPECT_EQ(static_cast<unsigned char>(packed[1]), 0x8b);
    EXPECT_EQ(gzipDecompress(packed), text);
    EXPECT_EQ(gzipDecompress(gzipCompress("")), std::string());

    EXPECT_FALSE(gzipDecompress(packed.substr(0, packed.size() / 2)).has_value()); // truncated
    std::string flipped = packed;
    flipped[packed.size() / 2] = static_cast<char>(flipped[packed.size() / 2] ^ 0x55);
    EXPECT_FALSE(gzipDecompress(flipped).has_value());
    EXPECT_FALSE(gzipDecompress("not gzip at all").has_value());
    EXPECT_FALSE(gzipDecompress(packed, 100).has_value()); // would inflate beyond the limit
}

TEST_F(StoreTest, RowsSurviveReopeningInOrderPerChannel)
{
    {
        auto store = ReportStore::open(path());
        ASSERT_TRUE(store);
        EXPECT_TRUE(store->add(Channel::Notify, "first", 1000 + 0));
        EXPECT_TRUE(store->add(Channel::Analytics, "event", 1000 + 1));
        EXPECT_TRUE(store->add(Channel::Notify, "second", 1000 + 2));
        store->setSetting("analytics.enabled", "0");
    }
    StoreLimits limits;
    limits.maxAgeMillis = std::numeric_limits<std::int64_t>::max() / 2; // the rows above are "old"
    auto store = ReportStore::open(path(), limits);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->count(), 3u);
    EXPECT_EQ(store->count(Channel::Notify), 2u);
    auto oldest = store->oldest(Channel::Notify);
    ASSERT_TRUE(oldest);
    EXPECT_EQ(oldest->body, "first");
    EXPECT_TRUE(store->remove(oldest->id));
    EXPECT_FALSE(store->remove(oldest->id));
    EXPECT_EQ(store->oldest(Channel::Notify)->body, "second");
    EXPECT_EQ(store->setting("analytics.enabled"), "0");
    EXPECT_FALSE(store->setting("missing").has_value());
    EXPECT_EQ(store->purge(Channel::Analytics), 1u);
    EXPECT_EQ(store->count(), 1u);
}

TEST_F(StoreTest, CapsDropTheOldestRowsAndExpiredOnes)
{
    StoreLimits limits;
    limits.maxRowsPerChannel = 5;
    limits.maxAgeMillis = 1000;
    auto store = ReportStore::open(path(), limits);
    ASSERT_TRUE(store);
    const std::int64_t now = 10'000'000;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(store->add(Channel::Notify, "row " + std::to_string(i), now + i));
    ASSERT_TRUE(store->add(Channel::Sessions, "session", now));
    EXPECT_EQ(store->count(Channel::Notify), 5u);
    EXPECT_EQ(store->oldest(Channel::Notify)->body, "row 3"); // rows 0..2 went
    EXPECT_EQ(store->count(Channel::Sessions), 1u);          // another channel's cap is its own

    // An add two seconds later drops every row older than a second.
    ASSERT_TRUE(store->add(Channel::Analytics, "late", now + 2000));
    EXPECT_EQ(store->count(), 1u);
    EXPECT_EQ(store->oldest(Channel::Analytics)->body, "late");
}

TEST_F(StoreTest, UnopenableOrDamagedDatabaseIsAnError)
{
    std::string error;
    EXPECT_FALSE(ReportStore::open((dir_ / "missing-folder" / "x.sqlite").string(), {}, &error));
    EXPECT_FALSE(error.empty());

    std::ofstream(path(), std::ios::binary) << std::string(4096, 'x');
    error.clear();
    EXPECT_FALSE(ReportStore::open(path(), {}, &error));
    EXPECT_FALSE(error.empty());
}

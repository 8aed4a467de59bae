// Request checks, lanes and jobs of the helper, in this process (the program's own tests run
// it as a child).
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "mediahelper/service/ClipwrightService.h"
#include "mediahelper/service/JobLanes.h"
#include "platform/foundation/Log.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/TempFolder.h"

#include <QCborValue>
#include <QFile>
#include <QImageReader>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

using testsupport::HelperClip;
using testsupport::helperClipPath;
using namespace clipwright;

namespace {

// Collects what the service answers on one request.
class RecordedReply final : public platform::XpcReplyChannel {
public:
    bool send(const QCborMap& reply) override
    {
        std::lock_guard lock(mutex_);
        replies_.push_back(reply);
        changed_.notify_all();
        return true;
    }
    bool wait(int ms = 20000)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !replies_.empty(); });
    }
    std::vector<QCborMap> replies() const
    {
        std::lock_guard lock(mutex_);
        return replies_;
    }
    QCborMap only() const
    {
        std::lock_guard lock(mutex_);
        return replies_.size() == 1 ? replies_.front() : QCborMap();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<QCborMap> replies_;
};

QCborMap request(std::initializer_list<std::pair<const char*, QCborValue>> entries)
{
    QCborMap map;
    for (const auto& [key, value] : entries)
        map.insert(QLatin1String(key), value);
    return map;
}

QString text(const QCborMap& map, const char* key)
{
    return map.value(QLatin1String(key)).toString();
}

class ServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordedReply> post(const QCborMap& body)
    {
        auto reply = std::make_shared<RecordedReply>();
        service.Clipwright_peer_event_handler(platform::XpcEvent{body, reply});
        return reply;
    }
    // Every job queued so far has ended once a slate request (the last lane) queued now is answered.
    void drain()
    {
        auto reply = post(request({{kActionKey, kActionSlate},
                                   {kSourceKey, QStringLiteral("/nonexistent")},
                                   {kSlateDestinationKey, temp.filePath(QStringLiteral("drain.png"))}}));
        ASSERT_TRUE(reply->wait());
    }

    testsupport::TempFolder temp;
    JobLanes lanes;
    ClipwrightService service{lanes};
};

} // namespace

TEST_F(ServiceTest, MissingParametersAreAnsweredAtOnceAndLogged)
{
    platform::LogCapture log;
    auto slate = post(request({{kActionKey, kActionSlate}, {kSourceKey, QStringLiteral("/a.mov")}}));
    auto thumb = post(request({{kActionKey, kActionThumbnail}, {kThumbnailDestinationKey, QStringLiteral("/t.png")}}));
    auto metadata = post(request({{kActionKey, kActionMetadata}, {kSourceKey, 42}})); // not text: missing
    for (const auto& reply : {slate, thumb, metadata}) {
        ASSERT_EQ(reply->replies().size(), 1u); // answered on the connection's thread, before any job
        EXPECT_EQ(text(reply->only(), kResultKey), QStringLiteral("failure"));
        EXPECT_EQ(text(reply->only(), kReasonKey), QStringLiteral("missing parameters"));
    }
    EXPECT_TRUE(log.contains("\tmissing parameters (sourcePath: /a.mov, destinationPath: (null), inPoint: 0.000000, "
                             "outPoint: 0.000000)"));
    EXPECT_TRUE(log.contains("\tmissing parameters (sourcePath: (null), destinationPath: /t.png, inPoint: 3.000000)"));
    EXPECT_TRUE(log.contains("\tmissing parameters (sourcePath: (null))"));
}

TEST_F(ServiceTest, MetadataOfClipsAndOfAMissingFile)
{
    const QString square = helperClipPath(HelperClip::Square1080p);
    auto squareReply = post(request({{kActionKey, kActionMetadata}, {kSourceKey, square}}));
    auto anamorphic = post(request({{kActionKey, kActionMetadata}, {kSourceKey, helperClipPath(HelperClip::Anamorphic480)}}));
    auto missing = post(request({{kActionKey, kActionMetadata}, {kSourceKey, temp.filePath(QStringLiteral("gone.mov"))}}));
    ASSERT_TRUE(squareReply->wait());
    ASSERT_TRUE(anamorphic->wait());
    ASSERT_TRUE(missing->wait());

    const QCborMap ok = squareReply->only();
    EXPECT_EQ(text(ok, kResultKey), QStringLiteral("success"));
    const QCborMap m = ok.value(QLatin1String(kResponseKey)).toMap();
    EXPECT_EQ(text(m, kMetadataPathKey), square);
    EXPECT_EQ(text(m, kMetadataSizeKey), QStringLiteral("1920x1080"));
    EXPECT_EQ(text(m, kMetadataFormatKey), QStringLiteral("h264"));
    EXPECT_EQ(text(m, kMetadataValidFormatKey), QStringLiteral("YES"));
    EXPECT_TRUE(m.value(QLatin1String(kMetadataDurationKey)).isDouble());
    EXPECT_NEAR(m.value(QLatin1String(kMetadataDurationKey)).toDouble(), 4.0, 0.1);
    EXPECT_TRUE(m.value(QLatin1String(kMetadataFpsKey)).isDouble());
    EXPECT_DOUBLE_EQ(m.value(QLatin1String(kMetadataFpsKey)).toDouble(), 25.0);

    const QCborMap a = anamorphic->only().value(QLatin1String(kResponseKey)).toMap();
    EXPECT_EQ(text(a, kMetadataSizeKey), QStringLiteral("640x480"));

    // A file that does not open is still a successful metadata request.
    EXPECT_EQ(text(missing->only(), kResultKey), QStringLiteral("success"));
    const QCborMap none = missing->only().value(QLatin1String(kResponseKey)).toMap();
    EXPECT_EQ(text(none, kMetadataValidFormatKey), QStringLiteral("NO"));
    EXPECT_EQ(text(none, kMetadataSizeKey), QStringLiteral("Unknown"));
    EXPECT_EQ(text(none, kMetadataFormatKey), QString());
    EXPECT_EQ(text(none, kMetadataPathKey), QString());
    EXPECT_TRUE(none.value(QLatin1String(kMetadataPathKey)).isString());
    EXPECT_EQ(none.value(QLatin1String(kMetadataDurationKey)).toDouble(), 0.0);
    EXPECT_EQ(none.value(QLatin1String(kMetadataFpsKey)).toDouble(), 0.0);
}

TEST_F(ServiceTest, IgnoredEventsGetNoReply)
{
    platform::LogCapture log;
    auto full = post(request({{kActionKey, kActionMetadataFull}, {kSourceKey, QStringLiteral("/a.mov")}}));
    auto unknown = post(request({{kActionKey, QStringLiteral("Metadata")}, {kSourceKey, QStringLiteral("/a.mov")}}));
    auto noAction = post(request({{kSourceKey, QStringLiteral("/a.mov")}}));
    auto wrongType = post(request({{kActionKey, QByteArray("metadata")}, {kSourceKey, QStringLiteral("/a.mov")}}));
    drain();
    for (const auto& reply : {full, unknown, noAction, wrongType})
        EXPECT_TRUE(reply->replies().empty());
    EXPECT_TRUE(log.contains("!!!ignoring metadata and images request"));
}

TEST_F(ServiceTest, ThumbnailWithAnExistingDestinationAnswersWithoutWork)
{
    platform::LogCapture log;
    const QString destination = temp.writeFile(QStringLiteral("Thumbnails/x_thumb.png"), "not touched");
    // The source does not exist: any work would end in "failure".
    auto reply = post(request({{kActionKey, kActionThumbnail},
                               {kSourceKey, temp.filePath(QStringLiteral("missing.mov"))},
                               {kThumbnailDestinationKey, destination}}));
    ASSERT_TRUE(reply->wait());
    EXPECT_EQ(text(reply->only(), kResultKey), QStringLiteral("success"));
    EXPECT_EQ(temp.readFile(QStringLiteral("Thumbnails/x_thumb.png")), QByteArray("not touched"));
    EXPECT_TRUE(log.contains("destination file already exists, bailing out " + destination.toStdString()));
}

TEST_F(ServiceTest, ImageRepliesSaySuccessOnlyWhenThePngIsOnDisk)
{
    const QString clip = helperClipPath(HelperClip::Small);
    temp.writeFile(QStringLiteral("blocker"), "a file where a folder should be");
    auto unwritable = post(request({{kActionKey, kActionThumbnail},
                                    {kSourceKey, clip},
                                    {kThumbnailDestinationKey, temp.filePath(QStringLiteral("blocker/t.png"))}}));
    auto unreadable = post(request({{kActionKey, kActionSlate},
                                    {kSourceKey, temp.filePath(QStringLiteral("missing.mov"))},
                                    {kSlateDestinationKey, temp.filePath(QStringLiteral("s.png"))}}));
    const QString thumbPath = temp.filePath(QStringLiteral("Thumbnails/new/t.png"));
    auto written = post(request({{kActionKey, kActionThumbnail},
                                 {kSourceKey, clip},
                                 {kThumbnailDestinationKey, thumbPath},
                                 {kInPointKey, 1}})); // an integer in point reads as seconds too
    ASSERT_TRUE(unwritable->wait());
    ASSERT_TRUE(unreadable->wait());
    ASSERT_TRUE(written->wait());
    EXPECT_EQ(text(unwritable->only(), kResultKey), QStringLiteral("failure"));
    EXPECT_FALSE(unwritable->only().contains(QLatin1String(kReasonKey)));
    EXPECT_EQ(text(unreadable->only(), kResultKey), QStringLiteral("failure"));
    EXPECT_FALSE(QFile::exists(temp.filePath(QStringLiteral("s.png"))));
    EXPECT_EQ(text(written->only(), kResultKey), QStringLiteral("success"));
    EXPECT_EQ(QImageReader(thumbPath).size(), QSize(93, 70));
}

TEST_F(ServiceTest, RequestWithoutReplyHandlerIsWorkedButNotAnswered)
{
    platform::LogCapture log;
    const QString destination = temp.filePath(QStringLiteral("quiet.png"));
    service.Clipwright_peer_event_handler(platform::XpcEvent{
        request({{kActionKey, kActionThumbnail},
                 {kSourceKey, helperClipPath(HelperClip::Small)},
                 {kThumbnailDestinationKey, destination}}),
        nullptr});
    drain();
    EXPECT_TRUE(log.contains("failed to create reply from event"));
    EXPECT_TRUE(QFile::exists(destination));
}

TEST(JobLanes, MetadataBeforeThumbnailsBeforeSlatesOneAtATime)
{
    JobLanes lanes;
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    bool started = false;
    std::vector<std::string> order;
    int running = 0;
    int maxRunning = 0;
    auto job = [&](std::string name) {
        return [&, name] {
            std::lock_guard lock(mutex);
            maxRunning = std::max(maxRunning, ++running);
            order.push_back(name);
            --running;
        };
    };
    lanes.enqueue(Lane::Slate, [&] {
        std::unique_lock lock(mutex);
        started = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        order.push_back("running slate");
    });
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return started; });
    }
    for (int i = 0; i < 3; ++i) {
        lanes.enqueue(Lane::Slate, job("s" + std::to_string(i)));
        lanes.enqueue(Lane::Thumbnail, job("t" + std::to_string(i)));
        lanes.enqueue(Lane::Metadata, job("m" + std::to_string(i)));
    }
    EXPECT_EQ(lanes.queued(Lane::Metadata), 3u);
    bool done = false;
    lanes.enqueue(Lane::Slate, [&] {
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        release = true;
        cv.notify_all();
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return done; }));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"running slate", "m0", "m1", "m2", "t0", "t1", "t2", "s0", "s1", "s2"}));
    EXPECT_EQ(maxRunning, 1);
    EXPECT_STREQ(JobLanes::label(Lane::Metadata), "metadataQueue");
    EXPECT_STREQ(JobLanes::label(Lane::Thumbnail), "thumbQueue");
    EXPECT_STREQ(JobLanes::label(Lane::Slate), "slateQueue");
}

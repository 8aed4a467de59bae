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
#include <thread>

#include <sys/stat.h>
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
    // No stall bound within a test: a job held by the test holds the lanes for as long as it is.
    JobLanes lanes{std::chrono::hours(1)};
    ClipwrightService service{lanes};
};

// A job that runs until the test lets it go.
class HeldJob {
public:
    std::function<void()> job()
    {
        return [this] {
            std::unique_lock lock(mutex_);
            started_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        };
    }
    bool waitStarted()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return started_; });
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool released_ = false;
};

// Replies of several requests in the order they came.
class ReplyOrder {
public:
    std::shared_ptr<platform::XpcReplyChannel> channel(std::string name)
    {
        struct Channel final : platform::XpcReplyChannel {
            Channel(ReplyOrder& order, std::string name) : order_(order), name_(std::move(name)) {}
            bool send(const QCborMap&) override
            {
                std::lock_guard lock(order_.mutex_);
                order_.names_.push_back(name_);
                order_.changed_.notify_all();
                return true;
            }
            ReplyOrder& order_;
            std::string name_;
        };
        return std::make_shared<Channel>(*this, std::move(name));
    }
    std::vector<std::string> waitFor(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(60), [&] { return names_.size() >= count; });
        return names_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> names_;
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

TEST_F(ServiceTest, EveryRequestIsAnsweredOnceAndUnservedOnesWithAReason)
{
    platform::LogCapture log;
    auto full = post(request({{kActionKey, kActionMetadataFull}, {kSourceKey, QStringLiteral("/a.mov")}}));
    auto unknown = post(request({{kActionKey, QStringLiteral("format-disk")}, {kSourceKey, QStringLiteral("/a.mov")}}));
    auto wrongCase = post(request({{kActionKey, QStringLiteral("Metadata")}, {kSourceKey, QStringLiteral("/a.mov")}}));
    auto noAction = post(request({{kSourceKey, QStringLiteral("/a.mov")}}));
    auto wrongType = post(request({{kActionKey, QByteArray("metadata")}, {kSourceKey, QStringLiteral("/a.mov")}}));
    // A message (no reply wanted) with an unknown action is dropped quietly.
    service.Clipwright_peer_event_handler(platform::XpcEvent{request({{kActionKey, QStringLiteral("x")}}), nullptr});
    drain();
    const std::vector<std::pair<std::shared_ptr<RecordedReply>, const char*>> expected = {
        {full, kReasonNotServed},
        {unknown, kReasonUnknownAction},
        {wrongCase, kReasonUnknownAction},
        {noAction, kReasonMissingParameters},
        {wrongType, kReasonMissingParameters},
    };
    for (const auto& [reply, reason] : expected) {
        ASSERT_EQ(reply->replies().size(), 1u) << reason;
        EXPECT_EQ(text(reply->only(), kResultKey), QStringLiteral("failure"));
        EXPECT_EQ(text(reply->only(), kReasonKey), QLatin1String(reason));
    }
    EXPECT_TRUE(log.contains("!!!ignoring metadata and images request"));
    EXPECT_TRUE(log.contains("unknown action format-disk"));
}

TEST_F(ServiceTest, SourcesAndDestinationsThatAreNotFilesAreRefusedWithAReason)
{
    const QString clip = helperClipPath(HelperClip::Small);
    const QString fifo = temp.filePath(QStringLiteral("feed.mov"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto image = [&](const QString& source, const QString& destination) {
        return post(request(
            {{kActionKey, kActionThumbnail}, {kSourceKey, source}, {kThumbnailDestinationKey, destination}}));
    };
    auto fifoThumb = image(fifo, temp.filePath(QStringLiteral("f.png")));
    auto folderThumb = image(temp.path(), temp.filePath(QStringLiteral("d.png")));
    auto urlThumb = image(QStringLiteral("pipe:0"), temp.filePath(QStringLiteral("p.png")));
    auto fifoMetadata = post(request({{kActionKey, kActionMetadata}, {kSourceKey, fifo}}));
    // A device takes nothing (/dev/full fails every write); a folder that cannot be made neither.
    auto full = image(clip, QStringLiteral("/dev/full"));
    auto noFolder = image(clip, QStringLiteral("/proc/self/no-such-folder/t.png"));
    for (const auto& reply : {fifoThumb, folderThumb, urlThumb, fifoMetadata, full, noFolder})
        ASSERT_TRUE(reply->wait());

    EXPECT_EQ(text(fifoThumb->only(), kResultKey), QStringLiteral("failure"));
    EXPECT_EQ(text(fifoThumb->only(), kReasonKey), QLatin1String(kReasonSourceNotRegular));
    EXPECT_EQ(text(folderThumb->only(), kReasonKey), QLatin1String(kReasonSourceNotRegular));
    EXPECT_EQ(text(urlThumb->only(), kReasonKey), QLatin1String(kReasonSourceNotAbsolute));
    // Metadata of a refused source: a file that does not open, and why.
    EXPECT_EQ(text(fifoMetadata->only(), kResultKey), QStringLiteral("success"));
    EXPECT_EQ(text(fifoMetadata->only(), kReasonKey), QLatin1String(kReasonSourceNotRegular));
    EXPECT_EQ(text(fifoMetadata->only().value(QLatin1String(kResponseKey)).toMap(), kMetadataValidFormatKey),
              QStringLiteral("NO"));
    EXPECT_EQ(text(full->only(), kResultKey), QStringLiteral("failure"));
    EXPECT_EQ(text(full->only(), kReasonKey), QLatin1String(kReasonDestinationNotRegular));
    EXPECT_EQ(text(noFolder->only(), kResultKey), QStringLiteral("failure"));
    struct stat info {};
    ASSERT_EQ(::stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)); // left as it was
}

TEST_F(ServiceTest, RequestsArrivingDuringAJobAreServedInLaneOrder)
{
    const QString clip = helperClipPath(HelperClip::Small);
    HeldJob held;
    lanes.enqueue(Lane::Slate, held.job());
    ASSERT_TRUE(held.waitStarted());
    ReplyOrder order;
    for (int i = 0; i < 2; ++i) {
        const QString n = QString::number(i);
        service.Clipwright_peer_event_handler(platform::XpcEvent{
            request({{kActionKey, kActionSlate}, {kSourceKey, clip},
                     {kSlateDestinationKey, temp.filePath(QStringLiteral("s%1.png").arg(n))}}),
            order.channel("slate")});
        service.Clipwright_peer_event_handler(platform::XpcEvent{
            request({{kActionKey, kActionThumbnail}, {kSourceKey, clip},
                     {kThumbnailDestinationKey, temp.filePath(QStringLiteral("t%1.png").arg(n))}}),
            order.channel("thumbnail")});
        service.Clipwright_peer_event_handler(
            platform::XpcEvent{request({{kActionKey, kActionMetadata}, {kSourceKey, clip}}), order.channel("metadata")});
    }
    // Refusals are answered on the connection's thread, at once.
    service.Clipwright_peer_event_handler(platform::XpcEvent{request({{kActionKey, kActionMetadata}}), order.channel("refused")});
    EXPECT_EQ(order.waitFor(1), std::vector<std::string>{"refused"});
    held.release();
    EXPECT_EQ(order.waitFor(7), (std::vector<std::string>{"refused", "metadata", "metadata", "thumbnail", "thumbnail",
                                                          "slate", "slate"}));
}

TEST(JobLanes, AJobThatNeverEndsHoldsTheOthersOnlyUntilTheStallBound)
{
    JobLanes lanes(std::chrono::milliseconds(50));
    HeldJob wedged;
    lanes.enqueue(Lane::Metadata, wedged.job());
    ASSERT_TRUE(wedged.waitStarted());
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> done;
    for (const char* name : {"metadata", "thumbnail", "slate"}) {
        const Lane lane = std::string(name) == "metadata" ? Lane::Metadata
                                                          : (std::string(name) == "thumbnail" ? Lane::Thumbnail : Lane::Slate);
        lanes.enqueue(lane, [&, name] {
            std::lock_guard lock(mutex);
            done.emplace_back(name);
            cv.notify_all();
        });
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return done.size() == 3; }));
    }
    EXPECT_EQ(done, (std::vector<std::string>{"metadata", "thumbnail", "slate"}));
    EXPECT_EQ(lanes.stalled(), 1u);
    wedged.release();
    for (int i = 0; i < 2000 && lanes.stalled() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(lanes.stalled(), 0u);
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
    JobLanes lanes(std::chrono::hours(1));
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

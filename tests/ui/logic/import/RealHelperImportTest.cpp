// An import answered by a real Clipwright child process: metadata, thumbnail and slate files, and
// an unplayable file removed with its alert.
#include "tests/ui/logic/playlist/ChannelFixture.h"

#include "app/document/KLVDocumentClasses.h"
#include "app/document/KLVPlaylist.h"
#include "app/mediaclient/KLVMediaHelperClient.h"
#include "app/serialization/QMXMLDocument.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/WaitUntil.h"
#include "ui/logic/playlist/KLVPlaylistTableModel.h"

#include <QFile>

#include <gtest/gtest.h>

using testsupport::FakeChannelDelegate;

namespace {

// Every request of the fixture's channels goes to the real helper; metadata requests are counted.
void answerFromHelper(ChannelFixture& f, KLVMediaHelperClient& client, int* metadataAsks = nullptr)
{
    f.app.mediaHelper = [&client, metadataAsks](const char* kind, const auto& node,
                                                FakeChannelDelegate::CompletionBlock& done) {
        const QLatin1String k(kind);
        if (k == QLatin1String("metadata")) {
            if (metadataAsks)
                ++*metadataAsks;
            client.requestMetadataForNode(node, done);
        } else if (k == QLatin1String("thumb")) {
            client.requestThumbForNode(node, done);
        } else {
            client.requestSlateForNode(node, done);
        }
    };
}

bool metadataAnswered(ChannelFixture& f, KLVChannelController& c)
{
    f.app.clock.advance(0);
    return c.import().outstandingMetadataRequests() == 0;
}

// The Out column's text of a row, as the table shows it.
QString outText(KLVChannelController& c, int row)
{
    KLVPlaylistTableModel& model = c.table().model();
    return model.data(model.index(row, KLVPlaylistTableModel::OutPointColumn), Qt::DisplayRole).toString();
}

// A document holding `channel`'s cues, written to a file and read back as a start reads it.
std::shared_ptr<KLVChannel> throughTheDocumentFile(const std::shared_ptr<KLVChannel>& channel, const QString& path)
{
    KLVDocumentClasses::registerClasses();
    auto playlist = KLVPlaylist::create();
    playlist->channelForChannelNumber(channel->channelNumber(), true)->setPlaylistItems(channel->playlistItems());
    platform::Error error;
    if (!QMXMLDocument::writeFile(QMXMLValue(playlist), path, &error))
        return nullptr;
    const auto read = QMXMLDocument::readFile(path).objectAs<KLVPlaylist>();
    return read ? read->channelForChannelNumber(channel->channelNumber()) : nullptr;
}

} // namespace

TEST(RealHelperImport, MetadataPicturesAndTheUnplayableFile)
{
    ChannelFixture f;
    KLVMediaHelperClient client;
    client.setServicePath(testsupport::clipwrightProgram());
    f.app.mediaHelper = [&](const char* kind, const auto& node, FakeChannelDelegate::CompletionBlock& done) {
        const QLatin1String k(kind);
        if (k == QLatin1String("metadata"))
            client.requestMetadataForNode(node, done);
        else if (k == QLatin1String("thumb"))
            client.requestThumbForNode(node, done);
        else
            client.requestSlateForNode(node, done);
    };
    KLVChannelController& c = f.channel(1);
    const QString clip = testsupport::helperClipPath(testsupport::HelperClip::Small);
    ASSERT_FALSE(clip.isEmpty());
    const QString bogus = f.file("bogus.mov"); // not a movie at all
    // A movie cut off after its first bytes, as a copy interrupted part way leaves it.
    const QString cut = f.file("cut.mov");
    {
        QFile source(clip), target(cut);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly));
        target.write(source.read(2048));
    }
    c.import().importFilesWithPaths({clip, bogus, cut});

    ASSERT_TRUE(testsupport::waitUntil([&] {
        f.app.clock.advance(0);
        return c.import().outstandingMetadataRequests() == 0 && c.import().outstandingThumbnailRequests() == 0
            && c.import().outstandingSlateRequests() == 0 && !f.app.prompts.shown.empty();
    }, 120000));
    ASSERT_EQ(c.table().playlistItemCount(), 1);
    const auto node = c.channel()->playlistItems()[0];
    EXPECT_EQ(node->sizeString(), QStringLiteral("320x240"));
    EXPECT_DOUBLE_EQ(node->fps(), 25.0);
    EXPECT_NEAR(node->outPoint(), 8.0, 0.1);
    EXPECT_FALSE(KLVPlaylistTableModel::showsBlankThumbnail(*node));
    EXPECT_FALSE(node->thumbnailIsLoading());
    EXPECT_FALSE(node->slate().isNull());
    ASSERT_EQ(f.app.prompts.shown.size(), 1u);
    // Both are unreadable files, said so in one alert; the codec list of old would be wrong.
    const QString text = f.app.prompts.shown[0].informativeText;
    EXPECT_TRUE(text.startsWith(QStringLiteral("bogus.mov")) || text.startsWith(QStringLiteral("cut.mov"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" and 1 other file could not be read: the files are damaged or not movies.")))
        << text.toStdString();
}

TEST(RealHelperImport, MetadataNeverAnsweredIsGivenUpAndAskedFiveTimesInAll)
{
    ChannelFixture f;
    KLVMediaHelperClient client;
    // A service that takes every request and answers none.
    client.setServicePath(QStringLiteral(KLV_XPC_ECHO_SERVICE));
    client.setRequestTimeout(100);
    int asked = 0;
    f.app.mediaHelper = [&](const char* kind, const auto& node, FakeChannelDelegate::CompletionBlock& done) {
        if (QLatin1String(kind) == QLatin1String("metadata")) {
            ++asked;
            client.requestMetadataForNode(node, done);
        }
    };
    KLVChannelController& c = f.channel(1);
    c.import().importFilesWithPaths({testsupport::helperClipPath(testsupport::HelperClip::Small)});
    // Each ask is given up after the time limit; the next comes 5 s later on the import's clock.
    ASSERT_TRUE(testsupport::waitUntil([&] {
        f.app.clock.advance(5000);
        return c.import().outstandingMetadataRequests() == 0;
    }, 60000));
    EXPECT_EQ(asked, 5);
    ASSERT_EQ(c.table().playlistItemCount(), 1); // kept, with its duration unknown
    testsupport::pumpEvents(300);
    EXPECT_EQ(asked, 5);
}

// A 29.97 clip of 360 frames whose container states its length a hair short: the Out column reads
// 00:00:12;00 after the import and again once the document is read back, and the cue's duration
// is 360 frames for a controller either way.
TEST(RealHelperImport, AClipsOutReadsTheSameFramesAfterImportAndAfterTheDocumentIsRead)
{
    const QString clip = testsupport::helperClipPath(testsupport::HelperClip::Ntsc360FramesStatedShort);
    ASSERT_FALSE(clip.isEmpty());
    std::shared_ptr<KLVChannel> saved;
    {
        ChannelFixture f;
        KLVMediaHelperClient client;
        client.setServicePath(testsupport::clipwrightProgram());
        answerFromHelper(f, client);
        KLVChannelController& c = f.channel(1);
        c.import().importFilesWithPaths({clip});
        ASSERT_TRUE(testsupport::waitUntil([&] { return metadataAnswered(f, c) && c.table().playlistItemCount() == 1; },
                                           120000));
        const auto node = c.channel()->playlistItems()[0];
        ASSERT_NEAR(node->outPoint(), 7207 / 600.0, 1e-6); // as the container states it
        EXPECT_EQ(outText(c, 0), QStringLiteral("00:00:12;00"));
        EXPECT_EQ(node->durationTimeCode().stringValue(), QStringLiteral("00:00:12:00"));
        saved = throughTheDocumentFile(c.channel(), f.home.filePath(QStringLiteral("Kalvanto.klv3")));
        ASSERT_TRUE(saved);
    }
    ChannelFixture restarted;
    KLVMediaHelperClient client;
    client.setServicePath(testsupport::clipwrightProgram());
    int asks = 0;
    answerFromHelper(restarted, client, &asks);
    restarted.app.channels[1] = saved;
    KLVChannelController& c = restarted.channel(1);
    testsupport::pumpEvents(50);
    ASSERT_EQ(c.table().playlistItemCount(), 1);
    EXPECT_EQ(outText(c, 0), QStringLiteral("00:00:12;00"));
    EXPECT_EQ(c.channel()->playlistItems()[0]->durationTimeCode().stringValue(), QStringLiteral("00:00:12:00"));
    EXPECT_EQ(asks, 0); // a cue with its length is not measured again
}

// Cues imported just before the program ended, whose answer never came, have no out point in the
// document. Given to a channel, each is measured again and the result saved; cues with a length,
// stubs and missing files are not asked about, and an unreadable file stays where it is.
TEST(RealHelperImport, CuesWithoutALengthAreMeasuredWhenTheirDocumentIsShown)
{
    const QString clip = testsupport::helperClipPath(testsupport::HelperClip::Ntsc360FramesStatedShort);
    ASSERT_FALSE(clip.isEmpty());
    ChannelFixture f;
    KLVMediaHelperClient client;
    client.setServicePath(testsupport::clipwrightProgram());
    int asks = 0;
    answerFromHelper(f, client, &asks);
    auto cue = [](const QString& name, const QString& path) {
        auto node = KLVPlaylistNode::create();
        node->setPlnName(name);
        node->setPlnSourcePath(path);
        return node;
    };
    auto unmeasured = cue(QStringLiteral("unmeasured"), clip);
    auto measured = cue(QStringLiteral("measured"), clip);
    measured->setMeasuredLength(5.0, 29.97);
    auto unreadable = cue(QStringLiteral("unreadable"), f.file(QStringLiteral("bogus.mov")));
    auto stub = cue(QStringLiteral("stub"), QString());
    auto missing = cue(QStringLiteral("missing"), f.home.filePath(QStringLiteral("gone.mov")));
    auto channel = KLVChannel::create(1);
    channel->setPlaylistItems({unmeasured, measured, unreadable, stub, missing});
    f.app.channels[1] = throughTheDocumentFile(channel, f.home.filePath(QStringLiteral("Kalvanto.klv3")));
    ASSERT_TRUE(f.app.channels[1]);

    KLVChannelController& c = f.channel(1);
    ASSERT_TRUE(testsupport::waitUntil([&] { return asks == 2 && metadataAnswered(f, c); }, 120000));
    const auto nodes = c.channel()->playlistItems();
    ASSERT_EQ(nodes.size(), 5u);
    EXPECT_NEAR(nodes[0]->outPoint(), 7207 / 600.0, 1e-6);
    EXPECT_DOUBLE_EQ(nodes[0]->fps(), 30000.0 / 1001.0);
    EXPECT_EQ(nodes[0]->sizeString(), QStringLiteral("320x240"));
    EXPECT_EQ(outText(c, 0), QStringLiteral("00:00:12;00"));
    EXPECT_EQ(outText(c, 1), QStringLiteral("00:00:05;00"));
    EXPECT_FALSE(nodes[2]->hasLength());
    EXPECT_GE(f.app.saves, 2);
    EXPECT_TRUE(f.app.prompts.shown.empty());
    testsupport::pumpEvents(200);
    EXPECT_EQ(asks, 2);
}

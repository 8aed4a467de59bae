// An import answered by a real Clipwright child process: metadata, thumbnail and slate files, and
// an unplayable file removed with its alert.
#include "tests/ui/logic/playlist/ChannelFixture.h"

#include "app/mediaclient/KLVMediaHelperClient.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/WaitUntil.h"
#include "ui/logic/playlist/KLVPlaylistTableModel.h"

#include <QFile>

#include <gtest/gtest.h>

using testsupport::FakeChannelDelegate;

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

// The model: cues, channels and the playlist; copies, names, pictures and the drag archive.

#include "DocumentFixture.h"
#include "app/document/KLVPlaylist.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/serialization/QMXMLDocument.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <atomic>
#include <thread>

TEST_F(DocumentTest, NewCueDefaultsAndTimeTexts)
{
    auto cue = KLVPlaylistNode::create();
    ASSERT_TRUE(cue->UUID().has_value());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(*cue->UUID())
                    .hasMatch());
    EXPECT_EQ(cue->duration(), -1.0);
    EXPECT_EQ(cue->inPointString(), "00:00:00;00");
    EXPECT_EQ(cue->frameOffset(), "00:00;00");
    EXPECT_TRUE(cue->thumbnailIsBlank());
    EXPECT_EQ(cue->thumbnail().size(), QSize(114, 70));
    EXPECT_EQ(cue->thumbnail().pixelColor(5, 5), QColor(Qt::black));
    EXPECT_TRUE(cue->isStub()); // "" is a stub
    EXPECT_EQ(cue->durationString(), "00:00:00");

    cue->setFps(25);
    cue->setInPoint(1.2);
    cue->setOutPoint(3725.52);
    EXPECT_EQ(cue->inPointString(), "00:00:01;05");
    EXPECT_EQ(cue->outPointString(), "01:02:05;13");
    EXPECT_DOUBLE_EQ(cue->duration(), 3724.32);
    EXPECT_EQ(cue->durationString(), "01:02:04");
    EXPECT_EQ(cue->durationTimeCode().stringValue(), "01:02:04:08");
    // At the cue's rate, so its frames can be counted.
    EXPECT_EQ(cue->durationTimeCode().framerate(), 25.0);
    EXPECT_EQ(cue->durationTimeCode().totalFrames(), 3724u * 25 + 8);
    EXPECT_EQ(cue->fpsString(), "25.00");
    cue->setOutPoint(0.5); // out before in: the duration stays
    EXPECT_DOUBLE_EQ(cue->duration(), 3724.32);
    cue->setFps(30); // does not reformat
    EXPECT_EQ(cue->inPointString(), "00:00:01;05");
}

TEST_F(DocumentTest, OffsetText)
{
    EXPECT_EQ(KLVPlaylistNode::frameOffsetText(-1.5, 25), "-00:01;12");
    EXPECT_EQ(KLVPlaylistNode::frameOffsetText(0.5, 0), "00:00;15");   // 30 without a rate
    EXPECT_EQ(KLVPlaylistNode::frameOffsetText(0.5, -25), "00:00;15"); // and with a nonsense one
    EXPECT_EQ(KLVPlaylistNode::frameOffsetText(1.2, 25), "00:01;05");
    EXPECT_EQ(KLVPlaylistNode::frameOffsetText(3725, 25), "02:05;00"); // hours are dropped
    EXPECT_EQ(KLVPlaylistNode::frameOffsetText(0.5, 29.97), "00:00;15");

    auto cue = KLVPlaylistNode::create();
    std::vector<std::pair<QString, bool>> told;
    auto subscription = cue->observers().subscribe([&](QString key, bool prior) {
        if (key == "offset")
            told.emplace_back(key, prior);
    });
    cue->setOffset(-1.5);
    EXPECT_EQ(cue->frameOffset(), "-00:01;15"); // rate 0 counts in 30ths
    EXPECT_EQ(told, (std::vector<std::pair<QString, bool>>{{"offset", true}, {"offset", false}}));
}

TEST_F(DocumentTest, CueWithoutUUIDKeepsItsOwnAndStubsAreExplicit)
{
    const auto a = KLVPlaylistNode::fromQMXMLNode(platform::XmlElement("KLVPlaylistNode"));
    const auto b = KLVPlaylistNode::fromQMXMLNode(platform::XmlElement("KLVPlaylistNode"));
    ASSERT_TRUE(a->UUID() && b->UUID());
    EXPECT_NE(*a->UUID(), *b->UUID());
    EXPECT_NE(KLVImageManager::thumbnailImagePathForNode(*a), KLVImageManager::thumbnailImagePathForNode(*b));
    EXPECT_FALSE(a->isStub());
    EXPECT_FALSE(a->plnSourcePath().has_value());

    platform::XmlElement emptyId("KLVPlaylistNode");
    emptyId.setAttribute("UUID", "");
    const auto c = KLVPlaylistNode::fromQMXMLNode(emptyId);
    ASSERT_TRUE(c->UUID().has_value());
    EXPECT_FALSE(c->UUID()->isEmpty());

    platform::XmlElement stub("KLVPlaylistNode");
    stub.setAttribute("plnSourcePath", "");
    EXPECT_TRUE(KLVPlaylistNode::fromQMXMLNode(stub)->isStub());
    // Absent texts are not written back as empty ones.
    EXPECT_FALSE(a->qmXMLElement().hasAttribute("plnSourcePath"));
    EXPECT_TRUE(a->qmXMLElement().hasAttribute("UUID"));
}

TEST_F(DocumentTest, CachedPicturesComeBackWithTheUUID)
{
    const QString uuid = "7A7A7A7A-0000-4000-8000-00000000BEEF";
    QImage thumb(20, 10, QImage::Format_RGB32);
    thumb.fill(Qt::red);
    ASSERT_TRUE(thumb.save(KLVImageManager::thumbnailImagePathForUUID(uuid), "PNG"));
    QImage slate(8, 8, QImage::Format_RGB32);
    slate.fill(Qt::blue);
    ASSERT_TRUE(slate.save(KLVImageManager::slateImagePathForUUID(uuid), "PNG"));

    platform::XmlElement element("KLVPlaylistNode");
    element.setAttribute("UUID", uuid);
    const auto cue = KLVPlaylistNode::fromQMXMLNode(element);
    EXPECT_FALSE(cue->thumbnailIsBlank());
    EXPECT_EQ(cue->thumbnail().size(), QSize(20, 10));
    EXPECT_EQ(cue->slate().size(), QSize(8, 8));

    // Once the thumbnail is no longer the placeholder, nothing is looked up again.
    QImage other(3, 3, QImage::Format_RGB32);
    ASSERT_TRUE(other.save(KLVImageManager::thumbnailImagePathForUUID(QString("OTHER")), "PNG"));
    cue->setUUID(QString("OTHER"));
    EXPECT_EQ(cue->thumbnail().size(), QSize(20, 10));
}

TEST_F(DocumentTest, ADocumentReadFindsEachCuesCachedPicturesFromOneListing)
{
    // Cues in two channels: one with both pictures, one with a thumbnail only, one with files of
    // another cue's name only, one whose thumbnail file is not a picture.
    const QString both = "11111111-0000-4000-8000-000000000001";
    const QString thumbOnly = "22222222-0000-4000-8000-000000000002";
    const QString none = "33333333-0000-4000-8000-000000000003";
    const QString broken = "44444444-0000-4000-8000-000000000004";
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(Qt::green);
    ASSERT_TRUE(picture.save(KLVImageManager::thumbnailImagePathForUUID(both), "PNG"));
    ASSERT_TRUE(picture.save(KLVImageManager::slateImagePathForUUID(both), "PNG"));
    ASSERT_TRUE(picture.save(KLVImageManager::thumbnailImagePathForUUID(thumbOnly), "PNG"));
    ASSERT_TRUE(picture.save(KLVImageManager::thumbnailFolder() + "/" + none + "_thumb.png.part", "PNG"));
    ASSERT_TRUE(picture.save(KLVImageManager::slateImageFolder() + "/" + none + "x_slate.png", "PNG"));
    QFile junk(KLVImageManager::thumbnailImagePathForUUID(broken));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();

    auto cue = [](const QString& uuid) {
        return "<KLVPlaylistNode UUID=\"" + uuid.toUtf8() + "\" plnSourcePath=\"/m.mov\"/>";
    };
    const QByteArray file = "<KLVPlaylist><array qmXMLIvarName=\"playlistChannels\">"
                            "<KLVChannel channelNumber=\"0\"><array qmXMLIvarName=\"playlistItems\">"
                            + cue(both) + cue(none) + "</array></KLVChannel>"
                            "<KLVChannel channelNumber=\"1\"><array qmXMLIvarName=\"playlistItems\">"
                            + cue(thumbOnly) + cue(broken) + "</array></KLVChannel></array></KLVPlaylist>";
    const auto playlist = QMXMLDocument::deserialize(file).objectAs<KLVPlaylist>();
    ASSERT_TRUE(playlist);
    const auto channels = playlist->playlistChannels();
    ASSERT_EQ(channels.size(), 2u);
    const auto first = channels[0]->playlistItems();
    const auto second = channels[1]->playlistItems();
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_FALSE(first[0]->thumbnailIsBlank());
    EXPECT_EQ(first[0]->thumbnail().size(), QSize(6, 4));
    EXPECT_EQ(first[0]->slate().size(), QSize(6, 4));
    EXPECT_TRUE(first[1]->thumbnailIsBlank());
    EXPECT_TRUE(first[1]->slate().isNull());
    EXPECT_FALSE(second[0]->thumbnailIsBlank());
    EXPECT_TRUE(second[0]->slate().isNull());
    EXPECT_TRUE(second[1]->thumbnailIsBlank());
    EXPECT_EQ(second[1]->thumbnail().size(), QSize(114, 70));

    // Outside a document read the file system is asked again: a picture cached since is found.
    ASSERT_TRUE(picture.save(KLVImageManager::slateImagePathForUUID(none), "PNG"));
    platform::XmlElement element("KLVPlaylistNode");
    element.setAttribute("UUID", none);
    EXPECT_EQ(KLVPlaylistNode::fromQMXMLNode(element)->slate().size(), QSize(6, 4));
}

TEST_F(DocumentTest, CopiesGetNewIdentitiesAndTheDragArchiveKeepsIt)
{
    auto cue = KLVPlaylistNode::create();
    cue->setPlnName(QString("clip"));
    cue->setPlnSourcePath(QString("/media/clip.mov"));
    cue->setFps(25);
    cue->setInPoint(1.2);
    cue->setOutPoint(4);
    cue->setDuration(2.8);
    cue->setOffset(0.5);
    cue->setPlaybackBehavior(2);
    cue->setNotes(std::nullopt);

    const auto copy = cue->copy();
    EXPECT_NE(copy, cue);
    EXPECT_NE(copy->UUID(), cue->UUID());
    EXPECT_EQ(copy->inPointString(), cue->inPointString());
    EXPECT_EQ(copy->outPointString(), "00:00:04;00");
    EXPECT_EQ(copy->frameOffset(), cue->frameOffset());
    EXPECT_FALSE(copy->notes().has_value());
    EXPECT_EQ(copy->playbackBehavior(), 2);

    const auto moved = KLVPlaylistNode::fromArchivedData(cue->archivedData());
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->UUID(), cue->UUID());
    EXPECT_EQ(moved->plnName(), cue->plnName());
    EXPECT_EQ(moved->plnSourcePath(), cue->plnSourcePath());
    EXPECT_EQ(moved->inPointString(), "00:00:01;05");
    EXPECT_EQ(moved->frameOffset(), "00:00;12");
    EXPECT_DOUBLE_EQ(moved->duration(), 2.8);
    EXPECT_EQ(moved->playbackBehavior(), 2);
    EXPECT_FALSE(moved->notes().has_value());
    EXPECT_EQ(moved->thumbnail().size(), QSize(114, 70));
    EXPECT_FALSE(moved->thumbnailIsBlank());

    EXPECT_EQ(KLVPlaylistNode::fromArchivedData("not an archive"), nullptr);
    EXPECT_EQ(KLVPlaylistNode::fromArchivedData(QByteArray()), nullptr);
    const QByteArray archive = cue->archivedData();
    for (qsizetype n = 0; n < archive.size(); n += 5)
        KLVPlaylistNode::fromArchivedData(archive.left(n)); // a cut archive never crashes
}

TEST_F(DocumentTest, PlaylistChannelsCopiesAndDuplicates)
{
    auto playlist = KLVPlaylist::createForNumberOfOutputs(4);
    auto numbers = [&](const std::shared_ptr<KLVPlaylist>& p) {
        QList<std::int64_t> out;
        for (const auto& c : p->playlistChannels())
            out.append(c->channelNumber());
        return out;
    };
    EXPECT_EQ(numbers(playlist), QList<std::int64_t>({0, 1, 2, 3}));
    EXPECT_EQ(playlist->channelForChannelNumber(4), nullptr);
    const auto four = playlist->channelForChannelNumber(4, true);
    EXPECT_EQ(playlist->channelForChannelNumber(4), four);
    playlist->channelForChannelNumber(5, true);
    EXPECT_EQ(numbers(playlist), QList<std::int64_t>({0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(KLVPlaylist::createForNumberOfOutputs(0)->playlistChannels().empty());

    auto cue = KLVPlaylistNode::create();
    four->setPlaylistItems({cue});
    four->setType(1);
    four->setAudioDelay(30);

    const auto shallow = playlist->copy();
    EXPECT_EQ(shallow->playlistChannels()[4], four);
    const auto channelCopy = four->copy();
    EXPECT_NE(channelCopy, four);
    EXPECT_EQ(channelCopy->playlistItems()[0], cue); // the same cue object
    EXPECT_EQ(channelCopy->type(), 1);
    EXPECT_EQ(channelCopy->audioDelay(), 0); // not copied

    const auto deep = playlist->duplicate();
    const auto deepFour = deep->channelForChannelNumber(4);
    EXPECT_NE(deepFour, four);
    ASSERT_EQ(deepFour->playlistItems().size(), 1);
    EXPECT_NE(deepFour->playlistItems()[0], cue);
    EXPECT_NE(deepFour->playlistItems()[0]->UUID(), cue->UUID());
}

TEST_F(DocumentTest, CueListOperations)
{
    auto channel = KLVChannel::create(1);
    auto a = KLVPlaylistNode::create(), b = KLVPlaylistNode::create(), stub = KLVPlaylistNode::create();
    a->setPlnName(QString("a"));
    a->setPlnSourcePath(QString("/m/a.mov"));
    b->setPlnName(QString("a"));
    b->setPlnSourcePath(QString("/m/b.mov"));
    channel->setPlaylistItems({a, stub, b});
    EXPECT_EQ(channel->nodeForPath("/m/b.mov"), b);
    EXPECT_EQ(channel->nodeForPath("/m/none.mov"), nullptr);
    channel->removeStubs();
    EXPECT_EQ(channel->playlistItems(), KLVChannel::NodeList({a, b}));
    channel->removePlaylistNodeWithName("a");
    EXPECT_EQ(channel->playlistItems(), KLVChannel::NodeList({b}));
    channel->removePlaylistNodeWithName("zzz");
    EXPECT_EQ(channel->playlistItems().size(), 1);
}

TEST_F(DocumentTest, UniqueNames)
{
    auto channelWith = [](std::initializer_list<const char*> names) {
        auto channel = KLVChannel::create(1);
        KLVChannel::NodeList cues;
        for (const char* n : names) {
            auto cue = KLVPlaylistNode::create();
            cue->setPlnName(QString(n));
            cues.push_back(cue);
        }
        channel->setPlaylistItems(cues);
        return channel;
    };
    auto names = [](const std::shared_ptr<KLVChannel>& c) {
        QStringList out;
        for (const auto& cue : c->playlistItems())
            out.append(cue->plnName().value_or("(absent)"));
        return out;
    };

    auto plain = channelWith({"clip", "clip", "clip", "x_3", "x_3"});
    EXPECT_TRUE(plain->enforce8CharNames());
    EXPECT_EQ(names(plain), QStringList({"clip", "clip_1", "clip_2", "x_3", "x_4"}));
    EXPECT_FALSE(plain->enforce8CharNames());

    setShortNames(true);
    auto shortNames = channelWith({"LONGNAME1", "LONGNAME2", "ABCDEF99", "ABCDEF99", "ok"});
    shortNames->enforce8CharNames();
    EXPECT_EQ(names(shortNames), QStringList({"LONGNAME", "LONGNAM1", "ABCDEF99", "ABCDE100", "ok"}));

    // No 8-character successor exists: logged, the duplicate stays, nothing loops.
    platform::LogCapture log;
    auto stuck = channelWith({"99999999", "99999999"});
    stuck->enforce8CharNames();
    EXPECT_EQ(names(stuck), QStringList({"99999999", "99999999"}));
    EXPECT_TRUE(log.contains("something went wrong, failed to create unique name from 99999999"));

    // Many equal names still end, each with a name of its own.
    auto many = channelWith({});
    KLVChannel::NodeList cues;
    for (int i = 0; i < 300; ++i) {
        auto cue = KLVPlaylistNode::create();
        cue->setPlnName(QString("SAMENAME"));
        cues.push_back(cue);
    }
    many->setPlaylistItems(cues);
    many->enforce8CharNames();
    const QStringList result = names(many);
    EXPECT_EQ(QSet<QString>(result.begin(), result.end()).size(), 300);
    for (const QString& n : result)
        EXPECT_LE(n.size(), 8);
}

TEST(UniquifyName, Candidates)
{
    EXPECT_EQ(KLVChannel::uniquifyName("clip", false), "clip_1");
    EXPECT_EQ(KLVChannel::uniquifyName("clip_3", false), "clip_4");
    EXPECT_EQ(KLVChannel::uniquifyName("clip_09", false), "clip_10");
    EXPECT_EQ(KLVChannel::uniquifyName("clip_3a", false), "clip_4");
    EXPECT_EQ(KLVChannel::uniquifyName("clip_0", false), "clip_0_1");
    EXPECT_EQ(KLVChannel::uniquifyName("clip_99999999999999999999", false), "clip_99999999999999999999_1");
    EXPECT_EQ(KLVChannel::uniquifyName("AB", true), "AB1");
    EXPECT_EQ(KLVChannel::uniquifyName("ABCDEFGH", true), "ABCDEFG1");
    EXPECT_EQ(KLVChannel::uniquifyName("ABC9", true), "ABC10");
    EXPECT_EQ(KLVChannel::uniquifyName("ABCDEFGHIJ", true), "ABCDEFGH");
    EXPECT_EQ(KLVChannel::uniquifyName("99999999", true), "99999999");
    EXPECT_EQ(KLVChannel::uniquifyName("", true), "1");
}

TEST_F(DocumentTest, ChangingTheDefaultRenamesAndAsksForASave)
{
    auto playlist = KLVPlaylist::createForNumberOfOutputs(2);
    auto a = KLVPlaylistNode::create(), b = KLVPlaylistNode::create();
    a->setPlnName(QString("LONGNAME1"));
    b->setPlnName(QString("LONGNAME2"));
    playlist->channelForChannelNumber(1)->setPlaylistItems({a, b});
    int saves = 0;
    auto subscription = playlist->observers().subscribe([&](QString key, bool) {
        if (key == KLVDocumentKeys::kCueNamesChanged)
            ++saves;
    });
    setShortNames(true);
    EXPECT_EQ(a->plnName(), QString("LONGNAME"));
    EXPECT_EQ(b->plnName(), QString("LONGNAM1"));
    EXPECT_EQ(saves, 1);
}

TEST_F(DocumentTest, OverlayImageSizesTheRectangleUnlessTheFileHoldsOne)
{
    QImage image(64, 48, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const QString file = path("overlay.png");
    ASSERT_TRUE(image.save(file, "PNG"));

    auto channel = KLVChannel::create(1);
    channel->setGraphicOverlayImageDisplayRect(QRectF(5, 6, 1, 1));
    channel->setGraphicOverlayImagePath(file);
    EXPECT_EQ(channel->overlayImage().size(), QSize(64, 48));
    EXPECT_EQ(channel->graphicOverlayImageDisplayRect(), QRectF(5, 6, 64, 48));
    EXPECT_EQ(channel->overlayImageURL(), QUrl::fromLocalFile(file));

    channel->setGraphicOverlayImagePath(path("missing.png"));
    EXPECT_TRUE(channel->overlayImage().isNull());
    EXPECT_EQ(channel->graphicOverlayImageDisplayRect(), QRectF(5, 6, 64, 48));
    channel->setGraphicOverlayImagePath(QString("~/x.png"));
    EXPECT_EQ(channel->overlayImageURL(), QUrl::fromLocalFile(platform::homeFolder() + "/x.png"));
    channel->setGraphicOverlayImagePath(std::nullopt);
    EXPECT_TRUE(channel->overlayImageURL().isEmpty());

    platform::XmlElement element("KLVChannel");
    element.setAttribute("graphicOverlayImagePath", file);
    element.setAttribute("graphicOverlayImageDisplayRect", "{{0, 0}, {320, 240}}");
    auto read = KLVChannel::fromQMXMLNode(element, QMXMLRegistry::shared());
    EXPECT_EQ(read->overlayImage().size(), QSize(64, 48));
    EXPECT_EQ(read->graphicOverlayImageDisplayRect(), QRectF(0, 0, 320, 240));
}

// Setting the path reads nothing: the file is read when the image is first asked for, so a
// document load does no image reads and sees the file as it is when shown.
TEST_F(DocumentTest, OverlayImageIsReadWhenAskedForNotWhenThePathIsSet)
{
    const QString file = path("later.png");
    platform::XmlElement element("KLVChannel");
    element.setAttribute("graphicOverlayImagePath", file);
    auto read = KLVChannel::fromQMXMLNode(element, QMXMLRegistry::shared());

    QImage image(32, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(file, "PNG"));
    EXPECT_EQ(read->graphicOverlayImageDisplayRect(), QRectF(0, 0, 32, 16));
    EXPECT_EQ(read->overlayImage().size(), QSize(32, 16));
    EXPECT_TRUE(read->qmXMLElement().attribute("graphicOverlayImageDisplayRect").contains("32"));
}

// Readers on other threads see whole lists while the main thread edits (run under TSan too).
TEST_F(DocumentTest, ListsAreCopiedUnderTheLock)
{
    auto playlist = KLVPlaylist::createForNumberOfOutputs(4);
    auto channel = playlist->channelForChannelNumber(0);
    std::atomic<bool> stop{false};
    std::atomic<long> seen{0};
    std::thread reader([&] {
        while (!stop.load()) {
            for (const auto& c : playlist->playlistChannels())
                for (const auto& cue : c->playlistItems())
                    seen += cue->plnName().value_or("").size();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        auto cue = KLVPlaylistNode::create();
        cue->setPlnName(QString("cue %1").arg(i));
        channel->modifyPlaylistItems([&](KLVChannel::NodeList& items) { items.push_back(cue); });
        if (i % 3 == 0)
            channel->modifyPlaylistItems([](KLVChannel::NodeList& items) { items.erase(items.begin()); });
        if (i % 100 == 0)
            playlist->channelForChannelNumber(10 + i, true);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(channel->playlistItems().size(), 2000 - 667);
}

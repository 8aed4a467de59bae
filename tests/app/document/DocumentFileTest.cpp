// The document file: exact bytes, files in the original style, bad files.

#include "DocumentFixture.h"
#include "app/document/KLVPlaylist.h"
#include "app/serialization/QMXMLDocument.h"
#include "platform/foundation/Exception.h"
#include "tests/app/support/Thrown.h"
#include "platform/foundation/Log.h"

#include <QFile>
#include <QLocale>

#include <clocale>
#include <cstdlib>

namespace {

std::shared_ptr<KLVPlaylist> readPlaylist(const QByteArray& bytes)
{
    return QMXMLDocument::deserialize(bytes).objectAs<KLVPlaylist>();
}

QByteArray bytesOf(const std::shared_ptr<KLVPlaylist>& playlist)
{
    return QMXMLDocument::serialize(QMXMLValue(playlist));
}

const QByteArray kGolden =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<KLVPlaylist>\n"
    "    <array qmXMLIvarName=\"playlistChannels\">\n"
    "        <KLVChannel channelNumber=\"0\" linkedChannelNumber=\"0\" type=\"0\" timeCodeSetting=\"2\" audioDelay=\"-40\" "
    "graphicOverlayImagePath=\"~/overlays/logo.png\" graphicOverlayImageDisplayRect=\"{{10, 20.5}, {640, 360}}\" "
    "graphicOverlayFadeInTime=\"3\">\n"
    "            <array qmXMLIvarName=\"playlistItems\">\n"
    "                <KLVPlaylistNode UUID=\"0F2C3A44-1B2C-4D5E-8F90-A1B2C3D4E5F6\" plnName=\"Opener &amp; &quot;titles&quot;\" "
    "plnSourcePath=\"/media/show/opener.mov\" inPoint=\"1.200000\" outPoint=\"10.500000\" fps=\"25.000000\" "
    "duration=\"9.300000\" offset=\"-1.500000\" playbackBehavior=\"2\" notes=\"Ä &lt;b&gt;\" sizeString=\"1920x1080\" "
    "formatString=\"ProRes 422\"/>\n"
    "                <KLVPlaylistNode UUID=\"6B1D7E1C-0000-4000-8000-000000000001\" plnName=\"stub\" plnSourcePath=\"\" "
    "inPoint=\"0.000000\" outPoint=\"0.000000\" fps=\"0.000000\" duration=\"-1.000000\" offset=\"0.000000\" "
    "playbackBehavior=\"0\"/>\n"
    "            </array>\n"
    "        </KLVChannel>\n"
    "        <KLVChannel channelNumber=\"1\" linkedChannelNumber=\"0\" type=\"1\" timeCodeSetting=\"0\" audioDelay=\"0\" "
    "smartDirectory=\"/media/drop\" graphicOverlayFadeInTime=\"1\">\n"
    "            <array qmXMLIvarName=\"playlistItems\"/>\n"
    "        </KLVChannel>\n"
    "        <KLVChannel channelNumber=\"4\" linkedChannelNumber=\"1\" type=\"0\" timeCodeSetting=\"0\" audioDelay=\"0\" "
    "graphicOverlayFadeInTime=\"1\">\n"
    "            <array qmXMLIvarName=\"playlistItems\"/>\n"
    "        </KLVChannel>\n"
    "    </array>\n"
    "</KLVPlaylist>\n";

} // namespace

TEST_F(DocumentTest, GoldenDocumentRoundTripsByteForByte)
{
    auto playlist = readPlaylist(kGolden);
    ASSERT_TRUE(playlist);
    EXPECT_EQ(bytesOf(playlist), kGolden);

    // And through a real file, saved atomically.
    platform::Error error;
    ASSERT_TRUE(QMXMLDocument::writeFile(QMXMLValue(playlist), path("Kalvanto.klv3"), &error));
    QFile file(path("Kalvanto.klv3"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kGolden);
    EXPECT_EQ(bytesOf(QMXMLDocument::readFile(path("Kalvanto.klv3")).objectAs<KLVPlaylist>()), kGolden);

    const auto channels = playlist->playlistChannels();
    ASSERT_EQ(channels.size(), 3);
    const auto cues = channels[0]->playlistItems();
    ASSERT_EQ(cues.size(), 2);
    EXPECT_EQ(cues[0]->plnName(), QString("Opener & \"titles\""));
    EXPECT_EQ(cues[0]->inPointString(), "00:00:01;05");
    EXPECT_EQ(cues[0]->outPointString(), "00:00:10;12");
    EXPECT_EQ(cues[0]->frameOffset(), "-00:01;12");
    EXPECT_EQ(cues[0]->notes(), QString::fromUtf8("Ä <b>"));
    EXPECT_TRUE(cues[1]->isStub());
    EXPECT_FALSE(cues[1]->notes().has_value()); // absent stays absent
    EXPECT_EQ(channels[0]->graphicOverlayImageDisplayRect(), QRectF(10, 20.5, 640, 360));
    EXPECT_EQ(channels[0]->audioDelay(), -40);
    EXPECT_TRUE(channels[1]->isSmart());
    EXPECT_EQ(channels[2]->linkedChannelNumber(), 1);
}

TEST_F(DocumentTest, HandWrittenDocumentsInTheOriginalStyleRead)
{
    const QByteArray original =
        "<KLVPlaylist>\r\n"
        "<!-- saved by an older version -->\r\n"
        "  <array qmXMLIvarName='playlistChannels'>\r\n"
        "   <KLVChannel graphicOverlayFadeInTime=\"0\" channelNumber=\"2\" type=\"0\">\r\n"
        "     <array qmXMLIvarName=\"playlistItems\">\r\n"
        "       <KLVPlaylistNode plnName=\"a\" fps=\"29.970000\" inPoint=\"0.5\" outPoint=\"2\" playbackBehavior=\"1\">\r\n"
        "       </KLVPlaylistNode>\r\n"
        "     </array>\r\n"
        "     <somethingNewer qmXMLIvarName=\"futureList\"><Unknown/></somethingNewer>\r\n"
        "   </KLVChannel>\r\n"
        "   <KLVChannel channelNumber=\"3\"/>\r\n"
        "  </array>\r\n"
        "</KLVPlaylist>";
    auto playlist = readPlaylist(original);
    ASSERT_TRUE(playlist);
    const auto channels = playlist->playlistChannels();
    ASSERT_EQ(channels.size(), 2);
    EXPECT_EQ(channels[0]->channelNumber(), 2);
    EXPECT_EQ(channels[0]->graphicOverlayFadeInTime(), 1);
    const auto cues = channels[0]->playlistItems();
    ASSERT_EQ(cues.size(), 1);
    EXPECT_EQ(cues[0]->inPointString(), "00:00:00;14");
    EXPECT_EQ(cues[0]->duration(), 0.0); // absent numbers read as 0 and the stored value wins
    EXPECT_EQ(cues[0]->playbackBehavior(), 1);
    EXPECT_FALSE(cues[0]->plnSourcePath().has_value());
    EXPECT_FALSE(cues[0]->isStub());
    // A channel without a cue list reads with an empty one.
    EXPECT_TRUE(channels[1]->playlistItems().empty());
    EXPECT_EQ(channels[1]->graphicOverlayFadeInTime(), 1);
    EXPECT_EQ(channels[1]->graphicOverlayImageDisplayRect(), QRectF());
}

TEST_F(DocumentTest, CorruptAndTruncatedFilesRaiseAndNeverCrash)
{
    EXPECT_EQ(thrown([&] { readPlaylist(kGolden.left(kGolden.size() / 2)); }).name(), platform::kXmlParseException);
    EXPECT_EQ(thrown([&] { readPlaylist(""); }).name(), platform::kXmlParseException);
    EXPECT_EQ(thrown([&] { readPlaylist(QByteArray("\x00\xff garbage", 10)); }).name(), platform::kXmlParseException);

    const platform::Exception noIvar = thrown([&] {
        readPlaylist("<KLVPlaylist><array><KLVChannel/></array></KLVPlaylist>");
    });
    EXPECT_EQ(noIvar.name(), "Missing ivarName");
    EXPECT_EQ(noIvar.reason(), "Unable to init object from child node with no qmXMLIvarName attribute ");

    const platform::Exception noItemsIvar = thrown([&] {
        readPlaylist("<KLVPlaylist><array qmXMLIvarName=\"playlistChannels\"><KLVChannel><array/></KLVChannel>"
                     "</array></KLVPlaylist>");
    });
    EXPECT_EQ(noItemsIvar.name(), "Missing ivarName");

    const platform::Exception unknownClass = thrown([&] {
        readPlaylist("<KLVPlaylist><array qmXMLIvarName=\"playlistChannels\"><KLVChanel/></array></KLVPlaylist>");
    });
    EXPECT_EQ(unknownClass.name(), "Invald Class Name");

    // Every truncation of a real document either reads or raises.
    for (qsizetype n = 0; n < kGolden.size(); n += 7) {
        try {
            readPlaylist(kGolden.left(n));
        } catch (const platform::Exception&) {
        }
    }
}

TEST_F(DocumentTest, ItemsOfTheWrongClassAreSkippedWithALogLine)
{
    platform::LogCapture log;
    auto playlist = readPlaylist(
        "<KLVPlaylist><array qmXMLIvarName=\"playlistChannels\">"
        "<NSString>not a channel</NSString>"
        "<KLVChannel channelNumber=\"0\"><array qmXMLIvarName=\"playlistItems\">"
        "<KLVPlaylistNode plnName=\"kept\"/><NSNumber hint=\"int\">7</NSNumber><KLVChannel/>"
        "</array></KLVChannel>"
        "</array></KLVPlaylist>");
    ASSERT_TRUE(playlist);
    ASSERT_EQ(playlist->playlistChannels().size(), 1);
    const auto cues = playlist->playlistChannels()[0]->playlistItems();
    ASSERT_EQ(cues.size(), 1);
    EXPECT_EQ(cues[0]->plnName(), QString("kept"));
    EXPECT_TRUE(log.contains("Skipping NSString in playlistChannels: not a KLVChannel"));
    EXPECT_TRUE(log.contains("Skipping NSNumber in playlistItems: not a KLVPlaylistNode"));
    EXPECT_TRUE(log.contains("Skipping KLVChannel in playlistItems: not a KLVPlaylistNode"));
}

TEST_F(DocumentTest, ChannelAttributesFollowTheirRules)
{
    auto channelFrom = [](const QByteArray& attributes) {
        return readPlaylist("<KLVPlaylist><array qmXMLIvarName=\"playlistChannels\"><KLVChannel " + attributes
                            + "/></array></KLVPlaylist>")
            ->playlistChannels()
            .at(0);
    };
    EXPECT_EQ(channelFrom("graphicOverlayFadeInTime=\"3\"")->graphicOverlayFadeInTime(), 3);
    EXPECT_EQ(channelFrom("graphicOverlayFadeInTime=\"0\"")->graphicOverlayFadeInTime(), 1);
    EXPECT_EQ(channelFrom("graphicOverlayFadeInTime=\"-4\"")->graphicOverlayFadeInTime(), 1);
    EXPECT_EQ(channelFrom("channelNumber=\"99999999999\"")->channelNumber(), 2147483647); // 32-bit
    EXPECT_EQ(channelFrom("audioDelay=\"99999999999\"")->audioDelay(), 99999999999);

    // An overlay path that is empty writes neither the path nor the rectangle.
    auto channel = KLVChannel::create(7);
    channel->setGraphicOverlayImagePath(QString(""));
    channel->setGraphicOverlayImageDisplayRect(QRectF(1, 2, 3, 4));
    const platform::XmlElement element = channel->qmXMLElement();
    EXPECT_FALSE(element.hasAttribute("graphicOverlayImagePath"));
    EXPECT_FALSE(element.hasAttribute("graphicOverlayImageDisplayRect"));
    EXPECT_FALSE(element.hasAttribute("smartDirectory"));
    auto back = KLVChannel::fromQMXMLNode(element, QMXMLRegistry::shared());
    EXPECT_EQ(back->graphicOverlayImageDisplayRect(), QRectF());
    EXPECT_EQ(back->channelNumber(), 7);
}

// Files never depend on the user's locale: the same document under a German locale.
TEST_F(DocumentTest, OutputDoesNotDependOnTheLocale)
{
    auto playlist = readPlaylist(kGolden);
    const QByteArray inC = bytesOf(playlist);

    QTemporaryDir locales;
    const QString command = QString("localedef -i de_DE -f UTF-8 %1/de_DE.UTF-8 >/dev/null 2>&1").arg(locales.path());
    const bool generated = std::system(command.toLocal8Bit().constData()) == 0;
    const QByteArray previousLocPath = qgetenv("LOCPATH");
    if (generated)
        qputenv("LOCPATH", locales.path().toLocal8Bit());
    const bool cLocaleSwitched = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const QLocale previousDefault;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    auto again = readPlaylist(inC);
    const QByteArray inGerman = bytesOf(again);
    const QString fps = again->playlistChannels()[0]->playlistItems()[0]->fpsString();

    QLocale::setDefault(previousDefault);
    std::setlocale(LC_ALL, "C");
    qputenv("LOCPATH", previousLocPath);

    EXPECT_EQ(inGerman, inC);
    EXPECT_EQ(fps, "25.00");
    if (!cLocaleSwitched)
        GTEST_SKIP() << "no de_DE locale for the C library here; only the Qt default locale was German";
}

// The media server seen from consoles on loopback: greeting and announcements, server
// information and layer status by version, library, element and thumbnail answers, malformed
// headers, and what deactivation leaves running (nothing).
#include "tests/comm/showcontrol/citp/ConsoleRig.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/timecode/QMTimeCode.h"
#include "platform/foundation/Log.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/WaitUntil.h"

#include <QDateTime>
#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

using namespace citptest;
using testsupport::NetworkIsolation;
using testsupport::pumpEvents;
using testsupport::waitUntil;
using commtest::k;

namespace {

template <class M>
std::shared_ptr<M> atVersion(std::uint8_t minor)
{
    auto message = std::make_shared<M>();
    message->msexHeader()->setMsexVersionMinor(minor);
    return message;
}

QMTimeCode timeCode(std::uint64_t frames, std::uint64_t seconds, double rate)
{
    QMTimeCode tc = QMTimeCode::timecodeWithFrames(frames, seconds, 0, 0);
    tc.setFramerate(rate);
    return tc;
}

void answerLikeAPlayingChannel(FakeApplication& app)
{
    app.setAnswer(QMApplicationCommandListMedia, QVariantMap{{k(QMApplicationCommandListMediaParamMediaFiles), QVariantList(300, QStringLiteral("f"))}});
    app.setAnswer(QMApplicationCommandApplicationInfo,
                  QVariantMap{{QStringLiteral("uuid"), QStringLiteral("12345678-1234-1234-1234-123456789abc")},
                              {QStringLiteral("version"), QStringLiteral("2.5.1")},
                              {QStringLiteral("layers"), QVariantList{QVariantMap{{QStringLiteral("layerDMXString"), QStringLiteral("ArtNet/0/0/1")}}}}});
    app.setAnswer(QMApplicationCommandGetCuedMedia,
                  QVariantMap{{k(QMApplicationCommandGetCuedMediaParamMediaID), QStringLiteral("clip")},
                              {k(QMApplicationCommandGetCuedMediaParamCurrentTime), QVariant::fromValue(timeCode(5, 0, 25))},
                              {k(QMApplicationCommandGetCuedMediaParamDuration), QVariant::fromValue(timeCode(0, 10, 25))}});
    app.setAnswer(QMApplicationGetState, QVariantMap{{k(QMApplicationStatePlay), true}});
}

QVariantMap mediaEntry(int serial, const QString& name, const QImage& thumbnail)
{
    return {{k(QMApplicationCommandQueryMediaSerialNumber), serial},
            {k(QMApplicationCommandQueryMediaFileName), name},
            {k(QMApplicationCommandQueryMediaDateModified), QDateTime::fromSecsSinceEpoch(1700000000 + serial)},
            {k(QMApplicationCommandQueryMediaSize), QSize(thumbnail.width(), thumbnail.height())},
            {k(QMApplicationCommandQueryMediaDuration), QVariant::fromValue(timeCode(0, 4, 25))},
            {k(QMApplicationCommandQueryMediaThumbnail), thumbnail}};
}

QImage solid(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A raw MSEX message: the CITP header, version, content type and the fields given.
QByteArray rawMSEX(const char* code, std::uint8_t minor, const QByteArray& fields = {})
{
    QByteArray m = QByteArray::fromHex("43495450" "0100" "0100") + QByteArray(4, '\0') + QByteArray::fromHex("0100" "0000" "4d534558");
    m.append(char(1)).append(char(minor)).append(code, 4).append(fields);
    m[8] = char(m.size());
    return m;
}

// The receive queue (bytes) and drop count of the UDP sockets bound to a port, from the kernel's
// own table; nullopt when no socket is bound to it.
std::optional<std::pair<long, long>> udpSocketBacklog(quint16 port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    std::optional<std::pair<long, long>> found;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode, refs, pointer;
        long drops = 0;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode >> refs >> pointer >> drops;
        if (local.size() < 5 || std::stoul(local.substr(local.find(':') + 1), nullptr, 16) != port)
            continue;
        const long received = std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        found = std::pair{found ? found->first + received : received, found ? found->second + drops : drops};
    }
    return found;
}

std::uint16_t requestIndex(const QByteArray& message)
{
    return std::uint16_t(std::uint8_t(message[6]) | std::uint8_t(message[7]) << 8);
}

} // namespace

TEST(CITPMediaServer, AConsoleIsGreetedAndHearsAnnouncementsButNoStatusUntilItSpeaksMSEX)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        const quint16 plocPort = testsupport::freeUdpPort();
        MulticastListener listener(plocPort);
        MediaServer server(plocPort);
        server.start();
        Console console(server.port());

        ASSERT_TRUE(waitUntil([&] { return !console.withCode(kPNamCookie).empty(); }));
        const auto pnam = console.withCode(kPNamCookie).front();
        EXPECT_EQ(pnam.mid(24), QMXMLAdditions::utf8EncodedCITPData(QMProtocolParserCITP::CITPDeviceName()));
        EXPECT_NE(requestIndex(pnam), 0);

        ASSERT_TRUE(waitUntil([&] { return listener.received().size() >= 2; }));
        const QByteArray name = QMProtocolParserCITP::CITPDeviceName().toUtf8();
        for (const QByteArray& ploc : listener.received()) {
            EXPECT_EQ(messageCode(ploc), kPLocCookie);
            EXPECT_EQ(ploc.size(), 47 + name.size());
            CITPCursor cursor{24};
            EXPECT_EQ(CITPReadUInt16(ploc, &cursor), server.port());
            EXPECT_EQ(ploc.mid(26), QByteArray("MediaServer\0", 12) + name + QByteArray("\0Running\0", 9));
        }
        EXPECT_TRUE(server.parser->isBroadcasting());

        pumpEvents(600);
        EXPECT_EQ(console.messages().size(), 1u);
        EXPECT_EQ(server.application.calls(QMApplicationCommandGetCuedMedia), 0);
        EXPECT_EQ(server.parser->statusTimerCount(), 0u);
    });
}

TEST(CITPMediaServer, VersionsDecideServerInformationAndLayerStatus)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        MediaServer server(testsupport::freeUdpPort());
        answerLikeAPlayingChannel(server.application);
        server.start();
        auto oldConsole = std::make_unique<Console>(server.port());
        Console& old = *oldConsole;
        Console recent(server.port());

        auto geli = atVersion<QMMSEXGELIMessage>(1);
        old.send(*geli);
        auto cinf = atVersion<QMMSEXCInfMessage>(2);
        recent.send(*cinf);
        // Both consoles get layer status again and again (every kLayerStatusIntervalMs).
        ASSERT_TRUE(waitUntil([&] { return old.withCode(CITPFourCC("LSta")).size() >= 4 && recent.withCode(CITPFourCC("LSta")).size() >= 4; }));

        // A 1.1 console gets the server information at 1.0 and its library; a 1.2 console gets
        // it at 1.2, in answer to its CInf.
        ASSERT_EQ(old.withCode(CITPFourCC("SInf")).size(), 1u);
        ASSERT_TRUE(waitUntil([&] { return recent.withCode(CITPFourCC("SInf")).size() == 1u; }));
        EXPECT_TRUE(decoded<QMMSEXSInfMessage>(recent.withCode(CITPFourCC("SInf")).front())->msexHeader()->is12());
        const auto sinf = decoded<QMMSEXSInfMessage>(old.withCode(CITPFourCC("SInf")).front());
        ASSERT_NE(sinf, nullptr);
        EXPECT_TRUE(sinf->msexHeader()->is10());
        EXPECT_EQ(sinf->productName(), QMProtocolParserCITP::CITPDeviceName());
        EXPECT_EQ(sinf->productVersionMajor(), 2);
        EXPECT_EQ(sinf->productVersionMinor(), 5);
        EXPECT_EQ(sinf->dmxSources(), QList<QString>{QStringLiteral("ArtNet/0/0/1")});

        const auto elin = decoded<QMMSEXELInMessage>(old.withCode(CITPFourCC("ELIn")).at(0));
        ASSERT_NE(elin, nullptr);
        ASSERT_EQ(elin->libraries().size(), 1);
        EXPECT_EQ(elin->libraries()[0].name(), QStringLiteral("Library"));
        EXPECT_EQ(elin->libraries()[0].elementCount(), 255); // 300 files: saturated, not wrapped to 44

        const auto oldStatus = decoded<QMMSEXLStaMessage>(old.withCode(CITPFourCC("LSta")).back());
        const auto newStatus = decoded<QMMSEXLStaMessage>(recent.withCode(CITPFourCC("LSta")).back());
        ASSERT_NE(oldStatus, nullptr);
        ASSERT_NE(newStatus, nullptr);
        EXPECT_TRUE(oldStatus->msexHeader()->is11());
        EXPECT_TRUE(newStatus->msexHeader()->is12());
        const QMMSEXLayerStatus& layer = newStatus->layerStatuses().at(0);
        EXPECT_EQ(layer.mediaName(), QStringLiteral("clip"));
        EXPECT_EQ(layer.mediaPosition(), 5u);
        EXPECT_EQ(layer.mediaLength(), 250u);
        EXPECT_EQ(layer.mediaFPS(), 25);
        EXPECT_EQ(layer.layerStatusFlags(), 1u);
        EXPECT_EQ(server.parser->connectionVersions(recent.identifier()).value(QStringLiteral("MSEXVersionMinor")).toInt(), 2);

        // A GELI naming a library is refused.
        auto named = atVersion<QMMSEXGELIMessage>(1);
        named->addLibraryNumber(0);
        old.send(*named);
        ASSERT_TRUE(waitUntil([&] { return !old.withCode(CITPFourCC("Nack")).empty(); }));
        EXPECT_EQ(decoded<QMMSEXNackMessage>(old.withCode(CITPFourCC("Nack")).front())->receivedContentType(), CITPFourCC("GELI"));

        // Request indexes go up on every connection and are never 0.
        const auto sent = old.messages();
        for (std::size_t i = 1; i < sent.size(); ++i)
            EXPECT_GT(requestIndex(sent[i]), requestIndex(sent[i - 1]));
        EXPECT_TRUE(server.application.allCallsOnMainWithParser());

        // Closing one console stops only its stream.
        EXPECT_EQ(server.parser->statusTimerCount(), 2u);
        oldConsole.reset();
        ASSERT_TRUE(waitUntil([&] { return server.parser->statusTimerCount() == 1u; }));
        const std::size_t heard = recent.withCode(CITPFourCC("LSta")).size();
        EXPECT_TRUE(waitUntil([&] { return recent.withCode(CITPFourCC("LSta")).size() > heard; }));
    });
}

TEST(CITPMediaServer, ElementsAndThumbnailsFollowTheRequestAndItsVersion)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        MediaServer server(testsupport::freeUdpPort());
        server.application.setAnswer(QMApplicationCommandQueryMedia, QVariantMap{{k(QMApplicationCommandQueryMediaArray), QVariantList{
            mediaEntry(10, QStringLiteral("hd.mov"), solid(1920, 1080, Qt::red)),
            mediaEntry(11, QStringLiteral("one.mov"), solid(64, 64, QColor(10, 20, 200))),
            mediaEntry(12, QStringLiteral("two.mov"), solid(64, 64, Qt::green))}}});
        server.start();
        Console console(server.port());

        auto all = atVersion<QMMSEXGEThMessage>(1);
        all->setThumbnailFormat(kMSEXFormatJPEG);
        all->setThumbnailWidth(128);
        all->setThumbnailHeight(128);
        all->setThumbnailFlags(1);
        console.send(*all);
        ASSERT_TRUE(waitUntil([&] { return console.withCode(CITPFourCC("EThn")).size() == 3; }));
        for (int part = 0; part < 3; ++part) {
            const auto ethn = decoded<QMMSEXEThnMessage>(console.withCode(CITPFourCC("EThn"))[part]);
            ASSERT_NE(ethn, nullptr);
            EXPECT_EQ(ethn->header()->messagePartCount(), 3);
            EXPECT_EQ(ethn->header()->messagePart(), part);
            EXPECT_EQ(ethn->elementNumber(), part);
        }
        const auto hd = decoded<QMMSEXEThnMessage>(console.withCode(CITPFourCC("EThn"))[0]);
        EXPECT_EQ(QSize(hd->thumbnailWidth(), hd->thumbnailHeight()), QSize(128, 72));
        EXPECT_EQ(QImage::fromData(hd->thumbnailData(), "JPEG").size(), QSize(128, 72));

        // Raw pixels: blue-green-red at 1.0, red-green-blue later; only listed entries that exist.
        for (std::uint8_t minor : {0, 2}) {
            auto some = atVersion<QMMSEXGEThMessage>(minor);
            some->setThumbnailFormat(kMSEXFormatRGB8);
            some->setThumbnailWidth(4);
            some->setThumbnailHeight(4);
            some->addElementNumber(5);
            some->addElementNumber(1);
            const std::size_t before = console.withCode(CITPFourCC("EThn")).size();
            console.send(*some);
            ASSERT_TRUE(waitUntil([&] { return console.withCode(CITPFourCC("EThn")).size() == before + 1; }));
            const auto ethn = decoded<QMMSEXEThnMessage>(console.withCode(CITPFourCC("EThn")).back());
            ASSERT_NE(ethn, nullptr);
            EXPECT_EQ(ethn->elementNumber(), 1);
            EXPECT_EQ(ethn->header()->messagePartCount(), 1);
            EXPECT_EQ(ethn->header()->messagePart(), 0);
            EXPECT_EQ(ethn->thumbnailData().size(), 4 * 4 * 3);
            EXPECT_EQ(ethn->thumbnailData().left(3), QByteArray::fromHex(minor == 0 ? "c8140a" : "0a14c8"));
        }

        auto gein = atVersion<QMMSEXGEInMessage>(2);
        gein->setLibraryId(MSEXLibraryId{1, 0, 0, 0});
        gein->addElementNumber(2);
        console.send(*gein);
        ASSERT_TRUE(waitUntil([&] { return !console.withCode(CITPFourCC("MEIn")).empty(); }));
        const auto mein = decoded<QMMSEXMEInMessage>(console.withCode(CITPFourCC("MEIn")).front());
        ASSERT_NE(mein, nullptr);
        EXPECT_TRUE(mein->msexHeader()->is12());
        EXPECT_EQ(mein->libraryId(), (MSEXLibraryId{1, 0, 0, 0}));
        ASSERT_EQ(mein->elementMediaInfo().size(), 3);
        const QMMSEXElementMediaInfo& first = mein->elementMediaInfo()[0];
        EXPECT_EQ(first.mediaName(), QStringLiteral("hd.mov"));
        EXPECT_EQ(first.serialNumber(), 10u);
        EXPECT_EQ(first.mediaVersionTimestamp(), 1700000010u);
        EXPECT_EQ(first.mediaWidth(), 1920);
        EXPECT_EQ(first.mediaHeight(), 1080);
        EXPECT_EQ(first.mediaLength(), 100u);
        EXPECT_EQ(first.mediaFPS(), 25);
        EXPECT_EQ(mein->elementMediaInfo()[2].mediaNumber(), 2);
        EXPECT_TRUE(server.application.allCallsOnMainWithParser());
    });
}

TEST(CITPMediaServer, MalformedHeadersCloseOnlyTheirConnection)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        MediaServer server(testsupport::freeUdpPort());
        answerLikeAPlayingChannel(server.application);
        server.start();
        platform::LogCapture log;
        QMMSEXCInfMessage cinf;
        cinf.prepareHeader();
        QByteArray huge = cinf.data().left(20);
        huge.replace(8, 4, QByteArray::fromHex("ffffff7f"));
        QByteArray empty = huge;
        empty.replace(8, 4, QByteArray::fromHex("14000000"));
        QByteArray notCITP = cinf.data();
        notCITP[0] = 'X';
        for (const QByteArray& bad : {huge, empty, notCITP}) {
            Console console(server.port());
            console.sendRaw(bad);
            EXPECT_TRUE(waitUntil([&] { return console.closedByServer(); }));
        }
        EXPECT_TRUE(log.contains("failed to parse CITP header from data"));

        Console good(server.port());
        auto geli = atVersion<QMMSEXGELIMessage>(1);
        good.send(*geli);
        EXPECT_TRUE(waitUntil([&] { return !good.withCode(CITPFourCC("ELIn")).empty(); }));
        // A message the server does not answer is logged and the next one is read as usual.
        QMPINFPNamMessage pnam;
        good.send(pnam);
        good.send(*geli);
        EXPECT_TRUE(waitUntil([&] { return good.withCode(CITPFourCC("ELIn")).size() == 2; }));
        EXPECT_TRUE(log.contains("need to handle PINF/"));
    });
}

TEST(CITPMediaServer, DeactivationLeavesNoTimerRunning)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        const quint16 plocPort = testsupport::freeUdpPort();
        MulticastListener listener(plocPort);
        MediaServer server(plocPort);
        answerLikeAPlayingChannel(server.application);
        server.start();
        Console console(server.port());
        auto geli = atVersion<QMMSEXGELIMessage>(1);
        console.send(*geli);
        ASSERT_TRUE(waitUntil([&] { return console.withCode(CITPFourCC("LSta")).size() >= 2 && !listener.received().empty(); }));
        EXPECT_EQ(server.parser->statusTimerCount(), 1u);

        server.tcp->deactivate();
        EXPECT_EQ(server.parser->statusTimerCount(), 0u);
        EXPECT_FALSE(server.parser->isBroadcasting());
        EXPECT_TRUE(server.parser->connectionVersions(console.identifier()).isEmpty());
        pumpEvents(100); // work queued before the stop has run
        const int polls = server.application.calls(QMApplicationCommandGetCuedMedia);
        const std::size_t announcements = listener.received().size();
        pumpEvents(1300);
        EXPECT_EQ(server.application.calls(QMApplicationCommandGetCuedMedia), polls);
        EXPECT_EQ(listener.received().size(), announcements);

        // Started again, it announces again.
        server.start();
        EXPECT_TRUE(waitUntil([&] { return listener.received().size() > announcements; }));
    });
}

TEST(CITPMediaServer, ReleasedOffTheMainThreadItsTimersEndOnMain)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        MediaServer server(testsupport::freeUdpPort());
        answerLikeAPlayingChannel(server.application);
        server.start();
        Console console(server.port());
        auto geli = atVersion<QMMSEXGELIMessage>(1);
        console.send(*geli);
        ASSERT_TRUE(waitUntil([&] { return console.withCode(CITPFourCC("LSta")).size() >= 2; }));

        server.tcp->setParser(nullptr);
        std::atomic<bool> released{false};
        std::thread releaser([parser = std::move(server.parser), &released]() mutable {
            parser.reset();
            released = true;
        });
        EXPECT_TRUE(waitUntil([&] { return released.load(); }));
        releaser.join();
        const int polls = server.application.calls(QMApplicationCommandGetCuedMedia);
        pumpEvents(600);
        EXPECT_EQ(server.application.calls(QMApplicationCommandGetCuedMedia), polls);
    });
}

TEST(CITPMediaServer, CInfNegotiatesTheVersionOfSInfAndOfEveryAnswer)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        MediaServer server(testsupport::freeUdpPort());
        answerLikeAPlayingChannel(server.application);
        server.application.setAnswer(QMApplicationCommandQueryMedia, QVariantMap{{k(QMApplicationCommandQueryMediaArray), QVariantList{
            mediaEntry(10, QStringLiteral("one.mov"), solid(64, 64, QColor(10, 20, 200)))}}});
        server.start();
        Console recent(server.port());
        Console limited(server.port());

        // A 1.2 console offering 1.0 to 1.2: SInf at 1.2, the library list at 1.2.
        recent.send(*atVersion<QMMSEXCInfMessage>(2));
        ASSERT_TRUE(waitUntil([&] { return recent.withCode(CITPFourCC("SInf")).size() == 1; }));
        const auto sinf = decoded<QMMSEXSInfMessage>(recent.withCode(CITPFourCC("SInf")).front());
        ASSERT_NE(sinf, nullptr);
        EXPECT_TRUE(sinf->msexHeader()->is12());
        EXPECT_EQ(sinf->uuid(), QStringLiteral("12345678-1234-1234-1234-123456789abc"));
        EXPECT_EQ(sinf->productVersionBugfix(), 1);
        recent.send(*atVersion<QMMSEXGELIMessage>(2));
        ASSERT_TRUE(waitUntil([&] { return !recent.withCode(CITPFourCC("ELIn")).empty(); }));
        const auto elin = decoded<QMMSEXELInMessage>(recent.withCode(CITPFourCC("ELIn")).front());
        ASSERT_NE(elin, nullptr);
        EXPECT_TRUE(elin->msexHeader()->is12());
        EXPECT_EQ(elin->libraries().at(0).elementCount(), 300);

        // A console whose CInf (sent at 1.2) offers only 1.0 and 1.1, written byte by byte:
        // everything it gets is at 1.1, whatever its requests say.
        auto offer = atVersion<QMMSEXCInfMessage>(2);
        offer->prepareHeader();
        QByteArray cinf = offer->data();
        ASSERT_EQ(cinf.size(), 20 + 6 + 1 + 6);
        cinf.chop(2);
        cinf[26] = 2;
        cinf[8] = char(cinf.size());
        EXPECT_EQ(cinf.mid(26), QByteArray::fromHex("02" "0001" "0101"));
        limited.sendRaw(cinf);
        ASSERT_TRUE(waitUntil([&] { return limited.withCode(CITPFourCC("SInf")).size() == 1; }));
        EXPECT_TRUE(decoded<QMMSEXSInfMessage>(limited.withCode(CITPFourCC("SInf")).front())->msexHeader()->is10());
        limited.send(*atVersion<QMMSEXGELIMessage>(2));
        limited.send(*atVersion<QMMSEXGEInMessage>(2));
        auto geth = atVersion<QMMSEXGEThMessage>(2);
        geth->setThumbnailFormat(kMSEXFormatRGB8);
        geth->setThumbnailWidth(4);
        geth->setThumbnailHeight(4);
        limited.send(*geth);
        ASSERT_TRUE(waitUntil([&] {
            return !limited.withCode(CITPFourCC("ELIn")).empty() && !limited.withCode(CITPFourCC("MEIn")).empty()
                && !limited.withCode(CITPFourCC("EThn")).empty() && !limited.withCode(CITPFourCC("LSta")).empty();
        }));
        const auto elin11 = decoded<QMMSEXELInMessage>(limited.withCode(CITPFourCC("ELIn")).front());
        ASSERT_NE(elin11, nullptr);
        EXPECT_TRUE(elin11->msexHeader()->is11());
        EXPECT_EQ(elin11->libraries().at(0).elementCount(), 255);
        EXPECT_TRUE(decoded<QMMSEXMEInMessage>(limited.withCode(CITPFourCC("MEIn")).front())->msexHeader()->is11());
        const auto ethn = decoded<QMMSEXEThnMessage>(limited.withCode(CITPFourCC("EThn")).front());
        ASSERT_NE(ethn, nullptr);
        EXPECT_TRUE(ethn->msexHeader()->is11());
        EXPECT_EQ(ethn->thumbnailData().left(3), QByteArray::fromHex("0a14c8")); // red-green-blue after 1.0
        EXPECT_TRUE(decoded<QMMSEXLStaMessage>(limited.withCode(CITPFourCC("LSta")).back())->msexHeader()->is11());
    });
}

TEST(CITPMediaServer, ProgressLibraryTypesAndRefusalsAsConsolesReadThem)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        MediaServer server(testsupport::freeUdpPort());
        answerLikeAPlayingChannel(server.application);
        // A 29.97 clip of 60 frames at its 60th frame, as the application's time codes say so:
        // 1 s and 29 frames in, 2 s long, both at the clip's rate.
        server.application.setAnswer(QMApplicationCommandGetCuedMedia,
                                     QVariantMap{{k(QMApplicationCommandGetCuedMediaParamMediaID), QStringLiteral("clip")},
                                                 {k(QMApplicationCommandGetCuedMediaParamCurrentTime), QVariant::fromValue(timeCode(29, 1, 29.97))},
                                                 {k(QMApplicationCommandGetCuedMediaParamDuration), QVariant::fromValue(timeCode(0, 2, 29.97))}});
        server.application.setAnswer(QMApplicationCommandQueryMedia, QVariantMap{{k(QMApplicationCommandQueryMediaArray), QVariantList{}}});
        server.start();
        Console console(server.port());
        console.send(*atVersion<QMMSEXCInfMessage>(2));

        // SInf at 1.2: a media library (bit 0), three thumbnail formats, no stream format.
        ASSERT_TRUE(waitUntil([&] { return console.withCode(CITPFourCC("SInf")).size() == 1; }));
        const QByteArray sinf = console.withCode(CITPFourCC("SInf")).front();
        EXPECT_EQ(sinf.right(2 + 1 + 12 + 1 + 1 + 13),
                  QByteArray::fromHex("0100" "03" "52474238" "4a504547" "504e4720" "00" "01") + QByteArray("ArtNet/0/0/1", 13));

        // Layer status: position and length in frames from the clip's start, its rate rounded.
        ASSERT_TRUE(waitUntil([&] { return !console.withCode(CITPFourCC("LSta")).empty(); }));
        const QByteArray lsta = console.withCode(CITPFourCC("LSta")).back();
        EXPECT_EQ(lsta.mid(20, 2), QByteArray::fromHex("0102"));
        EXPECT_EQ(lsta.right(13), QByteArray::fromHex("3b000000" "3c000000" "1e" "01000000"));

        // What is not served is refused with a Nack at the negotiated version: a library by number,
        // thumbnails where there are none, a request this server does not know. A console's own
        // Nack is not answered.
        auto named = atVersion<QMMSEXGELIMessage>(2);
        named->addLibraryNumber(0);
        console.send(*named);
        auto geth = atVersion<QMMSEXGEThMessage>(0);
        geth->setThumbnailFormat(kMSEXFormatJPEG);
        geth->setThumbnailWidth(64);
        geth->setThumbnailHeight(64);
        console.send(*geth);
        console.sendRaw(rawMSEX("Nack", 2, QByteArray("GELI")));
        console.sendRaw(rawMSEX("GVSr", 2));
        ASSERT_TRUE(waitUntil([&] { return console.withCode(CITPFourCC("Nack")).size() >= 3; }));
        pumpEvents(100);
        const auto nacks = console.withCode(CITPFourCC("Nack"));
        ASSERT_EQ(nacks.size(), 3u);
        const char* refused[] = {"GELI", "GETh", "GVSr"};
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(nacks[i].size(), 30);
            EXPECT_EQ(nacks[i].mid(8, 4), QByteArray::fromHex("1e000000"));
            EXPECT_EQ(nacks[i].mid(20), QByteArray::fromHex("0102") + QByteArray("Nack") + QByteArray(refused[i], 4)) << refused[i];
        }
        EXPECT_TRUE(console.withCode(CITPFourCC("EThn")).empty());
    });
}

TEST(CITPMediaServer, TheAnnouncementGroupIsReadSoNothingPilesUp)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        // No other socket on the port: the server's own announcements come back to it alone.
        const quint16 plocPort = testsupport::freeUdpPort();
        MediaServer server(plocPort);
        server.start();
        ASSERT_TRUE(waitUntil([&] { return udpSocketBacklog(plocPort).has_value(); }));
        // Three announcements later, each has been read off the socket and none was dropped.
        pumpEvents(3 * QMProtocolParserCITP::kPLocIntervalMs + 200);
        EXPECT_TRUE(waitUntil([&] { return udpSocketBacklog(plocPort)->first == 0; })) << udpSocketBacklog(plocPort)->first;
        EXPECT_EQ(udpSocketBacklog(plocPort)->second, 0);
    });
}

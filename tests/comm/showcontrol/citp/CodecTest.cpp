// CITP, PINF and MSEX bytes checked from the outside: golden layouts, every message at every
// version written, read back and written again identically, bounds, and a seeded corruption
// loop over the decoders (longer with KLV_FUZZ_SECONDS).
#include "comm/showcontrol/citp/QMMSEXMessages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

struct Version {
    std::uint8_t major;
    std::uint8_t minor;
};
const Version kVersions[] = {{1, 0}, {1, 1}, {1, 2}};

MSEXLibraryId libraryId(std::uint8_t base)
{
    return MSEXLibraryId{2, base, std::uint8_t(base + 1), 0};
}

// One instance of every MSEX message with every field set, at the given version.
std::vector<std::shared_ptr<QMMSEXMessage>> sampleMessages(Version v)
{
    std::vector<std::shared_ptr<QMMSEXMessage>> all;
    all.push_back(QMMSEXNackMessage::nackMessageForContentType(CITPFourCC("GELI")));
    all.push_back(std::make_shared<QMMSEXCInfMessage>());

    auto sinf = QMMSEXSInfMessage::sinfMessageForProductName(QStringLiteral("Kälvanto ✓"), QStringLiteral("0123456789abcdef0123456789abcdef0123"), QStringLiteral("3.14.15"));
    sinf->setSupportedLibraryTypes(0x0102);
    sinf->addDMXSource(QStringLiteral("ArtNet/0/0/1"));
    sinf->addDMXSource(QStringLiteral("ArtNet/0/0/9"));
    all.push_back(sinf);

    auto lsta = std::make_shared<QMMSEXLStaMessage>();
    for (std::uint8_t i = 0; i < 2; ++i) {
        QMMSEXLayerStatus s;
        s.setLayerNumber(i);
        s.setPhysicalOutput(3);
        s.setMediaLibraryNumber(v.minor < 2 ? 4 : 0);
        s.setMediaLibraryType(v.minor >= 2 ? 1 : 0);
        s.setMediaLibraryId(v.minor >= 2 ? libraryId(5) : MSEXLibraryId{});
        s.setMediaNumber(6);
        s.setMediaName(i ? QStringLiteral("second clip") : QStringLiteral("först"));
        s.setMediaPosition(0x01020304);
        s.setMediaLength(0x0a0b0c0d);
        s.setMediaFPS(25);
        s.setLayerStatusFlags(i);
        lsta->addLayerStatus(s);
    }
    all.push_back(lsta);

    auto geli = std::make_shared<QMMSEXGELIMessage>();
    geli->setLibraryType(1);
    if (v.minor > 0)
        geli->setLibraryParentId(libraryId(7));
    geli->addLibraryNumber(0);
    geli->addLibraryNumber(9);
    all.push_back(geli);

    auto elin = std::make_shared<QMMSEXELInMessage>();
    elin->setLibraryType(1);
    QMMSEXElementLibraryInfo library;
    if (v.minor == 0)
        library.setNumber(3);
    else
        library.setLibraryId(libraryId(8));
    library.setSerialNumber(v.minor >= 2 ? 77 : 0);
    library.setDmxRangeMin(1);
    library.setDmxRangeMax(2);
    library.setName(QStringLiteral("Library"));
    library.setLibraryCount(v.minor > 0 ? 4 : 0);
    library.setElementCount(12);
    elin->addLibrary(library);
    all.push_back(elin);

    auto gein = std::make_shared<QMMSEXGEInMessage>();
    gein->setLibraryType(1);
    if (v.minor == 0)
        gein->setLibraryNumber(2);
    else
        gein->setLibraryId(libraryId(1));
    gein->addElementNumber(4);
    all.push_back(gein);

    auto mein = std::make_shared<QMMSEXMEInMessage>();
    if (v.minor == 0)
        mein->setLibraryNumber(2);
    else
        mein->setLibraryId(libraryId(1));
    QMMSEXElementMediaInfo media;
    media.setMediaNumber(4);
    media.setSerialNumber(v.minor >= 2 ? 0xdeadbeef : 0);
    media.setDmxRangeMin(4);
    media.setDmxRangeMax(4);
    media.setMediaName(QStringLiteral("clip.mov"));
    media.setMediaVersionTimestamp(1700000000);
    media.setMediaWidth(1920);
    media.setMediaHeight(1080);
    media.setMediaLength(1500);
    media.setMediaFPS(25);
    mein->addElementMediaInfo(media);
    all.push_back(mein);

    auto geth = std::make_shared<QMMSEXGEThMessage>();
    geth->setThumbnailFormat(kMSEXFormatJPEG);
    geth->setThumbnailWidth(128);
    geth->setThumbnailHeight(96);
    geth->setThumbnailFlags(1);
    geth->setLibraryType(1);
    if (v.minor == 0)
        geth->setLibraryNumber(2);
    else
        geth->setLibraryId(libraryId(1));
    geth->addElementNumber(5);
    geth->addElementNumber(1);
    all.push_back(geth);

    auto ethn = std::make_shared<QMMSEXEThnMessage>();
    ethn->setLibraryType(1);
    if (v.minor == 0)
        ethn->setLibraryNumber(2);
    else
        ethn->setLibraryId(libraryId(1));
    ethn->setElementNumber(1);
    ethn->setThumbnailFormat(kMSEXFormatPNG);
    ethn->setThumbnailWidth(2);
    ethn->setThumbnailHeight(1);
    ethn->setThumbnailData(hex("89504e470d0a1a0a"));
    all.push_back(ethn);

    for (auto& m : all) {
        m->msexHeader()->setMsexVersionMajor(v.major);
        m->msexHeader()->setMsexVersionMinor(v.minor);
        m->header()->setRequestIndex(42);
        m->prepareHeader();
    }
    return all;
}

QByteArray encoded(QMCITPMessage& message)
{
    message.prepareHeader();
    return message.data();
}

template <class M>
std::shared_ptr<M> decodedAs(const QByteArray& data)
{
    return std::dynamic_pointer_cast<M>(QMCITPMessage::messageWithData(data));
}

} // namespace

TEST(CITPFraming, HeadersStringsAndCursorReadersMatchTheirLayouts)
{
    EXPECT_EQ(QMCITPHeader().data(), hex("4349545001000000000000000100000000000000"));

    EXPECT_EQ(QMXMLAdditions::utf16EncodedCITPData(QStringLiteral("abc")), hex("6100620063000000"));
    EXPECT_EQ(QMXMLAdditions::utf16EncodedCITPData(QString(QChar(0x263a))), hex("3a260000")); // little-endian, no BOM
    EXPECT_EQ(QMXMLAdditions::utf8EncodedCITPData(QString()), hex("00"));

    const QByteArray ucs2 = hex("61006200000041");
    CITPCursor cursor;
    EXPECT_EQ(CITPReadUCS2String(ucs2, &cursor), QStringLiteral("ab"));
    EXPECT_EQ(cursor.location, 6);
    // No terminator: nothing, and the cursor stays.
    CITPCursor open{6};
    EXPECT_FALSE(CITPReadUCS2String(ucs2, &open).has_value());
    EXPECT_FALSE(CITPReadUTF8String(hex("4142"), &(cursor = CITPCursor{})).has_value());
    EXPECT_EQ(cursor.location, 0);

    CITPCursor fixed{1, 4};
    EXPECT_EQ(CITPReadFixedString(hex("5841420043"), &fixed), QStringLiteral("AB"));
    EXPECT_EQ(fixed.location, 5);
    CITPCursor ints;
    const QByteArray numbers = hex("0102030405060708090a0b0c0d0e0f");
    EXPECT_EQ(CITPReadUInt16(numbers, &ints), 0x0201);
    EXPECT_EQ(CITPReadUInt32(numbers, &ints), 0x06050403u);
    EXPECT_EQ(CITPReadUInt64(numbers, &ints), 0x0e0d0c0b0a090807ull);
    EXPECT_EQ(CITPReadUInt16(numbers, &ints), 0); // one byte left: refused
    EXPECT_TRUE(ints.overrun);

    QMCITPSetRequestCounter(65534);
    EXPECT_EQ(QMCITPNextRequestIndex(), 65535);
    EXPECT_EQ(QMCITPNextRequestIndex(), 1);
}

TEST(CITPFraming, PLocAndPNamAreWrittenByteForByte)
{
    QMPINFPLocMessage ploc;
    ploc.setListeningTCPPort(50000);
    ploc.setType(QStringLiteral("MediaServer"));
    ploc.setName(QStringLiteral("abc"));
    ploc.setState(QStringLiteral("Running"));
    ploc.header()->setRequestIndex(7);
    ploc.prepareHeader();
    EXPECT_EQ(ploc.header()->messageSize(), 50u);
    EXPECT_EQ(ploc.data(), hex("43495450010007003200000001000000" "50494e46" "504c6f63" "50c3")
                               + QByteArray("MediaServer\0abc\0Running\0", 24));

    auto pnam = QMPINFPNamMessage::pnameMessageWithName(QStringLiteral("Kalvanto"));
    EXPECT_EQ(encoded(*pnam), hex("43495450010000002100000001000000" "50494e46" "504e616d") + QByteArray("Kalvanto\0", 9));
    // A console's PNam is not read: the PINF layer has no reader.
    EXPECT_EQ(QMCITPMessage::messageWithData(pnam->data()), nullptr);
}

TEST(CITPFraming, RegistryAndTwoLevelDecodingRefuseWhatTheyDoNotKnow)
{
    const auto before = QMCITPMessage::subclasses();
    EXPECT_EQ(before.size(), 15u);
    QMCITPMessage::registerSubclass(QMMSEXGEThMessage::messageClass());
    EXPECT_EQ(QMCITPMessage::subclasses(), before);
    EXPECT_EQ(QMCITPMessage::classForCookie(CITPFourCC("XXXX")), nullptr);
    EXPECT_EQ(QMCITPMessage::classForCookie(CITPFourCC("GETh")), &QMMSEXGEThMessage::messageClass());

    QByteArray cinf = encoded(*std::make_shared<QMMSEXCInfMessage>());
    ASSERT_NE(decodedAs<QMMSEXCInfMessage>(cinf), nullptr);
    for (const char* code : {"MSEX", "CITP", "PINF", "Zzzz"}) {
        QByteArray wrong = cinf;
        wrong.replace(22, 4, code);
        EXPECT_EQ(QMCITPMessage::messageWithData(wrong), nullptr) << code;
    }
    QByteArray notCITP = cinf;
    notCITP[0] = 'X';
    EXPECT_EQ(QMCITPMessage::messageWithData(notCITP), nullptr);
    EXPECT_EQ(QMCITPHeader::headerWithData(notCITP), nullptr);
    QByteArray leafAsLayer = cinf;
    leafAsLayer.replace(16, 4, "CInf");
    EXPECT_EQ(QMCITPMessage::messageWithData(leafAsLayer), nullptr);
}

TEST(MSEXMessages, CInfAndSInfGoldens)
{
    EXPECT_EQ(encoded(*std::make_shared<QMMSEXCInfMessage>()),
              hex("43495450010000002100000001000000" "4d534558" "0100" "43496e66" "03000101010201"));

    auto sinf = QMMSEXSInfMessage::sinfMessageForProductName(QStringLiteral("K"), QStringLiteral("u"), QStringLiteral("2.7"));
    sinf->addDMXSource(QStringLiteral("d"));
    EXPECT_EQ(encoded(*sinf), hex("43495450010000002300000001000000" "4d534558" "0100" "53496e66" "4b000000" "0207" "01" "6400"));

    sinf->msexHeader()->setMsexVersionMinor(2);
    sinf->setUuid(QStringLiteral("12345678-1234-1234-1234-123456789abc"));
    sinf->setSupportedLibraryTypes(0x0201);
    const QByteArray v12 = encoded(*sinf);
    EXPECT_EQ(v12.mid(26, 36), QByteArray("12345678-1234-1234-1234-123456789abc"));
    // Stream formats are only those listed: none here.
    EXPECT_EQ(v12.mid(62), hex("4b000000" "020700" "03000101010201" "0102" "03" "52474238" "4a504547" "504e4720" "00" "01" "6400"));
    auto read = decodedAs<QMMSEXSInfMessage>(v12);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->uuid(), sinf->uuid());
    EXPECT_EQ(read->supportedLibraryTypes(), 0x0201);
    EXPECT_EQ(read->thumbnailFormats(), (QList<std::uint32_t>{kMSEXFormatRGB8, kMSEXFormatJPEG, kMSEXFormatPNG}));

    // The UUID field is exactly 36 bytes whatever the text: padded with zeros or cut.
    sinf->setUuid(QStringLiteral("short"));
    const QByteArray padded = encoded(*sinf);
    EXPECT_EQ(padded.size(), v12.size());
    EXPECT_EQ(padded.mid(26, 36), QByteArray("short") + QByteArray(31, '\0'));
    EXPECT_EQ(decodedAs<QMMSEXSInfMessage>(padded)->uuid(), QStringLiteral("short"));
    sinf->setUuid(QString(50, QLatin1Char('x')));
    EXPECT_EQ(encoded(*sinf).size(), v12.size());

    const auto parsed = QMMSEXSInfMessage::sinfMessageForProductName(QString(), QString(), QStringLiteral("3.14b.x.9"));
    EXPECT_EQ(parsed->productVersionMajor(), 3);
    EXPECT_EQ(parsed->productVersionMinor(), 14);
    EXPECT_EQ(parsed->productVersionBugfix(), 0);

    sinf->addStreamFormat(1);
    EXPECT_TRUE(sinf->thumbnailFormats().isEmpty());
    EXPECT_EQ(sinf->streamFormats(), QList<std::uint32_t>{1});
    sinf->setUuid(QStringLiteral("12345678-1234-1234-1234-123456789abc"));
    const QByteArray withStream = encoded(*sinf);
    EXPECT_EQ(withStream.mid(62 + 4 + 3 + 7 + 2 + 13), hex("01" "01000000" "01" "6400"));
    EXPECT_EQ(decodedAs<QMMSEXSInfMessage>(withStream)->streamFormats(), QList<std::uint32_t>{1});
}

TEST(MSEXMessages, EveryMessageAtEveryVersionReadsBackAndWritesTheSameBytes)
{
    for (const Version v : kVersions) {
        for (const auto& message : sampleMessages(v)) {
            const QByteArray bytes = message->data();
            SCOPED_TRACE(std::string(message->citpClass().name) + " " + std::to_string(v.minor));
            EXPECT_EQ(message->header()->messageSize(), std::uint32_t(bytes.size()));
            const auto read = QMCITPMessage::messageWithData(bytes);
            ASSERT_NE(read, nullptr);
            EXPECT_EQ(&read->citpClass(), &message->citpClass());
            EXPECT_EQ(read->data(), bytes);
            // Every shorter prefix runs out of data somewhere: nothing, never a read past the end.
            for (qsizetype n = 0; n < bytes.size(); ++n)
                EXPECT_EQ(QMCITPMessage::messageWithData(bytes.left(n)), nullptr) << n;
        }
    }
}

TEST(MSEXMessages, VersionDependentLayouts)
{
    auto geli = std::make_shared<QMMSEXGELIMessage>();
    geli->setLibraryType(1);
    geli->setLibraryParentId(libraryId(3));
    geli->addLibraryNumber(6);
    EXPECT_EQ(encoded(*geli).mid(26), hex("010106"));
    geli->msexHeader()->setMsexVersionMinor(2);
    EXPECT_EQ(encoded(*geli).mid(26), hex("01" "02030400" "0100" "06"));

    // The second layer starts right after the first one's flags.
    const auto lsta = std::dynamic_pointer_cast<QMMSEXLStaMessage>(sampleMessages({1, 2})[3]);
    const auto read = decodedAs<QMMSEXLStaMessage>(lsta->data());
    ASSERT_EQ(read->layerStatuses().size(), 2);
    EXPECT_EQ(read->layerStatuses()[1].mediaName(), QStringLiteral("second clip"));
    EXPECT_EQ(read->layerStatuses()[1].layerStatusFlags(), 1u);
    EXPECT_EQ(read->layerStatuses()[0].mediaLibraryId(), libraryId(5));

    QMMSEXElementLibraryInfo library;
    library.setNumber(9);
    library.setName(QStringLiteral("L"));
    library.setLibraryCount(2);
    library.setElementCount(3);
    QMMSEXHeader v10;
    EXPECT_EQ(library.dataForHeader(v10), hex("09" "0000" "4c000000" "03"));
    QMMSEXHeader v11;
    v11.setMsexVersionMinor(1);
    EXPECT_EQ(library.dataForHeader(v11), hex("00000000" "0000" "4c000000" "02" "03"));

    QMMSEXEThnMessage empty;
    const QByteArray ethn = encoded(empty);
    EXPECT_EQ(ethn.right(2), hex("0000"));
    EXPECT_EQ(ethn.size(), 26 + 1 + 1 + 1 + 4 + 2 + 2 + 2);
}

TEST(MSEXMessages, CountsSaturateAndOversizedBuffersAreNeverMislabelled)
{
    // 256 elements at 1.1: a one-byte count can say 255, and exactly 255 records follow.
    QMMSEXMEInMessage mein;
    mein.msexHeader()->setMsexVersionMinor(1);
    for (int i = 0; i < 256; ++i) {
        QMMSEXElementMediaInfo info;
        info.setMediaNumber(std::uint8_t(i));
        mein.addElementMediaInfo(info);
    }
    const auto read = decodedAs<QMMSEXMEInMessage>(encoded(mein));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->elementMediaInfo().size(), 255);
    // At 1.2 the count is 16 bits wide and all of them go.
    mein.msexHeader()->setMsexVersionMinor(2);
    EXPECT_EQ(decodedAs<QMMSEXMEInMessage>(encoded(mein))->elementMediaInfo().size(), 256);

    QMMSEXElementLibraryInfo library;
    library.setElementCount(256);
    EXPECT_EQ(library.dataForHeader(QMMSEXHeader()).right(1), hex("ff"));

    QMMSEXEThnMessage ethn;
    ethn.setThumbnailData(QByteArray(70000, 'x'));
    const QByteArray bytes = encoded(ethn);
    EXPECT_EQ(bytes.right(2), hex("0000"));
    EXPECT_NE(decodedAs<QMMSEXEThnMessage>(bytes), nullptr);
}

TEST(MSEXMessages, RandomCorruptionNeverReadsOutsideTheMessage)
{
    std::vector<QByteArray> seeds;
    for (const Version v : kVersions) {
        for (const auto& m : sampleMessages(v))
            seeds.push_back(m->data());
    }
    const char* env = std::getenv("KLV_FUZZ_SECONDS");
    const double seconds = env ? std::atof(env) : 2.0;
    std::mt19937 random(20261208);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::size_t rounds = 0;
    while (std::chrono::steady_clock::now() < end || rounds < 1000) {
        QByteArray data = seeds[random() % seeds.size()];
        const int edits = 1 + int(random() % 8);
        for (int e = 0; e < edits; ++e) {
            switch (random() % 4) {
            case 0: data[qsizetype(random() % data.size())] = char(random()); break;
            case 1: data.truncate(qsizetype(random() % (data.size() + 1))); break;
            case 2: data.append(char(random())); break;
            default: // counts and sizes are the interesting bytes: push one to its maximum
                if (data.size() > 26)
                    data[26 + qsizetype(random() % (data.size() - 26))] = char(0xff);
            }
            if (data.isEmpty())
                data = seeds[0];
        }
        if (const auto message = QMCITPMessage::messageWithData(data))
            (void)message->data();
        ++rounds;
    }
    EXPECT_GE(rounds, 1000u);
}

// The frame format, byte by byte, and the reader's refusals.
#include "platform/xpc/XpcFrame.h"

#include <QCborArray>
#include <QCborValue>

#include <gtest/gtest.h>

using platform::XpcEnvelope;
using platform::XpcFrameReader;
using platform::XpcKind;

namespace {

QByteArray prefixed(const QByteArray& payload)
{
    const auto n = quint32(payload.size());
    QByteArray out;
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return out + payload;
}

XpcFrameReader::Status feed(const QByteArray& bytes, XpcEnvelope& out)
{
    XpcFrameReader reader;
    reader.append(bytes.constData(), std::size_t(bytes.size()));
    return reader.next(out);
}

} // namespace

TEST(XpcFrame, EncodesLengthThenTheEnvelopeMap)
{
    QCborMap body;
    body.insert(QStringLiteral("a"), QStringLiteral("b"));
    const QByteArray frame = platform::encodeXpcFrame(XpcEnvelope{7, XpcKind::Request, body});
    const QByteArray expectedMap = QByteArray::fromHex("a4"
                                                       "6176" "01"                    // "v": 1
                                                       "626964" "07"                  // "id": 7
                                                       "646b696e64" "6772657175657374" // "kind": "request"
                                                       "64626f6479" "a1" "6161" "6162"); // "body": {"a": "b"}
    EXPECT_EQ(frame.toHex(), prefixed(expectedMap).toHex());
    EXPECT_EQ(frame.left(4), QByteArray::fromHex("0000001f"));
}

TEST(XpcFrame, ReaderReassemblesFramesFedByteByByteAndBackToBack)
{
    QCborMap body;
    body.insert(QStringLiteral("inPoint"), 2.5);
    body.insert(QStringLiteral("source"), QStringLiteral("/média/clip.mov"));
    const QByteArray one = platform::encodeXpcFrame(XpcEnvelope{1, XpcKind::Request, body});
    const QByteArray two = platform::encodeXpcFrame(XpcEnvelope{2, XpcKind::Reply, {}});
    const QByteArray three = platform::encodeXpcFrame(XpcEnvelope{0, XpcKind::Message, body});

    XpcFrameReader reader;
    XpcEnvelope out;
    for (int i = 0; i < one.size() - 1; ++i) {
        reader.append(one.constData() + i, 1);
        ASSERT_EQ(reader.next(out), XpcFrameReader::Status::NeedMore);
    }
    reader.append(one.constData() + one.size() - 1, 1);
    ASSERT_EQ(reader.next(out), XpcFrameReader::Status::Frame);
    EXPECT_EQ(out.id, 1);
    EXPECT_EQ(out.kind, XpcKind::Request);
    EXPECT_TRUE(out.body.value(QStringLiteral("inPoint")).isDouble());
    EXPECT_EQ(out.body.value(QStringLiteral("source")).toString(), QStringLiteral("/média/clip.mov"));

    const QByteArray both = two + three;
    reader.append(both.constData(), std::size_t(both.size()));
    ASSERT_EQ(reader.next(out), XpcFrameReader::Status::Frame);
    EXPECT_EQ(out.kind, XpcKind::Reply);
    EXPECT_EQ(out.id, 2);
    ASSERT_EQ(reader.next(out), XpcFrameReader::Status::Frame);
    EXPECT_EQ(out.kind, XpcKind::Message);
    EXPECT_EQ(reader.next(out), XpcFrameReader::Status::NeedMore);
    EXPECT_EQ(reader.buffered(), 0u);
}

TEST(XpcFrame, MalformedFramesAreRefusedForGood)
{
    XpcEnvelope out;
    // Lengths: zero, one past the limit, and far past it (refused before any body arrives).
    EXPECT_EQ(feed(QByteArray::fromHex("00000000"), out), XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(QByteArray::fromHex("00100001"), out), XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(QByteArray::fromHex("ffffffff"), out), XpcFrameReader::Status::Malformed);
    // Bodies that are not envelopes.
    EXPECT_EQ(feed(prefixed(QByteArray::fromHex("ff00ff00")), out), XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(prefixed(QCborValue(5).toCbor()), out), XpcFrameReader::Status::Malformed);
    auto envelope = [](qint64 version, QCborValue id, QCborValue kind, QCborValue body) {
        QCborMap map;
        map.insert(QStringLiteral("v"), version);
        map.insert(QStringLiteral("id"), id);
        map.insert(QStringLiteral("kind"), kind);
        map.insert(QStringLiteral("body"), body);
        return prefixed(QCborValue(map).toCbor());
    };
    EXPECT_EQ(feed(envelope(2, 1, QStringLiteral("request"), QCborMap()), out), XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(envelope(1, QStringLiteral("1"), QStringLiteral("request"), QCborMap()), out),
              XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(envelope(1, 1, QStringLiteral("order"), QCborMap()), out), XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(envelope(1, 1, QStringLiteral("request"), QCborArray()), out), XpcFrameReader::Status::Malformed);
    EXPECT_EQ(feed(envelope(1, 1, QStringLiteral("request"), QCborMap()), out), XpcFrameReader::Status::Frame);
    // A CBOR map cut short inside a correct length.
    const QByteArray whole = QCborValue(QCborMap{{QStringLiteral("v"), 1}}).toCbor();
    EXPECT_EQ(feed(prefixed(whole.left(whole.size() - 1)), out), XpcFrameReader::Status::Malformed);

    // Sticky: good frames after a bad one are not read.
    XpcFrameReader reader;
    const QByteArray bad = QByteArray::fromHex("00000000");
    reader.append(bad.constData(), 4);
    EXPECT_EQ(reader.next(out), XpcFrameReader::Status::Malformed);
    EXPECT_FALSE(reader.error().isEmpty());
    const QByteArray good = platform::encodeXpcFrame(XpcEnvelope{1, XpcKind::Request, {}});
    reader.append(good.constData(), std::size_t(good.size()));
    EXPECT_EQ(reader.next(out), XpcFrameReader::Status::Malformed);
}

TEST(XpcFrame, EnvelopesOverTheLimitAreNotEncoded)
{
    QCborMap body;
    body.insert(QStringLiteral("data"), QByteArray(int(platform::kXpcMaxFrameSize), 'x'));
    EXPECT_TRUE(platform::encodeXpcFrame(XpcEnvelope{1, XpcKind::Request, body}).isEmpty());
    body.insert(QStringLiteral("data"), QByteArray(int(platform::kXpcMaxFrameSize) - 100, 'x'));
    const QByteArray frame = platform::encodeXpcFrame(XpcEnvelope{1, XpcKind::Request, body});
    ASSERT_FALSE(frame.isEmpty());
    XpcEnvelope out;
    EXPECT_EQ(feed(frame, out), XpcFrameReader::Status::Frame);
}

namespace {

// An envelope whose body holds `depth` levels of one-element arrays (and, for a map, one
// key/value pair per level), written by hand: Qt's encoder cannot build such a thing.
QByteArray deepEnvelope(std::int64_t id, int depth, const char* level = "81", const char* kind = "request", const char* closing = "")
{
    QByteArray map = QByteArray::fromHex("a4" "6176" "01" "626964") + QCborValue(qint64(id)).toCbor();
    map += QByteArray::fromHex("646b696e64") + QCborValue(QString::fromLatin1(kind)).toCbor();
    map += QByteArray::fromHex("64626f6479" "a1" "6178"); // "body": {"x": ...
    map += QByteArray::fromHex(level).repeated(depth) + QByteArray::fromHex("00") + QByteArray::fromHex(closing).repeated(depth);
    return prefixed(map);
}

} // namespace

TEST(XpcFrame, ABodyNestedTooDeeplyComesThroughEmptyWithItsReasonAndTheReaderGoesOn)
{
    using platform::kXpcMaxNesting;
    XpcFrameReader reader;
    XpcEnvelope out;
    // Envelope, body and x's value make three levels: the limit is just met, then passed.
    for (const auto& [depth, decoded] : {std::pair{kXpcMaxNesting - 2, true}, {kXpcMaxNesting - 1, false}, {200000, false}}) {
        const QByteArray frame = deepEnvelope(depth, depth);
        reader.append(frame.constData(), std::size_t(frame.size()));
        ASSERT_EQ(reader.next(out), XpcFrameReader::Status::Frame) << depth;
        EXPECT_EQ(out.id, depth);
        EXPECT_EQ(out.kind, XpcKind::Request);
        EXPECT_EQ(out.refusal.isEmpty(), decoded) << depth;
        EXPECT_EQ(out.body.isEmpty(), !decoded) << depth;
    }
    // Tags, maps and open-ended arrays each count as a level.
    for (const auto& [level, closing] : {std::pair{"c1", ""}, {"a16161", ""}, {"9f", "ff"}}) {
        ASSERT_EQ(feed(deepEnvelope(3, 100000, level, "message", closing), out), XpcFrameReader::Status::Frame) << level;
        EXPECT_EQ(out.kind, XpcKind::Message);
        EXPECT_FALSE(out.refusal.isEmpty()) << level;
    }
    // The envelope itself must still be readable: a deep frame that is not a map, or whose id is
    // missing, is malformed as before.
    EXPECT_EQ(feed(prefixed(QByteArray(100000, '\x81') + '\0'), out), XpcFrameReader::Status::Malformed);
    QByteArray noId = QByteArray::fromHex("a3" "6176" "01" "646b696e64" "6772657175657374" "64626f6479");
    noId += QByteArray(100000, '\x81') + '\0';
    EXPECT_EQ(feed(prefixed(noId), out), XpcFrameReader::Status::Malformed);
    // Cut short deep inside: not well-formed, refused for good.
    EXPECT_EQ(feed(prefixed(deepEnvelope(4, 100000).mid(4).chopped(1)), out), XpcFrameReader::Status::Malformed);
}

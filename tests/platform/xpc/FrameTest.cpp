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

// The wire message, checked byte by byte, and decoding of damaged input.

#include "platform/privileged/TlvMessage.h"

#include <gtest/gtest.h>

using namespace platform::privileged;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

} // namespace

TEST(TlvMessage, EncodesHeaderAndFieldsLittleEndian)
{
    TlvMessage m(1, 0x0203, 0x04050607);
    m.setBytes(0x0102, std::string("a\0\xff", 3));
    m.setU32(9, 0x11223344);
    m.setBool(10, true);
    std::string out;
    ASSERT_TRUE(m.encode(out));
    EXPECT_EQ(out, bytes({0x01, 0x00, 0x03, 0x02, 0x07, 0x06, 0x05, 0x04,     // header
                          0x02, 0x01, 0x03, 0x00, 0x00, 0x00, 'a', 0x00, 0xff, // bytes field
                          0x09, 0x00, 0x04, 0x00, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11,
                          0x0a, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(out.size(), m.encodedSize());

    TlvMessage back;
    ASSERT_EQ(TlvMessage::decode(out, back), TlvDecodeStatus::ok);
    EXPECT_EQ(back.protocolVersion(), 1);
    EXPECT_EQ(back.op(), 0x0203);
    EXPECT_EQ(back.requestId(), 0x04050607u);
    EXPECT_EQ(*back.find(0x0102), std::string("a\0\xff", 3));
    EXPECT_EQ(back.u32(9), 0x11223344u);
    EXPECT_EQ(back.boolean(10), true);
}

TEST(TlvMessage, TypedReadersInsistOnExactSizes)
{
    TlvMessage m(1, 1, 1);
    m.setBytes(1, "abc");
    m.setBytes(2, std::string(1, '\2'));
    m.setI64(3, -5);
    EXPECT_FALSE(m.u32(1).has_value());
    EXPECT_FALSE(m.i64(1).has_value());
    EXPECT_FALSE(m.boolean(2).has_value()); // only 0 and 1 are booleans
    EXPECT_EQ(m.i64(3), -5);
    EXPECT_FALSE(m.u32(77).has_value());
}

TEST(TlvMessage, RefusesDamagedMessages)
{
    TlvMessage m;
    EXPECT_EQ(TlvMessage::decode(bytes({1, 0, 2, 0, 3, 0, 0}), m), TlvDecodeStatus::tooShort);
    // A field header cut short, and a length running past the end.
    EXPECT_EQ(TlvMessage::decode(bytes({1, 0, 2, 0, 3, 0, 0, 0, 5, 0, 1}), m),
              TlvDecodeStatus::truncatedField);
    EXPECT_EQ(TlvMessage::decode(bytes({1, 0, 2, 0, 3, 0, 0, 0, 5, 0, 0xff, 0xff, 0xff, 0xff, 'x'}),
                                 m),
              TlvDecodeStatus::truncatedField);
    EXPECT_EQ(TlvMessage::decode(bytes({1, 0, 2, 0, 3, 0, 0, 0, 5, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0}),
                                 m),
              TlvDecodeStatus::duplicateField);
    EXPECT_EQ(TlvMessage::decode(std::string(kMaxMessageSize + 1, '\0'), m),
              TlvDecodeStatus::tooLarge);
    // Many empty fields: bounded, refused.
    std::string many = bytes({1, 0, 2, 0, 3, 0, 0, 0});
    for (int tag = 0; tag <= static_cast<int>(kMaxFields); ++tag)
        many += bytes({tag & 0xff, tag >> 8, 0, 0, 0, 0});
    EXPECT_EQ(TlvMessage::decode(many, m), TlvDecodeStatus::tooManyFields);
}

TEST(TlvMessage, NeverEncodesBeyondTheLimit)
{
    TlvMessage m(1, 1, 1);
    m.setBytes(1, std::string(kMaxMessageSize - kHeaderSize - kFieldHeaderSize, 'x'));
    std::string out;
    EXPECT_TRUE(m.encode(out));
    EXPECT_EQ(out.size(), kMaxMessageSize);
    m.setBytes(1, std::string(kMaxMessageSize, 'x'));
    std::string again = "kept";
    EXPECT_FALSE(m.encode(again));
    EXPECT_EQ(again, "kept");
}

TEST(TlvMessage, PeekHeaderReadsTheIdOfAnUndecodableMessage)
{
    TlvMessage m;
    ASSERT_TRUE(TlvMessage::peekHeader(bytes({1, 0, 9, 0, 0x78, 0x56, 0x34, 0x12, 0xde, 0xad}), m));
    EXPECT_EQ(m.op(), 9);
    EXPECT_EQ(m.requestId(), 0x12345678u);
    EXPECT_FALSE(TlvMessage::peekHeader(bytes({1, 0}), m));
}

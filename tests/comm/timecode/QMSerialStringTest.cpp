#include "comm/timecode/QMDataExtensions.h"
#include "comm/timecode/QMPopUpSelection.h"
#include "comm/timecode/QMSerialString.h"
#include "comm/timecode/QMStack.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

using namespace QMSerialString;

TEST(QMSerialString, HexTextToBytes)
{
    EXPECT_EQ(qmHexStringFromData(QByteArray("\x0A\xFF", 2)), "0AFF");
    EXPECT_EQ(qmHexStringFromData(QByteArray()), "");

    EXPECT_EQ(*qmDataFromHexString("ABC"), QByteArray("\x0A\xBC", 2));
    EXPECT_EQ(*qmDataFromHexString("00ff7f"), QByteArray("\x00\xFF\x7F", 3));
    ASSERT_TRUE(qmDataFromHexString("").has_value());
    EXPECT_TRUE(qmDataFromHexString("")->isEmpty());

    platform::LogCapture log;
    EXPECT_EQ(*qmDataFromHexString("0G"), QByteArray(1, '\0'));
    EXPECT_TRUE(log.contains("failed to convert character from ascii to hex i:0 data:0G"));
    // Digits are read from the right: the good digit to the right of a bad one counts.
    EXPECT_EQ(*qmDataFromHexString("G1AA"), QByteArray("\x01\xAA", 2));
    EXPECT_TRUE(log.contains("failed to convert character from ascii to hex i:0 data:G1AA"));

    log.clear();
    EXPECT_FALSE(qmDataFromHexString(QString::fromUtf8("0\xC3\xA9")).has_value());
    EXPECT_TRUE(log.contains("not an ascii string"));
}

TEST(QMSerialString, ParseHexDigitsStatuses)
{
    std::uint32_t v = 99;
    EXPECT_EQ(QMParseHexDigits(u"FFFFFFFF", &v), kQMParseHexSuccess);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(QMParseHexDigits(u"123456789", &v), kQMParseHexTooLong);
    EXPECT_EQ(QMParseHexDigits(u"1x2", &v), kQMParseHexBadDigit);
    EXPECT_EQ(v, 2u);
    EXPECT_EQ(QMParseHexDigits(u"aB", &v), kQMParseHexSuccess);
    EXPECT_EQ(v, 0xABu);
}

TEST(QMSerialString, BcdBothWays)
{
    EXPECT_EQ(QMIntFromBCD(0x12), 12);
    EXPECT_EQ(QMIntFromBCD(0x59), 59);
    EXPECT_EQ(QMBCDFromInt(7), 0x07);
    EXPECT_EQ(QMBCDFromInt(59), 0x59);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(QMIntFromBCD(QMBCDFromInt(std::uint64_t(i))), i);
}

TEST(QMSerialString, AsciiAndHexText)
{
    EXPECT_EQ(QMHexStringFromASCIIString("AB"), "4142");
    EXPECT_EQ(QMHexStringFromASCIIString(QString::fromUtf8("\xC3\xA9")), "");
    EXPECT_EQ(QMASCIIStringFromHexString("4142"), "AB");
    const QString odd = QMASCIIStringFromHexString("414");
    ASSERT_EQ(odd.size(), 2);
    EXPECT_EQ(odd[0].unicode(), 0x04);
    EXPECT_EQ(odd[1].unicode(), 0x14);
    const QString partial = QMASCIIStringFromHexString("1GG1");
    ASSERT_EQ(partial.size(), 2);
    EXPECT_EQ(partial[0].unicode(), 0x01);
    EXPECT_EQ(partial[1].unicode(), 0x00);
    EXPECT_EQ(QMASCIIStringFromHexString(""), "");
}

TEST(QMSharedHelpers, LineEndBytesAndStack)
{
    EXPECT_EQ(NSDataExtensions::CRLFData(), QByteArray("\x0D\x0A", 2));
    EXPECT_EQ(NSDataExtensions::CRData(), QByteArray("\x0D", 1));
    EXPECT_EQ(NSDataExtensions::LFData(), QByteArray("\x0A", 1));
    EXPECT_EQ(NSDataExtensions::ZeroData(), QByteArray(1, '\0'));

    QList<QString> stack;
    EXPECT_FALSE(QMStack::pop(stack).has_value());
    EXPECT_FALSE(QMStack::peek(stack).has_value());
    EXPECT_TRUE(stack.isEmpty());
    QMStack::push(stack, QString("A"));
    QMStack::push(stack, QString("B"));
    EXPECT_EQ(stack.first(), "B"); // the top is the first element
    EXPECT_EQ(*QMStack::peek(stack), "B");
    EXPECT_EQ(*QMStack::pop(stack), "B");
    EXPECT_EQ(*QMStack::pop(stack), "A");
    EXPECT_TRUE(stack.isEmpty());
}

namespace {
// The two item-data calls of a combo box, over a plain list.
struct FakePopUp {
    QList<QVariant> data;
    int current = 0;
    int findData(const QVariant& v) const { return int(data.indexOf(v)); }
    void setCurrentIndex(int i) { current = i; }
};
} // namespace

TEST(QMSharedHelpers, PopUpSelectsByRepresentedObjectOrNothing)
{
    FakePopUp popUp{{QVariant(1), QVariant("two"), QVariant("two")}, 0};
    QMAdditions::selectItemWithRepresentedObject(popUp, QVariant("two"));
    EXPECT_EQ(popUp.current, 1);
    QMAdditions::selectItemWithRepresentedObject(popUp, QVariant("three"));
    EXPECT_EQ(popUp.current, -1);
}

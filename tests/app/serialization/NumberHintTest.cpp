#include "app/serialization/QMXMLContainers.h"
#include "app/serialization/QMXMLNumber.h"
#include "platform/foundation/Exception.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Row {
    QMXMLNumber number;
    const char* hint;
    const char* text;
};

// Writes the number as a list item, reads the element back, writes again.
void expectRoundTrip(const Row& row)
{
    SCOPED_TRACE(std::string(row.hint) + " " + row.text);
    const platform::XmlElement array = QMXMLContainers::arrayElement({QMXMLValue(row.number)});
    ASSERT_EQ(array.children().size(), 1u);
    const platform::XmlElement& child = array.children()[0];
    EXPECT_EQ(child.name(), "NSNumber");
    EXPECT_EQ(child.attribute("hint"), row.hint);
    EXPECT_EQ(child.text(), row.text);

    const QMXMLValue back = QMXMLContainers::valueFromChild(child, QMXMLRegistry::shared());
    ASSERT_TRUE(back.isNumber());
    EXPECT_EQ(back.toNumber(), row.number);
    EXPECT_EQ(back.toNumber().qmXMLStringValue(), row.text);
    EXPECT_EQ(back.toNumber().qmXMLHint(), row.hint);
}

} // namespace

TEST(NumberHints, EveryRowRoundTripsToTheSameText)
{
    const Row rows[] = {
        {QMXMLNumber::fromBool(true), "bool", "YES"},
        {QMXMLNumber::fromBool(false), "bool", "NO"},
        {QMXMLNumber::fromInt(std::numeric_limits<std::int32_t>::min()), "int", "-2147483648"},
        {QMXMLNumber::fromInt(5), "int", "5"},
        {QMXMLNumber::fromInteger(std::numeric_limits<std::int64_t>::min()), "integer", "-9223372036854775808"},
        {QMXMLNumber::fromInteger(std::numeric_limits<std::int64_t>::max()), "integer", "9223372036854775807"},
        {QMXMLNumber::fromFloat(0.1f), "float", "0.100000"},
        {QMXMLNumber::fromFloat(-1234.5f), "float", "-1234.500000"},
        {QMXMLNumber::fromDouble(0.1), "double", "0.100000"},
        {QMXMLNumber::fromDouble(-2.5e10), "double", "-25000000000.000000"},
        {QMXMLNumber::fromShort(-32768), "short", "-32768"},
        {QMXMLNumber::fromUnsignedInt(4000000000u), "unsignedInt", "4000000000"},
        {QMXMLNumber::fromUnsignedInt(0xFFFFFFFFu), "unsignedInt", "4294967295"},
        {QMXMLNumber::fromUnsignedInteger(std::numeric_limits<std::uint64_t>::max()), "unsignedInteger",
         "18446744073709551615"},
        {QMXMLNumber::fromUnsignedShort(65535), "unsignedShort", "65535"},
        {QMXMLNumber::fromUnsignedChar(200), "unsignedChar", "200"},
        {QMXMLNumber::fromChar(-5), "char", "-5"},
    };
    for (const Row& row : rows)
        expectRoundTrip(row);
}

TEST(NumberHints, ReaderOnlyHintsAndSaturation)
{
    using N = QMXMLNumber;
    EXPECT_EQ(N::fromElementText("123", QString("long")), N::fromInteger(123));
    EXPECT_EQ(N::fromElementText("-7", QString("longLong")), N::fromInteger(-7));
    EXPECT_EQ(N::fromElementText("300", QString("char")), N::fromChar(44)); // low 8 bits
    EXPECT_EQ(N::fromElementText("18446744073709551615", QString("unsignedLongLong")).unsignedValue(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(N::fromElementText("42", QString("unsignedLong")).unsignedValue(), 42u);
    // Unsigned values saturate at their own width, not at the signed one.
    EXPECT_EQ(N::fromElementText("99999999999", QString("unsignedInt")).unsignedValue(), 0xFFFFFFFFu);
    EXPECT_EQ(N::fromElementText("-1", QString("unsignedInt")).unsignedValue(), 0xFFFFFFFFu);
    EXPECT_EQ(N::fromElementText("70000", QString("short")).integerValue(), 70000 - 65536);
    EXPECT_EQ(N::fromElementText("65537", QString("unsignedShort")).unsignedValue(), 1u);
    EXPECT_EQ(N::fromElementText("99999999999", QString("int")).integerValue(), 2147483647);
    EXPECT_EQ(N::fromElementText("  12abc", QString("integer")).integerValue(), 12);
    EXPECT_TRUE(N::fromElementText("true", QString("bool")).boolValue());
    EXPECT_TRUE(N::fromElementText("7", QString("bool")).boolValue());
    EXPECT_FALSE(N::fromElementText("NO", QString("bool")).boolValue());

    // The class reading is lenient about the hint, the element reading is not.
    EXPECT_EQ(N::qmValueFromXMLStringValue("12", QString("whatever")), N::fromInteger(12));
    EXPECT_EQ(N::qmValueFromXMLStringValue("12", std::nullopt), N::fromInteger(12));
    try {
        N::fromElementText("12", std::nullopt);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.name(), "Invalid XML hint");
        EXPECT_EQ(e.reason(), "Cannot init Number from hint (null)");
    }
    try {
        N::fromElementText("12", QString("quad"));
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.reason(), "Cannot init Number from hint quad");
    }
}

TEST(NumberHints, UnhandledTypeCodeThrows)
{
    try {
        QMXMLContainers::arrayElement({QMXMLValue(QMXMLNumber::withTypeCode('l', 3))});
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.name(), "Unhandled NSNumber Type");
        EXPECT_EQ(e.reason(), "NSNumber type (l) is not handled by serialization");
    }
}

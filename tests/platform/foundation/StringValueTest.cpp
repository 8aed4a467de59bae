#include "platform/foundation/NumberFormat.h"
#include "platform/foundation/StringValue.h"

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace platform;

TEST(StringValue, IntegersTakeLeadingDigitsAfterWhitespaceAndSign)
{
    EXPECT_EQ(intValue("12abc"), 12);
    EXPECT_EQ(intValue("  \t\n-42 rest"), -42);
    EXPECT_EQ(intValue("+7"), 7);
    EXPECT_EQ(intValue("abc"), 0);
    EXPECT_EQ(intValue(""), 0);
    EXPECT_EQ(intValue("- 5"), 0);
    EXPECT_EQ(intValue("0x1A"), 0);
    EXPECT_EQ(intValue("3.9"), 3);
    EXPECT_EQ(intValue(QStringLiteral("\u00a0 15")), 15);
    EXPECT_EQ(intValue(QStringLiteral("15\u00e9")), 15);
}

TEST(StringValue, IntegersSaturateAtTheirRange)
{
    EXPECT_EQ(intValue("4000000000"), std::numeric_limits<int>::max());
    EXPECT_EQ(intValue("-4000000000"), std::numeric_limits<int>::min());
    EXPECT_EQ(intValue("2147483647"), 2147483647);
    EXPECT_EQ(intValue("-2147483648"), std::numeric_limits<int>::min());
    EXPECT_EQ(intValue("2147483648"), std::numeric_limits<int>::max());
    EXPECT_EQ(integerValue("4000000000"), 4000000000LL);
    EXPECT_EQ(integerValue("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(longLongValue("-9223372036854775808"), std::numeric_limits<long long>::min());
    EXPECT_EQ(longLongValue("-99999999999999999999"), std::numeric_limits<long long>::min());
    EXPECT_EQ(intValue(QString(QStringLiteral("0")).repeated(10000) + QStringLiteral("12")), 12);
}

TEST(StringValue, BoolValueFollowsFirstCharacterRules)
{
    for (const char* yes : {"YES", "yes", "Y", "true", "TRUE", "t", "1", "  -5", "007", "+3x", "9"})
        EXPECT_TRUE(boolValue(yes)) << yes;
    for (const char* no : {"NO", "no", "false", "0", "000", "", "  ", "0.5", "-0", "abc", "N", "F", "x1"})
        EXPECT_FALSE(boolValue(no)) << no;
    EXPECT_TRUE(boolValue(QStringLiteral(" Yes")));
    EXPECT_FALSE(boolValue(QStringLiteral("NO")));
}

TEST(StringValue, DoublesTakeTheLeadingDecimalNumber)
{
    EXPECT_DOUBLE_EQ(doubleValue("1.5e3xyz"), 1500.0);
    EXPECT_DOUBLE_EQ(doubleValue("  -0.25"), -0.25);
    EXPECT_DOUBLE_EQ(doubleValue(".5"), 0.5);
    EXPECT_DOUBLE_EQ(doubleValue("5."), 5.0);
    EXPECT_DOUBLE_EQ(doubleValue("2e"), 2.0);
    EXPECT_DOUBLE_EQ(doubleValue("2e+"), 2.0);
    EXPECT_DOUBLE_EQ(doubleValue("29.97 fps"), 29.97);
    EXPECT_EQ(doubleValue("."), 0.0);
    EXPECT_EQ(doubleValue("inf"), 0.0);
    EXPECT_EQ(doubleValue("nan"), 0.0);
    EXPECT_EQ(doubleValue("0x10"), 0.0);
    EXPECT_EQ(doubleValue("1e400"), HUGE_VAL);
    EXPECT_EQ(doubleValue("-1e400"), -HUGE_VAL);
    EXPECT_EQ(doubleValue("1e-400"), 0.0);
    EXPECT_EQ(doubleValue("0.0000001e-400"), 0.0);
    EXPECT_EQ(doubleValue("12345678901234567890e300"), HUGE_VAL);
    EXPECT_FLOAT_EQ(floatValue("0.1"), 0.1f);
    EXPECT_EQ(floatValue("1e39"), std::numeric_limits<float>::infinity());
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral(" 3,5")), 3.0);
}

TEST(NumberFormat, DoublesRoundTripInShortestForm)
{
    EXPECT_EQ(formatDouble(0.1), "0.1");
    EXPECT_EQ(formatDouble(5.0), "5");
    EXPECT_EQ(formatDouble(-2.5), "-2.5");
    EXPECT_EQ(formatDouble(29.97002997002997), "29.97002997002997");
    EXPECT_EQ(formatDouble(1e21), "1e+21");
    EXPECT_EQ(formatDouble(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(formatDouble(std::nan("")), "nan");
    EXPECT_EQ(formatDouble(2.5, 2), "2.50");
    EXPECT_EQ(formatDouble(-0.125, 1), "-0.1");
    EXPECT_EQ(formatDouble(1e300, 0).size(), 301u);
    EXPECT_EQ(formatInteger(-9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(formatUnsigned(18446744073709551615ULL), "18446744073709551615");
    for (double v : {0.1, 1.0 / 3.0, 123456.789e-200, -7e300, 5e-324})
        EXPECT_EQ(parseDouble(formatDouble(v)), v);
}

TEST(NumberFormat, StrictParsersRejectPartialText)
{
    EXPECT_EQ(parseInteger("42"), 42);
    EXPECT_EQ(parseInteger("+42"), 42);
    EXPECT_EQ(parseInteger("-42"), -42);
    EXPECT_FALSE(parseInteger("42x"));
    EXPECT_FALSE(parseInteger(" 42"));
    EXPECT_FALSE(parseInteger(""));
    EXPECT_FALSE(parseInteger("+-1"));
    EXPECT_FALSE(parseInteger("99999999999999999999"));
    EXPECT_FALSE(parseUnsigned("-1"));
    EXPECT_EQ(parseUnsigned(QStringLiteral("18446744073709551615")), 18446744073709551615ULL);
    EXPECT_FALSE(parseInteger(QStringLiteral("4\u0662")));
    EXPECT_EQ(parseDouble("2.5e-3"), 2.5e-3);
    EXPECT_FALSE(parseDouble("2,5"));
    EXPECT_FALSE(parseDouble("0x1p3"));
    EXPECT_TRUE(std::isinf(*parseDouble("-inf")));
}

// A German locale writes "2,5": neither the C library locale nor Qt's default may leak into
// file values.
TEST(NumberFormat, UnaffectedByTheProcessLocale)
{
    const std::string previousC = std::setlocale(LC_ALL, nullptr);
    const bool haveGerman = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const QLocale previousQt;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    EXPECT_EQ(formatDouble(2.5), "2.5");
    EXPECT_EQ(formatDouble(1234567.5, 1), "1234567.5");
    EXPECT_EQ(formatDoubleString(0.75), QStringLiteral("0.75"));
    EXPECT_EQ(parseDouble("2.5"), 2.5);
    EXPECT_FALSE(parseDouble("2,5"));
    EXPECT_DOUBLE_EQ(doubleValue("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("2,5")), 2.0);
    EXPECT_EQ(formatIntegerString(1234567), QStringLiteral("1234567"));

    QLocale::setDefault(previousQt);
    std::setlocale(LC_ALL, previousC.c_str());
    if (!haveGerman)
        GTEST_LOG_(INFO) << "de_DE.UTF-8 not installed: checked with QLocale::setDefault only";
}

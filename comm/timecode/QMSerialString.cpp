#include "comm/timecode/QMSerialString.h"

#include "platform/foundation/Log.h"

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "comm";

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7F)
            return false;
    return true;
}

QString evenLength(const QString& text)
{
    return (text.size() % 2) ? QStringLiteral("0") + text : text;
}

} // namespace

namespace QMSerialString {

QString qmHexStringFromData(const QByteArray& data)
{
    return QString::fromLatin1(data.toHex().toUpper());
}

std::optional<QByteArray> qmDataFromHexString(const QString& input)
{
    const QString text = evenLength(input);
    if (!isAscii(text)) {
        platform::log(kSubsystem, kCategory, platform::LogLevel::Error, "not an ascii string");
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        std::uint32_t value = 0;
        if (QMParseHexDigits(QStringView(text).mid(i, 2), &value) != kQMParseHexSuccess) {
            platform::log(kSubsystem, kCategory, platform::LogLevel::Error,
                          QStringLiteral("failed to convert character from ascii to hex i:%1 data:%2")
                              .arg(i)
                              .arg(text));
        }
        bytes.append(char(value & 0xFF));
    }
    return bytes;
}

} // namespace QMSerialString

int QMParseHexDigits(QStringView text, std::uint32_t* value)
{
    std::uint32_t result = 0;
    int status = kQMParseHexSuccess;
    if (text.size() > 8) {
        status = kQMParseHexTooLong;
    } else {
        std::uint32_t place = 1;
        for (qsizetype i = text.size() - 1; i >= 0; --i, place <<= 4) {
            const int digit = hexDigitValue(text[i]);
            if (digit < 0) {
                status = kQMParseHexBadDigit;
                break;
            }
            result += std::uint32_t(digit) * place;
        }
    }
    if (value)
        *value = result;
    return status;
}

int QMIntFromBCD(std::uint32_t bcd)
{
    return int((bcd >> 4) & 0x0F) * 10 + int(bcd & 0x0F);
}

std::uint8_t QMBCDFromInt(std::uint64_t value)
{
    return std::uint8_t(((value / 10) * 16 + value % 10) & 0xFF);
}

QString QMHexStringFromASCIIString(const QString& text)
{
    if (!isAscii(text))
        return QString();
    return QString::fromLatin1(text.toLatin1().toHex().toUpper());
}

QString QMASCIIStringFromHexString(const QString& input)
{
    const QString text = evenLength(input);
    QString result;
    result.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        int code = 0;
        for (qsizetype k = i; k < i + 2; ++k) {
            const int digit = hexDigitValue(text[k]);
            if (digit < 0)
                break;
            code = code * 16 + digit;
        }
        result.append(QChar(char16_t(code)));
    }
    return result;
}

#include "comm/showcontrol/citp/CITPWire.h"

namespace {

// True, and the cursor's length set, when width bytes are left at the cursor.
bool take(const QByteArray& data, CITPCursor* cursor, qsizetype width)
{
    if (cursor->overrun || cursor->location < 0 || width > data.size() - cursor->location) {
        cursor->overrun = true;
        cursor->length = 0;
        return false;
    }
    cursor->length = width;
    return true;
}

std::uint64_t readLittleEndian(const QByteArray& data, CITPCursor* cursor, int width)
{
    if (!take(data, cursor, width))
        return 0;
    std::uint64_t value = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData()) + cursor->location;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    cursor->location += width;
    cursor->length = 0;
    return value;
}

} // namespace

QString CITPFourCCString(std::uint32_t code)
{
    QString text;
    for (int i = 0; i < 4; ++i)
        text.append(QChar(char16_t((code >> (8 * i)) & 0xff)));
    return text;
}

std::uint8_t CITPReadUInt8(const QByteArray& data, CITPCursor* cursor)
{
    return std::uint8_t(readLittleEndian(data, cursor, 1));
}

std::uint16_t CITPReadUInt16(const QByteArray& data, CITPCursor* cursor)
{
    return std::uint16_t(readLittleEndian(data, cursor, 2));
}

std::uint32_t CITPReadUInt32(const QByteArray& data, CITPCursor* cursor)
{
    return std::uint32_t(readLittleEndian(data, cursor, 4));
}

std::uint64_t CITPReadUInt64(const QByteArray& data, CITPCursor* cursor)
{
    return readLittleEndian(data, cursor, 8);
}

std::optional<QString> CITPReadUTF8String(const QByteArray& data, CITPCursor* cursor)
{
    const qsizetype start = cursor->location;
    const qsizetype end = cursor->overrun || start < 0 || start > data.size() ? -1 : data.indexOf('\0', start);
    if (end < 0) {
        cursor->overrun = true;
        cursor->length = 0;
        return std::nullopt;
    }
    cursor->location = end + 1;
    cursor->length = 0;
    return QString::fromUtf8(data.constData() + start, end - start);
}

std::optional<QString> CITPReadUCS2String(const QByteArray& data, CITPCursor* cursor)
{
    const qsizetype start = cursor->location;
    if (!cursor->overrun && start >= 0) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
        // Units at even distances from the cursor: a zero high byte of one unit ends nothing.
        for (qsizetype at = start; at + 1 < data.size(); at += 2) {
            if (bytes[at] != 0 || bytes[at + 1] != 0)
                continue;
            QString text;
            text.reserve((at - start) / 2);
            for (qsizetype i = start; i < at; i += 2)
                text.append(QChar(char16_t(bytes[i] | bytes[i + 1] << 8)));
            cursor->location = at + 2;
            cursor->length = 0;
            return text;
        }
    }
    cursor->overrun = true;
    cursor->length = 0;
    return std::nullopt;
}

std::optional<QString> CITPReadFixedString(const QByteArray& data, CITPCursor* cursor)
{
    const qsizetype width = cursor->length;
    if (width < 0 || !take(data, cursor, width))
        return std::nullopt;
    const char* start = data.constData() + cursor->location;
    const qsizetype zero = QByteArray::fromRawData(start, width).indexOf('\0');
    cursor->location += width;
    cursor->length = 0;
    return QString::fromUtf8(start, zero < 0 ? width : zero);
}

namespace QMXMLAdditions {

QByteArray utf8EncodedCITPData(const QString& text)
{
    QByteArray out = text.toUtf8();
    out.append('\0');
    return out;
}

QByteArray utf16EncodedCITPData(const QString& text)
{
    QByteArray out;
    out.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        out.append(char(c.unicode() & 0xff));
        out.append(char(c.unicode() >> 8));
    }
    out.append(2, '\0');
    return out;
}

} // namespace QMXMLAdditions

void CITPWriter::u16(std::uint16_t v)
{
    out_.append(char(v & 0xff));
    out_.append(char(v >> 8));
}

void CITPWriter::u32(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out_.append(char((v >> (8 * i)) & 0xff));
}

void CITPWriter::u64(std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out_.append(char((v >> (8 * i)) & 0xff));
}

void CITPWriter::text8(const QString& s)
{
    out_.append(QMXMLAdditions::utf8EncodedCITPData(s));
}

void CITPWriter::text16(const QString& s)
{
    out_.append(QMXMLAdditions::utf16EncodedCITPData(s));
}

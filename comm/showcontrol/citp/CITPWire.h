#pragma once
// Wire helpers shared by every CITP layer: four-character codes, the little-endian read cursor
// and its readers, the writer and the two string encodings. Readers never read past the end of
// their data: a read that would is refused and marks the cursor as overrun, so a message whose
// fields or counts run past its end decodes to nothing.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// "CITP" on the wire (43 49 54 50) is 0x50544943 in memory.
constexpr std::uint32_t CITPFourCC(const char (&code)[5])
{
    return std::uint32_t(std::uint8_t(code[0])) | std::uint32_t(std::uint8_t(code[1])) << 8
        | std::uint32_t(std::uint8_t(code[2])) << 16 | std::uint32_t(std::uint8_t(code[3])) << 24;
}
// The four characters of a code, for logs.
QString CITPFourCCString(std::uint32_t code);

inline constexpr std::uint32_t kCITPCookie = CITPFourCC("CITP");
inline constexpr std::uint32_t kPINFCookie = CITPFourCC("PINF");
inline constexpr std::uint32_t kMSEXCookie = CITPFourCC("MSEX");
inline constexpr std::uint32_t kPLocCookie = CITPFourCC("PLoc");
inline constexpr std::uint32_t kPNamCookie = CITPFourCC("PNam");

// The read cursor: location is the offset of the next field, length the width of the field
// being read (0 between reads; preset by the caller for CITPReadFixedString).
struct CITPCursor {
    qsizetype location = 0;
    qsizetype length = 0;
    bool overrun = false; // a read was refused because it would pass the end
};

std::uint8_t CITPReadUInt8(const QByteArray& data, CITPCursor* cursor);
std::uint16_t CITPReadUInt16(const QByteArray& data, CITPCursor* cursor);
std::uint32_t CITPReadUInt32(const QByteArray& data, CITPCursor* cursor);
std::uint64_t CITPReadUInt64(const QByteArray& data, CITPCursor* cursor);
// Null-terminated strings; no terminator: nothing, cursor unchanged (and marked overrun).
std::optional<QString> CITPReadUTF8String(const QByteArray& data, CITPCursor* cursor);
std::optional<QString> CITPReadUCS2String(const QByteArray& data, CITPCursor* cursor);
// cursor->length bytes of UTF-8 text, ended early by a zero byte.
std::optional<QString> CITPReadFixedString(const QByteArray& data, CITPCursor* cursor);

// The string encodings of every CITP writer; a null string is written as the empty string.
namespace QMXMLAdditions {
// UTF-8 bytes and one zero byte.
QByteArray utf8EncodedCITPData(const QString& text);
// UTF-16 little-endian (whatever the host order), no byte-order mark, and two zero bytes.
QByteArray utf16EncodedCITPData(const QString& text);
} // namespace QMXMLAdditions

// Appends little-endian fields to a byte array.
class CITPWriter {
public:
    explicit CITPWriter(QByteArray& out) : out_(out) {}
    void u8(std::uint8_t v) { out_.append(char(v)); }
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void u64(std::uint64_t v);
    void bytes(const QByteArray& b) { out_.append(b); }
    void text8(const QString& s);
    void text16(const QString& s);

private:
    QByteArray& out_;
};

#pragma once
// The helper's wire message: a fixed header and a list of tagged fields, one message per
// SOCK_SEQPACKET record. All integers are little-endian.
//
//   u16 protocol version | u16 op code | u32 request id | { u16 tag | u32 length | bytes }*
//
// Field values are opaque bytes (paths travel as bytes, never re-encoded); the typed helpers
// check exact sizes. A message never exceeds kMaxMessageSize bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::privileged {

inline constexpr std::size_t kMaxMessageSize = 64 * 1024;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kFieldHeaderSize = 6;
// Real messages carry a handful of fields; the cap keeps the duplicate check cheap.
inline constexpr std::size_t kMaxFields = 64;

struct TlvField {
    std::uint16_t tag = 0;
    std::string value;
};

enum class TlvDecodeStatus {
    ok,
    tooShort,       // fewer bytes than the header
    tooLarge,       // more than kMaxMessageSize bytes
    truncatedField, // a field header or value runs past the end
    duplicateField, // a tag appears twice
    tooManyFields,  // more than kMaxFields fields
};

const char* tlvDecodeStatusText(TlvDecodeStatus status);

class TlvMessage {
public:
    TlvMessage() = default;
    TlvMessage(std::uint16_t protocolVersion, std::uint16_t op, std::uint32_t requestId)
        : protocolVersion_(protocolVersion), op_(op), requestId_(requestId)
    {
    }

    std::uint16_t protocolVersion() const { return protocolVersion_; }
    std::uint16_t op() const { return op_; }
    std::uint32_t requestId() const { return requestId_; }
    void setProtocolVersion(std::uint16_t v) { protocolVersion_ = v; }
    void setOp(std::uint16_t op) { op_ = op; }
    void setRequestId(std::uint32_t id) { requestId_ = id; }

    // Setting a tag that is already present replaces its value.
    void setBytes(std::uint16_t tag, std::string_view bytes);
    void setU32(std::uint16_t tag, std::uint32_t value);
    void setI64(std::uint16_t tag, std::int64_t value);
    void setBool(std::uint16_t tag, bool value);

    bool has(std::uint16_t tag) const { return find(tag) != nullptr; }
    const std::string* find(std::uint16_t tag) const;
    std::optional<std::uint32_t> u32(std::uint16_t tag) const;
    std::optional<std::int64_t> i64(std::uint16_t tag) const;
    std::optional<bool> boolean(std::uint16_t tag) const; // exactly one byte, 0 or 1
    const std::vector<TlvField>& fields() const { return fields_; }

    // Size of the encoded message.
    std::size_t encodedSize() const;
    // Appends the encoding to out. False (out unchanged) when it would exceed kMaxMessageSize.
    bool encode(std::string& out) const;
    static TlvDecodeStatus decode(std::string_view bytes, TlvMessage& out);
    // Reads only the header of a message that may be damaged or truncated; false when shorter
    // than the header.
    static bool peekHeader(std::string_view bytes, TlvMessage& out);

private:
    std::uint16_t protocolVersion_ = 0;
    std::uint16_t op_ = 0;
    std::uint32_t requestId_ = 0;
    std::vector<TlvField> fields_;
};

} // namespace platform::privileged

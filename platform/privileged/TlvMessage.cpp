#include "platform/privileged/TlvMessage.h"

#include <type_traits>

namespace platform::privileged {

namespace {

template <class T>
void putLe(std::string& out, T value)
{
    using U = std::make_unsigned_t<T>;
    auto u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

template <class T>
T getLe(std::string_view bytes, std::size_t at)
{
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        u |= static_cast<U>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return static_cast<T>(u);
}

template <class T>
std::string encodeLe(T value)
{
    std::string s;
    putLe(s, value);
    return s;
}

} // namespace

const char* tlvDecodeStatusText(TlvDecodeStatus status)
{
    switch (status) {
    case TlvDecodeStatus::ok: return "ok";
    case TlvDecodeStatus::tooShort: return "message shorter than its header";
    case TlvDecodeStatus::tooLarge: return "message larger than the limit";
    case TlvDecodeStatus::truncatedField: return "field runs past the end of the message";
    case TlvDecodeStatus::duplicateField: return "field appears twice";
    case TlvDecodeStatus::tooManyFields: return "too many fields";
    }
    return "unknown";
}

void TlvMessage::setBytes(std::uint16_t tag, std::string_view bytes)
{
    for (auto& f : fields_) {
        if (f.tag == tag) {
            f.value.assign(bytes);
            return;
        }
    }
    fields_.push_back({tag, std::string(bytes)});
}

void TlvMessage::setU32(std::uint16_t tag, std::uint32_t value) { setBytes(tag, encodeLe(value)); }
void TlvMessage::setI64(std::uint16_t tag, std::int64_t value) { setBytes(tag, encodeLe(value)); }
void TlvMessage::setBool(std::uint16_t tag, bool value)
{
    setBytes(tag, std::string(1, value ? '\1' : '\0'));
}

const std::string* TlvMessage::find(std::uint16_t tag) const
{
    for (const auto& f : fields_) {
        if (f.tag == tag)
            return &f.value;
    }
    return nullptr;
}

std::optional<std::uint32_t> TlvMessage::u32(std::uint16_t tag) const
{
    const auto* v = find(tag);
    if (!v || v->size() != sizeof(std::uint32_t))
        return std::nullopt;
    return getLe<std::uint32_t>(*v, 0);
}

std::optional<std::int64_t> TlvMessage::i64(std::uint16_t tag) const
{
    const auto* v = find(tag);
    if (!v || v->size() != sizeof(std::int64_t))
        return std::nullopt;
    return getLe<std::int64_t>(*v, 0);
}

std::optional<bool> TlvMessage::boolean(std::uint16_t tag) const
{
    const auto* v = find(tag);
    if (!v || v->size() != 1 || static_cast<unsigned char>((*v)[0]) > 1)
        return std::nullopt;
    return (*v)[0] == '\1';
}

std::size_t TlvMessage::encodedSize() const
{
    std::size_t size = kHeaderSize;
    for (const auto& f : fields_)
        size += kFieldHeaderSize + f.value.size();
    return size;
}

bool TlvMessage::encode(std::string& out) const
{
    const std::size_t size = encodedSize();
    if (size > kMaxMessageSize || fields_.size() > kMaxFields)
        return false;
    out.reserve(out.size() + size);
    putLe(out, protocolVersion_);
    putLe(out, op_);
    putLe(out, requestId_);
    for (const auto& f : fields_) {
        putLe(out, f.tag);
        putLe(out, static_cast<std::uint32_t>(f.value.size()));
        out.append(f.value);
    }
    return true;
}

bool TlvMessage::peekHeader(std::string_view bytes, TlvMessage& out)
{
    if (bytes.size() < kHeaderSize)
        return false;
    out = TlvMessage(getLe<std::uint16_t>(bytes, 0), getLe<std::uint16_t>(bytes, 2),
                     getLe<std::uint32_t>(bytes, 4));
    return true;
}

TlvDecodeStatus TlvMessage::decode(std::string_view bytes, TlvMessage& out)
{
    if (bytes.size() > kMaxMessageSize)
        return TlvDecodeStatus::tooLarge;
    TlvMessage message;
    if (!peekHeader(bytes, message))
        return TlvDecodeStatus::tooShort;
    std::size_t at = kHeaderSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < kFieldHeaderSize)
            return TlvDecodeStatus::truncatedField;
        const auto tag = getLe<std::uint16_t>(bytes, at);
        const auto length = getLe<std::uint32_t>(bytes, at + 2);
        at += kFieldHeaderSize;
        if (length > bytes.size() - at)
            return TlvDecodeStatus::truncatedField;
        if (message.fields_.size() == kMaxFields)
            return TlvDecodeStatus::tooManyFields;
        if (message.has(tag))
            return TlvDecodeStatus::duplicateField;
        message.fields_.push_back({tag, std::string(bytes.substr(at, length))});
        at += length;
    }
    out = std::move(message);
    return TlvDecodeStatus::ok;
}

} // namespace platform::privileged

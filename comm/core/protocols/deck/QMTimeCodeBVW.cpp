#include "comm/core/protocols/deck/QMTimeCodeBVW.h"

namespace {

std::uint64_t fromBCD(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return (b >> 4) * 10u + (b & 0x0Fu);
}

char toBCD(std::uint64_t value)
{
    return static_cast<char>((((value / 10) & 0x0F) << 4) | (value % 10));
}

} // namespace

std::optional<QMTimeCode> timeCodeFromBVWData(QByteArrayView data)
{
    if (data.size() != 4)
        return std::nullopt;
    return QMTimeCode::timecodeWithFrames(fromBCD(data[0]), fromBCD(data[1]), fromBCD(data[2]), fromBCD(data[3]));
}

void appendBVWData(QByteArray& out, const QMTimeCode& timeCode)
{
    out.append(toBCD(timeCode.frames()));
    out.append(toBCD(timeCode.seconds()));
    out.append(toBCD(timeCode.minutes()));
    out.append(toBCD(timeCode.hours()));
}

QByteArray bvwData(const QMTimeCode& timeCode)
{
    QByteArray out;
    out.reserve(4);
    appendBVWData(out, timeCode);
    return out;
}

QMTimeCode qmTimeCodeFromVariant(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QMTimeCode>())
        return value.value<QMTimeCode>();
    return QMTimeCode::zeroTime();
}

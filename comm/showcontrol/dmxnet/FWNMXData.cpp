#include "comm/showcontrol/dmxnet/FWNMXData.h"

#include "platform/foundation/Exception.h"

namespace {

void requireInBounds(const QByteArray& data, std::size_t index)
{
    if (index >= std::size_t(data.size()))
        platform::Exception::raise(QString::fromLatin1(platform::kInternalInconsistencyException),
                                   QStringLiteral("DMX channel not within bounds of data"));
}

} // namespace

namespace FWNMXData {

std::uint8_t valueOfChannel(const QByteArray& data, std::size_t index)
{
    requireInBounds(data, index);
    return std::uint8_t(data[qsizetype(index)]);
}

void setValueOfChannel(QByteArray& data, std::uint8_t value, std::size_t index)
{
    requireInBounds(data, index);
    data[qsizetype(index)] = char(value);
}

} // namespace FWNMXData

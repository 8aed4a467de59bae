// The XML reader every document and configuration file goes through, with a small nesting
// limit so deep inputs hit it.
#include "platform/foundation/Xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    platform::Error error;
    platform::XmlReadLimits limits;
    limits.maxDepth = 32;
    if (auto root = platform::readXml(bytes, &error, limits))
        platform::readXml(platform::writeXml(*root), &error, limits);
    return 0;
}

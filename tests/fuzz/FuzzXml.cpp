// The XML reader every document and configuration file goes through, with a small nesting
// limit so deep inputs hit it. The direct reader of plain documents must build the tree the
// general reader builds, or decline.
#include "platform/foundation/Xml.h"
#include "platform/foundation/XmlReading.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    platform::Error error;
    platform::XmlReadLimits limits;
    limits.maxDepth = 32;
    if (auto plain = platform::XmlReading::readPlain(bytes, limits.maxDepth)) {
        platform::XmlReadFailure failure;
        if (platform::XmlReading::readStream(bytes, limits, failure) != plain)
            std::abort();
    }
    if (auto root = platform::readXml(bytes, &error, limits))
        platform::readXml(platform::writeXml(*root), &error, limits);
    return 0;
}

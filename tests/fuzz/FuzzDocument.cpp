// The document reader: XML into values (dictionaries, arrays, numbers, dates, colours, data).
// Bad documents throw; anything else escaping is a fault.
#include "app/serialization/QMXMLDocument.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QMXMLValue value = QMXMLDocument::deserialize(bytes);
        try {
            QMXMLDocument::serialize(value);
        } catch (const std::exception&) {
        }
    } catch (const std::exception&) {
    }
    return 0;
}

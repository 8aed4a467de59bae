// Feed framing: the first byte picks the framing (none, start/end with the next two bytes as
// start and end, or lines), the rest arrives in reads cut at each 0xFF byte.
#include "comm/showcontrol/feeds/QMFeedFraming.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    QMFeedFraming framing;
    framing.kind = static_cast<QMFeedFraming::Kind>(data[0] % 3);
    framing.start = data[1];
    framing.end = data[2];
    QByteArray buffer;
    std::size_t from = 3;
    for (std::size_t i = 3; i <= size; ++i) {
        if (i < size && data[i] != 0xFF)
            continue;
        buffer.append(reinterpret_cast<const char*>(data + from), qsizetype(i - from));
        from = i + 1;
        QList<QByteArray> frames;
        QMCutFeedFrames(buffer, framing, frames);
        if (buffer.size() > kQMFeedMaxBufferedBytes)
            std::abort();
        for (const QByteArray& frame : frames)
            if (frame.isEmpty())
                std::abort();
    }
    return 0;
}

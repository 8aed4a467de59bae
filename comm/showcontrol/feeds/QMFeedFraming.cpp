#include "comm/showcontrol/feeds/QMFeedFraming.h"

bool QMCutFeedFrames(QByteArray& buffer, const QMFeedFraming& framing, QList<QByteArray>& frames)
{
    // One pass: `consumed` is where the bytes not yet removed begin.
    qsizetype consumed = 0;
    if (framing.kind == QMFeedFraming::Kind::StartEnd) {
        qsizetype open = -1;
        for (qsizetype i = 0; i < buffer.size(); ++i) {
            const auto byte = std::uint8_t(buffer[i]);
            if (byte == framing.start) {
                open = i;
            } else if (byte == framing.end) {
                if (open >= 0)
                    frames.append(buffer.mid(open, i - open + 1));
                consumed = i + 1;
                open = -1;
            }
        }
    } else if (framing.kind == QMFeedFraming::Kind::Line) {
        for (qsizetype i = 0; i < buffer.size(); ++i) {
            if (buffer[i] != '\r')
                continue;
            if (i > consumed)
                frames.append(buffer.mid(consumed, i - consumed + 1));
            consumed = i + 1;
        }
    } else {
        consumed = buffer.size();
    }
    buffer.remove(0, consumed);
    if (buffer.size() > kQMFeedMaxBufferedBytes) {
        buffer.clear();
        return false;
    }
    return true;
}

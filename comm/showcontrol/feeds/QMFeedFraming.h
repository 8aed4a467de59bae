#pragma once
// How a feed cuts its byte stream into frames. Start/end framing delivers each frame from its
// start byte through its end byte: a second start byte drops the partial frame before it, bytes
// outside frames are discarded with the next end byte, and bytes after the last end byte wait
// for the next read. Line framing delivers every non-empty run of bytes through a CR. Bytes that
// never complete a frame are bounded: past kMaxBufferedBytes the buffer is dropped.
#include <QByteArray>
#include <QList>

#include <cstdint>

struct QMFeedFraming {
    enum class Kind { None, StartEnd, Line };
    Kind kind = Kind::None;
    std::uint8_t start = 0;
    std::uint8_t end = 0;
};

inline constexpr qsizetype kQMFeedMaxBufferedBytes = 64 * 1024;

// Removes every complete frame from buffer, in stream order, and appends it to frames. Answers
// false when what remained exceeded the cap and was dropped.
bool QMCutFeedFrames(QByteArray& buffer, const QMFeedFraming& framing, QList<QByteArray>& frames);

#pragma once
// What a virtual card put on air, read from its frame log while the program runs.

#include "platform/decklink/virtual/FrameLog.h"

#include <QFile>
#include <QString>

#include <cstring>
#include <vector>

namespace e2e {

using platform::decklink::FrameLogRecord;

inline std::vector<FrameLogRecord> readFrameLog(const QString& path)
{
    std::vector<FrameLogRecord> records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    const QByteArray bytes = file.readAll();
    records.resize(size_t(bytes.size()) / sizeof(FrameLogRecord));
    if (!records.empty())
        std::memcpy(records.data(), bytes.constData(), records.size() * sizeof(FrameLogRecord));
    return records;
}

// The barcodes on air from the first period at or after `fromTick`, one per period (-1: none).
inline std::vector<int64_t> barcodesFrom(const std::vector<FrameLogRecord>& records, int64_t fromTick)
{
    std::vector<int64_t> codes;
    for (const FrameLogRecord& r : records)
        if (r.tick >= fromTick)
            codes.push_back(r.barcode);
    return codes;
}

} // namespace e2e

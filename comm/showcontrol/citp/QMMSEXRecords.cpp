#include "comm/showcontrol/citp/QMMSEXRecords.h"

namespace {

// A uint8 form of a 16-bit count saturates rather than wrapping (256 would read as 0).
std::uint8_t saturated8(std::uint16_t value)
{
    return value > 0xff ? 0xff : std::uint8_t(value);
}

} // namespace

MSEXLibraryId CITPReadLibraryId(const QByteArray& data, CITPCursor* cursor)
{
    MSEXLibraryId id;
    id.level = CITPReadUInt8(data, cursor);
    id.level1 = CITPReadUInt8(data, cursor);
    id.level2 = CITPReadUInt8(data, cursor);
    id.level3 = CITPReadUInt8(data, cursor);
    return id;
}

void CITPWriteLibraryId(CITPWriter& writer, const MSEXLibraryId& id)
{
    writer.u8(id.level);
    writer.u8(id.level1);
    writer.u8(id.level2);
    writer.u8(id.level3);
}

std::optional<QMMSEXLayerStatus> QMMSEXLayerStatus::layerStatusForData(const QByteArray& data, const QMMSEXHeader& header, CITPCursor* cursor)
{
    QMMSEXLayerStatus s;
    s.layerNumber_ = CITPReadUInt8(data, cursor);
    s.physicalOutput_ = CITPReadUInt8(data, cursor);
    if (header.is12()) {
        s.mediaLibraryType_ = CITPReadUInt8(data, cursor);
        s.mediaLibraryId_ = CITPReadLibraryId(data, cursor);
    } else {
        s.mediaLibraryNumber_ = CITPReadUInt8(data, cursor);
    }
    s.mediaNumber_ = CITPReadUInt8(data, cursor);
    s.mediaName_ = CITPReadUCS2String(data, cursor).value_or(QString());
    s.mediaPosition_ = CITPReadUInt32(data, cursor);
    s.mediaLength_ = CITPReadUInt32(data, cursor);
    s.mediaFPS_ = CITPReadUInt8(data, cursor);
    s.layerStatusFlags_ = CITPReadUInt32(data, cursor);
    if (cursor->overrun)
        return std::nullopt;
    return s;
}

void QMMSEXLayerStatus::appendData(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u8(layerNumber_);
    w.u8(physicalOutput_);
    if (header.is12()) {
        w.u8(mediaLibraryType_);
        CITPWriteLibraryId(w, mediaLibraryId_);
    } else {
        w.u8(mediaLibraryNumber_);
    }
    w.u8(mediaNumber_);
    w.text16(mediaName_);
    w.u32(mediaPosition_);
    w.u32(mediaLength_);
    w.u8(mediaFPS_);
    w.u32(layerStatusFlags_);
}

QByteArray QMMSEXLayerStatus::dataForHeader(const QMMSEXHeader& header) const
{
    QByteArray out;
    appendData(out, header);
    return out;
}

std::optional<QMMSEXElementLibraryInfo> QMMSEXElementLibraryInfo::libraryForData(const QByteArray& data, const QMMSEXHeader& header, CITPCursor* cursor)
{
    QMMSEXElementLibraryInfo l;
    if (header.is10())
        l.number_ = CITPReadUInt8(data, cursor);
    else
        l.libraryId_ = CITPReadLibraryId(data, cursor);
    if (header.is12())
        l.serialNumber_ = CITPReadUInt32(data, cursor);
    l.dmxRangeMin_ = CITPReadUInt8(data, cursor);
    l.dmxRangeMax_ = CITPReadUInt8(data, cursor);
    l.name_ = CITPReadUCS2String(data, cursor).value_or(QString());
    if (header.is12()) {
        l.libraryCount_ = CITPReadUInt16(data, cursor);
        l.elementCount_ = CITPReadUInt16(data, cursor);
    } else {
        if (header.is11())
            l.libraryCount_ = CITPReadUInt8(data, cursor);
        l.elementCount_ = CITPReadUInt8(data, cursor);
    }
    if (cursor->overrun)
        return std::nullopt;
    return l;
}

void QMMSEXElementLibraryInfo::appendData(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    if (header.is10())
        w.u8(number_);
    else
        CITPWriteLibraryId(w, libraryId_);
    if (header.is12())
        w.u32(serialNumber_);
    w.u8(dmxRangeMin_);
    w.u8(dmxRangeMax_);
    w.text16(name_);
    if (header.is12()) {
        w.u16(libraryCount_);
        w.u16(elementCount_);
    } else {
        if (header.is11())
            w.u8(saturated8(libraryCount_));
        w.u8(saturated8(elementCount_));
    }
}

QByteArray QMMSEXElementLibraryInfo::dataForHeader(const QMMSEXHeader& header) const
{
    QByteArray out;
    appendData(out, header);
    return out;
}

std::optional<QMMSEXElementMediaInfo> QMMSEXElementMediaInfo::mediaForData(const QByteArray& data, const QMMSEXHeader& header, CITPCursor* cursor)
{
    QMMSEXElementMediaInfo m;
    m.mediaNumber_ = CITPReadUInt8(data, cursor);
    if (header.is12())
        m.serialNumber_ = CITPReadUInt32(data, cursor);
    m.dmxRangeMin_ = CITPReadUInt8(data, cursor);
    m.dmxRangeMax_ = CITPReadUInt8(data, cursor);
    m.mediaName_ = CITPReadUCS2String(data, cursor).value_or(QString());
    m.mediaVersionTimestamp_ = CITPReadUInt64(data, cursor);
    m.mediaWidth_ = CITPReadUInt16(data, cursor);
    m.mediaHeight_ = CITPReadUInt16(data, cursor);
    m.mediaLength_ = CITPReadUInt32(data, cursor);
    m.mediaFPS_ = CITPReadUInt8(data, cursor);
    if (cursor->overrun)
        return std::nullopt;
    return m;
}

void QMMSEXElementMediaInfo::appendData(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u8(mediaNumber_);
    if (header.is12())
        w.u32(serialNumber_);
    w.u8(dmxRangeMin_);
    w.u8(dmxRangeMax_);
    w.text16(mediaName_);
    w.u64(mediaVersionTimestamp_);
    w.u16(mediaWidth_);
    w.u16(mediaHeight_);
    w.u32(mediaLength_);
    w.u8(mediaFPS_);
}

QByteArray QMMSEXElementMediaInfo::dataForHeader(const QMMSEXHeader& header) const
{
    QByteArray out;
    appendData(out, header);
    return out;
}

#pragma once
// The records inside MSEX messages: one layer of LSta, one library of ELIn, one element of MEIn.
// Each is written for the enclosing message's MSEX version and read with the same cursor as the
// message around it, which it leaves after its own last field.
#include "comm/showcontrol/citp/QMCITPHeader.h"

#include <QString>

#include <cstdint>
#include <optional>

// A library's place in the library tree: the depth, then one number per level.
struct MSEXLibraryId {
    std::uint8_t level = 0;
    std::uint8_t level1 = 0;
    std::uint8_t level2 = 0;
    std::uint8_t level3 = 0;
    bool operator==(const MSEXLibraryId&) const = default;
};

MSEXLibraryId CITPReadLibraryId(const QByteArray& data, CITPCursor* cursor);
void CITPWriteLibraryId(CITPWriter& writer, const MSEXLibraryId& id);

// The most items a count field can describe: 255 for a uint8 count, 65535 for a uint16 one.
// Writers saturate the count there and write only that many items, so the two always agree.
inline qsizetype CITPWritableCount(qsizetype items, bool wide)
{
    const qsizetype limit = wide ? 0xffff : 0xff;
    return items < limit ? items : limit;
}

class QMMSEXLayerStatus {
    QM_CITP_PROPERTY(std::uint8_t, layerNumber, setLayerNumber, 0)
    QM_CITP_PROPERTY(std::uint8_t, physicalOutput, setPhysicalOutput, 0)
    QM_CITP_PROPERTY(std::uint8_t, mediaLibraryNumber, setMediaLibraryNumber, 0)
    QM_CITP_PROPERTY(std::uint8_t, mediaLibraryType, setMediaLibraryType, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, mediaLibraryId, setMediaLibraryId, {})
    QM_CITP_PROPERTY(std::uint8_t, mediaNumber, setMediaNumber, 0)
    QM_CITP_PROPERTY(QString, mediaName, setMediaName, {})
    QM_CITP_PROPERTY(std::uint32_t, mediaPosition, setMediaPosition, 0)
    QM_CITP_PROPERTY(std::uint32_t, mediaLength, setMediaLength, 0)
    QM_CITP_PROPERTY(std::uint8_t, mediaFPS, setMediaFPS, 0)
    QM_CITP_PROPERTY(std::uint32_t, layerStatusFlags, setLayerStatusFlags, 0)
public:
    static std::optional<QMMSEXLayerStatus> layerStatusForData(const QByteArray& data, const QMMSEXHeader& header, CITPCursor* cursor);
    void appendData(QByteArray& out, const QMMSEXHeader& header) const;
    QByteArray dataForHeader(const QMMSEXHeader& header) const;
};

class QMMSEXElementLibraryInfo {
    QM_CITP_PROPERTY(std::uint8_t, number, setNumber, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, libraryId, setLibraryId, {})
    QM_CITP_PROPERTY(std::uint32_t, serialNumber, setSerialNumber, 0)
    QM_CITP_PROPERTY(std::uint8_t, dmxRangeMin, setDmxRangeMin, 0)
    QM_CITP_PROPERTY(std::uint8_t, dmxRangeMax, setDmxRangeMax, 0)
    QM_CITP_PROPERTY(QString, name, setName, {})
    QM_CITP_PROPERTY(std::uint16_t, libraryCount, setLibraryCount, 0)
    QM_CITP_PROPERTY(std::uint16_t, elementCount, setElementCount, 0)
public:
    static std::optional<QMMSEXElementLibraryInfo> libraryForData(const QByteArray& data, const QMMSEXHeader& header, CITPCursor* cursor);
    void appendData(QByteArray& out, const QMMSEXHeader& header) const;
    QByteArray dataForHeader(const QMMSEXHeader& header) const;
};

class QMMSEXElementMediaInfo {
    QM_CITP_PROPERTY(std::uint8_t, mediaNumber, setMediaNumber, 0)
    QM_CITP_PROPERTY(std::uint32_t, serialNumber, setSerialNumber, 0)
    QM_CITP_PROPERTY(std::uint8_t, dmxRangeMin, setDmxRangeMin, 0)
    QM_CITP_PROPERTY(std::uint8_t, dmxRangeMax, setDmxRangeMax, 0)
    QM_CITP_PROPERTY(QString, mediaName, setMediaName, {})
    QM_CITP_PROPERTY(std::uint64_t, mediaVersionTimestamp, setMediaVersionTimestamp, 0)
    QM_CITP_PROPERTY(std::uint16_t, mediaWidth, setMediaWidth, 0)
    QM_CITP_PROPERTY(std::uint16_t, mediaHeight, setMediaHeight, 0)
    QM_CITP_PROPERTY(std::uint32_t, mediaLength, setMediaLength, 0)
    QM_CITP_PROPERTY(std::uint8_t, mediaFPS, setMediaFPS, 0)
public:
    static std::optional<QMMSEXElementMediaInfo> mediaForData(const QByteArray& data, const QMMSEXHeader& header, CITPCursor* cursor);
    void appendData(QByteArray& out, const QMMSEXHeader& header) const;
    QByteArray dataForHeader(const QMMSEXHeader& header) const;
};

#include "comm/showcontrol/citp/QMCITPHeader.h"

bool QMCITPHeader::readCITP(const QByteArray& data)
{
    CITPCursor cursor;
    if (CITPReadUInt32(data, &cursor) != kCITPCookie || cursor.overrun)
        return false;
    cookie_ = kCITPCookie;
    versionMajor_ = CITPReadUInt8(data, &cursor);
    versionMinor_ = CITPReadUInt8(data, &cursor);
    requestIndex_ = CITPReadUInt16(data, &cursor);
    messageSize_ = CITPReadUInt32(data, &cursor);
    messagePartCount_ = CITPReadUInt16(data, &cursor);
    messagePart_ = CITPReadUInt16(data, &cursor);
    citpContentType_ = CITPReadUInt32(data, &cursor);
    return !cursor.overrun;
}

std::shared_ptr<QMCITPHeader> QMCITPHeader::headerWithData(const QByteArray& data)
{
    auto header = std::make_shared<QMCITPHeader>();
    return header->readCITP(data) ? header : nullptr;
}

QByteArray QMCITPHeader::data() const
{
    QByteArray out;
    out.reserve(QMMSEXHeader::kLength);
    CITPWriter w(out);
    w.u32(cookie_);
    w.u8(versionMajor_);
    w.u8(versionMinor_);
    w.u16(requestIndex_);
    w.u32(messageSize_);
    w.u16(messagePartCount_);
    w.u16(messagePart_);
    w.u32(citpContentType_);
    return out;
}

std::shared_ptr<QMPINFHeader> QMPINFHeader::headerWithData(const QByteArray& data)
{
    auto header = std::make_shared<QMPINFHeader>();
    if (!header->readCITP(data))
        return nullptr;
    CITPCursor cursor{kLength - 4};
    header->pinfContentType_ = CITPReadUInt32(data, &cursor);
    return cursor.overrun ? nullptr : header;
}

QByteArray QMPINFHeader::data() const
{
    QByteArray out = QMCITPHeader::data();
    CITPWriter(out).u32(pinfContentType_);
    return out;
}

std::shared_ptr<QMMSEXHeader> QMMSEXHeader::headerWithData(const QByteArray& data)
{
    auto header = std::make_shared<QMMSEXHeader>();
    if (!header->readCITP(data))
        return nullptr;
    CITPCursor cursor{QMCITPHeader::kLength};
    header->msexVersionMajor_ = CITPReadUInt8(data, &cursor);
    header->msexVersionMinor_ = CITPReadUInt8(data, &cursor);
    header->msexContentType_ = CITPReadUInt32(data, &cursor);
    return cursor.overrun ? nullptr : header;
}

QByteArray QMMSEXHeader::data() const
{
    QByteArray out = QMCITPHeader::data();
    CITPWriter w(out);
    w.u8(msexVersionMajor_);
    w.u8(msexVersionMinor_);
    w.u32(msexContentType_);
    return out;
}

#include "comm/showcontrol/citp/QMMSEXMessages.h"

#include "comm/core/QMCommLog.h"

#include <QStringList>

namespace {

// A count field: uint16 at 1.2 and later, uint8 before.
qsizetype readCount(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    return header.is12() ? CITPReadUInt16(data, cursor) : CITPReadUInt8(data, cursor);
}

// Writes the (saturated) count and answers how many items to write after it.
qsizetype writeCount(CITPWriter& w, qsizetype items, bool wide)
{
    const qsizetype count = CITPWritableCount(items, wide);
    if (wide)
        w.u16(std::uint16_t(count));
    else
        w.u8(std::uint8_t(count));
    return count;
}

// The library a message names: a plain number at 1.0, a library ID from 1.1 on.
void readLibraryRef(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header,
                    std::uint8_t& number, MSEXLibraryId& id)
{
    if (header.is10())
        number = CITPReadUInt8(data, cursor);
    else
        id = CITPReadLibraryId(data, cursor);
}

void writeLibraryRef(CITPWriter& w, const QMMSEXHeader& header, std::uint8_t number, const MSEXLibraryId& id)
{
    if (header.is10())
        w.u8(number);
    else
        CITPWriteLibraryId(w, id);
}

// A counted list of byte-sized numbers (library or element numbers).
void writeByteList(CITPWriter& w, const QList<std::uint8_t>& numbers, bool wide)
{
    const qsizetype count = writeCount(w, numbers.size(), wide);
    for (qsizetype i = 0; i < count; ++i)
        w.u8(numbers[i]);
}

template <class T, class Read>
bool readList(const QByteArray& data, CITPCursor* cursor, qsizetype count, QList<T>& list, Read read)
{
    list.clear();
    for (qsizetype i = 0; i < count && !cursor->overrun; ++i)
        list.append(T(read(data, cursor)));
    return !cursor->overrun;
}

template <class T, class Read>
bool readRecords(const QByteArray& data, CITPCursor* cursor, qsizetype count, QList<T>& list, Read read)
{
    list.clear();
    for (qsizetype i = 0; i < count; ++i) {
        std::optional<T> record = read(data, cursor);
        if (!record)
            return false;
        list.append(std::move(*record));
    }
    return true;
}

// A version component's integer value as its leading digits read ("2rc1" is 2, "x" is 0).
std::uint8_t versionComponent(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype digits = 0;
    while (digits < trimmed.size() && trimmed[digits] >= u'0' && trimmed[digits] <= u'9')
        ++digits;
    return std::uint8_t(trimmed.left(std::min<qsizetype>(digits, 9)).toUInt());
}

const QList<std::uint16_t> kOfferedVersions{0x0100, 0x0101, 0x0102};
const QList<std::uint32_t> kOfferedFormats{kMSEXFormatRGB8, kMSEXFormatJPEG, kMSEXFormatPNG};

} // namespace

// --- layer ---

QMMSEXMessage::QMMSEXMessage(std::uint32_t msexContentType)
{
    auto header = std::make_shared<QMMSEXHeader>();
    header->setCitpContentType(kMSEXCookie);
    header->setMsexContentType(msexContentType);
    setHeader(header);
}

const QMCITPMessageClass& QMMSEXMessage::messageClass()
{
    static const QMCITPMessageClass c{"QMMSEXMessage", kMSEXCookie, true, &QMMSEXMessage::messageWithData};
    return c;
}

std::shared_ptr<QMCITPMessage> QMMSEXMessage::messageWithData(const QByteArray& data)
{
    CITPCursor cursor{22};
    const std::uint32_t code = CITPReadUInt32(data, &cursor);
    const QMCITPMessageClass* leaf = cursor.overrun ? nullptr : classForCookie(code);
    // A layer code here would re-enter a level already passed.
    if (!leaf || leaf->layer || !leaf->reader || code == kCITPCookie)
        return nullptr;
    return leaf->reader(data);
}

std::shared_ptr<QMMSEXHeader> QMMSEXMessage::msexHeader() const
{
    if (auto msex = std::dynamic_pointer_cast<QMMSEXHeader>(header()))
        return msex;
    // A plain CITP header set from outside: write it as MSEX 1.0 of this message's code.
    const auto base = header();
    auto msex = std::make_shared<QMMSEXHeader>();
    msex->setRequestIndex(base->requestIndex());
    msex->setMessageSize(base->messageSize());
    msex->setCitpContentType(kMSEXCookie);
    msex->setMsexContentType(citpClass().protocolCookie);
    return msex;
}

QByteArray QMMSEXMessage::data() const
{
    const auto header = msexHeader();
    QByteArray out = header->data();
    writeFields(out, *header);
    return out;
}

template <class M>
std::shared_ptr<M> QMMSEXMessage::read(const QByteArray& data)
{
    auto header = QMMSEXHeader::headerWithData(data);
    if (!header || header->citpContentType() != kMSEXCookie || header->msexContentType() != M::protocolCookie())
        return nullptr;
    auto message = std::make_shared<M>();
    message->setHeader(header);
    CITPCursor cursor{QMMSEXHeader::kLength};
    QMMSEXMessage& layer = *message;
    if (!layer.readFields(data, &cursor, *header) || cursor.overrun)
        return nullptr;
    return message;
}

#define QM_MSEX_DEFINE(Class, code)                                                                   \
    Class::Class() : QMMSEXMessage(CITPFourCC(code)) {}                                               \
    const QMCITPMessageClass& Class::messageClass()                                                   \
    {                                                                                                 \
        static const QMCITPMessageClass c{#Class, CITPFourCC(code), false,                            \
                                          [](const QByteArray& d) -> std::shared_ptr<QMCITPMessage> { \
                                              return Class::messageWithData(d);                       \
                                          }};                                                         \
        return c;                                                                                     \
    }                                                                                                 \
    std::shared_ptr<Class> Class::messageWithData(const QByteArray& data) { return read<Class>(data); }

QM_MSEX_DEFINE(QMMSEXNackMessage, "Nack")
QM_MSEX_DEFINE(QMMSEXCInfMessage, "CInf")
QM_MSEX_DEFINE(QMMSEXSInfMessage, "SInf")
QM_MSEX_DEFINE(QMMSEXLStaMessage, "LSta")
QM_MSEX_DEFINE(QMMSEXGELIMessage, "GELI")
QM_MSEX_DEFINE(QMMSEXELInMessage, "ELIn")
QM_MSEX_DEFINE(QMMSEXGEInMessage, "GEIn")
QM_MSEX_DEFINE(QMMSEXMEInMessage, "MEIn")
QM_MSEX_DEFINE(QMMSEXGEThMessage, "GETh")
QM_MSEX_DEFINE(QMMSEXEThnMessage, "EThn")

std::vector<const QMCITPMessageClass*> QMMSEXMessage::leafClasses()
{
    return {&QMMSEXNackMessage::messageClass(), &QMMSEXCInfMessage::messageClass(),
            &QMMSEXSInfMessage::messageClass(), &QMMSEXLStaMessage::messageClass(),
            &QMMSEXGELIMessage::messageClass(), &QMMSEXELInMessage::messageClass(),
            &QMMSEXGEInMessage::messageClass(), &QMMSEXMEInMessage::messageClass(),
            &QMMSEXGEThMessage::messageClass(), &QMMSEXEThnMessage::messageClass()};
}

// --- Nack ---

std::shared_ptr<QMMSEXNackMessage> QMMSEXNackMessage::nackMessageForContentType(std::uint32_t contentType)
{
    auto message = std::make_shared<QMMSEXNackMessage>();
    message->setReceivedContentType(contentType);
    return message;
}

bool QMMSEXNackMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader&)
{
    receivedContentType_ = CITPReadUInt32(data, cursor);
    return !cursor->overrun;
}

void QMMSEXNackMessage::writeFields(QByteArray& out, const QMMSEXHeader&) const
{
    CITPWriter(out).u32(receivedContentType_);
}

// --- CInf ---

bool QMMSEXCInfMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader&)
{
    const qsizetype count = CITPReadUInt8(data, cursor);
    return readList(data, cursor, count, supportedMSEXVersions_, CITPReadUInt16);
}

void QMMSEXCInfMessage::writeFields(QByteArray& out, const QMMSEXHeader&) const
{
    CITPWriter w(out);
    w.u8(std::uint8_t(kOfferedVersions.size()));
    for (std::uint16_t v : kOfferedVersions)
        w.u16(v);
}

// --- SInf ---

std::shared_ptr<QMMSEXSInfMessage> QMMSEXSInfMessage::sinfMessageForProductName(const QString& name, const QString& uuid, const QString& productVersion)
{
    auto message = std::make_shared<QMMSEXSInfMessage>();
    message->setProductName(name);
    message->setUuid(uuid);
    const QStringList parts = productVersion.split(QLatin1Char('.'));
    std::uint8_t numbers[3] = {0, 0, 0};
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        numbers[i] = versionComponent(parts[i]);
    message->setProductVersionMajor(numbers[0]);
    message->setProductVersionMinor(numbers[1]);
    message->setProductVersionBugfix(numbers[2]);
    return message;
}

bool QMMSEXSInfMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    if (header.is12()) {
        cursor->length = kUUIDLength;
        uuid_ = CITPReadFixedString(data, cursor).value_or(QString());
    }
    productName_ = CITPReadUCS2String(data, cursor).value_or(QString());
    productVersionMajor_ = CITPReadUInt8(data, cursor);
    productVersionMinor_ = CITPReadUInt8(data, cursor);
    if (header.is12()) {
        productVersionBugfix_ = CITPReadUInt8(data, cursor);
        if (!readList(data, cursor, CITPReadUInt8(data, cursor), supportedMSEXVersions_, CITPReadUInt16))
            return false;
        supportedLibraryTypes_ = CITPReadUInt16(data, cursor);
        if (!readList(data, cursor, CITPReadUInt8(data, cursor), thumbnailFormats_, CITPReadUInt32))
            return false;
        if (!readList(data, cursor, CITPReadUInt8(data, cursor), streamFormats_, CITPReadUInt32))
            return false;
    }
    const qsizetype layers = CITPReadUInt8(data, cursor);
    dmxSources_.clear();
    for (qsizetype i = 0; i < layers && !cursor->overrun; ++i)
        dmxSources_.append(CITPReadUTF8String(data, cursor).value_or(QString()));
    return !cursor->overrun;
}

void QMMSEXSInfMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    if (header.is12()) {
        // Exactly 36 bytes: a longer text is cut, a shorter one padded with zero bytes (which
        // end the text for a reader).
        QByteArray uuid = uuid_.toUtf8().left(kUUIDLength);
        uuid.append(kUUIDLength - uuid.size(), '\0');
        w.bytes(uuid);
    }
    w.text16(productName_);
    w.u8(productVersionMajor_);
    w.u8(productVersionMinor_);
    if (header.is12()) {
        w.u8(productVersionBugfix_);
        w.u8(std::uint8_t(kOfferedVersions.size()));
        for (std::uint16_t v : kOfferedVersions)
            w.u16(v);
        w.u16(supportedLibraryTypes_);
        w.u8(std::uint8_t(kOfferedFormats.size()));
        for (std::uint32_t f : kOfferedFormats)
            w.u32(f);
        // Only the streams there are: a console would ask for the ones listed.
        const qsizetype streams = writeCount(w, streamFormats_.size(), false);
        for (qsizetype i = 0; i < streams; ++i)
            w.u32(streamFormats_[i]);
    }
    const qsizetype layers = writeCount(w, dmxSources_.size(), false);
    for (qsizetype i = 0; i < layers; ++i)
        w.text8(dmxSources_[i]);
}

// --- LSta ---

bool QMMSEXLStaMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    const qsizetype count = CITPReadUInt8(data, cursor);
    return readRecords(data, cursor, count, layerStatuses_, [&](const QByteArray& d, CITPCursor* c) {
        return QMMSEXLayerStatus::layerStatusForData(d, header, c);
    });
}

void QMMSEXLStaMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    const qsizetype count = writeCount(w, layerStatuses_.size(), false);
    for (qsizetype i = 0; i < count; ++i)
        layerStatuses_[i].appendData(out, header);
}

// --- GELI ---

bool QMMSEXGELIMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    libraryType_ = CITPReadUInt8(data, cursor);
    if (!header.is10())
        libraryParentId_ = CITPReadLibraryId(data, cursor);
    return readList(data, cursor, readCount(data, cursor, header), libraryNumbers_, CITPReadUInt8);
}

void QMMSEXGELIMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u8(libraryType_);
    if (!header.is10())
        CITPWriteLibraryId(w, libraryParentId_);
    writeByteList(w, libraryNumbers_, header.is12());
}

// --- ELIn ---

bool QMMSEXELInMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    libraryType_ = CITPReadUInt8(data, cursor);
    const qsizetype count = readCount(data, cursor, header);
    return readRecords(data, cursor, count, libraries_, [&](const QByteArray& d, CITPCursor* c) {
        return QMMSEXElementLibraryInfo::libraryForData(d, header, c);
    });
}

void QMMSEXELInMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u8(libraryType_);
    const qsizetype count = writeCount(w, libraries_.size(), header.is12());
    for (qsizetype i = 0; i < count; ++i)
        libraries_[i].appendData(out, header);
}

// --- GEIn ---

bool QMMSEXGEInMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    libraryType_ = CITPReadUInt8(data, cursor);
    readLibraryRef(data, cursor, header, libraryNumber_, libraryId_);
    return readList(data, cursor, readCount(data, cursor, header), elementNumbers_, CITPReadUInt8);
}

void QMMSEXGEInMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u8(libraryType_);
    writeLibraryRef(w, header, libraryNumber_, libraryId_);
    writeByteList(w, elementNumbers_, header.is12());
}

// --- MEIn ---

bool QMMSEXMEInMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    readLibraryRef(data, cursor, header, libraryNumber_, libraryId_);
    const qsizetype count = readCount(data, cursor, header);
    return readRecords(data, cursor, count, elementMediaInfo_, [&](const QByteArray& d, CITPCursor* c) {
        return QMMSEXElementMediaInfo::mediaForData(d, header, c);
    });
}

void QMMSEXMEInMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    writeLibraryRef(w, header, libraryNumber_, libraryId_);
    const qsizetype count = writeCount(w, elementMediaInfo_.size(), header.is12());
    for (qsizetype i = 0; i < count; ++i)
        elementMediaInfo_[i].appendData(out, header);
}

// --- GETh ---

bool QMMSEXGEThMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    thumbnailFormat_ = CITPReadUInt32(data, cursor);
    thumbnailWidth_ = CITPReadUInt16(data, cursor);
    thumbnailHeight_ = CITPReadUInt16(data, cursor);
    thumbnailFlags_ = CITPReadUInt8(data, cursor);
    libraryType_ = CITPReadUInt8(data, cursor);
    readLibraryRef(data, cursor, header, libraryNumber_, libraryId_);
    return readList(data, cursor, readCount(data, cursor, header), elementNumbers_, CITPReadUInt8);
}

void QMMSEXGEThMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u32(thumbnailFormat_);
    w.u16(thumbnailWidth_);
    w.u16(thumbnailHeight_);
    w.u8(thumbnailFlags_);
    w.u8(libraryType_);
    writeLibraryRef(w, header, libraryNumber_, libraryId_);
    writeByteList(w, elementNumbers_, header.is12());
}

// --- EThn ---

bool QMMSEXEThnMessage::readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header)
{
    libraryType_ = CITPReadUInt8(data, cursor);
    readLibraryRef(data, cursor, header, libraryNumber_, libraryId_);
    elementNumber_ = CITPReadUInt8(data, cursor);
    thumbnailFormat_ = CITPReadUInt32(data, cursor);
    thumbnailWidth_ = CITPReadUInt16(data, cursor);
    thumbnailHeight_ = CITPReadUInt16(data, cursor);
    const qsizetype size = CITPReadUInt16(data, cursor);
    if (cursor->overrun || size > data.size() - cursor->location) {
        cursor->overrun = true;
        return false;
    }
    thumbnailData_ = data.mid(cursor->location, size);
    cursor->location += size;
    return true;
}

void QMMSEXEThnMessage::writeFields(QByteArray& out, const QMMSEXHeader& header) const
{
    CITPWriter w(out);
    w.u8(libraryType_);
    writeLibraryRef(w, header, libraryNumber_, libraryId_);
    w.u8(elementNumber_);
    w.u32(thumbnailFormat_);
    w.u16(thumbnailWidth_);
    w.u16(thumbnailHeight_);
    if (thumbnailData_.size() > kMaxThumbnailBytes) {
        qmcomm::logError(QStringLiteral("thumbnail of %1 bytes does not fit its 16-bit size; sent empty").arg(thumbnailData_.size()));
        w.u16(0);
        return;
    }
    w.u16(std::uint16_t(thumbnailData_.size()));
    w.bytes(thumbnailData_);
}

#pragma once
// The MSEX layer and its ten messages, each read from and written to the layout of its MSEX
// version (1.0, 1.1, or 1.2 and later). The server reads CInf, GELI, GEIn and GETh and sends
// Nack, SInf, LSta, ELIn, MEIn and EThn; every message has both directions.
#include "comm/showcontrol/citp/QMCITPMessage.h"
#include "comm/showcontrol/citp/QMMSEXRecords.h"

#include <QList>

class QMMSEXMessage : public QMCITPMessage {
public:
    static const QMCITPMessageClass& messageClass();
    const QMCITPMessageClass& citpClass() const override { return messageClass(); }
    static std::uint32_t protocolCookie() { return kMSEXCookie; }
    // The ten leaf classes, in registry order.
    static std::vector<const QMCITPMessageClass*> leafClasses();
    // Hands the data to the class registered for the MSEX content type at offset 22.
    static std::shared_ptr<QMCITPMessage> messageWithData(const QByteArray& data);

    std::shared_ptr<QMMSEXHeader> msexHeader() const;
    QByteArray data() const override;

protected:
    // A new MSEX header (version 1.0) with the CITP content type "MSEX" and this MSEX code.
    explicit QMMSEXMessage(std::uint32_t msexContentType);
    // The fields after the 26-byte header; false when they do not fit the data.
    virtual bool readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header) = 0;
    virtual void writeFields(QByteArray& out, const QMMSEXHeader& header) const = 0;

    template <class M>
    static std::shared_ptr<M> read(const QByteArray& data);
};

#define QM_MSEX_MESSAGE(Class, code)                                                                    \
public:                                                                                                 \
    Class();                                                                                            \
    static const QMCITPMessageClass& messageClass();                                                    \
    const QMCITPMessageClass& citpClass() const override { return messageClass(); }                     \
    static std::uint32_t protocolCookie() { return CITPFourCC(code); }                                  \
    static std::shared_ptr<Class> messageWithData(const QByteArray& data);                              \
                                                                                                        \
protected:                                                                                              \
    bool readFields(const QByteArray& data, CITPCursor* cursor, const QMMSEXHeader& header) override;   \
    void writeFields(QByteArray& out, const QMMSEXHeader& header) const override;

class QMMSEXNackMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXNackMessage, "Nack")
    QM_CITP_PROPERTY(std::uint32_t, receivedContentType, setReceivedContentType, 0)
public:
    static std::shared_ptr<QMMSEXNackMessage> nackMessageForContentType(std::uint32_t contentType);
};

// The writer always offers 1.0, 1.1 and 1.2, whatever the list holds.
class QMMSEXCInfMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXCInfMessage, "CInf")
    QM_CITP_PROPERTY(QList<std::uint16_t>, supportedMSEXVersions, setSupportedMSEXVersions, {})
public:
    void addSupportedMSEXVersion(std::uint16_t version) { supportedMSEXVersions_.append(version); }
    void removeAllSupportedMSEXVersions() { supportedMSEXVersions_.clear(); }
};

class QMMSEXSInfMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXSInfMessage, "SInf")
    QM_CITP_PROPERTY(QString, productName, setProductName, {})
    QM_CITP_PROPERTY(QString, uuid, setUuid, {})
    QM_CITP_PROPERTY(std::uint8_t, productVersionMajor, setProductVersionMajor, 0)
    QM_CITP_PROPERTY(std::uint8_t, productVersionMinor, setProductVersionMinor, 0)
    QM_CITP_PROPERTY(std::uint8_t, productVersionBugfix, setProductVersionBugfix, 0)
    QM_CITP_PROPERTY(std::uint16_t, supportedLibraryTypes, setSupportedLibraryTypes, 0)
    QM_CITP_PROPERTY(QList<QString>, dmxSources, setDmxSources, {})
    QM_CITP_PROPERTY(QList<std::uint16_t>, supportedMSEXVersions, setSupportedMSEXVersions, {})
    QM_CITP_PROPERTY(QList<std::uint32_t>, thumbnailFormats, setThumbnailFormats, {})
    QM_CITP_PROPERTY(QList<std::uint32_t>, streamFormats, setStreamFormats, {})
public:
    static constexpr int kUUIDLength = 36;
    // Name, UUID and the version text split at "." (first three components, 8 bits each).
    static std::shared_ptr<QMMSEXSInfMessage> sinfMessageForProductName(const QString& name, const QString& uuid, const QString& productVersion);
    void addDMXSource(const QString& source) { dmxSources_.append(source); }
    void removeAllDMXSources() { dmxSources_.clear(); }
    void addSupportedMSEXVersion(std::uint16_t version) { supportedMSEXVersions_.append(version); }
    void removeAllSupportedMSEXVersions() { supportedMSEXVersions_.clear(); }
    void addThumbnailFormat(std::uint32_t format) { thumbnailFormats_.append(format); }
    void removeAllthumbnailFormats() { thumbnailFormats_.clear(); }
    void addStreamFormat(std::uint32_t format) { streamFormats_.append(format); }
    void removeAllStreamFormats() { streamFormats_.clear(); }
};

class QMMSEXLStaMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXLStaMessage, "LSta")
    QM_CITP_PROPERTY(QList<QMMSEXLayerStatus>, layerStatuses, setLayerStatuses, {})
public:
    void addLayerStatus(const QMMSEXLayerStatus& status) { layerStatuses_.append(status); }
    void removeAllLayerStatuses() { layerStatuses_.clear(); }
};

class QMMSEXGELIMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXGELIMessage, "GELI")
    QM_CITP_PROPERTY(std::uint8_t, libraryType, setLibraryType, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, libraryParentId, setLibraryParentId, {})
    QM_CITP_PROPERTY(QList<std::uint8_t>, libraryNumbers, setLibraryNumbers, {})
public:
    void addLibraryNumber(std::uint8_t number) { libraryNumbers_.append(number); }
    void removeAllLibraryNumbers() { libraryNumbers_.clear(); }
};

class QMMSEXELInMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXELInMessage, "ELIn")
    QM_CITP_PROPERTY(std::uint8_t, libraryType, setLibraryType, 0)
    QM_CITP_PROPERTY(QList<QMMSEXElementLibraryInfo>, libraries, setLibraries, {})
public:
    void addLibrary(const QMMSEXElementLibraryInfo& library) { libraries_.append(library); }
    void removeAllLibraries() { libraries_.clear(); }
};

class QMMSEXGEInMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXGEInMessage, "GEIn")
    QM_CITP_PROPERTY(std::uint8_t, libraryType, setLibraryType, 0)
    QM_CITP_PROPERTY(std::uint8_t, libraryNumber, setLibraryNumber, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, libraryId, setLibraryId, {})
    QM_CITP_PROPERTY(QList<std::uint8_t>, elementNumbers, setElementNumbers, {})
public:
    void addElementNumber(std::uint8_t number) { elementNumbers_.append(number); }
    void removeAllElementNumbers() { elementNumbers_.clear(); }
};

class QMMSEXMEInMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXMEInMessage, "MEIn")
    QM_CITP_PROPERTY(std::uint8_t, libraryNumber, setLibraryNumber, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, libraryId, setLibraryId, {})
    QM_CITP_PROPERTY(QList<QMMSEXElementMediaInfo>, elementMediaInfo, setElementMediaInfo, {})
public:
    void addElementMediaInfo(const QMMSEXElementMediaInfo& info) { elementMediaInfo_.append(info); }
    void removeAllElementMediaInfo() { elementMediaInfo_.clear(); }
};

class QMMSEXGEThMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXGEThMessage, "GETh")
    QM_CITP_PROPERTY(std::uint32_t, thumbnailFormat, setThumbnailFormat, 0)
    QM_CITP_PROPERTY(std::uint16_t, thumbnailWidth, setThumbnailWidth, 0)
    QM_CITP_PROPERTY(std::uint16_t, thumbnailHeight, setThumbnailHeight, 0)
    QM_CITP_PROPERTY(std::uint8_t, thumbnailFlags, setThumbnailFlags, 0)
    QM_CITP_PROPERTY(std::uint8_t, libraryType, setLibraryType, 0)
    QM_CITP_PROPERTY(std::uint8_t, libraryNumber, setLibraryNumber, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, libraryId, setLibraryId, {})
    QM_CITP_PROPERTY(QList<std::uint8_t>, elementNumbers, setElementNumbers, {})
public:
    void addElementNumber(std::uint8_t number) { elementNumbers_.append(number); }
    void removeAllElementNumbers() { elementNumbers_.clear(); }
};

// A buffer over 65535 bytes cannot be described by its 16-bit size: the writer then sends an
// empty buffer (logged) rather than a size that disagrees with the bytes.
class QMMSEXEThnMessage : public QMMSEXMessage {
    QM_MSEX_MESSAGE(QMMSEXEThnMessage, "EThn")
    QM_CITP_PROPERTY(std::uint8_t, libraryType, setLibraryType, 0)
    QM_CITP_PROPERTY(std::uint8_t, libraryNumber, setLibraryNumber, 0)
    QM_CITP_PROPERTY(std::uint8_t, elementNumber, setElementNumber, 0)
    QM_CITP_PROPERTY(MSEXLibraryId, libraryId, setLibraryId, {})
    QM_CITP_PROPERTY(std::uint32_t, thumbnailFormat, setThumbnailFormat, 0)
    QM_CITP_PROPERTY(std::uint16_t, thumbnailWidth, setThumbnailWidth, 0)
    QM_CITP_PROPERTY(std::uint16_t, thumbnailHeight, setThumbnailHeight, 0)
    QM_CITP_PROPERTY(QByteArray, thumbnailData, setThumbnailData, {})
public:
    static constexpr qsizetype kMaxThumbnailBytes = 0xffff;
};

#undef QM_MSEX_MESSAGE

// Thumbnail format codes.
inline constexpr std::uint32_t kMSEXFormatRGB8 = CITPFourCC("RGB8");
inline constexpr std::uint32_t kMSEXFormatJPEG = CITPFourCC("JPEG");
inline constexpr std::uint32_t kMSEXFormatPNG = CITPFourCC("PNG ");

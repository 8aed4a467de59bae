#pragma once
// The layer headers: the 20-byte CITP header, the PINF header (24 bytes) and the MSEX header
// (26 bytes), each read from and written to its wire layout.
#include "comm/showcontrol/citp/CITPWire.h"
#include "comm/showcontrol/citp/QMCITPProperty.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

class QMCITPHeader {
    QM_CITP_PROPERTY(std::uint32_t, cookie, setCookie, kCITPCookie)
    QM_CITP_PROPERTY(std::uint8_t, versionMajor, setVersionMajor, 1)
    QM_CITP_PROPERTY(std::uint8_t, versionMinor, setVersionMinor, 0)
    QM_CITP_PROPERTY(std::uint16_t, requestIndex, setRequestIndex, 0)
    QM_CITP_PROPERTY(std::uint32_t, messageSize, setMessageSize, 0)
    QM_CITP_PROPERTY(std::uint16_t, messagePartCount, setMessagePartCount, 1)
    QM_CITP_PROPERTY(std::uint16_t, messagePart, setMessagePart, 0)
    QM_CITP_PROPERTY(std::uint32_t, citpContentType, setCitpContentType, 0)
public:
    static constexpr int kLength = 20;

    QMCITPHeader() = default;
    virtual ~QMCITPHeader() = default;

    // Null unless the data holds a whole header starting with "CITP".
    static std::shared_ptr<QMCITPHeader> headerWithData(const QByteArray& data);
    virtual QByteArray data() const;

protected:
    // Reads the CITP fields; false when the data is too short or the cookie is wrong.
    bool readCITP(const QByteArray& data);
};

class QMPINFHeader : public QMCITPHeader {
    QM_CITP_PROPERTY(std::uint32_t, pinfContentType, setPinfContentType, 0)
public:
    static constexpr int kLength = 24;
    static std::shared_ptr<QMPINFHeader> headerWithData(const QByteArray& data);
    QByteArray data() const override;
};

class QMMSEXHeader : public QMCITPHeader {
    QM_CITP_PROPERTY(std::uint8_t, msexVersionMajor, setMsexVersionMajor, 1)
    QM_CITP_PROPERTY(std::uint8_t, msexVersionMinor, setMsexVersionMinor, 0)
    QM_CITP_PROPERTY(std::uint32_t, msexContentType, setMsexContentType, 0)
public:
    static constexpr int kLength = 26;
    static std::shared_ptr<QMMSEXHeader> headerWithData(const QByteArray& data);
    QByteArray data() const override;

    // The layout a version uses: 1.2 when the major is above 1 or the minor is 2 or more (every
    // later version reads and writes as 1.2); otherwise minor 1 is 1.1 and minor 0 is 1.0.
    bool is12() const { return msexVersionMajor_ > 1 || msexVersionMinor_ >= 2; }
    bool is11() const { return !is12() && msexVersionMinor_ == 1; }
    bool is10() const { return !is12() && msexVersionMinor_ == 0; }
};

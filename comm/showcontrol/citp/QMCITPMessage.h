#pragma once
// One CITP message, the registry of message classes by four-character code, and the PINF layer
// with the two PINF messages the server sends: PLoc (multicast announcement) and PNam (greeting
// on each new connection).
//
// Decoding goes two levels deep: the CITP content type names a layer class (PINF or MSEX), the
// layer's own content type a leaf class. A layer without a reader (PINF: the server never reads
// PINF), an unknown code, or a second-level code that names a layer again decodes to nothing.
#include "comm/showcontrol/citp/QMCITPHeader.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class QMCITPMessage;

// What Objective-C kept as class methods of a message class.
struct QMCITPMessageClass {
    using Reader = std::shared_ptr<QMCITPMessage> (*)(const QByteArray& data);
    const char* name;
    std::uint32_t protocolCookie;
    bool layer;    // a layer (PINF, MSEX) rather than a leaf message
    Reader reader; // null: the class has no reader of its own
};

class QMCITPMessage {
public:
    QMCITPMessage();
    virtual ~QMCITPMessage();
    QMCITPMessage(const QMCITPMessage&) = delete;
    QMCITPMessage& operator=(const QMCITPMessage&) = delete;

    static const QMCITPMessageClass& messageClass();
    virtual const QMCITPMessageClass& citpClass() const { return messageClass(); }
    static std::uint32_t protocolCookie() { return kCITPCookie; }

    // The process-wide registry, holding every built-in class from its first use. Registering a
    // class already present leaves it unchanged.
    static void registerSubclass(const QMCITPMessageClass& messageClass);
    static std::vector<const QMCITPMessageClass*> subclasses();
    static const QMCITPMessageClass* classForCookie(std::uint32_t cookie);

    // Decodes one whole message, header included; null when it is not one this system reads.
    static std::shared_ptr<QMCITPMessage> messageWithData(const QByteArray& data);

    // The headers' bytes and the fields; the base class answers nothing.
    virtual QByteArray data() const { return {}; }
    // Sets the header's message size to the length of data().
    void prepareHeader();

    std::shared_ptr<QMCITPHeader> header() const;
    void setHeader(std::shared_ptr<QMCITPHeader> header);

private:
    mutable std::mutex headerMutex_;
    std::shared_ptr<QMCITPHeader> header_;
};

// The request index of the next sent message: one process-wide counter, incremented before
// use and skipping 0 (65535 is followed by 1), in one atomic step.
std::uint16_t QMCITPNextRequestIndex();
// Sets the counter's current value (the next message gets the value after it).
void QMCITPSetRequestCounter(std::uint16_t value);

class QMPINFMessage : public QMCITPMessage {
public:
    QMPINFMessage();
    static const QMCITPMessageClass& messageClass();
    const QMCITPMessageClass& citpClass() const override { return messageClass(); }
    static std::uint32_t protocolCookie() { return kPINFCookie; }
    std::shared_ptr<QMPINFHeader> pinfHeader() const;
};

class QMPINFPLocMessage : public QMPINFMessage {
    QM_CITP_PROPERTY(std::uint16_t, listeningTCPPort, setListeningTCPPort, 0)
    QM_CITP_PROPERTY(QString, type, setType, {})
    QM_CITP_PROPERTY(QString, name, setName, {})
    QM_CITP_PROPERTY(QString, state, setState, {})
public:
    QMPINFPLocMessage();
    static const QMCITPMessageClass& messageClass();
    const QMCITPMessageClass& citpClass() const override { return messageClass(); }
    static std::uint32_t protocolCookie() { return kPLocCookie; }
    static std::shared_ptr<QMPINFPLocMessage> plocMessageWithType(const QString& type, const QString& name, const QString& state);
    QByteArray data() const override;
};

class QMPINFPNamMessage : public QMPINFMessage {
    QM_CITP_PROPERTY(QString, name, setName, {})
public:
    QMPINFPNamMessage();
    static const QMCITPMessageClass& messageClass();
    const QMCITPMessageClass& citpClass() const override { return messageClass(); }
    static std::uint32_t protocolCookie() { return kPNamCookie; }
    static std::shared_ptr<QMPINFPNamMessage> pnameMessageWithName(const QString& name);
    QByteArray data() const override;
};

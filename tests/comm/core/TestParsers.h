#pragma once
// Parsers used by the tests: one that overrides nothing, and recording parsers for the serial,
// TCP and UDP communicators. Callbacks of the network parsers arrive on the communicator's queue,
// so everything recorded is guarded.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "tests/comm/CommTestSupport.h"

#include <QStringList>

#include <algorithm>
#include <mutex>

class BareParser : public QMProtocolParser {
public:
    static const QMProtocolParserClass& theClass()
    {
        static const QMProtocolParserClassOf<BareParser> c(QStringLiteral("QMProtocolParserBare"));
        return c;
    }
    const QMProtocolParserClass& parserClass() const override { return theClass(); }
};

class SerialRecorderParser : public QMProtocolParser, public QMSerialProtocolParser {
public:
    static const QMProtocolParserClass& theClass()
    {
        static const QMProtocolParserClassOf<SerialRecorderParser> c(QStringLiteral("QMProtocolParserSerialRecorder"));
        return c;
    }
    const QMProtocolParserClass& parserClass() const override { return theClass(); }

    QByteArray received;
    int chunks = 0;
    int connects = 0;
    int disconnects = 0;
    bool onMainThread = true;
    std::optional<std::int32_t> speed, dataBits, parity, stopBits;

    void serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray& data) override;
    void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* h) override
    {
        ++connects;
        h->read();
    }
    void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*) override { ++disconnects; }
    QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator*) override
    {
        return {.speed = speed, .dataBits = dataBits, .parity = parity, .stopBits = stopBits};
    }
};

// Framing is set before the communicator activates; each accepted connection reads headers and
// then payloads alternately when a payload framing is given.
class TcpRecorderParser : public QMProtocolParser, public QMTCPNetworkProtocolParser {
public:
    static const QMProtocolParserClass& theClass()
    {
        static const QMProtocolParserClassOf<TcpRecorderParser> c(QStringLiteral("QMProtocolParserTcpRecorder"));
        return c;
    }
    const QMProtocolParserClass& parserClass() const override { return theClass(); }

    QByteArray headerDelimiter;
    std::uint64_t headerLength = 0;
    QByteArray payloadDelimiter;
    std::uint64_t payloadLength = 0;
    bool withPayload = false;
    double readTimeout = -1;
    std::optional<double> extension;
    bool echo = false;

    mutable std::mutex mutex;
    QStringList events;   // "accept <id>", "header <id> <bytes>", "data <id> <bytes>", "closed <id>", ...
    QList<QByteArray> frames;
    int timeoutQuestions = 0;

    // Searched under the lock: a copy taken under it would still share the list's buffer, and be
    // read after it while the queue appends to (and reallocates) that buffer.
    bool has(const QString& prefix) const
    {
        std::unique_lock l(mutex);
        return std::any_of(events.cbegin(), events.cend(), [&](const QString& e) { return e.startsWith(prefix); });
    }

    QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) override { return {.headerDelimiter = headerDelimiter, .headerLength = headerLength, .payloadDelimiter = payloadDelimiter, .payloadLength = payloadLength}; }
    void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* h, const QString& id) override
    {
        record(QStringLiteral("accept ") + id);
        h->readHeaderOnConnection(id, readTimeout);
    }
    void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* h, const QByteArray& header, const QString& id) override
    {
        record(QStringLiteral("header %1 %2").arg(label(id), QString::fromLatin1(header.toHex())), header);
        if (echo)
            h->writeData(header, id, 5);
        if (withPayload)
            h->readPayloadOnConnection(id, readTimeout);
        else
            h->readHeaderOnConnection(id, readTimeout);
    }
    void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* h, const QByteArray& data, const QString& id) override
    {
        record(QStringLiteral("data %1 %2").arg(label(id), QString::fromLatin1(data.toHex())), data);
        h->readHeaderOnConnection(id, readTimeout);
    }
    void networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator*, const QString& id) override { record(QStringLiteral("closed ") + id); }
    std::optional<double> networkHardwareReadShouldTimeoutFromConnection(QMTCPNetworkHardwareCommunicator*, const QString& id) override
    {
        std::unique_lock l(mutex);
        ++timeoutQuestions;
        events << QStringLiteral("timeout ") + label(id);
        auto answer = extension;
        extension.reset(); // extend once at most
        return answer;
    }
    void networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator* h) override
    {
        record(QStringLiteral("didConnect"));
        h->readHeaderOnConnection(QString(), readTimeout);
    }
    void networkHardwareDidStartAccepting(QMTCPNetworkHardwareCommunicator*) override { record(QStringLiteral("didStartAccepting")); }
    void networkHardwareDidDisconnect(QMTCPNetworkHardwareCommunicator*) override { record(QStringLiteral("didDisconnect")); }

private:
    static QString label(const QString& id) { return id.isNull() ? QStringLiteral("main") : id; }
    void record(const QString& e, const QByteArray& frame = {})
    {
        std::unique_lock l(mutex);
        events << e;
        if (!frame.isNull())
            frames << frame;
    }
};

class UdpRecorderParser : public QMProtocolParser, public QMUDPNetworkProtocolParser {
public:
    static const QMProtocolParserClass& theClass()
    {
        static const QMProtocolParserClassOf<UdpRecorderParser> c(QStringLiteral("QMProtocolParserUdpRecorder"));
        return c;
    }
    const QMProtocolParserClass& parserClass() const override { return theClass(); }

    mutable std::mutex mutex;
    QList<QByteArray> datagrams;
    int connects = 0;
    int disconnects = 0;
    QByteArray answer; // written back for every datagram when set

    void networkHardwareReadData(QMUDPNetworkHardwareCommunicator* h, const QByteArray& data) override
    {
        {
            std::unique_lock l(mutex);
            datagrams << data;
        }
        if (!answer.isEmpty())
            h->writeData(answer, 1);
    }
    void udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override
    {
        std::unique_lock l(mutex);
        ++connects;
    }
    void udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) override
    {
        std::unique_lock l(mutex);
        ++disconnects;
    }
    qsizetype count() const
    {
        std::unique_lock l(mutex);
        return datagrams.size();
    }
};

using commtest::makePair;

#pragma once
// What a parser adopts to receive callbacks from its communicator. A communicator finds the
// protocol by dynamic_cast; a parser that adopts none gets no callbacks (writes still go out).
// Optional operations have defaults: callbacks do nothing, and the questions, grouped into small
// value types (line preferences, framing, identity), leave unset what the parser does not
// say, so the communicator keeps its own value. A parser overrides a group and states what differs.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

class QMSerialHardwareCommunicator;
class QMTCPNetworkHardwareCommunicator;
class QMUDPNetworkHardwareCommunicator;
class QMMidiMessage;

// What a serial parser prefers for the line; an unset value keeps the communicator's own.
struct QMSerialLinePreferences {
    std::optional<std::int32_t> speed;
    std::optional<std::int32_t> dataBits;
    std::optional<std::int32_t> parity;
    std::optional<std::int32_t> stopBits;
    std::optional<std::int32_t> flowControlInput;
    std::optional<std::int32_t> flowControlOutput;
    // Declared for the one parser that wants it; no communicator asks.
    std::optional<bool> swapBlackMagicLines;
};

class QMSerialProtocolParser {
public:
    virtual ~QMSerialProtocolParser() = default;
    virtual void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) = 0;
    virtual void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator*) {}
    virtual void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*) {}
    virtual QMSerialLinePreferences serialLinePreferencesForSerialHardware(QMSerialHardwareCommunicator*) { return {}; }

    // One value of the preferences each.
    std::optional<bool> shouldSwapBlackMagicSerialLinesForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).swapBlackMagicLines; }
    std::optional<std::int32_t> preferredSpeedForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).speed; }
    std::optional<std::int32_t> preferredDataBitsForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).dataBits; }
    std::optional<std::int32_t> preferredParityForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).parity; }
    std::optional<std::int32_t> preferredStopBitsForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).stopBits; }
    std::optional<std::int32_t> preferredHardwareFlowControlInputForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).flowControlInput; }
    std::optional<std::int32_t> preferredHardwareFlowControlOutputForSerialHardware(QMSerialHardwareCommunicator* h) { return serialLinePreferencesForSerialHardware(h).flowControlOutput; }
};

// How TCP reads are cut: for the header and then the payload, a non-empty delimiter wins, else a
// length above 0, else whatever arrives. Asked before every read, so it may follow the parser's state.
struct QMTCPFraming {
    QByteArray headerDelimiter;
    std::uint64_t headerLength = 0;
    QByteArray payloadDelimiter;
    std::uint64_t payloadLength = 0;
};

// Which socket a TCP communicator opens for this parser: its port, and whether it may connect out
// or accept peers (unset: the communicator's own choice).
struct QMTCPIdentity {
    std::optional<std::uint64_t> port;
    std::optional<bool> mayConnect;
    std::optional<bool> mayAccept;
};

// Connection identifiers: "host:port" of an accepted peer; a null QString names the
// communicator's own socket.
class QMTCPNetworkProtocolParser {
public:
    virtual ~QMTCPNetworkProtocolParser() = default;
    virtual QMTCPFraming networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*) { return {}; }
    virtual QMTCPIdentity tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*) { return {}; }
    // Asked when a read or write on a connection times out: seconds by which to extend it (0 or
    // less: let it time out). An event's question, not a setting, so each has its own.
    virtual std::optional<double> networkHardwareReadShouldTimeoutFromConnection(QMTCPNetworkHardwareCommunicator*, const QString&) { return std::nullopt; }
    virtual std::optional<double> networkHardwareWriteShouldTimeoutFromConnection(QMTCPNetworkHardwareCommunicator*, const QString&) { return std::nullopt; }

    virtual void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) = 0;
    virtual void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& header, const QString& connection) = 0;
    virtual void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) = 0;
    virtual void networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator*, const QString&) {}
    virtual void networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator*) {}
    virtual void networkHardwareDidStartAccepting(QMTCPNetworkHardwareCommunicator*) {}
    virtual void networkHardwareDidDisconnect(QMTCPNetworkHardwareCommunicator*) {}

    // One value of the identity each.
    std::optional<std::uint64_t> preferredTCPPortForNetworkHardware(QMTCPNetworkHardwareCommunicator* h) { return tcpIdentityForNetworkHardware(h).port; }
    std::optional<bool> allowTCPSocketConnectToForNetworkHardware(QMTCPNetworkHardwareCommunicator* h) { return tcpIdentityForNetworkHardware(h).mayConnect; }
    std::optional<bool> allowTCPSocketAcceptFromForNetworkHardware(QMTCPNetworkHardwareCommunicator* h) { return tcpIdentityForNetworkHardware(h).mayAccept; }
};

// Which UDP socket a communicator opens for this parser (unset: the communicator's own choice).
struct QMUDPIdentity {
    std::optional<std::uint64_t> port;
    std::optional<bool> mayConnect;
    std::optional<bool> mayListen;
    std::optional<bool> mayListenMulticast;
    std::optional<bool> mayBroadcast;
};

class QMUDPNetworkProtocolParser {
public:
    virtual ~QMUDPNetworkProtocolParser() = default;
    virtual void networkHardwareReadData(QMUDPNetworkHardwareCommunicator*, const QByteArray&) {}
    virtual void udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) {}
    virtual void udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) {}
    virtual QMUDPIdentity udpIdentityForNetworkHardware(QMUDPNetworkHardwareCommunicator*) { return {}; }

    // One value of the identity each.
    std::optional<std::uint64_t> preferredUDPPortForNetworkHardware(QMUDPNetworkHardwareCommunicator* h) { return udpIdentityForNetworkHardware(h).port; }
    std::optional<bool> allowUDPSocketConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator* h) { return udpIdentityForNetworkHardware(h).mayConnect; }
    std::optional<bool> allowUDPSocketListenForNetworkHardware(QMUDPNetworkHardwareCommunicator* h) { return udpIdentityForNetworkHardware(h).mayListen; }
    std::optional<bool> allowUDPSocketMulticastListenForNetworkHardware(QMUDPNetworkHardwareCommunicator* h) { return udpIdentityForNetworkHardware(h).mayListenMulticast; }
    std::optional<bool> allowUDPSocketBroadcastForNetworkHardware(QMUDPNetworkHardwareCommunicator* h) { return udpIdentityForNetworkHardware(h).mayBroadcast; }
};

class QMDMXProtocolParser {
public:
    virtual ~QMDMXProtocolParser() = default;
    // One DMX frame: slot values from index 0 (the first slot after the START code).
    virtual void hardwareReceivedDMXData(const QByteArray& data) = 0;
    // Frames replaced by a newer one before they were compared (a flood outran the parser): a
    // running total.
    virtual std::uint64_t mergedFrameCount() const { return 0; }
};

class QMMIDIProtocolParser {
public:
    virtual ~QMMIDIProtocolParser() = default;
    virtual void hardwareReceivedMIDIMessage(const QMMidiMessage& message) = 0;
};

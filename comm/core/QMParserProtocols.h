#pragma once
// What a parser adopts to receive callbacks from its communicator. A communicator finds the
// protocol by dynamic_cast; a parser that adopts none gets no callbacks (writes still go out).
// Optional operations have defaults: callbacks do nothing, and the questions answer std::nullopt
// for "the parser does not say", so the communicator keeps its own value.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

class QMSerialHardwareCommunicator;
class QMTCPNetworkHardwareCommunicator;
class QMUDPNetworkHardwareCommunicator;
class QMMidiMessage;

class QMSerialProtocolParser {
public:
    virtual ~QMSerialProtocolParser() = default;
    virtual void serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data) = 0;
    virtual void serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator*) {}
    virtual void serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*) {}
    // Declared for the one parser that wants it; no communicator asks.
    virtual std::optional<bool> shouldSwapBlackMagicSerialLinesForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<std::int32_t> preferredSpeedForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<std::int32_t> preferredDataBitsForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<std::int32_t> preferredParityForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<std::int32_t> preferredStopBitsForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<std::int32_t> preferredHardwareFlowControlInputForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<std::int32_t> preferredHardwareFlowControlOutputForSerialHardware(QMSerialHardwareCommunicator*) { return std::nullopt; }
};

// Connection identifiers: "host:port" of an accepted peer; a null QString names the
// communicator's own socket.
class QMTCPNetworkProtocolParser {
public:
    virtual ~QMTCPNetworkProtocolParser() = default;
    // Framing: a non-empty delimiter wins, else a length above 0, else whatever arrives.
    virtual QByteArray networkHeaderDelimiterForNetworkHardware(QMTCPNetworkHardwareCommunicator* hardware) = 0;
    virtual std::uint64_t networkHeaderLengthForNetworkHardware(QMTCPNetworkHardwareCommunicator* hardware) = 0;
    virtual QByteArray networkPayloadDelimiterForNetworkHardware(QMTCPNetworkHardwareCommunicator* hardware) = 0;
    virtual std::uint64_t networkPayloadLengthForNetworkHardware(QMTCPNetworkHardwareCommunicator* hardware) = 0;
    virtual void networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection) = 0;
    virtual void networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& header, const QString& connection) = 0;
    virtual void networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection) = 0;

    virtual void networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator*, const QString&) {}
    // Seconds by which to extend a timed-out operation (0 or less: let it time out).
    virtual std::optional<double> networkHardwareReadShouldTimeoutFromConnection(QMTCPNetworkHardwareCommunicator*, const QString&) { return std::nullopt; }
    virtual std::optional<double> networkHardwareWriteShouldTimeoutFromConnection(QMTCPNetworkHardwareCommunicator*, const QString&) { return std::nullopt; }
    virtual std::optional<std::uint64_t> preferredTCPPortForNetworkHardware(QMTCPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<bool> allowTCPSocketConnectToForNetworkHardware(QMTCPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<bool> allowTCPSocketAcceptFromForNetworkHardware(QMTCPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual void networkHardwareDidConnect(QMTCPNetworkHardwareCommunicator*) {}
    virtual void networkHardwareDidStartAccepting(QMTCPNetworkHardwareCommunicator*) {}
    virtual void networkHardwareDidDisconnect(QMTCPNetworkHardwareCommunicator*) {}
};

class QMUDPNetworkProtocolParser {
public:
    virtual ~QMUDPNetworkProtocolParser() = default;
    virtual void networkHardwareReadData(QMUDPNetworkHardwareCommunicator*, const QByteArray&) {}
    virtual void udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) {}
    virtual void udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) {}
    virtual std::optional<std::uint64_t> preferredUDPPortForNetworkHardware(QMUDPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<bool> allowUDPSocketConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<bool> allowUDPSocketListenForNetworkHardware(QMUDPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<bool> allowUDPSocketMulticastListenForNetworkHardware(QMUDPNetworkHardwareCommunicator*) { return std::nullopt; }
    virtual std::optional<bool> allowUDPSocketBroadcastForNetworkHardware(QMUDPNetworkHardwareCommunicator*) { return std::nullopt; }
};

class QMDMXProtocolParser {
public:
    virtual ~QMDMXProtocolParser() = default;
    // One DMX frame: slot values from index 0 (the first slot after the START code).
    virtual void hardwareReceivedDMXData(const QByteArray& data) = 0;
};

class QMMIDIProtocolParser {
public:
    virtual ~QMMIDIProtocolParser() = default;
    virtual void hardwareReceivedMIDIMessage(const QMMidiMessage& message) = 0;
};

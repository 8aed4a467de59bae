#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/deck/QMDeckCommandTable.h"
#include "comm/core/protocols/deck/QMDeckControlText.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "platform/foundation/Dispatch.h"


#include <array>
#include <cstdlib>

namespace {

using P = QMProtocolParserVDCP;

class VDCPClass : public QMProtocolParserClassOf<QMProtocolParserVDCP> {
public:
    VDCPClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserVDCP")) {}
    QString supportedProtocol() const override { return QStringLiteral("VDCP"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("network-wired"); }
    QString supportedProtocolDescription() const override
    {
        return QStringLiteral("VDCP allows media playback to be controlled using the VDCP protocol, typically from a video switcher.");
    }
    QStringList supportedHardwareCommunicators() const override
    {
        return {QStringLiteral("QMTCPNetworkHardwareCommunicator"), QStringLiteral("QMSerialHardwareCommunicator")};
    }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

// The command table. Groups: 1 immediate, 2 preset and select, 3 sense request, 9 and A
// variable-length cue, B variable-length sense.
const std::array<QMVDCPCommand, 35> kCommands = {{
    {"1", "00", "Stop", "1X00", nullptr, QMApplicationCommandTransportStop},
    {"1", "01", "Play", "1X01", nullptr, QMApplicationCommandTransportPlay},
    {"1", "04", "Still", "1X04", nullptr, QMApplicationCommandTransportPause},
    {"1", "05", "Step", "1X05", &P::handleStep, nullptr},
    {"1", "06", "Continue", "1X06", nullptr, QMApplicationCommandTransportPlay},
    {"1", "07", "Jog", "1X07", &P::handleSeek, nullptr},
    {"1", "08", "Variable Play", "1X08", &P::handleVariPlay, nullptr},
    {"2", "21", "Close Port", "2X21", &P::ackData, nullptr},
    {"2", "22", "Select Port", "2X22", &P::ackData, nullptr},
    {"2", "24", "Play Cue", "2X24", &P::handlePlayCueRequest, nullptr},
    {"2", "25", "Cue With Data", "2X25", &P::handleCueWithDataRequest, nullptr},
    {"2", "43", "Disk Preroll", "2X43", &P::ackData, nullptr},
    {"3", "01", "Open Port", "3X01", &P::handleOpenPort, nullptr},
    {"3", "02", "Next", "3X02", &P::handleNextRequest, nullptr},
    {"3", "03", "Last", "3X03", &P::handleLastRequest, nullptr},
    {"3", "05", "Port Status", "3X05", &P::handlePortStatus, nullptr},
    {"3", "06", "Position Request", "3X06", &P::handlePositionRequest, nullptr},
    {"3", "07", "Active ID Request", "3X07", &P::handleActiveIDRequest, nullptr},
    {"3", "08", "Device Type Request", "3X08", &P::handleDeviceTypeRequest, nullptr},
    {"3", "10", "System Status Request", "3X10", &P::handleSystemStatusRequest, nullptr},
    {"3", "11", "ID List", "3X11", &P::handleIDListRequest, nullptr},
    {"3", "14", "ID Size Request", "3X14", &P::handleIDSizeRequest, nullptr},
    {"3", "16", "ID Request", "3X16", &P::handleIDRequest, nullptr},
    {"3", "25", "Port Status", "3X25", &P::handleMultiplePortStatus, nullptr},
    {"9", "24", "Play Cue (Var Len)", "9X24", &P::handlePlayCueRequestVariableLength, nullptr},
    {"9", "25", "Cue With Data (Var Len)", "9X25", &P::handleCueWithDataRequestVariableLength, nullptr},
    {"A", "24", "Play Cue (Var Len)", "AX24", &P::handlePlayCueRequestVariableLength, nullptr},
    {"A", "25", "Cue With Data (Var Len)", "AX25", &P::handleCueWithDataRequestVariableLength, nullptr},
    {"B", "02", "Next (Var Len)", "BX02", &P::handleNextRequestVariableLength, nullptr},
    {"B", "03", "Last (Var Len)", "BX03", &P::handleLastRequest, nullptr},
    {"B", "07", "Active ID Request (Var Len)", "BX07", &P::handleActiveIDRequestVariableLength, nullptr},
    {"B", "11", "ID List (Var Len)", "BX11", &P::handleIDListRequestVariableLength, nullptr},
    {"B", "14", "ID Size Request (Var Len)", "BX14", &P::handleIDSizeRequest, nullptr},
    {"B", "16", "ID Request (Var Len)", "BX16", &P::handleIDRequestVariableLength, nullptr},
    {"B", "25", "Port Status (Var Len)", "BX25", &P::handleMultiplePortStatus, nullptr},
}};

unsigned char byteAt(const QByteArray& message, qsizetype index)
{
    return static_cast<unsigned char>(message.at(index));
}

// Bytes from CMD1 to the last data byte (the checksum is the message's last byte).
qsizetype contentSize(const QByteArray& message)
{
    return message.size() - 1;
}

// A message the parser cannot answer as its command asks (too short for it): refused with the
// undefined-command NAK, as every other message the deck does not take.
QByteArray failed(const QString& why)
{
    qmcomm::logError(QStringLiteral("failed while responding: %1").arg(why));
    return QMProtocolParserVDCP::nakData();
}

QByteArray replyHead(const QByteArray& message, char code)
{
    QByteArray body;
    body.reserve(96);
    body.append(message.at(0));
    body.append(code);
    return body;
}

bool has(const QVariantMap& map, const char* key)
{
    return map.contains(QLatin1String(key));
}

} // namespace

QMProtocolParserVDCP::QMProtocolParserVDCP() = default;
QMProtocolParserVDCP::~QMProtocolParserVDCP() = default;

const QMProtocolParserClass& QMProtocolParserVDCP::parserClassObject()
{
    static const VDCPClass c;
    return c;
}

void QMProtocolParserVDCP::registerParserClass()
{
    QMProtocolParserClass::registerClass(parserClassObject());
}

std::span<const QMVDCPCommand> QMProtocolParserVDCP::lookupTable()
{
    return kCommands;
}

const QMVDCPCommand* QMProtocolParserVDCP::lookupCommand(unsigned char cmd1, unsigned char cmd2)
{
    return qmFindDeckCommand(lookupTable(), cmd1, cmd2);
}

// ---- connection states

std::shared_ptr<QMVDCPInternalConnection> QMProtocolParserVDCP::addConnection(const QString& identifier)
{
    auto state = std::make_shared<QMVDCPInternalConnection>();
    std::unique_lock lock(connectionsMutex_);
    connections_[identifier] = state;
    return state;
}

std::shared_ptr<QMVDCPInternalConnection> QMProtocolParserVDCP::connection(const QString& identifier) const
{
    std::unique_lock lock(connectionsMutex_);
    const auto it = connections_.find(identifier);
    return it == connections_.end() ? nullptr : it->second;
}

std::size_t QMProtocolParserVDCP::connectionCount() const
{
    std::unique_lock lock(connectionsMutex_);
    return connections_.size();
}

// ---- serial side

namespace {
QString serialIdentifier(QMSerialHardwareCommunicator* hardware)
{
    const QString path = hardware ? hardware->devicePath() : QString();
    return path.isEmpty() ? QStringLiteral("serial") : path;
}
} // namespace

void QMProtocolParserVDCP::serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware)
{
    qmcomm::log(QStringLiteral("serial port connected"));
    addConnection(serialIdentifier(hardware));
    hardware->read();
}

void QMProtocolParserVDCP::serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("serial port disconnected"));
}

void QMProtocolParserVDCP::serialHardwareReadData(QMSerialHardwareCommunicator* hardware, const QByteArray& data)
{
    const QString id = serialIdentifier(hardware);
    const auto state = connection(id);
    if (!state) {
        qmcomm::logError(QStringLiteral("no internal connection for %1").arg(id));
        return;
    }
    appendReceived(*state, data, id);
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, id] {
        if (auto self = std::static_pointer_cast<QMProtocolParserVDCP>(weak.lock()))
            self->parseSerialBufferForConnection(id);
    });
}

void QMProtocolParserVDCP::appendReceived(QMVDCPInternalConnection& state, const QByteArray& data, const QString& id)
{
    std::unique_lock lock(state.serialMutex);
    const auto now = std::chrono::steady_clock::now();
    // A frame that stopped short and then fell quiet will never complete: keeping it would
    // swallow the next whole frame into it (a byte count of 0xFF would hold the line until 258
    // more bytes came).
    if (!state.serialBuffer.isEmpty() && now - state.lastArrival > kPartialFrameGap) {
        qmcomm::log(QStringLiteral("dropping stale partial frame on %1: %2").arg(id, qmcomm::dataDescription(state.serialBuffer)));
        state.serialBuffer.clear();
    }
    state.lastArrival = now;
    // The bytes are copied, never shared with the reading thread's array: an implicitly shared
    // buffer would be released on either thread.
    state.serialBuffer.append(data.constData(), data.size());
}

void QMProtocolParserVDCP::parseSerialBufferForConnection(const QString& id)
{
    const auto state = connection(id);
    if (!state)
        return;
    const auto serial = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(hardwareCommunicator());
    parseBuffer(*state, id, [&](const QByteArray& reply) {
        if (serial)
            serial->writeData(reply);
    });
}

void QMProtocolParserVDCP::parseBuffer(QMVDCPInternalConnection& state, const QString& id, const std::function<void(const QByteArray&)>& write)
{
    std::unique_lock lock(state.serialMutex);
    QByteArray& buffer = state.serialBuffer;
    qsizetype position = 0;
    while (position < buffer.size()) {
        const qsizetype i = buffer.indexOf(kSTX, position);
        if (i < 0) {
            buffer.clear();
            return;
        }
        if (i + 1 >= buffer.size()) {
            buffer.remove(0, i);
            return;
        }
        const qsizetype n = byteAt(buffer, i + 1);
        if (buffer.size() < i + n + 3) {
            buffer.remove(0, i);
            return;
        }
        const QByteArray message = buffer.mid(i + 2, n + 1);
        position = i + n + 3;
        // Answering calls into the application; the buffer lock only guards the bytes, and
        // nothing the interpreter does reaches this connection's buffer.
        const QByteArray reply = responseForMessage(message, id);
        if (!reply.isEmpty())
            write(reply);
    }
    buffer.clear();
}

// ---- TCP side

void QMProtocolParserVDCP::networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& id)
{
    qmcomm::log(QStringLiteral("accepted new conn"));
    addConnection(id);
    // Bytes are read as they arrive and framed here, as on a serial line.
    hardware->readPayloadOnConnection(id, -1);
}

void QMProtocolParserVDCP::networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator*, const QByteArray&, const QString&)
{
    // No header reads are asked for.
}

void QMProtocolParserVDCP::networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& id)
{
    const auto state = connection(id);
    if (!state)
        return;
    appendReceived(*state, data, id);
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, id] {
        if (auto self = std::static_pointer_cast<QMProtocolParserVDCP>(weak.lock()))
            self->parseTCPBufferForConnection(id);
    });
    hardware->readPayloadOnConnection(id, -1);
}

void QMProtocolParserVDCP::parseTCPBufferForConnection(const QString& id)
{
    const auto state = connection(id);
    const auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(hardwareCommunicator());
    if (!state || !tcp)
        return; // the connection closed meanwhile
    parseBuffer(*state, id, [&](const QByteArray& reply) { tcp->writeData(reply, id, -1); });
}

void QMProtocolParserVDCP::networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator*, const QString& id)
{
    std::unique_lock lock(connectionsMutex_);
    connections_.erase(id);
}

// ---- dispatch

QByteArray QMProtocolParserVDCP::responseForMessage(const QByteArray& message, const QString& id)
{
    const auto state = connection(id);
    if (!state) {
        // The connection is gone: there is nobody to answer.
        qmcomm::logError(QStringLiteral("failed while responding: no internal connection for %1").arg(id));
        return {};
    }
    if (message.size() < 3)
        return failed(QStringLiteral("message too short %1").arg(qmcomm::dataDescription(message)));

    // Handlers are handed this state and work on it even if the connection closes while they run.
    QByteArray reply;
    if (computeChecksum(QByteArrayView(message).first(message.size() - 1)) != message.back()) {
        qmcomm::log(QStringLiteral("\tchecksum error %1").arg(qmcomm::dataDescription(message)));
        reply = nakData(kNakChecksumError);
    } else if (const QMVDCPCommand* row = lookupCommand(byteAt(message, 0), byteAt(message, 1))) {
        const bool trace = qmcomm::debugEnabled() && qstrcmp(row->originalCommand, "3X05") != 0 && qstrcmp(row->originalCommand, "3X06") != 0;
        if (trace)
            qmcomm::log(QStringLiteral("command (%1) %2 => %3").arg(id, qmcomm::dataDescription(message), QLatin1String(row->description)));
        if (row->handler) {
            reply = (this->*(row->handler))(message, *state);
            if (trace)
                qmcomm::log(QStringLiteral("\treturning %1").arg(qmcomm::dataDescription(reply)));
        } else {
            executeApplicationCommand(QLatin1String(row->applicationCommand), routingParams(*state, state->vdcpPort));
            reply = ackData();
        }
    } else {
        qmcomm::log(QStringLiteral("\t!!!!!!\tMessage not handled! %1").arg(qmcomm::dataDescription(message)));
        reply = nakData();
    }
    if (!reply.isEmpty())
        state->lastResponse = reply;
    return reply;
}

QVariantMap QMProtocolParserVDCP::routingParams(const QMVDCPInternalConnection&, std::int64_t port) const
{
    return QVariantMap{{QLatin1String(QMApplicationCommandPortNumber), QVariant::fromValue<qlonglong>(port)}};
}

QVariantMap QMProtocolParserVDCP::query(const char* command, const QMVDCPInternalConnection& state)
{
    return executeApplicationCommand(QLatin1String(command), routingParams(state, state.vdcpPort)).toMap();
}

QVariantMap QMProtocolParserVDCP::stateForPort(const QMVDCPInternalConnection& state, std::int64_t port)
{
    return executeApplicationCommand(QLatin1String(QMApplicationGetState), routingParams(state, port)).toMap();
}

char QMProtocolParserVDCP::portStateByte(const QVariantMap& state)
{
    unsigned char b = 0;
    if (has(state, QMApplicationStateClear))
        b |= 0x01;
    if (has(state, QMApplicationStateStill))
        b |= 0x08;
    if (has(state, QMApplicationStatePlay))
        b |= 0x20;
    b |= has(state, QMApplicationStatePrerolling) ? 0x02 : 0x80;
    return static_cast<char>(b);
}

// ---- reply building

QByteArray QMProtocolParserVDCP::nakData(char reason)
{
    return QByteArray{QByteArray(1, kNAK) + QByteArray(1, reason)};
}

char QMProtocolParserVDCP::computeChecksum(QByteArrayView bytes)
{
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<unsigned char>(b);
    return static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);
}

QByteArray QMProtocolParserVDCP::checksummedData(QByteArray data)
{
    data.append(computeChecksum(data));
    return data;
}

QByteArray QMProtocolParserVDCP::prefixedData(const QByteArray& data, bool hasCheckSum)
{
    QByteArray out;
    out.reserve(data.size() + 2);
    out.append(kSTX);
    out.append(static_cast<char>(hasCheckSum ? data.size() - 1 : data.size()));
    out.append(data);
    return out;
}

// ---- transport

QByteArray QMProtocolParserVDCP::handleStep(const QByteArray&, QMVDCPInternalConnection& connection)
{
    QVariantMap params = routingParams(connection, connection.vdcpPort);
    params.insert(QLatin1String(QMApplicationCommandTransportParameterDirection), 1);
    executeApplicationCommand(QLatin1String(QMApplicationCommandTransportStep), params);
    return ackData();
}

QByteArray QMProtocolParserVDCP::handleSeek(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    QVariantMap params = routingParams(connection, connection.vdcpPort);
    std::optional<std::int64_t> count;
    if (message.size() == 4) {
        count = static_cast<std::int8_t>(message.at(2));
    } else if (message.size() == 7) {
        const std::uint32_t raw = (std::uint32_t(byteAt(message, 2)) << 24) | (std::uint32_t(byteAt(message, 3)) << 16)
            | (std::uint32_t(byteAt(message, 4)) << 8) | std::uint32_t(byteAt(message, 5));
        count = static_cast<std::int32_t>(raw);
    }
    if (!count) {
        executeApplicationCommand(QLatin1String(QMApplicationCommandTransportSeek), params);
        return ackData();
    }
    const std::int64_t frames = std::llabs(*count);
    params.insert(QLatin1String(QMApplicationCommandTransportParameterFrames), QVariant::fromValue<qlonglong>(frames));
    params.insert(QLatin1String(QMApplicationCommandTransportParameterDirection), *count < 0 ? -1 : 1);
    executeApplicationCommand(QLatin1String(frames == 1 ? QMApplicationCommandTransportStep : QMApplicationCommandTransportSeek), params);
    return ackData();
}

QByteArray QMProtocolParserVDCP::handleVariPlay(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    if (message.size() != 6)
        return nakData();
    QVariantMap params = routingParams(connection, connection.vdcpPort);
    std::int32_t raw = (std::int32_t(byteAt(message, 2)) << 16) | (std::int32_t(byteAt(message, 3)) << 8) | std::int32_t(byteAt(message, 4));
    if (raw & 0x800000)
        raw -= 0x1000000;
    const double speed = raw / 65536.0;
    if (speed == 0) {
        executeApplicationCommand(QLatin1String(QMApplicationCommandTransportPause), params);
        return ackData();
    }
    params.insert(QLatin1String(QMApplicationCommandTransportParameterSpeed), speed);
    params.insert(QLatin1String(QMApplicationCommandTransportParameterDirection), speed > 0 ? 1 : -1);
    const char* command = speed > 1.0 ? QMApplicationCommandTransportFastForward
        : speed < -1.0                ? QMApplicationCommandTransportRewind
                                      : QMApplicationCommandTransportPlay;
    executeApplicationCommand(QLatin1String(command), params);
    return ackData();
}

// ---- cue

std::optional<QString> QMProtocolParserVDCP::resolveMediaID(const QString& id, QMVDCPInternalConnection& state)
{
    const QStringList names = query(QMApplicationCommandListMedia, state).value(QLatin1String(QMApplicationCommandListMediaParamMediaFiles)).toStringList();
    if (names.contains(id))
        return id;
    for (const QString& name : names)
        if (QString::fromLatin1(truncateOrPadFilenameTo8Bytes(name)).trimmed() == id)
            return name;
    return std::nullopt;
}

std::optional<std::pair<QString, qsizetype>> QMProtocolParserVDCP::requestID(const QByteArray& message, bool variableLength)
{
    if (variableLength) {
        if (contentSize(message) < 3 || contentSize(message) < 3 + byteAt(message, 2))
            return std::nullopt;
        return std::pair{qmStringFromASCII(message.mid(3, byteAt(message, 2))), qsizetype(3 + byteAt(message, 2))};
    }
    if (contentSize(message) < 10)
        return std::nullopt;
    return std::pair{qmStringFromASCII(message.mid(2, 8)).trimmed(), qsizetype(10)};
}

QByteArray QMProtocolParserVDCP::handlePlayCue(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection)
{
    const auto id = requestID(message, variableLength);
    if (!id)
        return failed(QStringLiteral("play cue too short %1").arg(qmcomm::dataDescription(message)));
    // An ID the channel does not have is refused; cueing it would pause and rewind the clip on air.
    const std::optional<QString> name = resolveMediaID(id->first, connection);
    if (!name) {
        qmcomm::log(QStringLiteral("play cue refused: no item for ID \"%1\"").arg(id->first));
        return nakData();
    }
    QVariantMap params = routingParams(connection, connection.vdcpPort);
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamMediaID), *name);
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamSetPlayhead), qmVariantFromTimeCode(QMTimeCode::zeroTime()));
    executeApplicationCommand(QLatin1String(QMApplicationCommandCueMedia), params);
    return ackData();
}

QByteArray QMProtocolParserVDCP::handleCueWithData(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection)
{
    const auto id = requestID(message, variableLength);
    const qsizetype times = id ? id->second : 0;
    if (!id || contentSize(message) < times + 8)
        return failed(QStringLiteral("cue with data too short %1").arg(qmcomm::dataDescription(message)));
    const std::optional<QString> name = resolveMediaID(id->first, connection);
    if (!name) {
        qmcomm::log(QStringLiteral("cue with data refused: no item for ID \"%1\"").arg(id->first));
        return nakData();
    }
    const QMTimeCode inPoint = *timeCodeFromBVWData(QByteArrayView(message).sliced(times, 4));
    const QMTimeCode duration = *timeCodeFromBVWData(QByteArrayView(message).sliced(times + 4, 4));
    QVariantMap params = routingParams(connection, connection.vdcpPort);
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamMediaID), *name);
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamInPoint), qmVariantFromTimeCode(inPoint));
    // The playhead counts from the in point (the cue waits there): the in point once, not twice.
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamSetPlayhead), qmVariantFromTimeCode(QMTimeCode::zeroTime()));
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamDuration), qmVariantFromTimeCode(duration));
    executeApplicationCommand(QLatin1String(QMApplicationCommandCueMedia), params);
    return ackData();
}

QByteArray QMProtocolParserVDCP::handlePlayCueRequest(const QByteArray& m, QMVDCPInternalConnection& c) { return handlePlayCue(m, false, c); }
QByteArray QMProtocolParserVDCP::handlePlayCueRequestVariableLength(const QByteArray& m, QMVDCPInternalConnection& c) { return handlePlayCue(m, true, c); }
QByteArray QMProtocolParserVDCP::handleCueWithDataRequest(const QByteArray& m, QMVDCPInternalConnection& c) { return handleCueWithData(m, false, c); }
QByteArray QMProtocolParserVDCP::handleCueWithDataRequestVariableLength(const QByteArray& m, QMVDCPInternalConnection& c) { return handleCueWithData(m, true, c); }

// ---- ports

QByteArray QMProtocolParserVDCP::handleOpenPort(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    if (contentSize(message) < 3)
        return failed(QStringLiteral("open port without a port %1").arg(qmcomm::dataDescription(message)));
    // The reply byte is the grant: 01 opened, 00 refused. A port opens when it addresses a
    // channel (the interpreter answers Clear for none); a refused port leaves the open one.
    const std::int64_t port = byteAt(message, 2);
    const bool granted = !has(stateForPort(connection, port), QMApplicationStateClear);
    if (granted)
        connection.vdcpPort = port;
    QByteArray body = replyHead(message, char(0x81));
    body.append(granted ? char(0x01) : char(0x00));
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handlePortStatus(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    if (contentSize(message) < 3)
        return failed(QStringLiteral("port status without a bit map %1").arg(qmcomm::dataDescription(message)));
    const unsigned char map = byteAt(message, 2);
    QByteArray body = replyHead(message, char(0x85));
    body.append(static_cast<char>(map));
    if (map & 0x01) {
        body.append(portStateByte(stateForPort(connection, connection.vdcpPort)));
        body.append(static_cast<char>(connection.vdcpPort & 0xFF));
    }
    if (map & 0x02)
        body.append((map & 0x20) ? 2 : 1, '\0');
    if (map & 0x04)
        body.append((map & 0x40) ? 3 : 6, '\0');
    if (map & 0x08)
        body.append('\0');
    if (map & 0x10)
        body.append('\0');
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleMultiplePortStatus(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    if (contentSize(message) < 4)
        return failed(QStringLiteral("port status range too short %1").arg(qmcomm::dataDescription(message)));
    const int first = byteAt(message, 2);
    const int count = std::min<int>(byteAt(message, 3), kMaxRangePorts);
    QByteArray body = replyHead(message, char(0xA5));
    body.append(static_cast<char>(first));
    body.append(static_cast<char>(count));
    body.append('\0');
    for (int port = first; port < first + count; ++port) {
        body.append(portStateByte(stateForPort(connection, port)));
        body.append(4, '\0');
    }
    return framedReply(body);
}

// ---- position and size

QByteArray QMProtocolParserVDCP::handlePositionRequest(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    if (contentSize(message) < 3)
        return failed(QStringLiteral("position request without a type %1").arg(qmcomm::dataDescription(message)));
    const char type = message.at(2);
    if (type != 0 && type != 1 && type != 2)
        return nakData();
    const QVariantMap cued = query(QMApplicationCommandGetCuedMedia, connection);
    QByteArray body = replyHead(message, char(0x86));
    body.append(type);
    const char* key = type == 0 ? QMApplicationCommandGetCuedMediaParamDuration : QMApplicationCommandGetCuedMediaParamCurrentTime;
    appendBVWData(body, qmTimeCodeFromVariant(cued.value(QLatin1String(key))));
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleIDSizeRequest(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    const QVariantMap cued = query(QMApplicationCommandGetCuedMedia, connection);
    QByteArray body = replyHead(message, char(0x94));
    appendBVWData(body, qmTimeCodeFromVariant(cued.value(QLatin1String(QMApplicationCommandGetCuedMediaParamDuration))));
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleID(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection)
{
    const auto id = requestID(message, variableLength);
    if (!id)
        return failed(QStringLiteral("ID request too short %1").arg(qmcomm::dataDescription(message)));
    // Automation asks before it cues: the ID exists only when the channel's list has it.
    const bool exists = resolveMediaID(id->first, connection).has_value();
    QByteArray body = replyHead(message, char(0x96));
    body.append(exists ? char(0x01) : char(0x00));
    body.append(2, '\0');
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleIDRequest(const QByteArray& m, QMVDCPInternalConnection& c) { return handleID(m, false, c); }
QByteArray QMProtocolParserVDCP::handleIDRequestVariableLength(const QByteArray& m, QMVDCPInternalConnection& c) { return handleID(m, true, c); }

// ---- IDs

QByteArray QMProtocolParserVDCP::truncateOrPadFilenameTo8Bytes(const QString& name)
{
    QByteArray id = qmASCIIFolded(name).left(8);
    if (id.size() < 8)
        id.append(8 - id.size(), ' ');
    return id;
}

QByteArray QMProtocolParserVDCP::handleActiveID(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection)
{
    const QVariantMap cued = query(QMApplicationCommandGetCuedMedia, connection);
    const bool present = has(cued, QMApplicationCommandGetCuedMediaParamMediaID);
    const QString name = present ? cued.value(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID)).toString() : QString();
    QByteArray body = replyHead(message, char(0x87));
    body.append(present ? char(1) : char(0));
    if (variableLength) {
        const QByteArray bytes = qmASCIIFolded(name).left(kMaxVariableIDBytes);
        body.append(static_cast<char>(bytes.size()));
        body.append(bytes);
    } else {
        body.append(truncateOrPadFilenameTo8Bytes(name));
    }
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleActiveIDRequest(const QByteArray& m, QMVDCPInternalConnection& c) { return handleActiveID(m, false, c); }
QByteArray QMProtocolParserVDCP::handleActiveIDRequestVariableLength(const QByteArray& m, QMVDCPInternalConnection& c) { return handleActiveID(m, true, c); }

std::uint16_t QMProtocolParserVDCP::bytesForFileList(QMVDCPInternalConnection& state, bool variableLength, QByteArray& body)
{
    std::unique_lock lock(state.listMutex);
    int used = 0;
    while (!state.listBuffer.isEmpty()) {
        QByteArray id;
        if (variableLength) {
            // A name too long for any page goes alone, cut to what a page holds.
            id = qmASCIIFolded(state.listBuffer.front()).left(kPageBytes - 1);
            id.prepend(static_cast<char>(id.size()));
        } else {
            id = truncateOrPadFilenameTo8Bytes(state.listBuffer.front());
        }
        if (used + id.size() > kPageBytes)
            break;
        used += int(id.size());
        body.append(id);
        state.listBuffer.removeFirst();
    }
    return static_cast<std::uint16_t>(std::min<qsizetype>(state.listBuffer.size(), 0xFFFF));
}

namespace {
void insertCount(QByteArray& body, qsizetype at, std::uint16_t count)
{
    const char bytes[2] = {static_cast<char>(count >> 8), static_cast<char>(count & 0xFF)};
    body.insert(at, bytes, 2);
}
} // namespace

QByteArray QMProtocolParserVDCP::handleIDList(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection)
{
    const QStringList names = query(QMApplicationCommandListMedia, connection).value(QLatin1String(QMApplicationCommandListMediaParamMediaFiles)).toStringList();
    {
        std::unique_lock lock(connection.listMutex);
        connection.listBuffer = names;
    }
    QByteArray body = replyHead(message, char(0x91));
    const std::uint16_t left = bytesForFileList(connection, variableLength, body);
    insertCount(body, 2, left);
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleNext(const QByteArray& message, bool variableLength, QMVDCPInternalConnection& connection)
{
    {
        std::unique_lock lock(connection.listMutex);
        if (connection.listBuffer.isEmpty())
            return nakData();
    }
    QByteArray body = replyHead(message, char(0x82));
    const std::uint16_t left = bytesForFileList(connection, variableLength, body);
    insertCount(body, 2, left);
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleIDListRequest(const QByteArray& m, QMVDCPInternalConnection& c) { return handleIDList(m, false, c); }
QByteArray QMProtocolParserVDCP::handleIDListRequestVariableLength(const QByteArray& m, QMVDCPInternalConnection& c) { return handleIDList(m, true, c); }
QByteArray QMProtocolParserVDCP::handleNextRequest(const QByteArray& m, QMVDCPInternalConnection& c) { return handleNext(m, false, c); }
QByteArray QMProtocolParserVDCP::handleNextRequestVariableLength(const QByteArray& m, QMVDCPInternalConnection& c) { return handleNext(m, true, c); }

QByteArray QMProtocolParserVDCP::handleLastRequest(const QByteArray& message, QMVDCPInternalConnection& connection)
{
    const QByteArray last = connection.lastResponse;
    QByteArray body;
    if (last.size() < 4) {
        body = replyHead(message, char(0x83));
        body.append('\0');
    } else {
        body = last.mid(2, last.size() - 3);
        body[0] = message.at(0);
        body[1] = char(0x83);
    }
    return framedReply(body);
}

// ---- device and system

QByteArray QMProtocolParserVDCP::handleDeviceTypeRequest(const QByteArray& message, QMVDCPInternalConnection&)
{
    QByteArray body = replyHead(message, char(0x88));
    body.append(qmASCIIFolded(qmDeckDeviceName().left(16)));
    return framedReply(body);
}

QByteArray QMProtocolParserVDCP::handleSystemStatusRequest(const QByteArray& message, QMVDCPInternalConnection&)
{
    if (contentSize(message) < 3)
        return failed(QStringLiteral("system status without a bit map %1").arg(qmcomm::dataDescription(message)));
    const unsigned char map = byteAt(message, 2);
    QByteArray body = replyHead(message, char(0x90));
    body.append(static_cast<char>(map));
    const bool wide = map & 0x40;
    if (map & 0x01)
        body.append(wide ? 6 : 4, '\0');
    if (map & 0x02)
        body.append(wide ? 4 : 2, '\0');
    if (map & 0x04)
        body.append('\0');
    if (map & 0x08)
        body.append("\x02\x0C", 2);
    if (map & 0x10)
        body.append(4, '\0');
    if (map & 0x20)
        body.append('\0');
    return framedReply(body);
}

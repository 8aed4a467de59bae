#include "comm/core/protocols/amp/QMProtocolParserAMP.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/deck/QMDeckControlText.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "comm/timecode/QMSerialString.h"
#include "platform/foundation/Dispatch.h"

namespace {

class AMPClass : public QMProtocolParserClassOf<QMProtocolParserAMP> {
public:
    AMPClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserAMP")) {}
    QString supportedProtocol() const override { return QStringLiteral("AMP"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("network-wired"); }
    QString supportedProtocolDescription() const override
    {
        return QStringLiteral("AMP allows media playback to be controlled using the AMP protocol, typically from a video switcher.");
    }
    QStringList supportedHardwareCommunicators() const override
    {
        return {QStringLiteral("QMTCPNetworkHardwareCommunicator"), QStringLiteral("QMUDPNetworkHardwareCommunicator"),
                QStringLiteral("QMSerialHardwareCommunicator")};
    }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

const QString kSerialKey = QStringLiteral("serial");
const QString kUdpKey = QStringLiteral("udp");

// Reads past the end of a short message give empty text, never a failure.
QString field(const QString& text, qsizetype from, qsizetype length = -1)
{
    if (from >= text.size())
        return {};
    return text.mid(from, length);
}

QString dec(std::uint64_t value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QChar(u'0'));
}

QString hex(std::uint64_t value, int width, bool upper = false)
{
    const QString s = QStringLiteral("%1").arg(value, width, 16, QChar(u'0'));
    return upper ? s.toUpper() : s;
}

QString upperHex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

QString fourFields(const QMTimeCode& t)
{
    return dec(t.frames(), 2) + dec(t.seconds(), 2) + dec(t.minutes(), 2) + dec(t.hours(), 2);
}

bool has(const QVariantMap& map, const char* key)
{
    return map.contains(QLatin1String(key));
}

} // namespace

QMProtocolParserAMP::QMProtocolParserAMP() = default;
QMProtocolParserAMP::~QMProtocolParserAMP() = default;

const QMProtocolParserClass& QMProtocolParserAMP::parserClassObject()
{
    static const AMPClass c;
    return c;
}

void QMProtocolParserAMP::registerParserClass()
{
    QMProtocolParserClass::registerClass(parserClassObject());
}

// ---- helpers

QString QMProtocolParserAMP::checksumForString(const QString& hexText)
{
    unsigned sum = 0;
    if (const auto bytes = QMSerialString::qmDataFromHexString(hexText))
        for (const char b : *bytes)
            sum += static_cast<unsigned char>(b);
    return hex(sum & 0xFF, 2);
}

std::optional<QMTimeCode> QMProtocolParserAMP::timecodeFromString(QStringView text)
{
    if (text.size() != 8)
        return std::nullopt;
    auto digit = [&](qsizetype i) -> std::uint64_t { return text[i].isDigit() ? std::uint64_t(text[i].digitValue()) : 0; };
    auto pair = [&](qsizetype i) { return digit(i) * 10 + digit(i + 1); };
    return QMTimeCode::timecodeWithFrames(pair(0), pair(2), pair(4), pair(6));
}

QVariantMap QMProtocolParserAMP::routingParams(const QString& connection) const
{
    QVariantMap params;
    if (!connection.isNull()) {
        const auto it = channelLookup_.constFind(connection);
        if (it != channelLookup_.constEnd())
            params.insert(QLatin1String(QMApplicationCommandPortName), it.value());
    }
    return params;
}

QVariantMap QMProtocolParserAMP::queryParams(const QString& connection) const
{
    QVariantMap params = routingParams(connection);
    // Unbound, transport reaches every channel; a query needs one channel to answer for: the
    // device's configured channel (which the interpreter prefers), else the first.
    if (!params.contains(QLatin1String(QMApplicationCommandPortName)))
        params.insert(QLatin1String(QMApplicationCommandPortNumber), 1);
    return params;
}

QVariantMap QMProtocolParserAMP::query(const char* command, const QString& connection)
{
    return executeApplicationCommand(QLatin1String(command), queryParams(connection)).toMap();
}

bool QMProtocolParserAMP::channelHasMedia(const QString& name, const QString& connection)
{
    // Cue commands go by routingParams; the name must be on the channel they reach.
    QVariantMap params = routingParams(connection);
    params.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID), name);
    return !executeApplicationCommand(QLatin1String(QMApplicationCommandGetCuedMedia), params).toMap().isEmpty();
}

// ---- receiving

void QMProtocolParserAMP::serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware)
{
    qmcomm::log(QStringLiteral("serial port connected"));
    hardware->read();
}

void QMProtocolParserAMP::serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray& data)
{
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, data] {
        if (auto self = std::static_pointer_cast<QMProtocolParserAMP>(weak.lock()))
            self->receive(Source::Serial, kSerialKey, data);
    });
}

void QMProtocolParserAMP::networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection)
{
    hardware->readPayloadOnConnection(connection, -1);
}

void QMProtocolParserAMP::networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection)
{
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, data, connection] {
        if (auto self = std::static_pointer_cast<QMProtocolParserAMP>(weak.lock()))
            self->receive(Source::TCP, connection, data);
    });
    hardware->readPayloadOnConnection(connection, -1);
}

void QMProtocolParserAMP::networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator*, const QString& connection)
{
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, connection] {
        if (auto self = std::static_pointer_cast<QMProtocolParserAMP>(weak.lock())) {
            // A later connection may reuse the address; it must not inherit the binding.
            self->lineBuffers_.remove(connection);
            self->channelLookup_.remove(connection);
        }
    });
}

void QMProtocolParserAMP::networkHardwareReadData(QMUDPNetworkHardwareCommunicator*, const QByteArray& data)
{
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, data] {
        if (auto self = std::static_pointer_cast<QMProtocolParserAMP>(weak.lock()))
            self->receive(Source::UDP, kUdpKey, data);
    });
}

void QMProtocolParserAMP::udpDidConnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("UDP connected"));
}

void QMProtocolParserAMP::udpDidDisconnectForNetworkHardware(QMUDPNetworkHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("UDP disconnected"));
}

void QMProtocolParserAMP::receive(Source source, const QString& key, const QByteArray& data)
{
    QList<QByteArray> lines;
    LineBuffer& buffer = lineBuffers_[key];
    buffer.bytes.append(data.constData(), data.size()); // copied, never shared across threads
    ++buffer.generation;
    qsizetype start = 0;
    for (qsizetype i = 0; i < buffer.bytes.size(); ++i) {
        const char c = buffer.bytes.at(i);
        if (c == '\r' || c == '\n') {
            if (i > start)
                lines << buffer.bytes.mid(start, i - start);
            start = i + 1;
        }
    }
    buffer.bytes.remove(0, start);
    if (buffer.bytes.size() > kMaxLineBytes) {
        qmcomm::log(QStringLiteral("dropping %1 bytes without a line end").arg(buffer.bytes.size()));
        buffer.bytes.clear();
    }
    // A datagram ends its last message. Over TCP a line ends at its line end however slowly it
    // arrives; on a serial line the rest waits for its line end or the gap.
    if (source == Source::UDP && !buffer.bytes.isEmpty()) {
        lines << buffer.bytes;
        buffer.bytes.clear();
    }
    if (source == Source::Serial && !buffer.bytes.isEmpty()) {
        std::weak_ptr<QMProtocolParser> weak = weak_from_this();
        const std::uint64_t generation = buffer.generation;
        platform::dispatchMainAfter(int(messageGap_.count()), nullptr, [weak, source, key, generation] {
            if (auto self = std::static_pointer_cast<QMProtocolParserAMP>(weak.lock()))
                self->flushAfterGap(source, key, generation);
        });
    }
    for (const QByteArray& line : lines)
        answer(source, key, line);
}

qsizetype QMProtocolParserAMP::bufferedByteCount() const
{
    qsizetype count = 0;
    for (const LineBuffer& buffer : lineBuffers_)
        count += buffer.bytes.size();
    return count;
}

void QMProtocolParserAMP::flushAfterGap(Source source, const QString& key, std::uint64_t generation)
{
    const auto it = lineBuffers_.find(key);
    if (it == lineBuffers_.end() || it->generation != generation || it->bytes.isEmpty())
        return;
    const QByteArray message = it->bytes;
    it->bytes.clear();
    answer(source, key, message);
}

void QMProtocolParserAMP::answer(Source source, const QString& key, const QByteArray& message)
{
    if (QByteArray(message).trimmed().isEmpty())
        return;
    qmcomm::traceBytes(">>>>", message);
    QString reply = responseForMessage(message, source == Source::TCP ? key : QString());
    const auto communicator = hardwareCommunicator();
    switch (source) {
    case Source::TCP:
        if (reply.isNull())
            reply = nakString();
        if (const auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(communicator))
            tcp->writeData(reply.toUtf8(), key, kWriteTimeout);
        break;
    case Source::UDP:
        if (!reply.isNull())
            if (const auto udp = std::dynamic_pointer_cast<QMUDPNetworkHardwareCommunicator>(communicator))
                udp->writeData(reply.toUtf8(), kWriteTimeout);
        break;
    case Source::Serial:
        if (!reply.isNull())
            if (const auto serial = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(communicator))
                serial->writeData(reply.toUtf8());
        break;
    }
}

// ---- answering

QString QMProtocolParserAMP::responseForMessage(const QByteArray& data, const QString& connection)
{
    const QString message = QString::fromUtf8(data).trimmed();
    const QString verb = message.left(4);
    if (verb == u"CMDS") {
        const QMAMPCommand* row = message.size() >= 12 ? lookupCommand(message.at(8), QStringView(message).mid(10, 2)) : nullptr;
        if (qmcomm::debugEnabled())
            qmcomm::log(QStringLiteral("AMP command %1: %2 => %3").arg(message, field(message, 10, 2), row ? QLatin1String(row->description) : QLatin1String("")));
        if (row && row->handler)
            return (this->*(row->handler))(row->includeCommand ? field(message, 8) : field(message, 12), connection);
        if (row && row->applicationCommand) {
            executeApplicationCommand(QLatin1String(row->applicationCommand), routingParams(connection));
            return ackString();
        }
        qmcomm::log(QStringLiteral("\tnot handled %1").arg(message));
        return nakString();
    }
    if (verb == u"CRAT" || verb == u"REAQ") {
        qmcomm::log(QString::fromLatin1(verb == u"CRAT" ? "!create connection! %1 connection: %2" : "!reaquire connection! %1 connection: %2")
                        .arg(message, connection.isNull() ? QStringLiteral("(null)") : connection));
        if (!connection.isNull() && message.size() >= 9)
            handleCreateOrReacquire(message, connection);
        return ackString();
    }
    if (verb == u"STOP") {
        qmcomm::log(QStringLiteral("!close connection! %1 connection: %2").arg(message, connection.isNull() ? QStringLiteral("(null)") : connection));
        if (!connection.isNull())
            channelLookup_.remove(connection);
        return ackString();
    }
    return ackString();
}

void QMProtocolParserAMP::handleCreateOrReacquire(const QString& message, const QString& connection)
{
    if (message.at(8) != u'2') {
        qmcomm::log(QStringLiteral("channel removing %1").arg(connection));
        channelLookup_.remove(connection);
        return;
    }
    if (message.size() < 12) {
        qmcomm::log(QStringLiteral("message too short for channel name %1").arg(message));
        return;
    }
    const QString name = message.mid(11);
    channelLookup_.insert(connection, name);
    qmcomm::log(QStringLiteral("channel assigned %1 => %2").arg(connection, name));
}

QString QMProtocolParserAMP::handleDeviceTypeRequest(const QString&, const QString&)
{
    return QStringLiteral("1211f33f");
}

QString QMProtocolParserAMP::handleTransport(const QString& text, const QString& connection, const char* applicationCommand, bool stop)
{
    const QString command = text.toUpper();
    if (command.startsWith(u"20")) {
        executeApplicationCommand(QLatin1String(applicationCommand), routingParams(connection));
    } else if (command.startsWith(u"24") && command.size() >= 12) {
        QVariantMap params = routingParams(connection);
        params.insert(QLatin1String(QMApplicationCommandTransportParameterTimecode), qmVariantFromTimeCode(*timecodeFromString(QStringView(command).mid(4, 8))));
        executeApplicationCommand(QLatin1String(applicationCommand), params);
    }
    if (stop && command.startsWith(u"200F")) {
        inPreset_ = false;
        outPreset_ = false;
    }
    cueComplete_ = false;
    return ackString();
}

QString QMProtocolParserAMP::handleStop(const QString& command, const QString& connection)
{
    return handleTransport(command, connection, QMApplicationCommandTransportStop, true);
}

QString QMProtocolParserAMP::handlePlay(const QString& command, const QString& connection)
{
    return handleTransport(command, connection, QMApplicationCommandTransportPlay, false);
}

QString QMProtocolParserAMP::handleCueUpWithData(const QString& data, const QString& connection)
{
    std::optional<QMTimeCode> playhead;
    QString name;
    switch (data.size()) {
    case 0:
        playhead = QMTimeCode::zeroTime();
        break;
    case 8:
        playhead = timecodeFromString(data);
        break;
    case 16:
        playhead = QMTimeCode::zeroTime();
        name = QMASCIIStringFromHexString(data);
        break;
    case 24:
        playhead = timecodeFromString(QStringView(data).left(8));
        name = QMASCIIStringFromHexString(data.mid(8));
        break;
    default:
        break;
    }
    if (playhead && !name.isEmpty() && !channelHasMedia(name, connection)) {
        qmcomm::log(QStringLiteral("cue refused: no item named \"%1\"").arg(name));
        return nakString();
    }
    if (playhead) {
        QVariantMap params = routingParams(connection);
        params.insert(QLatin1String(QMApplicationCommandCueMediaParamSetPlayhead), qmVariantFromTimeCode(*playhead));
        if (!name.isEmpty())
            params.insert(QLatin1String(QMApplicationCommandCueMediaParamMediaID), name);
        executeApplicationCommand(QLatin1String(QMApplicationCommandCueMedia), params);
        cueComplete_ = true;
    }
    return ackString();
}

QString QMProtocolParserAMP::handleInPreset(const QString& data, const QString& connection)
{
    QVariantMap params = routingParams(connection);
    params.insert(QLatin1String(QMApplicationCommandCueMediaParamSetPlayhead), qmVariantFromTimeCode(QMTimeCode::zeroTime()));
    if (data.size() >= 9) {
        const QString name = QMASCIIStringFromHexString(data.mid(8));
        // An unknown name would otherwise pause and rewind the clip on air.
        if (!channelHasMedia(name, connection)) {
            qmcomm::log(QStringLiteral("in preset refused: no item named \"%1\"").arg(name));
            return nakString();
        }
        params.insert(QLatin1String(QMApplicationCommandCueMediaParamMediaID), name);
    }
    executeApplicationCommand(QLatin1String(QMApplicationCommandCueMedia), params);
    inPreset_ = true;
    cueComplete_ = true;
    return ackString();
}

QString QMProtocolParserAMP::handleUserBitsPreset(const QString& command, const QString&)
{
    if (command.size() < 12)
        return nakString();
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint value = command.mid(4 + 2 * i, 2).toUInt(&ok, 16);
        userBits_[std::size_t(i)] = ok ? std::uint8_t(value) : 0;
    }
    return ackString();
}

QString QMProtocolParserAMP::handleCurrentTimeSense(const QString& data, const QString& connection)
{
    const QVariantMap cued = query(QMApplicationCommandGetCuedMedia, connection);
    const QMTimeCode now = qmTimeCodeFromVariant(cued.value(QLatin1String(QMApplicationCommandGetCuedMediaParamCurrentTime)));
    // User bits go back in hex, as they were preset.
    QString bits;
    for (const std::uint8_t b : userBits_)
        bits += hex(b, 2, true);
    if (data == u"01" || data == u"03" || data == u"04")
        return withChecksum(QStringLiteral("7404") + fourFields(now));
    if (data == u"02" || data == u"20" || data == u"22")
        return QStringLiteral("700D7D");
    if (data == u"10" || data == u"30")
        return withChecksum(QStringLiteral("7404") + bits);
    if (data == u"11" || data == u"33")
        return withChecksum(QStringLiteral("7804") + fourFields(now) + bits);
    return nakString();
}

QString QMProtocolParserAMP::handleStatusSense(const QString& data, const QString& connection)
{
    if (data.isEmpty())
        return {};
    bool ok = false;
    const uint request = data.left(2).toUInt(&ok, 16);
    if (!ok)
        return nakString();
    const uint start = request >> 4;
    const uint count = request & 0x0F;
    const QVariantMap state = query(QMApplicationGetState, connection);
    const bool play = has(state, QMApplicationStatePlay);
    std::array<std::uint8_t, 16> block{};
    block[0] = 0x02;
    block[1] = 0x80 | (play ? 0x01 : 0) | ((has(state, QMApplicationStateStop) || has(state, QMApplicationStateStill)) ? 0x20 : 0);
    const bool moving = play || has(state, QMApplicationStateRewind) || has(state, QMApplicationStateFastForward);
    block[2] = (cueComplete_ ? 0x01 : 0) | (moving ? 0 : 0x02) | (play ? 0x80 : 0);
    block[3] = (inPreset_ ? 0x01 : 0) | (outPreset_ ? 0x02 : 0);
    block[13] = 0x10;
    QString reply = QStringLiteral("7") + hex(count, 1) + QStringLiteral("20");
    // Bytes asked for beyond the 16-byte block are sent as zero.
    for (uint i = start; i < start + count; ++i)
        reply += hex(i < block.size() ? block[i] : 0, 2);
    return withChecksum(reply);
}

QString QMProtocolParserAMP::handleWorkingFolderRequest(const QString&, const QString&)
{
    const QByteArray folder(".");
    return withChecksum(QStringLiteral("820F") + hex(folder.size() + 2, 4, true) + hex(folder.size(), 2, true) + upperHex(folder));
}

QString QMProtocolParserAMP::handleDeviceNameRequest(const QString&, const QString&)
{
    const QByteArray name = qmASCIIFolded(qmDeckDeviceName());
    // Counts are hexadecimal like every other count on this wire.
    return withChecksum(QStringLiteral("822c") + hex(name.size() + 2, 4) + hex(name.size(), 2) + upperHex(name));
}

QString QMProtocolParserAMP::handleIDLoadedRequest(const QString&, const QString& connection)
{
    const QVariantMap cued = query(QMApplicationCommandGetCuedMedia, connection);
    if (!has(cued, QMApplicationCommandGetCuedMediaParamMediaID))
        return QStringLiteral("8016");
    const QByteArray name = qmASCIIFolded(cued.value(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID)).toString());
    return withChecksum(QStringLiteral("8216") + hex(name.size() + 3, 4) + hex(name.size(), 4) + upperHex(name));
}

QString QMProtocolParserAMP::handleIDCountRequest(const QString&, const QString& connection)
{
    const QStringList names = query(QMApplicationCommandListMedia, connection).value(QLatin1String(QMApplicationCommandListMediaParamMediaFiles)).toStringList();
    return withChecksum(QStringLiteral("82260002") + hex(names.size(), 4));
}

QString QMProtocolParserAMP::handleIDDurationRequest(const QString& data, const QString& connection)
{
    if (data.size() < 8)
        return nakString();
    QVariantMap params = queryParams(connection);
    params.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID), QMASCIIStringFromHexString(data.mid(8)));
    const QVariantMap cued = executeApplicationCommand(QLatin1String(QMApplicationCommandGetCuedMedia), params).toMap();
    const QMTimeCode duration = qmTimeCodeFromVariant(cued.value(QLatin1String(QMApplicationCommandGetCuedMediaParamDuration)));
    return withChecksum(QStringLiteral("8417") + fourFields(duration));
}

QString QMProtocolParserAMP::handleListFirstIDRequest(const QString& command, const QString& connection)
{
    idStack_ = query(QMApplicationCommandListMedia, connection).value(QLatin1String(QMApplicationCommandListMediaParamMediaFiles)).toStringList();
    return idListingResponse(command.size() == 8, 1);
}

QString QMProtocolParserAMP::handleListNextIDRequest(const QString& command, const QString&)
{
    if (command.size() == 6) {
        bool ok = false;
        const int count = command.mid(4, 2).toInt(&ok, 16);
        return idListingResponse(true, ok ? count : 1);
    }
    return idListingResponse(false, 1);
}

QString QMProtocolParserAMP::idListingResponse(bool lengthPrefixed, int count)
{
    if (idStack_.isEmpty())
        return withChecksum(QStringLiteral("8014"));
    if (!lengthPrefixed) {
        QString id = upperHex(qmASCIIFolded(idStack_.takeFirst())).left(16);
        while (id.size() < 16)
            id += QStringLiteral("20");
        return withChecksum(QStringLiteral("8814") + id);
    }
    QString body;
    for (int i = 0; i < count && !idStack_.isEmpty(); ++i) {
        const QByteArray name = qmASCIIFolded(idStack_.takeFirst());
        body += hex(name.size(), 4) + upperHex(name);
    }
    return withChecksum(QStringLiteral("8a14") + hex(body.size() / 2, 4) + body);
}

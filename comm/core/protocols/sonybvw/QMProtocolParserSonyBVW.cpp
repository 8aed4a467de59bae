#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/protocols/deck/QMDeckCommandTable.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "comm/timecode/QMSerialString.h"
#include "platform/foundation/Dispatch.h"

#include <QTimer>

#include <array>
#include <cmath>

namespace {

using P = QMProtocolParserSonyBVW;

class SonyBVWClass : public QMProtocolParserClassOf<QMProtocolParserSonyBVW> {
public:
    SonyBVWClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserSonyBVW")) {}
    QString supportedProtocol() const override { return QStringLiteral("Sony BVW"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("network-wired"); }
    QString supportedProtocolDescription() const override
    {
        return QStringLiteral("BVW allows media playback to be controlled using the BVW protocol, typically from a video switcher.");
    }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMSerialHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

const std::array<QMSonyBVWCommand, 22> kCommands = {{
    {"0", "0C", "Local Disable", "000C", &P::ackData, nullptr},
    {"0", "11", "Device Type Request", "0011", &P::handleDeviceTypeRequest, nullptr},
    {"0", "1D", "Local Enable", "001D", &P::ackData, nullptr},
    {"2", "00", "Stop", "2000", nullptr, QMApplicationCommandTransportStop},
    {"2", "01", "Play", "2001", nullptr, QMApplicationCommandTransportPlay},
    {"2", "04", "Standby Off", "2004", &P::ackData, nullptr},
    {"2", "05", "Standby On", "2005", &P::ackData, nullptr},
    {"2", "0F", "Eject", "200F", &P::ackData, nullptr},
    {"2", "10", "Fast Forward", "2010", nullptr, QMApplicationCommandTransportFastForward},
    {"2", "11", "Jog Forward", "2X11", &P::handleJogForwardRequest, nullptr},
    {"2", "12", "Var Forward", "2X12", &P::handleVarForwardRequest, nullptr},
    {"2", "13", "Shuttle Forward", "2X13", &P::handleShuttleForwardRequest, nullptr},
    {"2", "20", "Rewind", "2020", nullptr, QMApplicationCommandTransportRewind},
    {"2", "21", "Jog Reverse", "2X21", &P::handleJogReverseRequest, nullptr},
    {"2", "22", "Var Reverse", "2X22", &P::handleVarReverseRequest, nullptr},
    {"2", "23", "Shuttle Reverse", "2X23", &P::handleShuttleReverseRequest, nullptr},
    {"2", "31", "Cue Up With Data", "2431", &P::handleCueUpWithDataRequest, nullptr},
    {"4", "08", "Timer 1 Reset", "4008", &P::handleTimer1ResetRequest, nullptr},
    {"4", "36", "Timer Mode Select", "4136", &P::handleTimerModeSelectRequest, nullptr},
    {"6", "0C", "Current Time Sense", "610C", &P::handleCurrentTimeSenseRequest, nullptr},
    {"6", "20", "Status Sense", "6120", &P::handleStatusSenseRequest, nullptr},
    {"6", "36", "Timer Mode Data", "6036", &P::handleTimerModeSenseRequest, nullptr},
}};

struct ControllerCommand {
    const char* name;
    const char* format;
};
const std::array<ControllerCommand, 5> kControllerCommands = {{
    {"Play", "2001"}, {"Pause", "211300"}, {"Stop", "2000"}, {"Fast Forward", "2010"}, {"Rewind", "2020"},
}};

constexpr qsizetype kStatusBlockSize = 16;

unsigned char byteAt(const QByteArray& data, qsizetype i)
{
    return static_cast<unsigned char>(data.at(i));
}

qsizetype packetLength(unsigned char cmd1)
{
    return (cmd1 & 0x0F) + 3;
}

QVariantMap commandDictionary(const QString& name, int index, const QString& format)
{
    return QVariantMap{
        {QLatin1String(QMProtocolCommandKeyDisplayName), name},
        {QLatin1String(QMProtocolCommandKeyIndex), index},
        {QLatin1String(QMProtocolCommandKeyFormat), format},
        {QLatin1String(QMProtocolCommandKeyDescription), name},
        {QLatin1String(QMProtocolCommandKeyParams), QVariantList()},
    };
}

} // namespace

QMProtocolParserSonyBVW::QMProtocolParserSonyBVW() = default;

QMProtocolParserSonyBVW::~QMProtocolParserSonyBVW()
{
    stopTimer();
}

const QMProtocolParserClass& QMProtocolParserSonyBVW::parserClassObject()
{
    static const SonyBVWClass c;
    return c;
}

void QMProtocolParserSonyBVW::registerParserClass()
{
    QMProtocolParserClass::registerClass(parserClassObject());
}

std::span<const QMSonyBVWCommand> QMProtocolParserSonyBVW::lookupTable()
{
    return kCommands;
}

const QMSonyBVWCommand* QMProtocolParserSonyBVW::lookupCommand(unsigned char cmd1, unsigned char cmd2)
{
    return qmFindDeckCommand(lookupTable(), cmd1, cmd2);
}

// ---- packets

char QMProtocolParserSonyBVW::computeChecksum(QByteArrayView bytes)
{
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<unsigned char>(b);
    return static_cast<char>(sum & 0xFF);
}

QByteArray QMProtocolParserSonyBVW::checksummedData(QByteArray data)
{
    data.append(computeChecksum(data));
    return data;
}

QByteArray QMProtocolParserSonyBVW::ackData()
{
    return QByteArray("\x10\x01\x11", 3);
}

QByteArray QMProtocolParserSonyBVW::nakData()
{
    // Reason bit 0: undefined command. A packet whose data count does not fit its command is
    // one this deck does not define either.
    return QByteArray("\x11\x12\x01\x24", 4);
}

QByteArray QMProtocolParserSonyBVW::checksumErrorNakData()
{
    return QByteArray("\x11\x12\x04\x27", 4);
}

// ---- serial side

void QMProtocolParserSonyBVW::serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware)
{
    qmcomm::log(QStringLiteral("serial port connected"));
    hardware->read();
    if (behavior() == QMProtocolBehaviorController) {
        stopTimer();
        timecodeRequestTimer_ = std::make_unique<QTimer>();
        timecodeRequestTimer_->setInterval(kTimecodeRequestInterval);
        timecodeRequestTimer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timecodeRequestTimer_.get(), &QTimer::timeout, [this] { requestTimecode(); });
        timecodeRequestTimer_->start();
    }
}

void QMProtocolParserSonyBVW::serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("serial port disconnected"));
    stopTimer();
}

void QMProtocolParserSonyBVW::stopTimer()
{
    if (timecodeRequestTimer_) {
        timecodeRequestTimer_->stop();
        timecodeRequestTimer_.reset();
    }
}

bool QMProtocolParserSonyBVW::isPolling() const
{
    return timecodeRequestTimer_ && timecodeRequestTimer_->isActive();
}

void QMProtocolParserSonyBVW::serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray& data)
{
    {
        std::unique_lock lock(readMutex_);
        const auto now = std::chrono::steady_clock::now();
        // Packets arrive in one burst; bytes left over from long ago are noise and would
        // misframe everything after them.
        if (!readBuffer_.isEmpty() && now - lastArrival_ > kPartialPacketGap) {
            qmcomm::log(QStringLiteral("dropping stale partial packet %1").arg(qmcomm::dataDescription(readBuffer_)));
            readBuffer_.clear();
        }
        lastArrival_ = now;
        readBuffer_.append(data.constData(), data.size()); // copied, never shared across threads
    }
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak] {
        if (auto self = std::static_pointer_cast<QMProtocolParserSonyBVW>(weak.lock()))
            self->handleNewData();
    });
}

void QMProtocolParserSonyBVW::writeData(const QByteArray& data)
{
    if (const auto serial = std::dynamic_pointer_cast<QMSerialHardwareCommunicator>(hardwareCommunicator()))
        serial->writeData(data);
}

qsizetype QMProtocolParserSonyBVW::bufferedByteCount() const
{
    std::unique_lock lock(readMutex_);
    return readBuffer_.size();
}

void QMProtocolParserSonyBVW::handleNewData()
{
    for (;;) {
        QByteArray packet;
        {
            std::unique_lock lock(readMutex_);
            if (readBuffer_.isEmpty())
                return;
            const qsizetype length = packetLength(byteAt(readBuffer_, 0));
            if (readBuffer_.size() < length)
                return;
            packet = readBuffer_.left(length);
            readBuffer_.remove(0, length);
        }
        // Answered outside the lock: the delegate runs the application.
        if (behavior() == QMProtocolBehaviorDevice) {
            writeData(responseForMessage(packet));
        } else if (behavior() != QMProtocolBehaviorController || !processPacket(packet)) {
            qmcomm::log(QStringLiteral("failed to process %1 clearing buffer").arg(qmcomm::dataDescription(packet)));
            std::unique_lock lock(readMutex_);
            readBuffer_.clear();
            return;
        }
    }
}

// ---- device behaviour

QByteArray QMProtocolParserSonyBVW::responseForMessage(const QByteArray& packet)
{
    if (packet.size() < 3 || computeChecksum(QByteArrayView(packet).first(packet.size() - 1)) != packet.back()) {
        qmcomm::log(QStringLiteral("\tchecksum error %1").arg(qmcomm::dataDescription(packet)));
        return checksumErrorNakData();
    }
    const QMSonyBVWCommand* row = lookupCommand(byteAt(packet, 0), byteAt(packet, 1));
    if (!row) {
        qmcomm::log(QStringLiteral("\t!!!!!!\tMessage not handled! %1").arg(qmcomm::dataDescription(packet)));
        return nakData();
    }
    if (row->handler) {
        if (qmcomm::debugEnabled())
            qmcomm::log(QStringLiteral("BVW: %1 =(SEL)=> %2").arg(qmcomm::dataDescription(packet), QLatin1String(row->description)));
        return (this->*(row->handler))(packet);
    }
    executeApplicationCommand(QLatin1String(row->applicationCommand), {});
    noteCommanded(row->applicationCommand);
    if (qmcomm::debugEnabled())
        qmcomm::log(QStringLiteral("BVW: %1 =(appCmd)=> %2").arg(qmcomm::dataDescription(packet), QLatin1String(row->applicationCommand)));
    return ackData();
}

QByteArray QMProtocolParserSonyBVW::handleDeviceTypeRequest(const QByteArray&)
{
    return checksummedData(QByteArray("\x12\x11\xF3\x3F", 4));
}

void QMProtocolParserSonyBVW::noteCommanded(const char* applicationCommand)
{
    static constexpr std::pair<const char*, QMBVWMotion> kMotions[] = {
        {QMApplicationCommandTransportStop, QMBVWMotion::Stop},
        {QMApplicationCommandTransportPlay, QMBVWMotion::Play},
        {QMApplicationCommandTransportFastForward, QMBVWMotion::FastForward},
        {QMApplicationCommandTransportRewind, QMBVWMotion::Rewind},
    };
    for (const auto& [command, motion] : kMotions) {
        if (qstrcmp(command, applicationCommand) == 0) {
            commanded_ = motion;
            commandedReverse_ = false;
            cueComplete_ = false;
        }
    }
}

QByteArray QMProtocolParserSonyBVW::speedRequest(const QByteArray& packet, int direction, QMBVWMotion kind)
{
    // One speed byte, or two for the fine form; the second is not needed at this resolution.
    if (packet.size() < 4)
        return nakData();
    doVarWithSpeed(byteAt(packet, 2), direction, kind);
    return ackData();
}

void QMProtocolParserSonyBVW::doVarWithSpeed(int speedNumber, int direction, QMBVWMotion kind)
{
    cueComplete_ = false;
    commandedReverse_ = direction < 0;
    if (speedNumber == 0) {
        // Speed 0 holds the picture.
        executeApplicationCommand(QLatin1String(QMApplicationCommandTransportPause), {});
        commanded_ = QMBVWMotion::Still;
        return;
    }
    // The speed travels with its direction: the interpreter plays at exactly this rate.
    const double speed = std::pow(10.0, speedNumber / 32.0 - 2.0);
    const QVariantMap params{
        {QLatin1String(QMApplicationCommandTransportParameterSpeed), speed},
        {QLatin1String(QMApplicationCommandTransportParameterDirection), direction},
    };
    executeApplicationCommand(QLatin1String(direction > 0 ? QMApplicationCommandTransportFastForward : QMApplicationCommandTransportRewind), params);
    commanded_ = kind;
}

QByteArray QMProtocolParserSonyBVW::handleJogForwardRequest(const QByteArray& p) { return speedRequest(p, 1, QMBVWMotion::Jog); }
QByteArray QMProtocolParserSonyBVW::handleVarForwardRequest(const QByteArray& p) { return speedRequest(p, 1, QMBVWMotion::Var); }
QByteArray QMProtocolParserSonyBVW::handleShuttleForwardRequest(const QByteArray& p) { return speedRequest(p, 1, QMBVWMotion::Shuttle); }
QByteArray QMProtocolParserSonyBVW::handleJogReverseRequest(const QByteArray& p) { return speedRequest(p, -1, QMBVWMotion::Jog); }
QByteArray QMProtocolParserSonyBVW::handleVarReverseRequest(const QByteArray& p) { return speedRequest(p, -1, QMBVWMotion::Var); }
QByteArray QMProtocolParserSonyBVW::handleShuttleReverseRequest(const QByteArray& p) { return speedRequest(p, -1, QMBVWMotion::Shuttle); }

QByteArray QMProtocolParserSonyBVW::handleCueUpWithDataRequest(const QByteArray& packet)
{
    if (packet.size() < 7)
        return nakData();
    const QMTimeCode at = *timeCodeFromBVWData(QByteArrayView(packet).sliced(2, 4));
    executeApplicationCommand(QLatin1String(QMApplicationCommandCueMedia),
                              {{QLatin1String(QMApplicationCommandCueMediaParamSetPlayhead), qmVariantFromTimeCode(at)}});
    // Cueing pauses the channel at the new position.
    commanded_ = QMBVWMotion::Still;
    commandedReverse_ = false;
    cueComplete_ = true;
    return ackData();
}

QByteArray QMProtocolParserSonyBVW::handleTimerModeSenseRequest(const QByteArray&)
{
    return QByteArray("\x71\x36\x00\xA7", 4);
}

QByteArray QMProtocolParserSonyBVW::handleCurrentTimeSenseRequest(const QByteArray& packet)
{
    if (packet.size() < 4)
        return nakData();
    const unsigned char d = byteAt(packet, 2);
    const QVariantMap cued = executeApplicationCommand(QLatin1String(QMApplicationCommandGetCuedMedia), {}).toMap();
    const QMTimeCode now = qmTimeCodeFromVariant(cued.value(QLatin1String(QMApplicationCommandGetCuedMediaParamCurrentTime)));
    QByteArray reply;
    reply.reserve(12);
    // D: LTC time 0x01, VITC time 0x02, timer 1 0x04, timer 2 0x08, LTC user bits 0x10, VITC
    // user bits 0x20. Both time codes are the channel's time; both user bits are zero.
    if (!(d & (0x01 | 0x02 | 0x04 | 0x08 | 0x10))) {
        reply.append("\x70\x0D", 2);
    } else if (d & 0x04) {
        reply.append("\x74\x00", 2).append(4, '\0');
    } else if (d & 0x08) {
        reply.append("\x74\x01", 2).append(4, '\0');
    } else if (d & (0x01 | 0x02)) {
        // LTC answers as 04, VITC as 06; asked with its user bits, 78 and four zero bytes more.
        const bool ltc = d & 0x01;
        const bool userBits = d & (ltc ? 0x10 : 0x20);
        reply.append(char(userBits ? 0x78 : 0x74)).append(char(ltc ? 0x04 : 0x06));
        appendBVWData(reply, now);
        if (userBits)
            reply.append(4, '\0');
    } else {
        reply.append("\x74\x05", 2).append(4, '\0');
    }
    return checksummedData(reply);
}

QByteArray QMProtocolParserSonyBVW::handleStatusSenseRequest(const QByteArray& packet)
{
    if (packet.size() < 4)
        return nakData();
    const int start = byteAt(packet, 2) >> 4;
    const int count = byteAt(packet, 2) & 0x0F;
    const QVariantMap state = executeApplicationCommand(QLatin1String(QMApplicationGetState), {}).toMap();
    const QVariantMap cued = executeApplicationCommand(QLatin1String(QMApplicationCommandGetCuedMedia), {}).toMap();
    // The answer carries the loaded cue's ID whenever the channel has one, named or not: 9-pin
    // names no clips, and what loaded it (start-up, the window, another controller) does not count.
    const bool clipLoaded = cued.contains(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID));
    // A cue the channel is still loading is not complete yet: the editor polls until it is.
    const bool loading = state.value(QLatin1String(QMApplicationStatePrerolling)).toBool();
    const QMBVWStatusBlock block =
        qmBVWStatusBlock({qmBVWMotion(state, commanded_), commandedReverse_, cueComplete_ && !loading, clipLoaded});
    QByteArray reply;
    reply.append(static_cast<char>(0x70 | count));
    reply.append(char(0x20));
    // Bytes asked for beyond the 16-byte block are sent as zero.
    for (int i = start; i < start + count; ++i)
        reply.append(i < kStatusBlockSize ? static_cast<char>(block[std::size_t(i)]) : '\0');
    return checksummedData(reply);
}

// ---- controller behaviour

QVariantMap QMProtocolParserSonyBVW::protocolCommands()
{
    if (behavior() == QMProtocolBehaviorDevice)
        return {};
    QVariantMap commands;
    int index = 0;
    for (const ControllerCommand& c : kControllerCommands) {
        const QString name = QString::fromLatin1(c.name);
        commands.insert(name, commandDictionary(name, index++, QString::fromLatin1(c.format)));
    }
    return commands;
}

void QMProtocolParserSonyBVW::sendProtocolCommand(const QVariantMap& descriptor)
{
    const auto bytes = QMSerialString::qmDataFromHexString(descriptor.value(QLatin1String(QMProtocolCommandKeyFormat)).toString());
    if (!bytes || bytes->isEmpty())
        return;
    writeData(checksummedData(*bytes));
}

void QMProtocolParserSonyBVW::transportAction(const QString& buttonTitle)
{
    const QVariantMap commands = protocolCommands();
    if (commands.contains(buttonTitle))
        sendProtocolCommand(commands.value(buttonTitle).toMap());
}

void QMProtocolParserSonyBVW::requestTimecode()
{
    writeData(QByteArray("\x61\x0C\x01\x6E", 4));
}

void QMProtocolParserSonyBVW::setTimecodeObserver(std::function<void(const QString&)> observer)
{
    std::unique_lock lock(viewMutex_);
    timecodeObserver_ = std::move(observer);
}

QString QMProtocolParserSonyBVW::timecodeString() const
{
    std::unique_lock lock(viewMutex_);
    return timecodeString_;
}

bool QMProtocolParserSonyBVW::processPacket(const QByteArray& packet)
{
    if (packet.size() < 3) {
        qmcomm::log(QStringLiteral("data must be at least 3 bytes %1").arg(qmcomm::dataDescription(packet)));
        return false;
    }
    const char computed = computeChecksum(QByteArrayView(packet).first(packet.size() - 1));
    if (computed != packet.back()) {
        qmcomm::log(QStringLiteral("failed to verify (%1) checksum (%2) for data %3")
                        .arg(QString::number(static_cast<unsigned char>(computed), 16), QString::number(static_cast<unsigned char>(packet.back()), 16),
                             qmcomm::dataDescription(packet)));
        return false;
    }
    if (packet.size() == 7 && byteAt(packet, 0) == 0x74 && byteAt(packet, 1) == 0x04) {
        const QMTimeCode time = *timeCodeFromBVWData(QByteArrayView(packet).sliced(2, 4));
        executeApplicationCommand(QLatin1String(QMApplicationCommandTransportTimecode),
                                  {{QLatin1String(QMApplicationCommandTransportParameterTimecode), qmVariantFromTimeCode(time)}});
        const QString shown = time.stringValue();
        std::function<void(const QString&)> observer;
        {
            std::unique_lock lock(viewMutex_);
            timecodeString_ = shown;
            observer = timecodeObserver_;
        }
        if (observer)
            observer(shown);
    }
    return true;
}

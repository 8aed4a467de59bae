#include "comm/showcontrol/feeds/QMSerialFeedParser.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMSerialHardwareCommunicator.h"

#include <array>

namespace {

using Kind = QMFeedFraming::Kind;

const std::array<QMFeedDescription, 9> kFeeds = {{
    {"QMProtocolParserAllAmerican8000", "AllAmerican8000", "AllAmerican8000Logo", 9600, {Kind::None, 0, 0}, true},
    {"QMProtocolParserDaktronicsTV", "DaktronicsTV", "daktronicsLogo", 9600, {Kind::StartEnd, 0x01, 0x04}, true},
    {"QMProtocolParserElectorMech", "Electro-Mech", "ElectroMechLogo", 38400, {Kind::StartEnd, 0x01, 0x04}, true},
    {"QMProtocolParserEversan", "Eversan", "EversanLogo", 9600, {Kind::StartEnd, 0x02, 0x0D}, true},
    {"QMProtocolParserFairPlayMP70", "FairPlayMP70", "FairPlayMP70Logo", 9600, {Kind::StartEnd, 0x02, 0x03}, true},
    {"QMProtocolParserJugs", "Jugs", "JugsLogo", 1200, {Kind::Line, 0, 0x0D}, true},
    {"QMProtocolParserOES", "OES", "oesLogo", 9600, {Kind::StartEnd, 0x02, 0x0D}, true},
    {"QMProtocolParserStalker", "Stalker", "stalker_radar", 9600, {Kind::Line, 0, 0x0D}, true},
    {"QMProtocolParserStatCrew", "StatCrew", "statcrewLogo", 19200, {Kind::StartEnd, 0x02, 0x03}, false},
}};

class FeedClass final : public QMProtocolParserClass {
public:
    explicit FeedClass(const QMFeedDescription& d) : QMProtocolParserClass(QLatin1String(d.className)), d_(d) {}
    std::shared_ptr<QMProtocolParser> create() const override { return std::make_shared<QMSerialFeedParser>(*this, d_); }
    QString supportedProtocol() const override { return QLatin1String(d_.protocol); }
    QString supportedProtocolIcon() const override { return QLatin1String(d_.icon); }
    QString supportedProtocolDescription() const override { return QStringLiteral(""); }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMSerialHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorController; }

private:
    const QMFeedDescription& d_;
};

std::string queueLabel(const QMFeedDescription& d)
{
    return std::string("com.quenmark.communications.") + d.protocol + "MessageQueue";
}

} // namespace

QList<const QMProtocolParserClass*> QMSerialFeedParser::feedClasses()
{
    static const std::array<FeedClass, 9> classes = {FeedClass(kFeeds[0]), FeedClass(kFeeds[1]), FeedClass(kFeeds[2]),
                                                     FeedClass(kFeeds[3]), FeedClass(kFeeds[4]), FeedClass(kFeeds[5]),
                                                     FeedClass(kFeeds[6]), FeedClass(kFeeds[7]), FeedClass(kFeeds[8])};
    QList<const QMProtocolParserClass*> list;
    for (const FeedClass& c : classes)
        list.append(&c);
    return list;
}

QMSerialFeedParser::QMSerialFeedParser(const QMProtocolParserClass& parserClass, const QMFeedDescription& description)
    : class_(parserClass), description_(description), messageQueue_(queueLabel(description))
{
}

void QMDeliverFeedFrame(QMProtocolParser& parser, const QByteArray& frame)
{
    parser.executeApplicationCommand(QLatin1String(QMApplicationCommandRawData),
                                     {{QLatin1String(QMApplicationCommandRawDataParamData), frame}});
}

void QMSerialFeedParser::serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray& data)
{
    if (data.isEmpty()) {
        qmcomm::log(QStringLiteral("got data with no length, bailing..."));
        return;
    }
    if (description_.framing.kind == Kind::None) {
        qmcomm::log(qmcomm::dataDescription(data));
        return;
    }
    QList<QByteArray> frames;
    bool kept = true;
    messageQueue_.sync([&] {
        messageBuffer_.append(data.constData(), data.size()); // copied, never shared across threads
        kept = QMCutFeedFrames(messageBuffer_, description_.framing, frames);
    });
    if (!kept)
        qmcomm::logError(QStringLiteral("%1: more than %2 bytes without a complete frame; dropped")
                             .arg(QLatin1String(description_.protocol))
                             .arg(kQMFeedMaxBufferedBytes));
    for (const QByteArray& frame : std::as_const(frames))
        QMDeliverFeedFrame(*this, frame);
}

void QMSerialFeedParser::serialPortDidConnectForSerialHardware(QMSerialHardwareCommunicator* hardware)
{
    if (description_.logsConnect)
        qmcomm::log(QStringLiteral("serial port connected"));
    hardware->read();
}

void QMSerialFeedParser::serialPortDidDisconnectForSerialHardware(QMSerialHardwareCommunicator*)
{
    qmcomm::log(QStringLiteral("serial port disconnected"));
}

QByteArray QMSerialFeedParser::messageBuffer()
{
    return messageQueue_.syncResult([this] { return messageBuffer_; });
}

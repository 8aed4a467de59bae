#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"
#include "comm/timecode/QMDataExtensions.h"
#include "platform/foundation/Dispatch.h"

#include <QStringView>

#include <limits>

namespace {

class RossTalkClass : public QMProtocolParserClassOf<QMProtocolParserRossTalk> {
public:
    RossTalkClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserRossTalk")) {}
    QString supportedProtocol() const override { return QStringLiteral("RossTalk"); }
    QStringList supportedHardwareCommunicators() const override { return {QMTCPNetworkHardwareCommunicator::tcpClass().className()}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorController | QMProtocolBehaviorDevice; }
};

QString k(const char* name)
{
    return QString::fromLatin1(name);
}

// Reads decimal integers the way the protocol's senders write them: white space skipped, an
// optional sign, digits (saturating).
class LineScanner {
public:
    explicit LineScanner(QStringView text) : text_(text) {}

    std::optional<qint64> scanInteger()
    {
        skipSpace();
        qsizetype i = pos_;
        bool negative = false;
        if (i < text_.size() && (text_[i] == u'-' || text_[i] == u'+'))
            negative = text_[i++] == u'-';
        const qsizetype digitsFrom = i;
        qint64 value = 0;
        for (; i < text_.size() && text_[i].isDigit() && text_[i].unicode() < 128; ++i) {
            const int digit = text_[i].unicode() - '0';
            value = value > (std::numeric_limits<qint64>::max() - digit) / 10 ? std::numeric_limits<qint64>::max() : value * 10 + digit;
        }
        if (i == digitsFrom)
            return std::nullopt;
        pos_ = i;
        return negative ? -value : value;
    }

    bool scanCharacter(QChar c)
    {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

private:
    void skipSpace()
    {
        while (pos_ < text_.size() && text_[pos_].isSpace())
            ++pos_;
    }

    QStringView text_;
    qsizetype pos_ = 0;
};

// A command is the line's first word, so "UPDATE" is not "UP"; its arguments follow after a
// space or, for the numbered ones, at once ("CLFB2", "GPI3:1").
bool isCommand(const QString& line, QLatin1String word)
{
    return line.startsWith(word) && (line.size() == word.size() || !line.at(word.size()).isLetter());
}

} // namespace

const QMProtocolParserClass& QMProtocolParserRossTalk::rossTalkClass()
{
    static const RossTalkClass c;
    return c;
}

void QMRegisterRossTalkClass()
{
    QMProtocolParserClass::registerClass(QMProtocolParserRossTalk::rossTalkClass());
}

QVariantMap QMProtocolParserRossTalk::protocolCommands()
{
    if (behavior() == QMProtocolBehaviorDevice)
        return {};
    std::call_once(commandsBuilt_, [this] {
        using QMProtocolCommandSender::descriptor;
        using QMProtocolCommandSender::parameter;
        const QStringList oneToEight{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                                     QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
        commands_ = QMProtocolCommandSender::table({
            descriptor(2, QStringLiteral("Fade To Black"), QStringLiteral("Performs a Fade To Black Transition"), QStringLiteral("FTB")),
            descriptor(5, QStringLiteral("Key Cut"), QStringLiteral("Performs a cut of the specified keyer on the specified MLE."),
                       QStringLiteral("KEYCUT MLE:keyer"),
                       {parameter(QStringLiteral("MLE"), 7, 3, oneToEight), parameter(QStringLiteral("Keyer"), 11, 5, oneToEight)}),
            descriptor(6, QStringLiteral("Key Trans"), QStringLiteral("Performs an auto transition of the specified keyer on the specified MLE."),
                       QStringLiteral("KEYAUTO MLE:keyer"),
                       {parameter(QStringLiteral("MLE"), 8, 3, oneToEight), parameter(QStringLiteral("Keyer"), 12, 5, oneToEight)}),
            descriptor(7, QStringLiteral("Trigger GPI"),
                       QStringLiteral("Performs the action assigned to the GPI input. If the GPI is assigned as an output, no action is performed."),
                       QStringLiteral("GPI x"), {parameter(QStringLiteral("GPI"), 4, 1)}),
            descriptor(8, QStringLiteral("Custom Control"), QStringLiteral("Executes the specified custom control."), QStringLiteral("CC x"),
                       {parameter(QStringLiteral("Custom Control"), 3, 1)}),
        });
    });
    return commands_;
}

void QMProtocolParserRossTalk::sendProtocolCommand(const QVariantMap& descriptor)
{
    const QByteArray line = (QMProtocolCommandSender::substitutedFormat(descriptor) + QStringLiteral("\r\n")).toUtf8();
    const std::shared_ptr<QMHardwareCommunicator> communicator = hardwareCommunicator();
    if (auto* tcp = dynamic_cast<QMTCPNetworkHardwareCommunicator*>(communicator.get()))
        tcp->writeData(line, QString(), 5.0);
    else
        qmcomm::logError(QStringLiteral("unknown hardware class: %1").arg(communicator ? communicator->className() : QStringLiteral("(null)")));
}

QMTCPFraming QMProtocolParserRossTalk::networkFramingForNetworkHardware(QMTCPNetworkHardwareCommunicator*)
{
    return {.payloadDelimiter = NSDataExtensions::CRLFData()};
}

QMTCPIdentity QMProtocolParserRossTalk::tcpIdentityForNetworkHardware(QMTCPNetworkHardwareCommunicator*)
{
    return {.port = 7788,
            .mayConnect = behavior() == QMProtocolBehaviorController,
            .mayAccept = behavior() == QMProtocolBehaviorDevice};
}

void QMProtocolParserRossTalk::networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection)
{
    hardware->readPayloadOnConnection(connection, -1);
}

void QMProtocolParserRossTalk::networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data,
                                                                     const QString& connection)
{
    QByteArray bytes = data;
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    const QString line = QString::fromUtf8(bytes);
    // Handled on the main thread; the next line is asked for at once, and posts keep their order.
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, line] {
        if (const auto self = weak.lock())
            static_cast<QMProtocolParserRossTalk*>(self.get())->handleMessage(line);
    });
    hardware->readPayloadOnConnection(connection, -1);
}

void QMProtocolParserRossTalk::send(const char* command, const QVariantMap& params)
{
    executeApplicationCommand(QString::fromLatin1(command), params);
}

void QMProtocolParserRossTalk::handleMessage(const QString& line)
{
    const auto notHandled = [](const char* word) { qmcomm::log(QStringLiteral("didn't handle RossTalk command %1").arg(QLatin1String(word))); };
    const auto rest = [&line](qsizetype prefix) { return LineScanner(QStringView(line).mid(prefix)); };

    if (isCommand(line, QLatin1String("SEQI"))) {
        notHandled("SEQI");
    } else if (isCommand(line, QLatin1String("TAKE"))) {
        notHandled("TAKE");
    } else if (isCommand(line, QLatin1String("SEQO"))) {
        notHandled("SEQO");
    } else if (isCommand(line, QLatin1String("CLFB"))) {
        static const char* const clears[] = {QMApplicationCommandClearAll, QMApplicationCommandClearLiveVideo, QMApplicationCommandClearBackground,
                                              QMApplicationCommandClearSlide, QMApplicationCommandClearProps};
        const qint64 n = rest(4).scanInteger().value_or(0);
        if (n >= 0 && n < qint64(std::size(clears)))
            send(clears[n]);
    } else if (isCommand(line, QLatin1String("RESUME"))) {
        notHandled("RESUME");
    } else if (isCommand(line, QLatin1String("CLRA"))) {
        send(QMApplicationCommandClearAll);
    } else if (isCommand(line, QLatin1String("READ"))) {
        notHandled("READ");
    } else if (isCommand(line, QLatin1String("NEXT"))) {
        send(QMApplicationCommandSlideNext);
    } else if (isCommand(line, QLatin1String("UP"))) {
        send(QMApplicationCommandPlaylistItemPrevious);
    } else if (isCommand(line, QLatin1String("DOWN"))) {
        send(QMApplicationCommandPlaylistItemNext);
    } else if (isCommand(line, QLatin1String("FOCUS"))) {
        notHandled("FOCUS");
    } else if (isCommand(line, QLatin1String("GPI"))) {
        LineScanner scanner = rest(3);
        QVariantMap params{{k(QMApplicationCommandGPIParameterInputNumber), scanner.scanInteger().value_or(0)}};
        if (scanner.scanCharacter(u':'))
            params.insert(k(QMApplicationCommandGPIParameterState), scanner.scanInteger().value_or(0));
        send(QMApplicationCommandGPITrigger, params);
    } else {
        qmcomm::log(QStringLiteral("Unknown RossTalk message %1").arg(line));
    }
}

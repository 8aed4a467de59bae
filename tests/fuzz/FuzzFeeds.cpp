// The scoreboard, radar and sports-data parsers past the framing: each of the nine serial feed
// classes (through its read entry point, its own framing table and message queue) and Scorebot
// (fixed records, as its TCP communicator cuts them). The first byte picks the class, the rest
// arrives in reads cut at each 0xFF byte. Every frame handed to the application is checked
// against the class's framing, and the bytes waiting for a frame stay bounded.
#include "comm/core/QMApplicationCommands.h"
#include "comm/showcontrol/feeds/QMProtocolParserScorebot.h"
#include "comm/showcontrol/feeds/QMSerialFeedParser.h"
#include "platform/foundation/Log.h"

#include <QCoreApplication>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class Recorder final : public QMProtocolParserDelegate {
public:
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override
    {
        if (command != QLatin1String(QMApplicationCommandRawData) || !params.contains(QLatin1String(QMApplicationCommandParser)))
            std::abort();
        frames.append(params.value(QLatin1String(QMApplicationCommandRawDataParamData)).toByteArray());
        return {};
    }
    QList<QByteArray> frames;
};

void checkFrame(const QByteArray& frame, const QMFeedFraming& framing)
{
    const auto first = std::uint8_t(frame.front());
    const auto last = std::uint8_t(frame.back());
    switch (framing.kind) {
    case QMFeedFraming::Kind::None:
        std::abort(); // such a feed only logs
    case QMFeedFraming::Kind::StartEnd:
        if (frame.size() < 2 || first != framing.start || last != framing.end
            || frame.mid(1, frame.size() - 2).contains(char(framing.start))
            || frame.mid(1, frame.size() - 2).contains(char(framing.end)))
            std::abort();
        break;
    case QMFeedFraming::Kind::Line:
        if (frame.size() < 2 || last != '\r' || frame.chopped(1).contains('\r'))
            std::abort();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet;
    quiet.clear();
    if (size < 1)
        return 0;
    static const QList<const QMProtocolParserClass*> feeds = QMSerialFeedParser::feedClasses();
    const qsizetype pick = data[0] % (feeds.size() + 1);
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    Recorder recorder;

    if (pick == feeds.size()) {
        const auto scorebot = std::make_shared<QMProtocolParserScorebot>();
        scorebot->setDelegate(&recorder);
        const auto length = qsizetype(QMProtocolParserScorebot::kRecordLength);
        qsizetype records = 0;
        for (qsizetype from = 0; from + length <= stream.size(); from += length, ++records)
            scorebot->networkHardwareReadDataFromConnection(nullptr, stream.mid(from, length), QStringLiteral("127.0.0.1:1402"));
        if (recorder.frames.size() != records)
            std::abort();
        for (qsizetype i = 0; i < records; ++i)
            if (recorder.frames[i] != stream.mid(i * length, length))
                std::abort();
        return 0;
    }

    // One parser per class for the whole run (each has a queue thread of its own); every input
    // ends with the byte that closes a frame, which leaves its buffer empty for the next one.
    static std::vector<std::shared_ptr<QMSerialFeedParser>> parsers;
    if (parsers.empty())
        for (const QMProtocolParserClass* feed : feeds)
            parsers.push_back(std::dynamic_pointer_cast<QMSerialFeedParser>(feed->create()));
    QMSerialFeedParser& parser = *parsers[std::size_t(pick)];
    parser.setDelegate(&recorder);
    const QMFeedFraming& framing = parser.description().framing;
    for (const QByteArray& read : stream.split('\xff'))
        parser.serialHardwareReadData(nullptr, read);
    if (parser.messageBuffer().size() > kQMFeedMaxBufferedBytes)
        std::abort();
    parser.serialHardwareReadData(nullptr, QByteArray(1, char(framing.kind == QMFeedFraming::Kind::Line ? '\r' : framing.end)));
    if (!parser.messageBuffer().isEmpty())
        std::abort();
    for (const QByteArray& frame : std::as_const(recorder.frames)) {
        if (frame.isEmpty())
            std::abort();
        checkFrame(frame, framing);
    }
    parser.setDelegate(nullptr);
    return 0;
}

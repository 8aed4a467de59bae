// The DMX parser: frames as a console's Art-Net input hands them over (any length, any bytes),
// handed to the main thread where each is compared with the universe so far, and the outgoing
// commands that name slots and values. Input: a list of operations, each one byte and what it
// takes: a frame (a byte count, high and low byte, then the bytes), a turn of the main loop, or
// an outgoing command (a channel text up to a 0xFF byte and a value byte). The reported changes
// are checked against a plain model of the universe.
#include "comm/core/QMApplicationCommands.h"
#include "comm/showcontrol/dmx/QMProtocolParserDMX.h"
#include "platform/foundation/Log.h"

#include <QCoreApplication>

#include <array>
#include <cstdlib>
#include <optional>

namespace {

class Recorder final : public QMProtocolParserDelegate {
public:
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override
    {
        if (command != QLatin1String(QMApplicationCommandDMXValuesChanged))
            std::abort();
        changes = params;
        changes.remove(QLatin1String(QMApplicationCommandParser));
        ++count;
        return {};
    }
    QVariantMap changes;
    int count = 0;
};

// The universe as the frames handled so far leave it: each frame's slots over the last values.
struct Model {
    std::array<int, QMProtocolParserDMX::kUniverseSlots> levels{};
    qsizetype reached = 0;

    QVariantMap apply(const QByteArray& frame)
    {
        QVariantMap changed;
        const qsizetype carried = std::min(frame.size(), QMProtocolParserDMX::kUniverseSlots);
        for (qsizetype i = 0; i < carried; ++i) {
            const int value = std::uint8_t(frame[i]);
            if (value != levels[std::size_t(i)])
                changed.insert(QString::number(i), value);
            levels[std::size_t(i)] = value;
        }
        reached = std::max(reached, carried);
        return changed;
    }
};

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
    Recorder recorder;
    const auto parser = std::make_shared<QMProtocolParserDMX>();
    parser->setDelegate(&recorder);
    Model model;
    std::optional<QByteArray> waiting; // the frame the main thread has yet to take
    std::size_t at = 0;
    const auto turn = [&] {
        const int before = recorder.count;
        QCoreApplication::sendPostedEvents();
        if (!waiting) {
            if (recorder.count != before)
                std::abort();
            return;
        }
        const QVariantMap expected = model.apply(*waiting);
        waiting.reset();
        if (expected.isEmpty() ? recorder.count != before : (recorder.count != before + 1 || recorder.changes != expected))
            std::abort();
        const std::optional<QByteArray> last = parser->lastFrame();
        if (!last || last->size() != model.reached)
            std::abort();
        for (qsizetype i = 0; i < last->size(); ++i)
            if (std::uint8_t((*last)[i]) != model.levels[std::size_t(i)])
                std::abort();
    };
    while (at < size) {
        const std::uint8_t op = data[at++] % 3;
        if (op == 0 && at + 2 <= size) {
            const std::size_t length = std::min<std::size_t>((std::size_t(data[at]) << 8 | data[at + 1]), size - at - 2);
            at += 2;
            const QByteArray frame(reinterpret_cast<const char*>(data + at), qsizetype(length));
            at += length;
            parser->hardwareReceivedDMXData(frame);
            waiting = frame; // a frame still waiting is replaced, not handled
        } else if (op == 1) {
            turn();
        } else if (op == 2) {
            std::size_t end = at;
            while (end < size && data[end] != 0xFF)
                ++end;
            const QString channel = QString::fromUtf8(reinterpret_cast<const char*>(data + at), qsizetype(end - at));
            const int value = end + 1 < size ? data[end + 1] : 0;
            at = std::min(size, end + 2);
            parser->sendProtocolCommand({{QLatin1String(QMProtocolCommandDMXChannel), channel},
                                         {QLatin1String(QMProtocolCommandDMXValue), value}});
            parser->sendProtocolCommand({{QLatin1String(QMProtocolCommandDMXChannelArray),
                                          QVariantList{QVariantMap{{QLatin1String(QMProtocolCommandDMXChannel), channel},
                                                                   {QLatin1String(QMProtocolCommandDMXValue), value}},
                                                       channel}}});
        }
    }
    turn();
    parser->setDelegate(nullptr);
    return 0;
}

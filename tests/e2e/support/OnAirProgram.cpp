#include "tests/e2e/support/OnAirProgram.h"

#include "tests/e2e/support/FrameLogReader.h"
#include "tests/support/LoopbackPorts.h"

#include <thread>

using vdcppeer::frame;
using vdcppeer::Reply;

namespace e2e {

namespace {

QString modeCard(const QString& card, const CardMode& mode)
{
    return QStringLiteral("{\"name\": \"%1\", \"input\": false, \"modes\": [{\"name\": \"%2\", \"width\": %3, "
                          "\"height\": %4, \"frameDuration\": %5, \"timeScale\": %6}]}")
        .arg(card, mode.name)
        .arg(mode.width)
        .arg(mode.height)
        .arg(mode.frameDuration)
        .arg(mode.timeScale);
}

char bcd(int value)
{
    return char(((value / 10) << 4) | (value % 10));
}

QByteArray id8(const QString& id)
{
    return id.leftJustified(8, QLatin1Char(' '), true).toLatin1();
}

} // namespace

CardMode ntscMode()
{
    return CardMode{QStringLiteral("Test 320x240p29.97"), 320, 240, 1001, 30000};
}

CardMode ntscDoubleMode()
{
    return CardMode{QStringLiteral("Test 320x240p59.94"), 320, 240, 1001, 60000};
}

CardMode hd720DoubleMode()
{
    return CardMode{QStringLiteral("HD 720p 59.94"), 1280, 720, 1001, 60000};
}

OnAirProgram::OnAirProgram(const std::vector<std::vector<Cue>>& channels, const CardMode& mode, std::vector<int> linkedTo,
                           const std::function<void(Scene&)>& adjust)
{
    Scene scene;
    scene.channels = channels;
    scene.linkedTo = std::move(linkedTo);
    for (size_t c = 0; c < channels.size(); ++c) {
        const int tag = int(c + 1);
        const uint16_t port = testsupport::freeTcpPort();
        ports_.push_back(port);
        scene.devices << tcpDevice(QStringLiteral("Automation %1").arg(tag), tag, QStringLiteral("QMProtocolParserVDCP"), port);
        if (c)
            scene.cardsJson += QStringLiteral(", ");
        scene.cardsJson += modeCard(QStringLiteral("Out %1").arg(tag), mode);
        // The card shows the clip while cued (no slate) and carries the channel's sound.
        scene.defaults << QStringLiteral("KLVShowSlate_%1=false").arg(tag)
                       << QStringLiteral("KLVSelectedAudioOutput%1=1").arg(tag);
        sessions_.push_back(std::make_unique<VdcpSession>());
    }
    if (adjust)
        adjust(scene);
    app_ = std::make_unique<KalvantoProcess>(scene);
}

OnAirProgram::~OnAirProgram() = default;

bool OnAirProgram::start(QString* why)
{
    if (!app_->start()) {
        *why = QStringLiteral("the program did not start: ") + QString::fromLocal8Bit(app_->output());
        return false;
    }
    for (size_t c = 0; c < sessions_.size(); ++c) {
        if (!waitFor([&] { return tcpAccepts(ports_[c]); }, 60000) || !sessions_[c]->connectTo(ports_[c])) {
            *why = QStringLiteral("VDCP port %1 not reachable").arg(ports_[c]);
            return false;
        }
        if (!sessions_[c]->ask(frame(0x30, 0x01, QByteArray(1, char(0x01))), 10000).isData(0x81)) {
            *why = QStringLiteral("port 1 not granted on channel %1").arg(c + 1);
            return false;
        }
    }
    return true;
}

bool OnAirProgram::ask(int channel, const QByteArray& command, int timeoutMs)
{
    return sessions_[size_t(channel)]->ask(command, timeoutMs).kind == Reply::Ack;
}

bool OnAirProgram::cue(int channel, const QString& id)
{
    return ask(channel, frame(0x20, 0x24, id8(id)));
}

bool OnAirProgram::cueWithData(int channel, const QString& id, const int in[4], const int duration[4])
{
    // BVW order: frames, seconds, minutes, hours.
    QByteArray data = id8(id);
    for (const int* tc : {in, duration})
        data.append(bcd(tc[3])).append(bcd(tc[2])).append(bcd(tc[1])).append(bcd(tc[0]));
    return ask(channel, frame(0x20, 0x25, data));
}

bool OnAirProgram::play(int channel)
{
    return ask(channel, frame(0x10, 0x01), 5000);
}

bool OnAirProgram::still(int channel)
{
    return ask(channel, frame(0x10, 0x04), 5000);
}

bool OnAirProgram::stop(int channel)
{
    return ask(channel, frame(0x10, 0x00), 5000);
}

bool OnAirProgram::step(int channel)
{
    return ask(channel, frame(0x10, 0x05), 5000);
}

size_t OnAirProgram::logMark(int channel)
{
    return readFrameLog(app_->frameLogPath(channel)).size();
}

std::vector<int64_t> OnAirProgram::onAirSince(int channel, size_t mark)
{
    const auto log = readFrameLog(app_->frameLogPath(channel));
    std::vector<int64_t> codes;
    for (size_t i = mark; i < log.size(); ++i)
        codes.push_back(log[i].barcode);
    return codes;
}

std::vector<int64_t> OnAirProgram::periodsSince(int channel, size_t mark)
{
    const auto log = readFrameLog(app_->frameLogPath(channel));
    std::vector<int64_t> periods;
    for (size_t i = mark; i < log.size(); ++i)
        periods.push_back(log[i].tick);
    return periods;
}

bool OnAirProgram::waitForCueDone(int channel, int limitMs)
{
    constexpr std::uint8_t kCueDone = 0x80;
    return waitFor([&] {
        const Reply status = sessions_[size_t(channel)]->ask(frame(0x30, 0x05, QByteArray(1, char(0x01))));
        return status.kind == Reply::Data && status.data.size() >= 2 && (std::uint8_t(status.data.at(1)) & kCueDone);
    }, limitMs);
}

bool OnAirProgram::waitForOnAir(int channel, int64_t code, int limitMs)
{
    return waitFor([&] {
        const auto log = readFrameLog(app_->frameLogPath(channel));
        return !log.empty() && log.back().barcode == code;
    }, limitMs);
}

bool OnAirProgram::waitForHold(int channel, int periods, int limitMs)
{
    return waitFor([&] {
        const auto log = readFrameLog(app_->frameLogPath(channel));
        if (log.size() < size_t(periods))
            return false;
        for (size_t i = log.size() - size_t(periods); i < log.size(); ++i)
            if (log[i].barcode != log.back().barcode)
                return false;
        return true;
    }, limitMs);
}

} // namespace e2e

// Clipwright's requests: a request body (CBOR) in an envelope through the frame reader, handed
// to the service's event handler, its job run on the lanes, and the reply checked: a request is
// answered exactly once, a message never. The first byte says which (bit 0 set: a message), the
// rest is the body. Paths are kept to a private scratch folder holding a short clip, a still, a
// FIFO and a folder (an absolute path, or a destination of any kind, keeps only its last component
// there; /dev/full stays itself; a relative source is refused unread), so no input reads or
// writes the machine's own files.
#include "mediahelper/service/ClipwrightService.h"
#include "mediahelper/service/JobLanes.h"
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "platform/xpc/XpcFrame.h"

#include "FuzzClipwright.h"
#include "FuzzQuiet.h"
#include "FuzzScratch.h"

#include <QCborValue>
#include <QGuiApplication>
#include <QImage>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace clipwright;

namespace {

const std::set<std::string> kFixtures = {"clip.y4m", "still.png", "feed", "dir"};

std::string scratch()
{
    static const std::string folder = fuzzsupport::scratchFolder("unused");
    return folder;
}

// One second of 32x18 4:2:0 pictures, each brighter than the last.
void writeClip(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W32 H18 F25:1 Ip A1:1 C420jpeg\n";
    for (int frame = 0; frame < 25; ++frame) {
        out << "FRAME\n";
        out << std::string(32 * 18, char(frame * 10));
        out << std::string(2 * 16 * 9, char(128));
    }
}

QString confined(const QString& path, bool destination, std::set<std::string>& made)
{
    if ((!destination && !path.startsWith(QLatin1Char('/'))) || path == QLatin1String("/dev/full"))
        return path;
    const std::string name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toStdString();
    if (!kFixtures.count(name) && !name.empty() && name != "." && name != "..")
        made.insert(name);
    return QString::fromStdString(scratch() + "/" + name);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::silenceEngineLog();
    av_log_set_level(AV_LOG_QUIET);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // the jobs draw text
    writeClip(scratch() + "/clip.y4m");
    QImage still(32, 18, QImage::Format_RGB888);
    still.fill(Qt::gray);
    still.save(QString::fromStdString(scratch() + "/still.png"));
    ::mkfifo((scratch() + "/feed").c_str(), 0600);
    ::mkdir((scratch() + "/dir").c_str(), 0700);
    std::atexit([] {
        for (const char* name : {"clip.y4m", "still.png", "feed"})
            ::unlink((scratch() + "/" + name).c_str());
        ::rmdir((scratch() + "/dir").c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool message = data[0] & 1;
    // Through the frame reader, as the service receives it: the body inside an envelope. What the
    // reader refuses never reaches the service.
    QByteArray envelope = QByteArray::fromHex("a4" "6176" "01" "626964" "01" "646b696e64");
    envelope += message ? QByteArray::fromHex("676d657373616765") : QByteArray::fromHex("6772657175657374");
    envelope += QByteArray::fromHex("64626f6479") + QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const auto length = std::uint32_t(envelope.size());
    const char prefix[4] = {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
    platform::XpcFrameReader reader;
    reader.append(prefix, 4);
    reader.append(envelope.constData(), std::size_t(envelope.size()));
    platform::XpcEnvelope received;
    if (reader.next(received) != platform::XpcFrameReader::Status::Frame)
        return 0;
    QCborMap body = received.body;
    std::set<std::string> made;
    for (const char* key : {kSourceKey, kSlateDestinationKey, kThumbnailDestinationKey}) {
        const QCborValue path = body.value(QLatin1String(key));
        if (path.isString())
            body.insert(QLatin1String(key), confined(path.toString(), key != kSourceKey, made));
    }

    static JobLanes lanes(std::chrono::hours(1));
    static ClipwrightService service(lanes);
    auto reply = message ? nullptr : std::make_shared<fuzzsupport::CountingReply>();
    service.Clipwright_peer_event_handler(platform::XpcEvent{body, reply, received.refusal});
    fuzzsupport::drain(lanes);
    if (reply && reply->count != 1)
        std::abort();
    for (const auto& name : made)
        ::unlink((scratch() + "/" + name).c_str());
    return 0;
}

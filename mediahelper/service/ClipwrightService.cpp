#include "mediahelper/service/ClipwrightService.h"

#include "mediahelper/decoder/ssMediaDecoder3Light.h"
#include "mediahelper/imaging/FrameImages.h"
#include "mediahelper/imaging/KLVCleanImageManager.h"
#include "mediahelper/shared/ClipwrightProtocol.h"

#include "platform/foundation/Log.h"

#include <QCborValue>
#include <QFile>

#include <cmath>

#include <sys/stat.h>

namespace clipwright {

namespace {

constexpr const char* kSubsystem = "com.quenmark.clipwright";
constexpr const char* kCategory = "service";

void logLine(const QString& line)
{
    platform::log(kSubsystem, kCategory, platform::LogLevel::Default, line);
}

QString shown(const std::optional<QString>& text)
{
    return text ? *text : QStringLiteral("(null)");
}

QCborMap result(const char* value)
{
    QCborMap reply;
    reply.insert(QLatin1String(kResultKey), QLatin1String(value));
    return reply;
}

void sendReply(const ReplyChannel& reply, const QCborMap& body)
{
    if (reply)
        reply->send(body);
}

QCborMap failure(const char* reason)
{
    QCborMap body = result(kResultFailure);
    body.insert(QLatin1String(kReasonKey), QLatin1String(reason));
    return body;
}

void replyMissingParameters(const ReplyChannel& reply)
{
    sendReply(reply, failure(kReasonMissingParameters));
}

// Why a source is not opened at all: only plain files are read. Anything else could hold the job
// for good (a FIFO waits for a writer, a device for data) or is not a file at all (a URL would
// have the decoder reach out over the network, "pipe:" read the service's standard input).
// Nothing is said of a path that does not exist: the open fails on it the ordinary way.
const char* sourceRefusal(const QString& source)
{
    if (!source.startsWith(QLatin1Char('/')))
        return kReasonSourceNotAbsolute;
    struct stat info {};
    if (::stat(QFile::encodeName(source).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return kReasonSourceNotRegular;
    return nullptr;
}

enum class Destination { Free, ExistingFile, NotAFile };

Destination destinationState(const QString& destination)
{
    struct stat info {};
    if (::stat(QFile::encodeName(destination).constData(), &info) != 0)
        return Destination::Free;
    return S_ISREG(info.st_mode) ? Destination::ExistingFile : Destination::NotAFile;
}

QString number(double value)
{
    return QString::asprintf("%f", value);
}

} // namespace

ClipwrightService::ClipwrightService(JobLanes& lanes)
    : lanes_(lanes)
{
}

void ClipwrightService::Clipwright_peer_event_handler(const platform::XpcEvent& event)
{
    // Every request is answered: one left without a reply would wait in the application forever.
    if (!event.refusal.isEmpty()) {
        logLine(QStringLiteral("request refused: %1").arg(event.refusal));
        sendReply(event.reply, failure(kReasonNestedTooDeeply));
        return;
    }
    const std::optional<QString> action = stringForKey(event.body, kActionKey);
    if (!action) {
        logLine(QStringLiteral("\tmissing parameters (action)"));
        replyMissingParameters(event.reply);
    } else if (*action == QLatin1String(kActionSlate)) {
        queueSlateRequest(event.body, event.reply);
    } else if (*action == QLatin1String(kActionThumbnail)) {
        queueThumbRequest(event.body, event.reply);
    } else if (*action == QLatin1String(kActionMetadata)) {
        queueMetadataRequest(event.body, event.reply);
    } else if (*action == QLatin1String(kActionMetadataFull)) {
        logLine(QStringLiteral("!!!ignoring metadata and images request"));
        sendReply(event.reply, failure(kReasonNotServed));
    } else {
        logLine(QStringLiteral("unknown action %1").arg(QString(*action).left(64)));
        sendReply(event.reply, failure(kReasonUnknownAction));
    }
}

bool ClipwrightService::queueSlateRequest(const QCborMap& request, const ReplyChannel& reply)
{
    const auto source = stringForKey(request, kSourceKey);
    const auto destination = stringForKey(request, kSlateDestinationKey);
    double inPoint = doubleForKey(request, kInPointKey);
    double outPoint = doubleForKey(request, kOutPointKey);
    if (std::isnan(inPoint))
        inPoint = 0;
    if (std::isnan(outPoint))
        outPoint = 0;
    if (!source || !destination) {
        logLine(QStringLiteral("\tmissing parameters (sourcePath: %1, destinationPath: %2, inPoint: %3, outPoint: %4)")
                    .arg(shown(source), shown(destination), number(inPoint), number(outPoint)));
        replyMissingParameters(reply);
        return false;
    }
    lanes_.enqueue(Lane::Slate, [this, request, reply, source = *source, destination = *destination, inPoint,
                                 outPoint] { imageJob(Lane::Slate, request, reply, source, destination, inPoint, outPoint); });
    return true;
}

bool ClipwrightService::queueThumbRequest(const QCborMap& request, const ReplyChannel& reply)
{
    const auto source = stringForKey(request, kSourceKey);
    const auto destination = stringForKey(request, kThumbnailDestinationKey);
    double inPoint = doubleForKey(request, kInPointKey);
    if (std::isnan(inPoint))
        inPoint = kDefaultThumbnailTime;
    if (!source || !destination) {
        logLine(QStringLiteral("\tmissing parameters (sourcePath: %1, destinationPath: %2, inPoint: %3)")
                    .arg(shown(source), shown(destination), number(inPoint)));
        replyMissingParameters(reply);
        return false;
    }
    lanes_.enqueue(Lane::Thumbnail, [this, request, reply, source = *source, destination = *destination, inPoint] {
        imageJob(Lane::Thumbnail, request, reply, source, destination, inPoint, 0);
    });
    return true;
}

bool ClipwrightService::queueMetadataRequest(const QCborMap& request, const ReplyChannel& reply)
{
    const auto source = stringForKey(request, kSourceKey);
    if (!source) {
        logLine(QStringLiteral("\tmissing parameters (sourcePath: %1)").arg(shown(source)));
        replyMissingParameters(reply);
        return false;
    }
    lanes_.enqueue(Lane::Metadata, [this, reply, source = *source] { metadataJob(reply, source); });
    return true;
}

void ClipwrightService::imageJob(Lane lane, const QCborMap& request, const ReplyChannel& reply, const QString& source,
                                 const QString& destination, double inPoint, double outPoint)
{
    if (!reply)
        logLine(QStringLiteral("failed to create reply from event %1").arg(QCborValue(request).toDiagnosticNotation()));
    switch (destinationState(destination)) {
    case Destination::ExistingFile:
        logLine(QStringLiteral("destination file already exists, bailing out %1").arg(destination));
        sendReply(reply, result(kResultSuccess));
        return;
    case Destination::NotAFile:
        // A device, FIFO or folder: nothing could be written there (and /dev/full takes nothing).
        logLine(QStringLiteral("destination is not a regular file, refused %1").arg(destination));
        sendReply(reply, failure(kReasonDestinationNotRegular));
        return;
    case Destination::Free:
        break;
    }
    if (const char* refusal = sourceRefusal(source)) {
        logLine(QStringLiteral("%1, refused %2").arg(QLatin1String(refusal), source));
        sendReply(reply, failure(refusal));
        return;
    }
    bool opened = false;
    std::unique_ptr<ssMediaDecoder3Light> decoder = createDecoderForPath(source, opened);
    if (!opened) {
        sendReply(reply, result(kResultFailure));
        return;
    }
    const QImage image = lane == Lane::Slate ? _slate(*decoder, source, inPoint, outPoint) : _thumb(*decoder, inPoint);
    decoder.reset();
    // Success only when the picture is really on disk: the application shows what it finds there.
    const bool written = !image.isNull() && KLVCleanImageManager::writeImage(image, destination);
    sendReply(reply, result(written ? kResultSuccess : kResultFailure));
}

void ClipwrightService::metadataJob(const ReplyChannel& reply, const QString& source)
{
    // A refused source is still answered with metadata, of a file that did not open, so the
    // application treats it as any unplayable file; the reason says why.
    const char* refusal = sourceRefusal(source);
    if (refusal)
        logLine(QStringLiteral("%1, refused %2").arg(QLatin1String(refusal), source));
    bool opened = false;
    std::unique_ptr<ssMediaDecoder3Light> decoder =
        refusal ? std::make_unique<ssMediaDecoder3Light>() : createDecoderForPath(source, opened);
    const QCborMap metadata = createMetadataDictionary(*decoder, opened);
    decoder.reset();
    QCborMap body = result(kResultSuccess);
    body.insert(QLatin1String(kResponseKey), metadata);
    if (refusal)
        body.insert(QLatin1String(kReasonKey), QLatin1String(refusal));
    sendReply(reply, body);
}

std::unique_ptr<ssMediaDecoder3Light> createDecoderForPath(const QString& path, bool& opened)
{
    auto decoder = std::make_unique<ssMediaDecoder3Light>();
    // FFmpeg takes the path's UTF-8 bytes as they are: no length limit, no character set narrowing.
    opened = !path.isEmpty() && decoder->Open(path.toStdString()) >= 0;
    return decoder;
}

QCborMap createMetadataDictionary(const ssMediaDecoder3Light& decoder, bool validFormat)
{
    QCborMap map;
    const auto [width, height] = decoder.GetWidthHeight();
    if (validFormat) {
        map.insert(QLatin1String(kMetadataPathKey), QString::fromStdString(decoder.GetPath()));
        map.insert(QLatin1String(kMetadataSizeKey),
                   width > 0 ? QStringLiteral("%1x%2").arg(width).arg(height) : QStringLiteral("Unknown"));
        map.insert(QLatin1String(kMetadataFormatKey), QString::fromStdString(decoder.GetFormatString()));
        map.insert(QLatin1String(kMetadataValidFormatKey), QStringLiteral("YES"));
        map.insert(QLatin1String(kMetadataDurationKey), decoder.GetDuration());
        map.insert(QLatin1String(kMetadataFpsKey), decoder.GetFrameRate());
    } else {
        map.insert(QLatin1String(kMetadataPathKey), QString());
        map.insert(QLatin1String(kMetadataSizeKey), QStringLiteral("Unknown"));
        map.insert(QLatin1String(kMetadataFormatKey), QString());
        map.insert(QLatin1String(kMetadataValidFormatKey), QStringLiteral("NO"));
        map.insert(QLatin1String(kMetadataDurationKey), 0.0);
        map.insert(QLatin1String(kMetadataFpsKey), 0.0);
    }
    return map;
}

} // namespace clipwright

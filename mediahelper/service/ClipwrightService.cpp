#include "mediahelper/service/ClipwrightService.h"

#include "mediahelper/decoder/ssMediaDecoder3Light.h"
#include "mediahelper/imaging/FrameImages.h"
#include "mediahelper/imaging/KLVCleanImageManager.h"
#include "mediahelper/shared/ClipwrightProtocol.h"

#include "platform/foundation/Log.h"

#include <QCborValue>
#include <QFile>
#include <QFileInfo>

#include <cmath>

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

void replyMissingParameters(const ReplyChannel& reply)
{
    QCborMap body = result(kResultFailure);
    body.insert(QLatin1String(kReasonKey), QLatin1String(kReasonMissingParameters));
    sendReply(reply, body);
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
    const std::optional<QString> action = stringForKey(event.body, kActionKey);
    if (!action)
        return;
    if (*action == QLatin1String(kActionSlate))
        queueSlateRequest(event.body, event.reply);
    else if (*action == QLatin1String(kActionThumbnail))
        queueThumbRequest(event.body, event.reply);
    else if (*action == QLatin1String(kActionMetadata))
        queueMetadataRequest(event.body, event.reply);
    else if (*action == QLatin1String(kActionMetadataFull))
        logLine(QStringLiteral("!!!ignoring metadata and images request"));
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
    if (QFileInfo::exists(destination)) {
        logLine(QStringLiteral("destination file already exists, bailing out %1").arg(destination));
        sendReply(reply, result(kResultSuccess));
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
    bool opened = false;
    std::unique_ptr<ssMediaDecoder3Light> decoder = createDecoderForPath(source, opened);
    const QCborMap metadata = createMetadataDictionary(*decoder, opened);
    decoder.reset();
    QCborMap body = result(kResultSuccess);
    body.insert(QLatin1String(kResponseKey), metadata);
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

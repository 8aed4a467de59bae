#include "app/mediaclient/KLVMediaHelperClient.h"

#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "platform/foundation/CompanionProgram.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/StringValue.h"
#include "platform/xpc/XpcServiceClient.h"
#include "platform/xpc/XpcValue.h"

#include <QCoreApplication>
#include <QDir>
#include <QVariantMap>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "mediahelper";

const QString kGeneralFailure = QStringLiteral("The media helper could not complete the request.");

platform::Error clientError(int code, const QString& description)
{
    return platform::Error(QString::fromLatin1(KLVMediaHelperClient::kErrorDomain), code, description);
}

QString text(const std::optional<QString>& value)
{
    return value.value_or(QString());
}

} // namespace

KLVMediaMetadata KLVMediaMetadata::fromResponse(const QVariant& response)
{
    const QVariantMap map = response.toMap();
    KLVMediaMetadata metadata;
    metadata.path = map.value(QLatin1String(clipwright::kMetadataPathKey)).toString();
    metadata.size = map.value(QLatin1String(clipwright::kMetadataSizeKey)).toString();
    metadata.format = map.value(QLatin1String(clipwright::kMetadataFormatKey)).toString();
    metadata.validFormat = platform::boolValue(map.value(QLatin1String(clipwright::kMetadataValidFormatKey)).toString());
    metadata.duration = map.value(QLatin1String(clipwright::kMetadataDurationKey)).toDouble();
    metadata.fps = map.value(QLatin1String(clipwright::kMetadataFpsKey)).toDouble();
    return metadata;
}

KLVMediaHelperClient::KLVMediaHelperClient(QObject* parent)
    : QObject(parent)
    , connection_(new platform::XpcServiceClient(defaultServicePath(), this))
{
    connect(connection_, &platform::XpcServiceClient::serviceEnded, this, [](const QString& reason) {
        platform::log(kSubsystem, kCategory, platform::LogLevel::Default,
                      QStringLiteral("XPC connection Interrupted (%1)").arg(reason));
    });
}

KLVMediaHelperClient::~KLVMediaHelperClient() = default;

QString KLVMediaHelperClient::defaultServicePath()
{
    const QByteArray overridden = qgetenv(kServicePathVariable);
    if (!overridden.isEmpty())
        return QString::fromLocal8Bit(overridden);
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return QString::fromStdString(platform::companionProgramPath(folder.toStdString(), clipwright::kProgramName));
}

QString KLVMediaHelperClient::servicePath() const
{
    return connection_->programPath();
}

void KLVMediaHelperClient::setServicePath(const QString& path)
{
    connection_->setProgramPath(path);
}

void KLVMediaHelperClient::failLater(const QString& reason, CompletionBlock completionBlock)
{
    if (!completionBlock)
        return;
    platform::dispatchMain([completionBlock = std::move(completionBlock), reason] {
        completionBlock(clientError(kErrorServiceFailure, reason), QVariant());
    });
}

void KLVMediaHelperClient::send(const QCborMap& request, CompletionBlock completionBlock)
{
    connection_->sendRequest(
        request,
        [completionBlock = std::move(completionBlock)](const platform::XpcReply& reply) {
            deliverReply(reply, completionBlock);
        },
        requestTimeoutMs_);
}

void KLVMediaHelperClient::deliverReply(const platform::XpcReply& reply, const CompletionBlock& completionBlock)
{
    if (!completionBlock)
        return;
    if (reply.status != platform::XpcReply::Status::Reply) {
        completionBlock(clientError(kErrorUnknown, QStringLiteral("Unknown error")), QVariant());
        return;
    }
    if (reply.body.isEmpty()) {
        completionBlock(clientError(kErrorNullReply, QStringLiteral("NULL reply")), QVariant());
        return;
    }
    const std::optional<QString> result = clipwright::stringForKey(reply.body, clipwright::kResultKey);
    if (!result || *result != QLatin1String(clipwright::kResultSuccess)) {
        // A failure is never passed on as success, with or without a reason.
        const std::optional<QString> reason = clipwright::stringForKey(reply.body, clipwright::kReasonKey);
        completionBlock(clientError(kErrorServiceFailure, reason ? *reason : kGeneralFailure), QVariant());
        return;
    }
    const QCborValue response = reply.body.value(QLatin1String(clipwright::kResponseKey));
    completionBlock(platform::Error(), response.isUndefined() ? QVariant() : platform::nsObjectFromXPCObject(response));
}

void KLVMediaHelperClient::startService()
{
    connection_->start();
}

void KLVMediaHelperClient::requestMetadataForNode(const NodePtr& node, CompletionBlock completionBlock)
{
    requestMetadataAndImages(false, node, std::move(completionBlock));
}

void KLVMediaHelperClient::requestMetadataAndImages(bool metadataAndImages, const NodePtr& node,
                                                    CompletionBlock completionBlock)
{
    const QString source = node ? text(node->plnSourcePath()) : QString();
    if (source.isEmpty()) {
        failLater(QString::fromLatin1(clipwright::kReasonMissingParameters), std::move(completionBlock));
        return;
    }
    QCborMap request;
    request.insert(QLatin1String(clipwright::kSourceKey), source);
    request.insert(QLatin1String(clipwright::kActionKey),
                   QLatin1String(metadataAndImages ? clipwright::kActionMetadataFull : clipwright::kActionMetadata));
    send(request, std::move(completionBlock));
}

void KLVMediaHelperClient::requestThumbForNode(const NodePtr& node, CompletionBlock completionBlock)
{
    const QString destination = node ? KLVImageManager::thumbnailImagePathForNode(*node) : QString();
    requestImage(clipwright::kActionThumbnail, clipwright::kThumbnailDestinationKey, destination, node, {},
                 std::move(completionBlock));
}

void KLVMediaHelperClient::requestSlateForNode(const NodePtr& node, CompletionBlock completionBlock)
{
    const QString destination = node ? KLVImageManager::slateImagePathForNode(*node) : QString();
    QCborMap points;
    if (node) {
        points.insert(QLatin1String(clipwright::kInPointKey), node->inPoint());
        points.insert(QLatin1String(clipwright::kOutPointKey), node->outPoint());
    }
    requestImage(clipwright::kActionSlate, clipwright::kSlateDestinationKey, destination, node, points,
                 std::move(completionBlock));
}

void KLVMediaHelperClient::requestImage(const char* action, const char* destinationKey, const QString& destination,
                                        const NodePtr& node, const QCborMap& extra, CompletionBlock completionBlock)
{
    const QString source = node ? text(node->plnSourcePath()) : QString();
    if (source.isEmpty() || destination.isEmpty()) {
        failLater(QString::fromLatin1(clipwright::kReasonMissingParameters), std::move(completionBlock));
        return;
    }
    QCborMap request = extra;
    request.insert(QLatin1String(clipwright::kActionKey), QLatin1String(action));
    request.insert(QLatin1String(clipwright::kSourceKey), source);
    request.insert(QLatin1String(destinationKey), destination);
    send(request, std::move(completionBlock));
}

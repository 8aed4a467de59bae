#include "app/document/KLVChannel.h"

#include "app/document/KLVDocumentClasses.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/serialization/QMXMLAttributes.h"
#include "app/serialization/QMXMLNames.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/StringValue.h"

#include <QFileInfo>

// --- creation -----------------------------------------------------------------------------------

KLVChannel::KLVChannel(Bare) {}

std::shared_ptr<KLVChannel> KLVChannel::create(std::int64_t channelNumber)
{
    auto channel = std::make_shared<KLVChannel>(Bare{});
    channel->channelNumber_ = channelNumber;
    channel->graphicOverlayFadeInTime_ = 1;
    return channel;
}

// --- properties ---------------------------------------------------------------------------------

#define KLV_GETTER(Type, name, field)                                                                        \
    Type KLVChannel::name() const { return get(field); }

KLV_GETTER(std::int64_t, channelNumber, channelNumber_)
KLV_GETTER(KLVChannel::NodeList, playlistItems, playlistItems_)
KLV_GETTER(std::int64_t, linkedChannelNumber, linkedChannelNumber_)
KLV_GETTER(std::int64_t, audioDelay, audioDelay_)
KLV_GETTER(std::int64_t, type, type_)
KLV_GETTER(KLVChannel::Text, smartDirectory, smartDirectory_)
KLV_GETTER(std::int64_t, timeCodeSetting, timeCodeSetting_)
KLV_GETTER(KLVChannel::Text, graphicOverlayImagePath, graphicOverlayImagePath_)
KLV_GETTER(std::int64_t, graphicOverlayFadeInTime, graphicOverlayFadeInTime_)

#undef KLV_GETTER

void KLVChannel::setChannelNumber(std::int64_t v) { store(channelNumber_, v, "channelNumber"); }
void KLVChannel::setPlaylistItems(const NodeList& items) { store(playlistItems_, items, "playlistItems"); }
void KLVChannel::setLinkedChannelNumber(std::int64_t v) { store(linkedChannelNumber_, v, "linkedChannelNumber"); }
void KLVChannel::setAudioDelay(std::int64_t v) { store(audioDelay_, v, "audioDelay"); }
void KLVChannel::setSmartDirectory(const Text& v) { store(smartDirectory_, v, "smartDirectory"); }
void KLVChannel::setTimeCodeSetting(std::int64_t v) { store(timeCodeSetting_, v, "timeCodeSetting"); }
void KLVChannel::setGraphicOverlayImageDisplayRect(const QRectF& r)
{
    {
        std::lock_guard lock(mutex_);
        rectFollowsImage_ = false; // a rectangle given outright wins over the image's size
    }
    store(graphicOverlayImageDisplayRect_, r, "graphicOverlayImageDisplayRect");
}

void KLVChannel::setGraphicOverlayFadeInTime(std::int64_t v)
{
    store(graphicOverlayFadeInTime_, std::max<std::int64_t>(v, 1), "graphicOverlayFadeInTime");
}

void KLVChannel::setType(std::int64_t v)
{
    store(type_, v, "type");
    changed("isSmart");
}

void KLVChannel::modifyPlaylistItems(const std::function<void(NodeList&)>& fn)
{
    {
        std::lock_guard lock(mutex_);
        fn(playlistItems_);
    }
    changed("playlistItems");
}

QUrl KLVChannel::overlayImageURL() const
{
    const Text path = graphicOverlayImagePath();
    if (!path || path->isEmpty())
        return QUrl();
    return QUrl::fromLocalFile(platform::stringByExpandingTildeInPath(*path));
}

void KLVChannel::setGraphicOverlayImagePath(const Text& path)
{
    {
        std::lock_guard lock(mutex_);
        graphicOverlayImagePath_ = path;
        overlayImage_.reset();
        rectFollowsImage_ = true;
        ++overlayGeneration_;
    }
    changed("graphicOverlayImagePath");
    changed("overlayImage");
    changed("overlayImageURL");
}

QImage KLVChannel::overlayImage() const { return loadOverlayImage(); }

QRectF KLVChannel::graphicOverlayImageDisplayRect() const
{
    bool pending = false;
    {
        std::lock_guard lock(mutex_);
        pending = rectFollowsImage_;
    }
    if (pending)
        loadOverlayImage();
    return get(graphicOverlayImageDisplayRect_);
}

// The file is read when the image or its rectangle is first asked for after the path changed, never
// while the path is set (a document load stays free of image reads).
QImage KLVChannel::loadOverlayImage() const
{
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (overlayImage_)
            return *overlayImage_;
        generation = overlayGeneration_;
    }
    const QUrl url = overlayImageURL();
    QImage image;
    if (url.isValid() && QFileInfo(url.toLocalFile()).isFile())
        image = QImage(url.toLocalFile());
    std::lock_guard lock(mutex_);
    if (generation != overlayGeneration_)
        return image; // the path changed meanwhile; the next question reads the new file
    overlayImage_ = image;
    if (rectFollowsImage_ && !image.isNull() && QSizeF(image.size()) != graphicOverlayImageDisplayRect_.size())
        graphicOverlayImageDisplayRect_.setSize(QSizeF(image.size()));
    rectFollowsImage_ = false;
    return image;
}

QList<QObject*> KLVChannel::channelControllers() const
{
    KLVChannelDelegate* d = delegate();
    return d ? d->channelControllers() : QList<QObject*>();
}

// --- cues ---------------------------------------------------------------------------------------

void KLVChannel::removePlaylistNodeWithName(const QString& name)
{
    bool removed = false;
    {
        std::lock_guard lock(mutex_);
        for (auto it = playlistItems_.begin(); it != playlistItems_.end(); ++it) {
            if ((*it)->plnName() == name) {
                playlistItems_.erase(it);
                removed = true;
                break;
            }
        }
    }
    if (removed)
        changed("playlistItems");
}

KLVChannel::NodePtr KLVChannel::nodeForPath(const QString& path) const
{
    std::lock_guard lock(mutex_);
    for (const NodePtr& node : playlistItems_)
        if (node->plnSourcePath() == path)
            return node;
    return nullptr;
}

void KLVChannel::removeStubs()
{
    std::size_t removed = 0;
    {
        std::lock_guard lock(mutex_);
        removed = std::erase_if(playlistItems_, [](const NodePtr& node) { return node->isStub(); });
    }
    if (removed)
        changed("playlistItems");
}

// --- copies -------------------------------------------------------------------------------------

KLVChannel::CopiedProperties KLVChannel::copiedProperties(const KLVChannel& other)
{
    std::lock_guard lock(other.mutex_);
    return {other.channelNumber_, other.playlistItems_, other.type_};
}

void KLVChannel::applyCopiedProperties(const CopiedProperties& properties)
{
    setChannelNumber(properties.channelNumber);
    setPlaylistItems(properties.playlistItems);
    setType(properties.type);
}

void KLVChannel::copyPropertiesFrom(const KLVChannel& other)
{
    applyCopiedProperties(copiedProperties(other));
}

void KLVChannel::duplicatePropertiesFrom(const KLVChannel& other)
{
    CopiedProperties properties = copiedProperties(other);
    for (NodePtr& node : properties.playlistItems)
        node = node->duplicate();
    applyCopiedProperties(properties);
}

std::shared_ptr<KLVChannel> KLVChannel::copy() const
{
    auto channel = create(0);
    channel->copyPropertiesFrom(*this);
    return channel;
}

std::shared_ptr<KLVChannel> KLVChannel::duplicate() const
{
    auto channel = create(0);
    channel->duplicatePropertiesFrom(*this);
    return channel;
}

// --- document -----------------------------------------------------------------------------------

platform::XmlElement KLVChannel::qmXMLElement() const
{
    using namespace QMXMLAttributes;
    platform::XmlElement element{QString::fromLatin1(kClassName)};
    const QRectF overlayRect = graphicOverlayImageDisplayRect(); // may size itself from the image
    NodeList items;
    {
        std::lock_guard lock(mutex_);
        auto integer = [&](const char* name, std::int64_t v) {
            add(element, qmAttributeWithNameIntegerValue(QString::fromLatin1(name), v));
        };
        integer("channelNumber", channelNumber_);
        integer("linkedChannelNumber", linkedChannelNumber_);
        integer("type", type_);
        integer("timeCodeSetting", timeCodeSetting_);
        integer("audioDelay", audioDelay_);
        if (smartDirectory_ && !smartDirectory_->isEmpty())
            element.setAttribute(QStringLiteral("smartDirectory"), *smartDirectory_);
        if (graphicOverlayImagePath_ && !graphicOverlayImagePath_->isEmpty()) {
            element.setAttribute(QStringLiteral("graphicOverlayImagePath"), *graphicOverlayImagePath_);
            element.setAttribute(QStringLiteral("graphicOverlayImageDisplayRect"),
                                 qmStringFromRect(overlayRect));
        }
        integer("graphicOverlayFadeInTime", graphicOverlayFadeInTime_);
        items = playlistItems_;
    }
    platform::XmlElement list(QString::fromLatin1(QMXMLNames::kArrayElement));
    list.setAttribute(QString::fromLatin1(QMXMLNames::kIvarNameAttribute), QStringLiteral("playlistItems"));
    list.children().reserve(items.size());
    for (const NodePtr& node : items)
        list.appendChild(node->qmXMLElement());
    element.appendChild(std::move(list));
    return element;
}

std::shared_ptr<KLVChannel> KLVChannel::fromQMXMLNode(const platform::XmlElement& element,
                                                      const QMXMLRegistry& registry)
{
    // Everything starts at zero or absent, not at the defaults of a new channel.
    auto channel = std::make_shared<KLVChannel>(Bare{});
    auto text = [&](const char* name) { return element.attribute(QString::fromLatin1(name)); };
    channel->setChannelNumber(platform::intValue(text("channelNumber")));
    channel->setLinkedChannelNumber(platform::intValue(text("linkedChannelNumber")));
    // The type before the folder, so that a smart channel's watch sees both.
    channel->setType(platform::intValue(text("type")));
    channel->setAudioDelay(platform::integerValue(text("audioDelay")));
    channel->setTimeCodeSetting(platform::integerValue(text("timeCodeSetting")));
    if (const QString dir = text("smartDirectory"); !dir.isEmpty())
        channel->setSmartDirectory(dir);
    // The path before the rectangle: the stored rectangle wins over the image's size.
    if (const QString path = text("graphicOverlayImagePath"); !path.isEmpty())
        channel->setGraphicOverlayImagePath(path);
    if (const QString rect = text("graphicOverlayImageDisplayRect"); !rect.isEmpty())
        channel->setGraphicOverlayImageDisplayRect(QMXMLAttributes::qmRectFromString(rect));
    channel->setGraphicOverlayFadeInTime(platform::integerValue(text("graphicOverlayFadeInTime")));

    const KLVImageManager::ListingScope cachedPictures;
    if (auto items = KLVDocumentClasses::namedList<KLVPlaylistNode>(element, QStringLiteral("playlistItems"), registry))
        channel->setPlaylistItems(*items);
    return channel;
}

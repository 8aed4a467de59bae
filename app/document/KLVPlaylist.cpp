#include "app/document/KLVPlaylist.h"

#include "app/document/KLVDocumentClasses.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/document/KLVDocumentKeys.h"
#include "app/serialization/QMXMLNames.h"
#include "platform/foundation/UserDefaults.h"

KLVPlaylist::KLVPlaylist(Bare) {}

KLVPlaylist::~KLVPlaylist()
{
    QObject::disconnect(defaultsConnection_);
}

std::shared_ptr<KLVPlaylist> KLVPlaylist::create()
{
    auto playlist = std::make_shared<KLVPlaylist>(Bare{});
    playlist->startObservingDefaults();
    return playlist;
}

std::shared_ptr<KLVPlaylist> KLVPlaylist::createForNumberOfOutputs(int n)
{
    auto playlist = create();
    for (int i = 0; i < n; ++i)
        playlist->channelForChannelNumber(i, true);
    return playlist;
}

void KLVPlaylist::startObservingDefaults()
{
    std::weak_ptr<KLVPlaylist> weak = weak_from_this();
    defaultsConnection_ = QObject::connect(
        &platform::UserDefaults::sharedDefaults(), &platform::UserDefaults::changed,
        [weak](const QString& key) {
            if (key != QLatin1String(KLVDocumentKeys::kUse8CharNamesDefault))
                return;
            if (auto self = weak.lock(); self && self->enforce8CharNames())
                self->observers_.notify(QString::fromLatin1(KLVDocumentKeys::kCueNamesChanged), false);
        });
}

KLVPlaylist::ChannelList KLVPlaylist::playlistChannels() const
{
    std::lock_guard lock(mutex_);
    return playlistChannels_;
}

void KLVPlaylist::setChannels(ChannelList channels)
{
    {
        std::lock_guard lock(mutex_);
        playlistChannels_ = std::move(channels);
    }
    observers_.notify(QStringLiteral("playlistChannels"), false);
}

KLVPlaylist::ChannelPtr KLVPlaylist::channelForChannelNumber(std::int64_t number, bool createIfNeeded)
{
    ChannelPtr created;
    {
        std::lock_guard lock(mutex_);
        for (const ChannelPtr& channel : playlistChannels_)
            if (channel->channelNumber() == number)
                return channel;
        if (!createIfNeeded)
            return nullptr;
        created = KLVChannel::create(number);
        playlistChannels_.push_back(created);
    }
    observers_.notify(QStringLiteral("playlistChannels"), false);
    return created;
}

bool KLVPlaylist::enforce8CharNames()
{
    std::lock_guard lock(mutex_);
    bool renamed = false;
    for (const ChannelPtr& channel : playlistChannels_)
        renamed = channel->enforce8CharNames() || renamed;
    return renamed;
}

void KLVPlaylist::copyPropertiesFrom(const KLVPlaylist& other)
{
    setChannels(other.playlistChannels());
}

void KLVPlaylist::duplicatePropertiesFrom(const KLVPlaylist& other)
{
    ChannelList duplicates;
    for (const ChannelPtr& channel : other.playlistChannels())
        duplicates.push_back(channel->duplicate());
    setChannels(std::move(duplicates));
}

std::shared_ptr<KLVPlaylist> KLVPlaylist::copy() const
{
    auto playlist = create();
    playlist->copyPropertiesFrom(*this);
    return playlist;
}

std::shared_ptr<KLVPlaylist> KLVPlaylist::duplicate() const
{
    auto playlist = create();
    playlist->duplicatePropertiesFrom(*this);
    return playlist;
}

platform::XmlElement KLVPlaylist::qmXMLElement() const
{
    platform::XmlElement element{QString::fromLatin1(kClassName)};
    platform::XmlElement list(QString::fromLatin1(QMXMLNames::kArrayElement));
    list.setAttribute(QString::fromLatin1(QMXMLNames::kIvarNameAttribute), QStringLiteral("playlistChannels"));
    for (const ChannelPtr& channel : playlistChannels())
        list.appendChild(channel->qmXMLElement());
    element.appendChild(std::move(list));
    return element;
}

std::shared_ptr<KLVPlaylist> KLVPlaylist::fromQMXMLNode(const platform::XmlElement& element,
                                                        const QMXMLRegistry& registry)
{
    auto playlist = create();
    const KLVImageManager::ListingScope cachedPictures; // once for all channels
    if (auto channels = KLVDocumentClasses::namedList<KLVChannel>(element, QStringLiteral("playlistChannels"), registry))
        playlist->setChannels(std::move(*channels));
    return playlist;
}

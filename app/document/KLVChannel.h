#pragma once
// One numbered channel of the document: its cues, the master channel it follows, audio delay,
// smart-folder settings, time-code setting and graphic overlay.
//
// Held by shared_ptr. Every property get and set is indivisible (one lock per channel); the cue
// list is handed out as a copy taken under that lock and changed only through the calls below.
// Observers are told the property name after each change ("playlistItems" for the cue list;
// "type" also tells "isSmart"; the overlay path also tells "overlayImage" and "overlayImageURL").
//
// Watching the smart folder is not done here: the smart-folder code observes "type" and
// "smartDirectory" and starts or stops its watch.

#include "app/document/KLVModelObject.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/serialization/QMXMLRegistry.h"
#include "app/serialization/QMXMLSerializing.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QUrl>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Adopted by the channel controller that shows a channel.
class KLVChannelDelegate {
public:
    virtual ~KLVChannelDelegate() = default;
    // All channel controllers, in tag order.
    virtual QList<QObject*> channelControllers() const = 0;
};

class KLVChannel : public KLVModelObject,
                   public QMXMLSerializing,
                   public QMCopying,
                   public QMDuplicating,
                   public std::enable_shared_from_this<KLVChannel> {
    struct Bare {};

public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    // A std::vector, not a copy-on-write list: copies handed to other threads share nothing.
    using NodeList = std::vector<NodePtr>;
    using Text = std::optional<QString>;

    // The defaults of a new channel: no cues, fade-in time 1, everything else 0 or absent.
    static std::shared_ptr<KLVChannel> create(std::int64_t channelNumber);
    explicit KLVChannel(Bare);

    // --- properties ---
    std::int64_t channelNumber() const;
    void setChannelNumber(std::int64_t v);
    NodeList playlistItems() const; // a copy
    void setPlaylistItems(const NodeList& items);
    // Changes the cue list in place under the channel's lock (fn must not call back into this
    // channel); observers are told "playlistItems" afterwards.
    void modifyPlaylistItems(const std::function<void(NodeList&)>& fn);
    std::int64_t linkedChannelNumber() const;
    void setLinkedChannelNumber(std::int64_t v);
    std::int64_t audioDelay() const; // milliseconds
    void setAudioDelay(std::int64_t v);
    std::int64_t type() const; // 1 smart folder, 0 ordinary
    void setType(std::int64_t v);
    bool isSmart() const { return type() == 1; }
    Text smartDirectory() const;
    void setSmartDirectory(const Text& v);
    std::int64_t timeCodeSetting() const;
    void setTimeCodeSetting(std::int64_t v);
    Text graphicOverlayImagePath() const;
    // Stores the path. The image is read when first asked for: the file's image, or none when the
    // file is not there; the rectangle then takes the image's size, keeping its origin, unless a
    // rectangle was set after the path.
    void setGraphicOverlayImagePath(const Text& path);
    QImage overlayImage() const;
    // Empty when the path is absent or empty; "~" expanded.
    QUrl overlayImageURL() const;
    std::int64_t graphicOverlayFadeInTime() const;
    void setGraphicOverlayFadeInTime(std::int64_t v); // values below 1 become 1
    QRectF graphicOverlayImageDisplayRect() const;
    void setGraphicOverlayImageDisplayRect(const QRectF& rect);

    // Weak: the controller clears it before it goes away.
    KLVChannelDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(KLVChannelDelegate* d) { delegate_.store(d); }
    QList<QObject*> channelControllers() const;

    // --- cues ---
    // Removes the first cue with that name; nothing when none has it.
    void removePlaylistNodeWithName(const QString& name);
    // The first cue whose source path is path.
    NodePtr nodeForPath(const QString& path) const;
    // Removes every stub (source path "").
    void removeStubs();

    // --- names ---
    // The next candidate for a name that is already taken, by the 8-character rule when
    // use8CharNames. Answers the name itself when no candidate can be made.
    static QString uniquifyName(const QString& name, bool use8CharNames);
    QString uniquifyName(const QString& name) const;
    // Makes the cue names unique (first come keeps its name) and, with the 8-character rule,
    // at most 8 characters long. True when a cue was renamed.
    bool enforce8CharNames();
    static bool use8CharNames();

    // --- copies ---
    // Number, the cue list (the same cue objects) and type.
    void copyPropertiesFrom(const KLVChannel& other);
    // Number, duplicates of the cues, and type.
    void duplicatePropertiesFrom(const KLVChannel& other);
    std::shared_ptr<KLVChannel> copy() const;
    std::shared_ptr<KLVChannel> duplicate() const;
    std::shared_ptr<QMXMLSerializing> copyObject() const override { return copy(); }
    std::shared_ptr<QMXMLSerializing> duplicateObject() const override { return duplicate(); }

    // --- document ---
    static constexpr const char* kClassName = "KLVChannel";
    QString qmXMLClassName() const override { return QString::fromLatin1(kClassName); }
    platform::XmlElement qmXMLElement() const override;
    static std::shared_ptr<KLVChannel> fromQMXMLNode(const platform::XmlElement& element,
                                                     const QMXMLRegistry& registry);

private:
    // What copies take over: number, cues and type.
    struct CopiedProperties {
        std::int64_t channelNumber = 0;
        NodeList playlistItems;
        std::int64_t type = 0;
    };
    static CopiedProperties copiedProperties(const KLVChannel& other);
    void applyCopiedProperties(const CopiedProperties& properties);

    QImage loadOverlayImage() const;

    mutable std::optional<QImage> overlayImage_; // none until read for the current path
    mutable bool rectFollowsImage_ = false;
    std::uint64_t overlayGeneration_ = 0;
    std::int64_t channelNumber_ = 0;
    NodeList playlistItems_;
    std::int64_t linkedChannelNumber_ = 0;
    std::int64_t audioDelay_ = 0;
    std::int64_t type_ = 0;
    Text smartDirectory_;
    std::int64_t timeCodeSetting_ = 0;
    Text graphicOverlayImagePath_;
    std::int64_t graphicOverlayFadeInTime_ = 0;
    std::atomic<KLVChannelDelegate*> delegate_{nullptr};
    mutable QRectF graphicOverlayImageDisplayRect_;
};

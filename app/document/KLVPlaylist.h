#pragma once
// The document: the ordered channels, one per output, each with its cues.
//
// Held by shared_ptr (create...). The channel list is guarded by one re-entrant lock and handed
// out as a copy. While it lives, the playlist watches the user default
// "QMCommModuleUse8CharNames" and re-applies the name rule to every channel when it changes;
// when that renamed cues, observers are told "cueNames" so that the owner saves the document.
// Observers are also told "playlistChannels" when the channel list changes.

#include "app/document/KLVChannel.h"
#include "app/serialization/QMXMLRegistry.h"
#include "app/serialization/QMXMLSerializing.h"
#include "platform/foundation/ObserverList.h"

#include <QList>
#include <QMetaObject>
#include <memory>
#include <mutex>
#include <vector>

class KLVPlaylist : public QMXMLSerializing,
                    public QMCopying,
                    public QMDuplicating,
                    public std::enable_shared_from_this<KLVPlaylist> {
    struct Bare {};

public:
    using ChannelPtr = std::shared_ptr<KLVChannel>;
    using ChannelList = std::vector<ChannelPtr>;

    // An empty document (watching the 8-character default).
    static std::shared_ptr<KLVPlaylist> create();
    // Channels 0 .. n-1 (none for n <= 0); a new document has four.
    static std::shared_ptr<KLVPlaylist> createForNumberOfOutputs(int n);
    explicit KLVPlaylist(Bare);
    ~KLVPlaylist() override;

    ChannelList playlistChannels() const; // a copy
    // The first channel with that number; with create, a new one is appended when none has it.
    ChannelPtr channelForChannelNumber(std::int64_t number, bool createIfNeeded);
    ChannelPtr channelForChannelNumber(std::int64_t number) { return channelForChannelNumber(number, false); }

    // The name rule on every channel, in order. True when a cue was renamed.
    bool enforce8CharNames();

    // The channel list becomes the other's channels (the same objects).
    void copyPropertiesFrom(const KLVPlaylist& other);
    // The channel list becomes duplicates of the other's channels.
    void duplicatePropertiesFrom(const KLVPlaylist& other);
    std::shared_ptr<KLVPlaylist> copy() const;
    std::shared_ptr<KLVPlaylist> duplicate() const;
    std::shared_ptr<QMXMLSerializing> copyObject() const override { return copy(); }
    std::shared_ptr<QMXMLSerializing> duplicateObject() const override { return duplicate(); }

    static constexpr const char* kClassName = "KLVPlaylist";
    QString qmXMLClassName() const override { return QString::fromLatin1(kClassName); }
    platform::XmlElement qmXMLElement() const override;
    static std::shared_ptr<KLVPlaylist> fromQMXMLNode(const platform::XmlElement& element,
                                                      const QMXMLRegistry& registry);

    // (property name, true before the change / false after it).
    platform::ObserverList<QString, bool>& observers() const { return observers_; }

private:
    void startObservingDefaults();
    void setChannels(ChannelList channels);

    mutable std::recursive_mutex mutex_;
    mutable platform::ObserverList<QString, bool> observers_;
    ChannelList playlistChannels_;
    QMetaObject::Connection defaultsConnection_;
};

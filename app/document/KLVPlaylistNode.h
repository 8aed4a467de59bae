#pragma once
// One cue of a channel's playlist: the media file with its in and out points, end-of-clip
// behaviour, offset against a master channel, metadata texts and pictures.
//
// Held by shared_ptr; identity matters (undo and drag rely on the same object). Every property
// get and set is indivisible (one lock per cue); observers are told the property name after a
// change (and, for "offset", before it as well), on the thread that made the change.
//
// Texts that the file may leave out (name, source path, notes, size and format) are optional:
// an absent source path is not a stub; the empty one is.

#include "app/document/KLVModelObject.h"
#include "app/serialization/QMXMLRegistry.h"
#include "app/serialization/QMXMLSerializing.h"
#include "comm/core/app/KLVPlaylistItem.h"
#include "comm/timecode/QMTimeCode.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

class KLVPlaylistNode : public KLVModelObject,
                        public QMXMLSerializing,
                        public QMCopying,
                        public QMDuplicating,
                        public std::enable_shared_from_this<KLVPlaylistNode> {
    struct Bare {};

public:
    using Text = std::optional<QString>;

    // A new cue: fresh UUID, empty texts, duration -1 (unknown), the blank thumbnail.
    static std::shared_ptr<KLVPlaylistNode> create();
    // The shared 114 x 70 black placeholder thumbnail.
    static QImage blankThumbnail();
    // The properties the channel controller watches on its current cue.
    static QStringList keysForValuesToObserve();
    // Signed minutes:seconds;frames of an offset at fps (ceiling; 30 when it is not above 0).
    static QString frameOffsetText(double offset, double fps);

    explicit KLVPlaylistNode(Bare);

    // --- stored properties ---
    bool thumbnailIsBlank() const;
    bool thumbnailIsLoading() const;
    void setThumbnailIsLoading(bool v);
    Text UUID() const;
    // Stores the UUID; while the thumbnail is still the placeholder, loads the cached
    // thumbnail and slate of that UUID when their files exist.
    void setUUID(const Text& uuid);
    Text plnName() const;
    void setPlnName(const Text& v);
    Text plnSourcePath() const;
    void setPlnSourcePath(const Text& v);
    Text notes() const;
    void setNotes(const Text& v);
    std::int64_t playbackBehavior() const;
    void setPlaybackBehavior(std::int64_t v);
    double inPoint() const;
    void setInPoint(double seconds);  // also the in-point text, then updateDuration
    double outPoint() const;
    void setOutPoint(double seconds); // also the out-point text, then updateDuration
    // The clip's length as the media helper measured it: the rate, then the out point at its end
    // (its text made at that rate).
    void setMeasuredLength(double seconds, double fps);
    // Whether the cue has an out point at all: one imported but never measured (the program
    // ended before the media helper answered) has none.
    bool hasLength() const { return outPoint() > 0.0; }
    // The text of an out point: the frame count of the range it ends (KLVUtilities::formatLength),
    // the same however the seconds were read.
    static QString outPointText(double seconds, double fps);
    double fps() const;
    void setFps(double v); // does not reformat the in and out texts
    double duration() const;
    void setDuration(double v);
    QString inPointString() const;
    void setInPointString(const QString& v);
    QString outPointString() const;
    void setOutPointString(const QString& v);
    Text formatString() const;
    void setFormatString(const Text& v);
    Text sizeString() const;
    void setSizeString(const Text& v);
    double offset() const;
    void setOffset(double seconds); // also frameOffset
    QImage slate() const;
    void setSlate(const QImage& v);
    QImage thumbnail() const;
    void setThumbnail(const QImage& v);
    QString frameOffset() const;
    void setFrameOffset(const QString& v);

    // duration := out - in when out > in; otherwise unchanged.
    void updateDuration();

    // --- display ---
    QString fpsString() const;        // "%.2f"
    QString durationString() const;   // "HH:MM:SS" of max(duration, 0)
    QMTimeCode durationTimeCode() const;
    // This cue as the communications module sees it: one object per cue for the cue's whole
    // life, so the interpreter can compare cues by pointer.
    std::shared_ptr<KLVPlaylistItem> playlistItem() const;
    // The cue behind an item from playlistItem() (null for any other item, or a cue that is gone).
    static std::shared_ptr<KLVPlaylistNode> nodeForItem(const std::shared_ptr<KLVPlaylistItem>& item);
    bool isStub() const;              // the source path is the empty text
    bool fileExistsAtSourcePath() const;
    // What keeps the source from playing: empty for a regular file (or a stub); otherwise the
    // text the cue shows (missing, or a named pipe, device or socket, which is never opened
    // because opening or reading one can wait for ever).
    QString sourceFileProblem() const;
    // A stub, or a cue whose source is a regular file.
    bool sourceIsPlayableFile() const { return sourceFileProblem().isEmpty(); }

    // --- copies ---
    // Name, source, rate (before the points, so the texts use it), points, behaviour, pictures,
    // duration, notes, size, format and offset. Not the UUID.
    void copyPropertiesFrom(const KLVPlaylistNode& other);
    void duplicatePropertiesFrom(const KLVPlaylistNode& other) { copyPropertiesFrom(other); }
    // A new cue (fresh UUID) with the receiver's properties.
    std::shared_ptr<KLVPlaylistNode> copy() const;
    std::shared_ptr<KLVPlaylistNode> duplicate() const { return copy(); }
    std::shared_ptr<QMXMLSerializing> copyObject() const override { return copy(); }
    std::shared_ptr<QMXMLSerializing> duplicateObject() const override { return duplicate(); }

    // --- document ---
    static constexpr const char* kClassName = "KLVPlaylistNode";
    QString qmXMLClassName() const override { return QString::fromLatin1(kClassName); }
    platform::XmlElement qmXMLElement() const override;
    static std::shared_ptr<KLVPlaylistNode> fromQMXMLNode(const platform::XmlElement& element);

    // --- drag archive (keyed; keeps the UUID) ---
    QByteArray archivedData() const;
    // nullptr when the data is not a cue archive.
    static std::shared_ptr<KLVPlaylistNode> fromArchivedData(const QByteArray& data);

private:
    mutable std::shared_ptr<KLVPlaylistItem> playlistItem_; // guarded by mutex_
    void restoreCachedPictures();

    bool thumbIsBlank_ = false;
    bool thumbnailIsLoading_ = false;
    Text uuid_;
    Text plnName_;
    Text plnSourcePath_;
    Text notes_;
    std::int64_t playbackBehavior_ = 0;
    double inPoint_ = 0.0;
    double outPoint_ = 0.0;
    double fps_ = 0.0;
    double duration_ = 0.0;
    QString inPointString_;
    QString outPointString_;
    Text formatString_;
    Text sizeString_;
    double offset_ = 0.0;
    QImage slate_;
    QImage thumbnail_;
    QString frameOffset_;
};

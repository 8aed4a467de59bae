#include "app/document/KLVPlaylistNode.h"

#include "app/imagecache/KLVImageManager.h"
#include "app/serialization/QMXMLAttributes.h"
#include "app/util/KLVUtilities.h"
#include "app/util/QMTimeCodeConversions.h"
#include "comm/timecode/QMFrameSplit.h"
#include "platform/foundation/NumberFormat.h"
#include "platform/foundation/StringValue.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QString kInitialTimeText = QStringLiteral("00:00:00;00");

QString newUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

// --- creation -----------------------------------------------------------------------------------

KLVPlaylistNode::KLVPlaylistNode(Bare) {}

std::shared_ptr<KLVPlaylistNode> KLVPlaylistNode::create()
{
    auto node = std::make_shared<KLVPlaylistNode>(Bare{});
    node->thumbIsBlank_ = true;
    node->uuid_ = newUUID();
    node->plnName_ = QString(QLatin1String(""));
    node->plnSourcePath_ = QString(QLatin1String(""));
    node->notes_ = QString(QLatin1String(""));
    node->duration_ = -1.0;
    node->inPointString_ = kInitialTimeText;
    node->outPointString_ = kInitialTimeText;
    node->formatString_ = QString(QLatin1String(""));
    node->sizeString_ = QString(QLatin1String(""));
    node->thumbnail_ = blankThumbnail();
    node->frameOffset_ = QStringLiteral("00:00;00");
    return node;
}

QImage KLVPlaylistNode::blankThumbnail()
{
    // Made once, on first use from whichever thread asks first.
    static const QImage blank = [] {
        QImage image(114, 70, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        return image;
    }();
    return blank;
}

QStringList KLVPlaylistNode::keysForValuesToObserve()
{
    return {QStringLiteral("inPoint"), QStringLiteral("outPoint"), QStringLiteral("playbackBehavior")};
}

QString KLVPlaylistNode::frameOffsetText(double offset, double fps)
{
    double rate = std::isfinite(fps) ? std::ceil(fps) : 0.0;
    if (!(rate > 0.0))
        rate = 30.0; // no usable rate: count in 30ths, as the offset field always has
    const QMFrameSplit split = qmSplitSeconds(offset, rate);
    char text[96];
    char* end = text;
    if (offset < 0.0)
        *end++ = '-';
    end = KLVUtilities::appendTwoDigits(end, (split.wholeSeconds / 60) % 60);
    *end++ = ':';
    end = KLVUtilities::appendTwoDigits(end, split.wholeSeconds % 60);
    *end++ = ';';
    end = KLVUtilities::appendTwoDigits(end, split.frames);
    return QString::fromLatin1(text, end - text);
}

// --- properties ---------------------------------------------------------------------------------

#define KLV_GETTER(Type, name, field)                                                                        \
    Type KLVPlaylistNode::name() const { return get(field); }
#define KLV_PLAIN_SETTER(Type, setter, field, key)                                                            \
    void KLVPlaylistNode::setter(Type v) { store(field, v, key); }

KLV_GETTER(bool, thumbnailIsBlank, thumbIsBlank_)
KLV_GETTER(bool, thumbnailIsLoading, thumbnailIsLoading_)
KLV_GETTER(KLVPlaylistNode::Text, UUID, uuid_)
KLV_GETTER(KLVPlaylistNode::Text, plnName, plnName_)
KLV_GETTER(KLVPlaylistNode::Text, plnSourcePath, plnSourcePath_)
KLV_GETTER(KLVPlaylistNode::Text, notes, notes_)
KLV_GETTER(std::int64_t, playbackBehavior, playbackBehavior_)
KLV_GETTER(double, inPoint, inPoint_)
KLV_GETTER(double, outPoint, outPoint_)
KLV_GETTER(double, fps, fps_)
KLV_GETTER(double, duration, duration_)
KLV_GETTER(QString, inPointString, inPointString_)
KLV_GETTER(QString, outPointString, outPointString_)
KLV_GETTER(KLVPlaylistNode::Text, formatString, formatString_)
KLV_GETTER(KLVPlaylistNode::Text, sizeString, sizeString_)
KLV_GETTER(double, offset, offset_)
KLV_GETTER(QImage, slate, slate_)
KLV_GETTER(QImage, thumbnail, thumbnail_)
KLV_GETTER(QString, frameOffset, frameOffset_)

KLV_PLAIN_SETTER(bool, setThumbnailIsLoading, thumbnailIsLoading_, "thumbnailIsLoading")
KLV_PLAIN_SETTER(const Text&, setPlnName, plnName_, "plnName")
KLV_PLAIN_SETTER(const Text&, setPlnSourcePath, plnSourcePath_, "plnSourcePath")
KLV_PLAIN_SETTER(const Text&, setNotes, notes_, "notes")
KLV_PLAIN_SETTER(std::int64_t, setPlaybackBehavior, playbackBehavior_, "playbackBehavior")
KLV_PLAIN_SETTER(double, setFps, fps_, "fps")
KLV_PLAIN_SETTER(double, setDuration, duration_, "duration")
KLV_PLAIN_SETTER(const QString&, setInPointString, inPointString_, "inPointString")
KLV_PLAIN_SETTER(const QString&, setOutPointString, outPointString_, "outPointString")
KLV_PLAIN_SETTER(const Text&, setFormatString, formatString_, "formatString")
KLV_PLAIN_SETTER(const Text&, setSizeString, sizeString_, "sizeString")
KLV_PLAIN_SETTER(const QImage&, setSlate, slate_, "slate")
KLV_PLAIN_SETTER(const QImage&, setThumbnail, thumbnail_, "thumbnail")
KLV_PLAIN_SETTER(const QString&, setFrameOffset, frameOffset_, "frameOffset")

#undef KLV_GETTER
#undef KLV_PLAIN_SETTER

void KLVPlaylistNode::setInPoint(double seconds)
{
    store(inPoint_, seconds, "inPoint");
    setInPointString(KLVUtilities::formatCurrentTime(seconds, fps()));
    updateDuration();
}

void KLVPlaylistNode::setOutPoint(double seconds)
{
    store(outPoint_, seconds, "outPoint");
    setOutPointString(outPointText(seconds, fps()));
    updateDuration();
}

void KLVPlaylistNode::setMeasuredLength(double seconds, double fps)
{
    setFps(fps);
    setOutPoint(seconds);
}

QString KLVPlaylistNode::outPointText(double seconds, double fps)
{
    return KLVUtilities::formatLength(seconds, fps);
}

void KLVPlaylistNode::updateDuration()
{
    bool updated = false;
    {
        std::lock_guard lock(mutex_);
        if (outPoint_ > inPoint_) {
            duration_ = outPoint_ - inPoint_;
            updated = true;
        }
    }
    if (updated)
        changed("duration");
}

void KLVPlaylistNode::setOffset(double seconds)
{
    willChange("offset");
    QString text;
    {
        std::lock_guard lock(mutex_);
        offset_ = seconds;
        text = frameOffsetText(seconds, fps_);
        frameOffset_ = text;
    }
    changed("offset");
    changed("frameOffset");
}

void KLVPlaylistNode::setUUID(const Text& uuid)
{
    store(uuid_, uuid, "UUID");
    restoreCachedPictures();
}

void KLVPlaylistNode::restoreCachedPictures()
{
    Text uuid;
    {
        std::lock_guard lock(mutex_);
        if (!uuid_ || !thumbIsBlank_)
            return;
        uuid = uuid_;
    }
    // The paths only for pictures that are there: most cues have none.
    if (KLVImageManager::thumbnailImageExistsForPlaylistNodeUUID(uuid, nullptr)) {
        QImage image(KLVImageManager::thumbnailImagePathForUUID(uuid));
        if (!image.isNull()) {
            {
                std::lock_guard lock(mutex_);
                thumbnail_ = image;
                thumbIsBlank_ = false;
            }
            changed("thumbnail");
        }
    }
    if (KLVImageManager::slateImageExistsForPlaylistNodeUUID(uuid, nullptr)) {
        QImage image(KLVImageManager::slateImagePathForUUID(uuid));
        if (!image.isNull())
            setSlate(image);
    }
}

// --- display ------------------------------------------------------------------------------------

QString KLVPlaylistNode::fpsString() const
{
    return platform::formatDoubleString(fps(), 2);
}

QString KLVPlaylistNode::durationString() const
{
    const double d = duration();
    const double clamped = d > 0.0 ? std::min(d, 9.0e15) : 0.0;
    const auto s = static_cast<unsigned long long>(clamped);
    char text[96];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu", s / 3600, (s / 60) % 60, s % 60);
    return QString::fromLatin1(text);
}

QMTimeCode KLVPlaylistNode::durationTimeCode() const
{
    // At the cue's rate, so a reader can count its frames.
    QMTimeCode timeCode = QMTimeCodeConversions::timecodeWithLength(duration(), float(fps()));
    timeCode.setFramerate(float(fps()));
    return timeCode;
}

namespace {
// The adapter holds its cue weakly: the cue owns it, not the other way round.
class KLVPlaylistNodeItem final : public KLVPlaylistItem {
public:
    explicit KLVPlaylistNodeItem(std::weak_ptr<const KLVPlaylistNode> node) : node_(std::move(node)) {}
    QString plnName() const override
    {
        const auto node = node_.lock();
        return node ? node->plnName().value_or(QString()) : QString();
    }
    QMTimeCode durationTimeCode() const override
    {
        const auto node = node_.lock();
        return node ? node->durationTimeCode() : QMTimeCode();
    }
    std::shared_ptr<const KLVPlaylistNode> node() const { return node_.lock(); }

private:
    std::weak_ptr<const KLVPlaylistNode> node_;
};
} // namespace

std::shared_ptr<KLVPlaylistItem> KLVPlaylistNode::playlistItem() const
{
    std::lock_guard lock(mutex_);
    if (!playlistItem_)
        playlistItem_ = std::make_shared<KLVPlaylistNodeItem>(weak_from_this());
    return playlistItem_;
}

std::shared_ptr<KLVPlaylistNode> KLVPlaylistNode::nodeForItem(const std::shared_ptr<KLVPlaylistItem>& item)
{
    const auto* adapter = dynamic_cast<const KLVPlaylistNodeItem*>(item.get());
    if (!adapter)
        return nullptr;
    return std::const_pointer_cast<KLVPlaylistNode>(adapter->node());
}

bool KLVPlaylistNode::isStub() const
{
    const Text path = plnSourcePath();
    return path && path->isEmpty();
}

bool KLVPlaylistNode::fileExistsAtSourcePath() const
{
    const Text path = plnSourcePath();
    return path && !path->isEmpty() && QFileInfo::exists(*path);
}

QString KLVPlaylistNode::sourceFileProblem() const
{
    const Text path = plnSourcePath();
    if (!path || path->isEmpty())
        return {};
    const char* key = nullptr;
    struct stat info {};
    if (stat(QFile::encodeName(*path).constData(), &info) != 0)
        key = "QM_CUE_FILE_MISSING";
    else if (S_ISFIFO(info.st_mode))
        key = "QM_CUE_FILE_IS_PIPE";
    else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        key = "QM_CUE_FILE_IS_DEVICE";
    else if (S_ISSOCK(info.st_mode))
        key = "QM_CUE_FILE_IS_SOCKET";
    else if (!S_ISREG(info.st_mode))
        key = "QM_CUE_FILE_NOT_REGULAR";
    if (!key)
        return {};
    return QCoreApplication::translate("Localizable", key).replace(QLatin1String("%@"), *path);
}

// --- copies -------------------------------------------------------------------------------------

void KLVPlaylistNode::copyPropertiesFrom(const KLVPlaylistNode& other)
{
    // Read the source in one piece first (it may be this very cue).
    Text name, source, notes, size, format;
    double rate, in, out, duration, offset;
    std::int64_t behaviour;
    QImage thumbnail, slate;
    {
        std::lock_guard lock(other.mutex_);
        name = other.plnName_;
        source = other.plnSourcePath_;
        rate = other.fps_;
        in = other.inPoint_;
        out = other.outPoint_;
        behaviour = other.playbackBehavior_;
        thumbnail = other.thumbnail_;
        slate = other.slate_;
        duration = other.duration_;
        notes = other.notes_;
        size = other.sizeString_;
        format = other.formatString_;
        offset = other.offset_;
    }
    setPlnName(name);
    setPlnSourcePath(source);
    setFps(rate);
    setInPoint(in);
    setOutPoint(out);
    setPlaybackBehavior(behaviour);
    setThumbnail(thumbnail);
    setSlate(slate);
    setDuration(duration);
    setNotes(notes);
    setSizeString(size);
    setFormatString(format);
    setOffset(offset);
}

std::shared_ptr<KLVPlaylistNode> KLVPlaylistNode::copy() const
{
    auto node = create();
    node->copyPropertiesFrom(*this);
    return node;
}

// --- document -----------------------------------------------------------------------------------

platform::XmlElement KLVPlaylistNode::qmXMLElement() const
{
    using namespace QMXMLAttributes;
    // Names made once: a document writes thousands of cues, none of them needs its own copy.
    static const QString className = QString::fromLatin1(kClassName);
    platform::XmlElement element{className};
    std::lock_guard lock(mutex_);
    auto text = [&](const QString& name, const Text& value) {
        if (value) // an absent text stays absent in the file
            element.setAttribute(name, *value);
    };
    auto number = [&](const QString& name, double value) { add(element, qmAttributeWithNameDoubleValue(name, value)); };
    text(QStringLiteral("UUID"), uuid_);
    text(QStringLiteral("plnName"), plnName_);
    text(QStringLiteral("plnSourcePath"), plnSourcePath_);
    number(QStringLiteral("inPoint"), inPoint_);
    number(QStringLiteral("outPoint"), outPoint_);
    number(QStringLiteral("fps"), fps_);
    number(QStringLiteral("duration"), duration_);
    number(QStringLiteral("offset"), offset_);
    add(element, qmAttributeWithNameIntegerValue(QStringLiteral("playbackBehavior"), playbackBehavior_));
    text(QStringLiteral("notes"), notes_);
    text(QStringLiteral("sizeString"), sizeString_);
    text(QStringLiteral("formatString"), formatString_);
    return element;
}

std::shared_ptr<KLVPlaylistNode> KLVPlaylistNode::fromQMXMLNode(const platform::XmlElement& element)
{
    // Filled in directly rather than through the setters: nobody can observe a cue still being
    // read, and a document holds thousands. The result is that of a new cue given the file's
    // properties: the point texts use the stored rate, the stored duration wins over the
    // computed one.
    auto node = std::make_shared<KLVPlaylistNode>(Bare{});
    // Looked up in the order they are written, each search starting after the last one found.
    const auto& attributes = element.attributes();
    std::size_t next = 0;
    auto text = [&](const char* name) -> Text {
        const QLatin1StringView key(name);
        for (std::size_t n = 0; n < attributes.size(); ++n) {
            const std::size_t i = (next + n) % attributes.size();
            if (attributes[i].first == key) {
                next = i + 1;
                return attributes[i].second;
            }
        }
        return std::nullopt;
    };
    auto number = [&](const char* name) { return platform::doubleValue(text(name).value_or(QString())); };
    Text uuid = text("UUID");
    node->plnName_ = text("plnName");
    node->plnSourcePath_ = text("plnSourcePath");
    node->inPoint_ = number("inPoint");
    node->outPoint_ = number("outPoint");
    node->fps_ = number("fps");
    node->duration_ = number("duration");
    node->offset_ = number("offset");
    node->playbackBehavior_ = platform::intValue(text("playbackBehavior").value_or(QString()));
    node->notes_ = text("notes");
    node->sizeString_ = text("sizeString");
    node->formatString_ = text("formatString");
    node->inPointString_ = KLVUtilities::formatCurrentTime(node->inPoint_, node->fps_);
    node->outPointString_ = outPointText(node->outPoint_, node->fps_);
    node->frameOffset_ = frameOffsetText(node->offset_, node->fps_);
    node->thumbIsBlank_ = true;
    node->thumbnail_ = blankThumbnail();
    // A cue without a stored UUID (or with an empty one) gets a fresh one: its cached pictures
    // need a name of their own.
    if (uuid && !uuid->isEmpty()) {
        node->uuid_ = std::move(uuid);
        node->restoreCachedPictures();
    } else {
        node->uuid_ = newUUID();
    }
    return node;
}

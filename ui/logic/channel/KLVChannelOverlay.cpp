#include "ui/logic/channel/KLVChannelOverlay.h"

#include "app/document/KLVChannel.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/util/KLVBitmapData.h"
#include "app/util/KLVUtilities.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "app/defaults/KLVDefaultsKeys.h"
#include "ui/logic/overlay/KLVOverlayGeometry.h"
#include "app/ports/KLVFilePicker.h"
#include "engine/output/ssBaseOutput.h"

#include <QFileInfo>

namespace {
constexpr const char* kRectKey = "graphicOverlayImageDisplayRect";
constexpr const char* kPathKey = "graphicOverlayImagePath";
} // namespace

KLVChannelOverlay::KLVChannelOverlay(KLVChannelController& channel) : channel_(channel) {}

KLVChannelOverlay::~KLVChannelOverlay() = default;

void KLVChannelOverlay::graphicOverlayChanged()
{
    const std::shared_ptr<KLVChannel> data = channel_.channel();
    if (!data)
        return;
    // Told once per changed key; a new image also resizes the rectangle. React to what differs
    // from the last time, so the engine gets the pixels once.
    const KLVChannel::Text path = data->graphicOverlayImagePath();
    const QRectF rect = data->graphicOverlayImageDisplayRect();
    const bool pathChanged = !seen_ || path != seenPath_;
    const bool rectChanged = !seen_ || rect != seenRect_;
    seen_ = true;
    seenPath_ = path;
    seenRect_ = rect;
    if (pathChanged)
        channelDataChanged(QString::fromLatin1(kPathKey));
    else if (rectChanged)
        channelDataChanged(QString::fromLatin1(kRectKey));
}

void KLVChannelOverlay::channelDataChanged(const QString& key)
{
    const std::shared_ptr<KLVChannel> data = channel_.channel();
    if (!data)
        return;
    const QRectF rect = data->graphicOverlayImageDisplayRect();
    if (key == QLatin1String(kRectKey)) {
        if (editor_ && editor_->displayBounds() != rect)
            editor_->setDisplayBounds(rect);
        setupOverlayImageOutput();
    } else if (key == QLatin1String(kPathKey)) {
        if (editor_) {
            editor_->setImageURL(data->overlayImageURL());
            if (editor_->displayBounds() != rect)
                editor_->setDisplayBounds(rect);
        }
        if (!data->overlayImage().isNull())
            setupOverlayImageOutput();
        else
            fadeOut();
        // Whether there is an image to show, edit or remove.
        emit channel_.stateChanged();
    }
}

bool KLVChannelOverlay::setupOverlayImageOutput()
{
    const std::shared_ptr<KLVChannel> data = channel_.channel();
    KLVPlaybackEngine* engine = channel_.movie().movie();
    if (!data || !engine)
        return false;
    const QImage image = data->overlayImage();
    const QRectF rect = data->graphicOverlayImageDisplayRect();
    if (image.isNull() || rect.isNull())
        return false;
    const QRectF target = KLVOverlayGeometry::engineRect(rect, outputSize());
    // generateBitmapData refuses images past its size limit before allocating their pixels.
    return KLVBitmapData::generateBitmapData(image, [&](int width, int height, const uint8_t* rgba) {
        engine->SetOverlayImage(width, height, rgba, float(target.x()), float(target.y()), float(target.width()),
                                float(target.height()));
    });
}

void KLVChannelOverlay::chooseImage()
{
    auto& defaults = platform::UserDefaults::sharedDefaults();
    KLVOpenPanelOptions options;
    options.fileExtensions = KLVUtilities::imageFileTypes();
    options.directory = defaults.stringForKey(QString::fromLatin1(KLVDefaultsKeys::kLastMediaDirectory));
    const QStringList chosen = channel_.delegate().filePicker().runOpenPanel(options);
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen.last());
    defaults.setObject(file.absolutePath(), QString::fromLatin1(KLVDefaultsKeys::kLastMediaDirectory));
    if (!file.isFile() || !file.isReadable())
        return;
    if (const auto data = channel_.channel())
        data->setGraphicOverlayImagePath(file.absoluteFilePath());
    channel_.delegate().saveLocalData();
    showGraphicOverlayEditor();
}

void KLVChannelOverlay::removeImage()
{
    const auto data = channel_.channel();
    if (!data)
        return;
    data->setGraphicOverlayImageDisplayRect(QRectF());
    data->setGraphicOverlayImagePath(std::nullopt);
    channel_.delegate().saveLocalData();
}

void KLVChannelOverlay::graphicOverlayUpdateDisplayBounds(KLVGraphicOverlayEditor&, const QRectF& rect)
{
    if (const auto data = channel_.channel())
        data->setGraphicOverlayImageDisplayRect(rect);
}

void KLVChannelOverlay::editGraphicOverlay()
{
    const auto data = channel_.channel();
    if (data && !data->overlayImage().isNull())
        showGraphicOverlayEditor();
    else
        chooseImage();
}

KLVGraphicOverlayEditor& KLVChannelOverlay::editor()
{
    if (!editor_) {
        editor_ = std::make_unique<KLVGraphicOverlayEditor>();
        // An unnamed channel goes by its number, as its column shows it.
        const QString name = channel_.channelName();
        editor_->setTitle(QStringLiteral("%1 Overlay Editor")
                              .arg(name.isEmpty() ? QStringLiteral("Channel %1").arg(channel_.tag()) : name));
    }
    return *editor_;
}

void KLVChannelOverlay::showGraphicOverlayEditor()
{
    KLVGraphicOverlayEditor& e = editor();
    const auto data = channel_.channel();
    e.setImageURL(data ? data->overlayImageURL() : QUrl());
    e.setOutputSize(outputSize());
    e.setDisplayBounds(data ? data->graphicOverlayImageDisplayRect() : QRectF());
    e.setDelegate(this);
    if (presenter_)
        presenter_(e);
}

void KLVChannelOverlay::graphicOverlayButtonAction()
{
    const auto data = channel_.channel();
    KLVPlaybackEngine* engine = channel_.movie().movie();
    if (!data || !engine)
        return;
    const float fade = float(std::max<std::int64_t>(1, data->graphicOverlayFadeInTime()));
    const bool hasImage = !data->overlayImage().isNull();
    const bool show = hasImage && !shouldDisplay_;
    engine->FadeOverlay(show ? 1 : -1, fade);
    shouldDisplay_ = show;
    emit channel_.stateChanged();
}

void KLVChannelOverlay::fadeOut()
{
    const auto data = channel_.channel();
    if (KLVPlaybackEngine* engine = channel_.movie().movie())
        engine->FadeOverlay(-1, float(std::max<std::int64_t>(1, data ? data->graphicOverlayFadeInTime() : 1)));
    shouldDisplay_ = false;
    emit channel_.stateChanged();
}

bool KLVChannelOverlay::hasImage() const
{
    // The path, not the picture: the column asks at every refresh, and reading the file is the
    // engine hand-over's business.
    const auto data = channel_.channel();
    return data && !data->graphicOverlayImagePath().value_or(QString()).isEmpty();
}

QString KLVChannelOverlay::graphicOverlayShowHideButtonTitle() const
{
    return shouldDisplay_ ? QStringLiteral("Hide Overlay") : QStringLiteral("Show Overlay");
}

QSizeF KLVChannelOverlay::outputSize()
{
    int width = 1920, height = 1080;
    const KLVChannelOutput& output = channel_.output();
    // The mode the channel enabled is the raster: the engine takes it on its render thread, so
    // right after a device change it still answers the old size (or none).
    const outputMode* mode = output.deviceEnabled() && output.outputDevice()
                                 ? output.outputDevice()->GetMode(int32_t(output.outputMode()))
                                 : nullptr;
    if (mode && mode->width > 0 && mode->height > 0) {
        width = mode->width;
        height = mode->height;
    } else if (KLVPlaybackEngine* engine = channel_.movie().movie(); output.deviceEnabled() && engine) {
        int w = 0, h = 0;
        engine->GetOutputSize(&w, &h);
        if (w > 0 && h > 0) {
            width = w;
            height = h;
        }
    }
    outputSize_ = QSizeF(width, height);
    return outputSize_;
}

void KLVChannelOverlay::outputChanged()
{
    // The rectangle is placed from the top of the raster: a new raster needs it again, and a
    // channel's overlay read from the document reaches the engine once it has an output.
    if (editor_)
        editor_->setOutputSize(outputSize());
    setupOverlayImageOutput();
}

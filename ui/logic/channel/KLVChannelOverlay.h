#pragma once
// The channel's graphic overlay: its image, rectangle and fades through the engine, the image
// chooser and the overlay editor's channel side. The rectangle is kept as the document stores it
// (y-up output pixels) and turned into the engine's top-left form on the way out. Main thread.

#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class KLVChannel;
class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelOverlay final : public KLVGraphicOverlayEditorDelegate {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelOverlay(KLVChannelController& channel);
    ~KLVChannelOverlay() override;
    KLVChannelOverlay(const KLVChannelOverlay&) = delete;
    KLVChannelOverlay& operator=(const KLVChannelOverlay&) = delete;

    // The document's overlay image or rectangle changed (the facade observes them): the
    // reaction to whichever differs from what was last seen.
    void graphicOverlayChanged();
    // The reaction to one key ("graphicOverlayImageDisplayRect", "graphicOverlayImagePath").
    void channelDataChanged(const QString& key);

    // Hands the channel's image and rectangle to the engine; false when nothing was sent (no
    // image, a zero rectangle, or an image too large to render).
    bool setupOverlayImageOutput();
    void chooseImage() override;
    void removeImage() override;
    void graphicOverlayUpdateDisplayBounds(KLVGraphicOverlayEditor& editor, const QRectF& rect) override;
    void editGraphicOverlay();
    void showGraphicOverlayEditor();
    void graphicOverlayButtonAction();
    bool graphicOverlayImageIsDisplayed() const { return shouldDisplay_; }
    // The channel has an overlay image chosen.
    bool hasImage() const;
    QString graphicOverlayShowHideButtonTitle() const;
    QSizeF outputSize();
    // The channel's output device or mode changed (or it got its first).
    void outputChanged();

    // The editor window's model (made on first use, titled "<channel> Overlay Editor").
    KLVGraphicOverlayEditor& editor();
    bool hasEditor() const { return editor_ != nullptr; }
    // How the widgets layer shows the editor's window.
    void setEditorPresenter(std::function<void(KLVGraphicOverlayEditor&)> presenter) { presenter_ = std::move(presenter); }

private:
    void fadeOut();

    KLVChannelController& channel_;
    std::unique_ptr<KLVGraphicOverlayEditor> editor_;
    std::function<void(KLVGraphicOverlayEditor&)> presenter_;
    bool shouldDisplay_ = false;
    QSizeF outputSize_;
    bool seen_ = false;
    std::optional<QString> seenPath_;
    QRectF seenRect_;
};

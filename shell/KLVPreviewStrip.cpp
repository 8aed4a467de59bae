#include "shell/KLVPreviewStrip.h"

#include "app/gl/RenderView.h"
#include "app/gl/displaylink/KLVDisplayLink.h"
#include "ui/widgets/common/KLVControlNames.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <chrono>

KLVPreviewStrip::KLVPreviewStrip(std::function<void()> draw, std::function<uint64_t()> stamp, QWidget* parent)
    : QWidget(parent), draw_(std::move(draw)), stamp_(std::move(stamp))
{
    setObjectName(QStringLiteral("previewStrip"));
    // Native before the GL window is embedded: the embedded window then becomes a child of this
    // widget's own X window and is stacked with it. Embedded into a non-native container, it would
    // be a child of the top-level window below every native sibling of its ancestors (the main
    // window's container turns native with the spacers), and an X server without a compositor
    // would show the container's grey over the previews.
    setAttribute(Qt::WA_NativeWindow);
    view_ = new RenderView;
    view_->setHeadIndex(-1);
    // Without a compositor an uncovered or resized view has lost its picture.
    view_->setExposedHandler([this] { invalidate(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The container owns the view from here on.
    QWidget* container = QWidget::createWindowContainer(view_, this);
    KLVControlNames::name(this, "QM_PREVIEW_STRIP");
    KLVControlNames::name(container, "QM_PREVIEW_STRIP");
    layout->addWidget(container);
}

KLVPreviewStrip::~KLVPreviewStrip()
{
    stopDisplayLink();
}

void KLVPreviewStrip::startDisplayLink()
{
    if (link_)
        return;
    KLVDisplayLink::Callbacks callbacks;
    callbacks.begin = [] { return true; };
    callbacks.frame = [this]() -> KLVDisplayLink::Frame {
        // Taken before drawing: a picture that changes while it is drawn is drawn again.
        const uint64_t stamp = stamp_ ? stamp_() : 0;
        const bool forced = dirty_.exchange(false);
        if (!forced && stamp == drawnStamp_)
            return {std::nullopt, false};
        std::optional<KLVDisplayLink::Clock::duration> swap;
        const bool drawn = view_->lock([&](RenderView& view) {
            view.update();
            draw_();
            const auto before = KLVDisplayLink::Clock::now();
            view.flushBuffer();
            swap = KLVDisplayLink::Clock::now() - before;
        });
        if (drawn)
            drawnStamp_ = stamp;
        else
            dirty_.store(true); // no context yet: draw once there is one
        return {swap, true};
    };
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double rate = screen && screen->refreshRate() >= 1.0 ? screen->refreshRate() : 60.0;
    link_ = std::make_unique<KLVDisplayLink>(std::move(callbacks), rate);
    link_->start();
}

void KLVPreviewStrip::stopDisplayLink()
{
    if (link_)
        link_->stop();
    link_.reset();
}

void KLVPreviewStrip::invalidate()
{
    dirty_.store(true);
    if (link_)
        link_->wake();
}

bool KLVPreviewStrip::isResting() const
{
    return link_ && link_->isResting();
}

bool KLVPreviewStrip::isDrawing() const
{
    return link_ && link_->isRunning();
}

int64_t KLVPreviewStrip::framesDrawn() const
{
    return link_ ? link_->framesDrawn() : 0;
}

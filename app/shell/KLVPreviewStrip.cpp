#include "app/shell/KLVPreviewStrip.h"

#include "app/gl/RenderView.h"
#include "app/gl/displaylink/KLVDisplayLink.h"
#include "ui/widgets/common/KLVControlNames.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <chrono>

KLVPreviewStrip::KLVPreviewStrip(std::function<void()> draw, QWidget* parent)
    : QWidget(parent), draw_(std::move(draw))
{
    setObjectName(QStringLiteral("previewStrip"));
    view_ = new RenderView;
    view_->setHeadIndex(-1);
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
    callbacks.frame = [this]() -> std::optional<KLVDisplayLink::Clock::duration> {
        std::optional<KLVDisplayLink::Clock::duration> swap;
        view_->lock([&](RenderView& view) {
            view.update();
            draw_();
            const auto before = KLVDisplayLink::Clock::now();
            view.flushBuffer();
            swap = KLVDisplayLink::Clock::now() - before;
        });
        return swap;
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

bool KLVPreviewStrip::isDrawing() const
{
    return link_ && link_->isRunning();
}

int64_t KLVPreviewStrip::framesDrawn() const
{
    return link_ ? link_->framesDrawn() : 0;
}

#include "app/devices/KLVOutputWindow.h"

#include "engine/output/ssDVIOutput.h"

#include <QOpenGLContext>
#include <QScreen>

#include <cmath>

KLVOutputWindow::KLVOutputWindow(ssDVIOutput* output, QScreen* screen, QOpenGLContext* shareContext)
    : output_(output)
    , shareContext_(shareContext)
    , link_({[this] { return beginRendering(); }, [this] { return renderFrame(); }, [this] { endRendering(); }})
{
    setSurfaceType(QSurface::OpenGLSurface);
    format_ = shareContext ? shareContext->format() : QSurfaceFormat::defaultFormat();
    format_.setSwapInterval(1);
    format_.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    setFormat(format_);
    setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
        if (screen->refreshRate() > 1.0)
            link_.setRefreshRate(screen->refreshRate());
    }
    publishSize();
}

KLVOutputWindow::~KLVOutputWindow()
{
    stopRendering();
}

void KLVOutputWindow::publishSize()
{
    const qreal ratio = devicePixelRatio();
    pixelWidth_.store(int32_t(std::lround(width() * ratio)));
    pixelHeight_.store(int32_t(std::lround(height() * ratio)));
}

void KLVOutputWindow::exposeEvent(QExposeEvent*)
{
    publishSize();
    exposed_.store(isExposed());
}

void KLVOutputWindow::hideEvent(QHideEvent* event)
{
    exposed_.store(false); // before the window is unmapped, not only once the server says so
    QWindow::hideEvent(event);
}

void KLVOutputWindow::resizeEvent(QResizeEvent*)
{
    publishSize();
}

void KLVOutputWindow::startRendering()
{
    if (link_.isRunning())
        return;
    if (!handle())
        create(); // the platform window must exist before another thread draws into it
    publishSize();
    link_.start();
}

void KLVOutputWindow::stopRendering()
{
    link_.stop();
}

bool KLVOutputWindow::beginRendering()
{
    // Made on the render thread, so it belongs to it; shared with the application's contexts.
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(format_);
    context_->setShareContext(shareContext_);
    drawnWidth_ = drawnHeight_ = -1;
    if (!context_->create() || !context_->makeCurrent(this)) {
        context_.reset();
        return false;
    }
    return true;
}

KLVDisplayLink::Frame KLVOutputWindow::renderFrame()
{
    if (!exposed_.load()) {
        // Swapping a window that is not shown is undefined; the link paces the next turn.
        return {std::nullopt, output_.takeFrame()};
    }
    const int32_t w = pixelWidth_.load(), h = pixelHeight_.load();
    if (w != drawnWidth_ || h != drawnHeight_) {
        drawnWidth_ = w;
        drawnHeight_ = h;
        output_.setSize(w, h);
    }
    output_.drawScreen();
    const auto beforeSwap = KLVDisplayLink::Clock::now();
    context_->swapBuffers(this);
    return {KLVDisplayLink::Clock::now() - beforeSwap, true};
}

void KLVOutputWindow::endRendering()
{
    if (output_.output())
        output_.output()->ReleaseGL();
    context_->doneCurrent();
    context_.reset();
}

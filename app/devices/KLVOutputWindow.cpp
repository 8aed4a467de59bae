#include "app/devices/KLVOutputWindow.h"

#include "engine/output/ssDVIOutput.h"

#include <QOpenGLContext>
#include <QScreen>

#include <chrono>
#include <cmath>
#include <memory>

namespace {
// A swap that returns sooner than this share of a frame period did not wait for the display.
constexpr double kNonBlockingSwapShare = 0.25;
} // namespace

KLVOutputWindow::KLVOutputWindow(ssDVIOutput* output, QScreen* screen, QOpenGLContext* shareContext)
    : output_(output), shareContext_(shareContext)
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
            refreshRate_.store(screen->refreshRate());
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
}

void KLVOutputWindow::resizeEvent(QResizeEvent*)
{
    publishSize();
}

void KLVOutputWindow::startRendering()
{
    if (thread_.joinable())
        return;
    if (!handle())
        create(); // the platform window must exist before another thread draws into it
    publishSize();
    running_.store(true);
    thread_ = std::thread([this] { renderLoop(); });
}

void KLVOutputWindow::stopRendering()
{
    running_.store(false);
    if (thread_.joinable())
        thread_.join();
}

void KLVOutputWindow::renderLoop()
{
    using Clock = std::chrono::steady_clock;
    // Made on this thread, so it belongs to it; shared with the application's contexts.
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format_);
    context->setShareContext(shareContext_);
    if (!context->create() || !context->makeCurrent(this)) {
        running_.store(false);
        return;
    }
    int32_t width = -1, height = -1;
    auto deadline = Clock::now();
    while (running_.load()) {
        const int32_t w = pixelWidth_.load(), h = pixelHeight_.load();
        if (w != width || h != height) {
            width = w;
            height = h;
            output_.setSize(w, h);
        }
        output_.drawScreen();
        const auto beforeSwap = Clock::now();
        context->swapBuffers(this);
        const auto afterSwap = Clock::now();
        frames_.fetch_add(1);

        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(1.0 / refreshRate_.load()));
        if (afterSwap - beforeSwap < period * kNonBlockingSwapShare) {
            deadline += period;
            if (deadline < afterSwap - period)
                deadline = afterSwap; // fell behind (stall): start again from now, no catching up
            std::this_thread::sleep_until(deadline);
        } else {
            deadline = afterSwap;
        }
    }
    if (output_.output())
        output_.output()->ReleaseGL();
    context->doneCurrent();
}

// epoxy must come before any Qt OpenGL header.
#include <epoxy/gl.h>

#include "app/gl/RenderView.h"

#include "app/gl/SharedContext.h"
#include "engine/output/ssDVIOutput.h"
#include "platform/foundation/Log.h"

#include <QOpenGLContext>
#include <QPlatformSurfaceEvent>
#include <QScreen>
#include <QThread>

#include <cmath>

namespace {

void logLine(const QString& text)
{
    platform::log("com.quenmark.Kalvanto", "gl", platform::LogLevel::Error, text);
}

// The fixed 2-D state every view draws with, set once per context.
void setFixedState(int width, int height)
{
    glDisable(GL_DITHER);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_DONT_CARE);
    glEnable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_ALPHA_TEST);
    glAlphaFunc(GL_ALWAYS, 0);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    if (epoxy_has_gl_extension("GL_EXT_clip_volume_hint"))
        glHint(GL_CLIP_VOLUME_CLIPPING_HINT_EXT, GL_FASTEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(0, 0, 0, 0);
}

} // namespace

RenderView::RenderView(QWindow* parent)
    : QWindow(parent)
    , link_({{}, [this] { return drawFrame(); },
             [this] {
                 // The output's GL objects belong to this view's context: freed in it.
                 lock([](RenderView& view) {
                     if (view.output_ && view.output_->output())
                         view.output_->output()->ReleaseGL();
                 });
             }})
{
    setSurfaceType(QSurface::OpenGLSurface);
    if (SharedContext* shared = SharedContext::instance()) {
        format_ = shared->format();
        followsFrame_ = true;
    } else {
        logLine(QStringLiteral("Error: Invalid PFA specified."));
    }
    applyFormat();
}

RenderView::~RenderView()
{
    stopDisplayLink();
    std::lock_guard lock(drawLock_);
    context_.reset();
}

void RenderView::applyFormat()
{
    // Outputs wait for the vertical blank; the preview never waits.
    format_.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format_.setSwapInterval(fullScreen_ ? 1 : 0);
    if (!handle())
        setFormat(format_);
}

void RenderView::setHeadIndex(int index)
{
    headIndex_ = index;
    if (index == -1)
        setFullScreen(false);
}

void RenderView::setFullScreen(bool fullScreen)
{
    fullScreen_ = fullScreen;
    if (!context_)
        applyFormat();
}

void RenderView::setOutput(std::optional<KLVDVIOutput> output)
{
    {
        std::lock_guard lock(drawLock_);
        output_ = output;
    }
    frameDidChange();
    if (output && isVisible())
        startDisplayLink();
}

std::optional<KLVDVIOutput> RenderView::output() const
{
    std::lock_guard lock(drawLock_);
    return output_;
}

QSize RenderView::renderSize() const
{
    return {viewWidth_.load(), viewHeight_.load()};
}

bool RenderView::lock(const std::function<void(RenderView&)>& block)
{
    std::lock_guard guard(drawLock_);
    if (!context_ || surfaceGone_)
        return false;
    if (lockDepth_ == 0) {
        // Free of every thread between locks, so whichever thread locks next can take it.
        if (context_->thread() == nullptr)
            context_->moveToThread(QThread::currentThread());
        lockCurrent_ = context_->thread() == QThread::currentThread() && context_->makeCurrent(this);
        if (!lockCurrent_) {
            if (context_->thread() == QThread::currentThread())
                context_->moveToThread(nullptr);
            return false;
        }
        // Textures uploaded under the shared context are complete before this view draws them.
        if (SharedContext* shared = SharedContext::instance())
            shared->uploadFence().waitInCurrentContext();
    }
    ++lockDepth_;
    block(*this);
    if (--lockDepth_ == 0) {
        // Not current when the lock goes: a context cannot be current on two threads.
        context_->doneCurrent();
        context_->moveToThread(nullptr);
        lockCurrent_ = false;
    }
    return true;
}

bool RenderView::makeContextCurrent()
{
    std::lock_guard guard(drawLock_);
    return context_ && context_->thread() == QThread::currentThread() && context_->makeCurrent(this);
}

void RenderView::flushBuffer()
{
    std::lock_guard guard(drawLock_);
    if (context_ && lockCurrent_)
        context_->swapBuffers(this);
}

void RenderView::update()
{
    lock([](RenderView& view) {
        const QSize size = view.renderSize();
        glViewport(0, 0, size.width(), size.height());
    });
}

void RenderView::frameDidChange()
{
    if (!followsFrame_)
        return;
    const qreal ratio = devicePixelRatio();
    viewWidth_.store(int(std::lround(width() * ratio)));
    viewHeight_.store(int(std::lround(height() * ratio)));
    {
        std::lock_guard guard(drawLock_);
        if (output_)
            output_->setSize(width(), height());
    }
    update();
}

void RenderView::prepareOpenGL()
{
    std::lock_guard prepare(prepareLock_);
    if (context_)
        return;
    SharedContext* shared = SharedContext::instance();
    if (!shared)
        return;
    applyFormat();
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format_);
    context->setShareContext(shared->context());
    if (!context->create()) {
        logLine(QStringLiteral("A view's OpenGL context could not be made"));
        return;
    }
    context->moveToThread(nullptr);
    {
        std::lock_guard guard(drawLock_);
        context_ = std::move(context);
    }
    if (viewWidth_.load() == 0)
        frameDidChange();
    lock([](RenderView& view) {
        const QSize size = view.renderSize();
        setFixedState(size.width(), size.height());
    });
}

void RenderView::drawScreen()
{
    drawFrame();
}

KLVDisplayLink::Frame RenderView::drawFrame()
{
    {
        std::lock_guard guard(drawLock_);
        if (!output_ || !context_)
            return {std::nullopt, false}; // nothing to draw, nothing presented
    }
    std::optional<KLVDisplayLink::Clock::duration> swap;
    lock([&swap](RenderView& view) {
        if (!view.output_)
            return;
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        const QSize size = view.renderSize();
        glViewport(0, 0, size.width(), size.height());
        view.output_->drawScreen();
        glFlush();
        const auto before = KLVDisplayLink::Clock::now();
        view.flushBuffer();
        swap = KLVDisplayLink::Clock::now() - before;
    });
    return {swap, swap.has_value()};
}

void RenderView::startDisplayLink()
{
    std::lock_guard guard(linkLock_);
    if (!output())
        return;
    if (QScreen* s = screen(); s && s->refreshRate() > 1.0)
        link_.setRefreshRate(s->refreshRate());
    link_.start();
}

void RenderView::stopDisplayLink()
{
    std::lock_guard guard(linkLock_);
    link_.stop();
}

void RenderView::showEvent(QShowEvent* event)
{
    QWindow::showEvent(event);
    prepareOpenGL();
    startDisplayLink();
    frameDidChange();
}

void RenderView::exposeEvent(QExposeEvent* event)
{
    QWindow::exposeEvent(event);
    if (isExposed() && exposedHandler_)
        exposedHandler_();
}

void RenderView::hideEvent(QHideEvent* event)
{
    stopDisplayLink();
    QWindow::hideEvent(event);
}

bool RenderView::event(QEvent* event)
{
    if (event->type() == QEvent::PlatformSurface) {
        // A thread other than this one may be drawing into the surface (the preview strip's link):
        // the window system's surface goes only once that draw has ended, and none starts after.
        const auto type = static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType();
        std::lock_guard guard(drawLock_);
        surfaceGone_ = type == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed;
    }
    return QWindow::event(event);
}

void RenderView::resizeEvent(QResizeEvent* event)
{
    QWindow::resizeEvent(event);
    frameDidChange();
    if (exposedHandler_)
        exposedHandler_();
}

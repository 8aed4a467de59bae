#include "platform/gl/qt/ssGLContextQt.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QThread>

namespace {

// Offscreen surfaces are window-system objects that belong to the GUI thread.
QOffscreenSurface* createSurfaceOnGuiThread(const QSurfaceFormat& format)
{
    QOffscreenSurface* surface = nullptr;
    auto make = [&] {
        surface = new QOffscreenSurface;
        surface->setFormat(format);
        surface->create();
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        make();
    else
        QMetaObject::invokeMethod(app, make, Qt::BlockingQueuedConnection);
    return surface;
}

void deleteSurfaceOnGuiThread(QOffscreenSurface* surface)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        delete surface;
    else
        QMetaObject::invokeMethod(app, [surface] { delete surface; }, Qt::QueuedConnection);
}

} // namespace

ssGLContextQt::ssGLContextQt(QOpenGLContext* context, QOffscreenSurface* surface, bool owned)
    : context_(context), surface_(surface), owned_(owned), share_(context->shareContext())
{
}

QSurfaceFormat ssGLContextQt::EngineFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    return format;
}

std::unique_ptr<ssGLContextQt> ssGLContextQt::CreateRoot()
{
    if (QOpenGLContext* global = QOpenGLContext::globalShareContext()) {
        QOffscreenSurface* surface = createSurfaceOnGuiThread(global->format());
        return std::unique_ptr<ssGLContextQt>(new ssGLContextQt(global, surface, false));
    }
    return CreateWithShare(nullptr);
}

QOpenGLContext* ssGLContextQt::NewContext(QOpenGLContext* share, const QSurfaceFormat& format)
{
    auto context = new QOpenGLContext;
    context->setFormat(format);
    if (share)
        context->setShareContext(share);
    if (!context->create() || (share && !QOpenGLContext::areSharing(context, share))) {
        delete context;
        return nullptr;
    }
    // Free of any thread until first made current, so whichever thread uses it can take it.
    context->moveToThread(nullptr);
    return context;
}

std::unique_ptr<ssGLContextQt> ssGLContextQt::CreateWithShare(QOpenGLContext* share)
{
    QOpenGLContext* context = NewContext(share, share ? share->format() : EngineFormat());
    if (!context)
        return nullptr;
    QOffscreenSurface* surface = createSurfaceOnGuiThread(context->format());
    if (!surface->isValid()) {
        deleteSurfaceOnGuiThread(surface);
        delete context;
        return nullptr;
    }
    return std::unique_ptr<ssGLContextQt>(new ssGLContextQt(context, surface, true));
}

ssGLContextQt::~ssGLContextQt()
{
    if (owned_ && context_) {
        if (QOpenGLContext::currentContext() == context_)
            context_->doneCurrent();
        delete context_;
    }
    deleteSurfaceOnGuiThread(surface_);
}

std::unique_ptr<ssGLContext> ssGLContextQt::CreateShared()
{
    return context_ ? CreateWithShare(context_) : nullptr;
}

bool ssGLContextQt::MakeCurrent()
{
    if (!context_) {
        if (!share_)
            return false;
        context_ = NewContext(share_, share_->format());
        if (!context_)
            return false;
    }
    // A context belongs to one thread at a time: pull it to this one if no thread holds it.
    if (context_->thread() == nullptr)
        context_->moveToThread(QThread::currentThread());
    if (context_->thread() != QThread::currentThread())
        return false;
    return context_->makeCurrent(surface_);
}

void ssGLContextQt::DoneCurrent()
{
    if (!context_ || context_->thread() != QThread::currentThread())
        return;
    context_->doneCurrent();
    if (owned_)
        context_->moveToThread(nullptr);
}

void* ssGLContextQt::GetProcAddress(const char* name)
{
    return context_ ? reinterpret_cast<void*>(context_->getProcAddress(name)) : nullptr;
}

void ssGLContextQt::ReleaseDriverContext()
{
    if (!owned_ || !context_ || !share_)
        return;
    // A context is deleted on the thread it belongs to, or free of any.
    if (context_->thread() != nullptr && context_->thread() != QThread::currentThread())
        return;
    delete context_;
    context_ = nullptr;
}

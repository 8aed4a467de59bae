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

std::unique_ptr<ssGLContextQt> ssGLContextQt::CreateWithShare(QOpenGLContext* share)
{
    const QSurfaceFormat format = share ? share->format() : EngineFormat();
    auto context = new QOpenGLContext;
    context->setFormat(format);
    if (share)
        context->setShareContext(share);
    if (!context->create() || (share && !QOpenGLContext::areSharing(context, share))) {
        delete context;
        return nullptr;
    }
    QOffscreenSurface* surface = createSurfaceOnGuiThread(context->format());
    if (!surface->isValid()) {
        deleteSurfaceOnGuiThread(surface);
        delete context;
        return nullptr;
    }
    // Free of any thread until first made current, so whichever thread uses it can take it.
    context->moveToThread(nullptr);
    return std::unique_ptr<ssGLContextQt>(new ssGLContextQt(context, surface, true));
}

ssGLContextQt::~ssGLContextQt()
{
    if (owned_) {
        if (QOpenGLContext::currentContext() == context_)
            context_->doneCurrent();
        delete context_;
    }
    deleteSurfaceOnGuiThread(surface_);
}

std::unique_ptr<ssGLContext> ssGLContextQt::CreateShared()
{
    return CreateWithShare(context_);
}

bool ssGLContextQt::MakeCurrent()
{
    // A context belongs to one thread at a time: pull it to this one if no thread holds it.
    if (context_->thread() == nullptr)
        context_->moveToThread(QThread::currentThread());
    if (context_->thread() != QThread::currentThread())
        return false;
    return context_->makeCurrent(surface_);
}

void ssGLContextQt::DoneCurrent()
{
    if (context_->thread() != QThread::currentThread())
        return;
    context_->doneCurrent();
    if (owned_)
        context_->moveToThread(nullptr);
}

void* ssGLContextQt::GetProcAddress(const char* name)
{
    return reinterpret_cast<void*>(context_->getProcAddress(name));
}

#pragma once
// Qt implementation of ssGLContext for the application: a QOpenGLContext with a QOffscreenSurface,
// in the share group of the application's contexts, so engine render threads and Qt windows see
// the same textures.
#include "platform/gl/ssGLContext.h"

#include <QPointer>
#include <QSurfaceFormat>

class QOpenGLContext;
class QOffscreenSurface;

class ssGLContextQt final : public ssGLContext
{
public:
    // The root of the share group: wraps Qt's global share context when the application set
    // Qt::AA_ShareOpenGLContexts, else a new compatibility-profile context. Null on failure.
    // Call on the GUI thread after the QGuiApplication exists.
    static std::unique_ptr<ssGLContextQt> CreateRoot();
    // The format engine contexts are made in: compatibility profile 2.1, 8 bits per channel.
    static QSurfaceFormat EngineFormat();
    ~ssGLContextQt() override;

    // Best called on the GUI thread. From another thread the offscreen surface is still made on
    // the GUI thread, which must then be running its event loop.
    std::unique_ptr<ssGLContext> CreateShared() override;
    // May be called on any thread; the context is handed between threads by DoneCurrent.
    bool MakeCurrent() override;
    void DoneCurrent() override;
    void* GetProcAddress(const char* name) override;
    // The surface stays: it belongs to the GUI thread, and the context is made again on the thread
    // that next makes it current.
    void ReleaseDriverContext() override;

    // The underlying context, to share Qt windows' contexts with (setShareContext).
    QOpenGLContext* context() const { return context_; }

private:
    ssGLContextQt(QOpenGLContext* context, QOffscreenSurface* surface, bool owned);
    static std::unique_ptr<ssGLContextQt> CreateWithShare(QOpenGLContext* share);
    // A context in the share group, free of any thread; null when the window system refuses.
    static QOpenGLContext* NewContext(QOpenGLContext* share, const QSurfaceFormat& format);

    QOpenGLContext* context_; // null while released
    QOffscreenSurface* surface_;
    bool owned_;
    QPointer<QOpenGLContext> share_; // what a released context is made again from
};

#pragma once
// A window drawn with its own OpenGL context in the application's shared object space, driven by
// its own display link while it is shown. Output views (head index 1 and up, full screen) are
// double-buffered with swap interval 1 and draw their screen output on the link's thread; the
// preview strip (head index -1) swaps without waiting for the display and is drawn by whoever
// holds lock(). The context is current on no thread outside lock(), so any thread may take it.

#include "app/devices/KLVDVIOutput.h"
#include "app/gl/displaylink/KLVDisplayLink.h"

#include <QSize>
#include <QSurfaceFormat>
#include <QWindow>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QOpenGLContext;

class RenderView : public QWindow {
public:
    explicit RenderView(QWindow* parent = nullptr);
    ~RenderView() override;

    // Runs block with the context current on the calling thread and the draw lock held (lock()
    // may nest); the context is released before the lock. Without a context (never shown) or
    // without the window system's surface (being torn down, as every window is at quit) the block
    // is not run and false is returned.
    bool lock(const std::function<void(RenderView&)>& block);

    int headIndex() const { return headIndex_; }
    // -1 (the preview) also turns full screen off; takes effect on the format only before the
    // view is first shown.
    void setHeadIndex(int index);
    bool fullScreen() const { return fullScreen_; }
    void setFullScreen(bool fullScreen);

    // What an output view draws (the output is not owned); none for the preview.
    void setOutput(std::optional<KLVDVIOutput> output);
    std::optional<KLVDVIOutput> output() const;
    QOpenGLContext* context() const { return context_.get(); }
    QSurfaceFormat viewFormat() const { return format_; }
    // Drawable size in device pixels.
    QSize renderSize() const;

    // Inside lock() only.
    bool makeContextCurrent();
    void flushBuffer();
    // Inside lock(): the viewport follows the view's size.
    void update();
    void frameDidChange();
    // Makes the context and sets its fixed 2-D state once; GUI thread.
    void prepareOpenGL();
    // One frame of an output view (the display link's thread): the output drawn and presented.
    void drawScreen();

    // The link runs while the view is shown and has an output to draw (the preview strip is drawn
    // by its owner's link through lock(), never by its own).
    void startDisplayLink();
    void stopDisplayLink();
    // GUI thread: called when the window system shows the view again or its size changed, so an
    // owner that draws only on change draws it again.
    void setExposedHandler(std::function<void()> handler) { exposedHandler_ = std::move(handler); }
    bool isDisplayLinkRunning() const { return link_.isRunning(); }
    int64_t framesDrawn() const { return link_.framesDrawn(); }

protected:
    void showEvent(QShowEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void applyFormat();
    KLVDisplayLink::Frame drawFrame();

    mutable std::recursive_mutex drawLock_;
    int lockDepth_ = 0;      // guarded by drawLock_
    bool lockCurrent_ = false; // guarded by drawLock_
    // The window system's surface is gone (or not yet made): nothing may draw into it or swap it.
    bool surfaceGone_ = true; // guarded by drawLock_
    std::mutex prepareLock_;
    bool followsFrame_ = false; // a view without a format does not follow its size
    std::unique_ptr<QOpenGLContext> context_;
    QSurfaceFormat format_;
    std::optional<KLVDVIOutput> output_; // guarded by drawLock_
    std::atomic<int> viewWidth_{0};
    std::atomic<int> viewHeight_{0};
    bool fullScreen_ = true;
    int headIndex_ = 0;
    std::function<void()> exposedHandler_;
    std::mutex linkLock_;
    KLVDisplayLink link_; // last: stopped before what it draws with goes
};

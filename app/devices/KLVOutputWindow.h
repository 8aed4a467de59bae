#pragma once
// The full-screen window a screen output is shown in, with its own render thread: the thread makes
// the window's context current, draws the output and swaps with interval 1. Where a swap does not
// wait for the display (virtual X servers), the thread paces itself at the screen's refresh rate.
// The screen output is how its engine presents: while the window is hidden the thread goes on
// taking the engine's frames at the refresh rate without drawing them, so a channel on a hidden
// screen still plays, counts its time and shows its preview; while that channel neither plays nor
// has a new frame, the thread rests (see KLVDisplayLink).
//
// The window is frameless, stays on top and bypasses the window manager, so it is placed exactly
// over its screen; this needs X11 (Wayland gives clients no say over where a window goes).

#include "app/devices/KLVDVIOutput.h"
#include "app/gl/displaylink/KLVDisplayLink.h"

#include <QSurfaceFormat>
#include <QWindow>

#include <atomic>
#include <cstdint>
#include <memory>

class QOpenGLContext;
class QScreen;
class ssDVIOutput;

class KLVOutputWindow : public QWindow {
public:
    // GUI thread. shareContext: the application's root context (textures of engine contexts).
    KLVOutputWindow(ssDVIOutput* output, QScreen* screen, QOpenGLContext* shareContext);
    ~KLVOutputWindow() override;

    // Starts and stops the render thread (GUI thread); it draws while the window is exposed.
    // Stop returns once the thread has ended.
    void startRendering();
    void stopRendering();
    bool isRendering() const { return link_.isRunning(); }
    // The registry's way of giving a screen output's window back (its Window_ holds the window).
    static void release(void* window) { delete static_cast<KLVOutputWindow*>(window); }
    // Frames drawn and swapped since the window was made (none while it is hidden).
    int64_t framesDrawn() const { return link_.framesDrawn(); }
    // Hidden, with a source that neither plays nor has a new frame, the thread rests; this brings
    // it back to the refresh rate at once (the source is about to play). Any thread.
    void wakeRendering() { link_.wake(); }
    bool isResting() const { return link_.isResting(); }

protected:
    void exposeEvent(QExposeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool beginRendering();
    KLVDisplayLink::Frame renderFrame();
    void endRendering();
    void publishSize();

    KLVDVIOutput output_;
    QOpenGLContext* shareContext_;
    QSurfaceFormat format_; // fixed before the render thread starts
    std::atomic<int32_t> pixelWidth_{0};
    std::atomic<int32_t> pixelHeight_{0};
    std::atomic<bool> exposed_{false};
    // Render-thread state: its context and the size last told to the output.
    std::unique_ptr<QOpenGLContext> context_;
    int32_t drawnWidth_ = -1;
    int32_t drawnHeight_ = -1;
    KLVDisplayLink link_; // last: stopped before the state it draws with goes
};

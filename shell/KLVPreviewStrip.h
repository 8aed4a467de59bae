#pragma once
// The shared preview strip: one OpenGL view (head index -1) behind the channel columns' preview
// frames, drawn on its own display link: each refresh, the stamp callback says what the channels'
// previews would show; only when that changed (or the view was exposed, resized or invalidated)
// the draw callback (the delegate's drawPreview: black, then every channel's preview in column
// order) runs under the view's lock with its context current and the buffer is flushed. With
// nothing changing the link rests. GUI thread, except the drawing.

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class KLVDisplayLink;
class RenderView;

class KLVPreviewStrip : public QWidget {
public:
    KLVPreviewStrip(std::function<void()> draw, std::function<uint64_t()> stamp, QWidget* parent = nullptr);
    ~KLVPreviewStrip() override;

    RenderView& view() const { return *view_; }
    // The display link on the first screen's refresh rate (initPreviewThread).
    void startDisplayLink();
    void stopDisplayLink();
    bool isDrawing() const;
    // Any thread: draw again at the next refresh even if no preview changed, and look at the
    // previews at the refresh rate again (something is about to change).
    void invalidate();
    bool isResting() const;
    int64_t framesDrawn() const;

private:
    std::function<void()> draw_;
    std::function<uint64_t()> stamp_;
    RenderView* view_;
    std::unique_ptr<KLVDisplayLink> link_;
    std::atomic<bool> dirty_{true};
    uint64_t drawnStamp_ = 0; // the link thread's own
};
